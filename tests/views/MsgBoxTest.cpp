// The message box: its results when its buttons are really clicked, its layout, wrapping, keys,
// dragging, and screenshots of both kinds.

#include "views/MsgBox.h"

#include <cmath>
#include <functional>

#include <gtest/gtest.h>

#include <QDir>
#include <QFontMetrics>
#include <QKeyEvent>

#include "ViewsTestSupport.h"
#include "skin/Colour.h"
#include "views/ModalRunner.h"

using views::ModalRunner;
using views::MsgBox;

namespace {

enum class Target
{
    First,
    Second,
    Close
};

struct ClickCase
{
    const char* name;
    int kind;
    Target target;
    int result;
};

void PrintTo(const ClickCase& c, std::ostream* os)
{
    *os << c.name;
}

skin::RichText* Pick(const MsgBox& box, Target target)
{
    switch (target) {
    case Target::First:
        return box.FirstButton();
    case Target::Second:
        return box.SecondButton();
    default:
        return box.CloseButton();
    }
}

// Runs a box modally and, once it is on screen, acts inside it.
int RunWith(MsgBox& box, const std::function<void(MsgBox&)>& act)
{
    ModalRunner::Instance().SetShownObserver([&](QWidget* window) {
        EXPECT_EQ(window, &box);
        views_test::Paint(&box);
        act(box);
    });
    const int result = box.Run();
    ModalRunner::Instance().SetShownObserver(nullptr);
    return result;
}

class MsgBoxClicks : public ::testing::TestWithParam<ClickCase>
{};

TEST_P(MsgBoxClicks, ReturnsTheButtonsResult)
{
    const ClickCase& c = GetParam();
    MsgBox box(QStringLiteral("Marlune"),
               QStringLiteral("打开压缩包失败,是否重新下载？"),
               c.kind,
               views_test::Theme(),
               views_test::Texts());
    const int result = RunWith(box, [&](MsgBox& b) { views_test::ClickAnchor(&b, Pick(b, c.target)); });
    EXPECT_EQ(result, c.result);
    EXPECT_FALSE(box.isVisible());
}

INSTANTIATE_TEST_SUITE_P(Kinds,
                         MsgBoxClicks,
                         ::testing::Values(ClickCase{"OneButtonOk", 0, Target::First, 1},
                                           ClickCase{"OneButtonClose", 0, Target::Close, 2},
                                           ClickCase{"QuestionOk", 1, Target::First, 1},
                                           ClickCase{"QuestionExit", 1, Target::Second, 2},
                                           ClickCase{"QuestionClose", 1, Target::Close, 2},
                                           ClickCase{"AnyOtherKindHasTwoButtons", 7, Target::Second, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MsgBox, ButtonsAreWhereTheyBelong)
{
    const skin::SkinEngine& engine = skin::SkinEngine::Instance();
    {
        MsgBox box(QStringLiteral("Warning"),
                   QStringLiteral("请输入搜索关键词！"),
                   0,
                   views_test::Theme(),
                   views_test::Texts());
        box.show();
        views_test::Paint(&box);
        EXPECT_EQ(box.size(), QSize(150, 100));
        EXPECT_EQ(engine.AnchorRect(box.FirstButton(), &box), QRect(50, 70, 50, 23));
        EXPECT_TRUE(engine.AnchorRect(box.SecondButton(), &box).isEmpty());
        EXPECT_EQ(engine.AnchorRect(box.CloseButton(), &box), QRect(110, 0, 40, 20));
        EXPECT_EQ(box.FirstButton()->LaidOutText(), QStringLiteral("确定"));
        EXPECT_EQ(box.CaptionObject()->LastRect().topLeft(), QPoint(5, 5));
        EXPECT_EQ(box.TextObject()->LastRect().topLeft(), QPoint(10, 40));
    }
    {
        MsgBox box(QStringLiteral("Marlune"),
                   QStringLiteral("解压失败！"),
                   1,
                   views_test::Theme(),
                   views_test::Texts());
        box.show();
        views_test::Paint(&box);
        EXPECT_EQ(engine.AnchorRect(box.FirstButton(), &box), QRect(16, 70, 50, 23));
        EXPECT_EQ(engine.AnchorRect(box.SecondButton(), &box), QRect(83, 70, 50, 23));
        EXPECT_EQ(box.SecondButton()->LaidOutText(), QStringLiteral("退出"));
    }
}

TEST(MsgBox, OneButtonBoxIgnoresWhereTheSecondButtonWouldBe)
{
    MsgBox box(QStringLiteral("Marlune"),
               QStringLiteral("下载个数达到最大！"),
               0,
               views_test::Theme(),
               views_test::Texts());
    const int result = RunWith(box, [](MsgBox& b) {
        QTest::mouseClick(&b, Qt::LeftButton, {}, QPoint(120, 80));
        EXPECT_TRUE(ModalRunner::Instance().IsRunning(&b));
        views_test::ClickAnchor(&b, b.FirstButton());
    });
    EXPECT_EQ(result, 1);
}

TEST(MsgBox, LongTextWrapsAndIsCutAtTheEdge)
{
    const QString text = QStringLiteral("磁盘空间不足，请清理磁盘！下载的游戏包需要足够的空间才能保存和解压，"
                                        "请删除不再需要的文件后再试一次。");
    MsgBox box(QStringLiteral("Marlune"), text, 0, views_test::Theme(), views_test::Texts());
    box.show();
    views_test::Paint(&box);
    const skin::RichText* shown = box.TextObject();
    EXPECT_GE(shown->LineCount(), 4);
    EXPECT_LE(shown->Size().width(), 130);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(views_test::Theme().Style(25).height);
    for (const QString& line : shown->LaidOutText().split(u'\n')) {
        EXPECT_LE(QFontMetrics(font).horizontalAdvance(line), 130) << line.toStdString();
    }
    EXPECT_EQ(shown->LaidOutText().remove(u'\n'), text);
    // The text runs past the bottom; the box keeps its size, so the rest is cut off.
    EXPECT_GT(shown->LastRect().bottom(), MsgBox::Height);
    EXPECT_EQ(box.grab().size(), QSize(150, 100));
}

TEST(MsgBox, SlashesInTheTextShowAsWritten)
{
    MsgBox box(QStringLiteral("a/b"), QStringLiteral("路径/不存在"), 0, views_test::Theme(), views_test::Texts());
    EXPECT_EQ(box.TextObject()->LaidOutText(), QStringLiteral("路径/不存在"));
    EXPECT_EQ(box.CaptionObject()->LaidOutText(), QStringLiteral("a/b"));
}

TEST(MsgBox, EnterAnswersOkEscapeCancels)
{
    for (const auto& [key, expected] : {std::pair{Qt::Key_Return, 1}, std::pair{Qt::Key_Escape, 2}}) {
        MsgBox box(QStringLiteral("Marlune"),
                   QStringLiteral("解压失败！"),
                   1,
                   views_test::Theme(),
                   views_test::Texts());
        const int result = RunWith(box, [key](MsgBox& b) { QTest::keyClick(&b, key); });
        EXPECT_EQ(result, expected);
    }
}

TEST(MsgBox, DraggingMovesTheBox)
{
    MsgBox box(QStringLiteral("Marlune"), QStringLiteral("解压失败！"), 0, views_test::Theme(), views_test::Texts());
    box.move(200, 200);
    box.show();
    views_test::Paint(&box);
    const QPoint start = box.pos();
    QTest::mousePress(&box, Qt::LeftButton, {}, QPoint(60, 30));
    QTest::mouseMove(&box, QPoint(100, 50));
    QTest::mouseRelease(&box, Qt::LeftButton, {}, QPoint(100, 50));
    EXPECT_EQ(box.pos(), start + QPoint(40, 20));
}

TEST(MsgBox, WorksWithoutItsPictures)
{
    views::SkinTheme bare; // never loaded: no pictures at all
    MsgBox box(QStringLiteral("Marlune"), QStringLiteral("配置文件不存在！"), 1, bare, views_test::Texts());
    const int result = RunWith(box, [](MsgBox& b) {
        EXPECT_EQ(skin::SkinEngine::Instance().AnchorRect(b.SecondButton(), &b), QRect(83, 70, 50, 23));
        views_test::ClickAnchor(&b, b.SecondButton());
    });
    EXPECT_EQ(result, 2);
}

// The close button lights up under the mouse and stays clear of the box's black outline: the
// outline and the pixel inside it look the same with and without the mouse over the button.
TEST(MsgBox, HoveredCloseButtonKeepsClearOfTheOutline)
{
    MsgBox box(QStringLiteral("Marlune"), QStringLiteral("解压失败！"), 0, views_test::Theme(), views_test::Texts());
    box.show();
    views_test::Paint(&box);
    const QImage before = box.grab().toImage();
    const QRect close = skin::SkinEngine::Instance().AnchorRect(box.CloseButton(), &box);
    QTest::mouseMove(&box, close.center());
    ASSERT_EQ(box.CloseButton()->AnchorLook(0), skin::RichText::Look::Hover);
    const QImage image = box.grab().toImage();
    EXPECT_GT(image.pixelColor(close.center() + QPoint(0, 6)).red(), 0xA0) << "the hover face shows";
    for (int x = close.left(); x <= close.right(); ++x) {
        EXPECT_EQ(image.pixelColor(x, 0), QColor(Qt::black)) << "top outline at x " << x;
        EXPECT_EQ(image.pixelColor(x, 1), before.pixelColor(x, 1)) << "inside the top outline at x " << x;
    }
    for (int y = close.top(); y <= close.bottom(); ++y) {
        EXPECT_EQ(image.pixelColor(149, y), QColor(Qt::black)) << "right outline at y " << y;
        EXPECT_EQ(image.pixelColor(148, y), before.pixelColor(148, y)) << "inside the right outline at y " << y;
    }
}

// "确定" and "退出" read as live buttons: their text stands out clearly from the button's face.
TEST(MsgBox, ButtonTextContrastsWithTheButton)
{
    const views::SkinTheme& theme = views_test::Theme();
    const QImage face = theme.PictureFor(318)->Image();
    // Relative luminance and contrast ratio as accessibility guidelines define them.
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double text = luminance(skin::ColourFromRef(theme.Style(26).colour));
    // The normal frame, at the top and the bottom of its gradient.
    for (const int y : {4, face.height() - 4}) {
        const double back = luminance(face.pixelColor(face.width() / 10, y));
        const double ratio = (std::max(text, back) + 0.05) / (std::min(text, back) + 0.05);
        EXPECT_GE(ratio, 4.5) << "at y " << y;
    }
}

TEST(MsgBox, BackgroundAndScreenshots)
{
    const QString folder = QStringLiteral(MARLUNE_SCREENSHOT_DIR);
    ASSERT_TRUE(QDir().mkpath(folder));
    const struct
    {
        int kind;
        const char* file;
        const char* text;
    } shots[] = {{0, "msgbox-one-button.png", "下载个数达到最大！"},
                 {1, "msgbox-two-buttons.png", "打开压缩包失败,是否重新下载？"}};
    for (const auto& shot : shots) {
        MsgBox box(QStringLiteral("Marlune"),
                   QString::fromUtf8(shot.text),
                   shot.kind,
                   views_test::Theme(),
                   views_test::Texts());
        box.show();
        views_test::Paint(&box);
        const QImage image = box.grab().toImage();
        ASSERT_EQ(image.size(), QSize(150, 100));
        // The black outline, the caption band's gradient, and the body fading back to dark.
        EXPECT_EQ(image.pixelColor(0, 50), QColor(Qt::black));
        EXPECT_EQ(image.pixelColor(149, 50), QColor(Qt::black));
        EXPECT_EQ(image.pixelColor(75, 99), QColor(Qt::black));
        const QColor band = image.pixelColor(100, 19);
        EXPECT_GT(band.blue(), 0xA0);
        const QColor low = image.pixelColor(3, 95);
        EXPECT_LT(low.blue(), 0x70);
        EXPECT_TRUE(image.save(QDir(folder).filePath(QString::fromUtf8(shot.file))));
    }
}

} // namespace
