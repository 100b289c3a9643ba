#include "views/DowningDlg.h"

#include <QPaintEvent>
#include <QPainter>

#include "platform/Messages.h"
#include "store/Stores.h"
#include "views/ManagerParts.h"
#include "views/SkinMarkup.h"
#include "views/SkinTheme.h"
#include "views/UiTexts.h"

namespace views {
namespace {

namespace msg = platform::msg;
using platform::HiWord;
using platform::LoWord;
using platform::PackWords;

constexpr int HeaderStyle = 17;
constexpr int RowStyle = 22;
constexpr int BarImage = 322;
constexpr int PausePicture = 319;
constexpr int ContinuePicture = 306;
constexpr int RemovePicture = 330;
constexpr int FolderPicture = 317;
constexpr int HeaderRulePicture = 326;
constexpr int RowRulePicture = 325;
// UiTexts entries.
constexpr int DownloadingText = 32; // "正在下载"
constexpr int GamesUnit = 35;       // "款"
constexpr int TotalSizeText = 37;   // "大小共计"
constexpr int OpenFolderText = 38;  // "打开下载目录"
constexpr int TotalText = 39;       // "共"
constexpr int PauseTip = 27;        // "暂停下载"
constexpr int ContinueTip = 28;     // "继续下载"
constexpr int RemoveTip = 29;       // "停止下载"
// Room for a name before the bar.
constexpr int NameWidth = 200;

// The download request (+104) for a row button's action.
constexpr std::uint32_t RequestFor(std::uint32_t action)
{
    switch (action) {
    case DowningDlg::RemoveAction:
        return 0; // cancel
    case DowningDlg::ContinueAction:
        return 3;
    case DowningDlg::PauseAction:
        return 2;
    default:
        return 0xFFFF;
    }
}

} // namespace

DowningDlg::DowningDlg(const store::Stores& stores,
                       const SkinTheme& theme,
                       const UiTexts& texts,
                       std::string programDir,
                       platform::WindowHandle mainWindow,
                       platform::WindowHandle notify,
                       QWidget* parent)
    : MessageWindow(parent)
    , m_stores(stores)
    , m_theme(theme)
    , m_texts(texts)
    , m_programDir(std::move(programDir))
    , m_mainWindow(mainWindow)
    , m_notify(notify)
    , m_caption(skin::Make<skin::RichText>())
    , m_count(skin::Make<skin::RichText>())
    , m_caption2(skin::Make<skin::RichText>())
    , m_size(skin::Make<skin::RichText>())
    , m_folder(skin::Make<skin::RichText>())
    , m_headerRule(skin::Make<skin::RichText>())
    , m_rowRule(skin::Make<skin::RichText>())
{
    setObjectName(QStringLiteral("DowningDlg"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(Width, Height);

    const TextStyle& style = m_theme.Style(HeaderStyle);
    const QString face = m_theme.FontFaceText();
    const auto header = [&](skin::RichText& text, const std::string& words) {
        text.Format(QStringLiteral("/c=%1,font,font,font_face=%2,font_height=%3/%4")
                        .arg(Hex(style.colour), face)
                        .arg(style.height)
                        .arg(MarkupText(words)));
    };
    header(*m_caption, m_texts.At(DownloadingText) + m_texts.At(TotalText));
    header(*m_caption2, m_texts.At(GamesUnit) + m_texts.At(TotalSizeText));
    const QString bold = QStringLiteral("/c=%1,font,font,font_face=%2,font_height=%3,font_bold=1/%4")
                             .arg(Hex(style.colour), face)
                             .arg(style.height);
    m_count->Format(bold.arg(0));
    m_size->Format(bold.arg(QStringLiteral("0MB")));
    m_folder->Format(QStringLiteral("/p=%1//a,linkl=1,c=%2,font,font,font_face=%3,font_height=%4/%5")
                         .arg(m_theme.PictureId(FolderPicture))
                         .arg(Hex(style.colour), face)
                         .arg(style.height)
                         .arg(MarkupText(m_texts.At(OpenFolderText))));
    m_folder->BindClick(0, [this](int) { OpenDownloadFolder(m_programDir, m_theme, m_texts, this); });
    m_headerRule->Format(QStringLiteral("/p=%1/").arg(m_theme.PictureId(HeaderRulePicture)));
    m_rowRule->Format(QStringLiteral("/p=%1/").arg(m_theme.PictureId(RowRulePicture)));
    m_caption->SetObjectName(QStringLiteral("downing.caption"));
    m_count->SetObjectName(QStringLiteral("downing.count"));
    m_size->SetObjectName(QStringLiteral("downing.size"));
    m_folder->SetObjectName(QStringLiteral("downing.folder"));

    // The control thread reports every download straight to this page once.
    platform::PostMessageTo(m_mainWindow, msg::WantProgress, Handle(), 0);
}

DowningDlg::~DowningDlg() = default;

const DowningDlg::RowTexts* DowningDlg::Row(int id) const
{
    const auto found = m_rowTexts.find(id);
    return found == m_rowTexts.end() ? nullptr : &found->second;
}

QRect DowningDlg::RowRect(int id) const
{
    const int n = m_rows.Position(id);
    if (n < 0) {
        return {};
    }
    return QRect(QPoint(0, FirstRowTop + RowPitch * n), QPoint(RowWidth - 1, FirstRowTop + RowPitch * (n + 1) - 1));
}

void DowningDlg::OnMessage(const platform::Message& message)
{
    switch (message.id) {
    case msg::DowningRequest:
        OnRequest(message);
        break;
    case msg::DowningCommand: {
        const int id = static_cast<int>(HiWord(message.wParam));
        Apply(m_rows.Result(m_stores.catalogue, id, LoWord(message.wParam)), id);
        break;
    }
    case msg::DowningProgress:
        Apply(m_rows.Progress(m_stores.catalogue, message.wParam, message.lParam),
              static_cast<int>(HiWord(message.wParam)));
        break;
    default:
        break;
    }
}

void DowningDlg::OnRequest(const platform::Message& message)
{
    const std::uint32_t request = RequestFor(LoWord(message.wParam));
    if (request == 0xFFFF) {
        return;
    }
    platform::PostMessageTo(m_mainWindow, msg::DownloadRequest, PackWords(HiWord(message.wParam), request), 0);
}

void DowningDlg::Apply(browse::RowChange change, int id)
{
    switch (change) {
    case browse::RowChange::None:
        return;
    case browse::RowChange::Added:
        MakeRow(id);
        WriteRow(id);
        LayOut();
        return;
    case browse::RowChange::Updated:
        // Only this row's texts and bar change; nothing else moves or repaints.
        WriteRow(id);
        update(RowRect(id));
        return;
    case browse::RowChange::Removed:
        m_rowTexts.erase(id);
        LayOut();
        return;
    }
}

QString DowningDlg::TextMarkup(const QString& text) const
{
    const TextStyle& style = m_theme.Style(RowStyle);
    return QStringLiteral("/c=%1,font,font_face=%2,font_height=%3/%4")
        .arg(Hex(style.colour), m_theme.FontFaceText())
        .arg(style.height)
        .arg(text);
}

void DowningDlg::MakeRow(int id)
{
    const browse::DownloadRow* row = m_rows.Find(id);
    if (row == nullptr) {
        return;
    }
    RowTexts& texts = m_rowTexts[id];
    texts.name = skin::Make<skin::RichText>();
    texts.percent = skin::Make<skin::RichText>();
    texts.speed = skin::Make<skin::RichText>();
    texts.pause = skin::Make<skin::RichText>();
    texts.resume = skin::Make<skin::RichText>();
    texts.remove = skin::Make<skin::RichText>();
    const TextStyle& style = m_theme.Style(RowStyle);
    texts.name->Format(QStringLiteral("/c=%1,font,font_face=%2,font_height=%3,line_width=%4,single_line=2/%5")
                           .arg(Hex(style.colour), m_theme.FontFaceText())
                           .arg(style.height)
                           .arg(NameWidth)
                           .arg(MarkupText(row->name)));
    const auto button = [&](skin::RichText& text, int picture, int tip, std::uint32_t action) {
        text.Format(
            QStringLiteral("/a,p5=%1,linkt='%2'/").arg(m_theme.PictureId(picture)).arg(QuotedValue(m_texts.At(tip))));
        const std::uint32_t packed = PackWords(static_cast<std::uint32_t>(id), action);
        text.BindClick(0, [this, packed](int) { OnButton(packed); });
    };
    button(*texts.pause, PausePicture, PauseTip, PauseAction);
    button(*texts.resume, ContinuePicture, ContinueTip, ContinueAction);
    button(*texts.remove, RemovePicture, RemoveTip, RemoveAction);
    const QString prefix = QStringLiteral("downing.%1.").arg(id);
    texts.name->SetObjectName(prefix + QStringLiteral("name"));
    texts.percent->SetObjectName(prefix + QStringLiteral("percent"));
    texts.speed->SetObjectName(prefix + QStringLiteral("speed"));
    texts.pause->SetObjectName(prefix + QStringLiteral("pause"));
    texts.resume->SetObjectName(prefix + QStringLiteral("continue"));
    texts.remove->SetObjectName(prefix + QStringLiteral("remove"));
}

void DowningDlg::WriteRow(int id)
{
    const browse::DownloadRow* row = m_rows.Find(id);
    const auto found = m_rowTexts.find(id);
    if (row == nullptr || found == m_rowTexts.end()) {
        return;
    }
    RowTexts& texts = found->second;
    const bool running = row->state == browse::DownloadRow::Running;
    const QString percent = QStringLiteral("%1%").arg(row->percent);
    const QString speed = QStringLiteral("%1KB//s").arg(running ? row->speed : 0);
    // Formatting the same markup again would only repaint it.
    if (texts.percent->Content() != TextMarkup(percent)) {
        texts.percent->Format(TextMarkup(percent));
    }
    if (texts.speed->Content() != TextMarkup(speed)) {
        texts.speed->Format(TextMarkup(speed));
    }
    if (texts.pause->IsVisible() != running) {
        texts.pause->Show(running);
    }
    if (texts.resume->IsVisible() == running) {
        texts.resume->Show(!running);
    }
}

void DowningDlg::LayOut()
{
    const TextStyle& style = m_theme.Style(HeaderStyle);
    const QString bold = QStringLiteral("/c=%1,font,font,font_face=%2,font_height=%3,font_bold=1/%4")
                             .arg(Hex(style.colour), m_theme.FontFaceText())
                             .arg(style.height);
    m_count->Format(bold.arg(m_rows.Count()));
    m_size->Format(bold.arg(QString::asprintf("%2.3fMB", m_rows.TotalMegabytes())));
    platform::PostMessageTo(m_notify,
                            msg::ManagerDownloaded,
                            static_cast<platform::Param>(std::min(m_rows.Count(), 0xFFFF)),
                            0);
    update();
}

void DowningDlg::OnButton(std::uint32_t packed)
{
    Post(msg::DowningRequest, packed, 0);
}

void DowningDlg::resizeEvent(QResizeEvent* event)
{
    MessageWindow::resizeEvent(event);
    m_background = PanelContent(m_theme, width(), height());
}

void DowningDlg::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect area = event->rect();
    painter.drawImage(area, m_background, area);

    const QImage& bar = m_theme.Image(BarImage);
    int n = 0;
    for (const auto& [id, row] : m_rows.Rows()) {
        const int left = 0;
        const int top = FirstRowTop + RowPitch * n++;
        if (!bar.isNull() && QRect(left + 220, top, 100, 15).intersects(area)) {
            painter.drawImage(QRect(left + 220, top, 2, 15), bar, QRect(0, 0, 2, 14));
            painter.drawImage(QRect(left + 222, top, 96, 15), bar, QRect(5, 0, 1, 14));
            painter.drawImage(QRect(left + 318, top, 2, 15), bar, QRect(8, 0, 2, 14));
            const int fill = row.percent * 94 / 100;
            if (fill > 0) {
                painter.drawImage(QRect(left + 223, top + 3, fill, 9), bar, QRect(3, 3, 1, 7));
            }
        }
    }

    m_caption->Draw(painter, 10, 15, this);
    m_count->Draw(painter, 80, 15, this);
    m_caption2->Draw(painter, 110, 15, this);
    m_size->Draw(painter, 190, 15, this);
    m_folder->Draw(painter, 420, 15, this);
    m_headerRule->Draw(painter, 10, 35, this);

    n = 0;
    for (const auto& [id, row] : m_rows.Rows()) {
        const int left = 0;
        const int right = RowWidth;
        const int top = FirstRowTop + RowPitch * n++;
        const auto found = m_rowTexts.find(id);
        if (found == m_rowTexts.end()) {
            continue;
        }
        const RowTexts& texts = found->second;
        texts.name->Draw(painter, left + 10, top, this);
        texts.percent->Draw(painter, right - 160, top, this);
        texts.speed->Draw(painter, right - 110, top, this);
        texts.pause->Draw(painter, right - 40, top, this);
        texts.resume->Draw(painter, right - 40, top, this);
        texts.remove->Draw(painter, right - 20, top, this);
        m_rowRule->Draw(painter, 10, top + 20, this);
    }
}

} // namespace views
