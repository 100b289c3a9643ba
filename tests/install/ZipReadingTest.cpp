#include <ctime>
#include <set>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "Sandbox.h"
#include "ZipBuilder.h"
#include "install/EntryName.h"
#include "install/Unpack.h"
#include "install/ZipFile.h"
#include "platform/Cp936.h"

using namespace test_zip;
using install::CUnzipper;
using install::CZipFile;
namespace fs = std::filesystem;

namespace {

std::time_t LocalSampleTime()
{
    std::tm local{};
    local.tm_year = 2021 - 1900;
    local.tm_mon = 5;
    local.tm_mday = 15;
    local.tm_hour = 13;
    local.tm_min = 45;
    local.tm_sec = 30;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

mode_t ModeOf(const fs::path& path)
{
    struct stat st
    {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st.st_mode;
}

// Every path below a folder, for "nothing else was touched" checks.
std::set<std::string> Tree(const fs::path& folder)
{
    std::set<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        paths.insert(fs::relative(entry.path(), folder).string());
    }
    return paths;
}

class ZipReading : public ::testing::Test
{
protected:
    fs::path Zip() const { return m_box.Root() / "p.zip"; }
    fs::path Out() const { return m_box.Root() / "out" / "7"; }
    Sandbox m_box;
};

class StoredOrDeflated
    : public ZipReading
    , public ::testing::WithParamInterface<bool>
{};

} // namespace

TEST_P(StoredOrDeflated, FolderEntryAndFileInsideComeOutWholeWithTheEntryTime)
{
    const bool deflate = GetParam();
    const std::string big = NoiseBytes(3 * CUnzipper::ChunkSize + 123) + std::string(50000, 'z');
    ASSERT_TRUE(WriteZip(Zip(),
                         {Folder("data/"),
                          File("data/a.bin", big, deflate),
                          File("empty.txt", "", deflate),
                          File("deep/er/b.txt", "bee", deflate)}));
    CZipFile zip;
    ASSERT_TRUE(zip.Open(Zip()));
    ASSERT_EQ(zip.Entries().size(), 4u);
    EXPECT_EQ(zip.Entries()[0].name, "data/");
    EXPECT_EQ(zip.Entries()[1].name, "data/a.bin");
    EXPECT_EQ(zip.Entries()[1].size, big.size());
    ASSERT_TRUE(zip.ExtractAll(Out()));

    EXPECT_TRUE(fs::is_directory(Out() / "data"));
    EXPECT_EQ(ReadFile(Out() / "data/a.bin"), big);
    EXPECT_TRUE(fs::is_regular_file(Out() / "empty.txt"));
    EXPECT_EQ(fs::file_size(Out() / "empty.txt"), 0u);
    EXPECT_EQ(ReadFile(Out() / "deep/er/b.txt"), "bee");
    struct stat st
    {};
    ASSERT_EQ(stat((Out() / "data/a.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, LocalSampleTime());
    EXPECT_NE(st.st_atime, st.st_mtime); // last access kept, not set to the entry's time
}

TEST_P(StoredOrDeflated, DamagedEntryDataFailsAndLeavesNoTruncatedFile)
{
    const std::string payload = NoiseBytes(100000, 7);
    ASSERT_TRUE(WriteZip(Zip(), {File("ok.txt", "fine"), File("game.bin", payload, GetParam())}));
    std::string bytes = ReadFile(Zip());
    const std::size_t at = bytes.find(payload.substr(0, 64));
    std::size_t middle = GetParam() ? bytes.size() / 2 : at + 50000; // inside game.bin's data either way
    ASSERT_TRUE(GetParam() || at != std::string::npos);
    for (std::size_t i = 0; i < 64; ++i) {
        bytes[middle + i] = static_cast<char>(~bytes[middle + i]);
    }
    WriteFile(Zip(), bytes);

    CZipFile zip;
    ASSERT_TRUE(zip.Open(Zip())); // the list of entries is intact
    EXPECT_FALSE(zip.ExtractAll(Out()));
    EXPECT_EQ(ReadFile(Out() / "ok.txt"), "fine"); // what came before stays
    EXPECT_FALSE(fs::exists(Out() / "game.bin"));
}

INSTANTIATE_TEST_SUITE_P(Methods, StoredOrDeflated, ::testing::Values(false, true), [](const auto& info) {
    return info.param ? std::string("Deflated") : std::string("Stored");
});

TEST_F(ZipReading, EmptyMissingTruncatedAndForeignFiles)
{
    ASSERT_TRUE(WriteZip(Zip(), {}));
    CZipFile zip;
    ASSERT_TRUE(zip.Open(Zip()));
    EXPECT_TRUE(zip.Entries().empty());
    EXPECT_FALSE(zip.ExtractAll(Out())); // no entries is a failed unpacking

    EXPECT_FALSE(zip.Open(m_box.Root() / "missing.zip"));
    EXPECT_FALSE(zip.Open(""));

    ASSERT_TRUE(WriteZip(Zip(), {File("a.txt", NoiseBytes(5000)), File("b.txt", "b")}));
    std::string whole = ReadFile(Zip());
    for (std::size_t keep : {whole.size() / 2, whole.size() - 10, std::size_t{0}}) {
        WriteFile(Zip(), whole.substr(0, keep));
        EXPECT_FALSE(zip.Open(Zip())) << keep;
        EXPECT_FALSE(install::UnpackPackage(Zip(), Out())) << keep;
    }
    WriteFile(Zip(), "this is not a zip file at all, just text that is long enough to be read");
    EXPECT_FALSE(zip.Open(Zip()));
    EXPECT_TRUE(install::UnpackPackage((WriteZip(Zip(), {File("x", "y")}), Zip()), Out()));
    EXPECT_EQ(ReadFile(Out() / "x"), "y");
}

TEST_F(ZipReading, DamagedEntryListFailsToOpen)
{
    ASSERT_TRUE(WriteZip(Zip(), {File("a.txt", "aaa"), File("b.txt", "bbb"), File("c.txt", "ccc")}));
    std::string bytes = ReadFile(Zip());
    std::size_t second = bytes.find("PK\x01\x02", bytes.find("PK\x01\x02") + 4);
    ASSERT_NE(second, std::string::npos);
    bytes[second + 2] = 'X'; // the second central header loses its signature
    WriteFile(Zip(), bytes);
    CZipFile zip;
    EXPECT_FALSE(zip.Open(Zip()));
}

class HostileNames
    : public ZipReading
    , public ::testing::WithParamInterface<const char*>
{};

TEST_P(HostileNames, NothingIsWrittenOutsideTheGameFolder)
{
    fs::create_directories(Out());
    ASSERT_TRUE(WriteZip(Zip(), {File("fine.txt", "ok"), File(GetParam(), "pwned")}));
    const std::set<std::string> before = Tree(m_box.Root());
    CZipFile zip;
    ASSERT_TRUE(zip.Open(Zip()));
    EXPECT_FALSE(zip.ExtractAll(Out()));
    std::set<std::string> after = Tree(m_box.Root());
    after.erase(fs::relative(Out() / "fine.txt", m_box.Root()).string());
    EXPECT_EQ(after, before);
    EXPECT_FALSE(fs::exists("/evil.txt"));
}

INSTANTIATE_TEST_SUITE_P(Names,
                         HostileNames,
                         ::testing::Values("../evil.txt",
                                           "..\\evil.txt",
                                           "a/../../evil.txt",
                                           "a\\..\\..\\evil.txt",
                                           "./../evil.txt",
                                           "/evil.txt",
                                           "\\evil.txt",
                                           "C:\\evil.txt",
                                           "c:evil.txt",
                                           "data/..",
                                           "..",
                                           "a/b/../../../evil.txt"));

TEST_F(ZipReading, LinkEntriesAreNotCreatedAndExistingLinksAreNotFollowed)
{
    const fs::path outside = m_box.Root() / "outside";
    fs::create_directories(outside);
    Item link = File("lib.so", "/etc/passwd", false);
    link.unixMode = 0120777;
    ASSERT_TRUE(WriteZip(Zip(), {link, File("after.txt", "after")}));
    CZipFile zip;
    ASSERT_TRUE(zip.Open(Zip()));
    EXPECT_TRUE(zip.ExtractAll(Out())); // skipped, the rest unpacks
    EXPECT_FALSE(fs::exists(fs::symlink_status(Out() / "lib.so")));
    EXPECT_EQ(ReadFile(Out() / "after.txt"), "after");

    // A link already inside the game folder does not lead entries out of it.
    fs::create_directory_symlink(outside, Out() / "data");
    fs::create_symlink(outside / "target.txt", Out() / "top.txt");
    ASSERT_TRUE(WriteZip(Zip(), {File("top.txt", "replaced")}));
    ASSERT_TRUE(zip.Open(Zip()));
    EXPECT_TRUE(zip.ExtractAll(Out()));
    EXPECT_FALSE(fs::is_symlink(Out() / "top.txt")); // the link itself was replaced
    EXPECT_EQ(ReadFile(Out() / "top.txt"), "replaced");
    ASSERT_TRUE(WriteZip(Zip(), {File("data/x.txt", "pwned")}));
    ASSERT_TRUE(zip.Open(Zip()));
    EXPECT_FALSE(zip.ExtractAll(Out()));
    EXPECT_TRUE(fs::is_empty(outside));
}

TEST_F(ZipReading, NamesInUtf8AndCodePage936)
{
    Item flagged = File("\xE6\xB8\xB8\xE6\x88\x8F/\xE5\x90\xAF\xE5\x8A\xA8.txt", "utf8 flagged"); // 游戏/启动.txt
    flagged.utf8Flag = true;
    Item plain = File("\xE5\xAD\x98\xE6\xA1\xA3.txt", "utf8 unflagged"); // 存档.txt
    Item gbk = File("\xD6\xD0\xCE\xC4\\\xCE\xC4\xBC\xFE.txt", "gbk");    // 中文\文件.txt
    ASSERT_TRUE(WriteZip(Zip(), {flagged, plain}));
    CZipFile zip;
    ASSERT_TRUE(zip.Open(Zip()));
    EXPECT_EQ(zip.Names(), install::NameEncoding::Utf8);
    ASSERT_TRUE(zip.ExtractAll(Out()));
    EXPECT_EQ(ReadFile(Out() / "游戏" / "启动.txt"), "utf8 flagged");
    EXPECT_EQ(ReadFile(Out() / "存档.txt"), "utf8 unflagged");

    // One unflagged name in code page 936 makes it a code page 936 package: every unflagged name
    // is read so (the bytes of 存档 there are 瀛樻。), flagged ones stay UTF-8.
    ASSERT_TRUE(WriteZip(Zip(), {flagged, plain, gbk}));
    ASSERT_TRUE(zip.Open(Zip()));
    EXPECT_EQ(zip.Names(), install::NameEncoding::Cp936);
    ASSERT_TRUE(zip.ExtractAll(Out()));
    EXPECT_EQ(ReadFile(Out() / "中文" / "文件.txt"), "gbk");
    EXPECT_EQ(zip.Entries()[2].name, "中文/文件.txt");
    EXPECT_EQ(zip.Entries()[1].name, *platform::Cp936ToUtf8(plain.name));

    Item lying = File("\xD6\xD0\xCE\xC4.txt", "not utf8"); // flagged, but code page 936 bytes
    lying.utf8Flag = true;
    ASSERT_TRUE(WriteZip(Zip(), {lying}));
    ASSERT_TRUE(zip.Open(Zip()));
    EXPECT_FALSE(zip.ExtractAll(Out()));
}

TEST_F(ZipReading, EntryNameRules)
{
    EXPECT_EQ(install::DecodeEntryName("a\\b\\c.txt", false), "a/b/c.txt");
    EXPECT_EQ(install::DecodeEntryName(std::string_view("a\0b", 3), false), std::nullopt);
    EXPECT_EQ(install::DecodeEntryName("\xFF\xFF", false), std::nullopt); // neither UTF-8 nor GBK
    EXPECT_EQ(install::EntryRelativePath("./a//b/./c"), fs::path("a/b/c"));
    EXPECT_EQ(install::EntryRelativePath("dir/"), fs::path("dir"));
    EXPECT_EQ(install::EntryRelativePath("a..b/..c"), fs::path("a..b/..c"));
    EXPECT_EQ(install::EntryRelativePath("1:/x"), fs::path("1:/x")); // not a drive letter
}

TEST_F(ZipReading, UnixPermissionsAreAppliedWithoutSpecialBits)
{
    Item plain = File("readme.txt", "text");
    ASSERT_TRUE(WriteZip(Zip(),
                         {Script("run.sh", "#!/bin/sh\n", 0100755),
                          Script("suid", "x", 0104755),
                          Script("readonly", "x", 0100400),
                          plain,
                          Script("bin/", "", 040700)}));
    CZipFile zip;
    ASSERT_TRUE(zip.Open(Zip()));
    ASSERT_TRUE(zip.ExtractAll(Out()));
    EXPECT_EQ(ModeOf(Out() / "run.sh") & 07777, 0755u);
    EXPECT_EQ(ModeOf(Out() / "suid") & 07777, 0755u);
    EXPECT_EQ(ModeOf(Out() / "readonly") & 07777, 0600u); // the owner keeps read and write
    EXPECT_EQ(ModeOf(Out() / "readme.txt") & 0111, 0u);   // no Unix mode stored: no execute bit
    EXPECT_TRUE(S_ISDIR(ModeOf(Out() / "bin")));

    // Unpacking again over the same folder replaces the files.
    ASSERT_TRUE(WriteZip(Zip(), {File("readonly", "new")}));
    ASSERT_TRUE(zip.Open(Zip()));
    ASSERT_TRUE(zip.ExtractAll(Out()));
    EXPECT_EQ(ReadFile(Out() / "readonly"), "new");
}

TEST_F(ZipReading, UnknownMethodsAndLyingSizesFailTheUnpacking)
{
    const std::string data = NoiseBytes(3000, 3);
    const std::string bzip2 = "BZh91AY&SY" + data;
    std::uint32_t zerosCrc = 0;
    const std::string zeros = DeflatedZeros(5000, zerosCrc);
    struct Case
    {
        const char* what;
        Item item;
    };
    const Case cases[] = {
        {"bzip2 copied out raw", Raw("game.sh", bzip2, 12, bzip2.size(), Crc(bzip2))},
        {"stored, shorter than declared", Raw("game.sh", data, 0, data.size() + 500, Crc(data))},
        {"deflated, shorter than declared", Raw("game.sh", zeros, 8, 6000, zerosCrc)},
        {"CRC that does not match", Raw("game.sh", data, 0, data.size(), Crc(data) ^ 1)},
    };
    for (const Case& c : cases) {
        fs::remove_all(Out());
        ASSERT_TRUE(WriteZip(Zip(), {File("ok.txt", "fine"), c.item})) << c.what;
        EXPECT_FALSE(install::UnpackPackage(Zip(), Out())) << c.what;
        EXPECT_EQ(ReadFile(Out() / "ok.txt"), "fine") << c.what;
        EXPECT_FALSE(fs::exists(Out() / "game.sh")) << c.what;
    }
    ASSERT_TRUE(WriteZip(Zip(), {Raw("a", data, 0, data.size(), Crc(data)), Raw("z", zeros, 8, 5000, zerosCrc)}));
    EXPECT_TRUE(install::UnpackPackage(Zip(), Out()));
    EXPECT_EQ(ReadFile(Out() / "z"), std::string(5000, '\0'));
}

TEST_F(ZipReading, PackageModesAreMaskedByTheUmask)
{
    ASSERT_TRUE(WriteZip(Zip(), {Script("open.sh", "x", 0100777), Script("shared/", "", 040777)}));
    const mode_t old = umask(027);
    const bool unpacked = install::UnpackPackage(Zip(), Out());
    umask(old);
    ASSERT_TRUE(unpacked);
    EXPECT_EQ(ModeOf(Out() / "open.sh") & 07777, 0750u);
    EXPECT_EQ(ModeOf(Out() / "shared") & 07777, 0750u);
}

TEST_F(ZipReading, SingleEntryAndImpossibleDates)
{
    Item odd = File("odd.txt", "odd");
    odd.dosDateTime = 0; // month 0, day 0
    ASSERT_TRUE(WriteZip(Zip(), {File("a.txt", "a"), odd, File("b/c.txt", "c")}));
    CZipFile zip;
    ASSERT_TRUE(zip.Open(Zip()));
    EXPECT_TRUE(zip.ExtractEntry("b/c.txt", Out()));
    EXPECT_EQ(ReadFile(Out() / "b/c.txt"), "c");
    EXPECT_FALSE(fs::exists(Out() / "a.txt"));
    EXPECT_FALSE(zip.ExtractEntry("nope", Out()));
    EXPECT_TRUE(zip.ExtractEntry("odd.txt", Out())); // written, with the time of writing
    EXPECT_EQ(ReadFile(Out() / "odd.txt"), "odd");
    EXPECT_FALSE(CUnzipper::SetFileTime(Out() / "odd.txt", 0));

    // A folder path that is a file cannot be made.
    WriteFile(m_box.Root() / "plainfile", "x");
    EXPECT_FALSE(CUnzipper::MakeFolder(m_box.Root() / "plainfile" / "sub"));
    EXPECT_FALSE(zip.ExtractAll(m_box.Root() / "plainfile"));
    EXPECT_TRUE(CUnzipper::MakeFolder(m_box.Root() / "x/y/z/"));
}
