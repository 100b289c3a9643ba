#pragma once

// The card of the selected game under the centre area of the main window: name, source, facts
// line, numbered picture buttons, introduction and strategy buttons, the action button (download
// or open), and while downloading the pause (or continue) and stop buttons, the percentage and
// the bar. It draws into the
// main window and posts its clicks there; the download queue drives ShowProgress and SetAction.
// GUI thread only.

#include <map>
#include <string>

#include <QPointer>
#include <QRect>
#include <QString>

#include "platform/HandleTable.h"
#include "skin/SkinEngine.h"
#include "store/GameCatalogue.h"

class QPainter;
class QWidget;

namespace views {

class InfoScreen;
class SkinTheme;
class UiTexts;

class GameSummaryCard
{
public:
    // Values bound to the action and stop buttons.
    static constexpr int StopValue = 0;     // stop button: cancel the download
    static constexpr int OpenValue = 1;     // action "打开游戏": play
    static constexpr int DownloadValue = 2; // action "开始下载": start the download
    static constexpr int PauseValue = 3;    // pause button while downloading
    static constexpr int ContinueValue = 4; // continue button while paused
    // Kinds of ShowProgress.
    static constexpr int ProgressOff = 0; // back to the action button
    static constexpr int ProgressOn = 1;  // percentage, bar and stop button
    // Values bound to the introduction and strategy buttons.
    static constexpr int IntroductionValue = 0;
    static constexpr int StrategyValue = 1;

    // host: the main window it draws into (its size lays the card out); mainWindow: where clicks
    // are posted; info: the info screen it drives; programDir ends in "/".
    GameSummaryCard(const SkinTheme& theme,
                    const UiTexts& texts,
                    QWidget* host,
                    platform::WindowHandle mainWindow,
                    InfoScreen* info,
                    std::string programDir);
    ~GameSummaryCard();
    GameSummaryCard(const GameSummaryCard&) = delete;
    GameSummaryCard& operator=(const GameSummaryCard&) = delete;
    GameSummaryCard(GameSummaryCard&&) = delete;
    GameSummaryCard& operator=(GameSummaryCard&&) = delete;

    // Lays the card out for a main window of width x height and repaints it.
    void Relayout(int width, int height);
    // After a resize: the empty card, or the current picture (the default one without pictures).
    void Refresh();
    // Shows a game (a record with an empty id empties the card). The game already shown changes
    // nothing: its chosen picture and its progress stay.
    void ShowGame(const store::GameRecord& record);
    // For the shown game only: ProgressOn shows percent (0-100) with the bar and the stop button,
    // ProgressOff the download button again.
    void ShowProgress(int gameId, int kind, int percent);
    // For the shown game only, while it shows progress: the pause button (false) or the continue
    // button (true) beside the stop button.
    void ShowPaused(int gameId, bool paused);
    // For the shown game only: the action button shows text (UTF-8) and a click posts for value.
    void SetAction(int gameId, const std::string& text, int value);
    // Draws at the card's place in the main window; the buttons become live there.
    void Draw(QPainter& painter, QWidget* window);

    // The shown game's id text (empty: none) and number (0: none).
    const std::string& GameIdText() const { return m_gameId; }
    int GameId() const { return m_gameNumber; }
    QRect Rect() const { return m_rect; }
    int PictureCount() const { return static_cast<int>(m_pictures.size()); }
    int CurrentPicture() const { return m_currentPicture; }
    // The file path of picture n, as the catalogue has it; empty when there is no such button.
    std::string PicturePath(int n) const;
    skin::RichText* PictureButton(int n) const;
    skin::RichText* NameText() const { return m_name.get(); }
    skin::RichText* SourceText() const { return m_source.get(); }
    skin::RichText* FactsText() const { return m_facts.get(); }
    skin::RichText* ActionButton() const { return m_action.get(); }
    skin::RichText* StopButton() const { return m_stop.get(); }
    // The pause or continue button (one object, relabelled), shown with the stop button.
    skin::RichText* PauseButton() const { return m_pause.get(); }
    bool ShowsPaused() const { return m_paused; }
    skin::RichText* PercentText() const { return m_percentText.get(); }
    skin::RichText* IntroductionButton() const { return m_introButton.get(); }
    skin::RichText* StrategyButton() const { return m_strategyButton.get(); }
    bool Downloading() const { return m_downloading; }
    int Percent() const { return m_percent; }
    int ActionValue() const { return m_actionValue; }

private:
    struct PictureButtonEntry
    {
        std::string path;
        skin::Owned<skin::RichText> button;
    };

    void Clear();
    void FormatTexts();
    void ShowEmpty();
    void FormatAction(const QString& text, int value);
    void FormatPause(bool paused);
    void HideProgress();
    void ChoosePicture(int n);
    void OnText(int value);
    void OnAction(int value);
    void InvalidateButtons() const;
    void Invalidate(const QRect& area) const;

    const SkinTheme& m_theme;
    const UiTexts& m_texts;
    QPointer<QWidget> m_host;
    const platform::WindowHandle m_mainWindow;
    InfoScreen* m_info;
    const std::string m_programDir;

    std::string m_gameId;
    int m_gameNumber = 0;
    QRect m_rect;
    skin::Owned<skin::RichText> m_name;
    skin::Owned<skin::RichText> m_source;
    skin::Owned<skin::RichText> m_facts;
    skin::Owned<skin::RichText> m_action;
    skin::Owned<skin::RichText> m_stop;
    skin::Owned<skin::RichText> m_pause;
    skin::Owned<skin::RichText> m_percentText;
    skin::Owned<skin::RichText> m_introButton;
    skin::Owned<skin::RichText> m_strategyButton;
    std::map<int, PictureButtonEntry> m_pictures;
    int m_currentPicture = 0;
    QString m_nameText; // as shown, UTF-16
    QString m_sourceText;
    QString m_factsText;
    std::string m_introduction;
    std::string m_strategy;
    int m_percent = 0;
    bool m_downloading = false;
    bool m_paused = false;
    int m_actionValue = DownloadValue;
};

} // namespace views
