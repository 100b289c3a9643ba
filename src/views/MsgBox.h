#pragma once

// The program's own message box in the skin's colours: caption, a wrapped text, one or two
// buttons and a close button. Modal; answers 1 (OK) or 2 (Cancel).

#include <QImage>
#include <QString>
#include <QWidget>

#include "skin/SkinEngine.h"

namespace views {

class SkinTheme;
class UiTexts;

class MsgBox : public QWidget
{
public:
    static constexpr int Width = 150;
    static constexpr int Height = 100;

    // kind 0: one button ("确定"); any other kind: two ("确定" and "退出"). With a null owner the
    // active window owns the box.
    MsgBox(const QString& caption,
           const QString& text,
           int kind,
           const SkinTheme& theme,
           const UiTexts& texts,
           QWidget* owner = nullptr);
    ~MsgBox() override;
    MsgBox(const MsgBox&) = delete;
    MsgBox& operator=(const MsgBox&) = delete;
    MsgBox(MsgBox&&) = delete;
    MsgBox& operator=(MsgBox&&) = delete;

    // Runs the box modally through ModalRunner: 1 for "确定", 2 for "退出" and the close button.
    int Run();
    // Builds, runs and discards a box.
    static int Ask(const QString& caption,
                   const QString& text,
                   int kind,
                   const SkinTheme& theme,
                   const UiTexts& texts,
                   QWidget* owner = nullptr);

    int Kind() const { return m_kind; }
    skin::RichText* FirstButton() const { return m_first.get(); }
    skin::RichText* SecondButton() const { return m_second.get(); }
    skin::RichText* CloseButton() const { return m_close.get(); }
    skin::RichText* TextObject() const { return m_text.get(); }
    skin::RichText* CaptionObject() const { return m_captionObject.get(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnClick(int value);
    void DrawBackground();

    skin::Owned<skin::RichText> m_close;
    skin::Owned<skin::RichText> m_first;
    skin::Owned<skin::RichText> m_second;
    skin::Owned<skin::RichText> m_text;
    skin::Owned<skin::RichText> m_captionObject;
    QString m_caption;
    QString m_message;
    int m_kind;
    QImage m_background;
};

} // namespace views
