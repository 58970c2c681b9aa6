// The jetdb tool's value formatting and parameter parsing.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>

#include "jetdb_format.h"

using jet::Value;

namespace {

std::string csv(const Value& v) {
    std::string s;
    jetdb::appendCsvField(s, v);
    return s;
}

}  // namespace

TEST(JetdbFormat, DatesAcrossAccessRange) {
    EXPECT_EQ(jetdb::formatDateTime(0), "1899-12-30 00:00:00");
    EXPECT_EQ(jetdb::formatDateTime(27293), "1974-09-21 00:00:00");
    EXPECT_EQ(jetdb::formatDateTime(46357.75), "2026-12-01 18:00:00");
    EXPECT_EQ(jetdb::formatDateTime(-657434), "0100-01-01 00:00:00");
    EXPECT_EQ(jetdb::formatDateTime(2958465 + 86399.0 / 86400), "9999-12-31 23:59:59");
    // 1900 is no leap year: day 60 is February 28th, day 61 March 1st.
    EXPECT_EQ(jetdb::formatDateTime(60), "1900-02-28 00:00:00");
    EXPECT_EQ(jetdb::formatDateTime(61), "1900-03-01 00:00:00");
    EXPECT_EQ(jetdb::formatDateTime(-693593 + 0.0), "0001-01-01 00:00:00");
}

TEST(JetdbFormat, NegativeDayNumbersKeepTheTimeOfDayAsMagnitude) {
    // Before 1899-12-30 the integer part counts days back and the fraction is still the time of day.
    EXPECT_EQ(jetdb::formatDateTime(-1.25), "1899-12-29 06:00:00");
    EXPECT_EQ(jetdb::formatDateTime(-0.5), "1899-12-30 12:00:00");
    EXPECT_EQ(jetdb::formatDateTime(-2.75), "1899-12-28 18:00:00");
    EXPECT_EQ(jetdb::formatDateTime(-36522.5), "1800-01-01 12:00:00");
}

TEST(JetdbFormat, DatesRoundToTheNearestSecond) {
    EXPECT_EQ(jetdb::formatDateTime(1 + 5399.4 / 86400), "1899-12-31 01:29:59");
    EXPECT_EQ(jetdb::formatDateTime(1 + 5399.6 / 86400), "1899-12-31 01:30:00");
    EXPECT_EQ(jetdb::formatDateTime(1.9999999999), "1900-01-01 00:00:00");
    EXPECT_EQ(jetdb::formatDateTime(-1.9999999999), "1899-12-30 00:00:00");
    EXPECT_EQ(jetdb::formatDateTime(1.0 / 86400 * 0.4), "1899-12-30 00:00:00");
}

TEST(JetdbFormat, DayNumbersOutsideAnyCalendarStayNumbers) {
    EXPECT_EQ(jetdb::formatDateTime(1e300), "1e+300");
    EXPECT_EQ(jetdb::formatDateTime(-1e12), "-1e+12");
    EXPECT_EQ(jetdb::formatDateTime(NAN).find("nan") != std::string::npos, true);
}

TEST(JetdbFormat, DayNumberInvertsFormatting) {
    for (int y : {1, 100, 1752, 1899, 1900, 1904, 2000, 2026, 9999})
        for (int m : {1, 2, 3, 12})
            for (int d : {1, 28}) {
                double days = 0;
                ASSERT_TRUE(jetdb::dayNumber(y, m, d, 13, 7, 9, days));
                char want[40];
                std::snprintf(want, sizeof want, "%04d-%02d-%02d 13:07:09", y, m, d);
                EXPECT_EQ(jetdb::formatDateTime(days), want) << days;
            }
    double days = 0;
    EXPECT_TRUE(jetdb::dayNumber(2000, 2, 29, 0, 0, 0, days));
    EXPECT_FALSE(jetdb::dayNumber(1900, 2, 29, 0, 0, 0, days));
    EXPECT_FALSE(jetdb::dayNumber(2026, 4, 31, 0, 0, 0, days));
    EXPECT_FALSE(jetdb::dayNumber(2026, 13, 1, 0, 0, 0, days));
    EXPECT_FALSE(jetdb::dayNumber(2026, 1, 1, 24, 0, 0, days));
}

TEST(JetdbFormat, CurrencyIsExactWithoutTrailingZeros) {
    EXPECT_EQ(csv(Value::currency({35000})), "3.5");
    EXPECT_EQ(csv(Value::currency({10000})), "1");
    EXPECT_EQ(csv(Value::currency({0})), "0");
    EXPECT_EQ(csv(Value::currency({-1})), "-0.0001");
    EXPECT_EQ(csv(Value::currency({-123456789})), "-12345.6789");
    EXPECT_EQ(csv(Value::currency({LLONG_MIN})), "-922337203685477.5808");
    EXPECT_EQ(csv(Value::currency({LLONG_MAX})), "922337203685477.5807");
}

TEST(JetdbFormat, DecimalIsExactFromTheScaledInteger) {
    EXPECT_EQ(csv(Value::decimal({12345, 18, 2})), "123.45");
    EXPECT_EQ(csv(Value::decimal({1200, 18, 2})), "12");
    EXPECT_EQ(csv(Value::decimal({-5, 18, 3})), "-0.005");
    EXPECT_EQ(csv(Value::decimal({0, 18, 4})), "0");
    EXPECT_EQ(csv(Value::decimal({-7, 18, 0})), "-7");
    __int128 big = 1;
    for (int i = 0; i < 28; ++i) big *= 10;
    EXPECT_EQ(csv(Value::decimal({big - 1, 28, 0})), std::string(28, '9'));
    EXPECT_EQ(csv(Value::decimal({big - 1, 28, 28})), "0." + std::string(28, '9'));
}

TEST(JetdbFormat, FloatingPointIsShortestRoundTrip) {
    EXPECT_EQ(csv(Value::single(0.1f)), "0.1");
    EXPECT_EQ(csv(Value::dbl(0.1)), "0.1");
    EXPECT_EQ(csv(Value::dbl(444.555)), "444.555");
    EXPECT_EQ(csv(Value::dbl(-2)), "-2");
    for (double d : {1.0 / 3, 1e-310, 6.02214076e23, -0.0001234})
        EXPECT_EQ(std::strtod(csv(Value::dbl(d)).c_str(), nullptr), d);
    for (float f : {1.0f / 3, 3.4e38f, 1e-40f})
        EXPECT_EQ(std::strtof(csv(Value::single(f)).c_str(), nullptr), f);
}

TEST(JetdbFormat, CsvFieldsByKind) {
    EXPECT_EQ(csv(Value::null()), "");
    EXPECT_EQ(csv(Value::text("")), "\"\"");
    EXPECT_EQ(csv(Value::text("say \"hi\", then\nleave")), "\"say \"\"hi\"\", then\nleave\"");
    EXPECT_EQ(csv(Value::boolean(true)), "1");
    EXPECT_EQ(csv(Value::boolean(false)), "0");
    EXPECT_EQ(csv(Value::byte(255)), "255");
    EXPECT_EQ(csv(Value::int16(-32768)), "-32768");
    EXPECT_EQ(csv(Value::int32(-2147483647 - 1)), "-2147483648");
    EXPECT_EQ(csv(Value::binary({0x00, 0xAB, 0x7f})), "00ab7f");
    EXPECT_EQ(csv(Value::binary({})), "");
    EXPECT_EQ(csv(Value::date(46357.5)), "2026-12-01 12:00:00");
    jet::Guid g;
    for (int i = 0; i < 16; ++i) g.bytes[i] = static_cast<uint8_t>(i + 1);
    EXPECT_EQ(csv(Value::guid(g)), "{04030201-0605-0807-090A-0B0C0D0E0F10}");
}

TEST(JetdbFormat, ParameterValuesReadAsNumberDateOrText) {
    EXPECT_EQ(jetdb::parseParamValue("42"), Value::int32(42));
    EXPECT_EQ(jetdb::parseParamValue("-7"), Value::int32(-7));
    EXPECT_EQ(jetdb::parseParamValue("+7"), Value::int32(7));
    EXPECT_EQ(jetdb::parseParamValue("3.25"), Value::dbl(3.25));
    EXPECT_EQ(jetdb::parseParamValue(".5"), Value::dbl(0.5));
    EXPECT_EQ(jetdb::parseParamValue("99999999999"), Value::dbl(99999999999.0));
    EXPECT_EQ(jetdb::parseParamValue("2026-12-01"), Value::date(46357));
    EXPECT_EQ(jetdb::parseParamValue("2026-12-01 18:00:00"), Value::date(46357.75));
    EXPECT_EQ(jetdb::parseParamValue("1899-12-29 06:00:00"), Value::date(-1.25));
    EXPECT_EQ(jetdb::parseParamValue("2026-02-30"), Value::text("2026-02-30"));
    EXPECT_EQ(jetdb::parseParamValue("Alice Moreno"), Value::text("Alice Moreno"));
    EXPECT_EQ(jetdb::parseParamValue("inf"), Value::text("inf"));
    EXPECT_EQ(jetdb::parseParamValue("12abc"), Value::text("12abc"));
    EXPECT_EQ(jetdb::parseParamValue(""), Value::text(""));
    EXPECT_EQ(jetdb::parseParamValue("-"), Value::text("-"));
}
