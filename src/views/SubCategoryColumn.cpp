#include "views/SubCategoryColumn.h"

#include <QPainter>
#include <QWidget>

#include "browse/GameId.h"
#include "platform/Messages.h"
#include "views/SkinMarkup.h"
#include "views/SkinTheme.h"

namespace views {
namespace {

constexpr int ButtonStyle = 2;
constexpr int ButtonPicture = 331;
constexpr int ColumnMargin = 5; // the theme's margin rectangle of the column: left, top; bottom = pitch

} // namespace

SubCategoryColumn::SubCategoryColumn(platform::WindowHandle mainWindow, const SkinTheme& theme, const UiTexts& texts)
    : m_mainWindow(mainWindow)
    , m_theme(theme)
    , m_texts(texts)
{}

SubCategoryColumn::~SubCategoryColumn() = default;

void SubCategoryColumn::Fill(int categoryId, const std::map<std::string, store::SubCategoryNode>& subs)
{
    m_category = categoryId;
    m_buttons.clear();
    m_current = 0;
    for (const auto& [key, sub] : subs) {
        const std::optional<int> id = browse::MessageId(key);
        if (!id) {
            continue;
        }
        Entry entry{sub.name, skin::Make<skin::RichText>()};
        FormatButton(entry, false);
        entry.button->BindClick(*id, this, &SubCategoryColumn::Select);
        entry.button->SetObjectName(QStringLiteral("column.%1.%2").arg(categoryId).arg(*id));
        m_buttons.insert_or_assign(*id, std::move(entry));
    }
    ShowAll(false);
}

void SubCategoryColumn::FormatButton(Entry& entry, bool current) const
{
    const TextStyle& style = m_theme.Style(ButtonStyle);
    entry.button->Format(QStringLiteral("/global,c=%1,font,font_face=%2,font_height=%3,font_bold=1//a,p5=%4,"
                                        "btn_text='%5',btn_width=100/")
                             .arg(Hex(current ? style.second : style.colour), m_theme.FontFaceText())
                             .arg(style.height)
                             .arg(m_theme.PictureId(ButtonPicture))
                             .arg(QuotedValue(entry.name)));
    entry.button->SetState(current ? skin::RichText::StateSelected : skin::RichText::StateNormal);
}

void SubCategoryColumn::Draw(QPainter& painter, QWidget* window)
{
    const MarginRect& place = m_theme.Margin(ColumnMargin);
    int i = 0;
    for (const auto& [id, entry] : m_buttons) {
        if (i == MaxDrawn) {
            break;
        }
        entry.button->Draw(painter, place.left, place.top + place.bottom * i, window);
        ++i;
    }
}

void SubCategoryColumn::Select(int id)
{
    if (id == m_current) {
        return;
    }
    Choose(id, true);
}

void SubCategoryColumn::Choose(int id, bool report)
{
    const auto chosen = m_buttons.find(id);
    if (chosen == m_buttons.end()) {
        return;
    }
    if (const auto old = m_buttons.find(m_current); old != m_buttons.end() && old != chosen) {
        FormatButton(old->second, false);
    }
    FormatButton(chosen->second, true);
    m_current = id;
    if (report) {
        platform::PostMessageTo(
            m_mainWindow,
            platform::msg::SubCategoryChosen,
            platform::PackWords(static_cast<std::uint32_t>(m_category), static_cast<std::uint32_t>(id)),
            0);
    }
}

void SubCategoryColumn::ShowAll(bool show)
{
    m_shown = show;
    for (auto& [id, entry] : m_buttons) {
        entry.button->Show(show);
    }
    if (show && !m_buttons.empty()) {
        Choose(m_buttons.contains(m_current) ? m_current : m_buttons.begin()->first, true);
    }
}

std::vector<int> SubCategoryColumn::Ids() const
{
    std::vector<int> ids;
    for (const auto& [id, entry] : m_buttons) {
        ids.push_back(id);
    }
    return ids;
}

skin::RichText* SubCategoryColumn::Button(int id) const
{
    const auto found = m_buttons.find(id);
    return found == m_buttons.end() ? nullptr : found->second.button.get();
}

} // namespace views
