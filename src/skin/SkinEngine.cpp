#include "skin/SkinEngine.h"

#include <QCoreApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>

#include "skin/EngineImpl.h"

namespace skin {
namespace {

SkinEngine* g_engine = nullptr;

} // namespace

// ---------------------------------------------------------------------------------------------
// FontEntry

FontEntry::FontEntry(const QFont& f)
    : font(f)
    , metrics(f)
{
    ascent = metrics.ascent();
    descent = metrics.descent();
    height = metrics.height();
    underlinePos = metrics.underlinePos();
    lineWidth = std::max(1, metrics.lineWidth());
}

// ---------------------------------------------------------------------------------------------
// EngineCore

EngineCore& Core()
{
    return *SkinEngine::Instance().m_core;
}

bool EngineAlive()
{
    return g_engine != nullptr;
}

WindowHook* EngineCore::Hook(QWidget* window, bool create)
{
    if (WindowHook* hook = hooks.value(window, nullptr)) {
        return hook;
    }
    if (!create || window == nullptr) {
        return nullptr;
    }
    auto* hook = new WindowHook(window);
    hooks.insert(window, hook);
    return hook;
}

std::shared_ptr<const FontEntry> EngineCore::Font(const QString& face, int height, bool bold)
{
    QString key = face;
    key += QChar(0x1F);
    key += QString::number(height);
    key += bold ? u'b' : u'n';
    if (auto found = fonts.constFind(key); found != fonts.constEnd()) {
        return found.value();
    }
    QFont font(face);
    font.setPixelSize(height);
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferAntialias);
    auto entry = std::make_shared<const FontEntry>(font);
    fonts.insert(key, entry);
    return entry;
}

HitResult EngineCore::HitTest(QWidget* window, QPoint pos) const
{
    if (window == nullptr) {
        return {};
    }
    // Canvases are child widgets, painted after (on top of) their parent.
    for (auto it = panels.rbegin(); it != panels.rend(); ++it) {
        QWidget* canvas = (*it)->Canvas();
        if (canvas == nullptr || canvas->parentWidget() != window || !canvas->isVisible()) {
            continue;
        }
        if (!canvas->geometry().contains(pos) || !window->rect().contains(pos)) {
            continue;
        }
        if (HitResult hit = HitTest(canvas, pos - canvas->pos())) {
            return hit;
        }
    }
    WindowHook* hook = hooks.value(window, nullptr);
    if (hook == nullptr) {
        return {};
    }
    HitResult best;
    unsigned long long bestSequence = 0;
    for (RichText* text : hook->Drawn()) {
        const int anchor = text->AnchorAt(pos);
        if (anchor < 0) {
            continue;
        }
        const unsigned long long sequence = text->DrawSequence();
        if (!best || sequence > bestSequence) {
            best = HitResult{text, anchor, window};
            bestSequence = sequence;
        }
    }
    return best;
}

bool EngineCore::IsCanvas(const QWidget* widget) const
{
    for (ScrollPanel* panel : panels) {
        if (panel->Canvas() == widget) {
            return true;
        }
    }
    return false;
}

HitResult EngineCore::HitAt(QWidget* widget, QPoint pos) const
{
    // A canvas is transparent where it shows nothing: resolve from the window it sits on, so
    // that a press and its release agree wherever Qt delivers them.
    while (widget != nullptr && widget->parentWidget() != nullptr && IsCanvas(widget)) {
        pos += widget->pos();
        widget = widget->parentWidget();
    }
    return HitTest(widget, pos);
}

void EngineCore::Forget(RichText* text)
{
    if (hover.text == text) {
        hover = {};
    }
    if (pressed.text == text) {
        pressed = {};
    }
}

void EngineCore::SetHover(const HitResult& hit)
{
    if (hover == hit) {
        hover.surface = hit.surface;
        return;
    }
    if (hover.text != nullptr) {
        hover.text->SetHover(-1);
    }
    hover = hit;
    if (hover.text != nullptr) {
        hover.text->SetHover(hover.anchor);
    }
}

bool EngineCore::Contains(const SkinObject* object) const
{
    return objects.find(const_cast<SkinObject*>(object)) != objects.end();
}

// ---------------------------------------------------------------------------------------------
// WindowHook

WindowHook::WindowHook(QWidget* window)
    : QObject(window)
    , m_window(window)
{
    window->setMouseTracking(true);
    window->installEventFilter(this);
}

WindowHook::~WindowHook()
{
    Detach();
}

void WindowHook::Detach()
{
    for (RichText* text : m_drawn) {
        text->ForgetWindow();
    }
    m_drawn.clear();
    if (g_engine != nullptr) {
        EngineCore& core = Core();
        core.hooks.remove(m_window);
        if (core.hover.surface == m_window) {
            core.hover = {};
        }
        if (core.pressed.surface == m_window) {
            core.pressed = {};
        }
    }
}

void WindowHook::AddDrawn(RichText* text)
{
    m_drawn.push_back(text);
}

void WindowHook::RemoveDrawn(RichText* text)
{
    const auto found = std::find(m_drawn.begin(), m_drawn.end(), text);
    if (found != m_drawn.end()) {
        *found = m_drawn.back();
        m_drawn.pop_back();
    }
}

bool WindowHook::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_window || g_engine == nullptr) {
        return false;
    }
    switch (event->type()) {
    case QEvent::Paint: {
        const auto* paint = static_cast<QPaintEvent*>(event);
        if (QRegion(m_window->rect()).subtracted(paint->region()).isEmpty()) {
            m_fullPaintSequence = ++Core().sequence;
        }
        if (skin != nullptr) {
            QPainter painter(m_window);
            skin->PaintBackground(painter);
        }
        return false;
    }
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease:
        return MouseEvent(event);
    case QEvent::Leave: {
        EngineCore& core = Core();
        if (core.hover.surface == m_window
            || (core.hover.surface != nullptr && m_window->isAncestorOf(core.hover.surface))) {
            core.SetHover({});
        }
        if (m_cursorSet) {
            m_window->unsetCursor();
            m_cursorSet = false;
        }
        return false;
    }
    case QEvent::ToolTip:
        return ToolTipEvent(event);
    default:
        return false;
    }
}

bool WindowHook::MouseEvent(QEvent* event)
{
    auto* mouse = static_cast<QMouseEvent*>(event);
    EngineCore& core = Core();
    const QPoint pos = mouse->position().toPoint();
    const HitResult hit = core.HitAt(m_window, pos);

    if (event->type() == QEvent::MouseMove) {
        core.SetHover(hit);
        if (hit && !m_cursorSet) {
            m_window->setCursor(Qt::PointingHandCursor);
            m_cursorSet = true;
        } else if (!hit && m_cursorSet) {
            m_window->unsetCursor();
            m_cursorSet = false;
        }
        return false;
    }
    if (mouse->button() != Qt::LeftButton) {
        return false;
    }
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
        if (!hit) {
            return false;
        }
        core.SetHover(hit);
        if (core.pressed.text != nullptr) {
            core.pressed.text->SetPressed(-1);
        }
        core.pressed = hit;
        hit.text->SetPressed(hit.anchor);
        return true;
    }
    // Release: a click is a press and a release on the same anchor.
    const HitResult was = core.pressed;
    if (!was) {
        return false;
    }
    core.pressed = {};
    was.text->SetPressed(-1);
    if (!(hit == was) || !core.Contains(was.text) || !was.text->Handler()) {
        return true;
    }
    // The handler may destroy the text or run a nested event loop: copy what it needs first.
    const RichText::ClickHandler handler = was.text->Handler();
    const int value = was.text->BoundValue();
    handler(value);
    return true;
}

bool WindowHook::ToolTipEvent(QEvent* event)
{
    auto* help = static_cast<QHelpEvent*>(event);
    EngineCore& core = Core();
    const HitResult hit = core.HitAt(m_window, help->pos());
    if (!hit) {
        return false;
    }
    const QString tip = hit.text->AnchorTooltip(hit.anchor);
    if (tip.isEmpty()) {
        QToolTip::hideText();
        return true;
    }
    QRect area = hit.text->LastAnchorRect(hit.anchor);
    if (hit.surface != nullptr && hit.surface != m_window) {
        area.translate(m_window->mapFromGlobal(hit.surface->mapToGlobal(QPoint(0, 0))));
    }
    QToolTip::showText(help->globalPos(), tip, m_window, area);
    return true;
}

// ---------------------------------------------------------------------------------------------
// SkinEngine

SkinEngine& SkinEngine::Instance()
{
    if (g_engine == nullptr) {
        g_engine = new SkinEngine();
        if (QCoreApplication::instance() != nullptr) {
            qAddPostRoutine(&SkinEngine::Shutdown);
        }
    }
    return *g_engine;
}

SkinEngine::SkinEngine()
    : m_core(std::make_unique<EngineCore>())
{}

SkinEngine::~SkinEngine()
{
    // Texts and panels first (they unhook themselves), then pictures and skins, then the hooks.
    auto destroyKind = [this](auto isKind) {
        std::vector<SkinObject*> doomed;
        for (const auto& [object, owned] : m_core->objects) {
            if (isKind(object)) {
                doomed.push_back(object);
            }
        }
        for (SkinObject* object : doomed) {
            DestroyObject(object);
        }
    };
    destroyKind([](SkinObject* o) { return dynamic_cast<RichText*>(o) != nullptr; });
    destroyKind([](SkinObject* o) { return dynamic_cast<ScrollPanel*>(o) != nullptr; });
    destroyKind([](SkinObject*) { return true; });
    const auto hooks = m_core->hooks.values();
    for (WindowHook* hook : hooks) {
        delete hook;
    }
    m_core->fonts.clear();
}

void SkinEngine::Shutdown()
{
    SkinEngine* engine = g_engine;
    if (engine == nullptr) {
        return;
    }
    delete engine;
    g_engine = nullptr;
}

SkinPicture* SkinEngine::CreatePicture()
{
    const int id = m_core->nextPictureId++;
    auto picture = std::make_unique<SkinPicture>(id);
    SkinPicture* raw = picture.get();
    m_core->pictures.emplace(id, raw);
    m_core->objects.emplace(raw, std::move(picture));
    return raw;
}

WindowSkin* SkinEngine::CreateWindowSkin()
{
    auto skin = std::make_unique<WindowSkin>();
    WindowSkin* raw = skin.get();
    m_core->objects.emplace(raw, std::move(skin));
    return raw;
}

RichText* SkinEngine::CreateRichText()
{
    auto text = std::make_unique<RichText>();
    RichText* raw = text.get();
    m_core->objects.emplace(raw, std::move(text));
    return raw;
}

ScrollPanel* SkinEngine::CreateScrollPanel()
{
    auto panel = std::make_unique<ScrollPanel>();
    ScrollPanel* raw = panel.get();
    m_core->panels.push_back(raw);
    m_core->objects.emplace(raw, std::move(panel));
    return raw;
}

void SkinEngine::DestroyObject(SkinObject* object)
{
    if (object == nullptr) {
        return;
    }
    const auto found = m_core->objects.find(object);
    if (found == m_core->objects.end()) {
        return;
    }
    std::unique_ptr<SkinObject> owned = std::move(found->second);
    m_core->objects.erase(found);
    if (auto* picture = dynamic_cast<SkinPicture*>(object)) {
        m_core->pictures.erase(picture->GetId());
        picture->SetImage(QImage()); // texts that show it measure again
    } else if (auto* panel = dynamic_cast<ScrollPanel*>(object)) {
        m_core->panels.erase(std::remove(m_core->panels.begin(), m_core->panels.end(), panel), m_core->panels.end());
    } else if (auto* skin = dynamic_cast<WindowSkin*>(object)) {
        if (WindowHook* hook = m_core->Hook(skin->Window(), false); hook != nullptr && hook->skin == skin) {
            hook->skin = nullptr;
        }
    }
    owned.reset();
}

SkinPicture* SkinEngine::Picture(int id) const
{
    const auto found = m_core->pictures.find(id);
    return found == m_core->pictures.end() ? nullptr : found->second;
}

RichText* SkinEngine::FindRichText(const QString& objectName) const
{
    for (const auto& [object, owned] : m_core->objects) {
        if (object->ObjectName() == objectName) {
            if (auto* text = dynamic_cast<RichText*>(object)) {
                return text;
            }
        }
    }
    return nullptr;
}

QRect SkinEngine::AnchorRect(const RichText* text, const QWidget* relativeTo, int anchor) const
{
    if (text == nullptr || !m_core->Contains(text) || !text->IsLive()) {
        return {};
    }
    QWidget* drawnIn = text->LastWindow();
    QRect rect = text->LastAnchorRect(anchor);
    if (drawnIn == nullptr || rect.isEmpty() || !drawnIn->isVisible()) {
        return {};
    }
    // Clip to what the drawn window shows of itself inside each of its ancestors.
    rect = rect.intersected(drawnIn->rect());
    const QWidget* target = relativeTo != nullptr ? relativeTo : drawnIn->window();
    const QWidget* widget = drawnIn;
    while (widget != nullptr && widget != target && !widget->isWindow()) {
        const QWidget* parent = widget->parentWidget();
        if (parent == nullptr) {
            break;
        }
        rect = rect.translated(widget->pos()).intersected(parent->rect());
        widget = parent;
    }
    if (widget != target) {
        if (target == nullptr || widget == nullptr) {
            return {};
        }
        rect.translate(target->mapFromGlobal(widget->mapToGlobal(QPoint(0, 0))));
    }
    return rect;
}

QRect SkinEngine::AnchorRect(const QString& objectName, const QWidget* relativeTo, int anchor) const
{
    return AnchorRect(FindRichText(objectName), relativeTo, anchor);
}

int SkinEngine::ObjectCount() const
{
    return static_cast<int>(m_core->objects.size());
}

void ObjectDeleter::operator()(SkinObject* object) const
{
    if (object != nullptr && EngineAlive()) {
        SkinEngine::Instance().DestroyObject(object);
    }
}

} // namespace skin
