#pragma once

// The bar drawn along the main window's edges: the window buttons (minimise, maximise or restore,
// close), the row of category buttons, the online/local switch and the status line (version,
// contact link, downloading count, speed, details link). Clicks are posted to the main window.
// GUI thread only.

#include <map>
#include <string>
#include <vector>

#include "platform/HandleTable.h"
#include "skin/SkinEngine.h"

class QPainter;
class QWidget;

namespace store {
struct BoxSettings;
struct CategoryTree;
} // namespace store

namespace views {

class SkinTheme;
class UiTexts;

class NavigationBar
{
public:
    // Window button values, bound to their buttons and posted in the high word of WindowButton.
    static constexpr int CloseButton = 0;
    static constexpr int MaximiseButton = 1;
    static constexpr int RestoreButton = 2;
    static constexpr int MinimiseButton = 3;
    // Status kinds of ShowStatus.
    static constexpr int CountStatus = 3;
    static constexpr int SpeedStatus = 4;
    // Link values, posted in the high word of LinkClicked.
    static constexpr int ContactLink = 2;
    static constexpr int DetailsLink = 5;

    // Writes the fixed markup of the window buttons and the status line; the restore button
    // starts hidden.
    NavigationBar(platform::WindowHandle mainWindow,
                  const SkinTheme& theme,
                  const UiTexts& texts,
                  const store::BoxSettings& settings);
    ~NavigationBar();
    NavigationBar(const NavigationBar&) = delete;
    NavigationBar& operator=(const NavigationBar&) = delete;
    NavigationBar(NavigationBar&&) = delete;
    NavigationBar& operator=(NavigationBar&&) = delete;

    // Tabs of the online/local switch, posted in the high word of TabChosen.
    static constexpr int OnlineTab = 0;
    static constexpr int LocalTab = 1;

    // One category button per top category, in ascending id order (keys that no message can
    // carry get none). Replaces the buttons of an earlier fill.
    void FillCategories(const store::CategoryTree& categories);
    // Makes id the current category and posts CategoryChosen; the current one again does nothing.
    // Also the click handler of the category buttons.
    void SelectCategory(int id);
    // The caption of tab (0 online, 1 local): its text, "搜索" when it shows a search, the count.
    void SetOnlineLocal(int tab, bool search, int count);
    // Gives tab the current look (no message).
    void SelectTab(int tab);

    // Draws everything at its place for the window's current size; anchors become live there.
    void Draw(QPainter& painter, QWidget* window);
    // Kind 3 sets the downloading count text, kind 4 the speed; other kinds do nothing.
    void ShowStatus(int kind, const std::string& text);

    int CurrentCategory() const { return m_currentCategory; }
    int CurrentTab() const { return m_tab; }
    skin::RichText* CategoryButton(int id) const;
    std::vector<int> CategoryIds() const;
    skin::RichText* TabButton(int tab) const;
    skin::RichText* WindowButton(int value) const;
    skin::RichText* VersionText() const { return m_version.get(); }
    skin::RichText* CountText() const { return m_count.get(); }
    skin::RichText* SpeedText() const { return m_speed.get(); }
    skin::RichText* ContactLinkText() const { return m_contact.get(); }
    skin::RichText* DetailsLinkText() const { return m_details.get(); }

private:
    struct Category
    {
        std::string name;
        skin::Owned<skin::RichText> button;
    };
    struct Caption
    {
        bool search = false;
        int count = 0;
    };

    void FormatCategory(Category& category, bool current) const;
    void FormatTab(int tab);
    void OnTab(int tab);
    void OnWindowButton(int value);
    void OnLink(int value);
    void FormatStatus(skin::RichText& text, const std::string& content) const;

    const platform::WindowHandle m_mainWindow;
    const SkinTheme& m_theme;
    const UiTexts& m_texts;
    skin::Owned<skin::RichText> m_close;
    skin::Owned<skin::RichText> m_maximise;
    skin::Owned<skin::RichText> m_restore;
    skin::Owned<skin::RichText> m_minimise;
    skin::Owned<skin::RichText> m_version;
    skin::Owned<skin::RichText> m_contact;
    skin::Owned<skin::RichText> m_count;
    skin::Owned<skin::RichText> m_speed;
    skin::Owned<skin::RichText> m_details;
    std::map<int, Category> m_categories;
    int m_currentCategory = 0;
    skin::Owned<skin::RichText> m_tabs[2];
    Caption m_captions[2];
    int m_tab = OnlineTab;
};

} // namespace views
