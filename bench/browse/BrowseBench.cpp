// Browsing speed with a generated catalogue of 100,000 games in one sub-category, measured in the
// real main window on the offscreen platform, in one run:
//   - fill: the list panel's fill of that sub-category and its first paint (goal 30 ms);
//   - page turn: the worst frame of a page turn, the first frame being the click's work (the new
//     page's cells when they are not built yet, and a repaint of the panel) and the five animation
//     frames each a step and a repaint of the panel (goal 8 ms); once the page is in place the card
//     changes to its first game (that is the card's figure) and the neighbouring pages are built;
//   - card: showing a game with three pictures in the card and the info screen, and painting what
//     changed (goal 16 ms).
//   - search: a keyword search over the whole catalogue with its paint (goal 30 ms);
// Each figure is the median of its runs; the largest run is printed beside it. Ids are 1 to
// 100,000; the list shows the 65,535 that messages can carry and walks past the rest.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QWindow>

#include "app/CZandor_ClientDlg.h"
#include "browse/GameList.h"
#include "common/WindowBench.h"
#include "platform/Messages.h"
#include "skin/SkinEngine.h"
#include "store/Stores.h"
#include "views/Fonts.h"
#include "views/GameSummaryCard.h"
#include "views/InfoScreen.h"
#include "views/ListDlg.h"
#include "views/SkinTheme.h"
#include "views/UiTexts.h"

namespace {

using namespace window_bench;

constexpr int Games = 100000;
constexpr int Category = 42;
constexpr int SubCategory = 19;
constexpr int IconFiles = 24;

// Pictures of the generated catalogue: icons in three formats, three screenshots.
void WritePictures(const QString& dir)
{
    QDir().mkpath(dir + QStringLiteral("/ico"));
    QDir().mkpath(dir + QStringLiteral("/pic"));
    std::mt19937 rng(7);
    const auto picture = [&rng](int w, int h) {
        QImage image(w, h, QImage::Format_RGB32);
        QPainter painter(&image);
        QLinearGradient fill(0, 0, w, h);
        fill.setColorAt(0, QColor::fromRgb(rng() & 0xFFFFFF));
        fill.setColorAt(1, QColor::fromRgb(rng() & 0xFFFFFF));
        painter.fillRect(image.rect(), fill);
        painter.end();
        return image;
    };
    for (int i = 0; i < IconFiles; ++i) {
        const char* format = i % 2 == 0 ? "JPG" : "PNG";
        picture(120, 90).save(dir + QStringLiteral("/ico/%1.%2").arg(i).arg(i % 2 == 0 ? u"jpg" : u"png"), format);
    }
    picture(640, 480).save(dir + QStringLiteral("/pic/a.jpg"), "JPG");
    picture(800, 600).save(dir + QStringLiteral("/pic/b.jpg"), "JPG");
    picture(400, 300).save(dir + QStringLiteral("/pic/c.png"), "PNG");
}

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
    store::CategoryNode& node = stores.categories.nodes[std::to_string(Category)];
    node.id = std::to_string(Category);
    node.name = "全部游戏";
    store::SubCategoryNode& sub = node.subs[std::to_string(SubCategory)];
    sub.id = std::to_string(SubCategory);
    sub.name = "体育竞速";
    for (int id = 1; id <= Games; ++id) {
        store::GameRecord record;
        record.id = std::to_string(id);
        record.name = std::string(words[rng() % 18]) + words[rng() % 18] + (id % 25 == 0 ? "祖玛" : "")
                      + std::to_string(id % 100);
        record.srcname = "(Sample Game " + record.id + ")";
        record.language = "中文";
        record.size = "812K";
        record.views = std::to_string(rng() % 100000);
        record.detailintro = "一个示例游戏的简介。";
        record.playskill = "示例攻略。";
        const int icon = id % IconFiles;
        record.icopic = "ico\\" + std::to_string(icon) + (icon % 2 == 0 ? ".jpg" : ".png");
        record.pictures = {"pic\\a.jpg", "pic\\b.jpg", "pic\\c.png"};
        record.state = id % 50 == 0 ? store::game_state::Downloaded : store::game_state::NotDownloaded;
        sub.games.emplace(record.id, record.name);
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
    WritePictures(folder.path());
    store::Stores stores;
    const auto generateStart = Clock::now();
    Generate(stores);
    std::printf("browse_bench: %d games in one sub-category (generated in %.0f ms), window 970 x 630, "
                "offscreen\n",
                Games,
                Ms(Clock::now() - generateStart));

    {
        app::CZandor_ClientDlg window(*theme, texts, stores, folder.path().toStdString() + "/");
        if (!Exposed(window)) {
            std::fprintf(stderr, "the window was not exposed\n");
            return 1;
        }
        Deliver();
        views::ListDlg& list = window.ListPanel();
        const browse::ListView view{Category, SubCategory, false, browse::ListView::OnlineKind, false, {}};

        // Warm-up: fonts, glyphs, picture decoders.
        list.Fill(view);
        list.repaint();
        Deliver();

        // The list's index of the catalogue is built at its first fill and kept.
        {
            browse::GameList fresh;
            const auto start = Clock::now();
            fresh.Fill(stores.catalogue, stores.categories, view, 430);
            std::printf("  (information) the list's first fill, building its index: %.2f ms\n",
                        Ms(Clock::now() - start));
        }

        std::vector<double> fills;
        for (int run = 0; run < 11; ++run) {
            const auto start = Clock::now();
            list.Fill(view);
            list.repaint();
            fills.push_back(Ms(Clock::now() - start));
            Deliver();
        }
        std::printf("  list: %d games, %d pages of %d\n",
                    list.GameCount(),
                    list.List().PageCount(),
                    list.List().PerPage());

        // Page turns: the click's frame, then the animation's frames.
        std::vector<double> worstFrames;
        std::vector<double> allFrames;
        for (int turn = 0; turn < 25; ++turn) {
            double worst = 0;
            auto start = Clock::now();
            list.GoToPage(browse::NextPage);
            QCoreApplication::processEvents();
            list.repaint();
            double frame = Ms(Clock::now() - start);
            worst = std::max(worst, frame);
            allFrames.push_back(frame);
            for (;;) {
                start = Clock::now();
                const bool stepped = list.Panel()->StepAnimation();
                if (!stepped) {
                    break;
                }
                list.repaint();
                frame = Ms(Clock::now() - start);
                worst = std::max(worst, frame);
                allFrames.push_back(frame);
            }
            worstFrames.push_back(worst);
            // The page is in place: the card shows its first game (measured below as the card) and
            // the neighbouring pages are built, while the user looks at the page.
            Deliver();
        }

        std::vector<double> searches;
        for (int run = 0; run < 11; ++run) {
            const auto start = Clock::now();
            list.Search("祖玛");
            list.repaint();
            searches.push_back(Ms(Clock::now() - start));
            Deliver();
        }
        const int found = list.GameCount();

        store::GameRecord first = stores.catalogue.at("31");
        store::GameRecord second = stores.catalogue.at("32");
        std::vector<double> cards;
        for (int run = 0; run < 12; ++run) {
            const auto start = Clock::now();
            window.Card().ShowGame(run % 2 == 0 ? first : second);
            // Paint what changed: the card with its picture buttons, and the info screen.
            const QRect card = window.Card().Rect();
            window.repaint(QRect(card.left(), card.bottom() - 125, card.width(), 126));
            window.Info().repaint();
            cards.push_back(Ms(Clock::now() - start));
        }

        // For information: a sub-category chosen as the user does, with the counts and the card.
        window.Post(platform::msg::CategoryChosen, platform::PackWords(Category, 0), 0);
        Deliver();
        std::vector<double> choices;
        for (int run = 0; run < 5; ++run) {
            list.Fill(browse::ListView{});
            Deliver();
            const auto start = Clock::now();
            window.Post(platform::msg::TabChosen, 0, 0);
            Deliver();
            window.repaint();
            choices.push_back(Ms(Clock::now() - start));
        }

        std::printf("  search found %d games\n", found);
        Report("fill the list", fills, 30);
        Report("page turn, worst frame", worstFrames, 8);
        std::printf("  page-turn frames: median %.2f ms, max %.2f ms over %zu frames\n",
                    Median(allFrames),
                    Max(allFrames),
                    allFrames.size());
        Report("search the whole catalogue", searches, 30);
        Report("card with three pictures", cards, 16);
        std::printf("  (information) a tab chosen: fill, counts, card, paint: median %.2f ms\n", Median(choices));
    }
    delete theme;
    return 0;
}
