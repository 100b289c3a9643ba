#include "loading/LoadingTd.h"

#include <utility>

#include "loading/Stages.h"
#include "platform/Messages.h"
#include "store/DataFileLoader.h"
#include "store/DownloadLog.h"

namespace loading {

LoadingTd::LoadingTd(store::Stores& stores, LoadingOptions options)
    : m_stores(stores)
    , m_options(std::move(options))
{
    m_options.update.abort = &m_abort;
    m_thread.On(platform::msg::LoadStart, [this](const platform::Message&) { RunLoading(); });
}

LoadingTd::~LoadingTd()
{
    m_thread.Stop();
}

void LoadingTd::Report(std::uint32_t stage) const
{
    // The procedure's own stages are posted as they are; a splash that is gone drops them.
    platform::PostMessageTo(m_splash.load(), platform::msg::SplashStage, platform::PackWords(stage, 0), 0);
}

void LoadingTd::RunLoading()
{
    Report(stage::PrepareSkin);
    if (m_options.buildTexts) {
        m_options.buildTexts();
    }
    Report(stage::PrepareData);
    {
        const store::DataFileLoader loader(m_splash.load(), m_options.programDir);
        const StoredCatalogue stored = LoadStoredCatalogue(loader, m_stores.catalogue);

        store::GameCatalogue dayGames;
        RunCatalogueUpdate(loader, m_options.update, m_stores.catalogue, dayGames, stored);

        Report(stage::Categories);
        m_stores.categories.LoadCategories(m_stores.catalogue);
        AddDailyNewest(dayGames, m_stores.categories);

        store::DownloadLog log;
        static_cast<void>(loader.LoadDownloadLog("DownLog.xml", log));
        store::MergeDownloadLog(log, m_stores.catalogue);

        Report(stage::Settings);
        static_cast<void>(loader.LoadSettings("set.xml", m_stores.settings));
    }
    Report(stage::Done);
}

} // namespace loading
