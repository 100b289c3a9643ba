#include "views/InfoScreen.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include "views/PictureFile.h"
#include "views/QtText.h"
#include "views/SkinMarkup.h"
#include "views/SkinTheme.h"

namespace views {
namespace {

constexpr int TextStyleNumber = 8;
constexpr QRgb Background = 0xFF121416;
constexpr int TextMargin = 10;

} // namespace

QString InfoText(const std::string& text, int limit)
{
    QString shown = FromUtf8(text);
    qsizetype start = 0;
    while (start < shown.size() && (shown[start] == u'\n' || shown[start] == u'\r')) {
        ++start;
    }
    shown.remove(0, start);
    // Count characters, not UTF-16 units: a character outside the basic plane is never split.
    qsizetype units = 0;
    int characters = 0;
    while (units < shown.size() && characters < limit) {
        units += shown[units].isHighSurrogate() && units + 1 < shown.size() ? 2 : 1;
        ++characters;
    }
    if (units < shown.size()) {
        shown.truncate(units);
        shown += QStringLiteral("...");
    }
    return shown;
}

InfoScreen::InfoScreen(const SkinTheme& theme, std::string programDir, QWidget* parent)
    : QWidget(parent)
    , m_theme(theme)
    , m_programDir(std::move(programDir))
    , m_richText(skin::Make<skin::RichText>())
{
    setObjectName(QStringLiteral("InfoScreen"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    m_richText->SetObjectName(QStringLiteral("info.text"));
    Prepare();
}

InfoScreen::~InfoScreen() = default;

void InfoScreen::Show(int mode, const std::string& text)
{
    m_mode = mode == TextMode ? TextMode : PictureMode;
    m_text = text;
    Prepare();
    update();
}

void InfoScreen::Prepare()
{
    if (m_mode == TextMode) {
        m_picture = QImage();
        const TextStyle& style = m_theme.Style(TextStyleNumber);
        const QString face = m_theme.FontFaceText();
        m_richText->Format(QStringLiteral("/global,c=%1,font,font_face=%2,font_height=%3//c=%1,font,font_face=%2,"
                                          "font_height=%3,line_width=%4,line_space=5/%5")
                               .arg(Hex(style.colour), face)
                               .arg(style.height)
                               .arg(std::max(1, width() - 2 * TextMargin))
                               .arg(skin::EscapeMarkupText(InfoText(m_text))));
        m_richText->Show(true, false);
        return;
    }
    m_richText->Show(false, false);
    const QSize area = size();
    m_picture = ReadPicture(GamePictureFile(m_programDir, m_text), area);
    m_default = m_picture.isNull();
    if (m_default) {
        const QImage& fallback = m_theme.DefaultPicture();
        const QSize fitted = FittedSize(fallback.size(), area);
        m_picture = fitted == fallback.size()
                        ? fallback
                        : fallback.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    } else if (const QSize fitted = FittedSize(m_picture.size(), area); fitted != m_picture.size()) {
        // A decoder that ignores the scaled size leaves the rest to us.
        m_picture = m_picture.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
}

QPoint InfoScreen::PictureOrigin() const
{
    return QPoint((width() - m_picture.width()) / 2, (height() - m_picture.height()) / 2);
}

void InfoScreen::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), QColor::fromRgba(Background));
    if (m_mode == TextMode) {
        m_richText->Draw(painter, TextMargin, TextMargin, this);
    } else if (!m_picture.isNull()) {
        painter.drawImage(PictureOrigin(), m_picture);
    }
}

void InfoScreen::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Prepare();
    update();
}

void InfoScreen::mousePressEvent(QMouseEvent* event)
{
    // A window of its own: a press here does not move the main window.
    event->accept();
}

} // namespace views
