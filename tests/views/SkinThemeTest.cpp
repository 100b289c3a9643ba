// The theme read from skin.rcc, a skin file that lacks pictures or cannot be read, the interface
// texts and the font that stands in for 宋体.

#include <gtest/gtest.h>

#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QTemporaryDir>

#include "ViewsTestSupport.h"
#include "views/UiTexts.h"

using views::SkinTheme;

namespace {

TEST(SkinTheme, LoadsEveryPictureAtItsSize)
{
    const SkinTheme& theme = views_test::Theme();
    ASSERT_TRUE(theme.IsLoaded());
    EXPECT_EQ(theme.Image(303).size(), QSize(970, 630));
    EXPECT_EQ(theme.Image(320).size(), QSize(509, 32));
    EXPECT_EQ(theme.Image(328).size(), QSize(123, 57));
    EXPECT_EQ(theme.Image(322).size(), QSize(10, 14));
    EXPECT_TRUE(theme.Image(304).isNull()) << "not one of the four images";
    EXPECT_EQ(theme.DefaultPicture().size(), QSize(400, 300));
    for (int i = 0; i < SkinTheme::PictureCount; ++i) {
        const skin::SkinPicture* picture = theme.Picture(i);
        ASSERT_NE(picture, nullptr);
        EXPECT_FALSE(picture->IsNull()) << "picture " << SkinTheme::PictureResources[static_cast<std::size_t>(i)];
        EXPECT_EQ(skin::SkinEngine::Instance().Picture(picture->GetId()), picture);
    }
    EXPECT_EQ(theme.Picture(24), nullptr);
    for (int id = 350; id <= 355; ++id) {
        EXPECT_FALSE(theme.Icon(id).isNull()) << id;
        EXPECT_EQ(theme.IconImage(id).size(), QSize(64, 64)) << id;
    }
    EXPECT_TRUE(theme.Icon(356).isNull());
}

// Sizes of the button strips (five frames) and single pictures, as the views place them.
TEST(SkinTheme, PictureSizesFitTheirPlaces)
{
    const SkinTheme& theme = views_test::Theme();
    const struct
    {
        int id;
        QSize frame;
        bool strip;
    } expected[] = {
        {329, {280, 140}, false}, {315, {110, 40}, true},   {313, {27, 20}, true},  {312, {27, 20}, true},
        {311, {40, 20}, true},    {314, {42, 22}, true},    {324, {40, 22}, false}, {307, {100, 30}, true},
        {321, {24, 23}, true},    {331, {100, 30}, true},   {318, {50, 23}, true},  {304, {14, 14}, true},
        {308, {140, 121}, false}, {309, {140, 121}, false}, {333, {60, 20}, true},  {316, {125, 24}, true},
        {330, {16, 16}, true},    {319, {16, 16}, true},    {306, {16, 16}, true},  {325, {499, 1}, false},
        {326, {499, 2}, false},   {317, {16, 14}, false},   {332, {110, 30}, true},
    };
    for (const auto& e : expected) {
        const skin::SkinPicture* picture = theme.PictureFor(e.id);
        ASSERT_NE(picture, nullptr) << e.id;
        const QSize size = picture->Image().size();
        const QSize frame = e.strip ? QSize(size.width() / 5, size.height()) : size;
        EXPECT_EQ(frame, e.frame) << e.id;
        if (e.strip) {
            EXPECT_EQ(size.width() % 5, 0) << e.id;
        }
    }
    // The second 312 is an object of its own with the same picture.
    ASSERT_NE(theme.PictureFor(312, 1), nullptr);
    EXPECT_NE(theme.PictureId(312, 1), theme.PictureId(312, 0));
    EXPECT_EQ(theme.PictureFor(312, 1)->Image(), theme.PictureFor(312, 0)->Image());
    EXPECT_EQ(theme.PictureFor(312, 2), nullptr);
    EXPECT_EQ(theme.SplashPicture(), theme.PictureFor(329));
}

TEST(SkinTheme, ConstantValues)
{
    const SkinTheme theme;
    EXPECT_FALSE(theme.IsLoaded());
    EXPECT_EQ(theme.FontFace(), "宋体");
    EXPECT_EQ(theme.FontFaceText(), QStringLiteral("宋体"));
    const auto style = [&](int n) {
        const views::TextStyle& s = theme.Style(n);
        return std::tuple(s.height, s.colour, s.second);
    };
    EXPECT_EQ(style(1), std::tuple(15, 0xFFFFFFu, 0xFFFFFFu));
    EXPECT_EQ(style(5), std::tuple(13, 0x808080u, 0x000000u));
    EXPECT_EQ(style(11), std::tuple(13, 0x9A9A9Au, 0x0000FFu));
    EXPECT_EQ(style(24), std::tuple(13, 0xFFFFFFu, 0x0000FFu));
    EXPECT_EQ(style(26), std::tuple(13, 0xFFFFFFu, 0x0000FFu)); // white on the blue buttons
    EXPECT_EQ(style(27), std::tuple(12, 0xC59900u, 0x613500u));
    EXPECT_EQ(style(29), std::tuple(12, 0xA63491u, 0x0000FFu));
    EXPECT_EQ(style(0), style(1));
    EXPECT_EQ(style(30), style(1));
    const views::MarginRect& centre = theme.Margin(1);
    EXPECT_EQ(std::tuple(centre.left, centre.top, centre.right, centre.bottom), std::tuple(144, 80, 315, 40));
    const views::MarginRect& last = theme.Margin(6);
    EXPECT_EQ(std::tuple(last.left, last.top, last.right, last.bottom), std::tuple(100, 0, 0, 0));
    EXPECT_EQ(theme.Margin(7).left, 0);
    EXPECT_EQ(theme.Column(3).first, 290);
    EXPECT_EQ(theme.Column(5).first, 70);
    EXPECT_EQ(theme.Column(5).second, 20);
    // Before Load: no pictures, ids 0, empty images; nothing breaks.
    EXPECT_EQ(theme.Picture(0), nullptr);
    EXPECT_EQ(theme.PictureId(318), 0);
    EXPECT_TRUE(theme.Image(303).isNull());
    EXPECT_TRUE(theme.Icon(350).isNull());
}

TEST(SkinTheme, AMissingOrBrokenSkinFileIsReported)
{
    SkinTheme missing;
    EXPECT_FALSE(missing.Load(QStringLiteral("/nonexistent/skin.rcc")));
    EXPECT_FALSE(missing.Load(QString()));
    EXPECT_FALSE(missing.IsLoaded());

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("skin.rcc"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, '\x5A'));
    file.close();
    SkinTheme broken;
    EXPECT_FALSE(broken.Load(path));
    EXPECT_TRUE(broken.Image(303).isNull());
}

TEST(SkinTheme, PicturesMissingFromTheSkinStayEmpty)
{
    views::InstallFontSubstitutes();
    SkinTheme theme;
    ASSERT_TRUE(theme.Load(QStringLiteral(MARLUNE_PARTIAL_SKIN_RCC)));
    EXPECT_TRUE(theme.Image(303).isNull());
    EXPECT_TRUE(theme.DefaultPicture().isNull());
    ASSERT_NE(theme.PictureFor(318), nullptr);
    EXPECT_FALSE(theme.PictureFor(318)->IsNull());
    EXPECT_FALSE(theme.PictureFor(311)->IsNull());
    EXPECT_TRUE(theme.PictureFor(329)->IsNull());
    EXPECT_NE(theme.PictureId(329), 0) << "the object exists; it draws nothing";
    EXPECT_FALSE(theme.Icon(350).isNull());
    EXPECT_TRUE(theme.Icon(351).isNull());
    // The skin file is released after loading: its pictures are not reachable any more.
    EXPECT_FALSE(QFile::exists(QStringLiteral(":/skin/png/318.png")));
}

TEST(UiTexts, Entries)
{
    const views::UiTexts texts;
    EXPECT_EQ(texts.At(0), "最小化");
    EXPECT_EQ(texts.At(2), "");
    EXPECT_EQ(texts.At(15), "全选//反选");
    EXPECT_EQ(texts.At(31), "Marlune-下载管理");
    EXPECT_EQ(texts.At(49), "同时下载最大个数(1-10)");
    EXPECT_EQ(texts[52], "确定");
    EXPECT_EQ(texts[54], "退出");
    EXPECT_EQ(texts.At(55), "");
    EXPECT_EQ(texts.At(-1), "");
    int empty = 0;
    for (int i = 0; i < views::UiTexts::Count; ++i) {
        empty += texts.At(i).empty() ? 1 : 0;
    }
    EXPECT_EQ(empty, 1);
}

TEST(Fonts, SongTiShowsChineseWithTheInstalledFont)
{
    const QString family = views::InstallFontSubstitutes();
    ASSERT_EQ(family, QStringLiteral("WenQuanYi Micro Hei")) << "fonts-wqy-microhei is a dependency";
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    EXPECT_EQ(QFontInfo(font).family(), family);
    const QFontMetrics metrics(font);
    for (const QChar ch : QStringLiteral("确定退出下载游戏")) {
        EXPECT_TRUE(metrics.inFont(ch)) << static_cast<int>(ch.unicode());
    }
}

} // namespace
