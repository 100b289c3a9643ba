#pragma once

// The day's catalogue update: fetch the day list from the catalogue server, merge the games the
// catalogue does not know yet, save gamelist.xml, fetch their pictures, and build the category of
// the day's newest games. Runs on the loader thread; nothing of it is reported as an error.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "platform/HandleTable.h"
#include "store/CategoryTree.h"
#include "store/DataFileLoader.h"
#include "store/GameCatalogue.h"

namespace transfer {
class AbortSignal;
}

namespace loading {

struct UpdateOptions
{
    // The catalogue server's base address, ending in "/"; empty: transfer::ServerBase().
    std::string serverBase;
    // Now, for the day number (tests put a fixed time here).
    std::function<std::chrono::system_clock::time_point()> now = [] { return std::chrono::system_clock::now(); };
    // Fetches the day list: the body of a 200 answer, else empty (transfer::FetchListBytes).
    std::function<std::string(std::string_view url)> fetchList;
    // Once aborted, every request of the update ends at once and no further one is made; the
    // update then finishes with what it has. None: the update runs to its end.
    transfer::AbortSignal* abort = nullptr;
    // How long the pictures may take in all; what is not fetched by then is owed to the next start.
    std::chrono::seconds pictureTimeLimit{60};
};

// No picture longer than this is fetched.
inline constexpr std::int64_t MaxPictureBytes = std::int64_t{32} << 20;

// What start-up found in gamelist.xml, for the write of the merged catalogue.
struct StoredCatalogue
{
    // The file holds bytes but could not be loaded as a game list: before anything replaces it, its
    // bytes are kept beside it (see PreserveUnreadableCatalogue).
    bool unreadable = false;
    // Its games whose ids no window message can carry (see IsUsableGameId): kept out of the
    // catalogue, so that nothing shows them or acts on them, and written back with it.
    store::GameCatalogue setAside;
};

// Loads gamelist.xml into catalogue (as DataFileLoader::LoadCatalogue does, stages included) and
// sets aside the games whose ids are not usable.
StoredCatalogue LoadStoredCatalogue(const store::DataFileLoader& loader, store::GameCatalogue& catalogue);

// A game id the program can act on: plain decimal digits without leading zeros, 1 to 65535 (the
// messages carry ids in 16 bits, and 0 means "no game").
[[nodiscard]] bool IsUsableGameId(std::string_view id);

// Copies programDir/gamelist.xml to "gamelist.xml.unreadable-YYYYMMDD-HHMMSS" (local time of now;
// "-2", "-3", ... added when that name is taken). False when no copy could be made.
bool PreserveUnreadableCatalogue(const std::filesystem::path& programDir, std::chrono::system_clock::time_point now);

// The day list's address: "<base>file/cls/<N>.xml".
[[nodiscard]] std::string DayListUrl(std::string_view serverBase, int dayNumber);

// The list's bytes as text: UTF-8 when they are valid UTF-8, else code page 936.
[[nodiscard]] std::u16string DecodeDayList(std::string_view bytes);

// The local path of a catalogue picture path ("ico\123.gif" -> "ico/123.gif"), or empty when it is
// absolute, would not stay inside the program folder's ico/ or pic/, or ends in ".txt" (the names
// of side files: such a picture would be its own side file, or another picture's).
[[nodiscard]] std::string SafePicturePath(std::string_view cataloguePath);

// Runs the update with loader's program folder and splash window: posts stages 21 and 22 (and the
// reader's 13 and 14), merges the day list's new games with usable ids into catalogue (in state 0),
// saves gamelist.xml with every game's state and posts 23 when there are any, then fetches their
// pictures into ico/ and pic/ posting 24 per game, and the pictures owed by earlier starts (those
// with a side file). dayGames receives every game of the day list with a usable id (new or not).
// stored is what LoadStoredCatalogue found. Stages go out only while the splash lives.
void RunCatalogueUpdate(const store::DataFileLoader& loader,
                        const UpdateOptions& options,
                        store::GameCatalogue& catalogue,
                        store::GameCatalogue& dayGames,
                        const StoredCatalogue& stored = {});

// The category "每日最新" (first and second level id "99") with every game of dayGames, replacing
// any category of that id.
void AddDailyNewest(const store::GameCatalogue& dayGames, store::CategoryTree& tree);

} // namespace loading
