#pragma once

// The settings window's values as the user edits them, and what applying one of its tabs changes:
// each tab applies only its own options, and the download tab refuses a maximum number of
// downloads that is empty or outside 1 to 10. The window shows the messages, saves set.xml and
// sets the autostart entry. Any thread, on objects of its own.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "store/Autostart.h"
#include "store/BoxSettings.h"

namespace store {

// The most downloads at once the settings window accepts.
constexpr std::int32_t FewestDownloadsAllowed = 1;
constexpr std::int32_t MostDownloadsAllowed = 10;

enum class MaxnumCheck
{
    Valid,
    Empty,      // "下载个数不能为空！"
    OutOfRange, // "最大下载个数必须在1到10之间！"
};

// Reads the typed maximum number of downloads: empty, or the number it starts with as the C
// library reads it (spaces, sign, digits; 0 when there are none), valid from 1 to 10. value gets
// the number when it is valid.
MaxnumCheck CheckMaxDownloads(std::string_view text, std::int32_t* value = nullptr);

// The settings window's tabs.
enum class SettingsTab
{
    General = 1,  // start with the session, close to the tray
    Download = 2, // resume unfinished downloads, most downloads at once
    Game = 3,     // desktop shortcut, start a game when downloaded
};

struct SettingsForm
{
    bool startWithSession = false; // the autostart entry (as queried, not the autostart field)
    bool closeToTray = true;       // exit
    bool resumeUnfinished = false; // autodown
    std::string maxnum;            // as typed (UTF-8)
    bool shortcut = false;
    bool autogame = false;

    // The values the window opens with: the settings, the autostart entry as found.
    static SettingsForm Of(const BoxSettings& settings, bool autostartEntry);
};

struct TabApplied
{
    MaxnumCheck maxnum = MaxnumCheck::Valid;  // not Valid: nothing was changed
    std::optional<AutostartAction> autostart; // the general tab: add or remove the entry
    bool Applied() const { return maxnum == MaxnumCheck::Valid; }
};

// Copies the options of one tab into settings and leaves every other field as it was. The download
// tab with a maximum that is not valid changes nothing.
TabApplied ApplySettingsTab(const SettingsForm& form, SettingsTab tab, BoxSettings& settings);

} // namespace store
