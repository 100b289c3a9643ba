#include "Art.h"

#include <cmath>
#include <numbers>

#include <QLinearGradient>
#include <QRadialGradient>

namespace skingen {
namespace {

QColor Alpha(const QColor& colour, int alpha)
{
    QColor c = colour;
    c.setAlpha(alpha);
    return c;
}

} // namespace

Face BlueFace(int look)
{
    switch (look) {
    case Hover:
        return {QColor(0x3E, 0x8E, 0xC8), QColor(0x1F, 0x5F, 0x94), QColor(0x7C, 0xC6, 0xF0), Alpha(Qt::white, 110)};
    case Pressed:
        return {QColor(0x14, 0x3B, 0x61), QColor(0x1E, 0x52, 0x7E), QColor(0x2E, 0x68, 0x90), Alpha(Qt::black, 60)};
    case Selected:
        return {QColor(0x1C, 0xB2, 0xE4), QColor(0x0A, 0x74, 0xA4), QColor(0x8F, 0xE2, 0xFB), Alpha(Qt::white, 130)};
    case Disabled:
        return {QColor(0x45, 0x51, 0x5D), QColor(0x32, 0x3B, 0x45), QColor(0x56, 0x62, 0x6E), Alpha(Qt::white, 30)};
    default:
        return {QColor(0x2E, 0x72, 0xA5), QColor(0x17, 0x49, 0x76), QColor(0x4E, 0x95, 0xC6), Alpha(Qt::white, 80)};
    }
}

Face OrangeFace(int look)
{
    switch (look) {
    case Hover:
    case Selected:
        return {QColor(0xFF, 0xBC, 0x62), QColor(0xF2, 0x7C, 0x1F), QColor(0xFF, 0xDA, 0xA8), Alpha(Qt::white, 130)};
    case Pressed:
        return {QColor(0xCF, 0x5E, 0x0E), QColor(0xE8, 0x86, 0x33), QColor(0xC4, 0x63, 0x1B), Alpha(Qt::black, 50)};
    case Disabled:
        return {QColor(0x59, 0x5F, 0x66), QColor(0x43, 0x48, 0x4E), QColor(0x6A, 0x70, 0x76), Alpha(Qt::white, 30)};
    default:
        return {QColor(0xFF, 0xA6, 0x3C), QColor(0xE2, 0x64, 0x0E), QColor(0xFF, 0xC2, 0x7C), Alpha(Qt::white, 100)};
    }
}

Face TabFace(int look)
{
    switch (look) {
    case Hover:
        return {QColor(0x1F, 0x5A, 0x8E), QColor(0x15, 0x44, 0x70), QColor(0x4E, 0x95, 0xC6), Alpha(Qt::white, 70)};
    case Pressed:
        return {QColor(0x0C, 0x2C, 0x4D), QColor(0x10, 0x36, 0x5C), QColor(0x2E, 0x68, 0x90), Alpha(Qt::black, 40)};
    case Selected:
        return {QColor(0x14, 0x4E, 0x7E),
                colour::ContentTop,
                QColor(0x4F, 0xC3, 0xF0),
                Alpha(colour::AccentLight, 255)};
    case Disabled:
        return {QColor(0x2C, 0x36, 0x40), QColor(0x24, 0x2C, 0x34), QColor(0x3C, 0x46, 0x50), Alpha(Qt::white, 20)};
    default:
        return {QColor(0x15, 0x47, 0x76), QColor(0x0E, 0x35, 0x5C), QColor(0x2B, 0x64, 0x94), Alpha(Qt::white, 50)};
    }
}

QImage MakeStrip(int frameWidth, int height, const std::function<void(QPainter&, const QRectF&, int)>& draw)
{
    QImage image(frameWidth * LookCount, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    for (int look = 0; look < LookCount; ++look) {
        painter.save();
        painter.translate(frameWidth * look, 0);
        painter.setClipRect(QRect(0, 0, frameWidth, height));
        draw(painter, QRectF(0, 0, frameWidth, height), look);
        painter.restore();
    }
    return image;
}

QImage MakeImage(int width, int height, const std::function<void(QPainter&, const QRectF&)>& draw)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    draw(painter, QRectF(0, 0, width, height));
    return image;
}

void DrawFace(QPainter& painter, const QRectF& rect, qreal radius, const Face& face)
{
    const QRectF r = rect.adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    fill.setColorAt(0, face.top);
    fill.setColorAt(1, face.bottom);
    painter.setPen(QPen(face.border, 1));
    painter.setBrush(fill);
    painter.drawRoundedRect(r, radius, radius);
    if (face.highlight.alpha() > 0) {
        painter.setPen(QPen(face.highlight, 1));
        const qreal inset = std::max<qreal>(radius, 2);
        painter.drawLine(QPointF(r.left() + inset, r.top() + 1), QPointF(r.right() - inset, r.top() + 1));
    }
}

void DrawTabFace(QPainter& painter, const QRectF& rect, qreal radius, const Face& face, bool bottomBorder)
{
    const QRectF r = rect.adjusted(0.5, 0.5, -0.5, bottomBorder ? -0.5 : 1);
    QPainterPath path;
    path.moveTo(r.left(), r.bottom());
    path.lineTo(r.left(), r.top() + radius);
    path.arcTo(QRectF(r.left(), r.top(), 2 * radius, 2 * radius), 180, -90);
    path.lineTo(r.right() - radius, r.top());
    path.arcTo(QRectF(r.right() - 2 * radius, r.top(), 2 * radius, 2 * radius), 90, -90);
    path.lineTo(r.right(), r.bottom());
    if (bottomBorder) {
        path.closeSubpath();
    }
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    fill.setColorAt(0, face.top);
    fill.setColorAt(1, face.bottom);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawPath(path);
    painter.setPen(QPen(face.border, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    if (face.highlight.alpha() > 0) {
        painter.setPen(QPen(face.highlight, 1));
        painter.drawLine(QPointF(r.left() + radius, r.top() + 1), QPointF(r.right() - radius, r.top() + 1));
    }
}

QFont UiFont(int pixelSize, bool bold)
{
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei")});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferAntialias);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

void GlyphCross(QPainter& painter, const QRectF& rect, qreal size, const QColor& colour, qreal width)
{
    const QPointF c = rect.center();
    const qreal h = size / 2;
    painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(c + QPointF(-h, -h), c + QPointF(h, h));
    painter.drawLine(c + QPointF(-h, h), c + QPointF(h, -h));
}

void GlyphSquare(QPainter& painter, const QRectF& rect, qreal size, const QColor& colour)
{
    const QPointF c = rect.center();
    const QRectF box(std::round(c.x() - size / 2) + 0.5, std::round(c.y() - size / 2) + 0.5, size, size);
    painter.setPen(QPen(colour, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(box);
    painter.drawLine(QPointF(box.left(), box.top() + 1), QPointF(box.right(), box.top() + 1));
}

void GlyphMinus(QPainter& painter, const QRectF& rect, qreal size, const QColor& colour)
{
    const QPointF c = rect.center();
    painter.fillRect(QRectF(std::round(c.x() - size / 2), std::round(c.y() + size / 2 - 2), size, 2), colour);
}

void GlyphGear(QPainter& painter, const QRectF& rect, qreal radius, const QColor& colour)
{
    const QPointF c = rect.center();
    QPainterPath gear;
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const qreal angle = i * std::numbers::pi / teeth;
        const qreal r = (i % 2 == 0) ? radius : radius * 0.74;
        const qreal a0 = angle - std::numbers::pi / (teeth * 2) * 0.8;
        const qreal a1 = angle + std::numbers::pi / (teeth * 2) * 0.8;
        const QPointF p0 = c + QPointF(std::cos(a0) * r, std::sin(a0) * r);
        const QPointF p1 = c + QPointF(std::cos(a1) * r, std::sin(a1) * r);
        if (i == 0) {
            gear.moveTo(p0);
        } else {
            gear.lineTo(p0);
        }
        gear.lineTo(p1);
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(c, radius * 0.36, radius * 0.36);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPath(gear.subtracted(hole));
}

void GlyphMagnifier(QPainter& painter, const QRectF& rect, qreal size, const QColor& colour)
{
    const QPointF c = rect.center() + QPointF(-size * 0.12, -size * 0.12);
    const qreal r = size * 0.32;
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(colour, 2));
    painter.drawEllipse(c, r, r);
    painter.setPen(QPen(colour, 2.6, Qt::SolidLine, Qt::RoundCap));
    const QPointF from = c + QPointF(r * 0.72, r * 0.72);
    painter.drawLine(from, from + QPointF(size * 0.26, size * 0.26));
}

void GlyphPlay(QPainter& painter, const QRectF& rect, qreal size, const QColor& colour)
{
    const QPointF c = rect.center() + QPointF(size * 0.08, 0);
    QPainterPath path;
    path.moveTo(c + QPointF(-size * 0.4, -size * 0.5));
    path.lineTo(c + QPointF(size * 0.5, 0));
    path.lineTo(c + QPointF(-size * 0.4, size * 0.5));
    path.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPath(path);
}

void GlyphPause(QPainter& painter, const QRectF& rect, qreal size, const QColor& colour)
{
    const QPointF c = rect.center();
    const qreal w = std::max<qreal>(2, std::round(size * 0.28));
    const qreal gap = std::max<qreal>(2, std::round(size * 0.22));
    const qreal top = std::round(c.y() - size / 2);
    painter.fillRect(QRectF(std::round(c.x() - gap / 2 - w), top, w, size), colour);
    painter.fillRect(QRectF(std::round(c.x() + gap / 2), top, w, size), colour);
}

void GlyphCheck(QPainter& painter, const QRectF& rect, qreal size, const QColor& colour)
{
    const QPointF c = rect.center();
    QPainterPath path;
    path.moveTo(c + QPointF(-size * 0.42, 0));
    path.lineTo(c + QPointF(-size * 0.12, size * 0.32));
    path.lineTo(c + QPointF(size * 0.45, -size * 0.36));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(colour, 1.9, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(path);
}

void GlyphFolder(QPainter& painter, const QRectF& rect)
{
    const QRectF r = rect.adjusted(0.5, 1.5, -0.5, -0.5);
    QPainterPath back;
    back.moveTo(r.left(), r.bottom());
    back.lineTo(r.left(), r.top() + 1);
    back.lineTo(r.left() + r.width() * 0.38, r.top() + 1);
    back.lineTo(r.left() + r.width() * 0.48, r.top() + 3);
    back.lineTo(r.right(), r.top() + 3);
    back.lineTo(r.right(), r.bottom());
    back.closeSubpath();
    painter.setPen(QPen(QColor(0xB8, 0x7A, 0x12), 1));
    painter.setBrush(QColor(0xE8, 0xA8, 0x2E));
    painter.drawPath(back);
    QLinearGradient front(r.topLeft(), r.bottomLeft());
    front.setColorAt(0, QColor(0xFF, 0xE0, 0x8A));
    front.setColorAt(1, QColor(0xF5, 0xB8, 0x3C));
    painter.setBrush(front);
    painter.drawRect(QRectF(r.left(), r.top() + 5, r.width(), r.height() - 5));
}

void GlyphGamepad(QPainter& painter, const QRectF& rect, const QColor& colour)
{
    const QRectF body = rect;
    QPainterPath pad;
    pad.addRoundedRect(body, body.height() * 0.45, body.height() * 0.45);
    const qreal u = body.height() / 10;
    QPainterPath holes;
    const QPointF cross = QPointF(body.left() + body.width() * 0.27, body.center().y());
    holes.addRect(QRectF(cross.x() - 3 * u, cross.y() - u, 6 * u, 2 * u));
    holes.addRect(QRectF(cross.x() - u, cross.y() - 3 * u, 2 * u, 6 * u));
    const QPointF buttons = QPointF(body.left() + body.width() * 0.73, body.center().y());
    holes.addEllipse(buttons + QPointF(2 * u, 0), 1.2 * u, 1.2 * u);
    holes.addEllipse(buttons + QPointF(-2 * u, 0), 1.2 * u, 1.2 * u);
    holes.addEllipse(buttons + QPointF(0, 2 * u), 1.2 * u, 1.2 * u);
    holes.addEllipse(buttons + QPointF(0, -2 * u), 1.2 * u, 1.2 * u);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPath(pad.subtracted(holes));
}

void GlyphDownArrow(QPainter& painter, const QRectF& rect, const QColor& colour)
{
    const qreal w = rect.width();
    const qreal h = rect.height();
    QPainterPath arrow;
    arrow.moveTo(rect.left() + w * 0.32, rect.top());
    arrow.lineTo(rect.left() + w * 0.68, rect.top());
    arrow.lineTo(rect.left() + w * 0.68, rect.top() + h * 0.5);
    arrow.lineTo(rect.right(), rect.top() + h * 0.5);
    arrow.lineTo(rect.center().x(), rect.bottom());
    arrow.lineTo(rect.left(), rect.top() + h * 0.5);
    arrow.lineTo(rect.left() + w * 0.32, rect.top() + h * 0.5);
    arrow.closeSubpath();
    painter.setPen(QPen(QColor(0x5A, 0x2A, 0x00), std::max<qreal>(1, w / 14)));
    painter.setBrush(colour);
    painter.drawPath(arrow);
}

void DrawMark(QPainter& painter, const QRectF& rect, bool withDisc)
{
    const qreal d = std::min(rect.width(), rect.height());
    const QRectF square(rect.center().x() - d / 2, rect.center().y() - d / 2, d, d);
    const QPointF c = square.center();
    if (withDisc) {
        QRadialGradient disc(c + QPointF(-d * 0.15, -d * 0.2), d * 0.7);
        disc.setColorAt(0, QColor(0x2A, 0x86, 0xC4));
        disc.setColorAt(1, QColor(0x0A, 0x33, 0x62));
        painter.setPen(QPen(QColor(0x7F, 0xD3, 0xF7), std::max<qreal>(1, d / 32)));
        painter.setBrush(disc);
        painter.drawEllipse(square.adjusted(d * 0.02, d * 0.02, -d * 0.02, -d * 0.02));
    }
    // The crescent: a disc with a smaller disc cut out of its upper right.
    QPainterPath moon;
    moon.addEllipse(c + QPointF(-d * 0.06, -d * 0.08), d * 0.27, d * 0.27);
    QPainterPath bite;
    bite.addEllipse(c + QPointF(d * 0.07, -d * 0.17), d * 0.23, d * 0.23);
    QLinearGradient moonFill(square.topLeft(), square.bottomRight());
    moonFill.setColorAt(0, QColor(0xFF, 0xF1, 0xB8));
    moonFill.setColorAt(1, QColor(0xFF, 0xC2, 0x4A));
    painter.setPen(Qt::NoPen);
    painter.setBrush(moonFill);
    // Keep the crescent inside the disc, above the wave.
    QPainterPath clip;
    clip.addEllipse(square.adjusted(d * 0.05, d * 0.05, -d * 0.05, -d * 0.05));
    painter.drawPath(moon.subtracted(bite).intersected(clip));
    // The wave across the lower part.
    QPainterPath wave;
    const qreal y = c.y() + d * 0.2;
    wave.moveTo(square.left(), y);
    for (int i = 0; i <= 24; ++i) {
        const qreal x = square.left() + d * i / 24.0;
        wave.lineTo(x, y + std::sin(i / 24.0 * 2 * std::numbers::pi * 1.5) * d * 0.045);
    }
    wave.lineTo(square.right(), square.bottom());
    wave.lineTo(square.left(), square.bottom());
    wave.closeSubpath();
    QLinearGradient sea(QPointF(0, y - d * 0.05), QPointF(0, square.bottom()));
    sea.setColorAt(0, QColor(0x4F, 0xD2, 0xFF));
    sea.setColorAt(1, QColor(0x00, 0x72, 0xA8));
    painter.setBrush(sea);
    painter.drawPath(wave.intersected(clip));
}

} // namespace skingen
