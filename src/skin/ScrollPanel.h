#pragma once

// A canvas of RichText items that scrolls inside a window and clips what it shows.

#include <functional>
#include <memory>

#include <QPoint>
#include <QRect>

#include "skin/RichText.h"
#include "skin/SkinObject.h"

class QPainter;
class QWidget;

namespace skin {

class EngineCore;

class ScrollPanel : public SkinObject
{
public:
    ScrollPanel();
    ~ScrollPanel() override;

    // Places the canvas, width x height, with its origin at (x, y) of parent. The items are
    // drawn and clipped to the canvas and to the parent. Attaching again moves the canvas.
    void Attach(QWidget* parent, int x, int y, int width, int height);
    // Moves the canvas origin to (x, y) of the parent (page n of width w: x = -n * w).
    // steps > 0 animates over that many frames; steps 0 or jump set moves at once.
    void ScrollTo(int x, int y, int steps = 0, int jump = 0);
    // Called each time the canvas reaches the origin a ScrollTo asked for: at once for a move
    // without animation, after the last frame of an animated one (not for one that a later
    // ScrollTo replaced). The handler may call ScrollTo.
    void SetArrivalHandler(std::function<void()> handler);
    // Adds an item made by RichText::PlaceAt. An item already on the panel moves to the new place.
    void AddItem(const ScrollItem& item);
    // Takes every item off the panel (the RichText objects stay; destroy them separately).
    void RemoveAll(int redraw = 1);
    int ItemCount() const;

    // Canvas origin in parent coordinates, as last set (the animation's target).
    QPoint Origin() const;
    // Canvas origin as shown now (moves while an animation runs).
    QPoint ShownOrigin() const;
    bool IsAnimating() const;
    // Advances a running animation by one frame; false when none runs. The panel's own timer
    // calls it; benchmarks and tests that drive frames themselves may call it directly.
    bool StepAnimation();
    // The canvas widget (a transparent child of the parent), or null before Attach.
    QWidget* Canvas() const;
    // Paints the visible items that meet area, in canvas coordinates (the canvas calls it).
    void PaintItems(QPainter& painter, const QRect& area);

private:
    friend class SkinEngine;
    friend class EngineCore;
    friend class RichText;
    struct Impl;

    void Forget(RichText* text);
    void Arrived();

    std::unique_ptr<Impl> m_impl;
};

} // namespace skin
