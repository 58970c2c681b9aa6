// Exclusive opens, locking between opens and processes, transactions, the
// commit journal, page allocation and usage-map edits, on copies of real files.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include "jet/error.h"
#include "test_util.h"

namespace fs = std::filesystem;
using jet::Database;
using jet::Error;
using jet::OpenMode;
using namespace testutil;

namespace {
// Runs `fn` in a child process and returns its exit status.
template <class Fn>
int inChild(Fn fn) {
    pid_t pid = ::fork();
    if (pid == 0) {
        int rc = 98;
        try { rc = fn(); } catch (...) {}
        ::_exit(rc);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The error another process gets opening the file.
Error::Code childOpen(const std::string& f, OpenMode mode) {
    return static_cast<Error::Code>(inChild([&] { return static_cast<int>(openError(f, mode)); }));
}
}  // namespace

TEST(Storage, ExclusiveOpenLocksOutEveryOtherOpen) {
    Scratch dir;
    const std::string f = dir.copy("timer/sample.tdb");
    {
        auto db = Database::open(f, OpenMode::Exclusive);
        EXPECT_TRUE(db->isWritable());
        std::string msg;
        EXPECT_EQ(openError(f, OpenMode::Exclusive, &msg), Error::Code::InUse);
        EXPECT_EQ(msg, f + " is in use by another program; close it there and try again.");
        EXPECT_EQ(openError(f, OpenMode::ReadOnly, &msg), Error::Code::InUse);
        EXPECT_NE(msg.find("in use by another program"), std::string::npos) << msg;
        // Another process is refused the same way, for writing and for reading.
        EXPECT_EQ(childOpen(f, OpenMode::Exclusive), Error::Code::InUse);
        EXPECT_EQ(childOpen(f, OpenMode::ReadOnly), Error::Code::InUse);
        // The command-line tool, a separate program, is refused too.
        const auto tool = runJetdb({"tables", f});
        EXPECT_NE(tool.status, 0);
        EXPECT_NE(tool.err.find("in use by another program"), std::string::npos) << tool.err;
    }
    // Once closed, readers share the file and keep writers out until they close.
    {
        auto r1 = Database::open(f);
        auto r2 = Database::open(f, OpenMode::ReadOnly);
        EXPECT_FALSE(r1->isWritable());
        EXPECT_EQ(openError(f, OpenMode::Exclusive), Error::Code::InUse);
        EXPECT_EQ(childOpen(f, OpenMode::Exclusive), Error::Code::InUse);
        EXPECT_EQ(childOpen(f, OpenMode::ReadOnly), Error::Code::Generic);
    }
    EXPECT_EQ(openError(f, OpenMode::Exclusive), Error::Code::Generic);
    // A process that dies holding the file releases it.
    EXPECT_EQ(inChild([&] { auto db = Database::open(f, OpenMode::Exclusive); ::_exit(7); return 0; }), 7);
    EXPECT_EQ(openError(f, OpenMode::Exclusive), Error::Code::Generic);
}

TEST(Storage, OpenErrors) {
    // A Timer file is not told it should have been an Access (.mdb) file.
    Scratch dir;
    std::ofstream(dir.path() + "/text.tdb") << "not a database at all, just some words to fill thirty-two bytes";
    std::string msg;
    EXPECT_EQ(openError(dir.path() + "/text.tdb", OpenMode::Exclusive, &msg), Error::Code::NotJet);
    EXPECT_EQ(msg, dir.path() + "/text.tdb is not a Jet database (the format of Timer files and Access 97-2003 databases).");
    // A file the user may not write: a clear error, and read-only opens still work.
    const std::string f = dir.copy("jet4/testV2000.mdb");
    ::chmod(f.c_str(), 0444);
    ::chmod(dir.path().c_str(), 0755);
    auto attempt = [&] {
        std::string msg;
        Error::Code c = openError(f, OpenMode::Exclusive, &msg);
        // There is no viewing mode to promise: the file simply cannot be changed.
        if (c != Error::Code::ReadOnly || msg != f + " is read-only: changes to it cannot be saved.") return 1;
        return openError(f, OpenMode::ReadOnly) == Error::Code::Generic ? 0 : 2;
    };
    // Root may write any file, so the attempt runs as an ordinary user there.
    auto asUser = [&] { return ::setgid(65534) != 0 || ::setuid(65534) != 0 ? 3 : attempt(); };
    EXPECT_EQ(::geteuid() == 0 ? inChild(asUser) : attempt(), 0);
    auto ro = Database::open(f);
    EXPECT_FALSE(ro->isWritable());
    EXPECT_EQ(errorCode([&] { ro->beginTransaction(); }), Error::Code::ReadOnly);
}

TEST(Storage, TransactionsCommitAndRollBack) {
    Scratch dir;
    const std::string f = dir.copy("timer/sample.tdb");
    const auto before = slurp(f);
    auto db = Database::open(f, OpenMode::Exclusive);
    auto& wp = jet::detail::writablePager(*db);
    const uint32_t pages = db->pager().pageCount();
    EXPECT_THROW(db->commitTransaction(), Error);
    db->beginTransaction();
    EXPECT_THROW(db->beginTransaction(), Error);
    const uint32_t a = jet::detail::allocatePage(*db);
    EXPECT_EQ(a, pages);
    std::memcpy(wp.mutablePage(a) + 100, "marker", 6);
    EXPECT_EQ(db->pager().pageCount(), pages + 1);
    EXPECT_EQ(std::memcmp(db->pager().page(a) + 100, "marker", 6), 0);
    db->rollbackTransaction();
    EXPECT_FALSE(db->inTransaction());
    EXPECT_EQ(db->pager().pageCount(), pages);
    EXPECT_EQ(slurp(f), before);
    db->beginTransaction();
    const uint32_t b = jet::detail::allocatePage(*db);
    std::memcpy(wp.mutablePage(b) + 100, "marker", 6);
    // Nothing reaches the file before commit.
    EXPECT_EQ(slurp(f), before);
    db->commitTransaction();
    EXPECT_EQ(std::pair(db->pager().pageCount(), db->header().pageCount), std::pair(pages + 1, pages + 1));
    EXPECT_FALSE(fs::exists(jet::journalPath(f)));
    db.reset();
    const auto after = slurp(f);
    ASSERT_EQ(after.size(), before.size() + 4096);
    EXPECT_EQ(std::memcmp(after.data() + size_t(b) * 4096 + 100, "marker", 6), 0);
    auto ro = Database::open(f);
    EXPECT_EQ(problems(*ro), "");
    EXPECT_EQ(exportAll(*ro), exportAll(*Database::open(testutil::dataPath("timer/sample.tdb"))));
}

TEST(Storage, StepsInsideATransactionUndoOnFailure) {
    Scratch dir;
    const std::string f = dir.copy("jet3/delTestV1997.mdb");
    auto db = Database::open(f, OpenMode::Exclusive);
    auto& wp = jet::detail::writablePager(*db);
    const uint32_t pages = wp.pageCount();
    db->beginTransaction();
    wp.mutablePage(5)[200] ^= 0xFF;
    const uint8_t edited = wp.page(5)[200];
    {
        jet::detail::AutoTxn step(*db);
        wp.mutablePage(5)[200] = 0x42;
        wp.mutablePage(6)[200] ^= 0xFF;
        jet::detail::allocatePage(*db);
        {
            jet::detail::AutoTxn inner(*db);
            wp.mutablePage(7)[10] ^= 1;
            inner.commit();
        }
        // no commit: undone
    }
    EXPECT_TRUE(db->inTransaction());
    EXPECT_EQ(wp.pageCount(), pages);
    EXPECT_EQ(wp.page(5)[200], edited);
    {
        jet::detail::AutoTxn step(*db);
        jet::detail::allocatePage(*db);
        step.commit();
    }
    EXPECT_EQ(wp.pageCount(), pages + 1);
    db->rollbackTransaction();
    EXPECT_EQ(slurp(f), slurp(testutil::dataPath("jet3/delTestV1997.mdb")));
    // Without an open transaction a step is a transaction of its own.
    {
        jet::detail::AutoTxn step(*db);
        EXPECT_TRUE(db->inTransaction());
        jet::detail::allocatePage(*db);
        step.commit();
    }
    EXPECT_FALSE(db->inTransaction());
    EXPECT_EQ(wp.pageCount(), pages + 1);
    EXPECT_EQ(problems(*db), "");
}

// The journal sits beside the real file, whichever name the crashed write opened it by.
TEST(Storage, InterruptedCommitIsRolledBackOnOpen) {
    Scratch dir;
    const std::string f = dir.copy("timer/sample.tdb"), link = dir.path() + "/link.tdb";
    const auto before = slurp(f);
    fs::create_symlink(f, link);
    crashWhileWriting(link);
    ASSERT_TRUE(fs::exists(jet::journalPath(f)));
    EXPECT_FALSE(fs::exists(jet::journalPath(link)));
    const auto torn = slurp(f);
    EXPECT_NE(torn, before);
    // Readers see the file as it was (the crash tests compare every page), and leave file and journal alone.
    EXPECT_EQ(exportAll(*Database::open(f)), exportAll(*Database::open(testutil::dataPath("timer/sample.tdb"))));
    EXPECT_EQ(slurp(f), torn);
    EXPECT_TRUE(fs::exists(jet::journalPath(f)));
    // The next writer repairs the file.
    { auto db = Database::open(f, OpenMode::Exclusive); }
    EXPECT_EQ(slurp(f), before);
    // A journal cut short (crash while writing it) means the file was never touched.
    std::ofstream(jet::journalPath(f), std::ios::binary) << "HGJRNL01 truncated";
    EXPECT_EQ(problems(*Database::open(f)), "");
    { auto db = Database::open(f, OpenMode::Exclusive); }
    EXPECT_FALSE(fs::exists(jet::journalPath(f)));
    EXPECT_EQ(slurp(f), before);
}

// A copy holds the committed file, never pages of a change in progress or of an
// interrupted commit, and never a half-written destination.
TEST(Storage, CopyHoldsTheCommittedFile) {
    Scratch dir;
    const std::string f = dir.copy("timer/sample.tdb"), copy = dir.path() + "/copy.tdb";
    const auto before = slurp(f);
    {
        auto db = Database::open(f, OpenMode::Exclusive);
        db->beginTransaction();
        jet::detail::allocatePage(*db);
        EXPECT_THROW(db->copyTo(copy), Error);
        db->commitTransaction();
        db->copyTo(copy);
        EXPECT_EQ(slurp(copy), slurp(f));
        EXPECT_NE(slurp(copy), before);
        EXPECT_THROW(db->copyTo(f), Error);
        EXPECT_THROW(db->copyTo(dir.path() + "/missing/copy.tdb"), Error);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
    // From the command line, over a torn file and its journal: the file as it was.
    fs::copy_file(testutil::dataPath("timer/sample.tdb"), f, fs::copy_options::overwrite_existing);
    crashWhileWriting(f);
    const auto torn = slurp(f);
    const std::string cmd = "'" + std::string(JETDB_PATH) + "' backup '" + f + "' '" + copy + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(slurp(copy), before);
    EXPECT_EQ(slurp(f), torn);
    EXPECT_TRUE(fs::exists(jet::journalPath(f)));
}

// A write that fails during commit (here: the file may not grow) leaves the file as it was and the database usable.
TEST(Storage, FailedWriteLeavesFileUnchanged) {
    Scratch dir;
    const std::string f = dir.copy("timer/sample.tdb");
    const auto before = slurp(f);
    auto db = Database::open(f, OpenMode::Exclusive);
    auto& wp = jet::detail::writablePager(*db);
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    const struct rlimit lim = {before.size(), old.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &lim), 0);
    db->beginTransaction();
    std::memset(wp.mutablePage(4) + 100, 0x11, 100);
    for (int i = 0; i < 3; ++i) jet::detail::allocatePage(*db);
    const Error::Code code = errorCode([&] { db->commitTransaction(); });
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(code, Error::Code::Io);
    EXPECT_FALSE(db->inTransaction());
    EXPECT_EQ(slurp(f), before);
    EXPECT_FALSE(fs::exists(jet::journalPath(f)));
    EXPECT_EQ(db->pager().pageCount(), before.size() / 4096);
    // Still usable.
    db->beginTransaction();
    jet::detail::allocatePage(*db);
    db->commitTransaction();
    EXPECT_EQ(slurp(f).size(), before.size() + 4096);
    EXPECT_EQ(problems(*db), "");
}

// Allocation takes listed free pages first, then grows the file; freed pages come
// back; the file stays sound for the check and for the other readers.
TEST(Storage, AllocateAndFreePagesKeepTheFileSound) {
    for (const char* name : {"jet4/testV2003.mdb", "jet3/indexTestV1997.mdb", "jet4/testV2000.mdb"}) {
        SCOPED_TRACE(name);
        Scratch dir;
        const std::string f = dir.copy(name);
        auto db = Database::open(f, OpenMode::Exclusive);
        const uint32_t ps = db->pager().pageSize();
        const uint32_t start = db->pager().pageCount();
        const std::string expected = exportAll(*db);
        std::set<uint32_t> listedFree = freePages(*db);
        db->beginTransaction();
        std::set<uint32_t> got;
        // Enough pages to slide the global map's window past its end.
        const int total = static_cast<int>(listedFree.size()) + 1100;
        for (int i = 0; i < total; ++i) {
            uint32_t n = jet::detail::allocatePage(*db);
            EXPECT_TRUE(got.insert(n).second) << "page " << n << " handed out twice";
            const uint8_t* p = db->pager().page(n);
            EXPECT_TRUE(std::all_of(p, p + ps, [](uint8_t b) { return b == 0; }));
        }
        for (uint32_t n : listedFree) EXPECT_TRUE(got.count(n)) << "free page " << n << " was not reused";
        db->commitTransaction();
        EXPECT_EQ(db->pager().pageCount(), start + total - listedFree.size());
        EXPECT_TRUE(freePages(*db).empty());
        EXPECT_EQ(problems(*db), "");
        // Free a few (inside the file), take them again.
        const std::vector<uint32_t> some(got.begin(), got.end()), freed = {some[some.size() - 1], some[some.size() - 3]};
        db->beginTransaction();
        for (uint32_t n : freed) jet::detail::freePage(*db, n);
        db->commitTransaction();
        EXPECT_EQ(freePages(*db), std::set<uint32_t>(freed.begin(), freed.end()));
        EXPECT_EQ(problems(*db), "");
        db->beginTransaction();
        std::set<uint32_t> again = {jet::detail::allocatePage(*db), jet::detail::allocatePage(*db)};
        EXPECT_EQ(again, std::set<uint32_t>(freed.begin(), freed.end()));
        db->commitTransaction();
        db.reset();
        auto ro = Database::open(f);
        EXPECT_EQ(problems(*ro), "");
        EXPECT_EQ(exportAll(*ro), expected);
    }
}

// Adding pages to a table's map: inside the window, sliding the window, and
// turning an inline map into a reference map when the pages no longer fit.
TEST(Storage, UsageMapEdits) {
    for (const char* name : {"timer/sample.tdb", "jet3/testV1997.mdb"}) {
        SCOPED_TRACE(name);
        Scratch dir;
        const std::string f = dir.copy(name);
        auto db = Database::open(f, OpenMode::Exclusive);
        const std::string table = db->tableNames(false).front();
        const std::string expected = exportAll(*db);
        auto t = db->table(table);
        const uint32_t tdef = t->tdefPage();
        const uint32_t mapPtr = usedPagesRef(*db, tdef);
        const size_t before = t->dataPages().size();
        std::vector<uint32_t> added;
        db->beginTransaction();
        // A few pages, then far more than an inline map spans.
        int afterPromotion = -1;
        for (uint32_t i = 0; afterPromotion < 40 && i < 20000; ++i) {
            uint32_t n = jet::detail::allocatePage(*db);
            formatEmptyDataPage(*db, n, tdef);
            jet::detail::usageMapAdd(*db, mapPtr, n);
            added.push_back(n);
            if (afterPromotion >= 0 || mapType(*db, mapPtr) == 1) ++afterPromotion;
            if (i == 5) {
                db->commitTransaction();
                jet::detail::invalidateCaches(*db);
                EXPECT_EQ(db->table(table)->dataPages().size(), before + 6);
                EXPECT_EQ(problems(*db), "");
                db->beginTransaction();
            }
        }
        db->commitTransaction();
        EXPECT_EQ(db->table(table)->dataPages().size(), before + added.size());
        EXPECT_EQ(mapType(*db, mapPtr), 1) << "the map should have become a reference map";
        EXPECT_EQ(problems(*db), "");
        EXPECT_EQ(exportAll(*db), expected);
        // Removing them again (pages given back to the free list).
        db->beginTransaction();
        for (uint32_t n : added) {
            jet::detail::usageMapRemove(*db, mapPtr, n);
            jet::detail::freePage(*db, n);
        }
        db->commitTransaction();
        EXPECT_EQ(db->table(table)->dataPages().size(), before);
        EXPECT_EQ(problems(*db), "");
        db.reset();
        auto ro = Database::open(f);
        EXPECT_EQ(exportAll(*ro), expected);
        EXPECT_EQ(problems(*ro), "");
    }
}
