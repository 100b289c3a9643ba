#pragma once

// Every posted message of the program, by receiver, and the packing of its two parameters.
// Both parameters carry two 16-bit words: the high word and the low word. Ids travel in
// 16 bits, so an id of 65536 or more arrives as its low 16 bits.

#include <cstdint>

namespace platform {

using MessageId = std::uint32_t;
using Param = std::uint32_t;

// One posted message.
struct Message
{
    MessageId id = 0;
    Param wParam = 0;
    Param lParam = 0;
};

constexpr MessageId WmUser = 0x0400;

// The two 16-bit words of a parameter.
constexpr Param PackWords(std::uint32_t hi, std::uint32_t lo)
{
    return ((hi & 0xFFFFu) << 16) | (lo & 0xFFFFu);
}
constexpr std::uint32_t HiWord(Param value)
{
    return (value >> 16) & 0xFFFFu;
}
constexpr std::uint32_t LoWord(Param value)
{
    return value & 0xFFFFu;
}

namespace msg {

// --- Main window (CZandor_ClientDlg) ---
constexpr MessageId CategoryChosen = WmUser + 100;    // w: hi top-category id
constexpr MessageId SubCategoryChosen = WmUser + 101; // w: hi top-category id, lo sub-category id
constexpr MessageId WindowButton = WmUser + 102;      // w: hi 0 close, 1 maximise, 2 restore, 3 minimise
constexpr MessageId TabChosen = WmUser + 103;         // w: hi 0 online, 1 local, other: counts only
constexpr MessageId DownloadRequest = WmUser + 104;   // w: hi game id, lo 0 cancel, 1 start, 2 pause, 3 continue
constexpr MessageId LinkClicked = WmUser + 105;       // w: hi 2 contact, 5 view details
constexpr MessageId WantProgress = WmUser + 106;      // w: handle of the window that wants progress
constexpr MessageId GameAction = WmUser + 107;        // w: hi game id, lo action; l (action 3): hi result, lo tell
constexpr MessageId GameChosen = WmUser + 111;        // w: hi game id
constexpr MessageId Ignored = WmUser + 112;           // accepted and ignored
constexpr MessageId DownloadCommand = WmUser + 201;   // w: hi game id, lo command 0..7
constexpr MessageId Progress = WmUser + 202;          // w: hi game id or (hi 0, lo count); l: hi percent, lo KB/s
constexpr MessageId CommandResult = WmUser + 203;     // w: hi game id, lo 0 removed, 1 paused, 2 continued
constexpr MessageId TransferCount = WmUser + 204;     // w: hi number of transfers
constexpr MessageId ExternalClose = WmUser + 350;     // close the program without asking
constexpr MessageId TrayNotify = WmUser + 5000;       // w: tray icon id, l: the mouse message

// Actions of GameAction (low word of wParam).
namespace game_action {
constexpr std::uint32_t Play = 1;
constexpr std::uint32_t Remove = 2;
constexpr std::uint32_t Result = 3;
constexpr std::uint32_t Removed = 4;
constexpr std::uint32_t ViewChanged = 5;
} // namespace game_action

// Outcome codes of opening a game (high word of lParam of GameAction, action Result).
namespace open_result {
constexpr std::uint32_t PackageUnreadable = 0;
constexpr std::uint32_t ExtractFailed = 1;
constexpr std::uint32_t NoConfig = 2;
constexpr std::uint32_t NoExecutable = 3;
constexpr std::uint32_t Started = 4;
} // namespace open_result

// --- Download control thread (DownControlThread) ---
constexpr MessageId DownControl = WmUser + 100;      // w: hi game id, lo 0 remove, 1 pause, 2 resume; l passed back
constexpr MessageId DownReportMain = WmUser + 101;   // progress pass to the main window, with summary
constexpr MessageId DownReportWindow = WmUser + 102; // w: handle of a window to report to

// Worker events carried in the low word of DownloadCommand.
namespace down_event {
constexpr std::uint32_t Started = 0;
constexpr std::uint32_t NoAnswer = 1;
constexpr std::uint32_t NoLength = 2;
constexpr std::uint32_t BodyBegins = 3;
constexpr std::uint32_t SizeMismatch = 4;
constexpr std::uint32_t Complete = 5;
constexpr std::uint32_t CreatedPaused = 6;
} // namespace down_event

// --- Unpacking thread (UnzipThread) ---
constexpr MessageId UnzipOpen = WmUser + 100;   // w: hi game id
constexpr MessageId UnzipRemove = WmUser + 200; // w: hi game id

// --- Loader thread (LoadingTd) ---
constexpr MessageId LoadStart = WmUser + 100;

// --- Loading splash (LoadingDlg) ---
constexpr MessageId SplashStage = WmUser + 100; // w: hi stage, lo failure flag; l: stage data

// --- Download manager window (CheckDetialDlg) ---
constexpr MessageId ManagerCommand = WmUser + 201;
constexpr MessageId ManagerProgress = WmUser + 202;
constexpr MessageId ManagerDownloaded = WmUser + 300;

// --- Downloading panel (DowningDlg) ---
constexpr MessageId DowningRequest = WmUser + 100; // w: hi game id, lo 0 cancel, 1 continue, 2 pause
constexpr MessageId DowningCommand = WmUser + 201;
constexpr MessageId DowningProgress = WmUser + 202;

} // namespace msg
} // namespace platform
