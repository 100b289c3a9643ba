#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include <gtest/gtest.h>
#include <iconv.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "MarkupTestSupport.h"
#include "markup/MarkupDoc.h"
#include "markup/TextEncoding.h"

namespace markup::test {
namespace {

namespace fs = std::filesystem;

const fs::path DataDir = fs::path(MARLUNE_TEST_DATA_DIR) / "markup";

std::string ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class MarkupFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "marlune-markup-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::permissions(m_dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_dir, ec);
    }
    // Names in the folder other than the given ones (left-over temporary files).
    std::vector<std::string> Strays(std::initializer_list<std::string> expected) const
    {
        std::vector<std::string> strays;
        for (const auto& entry : fs::directory_iterator(m_dir)) {
            const std::string name = entry.path().filename().string();
            if (std::find(expected.begin(), expected.end(), name) == expected.end()) {
                strays.push_back(name);
            }
        }
        return strays;
    }

    fs::path m_dir;
};

struct SampleCase
{
    const char* file;
    std::uint32_t mark;
    const char* readNote;
};

class SampleFiles
    : public MarkupFiles
    , public ::testing::WithParamInterface<SampleCase>
{};

TEST_P(SampleFiles, LoadReadsTheTextAndSaveWritesTheSameBytes)
{
    const fs::path source = DataDir / GetParam().file;
    MarkupDoc doc;
    ASSERT_TRUE(doc.Load(source)) << U8(doc.GetResult());
    EXPECT_EQ(doc.GetDocFlags(), GetParam().mark);
    ASSERT_TRUE(doc.FindElement(u"gamelist"));
    ASSERT_TRUE(doc.FindChildElement(u"game"));
    EXPECT_EQ(U8(doc.GetChildAttribute(u"name")), "快乐赛车");
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindChildElement(u"intro"));
    ASSERT_TRUE(doc.EnterElement());
    EXPECT_EQ(U8(doc.GetContent()), "好玩 & 简单");

    std::u16string text;
    std::u16string notes;
    std::uint32_t flags = 0;
    ASSERT_TRUE(LoadFile(source, text, &notes, &flags));
    EXPECT_NE(U8(notes).find(GetParam().readNote), std::string::npos) << U8(notes);

    const fs::path copy = m_dir / "copy.xml";
    ASSERT_TRUE(doc.Save(copy)) << U8(doc.GetResult());
    EXPECT_EQ(ReadBytes(copy), ReadBytes(source));
    EXPECT_TRUE(Strays({"copy.xml"}).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Encodings,
    SampleFiles,
    ::testing::Values(
        SampleCase{"utf8-with-mark.xml", MarkUtf8, "<bom/><read encoding=\"UTF-8\""},
        SampleCase{"utf8-without-mark.xml", 0, "<read encoding=\"UTF-8\" length=\"105\"/><converted_to"},
        SampleCase{"utf16le-with-mark.xml", MarkUtf16Le, "<bom/><read encoding=\"UTF-16LE\""},
        SampleCase{"utf16be-with-mark.xml", MarkUtf16Be, "<read encoding=\"UTF-16BE\" length=\"89\"/><endian_swap/>"},
        SampleCase{"gb2312-declared.xml", 0, "<read encoding=\"GB2312\""}));

TEST_F(MarkupFiles, OnlyAMarkGivesAnEmptyDocumentThatRemembersIt)
{
    MarkupDoc doc;
    EXPECT_FALSE(doc.Load(DataDir / "only-utf8-mark.xml"));
    EXPECT_TRUE(doc.GetDocument().empty());
    EXPECT_EQ(doc.GetDocFlags(), static_cast<std::uint32_t>(MarkUtf8));
    EXPECT_TRUE(doc.GetResult().empty());
    ASSERT_TRUE(doc.Save(m_dir / "out.xml"));
    EXPECT_EQ(ReadBytes(m_dir / "out.xml"), "\xEF\xBB\xBF");
}

TEST_F(MarkupFiles, InvalidUtf8WithoutDeclarationIsReadAsGbk)
{
    std::u16string text;
    std::u16string notes;
    ASSERT_TRUE(LoadFile(DataDir / "gbk-without-declaration.xml", text, &notes));
    EXPECT_NE(U8(text).find("快乐赛车"), std::string::npos);
    EXPECT_NE(U8(notes).find("<utf8_detection/>"), std::string::npos);
    EXPECT_EQ(U8(notes).find("encoding=\"UTF-8\""), std::string::npos) << U8(notes);
}

TEST_F(MarkupFiles, Utf8WithoutMarkOrAngleBracketIsDetected)
{
    WriteBytes(m_dir / "a.xml", "\r\n<a>\xE5\xBF\xAB</a>");
    std::u16string text;
    std::u16string notes;
    ASSERT_TRUE(LoadFile(m_dir / "a.xml", text, &notes));
    EXPECT_EQ(U8(text), "\r\n<a>快</a>");
    EXPECT_EQ(U8(notes),
              "<read encoding=\"UTF-8\" length=\"12\"/><utf8_detection/>"
              "<converted_to encoding=\"UTF-16\" length=\"10\"/>");
}

TEST_F(MarkupFiles, ZeroBytesAreDropped)
{
    MarkupDoc doc;
    std::u16string text;
    std::u16string notes;
    ASSERT_TRUE(LoadFile(DataDir / "nul-bytes-inside.xml", text, &notes));
    EXPECT_NE(U8(notes).find("<nulls_removed count=\"2\"/>"), std::string::npos) << U8(notes);
    EXPECT_TRUE(doc.SetDocument(text));

    WriteBytes(m_dir / "w.xml", std::string("\xFF\xFE<\0a\0\0\0/\0>\0", 12));
    ASSERT_TRUE(LoadFile(m_dir / "w.xml", text, &notes));
    EXPECT_EQ(U8(text), "<a/>");
    EXPECT_NE(U8(notes).find("<nulls_removed count=\"1\"/>"), std::string::npos);
}

class LargeUtf8Files
    : public MarkupFiles
    , public ::testing::WithParamInterface<unsigned>
{};

// Files far larger than one read chunk, full of sequences cut at every possible place, invalid
// bytes and zeros: reading them piecewise must give exactly what decoding them whole gives.
TEST_P(LargeUtf8Files, DecodeAsOneBlock)
{
    std::mt19937 random(GetParam());
    const char* pieces[] = {"<a>",
                            "\xE5\xBF\xAB",
                            "\xF0\x9F\x98\x80",
                            "\xC3\xA9",
                            "x",
                            "\x80",
                            "\xE5\xBF",
                            "\xF0\x9F",
                            "\xFF",
                            "" /* a zero byte */,
                            "\xC0\xAF",
                            "\xED\xA0\x80",
                            "<game id=\"1\" name=\"plain ASCII, longer than sixteen bytes\">"};
    // Declared UTF-8 (by a declaration or a mark): invalid bytes do not make it code page 936.
    std::string bytes = GetParam() % 2 == 0 ? "<?xml version=\"1.0\" encoding=\"utf-8\"?><" : "\xEF\xBB\xBF<";
    while (bytes.size() < 300000) {
        const std::size_t k = random() % std::size(pieces);
        bytes += k == 9 ? std::string(1, '\0') : std::string(pieces[k]);
    }
    WriteBytes(m_dir / "big.xml", bytes);
    std::string expected = bytes.substr(GetParam() % 2 == 0 ? 0 : 3);
    expected.erase(std::remove(expected.begin(), expected.end(), '\0'), expected.end());

    std::u16string text;
    std::u16string notes;
    ASSERT_TRUE(LoadFile(m_dir / "big.xml", text, &notes));
    EXPECT_TRUE(text == U16(expected)) << U8(notes);
    EXPECT_NE(U8(notes).find("<nulls_removed count="), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Seeds, LargeUtf8Files, ::testing::Range(1U, 7U));

TEST_F(MarkupFiles, HtmlMetaTagNamesTheEncoding)
{
    std::u16string text;
    ASSERT_TRUE(LoadFile(DataDir / "html-meta-charset.html", text));
    EXPECT_EQ(U8(GetDeclaredEncoding(text)), "gbk");
    EXPECT_NE(U8(text).find("<title>快乐</title>"), std::string::npos);
}

struct DeclarationCase
{
    const char16_t* text;
    const char16_t* encoding;
};

class Declarations : public ::testing::TestWithParam<DeclarationCase>
{};

TEST_P(Declarations, Found)
{
    EXPECT_EQ(U8(GetDeclaredEncoding(GetParam().text)), U8(GetParam().encoding));
}

INSTANTIATE_TEST_SUITE_P(
    Texts,
    Declarations,
    ::testing::Values(
        DeclarationCase{u"<?xml version=\"1.0\" encoding=\"GB2312\"?><a/>", u"GB2312"},
        DeclarationCase{u"<?XML encoding='big5'?><a/>", u"big5"},
        DeclarationCase{u"<?xml version=\"1.0\"?><a/>", u""},
        DeclarationCase{u" <?xml encoding=\"x\"?>", u""},
        DeclarationCase{u"<gamelist><meta http-equiv=\"Content-Type\" content=\"charset=gbk\"/>", u""},
        DeclarationCase{u"<HTML><META HTTP-EQUIV='content-type' CONTENT='text/html;charset = utf-8;'>", u"utf-8"},
        DeclarationCase{u"<html><head></head><meta http-equiv=\"Content-Type\" content=\"charset=gbk\">", u""},
        DeclarationCase{u"<html><meta content=\"charset=gbk\">", u""}));

struct CodePageCase
{
    const char16_t* name;
    int codePage;
};

class CodePages : public ::testing::TestWithParam<CodePageCase>
{};

TEST_P(CodePages, Resolved)
{
    EXPECT_EQ(CodePageOf(GetParam().name), GetParam().codePage);
}

INSTANTIATE_TEST_SUITE_P(Aliases,
                         CodePages,
                         ::testing::Values(CodePageCase{u"", 0},
                                           CodePageCase{u"GB2312", 936},
                                           CodePageCase{u"gbk", 936},
                                           CodePageCase{u"UTF-8", 65001},
                                           CodePageCase{u"UTF-32BE", Utf32CodePage},
                                           CodePageCase{u"utf-32be", 12001},
                                           CodePageCase{u"cp1256 ", 1256},
                                           CodePageCase{u"KSC_5601", 949},
                                           CodePageCase{u"x-iscii-pa", 57011},
                                           CodePageCase{u"shifft_jis", 932},
                                           CodePageCase{u"iso_646.irv:1991", 20127},
                                           CodePageCase{u"_iso-2022-jp$sio", 50222},
                                           CodePageCase{u"extended_unix_code_packed_format_for_japanese", 20932},
                                           CodePageCase{u"nonsense", UnknownCodePage},
                                           CodePageCase{u"gb2312\u00E9", UnknownCodePage}));

TEST(CodePageTable, LongNamesAreUnknownAndConvertersExist)
{
    EXPECT_EQ(CodePageOf(std::u16string(100, u'a')), UnknownCodePage);
    // Every code page mapped to an iconv name has a working converter on this system.
    for (int codePage = 0; codePage <= 65005; ++codePage) {
        const char* name = IconvNameOf(codePage);
        if (*name == '\0') {
            continue;
        }
        iconv_t cd = iconv_open("UTF-16LE", name);
        EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << codePage << " " << name;
        if (cd != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(cd);
        }
    }
}

TEST(TextConversion, CountThenConvert)
{
    const std::string gbk = "\xBF\xEC\xC0\xD6!"; // 快乐!
    TextConverter in(u"GB2312", u"UTF-16");
    const std::size_t count = in.Count(gbk.data(), gbk.size());
    ASSERT_EQ(count, 3U);
    std::u16string wide(count, u'\0');
    EXPECT_EQ(in.Convert(gbk.data(), gbk.size(), wide.data(), wide.size()), 3U);
    EXPECT_EQ(U8(wide), "快乐!");

    TextConverter out(u"UTF-16", u"iso-8859-1");
    const std::u16string text = u"a\u5FEBb";
    std::string narrow(out.Count(text.data(), text.size()), '\0');
    out.Convert(text.data(), text.size(), narrow.data(), narrow.size());
    EXPECT_EQ(narrow, "a?b");
    EXPECT_TRUE(out.Lost());

    TextConverter utf8(u"UTF-16", u"UTF-8");
    EXPECT_EQ(utf8.Count(text.data(), text.size()), 5U);
    EXPECT_FALSE(utf8.Lost());

    TextConverter wide32(u"UTF-16", u"UTF-32");
    const std::u16string broken = u"x\xD800y\U0001F600";
    std::u32string units(wide32.Count(broken.data(), broken.size()), U'\0');
    wide32.Convert(broken.data(), broken.size(), units.data(), units.size());
    EXPECT_EQ(units, U"x?y\U0001F600");

    TextConverter fromUtf8(u"UTF-8", u"UTF-32");
    const std::string bad = "a\xFF\xE5\xBF\xAB";
    std::u32string cps(fromUtf8.Count(bad.data(), bad.size()), U'\0');
    fromUtf8.Convert(bad.data(), bad.size(), cps.data(), cps.size());
    EXPECT_EQ(cps, U"a?\u5FEB");

    TextConverter between(u"GBK", u"big5");
    std::string big5(between.Count(gbk.data(), gbk.size()), '\0');
    between.Convert(gbk.data(), gbk.size(), big5.data(), big5.size());
    EXPECT_EQ(big5, "\xA7\xD6?!"); // 快 exists in Big5, the simplified 乐 does not
}

TEST_F(MarkupFiles, GbkDeclarationIsKeptOnSaveAndLossIsNoted)
{
    MarkupDoc doc;
    ASSERT_TRUE(doc.SetDocument(u"<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n<a>\u5FEB\u4E50 \u00E9\u0416</a>"));
    ASSERT_TRUE(doc.Save(m_dir / "g.xml"));
    EXPECT_EQ(ReadBytes(m_dir / "g.xml"),
              "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n<a>\xBF\xEC\xC0\xD6 \xA8\xA6\xA7\xA8</a>");
    ASSERT_TRUE(doc.SetDocument(u"<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><a>\u5FEB</a>"));
    ASSERT_TRUE(doc.Save(m_dir / "l.xml"));
    EXPECT_NE(U8(doc.GetResult()).find("<conversion_loss/>"), std::string::npos) << U8(doc.GetResult());
    EXPECT_NE(ReadBytes(m_dir / "l.xml").find("<a>?</a>"), std::string::npos);
}

TEST_F(MarkupFiles, PlainDocumentIsSavedAsUtf8WithoutMark)
{
    MarkupDoc doc;
    ASSERT_TRUE(doc.SetDocument(u"<a>\u5FEB</a>"));
    ASSERT_TRUE(doc.Save(m_dir / "p.xml"));
    EXPECT_EQ(ReadBytes(m_dir / "p.xml"), "<a>\xE5\xBF\xAB</a>");
    EXPECT_EQ(U8(doc.GetResult()),
              "<converted_from encoding=\"UTF-16\" length=\"8\"/><write encoding=\"UTF-8\" length=\"10\"/>");
}

TEST_F(MarkupFiles, MissingFileFailsWithFileError)
{
    MarkupDoc doc;
    EXPECT_FALSE(doc.Load(m_dir / "none.xml"));
    EXPECT_NE(U8(doc.GetResult()).find("<file_error msg=\""), std::string::npos);
    EXPECT_NE(U8(doc.GetResult()).find(" n=\"2\"/>"), std::string::npos) << U8(doc.GetResult());
    std::u16string text = u"old";
    std::uint32_t flags = MarkUtf8;
    EXPECT_FALSE(LoadFile(m_dir / "none.xml", text, nullptr, &flags));
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(flags, static_cast<std::uint32_t>(MarkUtf8));
    EXPECT_FALSE(LoadFile(m_dir, text));
}

struct BrokenTarget
{
    const char* name;
    int error;
};

class FailedSaves
    : public MarkupFiles
    , public ::testing::WithParamInterface<BrokenTarget>
{};

TEST_P(FailedSaves, ReportTheErrorAndLeaveNothingBehind)
{
    fs::create_directories(m_dir / "folder");
    WriteBytes(m_dir / "folder" / "inside.xml", "x");
    MarkupDoc doc;
    ASSERT_TRUE(doc.SetDocument(u"<a/>"));
    EXPECT_FALSE(doc.Save(m_dir / GetParam().name));
    EXPECT_NE(U8(doc.GetResult()).find("n=\"" + std::to_string(GetParam().error) + "\""), std::string::npos)
        << U8(doc.GetResult());
    EXPECT_TRUE(Strays({"folder"}).empty());
    EXPECT_EQ(ReadBytes(m_dir / "folder" / "inside.xml"), "x");
}

INSTANTIATE_TEST_SUITE_P(Targets,
                         FailedSaves,
                         ::testing::Values(BrokenTarget{"missing/set.xml", ENOENT},
                                           BrokenTarget{"folder", EISDIR},
                                           BrokenTarget{"folder/inside.xml/x.xml", ENOTDIR}));

TEST_F(MarkupFiles, FolderWithoutWriteRightKeepsTheOldFile)
{
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root ignores folder permissions";
    }
    WriteBytes(m_dir / "set.xml", "<old/>");
    fs::permissions(m_dir, fs::perms::owner_write, fs::perm_options::remove);
    MarkupDoc doc;
    ASSERT_TRUE(doc.SetDocument(u"<new/>"));
    EXPECT_FALSE(doc.Save(m_dir / "set.xml"));
    EXPECT_NE(U8(doc.GetResult()).find("n=\"13\""), std::string::npos);
    fs::permissions(m_dir, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(ReadBytes(m_dir / "set.xml"), "<old/>");
}

TEST_F(MarkupFiles, WriteThatFailsMidwayKeepsTheOldFileWhole)
{
    const std::string old = "<gamelist>" + std::string(5000, 'x') + "</gamelist>";
    WriteBytes(m_dir / "gamelist.xml", old);
    MarkupDoc doc;
    ASSERT_TRUE(doc.SetDocument(u"<gamelist>" + std::u16string(20000, u'y') + u"</gamelist>"));

    // Files may grow to 4 KiB only: the write of the new text fails with EFBIG.
    struct sigaction ignore
    {};
    struct sigaction previous
    {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &previous);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved_ok = doc.Save(m_dir / "gamelist.xml");
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &previous, nullptr);

    EXPECT_FALSE(saved_ok);
    EXPECT_NE(U8(doc.GetResult()).find("<file_error msg=\""), std::string::npos) << U8(doc.GetResult());
    EXPECT_NE(U8(doc.GetResult()).find("n=\"" + std::to_string(EFBIG) + "\""), std::string::npos);
    EXPECT_EQ(ReadBytes(m_dir / "gamelist.xml"), old);
    EXPECT_TRUE(Strays({"gamelist.xml"}).empty());
}

TEST_F(MarkupFiles, SaveKeepsTheFileModeAndReplacesTheContent)
{
    WriteBytes(m_dir / "set.xml", "<old/>");
    ::chmod((m_dir / "set.xml").c_str(), 0640);
    MarkupDoc doc;
    ASSERT_TRUE(doc.SetDocument(u"<new/>"));
    ASSERT_TRUE(doc.Save(m_dir / "set.xml"));
    EXPECT_EQ(ReadBytes(m_dir / "set.xml"), "<new/>");
    struct stat info
    {};
    ASSERT_EQ(::stat((m_dir / "set.xml").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640U);
}

TEST_F(MarkupFiles, Utf16BigEndianStaysBigEndian)
{
    MarkupDoc doc;
    ASSERT_TRUE(doc.Load(DataDir / "utf16be-with-mark.xml"));
    ASSERT_TRUE(doc.FindElement());
    ASSERT_TRUE(doc.SetAttribute(u"v", u"\u00E9"));
    ASSERT_TRUE(doc.Save(m_dir / "be.xml"));
    EXPECT_EQ(U8(doc.GetResult()).substr(0, 20), "<bom/><endian_swap/>");
    const std::string bytes = ReadBytes(m_dir / "be.xml");
    EXPECT_EQ(bytes.substr(0, 6), std::string("\xFE\xFF\0<\0g", 6));
    MarkupDoc back;
    ASSERT_TRUE(back.Load(m_dir / "be.xml"));
    ASSERT_TRUE(back.FindElement());
    EXPECT_EQ(U8(back.GetAttribute(u"v")), "é");
    EXPECT_EQ(back.GetDocFlags(), static_cast<std::uint32_t>(MarkUtf16Be));
}

TEST_F(MarkupFiles, GamelistRoundTrip)
{
    MarkupDoc doc;
    ASSERT_TRUE(doc.AddElement(u"gamelist"));
    const int games = 300;
    auto value = [](int i, int field) {
        return U16("值" + std::to_string(i) + "<&>\"'" + std::to_string(field) + (field % 2 ? "##" : ""));
    };
    for (int i = 0; i < games; ++i) {
        ASSERT_TRUE(doc.AddChildElement(u"game"));
        ASSERT_TRUE(doc.SetChildAttribute(u"id", U16(std::to_string(i))));
        ASSERT_TRUE(doc.SetChildAttribute(u"name", value(i, 0)));
        ASSERT_TRUE(doc.SetChildAttribute(u"srcname", value(i, 1)));
        ASSERT_TRUE(doc.EnterElement());
        for (const char16_t* name : {u"cominfo", u"intro", u"detailintro", u"playskill", u"icopic", u"piclist"}) {
            ASSERT_TRUE(doc.AddChildElement(name, i % 7 == 0 ? std::u16string() : value(i, 2)));
        }
        ASSERT_TRUE(doc.LeaveElement());
    }
    ASSERT_TRUE(doc.Save(m_dir / "gamelist.xml"));
    EXPECT_EQ(ReadBytes(m_dir / "gamelist.xml").substr(0, 20), "<gamelist>\r\n<game id");

    MarkupDoc back;
    ASSERT_TRUE(back.Load(m_dir / "gamelist.xml")) << U8(back.GetResult());
    EXPECT_EQ(back.GetDocFlags(), 0U);
    ASSERT_TRUE(back.FindElement(u"gamelist"));
    int count = 0;
    while (back.FindChildElement(u"game")) {
        const int i = count++;
        EXPECT_EQ(U8(back.GetChildAttribute(u"id")), std::to_string(i));
        EXPECT_EQ(back.GetChildAttribute(u"name"), value(i, 0));
        EXPECT_EQ(back.GetChildAttribute(u"srcname"), value(i, 1));
        ASSERT_TRUE(back.EnterElement());
        for (const char16_t* name : {u"cominfo", u"intro", u"detailintro", u"playskill", u"icopic", u"piclist"}) {
            ASSERT_TRUE(back.FindChildElement(name));
            ASSERT_TRUE(back.EnterElement());
            EXPECT_EQ(back.GetContent(), i % 7 == 0 ? std::u16string() : value(i, 2));
            ASSERT_TRUE(back.LeaveElement());
        }
        ASSERT_TRUE(back.LeaveElement());
    }
    EXPECT_EQ(count, games);
}

TEST_F(MarkupFiles, FileWithoutMarkOrDeclarationIsUtf8OnlyWhenItIsValid)
{
    // Code page 936 bytes (快乐), with and without "<" first.
    for (const std::string bytes : {"<a>\xBF\xEC\xC0\xD6</a>", "  <a>\xBF\xEC\xC0\xD6</a>"}) {
        WriteBytes(m_dir / "old.xml", bytes);
        std::u16string text;
        std::u16string notes;
        ASSERT_TRUE(LoadFile(m_dir / "old.xml", text, &notes));
        EXPECT_EQ(U8(text), bytes.substr(0, bytes.find('<')) + "<a>快乐</a>") << U8(notes);
        EXPECT_NE(U8(notes).find("<utf8_detection/>"), std::string::npos);
    }
    // Valid UTF-8 behind "<" reads as before, without the detection note; the "read" note keeps the
    // units read when zero bytes are dropped.
    WriteBytes(m_dir / "new.xml", std::string("<a>快\0\0</a>", 12));
    std::u16string text;
    std::u16string notes;
    ASSERT_TRUE(LoadFile(m_dir / "new.xml", text, &notes));
    EXPECT_EQ(U8(text), "<a>快</a>");
    EXPECT_EQ(U8(notes).find("<utf8_detection/>"), std::string::npos);
    WriteBytes(m_dir / "new.xml", std::string(" <a>快\0\0</a>", 13));
    ASSERT_TRUE(LoadFile(m_dir / "new.xml", text, &notes));
    EXPECT_EQ(U8(notes).rfind("<read encoding=\"UTF-8\" length=\"13\"/><nulls_removed count=\"2\"/>", 0), 0U)
        << U8(notes);
}

TEST_F(MarkupFiles, DeclaredEncodingIsUnescaped)
{
    EXPECT_EQ(U8(GetDeclaredEncoding(u"<?xml version=\"1.0\" encoding=\"&#x67;bk\"?><a/>")), "gbk");
    EXPECT_EQ(U8(GetDeclaredEncoding(u"<html><head><meta http-equiv=\"Content&#45;Type\" "
                                     u"content=\"text/html; charset&#61;gb2312\"></head></html>")),
              "gb2312");
}

TEST_F(MarkupFiles, SavesKeepTheModeAndNeverReplaceAReadOnlyFile)
{
    MarkupDoc doc;
    ASSERT_TRUE(doc.SetDocument(u"<new/>"));
    WriteBytes(m_dir / "set.xml", "<old/>");
    fs::permissions(m_dir / "set.xml", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(doc.Save(m_dir / "set.xml"));
    EXPECT_EQ(fs::status(m_dir / "set.xml").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    WriteBytes(m_dir / "gamelist.xml", "<old/>");
    fs::permissions(m_dir / "gamelist.xml", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_FALSE(doc.Save(m_dir / "gamelist.xml"));
    EXPECT_NE(U8(doc.GetResult()).find("n=\"13\""), std::string::npos) << U8(doc.GetResult());
    EXPECT_EQ(ReadBytes(m_dir / "gamelist.xml"), "<old/>");
    EXPECT_TRUE(Strays({"set.xml", "gamelist.xml"}).empty());
}

} // namespace
} // namespace markup::test
