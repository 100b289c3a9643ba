#include "views/DownedDlg.h"

#include <algorithm>

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>

#include "browse/GameId.h"
#include "browse/GameList.h"
#include "platform/Messages.h"
#include "store/Stores.h"
#include "views/ManagerParts.h"
#include "views/PageButton.h"
#include "views/SkinMarkup.h"
#include "views/SkinTheme.h"
#include "views/UiTexts.h"

namespace views {
namespace {

namespace msg = platform::msg;
using platform::PackWords;

constexpr int TitleStyle = 16;
constexpr int CountStyle = 17;
constexpr int FolderStyle = 18;
constexpr int SelectAllStyle = 10;
constexpr int BatchStyle = 19;
constexpr int PageStyle = 12;
constexpr int ActionStyle = 20;
constexpr int NameStyle = 21;
constexpr int TextStyle_ = 22;
constexpr int FolderPicture = 317;
constexpr int CheckPicture = 304;
constexpr int ButtonPicture = 318;
constexpr int HeaderRulePicture = 326;
constexpr int RowRulePicture = 325;
// UiTexts entries.
constexpr int PreviousText = 13;
constexpr int NextText = 14;
constexpr int SelectAllText = 15;
constexpr int DeleteSelectedText = 17;
constexpr int DeleteForGoodText = 18;
constexpr int DownloadedText = 33;
constexpr int RecycleText = 34;
constexpr int GamesUnit = 35;
constexpr int OpenFolderText = 38;
constexpr int TotalText = 39;
constexpr int OpenText = 40;
constexpr int RestoreText = 41;
// The canvas starts a little above the first row so that the action buttons, which stand 4
// pixels higher than their row, are not cut.
constexpr int CanvasSlack = 6;
constexpr int CanvasHeight = 320;
constexpr int NameWidth = 350;
constexpr int FirstPageButtonX = 171;
constexpr int PageButtonPitch = 30;
constexpr int FooterY = 374;
// Widest canvas a widget can have.
constexpr int MaxCanvasWidth = 16777215;
// The manager's kind 5: refill a page.
constexpr std::uint32_t RefillKind = 5;

} // namespace

DownedDlg::DownedDlg(store::Stores& stores,
                     const SkinTheme& theme,
                     const UiTexts& texts,
                     std::string programDir,
                     platform::WindowHandle mainWindow,
                     int mode,
                     platform::WindowHandle manager,
                     QWidget* parent)
    : QWidget(parent)
    , m_stores(stores)
    , m_theme(theme)
    , m_texts(texts)
    , m_programDir(std::move(programDir))
    , m_mainWindow(mainWindow)
    , m_mode(mode == RecycleMode ? RecycleMode : DownloadedMode)
    , m_manager(manager)
    , m_panel(skin::Make<skin::ScrollPanel>())
    , m_title(skin::Make<skin::RichText>())
    , m_count(skin::Make<skin::RichText>())
    , m_unit(skin::Make<skin::RichText>())
    , m_folder(skin::Make<skin::RichText>())
    , m_selectAllButton(skin::Make<skin::RichText>())
    , m_batch(skin::Make<skin::RichText>())
    , m_previous(skin::Make<skin::RichText>())
    , m_next(skin::Make<skin::RichText>())
    , m_rule(skin::Make<skin::RichText>())
{
    const bool recycle = m_mode == RecycleMode;
    setObjectName(recycle ? QStringLiteral("RecycleDlg") : QStringLiteral("DownedDlg"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(Width, Height);
    const QString face = m_theme.FontFaceText();
    const QString name = recycle ? QStringLiteral("recycle.") : QStringLiteral("downed.");

    const TextStyle& title = m_theme.Style(TitleStyle);
    const QString titleFormat =
        QStringLiteral("/c=%1,font,font,font_face=%2,font_height=%3/%4").arg(Hex(title.colour), face).arg(title.height);
    m_title->Format(
        titleFormat.arg(MarkupText(m_texts.At(recycle ? RecycleText : DownloadedText) + m_texts.At(TotalText))));
    m_unit->Format(titleFormat.arg(MarkupText(m_texts.At(GamesUnit))));

    const TextStyle& folder = m_theme.Style(FolderStyle);
    m_folder->Format(QStringLiteral("/p=%1//a,linkl=1,c=%2,font,font,font_face=%3,font_height=%4/%5")
                         .arg(m_theme.PictureId(FolderPicture))
                         .arg(Hex(folder.colour), face)
                         .arg(folder.height)
                         .arg(MarkupText(m_texts.At(OpenFolderText))));
    m_folder->BindClick(0, [this](int) { OpenDownloadFolder(m_programDir, m_theme, m_texts, this); });

    const TextStyle& selectAll = m_theme.Style(SelectAllStyle);
    // The entry holds the markup's doubled slash already.
    m_selectAllButton->Format(QStringLiteral("/global,c=%1,font,font,font_face=%2,font_height=%3//a,p5=%4/%5")
                                  .arg(Hex(selectAll.colour), face)
                                  .arg(selectAll.height)
                                  .arg(m_theme.PictureId(CheckPicture))
                                  .arg(FromUtf8(m_texts.At(SelectAllText))));
    m_selectAllButton->BindClick(0, this, &DownedDlg::OnSelectAll);

    const TextStyle& batch = m_theme.Style(BatchStyle);
    m_batch->Format(QStringLiteral("/global,c=%1,font,font,font_face=%2,font_height=%3//a,p5=%4,btn_width=60,"
                                   "btn_height=18,btn_text='%5'/")
                        .arg(Hex(batch.colour), face)
                        .arg(batch.height)
                        .arg(m_theme.PictureId(ButtonPicture))
                        .arg(QuotedValue(m_texts.At(recycle ? DeleteForGoodText : DeleteSelectedText))));
    m_batch->BindClick(0, this, &DownedDlg::OnBatch);

    const TextStyle& page = m_theme.Style(PageStyle);
    const auto step = [&](skin::RichText& button, int label, int request) {
        button.Format(QStringLiteral("/global,c=%1,font,font_face=%2,font_height=%3//a,btn_height=18,btn_text='%4',"
                                     "p5=%5/")
                          .arg(Hex(page.colour), face)
                          .arg(page.height)
                          .arg(QuotedValue(m_texts.At(label)))
                          .arg(m_theme.PictureId(ButtonPicture)));
        button.BindClick(request, this, &DownedDlg::GoToPage);
    };
    step(*m_previous, PreviousText, browse::PreviousPage);
    step(*m_next, NextText, browse::NextPage);
    m_rule->Format(QStringLiteral("/p=%1/").arg(m_theme.PictureId(HeaderRulePicture)));
    for (int k = 0; k < browse::DownedList::PageButtons; ++k) {
        m_pageButtons[k] = skin::Make<skin::RichText>();
        m_pageButtons[k]->SetObjectName(name + QStringLiteral("page%1").arg(k));
        m_pageButtons[k]->Show(false, false);
    }
    m_title->SetObjectName(name + QStringLiteral("title"));
    m_count->SetObjectName(name + QStringLiteral("count"));
    m_folder->SetObjectName(name + QStringLiteral("folder"));
    m_selectAllButton->SetObjectName(name + QStringLiteral("selectAll"));
    m_batch->SetObjectName(name + QStringLiteral("batch"));
    m_previous->SetObjectName(name + QStringLiteral("previous"));
    m_next->SetObjectName(name + QStringLiteral("next"));

    m_panel->Attach(this, 0, FirstRowY - CanvasSlack, PagePitch, CanvasHeight);
    m_panel->SetArrivalHandler([this] { OnArrived(); });
    Fill(true);
}

DownedDlg::~DownedDlg()
{
    ClearRows();
}

skin::RichText* DownedDlg::PageButton(int k) const
{
    return k >= 0 && k < browse::DownedList::PageButtons ? m_pageButtons[k].get() : nullptr;
}

const DownedDlg::Row* DownedDlg::RowAt(int page, int k) const
{
    const auto found = m_rows.find(page);
    if (found == m_rows.end() || k < 0 || k >= static_cast<int>(found->second.size())) {
        return nullptr;
    }
    const Row& row = found->second[static_cast<std::size_t>(k)];
    return row.name ? &row : nullptr;
}

DownedDlg::Row* DownedDlg::CurrentRow(int k)
{
    return const_cast<Row*>(RowAt(m_list.CurrentPage(), k));
}

void DownedDlg::ClearRows()
{
    if (m_panel) {
        m_panel->RemoveAll(1);
    }
    m_rows.clear();
}

void DownedDlg::Fill(bool reset)
{
    m_previous->Show(true);
    m_next->Show(true);
    ClearRows();
    const int games = m_list.Fill(m_stores.catalogue, m_mode, !reset);
    // Selections of games that left the list go with them.
    std::erase_if(m_selected,
                  [this](int id) { return !std::binary_search(m_list.Games().begin(), m_list.Games().end(), id); });
    PostManager(PackWords(static_cast<std::uint32_t>(m_mode), static_cast<std::uint32_t>(games)));

    const int canvasWidth = static_cast<int>(
        std::min<long long>(static_cast<long long>(std::max(1, m_list.PageCount())) * PagePitch + CanvasSlack,
                            MaxCanvasWidth));
    m_panel->Attach(this, 0, FirstRowY - CanvasSlack, canvasWidth, CanvasHeight);
    ShowPage(false, m_list.CurrentPage());
    // With no page to show the page buttons and select-all are reset here.
    if (m_list.PageCount() == 0) {
        m_selectAll = false;
        m_selectAllButton->SetState(skin::RichText::StateNormal);
        LayOutPageButtons();
    }

    const TextStyle& count = m_theme.Style(CountStyle);
    m_count->Format(QStringLiteral("/c=%1,font,font,font_face=%2,font_height=%3,font_bold=1/%4")
                        .arg(Hex(count.colour), m_theme.FontFaceText())
                        .arg(count.height)
                        .arg(games));
    update();
}

void DownedDlg::FormatName(Row& row) const
{
    const auto record = m_stores.catalogue.find(browse::KeyOf(row.id));
    const std::string& name = record != m_stores.catalogue.end() ? record->second.name : std::string();
    const TextStyle& style = m_theme.Style(NameStyle);
    row.name->Format(QStringLiteral("/global,c=%1,font,font,font_face=%2,font_height=%3//a,p5=%4,line_width=%5,"
                                    "single_line=2/%6")
                         .arg(Hex(style.colour), m_theme.FontFaceText())
                         .arg(style.height)
                         .arg(m_theme.PictureId(CheckPicture))
                         .arg(NameWidth)
                         .arg(MarkupText(name)));
    row.name->SetState(row.selected ? skin::RichText::StateSelected : skin::RichText::StateNormal);
}

void DownedDlg::BuildPage(int page)
{
    const std::span<const int> ids = m_list.Page(page);
    if (ids.empty()) {
        return;
    }
    std::vector<Row>& rows = m_rows[page];
    rows.resize(ids.size());
    const QString face = m_theme.FontFaceText();
    const TextStyle& action = m_theme.Style(ActionStyle);
    const TextStyle& text = m_theme.Style(TextStyle_);
    const QString actionMarkup =
        QStringLiteral("/global,c=%1,font,font,font_face=%2,font_height=%3//a,btn_width=50,btn_text='%4',p5=%5/")
            .arg(Hex(action.colour), face)
            .arg(action.height)
            .arg(QuotedValue(m_texts.At(m_mode == RecycleMode ? RestoreText : OpenText)))
            .arg(m_theme.PictureId(ButtonPicture));
    const QString ruleMarkup = QStringLiteral("/p=%1/").arg(m_theme.PictureId(RowRulePicture));
    const int x0 = PagePitch * page;
    for (std::size_t k = 0; k < ids.size(); ++k) {
        Row& row = rows[k];
        if (row.name) {
            continue;
        }
        const auto record = m_stores.catalogue.find(browse::KeyOf(ids[k]));
        if (record == m_stores.catalogue.end()) {
            continue;
        }
        const int index = static_cast<int>(k);
        row.id = ids[k];
        row.selected = m_selected.contains(row.id);
        row.name = skin::Make<skin::RichText>();
        FormatName(row);
        row.name->BindClick(index, this, &DownedDlg::OnToggle);
        row.action = skin::Make<skin::RichText>();
        row.action->Format(actionMarkup);
        row.action->BindClick(index, this, &DownedDlg::OnAction);
        row.text = skin::Make<skin::RichText>();
        row.text->Format(QStringLiteral("/c=%1,font,font,font_face=%2,font_height=%3/%4")
                             .arg(Hex(text.colour), face)
                             .arg(text.height)
                             .arg(MarkupText(record->second.info6)));
        const int y = RowPitch * index + CanvasSlack;
        m_panel->AddItem(row.name->PlaceAt(x0 + 10, y + 2));
        m_panel->AddItem(row.text->PlaceAt(x0 + 370, y + 2));
        m_panel->AddItem(row.action->PlaceAt(x0 + 440, y - 4));
        if (index < browse::DownedList::RowsPerPage - 1) {
            row.rule = skin::Make<skin::RichText>();
            row.rule->Format(ruleMarkup);
            m_panel->AddItem(row.rule->PlaceAt(x0 + 10, y + 20));
        }
        const QString prefix = QStringLiteral("%1.%2.").arg(objectName()).arg(row.id);
        row.name->SetObjectName(prefix + QStringLiteral("name"));
        row.action->SetObjectName(prefix + QStringLiteral("action"));
    }
}

void DownedDlg::ShowPage(bool animate, int page)
{
    if (m_list.Page(page).empty()) {
        return;
    }
    m_list.SetCurrentPage(page);
    BuildPage(page);
    m_panel->ScrollTo(-PagePitch * page, FirstRowY - CanvasSlack, animate ? PageSteps : 0, animate ? 0 : 1);
    m_selectAll = false;
    m_selectAllButton->SetState(skin::RichText::StateNormal);
    LayOutPageButtons();
}

void DownedDlg::GoToPage(int request)
{
    const std::optional<int> page = m_list.Target(request);
    if (!page) {
        return;
    }
    ShowPage(request == browse::PreviousPage || request == browse::NextPage, *page);
}

void DownedDlg::OnArrived()
{
    // The neighbouring pages are built while the user looks at this one, so that turning to them
    // only scrolls.
    if (m_prefetchQueued) {
        return;
    }
    m_prefetchQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_prefetchQueued = false;
        const int current = m_list.CurrentPage();
        BuildPage(current + 1);
        BuildPage(current - 1);
    });
}

void DownedDlg::LayOutPageButtons()
{
    const TextStyle& style = m_theme.Style(PageStyle);
    for (int k = 0; k < browse::DownedList::PageButtons; ++k) {
        skin::RichText& button = *m_pageButtons[k];
        const std::optional<int> page = m_list.ButtonPage(k);
        // Buttons of pages that exist are shown again, also after fewer pages had hidden them.
        if (!page) {
            button.Show(false);
            continue;
        }
        FormatPageButton(button, m_theme, style, *page, *page == m_list.CurrentPage());
        button.BindClick(*page, this, &DownedDlg::GoToPage);
        button.Show(true);
    }
}

void DownedDlg::OnToggle(int k)
{
    Row* row = CurrentRow(k);
    if (row == nullptr) {
        return;
    }
    row->selected = !row->selected;
    if (row->selected) {
        m_selected.insert(row->id);
    } else {
        m_selected.erase(row->id);
    }
    row->name->SetState(row->selected ? skin::RichText::StateSelected : skin::RichText::StateNormal);
}

void DownedDlg::OnSelectAll(int)
{
    m_selectAll = !m_selectAll;
    m_selectAllButton->SetState(m_selectAll ? skin::RichText::StateSelected : skin::RichText::StateNormal);
    const auto found = m_rows.find(m_list.CurrentPage());
    if (found == m_rows.end()) {
        return;
    }
    for (Row& row : found->second) {
        if (!row.name) {
            continue;
        }
        row.selected = m_selectAll;
        if (m_selectAll) {
            m_selected.insert(row.id);
        } else {
            m_selected.erase(row.id);
        }
        row.name->SetState(m_selectAll ? skin::RichText::StateSelected : skin::RichText::StateNormal);
    }
}

void DownedDlg::OnBatch(int)
{
    const auto found = m_rows.find(m_list.CurrentPage());
    if (found == m_rows.end()) {
        return;
    }
    std::vector<int> chosen;
    for (const Row& row : found->second) {
        if (row.name && row.selected) {
            chosen.push_back(row.id);
        }
    }
    bool changed = false;
    for (const int id : chosen) {
        const auto record = m_stores.catalogue.find(browse::KeyOf(id));
        if (record == m_stores.catalogue.end()) {
            continue;
        }
        if (m_mode == DownloadedMode) {
            record->second.state = store::game_state::Recycled;
        } else {
            // Deleted for good: the main window has the folder sent to the Trash and the package
            // deleted.
            record->second.state = store::game_state::NotDownloaded;
            PostMain(PackWords(static_cast<std::uint32_t>(id), msg::game_action::Remove));
        }
        changed = true;
    }
    if (!changed) {
        return;
    }
    Fill(false);
    PostManager(PackWords(RefillKind, m_mode == DownloadedMode ? RecycleMode : DownloadedMode));
    PostMain(PackWords(0, msg::game_action::ViewChanged));
}

void DownedDlg::OnAction(int k)
{
    const Row* row = CurrentRow(k);
    if (row == nullptr) {
        return;
    }
    const int id = row->id;
    if (m_mode == DownloadedMode) {
        PostMain(PackWords(static_cast<std::uint32_t>(id), msg::game_action::Play));
        return;
    }
    const auto record = m_stores.catalogue.find(browse::KeyOf(id));
    if (record == m_stores.catalogue.end()) {
        return;
    }
    record->second.state = store::game_state::Downloaded;
    Fill(false);
    PostManager(PackWords(RefillKind, DownloadedMode));
    PostMain(PackWords(0, msg::game_action::ViewChanged));
}

void DownedDlg::PostManager(platform::Param wParam) const
{
    platform::PostMessageTo(m_manager, msg::ManagerDownloaded, wParam, 0);
}

void DownedDlg::PostMain(platform::Param wParam) const
{
    platform::PostMessageTo(m_mainWindow, msg::GameAction, wParam, 0);
}

void DownedDlg::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_background = PanelContent(m_theme, width(), height());
}

void DownedDlg::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect area = event->rect();
    painter.drawImage(area, m_background, area);
    m_title->Draw(painter, 10, 15, this);
    m_count->Draw(painter, 80, 15, this);
    // A long count pushes "款" to its right rather than under it.
    m_unit->Draw(painter, std::max(110, 80 + m_count->Size().width() + 2), 15, this);
    m_folder->Draw(painter, 420, 15, this);
    m_selectAllButton->Draw(painter, 10, 376, this);
    m_batch->Draw(painter, 410, 374, this);
    m_previous->Draw(painter, 120, FooterY, this);
    m_next->Draw(painter, 331, FooterY, this);
    m_rule->Draw(painter, 10, 35, this);
    m_rule->Draw(painter, 10, 355, this);
    for (int k = 0; k < browse::DownedList::PageButtons; ++k) {
        m_pageButtons[k]->Draw(painter, FirstPageButtonX + PageButtonPitch * k, FooterY, this);
    }
}

void DownedDlg::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        m_dragging = true;
        m_dragX = event->position().toPoint().x();
        event->accept();
        return;
    }
    // A left press goes on to the manager, which moves itself.
    QWidget::mousePressEvent(event);
}

void DownedDlg::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton && m_dragging) {
        m_dragging = false;
        const int dx = event->position().toPoint().x() - m_dragX;
        if (dx > 5) {
            GoToPage(browse::PreviousPage);
        } else if (dx < -5) {
            GoToPage(browse::NextPage);
        }
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

} // namespace views
