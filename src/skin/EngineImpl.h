#pragma once

// The inside of the skin engine, shared by its source files. Not for use outside src/skin.

#include <memory>
#include <unordered_map>
#include <vector>

#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include "skin/SkinEngine.h"

namespace skin {

// A font of the markup with its measurements.
struct FontEntry
{
    explicit FontEntry(const QFont& f);

    QFont font;
    QFontMetrics metrics;
    int ascent = 0;
    int descent = 0;
    int height = 0;
    int underlinePos = 0;
    int lineWidth = 1;
};

// Watches one window (or canvas) for the mouse and paint events the engine needs.
class WindowHook final : public QObject
{
public:
    explicit WindowHook(QWidget* window);
    ~WindowHook() override;
    WindowHook(const WindowHook&) = delete;
    WindowHook& operator=(const WindowHook&) = delete;
    WindowHook(WindowHook&&) = delete;
    WindowHook& operator=(WindowHook&&) = delete;

    bool eventFilter(QObject* watched, QEvent* event) override;

    QWidget* Window() const { return m_window; }
    void AddDrawn(RichText* text);
    void RemoveDrawn(RichText* text);
    const std::vector<RichText*>& Drawn() const { return m_drawn; }
    // Draw sequence number at the start of the last paint that covered the whole window.
    unsigned long long FullPaintSequence() const { return m_fullPaintSequence; }
    void Detach();

    WindowSkin* skin = nullptr;

private:
    bool MouseEvent(QEvent* event);
    bool ToolTipEvent(QEvent* event);

    QWidget* m_window;
    std::vector<RichText*> m_drawn;
    unsigned long long m_fullPaintSequence = 0;
    bool m_cursorSet = false;
};

// An anchor under the mouse.
struct HitResult
{
    RichText* text = nullptr;
    int anchor = -1;
    QWidget* surface = nullptr; // the window or canvas the text was drawn in

    explicit operator bool() const { return text != nullptr; }
    bool operator==(const HitResult& other) const { return text == other.text && anchor == other.anchor; }
};

class EngineCore
{
public:
    std::unordered_map<SkinObject*, std::unique_ptr<SkinObject>> objects;
    std::unordered_map<int, SkinPicture*> pictures;
    int nextPictureId = 1;
    std::vector<ScrollPanel*> panels;
    QHash<const QWidget*, WindowHook*> hooks;
    QHash<QString, std::shared_ptr<const FontEntry>> fonts;
    unsigned long long sequence = 0;
    HitResult hover;
    HitResult pressed;

    WindowHook* Hook(QWidget* window, bool create);
    std::shared_ptr<const FontEntry> Font(const QString& face, int height, bool bold);
    // The live anchor at pos of widget; a canvas defers to the window it sits on.
    HitResult HitAt(QWidget* widget, QPoint pos) const;
    // The live anchor at pos of window, looking into scroll-panel canvases on top of it first.
    HitResult HitTest(QWidget* window, QPoint pos) const;
    bool IsCanvas(const QWidget* widget) const;
    void Forget(RichText* text);
    void SetHover(const HitResult& hit);
    bool Contains(const SkinObject* object) const;
};

// The engine's inside; only valid while the engine exists.
EngineCore& Core();
// True while the engine exists (false after the application ended it).
bool EngineAlive();

} // namespace skin
