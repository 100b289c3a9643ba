#include "views/ListDlg.h"

#include <algorithm>

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>

#include "platform/Messages.h"
#include "store/Stores.h"
#include "views/PageButton.h"
#include "views/PictureFile.h"
#include "views/SkinMarkup.h"
#include "views/SkinTheme.h"
#include "views/UiTexts.h"

namespace views {
namespace {

namespace msg = platform::msg;

constexpr int CellStyle = 11;
constexpr int ButtonStyle = 12;
constexpr int CellPicture = 309;
constexpr int CellHoverPicture = 308;
constexpr int CheckPicture = 304;
constexpr int ButtonPicture = 318;
constexpr int DownloadSelectedPicture = 333;
// UiTexts entries.
constexpr int PreviousLabel = 13;
constexpr int NextLabel = 14;
constexpr int DownloadSelectedLabel = 16;
constexpr int DeleteSelectedLabel = 17;
constexpr int PagesUnit = 36;  // "页"
constexpr int GamesUnit = 35;  // "款"
constexpr int TotalLabel = 39; // "共"
// Layout.
constexpr int BandHeight = 40;
constexpr int CellTop = 28;
constexpr int CanvasSlack = 10;
constexpr int FooterOffset = 20;
constexpr int FirstPageButtonX = 71;
constexpr int PageButtonPitch = 30;
// An icon much larger than its cell is decoded smaller straight away.
constexpr QSize IconDecodeBound(4 * ListDlg::IconWidth, 4 * ListDlg::IconHeight);
// Widest canvas a widget can have.
constexpr int MaxCanvasWidth = 16777215;

} // namespace

ListDlg::ListDlg(store::Stores& stores,
                 const SkinTheme& theme,
                 const UiTexts& texts,
                 std::string programDir,
                 platform::WindowHandle mainWindow,
                 QWidget* parent)
    : QWidget(parent)
    , m_stores(stores)
    , m_theme(theme)
    , m_texts(texts)
    , m_programDir(std::move(programDir))
    , m_mainWindow(mainWindow)
    , m_panel(skin::Make<skin::ScrollPanel>())
    , m_previous(skin::Make<skin::RichText>())
    , m_next(skin::Make<skin::RichText>())
    , m_batch(skin::Make<skin::RichText>())
    , m_totals(skin::Make<skin::RichText>())
{
    setObjectName(QStringLiteral("ListDlg"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    m_panel->Attach(this, 0, 40, 20000, 410);
    m_panel->SetArrivalHandler([this] { OnArrived(); });

    const TextStyle& style = m_theme.Style(ButtonStyle);
    const auto step = [&](skin::RichText& button, int label, int value) {
        button.Format(QStringLiteral("/global,c=%1,font,font_face=%2,font_height=%3//a,linkl=0,linkc=1,p5=%4,"
                                     "btn_height=41,btn_height=18,btn_text='%5',linkh=0x9134a6/")
                          .arg(Hex(style.colour), m_theme.FontFaceText())
                          .arg(style.height)
                          .arg(m_theme.PictureId(ButtonPicture))
                          .arg(QuotedValue(m_texts.At(label))));
        button.BindClick(value, this, &ListDlg::GoToPage);
    };
    step(*m_previous, PreviousLabel, browse::PreviousPage);
    step(*m_next, NextLabel, browse::NextPage);
    m_previous->SetObjectName(QStringLiteral("list.previous"));
    m_next->SetObjectName(QStringLiteral("list.next"));
    m_batch->SetObjectName(QStringLiteral("list.batch"));
    m_totals->SetObjectName(QStringLiteral("list.totals"));
    m_batch->BindClick(0, this, &ListDlg::OnBatch);
    FormatTotals(0, 0);
    for (int k = 0; k < browse::GameList::PageButtons; ++k) {
        m_pageButtons[k] = skin::Make<skin::RichText>();
        m_pageButtons[k]->SetObjectName(QStringLiteral("list.page%1").arg(k));
        m_pageButtons[k]->Show(false, false);
    }
}

ListDlg::~ListDlg()
{
    ClearCells();
}

skin::RichText* ListDlg::PageButton(int k) const
{
    return k >= 0 && k < browse::GameList::PageButtons ? m_pageButtons[k].get() : nullptr;
}

const ListDlg::Cell* ListDlg::CellAt(int page, int position) const
{
    const auto found = m_pages.find(page);
    if (found == m_pages.end() || position < 0 || position >= static_cast<int>(found->second.size())) {
        return nullptr;
    }
    const Cell& cell = found->second[static_cast<std::size_t>(position)];
    return cell.frame ? &cell : nullptr;
}

void ListDlg::ClearCells()
{
    m_arrivingGame = 0;
    if (m_panel) {
        m_panel->RemoveAll(0);
    }
    m_pages.clear();
}

int ListDlg::Fill(const browse::ListView& view)
{
    ClearCells();
    for (auto& button : m_pageButtons) {
        button->Show(false);
    }
    m_filled = true;
    m_filledSize = size();

    const bool local = view.local;
    const TextStyle& style = m_theme.Style(ButtonStyle);
    m_batch->Format(QStringLiteral("/global,c=%1,font,font_face=%2,font_height=%3//a,linkl=0,linkc=1,p5=%4,"
                                   "btn_height=20,btn_text='%5',linkh=0x9134a6/")
                        .arg(Hex(style.colour), m_theme.FontFaceText())
                        .arg(style.height)
                        .arg(m_theme.PictureId(local ? ButtonPicture : DownloadSelectedPicture))
                        .arg(QuotedValue(m_texts.At(local ? DeleteSelectedLabel : DownloadSelectedLabel))));

    const int games = m_list.Fill(m_stores.catalogue, m_stores.categories, view, height());
    if (games == 0) {
        PostGameChosen(0);
        FormatTotals(0, 0);
        update();
        return 0;
    }
    FormatTotals(m_list.PageCount(), games);
    const int canvasWidth = static_cast<int>(
        std::min<long long>(static_cast<long long>(m_list.PageCount()) * width() + CanvasSlack, MaxCanvasWidth));
    m_panel->Attach(this, 0, 0, canvasWidth, height() - FooterOffset);
    LayOutPageButtons();
    BuildPage(0);
    m_arrivingGame = m_list.Page(0).front();
    m_panel->ScrollTo(0, 0, 0, 1);
    update();
    return 1;
}

int ListDlg::Refill()
{
    return m_filled ? Fill(m_list.View()) : 0;
}

std::optional<browse::TabCounts> ListDlg::TabCounts(int category, int sub)
{
    return m_list.Counts(m_stores.catalogue, m_stores.categories, category, sub);
}

int ListDlg::Search(const std::string& keyword)
{
    return Fill(m_list.SearchView(keyword));
}

void ListDlg::FormatTotals(int pages, int games)
{
    const TextStyle& style = m_theme.Style(ButtonStyle);
    const std::string text = m_texts.At(TotalLabel) + std::to_string(pages) + m_texts.At(PagesUnit) + " "
                             + m_texts.At(TotalLabel) + std::to_string(games) + m_texts.At(GamesUnit);
    m_totals->Format(QStringLiteral("/c=%1,font,font,font_face=%2,font_height=%3/%4")
                         .arg(Hex(style.colour), m_theme.FontFaceText())
                         .arg(style.height)
                         .arg(MarkupText(text)));
}

void ListDlg::LayOutPageButtons()
{
    const TextStyle& style = m_theme.Style(ButtonStyle);
    for (int k = 0; k < browse::GameList::PageButtons; ++k) {
        skin::RichText& button = *m_pageButtons[k];
        const std::optional<int> page = m_list.ButtonPage(k);
        if (!page) {
            button.Show(false);
            continue;
        }
        FormatPageButton(button, m_theme, style, *page, *page == m_list.CurrentPage());
        button.BindClick(*page, this, &ListDlg::GoToPage);
        button.Show(true);
    }
}

void ListDlg::FormatLabel(Cell& cell) const
{
    const auto record = m_stores.catalogue.find(browse::KeyOf(cell.id));
    std::string name;
    if (record != m_stores.catalogue.end()) {
        name = record->second.name + record->second.srcname;
    }
    const TextStyle& style = m_theme.Style(CellStyle);
    cell.label->Format(QStringLiteral("/global,c=%1,font,font,font_face=%2,font_height=%3//a,p5=%4,line_width=110,"
                                      "single_line=2/%5")
                           .arg(Hex(cell.selected ? style.second : style.colour), m_theme.FontFaceText())
                           .arg(style.height)
                           .arg(m_theme.PictureId(CheckPicture))
                           .arg(MarkupText(name)));
    cell.label->SetState(cell.selected ? skin::RichText::StateSelected : skin::RichText::StateNormal);
}

void ListDlg::BuildPage(int page)
{
    const std::span<const int> ids = m_list.Page(page);
    if (ids.empty()) {
        return;
    }
    std::vector<Cell>& cells = m_pages[page];
    cells.resize(ids.size());
    const int w = width();
    for (std::size_t i = 0; i < ids.size(); ++i) {
        Cell& cell = cells[i];
        if (cell.frame) {
            continue;
        }
        const auto record = m_stores.catalogue.find(browse::KeyOf(ids[i]));
        if (record == m_stores.catalogue.end()) {
            continue; // gone from the catalogue since the fill: no cell
        }
        cell.id = ids[i];
        cell.picture = skin::Make<skin::SkinPicture>();
        const QImage icon = ReadPicture(GamePictureFile(m_programDir, record->second.icopic), IconDecodeBound);
        if (!icon.isNull()) {
            cell.picture->SetImage(icon);
            cell.picture->Resize(IconWidth, IconHeight);
        }
        cell.frame = skin::Make<skin::RichText>();
        cell.frame->Format(QStringLiteral("/a,p3=%1|%2|%3/")
                               .arg(m_theme.PictureId(CellPicture))
                               .arg(m_theme.PictureId(CellHoverPicture))
                               .arg(m_theme.PictureId(CellPicture)));
        cell.frame->BindClick(cell.id, this, &ListDlg::OnCellClick);
        cell.icon = skin::Make<skin::RichText>();
        cell.icon->Format(QStringLiteral("/a,p=%1/").arg(cell.picture->GetId()));
        cell.icon->BindClick(cell.id, this, &ListDlg::OnCellClick);
        cell.label = skin::Make<skin::RichText>();
        FormatLabel(cell);
        cell.label->BindClick(static_cast<int>(i), this, &ListDlg::OnSelect);

        const int column = static_cast<int>(i % 2);
        const int row = static_cast<int>(i / 2);
        const int x = w * page + ColumnPitch * column + 2;
        const int y = RowPitch * row + CellTop;
        m_panel->AddItem(cell.frame->PlaceAt(x, y));
        m_panel->AddItem(cell.icon->PlaceAt(x + 10, y + 10));
        m_panel->AddItem(cell.label->PlaceAt(x + 10, y + 103));
    }
}

void ListDlg::OnArrived()
{
    // The card follows once the page is in place, so that its pictures load after the scroll.
    if (m_arrivingGame != 0) {
        const int id = m_arrivingGame;
        m_arrivingGame = 0;
        PostGameChosen(id);
    }
    // The neighbouring pages are built while the user looks at this one, so that turning to
    // them only scrolls.
    if (!m_prefetchQueued) {
        m_prefetchQueued = true;
        QTimer::singleShot(0, this, [this] {
            m_prefetchQueued = false;
            const int current = m_list.CurrentPage();
            BuildPage(current + 1);
            BuildPage(current - 1);
        });
    }
}

void ListDlg::GoToPage(int request)
{
    const std::optional<int> page = m_list.Target(request);
    if (!page) {
        return;
    }
    m_list.SetCurrentPage(*page);
    LayOutPageButtons();
    BuildPage(*page);
    m_arrivingGame = m_list.Page(*page).front();
    const bool step = request == browse::PreviousPage || request == browse::NextPage;
    m_panel->ScrollTo(-width() * *page, 0, step ? PageSteps : 0, step ? 0 : 1);
}

void ListDlg::OnCellClick(int id)
{
    PostGameChosen(id);
}

void ListDlg::OnSelect(int position)
{
    const auto found = m_pages.find(m_list.CurrentPage());
    if (found == m_pages.end() || position < 0 || position >= static_cast<int>(found->second.size())) {
        return;
    }
    Cell& cell = found->second[static_cast<std::size_t>(position)];
    if (!cell.label) {
        return;
    }
    cell.selected = !cell.selected;
    FormatLabel(cell);
}

void ListDlg::OnBatch(int)
{
    const auto found = m_pages.find(m_list.CurrentPage());
    if (found == m_pages.end()) {
        return;
    }
    std::vector<int> selected;
    for (const Cell& cell : found->second) {
        if (cell.label && cell.selected) {
            selected.push_back(cell.id);
        }
    }
    if (!m_list.View().local) {
        for (const int id : selected) {
            platform::PostMessageTo(m_mainWindow,
                                    msg::DownloadRequest,
                                    platform::PackWords(static_cast<std::uint32_t>(id), 1),
                                    0);
        }
        return;
    }
    bool marked = false;
    for (const int id : selected) {
        const auto record = m_stores.catalogue.find(browse::KeyOf(id));
        if (record != m_stores.catalogue.end()) {
            record->second.state = store::game_state::Recycled;
            marked = true;
        }
    }
    if (marked) {
        Refill();
        platform::PostMessageTo(m_mainWindow,
                                msg::GameAction,
                                platform::PackWords(0, msg::game_action::ViewChanged),
                                0);
    }
}

void ListDlg::PostGameChosen(int id) const
{
    platform::PostMessageTo(m_mainWindow, msg::GameChosen, platform::PackWords(static_cast<std::uint32_t>(id), 0), 0);
}

void ListDlg::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect area = event->rect();
    painter.drawImage(area, m_background, area);
    const int w = width();
    const int h = height();
    for (int k = 0; k < browse::GameList::PageButtons; ++k) {
        m_pageButtons[k]->Draw(painter, FirstPageButtonX + PageButtonPitch * k, h - FooterOffset, this);
    }
    m_previous->Draw(painter, 20, h - FooterOffset, this);
    m_next->Draw(painter, w - 51, h - FooterOffset, this);
    m_totals->Draw(painter, 8, 8, this);
    m_batch->Draw(painter, w - 65, 3, this);
}

void ListDlg::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_background = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&m_background);
    QLinearGradient gradient(0, 0, 0, m_background.height());
    gradient.setColorAt(0, QColor::fromRgba(0xFF00315B));
    gradient.setColorAt(1, QColor::fromRgba(0xFF031326));
    painter.fillRect(m_background.rect(), gradient);
    painter.end();
    if (size() != m_filledSize) {
        Refill();
    }
}

void ListDlg::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        m_dragging = true;
        m_dragX = event->position().toPoint().x();
    }
    // The panel is a window of its own: a press here does not move the main window.
    event->accept();
}

void ListDlg::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton && m_dragging) {
        m_dragging = false;
        const int dx = event->position().toPoint().x() - m_dragX;
        if (dx > 5) {
            GoToPage(browse::PreviousPage);
        } else if (dx < -5) {
            GoToPage(browse::NextPage);
        }
    }
    event->accept();
}

} // namespace views
