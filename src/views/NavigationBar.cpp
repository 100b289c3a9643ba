#include "views/NavigationBar.h"

#include <QPainter>
#include <QWidget>

#include "browse/GameId.h"
#include "platform/Messages.h"
#include "skin/Markup.h"
#include "store/BoxSettings.h"
#include "store/CategoryTree.h"
#include "views/QtText.h"
#include "views/SkinMarkup.h"
#include "views/SkinTheme.h"
#include "views/UiTexts.h"

namespace views {
namespace {

constexpr int StatusStyle = 4;
constexpr int CategoryStyle = 1;
constexpr int TabStyle = 13;
constexpr int CategoryPicture = 315;
constexpr int TabPicture = 316;
constexpr int CategoryMargin = 4; // the theme's margin rectangle of the row: left, top; right = pitch
constexpr int CategoryWidth = 110;
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
constexpr int SearchLabel = 9;
constexpr int OnlineLabel = 11;
constexpr int LocalLabel = 12;

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

    for (int tab : {OnlineTab, LocalTab}) {
        m_tabs[tab] = skin::Make<skin::RichText>();
        m_tabs[tab]->BindClick(tab, this, &NavigationBar::OnTab);
        FormatTab(tab);
    }
    m_tabs[OnlineTab]->SetObjectName(QStringLiteral("nav.online"));
    m_tabs[LocalTab]->SetObjectName(QStringLiteral("nav.local"));
}

NavigationBar::~NavigationBar() = default;

void NavigationBar::FillCategories(const store::CategoryTree& categories)
{
    m_categories.clear();
    m_currentCategory = 0;
    for (const auto& [key, node] : categories.nodes) {
        const std::optional<int> id = browse::MessageId(key);
        if (!id) {
            continue;
        }
        Category category{node.name, skin::Make<skin::RichText>()};
        FormatCategory(category, false);
        category.button->BindClick(*id, this, &NavigationBar::SelectCategory);
        category.button->SetObjectName(QStringLiteral("nav.category.%1").arg(*id));
        m_categories.insert_or_assign(*id, std::move(category));
    }
}

void NavigationBar::FormatCategory(Category& category, bool current) const
{
    const TextStyle& style = m_theme.Style(CategoryStyle);
    category.button->Format(QStringLiteral("/global,c=%1,font,font_face=%2,font_height=%3,font_bold=1//a,p5=%4,"
                                           "btn_text='%5',btn_width=%6/")
                                .arg(Hex(current ? style.second : style.colour), m_theme.FontFaceText())
                                .arg(style.height)
                                .arg(m_theme.PictureId(CategoryPicture))
                                .arg(QuotedValue(category.name))
                                .arg(CategoryWidth));
    category.button->SetState(current ? skin::RichText::StateSelected : skin::RichText::StateNormal);
}

void NavigationBar::SelectCategory(int id)
{
    if (id == m_currentCategory) {
        return;
    }
    if (const auto old = m_categories.find(m_currentCategory); old != m_categories.end()) {
        FormatCategory(old->second, false);
    }
    if (const auto chosen = m_categories.find(id); chosen != m_categories.end()) {
        FormatCategory(chosen->second, true);
    }
    m_currentCategory = id;
    platform::PostMessageTo(m_mainWindow,
                            platform::msg::CategoryChosen,
                            platform::PackWords(static_cast<std::uint32_t>(id), 0),
                            0);
}

skin::RichText* NavigationBar::CategoryButton(int id) const
{
    const auto found = m_categories.find(id);
    return found == m_categories.end() ? nullptr : found->second.button.get();
}

std::vector<int> NavigationBar::CategoryIds() const
{
    std::vector<int> ids;
    for (const auto& [id, category] : m_categories) {
        ids.push_back(id);
    }
    return ids;
}

void NavigationBar::FormatTab(int tab)
{
    const TextStyle& style = m_theme.Style(TabStyle);
    const bool current = tab == m_tab;
    std::string caption = m_texts.At(tab == OnlineTab ? OnlineLabel : LocalLabel);
    if (m_captions[tab].search) {
        caption += m_texts.At(SearchLabel);
    }
    caption += "(" + std::to_string(m_captions[tab].count) + ")";
    m_tabs[tab]->Format(QStringLiteral("/global,c=%1,font,font_face=%2,font_height=%3%4//a,p5=%5,btn_width=125,"
                                       "btn_text='%6'/")
                            .arg(Hex(current ? style.second : style.colour), m_theme.FontFaceText())
                            .arg(style.height)
                            .arg(tab == LocalTab ? QStringLiteral(",font_bold=1") : QString())
                            .arg(m_theme.PictureId(TabPicture))
                            .arg(QuotedValue(caption)));
    m_tabs[tab]->SetState(current ? skin::RichText::StateSelected : skin::RichText::StateNormal);
}

void NavigationBar::SetOnlineLocal(int tab, bool search, int count)
{
    if (tab != OnlineTab && tab != LocalTab) {
        return;
    }
    m_captions[tab] = Caption{search, count};
    FormatTab(tab);
}

void NavigationBar::SelectTab(int tab)
{
    if (tab != OnlineTab && tab != LocalTab) {
        return;
    }
    m_tab = tab;
    FormatTab(OnlineTab);
    FormatTab(LocalTab);
}

void NavigationBar::OnTab(int tab)
{
    SelectTab(tab);
    platform::PostMessageTo(m_mainWindow,
                            platform::msg::TabChosen,
                            platform::PackWords(static_cast<std::uint32_t>(tab), 0),
                            0);
}

skin::RichText* NavigationBar::TabButton(int tab) const
{
    return tab == OnlineTab || tab == LocalTab ? m_tabs[tab].get() : nullptr;
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

    // Category buttons that fit before the window buttons.
    const MarginRect& row = m_theme.Margin(CategoryMargin);
    int x = row.left;
    for (const auto& [id, category] : m_categories) {
        if (x + CategoryWidth > w - 100) {
            break;
        }
        category.button->Draw(painter, x, row.top, window);
        x += row.right;
    }
    m_tabs[OnlineTab]->Draw(painter, w - 306 + 15, 82 + 50, window);
    m_tabs[LocalTab]->Draw(painter, w - 306 + 155, 82 + 50, window);
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
