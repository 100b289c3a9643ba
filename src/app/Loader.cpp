#include "app/Loader.h"

#include "loading/LoadingTd.h"
#include "platform/Messages.h"

namespace app {

// The loader thread of the loading module, started for the splash: it reads gamelist.xml, takes the
// day's update from the catalogue server, builds the categories (with 每日最新), copies the download
// dates and reads set.xml. The interface texts are built by the UI before the splash, so the loader
// gets no text callback.
StartedLoader StartProgramLoader(platform::WindowHandle splash, store::Stores& stores, const std::string& programDir)
{
    loading::LoadingOptions options;
    options.programDir = programDir;
    auto loader = std::make_shared<loading::LoadingTd>(stores, std::move(options));
    loader->SetSplash(splash);
    loader->Start();
    platform::PostMessageTo(loader->Handle(), platform::msg::LoadStart, 0, 0);
    return {loader, [raw = loader.get()] { raw->Abort(); }};
}

} // namespace app
