#pragma once

// Shared by the browsing tests: a program folder with game pictures, a catalogue and category tree
// built in code, and a receiver that records what the widgets post.

#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include <QColor>
#include <QImage>
#include <QString>
#include <QTemporaryDir>

#include "platform/HandleTable.h"
#include "store/Stores.h"

namespace browse_test {

// A one-pixel GIF (Qt reads GIF but cannot write it).
inline const std::string& TinyGif()
{
    static const std::string gif("GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\x00\x00\x00\x00\x00"
                                 ",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;",
                                 35);
    return gif;
}

// A program folder with ico/ and pic/, removed with the object.
class PictureFolder
{
public:
    PictureFolder()
    {
        std::filesystem::create_directories(Path() / "ico");
        std::filesystem::create_directories(Path() / "pic");
    }
    std::filesystem::path Path() const { return m_dir.path().toStdString(); }
    std::string Dir() const { return m_dir.path().toStdString() + "/"; }

    // Writes a picture of size in format ("PNG", "JPG") at relative ("pic/1_1.jpg").
    void Picture(const std::string& relative, QSize size, const char* format = "PNG", QColor colour = Qt::red) const
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        image.save(QString::fromStdString((Path() / relative).string()), format);
    }
    void Bytes(const std::string& relative, const std::string& bytes) const
    {
        std::ofstream out(Path() / relative, std::ios::binary);
        out << bytes;
    }

private:
    QTemporaryDir m_dir;
};

// A game record with the fields the views show.
inline store::GameRecord Game(int id, std::int32_t state = store::game_state::NotDownloaded)
{
    store::GameRecord record;
    record.id = std::to_string(id);
    record.name = "游戏" + record.id;
    record.srcname = "(Game " + record.id + ")";
    record.language = "中文";
    record.size = "812K";
    record.views = "1024";
    record.detailintro = "简介" + record.id;
    record.playskill = "攻略" + record.id;
    record.icopic = "ico\\" + record.id + ".png";
    record.state = state;
    if (state == store::game_state::Downloaded) {
        record.dawndate = "2010-5-" + std::to_string(1 + id % 28) + " 10:0:0";
    }
    return record;
}

// Puts a game into the catalogue and into category/sub of the tree.
inline void AddGame(store::Stores& stores, const store::GameRecord& record, int category, int sub)
{
    stores.catalogue[record.id] = record;
    store::CategoryNode& node = stores.categories.nodes[std::to_string(category)];
    node.id = std::to_string(category);
    if (node.name.empty()) {
        node.name = "分类" + node.id;
    }
    store::SubCategoryNode& subNode = node.subs[std::to_string(sub)];
    subNode.id = std::to_string(sub);
    if (subNode.name.empty()) {
        subNode.name = "子类" + subNode.id;
    }
    subNode.games[record.id] = record.name;
}

// Records every message posted to its handle.
class Recorder : public platform::MessageSink
{
public:
    Recorder()
        : m_window(this)
    {}

    platform::WindowHandle Handle() const { return m_window.Handle(); }
    void Accept(const platform::Message& message) override
    {
        std::lock_guard lock(m_mutex);
        m_messages.push_back(message);
    }
    // The wParams of the messages with that id, in order, and forgets all messages.
    std::vector<platform::Param> Take(platform::MessageId id)
    {
        std::lock_guard lock(m_mutex);
        std::vector<platform::Param> params;
        for (const platform::Message& message : m_messages) {
            if (message.id == id) {
                params.push_back(message.wParam);
            }
        }
        m_messages.clear();
        return params;
    }

private:
    std::mutex m_mutex;
    std::vector<platform::Message> m_messages;
    platform::ScopedWindow m_window;
};

} // namespace browse_test
