#include "app/Loader.h"

#include "platform/MessageThread.h"
#include "platform/Messages.h"
#include "store/DataFileLoader.h"
#include "store/Stores.h"

namespace app {
namespace {

constexpr std::uint32_t ReadyForSkin = 1;
constexpr std::uint32_t ReadyForData = 11;
constexpr std::uint32_t LoadingCategories = 15;
constexpr std::uint32_t LoadingSettings = 31;
constexpr std::uint32_t Done = 100;

} // namespace

// Interim loader until the loading module's LoadingTd is plugged in here: it loads the local data
// files only (gamelist.xml with its stages 13 and 14, the built-in categories, set.xml), in the
// loader's order, on its own message thread. The day's update from the server (stages 21 to 24,
// the category 每日最新) and the download dates from DownLog.xml come with LoadingTd.
std::shared_ptr<void>
StartProgramLoader(platform::WindowHandle splash, store::Stores& stores, const std::string& programDir)
{
    auto thread = std::make_shared<platform::MessageThread>();
    thread->On(platform::msg::LoadStart, [splash, &stores, programDir](const platform::Message&) {
        const auto report = [splash](std::uint32_t stage) {
            platform::PostMessageTo(splash, platform::msg::SplashStage, platform::PackWords(stage, 0), 0);
        };
        report(ReadyForSkin);
        report(ReadyForData);
        const store::DataFileLoader loader(splash, programDir);
        loader.LoadCatalogue("gamelist.xml", stores.catalogue);
        report(LoadingCategories);
        stores.categories.LoadCategories(stores.catalogue);
        report(LoadingSettings);
        loader.LoadSettings("set.xml", stores.settings);
        report(Done);
    });
    thread->Start();
    thread->Post(platform::msg::LoadStart, 0, 0);
    return thread;
}

} // namespace app
