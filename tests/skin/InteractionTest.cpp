// Drawn anchors in a window: clicks, looks, hidden and stale objects, tooltips, repaints.

#include <gtest/gtest.h>

#include <QPointer>
#include <QToolTip>

#include "SkinTestSupport.h"
#include "skin/WindowMove.h"

using skin::RichText;
using skin::SkinEngine;
using skin_test::Click;
using skin_test::DrawWindow;
using skin_test::Objects;

namespace {

class Interaction : public ::testing::Test
{
protected:
    void SetUp() override { m_button = m_objects.Picture(skin_test::ButtonStrip(40, 20))->GetId(); }

    RichText* Button(const QString& extra = {})
    {
        return m_objects.Text(QStringLiteral("/a,p5=%1%2/").arg(m_button).arg(extra));
    }

    QPoint Centre(const RichText* text, int anchor = 0) const
    {
        return SkinEngine::Instance().AnchorRect(text, &m_window, anchor).center();
    }

    Objects m_objects;
    DrawWindow m_window;
    int m_button = 0;
};

TEST_F(Interaction, ClickCallsTheHandlerWithTheBoundValue)
{
    const int values[] = {-2, -1, 0, 7, 65535};
    std::vector<RichText*> buttons;
    int x = 10;
    for (int value : values) {
        RichText* button = Button();
        button->BindClick(value, [&, value](int got) { EXPECT_EQ(got, value) << "bound " << value; });
        m_window.Add(button, QPoint(x, 10));
        buttons.push_back(button);
        x += 50;
    }
    ASSERT_TRUE(skin_test::ShowAndPaint(&m_window));
    std::vector<int> clicked;
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        buttons[i]->BindClick(values[i], [&clicked](int v) { clicked.push_back(v); });
        EXPECT_EQ(buttons[i]->LastRect(), QRect(10 + 50 * static_cast<int>(i), 10, 40, 20));
        Click(&m_window, Centre(buttons[i]));
    }
    EXPECT_EQ(clicked, std::vector<int>(std::begin(values), std::end(values)));
}

TEST_F(Interaction, ClickNeedsPressAndReleaseOnTheSameAnchor)
{
    RichText* first = Button();
    RichText* second = Button();
    int clicks = 0;
    first->BindClick(1, [&](int) { ++clicks; });
    second->BindClick(2, [&](int) { ++clicks; });
    m_window.Add(first, QPoint(10, 10));
    m_window.Add(second, QPoint(60, 10));
    ASSERT_TRUE(skin_test::ShowAndPaint(&m_window));

    skin_test::Press(&m_window, Centre(first));
    skin_test::Release(&m_window, Centre(second));
    skin_test::Press(&m_window, Centre(first));
    skin_test::Release(&m_window, QPoint(300, 250));
    skin_test::Press(&m_window, QPoint(300, 250));
    skin_test::Release(&m_window, Centre(first));
    EXPECT_EQ(clicks, 0);
    // The right button does nothing; a double click (press, release, double click, release) is two clicks.
    QTest::mouseClick(&m_window, Qt::RightButton, {}, Centre(first));
    EXPECT_EQ(clicks, 0);
    QTest::mouseClick(&m_window, Qt::LeftButton, {}, Centre(first));
    QTest::mouseDClick(&m_window, Qt::LeftButton, {}, Centre(first));
    QTest::mouseRelease(&m_window, Qt::LeftButton, {}, Centre(first));
    EXPECT_EQ(clicks, 2);
}

TEST_F(Interaction, TextAnchorsAndPlainTextBetweenThem)
{
    RichText* text = m_objects.Text(QStringLiteral("/a/one/c=ffffff/ plain text /a/two"));
    std::vector<int> clicked;
    text->BindClick(5, [&](int v) { clicked.push_back(v); });
    m_window.Add(text, QPoint(10, 100));
    ASSERT_TRUE(skin_test::ShowAndPaint(&m_window));
    ASSERT_EQ(text->AnchorCount(), 2);
    Click(&m_window, Centre(text, 0));
    Click(&m_window, Centre(text, 1));
    const QRect whole = SkinEngine::Instance().AnchorRect(text, &m_window, -1);
    const QRect one = SkinEngine::Instance().AnchorRect(text, &m_window, 0);
    const QRect two = SkinEngine::Instance().AnchorRect(text, &m_window, 1);
    Click(&m_window, QPoint((one.right() + two.left()) / 2, whole.center().y()));
    EXPECT_EQ(clicked, (std::vector<int>{5, 5}));
}

TEST_F(Interaction, HiddenAndDisabledObjectsDoNotReact)
{
    RichText* button = Button();
    int clicks = 0;
    button->BindClick(1, [&](int) { ++clicks; });
    m_window.Add(button, QPoint(10, 10));
    ASSERT_TRUE(skin_test::ShowAndPaint(&m_window));
    const QPoint centre = Centre(button);

    button->Show(false);
    EXPECT_TRUE(SkinEngine::Instance().AnchorRect(button, &m_window).isEmpty());
    Click(&m_window, centre);
    EXPECT_EQ(clicks, 0);

    button->Show(true);
    m_window.repaint();
    Click(&m_window, centre);
    EXPECT_EQ(clicks, 1);

    button->SetState(RichText::StateDisabled);
    Click(&m_window, centre);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(button->AnchorLook(0), RichText::Look::Disabled);
}

TEST_F(Interaction, HoverAndPressedLooksAndTheCursor)
{
    RichText* button = Button();
    int clicks = 0;
    button->BindClick(1, [&](int) { ++clicks; });
    m_window.Add(button, QPoint(10, 10));
    ASSERT_TRUE(skin_test::ShowAndPaint(&m_window));
    const QPoint centre = Centre(button);

    EXPECT_EQ(button->AnchorLook(0), RichText::Look::Normal);
    skin_test::Move(&m_window, centre);
    EXPECT_EQ(button->AnchorLook(0), RichText::Look::Hover);
    EXPECT_EQ(m_window.cursor().shape(), Qt::PointingHandCursor);

    QTest::mousePress(&m_window, Qt::LeftButton, {}, centre);
    EXPECT_EQ(button->AnchorLook(0), RichText::Look::Pressed);
    // Dragged off while held: the pressed look goes, and releasing there is no click.
    skin_test::Move(&m_window, QPoint(300, 250), Qt::LeftButton);
    EXPECT_EQ(button->AnchorLook(0), RichText::Look::Normal);
    EXPECT_NE(m_window.cursor().shape(), Qt::PointingHandCursor);
    skin_test::Release(&m_window, QPoint(300, 250));
    EXPECT_EQ(clicks, 0);

    skin_test::Move(&m_window, centre);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&m_window, &leave);
    EXPECT_EQ(button->AnchorLook(0), RichText::Look::Normal);
}

TEST_F(Interaction, StatesPickTheStripFrames)
{
    RichText* button = Button();
    m_window.Add(button, QPoint(10, 10));
    ASSERT_TRUE(skin_test::ShowAndPaint(&m_window));
    const auto& colours = skin_test::FrameColours();
    auto shown = [&] { return skin_test::Render(button).pixelColor(20, 10); };

    EXPECT_EQ(shown(), colours[0]);
    skin_test::Move(&m_window, Centre(button));
    EXPECT_EQ(shown(), colours[1]);
    QTest::mousePress(&m_window, Qt::LeftButton, {}, Centre(button));
    EXPECT_EQ(shown(), colours[2]);
    skin_test::Release(&m_window, QPoint(300, 250));

    button->SetState(RichText::StateSelected);
    EXPECT_EQ(shown(), colours[3]);
    skin_test::Move(&m_window, Centre(button));
    EXPECT_EQ(shown(), colours[3]) << "the selected look holds under the mouse";
    button->SetState(1);
    EXPECT_EQ(button->State(), RichText::StateNormal);
    skin_test::Move(&m_window, QPoint(300, 250));
    EXPECT_EQ(shown(), colours[0]);
    button->SetState(RichText::StateDisabled);
    EXPECT_EQ(shown(), colours[4]);
}

TEST_F(Interaction, ThreePictureLooks)
{
    const int normal = m_objects.Picture(skin_test::Strip(30, 30, {Qt::red}))->GetId();
    const int hover = m_objects.Picture(skin_test::Strip(30, 30, {Qt::green}))->GetId();
    const int pressed = m_objects.Picture(skin_test::Strip(30, 30, {Qt::blue}))->GetId();
    RichText* frame = m_objects.Text(QStringLiteral("/a,p3=%1|%2|%3/").arg(normal).arg(hover).arg(pressed));
    m_window.Add(frame, QPoint(100, 100));
    ASSERT_TRUE(skin_test::ShowAndPaint(&m_window));
    auto shown = [&] { return skin_test::Render(frame).pixelColor(15, 15); };
    EXPECT_EQ(shown(), QColor(Qt::red));
    skin_test::Move(&m_window, Centre(frame));
    EXPECT_EQ(shown(), QColor(Qt::green));
    QTest::mousePress(&m_window, Qt::LeftButton, {}, Centre(frame));
    EXPECT_EQ(shown(), QColor(Qt::blue));
    skin_test::Release(&m_window, Centre(frame));
}

TEST_F(Interaction, LaterDrawnObjectWinsWhereTheyOverlap)
{
    RichText* below = Button();
    RichText* above = Button();
    std::vector<int> clicked;
    below->BindClick(1, [&](int v) { clicked.push_back(v); });
    above->BindClick(2, [&](int v) { clicked.push_back(v); });
    m_window.Add(below, QPoint(10, 10));
    m_window.Add(above, QPoint(30, 10));
    ASSERT_TRUE(skin_test::ShowAndPaint(&m_window));
    Click(&m_window, QPoint(40, 20));
    Click(&m_window, QPoint(15, 20));
    EXPECT_EQ(clicked, (std::vector<int>{2, 1}));
}

TEST_F(Interaction, ObjectLeftOutOfAFullRepaintIsGone)
{
    RichText* button = Button();
    int clicks = 0;
    button->BindClick(1, [&](int) { ++clicks; });
    m_window.Add(button, QPoint(10, 10));
    ASSERT_TRUE(skin_test::ShowAndPaint(&m_window));
    const QPoint centre = Centre(button);
    m_window.entries.clear();
    m_window.repaint();
    Click(&m_window, centre);
    EXPECT_EQ(clicks, 0);
    EXPECT_TRUE(SkinEngine::Instance().AnchorRect(button, &m_window).isEmpty());
}

TEST_F(Interaction, ContentChangesRepaintWhereTheObjectWasDrawn)
{
    RichText* text = m_objects.Text(QStringLiteral("/c=ffffff/short"));
    m_window.Add(text, QPoint(50, 60));
    ASSERT_TRUE(skin_test::ShowAndPaint(&m_window));

    auto repaintedAfter = [&](auto change) {
        QCoreApplication::processEvents();
        m_window.painted = QRegion();
        const int before = m_window.paints;
        change();
        return QTest::qWaitFor([&] { return m_window.paints > before; }, 2000);
    };
    ASSERT_TRUE(repaintedAfter([&] { text->Format(QStringLiteral("/c=ffffff/a much longer text than before")); }));
    EXPECT_TRUE(QRegion(QRect(QPoint(50, 60), text->Size())).subtracted(m_window.painted).isEmpty());
    ASSERT_TRUE(repaintedAfter([&] { text->Show(false); }));
    EXPECT_TRUE(m_window.painted.contains(QPoint(55, 65)));
    ASSERT_TRUE(repaintedAfter([&] { text->Show(true); }));
    ASSERT_TRUE(repaintedAfter([&] { text->SetState(RichText::StateSelected); }));
}

TEST_F(Interaction, TooltipOfTheAnchor)
{
    RichText* button = Button(QStringLiteral(",linkt='关闭'"));
    RichText* silent = Button();
    m_window.Add(button, QPoint(10, 10));
    m_window.Add(silent, QPoint(60, 10));
    ASSERT_TRUE(skin_test::ShowAndPaint(&m_window));
    EXPECT_EQ(button->AnchorTooltip(0), QStringLiteral("关闭"));

    QHelpEvent help(QEvent::ToolTip, Centre(button), m_window.mapToGlobal(Centre(button)));
    EXPECT_TRUE(QApplication::sendEvent(&m_window, &help));
    EXPECT_EQ(QToolTip::text(), QStringLiteral("关闭"));

    QHelpEvent none(QEvent::ToolTip, Centre(silent), m_window.mapToGlobal(Centre(silent)));
    QApplication::sendEvent(&m_window, &none);
    EXPECT_TRUE(QTest::qWaitFor([] { return QToolTip::text().isEmpty(); }, 2000));
}

TEST_F(Interaction, HandlerMayDestroyItsOwnText)
{
    RichText* button = SkinEngine::Instance().CreateRichText();
    button->Format(QStringLiteral("/a,p5=%1/").arg(m_button));
    int clicks = 0;
    button->BindClick(3, [&](int) {
        ++clicks;
        m_window.entries.clear();
        SkinEngine::Instance().DestroyObject(button);
    });
    m_window.Add(button, QPoint(10, 10));
    ASSERT_TRUE(skin_test::ShowAndPaint(&m_window));
    const QPoint centre = Centre(button);
    Click(&m_window, centre);
    Click(&m_window, centre);
    EXPECT_EQ(clicks, 1);
}

TEST_F(Interaction, ChildWindowRectsMapToTheTopLevel)
{
    auto* child = new DrawWindow(&m_window);
    child->setGeometry(100, 50, 200, 100);
    RichText* button = Button();
    int clicks = 0;
    button->BindClick(4, [&](int) { ++clicks; });
    child->Add(button, QPoint(10, 10));
    ASSERT_TRUE(skin_test::ShowAndPaint(&m_window));
    child->repaint();
    EXPECT_EQ(button->LastWindow(), child);
    EXPECT_EQ(SkinEngine::Instance().AnchorRect(button), QRect(110, 60, 40, 20));
    Click(child, QPoint(30, 20));
    EXPECT_EQ(clicks, 1);

    // The window goes away: the text forgets it.
    delete child;
    EXPECT_EQ(button->LastWindow(), nullptr);
    EXPECT_TRUE(SkinEngine::Instance().AnchorRect(button).isEmpty());
}

TEST_F(Interaction, ObjectsAreFoundByNameAndFreed)
{
    SkinEngine& engine = SkinEngine::Instance();
    const int before = engine.ObjectCount();
    {
        auto owned = skin::Make<RichText>();
        owned->SetObjectName(QStringLiteral("download"));
        owned->Format(QStringLiteral("/a,p5=%1/").arg(m_button));
        EXPECT_EQ(engine.FindRichText(QStringLiteral("download")), owned.get());
        EXPECT_EQ(engine.ObjectCount(), before + 1);
        m_window.Add(owned.get(), QPoint(20, 30));
        ASSERT_TRUE(skin_test::ShowAndPaint(&m_window));
        EXPECT_EQ(engine.AnchorRect(QStringLiteral("download"), &m_window), QRect(20, 30, 40, 20));
        m_window.entries.clear();
    }
    EXPECT_EQ(engine.ObjectCount(), before);
    EXPECT_EQ(engine.FindRichText(QStringLiteral("download")), nullptr);
    engine.DestroyObject(nullptr);
    int notAnObject = 0;
    engine.DestroyObject(reinterpret_cast<skin::SkinObject*>(&notAnObject));
    EXPECT_EQ(engine.ObjectCount(), before);
}

TEST_F(Interaction, WindowSkinPaintsTheBackgroundAndSizesTheWindow)
{
    skin::SkinPicture* picture = m_objects.Picture(skin_test::Strip(280, 140, {QColor(0, 40, 80)}));
    QWidget window;
    skin::WindowSkin* skin = m_objects.Skin();
    ASSERT_TRUE(skin->Attach(&window));
    skin->SetBackground(picture);
    EXPECT_EQ(window.size(), QSize(280, 140));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    const QImage shot = window.grab().toImage();
    EXPECT_EQ(shot.pixelColor(140, 70), QColor(0, 40, 80));
}

class MoveWindow : public QWidget
{
protected:
    void mousePressEvent(QMouseEvent* event) override { skin::StartWindowMove(this, event); }
};

TEST(WindowMove, DraggingAnyPointMovesTheWindow)
{
    MoveWindow window;
    window.setWindowFlag(Qt::FramelessWindowHint);
    window.setGeometry(100, 100, 150, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QPoint start = window.pos();
    QTest::mousePress(&window, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(&window, QPoint(30, 40));
    QTest::mouseRelease(&window, Qt::LeftButton, {}, QPoint(30, 40));
    EXPECT_EQ(window.pos(), start + QPoint(20, 30));
}

} // namespace
