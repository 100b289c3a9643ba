// Scroll panels: items scroll with the canvas, are clipped to it, and stay clickable where shown.

#include <gtest/gtest.h>

#include <QPointer>

#include "SkinTestSupport.h"

using skin::RichText;
using skin::ScrollPanel;
using skin::SkinEngine;
using skin_test::Click;
using skin_test::DrawWindow;
using skin_test::Objects;

namespace {

class Scrolling : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_button = m_objects.Picture(skin_test::ButtonStrip(40, 20))->GetId();
        m_window.resize(300, 200);
        m_panel = m_objects.Panel();
        // A canvas of two pages of 300 pixels, from y 20 to y 170 of the window.
        m_panel->Attach(&m_window, 0, 20, 610, 150);
    }

    RichText* Item(int value, QPoint at)
    {
        RichText* text = m_objects.Text(QStringLiteral("/a,p5=%1/").arg(m_button));
        text->BindClick(value, [this](int v) { m_clicked.push_back(v); });
        m_panel->AddItem(text->PlaceAt(at.x(), at.y()));
        return text;
    }

    void Paint()
    {
        ASSERT_TRUE(skin_test::ShowAndPaint(&m_window));
        m_panel->Canvas()->repaint();
    }

    Objects m_objects;
    DrawWindow m_window;
    ScrollPanel* m_panel = nullptr;
    int m_button = 0;
    std::vector<int> m_clicked;
};

TEST_F(Scrolling, ItemsAreClickableWhereTheCanvasShowsThem)
{
    RichText* first = Item(1, QPoint(10, 10));
    RichText* second = Item(2, QPoint(310, 10));
    Paint();
    EXPECT_EQ(m_panel->ItemCount(), 2);
    EXPECT_EQ(SkinEngine::Instance().AnchorRect(first, &m_window), QRect(10, 30, 40, 20));
    EXPECT_TRUE(SkinEngine::Instance().AnchorRect(second, &m_window).isEmpty()) << "page 1 is off to the right";
    Click(&m_window, QPoint(30, 40));
    EXPECT_EQ(m_clicked, std::vector<int>{1});

    // Page 1: the canvas moves one page to the left.
    m_panel->ScrollTo(-300, 20, 0, 1);
    m_panel->Canvas()->repaint();
    EXPECT_EQ(m_panel->ShownOrigin(), QPoint(-300, 20));
    EXPECT_EQ(SkinEngine::Instance().AnchorRect(second, &m_window), QRect(10, 30, 40, 20));
    Click(&m_window, QPoint(30, 40));
    EXPECT_EQ(m_clicked, (std::vector<int>{1, 2}));
}

TEST_F(Scrolling, ItemsAreClippedToTheCanvas)
{
    // Straddles the canvas's bottom edge at window y 170.
    RichText* item = Item(3, QPoint(100, 140));
    Paint();
    EXPECT_EQ(SkinEngine::Instance().AnchorRect(item, &m_window), QRect(100, 160, 40, 10));
    // The canvas paints nothing outside itself.
    const QImage shot = m_window.grab().toImage();
    EXPECT_EQ(shot.pixelColor(120, 175), QColor(10, 20, 40));
    EXPECT_EQ(shot.pixelColor(120, 165), skin_test::FrameColours()[0]);
    Click(&m_window, QPoint(120, 175));
    EXPECT_TRUE(m_clicked.empty()) << "below the canvas";
    Click(&m_window, QPoint(120, 165));
    EXPECT_EQ(m_clicked, std::vector<int>{3});
}

TEST_F(Scrolling, AnimatedScrollTakesItsSteps)
{
    Item(1, QPoint(10, 10));
    Paint();
    m_panel->ScrollTo(-300, 20, 5, 0);
    EXPECT_TRUE(m_panel->IsAnimating());
    EXPECT_EQ(m_panel->Origin(), QPoint(-300, 20));
    int previous = m_panel->ShownOrigin().x();
    int frames = 0;
    while (m_panel->StepAnimation()) {
        ++frames;
        const int x = m_panel->ShownOrigin().x();
        EXPECT_LT(x, previous);
        previous = x;
    }
    EXPECT_EQ(frames, 5);
    EXPECT_EQ(m_panel->ShownOrigin(), QPoint(-300, 20));
    EXPECT_FALSE(m_panel->IsAnimating());
}

TEST_F(Scrolling, TheTimerFinishesTheAnimation)
{
    Paint();
    m_panel->ScrollTo(-300, 20, 10, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !m_panel->IsAnimating(); }, 3000));
    EXPECT_EQ(m_panel->ShownOrigin(), QPoint(-300, 20));
    // A jump stops a running animation.
    m_panel->ScrollTo(0, 20, 10, 0);
    m_panel->ScrollTo(-300, 20, 0, 1);
    EXPECT_FALSE(m_panel->IsAnimating());
    EXPECT_EQ(m_panel->ShownOrigin(), QPoint(-300, 20));
}

TEST_F(Scrolling, RemovedAndDestroyedItemsStopReacting)
{
    RichText* kept = Item(1, QPoint(10, 10));
    RichText* doomed = Item(2, QPoint(60, 10));
    Paint();
    SkinEngine::Instance().DestroyObject(doomed);
    EXPECT_EQ(m_panel->ItemCount(), 1);
    Click(&m_window, QPoint(80, 40));
    EXPECT_TRUE(m_clicked.empty());

    m_panel->RemoveAll(1);
    EXPECT_EQ(m_panel->ItemCount(), 0);
    EXPECT_EQ(kept->Panel(), nullptr);
    Click(&m_window, QPoint(30, 40));
    EXPECT_TRUE(m_clicked.empty());
    // Placed again, it reacts at its new place.
    m_panel->AddItem(kept->PlaceAt(100, 50));
    m_panel->Canvas()->repaint();
    Click(&m_window, QPoint(120, 80));
    EXPECT_EQ(m_clicked, std::vector<int>{1});
}

TEST_F(Scrolling, HiddenItemsAreNeitherDrawnNorClickable)
{
    RichText* item = Item(1, QPoint(10, 10));
    item->Show(false);
    Paint();
    EXPECT_EQ(m_window.grab().toImage().pixelColor(30, 40), QColor(10, 20, 40));
    Click(&m_window, QPoint(30, 40));
    EXPECT_TRUE(m_clicked.empty());
}

TEST_F(Scrolling, WindowAnchorsUnderTheCanvasStillWork)
{
    RichText* below = m_objects.Text(QStringLiteral("/a,p5=%1/").arg(m_button));
    below->BindClick(9, [this](int v) { m_clicked.push_back(v); });
    m_window.Add(below, QPoint(200, 100));
    Paint();
    Click(&m_window, QPoint(220, 110));
    // The canvas itself lets the mouse through to the window.
    EXPECT_TRUE(m_panel->Canvas()->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_EQ(m_clicked, std::vector<int>{9});
}

TEST_F(Scrolling, DestroyingThePanelRemovesTheCanvasAndKeepsTheTexts)
{
    RichText* item = Item(1, QPoint(10, 10));
    Paint();
    QPointer<QWidget> canvas = m_panel->Canvas();
    ScrollPanel* panel = m_panel;
    m_panel = nullptr;
    SkinEngine::Instance().DestroyObject(panel);
    EXPECT_TRUE(canvas.isNull());
    EXPECT_EQ(item->Panel(), nullptr);
    Click(&m_window, QPoint(30, 40));
    EXPECT_TRUE(m_clicked.empty());
}

} // namespace

TEST_F(Scrolling, ArrivalIsReportedOnceTheCanvasIsWhereItWasAsked)
{
    Paint();
    int arrivals = 0;
    m_panel->SetArrivalHandler([&arrivals] { ++arrivals; });
    m_panel->ScrollTo(-300, 20, 0, 1);
    EXPECT_EQ(arrivals, 1) << "a jump arrives at once";
    m_panel->ScrollTo(0, 20, 5, 0);
    m_panel->StepAnimation();
    m_panel->ScrollTo(-300, 20, 5, 0); // replaces the first scroll, which never arrives
    while (m_panel->StepAnimation()) {
    }
    EXPECT_EQ(arrivals, 2);
    EXPECT_EQ(m_panel->ShownOrigin(), QPoint(-300, 20));
}
