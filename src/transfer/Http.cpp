#include "transfer/Http.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "transfer/AbortSignal.h"
#include "transfer/CurlSession.h"
#include "transfer/TransferEnv.h"

namespace transfer {
namespace {

namespace fs = std::filesystem;

// Largest length accepted: beyond it the byte counters (doubles) are no longer exact, and no disk holds it.
constexpr std::int64_t LargestLength = std::int64_t{1} << 53;
constexpr long HeaderTimeLimitSeconds = 5;
constexpr long BytesPerSecondFloor = 5120;

std::string_view HeaderValue(std::string_view headers, std::string_view name)
{
    const std::size_t at = headers.find(name);
    if (at == std::string_view::npos) {
        return {};
    }
    std::string_view rest = headers.substr(at + name.size());
    const std::size_t eol = rest.find('\n');
    return eol == std::string_view::npos ? rest : rest.substr(0, eol);
}

std::string WithoutSpaces(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != ' ') {
            out.push_back(c);
        }
    }
    return out;
}

class StringSink final : public detail::ByteSink
{
public:
    StringSink(std::string& text, std::size_t limit)
        : m_text(text)
        , m_limit(limit)
    {}
    bool Begin(bool fromStart, std::string_view) override
    {
        if (fromStart) {
            m_text.clear();
        }
        return true;
    }
    bool Write(const char* data, std::size_t size) override
    {
        if (m_text.size() + size > m_limit) {
            m_overflow = true;
            return false;
        }
        m_text.append(data, size);
        return true;
    }
    bool Overflow() const { return m_overflow; }

private:
    std::string& m_text;
    std::size_t m_limit;
    bool m_overflow = false;
};

// A relative path that stays inside its base folder; nullopt for an absolute path or one that climbs out.
std::optional<fs::path> ContainedPath(std::string_view relativePath)
{
    const fs::path relative(relativePath);
    if (relative.empty() || relative.has_root_path()) {
        return std::nullopt;
    }
    const fs::path normal = relative.lexically_normal();
    if (normal.empty() || normal == "." || !normal.has_filename()) {
        return std::nullopt;
    }
    for (const auto& part : normal) {
        if (part == "..") {
            return std::nullopt;
        }
    }
    return normal;
}

// Ends the session's request at once: what an abort does (under the signal's lock, so the session
// still exists).
void Halt(detail::RequestControl& control, detail::CurlSession& session)
{
    control.stop.store(true);
    session.Wake();
}

} // namespace

std::string ServerBase()
{
    std::string base;
    const char* fromEnvironment = std::getenv("MARLUNE_SERVER");
    if (fromEnvironment && *fromEnvironment) {
        base = fromEnvironment;
    } else {
        base = MARLUNE_SERVER_BASE;
    }
    if (base.empty() || base.back() != '/') {
        base.push_back('/');
    }
    return base;
}

std::string Referrer()
{
    return MARLUNE_REFERRER;
}

std::string EscapeSpaces(std::string_view url)
{
    std::string out;
    out.reserve(url.size());
    for (char c : url) {
        if (c == ' ') {
            out += "%20";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string PackageUrl(std::string_view base, int gameId)
{
    return std::string(base) + "download/" + std::to_string(gameId / 1000) + "/" + std::to_string(gameId) + ".zip";
}

std::string PackagePath(std::string_view programDir, int gameId)
{
    return std::string(programDir) + "download/" + std::to_string(gameId) + ".zip";
}

std::string GameFolder(std::string_view programDir, int gameId)
{
    return std::string(programDir) + "game/" + std::to_string(gameId);
}

std::string PictureRelativePath(std::string_view cataloguePath)
{
    std::string path(cataloguePath);
    if (path.size() > 3) {
        path[3] = '/';
    }
    return path;
}

std::string PictureUrl(std::string_view base, std::string_view cataloguePath)
{
    return std::string(base) + "file/" + PictureRelativePath(cataloguePath);
}

std::string SideFilePath(std::string_view path)
{
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
        return std::string(path) + ".txt";
    }
    return std::string(path.substr(0, dot + 1)) + "txt";
}

std::optional<std::int64_t> ContentLength(std::string_view headers)
{
    if (headers.find("Content-Length:") == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string value = WithoutSpaces(HeaderValue(headers, "Content-Length:"));
    std::size_t i = 0;
    while (i < value.size() && value[i] == '\t') {
        ++i;
    }
    std::int64_t length = 0;
    bool digits = false;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        digits = true;
        length = length * 10 + (value[i] - '0');
        if (length > LargestLength) {
            return std::nullopt;
        }
    }
    if (!digits) {
        return std::nullopt;
    }
    return length;
}

std::string LastModifiedText(std::string_view headers)
{
    return WithoutSpaces(HeaderValue(headers, "Last-Modified:"));
}

std::string SideFileContent(std::string_view lastModified)
{
    return "##" + std::string(lastModified) + "##";
}

std::optional<std::string> SideFileText(std::string_view content)
{
    const std::size_t first = content.find("##");
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t second = content.find("##", first + 2);
    if (second == std::string_view::npos) {
        return std::nullopt;
    }
    return std::string(content.substr(first + 2, second - first - 2));
}

std::optional<std::string> ReadSideText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    // Side files are a few dozen bytes; the text sits at their start.
    std::string content(4096, '\0');
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    content.resize(static_cast<std::size_t>(in.gcount()));
    return SideFileText(content);
}

bool WriteSideText(const std::string& path, std::string_view lastModified)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string content = SideFileContent(lastModified);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return static_cast<bool>(out);
}

std::int64_t FileSizeOrZero(const std::string& path)
{
    std::error_code error;
    const auto size = fs::file_size(path, error);
    return error ? 0 : static_cast<std::int64_t>(size);
}

void RemoveQuietly(const std::string& path)
{
    std::error_code error;
    fs::remove(path, error);
}

bool LooksLikeUtf8(std::string_view bytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t follow = 0;
        if (lead < 0x80) {
            follow = 0;
        } else if (lead >= 0xC0 && lead <= 0xDF) {
            follow = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            follow = 2;
        } else {
            return false; // 0x80..0xBF in lead position, or 0xF0 and above
        }
        ++i;
        for (std::size_t k = 0; k < follow && i < bytes.size(); ++k, ++i) {
            const auto next = static_cast<unsigned char>(bytes[i]);
            if (next < 0x80 || next > 0xBF) {
                return false;
            }
        }
    }
    return true;
}

FetchedBody FetchBody(std::string_view url,
                      std::chrono::seconds timeLimit,
                      std::chrono::seconds connectLimit,
                      std::size_t maxBytes,
                      AbortSignal* abort)
{
    FetchedBody result;
    detail::CurlSession session;
    detail::RequestControl control;
    const AbortSignal::Watch watch(abort, [&] { Halt(control, session); });
    if (control.stop.load()) {
        return result;
    }
    detail::BodyRequest request;
    request.url = EscapeSpaces(url);
    request.timeLimitSeconds = static_cast<long>(timeLimit.count());
    request.connectLimitSeconds = static_cast<long>(connectLimit.count());
    request.referrer = Referrer();
    StringSink sink(result.body, maxBytes);
    const detail::BodyAnswer answer = session.Get(request, sink, control);
    result.answered = answer.answered;
    result.status = answer.end == detail::RequestEnd::Done ? answer.status : 0;
    if (sink.Overflow() || answer.end != detail::RequestEnd::Done) {
        result.body.clear();
    }
    return result;
}

std::string FetchListBytes(std::string_view url, AbortSignal* abort)
{
    FetchedBody fetched = FetchBody(url, ListTimeLimit, ListConnectLimit, 64u << 20, abort);
    if (fetched.body.empty() || fetched.status != 200) {
        return {};
    }
    return std::move(fetched.body);
}

FileFetch
FetchFile(std::string_view url, std::string_view relativePath, std::string_view baseFolder, const FetchLimits& limits)
{
    const std::optional<fs::path> relative = ContainedPath(relativePath);
    if (!relative) {
        return FileFetch::Refused;
    }
    const std::string local = (fs::path(baseFolder) / *relative).string();
    const std::string side = SideFilePath(local);
    if (side == local) {
        return FileFetch::Refused; // a file that is its own side file would remove itself
    }
    const std::string address = EscapeSpaces(url);

    detail::CurlSession session;
    detail::RequestControl control;
    control.deadline = limits.deadline;
    const AbortSignal::Watch watch(limits.abort, [&] { Halt(control, session); });
    if (control.stop.load() || std::chrono::steady_clock::now() >= limits.deadline) {
        return FileFetch::NoAnswer;
    }
    const detail::HeadAnswer head = session.Head(address, HeaderTimeLimitSeconds, Referrer(), control);
    if (head.headers.empty() || head.end != detail::RequestEnd::Done) {
        return FileFetch::NoAnswer;
    }
    const std::int64_t expected = ContentLength(head.headers).value_or(0);
    const std::string lastModified = LastModifiedText(head.headers);
    // An error page or a redirect has a length too, but it is not the file.
    if (head.status != 200 || expected < 1) {
        return FileFetch::NoLength;
    }

    std::int64_t existing = FileSizeOrZero(local);
    if (existing > 0 && existing == expected) {
        return FileFetch::AlreadyComplete;
    }
    if (existing > 0) {
        bool keep = existing < expected;
        if (keep) {
            const std::optional<std::string> text = ReadSideText(side);
            keep = text && *text == lastModified;
        }
        if (!keep) {
            RemoveQuietly(local);
            RemoveQuietly(side);
            existing = 0;
        }
    }
    if (limits.maxBytes > 0 && expected > limits.maxBytes) {
        return FileFetch::TooLarge;
    }
    const std::shared_ptr<const TransferEnv> env = limits.env ? limits.env : SystemTransferEnv();
    const std::string folder = fs::path(local).parent_path().string();
    const std::optional<std::uint64_t> free = env->FreeBytes(folder.empty() ? std::string(".") : folder);
    if (free && static_cast<std::uint64_t>(expected - existing) > *free) {
        return FileFetch::TooLarge;
    }

    detail::BodyRequest request;
    request.url = address;
    request.from = existing;
    request.to = expected;
    request.timeLimitSeconds = static_cast<long>((expected - existing) / BytesPerSecondFloor + 1);
    request.referrer = Referrer();
    {
        // The file and its side file are made only once the answer has been accepted.
        detail::ResumableFile file(local, side, lastModified);
        (void)session.Get(request, file, control);
        if (file.OpenFailed()) {
            return FileFetch::CannotWrite;
        }
    }
    if (FileSizeOrZero(local) == expected) {
        RemoveQuietly(side);
        return FileFetch::Complete;
    }
    return FileFetch::Incomplete;
}

} // namespace transfer
