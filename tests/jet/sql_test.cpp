// Jet SQL parsing and rendering: trees, precedence, every statement form, error messages and round trips (parse → render → parse
// gives the same tree). Saved queries rebuilt from MSysQueries rows of Access-made files and of the Timer files: the SQL they
// render to, their trees, and how failures read.
#include <gtest/gtest.h>
#include <map>
#include "jet/error.h"
#include "jet/query.h"
#include "test_util.h"

using namespace jet;
using testutil::dump;
using testutil::dumpExpr;

namespace {
// Parses, renders, parses again: the trees must match and rendering must be stable.
std::string roundTrip(const std::string& sql) {
    auto first = parseSql(sql);
    std::string text = renderSql(*first);
    std::shared_ptr<const QueryModel> second;
    try { second = parseSql(text); } catch (const Error& e) {
        ADD_FAILURE() << "rendered SQL does not parse: " << e.what() << "\n" << text;
        return text;
    }
    EXPECT_EQ(dump(*first), dump(*second)) << "rendered:\n" << text;
    EXPECT_EQ(text, renderSql(*second));
    return text;
}

std::string errorOf(const std::string& sql) {
    std::string msg;
    EXPECT_EQ(testutil::errorCode([&] { parseSql(sql); }, &msg), Error::Code::Query) << sql;
    return msg;
}
}  // namespace

// Precedence as Jet has it, literals (dates as days since 12/30/1899) and names.
TEST(SqlParse, ExpressionTrees) {
    const std::pair<const char*, const char*> cases[] = {
        {"1+2*3", "(+ 1 (* 2 3))"}, {"1-2-3", "(- (- 1 2) 3)"}, {"-2^2", "(u- (^ 2 2))"}, {"2^-1", "(^ 2 (u- 1))"},
        {"2^3^2", "(^ (^ 2 3) 2)"}, {"a*-b", "(* [a] (u- [b]))"}, {"7 Mod 3 * 2", "(Mod 7 (* 3 2))"},
        {"7 \\ 2 * 3", "(\\ 7 (* 2 3))"}, {"8 Mod 5 \\ 2", "(Mod 8 (\\ 5 2))"}, {"a & b + c", "(& [a] (+ [b] [c]))"},
        {"a = b & c", "(= [a] (& [b] [c]))"}, {"Not a = b", "(Not (= [a] [b]))"}, {"Not a And b", "(And (Not [a]) [b])"},
        {"a Or b And c", "(Or [a] (And [b] [c]))"}, {"a Xor b Or c", "(Xor [a] (Or [b] [c]))"},
        {"a Imp b Eqv c Xor d", "(Imp [a] (Eqv [b] (Xor [c] [d])))"}, {"a < b = c", "(= (< [a] [b]) [c])"},
        {"x Between 1 And 2 And y", "(And (Between [x] 1 2) [y])"},
        {"x Between 1+1 And 2*3", "(Between [x] (+ 1 1) (* 2 3))"}, {"x Not Between 1 And 2", "(NotBetween [x] 1 2)"},
        {"x In (1, 2, 'a')", "(In [x] 1 2 \"a\")"}, {"x Not In (1)", "(NotIn [x] 1)"},
        {"x Is Null Or y Is Not Null", "(Or (IsNull [x]) (IsNotNull [y]))"},
        {"a Like 'x*' And b Not Like \"y\"", "(And (Like [a] \"x*\") (NotLike [b] \"y\"))"},
        {"(1+2)*3", "(* (paren (+ 1 2)) 3)"},
        {"42", "42"}, {"3000000000", "<3000000000>"}, {"1.5", "1.5d"}, {".25", "0.25d"}, {"1E3", "1000.0d"},
        {"2.5e-2", "0.025d"}, {"\"say \"\"hi\"\"\"", "\"say \"hi\"\""}, {"'it''s'", "\"it's\""}, {"True", "true"},
        {"false", "false"}, {"NULL", "null"}, {"#1/1/1900#", "#2"}, {"#11/30/2026#", "#46356"},
        {"#11/30/2026 6:00:00 PM#", "#46356.75"}, {"#11/30/2026 18:00#", "#46356.75"}, {"#12:00:00 AM#", "#0"},
        {"#6:00#", "#0.25"}, {"#2026-11-30#", "#46356"}, {"#1/1/30#", "#10959"}, {"#12/29/1899 12:00#", "#-1.5"},
        {"UserDate", "[UserDate]"}, {"[Billable Y/N]", "[Billable Y/N]"}, {"T.F", "[T].[F]"},
        {"[All Activities].[Customer/Job]", "[All Activities].[Customer/Job]"},
        {"[Payroll Items].Name", "[Payroll Items].[Name]"}, {"Names.Type", "[Names].[Type]"}, {"T.*", "[T].*"},
        {"Count(*)", "(call Count *)"}, {"Date()", "(call Date)"}, {"Left$(a, 2)", "(call Left$ [a] 2)"},
        {"Right([x], Len(y) - 1)", "(call Right [x] (- (call Len [y]) 1))"},
        {"IIf(a, \"x\", Null)", "(call IIf [a] \"x\" null)"},
    };
    for (const auto& [expression, want] : cases)
        EXPECT_EQ(dumpExpr(parseSql(std::string("SELECT ") + expression + " FROM T")->columns.at(0).expr), want) << expression;
}

// Every clause of every statement form lands in its member of the model.
TEST(SqlParse, StatementsBuildTheirTrees) {
    const std::pair<const char*, const char*> cases[] = {
        {"select distinct top 5 percent T.a AS [Total: A/B], b From T as X, [Prefs - Startup] Where a > 1 Group By "
         "a, b Having Count(*) > 2 Order By a DESC, b asc;",
         "type=0 distinct top[TOP 5 PERCENT] col[[T].[a] as Total: A/B] col[[b]] from[[T] as [X]] from[[Prefs - "
         "Startup]] where[(> [a] 1)] group[[a]] group[[b]] having[(> (call Count *) 2)] order[[a] desc] order[[b]]"},
        {"SELECT DISTINCTROW * FROM [Customer:Jobs] WITH OWNERACCESS OPTION",
         "type=0 distinctrow owneraccess col[*] from[[Customer:Jobs]]"},
        {"PARAMETERS [Start Date] DateTime, N Long, S Text (50); SELECT * FROM T WHERE D >= [Start Date]",
         "type=0 param[Start Date DateTime 0] param[N Long 0] param[S Text 50] col[*] from[[T]] where[(>= [D] [Start Date])]"},
        // Joins nest as written; a join on the right-hand side; a chain without parentheses goes left to right.
        {"SELECT * FROM ((Activities INNER JOIN Names AS Persons ON Activities.[Name ID] = Persons.ID) LEFT JOIN "
         "Names AS CustJobs ON Activities.[CustJob ID] = CustJobs.ID) RIGHT OUTER JOIN Items ON Activities.[Service "
         "ID] = Items.ID, Classes",
         "type=0 col[*] from[(right (left (inner [Activities] [Names] as [Persons] on (= [Activities].[Name ID] "
         "[Persons].[ID])) [Names] as [CustJobs] on (= [Activities].[CustJob ID] [CustJobs].[ID])) [Items] on (= "
         "[Activities].[Service ID] [Items].[ID]))] from[[Classes]]"},
        {"SELECT * FROM A LEFT JOIN (B INNER JOIN C ON B.x = C.x) ON A.y = B.y",
         "type=0 col[*] from[(left [A] (inner [B] [C] on (= [B].[x] [C].[x])) on (= [A].[y] [B].[y]))]"},
        {"SELECT * FROM A INNER JOIN B ON A.x = B.x LEFT JOIN C ON B.y = C.y",
         "type=0 col[*] from[(left (inner [A] [B] on (= [A].[x] [B].[x])) [C] on (= [B].[y] [C].[y]))]"},
        {"INSERT INTO Activities ([Name ID], UserDate) VALUES (3, #12/1/2026#)",
         "type=2 target[Activities] tcol[[Name ID]] tcol[[UserDate]] value[3] value[#46357]"},
        {"INSERT INTO T2 ( a, b ) SELECT x, y FROM T1 WHERE x > 0",
         "type=2 col[[x]] col[[y]] from[[T1]] where[(> [x] 0)] target[T2] tcol[[a]] tcol[[b]]"},
        {"UPDATE Activities SET Exported = True, Note = Note & \"!\" WHERE ID = 7;",
         "type=3 from[[Activities]] where[(= [ID] 7)] target[Activities] tcol[[Exported]] tcol[[Note]] value[true] "
         "value[(& [Note] \"!\")]"},
        {"UPDATE T1 INNER JOIN T2 ON T1.k = T2.k SET T1.a = T2.b",
         "type=3 from[(inner [T1] [T2] on (= [T1].[k] [T2].[k]))] target[T1] tcol[[T1].[a]] value[[T2].[b]]"},
        {"DELETE FROM Activities WHERE ID = 7", "type=4 from[[Activities]] where[(= [ID] 7)] target[Activities]"},
        {"DELETE Activities WHERE ID = 7", "type=4 from[[Activities]] where[(= [ID] 7)] target[Activities]"},
        {"DELETE T1.* FROM T1 INNER JOIN T2 ON T1.k = T2.k",
         "type=4 col[[T1].*] from[(inner [T1] [T2] on (= [T1].[k] [T2].[k]))] target[T1]"},
        {"SELECT a, b INTO [New Table] FROM T", "type=1 col[[a]] col[[b]] from[[T]] target[New Table]"},
        {"TRANSFORM Sum(Hours) AS Total SELECT Name FROM T GROUP BY Name PIVOT Format(D, \"ddd\") In (\"Mon\", \"Tue\")",
         "type=5 col[[Name]] from[[T]] group[[Name]] transform[(call Sum [Hours]) as Total] pivot[(call Format [D] "
         "\"ddd\")] pivotin[\"Mon\"] pivotin[\"Tue\"]"},
        {"  CREATE TABLE T5 (c1 CHAR);  ", "type=6 raw[CREATE TABLE T5 (c1 CHAR);]"},
        // ORDER BY belongs to the whole union; mixed kinds nest from the left.
        {"SELECT a FROM T1 UNION SELECT a FROM T2 UNION SELECT a FROM T3 ORDER BY a",
         "type=8 order[[a]] union part{type=0 col[[a]] from[[T1]]} part{type=0 col[[a]] from[[T2]]} part{type=0 "
         "col[[a]] from[[T3]]}"},
        {"SELECT a FROM T1 UNION SELECT a FROM T2 UNION ALL SELECT a FROM T3",
         "type=8 union-all part{type=8 union part{type=0 col[[a]] from[[T1]]} part{type=0 col[[a]] from[[T2]]}} "
         "part{type=0 col[[a]] from[[T3]]}"},
    };
    for (const auto& [sql, tree] : cases) EXPECT_EQ(dump(*parseSql(sql)), tree) << sql;
}

TEST(SqlRender, AccessStyleText) {
    const std::pair<const char*, const char*> cases[] = {
        {"select T.a as x, [b c] from T where (a>1 and b<>'q') order by a desc",
         "SELECT T.a AS x, [b c]\nFROM T\nWHERE (a>1 And b<>'q')\nORDER BY a DESC;"},
        {"SELECT [Select], [2nd], [Näme], [a.b] FROM [Left]", "SELECT [Select], [2nd], [Näme], [a.b]\nFROM [Left];"},
        {"SELECT * FROM ((A INNER JOIN B ON A.x=B.x) LEFT JOIN C ON B.y=C.y) RIGHT JOIN D ON C.z=D.z",
         "SELECT *\nFROM ((A INNER JOIN B ON A.x=B.x) LEFT JOIN C ON B.y=C.y) RIGHT JOIN D ON C.z=D.z;"},
        {"PARAMETERS [Start Date] DateTime, s Text(10); SELECT TOP 10 a FROM T WHERE a Between [Start Date] And #1/2/2003 10:30#",
         "PARAMETERS [Start Date] DateTime, s Text(10);\nSELECT TOP 10 a\nFROM T\nWHERE a Between [Start Date] And #1/2/2003 10:30#;"},
        {"INSERT INTO T (a, [b c]) VALUES (1, 'x')", "INSERT INTO T (a, [b c])\nVALUES (1, 'x');"},
        {"INSERT INTO T SELECT * FROM U", "INSERT INTO T\nSELECT *\nFROM U;"},
        {"UPDATE T SET a = a + 1, [b c] = Null WHERE k = 2", "UPDATE T\nSET a = a+1, [b c] = Null\nWHERE k=2;"},
        {"DELETE FROM T WHERE k Is Null", "DELETE\nFROM T\nWHERE k Is Null;"},
        {"SELECT a INTO X IN 'c:\\o''b.mdb' FROM T", "SELECT a INTO X IN 'c:\\o''b.mdb'\nFROM T;"},
        {"SELECT a FROM T1 UNION ALL SELECT b FROM T2 ORDER BY 1", "SELECT a\nFROM T1\nUNION ALL\nSELECT b\nFROM T2\nORDER BY 1;"},
    };
    for (const auto& [sql, want] : cases) EXPECT_EQ(renderSql(*parseSql(sql)), want);
}

TEST(SqlRender, BuiltTreesGetTheParenthesesTheyNeed) {
    auto node = [](Expr::Kind kind, const char* name, std::vector<ExprPtr> args = {}, Value v = Value()) {
        auto e = std::make_shared<Expr>();
        std::tie(e->kind, e->name, e->args, e->value) = std::tuple(kind, name, std::move(args), v);
        return ExprPtr(e);
    };
    auto lit = [&](Value v) { return node(Expr::Kind::Literal, "", {}, v); };
    auto field = [&](const char* n) { return node(Expr::Kind::Field, n); };
    auto bin = [&](const char* op, ExprPtr l, ExprPtr r) { return node(Expr::Kind::Binary, op, {l, r}); };
    auto un = [&](const char* op, ExprPtr x) { return node(Expr::Kind::Unary, op, {x}); };
    auto a = field("a"), b = field("b"), c = field("c");
    const std::pair<ExprPtr, const char*> cases[] = {
        {bin("*", bin("+", a, b), c), "(a+b)*c"}, {bin("-", a, bin("-", b, c)), "a-(b-c)"},
        {bin("-", bin("-", a, b), c), "a-b-c"}, {bin("^", lit(Value::int32(-2)), lit(Value::int32(2))), "(-2)^2"},
        {bin("^", un("-", a), b), "(-a)^b"}, {un("-", bin("^", a, b)), "-a^b"}, {bin("*", un("-", a), b), "-a*b"},
        {bin("=", un("Not", a), b), "(Not a)=b"}, {bin("And", un("Not", a), b), "Not a And b"},
        {un("Not", bin("Or", a, b)), "Not (a Or b)"}, {bin("=", bin("=", a, un("Not", b)), c), "a=(Not b)=c"},
        {bin("^", bin("^", a, un("-", b)), c), "a^(-b)^c"}, {bin("+", lit(Value::dbl(3)), lit(Value::dbl(0.1))), "3.0+0.1"},
        {lit(Value::text("a\"b")), "\"a\"\"b\""}, {lit(Value::date(46356.75)), "#11/30/2026 18:00:00#"},
        {lit(Value::date(0.5)), "#12:00:00#"}, {lit(Value::date(-1.5)), "#12/29/1899 12:00:00#"},
        {lit(Value::currency(Currency{-12345})), "-1.2345"}, {lit(Value::boolean(true)), "True"}, {lit(Value()), "Null"},
    };
    for (const auto& [e, want] : cases) EXPECT_EQ(renderExpr(*e), want);
    // Each of these reads back as the tree it came from.
    for (const ExprPtr& e : {bin("*", bin("+", a, b), c), bin("=", bin("=", a, un("Not", b)), c),
                             bin("^", bin("^", a, un("-", b)), c), bin("And", un("Not", a), b)}) {
        std::string text = renderExpr(*e);
        auto back = parseSql("SELECT " + text + " FROM T")->columns.at(0).expr;
        EXPECT_EQ(testutil::dumpExpr(back, false), testutil::dumpExpr(e, false)) << text;
    }
}

TEST(SqlRoundTrip, StatementsReadBackUnchanged) {
    const char* cases[] = {
        "SELECT a, b AS [x y] FROM T",
        "select distinct top 3 a from [Prefs - Startup] where a like \"x*\" and not b order by a desc, b",
        "SELECT DISTINCTROW T.*, U.c FROM T, U IN '' [ODBC;DSN=x] WHERE T.k = U.k",
        "SELECT -2^2, 2^-1, (-2)^2, a Mod -3, 1 - -1, Not Not a, a Not Like 'b' Or c FROM T",
        "SELECT x FROM T WHERE ((x Between 1 And 2) And (y Not In (1,2,3))) Or z Is Not Null",
        "SELECT Sum(h) AS Hours, Count(*) FROM T GROUP BY p HAVING Sum(h) > 40 ORDER BY Sum(h) DESC",
        "SELECT * FROM (A INNER JOIN B ON (A.x = B.x) AND (A.y = B.y)) LEFT JOIN C ON B.z = C.z",
        "SELECT * FROM A LEFT JOIN (B INNER JOIN C ON B.x = C.x) ON A.y = B.y",
        "SELECT * FROM A INNER JOIN B ON A.x = B.x IN 'other.mdb'", "SELECT a INTO [New T] IN 'x.mdb' FROM T ORDER BY a",
        "SELECT #1/2/2003#, #10:30:00 PM#, 1.50, 'q''t', 1e3, .5 FROM T", "INSERT INTO T VALUES (1, 'x', Null, #1/1/2000#)",
        "PARAMETERS p1 Short, [p 2] Text(20); SELECT * FROM T WHERE a = p1 OR b = [p 2]",
        "INSERT INTO T (a, b) SELECT x, y FROM U ORDER BY x", "DELETE * FROM T", "CREATE TABLE T5 (col1 CHAR, col2 CHAR);",
        "UPDATE T1 INNER JOIN T2 ON T1.k = T2.k SET T1.a = T2.b, T1.c = 0 WHERE T2.d > 1",
        "DELETE T1.c1, T1.c2 FROM T1 WHERE T1.c1 > 'blah'", "SELECT a FROM T WITH OWNERACCESS OPTION",
        "TRANSFORM Count(x) AS n SELECT a, b FROM T GROUP BY a, b ORDER BY a PIVOT c",
        "TRANSFORM Sum(x) SELECT a FROM T GROUP BY a PIVOT Format(d, 'ddd') IN ('Mon', 'Tue')",
        "SELECT a FROM T1 UNION SELECT a FROM T2 UNION ALL SELECT b FROM T3 WHERE b > 1 ORDER BY a",
    };
    for (const char* sql : cases) {
        SCOPED_TRACE(sql);
        roundTrip(sql);
    }
}

TEST(SqlRoundTrip, SavedTimerQueriesAsWritten) {
    EXPECT_EQ(roundTrip(testutil::kWeekSql),
              "PARAMETERS PStartDate DateTime, PEndDate DateTime;\nSELECT DISTINCTROW [All Activities].UserDate, [All "
              "Activities].[Customer/Job], [All Activities].[Service Item], [All Activities].[Service ID], "
              "DateAdd(\"s\",30,Duration) AS RoundedDuration, [All Activities].[Billable Status], [All Activities].[Export "
              "Status], [All Activities].Exported, [All Activities].Class, [All Activities].[Class ID], [All "
              "Activities].ActivityID, [All Activities].[CustJob ID], [All Activities].Name, [All Activities].[Name ID], [All "
              "Activities].[Payroll Item], [All Activities].Note, [All Activities].[Billable Y/N], [All Activities].Duration, "
              "[All Activities].CreateTime\nFROM [All Activities]\nWHERE ((([All Activities].UserDate) Between PStartDate And "
              "PEndDate) And (([All Activities].[Name ID])=PNameID))\nORDER BY [All Activities].[Customer/Job], [All "
              "Activities].[Service Item], [All Activities].Class, [All Activities].UserDate;");
    EXPECT_EQ(roundTrip(testutil::kRecentSql),
              "SELECT DISTINCT [All Activities].[Customer/Job], [All Activities].[CustJob ID], [All Activities].[Service Item], "
              "[All Activities].[Service ID], [All Activities].Class, [All Activities].[Class ID]\nFROM [All Activities]\nWHERE "
              "((([All Activities].CreateTime)>Date()-PNumDays+1) And (([All Activities].[Name ID])=PNameID))\nORDER BY [All "
              "Activities].[Customer/Job], [All Activities].[Service Item], [All Activities].Class;");
}

// Each statement's message, after "SQL syntax error at position ".
TEST(SqlErrors, MessagesSayWhatAndWhere) {
    const std::pair<std::string, std::string> cases[] = {
        {"SELECT a FROM", "14: expected a table or query name but found the end of the text"},
        {"SELECT a FRM T", "10: unexpected 'FRM' after the end of the statement"},
        {"SELECT (a FROM T", "11: expected ')' but found 'FROM'"},
        {"SELECT 'abc FROM T", "8: text literal without its closing quote"},
        {"SELECT [abc FROM T", "8: '[' without a closing ']'"},
        {"SELECT #2/30/2026# FROM T", "8: invalid date literal #2/30/2026#"},
        {"SELECT a FROM T WHERE a Is 1", "28: expected NULL but found '1'"},
        {"SELECT x Is Null & y FROM T", "18: '&' needs parentheses around the expression before it"},
        {"SELECT x In (1) + 1 FROM T", "17: '+' needs parentheses around the expression before it"},
        {"SELECT a ? b FROM T", "10: unexpected character '?'"},
        {"PARAMETERS p Widget; SELECT p FROM T", "14: unknown parameter type 'Widget'"},
        {"SELECT * FROM T WHERE x IN (SELECT y FROM U)", "29: subqueries are not supported"},
        {"SELECT [Forms]![F]![C] FROM T", "15: '!' references (such as [Forms]![Form]![Control]) are not supported"},
        {"SELECT a.b.c FROM T", "11: names with more than two parts are not supported"},
        {"SELECT * FROM A INNER JOIN B", "29: expected ON but found the end of the text"},
        {"INSERT INTO T (a, b) VALUES (1)", "32: INSERT INTO names 2 columns but VALUES gives 1"},
        {"", "1: expected SELECT, TRANSFORM, INSERT, UPDATE, DELETE or PARAMETERS but found the end of the text"},
        {"SELECT 99999999999999999999999999999999999999e999 FROM T", "8: number 99999999999999999999999999999999999999e999 out of range"},
    };
    for (const auto& [sql, want] : cases) EXPECT_EQ(errorOf(sql), "SQL syntax error at position " + want);
}

TEST(SqlErrors, HostileInputIsRejectedNotCrashing) {
    const std::string deep(100000, '('), minus(100000, '-');
    EXPECT_NE(errorOf("SELECT " + deep + "1" + std::string(100000, ')') + " FROM T").find("nested too deeply"), std::string::npos);
    EXPECT_NE(errorOf("SELECT " + minus + "1 FROM T").find("nested too deeply"), std::string::npos);
    std::string chain = "1";
    for (int i = 0; i < 20000; ++i) chain += "+1";
    EXPECT_NE(errorOf("SELECT " + chain + " FROM T").find("too complex"), std::string::npos);
    std::string joins = "A";
    for (int i = 0; i < 2000; ++i) joins += " INNER JOIN B ON 1=1";
    EXPECT_NE(errorOf("SELECT * FROM " + joins).find("too complex"), std::string::npos);
    // Long flat lists are fine.
    std::string in = "x In (0";
    for (int i = 1; i < 5000; ++i) in += "," + std::to_string(i);
    EXPECT_EQ(parseSql("SELECT * FROM T WHERE " + in + ")")->where->args.size(), 5001u);
    // Every prefix of a real statement either parses or reports an error.
    const std::string sql =
        "PARAMETERS [P 1] Text(5); SELECT DISTINCT TOP 5 T.a AS [x], -2^b, #1/2/2003 1:02:03 PM# FROM (T INNER JOIN U "
        "ON T.k = U.k) LEFT JOIN V ON U.j = V.j WHERE a Not Between 1 And 2 Or b Not In ('x','y') GROUP BY a HAVING "
        "Count(*) > 1 ORDER BY a DESC;";
    for (size_t n = 0; n <= sql.size(); ++n)
        try { parseSql(sql.substr(0, n)); } catch (const Error&) {}
}

namespace {
// The SQL each saved query of the Access query test files means (the same queries in all three files).
const std::map<std::string, std::string> kAccessQueries = {
    {"SelectQuery",
     "SELECT DISTINCT Table1.*, Table2.col1, Table2.col2, Table3.col3\nFROM (Table1 LEFT JOIN Table3 ON Table1.col1=Table3.col1) "
     "INNER JOIN Table2 ON (Table3.col1=Table2.col1) And (Table3.col1=Table2.col2)\nWHERE (((Table2.col2)=\"foo\" Or "
     "(Table2.col2) In (\"buzz\",\"bazz\")))\nORDER BY Table2.col1;"},
    {"UpdateQuery",
     "PARAMETERS [User Name] Text;\nUPDATE Table1\nSET Table1.col1 = \"foo\", Table1.col2 = Table2.col3, Table2.col1 = [User "
     "Name]\nWHERE (((Table2.col1) Is Not Null));"},
    {"AppendQuery",
     "INSERT INTO Table3 (col2, col2, col3)\nSELECT Table1.col2, Table2.col2, Table2.col3\nFROM Table3, Table1 INNER JOIN Table2 "
     "ON Table1.col1=Table2.col1;"},
    {"DeleteQuery",
     "DELETE Table1.col1, Table1.col2, Table1.col3\nFROM Table1\nWHERE (((Table1.col1)>\"blah\"));"},
    {"MakeTableQuery",
     "SELECT Max(Table2.col1) AS MaxOfcol1, Table2.col2, Table3.col2 INTO Table4\nFROM (Table2 INNER JOIN Table1 ON "
     "Table2.col1=Table1.col2) RIGHT JOIN Table3 ON Table1.col2=Table3.col3\nGROUP BY Table2.col2, Table3.col2\nHAVING "
     "(((Max(Table2.col1))=\"buzz\") And ((Table2.col2)<>\"blah\"));"},
    {"CrosstabQuery",
     "TRANSFORM Count(Table2.col2) AS CountOfcol2\nSELECT Table2_1.col1, Table2.col3, Avg(Table2_1.col2) AS AvgOfcol2\nFROM "
     "(Table1 INNER JOIN Table2 ON Table1.col1=Table2.col1) INNER JOIN Table2 AS Table2_1 ON Table2.col1=Table2_1.col3\nWHERE "
     "(((Table1.col1)>\"10\") And ((Table2_1.col1) Is Not Null) And ((Avg(Table2_1.col2))>\"10\"))\nGROUP BY Table2_1.col1, "
     "Table2.col3\nORDER BY Table2.col3\nPIVOT Table1.col1;"},
    {"UnionQuery",
     "SELECT Table1.col1, Table1.col2\nWHERE Table1.col1=\"foo\"\nUNION\nSELECT Table2.col1, Table2.col2\nUNION ALL\nSELECT "
     "Table3.col1, Table3.col2\nWHERE Table3.col3>\"blah\";"},
    {"PassthroughQuery", "ALTER TABLE Table4 DROP COLUMN col5;"},
    {"DataDefinitionQuery", "CREATE TABLE Table5 (col1 CHAR, col2 CHAR);"},
};

const std::map<std::string, std::string> kTimerQueries = {
    {"Customer:Jobs",
     "SELECT Names.NameStr, Names.ID AS [Name ID]\nFROM Names\nWHERE ((Names.Type)=1)\nORDER BY Names.NameStr;"},
    {"Service Items", "SELECT Items.Name, Items.ID AS [Item ID]\nFROM Items\nWHERE ((Items.Type)=1);"},
    {"Employees Vendors And Other Names",
     "SELECT Names.NameStr, Names.ID AS [Name ID]\nFROM Names\nWHERE ((Names.Type)<>1)\nORDER BY Names.NameStr;"},
    {"All Activities",
     "SELECT Activities.UserDate, CustJobs.NameStr AS [Customer/Job], Items.Name AS [Service Item], Activities.[Service ID], "
     "Activities.Duration, IIf(Activities.[Billable Status],\"Billable\",\"Not Billable\") AS [Billable Status], "
     "IIf(Activities.Exported,\"Exported\",\"Not Exported\") AS [Export Status], Activities.Exported, Classes.Name AS Class, "
     "Activities.[Class ID], Activities.ID AS ActivityID, Activities.[CustJob ID], Persons.NameStr AS Name, Activities.[Name "
     "ID], [Payroll Items].Name AS [Payroll Item], Activities.Note, Activities.[Billable Status] AS [Billable Y/N], "
     "Activities.CreateTime\nFROM ((((Activities INNER JOIN Names AS Persons ON Activities.[Name ID]=Persons.ID) LEFT JOIN Names "
     "AS CustJobs ON Activities.[CustJob ID]=CustJobs.ID) LEFT JOIN Items ON Activities.[Service ID]=Items.ID) LEFT JOIN Classes "
     "ON Activities.[Class ID]=Classes.ID) LEFT JOIN [Payroll Items] ON Activities.[Payroll Item ID]=[Payroll Items].ID;"},
};

// The rendered SQL must read back to the tree it came from.
void expectReadsBack(const QueryModel& q) {
    if (q.type == QueryModel::Type::DataDefinition || q.type == QueryModel::Type::PassThrough) return;
    QueryModel saved = q;
    saved.rawSql.clear();  // a union's stored text; parsed SQL has its parts only
    auto back = parseSql(renderSql(q));
    EXPECT_EQ(testutil::dump(*back), testutil::dump(saved)) << q.name;
}

class AccessQueryFiles : public ::testing::TestWithParam<const char*> {};
}  // namespace

TEST_P(AccessQueryFiles, EverySavedQueryRendersWhatAccessStored) {
    auto db = Database::open(testutil::dataPath(GetParam()));
    std::vector<std::string> names = db->queryNames();
    EXPECT_EQ(names.size(), kAccessQueries.size());
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        auto it = kAccessQueries.find(name);
        ASSERT_NE(it, kAccessQueries.end());
        auto q = db->query(name);
        EXPECT_EQ(q->name, name);
        EXPECT_EQ(renderSql(*q), it->second);
        expectReadsBack(*q);
    }
    // Names are case-insensitive; what SQL text cannot say is kept beside it.
    EXPECT_EQ(db->query("selectquery")->name, "SelectQuery");
    auto pass = db->query("PassthroughQuery");
    EXPECT_EQ(std::tuple(pass->type, pass->connect), std::tuple(QueryModel::Type::PassThrough, "ODBC;"));
    EXPECT_EQ(db->query("DataDefinitionQuery")->type, QueryModel::Type::DataDefinition);
}

INSTANTIATE_TEST_SUITE_P(SavedQuery, AccessQueryFiles,
                         ::testing::Values("jet3/queryTestV1997.mdb", "jet4/queryTestV2000.mdb", "jet4/queryTestV2003.mdb"),
                         [](const auto& info) { return std::filesystem::path(info.param).stem().string(); });

TEST(SavedQuery, TimerQueriesInEveryTimerFile) {
    for (const char* file : {"timer/sample.tdb", "timer/timer-empty-prefs.tdb", "timer/timer-no-names.tdb",
                             "timer/timer-no-services.tdb", "timer/timer-null-default.tdb",
                             "timer/timer-unknown-default.tdb"}) {
        SCOPED_TRACE(file);
        auto db = Database::open(testutil::dataPath(file));
        EXPECT_EQ(db->queryNames().size(), kTimerQueries.size());
        for (const auto& [name, sql] : kTimerQueries) {
            SCOPED_TRACE(name);
            auto q = db->query(name);
            EXPECT_EQ(q->type, QueryModel::Type::Select);
            EXPECT_EQ(renderSql(*q), sql);
            expectReadsBack(*q);
            EXPECT_EQ(db->query(name).get(), q.get()) << "read once, then cached";
        }
    }
}

TEST(SavedQuery, MissingQueriesAndTablesAreNamedInErrors) {
    auto db = Database::open(testutil::dataPath("timer/sample.tdb"));
    std::string msg;
    EXPECT_EQ(testutil::errorCode([&] { db->query("No Such Query"); }, &msg), Error::Code::NotFound);
    EXPECT_EQ(msg, "no saved query named 'No Such Query'");
    // A table is not a query.
    EXPECT_THROW(db->query("Activities"), Error);
}

TEST(SavedQuery, DamagedFilesGiveErrorsNotCrashes) {
    const auto original = testutil::slurp(testutil::dataPath("timer/sample.tdb"));
    ASSERT_GT(original.size(), 4096u);
    // Damage the pages holding the MSysQueries rows, where the query definitions are.
    std::vector<uint32_t> pages;
    uint32_t pageSize = 0;
    {
        auto db = Database::openMemory(original.data(), original.size());
        pages = db->table("MSysQueries")->dataPages();
        pageSize = db->header().pageSize;
    }
    ASSERT_FALSE(pages.empty());
    std::mt19937 rng(12345);
    int opened = 0, read = 0;
    for (int round = 0; round < 400; ++round) {
        std::vector<uint8_t> bytes = original;
        int damaged = 1 + static_cast<int>(rng() % 12);
        for (int k = 0; k < damaged; ++k) {
            size_t at = static_cast<size_t>(pages[rng() % pages.size()]) * pageSize + rng() % pageSize;
            if (at < bytes.size()) bytes[at] = static_cast<uint8_t>(rng());
        }
        try {
            auto db = Database::openMemory(bytes.data(), bytes.size());
            ++opened;
            for (const auto& [name, sql] : kTimerQueries)
                try { renderSql(*db->query(name)); ++read; } catch (const Error&) {}
        } catch (const Error&) {}
    }
    EXPECT_GT(opened, 0);
    EXPECT_GT(read, 0);
}
