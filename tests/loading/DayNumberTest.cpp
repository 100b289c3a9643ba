#include "loading/DayNumber.h"

#include <ctime>

#include <gtest/gtest.h>

#include "LoadingTestSupport.h"

namespace loading::test {
namespace {

using std::chrono::hours;
using std::chrono::system_clock;

system_clock::time_point LocalTime(int year, int month, int day, int hour = 12, int minute = 0, int second = 0)
{
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;
    return system_clock::from_time_t(std::mktime(&fields));
}

class DayNumberTest : public ProgramDirTest
{
protected:
    int DayFor(system_clock::time_point now) const { return DayNumber(ReadInstallDate(m_dir), now); }
};

TEST_F(DayNumberTest, CountsWholeDaysSinceInstallationModulo365)
{
    const system_clock::time_point now = LocalTime(2011, 6, 15, 10, 30, 0);
    WriteBytes(m_dir / "installdate", DateLine(now - hours(24) * 400) + "\r\n");
    EXPECT_EQ(DayFor(now), 35);
    WriteBytes(m_dir / "installdate", DateLine(now - hours(24) * 10));
    EXPECT_EQ(DayFor(now), 10);
    // A day not yet whole does not count; an installation date in the future counts without sign.
    WriteBytes(m_dir / "installdate", DateLine(now - hours(24) * 365 + hours(1)));
    EXPECT_EQ(DayFor(now), 364);
    WriteBytes(m_dir / "installdate", DateLine(now - hours(24) * 365));
    EXPECT_EQ(DayFor(now), 0);
    WriteBytes(m_dir / "installdate", DateLine(now + hours(24) * 3 + hours(2)));
    EXPECT_EQ(DayFor(now), 3);
    WriteBytes(m_dir / "installdate", "2011-06-05 09:05:01");
    EXPECT_EQ(DayFor(now), 10);
}

TEST_F(DayNumberTest, WithoutInstallationDateTheDayOfTheYear)
{
    EXPECT_EQ(DayFor(LocalTime(2011, 2, 1)), 31);
    EXPECT_EQ(DayFor(LocalTime(2011, 1, 1, 0, 0, 1)), 0);
    EXPECT_EQ(DayFor(LocalTime(2012, 12, 31, 23, 59, 59)), 365);
}

class BadDateTest
    : public DayNumberTest
    , public ::testing::WithParamInterface<std::string>
{};

TEST_P(BadDateTest, CountsAsNoInstallationDate)
{
    WriteBytes(m_dir / "installdate", GetParam());
    EXPECT_FALSE(ReadInstallDate(m_dir).has_value());
    EXPECT_EQ(DayFor(LocalTime(2011, 2, 1)), 31);
}

INSTANTIATE_TEST_SUITE_P(Lines,
                         BadDateTest,
                         ::testing::Values(std::string(),
                                           std::string("\n2010-5-3 14:2:7"),
                                           std::string("2010-5-3"),
                                           std::string("2010/5/3 14:2:7"),
                                           std::string("1899-12-31 23:59:59"),
                                           std::string("2010-13-1 0:0:0"),
                                           std::string("2010-0-1 0:0:0"),
                                           std::string("2010-5-32 0:0:0"),
                                           std::string("2010-5-3 24:0:0"),
                                           std::string("2010-5-3 1:60:0"),
                                           std::string("2010-5-3 1:0:-1"),
                                           std::string("99999999999999999999-5-3 1:0:0"),
                                           std::string("2010-5-3 1:0:99999999999999999999"),
                                           std::string("\xFF\xFE\x32\x00"),
                                           std::string("installed yesterday")),
                         ByIndex());

TEST(ParseInstallDate, AcceptsWhatTheDateFormTakes)
{
    EXPECT_TRUE(ParseInstallDate("2010-5-3 14:2:7").has_value());
    EXPECT_TRUE(ParseInstallDate(" 2010- 5- 3  14: 2: 7 and more").has_value());
    EXPECT_TRUE(ParseInstallDate("+2010-05-03 00:00:00").has_value());
    EXPECT_EQ(ParseInstallDate("2010-5-3 14:2:7"), LocalTime(2010, 5, 3, 14, 2, 7));
}

} // namespace
} // namespace loading::test
