#pragma once

// Shared by the views tests: the loaded theme and texts, and clicks at drawn anchors.

#include <QCoreApplication>
#include <QTest>
#include <QWidget>

#include "skin/SkinEngine.h"
#include "views/Fonts.h"
#include "views/SkinTheme.h"
#include "views/UiTexts.h"

namespace views_test {

// The theme from the build's skin.rcc, loaded once and freed when the application ends (before
// the skin engine, which frees its pictures).
inline const views::SkinTheme& Theme()
{
    static views::SkinTheme* theme = nullptr;
    if (theme == nullptr) {
        views::InstallFontSubstitutes();
        theme = new views::SkinTheme();
        if (!theme->Load(QStringLiteral(MARLUNE_SKIN_RCC))) {
            qFatal("cannot load %s", MARLUNE_SKIN_RCC);
        }
        qAddPostRoutine([] {
            delete theme;
            theme = nullptr;
        });
    }
    return *theme;
}

inline const views::UiTexts& Texts()
{
    static const views::UiTexts texts;
    return texts;
}

// Paints window now, once it is on screen.
inline void Paint(QWidget* window)
{
    if (!QTest::qWaitForWindowExposed(window)) {
        qWarning("window not exposed");
    }
    window->repaint();
}

// Clicks the centre of an anchor where it was last drawn.
inline void ClickAnchor(QWidget* window, const skin::RichText* text, int anchor = 0)
{
    const QRect rect = skin::SkinEngine::Instance().AnchorRect(text, window, anchor);
    QTest::mouseClick(window, Qt::LeftButton, {}, rect.center());
}

} // namespace views_test
