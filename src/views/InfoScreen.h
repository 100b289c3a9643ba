#pragma once

// The centre area of the main window: one picture of the selected game, scaled down to fit and
// centred, or a block of its text (introduction or strategy). The summary card tells it what to
// show. GUI thread only.

#include <string>

#include <QImage>
#include <QPoint>
#include <QWidget>

#include "skin/SkinEngine.h"

namespace views {

class SkinTheme;

class InfoScreen : public QWidget
{
public:
    static constexpr int PictureMode = 0;
    static constexpr int TextMode = 1;
    // Texts longer than this many characters are cut and end in "...".
    static constexpr int TextLimit = 750;

    // programDir ends in "/"; picture paths are taken relative to it.
    InfoScreen(const SkinTheme& theme, std::string programDir, QWidget* parent);
    ~InfoScreen() override;
    InfoScreen(const InfoScreen&) = delete;
    InfoScreen& operator=(const InfoScreen&) = delete;
    InfoScreen(InfoScreen&&) = delete;
    InfoScreen& operator=(InfoScreen&&) = delete;

    // Picture mode: text is a catalogue picture path ("pic\12_1.jpg"); empty, missing or broken
    // shows the default picture. Text mode: text (UTF-8) is shown wrapped, cut after TextLimit
    // characters. Repaints.
    void Show(int mode, const std::string& text);

    int Mode() const { return m_mode; }
    const std::string& Text() const { return m_text; }
    // The picture as drawn (picture mode) and where; whether it is the default picture.
    const QImage& Picture() const { return m_picture; }
    QPoint PictureOrigin() const;
    bool ShowsDefault() const { return m_default; }
    skin::RichText* TextObject() const { return m_richText.get(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void Prepare();

    const SkinTheme& m_theme;
    const std::string m_programDir;
    int m_mode = PictureMode;
    std::string m_text;
    QImage m_picture;
    bool m_default = true;
    skin::Owned<skin::RichText> m_richText;
};

// The text the info screen shows for a text: line breaks at its start removed, cut to limit
// characters with "..." after them.
QString InfoText(const std::string& text, int limit = InfoScreen::TextLimit);

} // namespace views
