#pragma once

// The download manager's "正在下载" page: one row per running or paused download, in id order, with
// its name, percentage, speed, a bar and pause, continue and remove buttons; a header with the
// number of downloads, their total size and a link that opens the download folder. It learns
// everything from messages (the control thread's direct report, the results and progress the
// main window relays through the manager) and acts only by posting requests to the main window.
// GUI thread only.

#include <map>
#include <string>

#include <QImage>
#include <QRect>

#include "browse/ManagerLists.h"
#include "skin/SkinEngine.h"
#include "views/MessageWindow.h"

namespace store {
struct Stores;
}

namespace views {

class SkinTheme;
class UiTexts;

class DowningDlg : public MessageWindow
{
public:
    static constexpr int Width = 519;
    static constexpr int Height = 400;
    // Rows: the first at y 47, one every 32 pixels, 500 wide.
    static constexpr int FirstRowTop = 47;
    static constexpr int RowPitch = 32;
    static constexpr int RowWidth = 500;
    // Row button actions (low word of DowningRequest).
    static constexpr std::uint32_t RemoveAction = 0;
    static constexpr std::uint32_t ContinueAction = 1;
    static constexpr std::uint32_t PauseAction = 2;

    // The drawn objects of one row.
    struct RowTexts
    {
        skin::Owned<skin::RichText> name;
        skin::Owned<skin::RichText> percent;
        skin::Owned<skin::RichText> speed;
        skin::Owned<skin::RichText> pause;
        skin::Owned<skin::RichText> resume;
        skin::Owned<skin::RichText> remove;
    };

    // mainWindow: where the requests go (and who is asked for the direct report); notify: the
    // window told the number of rows (the manager). Asks for the direct report at once.
    DowningDlg(const store::Stores& stores,
               const SkinTheme& theme,
               const UiTexts& texts,
               std::string programDir,
               platform::WindowHandle mainWindow,
               platform::WindowHandle notify,
               QWidget* parent);
    ~DowningDlg() override;
    DowningDlg(const DowningDlg&) = delete;
    DowningDlg& operator=(const DowningDlg&) = delete;
    DowningDlg(DowningDlg&&) = delete;
    DowningDlg& operator=(DowningDlg&&) = delete;

    const browse::DownloadRows& Rows() const { return m_rows; }
    // The objects of a listed game's row, null when it is not listed.
    const RowTexts* Row(int id) const;
    // The row's rectangle: (0, 47 + 32 n) to (500, 79 + 32 n) for the n-th row from the top.
    QRect RowRect(int id) const;
    skin::RichText* CountText() const { return m_count.get(); }
    skin::RichText* SizeText() const { return m_size.get(); }
    skin::RichText* FolderLink() const { return m_folder.get(); }

protected:
    void OnMessage(const platform::Message& message) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Apply(browse::RowChange change, int id);
    void MakeRow(int id);
    void WriteRow(int id);
    void LayOut();
    void OnButton(std::uint32_t packed);
    void OnRequest(const platform::Message& message);
    QString TextMarkup(const QString& text) const;

    const store::Stores& m_stores;
    const SkinTheme& m_theme;
    const UiTexts& m_texts;
    const std::string m_programDir;
    const platform::WindowHandle m_mainWindow;
    const platform::WindowHandle m_notify;
    browse::DownloadRows m_rows;
    std::map<int, RowTexts> m_rowTexts;
    skin::Owned<skin::RichText> m_caption;
    skin::Owned<skin::RichText> m_count;
    skin::Owned<skin::RichText> m_caption2;
    skin::Owned<skin::RichText> m_size;
    skin::Owned<skin::RichText> m_folder;
    skin::Owned<skin::RichText> m_headerRule;
    skin::Owned<skin::RichText> m_rowRule;
    QImage m_background;
};

} // namespace views
