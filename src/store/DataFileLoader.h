#pragma once

// Loads and saves the data files of the program folder (gamelist.xml, DownLog.xml, set.xml) for
// one batch of work. Loading stages go to the notify window while it lives; a loader made with
// handle 0 posts nothing. Failures leave the store as it was (or at its defaults) and are never
// raised. One thread at a time per loader.

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "platform/HandleTable.h"
#include "store/BoxSettings.h"
#include "store/DownloadLog.h"
#include "store/GameCatalogue.h"

namespace markup {
class MarkupDoc;
}

namespace store {

// Loading stages posted by the loader (SplashStage, high word of wParam).
namespace stage {
constexpr std::uint32_t DataFileLoaded = 13; // after a successful read and parse of a game list
constexpr std::uint32_t GameDetails = 14;    // root gamelist found (flag 1: no root gamelist)
} // namespace stage

class DataFileLoader
{
public:
    // programDir: the program folder; file names are taken relative to it.
    DataFileLoader(platform::WindowHandle notify, std::filesystem::path programDir);

    [[nodiscard]] const std::filesystem::path& ProgramDir() const { return m_programDir; }
    [[nodiscard]] platform::WindowHandle NotifyWindow() const { return m_notify; }

    // Reads programDir/fileName into the catalogue (records replace those of the same id). A file
    // that cannot be read or parsed posts nothing and changes nothing; false then.
    bool LoadCatalogue(std::string_view fileName, GameCatalogue& catalogue) const;
    // The same from a game list text already in memory.
    bool ParseCatalogue(std::u16string_view text, GameCatalogue& catalogue) const;
    // Reads the games of a parsed document (position reset first); posts stage 14 (flag 1 without
    // the root gamelist, then nothing is read).
    void ReadGames(markup::MarkupDoc& doc, GameCatalogue& catalogue) const;
    // State 3 whose package file programDir/download/<id>.zip is missing becomes 2; others stay.
    [[nodiscard]] std::int32_t EffectiveState(std::int32_t state, std::int64_t id) const;
    // Rewrites programDir/gamelist.xml from the catalogue, atomically: without laststate, or with
    // each game's state as it stands when withStates is set. False when the file could not be
    // written (the old file stays).
    [[nodiscard]] bool WriteCatalogue(const GameCatalogue& catalogue, bool withStates = false) const;
    // The exit update: writes each game's effective state into the laststate of programDir/fileName,
    // changing nothing else of the file, then rewrites the download log. A missing file becomes an
    // empty file; a file that exists but cannot be read or is ill-formed is left untouched.
    // False when the game list was left untouched or could not be written.
    bool SaveCatalogueState(std::string_view fileName, const GameCatalogue& catalogue) const;

    // Reads programDir/fileName (DownLog.xml) into log; missing or ill-formed: log unchanged.
    bool LoadDownloadLog(std::string_view fileName, DownloadLog& log) const;
    // Rewrites programDir/DownLog.xml from the downloaded games (state 3) that have a date.
    [[nodiscard]] bool SaveDownloadLog(const GameCatalogue& catalogue) const;

    // Reads programDir/fileName (set.xml) into settings; missing or ill-formed: every field stays.
    bool LoadSettings(std::string_view fileName, BoxSettings& settings) const;
    // Writes every stored field to programDir/fileName, atomically. False when it could not be written.
    [[nodiscard]] bool SaveSettings(std::string_view fileName, const BoxSettings& settings) const;

private:
    void PostStage(std::uint32_t stage, std::uint32_t flag) const;
    [[nodiscard]] std::filesystem::path PathOf(std::string_view fileName) const;

    platform::WindowHandle m_notify;
    std::filesystem::path m_programDir;
};

// Removes from the program folder the temporary files that saves of gamelist.xml, DownLog.xml and
// set.xml killed before their end left there (only those, by their exact names). For the start-up,
// before anything is saved. Returns how many were removed.
std::size_t RemoveStaleSaves(const std::filesystem::path& programDir);

// Leading decimal integer of a text as the C library reads it (spaces, sign, digits; 0 when none),
// saturated to the range of int64.
[[nodiscard]] std::int64_t LeadingInteger(std::u16string_view text);
[[nodiscard]] std::int64_t LeadingInteger(std::string_view text);

} // namespace store
