#include "transfer/CurlSession.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include "transfer/Http.h"

namespace transfer::detail {
namespace {

using Clock = std::chrono::steady_clock;

// Receive buffer of libcurl: big enough that a fast loopback transfer is not held back by the
// number of callbacks and system calls, small enough to stay "libcurl's own buffer".
constexpr long ReceiveBufferBytes = 256 * 1024;
// Header text beyond this is not kept: no real answer has that much.
constexpr std::size_t MaxHeaderBytes = 256 * 1024;
// Longest wait for the network before the flags are looked at again even without a wake.
constexpr int LongestPollMs = 1000;

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

std::optional<std::int64_t> ReadNumber(std::string_view& text)
{
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data()) {
        return std::nullopt;
    }
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return value;
}

// Whether a "Content-Range: bytes START-END/TOTAL" line among the headers starts at `from` and,
// when it names a total, names `total`.
bool RangeStartsAt(std::string_view headers, std::int64_t from, std::int64_t total)
{
    std::size_t pos = 0;
    while (pos < headers.size()) {
        std::size_t eol = headers.find('\n', pos);
        std::string_view line = headers.substr(pos, eol == std::string_view::npos ? std::string_view::npos : eol - pos);
        pos = eol == std::string_view::npos ? headers.size() : eol + 1;
        if (!StartsWithNoCase(line, "content-range:")) {
            continue;
        }
        line.remove_prefix(14);
        while (!line.empty() && line.front() == ' ') {
            line.remove_prefix(1);
        }
        if (!StartsWithNoCase(line, "bytes")) {
            return false;
        }
        line.remove_prefix(5);
        while (!line.empty() && line.front() == ' ') {
            line.remove_prefix(1);
        }
        auto start = ReadNumber(line);
        if (!start || *start != from || line.empty() || line.front() != '-') {
            return false;
        }
        line.remove_prefix(1);
        if (!ReadNumber(line) || line.empty() || line.front() != '/') {
            return false;
        }
        line.remove_prefix(1);
        if (!line.empty() && line.front() == '*') {
            return true;
        }
        auto whole = ReadNumber(line);
        return whole && *whole == total;
    }
    return false;
}

// The state of one request, seen by its callbacks.
struct Call
{
    CURL* easy = nullptr;
    const RequestControl* control = nullptr;
    const BodyRequest* request = nullptr;
    ByteSink* sink = nullptr;
    std::string* text = nullptr; // head: the headers; get: the header lines of the last answer
    bool checked = false;
    bool refused = false;
    bool held = false;
    bool sinkFailed = false;
    std::int64_t offset = 0; // where the accepted answer's first byte lies in the file
    std::int64_t written = 0;
};

size_t AppendText(char* data, size_t size, size_t count, void* user)
{
    auto* call = static_cast<Call*>(user);
    const size_t bytes = size * count;
    if (call->control->stop.load(std::memory_order_relaxed)) {
        return 0;
    }
    if (call->text->size() + bytes > MaxHeaderBytes) {
        return 0;
    }
    call->text->append(data, bytes);
    return bytes;
}

size_t CollectHeader(char* data, size_t size, size_t count, void* user)
{
    auto* call = static_cast<Call*>(user);
    const size_t bytes = size * count;
    std::string_view line(data, bytes);
    if (StartsWithNoCase(line, "HTTP/")) {
        call->text->clear(); // a new answer (after an interim one) starts
    }
    if (call->text->size() + bytes <= MaxHeaderBytes) {
        call->text->append(line);
    }
    return bytes;
}

enum class Fit
{
    Refused,   // not the bytes that were asked for
    Resumes,   // the bytes from the requested offset on
    FromStart, // the file from byte 0: what was kept before goes
};

// Whether the answer being received is the bytes that were asked for.
Fit AnswerFits(const Call& call)
{
    const BodyRequest& request = *call.request;
    if (request.from < 0) {
        return Fit::FromStart;
    }
    long status = 0;
    curl_easy_getinfo(call.easy, CURLINFO_RESPONSE_CODE, &status);
    if (status == 206) {
        if (!RangeStartsAt(*call.text, request.from, request.to)) {
            return Fit::Refused;
        }
        return request.from == 0 ? Fit::FromStart : Fit::Resumes;
    }
    if (status != 200) {
        return Fit::Refused;
    }
    // A server that ignores ranges sends the whole file: take it from byte 0, unless its length
    // says it is another file than the one the header request described.
    curl_off_t length = -1;
    curl_easy_getinfo(call.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    return length < 0 || length == request.to ? Fit::FromStart : Fit::Refused;
}

size_t WriteBody(char* data, size_t size, size_t count, void* user)
{
    auto* call = static_cast<Call*>(user);
    const size_t bytes = size * count;
    if (call->control->stop.load(std::memory_order_relaxed)) {
        return 0;
    }
    if (!call->checked) {
        call->checked = true;
        const Fit fit = AnswerFits(*call);
        if (fit == Fit::Refused) {
            call->refused = true;
            return 0;
        }
        if (!call->sink->Begin(fit == Fit::FromStart, *call->text)) {
            call->sinkFailed = true;
            return 0;
        }
        call->offset = fit == Fit::Resumes ? call->request->from : 0;
    }
    if (call->request->honourHold && call->control->hold.load(std::memory_order_relaxed)) {
        call->held = true;
        return CURL_WRITEFUNC_PAUSE; // libcurl keeps these bytes and hands them over again
    }
    if (bytes == 0) {
        return 0;
    }
    const BodyRequest& request = *call->request;
    if (request.from >= 0 && call->offset + call->written + static_cast<std::int64_t>(bytes) > request.to) {
        call->sinkFailed = true; // more than the file's length: never let an answer fill the disk
        return 0;
    }
    if (!call->sink->Write(data, bytes)) {
        call->sinkFailed = true;
        return 0;
    }
    call->written += static_cast<std::int64_t>(bytes);
    return bytes;
}

bool WriteFully(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t done = ::write(fd, data, size);
        if (done < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

} // namespace

ResumableFile::ResumableFile(std::string path,
                             std::string sidePath,
                             std::string lastModified,
                             std::atomic<double>* received)
    : m_path(std::move(path))
    , m_sidePath(std::move(sidePath))
    , m_lastModified(std::move(lastModified))
    , m_received(received)
{}

ResumableFile::~ResumableFile()
{
    Close();
}

bool ResumableFile::Begin(bool fromStart, std::string_view headers)
{
    std::string copy = LastModifiedText(headers);
    if (copy.empty()) {
        copy = m_lastModified;
    } else if (!fromStart && copy != m_lastModified) {
        return false; // the bytes on disk belong to another copy than these
    }
    int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC;
    if (fromStart) {
        flags |= O_TRUNC;
        if (m_received) {
            m_received->store(0.0);
        }
    }
    m_fd = ::open(m_path.c_str(), flags, 0644);
    m_openFailed = m_fd < 0 || !WriteSideText(m_sidePath, copy);
    return !m_openFailed;
}

bool ResumableFile::Write(const char* data, std::size_t size)
{
    if (m_fd < 0) {
        return false;
    }
    if (m_received) {
        // Counted first, then written: whoever sees the bytes on disk sees them counted.
        m_received->store(m_received->load(std::memory_order_relaxed) + static_cast<double>(size));
    }
    return WriteFully(m_fd, data, size);
}

void ResumableFile::Close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

void EnsureCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_ALL); });
}

struct CurlSession::Impl
{
    CURL* easy = nullptr;
    CURLM* multi = nullptr;

    // Options every request sets, after a reset of the handle (live connections stay in the multi).
    void Prepare(const std::string& url, long timeLimit, long connectLimit, const std::string& referrer)
    {
        curl_easy_reset(easy);
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        // A request ended while its name lookup still runs leaves the lookup behind instead of
        // waiting for it: stopping, removing and every time limit hold whatever the resolver does.
        curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, ReceiveBufferBytes);
        if (timeLimit > 0) {
            curl_easy_setopt(easy, CURLOPT_TIMEOUT, timeLimit);
        }
        if (connectLimit > 0) {
            curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, connectLimit);
        }
        if (!referrer.empty()) {
            curl_easy_setopt(easy, CURLOPT_REFERER, referrer.c_str());
        }
    }

    // Runs the prepared request on this thread until it ends, is stopped or runs out of time. The
    // time limit counts running time only: while the request is held it stands still, so a paused
    // download never ends for the time it spent paused. The control's deadline holds regardless.
    RequestEnd Drive(Call& call, long timeLimit, bool honourHold)
    {
        const Clock::duration limit =
            timeLimit > 0 ? Clock::duration(std::chrono::seconds(timeLimit)) : Clock::duration::max();
        const Clock::time_point deadline = call.control->deadline;
        Clock::duration ran{0};
        Clock::time_point tick = Clock::now();
        if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
            return RequestEnd::Failed;
        }
        RequestEnd end = RequestEnd::Failed;
        for (;;) {
            if (call.control->stop.load()) {
                end = RequestEnd::Stopped;
                break;
            }
            if (honourHold) {
                const bool hold = call.control->hold.load();
                if (hold != call.held) {
                    call.held = hold;
                    // A resume may hand over the kept bytes at once, through WriteBody on this thread.
                    curl_easy_pause(easy, hold ? CURLPAUSE_RECV : CURLPAUSE_CONT);
                }
            }
            const bool wasHeld = call.held;
            int running = 0;
            curl_multi_perform(multi, &running);
            bool finished = false;
            int left = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
                if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
                    finished = true;
                    const CURLcode code = message->data.result;
                    end = code == CURLE_OK                   ? RequestEnd::Done
                          : code == CURLE_OPERATION_TIMEDOUT ? RequestEnd::TimedOut
                          : call.control->stop.load()        ? RequestEnd::Stopped
                                                             : RequestEnd::Failed;
                }
            }
            if (finished || running == 0) {
                break;
            }
            const Clock::time_point now = Clock::now();
            if (!wasHeld || !call.held) {
                ran += now - tick;
            }
            tick = now;
            if (ran >= limit || now >= deadline) {
                end = RequestEnd::TimedOut;
                break;
            }
            Clock::duration wait = std::chrono::milliseconds(LongestPollMs);
            if (!call.held) {
                wait = std::min(wait, limit - ran);
            }
            if (deadline != Clock::time_point::max()) {
                wait = std::min(wait, deadline - now);
            }
            const auto waitMs = std::chrono::duration_cast<std::chrono::milliseconds>(wait).count() + 1;
            curl_multi_poll(multi, nullptr, 0, static_cast<int>(std::min<long long>(waitMs, LongestPollMs)), nullptr);
        }
        curl_multi_remove_handle(multi, easy);
        return end;
    }
};

CurlSession::CurlSession()
    : m_impl(std::make_unique<Impl>())
{
    EnsureCurl();
    m_impl->easy = curl_easy_init();
    m_impl->multi = curl_multi_init();
}

CurlSession::~CurlSession()
{
    if (m_impl->multi) {
        curl_multi_cleanup(m_impl->multi);
    }
    if (m_impl->easy) {
        curl_easy_cleanup(m_impl->easy);
    }
}

bool CurlSession::Valid() const
{
    return m_impl->easy && m_impl->multi;
}

void CurlSession::Wake()
{
    if (m_impl->multi) {
        curl_multi_wakeup(m_impl->multi);
    }
}

HeadAnswer CurlSession::Head(const std::string& url,
                             long timeLimitSeconds,
                             const std::string& referrer,
                             const RequestControl& control)
{
    HeadAnswer answer;
    if (!Valid()) {
        return answer;
    }
    Call call;
    call.easy = m_impl->easy;
    call.control = &control;
    call.text = &answer.headers;
    m_impl->Prepare(url, timeLimitSeconds, 0, referrer);
    CURL* easy = m_impl->easy;
    curl_easy_setopt(easy, CURLOPT_HEADER, 1L);
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &AppendText);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &call);
    answer.end = m_impl->Drive(call, timeLimitSeconds, false);
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &answer.status);
    return answer;
}

BodyAnswer CurlSession::Get(const BodyRequest& request, ByteSink& sink, const RequestControl& control)
{
    BodyAnswer answer;
    if (!Valid()) {
        return answer;
    }
    std::string headers;
    Call call;
    call.easy = m_impl->easy;
    call.control = &control;
    call.request = &request;
    call.sink = &sink;
    call.text = &headers;
    // libcurl's own limit would count the time held too: a held request is timed by Drive alone.
    m_impl->Prepare(request.url,
                    request.honourHold ? 0 : request.timeLimitSeconds,
                    request.connectLimitSeconds,
                    request.referrer);
    CURL* easy = m_impl->easy;
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy, CURLOPT_HEADER, 0L);
    curl_easy_setopt(easy, CURLOPT_NOBODY, 0L);
    std::string range;
    if (request.from >= 0) {
        range = std::to_string(request.from) + "-" + std::to_string(request.to);
        curl_easy_setopt(easy, CURLOPT_RANGE, range.c_str());
    }
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CollectHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &call);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &WriteBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &call);
    answer.end = m_impl->Drive(call, request.timeLimitSeconds, request.honourHold);
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &answer.status);
    answer.answered = answer.status != 0 || !headers.empty();
    // An answer with no body at all never reached the check in WriteBody.
    answer.refused = call.refused || (answer.answered && !call.checked && AnswerFits(call) == Fit::Refused);
    answer.written = call.written;
    if ((call.refused || call.sinkFailed) && answer.end == RequestEnd::Done) {
        answer.end = RequestEnd::Failed;
    }
    return answer;
}

} // namespace transfer::detail
