#include "views/CheckDetialDlg.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include "platform/Messages.h"
#include "skin/WindowMove.h"
#include "store/Stores.h"
#include "views/DownedDlg.h"
#include "views/DowningDlg.h"
#include "views/ManagerParts.h"
#include "views/ModalRunner.h"
#include "views/SkinMarkup.h"
#include "views/SkinTheme.h"
#include "views/UiTexts.h"

namespace views {
namespace {

namespace msg = platform::msg;
using platform::HiWord;
using platform::LoWord;

constexpr int TitleStyle = 14;
constexpr int LabelStyle = 15;
constexpr int ClosePicture = 311;
constexpr int TabPicture = 332;
// UiTexts entries.
constexpr int CloseTip = 3;
constexpr int TitleText = 31;    // "Marlune-下载管理"
constexpr int FirstTabText = 32; // "正在下载", "已下载", "垃圾箱"
// The pages' place.
constexpr int PageX = 117;
constexpr int PageY = 25;
// Kinds of ManagerDownloaded (high word of wParam).
constexpr std::uint32_t DowningCount = 0;
constexpr std::uint32_t DownedCount = 3;
constexpr std::uint32_t RecycleCount = 4;
constexpr std::uint32_t RefillPage = 5;

} // namespace

CheckDetialDlg::CheckDetialDlg(store::Stores& stores,
                               const SkinTheme& theme,
                               const UiTexts& texts,
                               std::string programDir,
                               platform::WindowHandle mainWindow,
                               QWidget* parent)
    : MessageWindow(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_theme(theme)
    , m_texts(texts)
    , m_title(skin::Make<skin::RichText>())
    , m_close(skin::Make<skin::RichText>())
{
    setObjectName(QStringLiteral("CheckDetialDlg"));
    setWindowTitle(QStringLiteral("下载管理"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(Width, Height);
    if (parent != nullptr) {
        const QRect owner = parent->window()->geometry();
        move(owner.center() - QPoint(Width / 2, Height / 2));
    }
    m_background = PanelBackground(m_theme, Width, Height);
    setMask(RoundedTopShape(Width + 1, Height + 1));

    const TextStyle& title = m_theme.Style(TitleStyle);
    m_title->Format(QStringLiteral("/c=%1,font,font,font_face=%2,font_height=%3,font_bold=1/%4")
                        .arg(Hex(title.colour), m_theme.FontFaceText())
                        .arg(title.height)
                        .arg(MarkupText(m_texts.At(TitleText))));
    m_close->Format(QStringLiteral("/a, p5=%1, linkt='%2'/")
                        .arg(m_theme.PictureId(ClosePicture))
                        .arg(QuotedValue(m_texts.At(CloseTip))));
    m_close->BindClick(CloseValue, this, &CheckDetialDlg::SelectTab);
    m_close->SetObjectName(QStringLiteral("manager.close"));
    for (int k = 0; k < 3; ++k) {
        m_tabButtons[k] = skin::Make<skin::RichText>();
        m_tabButtons[k]->Format(QStringLiteral("/a, p5=%1/").arg(m_theme.PictureId(TabPicture)));
        m_tabButtons[k]->BindClick(k + 1, this, &CheckDetialDlg::SelectTab);
        m_tabButtons[k]->SetObjectName(QStringLiteral("manager.tab%1").arg(k + 1));
        m_tabLabels[k] = skin::Make<skin::RichText>();
        m_tabLabels[k]->SetObjectName(QStringLiteral("manager.label%1").arg(k + 1));
    }

    m_downing = new DowningDlg(stores, m_theme, m_texts, programDir, mainWindow, Handle(), this);
    m_downed =
        new DownedDlg(stores, m_theme, m_texts, programDir, mainWindow, DownedDlg::DownloadedMode, Handle(), this);
    m_recycle = new DownedDlg(stores, m_theme, m_texts, programDir, mainWindow, DownedDlg::RecycleMode, Handle(), this);
    for (QWidget* page :
         {static_cast<QWidget*>(m_downing), static_cast<QWidget*>(m_downed), static_cast<QWidget*>(m_recycle)}) {
        page->setGeometry(PageX, PageY, DowningDlg::Width, DowningDlg::Height);
        page->hide();
    }
    // The counts are right from the first paint; the pages' own reports follow with the same.
    m_counts[DownedTab - 1] = m_downed->List().GameCount();
    m_counts[RecycleTab - 1] = m_recycle->List().GameCount();
    SelectTab(DowningTab);
}

CheckDetialDlg::~CheckDetialDlg() = default;

int CheckDetialDlg::Run()
{
    return ModalRunner::Instance().Run(this, QStringLiteral("下载管理"));
}

skin::RichText* CheckDetialDlg::TabButton(int tab) const
{
    return tab >= 1 && tab <= 3 ? m_tabButtons[tab - 1].get() : nullptr;
}

skin::RichText* CheckDetialDlg::TabLabel(int tab) const
{
    return tab >= 1 && tab <= 3 ? m_tabLabels[tab - 1].get() : nullptr;
}

int CheckDetialDlg::TabCount(int tab) const
{
    return tab >= 1 && tab <= 3 ? m_counts[tab - 1] : 0;
}

QWidget* CheckDetialDlg::Page(int tab) const
{
    switch (tab) {
    case DowningTab:
        return m_downing;
    case DownedTab:
        return m_downed;
    case RecycleTab:
        return m_recycle;
    default:
        return nullptr;
    }
}

void CheckDetialDlg::SelectTab(int value)
{
    if (value == CloseValue) {
        ModalRunner::Instance().Done(this, ModalRunner::Cancel);
        return;
    }
    if (value == m_shown || Page(value) == nullptr) {
        return;
    }
    if (QWidget* old = Page(m_shown)) {
        m_tabButtons[m_shown - 1]->SetState(skin::RichText::StateNormal);
        old->hide();
    }
    m_tabButtons[value - 1]->SetState(skin::RichText::StateSelected);
    Page(value)->show();
    m_selected = value;
    m_shown = value;
    for (int tab = 1; tab <= 3; ++tab) {
        Relabel(tab, m_counts[tab - 1]);
    }
}

void CheckDetialDlg::Relabel(int tab, int count)
{
    m_counts[tab - 1] = count;
    const TextStyle& style = m_theme.Style(LabelStyle);
    const QString markup = QStringLiteral("/c=%1,font,font,font_face=%2,font_height=%3/%4(%5)")
                               .arg(Hex(tab == m_selected ? style.second : style.colour), m_theme.FontFaceText())
                               .arg(style.height)
                               .arg(MarkupText(m_texts.At(FirstTabText + tab - 1)))
                               .arg(count);
    if (m_tabLabels[tab - 1]->Content() != markup) {
        m_tabLabels[tab - 1]->Format(markup);
    }
}

void CheckDetialDlg::OnCounts(platform::Param wParam)
{
    const std::uint32_t kind = HiWord(wParam);
    const int value = static_cast<int>(LoWord(wParam));
    switch (kind) {
    case DowningCount:
        Relabel(DowningTab, value);
        break;
    case DownedCount:
        Relabel(DownedTab, value);
        break;
    case RecycleCount:
        Relabel(RecycleTab, value);
        break;
    case RefillPage:
        if (value == DownedDlg::DownloadedMode) {
            m_downed->Fill(false);
        } else if (value == DownedDlg::RecycleMode) {
            m_recycle->Fill(false);
        }
        break;
    default:
        break;
    }
}

void CheckDetialDlg::OnMessage(const platform::Message& message)
{
    switch (message.id) {
    case msg::ManagerCommand:
        platform::PostMessageTo(m_downing->Handle(), msg::DowningCommand, message.wParam, message.lParam);
        // A download that ended (or the notice of a new one) may change the downloaded games; the
        // page stays where the user is.
        if (LoWord(message.wParam) == 0) {
            m_downed->Fill(false);
        }
        break;
    case msg::ManagerProgress:
        platform::PostMessageTo(m_downing->Handle(), msg::DowningProgress, message.wParam, message.lParam);
        break;
    case msg::ManagerDownloaded:
        OnCounts(message.wParam);
        break;
    default:
        break;
    }
}

void CheckDetialDlg::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect area = event->rect();
    painter.drawImage(area, m_background, area);
    m_title->Draw(painter, 10, 10, this);
    m_close->Draw(painter, 590, 0, this);
    for (int k = 0; k < 3; ++k) {
        m_tabButtons[k]->Draw(painter, 5, 25 + 30 * k, this);
    }
    for (int k = 0; k < 3; ++k) {
        m_tabLabels[k]->Draw(painter, 20, 35 + 30 * k, this);
    }
}

void CheckDetialDlg::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        skin::StartWindowMove(this, event);
        return;
    }
    MessageWindow::mousePressEvent(event);
}

void CheckDetialDlg::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        ModalRunner::Instance().Done(this, ModalRunner::Cancel);
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        ModalRunner::Instance().Done(this, ModalRunner::Ok);
        return;
    default:
        MessageWindow::keyPressEvent(event);
    }
}

} // namespace views
