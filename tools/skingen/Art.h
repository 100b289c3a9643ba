#pragma once

// Drawing helpers of the skin generator: the palette, button faces and glyphs.

#include <functional>

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>

namespace skingen {

// Looks of a five-frame button strip, in strip order.
enum Look
{
    Normal = 0,
    Hover = 1,
    Pressed = 2,
    Selected = 3,
    Disabled = 4
};
constexpr int LookCount = 5;

// The theme's colours (RGB).
namespace colour {
inline const QColor Ink(0xFF, 0xFF, 0xFF);
inline const QColor SoftInk(0x9C, 0xC7, 0xE6);
inline const QColor Steel(0x29, 0x5D, 0x7E);  // panel outlines of the main window
inline const QColor Border(0x3A, 0x79, 0xA6); // outer window border
inline const QColor BarTop(0x10, 0x3F, 0x6E); // title and status bars
inline const QColor BarBottom(0x0A, 0x2B, 0x4F);
inline const QColor ContentTop(0x0B, 0x22, 0x3D); // content area
inline const QColor ContentBottom(0x07, 0x18, 0x2D);
inline const QColor Deep(0x06, 0x14, 0x27);
inline const QColor ListTop(0x00, 0x31, 0x5B); // list panel gradient
inline const QColor ListBottom(0x03, 0x13, 0x26);
inline const QColor Accent(0x00, 0x99, 0xC5);
inline const QColor AccentLight(0x4F, 0xD2, 0xFF);
inline const QColor Orange(0xFF, 0x9A, 0x2E);
inline const QColor InfoBack(0x12, 0x14, 0x16);
} // namespace colour

// The fill and edges of a button face.
struct Face
{
    QColor top;
    QColor bottom;
    QColor border;
    QColor highlight; // one-pixel line under the top edge
};

// Faces of the theme's button families, by look.
Face BlueFace(int look);
Face OrangeFace(int look);
Face TabFace(int look);

// A strip of five frames, each frameWidth x height, drawn by draw(painter, frame, look) with
// the painter clipped to the frame.
QImage MakeStrip(int frameWidth, int height, const std::function<void(QPainter&, const QRectF&, int)>& draw);
// A single picture drawn by draw(painter, rect).
QImage MakeImage(int width, int height, const std::function<void(QPainter&, const QRectF&)>& draw);

// A rounded face with gradient fill, a one-pixel border and a top highlight.
void DrawFace(QPainter& painter, const QRectF& rect, qreal radius, const Face& face);
// The same with only the top corners rounded and the bottom edge open (tabs).
void DrawTabFace(QPainter& painter, const QRectF& rect, qreal radius, const Face& face, bool bottomBorder);

// A font from the families the build machine has, Latin first, then Chinese.
QFont UiFont(int pixelSize, bool bold = false);

// Glyphs, drawn centred in rect with colour.
void GlyphCross(QPainter& painter, const QRectF& rect, qreal size, const QColor& colour, qreal width = 1.6);
void GlyphSquare(QPainter& painter, const QRectF& rect, qreal size, const QColor& colour);
void GlyphMinus(QPainter& painter, const QRectF& rect, qreal size, const QColor& colour);
void GlyphGear(QPainter& painter, const QRectF& rect, qreal radius, const QColor& colour);
void GlyphMagnifier(QPainter& painter, const QRectF& rect, qreal size, const QColor& colour);
void GlyphPlay(QPainter& painter, const QRectF& rect, qreal size, const QColor& colour);
void GlyphPause(QPainter& painter, const QRectF& rect, qreal size, const QColor& colour);
void GlyphCheck(QPainter& painter, const QRectF& rect, qreal size, const QColor& colour);
void GlyphFolder(QPainter& painter, const QRectF& rect);
void GlyphGamepad(QPainter& painter, const QRectF& rect, const QColor& colour);
void GlyphDownArrow(QPainter& painter, const QRectF& rect, const QColor& colour);
// The program's mark: a crescent moon over a wave, in a circle of diameter rect's smaller side.
void DrawMark(QPainter& painter, const QRectF& rect, bool withDisc);

} // namespace skingen
