#pragma once

// The day's catalogue update: fetch the day list from the catalogue server, merge the games the
// catalogue does not know yet, save gamelist.xml, fetch their pictures, and build the category of
// the day's newest games. Runs on the loader thread; nothing of it is reported as an error.

#include <chrono>
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
};

// The day list's address: "<base>file/cls/<N>.xml".
[[nodiscard]] std::string DayListUrl(std::string_view serverBase, int dayNumber);

// The list's bytes as text: UTF-8 when they are valid UTF-8, else code page 936.
[[nodiscard]] std::u16string DecodeDayList(std::string_view bytes);

// The local path of a catalogue picture path ("ico\123.gif" -> "ico/123.gif"), or empty when it is
// absolute or would not stay inside the program folder's ico/ or pic/.
[[nodiscard]] std::string SafePicturePath(std::string_view cataloguePath);

// Runs the update with loader's program folder and splash window: posts stages 21 and 22 (and the
// reader's 13 and 14), merges the day list's new games into catalogue, saves gamelist.xml and posts
// 23 when there are any, then fetches their pictures into ico/ and pic/ posting 24 per game.
// dayGames receives every game of the day list (new or not). Stages go out only while the splash
// lives.
void RunCatalogueUpdate(const store::DataFileLoader& loader,
                        const UpdateOptions& options,
                        store::GameCatalogue& catalogue,
                        store::GameCatalogue& dayGames);

// The category "每日最新" (first and second level id "99") with every game of dayGames, replacing
// any category of that id.
void AddDailyNewest(const store::GameCatalogue& dayGames, store::CategoryTree& tree);

} // namespace loading
