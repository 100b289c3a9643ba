#pragma once

// Helpers for the skin engine's tests: a window that draws rich texts, picture strips, mouse events.

#include <initializer_list>
#include <vector>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTest>
#include <QWidget>

#include "skin/SkinEngine.h"

namespace skin_test {

// A window that draws its texts where it was told, on every paint.
class DrawWindow : public QWidget
{
public:
    struct Entry
    {
        skin::RichText* text;
        QPoint pos;
    };

    explicit DrawWindow(QWidget* parent = nullptr)
        : QWidget(parent)
    {
        resize(400, 300);
    }

    void Add(skin::RichText* text, QPoint pos) { entries.push_back({text, pos}); }

    std::vector<Entry> entries;
    int paints = 0;
    QRegion painted;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        ++paints;
        painted += event->region();
        QPainter painter(this);
        painter.fillRect(rect(), QColor(10, 20, 40));
        for (const Entry& entry : entries) {
            entry.text->Draw(painter, entry.pos.x(), entry.pos.y(), this);
        }
    }
};

// A horizontal strip of solid frames, one colour each.
inline QImage Strip(int frameWidth, int height, std::initializer_list<QColor> colours)
{
    QImage image(frameWidth * static_cast<int>(colours.size()), height, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    int x = 0;
    for (const QColor& colour : colours) {
        painter.fillRect(QRect(x, 0, frameWidth, height), colour);
        x += frameWidth;
    }
    return image;
}

// The five frame colours of the test button strip: normal, hover, pressed, selected, disabled.
inline const std::vector<QColor>& FrameColours()
{
    static const std::vector<QColor> colours = {Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::gray};
    return colours;
}

inline QImage ButtonStrip(int frameWidth = 40, int height = 20)
{
    const auto& c = FrameColours();
    return Strip(frameWidth, height, {c[0], c[1], c[2], c[3], c[4]});
}

inline void Move(QWidget* widget, QPoint pos, Qt::MouseButtons buttons = Qt::NoButton)
{
    QMouseEvent event(QEvent::MouseMove,
                      QPointF(pos),
                      QPointF(widget->mapToGlobal(pos)),
                      Qt::NoButton,
                      buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

inline void Press(QWidget* widget, QPoint pos)
{
    Move(widget, pos);
    QTest::mousePress(widget, Qt::LeftButton, {}, pos);
}

inline void Release(QWidget* widget, QPoint pos)
{
    QTest::mouseRelease(widget, Qt::LeftButton, {}, pos);
}

inline void Click(QWidget* widget, QPoint pos)
{
    Move(widget, pos);
    QTest::mouseClick(widget, Qt::LeftButton, {}, pos);
}

// Shows a window and paints it once, now.
inline bool ShowAndPaint(QWidget* window)
{
    window->show();
    const bool exposed = QTest::qWaitForWindowExposed(window);
    window->repaint();
    return exposed;
}

// Engine objects made by a test, freed when it ends.
class Objects
{
public:
    Objects() = default;
    Objects(const Objects&) = delete;
    Objects& operator=(const Objects&) = delete;
    Objects(Objects&&) = delete;
    Objects& operator=(Objects&&) = delete;
    ~Objects()
    {
        for (skin::SkinObject* object : m_made) {
            skin::SkinEngine::Instance().DestroyObject(object);
        }
    }

    skin::RichText* Text(const QString& markup)
    {
        skin::RichText* text = skin::SkinEngine::Instance().CreateRichText();
        text->Format(markup);
        m_made.push_back(text);
        return text;
    }

    skin::SkinPicture* Picture(const QImage& image)
    {
        skin::SkinPicture* picture = skin::SkinEngine::Instance().CreatePicture();
        picture->SetImage(image);
        m_made.push_back(picture);
        return picture;
    }

    skin::ScrollPanel* Panel()
    {
        skin::ScrollPanel* panel = skin::SkinEngine::Instance().CreateScrollPanel();
        m_made.push_back(panel);
        return panel;
    }

    skin::WindowSkin* Skin()
    {
        skin::WindowSkin* skin = skin::SkinEngine::Instance().CreateWindowSkin();
        m_made.push_back(skin);
        return skin;
    }

private:
    std::vector<skin::SkinObject*> m_made;
};

// Paints a text alone on a transparent image.
inline QImage Render(const skin::RichText* text, QSize size = {})
{
    const QSize s = size.isValid() ? size : text->Size().expandedTo(QSize(1, 1));
    QImage image(s, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    const_cast<skin::RichText*>(text)->Draw(painter, 0, 0);
    return image;
}

} // namespace skin_test
