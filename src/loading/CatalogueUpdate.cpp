#include "loading/CatalogueUpdate.h"

#include <cstddef>
#include <ctime>
#include <set>
#include <system_error>
#include <utility>
#include <vector>

#include "loading/DayNumber.h"
#include "loading/Stages.h"
#include "markup/MarkupDoc.h"
#include "markup/TextEncoding.h"
#include "platform/GameKey.h"
#include "platform/Messages.h"
#include "platform/Utf.h"
#include "transfer/AbortSignal.h"
#include "transfer/Http.h"

namespace loading {
namespace {

namespace fs = std::filesystem;

void PostStage(platform::WindowHandle splash, std::uint32_t stage, platform::Param lParam = 0)
{
    if (splash != 0 && platform::IsWindow(splash)) {
        platform::PostMessageTo(splash, platform::msg::SplashStage, platform::PackWords(stage, 0), lParam);
    }
}

bool Aborted(const UpdateOptions& options)
{
    return options.abort != nullptr && options.abort->Aborted();
}

bool EndsWithTxt(std::string_view path)
{
    if (path.size() < 4) {
        return false;
    }
    const std::string_view end = path.substr(path.size() - 4);
    return end[0] == '.' && (end[1] | 0x20) == 't' && (end[2] | 0x20) == 'x' && (end[3] | 0x20) == 't';
}

// The picture phase: fetches within one time bound, remembers what was settled, and owes the rest
// to the next start (a side file beside a picture means "not complete yet").
class PictureFetcher
{
public:
    PictureFetcher(std::string base, fs::path programDir, const UpdateOptions& options)
        : m_base(std::move(base))
        , m_programDir(std::move(programDir))
        , m_options(options)
    {
        m_limits.abort = options.abort;
        m_limits.deadline = std::chrono::steady_clock::now() + options.pictureTimeLimit;
        m_limits.maxBytes = MaxPictureBytes;
    }

    bool TimeLeft() const { return !Aborted(m_options) && std::chrono::steady_clock::now() < m_limits.deadline; }

    void Fetch(const std::string& cataloguePath)
    {
        const std::string local = SafePicturePath(cataloguePath);
        if (local.empty() || !m_tried.insert(local).second) {
            return;
        }
        if (!TimeLeft()) {
            Owe(local);
            return;
        }
        const std::string path = (m_programDir / local).string();
        switch (transfer::FetchFile(m_base + "file/" + local, local, m_programDir.string(), m_limits)) {
        case transfer::FileFetch::NoAnswer:
            Owe(local); // no network, or out of time: the next start tries again
            break;
        case transfer::FileFetch::NoLength:
        case transfer::FileFetch::TooLarge:
        case transfer::FileFetch::Refused:
            transfer::RemoveQuietly(transfer::SideFilePath(path)); // the server will not give it
            break;
        default:
            break; // complete, or partial with its side file
        }
    }

    // Pictures of the catalogue's games that a side file marks as not complete.
    void FetchOwed(const store::GameCatalogue& catalogue)
    {
        std::set<std::string> owed;
        for (const char* folder : {"ico", "pic"}) {
            std::error_code ec;
            for (fs::recursive_directory_iterator it(m_programDir / folder, ec), end; !ec && it != end;
                 it.increment(ec)) {
                if (it->is_regular_file(ec) && EndsWithTxt(it->path().filename().string())) {
                    owed.insert(it->path().lexically_relative(m_programDir).generic_string());
                }
            }
        }
        if (owed.empty()) {
            return;
        }
        const auto fetchIfOwed = [&](const std::string& cataloguePath) {
            const std::string local = SafePicturePath(cataloguePath);
            if (!local.empty() && owed.count(transfer::SideFilePath(local)) != 0) {
                Fetch(cataloguePath);
            }
        };
        for (const auto& [id, record] : catalogue) {
            if (!TimeLeft()) {
                return;
            }
            fetchIfOwed(record.icopic);
            for (const std::string& picture : record.pictures) {
                fetchIfOwed(picture);
            }
        }
    }

private:
    // Marks a picture that was not fetched, so that the next start fetches it.
    void Owe(const std::string& local) const
    {
        const std::string path = (m_programDir / local).string();
        const std::string side = transfer::SideFilePath(path);
        std::error_code ec;
        if (!fs::exists(path, ec) && !fs::exists(side, ec)) {
            static_cast<void>(transfer::WriteSideText(side, ""));
        }
    }

    const std::string m_base;
    const fs::path m_programDir;
    const UpdateOptions& m_options;
    transfer::FetchLimits m_limits;
    std::set<std::string> m_tried;
};

std::string LocalStamp(std::chrono::system_clock::time_point when)
{
    const std::time_t time = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&time, &local);
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

} // namespace

std::string DayListUrl(std::string_view serverBase, int dayNumber)
{
    return std::string(serverBase) + "file/cls/" + std::to_string(dayNumber) + ".xml";
}

std::u16string DecodeDayList(std::string_view bytes)
{
    // A list that is valid UTF-8 is taken as it is; anything else was written in code page 936.
    if (platform::IsValidUtf8(bytes)) {
        return platform::Utf8ToUtf16(bytes);
    }
    markup::TextConverter converter(u"CP936", u"UTF-16");
    std::u16string text(converter.Count(bytes.data(), bytes.size()), u'\0');
    text.resize(converter.Convert(bytes.data(), bytes.size(), text.data(), text.size()));
    return text;
}

std::string SafePicturePath(std::string_view cataloguePath)
{
    const std::string path = transfer::PictureRelativePath(cataloguePath);
    if (path.size() < 5 || (path.compare(0, 4, "ico/") != 0 && path.compare(0, 4, "pic/") != 0)) {
        return {};
    }
    // Every part after the folder must be a plain name: no "..", no empty part, no zero byte.
    std::size_t from = 4;
    while (true) {
        const std::size_t slash = path.find('/', from);
        const std::string_view part =
            std::string_view(path).substr(from, slash == std::string::npos ? std::string::npos : slash - from);
        if (part.empty() || part == "." || part == ".." || part.find('\0') != std::string_view::npos) {
            return {};
        }
        if (slash == std::string::npos) {
            return EndsWithTxt(path) ? std::string() : path;
        }
        from = slash + 1;
    }
}

bool IsUsableGameId(std::string_view id)
{
    return platform::GameKeyId(id).has_value();
}

StoredCatalogue LoadStoredCatalogue(const store::DataFileLoader& loader, store::GameCatalogue& catalogue)
{
    StoredCatalogue stored;
    const fs::path file = loader.ProgramDir() / "gamelist.xml";
    const std::size_t before = catalogue.size();
    const bool loaded = loader.LoadCatalogue("gamelist.xml", catalogue);
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    if (!ec && size > 0 && (!loaded || catalogue.size() == before)) {
        // Read, but perhaps without a root gamelist: its games would be lost with it.
        markup::MarkupDoc doc;
        stored.unreadable = !loaded || !doc.Load(file) || !doc.FindElement(u"gamelist");
    }
    for (auto it = catalogue.begin(); it != catalogue.end();) {
        if (IsUsableGameId(it->first)) {
            ++it;
        } else {
            stored.setAside.insert(catalogue.extract(it++));
        }
    }
    return stored;
}

bool PreserveUnreadableCatalogue(const fs::path& programDir, std::chrono::system_clock::time_point now)
{
    const std::string name = "gamelist.xml.unreadable-" + LocalStamp(now);
    for (int attempt = 1; attempt < 100; ++attempt) {
        const fs::path copy = programDir / (attempt == 1 ? name : name + "-" + std::to_string(attempt));
        std::error_code ec;
        if (fs::exists(copy, ec)) {
            continue;
        }
        return fs::copy_file(programDir / "gamelist.xml", copy, fs::copy_options::none, ec) && !ec;
    }
    return false;
}

void RunCatalogueUpdate(const store::DataFileLoader& loader,
                        const UpdateOptions& options,
                        store::GameCatalogue& catalogue,
                        store::GameCatalogue& dayGames,
                        const StoredCatalogue& stored)
{
    const platform::WindowHandle splash = loader.NotifyWindow();
    const fs::path& programDir = loader.ProgramDir();
    const auto now = options.now ? options.now() : std::chrono::system_clock::now();
    const std::string base = options.serverBase.empty() ? transfer::ServerBase() : options.serverBase;
    const std::string url = DayListUrl(base, DayNumber(ReadInstallDate(programDir), now));

    PostStage(splash, stage::FetchingList);
    std::string bytes;
    if (!Aborted(options)) {
        bytes = options.fetchList ? options.fetchList(url) : transfer::FetchListBytes(url, options.abort);
    }
    const std::u16string text = DecodeDayList(bytes);

    PostStage(splash, stage::ReadingList);
    store::GameCatalogue update;
    static_cast<void>(loader.ParseCatalogue(text, update));
    // Ids no message can carry, or written so that two spellings name one package ("010", "10"),
    // are not taken.
    std::erase_if(update, [](const auto& entry) { return !IsUsableGameId(entry.first); });
    dayGames = update;

    // New games join the catalogue, not downloaded whatever the list says; the ones it knows
    // already leave the update list untouched.
    for (auto it = update.begin(); it != update.end();) {
        if (catalogue.find(it->first) == catalogue.end()) {
            store::GameRecord& added = catalogue.emplace(it->first, it->second).first->second;
            added.state = store::game_state::NotDownloaded;
            added.info11.clear();
            ++it;
        } else {
            it = update.erase(it);
        }
    }
    if (!update.empty()) {
        PostStage(splash, stage::SavingNewGames);
        // A file that could not be read keeps its bytes beside it; without that copy it stays.
        if (!stored.unreadable || PreserveUnreadableCatalogue(programDir, now)) {
            // The states are written too: a kill before the exit update must not lose them.
            if (stored.setAside.empty()) {
                static_cast<void>(loader.WriteCatalogue(catalogue, true));
            } else {
                store::GameCatalogue all = catalogue;
                all.insert(stored.setAside.begin(), stored.setAside.end());
                static_cast<void>(loader.WriteCatalogue(all, true));
            }
        }
    }

    std::error_code ec;
    fs::create_directory(programDir / "ico", ec);
    fs::create_directory(programDir / "pic", ec);
    const std::uint32_t total = static_cast<std::uint32_t>(update.size());
    std::uint32_t number = 0;
    PictureFetcher pictures(base, programDir, options);
    for (const auto& [id, record] : update) {
        if (!Aborted(options)) {
            PostStage(splash, stage::FetchingPictures, platform::PackWords(total, ++number));
        }
        // Out of time or aborted, the pictures left are owed to the next start.
        pictures.Fetch(record.icopic);
        for (const std::string& picture : record.pictures) {
            pictures.Fetch(picture);
        }
    }
    pictures.FetchOwed(catalogue);
}

void AddDailyNewest(const store::GameCatalogue& dayGames, store::CategoryTree& tree)
{
    store::SubCategoryNode sub;
    sub.id = store::DailyNewestId;
    sub.name = store::DailyNewestName;
    for (const auto& [id, record] : dayGames) {
        sub.games.emplace(id, record.name);
    }
    store::CategoryNode node;
    node.id = store::DailyNewestId;
    node.name = store::DailyNewestName;
    node.subs.emplace(sub.id, std::move(sub));
    tree.nodes.insert_or_assign(node.id, std::move(node));
}

} // namespace loading
