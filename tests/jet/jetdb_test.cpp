// The jetdb tool's value formatting and parameter parsing.
#include <gtest/gtest.h>
#include <climits>
#include <cmath>
#include "jetdb_format.h"
#include "test_util.h"

using jet::Value;
using testutil::runJetdb;
using testutil::ToolRun;

namespace {
std::string csv(const Value& v) {
    std::string s;
    jetdb::appendCsvField(s, v);
    return s;
}
}  // namespace

TEST(JetdbFormat, DatesAcrossAccessRange) {
    const std::pair<double, const char*> cases[] = {
        {0, "1899-12-30 00:00:00"}, {27293, "1974-09-21 00:00:00"}, {46357.75, "2026-12-01 18:00:00"},
        {-657434, "0100-01-01 00:00:00"}, {2958465 + 86399.0 / 86400, "9999-12-31 23:59:59"},
        // 1900 is no leap year: day 60 is February 28th, day 61 March 1st.
        {60, "1900-02-28 00:00:00"}, {61, "1900-03-01 00:00:00"}, {-693593, "0001-01-01 00:00:00"},
        // Before 1899-12-30 the integer part counts days back and the fraction is still the time of day.
        {-1.25, "1899-12-29 06:00:00"}, {-0.5, "1899-12-30 12:00:00"}, {-2.75, "1899-12-28 18:00:00"},
        {-36522.5, "1800-01-01 12:00:00"},
        // to the nearest second
        {1 + 5399.4 / 86400, "1899-12-31 01:29:59"}, {1 + 5399.6 / 86400, "1899-12-31 01:30:00"},
        {1.9999999999, "1900-01-01 00:00:00"}, {-1.9999999999, "1899-12-30 00:00:00"},
        {1.0 / 86400 * 0.4, "1899-12-30 00:00:00"},
        // day numbers outside any calendar stay numbers
        {1e300, "1e+300"}, {-1e12, "-1e+12"},
    };
    for (const auto& [days, text] : cases) EXPECT_EQ(jetdb::formatDateTime(days), text) << days;
    EXPECT_NE(jetdb::formatDateTime(NAN).find("nan"), std::string::npos);
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
    const std::vector<bool> valid = {jetdb::dayNumber(2000, 2, 29, 0, 0, 0, days), jetdb::dayNumber(1900, 2, 29, 0, 0, 0, days),
                                     jetdb::dayNumber(2026, 4, 31, 0, 0, 0, days), jetdb::dayNumber(2026, 13, 1, 0, 0, 0, days),
                                     jetdb::dayNumber(2026, 1, 1, 24, 0, 0, days)};
    EXPECT_EQ(valid, (std::vector<bool>{true, false, false, false, false}));
}

// Currency and Decimal exact without trailing zeros, floating point as the shortest text that reads back.
TEST(JetdbFormat, CsvFieldsByKind) {
    __int128 big = 1;
    for (int i = 0; i < 28; ++i) big *= 10;
    jet::Guid g;
    for (int i = 0; i < 16; ++i) g.bytes[i] = static_cast<uint8_t>(i + 1);
    const std::pair<Value, std::string> cases[] = {
        {Value::currency({35000}), "3.5"}, {Value::currency({10000}), "1"}, {Value::currency({0}), "0"},
        {Value::currency({-1}), "-0.0001"}, {Value::currency({-123456789}), "-12345.6789"},
        {Value::currency({LLONG_MIN}), "-922337203685477.5808"}, {Value::currency({LLONG_MAX}), "922337203685477.5807"},
        {Value::decimal({12345, 18, 2}), "123.45"}, {Value::decimal({1200, 18, 2}), "12"},
        {Value::decimal({-5, 18, 3}), "-0.005"}, {Value::decimal({0, 18, 4}), "0"}, {Value::decimal({-7, 18, 0}), "-7"},
        {Value::decimal({big - 1, 28, 0}), std::string(28, '9')},
        {Value::decimal({big - 1, 28, 28}), "0." + std::string(28, '9')}, {Value::single(0.1f), "0.1"},
        {Value::dbl(0.1), "0.1"}, {Value::dbl(444.555), "444.555"}, {Value::dbl(-2), "-2"}, {Value::null(), ""},
        {Value::text(""), "\"\""}, {Value::text("say \"hi\", then\nleave"), "\"say \"\"hi\"\", then\nleave\""},
        {Value::boolean(true), "1"}, {Value::boolean(false), "0"}, {Value::byte(255), "255"},
        {Value::int16(-32768), "-32768"}, {Value::int32(-2147483647 - 1), "-2147483648"},
        {Value::binary({0x00, 0xAB, 0x7f}), "00ab7f"}, {Value::binary({}), ""},
        {Value::date(46357.5), "2026-12-01 12:00:00"}, {Value::guid(g), "{04030201-0605-0807-090A-0B0C0D0E0F10}"},
    };
    for (const auto& [v, text] : cases) EXPECT_EQ(csv(v), text) << jet::toDebugString(v);
    for (double d : {1.0 / 3, 1e-310, 6.02214076e23, -0.0001234}) EXPECT_EQ(std::strtod(csv(Value::dbl(d)).c_str(), nullptr), d);
    for (float f : {1.0f / 3, 3.4e38f, 1e-40f}) EXPECT_EQ(std::strtof(csv(Value::single(f)).c_str(), nullptr), f);
    std::string names;
    jetdb::appendCsvName(names, "Customer/Job");
    names += ',';
    jetdb::appendCsvName(names, "Odd, \"name\"");
    EXPECT_EQ(names, "Customer/Job,\"Odd, \"\"name\"\"\"");
}

TEST(JetdbFormat, ParameterValuesReadAsNumberDateOrText) {
    const std::pair<const char*, Value> cases[] = {
        {"42", Value::int32(42)}, {"-7", Value::int32(-7)}, {"+7", Value::int32(7)}, {"3.25", Value::dbl(3.25)},
        {".5", Value::dbl(0.5)}, {"99999999999", Value::dbl(99999999999.0)}, {"2026-12-01", Value::date(46357)},
        {"2026-12-01 18:00:00", Value::date(46357.75)}, {"1899-12-29 06:00:00", Value::date(-1.25)},
        {"2026-02-30", Value::text("2026-02-30")}, {"Alice Moreno", Value::text("Alice Moreno")},
        {"inf", Value::text("inf")}, {"12abc", Value::text("12abc")}, {"", Value::text("")}, {"-", Value::text("-")},
    };
    for (const auto& [text, want] : cases) EXPECT_EQ(jetdb::parseParamValue(text), want) << text;
}

// ---------------------------------------------------------------------------
// The jetdb program itself, run as a user would.

namespace {
const std::string kSample = testutil::dataPath("timer/sample.tdb");
}  // namespace

// Each command's whole output, or (when `whole` is false) parts it must hold. Every value of every
// table is compared with two independent readers by the oracle.
TEST(JetdbTool, CommandsPrintWhatTheFileHolds) {
    const struct {
        std::vector<std::string> args;
        bool whole;
        std::vector<std::string> out;
    } cases[] = {
        {{"info", kSample}, true, {"format: JET4\npage size: 4096\npage count: 59\ncode page: 1252\nsort order: 1033\n"}},
        {{"info", testutil::dataPath("jet3/testV1997.mdb")}, false, {"format: JET3\npage size: 2048\npage count: 58\ncode"}},
        {{"tables", kSample}, true, {"Activities\nNames\nItems\nClasses\nPayroll Items\nPrefs - Startup\n"}},
        {{"tables", kSample, "--system"}, false, {"MSysObjects\n", "\nActivities\n"}},
        {{"queries", kSample}, true, {"Customer:Jobs\nService Items\nEmployees Vendors And Other Names\nAll Activities\n"}},
        {{"schema", kSample, "activities"}, false,
         {"Table: Activities\n", "\n  [ID] Long Integer, size 4, ", "autonumber", "\n  [Note] Memo, nullable\n",
          "\n  [Rate] Currency, size 8, nullable\n", "\n  [PrimaryKey] ([ID] ASC), unique, primary key",
          "\n  [UserDate] ([UserDate] ASC)\n"}},
        {{"schema", kSample, "Names"}, false, {"\n  [NameStr] Text, size 100, "}},
        {{"export", kSample, "Prefs - Startup"}, true,
         {"RecentDays,Billable,DefaultName,StopwatchRounding\n30,1,\"Alice Moreno\",1\n"}},
        {{"export", testutil::dataPath("jet4/testV2000.mdb"), "Table1"}, false,
         {"A,B,C,D,E,F,G,H,I\n\"abcdefg\",\"hijklmnop\",2,222,333333333,444.555,1974-09-21 00:00:00,3.5,1\n"
          "\"a\",\"b\",0,0,0,0,1981-12-12 00:00:00,0,0\n"}},
        // Parameters read as numbers, text, dates and times.
        {{"sql", kSample, "SELECT Names.NameStr FROM Names WHERE Names.ID = [Which]", "Which=201"}, true,
         {"NameStr\n\"Brian Okafor\"\n"}},
        {{"sql", kSample, "SELECT Names.ID FROM Names WHERE Names.NameStr = [Who]", "Who=Chen Wei"}, true, {"ID\n202\n"}},
        {{"sql", kSample, "SELECT Activities.ID FROM Activities WHERE Activities.UserDate = [Day] ORDER BY Activities.ID",
          "Day=2026-12-02"}, true, {"ID\n2\n3\n"}},
        {{"sql", kSample, "SELECT Activities.ID FROM Activities WHERE Activities.CreateTime = [At] ORDER BY Activities.ID",
          "[At]=2026-11-27 09:00:00"}, true, {"ID\n12\n"}},
        {{"check", kSample}, true, {"ok\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args.back());
        const ToolRun r = runJetdb(c.args);
        EXPECT_EQ(r.status, 0) << r.err;
        if (c.whole) { EXPECT_EQ(r.out, c.out[0]); }
        for (const auto& part : c.out) EXPECT_NE(r.out.find(part), std::string::npos) << part << " in\n" << r.out;
    }
}

TEST(JetdbTool, ErrorsAreOneLineNamingTheFile) {
    const std::string missing = testing::TempDir() + "no-such-file.mdb";
    const std::string notJet = testutil::dataPath("README.md");
    const struct {
        std::vector<std::string> args;
        std::string mustMention;
    } cases[] = {
        {{"info", missing}, missing}, {{"tables", notJet}, notJet}, {{"export", kSample, "No Such Table"}, "No Such Table"},
        {{"schema", kSample, "No Such Table"}, "No Such Table"}, {{"showquery", kSample, "No Such Query"}, "No Such Query"},
        {{"export", kSample, "Activities", "Who=1"}, "parameters"},
        {{"sql", kSample, "SELECT Names.ID FROM Names", "novalue"}, "NAME=VALUE"}, {{"sql", kSample, "SELEKT nonsense"}, kSample},
        {{"frobnicate", kSample}, "frobnicate"}, {{"schema", kSample}, "usage"}, {{"tables", kSample, "--bogus"}, "usage"},
        {{}, "command"},
    };
    for (const auto& c : cases) {
        ToolRun r = runJetdb(c.args);
        std::string what;
        for (const auto& a : c.args) what += a + " ";
        EXPECT_EQ(std::tie(r.status, r.out), std::tuple(2, "")) << what;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << what << r.err;
        EXPECT_EQ(r.err.rfind("jetdb: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.mustMention), std::string::npos) << what << r.err;
    }
}
