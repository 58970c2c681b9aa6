// Opening a file as both systems share it: a writer holds it alone, readers
// share it, names in any script, the journal beside the file.
#include <gtest/gtest.h>

#include "jet/error.h"
#include "test_util.h"

namespace fs = std::filesystem;
using jet::Database;
using jet::Error;
using jet::OpenMode;

namespace {

Error::Code refusal(const std::string& path, OpenMode mode) {
    try {
        Database::open(path, mode);
    } catch (const Error& e) {
        return e.code();
    }
    return Error::Code::Generic;  // opened
}

}  // namespace

TEST(Open, AWriterHoldsTheFileAloneWhateverItsName) {
    testutil::Scratch dir;
    for (std::u8string name : {u8"plain.tdb", u8"Stunden Müller – 時間表.tdb"}) {
        const fs::path p = fs::path(dir.path()) / name;
        fs::copy_file(testutil::dataPath("timer/sample.tdb"), p);
        const std::u8string u8 = p.u8string();
        const std::string f(u8.begin(), u8.end());
        SCOPED_TRACE(f);
        {
            auto writer = Database::open(f, OpenMode::Exclusive);
            ASSERT_TRUE(writer->table("Activities"));
            EXPECT_EQ(refusal(f, OpenMode::Exclusive), Error::Code::InUse);
            EXPECT_EQ(refusal(f, OpenMode::ReadOnly), Error::Code::InUse);
        }
        {
            auto reader = Database::open(f);
            auto another = Database::open(f);
            EXPECT_EQ(refusal(f, OpenMode::Exclusive), Error::Code::InUse);
        }
        // An interrupted write leaves its journal beside the file, and the next writer repairs the file.
        const auto before = testutil::slurp(p);
        testutil::crashWhileWriting(f);
        const fs::path journal = fs::path(dir.path()) / (name + u8"-journal");
        EXPECT_TRUE(fs::exists(journal));
        EXPECT_NE(testutil::slurp(p), before);
        { auto db = Database::open(f, OpenMode::Exclusive); }
        EXPECT_FALSE(fs::exists(journal));
        EXPECT_EQ(testutil::slurp(p), before);
    }
}
