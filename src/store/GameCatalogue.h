#pragma once

// The game catalogue: every game the program knows, keyed by id. Narrow texts are UTF-8.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace store {

// Download state of a game (the laststate value).
namespace game_state {
constexpr std::int32_t NotDownloaded = 0; // new, cancelled, failed to resume, or deleted for good
constexpr std::int32_t Downloading = 1;
constexpr std::int32_t Paused = 2;     // paused or interrupted; also a downloaded game without its package
constexpr std::int32_t Downloaded = 3; // the package file download/<id>.zip exists
constexpr std::int32_t Recycled = 4;   // in the recycle bin of the downloaded-games panel
constexpr std::int32_t Contacting = 5; // transfer started, still contacting the server (run time only)
} // namespace game_state

// One game. Fields in the order of the catalogue record; cominfo parts are marked.
struct GameRecord
{
    std::string info1;                 // cominfo part 1
    std::string info2;                 // cominfo part 2
    std::string info3;                 // cominfo part 3
    std::string info4;                 // cominfo part 4
    std::string id;                    // decimal digits; the catalogue key
    std::string name;                  // display name
    std::string srcname;               // source name
    std::string size;                  // cominfo part 5: package size text
    std::string info6;                 // cominfo part 6
    std::string views;                 // cominfo part 7: view count text
    std::string language;              // cominfo part 8
    std::string info9;                 // cominfo part 9
    std::string info10;                // cominfo part 10
    std::string info11;                // cominfo part 11: kept only while the game is downloaded
    std::string intro;                 // short introduction
    std::string detailintro;           // introduction text
    std::string playskill;             // strategy text
    std::string icopic;                // relative path of the icon picture ("ico\123.gif")
    std::string dawndate;              // when the download finished (from DownLog.xml, not gamelist.xml)
    std::vector<std::string> pictures; // relative paths of the screenshots, in file order
    std::int32_t state = game_state::NotDownloaded;

    bool operator==(const GameRecord&) const = default;
};

// Id -> record, ordered by byte-wise comparison of the ids ("10" before "9"); one record per id.
// No lock: filled by the loader thread before the main window exists, then used by the main thread.
using GameCatalogue = std::map<std::string, GameRecord>;

// The eleven cominfo facts of a record, in file order.
constexpr int CominfoFacts = 11;
inline std::string* CominfoFact(GameRecord& record, int index)
{
    std::string* const facts[CominfoFacts] = {&record.info1,
                                              &record.info2,
                                              &record.info3,
                                              &record.info4,
                                              &record.size,
                                              &record.info6,
                                              &record.views,
                                              &record.language,
                                              &record.info9,
                                              &record.info10,
                                              &record.info11};
    return index >= 0 && index < CominfoFacts ? facts[index] : nullptr;
}
inline const std::string* CominfoFact(const GameRecord& record, int index)
{
    return CominfoFact(const_cast<GameRecord&>(record), index);
}

} // namespace store
