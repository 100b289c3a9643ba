#pragma once

// A block of rich text in the skin's markup: formatted, drawn, and clickable where it was drawn.

#include <functional>
#include <memory>
#include <type_traits>

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include "skin/SkinObject.h"

class QPainter;
class QWidget;

namespace skin {

class EngineCore;

class RichText;
class ScrollPanel;
class SkinEngine;
class WindowHook;

// Where a RichText sits on a ScrollPanel's canvas; made by RichText::PlaceAt.
struct ScrollItem
{
    RichText* text = nullptr;
    QPoint pos;
};

class RichText : public SkinObject
{
public:
    using ClickHandler = std::function<void(int value)>;

    // SetState values. Any other value releases a held look, as -1 and 1 do.
    static constexpr int StateNormal = -1;
    static constexpr int StatePressed = 2;  // holds the pressed look
    static constexpr int StateSelected = 3; // holds the selected (current, checked) look
    static constexpr int StateDisabled = 4; // disabled look; the anchors do not react

    // The look an anchor is drawn with.
    enum class Look
    {
        Normal,
        Hover,
        Pressed,
        Selected,
        Disabled
    };

    RichText();
    ~RichText() override;

    // Remembers the canvas position for a ScrollPanel; pass the result to ScrollPanel::AddItem.
    ScrollItem PlaceAt(int x, int y);
    // A click on any anchor (key "a") calls handler(value). Replaces an earlier binding.
    void BindClick(int value, ClickHandler handler);
    template <typename Owner>
    void BindClick(int value, Owner* owner, void (Owner::*handler)(int))
    {
        BindClick(value, [owner, handler](int v) { (owner->*handler)(v); });
    }

    // Replaces the content with markup; schedules a repaint where the object was last drawn.
    void Format(const QString& content);
    // printf-style: Format("/c=%x/%s", colour, utf8Text). "%s" takes UTF-8; pass numbers and
    // C strings only.
    template <typename... Args>
    void Format(const char* format, Args... args)
    {
        static_assert(((std::is_arithmetic_v<Args> || std::is_pointer_v<Args>)&&...),
                      "Format takes numbers and C strings; use Format(QString) for QString content");
        FormatPrintf(format, args...);
    }

    // Paints at (x, y). With a window, the anchors become live in it: hover and pressed looks,
    // the pointing-hand cursor, tooltips and clicks, at the place of this last Draw.
    void Draw(QPainter& painter, int x, int y, QWidget* window = nullptr);
    // Hidden objects draw nothing and do not react. Schedules a repaint when redraw is set.
    void Show(bool visible, bool redraw = true);
    // StateSelected holds the selected look of p5 pictures (and the pressed look of p3);
    // StateNormal (or -1, 0, 1) releases it. Schedules a repaint.
    void SetState(int state);

    const QString& Content() const;
    bool IsVisible() const;
    int State() const;
    int BoundValue() const;
    bool HasClickHandler() const;

    // Size of the laid-out content.
    QSize Size() const;
    int AnchorCount() const;
    int LineCount() const;
    // The texts as laid out, lines joined by '\n' (button texts included, pictures left out).
    QString LaidOutText() const;
    QString AnchorTooltip(int anchor) const;
    Look AnchorLook(int anchor) const;
    // Rectangle of an anchor relative to the object's origin; empty when there is no such anchor.
    QRect AnchorBounds(int anchor) const;

    // Where the object was last drawn, in LastWindow() coordinates; empty when never drawn with
    // a window, or hidden.
    QRect LastRect() const;
    QRect LastAnchorRect(int anchor = 0) const;
    QWidget* LastWindow() const;

    ScrollPanel* Panel() const;
    QPoint PanelPos() const;

private:
    friend class SkinEngine;
    friend class EngineCore;
    friend class ScrollPanel;
    friend class WindowHook;
    struct Impl;

    void FormatPrintf(const char* format, ...);
    void ScheduleRepaint(const QRect& previous);
    // Engine side: interaction state.
    int AnchorAt(QPoint windowPos) const;
    bool IsLive() const;
    void SetHover(int anchor);
    void SetPressed(int anchor);
    void ForgetWindow();
    void SetPanel(ScrollPanel* panel, QPoint pos);
    unsigned long long DrawSequence() const;
    const ClickHandler& Handler() const;

    std::unique_ptr<Impl> m_impl;
};

} // namespace skin
