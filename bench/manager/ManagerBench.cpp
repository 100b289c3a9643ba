// The download manager with a generated catalogue of 20,000 games of which 10,000 are downloaded,
// measured in the real main window on the offscreen platform, in one run:
//   - open: from the status line's "查看详情" to the manager's first paint (both downloaded pages
//     filled, the downloading page asking for its report) (goal 50 ms);
//   - the downloaded page chosen (its tab clicked and painted), for information;
//   - page turn: the worst frame of a turn to the next page, ten turns, the first frame being the
//     click's work (the page's rows when they are not built yet, the page buttons, a repaint of the
//     page) and then each of the ten animation frames a step and a repaint (goal 8 ms); once a page
//     is in place its neighbours' rows are built.
// Each run opens the manager again; figures are medians over the runs, the largest beside them.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <QApplication>
#include <QTemporaryDir>
#include <QWindow>

#include "app/CZandor_ClientDlg.h"
#include "browse/GameList.h"
#include "common/WindowBench.h"
#include "platform/Messages.h"
#include "store/Stores.h"
#include "views/CheckDetialDlg.h"
#include "views/DownedDlg.h"
#include "views/Fonts.h"
#include "views/ModalRunner.h"
#include "views/NavigationBar.h"
#include "views/SkinTheme.h"
#include "views/UiTexts.h"

namespace {

using namespace window_bench;

constexpr int Games = 20000;
constexpr int Runs = 11;
constexpr int Turns = 10;

// Every other game downloaded (10,000), a few in the recycle bin.
void Generate(store::Stores& stores)
{
    static const char* const words[] = {"疯狂",
                                        "超级",
                                        "梦幻",
                                        "快乐",
                                        "神秘",
                                        "极速",
                                        "可爱",
                                        "传奇",
                                        "魔法",
                                        "赛车",
                                        "农场",
                                        "餐厅",
                                        "泡泡龙",
                                        "连连看",
                                        "射击",
                                        "弹球",
                                        "三国",
                                        "足球"};
    std::mt19937 rng(2010);
    for (int id = 1; id <= Games; ++id) {
        store::GameRecord record;
        record.id = std::to_string(id);
        record.name = std::string(words[rng() % 18]) + words[rng() % 18] + std::to_string(id % 100);
        record.size = "812K";
        record.info6 = id % 3 == 0 ? "共享" : "免费";
        record.state = id % 2 == 0 ? store::game_state::Downloaded
                                   : (id % 101 == 0 ? store::game_state::Recycled : store::game_state::NotDownloaded);
        record.dawndate = "2010-5-1 10:0:0";
        stores.catalogue.emplace(record.id, std::move(record));
    }
    AddDailyCategory(stores);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    views::InstallFontSubstitutes();
    auto* theme = new views::SkinTheme();
    if (!theme->Load(QStringLiteral(MARLUNE_SKIN_RCC))) {
        std::fprintf(stderr, "cannot load %s\n", MARLUNE_SKIN_RCC);
        return 1;
    }
    const views::UiTexts texts;
    QTemporaryDir folder;
    store::Stores stores;
    Generate(stores);
    {
        app::CZandor_ClientDlg window(*theme, texts, stores, folder.path().toStdString() + "/");
        if (!Exposed(window)) {
            std::fprintf(stderr, "the window was not exposed\n");
            return 1;
        }
        Deliver();

        std::vector<double> opens;
        std::vector<double> switches;
        std::vector<double> worstFrames;
        std::vector<double> allFrames;
        int downloaded = 0;
        int pages = 0;
        Clock::time_point clicked;
        views::ModalRunner::Instance().SetShownObserver([&](QWidget* shown) {
            auto* manager = dynamic_cast<views::CheckDetialDlg*>(shown);
            if (manager == nullptr) {
                return;
            }
            manager->repaint();
            opens.push_back(Ms(Clock::now() - clicked));
            Deliver();

            views::DownedDlg& page = manager->Downed();
            auto start = Clock::now();
            manager->SelectTab(views::CheckDetialDlg::DownedTab);
            manager->repaint();
            switches.push_back(Ms(Clock::now() - start));
            Deliver();
            downloaded = page.List().GameCount();
            pages = page.List().PageCount();

            for (int turn = 0; turn < Turns; ++turn) {
                double worst = 0;
                start = Clock::now();
                page.GoToPage(browse::NextPage);
                QCoreApplication::processEvents();
                page.repaint();
                double frame = Ms(Clock::now() - start);
                worst = std::max(worst, frame);
                allFrames.push_back(frame);
                for (;;) {
                    start = Clock::now();
                    if (!page.Panel()->StepAnimation()) {
                        break;
                    }
                    page.repaint();
                    frame = Ms(Clock::now() - start);
                    worst = std::max(worst, frame);
                    allFrames.push_back(frame);
                }
                worstFrames.push_back(worst);
                // The page is in place; its neighbours are built while the user looks at it.
                Deliver();
            }
            views::ModalRunner::Instance().Done(manager, views::ModalRunner::Cancel);
        });

        // A warm-up run (fonts, glyphs), then the measured ones.
        for (int run = 0; run <= Runs; ++run) {
            clicked = Clock::now();
            window.Post(platform::msg::LinkClicked, platform::PackWords(views::NavigationBar::DetailsLink, 0), 0);
            Deliver();
            if (run == 0) {
                opens.clear();
                switches.clear();
                worstFrames.clear();
                allFrames.clear();
            }
        }
        views::ModalRunner::Instance().SetShownObserver(nullptr);

        std::printf("manager_bench: %d games, %d downloaded (%d pages), offscreen\n", Games, downloaded, pages);
        Report("open the manager", opens, 50);
        std::printf("  (information) downloaded page chosen: median %.2f ms, max %.2f ms\n",
                    Median(switches),
                    Max(switches));
        Report("page turn, worst frame", worstFrames, 8);
        std::printf("  page-turn frames: median %.2f ms, max %.2f ms over %zu frames\n",
                    Median(allFrames),
                    Max(allFrames),
                    allFrames.size());
    }
    delete theme;
    return 0;
}
