// Layout of rich text: wrapping, single lines, line spacing, buttons, pictures, colours.

#include <random>

#include <gtest/gtest.h>

#include <QFont>
#include <QFontMetrics>

#include "SkinTestSupport.h"
#include "skin/Colour.h"
#include "skin/Markup.h"

using skin::RichText;
using skin_test::Objects;

namespace {

QString Repeat(const QString& piece, int times)
{
    QString result;
    for (int i = 0; i < times; ++i) {
        result += piece;
    }
    return result;
}

QFontMetrics Metrics(int height)
{
    QFont font(QGuiApplication::font().family());
    font.setPixelSize(height);
    return QFontMetrics(font);
}

TEST(Layout, ChineseWrapsAtLineWidth)
{
    Objects objects;
    RichText* text = objects.Text(QStringLiteral("/c=ffffff,font_height=12,line_width=130/")
                                  + Repeat(QStringLiteral("下载个数达到最大"), 6));
    EXPECT_GT(text->LineCount(), 2);
    EXPECT_LE(text->Size().width(), 130);
    const QFontMetrics fm = Metrics(12);
    for (const QString& line : text->LaidOutText().split(u'\n')) {
        EXPECT_LE(fm.horizontalAdvance(line), 130) << line.toStdString();
        EXPECT_FALSE(line.isEmpty());
    }
}

TEST(Layout, LatinWrapsBetweenWords)
{
    Objects objects;
    RichText* text = objects.Text(QStringLiteral("/line_width=80/alpha beta gamma delta epsilon zeta"));
    EXPECT_GT(text->LineCount(), 1);
    const QStringList words = {QStringLiteral("alpha"),
                               QStringLiteral("beta"),
                               QStringLiteral("gamma"),
                               QStringLiteral("delta"),
                               QStringLiteral("epsilon"),
                               QStringLiteral("zeta")};
    QStringList seen;
    for (const QString& line : text->LaidOutText().split(u'\n')) {
        for (const QString& word : line.split(u' ', Qt::SkipEmptyParts)) {
            EXPECT_TRUE(words.contains(word)) << "split word: " << word.toStdString();
            seen << word;
        }
    }
    EXPECT_EQ(seen, words);
}

TEST(Layout, WordLongerThanTheLineIsBroken)
{
    Objects objects;
    RichText* text = objects.Text(QStringLiteral("/line_width=30/") + Repeat(QStringLiteral("w"), 40));
    EXPECT_GT(text->LineCount(), 3);
    EXPECT_LE(text->Size().width(), 30);
    EXPECT_EQ(text->LaidOutText().remove(u'\n'), Repeat(QStringLiteral("w"), 40));
}

// An address or a path that does not fit breaks after "@", "." or "/", not inside a name.
TEST(Layout, AddressesBreakAfterTheirSeparators)
{
    const struct
    {
        const char* text;
        const char* firstLine; // fits exactly
    } cases[] = {
        {"support@marlune.example", "support@"},
        {"www.marlune.example/games", "www.marlune."},
        {"/opt/marlune/game/1234/index.dat", "/opt/marlune/"},
        {"wait...then", "wait..."},
    };
    const QFontMetrics fm = Metrics(12);
    for (const auto& c : cases) {
        Objects objects;
        const QString text = QString::fromLatin1(c.text);
        const QString first = QString::fromLatin1(c.firstLine);
        // Room for the first line and one more letter, never the next name whole.
        const int width = fm.horizontalAdvance(first + QLatin1Char('m'));
        RichText* shown = objects.Text(QStringLiteral("/line_width=%1/").arg(width) + skin::EscapeMarkupText(text));
        EXPECT_EQ(shown->LaidOutText().split(u'\n').value(0), first) << c.text;
        EXPECT_EQ(shown->LaidOutText().remove(u'\n'), text) << c.text;
    }
}

TEST(Layout, ClosingPunctuationDoesNotStartALine)
{
    Objects objects;
    const QFontMetrics fm = Metrics(12);
    // The comma falls exactly where the line is full.
    const int width = fm.horizontalAdvance(QStringLiteral("正在下载"));
    RichText* text = objects.Text(QStringLiteral("/line_width=%1/正在下载，请稍候").arg(width));
    for (const QString& line : text->LaidOutText().split(u'\n')) {
        EXPECT_FALSE(line.startsWith(u'，')) << line.toStdString();
    }
}

TEST(Layout, LineSpaceAddsBetweenLines)
{
    Objects objects;
    const QString body = Repeat(QStringLiteral("游戏简介"), 12);
    RichText* tight = objects.Text(QStringLiteral("/line_width=100/") + body);
    RichText* spaced = objects.Text(QStringLiteral("/line_width=100,line_space=5/") + body);
    ASSERT_EQ(tight->LineCount(), spaced->LineCount());
    ASSERT_GT(tight->LineCount(), 1);
    EXPECT_EQ(spaced->Size().height() - tight->Size().height(), 5 * (tight->LineCount() - 1));
}

TEST(Layout, SingleLineElides)
{
    Objects objects;
    RichText* text =
        objects.Text(QStringLiteral("/line_width=110,single_line=2/") + Repeat(QStringLiteral("超级玛丽"), 10));
    EXPECT_EQ(text->LineCount(), 1);
    EXPECT_LE(text->Size().width(), 110);
    EXPECT_TRUE(text->LaidOutText().endsWith(QStringLiteral("...")));
}

TEST(Layout, SingleLineCuts)
{
    Objects objects;
    RichText* text =
        objects.Text(QStringLiteral("/line_width=110,single_line=1/") + Repeat(QStringLiteral("超级玛丽"), 10));
    EXPECT_EQ(text->LineCount(), 1);
    EXPECT_LE(text->Size().width(), 110);
    EXPECT_FALSE(text->LaidOutText().endsWith(QStringLiteral("...")));
}

TEST(Layout, SingleLineKeepsShortTextWhole)
{
    Objects objects;
    RichText* text = objects.Text(QStringLiteral("/line_width=110,single_line=2/短名"));
    EXPECT_EQ(text->LaidOutText(), QStringLiteral("短名"));
}

TEST(Layout, HardLineBreaks)
{
    Objects objects;
    EXPECT_EQ(objects.Text(QStringLiteral("a\nb"))->LineCount(), 2);
    EXPECT_EQ(objects.Text(QStringLiteral("a\r\n\r\nb"))->LineCount(), 3);
    EXPECT_EQ(objects.Text(QStringLiteral("a\n"))->LineCount(), 1);
    EXPECT_EQ(objects.Text(QString())->Size(), QSize(0, 0));
}

TEST(Layout, GlobalStyleCarriesOverOrdinaryStyleDoesNot)
{
    Objects objects;
    RichText* global = objects.Text(QStringLiteral("/global,font_height=30//a/x"));
    RichText* local = objects.Text(QStringLiteral("/font_height=30//a/x"));
    EXPECT_GE(global->Size().height(), Metrics(30).ascent());
    EXPECT_LT(local->Size().height(), Metrics(30).ascent());
}

TEST(Layout, ButtonSizes)
{
    Objects objects;
    const int id = objects.Picture(skin_test::ButtonStrip(20, 10))->GetId();
    EXPECT_EQ(objects.Text(QStringLiteral("/a,p5=%1/").arg(id))->Size(), QSize(20, 10));
    EXPECT_EQ(objects.Text(QStringLiteral("/a,p5=%1,btn_width=50,btn_height=23,btn_text='OK'/").arg(id))->Size(),
              QSize(50, 23));
    EXPECT_EQ(objects.Text(QStringLiteral("/a,p5=%1,btn_width=42/").arg(id))->Size(), QSize(42, 10));
    // Without a picture the button fits its text.
    RichText* bare = objects.Text(QStringLiteral("/a,btn_text='Loading'/"));
    EXPECT_EQ(bare->Size().width(), Metrics(12).horizontalAdvance(QStringLiteral("Loading")) + 8);
    EXPECT_EQ(bare->AnchorCount(), 1);
}

TEST(Layout, MissingPictureKeepsTheButtonPlace)
{
    Objects objects;
    RichText* text = objects.Text(QStringLiteral("/a,p5=987654,btn_width=50,btn_height=23,btn_text='确定'/"));
    EXPECT_EQ(text->Size(), QSize(50, 23));
    EXPECT_EQ(text->AnchorBounds(0), QRect(0, 0, 50, 23));
    EXPECT_EQ(objects.Text(QStringLiteral("/p=987654/"))->Size(), QSize(0, 0));
}

TEST(Layout, PictureAndTextShareALine)
{
    Objects objects;
    const int id = objects.Picture(skin_test::ButtonStrip(14, 14))->GetId();
    RichText* text = objects.Text(QStringLiteral("/a,p5=%1/全选//反选").arg(id));
    EXPECT_EQ(text->LineCount(), 1);
    EXPECT_EQ(text->LaidOutText(), QStringLiteral("全选/反选"));
    EXPECT_EQ(text->Size().width(), 14 + Metrics(12).horizontalAdvance(QStringLiteral("全选/反选")));
    EXPECT_EQ(text->AnchorBounds(0).width(), text->Size().width());
}

TEST(Layout, PictureChangesAreMeasuredAgain)
{
    Objects objects;
    skin::SkinPicture* picture = objects.Picture(skin_test::Strip(10, 10, {Qt::white}));
    RichText* text = objects.Text(QStringLiteral("/p=%1/").arg(picture->GetId()));
    EXPECT_EQ(text->Size(), QSize(10, 10));
    ASSERT_TRUE(picture->Resize(120, 90));
    EXPECT_EQ(text->Size(), QSize(120, 90));
    skin::SkinEngine::Instance().DestroyObject(picture);
    EXPECT_EQ(text->Size(), QSize(0, 0));
}

TEST(Layout, ColoursAreBgr)
{
    Objects objects;
    // An always-underlined link: the underline is a solid run of the text colour.
    RichText* text = objects.Text(QStringLiteral("/a,c=0000ff,linkl=1,font_height=20/MMMM"));
    const QImage image = skin_test::Render(text, text->Size() + QSize(0, 6));
    int red = 0;
    int blue = 0;
    for (int y = 0; y < image.height(); ++y) {
        const QColor colour = image.pixelColor(image.width() / 2, y);
        if (colour.alpha() == 255 && colour.red() == 255 && colour.blue() == 0) {
            ++red;
        }
        if (colour.alpha() == 255 && colour.blue() == 255 && colour.red() == 0) {
            ++blue;
        }
    }
    EXPECT_GT(red, 0);
    EXPECT_EQ(blue, 0);
    EXPECT_EQ(skin::ColourFromRef(0xC59900), QColor(0, 0x99, 0xC5));
    EXPECT_EQ(skin::RefFromColour(QColor(0, 0x99, 0xC5)), 0xC59900u);
}

TEST(Layout, StretchedButtonKeepsItsCorners)
{
    Objects objects;
    // A 30 x 30 single-frame picture, white with a red top-left and a blue top-right corner pixel.
    QImage image(30, 30, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    image.setPixelColor(0, 0, Qt::red);
    image.setPixelColor(29, 0, Qt::blue);
    const int id = objects.Picture(image)->GetId();
    RichText* text = objects.Text(QStringLiteral("/p=%1,btn_width=90,btn_height=30/").arg(id));
    const QImage drawn = skin_test::Render(text);
    ASSERT_EQ(drawn.size(), QSize(90, 30));
    EXPECT_EQ(drawn.pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(drawn.pixelColor(89, 0), QColor(Qt::blue));
    EXPECT_EQ(drawn.pixelColor(45, 15), QColor(Qt::white));
}

TEST(Layout, RandomMarkupNeverCrashes)
{
    Objects objects;
    const int id = objects.Picture(skin_test::ButtonStrip())->GetId();
    const QStringList pieces = {QStringLiteral("/"),
                                QStringLiteral("//"),
                                QStringLiteral(","),
                                QStringLiteral("a"),
                                QStringLiteral("p5=%1").arg(id),
                                QStringLiteral("p3=%1|0|%1").arg(id),
                                QStringLiteral("p=%1").arg(id),
                                QStringLiteral("btn_text='x'"),
                                QStringLiteral("btn_width=0"),
                                QStringLiteral("line_width=1"),
                                QStringLiteral("line_width=0"),
                                QStringLiteral("single_line=2"),
                                QStringLiteral("single_line=1"),
                                QStringLiteral("font_height=1"),
                                QStringLiteral("global"),
                                QStringLiteral("\n"),
                                QStringLiteral(" "),
                                QStringLiteral("字"),
                                QString::fromUtf8("\xF0\x9F\x98\x80"),
                                QStringLiteral("word")};
    std::mt19937 random(99);
    std::uniform_int_distribution<int> pick(0, static_cast<int>(pieces.size()) - 1);
    std::uniform_int_distribution<int> length(0, 30);
    RichText* text = objects.Text(QString());
    QImage canvas(200, 200, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&canvas);
    for (int round = 0; round < 1500; ++round) {
        QString markup;
        const int n = length(random);
        for (int i = 0; i < n; ++i) {
            markup += pieces[pick(random)];
        }
        text->Format(markup);
        const QSize size = text->Size();
        EXPECT_GE(size.width(), 0);
        EXPECT_GE(size.height(), 0);
        text->Draw(painter, 0, 0);
    }
}

} // namespace
