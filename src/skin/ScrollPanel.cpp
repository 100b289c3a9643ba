#include "skin/ScrollPanel.h"

#include <algorithm>
#include <vector>

#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "skin/EngineImpl.h"

namespace skin {
namespace {

constexpr int FrameMilliseconds = 15;

// The canvas: a transparent child widget that paints the panel's items. The mouse passes
// through it to the window below, whose hook finds the anchors on the canvas.
class CanvasWidget final : public QWidget
{
public:
    CanvasWidget(QWidget* parent, ScrollPanel* panel)
        : QWidget(parent)
        , m_panel(panel)
    {
        setAttribute(Qt::WA_NoSystemBackground);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setObjectName(QStringLiteral("skin_scroll_canvas"));
    }

    void Release() { m_panel = nullptr; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ScrollPanel* m_panel;
};

} // namespace

struct ScrollPanel::Impl
{
    struct Item
    {
        RichText* text = nullptr;
        QPoint pos;
    };

    QPointer<CanvasWidget> canvas;
    std::vector<Item> items;
    QPoint target;
    QPoint start;
    int steps = 0;
    int step = 0;
    QTimer timer;
    std::function<void()> arrived;
};

namespace {

void CanvasWidget::paintEvent(QPaintEvent* event)
{
    if (m_panel == nullptr) {
        return;
    }
    QPainter painter(this);
    const QRect area = event->rect();
    m_panel->PaintItems(painter, area);
}

} // namespace

ScrollPanel::ScrollPanel()
    : m_impl(std::make_unique<Impl>())
{
    m_impl->timer.setInterval(FrameMilliseconds);
    QObject::connect(&m_impl->timer, &QTimer::timeout, &m_impl->timer, [this] { StepAnimation(); });
}

ScrollPanel::~ScrollPanel()
{
    m_impl->timer.stop();
    for (const Impl::Item& item : m_impl->items) {
        item.text->SetPanel(nullptr, {});
    }
    m_impl->items.clear();
    if (CanvasWidget* canvas = m_impl->canvas.data()) {
        canvas->Release();
        delete canvas;
    }
}

void ScrollPanel::Attach(QWidget* parent, int x, int y, int width, int height)
{
    if (parent == nullptr) {
        return;
    }
    m_impl->timer.stop();
    CanvasWidget* canvas = m_impl->canvas.data();
    if (canvas == nullptr) {
        canvas = new CanvasWidget(parent, this);
        m_impl->canvas = canvas;
    } else if (canvas->parentWidget() != parent) {
        canvas->setParent(parent);
    }
    m_impl->target = QPoint(x, y);
    canvas->setGeometry(x, y, std::max(0, width), std::max(0, height));
    canvas->show();
    Core().Hook(canvas, true);
    // The window below receives the mouse for the canvas; it needs the hook too.
    Core().Hook(parent, true);
}

void ScrollPanel::ScrollTo(int x, int y, int steps, int jump)
{
    m_impl->target = QPoint(x, y);
    CanvasWidget* canvas = m_impl->canvas.data();
    if (canvas == nullptr) {
        return;
    }
    if (steps <= 0 || jump != 0 || canvas->pos() == m_impl->target) {
        m_impl->timer.stop();
        m_impl->steps = 0;
        canvas->move(m_impl->target);
        Arrived();
        return;
    }
    m_impl->start = canvas->pos();
    m_impl->steps = steps;
    m_impl->step = 0;
    m_impl->timer.start();
}

bool ScrollPanel::StepAnimation()
{
    CanvasWidget* canvas = m_impl->canvas.data();
    if (m_impl->steps <= 0 || canvas == nullptr) {
        m_impl->timer.stop();
        return false;
    }
    ++m_impl->step;
    // Ease out: quick at first, gentle on arrival.
    const double t = static_cast<double>(m_impl->step) / m_impl->steps;
    const double eased = 1.0 - (1.0 - t) * (1.0 - t) * (1.0 - t);
    const QPoint delta = m_impl->target - m_impl->start;
    const QPoint now = m_impl->start + QPoint(qRound(delta.x() * eased), qRound(delta.y() * eased));
    canvas->move(m_impl->step >= m_impl->steps ? m_impl->target : now);
    if (m_impl->step >= m_impl->steps) {
        m_impl->steps = 0;
        m_impl->timer.stop();
        Arrived();
    }
    return true;
}

void ScrollPanel::SetArrivalHandler(std::function<void()> handler)
{
    m_impl->arrived = std::move(handler);
}

void ScrollPanel::Arrived()
{
    if (m_impl->arrived) {
        // A copy: the handler may replace itself.
        const std::function<void()> handler = m_impl->arrived;
        handler();
    }
}

void ScrollPanel::AddItem(const ScrollItem& item)
{
    RichText* text = item.text;
    if (text == nullptr) {
        return;
    }
    if (ScrollPanel* other = text->Panel(); other != nullptr) {
        other->Forget(text);
    }
    text->SetPanel(this, item.pos);
    m_impl->items.push_back(Impl::Item{text, item.pos});
    if (CanvasWidget* canvas = m_impl->canvas.data()) {
        canvas->update();
    }
}

void ScrollPanel::RemoveAll(int redraw)
{
    for (const Impl::Item& item : m_impl->items) {
        item.text->SetPanel(nullptr, {});
    }
    m_impl->items.clear();
    if (redraw != 0) {
        if (CanvasWidget* canvas = m_impl->canvas.data()) {
            canvas->update();
        }
    }
}

int ScrollPanel::ItemCount() const
{
    return static_cast<int>(m_impl->items.size());
}

QPoint ScrollPanel::Origin() const
{
    return m_impl->target;
}

QPoint ScrollPanel::ShownOrigin() const
{
    const CanvasWidget* canvas = m_impl->canvas.data();
    return canvas != nullptr ? canvas->pos() : m_impl->target;
}

bool ScrollPanel::IsAnimating() const
{
    return m_impl->steps > 0;
}

QWidget* ScrollPanel::Canvas() const
{
    return m_impl->canvas.data();
}

void ScrollPanel::PaintItems(QPainter& painter, const QRect& area)
{
    QWidget* canvas = m_impl->canvas.data();
    for (const Impl::Item& item : m_impl->items) {
        RichText* text = item.text;
        if (!text->IsVisible()) {
            continue;
        }
        if (!QRect(item.pos, text->Size()).intersects(area)) {
            continue;
        }
        text->Draw(painter, item.pos.x(), item.pos.y(), canvas);
    }
}

void ScrollPanel::Forget(RichText* text)
{
    auto& items = m_impl->items;
    items.erase(
        std::remove_if(items.begin(), items.end(), [text](const Impl::Item& item) { return item.text == text; }),
        items.end());
    if (text->Panel() == this) {
        text->SetPanel(nullptr, {});
    }
}

} // namespace skin
