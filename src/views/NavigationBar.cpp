#include "views/NavigationBar.h"

#include <QPainter>
#include <QWidget>

#include "platform/Messages.h"
#include "skin/Markup.h"
#include "store/BoxSettings.h"
#include "views/QtText.h"
#include "views/SkinTheme.h"
#include "views/UiTexts.h"

namespace views {
namespace {

constexpr int StatusStyle = 4;
constexpr int ClosePicture = 311;
constexpr int MaximisePicture = 312; // the first object of 312 maximises, the second restores
constexpr int MinimisePicture = 313;

// UiTexts entries.
constexpr int MinimiseTip = 0;
constexpr int MaximiseTip = 1;
constexpr int RestoreTip = 2;
constexpr int CloseTip = 3;
constexpr int VersionLabel = 4;
constexpr int ContactLabel = 5;
constexpr int DownloadingLabel = 6;
constexpr int SpeedLabel = 7;
constexpr int DetailsLabel = 8;

QString Hex(std::uint32_t colour)
{
    return QString::number(colour, 16);
}

} // namespace

NavigationBar::NavigationBar(platform::WindowHandle mainWindow,
                             const SkinTheme& theme,
                             const UiTexts& texts,
                             const store::BoxSettings& settings)
    : m_mainWindow(mainWindow)
    , m_theme(theme)
    , m_texts(texts)
    , m_close(skin::Make<skin::RichText>())
    , m_maximise(skin::Make<skin::RichText>())
    , m_restore(skin::Make<skin::RichText>())
    , m_minimise(skin::Make<skin::RichText>())
    , m_version(skin::Make<skin::RichText>())
    , m_contact(skin::Make<skin::RichText>())
    , m_count(skin::Make<skin::RichText>())
    , m_speed(skin::Make<skin::RichText>())
    , m_details(skin::Make<skin::RichText>())
{
    const auto button = [this](skin::RichText& text, int picture, int occurrence, int tip, int value) {
        text.Format(QStringLiteral("/a,p5=%1,linkt='%2'/")
                        .arg(m_theme.PictureId(picture, occurrence))
                        .arg(skin::EscapeMarkupText(FromUtf8(m_texts.At(tip)))));
        text.BindClick(value, this, &NavigationBar::OnWindowButton);
    };
    button(*m_close, ClosePicture, 0, CloseTip, CloseButton);
    button(*m_maximise, MaximisePicture, 0, MaximiseTip, MaximiseButton);
    button(*m_restore, MaximisePicture, 1, RestoreTip, RestoreButton);
    button(*m_minimise, MinimisePicture, 0, MinimiseTip, MinimiseButton);
    m_restore->Show(false, false);
    m_close->SetObjectName(QStringLiteral("nav.close"));
    m_maximise->SetObjectName(QStringLiteral("nav.maximise"));
    m_restore->SetObjectName(QStringLiteral("nav.restore"));
    m_minimise->SetObjectName(QStringLiteral("nav.minimise"));

    FormatStatus(*m_version, m_texts.At(VersionLabel) + "：" + settings.versionLabel);
    ShowStatus(CountStatus, "0");
    ShowStatus(SpeedStatus, "0");

    const TextStyle& style = m_theme.Style(StatusStyle);
    const auto link = [this, &style](skin::RichText& text, int label, int value) {
        text.Format(QStringLiteral("/a,c=%1,font,font_face=%2,font_height=%3,linkl=2/%4")
                        .arg(Hex(style.colour), m_theme.FontFaceText())
                        .arg(style.height)
                        .arg(skin::EscapeMarkupText(FromUtf8(m_texts.At(label)))));
        text.BindClick(value, this, &NavigationBar::OnLink);
    };
    link(*m_contact, ContactLabel, ContactLink);
    link(*m_details, DetailsLabel, DetailsLink);
    m_contact->SetObjectName(QStringLiteral("nav.contact"));
    m_details->SetObjectName(QStringLiteral("nav.details"));
    m_version->SetObjectName(QStringLiteral("nav.version"));
    m_count->SetObjectName(QStringLiteral("nav.count"));
    m_speed->SetObjectName(QStringLiteral("nav.speed"));
}

NavigationBar::~NavigationBar() = default;

void NavigationBar::FillCategories(const store::CategoryTree&)
{
    // Empty: the category buttons are built with category navigation.
}

void NavigationBar::SelectCategory(int)
{
    // Empty: the category buttons are built with category navigation.
}

void NavigationBar::SetOnlineLocal(int, bool, int)
{
    // Empty: the online/local switch is built with the online and local lists.
}

skin::RichText* NavigationBar::WindowButton(int value) const
{
    switch (value) {
    case CloseButton:
        return m_close.get();
    case MaximiseButton:
        return m_maximise.get();
    case RestoreButton:
        return m_restore.get();
    case MinimiseButton:
        return m_minimise.get();
    default:
        return nullptr;
    }
}

void NavigationBar::FormatStatus(skin::RichText& text, const std::string& content) const
{
    const TextStyle& style = m_theme.Style(StatusStyle);
    text.Format(QStringLiteral("/c=%1,font,font_face=%2,font_height=%3/%4")
                    .arg(Hex(style.colour), m_theme.FontFaceText())
                    .arg(style.height)
                    .arg(skin::EscapeMarkupText(FromUtf8(content))));
}

void NavigationBar::ShowStatus(int kind, const std::string& text)
{
    if (kind == CountStatus) {
        FormatStatus(*m_count, text + m_texts.At(DownloadingLabel));
    } else if (kind == SpeedStatus) {
        FormatStatus(*m_speed, m_texts.At(SpeedLabel) + "：" + text + "Kb/s");
    }
}

void NavigationBar::Draw(QPainter& painter, QWidget* window)
{
    const int w = window->width();
    const int h = window->height();
    m_minimise->Draw(painter, w - 100, 0, window);
    m_maximise->Draw(painter, w - 73, 0, window);
    m_restore->Draw(painter, w - 73, 0, window);
    m_close->Draw(painter, w - 46, 0, window);
    const int line = h - 20;
    m_version->Draw(painter, 10, line, window);
    m_contact->Draw(painter, 160, line, window);
    m_count->Draw(painter, w - 290, line, window);
    m_speed->Draw(painter, w - 170, line, window);
    m_details->Draw(painter, w - 70, line, window);
}

void NavigationBar::OnWindowButton(int value)
{
    switch (value) {
    case CloseButton:
    case MinimiseButton:
        break;
    case MaximiseButton:
        m_restore->Show(true);
        m_maximise->Show(false);
        break;
    case RestoreButton:
        m_restore->Show(false);
        m_maximise->Show(true);
        break;
    default:
        return;
    }
    platform::PostMessageTo(m_mainWindow, platform::msg::WindowButton, platform::PackWords(value, 0), 0);
}

void NavigationBar::OnLink(int value)
{
    platform::PostMessageTo(m_mainWindow, platform::msg::LinkClicked, platform::PackWords(value, 0), 0);
}

} // namespace views
