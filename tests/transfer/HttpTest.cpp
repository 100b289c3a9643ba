// Size texts, header parsing, the UTF-8 test, addresses, and the update's two fetches (the list and
// resumable pictures) against the in-test server.

#include "transfer/Http.h"

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "TestHttpServer.h"
#include "TransferTestSupport.h"
#include "transfer/SizeText.h"

namespace {

using namespace testing_support;
using transfer::FileFetch;

TEST(SizeText, ConvertsUnitsAsTheCatalogueWritesThem)
{
    struct Case
    {
        const char* text;
        double bytes;
    };
    const Case cases[] = {
        {"12.5M", 12.5 * 1024 * 1024},
        {"  800k  ", 800.0 * 1024},
        {"1G", 1024.0 * 1024 * 1024},
        {"123", 0.0},
        {"", 0.0},
        {"K", 0.0},
        {"abcK", 0.0},
        {"2.4M", static_cast<double>(2.4f) * 1024 * 1024}, // single precision, as the catalogue always read it
        {"3mk", 3.0 * 1024},                               // "k" is looked for first; "3m" reads as 3
        {"1.5 m", 1.5 * 1024 * 1024},
        {"\t64K\r\n", 64.0 * 1024},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_DOUBLE_EQ(transfer::SizeTextToBytes(c.text), c.bytes);
    }
}

TEST(Headers, ContentLengthIsReadLikeTheServerWroteIt)
{
    struct Case
    {
        const char* headers;
        std::optional<std::int64_t> length;
    };
    const Case cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 10000\r\n\r\n", 10000},
        {"HTTP/1.1 200 OK\r\nContent-Length:   1 2 3\r\n", 123}, // spaces removed
        {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n", 0},
        {"HTTP/1.1 200 OK\r\ncontent-length: 77\r\n", std::nullopt}, // exact case only
        {"HTTP/1.1 200 OK\r\n", std::nullopt},
        {"HTTP/1.1 200 OK\r\nContent-Length: abc\r\n", std::nullopt},
        {"HTTP/1.1 200 OK\r\nContent-Length: -5\r\n", std::nullopt},
        {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n", std::nullopt}, // past 64 bits
        {"HTTP/1.1 200 OK\r\nContent-Length: 9007199254740993\r\n", std::nullopt},        // past 2^53
        {"HTTP/1.1 200 OK\r\nContent-Length: 12\r\nContent-Length: 99\r\n", 12},          // the first
        {"Content-Length: 42", 42},                                                       // no line end
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.headers);
        EXPECT_EQ(transfer::ContentLength(c.headers), c.length);
    }
}

TEST(Headers, LastModifiedKeepsItsLineEndAndLosesItsSpaces)
{
    EXPECT_EQ(transfer::LastModifiedText("HTTP/1.1 200 OK\r\nLast-Modified: Mon, 06 Dec 2010 10:00:00 GMT\r\nX: y\r\n"),
              "Mon,06Dec201010:00:00GMT\r");
    EXPECT_EQ(transfer::LastModifiedText("HTTP/1.1 200 OK\r\n"), "");
    EXPECT_EQ(transfer::SideFileContent("a\r"), "##a\r##");
    EXPECT_EQ(transfer::SideFileText("##a\r##"), "a\r");
    EXPECT_EQ(transfer::SideFileText("x##abc##y##"), "abc");
    EXPECT_EQ(transfer::SideFileText("####"), "");
    EXPECT_EQ(transfer::SideFileText("##abc"), std::nullopt);
    EXPECT_EQ(transfer::SideFileText(""), std::nullopt);
}

TEST(Utf8Test, FollowsTheProgramsRules)
{
    struct Case
    {
        std::string bytes;
        bool utf8;
    };
    const Case cases[] = {
        {"plain ascii", true},
        {"\xE6\xB8\xB8\xE6\x88\x8F", true}, // 游戏 in UTF-8
        {"\xD3\xCE\xCF\xB7", false},        // 游戏 in code page 936: 0xD3 wants 0x80..0xBF next
        {"\xC3\xA9", true},                 // é
        {"\xC3", true},                     // cut off by the end
        {"\xE6\xB8", true},                 // cut off by the end
        {"\x80", false},                    // continuation byte in lead position
        {"\xF0\x9F\x98\x80", false},        // 0xF0 and above fail
        {"\xC3\x41", false},                // lead without continuation
        {"<gamelist>\xB0\xA1</gamelist>", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(transfer::LooksLikeUtf8(c.bytes), c.utf8);
    }
}

TEST(Addresses, PackagesLieInThousandFolders)
{
    EXPECT_EQ(transfer::PackageUrl("http://h/", 12345), "http://h/download/12/12345.zip");
    EXPECT_EQ(transfer::PackageUrl("http://h/", 999), "http://h/download/0/999.zip");
    EXPECT_EQ(transfer::PackageUrl("http://h/", 1000), "http://h/download/1/1000.zip");
    EXPECT_EQ(transfer::PackagePath("/p/", 7), "/p/download/7.zip");
    EXPECT_EQ(transfer::GameFolder("/p/", 7), "/p/game/7");
    EXPECT_EQ(transfer::PictureUrl("http://h/", "ico\\123.gif"), "http://h/file/ico/123.gif");
    EXPECT_EQ(transfer::PictureRelativePath("pic\\12_1.jpg"), "pic/12_1.jpg");
    EXPECT_EQ(transfer::SideFilePath("ico/123.gif"), "ico/123.txt");
    EXPECT_EQ(transfer::SideFilePath("/p/download/7.zip"), "/p/download/7.txt");
    EXPECT_EQ(transfer::SideFilePath("/p.d/x"), "/p.d/x.txt");
    EXPECT_EQ(transfer::EscapeSpaces("http://h/a b  c"), "http://h/a%20b%20%20c");
}

TEST(Addresses, TheEnvironmentOverridesTheBuiltInServer)
{
    ::unsetenv("MARLUNE_SERVER");
    std::string builtIn = MARLUNE_SERVER_BASE;
    if (builtIn.back() != '/') {
        builtIn += '/';
    }
    EXPECT_EQ(transfer::ServerBase(), builtIn);
    ::setenv("MARLUNE_SERVER", "http://127.0.0.1:9/games", 1);
    EXPECT_EQ(transfer::ServerBase(), "http://127.0.0.1:9/games/");
    ::setenv("MARLUNE_SERVER", "", 1);
    EXPECT_EQ(transfer::ServerBase(), builtIn);
    ::unsetenv("MARLUNE_SERVER");
    EXPECT_EQ(transfer::Referrer(), MARLUNE_REFERRER);
}

// --- The update list -------------------------------------------------------------------------

TEST(ListFetch, TakesOnlyAWholeAnswerWithStatus200)
{
    TestHttpServer server([](const HttpRequest& request) {
        HttpReply reply;
        if (request.path == "/file/cls/1.xml") {
            reply.body = "<gamelist/>";
        } else if (request.path == "/file/cls/2.xml") {
            reply.status = 404;
            reply.body = "<html>not found</html>";
        } else if (request.path == "/file/cls/3.xml") {
            reply.kind = HttpReply::Kind::DropMidBody;
            reply.headers.push_back("Content-Length: 100");
            reply.body = std::string(100, 'x');
            reply.cut = 40;
        } else {
            reply.body.clear(); // 200 with nothing
        }
        return reply;
    });
    EXPECT_EQ(transfer::FetchListBytes(server.BaseUrl() + "file/cls/1.xml"), "<gamelist/>");
    EXPECT_EQ(transfer::FetchListBytes(server.BaseUrl() + "file/cls/2.xml"), "");
    EXPECT_EQ(transfer::FetchListBytes(server.BaseUrl() + "file/cls/3.xml"), "");
    EXPECT_EQ(transfer::FetchListBytes(server.BaseUrl() + "file/cls/4.xml"), "");
    const auto requests = server.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.front().referrer, MARLUNE_REFERRER);
}

TEST(ListFetch, ASilentServerCostsNoMoreThanTheLimit)
{
    TestHttpServer server([](const HttpRequest&) {
        HttpReply reply;
        reply.kind = HttpReply::Kind::Silent;
        return reply;
    });
    const auto started = std::chrono::steady_clock::now();
    const transfer::FetchedBody fetched =
        transfer::FetchBody(server.BaseUrl() + "file/cls/5.xml", std::chrono::seconds(1));
    EXPECT_FALSE(fetched.answered);
    EXPECT_EQ(fetched.status, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST(ListFetch, AnOversizedBodyIsDropped)
{
    TestHttpServer server([](const HttpRequest&) {
        HttpReply reply;
        reply.body = std::string(5000, 'x');
        return reply;
    });
    const transfer::FetchedBody fetched =
        transfer::FetchBody(server.BaseUrl() + "big.xml", std::chrono::seconds(5), std::chrono::seconds(5), 1000);
    EXPECT_EQ(fetched.status, 0);
    EXPECT_TRUE(fetched.body.empty());
}

// --- Pictures ----------------------------------------------------------------------------------

class PictureFetch : public ::testing::Test
{
protected:
    PictureFetch()
        : server([this](const HttpRequest& request) { return ServeFile(request, file); })
    {
        std::filesystem::create_directories(dir.Path() / "ico");
        file.content = PatternBytes(10000, 7);
    }

    std::string Url() const { return server.BaseUrl() + "file/ico/123.gif"; }
    std::filesystem::path Local() const { return dir.Path() / "ico" / "123.gif"; }
    std::filesystem::path Side() const { return dir.Path() / "ico" / "123.txt"; }
    std::string ServerText() const
    {
        return transfer::LastModifiedText("Last-Modified: " + file.lastModified + "\r\n");
    }

    TempProgramDir dir;
    ServedFile file;
    TestHttpServer server;
};

TEST_F(PictureFetch, ACompleteFileCostsOnlyTheHeaderRequest)
{
    WriteAll(Local(), file.content);
    EXPECT_EQ(transfer::FetchFile(Url(), "ico/123.gif", dir.Dir()), FileFetch::AlreadyComplete);
    EXPECT_EQ(server.Requests("HEAD").size(), 1u);
    EXPECT_TRUE(server.Requests("GET").empty());
}

TEST_F(PictureFetch, APartialFileOfTheSameCopyIsResumedFromItsSize)
{
    WriteAll(Local(), file.content.substr(0, 4000));
    WriteAll(Side(), "##" + ServerText() + "##");
    EXPECT_EQ(transfer::FetchFile(Url(), "ico/123.gif", dir.Dir()), FileFetch::Complete);
    const auto gets = server.Requests("GET");
    ASSERT_EQ(gets.size(), 1u);
    EXPECT_EQ(gets[0].range, "4000-10000");
    EXPECT_EQ(gets[0].referrer, MARLUNE_REFERRER);
    EXPECT_EQ(ReadAll(Local()), file.content);
    EXPECT_FALSE(std::filesystem::exists(Side()));
}

TEST_F(PictureFetch, APartialFileOfAnotherCopyIsFetchedWhole)
{
    struct Case
    {
        const char* name;
        std::optional<std::string> side;
    };
    const Case cases[] = {
        {"other copy", std::string("##Sun,05Dec201009:00:00GMT\r##")},
        {"no side file", std::nullopt},
        {"side file without marks", std::string("Mon,06Dec201010:00:00GMT\r")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteAll(Local(), std::string(4000, 'z')); // bytes that do not belong to the server's copy
        std::filesystem::remove(Side());
        if (c.side) {
            WriteAll(Side(), *c.side);
        }
        const std::size_t before = server.Requests("GET").size();
        EXPECT_EQ(transfer::FetchFile(Url(), "ico/123.gif", dir.Dir()), FileFetch::Complete);
        const auto gets = server.Requests("GET");
        ASSERT_EQ(gets.size(), before + 1);
        EXPECT_EQ(gets.back().range, "0-10000");
        EXPECT_EQ(ReadAll(Local()), file.content);
    }
}

TEST_F(PictureFetch, ALongerLocalFileIsFetchedAgain)
{
    WriteAll(Local(), std::string(12000, 'z'));
    EXPECT_EQ(transfer::FetchFile(Url(), "ico/123.gif", dir.Dir()), FileFetch::Complete);
    EXPECT_EQ(ReadAll(Local()), file.content);
}

TEST_F(PictureFetch, AShortTransferLeavesItsSideFileAndIsResumedNextTime)
{
    file.getKind = HttpReply::Kind::DropMidBody;
    file.cut = 3000;
    EXPECT_EQ(transfer::FetchFile(Url(), "ico/123.gif", dir.Dir()), FileFetch::Incomplete);
    EXPECT_EQ(SizeOf(Local()), 3000);
    EXPECT_EQ(ReadAll(Side()), "##" + ServerText() + "##");

    file.getKind = HttpReply::Kind::Normal;
    EXPECT_EQ(transfer::FetchFile(Url(), "ico/123.gif", dir.Dir()), FileFetch::Complete);
    EXPECT_EQ(server.Requests("GET").back().range, "3000-10000");
    EXPECT_EQ(ReadAll(Local()), file.content);
}

TEST_F(PictureFetch, AnAnswerThatIsNotTheFileAppendsNothing)
{
    WriteAll(Local(), file.content.substr(0, 4000));
    WriteAll(Side(), "##" + ServerText() + "##");
    file.rangeStartLie = 0;
    EXPECT_EQ(transfer::FetchFile(Url(), "ico/123.gif", dir.Dir()), FileFetch::Incomplete);
    EXPECT_EQ(ReadAll(Local()), file.content.substr(0, 4000));
}

TEST_F(PictureFetch, TheWholeFileForARangeStartsOverFromZero)
{
    WriteAll(Local(), std::string(4000, 'z'));
    WriteAll(Side(), "##" + ServerText() + "##");
    file.ignoreRange = true;
    EXPECT_EQ(transfer::FetchFile(Url(), "ico/123.gif", dir.Dir()), FileFetch::Complete);
    EXPECT_EQ(ReadAll(Local()), file.content);
}

TEST_F(PictureFetch, ErrorAnswersAreNotPictures)
{
    server.SetHandler([](const HttpRequest&) {
        HttpReply reply;
        reply.status = 404;
        reply.body = "<html>404</html>";
        reply.headers.push_back("Content-Length: 16");
        return reply;
    });
    EXPECT_EQ(transfer::FetchFile(Url(), "ico/123.gif", dir.Dir()), FileFetch::NoLength);
    EXPECT_FALSE(std::filesystem::exists(Local()));

    server.SetHandler([](const HttpRequest&) {
        HttpReply reply;
        reply.kind = HttpReply::Kind::HangUpWithoutAnswer;
        return reply;
    });
    EXPECT_EQ(transfer::FetchFile(Url(), "ico/123.gif", dir.Dir()), FileFetch::NoAnswer);
    EXPECT_FALSE(std::filesystem::exists(Local()));
}

TEST_F(PictureFetch, PathsOutsideTheBaseFolderAreRefused)
{
    // ... and a file that would be its own side file.
    for (const char* path : {"/etc/passwd", "../escape.gif", "ico/../../escape.gif", "ico/..", "", ".", "ico/1.txt"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(transfer::FetchFile(Url(), path, dir.Dir()), FileFetch::Refused);
    }
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(transfer::FetchFile(Url(), "ico/./123.gif", dir.Dir()), FileFetch::Complete);
}

TEST_F(PictureFetch, AFileBeyondItsBoundsIsNotFetched)
{
    struct Case
    {
        std::int64_t maxBytes;
        std::uint64_t free;
        FileFetch result;
    };
    for (const Case& c : {Case{9999, 1 << 20, FileFetch::TooLarge},
                          Case{0, 9999, FileFetch::TooLarge},
                          Case{10000, 10000, FileFetch::Complete}}) {
        SCOPED_TRACE(c.maxBytes);
        std::filesystem::remove(Local());
        transfer::FetchLimits limits;
        limits.maxBytes = c.maxBytes;
        limits.env = std::make_shared<FakeEnv>(c.free);
        EXPECT_EQ(transfer::FetchFile(Url(), "ico/123.gif", dir.Dir(), limits), c.result);
        EXPECT_EQ(std::filesystem::exists(Local()), c.result == FileFetch::Complete);
        EXPECT_FALSE(std::filesystem::exists(Side()));
    }
    EXPECT_EQ(server.Requests("GET").size(), 1u);
}

TEST_F(PictureFetch, SpacesInTheAddressAreEscaped)
{
    EXPECT_EQ(transfer::FetchFile(server.BaseUrl() + "file/ico/1 2.gif", "ico/123.gif", dir.Dir()),
              FileFetch::Complete);
    EXPECT_EQ(server.Requests().front().path, "/file/ico/1%202.gif");
}

} // namespace
