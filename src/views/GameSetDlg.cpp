#include "views/GameSetDlg.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include "skin/WindowMove.h"
#include "store/DataFileLoader.h"
#include "views/ManagerParts.h"
#include "views/ModalRunner.h"
#include "views/MsgBox.h"
#include "views/SkinMarkup.h"
#include "views/SkinTheme.h"
#include "views/UiTexts.h"

namespace views {
namespace {

constexpr int TitleStyle = 14;
constexpr int LabelStyle = 15;
constexpr int OptionStyle = 11;
constexpr int ClosePicture = 311;
constexpr int TabPicture = 332;
constexpr int CheckPicture = 304;
constexpr int ButtonPicture = 318;
// UiTexts entries.
constexpr int CloseTip = 3;
constexpr int TitleText = 42;       // "Marlune-设置"
constexpr int FirstTabText = 43;    // "常规设置", "下载设置", "游戏设置"
constexpr int FirstOptionText = 46; // the six option lines, 46-51
constexpr int MaxnumText = 49;      // "同时下载最大个数(1-10)"
constexpr int OkText = 52;
constexpr int ApplyText = 53;
constexpr int ExitText = 54;
// The option lines of each tab (0: the maxnum line, which is no option).
constexpr int TabOptions[3][2] = {{GameSetDlg::StartWithSession, GameSetDlg::CloseToTray},
                                  {GameSetDlg::ResumeUnfinished, 0},
                                  {GameSetDlg::Shortcut, GameSetDlg::Autogame}};
constexpr QRect MaxnumPlace(300, 92, 30, 18);

// The UiTexts entry of an option line.
int OptionText(int value)
{
    return value <= GameSetDlg::ResumeUnfinished ? FirstOptionText + value - 1 : FirstOptionText + value;
}

} // namespace

GameSetDlg::GameSetDlg(store::BoxSettings& settings,
                       const SkinTheme& theme,
                       const UiTexts& texts,
                       std::string programDir,
                       QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_settings(settings)
    , m_theme(theme)
    , m_texts(texts)
    , m_programDir(std::move(programDir))
    , m_title(skin::Make<skin::RichText>())
    , m_close(skin::Make<skin::RichText>())
    , m_maxnumLabel(skin::Make<skin::RichText>())
    , m_ok(skin::Make<skin::RichText>())
    , m_apply(skin::Make<skin::RichText>())
    , m_exit(skin::Make<skin::RichText>())
{
    setObjectName(QStringLiteral("GameSetDlg"));
    setWindowTitle(QStringLiteral("设置"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(Width, Height);
    if (parent != nullptr) {
        move(parent->window()->geometry().center() - QPoint(Width / 2, Height / 2));
    }
    m_background = PanelBackground(m_theme, Width, Height);
    setMask(RoundedTopShape(Width + 1, Height + 1));
    const QString face = m_theme.FontFaceText();

    const TextStyle& title = m_theme.Style(TitleStyle);
    m_title->Format(QStringLiteral("/c=%1,font,font,font_face=%2,font_height=%3,font_bold=1/%4")
                        .arg(Hex(title.colour), face)
                        .arg(title.height)
                        .arg(MarkupText(m_texts.At(TitleText))));
    m_close->Format(QStringLiteral("/a, p5=%1, linkt='%2'/")
                        .arg(m_theme.PictureId(ClosePicture))
                        .arg(QuotedValue(m_texts.At(CloseTip))));
    m_close->BindClick(CloseValue, this, &GameSetDlg::SelectTab);
    m_close->SetObjectName(QStringLiteral("settings.close"));

    const TextStyle& label = m_theme.Style(LabelStyle);
    for (int k = 0; k < 3; ++k) {
        m_tabLabels[k] = skin::Make<skin::RichText>();
        m_tabLabels[k]->Format(QStringLiteral("/c=%1,font,font,font_face=%2,font_height=%3/%4")
                                   .arg(Hex(label.colour), face)
                                   .arg(label.height)
                                   .arg(MarkupText(m_texts.At(FirstTabText + k))));
        m_tabButtons[k] = skin::Make<skin::RichText>();
        m_tabButtons[k]->Format(QStringLiteral("/a, p5=%1/").arg(m_theme.PictureId(TabPicture)));
        m_tabButtons[k]->BindClick(k + 1, this, &GameSetDlg::SelectTab);
        m_tabButtons[k]->SetObjectName(QStringLiteral("settings.tab%1").arg(k + 1));
    }

    const TextStyle& option = m_theme.Style(OptionStyle);
    for (int value = StartWithSession; value <= Autogame; ++value) {
        skin::Owned<skin::RichText>& line = m_options[value - 1];
        line = skin::Make<skin::RichText>();
        line->Format(QStringLiteral("/global,c=%1,font,font,font_face=%2,font_height=%3//a,p5=%4/%5")
                         .arg(Hex(option.colour), face)
                         .arg(option.height)
                         .arg(m_theme.PictureId(CheckPicture))
                         .arg(MarkupText(m_texts.At(OptionText(value)))));
        line->BindClick(value, this, &GameSetDlg::OnOption);
        line->SetObjectName(QStringLiteral("settings.option%1").arg(value));
        line->Show(false, false);
    }
    m_maxnumLabel->Format(QStringLiteral("/c=%1,font,font,font_face=%2,font_height=%3/%4")
                              .arg(Hex(option.colour), face)
                              .arg(option.height)
                              .arg(MarkupText(m_texts.At(MaxnumText))));
    m_maxnumLabel->Show(false, false);

    const QString button = QStringLiteral("/global,c=%1,font,font,font_face=%2,font_height=%3//a,p5=%4,btn_width=50,"
                                          "btn_height=23,btn_text='%5'/")
                               .arg(Hex(option.colour), face)
                               .arg(option.height)
                               .arg(m_theme.PictureId(ButtonPicture));
    m_ok->Format(button.arg(QuotedValue(m_texts.At(OkText))));
    m_apply->Format(button.arg(QuotedValue(m_texts.At(ApplyText))));
    m_exit->Format(button.arg(QuotedValue(m_texts.At(ExitText))));
    m_ok->BindClick(OkValue, this, &GameSetDlg::OnApply);
    m_apply->BindClick(ApplyValue, this, &GameSetDlg::OnApply);
    m_exit->BindClick(CloseValue, this, &GameSetDlg::SelectTab);
    m_ok->SetObjectName(QStringLiteral("settings.ok"));
    m_apply->SetObjectName(QStringLiteral("settings.apply"));
    m_exit->SetObjectName(QStringLiteral("settings.exit"));

    // The values it opens with: the autostart entry as found, the rest from the settings.
    m_form = store::SettingsForm::Of(m_settings, store::SetAutostart(store::AutostartAction::Query));
    for (int value = StartWithSession; value <= Autogame; ++value) {
        if (OptionOn(value)) {
            m_options[value - 1]->SetState(skin::RichText::StateSelected);
        }
    }
    m_maxnum = new QLineEdit(this);
    m_maxnum->setObjectName(QStringLiteral("settings.maxnum"));
    m_maxnum->setGeometry(MaxnumPlace);
    QFont font = m_maxnum->font();
    font.setPixelSize(12);
    m_maxnum->setFont(font);
    m_maxnum->setText(FromUtf8(m_form.maxnum));
    m_maxnum->hide();
    SelectTab(static_cast<int>(store::SettingsTab::General));
}

GameSetDlg::~GameSetDlg() = default;

int GameSetDlg::Run()
{
    return ModalRunner::Instance().Run(this, QStringLiteral("设置"));
}

skin::RichText* GameSetDlg::OptionLine(int value) const
{
    return value >= StartWithSession && value <= Autogame ? m_options[value - 1].get() : nullptr;
}

skin::RichText* GameSetDlg::TabButton(int tab) const
{
    return tab >= 1 && tab <= 3 ? m_tabButtons[tab - 1].get() : nullptr;
}

bool GameSetDlg::OptionOn(int value) const
{
    switch (value) {
    case StartWithSession:
        return m_form.startWithSession;
    case CloseToTray:
        return m_form.closeToTray;
    case ResumeUnfinished:
        return m_form.resumeUnfinished;
    case Shortcut:
        return m_form.shortcut;
    case Autogame:
        return m_form.autogame;
    default:
        return false;
    }
}

void GameSetDlg::ShowTabContents(int tab, bool visible)
{
    if (tab < 1 || tab > 3) {
        return;
    }
    for (const int value : TabOptions[tab - 1]) {
        if (value != 0) {
            m_options[value - 1]->Show(visible);
        }
    }
    if (tab == static_cast<int>(store::SettingsTab::Download)) {
        m_maxnumLabel->Show(visible);
        m_maxnum->setVisible(visible);
    }
}

void GameSetDlg::SelectTab(int value)
{
    if (value == CloseValue) {
        ModalRunner::Instance().Done(this, ModalRunner::Cancel);
        return;
    }
    if (value == m_shown || value < 1 || value > 3) {
        return;
    }
    if (m_shown >= 1) {
        m_tabButtons[m_shown - 1]->SetState(skin::RichText::StateNormal);
        ShowTabContents(m_shown, false);
    }
    m_tabButtons[value - 1]->SetState(skin::RichText::StateSelected);
    ShowTabContents(value, true);
    m_shown = value;
    update();
}

void GameSetDlg::OnOption(int value)
{
    bool* field = nullptr;
    switch (value) {
    case StartWithSession:
        field = &m_form.startWithSession;
        break;
    case CloseToTray:
        field = &m_form.closeToTray;
        break;
    case ResumeUnfinished:
        field = &m_form.resumeUnfinished;
        break;
    case Shortcut:
        field = &m_form.shortcut;
        break;
    case Autogame:
        field = &m_form.autogame;
        break;
    default:
        return;
    }
    *field = !*field;
    m_options[value - 1]->SetState(*field ? skin::RichText::StateSelected : skin::RichText::StateNormal);
}

void GameSetDlg::OnApply(int value)
{
    m_form.maxnum = ToUtf8(m_maxnum->text());
    const store::TabApplied applied =
        store::ApplySettingsTab(m_form, static_cast<store::SettingsTab>(m_shown), m_settings);
    if (applied.maxnum != store::MaxnumCheck::Valid) {
        const QString text = applied.maxnum == store::MaxnumCheck::Empty
                                 ? QStringLiteral("下载个数不能为空！")
                                 : QStringLiteral("最大下载个数必须在1到10之间！");
        MsgBox::Ask(QStringLiteral("Marlune"), text, 0, m_theme, m_texts, this);
        m_maxnum->setFocus();
        return;
    }
    if (applied.autostart) {
        // Without a config folder the entry cannot be written; the choice is still saved.
        (void)store::SetAutostart(*applied.autostart);
    }
    (void)store::DataFileLoader(0, m_programDir).SaveSettings("set.xml", m_settings);
    if (value == OkValue) {
        ModalRunner::Instance().Done(this, ModalRunner::Ok);
    }
}

void GameSetDlg::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect area = event->rect();
    painter.drawImage(area, m_background, area);
    m_title->Draw(painter, 10, 10, this);
    m_close->Draw(painter, Width - 50, 0, this);
    for (int k = 0; k < 3; ++k) {
        m_tabButtons[k]->Draw(painter, 5, 25 + 30 * k, this);
    }
    for (int k = 0; k < 3; ++k) {
        m_tabLabels[k]->Draw(painter, 20, 35 + 30 * k, this);
    }
    for (int tab = 0; tab < 3; ++tab) {
        const int first = TabOptions[tab][0];
        const int second = TabOptions[tab][1];
        m_options[first - 1]->Draw(painter, 140, 60, this);
        if (second != 0) {
            m_options[second - 1]->Draw(painter, 140, 95, this);
        }
    }
    m_maxnumLabel->Draw(painter, 140, 95, this);
    m_ok->Draw(painter, 190, 150, this);
    m_apply->Draw(painter, 250, 150, this);
    m_exit->Draw(painter, 320, 150, this);
}

void GameSetDlg::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        skin::StartWindowMove(this, event);
        return;
    }
    QWidget::mousePressEvent(event);
}

void GameSetDlg::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        OnApply(OkValue);
        return;
    case Qt::Key_Escape:
        SelectTab(CloseValue);
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

} // namespace views
