#include "app/LoadingDlg.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>

#include "platform/Messages.h"
#include "skin/Markup.h"
#include "skin/WindowMove.h"
#include "views/ModalRunner.h"
#include "views/SkinTheme.h"

namespace app {
namespace {

// Template size, 185 x 93 dialog units of 宋体 9 pt: the size until the splash picture sets its own.
constexpr int StartWidth = 278;
constexpr int StartHeight = 151;

const std::map<int, QString>& StageTable()
{
    static const std::map<int, QString> table = {
        {1, QStringLiteral("准备加载皮肤")},
        {2, QStringLiteral("开始加载皮肤")},
        {3, QStringLiteral("正在加载主界面皮肤")},
        {10, QStringLiteral("加载皮肤完毕")},
        {11, QStringLiteral("准备加载数据")},
        {12, QStringLiteral("开始加载数据")},
        {13, QStringLiteral("载入数据文件成功")},
        {14, QStringLiteral("正在加载游戏详细信息")},
        {15, QStringLiteral("正在加载游戏分类列表")},
        {20, QStringLiteral("加载数据完毕")},
        {21, QStringLiteral("正在下载更新列表")},
        {22, QStringLiteral("正在载入最新游戏")},
        {23, QStringLiteral("正在保存最新游戏")},
        {24, QStringLiteral("正在下载最新游戏图片")},
        {31, QStringLiteral("正在加载设置")},
    };
    return table;
}

const std::map<int, QString>& FailureTable()
{
    static const std::map<int, QString> table = {
        {13, QStringLiteral("载入数据文件失败")},
        {14, QStringLiteral("加载游戏详细信息失败")},
        {15, QStringLiteral("加载游戏分类数据失败")},
    };
    return table;
}

QString StatusMarkup(const QString& text)
{
    return QStringLiteral("/c=0xffffff,font,font_height=12/") + skin::EscapeMarkupText(text);
}

} // namespace

QString LoadingDlg::StageText(int stage, bool failure)
{
    const std::map<int, QString>& table = failure ? FailureTable() : StageTable();
    const auto it = table.find(stage);
    return it != table.end() ? it->second : QString();
}

LoadingDlg::LoadingDlg(const views::SkinTheme& theme, LoaderStart startLoader)
    : views::MessageWindow(nullptr, Qt::Window | Qt::FramelessWindowHint)
    , m_startLoader(std::move(startLoader))
    , m_status(skin::Make<skin::RichText>())
    , m_skin(skin::Make<skin::WindowSkin>())
    , m_stageTexts(StageTable())
    , m_failureTexts(FailureTable())
{
    // The loader starts first, so that reading the data files runs beside the font set-up that the
    // first text layout below costs. Its reports wait in this window's queue until Run() shows it;
    // the handle exists already, so none is lost.
    if (m_startLoader) {
        m_startLoader(Handle());
        m_startLoader = nullptr;
    }
    setWindowTitle(QStringLiteral("Marlune"));
    setObjectName(QStringLiteral("LoadingDlg"));
    resize(StartWidth, StartHeight);
    m_status->SetObjectName(QStringLiteral("loading.status"));
    m_status->Format(StatusMarkup(QStringLiteral("Wait loading")));
    m_skin->Attach(this, skin::WindowSkin::Frameless);
    if (skin::SkinPicture* picture = theme.SplashPicture(); picture != nullptr) {
        m_skin->SetBackground(picture, -1);
    }
}

LoadingDlg::~LoadingDlg() = default;

int LoadingDlg::Run()
{
    if (m_finished) {
        return views::ModalRunner::Ok;
    }
    skin::CentreOnScreen(this);
    return views::ModalRunner::Instance().Run(this, QStringLiteral("Wait loading"));
}

QString LoadingDlg::StatusText() const
{
    return m_status->LaidOutText();
}

void LoadingDlg::SetStatus(const QString& text)
{
    m_status->Format(StatusMarkup(text));
}

void LoadingDlg::RequestClose()
{
    if (m_closeRequested || m_finished) {
        return;
    }
    m_closeRequested = true;
    if (m_onClose) {
        m_onClose();
    }
    views::ModalRunner::Instance().Done(this, views::ModalRunner::Cancel);
}

void LoadingDlg::closeEvent(QCloseEvent* event)
{
    // Closing the splash (Alt+F4, a window manager's close) asks to end the program.
    RequestClose();
    views::MessageWindow::closeEvent(event);
}

void LoadingDlg::OnMessage(const platform::Message& message)
{
    if (message.id == platform::msg::ExternalClose) {
        RequestClose();
        return;
    }
    if (message.id != platform::msg::SplashStage) {
        return;
    }
    const int stage = static_cast<int>(platform::HiWord(message.wParam));
    const std::uint32_t flag = platform::LoWord(message.wParam);
    if (stage == Finished) {
        m_finished = true;
        views::ModalRunner::Instance().Done(this, views::ModalRunner::Ok);
        return;
    }
    if (flag == 0) {
        const auto it = m_stageTexts.find(stage);
        if (it == m_stageTexts.end()) {
            return;
        }
        QString text = it->second;
        if (stage == 24) {
            text += QStringLiteral("%1:%2").arg(platform::HiWord(message.lParam)).arg(platform::LoWord(message.lParam));
        }
        SetStatus(text);
        m_history.push_back({stage, false, text});
    } else if (flag == 1) {
        const auto it = m_failureTexts.find(stage);
        if (it == m_failureTexts.end()) {
            return;
        }
        SetStatus(it->second);
        m_history.push_back({stage, true, it->second});
    }
}

void LoadingDlg::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    m_status->Draw(painter, 30, height() / 2 + 30, this);
}

void LoadingDlg::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        skin::StartWindowMove(this, event);
        return;
    }
    views::MessageWindow::mousePressEvent(event);
}

} // namespace app
