// Jet expression semantics: operators, Null and three-valued logic, Like,
// conversions, text and date functions, and the errors a query reports.
// Each expression runs as a one-row SELECT without FROM.
#include <gtest/gtest.h>

#include <cmath>

#include "jet/error.h"
#include "jet/query.h"
#include "test_util.h"

using namespace jet;

namespace {

// 12/06/2026 17:05:00
constexpr double kNow = 46362.0 + (17 * 3600 + 5 * 60) / 86400.0;

class EvalTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { db_ = Database::open(testutil::dataPath("timer/sample.tdb")).release(); }
    static void TearDownTestSuite() {
        delete db_;
        db_ = nullptr;
    }

    static ResultSet select(const std::string& items, const Params& params = {}, const std::string& name = "") {
        auto model = std::make_shared<QueryModel>(*parseSql("SELECT " + items));
        model->name = name;
        EvalOptions opts;
        opts.now = [] { return kNow; };
        return runQuery(*db_, *model, params, opts);
    }
    static Value eval(const std::string& expr, const Params& params = {}) {
        ResultSet rs = select(expr + " AS X", params);
        EXPECT_EQ(rs.rows.size(), 1u);
        return rs.rows.at(0).at(0);
    }
    static std::string text(const std::string& expr) {
        Value v = eval(expr);
        if (!v.isText()) return "<not text: " + toDebugString(v) + ">";
        return v.asText();
    }
    static double num(const std::string& expr) {
        Value v = eval(expr);
        if (v.isNull() || v.isText()) ADD_FAILURE() << expr << " gave " << toDebugString(v);
        return v.isNull() || v.isText() ? NAN : v.toDouble();
    }
    static double date(const std::string& expr) {
        Value v = eval(expr);
        if (v.kind() != Value::Kind::Date) {
            ADD_FAILURE() << expr << " is not a date: " << toDebugString(v);
            return NAN;
        }
        return v.asDate().days;
    }
    // -1 Null, 0 False, 1 True
    static int truth(const std::string& expr) {
        Value v = eval(expr);
        if (v.isNull()) return -1;
        if (v.kind() != Value::Kind::Bool) ADD_FAILURE() << expr << " is not Boolean: " << toDebugString(v);
        return v.kind() == Value::Kind::Bool && v.asBool() ? 1 : 0;
    }
    static std::string error(const std::string& expr, const Params& params = {}) {
        try {
            select(expr + " AS X", params, "Calc");
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), Error::Code::Query) << e.what();
            return e.what();
        }
        return "<no error>";
    }

    static Database* db_;
};

Database* EvalTest::db_ = nullptr;

double hms(int h, int m, int s) { return (h * 3600 + m * 60 + s) / 86400.0; }

TEST_F(EvalTest, ArithmeticKeepsJetTypes) {
    EXPECT_EQ(eval("1 + 2"), Value::int32(3));
    EXPECT_EQ(num("5 / 2"), 2.5);
    EXPECT_EQ(num("7 \\ 2"), 3);
    EXPECT_EQ(num("8.6 \\ 2"), 4);    // operands are rounded first: 9 \ 2
    EXPECT_EQ(num("-7 Mod 3"), -1);   // sign of the dividend
    EXPECT_EQ(num("7.5 Mod 2"), 0);   // 8 Mod 2
    EXPECT_EQ(num("2 ^ 10"), 1024);
    EXPECT_EQ(num("\"3\" + 4"), 7);   // numeric text takes part in arithmetic
    EXPECT_EQ(text("\"ab\" + \"cd\""), "abcd");
    EXPECT_EQ(eval("40000 * 2").kind(), Value::Kind::Int32);  // grows past Integer instead of overflowing
    EXPECT_EQ(eval("2147483647 + 1"), Value::dbl(2147483648.0));
    EXPECT_EQ(eval("CCur(1.5) * 3"), Value::currency(Currency{45000}));
}

TEST_F(EvalTest, NullPropagatesExceptThroughConcatenation) {
    EXPECT_TRUE(eval("Null + 1").isNull());
    EXPECT_TRUE(eval("-Null").isNull());
    EXPECT_TRUE(eval("Null * 0").isNull());
    EXPECT_TRUE(eval("Null = Null").isNull());
    EXPECT_EQ(text("Null & \"x\""), "x");
    EXPECT_EQ(text("\"x\" & Null & 5"), "x5");
    EXPECT_TRUE(eval("Null & Null").isNull());
    EXPECT_EQ(text("1.5 & \"|\" & True"), "1.5|True");
}

TEST_F(EvalTest, LogicIsThreeValued) {
    EXPECT_EQ(truth("Null And False"), 0);
    EXPECT_EQ(truth("Null And True"), -1);
    EXPECT_EQ(truth("Null Or True"), 1);
    EXPECT_EQ(truth("Null Or False"), -1);
    EXPECT_EQ(truth("Not (Null = 1)"), -1);
    EXPECT_EQ(truth("True Xor True"), 0);
    EXPECT_EQ(truth("True Xor Null"), -1);
    EXPECT_EQ(truth("False Eqv False"), 1);
    EXPECT_EQ(truth("False Imp Null"), 1);
    EXPECT_EQ(truth("Null Imp True"), 1);
    EXPECT_EQ(truth("Null Imp False"), -1);
    EXPECT_EQ(truth("True Imp False"), 0);
    EXPECT_EQ(num("Not 0"), -1);  // Not on numbers is bitwise
}

TEST_F(EvalTest, ComparisonsFollowJetRules) {
    EXPECT_EQ(truth("\"abc\" = \"ABC\""), 1);  // text compares case-insensitively
    EXPECT_EQ(truth("\"Café\" < \"City\""), 1);
    EXPECT_EQ(truth("#12/6/2026# = 46362"), 1);  // dates compare on their day numbers
    EXPECT_EQ(truth("#12/6/2026 12:00# > 46362"), 1);
    EXPECT_EQ(truth("#12/6/2026# = \"12/6/2026\""), 1);
    EXPECT_EQ(truth("True = -1"), 1);
    EXPECT_EQ(truth("5 Between 1 And 10"), 1);
    EXPECT_EQ(truth("5 Between 10 And 1"), 1);  // Jet accepts the bounds in either order
    EXPECT_EQ(truth("5 Not Between 1 And 4"), 1);
    EXPECT_EQ(truth("5 Between Null And 10"), -1);
    EXPECT_EQ(truth("3 In (1, 2, 3)"), 1);
    EXPECT_EQ(truth("4 In (1, 2, 3)"), 0);
    EXPECT_EQ(truth("4 In (1, Null)"), -1);
    EXPECT_EQ(truth("4 Not In (1, 2)"), 1);
    EXPECT_EQ(truth("\"b\" In (\"A\", \"B\")"), 1);
    EXPECT_EQ(truth("Null Is Null"), 1);
    EXPECT_EQ(truth("1 Is Not Null"), 1);
}

TEST_F(EvalTest, LikePatterns) {
    EXPECT_EQ(truth("\"Acme Corporation\" Like \"acme*\""), 1);
    EXPECT_EQ(truth("\"Café\" Like \"Caf?\""), 1);  // ? is one character, not one byte
    EXPECT_EQ(truth("\"Job 7\" Like \"Job #\""), 1);
    EXPECT_EQ(truth("\"Job x\" Like \"Job #\""), 0);
    EXPECT_EQ(truth("\"b\" Like \"[a-c]\""), 1);
    EXPECT_EQ(truth("\"B\" Like \"[a-c]\""), 1);
    EXPECT_EQ(truth("\"d\" Like \"[!a-c]\""), 1);
    EXPECT_EQ(truth("\"a\" Like \"[!a-c]\""), 0);
    EXPECT_EQ(truth("\"a*b\" Like \"a[*]b\""), 1);
    EXPECT_EQ(truth("\"axb\" Like \"a[*]b\""), 0);
    EXPECT_EQ(truth("\"abc\" Like \"ab\""), 0);
    EXPECT_EQ(truth("\"\" Like \"*\""), 1);
    EXPECT_EQ(truth("\"abc\" Not Like \"x*\""), 1);
    EXPECT_EQ(truth("Null Like \"*\""), -1);
    // Many stars against a long text must not backtrack exponentially.
    EXPECT_EQ(truth("String(200, \"a\") Like \"*a*a*a*a*a*a*a*a*a*a*a*a*b\""), 0);
}

TEST_F(EvalTest, ConversionsRoundToEvenAndCheckRanges) {
    EXPECT_EQ(eval("CInt(2.5)"), Value::int16(2));
    EXPECT_EQ(eval("CInt(3.5)"), Value::int16(4));
    EXPECT_EQ(eval("CInt(-2.5)"), Value::int16(-2));
    EXPECT_EQ(eval("CInt(\"12\")"), Value::int16(12));
    EXPECT_EQ(eval("CLng(1234567.5)"), Value::int32(1234568));
    EXPECT_EQ(eval("CByte(255)"), Value::byte(255));
    EXPECT_EQ(eval("CCur(1.23456)"), Value::currency(Currency{12346}));
    EXPECT_EQ(eval("CDbl(\"1.5\")"), Value::dbl(1.5));
    EXPECT_EQ(eval("CSng(0.5)"), Value::single(0.5f));
    EXPECT_EQ(eval("CStr(1.5)"), Value::text("1.5"));
    EXPECT_EQ(eval("CStr(#12/6/2026 5:05:00 PM#)"), Value::text("12/6/2026 5:05:00 PM"));
    EXPECT_EQ(eval("CDate(\"12/6/2026\")"), Value::date(46362));
    EXPECT_EQ(eval("CDate(\"2026-12-06 17:05\")"), Value::date(kNow));
    EXPECT_EQ(eval("CBool(0)"), Value::boolean(false));
    EXPECT_EQ(eval("CBool(7)"), Value::boolean(true));
    EXPECT_NE(error("CInt(32768)").find("overflow"), std::string::npos);
    EXPECT_NE(error("CInt(-32768.6)").find("overflow"), std::string::npos);
    EXPECT_NE(error("CLng(2147483648)").find("overflow"), std::string::npos);
    EXPECT_NE(error("CByte(-1)").find("overflow"), std::string::npos);
    EXPECT_NE(error("CInt(\"abc\")").find("type mismatch"), std::string::npos);
    EXPECT_NE(error("CStr(Null)").find("Null"), std::string::npos);
}

TEST_F(EvalTest, NumericFunctions) {
    EXPECT_EQ(num("Int(-2.5)"), -3);
    EXPECT_EQ(num("Fix(-2.5)"), -2);
    EXPECT_EQ(eval("Int(7)"), Value::int32(7));
    EXPECT_EQ(eval("Sgn(-0.1)"), Value::int16(-1));
    EXPECT_EQ(num("Round(2.5)"), 2);
    EXPECT_EQ(num("Round(3.5)"), 4);
    EXPECT_EQ(num("Round(2.675, 2)"), 2.68);  // the decimal written, not its binary neighbour
    EXPECT_EQ(num("Round(1.125, 2)"), 1.12);
    EXPECT_EQ(num("Val(\" 1 2.5abc\")"), 12.5);
    EXPECT_EQ(num("Val(\"&H1F\")"), 31);
    EXPECT_EQ(num("Val(\"x\")"), 0);
    EXPECT_EQ(text("Str(5)"), " 5");
    EXPECT_EQ(text("Str(-5)"), "-5");
    EXPECT_EQ(eval("IsNumeric(\"1.5\")"), Value::boolean(true));
    EXPECT_EQ(eval("IsNumeric(\"1.5x\")"), Value::boolean(false));
    EXPECT_EQ(eval("IsNumeric(Null)"), Value::boolean(false));
    EXPECT_EQ(eval("IsDate(\"12/6/2026\")"), Value::boolean(true));
    EXPECT_EQ(eval("IsDate(\"13/13/2026\")"), Value::boolean(false));
    EXPECT_EQ(eval("IsNull(Null)"), Value::boolean(true));
    EXPECT_NE(error("Sqr(-1)").find("Sqr"), std::string::npos);
}

TEST_F(EvalTest, TextFunctionsCountCharacters) {
    EXPECT_EQ(num("Len(\"Café\")"), 4);
    EXPECT_EQ(text("Left(\"Café Aurora\", 4)"), "Café");
    EXPECT_EQ(text("Right(\"Café\", 2)"), "fé");
    EXPECT_EQ(text("Mid(\"Café Aurora\", 4, 3)"), "é A");
    EXPECT_EQ(text("Mid(\"abc\", 5)"), "");
    EXPECT_EQ(text("Left(\"abc\", 10)"), "abc");
    EXPECT_EQ(text("Trim(\"  a b  \")"), "a b");
    EXPECT_EQ(text("RTrim(\" a  \")"), " a");
    EXPECT_EQ(text("UCase(\"café\")"), "CAFÉ");
    EXPECT_EQ(text("LCase(\"CAFÉ\")"), "café");
    EXPECT_EQ(num("InStr(\"Acme Corporation\", \"corp\")"), 6);  // text compare by default
    EXPECT_EQ(num("InStr(7, \"Acme Corporation\", \"o\")"), 7);
    EXPECT_EQ(num("InStr(1, \"Acme\", \"C\", 0)"), 0);  // binary compare
    EXPECT_TRUE(eval("InStr(Null, \"a\")").isNull());
    EXPECT_EQ(text("Replace(\"a-b-c\", \"-\", \"+\")"), "a+b+c");
    EXPECT_EQ(text("Replace(\"aXbxc\", \"x\", \"\")"), "abc");
    EXPECT_EQ(text("Replace(\"a-b-c\", \"-\", \"+\", 1, 1)"), "a+b-c");
    EXPECT_EQ(text("Space(3)"), "   ");
    EXPECT_EQ(text("String(3, \"xy\")"), "xxx");
    EXPECT_EQ(text("String(2, 65)"), "AA");
    EXPECT_EQ(text("Nz(Null, \"none\")"), "none");
    EXPECT_EQ(text("Nz(Null)"), "");
    EXPECT_NE(error("Left(\"abc\", -1)").find("Left"), std::string::npos);
}

TEST_F(EvalTest, IIfEvaluatesOnlyTheBranchTaken) {
    EXPECT_EQ(num("IIf(True, 1, 1 / 0)"), 1);
    EXPECT_EQ(text("IIf(Null, \"yes\", \"no\")"), "no");
    EXPECT_EQ(text("IIf(1 = 2, 1, \"two\")"), "two");
    ResultSet rs = select("IIf(True, \"Billable\", \"Not Billable\") AS B, DateAdd(\"d\", 1, #1/1/2026#) AS D");
    EXPECT_EQ(rs.columns[0].type, ColType::Text);
    EXPECT_EQ(rs.columns[1].type, ColType::DateTime);
}

TEST_F(EvalTest, DateArithmeticOnDayNumbers) {
    EXPECT_EQ(date("#12/6/2026# + 1"), 46363);
    EXPECT_EQ(date("#12/6/2026# - 30 + 1"), 46333);
    EXPECT_EQ(num("#12/6/2026# - #12/1/2026#"), 5);  // date minus date is a number of days
    EXPECT_EQ(eval("Date() - 30 + 1"), Value::date(46333));
    EXPECT_EQ(date("Date()"), 46362);
    EXPECT_EQ(date("Now()"), kNow);
    EXPECT_NEAR(date("Time()"), hms(17, 5, 0), 1e-9);
}

TEST_F(EvalTest, DateAddHandlesCalendarAndSeconds) {
    // 1:29:30 + 30 s is exactly 1:30, so formatting as hh:mm shows 01:30.
    EXPECT_EQ(date("DateAdd(\"s\", 30, #1:29:30#)"), 0.0625);
    EXPECT_EQ(text("Format(DateAdd(\"s\", 30, #1:29:29#), \"hh:nn\")"), "01:29");
    EXPECT_EQ(date("DateAdd(\"m\", 1, #1/31/2026#)"), date("#2/28/2026#"));
    EXPECT_EQ(date("DateAdd(\"m\", 1, #1/31/2024#)"), date("#2/29/2024#"));
    EXPECT_EQ(date("DateAdd(\"yyyy\", -1, #2/29/2024#)"), date("#2/28/2023#"));
    EXPECT_EQ(date("DateAdd(\"q\", 1, #11/15/2026 10:00#)"), date("#2/15/2027 10:00#"));
    EXPECT_EQ(date("DateAdd(\"ww\", 1, #12/6/2026#)"), 46369);
    EXPECT_EQ(date("DateAdd(\"d\", -1, #12/6/2026 17:05#)"), kNow - 1);
    EXPECT_DOUBLE_EQ(date("DateAdd(\"h\", 7, #12/6/2026 17:05#)"), 46363 + hms(0, 5, 0));
    EXPECT_DOUBLE_EQ(date("DateAdd(\"n\", -5, #12/6/2026#)"), 46361 + hms(23, 55, 0));
    EXPECT_TRUE(eval("DateAdd(\"d\", 1, Null)").isNull());
    EXPECT_NE(error("DateAdd(\"x\", 1, #1/1/2026#)").find("DateAdd"), std::string::npos);
}

TEST_F(EvalTest, NegativeDatesCountTheirTimeAwayFromDayZero) {
    // -1.25 is 12/29/1899 06:00: day -1, then a quarter day forward.
    EXPECT_EQ(num("Year(-1.25)"), 1899);
    EXPECT_EQ(num("Month(-1.25)"), 12);
    EXPECT_EQ(num("Day(-1.25)"), 29);
    EXPECT_EQ(num("Hour(-1.25)"), 6);
    EXPECT_EQ(date("DateValue(-1.25)"), -1);
    EXPECT_EQ(date("TimeValue(-1.25)"), 0.25);
    EXPECT_DOUBLE_EQ(date("DateAdd(\"h\", 1, -1.25)"), -1 - hms(7, 0, 0));
    EXPECT_DOUBLE_EQ(date("DateAdd(\"h\", 24, -1.25)"), 0.25);  // crosses into day 0
    EXPECT_DOUBLE_EQ(date("DateAdd(\"h\", -7, 0.25)"), -1 - hms(23, 0, 0));
    EXPECT_EQ(date("DateSerial(1899, 12, 29)"), -1);
    EXPECT_EQ(text("CStr(CDate(-1.25))"), "12/29/1899 6:00:00 AM");
}

TEST_F(EvalTest, DatePartsAndDifferences) {
    EXPECT_EQ(num("Year(#12/6/2026#)"), 2026);
    EXPECT_EQ(num("Day(#12/6/2026#)"), 6);
    EXPECT_EQ(num("Hour(#17:05:09#)"), 17);
    EXPECT_EQ(num("Second(#17:05:09#)"), 9);
    EXPECT_EQ(num("Weekday(#12/6/2026#)"), 1);     // a Sunday
    EXPECT_EQ(num("Weekday(#12/6/2026#, 2)"), 7);  // Monday first
    EXPECT_EQ(num("Weekday(#11/30/2026#, 2)"), 1);
    EXPECT_EQ(num("DatePart(\"q\", #12/6/2026#)"), 4);
    EXPECT_EQ(num("DatePart(\"y\", #2/1/2026#)"), 32);
    EXPECT_EQ(num("DatePart(\"ww\", #1/1/2026#)"), 1);
    EXPECT_EQ(num("DatePart(\"ww\", #1/4/2026#)"), 2);  // Sunday starts week 2
    EXPECT_EQ(num("DatePart(\"w\", #12/6/2026#, 2)"), 7);
    EXPECT_EQ(num("DateDiff(\"d\", #11/30/2026#, #12/6/2026#)"), 6);
    EXPECT_EQ(num("DateDiff(\"d\", #12/6/2026 23:00#, #12/7/2026 01:00#)"), 1);
    EXPECT_EQ(num("DateDiff(\"yyyy\", #12/31/2025#, #1/1/2026#)"), 1);
    EXPECT_EQ(num("DateDiff(\"m\", #1/31/2026#, #3/1/2026#)"), 2);
    EXPECT_EQ(num("DateDiff(\"h\", #10:59#, #11:00#)"), 1);
    EXPECT_EQ(num("DateDiff(\"n\", #10:00#, #9:30#)"), -30);
    EXPECT_EQ(num("DateDiff(\"s\", #10:00#, #10:01:05#)"), 65);
    EXPECT_EQ(num("DateDiff(\"ww\", #12/5/2026#, #12/6/2026#)"), 1);  // a Sunday was crossed
    EXPECT_EQ(num("DateDiff(\"w\", #12/5/2026#, #12/6/2026#)"), 0);
    EXPECT_EQ(date("DateSerial(2026, 13, 1)"), date("#1/1/2027#"));
    EXPECT_EQ(date("DateSerial(2026, 3, 0)"), date("#2/28/2026#"));
    EXPECT_EQ(date("DateSerial(26, 12, 6)"), 46362);  // two-digit years land in 1930-2029
    EXPECT_DOUBLE_EQ(date("TimeSerial(17, 5, 0)"), hms(17, 5, 0));
    EXPECT_DOUBLE_EQ(date("TimeSerial(0, 90, 0)"), hms(1, 30, 0));
    EXPECT_EQ(date("DateValue(\"12/6/2026\")"), 46362);
    EXPECT_DOUBLE_EQ(date("TimeValue(\"5:05 PM\")"), hms(17, 5, 0));
}

TEST_F(EvalTest, FormatCommonPatterns) {
    EXPECT_EQ(text("Format(#12/6/2026 17:05#, \"yyyy-mm-dd hh:nn:ss\")"), "2026-12-06 17:05:00");
    EXPECT_EQ(text("Format(#12/6/2026#, \"ddd mmm d\")"), "Sun Dec 6");
    EXPECT_EQ(text("Format(#12/6/2026#, \"dddd, mmmm d, yyyy\")"), "Sunday, December 6, 2026");
    EXPECT_EQ(text("Format(#17:05#, \"h:nn AM/PM\")"), "5:05 PM");
    EXPECT_EQ(text("Format(#1:30#, \"hh:mm\")"), "01:30");
    EXPECT_EQ(text("Format(#12/6/2026#, \"Short Date\")"), "12/6/2026");
    EXPECT_EQ(text("Format(#17:05#, \"Short Time\")"), "17:05");
    EXPECT_EQ(text("Format(1234.5, \"Fixed\")"), "1234.50");
    EXPECT_EQ(text("Format(1234.5, \"Standard\")"), "1,234.50");
    EXPECT_EQ(text("Format(0.125, \"Percent\")"), "12.50%");
    EXPECT_EQ(text("Format(3.14159, \"0.00\")"), "3.14");
    EXPECT_EQ(text("Format(1234567, \"#,##0\")"), "1,234,567");
    EXPECT_EQ(text("Format(True, \"Yes/No\")"), "Yes");
    EXPECT_TRUE(eval("Format(Null, \"0\")").isNull());
}

TEST_F(EvalTest, ParametersConvertToTheirDeclaredTypes) {
    auto run = [&](const std::string& sql, const Params& p) {
        return runQuery(*db_, *parseSql(sql), p).rows.at(0).at(0);
    };
    EXPECT_EQ(run("PARAMETERS D DateTime; SELECT [D] AS X", {{"d", Value::text("12/6/2026")}}), Value::date(46362));
    EXPECT_EQ(run("PARAMETERS N Short; SELECT [N] AS X", {{"N", Value::dbl(2.5)}}), Value::int16(2));
    EXPECT_EQ(run("PARAMETERS N Long; SELECT [N] AS X", {{"N", Value::text("42")}}), Value::int32(42));
    EXPECT_EQ(run("PARAMETERS T Text(10); SELECT [T] AS X", {{"T", Value::int32(7)}}), Value::text("7"));
    EXPECT_EQ(run("PARAMETERS B Bit; SELECT [B] AS X", {{"B", Value::int32(1)}}), Value::boolean(true));
    EXPECT_EQ(run("PARAMETERS C Currency; SELECT [C] AS X", {{"C", Value::dbl(1.23456)}}), Value::currency(Currency{12346}));
    EXPECT_EQ(run("SELECT [Undeclared] + 1 AS X", {{"UNDECLARED", Value::int32(1)}}), Value::int32(2));
}

TEST_F(EvalTest, ErrorsNameTheQueryAndTheProblem) {
    std::string e = error("Frobnicate(1)");
    EXPECT_NE(e.find("Calc"), std::string::npos) << e;
    EXPECT_NE(e.find("Frobnicate"), std::string::npos) << e;
    e = error("\"abc\" * 2");
    EXPECT_NE(e.find("Calc"), std::string::npos) << e;
    EXPECT_NE(e.find("type mismatch"), std::string::npos) << e;
    EXPECT_NE(error("1 / 0").find("division by zero"), std::string::npos);
    EXPECT_NE(error("5 Mod 0").find("division by zero"), std::string::npos);
    e = error("Left(\"a\")");
    EXPECT_NE(e.find("number of arguments"), std::string::npos) << e;
    e = error("[PMissing] + 1");
    EXPECT_NE(e.find("PMissing"), std::string::npos) << e;
    EXPECT_NE(e.find("Calc"), std::string::npos) << e;
    EXPECT_NE(error("Sum(Sum(1))").find("Sum"), std::string::npos);  // an aggregate inside an aggregate
}

}  // namespace
