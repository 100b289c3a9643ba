#include "views/GameSummaryCard.h"

#include <algorithm>

#include <QFileInfo>
#include <QPainter>
#include <QWidget>

#include "browse/GameId.h"
#include "platform/Messages.h"
#include "views/InfoScreen.h"
#include "views/PictureFile.h"
#include "views/SkinMarkup.h"
#include "views/SkinTheme.h"
#include "views/UiTexts.h"

namespace views {
namespace {

namespace msg = platform::msg;

constexpr int SourceStyle = 5; // source and facts
constexpr int NameStyle = 6;   // name, introduction and strategy buttons
constexpr int ActionStyle = 7; // action button and percentage
constexpr int PictureStyle = 9;
constexpr int ActionPicture = 307;
constexpr int PictureButtonPicture = 321;
constexpr int TextButtonPicture = 318;
constexpr int StopPicture = 330;
constexpr int PausePicture = 319;
constexpr int ContinuePicture = 306;
constexpr int BarImage = 322;
// UiTexts entries.
constexpr int LanguageLabel = 20;
constexpr int SizeLabel = 21;
constexpr int ViewsLabel = 22;
constexpr int IntroductionLabel = 24;
constexpr int StrategyLabel = 25;
constexpr int DownloadLabel = 26;
constexpr int PauseTip = 27;
constexpr int ContinueTip = 28;
constexpr int StopTip = 29;
constexpr int OpenLabel = 30;
constexpr const char* Nothing = "暂无";
constexpr const char* NoIntroduction = "暂无简介";
constexpr const char* NoStrategy = "暂无攻略";
// Card layout, from the card's rectangle.
constexpr int CardHeight = 95;
constexpr int BottomMargin = 40;
constexpr int RightMargin = 315;
constexpr int PictureButtonPitch = 25;
constexpr int PictureButtonWidth = 24;

std::string WithoutParentheses(std::string text)
{
    std::erase_if(text, [](char c) { return c == '(' || c == ')'; });
    return text;
}

} // namespace

GameSummaryCard::GameSummaryCard(const SkinTheme& theme,
                                 const UiTexts& texts,
                                 QWidget* host,
                                 platform::WindowHandle mainWindow,
                                 InfoScreen* info,
                                 std::string programDir)
    : m_theme(theme)
    , m_texts(texts)
    , m_host(host)
    , m_mainWindow(mainWindow)
    , m_info(info)
    , m_programDir(std::move(programDir))
    , m_name(skin::Make<skin::RichText>())
    , m_source(skin::Make<skin::RichText>())
    , m_facts(skin::Make<skin::RichText>())
    , m_action(skin::Make<skin::RichText>())
    , m_stop(skin::Make<skin::RichText>())
    , m_pause(skin::Make<skin::RichText>())
    , m_percentText(skin::Make<skin::RichText>())
    , m_introButton(skin::Make<skin::RichText>())
    , m_strategyButton(skin::Make<skin::RichText>())
{
    m_name->SetObjectName(QStringLiteral("card.name"));
    m_source->SetObjectName(QStringLiteral("card.source"));
    m_facts->SetObjectName(QStringLiteral("card.facts"));
    m_action->SetObjectName(QStringLiteral("card.action"));
    m_stop->SetObjectName(QStringLiteral("card.stop"));
    m_pause->SetObjectName(QStringLiteral("card.pause"));
    m_percentText->SetObjectName(QStringLiteral("card.percent"));
    m_introButton->SetObjectName(QStringLiteral("card.introduction"));
    m_strategyButton->SetObjectName(QStringLiteral("card.strategy"));

    const TextStyle& style = m_theme.Style(NameStyle);
    const auto textButton = [&](skin::RichText& button, int label, int value) {
        button.Format(QStringLiteral("/global,c=%1,font,font_face=%2,font_height=%3//a,p5=%4,btn_width=42,"
                                     "btn_text='%5'/")
                          .arg(Hex(style.colour), m_theme.FontFaceText())
                          .arg(style.height)
                          .arg(m_theme.PictureId(TextButtonPicture))
                          .arg(QuotedValue(m_texts.At(label))));
        button.BindClick(value, this, &GameSummaryCard::OnText);
    };
    textButton(*m_introButton, IntroductionLabel, IntroductionValue);
    textButton(*m_strategyButton, StrategyLabel, StrategyValue);

    m_stop->Format(QStringLiteral("/a,p5=%1,linkt='%2'/")
                       .arg(m_theme.PictureId(StopPicture))
                       .arg(QuotedValue(m_texts.At(StopTip))));
    m_stop->BindClick(StopValue, this, &GameSummaryCard::OnAction);
    FormatPause(false);
    if (m_host) {
        Relayout(m_host->width(), m_host->height());
    }
    ShowEmpty();
}

GameSummaryCard::~GameSummaryCard() = default;

void GameSummaryCard::Relayout(int width, int height)
{
    const int bottom = height - BottomMargin;
    m_rect = QRect(QPoint(m_theme.Margin(1).left, bottom - CardHeight), QPoint(width - RightMargin, bottom));
    FormatTexts();
    Invalidate(QRect(m_rect.left(), m_rect.bottom() - 125, m_rect.width(), 126));
}

void GameSummaryCard::FormatTexts()
{
    // Long texts end in "..." before the action button (the name before the card's edge).
    const int left = m_rect.left() + 10;
    const int nameWidth = std::max(10, m_rect.right() - 10 - left);
    const int factsWidth = std::max(10, m_rect.right() - 120 - left);
    const QString face = m_theme.FontFaceText();
    const TextStyle& nameStyle = m_theme.Style(NameStyle);
    m_name->Format(QStringLiteral("/c=%1,font,font_face=%2,font_height=%3,font_bold=1,line_width=%4,single_line=2/%5")
                       .arg(Hex(nameStyle.colour), face)
                       .arg(nameStyle.height)
                       .arg(nameWidth)
                       .arg(skin::EscapeMarkupText(m_nameText)));
    const TextStyle& sourceStyle = m_theme.Style(SourceStyle);
    const auto plain = [&](skin::RichText& text, const QString& content) {
        text.Format(QStringLiteral("/c=%1,font,font_face=%2,font_height=%3,line_width=%4,single_line=2/%5")
                        .arg(Hex(sourceStyle.colour), face)
                        .arg(sourceStyle.height)
                        .arg(factsWidth)
                        .arg(skin::EscapeMarkupText(content)));
    };
    plain(*m_source, m_sourceText);
    plain(*m_facts, m_factsText);
}

void GameSummaryCard::Refresh()
{
    if (m_gameId.empty()) {
        ShowEmpty();
        return;
    }
    if (m_info == nullptr) {
        return;
    }
    if (m_currentPicture > 0 && m_pictures.contains(m_currentPicture)) {
        m_info->Show(InfoScreen::PictureMode, m_pictures.at(m_currentPicture).path);
    } else {
        m_info->Show(InfoScreen::PictureMode, {});
    }
}

void GameSummaryCard::Clear()
{
    m_pictures.clear();
    m_currentPicture = 0;
}

void GameSummaryCard::ShowGame(const store::GameRecord& record)
{
    if (!record.id.empty() && record.id == m_gameId) {
        return;
    }
    Clear();
    m_gameId = record.id;
    m_gameNumber = browse::MessageId(record.id).value_or(0);
    if (record.id.empty()) {
        ShowEmpty();
        return;
    }

    FormatAction(FromUtf8(m_texts.At(record.state < store::game_state::Downloaded ? DownloadLabel : OpenLabel)),
                 record.state < store::game_state::Downloaded ? DownloadValue : OpenValue);
    m_action->Show(true);
    HideProgress();

    m_nameText = FromUtf8(record.name);
    m_sourceText = FromUtf8(WithoutParentheses(record.srcname));
    const std::string facts = m_texts.At(LanguageLabel) + "：" + record.language + " " + m_texts.At(SizeLabel) + "："
                              + record.size + " " + m_texts.At(ViewsLabel) + "：" + record.views;
    m_factsText = FromUtf8(facts);
    FormatTexts();
    m_introduction = record.detailintro;
    m_strategy = record.playskill;

    const TextStyle& style = m_theme.Style(PictureStyle);
    int n = 0;
    for (const std::string& path : record.pictures) {
        const QString file = GamePictureFile(m_programDir, path);
        if (file.isEmpty() || !QFileInfo(file).isFile()) {
            continue;
        }
        ++n;
        PictureButtonEntry entry{path, skin::Make<skin::RichText>()};
        entry.button->Format(QStringLiteral("/global,c=%1,font,font_face=%2,font_height=%3//a,p5=%4,btn_text='%5',"
                                            "btn_height=23,btn_width=24/")
                                 .arg(Hex(style.colour), m_theme.FontFaceText())
                                 .arg(style.height)
                                 .arg(m_theme.PictureId(PictureButtonPicture))
                                 .arg(n));
        entry.button->BindClick(n, this, &GameSummaryCard::ChoosePicture);
        entry.button->SetObjectName(QStringLiteral("card.picture%1").arg(n));
        m_pictures.emplace(n, std::move(entry));
    }
    if (m_pictures.empty()) {
        if (m_info != nullptr) {
            m_info->Show(InfoScreen::PictureMode, {});
        }
    } else {
        ChoosePicture(1);
    }
    Invalidate(QRect(m_rect.left(), m_rect.bottom() - 125, m_rect.width(), 126));
}

void GameSummaryCard::ShowEmpty()
{
    m_nameText = FromUtf8(Nothing);
    m_sourceText = FromUtf8(Nothing);
    m_factsText = FromUtf8(Nothing);
    FormatTexts();
    m_introduction = NoIntroduction;
    m_strategy = NoStrategy;
    m_action->Show(false);
    HideProgress();
    if (m_info != nullptr) {
        m_info->Show(InfoScreen::PictureMode, {});
    }
    Invalidate(QRect(m_rect.left(), m_rect.bottom() - 125, m_rect.width(), 126));
}

void GameSummaryCard::FormatAction(const QString& text, int value)
{
    const TextStyle& style = m_theme.Style(ActionStyle);
    m_action->Format(QStringLiteral("/global,c=%1,font,font_face=%2,font_height=%3//a,p5=%4,btn_width=100,"
                                    "btn_text='%5'/")
                         .arg(Hex(style.colour), m_theme.FontFaceText())
                         .arg(style.height)
                         .arg(m_theme.PictureId(ActionPicture))
                         .arg(QuotedValue(text)));
    m_action->BindClick(value, this, &GameSummaryCard::OnAction);
    m_actionValue = value;
}

void GameSummaryCard::ChoosePicture(int n)
{
    const auto chosen = m_pictures.find(n);
    if (chosen == m_pictures.end()) {
        return;
    }
    const TextStyle& style = m_theme.Style(PictureStyle);
    const auto look = [&](skin::RichText& button, int number, bool current) {
        button.Format(QStringLiteral("/global,c=%1,font,font_face=%2,font_height=%3//a,p5=%4,btn_text='%5',"
                                     "btn_height=23,btn_width=24/")
                          .arg(Hex(current ? style.second : style.colour), m_theme.FontFaceText())
                          .arg(style.height)
                          .arg(m_theme.PictureId(PictureButtonPicture))
                          .arg(number));
        button.SetState(current ? skin::RichText::StateSelected : skin::RichText::StateNormal);
    };
    if (const auto old = m_pictures.find(m_currentPicture); old != m_pictures.end() && old != chosen) {
        look(*old->second.button, old->first, false);
    }
    look(*chosen->second.button, n, true);
    m_currentPicture = n;
    if (m_info != nullptr) {
        m_info->Show(InfoScreen::PictureMode, chosen->second.path);
    }
}

void GameSummaryCard::OnText(int value)
{
    if (m_info == nullptr) {
        return;
    }
    const std::string& text = value == IntroductionValue ? m_introduction : m_strategy;
    if (text.empty()) {
        m_info->Show(InfoScreen::TextMode, value == IntroductionValue ? NoIntroduction : NoStrategy);
    } else {
        m_info->Show(InfoScreen::TextMode, text);
    }
}

void GameSummaryCard::OnAction(int value)
{
    if (m_gameNumber == 0) {
        return;
    }
    const auto id = static_cast<std::uint32_t>(m_gameNumber);
    switch (value) {
    case DownloadValue:
        platform::PostMessageTo(m_mainWindow, msg::DownloadRequest, platform::PackWords(id, 1), 0);
        break;
    case OpenValue:
        platform::PostMessageTo(m_mainWindow, msg::GameAction, platform::PackWords(id, msg::game_action::Play), 0);
        FormatAction(QStringLiteral("Loading"), OpenValue);
        break;
    case StopValue:
        FormatAction(FromUtf8(m_texts.At(DownloadLabel)), DownloadValue);
        m_action->Show(true);
        HideProgress();
        platform::PostMessageTo(m_mainWindow, msg::DownloadRequest, platform::PackWords(id, 0), 0);
        break;
    case PauseValue:
        platform::PostMessageTo(m_mainWindow, msg::DownloadRequest, platform::PackWords(id, 2), 0);
        break;
    case ContinueValue:
        platform::PostMessageTo(m_mainWindow, msg::DownloadRequest, platform::PackWords(id, 3), 0);
        break;
    default:
        return;
    }
    InvalidateButtons();
}

void GameSummaryCard::ShowProgress(int gameId, int kind, int percent)
{
    if (gameId == 0 || gameId != m_gameNumber) {
        return;
    }
    if (kind == ProgressOff) {
        FormatAction(FromUtf8(m_texts.At(DownloadLabel)), DownloadValue);
        m_action->Show(true);
        HideProgress();
    } else if (kind == ProgressOn) {
        m_action->Show(false);
        m_percent = std::clamp(percent, 0, 100);
        m_downloading = true;
        m_percentText->Format(QStringLiteral("/c=%1,font,font_face=%2,font_height=10/%3%")
                                  .arg(Hex(m_theme.Style(ActionStyle).colour), m_theme.FontFaceText())
                                  .arg(m_percent));
        m_percentText->Show(true);
        m_stop->Show(true);
        m_pause->Show(true);
    } else {
        return;
    }
    InvalidateButtons();
}

void GameSummaryCard::ShowPaused(int gameId, bool paused)
{
    if (gameId == 0 || gameId != m_gameNumber || !m_downloading || paused == m_paused) {
        return;
    }
    FormatPause(paused);
    InvalidateButtons();
}

void GameSummaryCard::FormatPause(bool paused)
{
    m_paused = paused;
    m_pause->Format(QStringLiteral("/a,p5=%1,linkt='%2'/")
                        .arg(m_theme.PictureId(paused ? ContinuePicture : PausePicture))
                        .arg(QuotedValue(m_texts.At(paused ? ContinueTip : PauseTip))));
    m_pause->BindClick(paused ? ContinueValue : PauseValue, this, &GameSummaryCard::OnAction);
}

void GameSummaryCard::HideProgress()
{
    m_stop->Show(false);
    m_pause->Show(false);
    m_percentText->Show(false);
    m_downloading = false;
    m_percent = 0;
    if (m_paused) {
        FormatPause(false);
    }
}

void GameSummaryCard::SetAction(int gameId, const std::string& text, int value)
{
    if (gameId == 0 || gameId != m_gameNumber) {
        return;
    }
    FormatAction(FromUtf8(text), value);
    InvalidateButtons();
}

void GameSummaryCard::InvalidateButtons() const
{
    Invalidate(
        QRect(QPoint(m_rect.right() - 115, m_rect.bottom() - 45), QPoint(m_rect.right() - 5, m_rect.bottom() - 5)));
}

void GameSummaryCard::Invalidate(const QRect& area) const
{
    if (m_host) {
        m_host->update(area);
    }
}

std::string GameSummaryCard::PicturePath(int n) const
{
    const auto found = m_pictures.find(n);
    return found == m_pictures.end() ? std::string() : found->second.path;
}

skin::RichText* GameSummaryCard::PictureButton(int n) const
{
    const auto found = m_pictures.find(n);
    return found == m_pictures.end() ? nullptr : found->second.button.get();
}

void GameSummaryCard::Draw(QPainter& painter, QWidget* window)
{
    const int left = m_rect.left();
    const int right = m_rect.right();
    const int bottom = m_rect.bottom();
    // The picture buttons that fit before the introduction button.
    for (const auto& [n, entry] : m_pictures) {
        const int x = left + 20 + PictureButtonPitch * (n - 1);
        if (x + PictureButtonWidth > right - 105) {
            break;
        }
        entry.button->Draw(painter, x, bottom - 120, window);
    }
    m_introButton->Draw(painter, right - 100, bottom - 120, window);
    m_strategyButton->Draw(painter, right - 50, bottom - 120, window);
    m_name->Draw(painter, left + 10, bottom - 74, window);
    m_source->Draw(painter, left + 10, bottom - 49, window);
    m_facts->Draw(painter, left + 10, bottom - 24, window);
    m_action->Draw(painter, right - 115, bottom - 44, window);
    m_pause->Draw(painter, right - 55, bottom - 30, window);
    m_stop->Draw(painter, right - 35, bottom - 30, window);
    m_percentText->Draw(painter, right - 110, bottom - 30, window);
    if (m_downloading) {
        const QImage& bar = m_theme.Image(BarImage);
        if (!bar.isNull()) {
            const int y = bottom - 44;
            painter.drawImage(QRect(right - 115, y, 2, 12), bar, QRect(0, 0, 2, 14));
            painter.drawImage(QRect(right - 113, y, 96, 12), bar, QRect(5, 0, 1, 14));
            painter.drawImage(QRect(right - 17, y, 2, 12), bar, QRect(8, 0, 2, 14));
            const int fill = m_percent * 94 / 100;
            if (fill > 0) {
                painter.drawImage(QRect(right - 112, bottom - 41, fill, 6), bar, QRect(3, 3, 1, 7));
            }
        }
    }
}

} // namespace views
