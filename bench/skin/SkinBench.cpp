// Skin engine benchmarks, on the offscreen platform:
//   - formatting (parse and lay out) and drawing a 200-segment markup string;
//   - a list-panel-like window with a ScrollPanel of 1,000 items (cells of frame, icon and name
//     label, six cells a page), paged through with five-frame animated scrolls; every frame is
//     one animation step and a full synchronous repaint of the window. Reports the worst frame
//     and the median (goal: worst under 8 ms).
//   - a mouse move over that panel once every item has been drawn (hit testing).

#include <algorithm>
#include <chrono>
#include <vector>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QWidget>
#include <QWindow>

#include "skin/SkinEngine.h"

namespace {

using Clock = std::chrono::steady_clock;

QImage Solid(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(colour);
    return image;
}

// Pictures shared by the benchmarks: a five-frame button, a cell frame, a game icon.
struct Pictures
{
    skin::Owned<skin::SkinPicture> button = skin::Make<skin::SkinPicture>();
    skin::Owned<skin::SkinPicture> frame = skin::Make<skin::SkinPicture>();
    skin::Owned<skin::SkinPicture> hover = skin::Make<skin::SkinPicture>();
    skin::Owned<skin::SkinPicture> check = skin::Make<skin::SkinPicture>();
    skin::Owned<skin::SkinPicture> icon = skin::Make<skin::SkinPicture>();

    Pictures()
    {
        button->SetImage(Solid(250, 23, QColor(0x2E, 0x72, 0xA5)));
        frame->SetImage(Solid(140, 121, QColor(0x1C, 0x4F, 0x82, 120)));
        hover->SetImage(Solid(140, 121, QColor(0x2A, 0x6C, 0xA4, 160)));
        check->SetImage(Solid(70, 14, QColor(0x6F, 0xA8, 0xD0)));
        QImage game(160, 120, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&game);
        QLinearGradient fill(0, 0, 0, 120);
        fill.setColorAt(0, QColor(0xE9, 0x5A, 0x4F));
        fill.setColorAt(1, QColor(0x40, 0x10, 0x20));
        painter.fillRect(game.rect(), fill);
        painter.end();
        icon->SetImage(game);
        icon->Resize(120, 90);
    }
};

Pictures& SharedPictures()
{
    static Pictures* pictures = new Pictures();
    return *pictures;
}

QString LongMarkup()
{
    const Pictures& p = SharedPictures();
    QString markup = QStringLiteral("/global,c=ffffff,font,font_face=宋体,font_height=12,line_width=480,line_space=4/");
    for (int i = 1; markup.count(u'/') / 2 < 200; ++i) {
        switch (i % 4) {
        case 0:
            markup +=
                QStringLiteral("/c=9a9a9a,font,font_face=宋体,font_height=13/第%1段说明文字，介绍游戏玩法 ").arg(i);
            break;
        case 1:
            markup += QStringLiteral("/a,linkl=2,linkc=1,linkh=0x9134a6/链接%1 ").arg(i);
            break;
        case 2:
            markup += QStringLiteral("/a,p5=%1,btn_width=50,btn_height=23,btn_text='按钮'/").arg(p.button->GetId());
            break;
        default:
            markup += QStringLiteral("/c=0000ff,font_bold=1/Level %1 · 35Kb//s ").arg(i);
            break;
        }
    }
    return markup;
}

void BM_Format200Segments(benchmark::State& state)
{
    const QString markup = LongMarkup();
    auto text = skin::Make<skin::RichText>();
    for (auto _ : state) {
        text->Format(markup);
        benchmark::DoNotOptimize(text->Size());
    }
    state.counters["lines"] = text->LineCount();
    state.counters["anchors"] = text->AnchorCount();
}
BENCHMARK(BM_Format200Segments)->Unit(benchmark::kMicrosecond);

void BM_Draw200Segments(benchmark::State& state)
{
    auto text = skin::Make<skin::RichText>();
    text->Format(LongMarkup());
    QImage canvas(text->Size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&canvas);
    for (auto _ : state) {
        canvas.fill(Qt::black);
        text->Draw(painter, 0, 0);
    }
    state.counters["height"] = text->Size().height();
}
BENCHMARK(BM_Draw200Segments)->Unit(benchmark::kMicrosecond);

// A window like the game list panel: a gradient background and a scroll panel of cells.
class ListWindow : public QWidget
{
public:
    static constexpr int PanelWidth = 290;
    static constexpr int PanelHeight = 430;
    static constexpr int ItemCount = 1000;

    ListWindow()
    {
        resize(PanelWidth, PanelHeight);
        setAttribute(Qt::WA_OpaquePaintEvent);
        m_background = QImage(size(), QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&m_background);
        QLinearGradient fill(0, 0, 0, PanelHeight);
        fill.setColorAt(0, QColor::fromRgba(0xFF00315B));
        fill.setColorAt(1, QColor::fromRgba(0xFF031326));
        painter.fillRect(m_background.rect(), fill);
        painter.end();

        const Pictures& p = SharedPictures();
        const int perPage = 2 * ((PanelHeight - 40) / 125);
        const int cells = (ItemCount + 2) / 3;
        m_pages = (cells + perPage - 1) / perPage;
        m_panel->Attach(this, 0, 0, m_pages * PanelWidth + 10, PanelHeight - 20);
        for (int i = 0; i < ItemCount; ++i) {
            const int cell = i / 3;
            const int page = cell / perPage;
            const int pos = cell % perPage;
            const int x = PanelWidth * page + 146 * (pos % 2) + 2;
            const int y = 125 * (pos / 2) + 28;
            skin::RichText* text = m_texts.emplace_back(skin::Make<skin::RichText>()).get();
            switch (i % 3) {
            case 0:
                text->Format(QStringLiteral("/a,p3=%1|%2|%1/").arg(p.frame->GetId()).arg(p.hover->GetId()));
                m_panel->AddItem(text->PlaceAt(x, y));
                break;
            case 1:
                text->Format(QStringLiteral("/a,p=%1/").arg(p.icon->GetId()));
                m_panel->AddItem(text->PlaceAt(x + 10, y + 10));
                break;
            default:
                text->Format(QStringLiteral("/global,c=9a9a9a,font,font,font_face=宋体,font_height=13//a,p5=%1,line_"
                                            "width=110,single_line=2/游戏名称很长很长的第%2款游戏")
                                 .arg(p.check->GetId())
                                 .arg(cell));
                m_panel->AddItem(text->PlaceAt(x + 10, y + 103));
                break;
            }
            text->BindClick(i, [](int) {});
        }
    }

    skin::ScrollPanel* Panel() const { return m_panel.get(); }
    int Pages() const { return m_pages; }
    int DrawnItems() const
    {
        return static_cast<int>(std::count_if(m_texts.begin(), m_texts.end(), [](const auto& text) {
            return text->LastWindow() != nullptr;
        }));
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter painter(this);
        painter.drawImage(event->rect(), m_background, event->rect());
    }

private:
    QImage m_background;
    skin::Owned<skin::ScrollPanel> m_panel = skin::Make<skin::ScrollPanel>();
    std::vector<skin::Owned<skin::RichText>> m_texts;
    int m_pages = 0;
};

// Shows the window and waits until the platform has exposed it, so that repaints really paint.
bool ShowExposed(QWidget& window)
{
    window.show();
    const auto limit = Clock::now() + std::chrono::seconds(5);
    while (window.windowHandle() == nullptr || !window.windowHandle()->isExposed()) {
        if (Clock::now() > limit) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    window.repaint();
    return true;
}

double Milliseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

void BM_PageScroll1000Items(benchmark::State& state)
{
    ListWindow window;
    if (!ShowExposed(window)) {
        state.SkipWithError("the window was never exposed");
        return;
    }
    std::vector<double> frames;
    for (auto _ : state) {
        state.PauseTiming();
        window.Panel()->ScrollTo(0, 0, 0, 1);
        window.repaint();
        state.ResumeTiming();
        for (int page = 1; page < window.Pages(); ++page) {
            window.Panel()->ScrollTo(-ListWindow::PanelWidth * page, 0, 5, 0);
            while (true) {
                const auto start = Clock::now();
                if (!window.Panel()->StepAnimation()) {
                    break;
                }
                window.repaint();
                frames.push_back(Milliseconds(Clock::now() - start));
            }
        }
    }
    std::sort(frames.begin(), frames.end());
    // Every item has been painted on the way through the pages.
    state.counters["items_drawn"] = window.DrawnItems();
    state.counters["frames"] = static_cast<double>(frames.size());
    state.counters["pages"] = window.Pages();
    state.counters["worst_ms"] = frames.empty() ? 0 : frames.back();
    state.counters["median_ms"] = frames.empty() ? 0 : frames[frames.size() / 2];
    state.counters["p99_ms"] = frames.empty() ? 0 : frames[frames.size() * 99 / 100];
}
BENCHMARK(BM_PageScroll1000Items)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_HoverOverPanel(benchmark::State& state)
{
    ListWindow window;
    if (!ShowExposed(window)) {
        state.SkipWithError("the window was never exposed");
        return;
    }
    // Draw every page once, so that all 1,000 items are live somewhere on the canvas.
    for (int page = 0; page < window.Pages(); ++page) {
        window.Panel()->ScrollTo(-ListWindow::PanelWidth * page, 0, 0, 1);
        window.repaint();
    }
    state.counters["items_drawn"] = window.DrawnItems();
    int x = 0;
    for (auto _ : state) {
        const QPointF pos(20 + (x++ % 250), 100);
        QMouseEvent move(QEvent::MouseMove, pos, window.mapToGlobal(pos), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &move);
    }
}
BENCHMARK(BM_HoverOverPanel)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
