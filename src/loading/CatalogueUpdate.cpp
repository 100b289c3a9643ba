#include "loading/CatalogueUpdate.h"

#include <cstddef>
#include <system_error>
#include <utility>
#include <vector>

#include "loading/DayNumber.h"
#include "loading/Stages.h"
#include "markup/TextEncoding.h"
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

// Fetches one picture of a new game; a path that would leave ico/ or pic/ is never requested.
void FetchPicture(const std::string& serverBase,
                  const fs::path& programDir,
                  const std::string& cataloguePath,
                  const transfer::FetchLimits& limits)
{
    const std::string local = SafePicturePath(cataloguePath);
    if (local.empty()) {
        return;
    }
    static_cast<void>(transfer::FetchFile(serverBase + "file/" + local, local, programDir.string(), limits));
}

bool Aborted(const UpdateOptions& options)
{
    return options.abort != nullptr && options.abort->Aborted();
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
            return path;
        }
        from = slash + 1;
    }
}

void RunCatalogueUpdate(const store::DataFileLoader& loader,
                        const UpdateOptions& options,
                        store::GameCatalogue& catalogue,
                        store::GameCatalogue& dayGames)
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
    dayGames = update;

    // New games join the catalogue; the ones it knows already leave the update list untouched.
    for (auto it = update.begin(); it != update.end();) {
        if (catalogue.find(it->first) == catalogue.end()) {
            catalogue.emplace(it->first, it->second);
            ++it;
        } else {
            it = update.erase(it);
        }
    }
    if (!update.empty()) {
        PostStage(splash, stage::SavingNewGames);
        static_cast<void>(loader.WriteCatalogue(catalogue));
    }

    std::error_code ec;
    fs::create_directory(programDir / "ico", ec);
    fs::create_directory(programDir / "pic", ec);
    const std::uint32_t total = static_cast<std::uint32_t>(update.size());
    std::uint32_t number = 0;
    transfer::FetchLimits limits;
    limits.abort = options.abort;
    for (const auto& [id, record] : update) {
        if (Aborted(options)) {
            break; // the pictures left resume at the next start
        }
        PostStage(splash, stage::FetchingPictures, platform::PackWords(total, ++number));
        FetchPicture(base, programDir, record.icopic, limits);
        for (const std::string& picture : record.pictures) {
            if (Aborted(options)) {
                break;
            }
            FetchPicture(base, programDir, picture, limits);
        }
    }
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
