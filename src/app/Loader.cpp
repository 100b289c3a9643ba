// SCAFFOLD (not to be committed): stands in for the loading module until it lands.
#include "app/Loader.h"

#include "platform/MessageThread.h"
#include "platform/Messages.h"
#include "store/DataFileLoader.h"
#include "store/Stores.h"

namespace app {

std::shared_ptr<void>
StartProgramLoader(platform::WindowHandle splash, store::Stores& stores, const std::string& programDir)
{
    auto thread = std::make_shared<platform::MessageThread>();
    thread->On(platform::msg::LoadStart, [splash, &stores, programDir](const platform::Message&) {
        using platform::PackWords;
        platform::PostMessageTo(splash, platform::msg::SplashStage, PackWords(1, 0), 0);
        platform::PostMessageTo(splash, platform::msg::SplashStage, PackWords(11, 0), 0);
        store::DataFileLoader loader(splash, programDir);
        loader.LoadCatalogue("gamelist.xml", stores.catalogue);
        platform::PostMessageTo(splash, platform::msg::SplashStage, PackWords(15, 0), 0);
        stores.categories.LoadCategories(stores.catalogue);
        platform::PostMessageTo(splash, platform::msg::SplashStage, PackWords(31, 0), 0);
        loader.LoadSettings("set.xml", stores.settings);
        platform::PostMessageTo(splash, platform::msg::SplashStage, PackWords(100, 0), 0);
    });
    thread->Start();
    thread->Post(platform::msg::LoadStart, 0, 0);
    return thread;
}

} // namespace app
