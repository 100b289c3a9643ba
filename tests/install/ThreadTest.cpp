#include "GameFixture.h"
#include "WaitFor.h"
#include "install/Unpack.h"
#include "platform/Messages.h"

using namespace test_zip;
using testing_support::WaitFor;
namespace fs = std::filesystem;
namespace msg = platform::msg;

namespace {

class UnzipThreadMessages : public GameFixture
{};

} // namespace

TEST_F(UnzipThreadMessages, RequestsAreHandledOneAtATimeInOrder)
{
    ASSERT_TRUE(MakePackage(12, GamePackage(RecordingScript, true)));
    ASSERT_TRUE(MakePackage(13, {File("readme.txt", "no config")}));
    m_unzip.Start();
    ASSERT_TRUE(platform::PostMessageTo(m_unzip.Handle(), msg::UnzipOpen, platform::PackWords(11, 0), 0));
    ASSERT_TRUE(platform::PostMessageTo(m_unzip.Handle(), msg::UnzipOpen, platform::PackWords(12, 0), 0));
    ASSERT_TRUE(platform::PostMessageTo(m_unzip.Handle(), msg::UnzipOpen, platform::PackWords(13, 0), 0));
    ASSERT_TRUE(platform::PostMessageTo(m_unzip.Handle(), msg::UnzipRemove, platform::PackWords(13, 0), 0));
    ASSERT_TRUE(platform::PostMessageTo(m_unzip.Handle(), msg::Ignored, 0, 0)); // no handler: dropped
    ASSERT_TRUE(WaitFor([&] { return m_sink.Count() == 4; }));

    const std::vector<platform::Message> got = m_sink.Messages();
    const std::vector<std::pair<platform::Param, platform::Param>> expected{
        {platform::PackWords(11, msg::game_action::Result),
         platform::PackWords(msg::open_result::PackageUnreadable, 1)},
        {platform::PackWords(12, msg::game_action::Result), platform::PackWords(msg::open_result::Started, 0)},
        {platform::PackWords(13, msg::game_action::Result), platform::PackWords(msg::open_result::NoConfig, 1)},
        {platform::PackWords(13, msg::game_action::Removed), 0}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(got[i].id, msg::GameAction) << i;
        EXPECT_EQ(got[i].wParam, expected[i].first) << i;
        EXPECT_EQ(got[i].lParam, expected[i].second) << i;
    }
    EXPECT_TRUE(WaitFor([&] { return fs::exists(Folder(12) / "ran.txt"); }));
    EXPECT_FALSE(fs::exists(Folder(13)));
}

TEST(UnzipThreadWindowGone, NothingReachesAHandleThatIsGone)
{
    Sandbox box;
    RecordingWindow sink;
    platform::WindowHandle gone = platform::RegisterWindow(&sink);
    platform::UnregisterWindow(gone);
    install::UnzipThread unzip(box.ProgramDir(), gone, [] { return true; });
    unzip.Start();
    ASSERT_TRUE(WriteZip(box.Package(4), {File("x.txt", "x")}));
    ASSERT_TRUE(platform::PostMessageTo(unzip.Handle(), msg::UnzipOpen, platform::PackWords(4, 0), 0));
    ASSERT_TRUE(platform::PostMessageTo(unzip.Handle(), msg::UnzipRemove, platform::PackWords(4, 0), 0));
    ASSERT_TRUE(WaitFor([&] { return !fs::exists(box.Package(4)); })); // both were handled
    unzip.Stop();
    EXPECT_EQ(sink.Count(), 0u);
}

TEST(UnzipThreadStop, StoppingDuringALongUnpackEndsBetweenChunks)
{
    Sandbox box;
    RecordingWindow sink;
    platform::ScopedWindow window(&sink);
    install::UnzipThread unzip(box.ProgramDir(), window.Handle(), [] { return false; });
    constexpr std::uint64_t Size = std::uint64_t{256} << 20;
    std::uint32_t crc = 0;
    ASSERT_TRUE(WriteZip(
        box.Package(3),
        {File("index.dat", "[config]\nfile=big.bin\n"), Raw("big.bin", DeflatedZeros(Size, crc), 8, Size, crc)}));
    const fs::path big = box.GameFolder(3) / "big.bin";
    unzip.Start();
    ASSERT_TRUE(platform::PostMessageTo(unzip.Handle(), msg::UnzipOpen, platform::PackWords(3, 0), 0));
    ASSERT_TRUE(WaitFor([&] {
        std::error_code ec;
        return fs::file_size(big, ec) > 0 && !ec;
    }));
    unzip.Stop();
    EXPECT_FALSE(fs::exists(big)); // the unfinished file is removed
    EXPECT_FALSE(install::UnpackedNames(box.GameFolder(3)));
    EXPECT_EQ(sink.Count(), 0u);
}

TEST(UnzipThreadWindowGone, StoppingWithRequestsQueuedDoesNotHang)
{
    for (int round = 0; round < 5; ++round) {
        Sandbox box;
        RecordingWindow sink;
        platform::ScopedWindow window(&sink);
        install::UnzipThread unzip(box.ProgramDir(), window.Handle(), [] { return false; });
        ASSERT_TRUE(WriteZip(box.Package(1), {File("big.bin", NoiseBytes(1 << 20))}));
        unzip.Start();
        for (int i = 0; i < 20; ++i) {
            (void)platform::PostMessageTo(unzip.Handle(), msg::UnzipOpen, platform::PackWords(1, 0), 0);
        }
        unzip.Stop();
        EXPECT_LE(sink.Count(), 20u);
    }
}
