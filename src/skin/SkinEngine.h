#pragma once

// The process-wide skin engine: hands out pictures, rich texts, window skins and scroll panels,
// and makes drawn anchors live in their windows. GUI thread only.

#include <memory>
#include <type_traits>

#include <QPoint>
#include <QRect>
#include <QString>

#include "skin/RichText.h"
#include "skin/ScrollPanel.h"
#include "skin/SkinPicture.h"
#include "skin/WindowSkin.h"

class QWidget;

namespace skin {

class EngineCore;

class SkinEngine
{
public:
    // The engine; created on first use. With a QCoreApplication, every object still alive is
    // freed when the application ends.
    static SkinEngine& Instance();

    SkinEngine(const SkinEngine&) = delete;
    SkinEngine& operator=(const SkinEngine&) = delete;
    SkinEngine(SkinEngine&&) = delete;
    SkinEngine& operator=(SkinEngine&&) = delete;

    SkinPicture* CreatePicture();
    WindowSkin* CreateWindowSkin();
    RichText* CreateRichText();
    ScrollPanel* CreateScrollPanel();
    // Frees an object made by this engine; null and unknown pointers are ignored.
    void DestroyObject(SkinObject* object);

    // The picture with that id, or null.
    SkinPicture* Picture(int id) const;
    // The first rich text with that object name, or null.
    RichText* FindRichText(const QString& objectName) const;
    // Rectangle of an anchor of text where it was last drawn, mapped into relativeTo (the drawn
    // window's top-level window when null) and clipped to what is visible there. Empty when the
    // text or its window is hidden, it was never drawn with a window, it was left out of its
    // window's last full repaint, or it has no such anchor; anchor -1 gives the whole object.
    QRect AnchorRect(const RichText* text, const QWidget* relativeTo = nullptr, int anchor = 0) const;
    QRect AnchorRect(const QString& objectName, const QWidget* relativeTo = nullptr, int anchor = 0) const;
    // Number of live objects (for leak checks in tests).
    int ObjectCount() const;

private:
    friend EngineCore& Core();

    SkinEngine();
    ~SkinEngine();
    static void Shutdown();

    std::unique_ptr<EngineCore> m_core;
};

// Frees a skin object with DestroyObject; for std::unique_ptr.
struct ObjectDeleter
{
    void operator()(SkinObject* object) const;
};
template <typename T>
using Owned = std::unique_ptr<T, ObjectDeleter>;

// Makes an owned object: auto text = skin::Make<RichText>();
template <typename T>
Owned<T> Make()
{
    SkinEngine& engine = SkinEngine::Instance();
    if constexpr (std::is_same_v<T, RichText>) {
        return Owned<T>(engine.CreateRichText());
    } else if constexpr (std::is_same_v<T, SkinPicture>) {
        return Owned<T>(engine.CreatePicture());
    } else if constexpr (std::is_same_v<T, ScrollPanel>) {
        return Owned<T>(engine.CreateScrollPanel());
    } else {
        static_assert(std::is_same_v<T, WindowSkin>, "Make makes engine objects only");
        return Owned<T>(engine.CreateWindowSkin());
    }
}

} // namespace skin
