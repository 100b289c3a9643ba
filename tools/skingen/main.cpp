// The skin generator: draws every picture and icon of the skin, writes them as PNG files with a
// Qt resource list, and a contact sheet of all of them.
//
//   skingen <output folder> [contact sheet .png] [main window preview .png]
//
// The output folder receives png/<id>.png, ico/<id>.png and skin.qrc (for rcc --binary), and the
// launcher icon hicolor/<n>x<n>/apps/marlune.png in the theme's sizes from 16 to 256.

#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QRadialGradient>
#include <QTextStream>

#include "Art.h"

using namespace skingen;

namespace {

struct Picture
{
    int id;
    const char* role;
    QImage image;
    bool strip; // a five-frame button strip
    bool icon;  // an icon (ico/), not a picture (png/)
};

// --- The window frame (970 x 630), drawn for the nine-piece layout of the main window ---------
//
// Only the top-left (830 x 75), top-right (130 x 75), bottom-left (900 x 40) and bottom-right
// (60 x 40) pieces are drawn at their size; the one-pixel-wide middles, the side edges and the
// centre are stretched, so everything there is constant along the stretched direction.
QImage Frame()
{
    const int w = 970;
    const int h = 630;
    return MakeImage(w, h, [&](QPainter& p, const QRectF&) {
        p.setRenderHint(QPainter::Antialiasing, false);
        // Content area.
        QLinearGradient content(QPointF(0, 75), QPointF(0, 590));
        content.setColorAt(0, colour::ContentTop);
        content.setColorAt(1, colour::ContentBottom);
        p.fillRect(QRect(0, 75, w, 515), content);
        // Title bar.
        QLinearGradient bar(QPointF(0, 0), QPointF(0, 75));
        bar.setColorAt(0, colour::BarTop);
        bar.setColorAt(1, colour::BarBottom);
        p.fillRect(QRect(0, 0, w, 75), bar);
        // A soft glow behind the mark, fading out well before the stretched middle at x 830.
        p.setRenderHint(QPainter::Antialiasing, true);
        QRadialGradient glow(QPointF(40, 36), 180);
        glow.setColorAt(0, QColor(0x4F, 0xD2, 0xFF, 60));
        glow.setColorAt(1, QColor(0x4F, 0xD2, 0xFF, 0));
        p.fillRect(QRect(0, 0, 260, 74), glow);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.fillRect(QRect(0, 0, w, 1), QColor(0x5C, 0x9C, 0xC8));
        p.fillRect(QRect(0, 74, w, 1), colour::Steel);
        // Status bar.
        QLinearGradient status(QPointF(0, 590), QPointF(0, 630));
        status.setColorAt(0, colour::BarBottom);
        status.setColorAt(1, QColor(0x06, 0x1F, 0x3B));
        p.fillRect(QRect(0, 590, w, 40), status);
        p.fillRect(QRect(0, 590, w, 1), colour::Steel);
        p.fillRect(QRect(0, 591, w, 1), QColor(0x1A, 0x4D, 0x78));
        // Side frames: outer line, frame band, inner shadow.
        for (int x : {0, w - 1}) {
            p.fillRect(QRect(x, 0, 1, h), colour::Border);
        }
        p.fillRect(QRect(1, 75, 3, 515), colour::BarBottom);
        p.fillRect(QRect(w - 4, 75, 3, 515), colour::BarBottom);
        p.fillRect(QRect(4, 75, 1, 515), colour::Deep);
        p.fillRect(QRect(w - 5, 75, 1, 515), colour::Deep);
        p.fillRect(QRect(0, h - 1, w, 1), colour::Border);
        // Rounded top corners (the window's region cuts them at radius 9).
        p.setRenderHint(QPainter::Antialiasing, true);
        for (int corner = 0; corner < 2; ++corner) {
            const QRectF arc = corner == 0 ? QRectF(0.5, 0.5, 18, 18) : QRectF(w - 18.5, 0.5, 18, 18);
            QPainterPath cut;
            cut.addRect(corner == 0 ? QRectF(0, 0, 9.5, 9.5) : QRectF(w - 9.5, 0, 9.5, 9.5));
            QPainterPath round;
            round.addEllipse(arc);
            p.setCompositionMode(QPainter::CompositionMode_Clear);
            p.fillPath(cut.subtracted(round), Qt::transparent);
            p.setCompositionMode(QPainter::CompositionMode_SourceOver);
            p.setPen(QPen(colour::Border, 1));
            p.setBrush(Qt::NoBrush);
            p.drawArc(arc, corner == 0 ? 90 * 16 : 0, 90 * 16);
        }
        // The mark and the name.
        // The category tabs start at x 140, from y 35: keep the name clear of them.
        DrawMark(p, QRectF(11, 17, 38, 38), true);
        p.setPen(colour::Ink);
        p.setFont(UiFont(17, true));
        p.drawText(QPointF(54, 35), QStringLiteral("Marlune"));
        p.setPen(colour::SoftInk);
        p.setFont(UiFont(11));
        p.drawText(QPointF(55, 53), QStringLiteral("精品小游戏"));
    });
}

// The strip under the centre area (stretched to the area's width).
QImage Strip320()
{
    return MakeImage(509, 32, [](QPainter& p, const QRectF& r) {
        p.setRenderHint(QPainter::Antialiasing, false);
        QLinearGradient fill(r.topLeft(), r.bottomLeft());
        fill.setColorAt(0, QColor(0x11, 0x36, 0x5C));
        fill.setColorAt(1, QColor(0x0A, 0x24, 0x42));
        p.fillRect(r, fill);
        p.fillRect(QRect(0, 0, 509, 1), QColor(0x3C, 0x78, 0xA4));
        p.fillRect(QRect(0, 31, 509, 1), colour::Deep);
    });
}

// The panel picture of the download manager and settings windows, cut in nine by the views:
// title bar rows 0-24, left (tab) column x 0-115, stretch column x 116, right edge x 118-122,
// bottom edge rows 50-56; the content colour sits at (116, 50).
QImage Panel328()
{
    const QColor contentColour(0x0B, 0x24, 0x42);
    const QColor columnColour(0x07, 0x19, 0x30);
    return MakeImage(123, 57, [&](QPainter& p, const QRectF&) {
        p.setRenderHint(QPainter::Antialiasing, false);
        p.fillRect(QRect(0, 0, 123, 57), contentColour);
        QLinearGradient bar(QPointF(0, 0), QPointF(0, 25));
        bar.setColorAt(0, colour::BarTop);
        bar.setColorAt(1, colour::BarBottom);
        p.fillRect(QRect(0, 0, 123, 25), bar);
        p.fillRect(QRect(0, 0, 123, 1), QColor(0x5C, 0x9C, 0xC8));
        p.fillRect(QRect(0, 24, 123, 1), colour::Steel);
        // The tab column with its right rule.
        p.fillRect(QRect(0, 25, 116, 32), columnColour);
        p.fillRect(QRect(115, 25, 1, 32), colour::Steel);
        // Outer border: left, right, bottom.
        p.fillRect(QRect(0, 0, 1, 57), colour::Border);
        p.fillRect(QRect(122, 0, 1, 57), colour::Border);
        p.fillRect(QRect(0, 56, 123, 1), colour::Border);
        p.fillRect(QRect(118, 25, 4, 31), contentColour);
    });
}

// The progress bar parts: caps at x 0-1 and 8-9, body at x 5, fill at x 3 rows 3-9.
QImage Progress322()
{
    QImage image(10, 14, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const QColor rim(0x3C, 0x74, 0x9E);
    const QColor trough(0x05, 0x14, 0x26);
    const QColor troughLow(0x0A, 0x22, 0x3C);
    auto column = [&](int x, bool edge) {
        for (int y = 0; y < 14; ++y) {
            QColor c;
            if (edge) {
                c = (y == 0 || y == 13) ? QColor(rim.red(), rim.green(), rim.blue(), 120) : rim;
            } else if (y == 0 || y == 13) {
                c = rim;
            } else {
                c = y < 7 ? trough : troughLow;
            }
            image.setPixelColor(x, y, c);
        }
    };
    column(0, true);
    column(1, false);
    column(5, false);
    column(8, false);
    column(9, true);
    // The fill: a bright top fading to the accent.
    for (int y = 3; y <= 9; ++y) {
        const double t = (y - 3) / 6.0;
        image.setPixelColor(3,
                            y,
                            QColor(static_cast<int>(0x7F + (0x00 - 0x7F) * t),
                                   static_cast<int>(0xE4 + (0x8E - 0xE4) * t),
                                   static_cast<int>(0xFF + (0xC8 - 0xFF) * t)));
    }
    return image;
}

QImage Separator(int height)
{
    return MakeImage(499, height, [height](QPainter& p, const QRectF& r) {
        p.setRenderHint(QPainter::Antialiasing, false);
        QLinearGradient line(r.topLeft(), r.topRight());
        const QColor steel = height == 1 ? QColor(0x29, 0x5D, 0x7E) : QColor(0x3A, 0x79, 0xA6);
        QColor clear = steel;
        clear.setAlpha(0);
        line.setColorAt(0, height == 1 ? clear : steel);
        line.setColorAt(0.08, steel);
        line.setColorAt(0.92, steel);
        line.setColorAt(1, height == 1 ? clear : steel);
        p.fillRect(QRect(0, 0, 499, 1), line);
        if (height > 1) {
            p.fillRect(QRect(0, 1, 499, height - 1), QColor(0x03, 0x0D, 0x1A, 200));
        }
    });
}

// The splash picture behind the loading status line (drawn at x 30, y 100).
QImage Splash329()
{
    return MakeImage(280, 140, [](QPainter& p, const QRectF& r) {
        QLinearGradient back(r.topLeft(), r.bottomRight());
        back.setColorAt(0, QColor(0x12, 0x45, 0x78));
        back.setColorAt(0.55, QColor(0x0A, 0x29, 0x4C));
        back.setColorAt(1, QColor(0x05, 0x15, 0x2A));
        p.fillRect(r, back);
        QRadialGradient glow(QPointF(52, 44), 90);
        glow.setColorAt(0, QColor(0x4F, 0xD2, 0xFF, 70));
        glow.setColorAt(1, QColor(0x4F, 0xD2, 0xFF, 0));
        p.fillRect(r, glow);
        DrawMark(p, QRectF(22, 20, 50, 50), true);
        p.setPen(colour::Ink);
        p.setFont(UiFont(26, true));
        p.drawText(QPointF(84, 50), QStringLiteral("Marlune"));
        p.setPen(colour::SoftInk);
        p.setFont(UiFont(12));
        p.drawText(QPointF(86, 69), QStringLiteral("精品小游戏 一键畅玩"));
        QLinearGradient rule(QPointF(22, 0), QPointF(258, 0));
        rule.setColorAt(0, QColor(0x4F, 0xD2, 0xFF, 0));
        rule.setColorAt(0.3, QColor(0x4F, 0xD2, 0xFF, 200));
        rule.setColorAt(1, QColor(0x4F, 0xD2, 0xFF, 0));
        p.setRenderHint(QPainter::Antialiasing, false);
        p.fillRect(QRect(22, 86, 236, 1), rule);
        // Three dots at the lower right, a quiet hint of work in progress.
        p.setRenderHint(QPainter::Antialiasing, true);
        for (int i = 0; i < 3; ++i) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0x4F, 0xD2, 0xFF, 90 + 60 * i));
            p.drawEllipse(QPointF(234 + 9 * i, 124), 2.2, 2.2);
        }
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(colour::Border);
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(0, 0, 279, 139));
    });
}

// The picture the info screen shows when a game has none.
QImage Default301()
{
    return MakeImage(400, 300, [](QPainter& p, const QRectF& r) {
        p.fillRect(r, colour::InfoBack);
        const QRectF card(80, 60, 240, 180);
        QLinearGradient fill(card.topLeft(), card.bottomLeft());
        fill.setColorAt(0, QColor(0x1B, 0x22, 0x2A));
        fill.setColorAt(1, QColor(0x15, 0x1A, 0x20));
        p.setPen(QPen(QColor(0x33, 0x41, 0x50), 1.5, Qt::DashLine));
        p.setBrush(fill);
        p.drawRoundedRect(card.adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
        GlyphGamepad(p, QRectF(150, 95, 100, 56), QColor(0x3E, 0x50, 0x62));
        p.setPen(QColor(0x8A, 0x99, 0xA8));
        p.setFont(UiFont(16));
        p.drawText(QRectF(card.left(), 170, card.width(), 26), Qt::AlignCenter, QStringLiteral("暂无图片"));
        p.setPen(QColor(0x55, 0x64, 0x72));
        p.setFont(UiFont(11));
        p.drawText(QRectF(card.left(), 198, card.width(), 18), Qt::AlignCenter, QStringLiteral("Marlune"));
    });
}

// --- Buttons -----------------------------------------------------------------------------------

QImage BlueButton(int width, int height, qreal radius)
{
    return MakeStrip(width, height, [radius](QPainter& p, const QRectF& r, int look) {
        DrawFace(p, r, radius, BlueFace(look));
    });
}

QImage OrangeButton(int width, int height, qreal radius)
{
    return MakeStrip(width, height, [radius](QPainter& p, const QRectF& r, int look) {
        DrawFace(p, r, radius, OrangeFace(look));
    });
}

// Caption buttons: a glyph on a clear face that lights up under the mouse.
QImage CaptionButton(int width,
                     int height,
                     const std::function<void(QPainter&, const QRectF&, const QColor&)>& glyph,
                     bool danger)
{
    return MakeStrip(width, height, [&](QPainter& p, const QRectF& r, int look) {
        QColor back = Qt::transparent;
        if (look == Hover || look == Selected) {
            back = danger ? QColor(0xE0, 0x43, 0x3A) : QColor(255, 255, 255, 46);
        } else if (look == Pressed) {
            back = danger ? QColor(0xA8, 0x26, 0x1E) : QColor(0, 0, 0, 60);
        }
        if (back.alpha() > 0) {
            p.setPen(Qt::NoPen);
            p.setBrush(back);
            QPainterPath face;
            // Two pixels clear of the top and right edges: a window's one-pixel outline there stays
            // a line, with a pixel of the window's own colour between it and the lit face.
            face.addRoundedRect(r.adjusted(0, 2, -2, 0), 3, 3);
            p.drawPath(face);
        }
        const QColor ink = look == Disabled ? QColor(0x7A, 0x86, 0x92) : colour::Ink;
        glyph(p, r, ink);
    });
}

// Small round icon buttons (pause, continue, stop).
QImage RoundIcon(const std::function<void(QPainter&, const QRectF&, const QColor&)>& glyph, bool danger)
{
    return MakeStrip(16, 16, [&](QPainter& p, const QRectF& r, int look) {
        QColor top(0x2E, 0x72, 0xA5);
        QColor bottom(0x17, 0x49, 0x76);
        QColor rim(0x6F, 0xB0, 0xDC);
        if (look == Hover || look == Selected) {
            top = danger ? QColor(0xF0, 0x62, 0x58) : QColor(0x3E, 0x9E, 0xD8);
            bottom = danger ? QColor(0xC0, 0x33, 0x2A) : QColor(0x1F, 0x66, 0x9E);
            rim = danger ? QColor(0xFF, 0xB0, 0xA8) : QColor(0xA8, 0xE2, 0xFF);
        } else if (look == Pressed) {
            top = danger ? QColor(0x99, 0x22, 0x1C) : QColor(0x12, 0x3A, 0x60);
            bottom = danger ? QColor(0xC0, 0x33, 0x2A) : QColor(0x1E, 0x52, 0x7E);
        } else if (look == Disabled) {
            top = QColor(0x4A, 0x55, 0x60);
            bottom = QColor(0x35, 0x3D, 0x46);
            rim = QColor(0x60, 0x6B, 0x76);
        }
        QLinearGradient fill(r.topLeft(), r.bottomLeft());
        fill.setColorAt(0, top);
        fill.setColorAt(1, bottom);
        p.setPen(QPen(rim, 1));
        p.setBrush(fill);
        p.drawEllipse(r.adjusted(0.5, 0.5, -0.5, -0.5));
        glyph(p, r, look == Disabled ? QColor(0x9A, 0xA4, 0xAE) : colour::Ink);
    });
}

// The check box in front of selectable names and options.
QImage CheckBox304()
{
    return MakeStrip(14, 14, [](QPainter& p, const QRectF& r, int look) {
        const QRectF box = r.adjusted(1.5, 1.5, -1.5, -1.5);
        QColor border(0x6F, 0xA8, 0xD0);
        QColor fill(0x08, 0x1E, 0x38);
        if (look == Hover) {
            border = QColor(0xA8, 0xE2, 0xFF);
            fill = QColor(0x10, 0x33, 0x58);
        } else if (look == Pressed) {
            fill = QColor(0x04, 0x12, 0x24);
        } else if (look == Selected) {
            border = QColor(0x8F, 0xE2, 0xFB);
            fill = colour::Accent;
        } else if (look == Disabled) {
            border = QColor(0x56, 0x62, 0x6E);
            fill = QColor(0x2C, 0x33, 0x3A);
        }
        p.setPen(QPen(border, 1));
        p.setBrush(fill);
        p.drawRoundedRect(box, 2, 2);
        if (look == Selected) {
            GlyphCheck(p, r, 8, colour::Ink);
        }
    });
}

// The cell frame of the game list: 309 normal, 308 under the mouse.
QImage Cell(bool hover)
{
    return MakeImage(140, 121, [hover](QPainter& p, const QRectF& r) {
        const QRectF frame = r.adjusted(0.5, 0.5, -0.5, -0.5);
        QLinearGradient fill(frame.topLeft(), frame.bottomLeft());
        fill.setColorAt(0, hover ? QColor(0x2A, 0x6C, 0xA4, 150) : QColor(0x1C, 0x4F, 0x82, 110));
        fill.setColorAt(1, hover ? QColor(0x10, 0x3A, 0x66, 170) : QColor(0x08, 0x22, 0x44, 140));
        p.setPen(QPen(hover ? QColor(0x6F, 0xCF, 0xF8) : QColor(0x2F, 0x66, 0x95), 1));
        p.setBrush(fill);
        p.drawRoundedRect(frame, 6, 6);
        if (hover) {
            p.setPen(QPen(QColor(0x4F, 0xD2, 0xFF, 90), 1));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(frame.adjusted(1, 1, -1, -1), 5, 5);
        }
        // The well that the game's 120 x 90 icon covers.
        p.setPen(QPen(hover ? QColor(0x6F, 0xCF, 0xF8, 160) : QColor(0x1A, 0x42, 0x6A), 1));
        p.setBrush(QColor(0x03, 0x10, 0x20, 200));
        p.drawRect(QRectF(9.5, 9.5, 121, 91));
    });
}

// Main-window category tabs (110 x 40), standing on the title bar's bottom rule.
QImage CategoryTab315()
{
    return MakeStrip(110, 40, [](QPainter& p, const QRectF& r, int look) {
        const QRectF tab = r.adjusted(2, 2, -2, 0);
        DrawTabFace(p, tab, 6, TabFace(look), false);
        if (look == Selected) {
            p.setRenderHint(QPainter::Antialiasing, false);
            p.fillRect(QRectF(tab.left() + 6, tab.top(), tab.width() - 12, 2), colour::AccentLight);
            p.setRenderHint(QPainter::Antialiasing, true);
        }
    });
}

// The online and local tabs of the right panel (125 x 24).
QImage SideTab316()
{
    return MakeStrip(125, 24, [](QPainter& p, const QRectF& r, int look) {
        const QRectF tab = r.adjusted(1, 1, -1, 0);
        Face face = TabFace(look);
        if (look == Selected) {
            face.bottom = QColor(0x0E, 0x3A, 0x62);
        }
        DrawTabFace(p, tab, 5, face, false);
        if (look == Selected) {
            p.setRenderHint(QPainter::Antialiasing, false);
            p.fillRect(QRectF(tab.left() + 5, tab.top(), tab.width() - 10, 2), colour::AccentLight);
        }
    });
}

// Sub-category buttons of the left column (100 x 30).
QImage SubCategory331()
{
    return MakeStrip(100, 30, [](QPainter& p, const QRectF& r, int look) {
        Face face = TabFace(look);
        if (look == Selected) {
            face = BlueFace(Selected);
        }
        DrawFace(p, r.adjusted(0, 1, 0, -1), 5, face);
        if (look == Selected) {
            p.setPen(Qt::NoPen);
            p.setBrush(colour::Ink);
            QPainterPath marker;
            marker.moveTo(r.left() + 6, r.center().y() - 4);
            marker.lineTo(r.left() + 10, r.center().y());
            marker.lineTo(r.left() + 6, r.center().y() + 4);
            marker.closeSubpath();
            p.drawPath(marker);
        }
    });
}

// The tab buttons of the download manager's left column (110 x 30).
QImage ManagerTab332()
{
    return MakeStrip(110, 30, [](QPainter& p, const QRectF& r, int look) {
        QColor back = Qt::transparent;
        if (look == Hover) {
            back = QColor(0x1F, 0x5A, 0x8E, 150);
        } else if (look == Pressed) {
            back = QColor(0x05, 0x14, 0x28, 180);
        } else if (look == Selected) {
            back = QColor(0x0B, 0x24, 0x42);
        }
        const QRectF face = r.adjusted(0, 2, 0, -2);
        if (back.alpha() > 0) {
            p.setPen(Qt::NoPen);
            p.setBrush(back);
            p.drawRoundedRect(face, 4, 4);
        }
        if (look == Selected) {
            p.setRenderHint(QPainter::Antialiasing, false);
            p.fillRect(QRectF(face.left(), face.top() + 3, 3, face.height() - 6), colour::AccentLight);
            p.setRenderHint(QPainter::Antialiasing, true);
            p.setPen(QPen(QColor(0x3A, 0x79, 0xA6), 1));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(face.adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
        }
    });
}

// The settings button: a gear above the "设置" label (42 x 22).
QImage Settings314()
{
    return MakeStrip(42, 22, [](QPainter& p, const QRectF& r, int look) {
        if (look == Hover || look == Pressed || look == Selected) {
            QRadialGradient glow(r.center(), 13);
            glow.setColorAt(0, QColor(0x4F, 0xD2, 0xFF, look == Pressed ? 60 : 110));
            glow.setColorAt(1, QColor(0x4F, 0xD2, 0xFF, 0));
            p.fillRect(r, glow);
        }
        QColor ink = look == Disabled ? QColor(0x7A, 0x86, 0x92) : colour::Ink;
        if (look == Hover || look == Selected) {
            ink = QColor(0xCF, 0xF2, 0xFF);
        }
        GlyphGear(p, r.translated(0, look == Pressed ? 1 : 0), 8.5, ink);
    });
}

// The search button at the end of the search box (40 x 22, one picture).
QImage Search324()
{
    return MakeImage(40, 22, [](QPainter& p, const QRectF& r) {
        DrawFace(p, r, 5, BlueFace(Normal));
        GlyphMagnifier(p, r, 14, colour::Ink);
    });
}

// --- Icons -----------------------------------------------------------------------------------

// Frame -1 is the window icon; drawn on a 64-pixel grid, scaled to size.
QImage AppIcon(int frame, int size = 64)
{
    return MakeImage(size, size, [frame, size](QPainter& p, const QRectF&) {
        p.scale(size / 64.0, size / 64.0);
        const QRectF tile = QRectF(0, 0, 64, 64).adjusted(2, 2, -2, -2);
        QLinearGradient back(tile.topLeft(), tile.bottomRight());
        back.setColorAt(0, QColor(0x1A, 0x5E, 0x9A));
        back.setColorAt(1, QColor(0x06, 0x1E, 0x3C));
        p.setPen(QPen(QColor(0x7F, 0xD3, 0xF7), 1.5));
        p.setBrush(back);
        p.drawRoundedRect(tile.adjusted(0.75, 0.75, -0.75, -0.75), 13, 13);
        DrawMark(p, tile.adjusted(6, 6, -6, -6), false);
        if (frame >= 0) {
            // The download arrow drops a little further on every frame.
            const qreal drop = frame * 4.0;
            GlyphDownArrow(p, QRectF(34, 20 + drop, 26, 24), colour::Orange);
            p.setRenderHint(QPainter::Antialiasing, false);
            p.fillRect(QRectF(33, 57, 28, 3), QColor(0xFF, 0xC2, 0x7C));
        }
    });
}

std::vector<Picture> DrawAll()
{
    std::vector<Picture> all;
    auto add = [&all](int id, const char* role, QImage image, bool strip = false) {
        all.push_back(Picture{id, role, std::move(image), strip, false});
    };
    add(303, "window frame, nine pieces", Frame());
    add(329, "splash background", Splash329());
    add(301, "no picture", Default301());
    add(320, "strip under the centre area", Strip320());
    add(328, "panel background, nine pieces", Panel328());
    add(322, "progress bar parts", Progress322());
    add(315, "category tab", CategoryTab315(), true);
    add(316, "online and local tabs", SideTab316(), true);
    add(331, "sub-category button", SubCategory331(), true);
    add(332, "manager tab", ManagerTab332(), true);
    add(307, "action button", OrangeButton(100, 30, 6), true);
    add(333, "download selected", OrangeButton(60, 20, 4), true);
    add(318, "button", BlueButton(50, 23, 4), true);
    add(321, "page number", BlueButton(24, 23, 4), true);
    add(311,
        "close",
        CaptionButton(
            40,
            20,
            [](QPainter& p, const QRectF& r, const QColor& c) { GlyphCross(p, r, 8, c, 1.5); },
            true),
        true);
    add(312,
        "maximise and restore",
        CaptionButton(
            27,
            20,
            [](QPainter& p, const QRectF& r, const QColor& c) { GlyphSquare(p, r, 9, c); },
            false),
        true);
    add(313,
        "minimise",
        CaptionButton(
            27,
            20,
            [](QPainter& p, const QRectF& r, const QColor& c) { GlyphMinus(p, r, 9, c); },
            false),
        true);
    add(314, "settings", Settings314(), true);
    add(324, "search", Search324());
    add(304, "check box", CheckBox304(), true);
    add(309, "game cell", Cell(false));
    add(308, "game cell, hover", Cell(true));
    add(319,
        "pause",
        RoundIcon([](QPainter& p, const QRectF& r, const QColor& c) { GlyphPause(p, r, 7, c); }, false),
        true);
    add(306,
        "continue",
        RoundIcon([](QPainter& p, const QRectF& r, const QColor& c) { GlyphPlay(p, r, 7, c); }, false),
        true);
    add(330,
        "stop and remove",
        RoundIcon([](QPainter& p, const QRectF& r, const QColor& c) { GlyphCross(p, r, 6, c, 1.6); }, true),
        true);
    add(317, "folder", MakeImage(16, 14, [](QPainter& p, const QRectF& r) { GlyphFolder(p, r); }));
    add(325, "row rule", Separator(1));
    add(326, "header rule", Separator(2));
    for (int i = 0; i < 6; ++i) {
        all.push_back(Picture{350 + i, i == 0 ? "window and tray icon" : "tray frame", AppIcon(i - 1), false, true});
    }
    return all;
}

// Every picture on one sheet, on a two-tone backdrop that shows transparency; small ones twice
// as large as well, to judge their edges.
QImage ContactSheet(const std::vector<Picture>& pictures)
{
    const int width = 1010;
    const int margin = 20;
    const int labelHeight = 18;
    struct Placed
    {
        const Picture* picture;
        QRect rect;
        int zoom;
    };
    std::vector<Placed> placed;
    int x = margin;
    int y = margin + 30;
    int rowHeight = 0;
    for (const Picture& picture : pictures) {
        const int zoom = picture.image.height() <= 40 && picture.image.width() <= 300 ? 2 : 1;
        const QSize size = picture.image.size() * zoom;
        const QString label = QStringLiteral("%1 %2 %3x%4 x5")
                                  .arg(picture.id)
                                  .arg(QString::fromUtf8(picture.role))
                                  .arg(size.width())
                                  .arg(size.height());
        const int cellWidth = std::max(size.width(), QFontMetrics(UiFont(11)).horizontalAdvance(label) + 4);
        if (x + cellWidth > width - margin) {
            x = margin;
            y += rowHeight + labelHeight + 16;
            rowHeight = 0;
        }
        placed.push_back(Placed{&picture, QRect(QPoint(x, y), size), zoom});
        x += cellWidth + 16;
        rowHeight = std::max(rowHeight, size.height());
    }
    const int height = y + rowHeight + labelHeight + margin;
    QImage sheet(width, height, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(QColor(0x20, 0x24, 0x2A));
    QPainter p(&sheet);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(QColor(0xE0, 0xE6, 0xEC));
    p.setFont(UiFont(15, true));
    p.drawText(QPointF(margin, margin + 12),
               QStringLiteral("Marlune skin — every picture and icon (×2 for small ones)"));
    for (const Placed& item : placed) {
        const int tile = 8;
        for (int ty = item.rect.top(); ty < item.rect.bottom(); ty += tile) {
            for (int tx = item.rect.left(); tx < item.rect.right(); tx += tile) {
                const bool dark = ((tx - item.rect.left()) / tile + (ty - item.rect.top()) / tile) % 2 == 0;
                p.fillRect(QRect(tx, ty, tile, tile).intersected(item.rect),
                           dark ? QColor(0x0B, 0x22, 0x3D) : QColor(0x13, 0x30, 0x52));
            }
        }
        p.drawImage(item.rect, item.picture->image);
        if (item.picture->strip) {
            p.setPen(QColor(255, 255, 255, 60));
            const int frame = item.rect.width() / LookCount;
            for (int i = 1; i < LookCount; ++i) {
                p.drawLine(item.rect.left() + frame * i,
                           item.rect.bottom() + 2,
                           item.rect.left() + frame * i,
                           item.rect.bottom() + 5);
            }
        }
        p.setPen(QColor(0xC8, 0xD2, 0xDC));
        p.setFont(UiFont(11));
        const QString label =
            QStringLiteral("%1 %2 %3×%4%5")
                .arg(item.picture->id)
                .arg(QString::fromUtf8(item.picture->role))
                .arg(item.picture->strip ? item.picture->image.width() / LookCount : item.picture->image.width())
                .arg(item.picture->image.height())
                .arg(item.picture->strip ? QStringLiteral(" ×5") : QString());
        p.drawText(QPointF(item.rect.left(), item.rect.bottom() + 16), label);
    }
    return sheet;
}

// --- A preview of the main window, the pictures at the places the views put them ---------------

const QImage& Find(const std::vector<Picture>& pictures, int id)
{
    for (const Picture& picture : pictures) {
        if (picture.id == id) {
            return picture.image;
        }
    }
    static const QImage none;
    return none;
}

// Draws frame `look` of a strip (or the whole picture) into target, keeping corners of up to six
// pixels, as the skin engine does.
void Put(QPainter& p, const QImage& image, bool strip, int look, const QRect& target)
{
    const int fw = strip ? image.width() / LookCount : image.width();
    const QRect source(strip ? fw * look : 0, 0, fw, image.height());
    if (source.size() == target.size()) {
        p.drawImage(target.topLeft(), image, source);
        return;
    }
    const int cx = std::min({6, source.width() / 3, target.width() / 2});
    const int cy = std::min({6, source.height() / 3, target.height() / 2});
    const int sx[4] = {source.left(), source.left() + cx, source.right() + 1 - cx, source.right() + 1};
    const int sy[4] = {source.top(), source.top() + cy, source.bottom() + 1 - cy, source.bottom() + 1};
    const int tx[4] = {target.left(), target.left() + cx, target.right() + 1 - cx, target.right() + 1};
    const int ty[4] = {target.top(), target.top() + cy, target.bottom() + 1 - cy, target.bottom() + 1};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const QRect from(QPoint(sx[col], sy[row]), QPoint(sx[col + 1] - 1, sy[row + 1] - 1));
            const QRect to(QPoint(tx[col], ty[row]), QPoint(tx[col + 1] - 1, ty[row + 1] - 1));
            if (!from.isEmpty() && !to.isEmpty()) {
                p.drawImage(to, image, from);
            }
        }
    }
}

void Text(QPainter& p, int x, int y, const QString& text, int height, const QColor& colour, bool bold = false)
{
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(height);
    font.setBold(bold);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(QPoint(x, y + QFontMetrics(font).ascent()), text);
}

void Button(QPainter& p,
            const std::vector<Picture>& all,
            int id,
            int look,
            QRect rect,
            const QString& text,
            int height,
            const QColor& colour,
            bool bold = false)
{
    Put(p, Find(all, id), true, look, rect);
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(height);
    font.setBold(bold);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(rect, Qt::AlignCenter, text);
}

QImage Preview(const std::vector<Picture>& all)
{
    const int w = 970;
    const int h = 630;
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.drawImage(0, 0, Find(all, 303));
    const QColor white(Qt::white);
    const QColor grey(0x9A, 0x9A, 0x9A);
    const QColor red(0xFF, 0x00, 0x00);
    // Outlines of the areas, as the main window draws them.
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour::Steel, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(144.5, 80.5, w - 459, h - 213));
    p.drawRoundedRect(QRectF(w - 306 + 0.5, 82.5, 296, h - 122), 5, 5);
    p.drawLine(QPointF(144, h - 167 + 0.5), QPointF(w - 315, h - 167 + 0.5));
    p.drawLine(QPointF(w - 306, 156.5), QPointF(w - 10, 156.5));
    p.setRenderHint(QPainter::Antialiasing, false);
    p.drawImage(QRect(145, h - 166, w - 461, 32), Find(all, 320));
    // Info screen with the default picture.
    p.fillRect(QRect(145, 81, w - 461, h - 248), colour::InfoBack);
    const QImage& none = Find(all, 301);
    p.drawImage(145 + (w - 461 - none.width()) / 2, 81 + (h - 248 - none.height()) / 2, none);
    // Search box.
    p.fillRect(QRect(w - 296, 97, 240, 22), Qt::white);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour::Steel, 1));
    p.drawRoundedRect(QRectF(w - 298 + 0.5, 95.5, 242, 24), 5, 5);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.drawImage(w - 51, 97, Find(all, 324));
    // Title bar: categories, window buttons, settings.
    const QStringList categories = {QStringLiteral("每日最新"),
                                    QStringLiteral("益智休闲"),
                                    QStringLiteral("动作射击"),
                                    QStringLiteral("棋牌桌游"),
                                    QStringLiteral("体育竞速")};
    for (int i = 0; i < categories.size(); ++i) {
        Button(p,
               all,
               315,
               i == 0 ? Selected : (i == 2 ? Hover : Normal),
               QRect(140 + 120 * i, 35, 110, 40),
               categories[i],
               15,
               white,
               true);
    }
    Put(p, Find(all, 313), true, Normal, QRect(w - 100, 0, 27, 20));
    Put(p, Find(all, 312), true, Normal, QRect(w - 73, 0, 27, 20));
    Put(p, Find(all, 311), true, Hover, QRect(w - 46, 0, 40, 20));
    Put(p, Find(all, 314), true, Normal, QRect(w - 60, 20, 42, 22));
    Text(p, w - 52, 43, QStringLiteral("设置"), 13, white);
    // Sub-categories.
    const QStringList subs = {QStringLiteral("今日推荐"),
                              QStringLiteral("本周热门"),
                              QStringLiteral("经典怀旧"),
                              QStringLiteral("双人对战")};
    for (int i = 0; i < subs.size(); ++i) {
        Button(p, all, 331, i == 0 ? Selected : Normal, QRect(25, 100 + 35 * i, 100, 30), subs[i], 15, white, true);
    }
    // Online and local tabs.
    Button(p, all, 316, Selected, QRect(w - 291, 132, 125, 24), QStringLiteral("在线游戏(24)"), 13, white);
    Button(p, all, 316, Normal, QRect(w - 151, 132, 125, 24), QStringLiteral("本地游戏(3)"), 13, white, true);
    // The list panel.
    const QRect list(w - 302, 158, 290, h - 200);
    QLinearGradient back(QPointF(0, list.top()), QPointF(0, list.bottom()));
    back.setColorAt(0, colour::ListTop);
    back.setColorAt(1, colour::ListBottom);
    p.fillRect(list, back);
    p.save();
    p.translate(list.topLeft());
    Text(p, 8, 8, QStringLiteral("共5页 共24款"), 12, white);
    Button(p, all, 333, Normal, QRect(list.width() - 65, 3, 60, 20), QStringLiteral("下载已选"), 12, white);
    const QStringList names = {QStringLiteral("超级泡泡龙"),
                               QStringLiteral("疯狂赛车手"),
                               QStringLiteral("宝石消消乐"),
                               QStringLiteral("坦克大决战之钢铁洪流"),
                               QStringLiteral("中国象棋"),
                               QStringLiteral("黄金矿工")};
    const QColor icons[] = {QColor(0xE9, 0x5A, 0x4F),
                            QColor(0x4F, 0xB3, 0x6A),
                            QColor(0x8E, 0x5B, 0xD8),
                            QColor(0x6B, 0x7F, 0x3A),
                            QColor(0xC8, 0x9A, 0x4B),
                            QColor(0xD8, 0xB8, 0x3A)};
    for (int i = 0; i < 6; ++i) {
        const int x = 146 * (i % 2) + 2;
        const int y = 125 * (i / 2) + 28;
        p.drawImage(x, y, Find(all, i == 1 ? 308 : 309));
        QLinearGradient icon(QPointF(0, y + 10), QPointF(0, y + 100));
        icon.setColorAt(0, icons[i].lighter(130));
        icon.setColorAt(1, icons[i].darker(160));
        p.fillRect(QRect(x + 10, y + 10, 120, 90), icon);
        const bool selected = i == 2;
        Put(p, Find(all, 304), true, selected ? Selected : Normal, QRect(x + 10, y + 104, 14, 14));
        QString name = names[i];
        QFont font(QStringLiteral("WenQuanYi Micro Hei"));
        font.setPixelSize(13);
        name = QFontMetrics(font).elidedText(name, Qt::ElideRight, 96);
        Text(p, x + 24, y + 103, name, 13, selected ? red : grey);
    }
    const int bottom = list.height() - 20;
    Button(p, all, 318, Normal, QRect(20, bottom, 50, 18), QStringLiteral("前页"), 12, white);
    for (int k = 0; k < 5; ++k) {
        Button(p,
               all,
               321,
               k == 0 ? Selected : Normal,
               QRect(71 + 30 * k, bottom - 2, 24, 23),
               QString::number(k + 1),
               12,
               k == 0 ? red : white);
    }
    Button(p, all, 318, Hover, QRect(list.width() - 51, bottom, 50, 18), QStringLiteral("后页"), 12, white);
    p.restore();
    // The summary card.
    const int left = 144;
    const int right = w - 315;
    const int cardBottom = h - 40;
    for (int i = 0; i < 3; ++i) {
        Button(p,
               all,
               321,
               i == 0 ? Selected : Normal,
               QRect(left + 20 + 25 * i, cardBottom - 120, 24, 23),
               QString::number(i + 1),
               12,
               i == 0 ? red : white);
    }
    Button(p, all, 318, Normal, QRect(right - 100, cardBottom - 120, 42, 23), QStringLiteral("简介"), 13, white);
    Button(p, all, 318, Normal, QRect(right - 50, cardBottom - 120, 42, 23), QStringLiteral("攻略"), 13, white);
    Text(p, left + 10, cardBottom - 74, QStringLiteral("超级泡泡龙"), 13, white, true);
    Text(p, left + 10, cardBottom - 49, QStringLiteral("Bubble Dragon Deluxe"), 13, QColor(0x80, 0x80, 0x80));
    Text(p,
         left + 10,
         cardBottom - 24,
         QStringLiteral("语言：中文 大小：12.5M 浏览量：3021"),
         13,
         QColor(0x80, 0x80, 0x80));
    // Downloading: the bar and the stop button instead of the action button.
    const QImage& bar = Find(all, 322);
    p.drawImage(QRect(right - 115, cardBottom - 44, 2, 12), bar, QRect(0, 0, 2, 14));
    p.drawImage(QRect(right - 113, cardBottom - 44, 96, 12), bar, QRect(5, 0, 1, 14));
    p.drawImage(QRect(right - 17, cardBottom - 44, 2, 12), bar, QRect(8, 0, 2, 14));
    p.drawImage(QRect(right - 112, cardBottom - 41, 62 * 94 / 100, 6), bar, QRect(3, 3, 1, 7));
    Text(p, right - 110, cardBottom - 30, QStringLiteral("62%"), 10, white);
    Put(p, Find(all, 330), true, Normal, QRect(right - 35, cardBottom - 30, 16, 16));
    Button(p,
           all,
           307,
           Normal,
           QRect(right - 115 - 110, cardBottom - 44, 100, 30),
           QStringLiteral("开始下载"),
           12,
           white);
    // Status line.
    Text(p, 10, h - 20, QStringLiteral("当前版本：2.0正式版"), 12, white);
    Text(p, 160, h - 20, QStringLiteral("联系我们"), 12, white);
    Text(p, w - 290, h - 20, QStringLiteral("1个游戏正在下载"), 12, white);
    Text(p, w - 170, h - 20, QStringLiteral("速度：35Kb/s"), 12, white);
    Text(p, w - 70, h - 20, QStringLiteral("查看详情"), 12, white);
    return image;
}

bool Write(const QImage& image, const QString& path)
{
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "skingen: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: skingen <output folder> [contact sheet .png]\n");
        return 2;
    }
    const QDir out(args[1]);
    if (!QDir().mkpath(out.filePath(QStringLiteral("png"))) || !QDir().mkpath(out.filePath(QStringLiteral("ico")))) {
        std::fprintf(stderr, "skingen: cannot create %s\n", qPrintable(args[1]));
        return 1;
    }
    const std::vector<Picture> pictures = DrawAll();
    QString qrc;
    QTextStream list(&qrc);
    list << "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/\">\n";
    for (const Picture& picture : pictures) {
        const QString name = QStringLiteral("%1/%2.png")
                                 .arg(picture.icon ? QStringLiteral("ico") : QStringLiteral("png"))
                                 .arg(picture.id);
        if (!Write(picture.image, out.filePath(name))) {
            return 1;
        }
        list << "  <file>" << name << "</file>\n";
    }
    list << "</qresource>\n</RCC>\n";
    QFile file(out.filePath(QStringLiteral("skin.qrc")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(qrc.toUtf8()) < 0) {
        std::fprintf(stderr, "skingen: cannot write skin.qrc\n");
        return 1;
    }
    file.close();
    // The desktop's launcher icon in the sizes of the hicolor theme, drawn from the window icon's art.
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("hicolor/%1x%1/apps").arg(size);
        if (!QDir().mkpath(out.filePath(folder))
            || !Write(AppIcon(-1, size), out.filePath(folder + QStringLiteral("/marlune.png")))) {
            return 1;
        }
    }
    if (args.size() >= 3 && !Write(ContactSheet(pictures), args[2])) {
        return 1;
    }
    if (args.size() >= 4 && !Write(Preview(pictures), args[3])) {
        return 1;
    }
    return 0;
}
