#pragma once

// The process-wide look of the program: text styles, layout margins, column sizes, the images the
// windows draw themselves, the skin engine's pictures and the icons, read from skin.rcc.
// GUI thread only; read-only once loaded.

#include <array>
#include <cstdint>
#include <string>

#include <QIcon>
#include <QImage>
#include <QString>

#include "skin/SkinEngine.h"

namespace views {

// One text style: font height in pixels, colour and second colour (COLORREF 0xBBGGRR, handed
// unchanged to the markup's c= key; the second colour marks the current or selected item).
struct TextStyle
{
    int height = 12;
    std::uint32_t colour = 0xFFFFFF;
    std::uint32_t second = 0xFFFFFF;
};

struct MarginRect
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

struct ColumnPair
{
    int first = 0;  // x or width
    int second = 0; // height
};

class SkinTheme
{
public:
    static constexpr int StyleCount = 29;
    static constexpr int MarginCount = 6;
    static constexpr int ColumnCount = 5;
    static constexpr int PictureCount = 24;
    // Resource ids of the skin engine's pictures, in their order (312 twice: maximise, restore).
    static constexpr std::array<int, PictureCount> PictureResources = {329, 315, 313, 312, 312, 311, 314, 324,
                                                                       307, 321, 331, 318, 304, 308, 309, 333,
                                                                       316, 330, 319, 306, 325, 326, 317, 332};
    // The images the windows draw themselves: frame, strip, panel background, progress bar.
    static constexpr std::array<int, 4> ImageResources = {303, 320, 328, 322};
    static constexpr int FirstIcon = 350; // window and tray icon
    static constexpr int IconCount = 6;   // 350, and 351-355 the tray animation frames
    static constexpr int DefaultPictureResource = 301;
    static constexpr int SplashResource = 329;
    // Where the skin file's pictures appear while it is registered: ":/skin/png/303.png".
    static constexpr const char* ResourceRoot = "/skin";

    // The constant values; no images until Load.
    SkinTheme();
    ~SkinTheme();
    SkinTheme(const SkinTheme&) = delete;
    SkinTheme& operator=(const SkinTheme&) = delete;
    SkinTheme(SkinTheme&&) = delete;
    SkinTheme& operator=(SkinTheme&&) = delete;

    // Reads the images, pictures and icons from the skin file (a binary Qt resource file). False
    // when the file cannot be opened as one: then nothing is loaded. A picture missing from the
    // file leaves its image empty. The file is released again once everything is copied out.
    [[nodiscard]] bool Load(const QString& skinFile);
    bool IsLoaded() const { return m_loaded; }

    // The font face of every text style: "宋体" (UTF-8).
    const std::string& FontFace() const { return m_fontFace; }
    QString FontFaceText() const;
    // Style n, 1 to 29; style 1 for any other n.
    const TextStyle& Style(int n) const;
    // Margin rectangle n, 1 to 6; an empty one for any other n.
    const MarginRect& Margin(int n) const;
    // Column pair n, 1 to 5; an empty one for any other n.
    const ColumnPair& Column(int n) const;

    // Image 303, 320, 328 or 322; empty for other ids or when missing.
    const QImage& Image(int resourceId) const;
    // The picture the info screen shows when a game has none (301); empty when missing.
    const QImage& DefaultPicture() const { return m_defaultPicture; }
    // Picture index (0-23) in the order of PictureResources; null before Load or out of range.
    skin::SkinPicture* Picture(int index) const;
    // The occurrence-th picture object of a resource id (312 has two); null when there is none.
    skin::SkinPicture* PictureFor(int resourceId, int occurrence = 0) const;
    // Its id for the markup keys p, p3 and p5; 0 (draws nothing) when there is none.
    int PictureId(int resourceId, int occurrence = 0) const;
    // The splash background picture.
    skin::SkinPicture* SplashPicture() const { return PictureFor(SplashResource); }
    // Icon 350-355; an empty icon for other ids or when missing.
    const QIcon& Icon(int resourceId) const;
    // The same icon as an image (empty when missing), for code that draws it.
    const QImage& IconImage(int resourceId) const;

private:
    std::string m_fontFace;
    std::array<TextStyle, StyleCount> m_styles;
    std::array<MarginRect, MarginCount> m_margins;
    std::array<ColumnPair, ColumnCount> m_columns;
    std::array<QImage, 4> m_images;
    QImage m_defaultPicture;
    std::array<skin::Owned<skin::SkinPicture>, PictureCount> m_pictures;
    std::array<QIcon, IconCount> m_icons;
    std::array<QImage, IconCount> m_iconImages;
    bool m_loaded = false;
};

} // namespace views
