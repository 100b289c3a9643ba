// The day's update and the whole loading against the sample catalogue served by nginx on loopback
// (ctest fixture catalogue_server).

#include <ctime>
#include <set>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "LoadingTestSupport.h"
#include "WaitFor.h"
#include "loading/CatalogueUpdate.h"
#include "loading/LoadingTd.h"
#include "platform/Messages.h"
#include "transfer/Http.h"

namespace loading::test {
namespace {

// Day lists of the sample tree: N mod 3 gives the encoding (0 UTF-8, 1 code page 936 with a
// declaration, 2 without one); on days with N mod 5 = 4 nothing is new.
constexpr int Utf8Day = 3;
constexpr int Cp936DeclaredDay = 1;
constexpr int Cp936Day = 2;
constexpr int NothingNewDay = 4;
constexpr int ResumeDay = 6;
constexpr int RestartDay = 8;

class ServedTest : public ProgramDirTest
{
protected:
    void SetUp() override
    {
        ProgramDirTest::SetUp();
        base = ServedBase();
        ASSERT_FALSE(base.empty()) << "the catalogue server is not running (fixture catalogue_server)";
        fs::copy_file(ServedTree() / "client" / "gamelist.xml", m_dir / "gamelist.xml");
        ASSERT_TRUE(store::DataFileLoader(0, m_dir).LoadCatalogue("gamelist.xml", known));
        ASSERT_EQ(known.size(), 300U);
    }

    // The games of the served day list, read from the tree's file.
    store::GameCatalogue DayList(int day) const
    {
        store::GameCatalogue games;
        const std::string bytes = ReadBytes(ServedTree() / "file" / "cls" / (std::to_string(day) + ".xml"));
        EXPECT_TRUE(store::DataFileLoader(0, m_dir).ParseCatalogue(DecodeDayList(bytes), games));
        return games;
    }
    store::GameCatalogue NewGames(int day) const
    {
        store::GameCatalogue fresh;
        for (const auto& [id, record] : DayList(day)) {
            if (known.count(id) == 0) {
                fresh.emplace(id, record);
            }
        }
        return fresh;
    }
    // Every picture file of the games: catalogue path -> served file.
    static std::map<std::string, fs::path> Pictures(const store::GameCatalogue& games)
    {
        std::map<std::string, fs::path> out;
        for (const auto& [id, record] : games) {
            out[record.icopic] = ServedTree() / "file" / transfer::PictureRelativePath(record.icopic);
            for (const std::string& p : record.pictures) {
                out[p] = ServedTree() / "file" / transfer::PictureRelativePath(p);
            }
        }
        return out;
    }
    void RunUpdate(int day)
    {
        InstalledDaysAgo(m_dir, day);
        StageRecorder recorder;
        catalogue = known;
        dayGames.clear();
        UpdateOptions options;
        options.serverBase = base;
        RunCatalogueUpdate(store::DataFileLoader(recorder.Handle(), m_dir), options, catalogue, dayGames);
        stages = recorder.Stages();
    }

    std::string base;
    store::GameCatalogue known;
    store::GameCatalogue catalogue;
    store::GameCatalogue dayGames;
    Stages stages;
};

class DayListTest
    : public ServedTest
    , public ::testing::WithParamInterface<int>
{};

TEST_P(DayListTest, MergesNewGamesSavesThemAndFetchesTheirPictures)
{
    const int day = GetParam();
    const store::GameCatalogue fresh = NewGames(day);
    ASSERT_FALSE(fresh.empty());
    RunUpdate(day);

    Stages expected{{21, 0}, {22, 0}, {13, 0}, {14, 0}, {23, 0}};
    expected.insert(expected.end(), fresh.size(), {24, 0});
    EXPECT_EQ(stages, expected);
    EXPECT_EQ(dayGames, DayList(day));
    EXPECT_EQ(catalogue.size(), known.size() + fresh.size());
    for (const auto& [id, record] : fresh) {
        EXPECT_EQ(catalogue.at(id), record);
        // Texts arrive whole whatever the list's encoding.
        EXPECT_TRUE(platform::IsValidUtf8(record.name));
        EXPECT_EQ(record.name.find("\xEF\xBF\xBD"), std::string::npos) << record.name;
    }
    store::GameCatalogue saved;
    ASSERT_TRUE(store::DataFileLoader(0, m_dir).LoadCatalogue("gamelist.xml", saved));
    EXPECT_EQ(saved, catalogue);
    for (const auto& [path, served] : Pictures(fresh)) {
        const fs::path local = m_dir / transfer::PictureRelativePath(path);
        EXPECT_EQ(ReadBytes(local), ReadBytes(served)) << path;
        EXPECT_FALSE(fs::exists(transfer::SideFilePath(local.string()))) << path;
    }
}

INSTANTIATE_TEST_SUITE_P(Encodings,
                         DayListTest,
                         ::testing::Values(Utf8Day, Cp936DeclaredDay, Cp936Day),
                         [](const auto& info) { return "day" + std::to_string(info.param); });

TEST_F(ServedTest, ADayWithNothingNewSavesAndFetchesNothing)
{
    ASSERT_TRUE(NewGames(NothingNewDay).empty());
    const auto saved = fs::last_write_time(m_dir / "gamelist.xml");
    RunUpdate(NothingNewDay);
    EXPECT_EQ(stages, (Stages{{21, 0}, {22, 0}, {13, 0}, {14, 0}}));
    EXPECT_EQ(catalogue, known);
    EXPECT_EQ(dayGames, DayList(NothingNewDay));
    EXPECT_EQ(fs::last_write_time(m_dir / "gamelist.xml"), saved);
    EXPECT_TRUE(fs::is_empty(m_dir / "ico"));
    EXPECT_TRUE(fs::is_empty(m_dir / "pic"));
}

TEST_F(ServedTest, MissingListMergesNothing)
{
    const std::string before = ReadBytes(m_dir / "gamelist.xml");
    InstalledDaysAgo(m_dir, Utf8Day);
    StageRecorder recorder;
    catalogue = known;
    UpdateOptions options;
    options.serverBase = base + "no-such-folder/"; // every list answers 404
    RunCatalogueUpdate(store::DataFileLoader(recorder.Handle(), m_dir), options, catalogue, dayGames);
    EXPECT_EQ(recorder.Stages(), (Stages{{21, 0}, {22, 0}}));
    EXPECT_EQ(catalogue, known);
    EXPECT_TRUE(dayGames.empty());
    EXPECT_EQ(ReadBytes(m_dir / "gamelist.xml"), before);
}

// nginx's Last-Modified of a served file, as the side file keeps it (spaces removed, CR kept).
std::string LastModifiedText(const fs::path& served)
{
    struct stat info
    {};
    ::stat(served.c_str(), &info);
    const std::time_t time = info.st_mtime;
    std::tm utc{};
    gmtime_r(&time, &utc);
    char text[64];
    std::strftime(text, sizeof text, "%a,%d%b%Y%H:%M:%SGMT", &utc);
    return std::string(text) + "\r";
}

TEST_F(ServedTest, PartialPictureResumesOnlyWhenTheServerCopyIsUnchanged)
{
    // Two new games' pictures: one partial with the right side file, one with a stale one.
    std::vector<std::pair<std::string, fs::path>> pictures;
    for (const auto& entry : Pictures(NewGames(ResumeDay))) {
        if (fs::file_size(entry.second) > 2000) {
            pictures.push_back(entry);
        }
    }
    ASSERT_GE(pictures.size(), 2U);
    const auto& [resumedPath, resumedServed] = pictures[0];
    const auto& [restartedPath, restartedServed] = pictures[1];
    const fs::path resumed = m_dir / transfer::PictureRelativePath(resumedPath);
    const fs::path restarted = m_dir / transfer::PictureRelativePath(restartedPath);
    fs::create_directories(m_dir / "ico");
    fs::create_directories(m_dir / "pic");
    const std::string resumedBytes = ReadBytes(resumedServed);
    const std::string restartedBytes = ReadBytes(restartedServed);
    WriteBytes(resumed, resumedBytes.substr(0, 1009));
    WriteBytes(transfer::SideFilePath(resumed.string()), "##" + LastModifiedText(resumedServed) + "##");
    WriteBytes(restarted, std::string(1013, 'x'));
    WriteBytes(transfer::SideFilePath(restarted.string()), "##Mon,01Jan200112:00:00GMT\r##");

    const std::uintmax_t logStart = AccessLogSize();
    RunUpdate(ResumeDay);
    EXPECT_EQ(ReadBytes(resumed), resumedBytes);
    EXPECT_EQ(ReadBytes(restarted), restartedBytes);

    const std::vector<std::string> lines = AccessLinesSince(logStart);
    const auto requested = [&lines](const std::string& path, const std::string& range) {
        for (const std::string& line : lines) {
            if (line.find(" /file/" + transfer::PictureRelativePath(path) + " ") != std::string::npos
                && line.find("range=\"bytes=" + range) != std::string::npos) {
                return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(requested(resumedPath, "1009-" + std::to_string(resumedBytes.size()) + "\""));
    EXPECT_FALSE(requested(restartedPath, "1013-"));
}

TEST_F(ServedTest, CompletePictureIsOnlyAskedForItsHeaders)
{
    const store::GameCatalogue fresh = NewGames(RestartDay);
    ASSERT_FALSE(fresh.empty());
    const auto [path, served] = *Pictures(fresh).begin();
    fs::create_directories(m_dir / "ico");
    fs::create_directories(m_dir / "pic");
    const fs::path local = m_dir / transfer::PictureRelativePath(path);
    fs::copy_file(served, local);
    const std::uintmax_t logStart = AccessLogSize();
    RunUpdate(RestartDay);
    std::vector<std::string> requests;
    for (const std::string& line : AccessLinesSince(logStart)) {
        if (line.find(" /file/" + transfer::PictureRelativePath(path) + " ") != std::string::npos) {
            requests.push_back(line);
        }
    }
    ASSERT_EQ(requests.size(), 1U);
    EXPECT_NE(requests[0].find("\"HEAD "), std::string::npos) << requests[0];
}

// --- The whole loading --------------------------------------------------------------------------

TEST_F(ServedTest, LoadingWithTheServerFillsEveryStoreInOrder)
{
    InstalledDaysAgo(m_dir, Utf8Day);
    const store::GameCatalogue fresh = NewGames(Utf8Day);
    // A downloaded game with its log entry, and a log entry for a game not downloaded.
    const std::string downloaded = known.begin()->first;
    const std::string other = std::next(known.begin())->first;
    {
        std::string list = ReadBytes(m_dir / "gamelist.xml");
        const std::string tag = "<game id=\"" + downloaded + "\"";
        const std::size_t at = list.find("</game>", list.find(tag));
        list.insert(at, "<laststate>3</laststate>\r\n");
        WriteBytes(m_dir / "gamelist.xml", list);
        WriteBytes(m_dir / "download" / (downloaded + ".zip"), "PK");
    }
    WriteBytes(m_dir / "DownLog.xml",
               "<downlog>\r\n<log id=\"" + downloaded + "\" dawndate=\"2010-5-3 14:2:7\"/>\r\n<log id=\"" + other
                   + "\" dawndate=\"2009-1-1 1:1:1\"/>\r\n</downlog>\r\n");
    WriteBytes(m_dir / "set.xml", "<set><maxnum value=\"3\"/><shortcut value=\"1\"/></set>");

    store::Stores stores;
    StageRecorder splash;
    int textsBuilt = 0;
    LoadingOptions options;
    options.programDir = m_dir;
    options.update.serverBase = base;
    options.buildTexts = [&] { textsBuilt = static_cast<int>(splash.Stages().size()); };
    LoadingTd loader(stores, options);
    loader.Start();
    loader.SetSplash(splash.Handle());
    ASSERT_TRUE(platform::PostMessageTo(loader.Handle(), platform::msg::LoadStart, 0, 0));
    ASSERT_TRUE(testing_support::WaitFor([&] {
        const Stages s = splash.Stages();
        return !s.empty() && s.back().first == 100;
    }));
    loader.Stop();

    Stages expected{{1, 0}, {11, 0}, {13, 0}, {14, 0}, {21, 0}, {22, 0}, {13, 0}, {14, 0}, {23, 0}};
    expected.insert(expected.end(), fresh.size(), {24, 0});
    expected.insert(expected.end(), {{15, 0}, {31, 0}, {100, 0}});
    EXPECT_EQ(splash.Stages(), expected);
    EXPECT_EQ(textsBuilt, 1); // between stages 1 and 11

    EXPECT_EQ(stores.catalogue.size(), known.size() + fresh.size());
    EXPECT_EQ(stores.catalogue.at(downloaded).state, 3);
    EXPECT_EQ(stores.catalogue.at(downloaded).dawndate, "2010-5-3 14:2:7");
    EXPECT_EQ(stores.catalogue.at(other).dawndate, "");
    std::vector<std::string> top;
    for (const auto& [id, node] : stores.categories.nodes) {
        top.push_back(id);
    }
    EXPECT_EQ(top, (std::vector<std::string>{"42", "43", "44", "45", "99"}));
    EXPECT_EQ(stores.categories.nodes.at("99").subs.at("99").games.size(), DayList(Utf8Day).size());
    // The built-in categories list the sample games, the day's new ones included.
    std::set<std::string> categorised;
    for (const auto& [id, node] : stores.categories.nodes) {
        for (const auto& [subId, sub] : node.subs) {
            for (const auto& [gameId, name] : sub.games) {
                categorised.insert(gameId);
                EXPECT_EQ(name, stores.catalogue.at(gameId).name);
            }
        }
    }
    EXPECT_EQ(categorised.size(), stores.catalogue.size());
    EXPECT_EQ(stores.settings.maxnum, 3);
    EXPECT_TRUE(stores.settings.shortcut);
    EXPECT_TRUE(stores.settings.exit);
}

} // namespace
} // namespace loading::test
