#include "views/MsgBox.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include "skin/Markup.h"
#include "skin/WindowMove.h"
#include "views/ModalRunner.h"
#include "views/QtText.h"
#include "views/SkinTheme.h"
#include "views/UiTexts.h"

namespace views {
namespace {

constexpr int CaptionStyle = 24;
constexpr int TextStyle_ = 25;
constexpr int ButtonStyle = 26;
constexpr int ButtonPicture = 318;
constexpr int ClosePicture = 311;
constexpr int OkText = 52;   // "确定"
constexpr int ExitText = 54; // "退出"

QString Hex(std::uint32_t colour)
{
    return QString::number(colour, 16);
}

} // namespace

MsgBox::MsgBox(const QString& caption,
               const QString& text,
               int kind,
               const SkinTheme& theme,
               const UiTexts& texts,
               QWidget* owner)
    : QWidget(owner != nullptr ? owner : QApplication::activeWindow(), Qt::Dialog | Qt::FramelessWindowHint)
    , m_close(skin::Make<skin::RichText>())
    , m_first(skin::Make<skin::RichText>())
    , m_second(skin::Make<skin::RichText>())
    , m_text(skin::Make<skin::RichText>())
    , m_captionObject(skin::Make<skin::RichText>())
    , m_caption(caption)
    , m_message(text)
    , m_kind(kind)
{
    setWindowTitle(caption);
    setObjectName(QStringLiteral("MsgBox"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    DrawBackground();
    setFixedSize(Width, Height);
    // The box keeps the owner's top-left corner; with no window to align to, it is centred.
    if (QWidget* anchor = parentWidget(); anchor != nullptr) {
        move(anchor->window()->mapToGlobal(QPoint(0, 0)));
    } else if (const QScreen* screen = QGuiApplication::primaryScreen(); screen != nullptr) {
        move(screen->availableGeometry().center() - QPoint(Width / 2, Height / 2));
    }

    const QString face = theme.FontFaceText();
    const TextStyle& captionStyle = theme.Style(CaptionStyle);
    m_captionObject->Format(QStringLiteral("/c=%1,font,font_face=%2,font_height=%3,font_bold=1,line_width=130/%4")
                                .arg(Hex(captionStyle.colour), face)
                                .arg(captionStyle.height)
                                .arg(skin::EscapeMarkupText(caption)));
    const TextStyle& textStyle = theme.Style(TextStyle_);
    m_text->Format(QStringLiteral("/c=%1,font,font_face=%2,font_height=%3,line_width=130/%4")
                       .arg(Hex(textStyle.colour), face)
                       .arg(textStyle.height)
                       .arg(skin::EscapeMarkupText(text)));
    const TextStyle& buttonStyle = theme.Style(ButtonStyle);
    const QString button = QStringLiteral("/global,c=%1,font,font,font_face=%2,font_height=%3//a,p5=%4,btn_width=50,"
                                          "btn_height=23,btn_text='%5'/")
                               .arg(Hex(buttonStyle.colour), face)
                               .arg(buttonStyle.height)
                               .arg(theme.PictureId(ButtonPicture));
    m_first->Format(button.arg(FromUtf8(texts.At(OkText))));
    m_second->Format(button.arg(FromUtf8(texts.At(ExitText))));
    m_close->Format(QStringLiteral("/a,p5=%1/").arg(theme.PictureId(ClosePicture)));

    m_first->BindClick(0, this, &MsgBox::OnClick);
    m_second->BindClick(1, this, &MsgBox::OnClick);
    m_close->BindClick(1, this, &MsgBox::OnClick);
    if (kind == 0) {
        m_second->Show(false);
    }
    m_captionObject->SetObjectName(QStringLiteral("msgbox.caption"));
    m_text->SetObjectName(QStringLiteral("msgbox.text"));
    m_first->SetObjectName(QStringLiteral("msgbox.ok"));
    m_second->SetObjectName(QStringLiteral("msgbox.exit"));
    m_close->SetObjectName(QStringLiteral("msgbox.close"));
}

MsgBox::~MsgBox() = default;

int MsgBox::Run()
{
    return ModalRunner::Instance().Run(this, m_message);
}

int MsgBox::Ask(const QString& caption,
                const QString& text,
                int kind,
                const SkinTheme& theme,
                const UiTexts& texts,
                QWidget* owner)
{
    MsgBox box(caption, text, kind, theme, texts, owner);
    return box.Run();
}

void MsgBox::DrawBackground()
{
    m_background = QImage(Width, Height, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&m_background);
    QLinearGradient top(QPointF(0, 0), QPointF(0, 20));
    top.setColorAt(0, QColor::fromRgba(0xFF003561));
    top.setColorAt(1, QColor::fromRgba(0xFF0099C5));
    painter.fillRect(QRect(0, 0, 150, 20), top);
    QLinearGradient body(QPointF(0, 20), QPointF(0, 100));
    body.setColorAt(0, QColor::fromRgba(0xFF0099C5));
    body.setColorAt(1, QColor::fromRgba(0xFF003561));
    painter.fillRect(QRect(0, 20, 150, 80), body);
    // A two-pixel pen centred on the outline: one pixel of it falls inside the box.
    painter.setPen(QPen(Qt::black, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(0, 0, 150, 100));
}

void MsgBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, m_background);
    if (m_kind != 0) {
        m_first->Draw(painter, 16, 70, this);
        m_second->Draw(painter, 83, 70, this);
    } else {
        m_first->Draw(painter, 50, 70, this);
    }
    m_captionObject->Draw(painter, 5, 5, this);
    m_text->Draw(painter, 10, 40, this);
    m_close->Draw(painter, 110, 0, this);
}

void MsgBox::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        skin::StartWindowMove(this, event);
        return;
    }
    QWidget::mousePressEvent(event);
}

void MsgBox::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        OnClick(0);
        return;
    case Qt::Key_Escape:
        OnClick(1);
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void MsgBox::OnClick(int value)
{
    ModalRunner::Instance().Done(this, value == 0 ? ModalRunner::Ok : ModalRunner::Cancel);
}

} // namespace views
