#pragma once

// The main window's side of downloading, as plain logic: which requests are admitted, how a game's
// download state moves with the transfers' reports and the control thread's results, how the
// downloads left unfinished at the last exit are taken up, what the summary card, the status line
// and the list panel must show after each of them, and what the outcome of opening a game asks of
// the window. The window routes every message here and carries out the Effects it gets back
// (posts, the card, message boxes, the list, the status line); this class draws nothing and shows
// nothing. GUI thread only, like the stores it changes.

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Messages.h"
#include "store/BoxSettings.h"
#include "store/GameCatalogue.h"
#include "transfer/DownControlThread.h"

namespace queue {

// Where a message that the window is asked to post goes.
enum class Target
{
    Self,            // the main window itself
    ControlThread,   // the download control thread
    UnpackingThread, // the unpacking thread
    Manager,         // the download manager window, only while it is open
};

struct Post
{
    Target target = Target::Self;
    platform::Message message;

    bool operator==(const Post& other) const
    {
        return target == other.target && message.id == other.message.id && message.wParam == other.message.wParam
               && message.lParam == other.message.lParam;
    }
};

// What the summary card shows for a game (only when that game is the card's).
enum class CardShow
{
    Download, // the action button "开始下载"
    Progress, // percentage, bar, the pause and stop buttons
    Paused,   // percentage, bar, the continue and stop buttons
    Open,     // the action button "打开游戏"
    Failed,   // the action button "下载失败，重试": the download ended without the user asking
};

struct CardChange
{
    int game = 0;
    CardShow show = CardShow::Download;
    int percent = 0;

    bool operator==(const CardChange&) const = default;
};

// A message box the window shows (texts are the window's).
enum class Notice
{
    None,
    TooMany,       // "下载个数达到最大！"
    NoSpace,       // "磁盘空间不足，请清理磁盘！"
    DownloadAgain, // the question "打开压缩包失败,是否重新下载？" (two buttons)
    ExtractFailed, // "解压失败！"
    NoConfig,      // "配置文件不存在！"
    NoExecutable,  // "可执行文件不存在！"
};

// How the list panel is filled again (current category and sub-category, no search).
enum class ListRefill
{
    Keep,    // left as it is
    Online,  // the online view
    Local,   // the local view
    Current, // the view of the tab shown
};

// What the window does after a message: in this order, posts, card, list, counts, status, notice
// (and, only when the notice is a question answered with its confirming button, confirmPosts).
struct Effects
{
    std::vector<Post> posts;
    std::optional<CardChange> card;
    ListRefill refill = ListRefill::Keep;
    bool keepCard = false;          // the card shows the same game again after the refill
    bool recount = false;           // recount the tabs
    std::optional<int> statusCount; // the status line's count of downloads
    std::optional<int> statusSpeed; // the status line's speed, KB/s
    Notice notice = Notice::None;
    std::vector<Post> confirmPosts;
};

// What the window knows of its list when a download or a removal ends.
struct ListState
{
    bool online = true;  // the online tab is shown
    bool listed = false; // the game is among the games of the list's last fill
};

class DownloadQueue
{
public:
    // The control thread's start call: (game id, package path, package address, size text,
    // start paused).
    using StartCall = std::function<transfer::StartResult(int gameId,
                                                          const std::string& packagePath,
                                                          const std::string& url,
                                                          std::string_view sizeText,
                                                          bool startPaused)>;
    // The local time now.
    using Clock = std::function<std::tm()>;

    // programDir and serverBase end in "/". The catalogue and settings outlive the queue.
    DownloadQueue(store::GameCatalogue& catalogue,
                  const store::BoxSettings& settings,
                  std::string programDir,
                  std::string serverBase,
                  StartCall start,
                  Clock clock = LocalNow);

    // DownloadRequest (+104): lo 0 cancel, 1 start, 2 pause, 3 continue. Start admits the game
    // through the start call (or continues it when it is already held paused); a refusal is a
    // notice and leaves the state as it was.
    Effects Request(int gameId, std::uint32_t request);
    // DownloadCommand (+201): a transfer's event (0-5) or a command of Request (4, 6, 7).
    Effects Command(int gameId, std::uint32_t command);
    // Progress (+202), as the control thread packs it.
    Effects Progress(platform::Param wParam, platform::Param lParam);
    // CommandResult (+203): 0 removed (lParam hi 0 completed, 1 cancelled), 1 paused, 2 continued.
    Effects Result(int gameId, std::uint32_t action, platform::Param lParam, const ListState& list);
    // TransferCount (+204).
    Effects Count(int transfers);

    // The games left unfinished at the last exit (states 1, 2 and 5), in catalogue order.
    std::vector<int> Unfinished() const;
    // Takes one of them up: admitted running (state 1) when it was downloading and autodown is on,
    // else admitted paused (state 2); refused: state 0 and the refusal's notice.
    Effects TakeUp(int gameId);

    // GameAction (+107): 1 play, 2 remove, 3 the outcome of opening (lParam hi code, lo tell),
    // 4 removed, 5 view changed.
    Effects GameAction(int gameId, std::uint32_t action, platform::Param lParam, const ListState& list);

    // What the card shows for a game when it is chosen, beyond what its state says: the progress
    // of a download the control thread holds. Nothing for other games.
    std::optional<CardChange> CardFor(int gameId) const;

    // The program ends (every transfer stopped): a game still contacting the server is saved as
    // downloading, so that the next start takes it up again with its partial package.
    void Quit();

    // Whether the control thread holds a download of the game (admitted, not yet removed).
    bool Held(int gameId) const { return m_held.contains(gameId); }
    bool HeldPaused(int gameId) const;
    int Transfers() const { return m_transfers; }

    // "year-month-day hour:minute:second", no leading zeros ("2009-7-5 14:3:9").
    static std::string DateText(const std::tm& time);
    static std::tm LocalNow();

private:
    struct HeldDownload
    {
        int percent = 0;
        bool paused = false;
        bool cancelling = false; // the user asked for its end
        bool failed = false;     // it ended on its own, short of the package
    };

    store::GameRecord* Find(int gameId);
    // Changes the state; true when the game moved between the online and the local tab.
    bool SetState(store::GameRecord& record, std::int32_t state);
    std::optional<transfer::StartResult> Admit(int gameId, store::GameRecord& record, bool startPaused);
    HeldDownload& HoldOf(int gameId);
    Effects OpenOutcome(int gameId, std::uint32_t code, bool tell);

    store::GameCatalogue& m_catalogue;
    const store::BoxSettings& m_settings;
    const std::string m_programDir;
    const std::string m_serverBase;
    const StartCall m_start;
    const Clock m_clock;
    std::map<int, HeldDownload> m_held;
    int m_transfers = 0;
};

// The package's progress on disk, for a download taken up paused: bytes on disk against the size
// text, 0 to 99 (a package that looks complete still has its size to be checked).
int PercentOnDisk(const std::string& packagePath, std::string_view sizeText);

} // namespace queue
