#include "views/ManagerParts.h"

#include <filesystem>

#include <QDesktopServices>
#include <QPainter>
#include <QPainterPath>
#include <QUrl>

#include "views/MsgBox.h"
#include "views/QtText.h"
#include "views/SkinTheme.h"

namespace views {
namespace {

constexpr int PanelPicture = 328;
constexpr QPoint ContentPixel(116, 50);
constexpr double CornerRadius = 4.5; // a 9 x 9 corner ellipse
constexpr int SquareFrom = 100;      // below this row the corners are square

} // namespace

QImage PanelBackground(const SkinTheme& theme, int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    const QImage& picture = theme.Image(PanelPicture);
    if (picture.isNull()) {
        return image;
    }
    struct Piece
    {
        QRect source;
        QRect target;
    };
    const Piece pieces[] = {
        {{0, 0, 116, 25}, {0, 0, 116, 25}},            // top left
        {{118, 0, 5, 25}, {w - 5, 0, 5, 25}},          // top right
        {{0, 50, 116, 7}, {0, h - 7, 116, 7}},         // bottom left
        {{118, 50, 5, 7}, {w - 5, h - 7, 5, 7}},       // bottom right
        {{116, 0, 1, 25}, {116, 0, w - 121, 25}},      // top edge
        {{116, 50, 1, 7}, {116, h - 7, w - 121, 7}},   // bottom edge
        {{0, 25, 116, 25}, {0, 25, 116, h - 32}},      // left column
        {{118, 25, 5, 25}, {w - 5, 25, 5, h - 32}},    // right edge
        {{116, 50, 1, 1}, {116, 25, w - 120, h - 32}}, // centre
    };
    QPainter painter(&image);
    for (const Piece& piece : pieces) {
        if (piece.target.width() > 0 && piece.target.height() > 0) {
            painter.drawImage(piece.target, picture, piece.source);
        }
    }
    return image;
}

QImage PanelContent(const SkinTheme& theme, int w, int h)
{
    QImage image(std::max(1, w), std::max(1, h), QImage::Format_ARGB32_Premultiplied);
    const QImage& picture = theme.Image(PanelPicture);
    image.fill(picture.valid(ContentPixel) ? QColor::fromRgba(picture.pixel(ContentPixel)) : QColor(Qt::black));
    return image;
}

QRegion RoundedTopShape(int w, int h)
{
    QPainterPath rounded;
    rounded.addRoundedRect(QRectF(0, 0, w, h), CornerRadius, CornerRadius);
    QRegion region(rounded.toFillPolygon().toPolygon());
    region += QRegion(0, SquareFrom, w, h - SquareFrom);
    return region;
}

bool OpenDownloadFolder(const std::string& programDir, const SkinTheme& theme, const UiTexts& texts, QWidget* owner)
{
    const std::string folder = programDir + "download";
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        MsgBox::Ask(QStringLiteral("Marlune"), QStringLiteral("路径不存在！"), 0, theme, texts, owner);
        return false;
    }
    // The desktop's own opener; no command line is built from the path.
    return QDesktopServices::openUrl(QUrl::fromLocalFile(FromUtf8(folder)));
}

} // namespace views
