#pragma once

// The settings window: a modal, frameless 400 x 200 window with three tabs (general, download,
// game), two option lines each (the download tab's second is the maximum number of downloads, an
// edit box), and "确定" (apply and close), "应用" (apply) and "退出" (close). Applying takes only
// the options of the tab shown, saves set.xml and, on the general tab, adds or removes the
// autostart entry. Enter is "确定", Escape "退出". GUI thread only.

#include <string>

#include <QImage>
#include <QWidget>

#include "skin/SkinEngine.h"
#include "store/SettingsForm.h"

class QLineEdit;

namespace views {

class SkinTheme;
class UiTexts;

class GameSetDlg : public QWidget
{
public:
    static constexpr int Width = 400;
    static constexpr int Height = 200;
    // Option click values, in the order of the tabs.
    static constexpr int StartWithSession = 1;
    static constexpr int CloseToTray = 2;
    static constexpr int ResumeUnfinished = 3;
    static constexpr int Shortcut = 4;
    static constexpr int Autogame = 5;
    // Buttons: the apply handler's values, and the tab handler's close.
    static constexpr int OkValue = 1;
    static constexpr int ApplyValue = 2;
    static constexpr int CloseValue = 0;

    // settings: changed and saved (programDir + "set.xml") when a tab is applied.
    GameSetDlg(store::BoxSettings& settings,
               const SkinTheme& theme,
               const UiTexts& texts,
               std::string programDir,
               QWidget* parent);
    ~GameSetDlg() override;
    GameSetDlg(const GameSetDlg&) = delete;
    GameSetDlg& operator=(const GameSetDlg&) = delete;
    GameSetDlg(GameSetDlg&&) = delete;
    GameSetDlg& operator=(GameSetDlg&&) = delete;

    // Runs the window modally through ModalRunner: 1 after "确定" applied, 2 when closed otherwise.
    int Run();
    // Tab handler: 0 closes without applying, 1-3 show that tab.
    void SelectTab(int value);

    int ShownTab() const { return m_shown; }
    const store::SettingsForm& Form() const { return m_form; }
    skin::RichText* OptionLine(int value) const;
    skin::RichText* TabButton(int tab) const;
    skin::RichText* OkButton() const { return m_ok.get(); }
    skin::RichText* ApplyButton() const { return m_apply.get(); }
    skin::RichText* ExitButton() const { return m_exit.get(); }
    skin::RichText* CloseButton() const { return m_close.get(); }
    QLineEdit* MaxnumEdit() const { return m_maxnum; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnOption(int value);
    void OnApply(int value);
    bool OptionOn(int value) const;
    void ShowTabContents(int tab, bool visible);

    store::BoxSettings& m_settings;
    const SkinTheme& m_theme;
    const UiTexts& m_texts;
    const std::string m_programDir;
    store::SettingsForm m_form;
    int m_shown = -1;
    skin::Owned<skin::RichText> m_title;
    skin::Owned<skin::RichText> m_close;
    skin::Owned<skin::RichText> m_tabLabels[3];
    skin::Owned<skin::RichText> m_tabButtons[3];
    skin::Owned<skin::RichText> m_options[5];
    skin::Owned<skin::RichText> m_maxnumLabel;
    skin::Owned<skin::RichText> m_ok;
    skin::Owned<skin::RichText> m_apply;
    skin::Owned<skin::RichText> m_exit;
    QLineEdit* m_maxnum = nullptr;
    QImage m_background;
};

} // namespace views
