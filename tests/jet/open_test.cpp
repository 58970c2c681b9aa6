// Opening a file as both systems share it: a writer holds it alone, readers share it, names in any script (also on the jetdb
// command line), the journal beside the file. Recovery after a crash in the middle of writing the file: the journal rolls back
// only a file still as the crash left it, never over another program's changes; journals of the earlier format still roll back.
#include <gtest/gtest.h>
#include "jet/error.h"
#include "jet/platform.h"
#include "test_util.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace fs = std::filesystem;
using jet::Database;
using jet::Error;
using jet::OpenMode;
using testutil::openError;

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
            EXPECT_EQ(openError(f, OpenMode::Exclusive), Error::Code::InUse);
            EXPECT_EQ(openError(f, OpenMode::ReadOnly), Error::Code::InUse);
        }
        {
            auto reader = Database::open(f), another = Database::open(f);
            EXPECT_EQ(openError(f, OpenMode::Exclusive), Error::Code::InUse);
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

namespace {
void patch(const std::string& path, uint64_t at, const std::vector<uint8_t>& bytes) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(at));
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(f.good());
}

void put(std::vector<uint8_t>& v, uint64_t x, int n) {
    for (int i = 0; i < n; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}

uint64_t fnv(uint64_t h, const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
    return h;
}
}  // namespace

TEST(Journal, RollsBackOnlyAFileAsTheCrashLeftIt) {
    using namespace testutil;
    constexpr uint64_t kPage = 4096;
    const std::vector<uint8_t> cd(144, 0xCD);
    struct Case {
        const char* what;
        std::function<void(const std::string&)> change;
        bool rollsBack;
    } cases[] = {
        {"a page half written (one sector new, one old)", [&](auto& f) { patch(f, 2 * kPage + 512, cd); }, true},
        {"another program changed a sector the commit did not", [&](auto& f) { patch(f, 2 * kPage + 2000, {'x'}); }, false},
        {"another program changed the header page", [&](auto& f) { patch(f, 3000, {'x'}); }, false},
        {"another program wrote a page the commit was writing",
         [&](auto& f) { patch(f, 5 * kPage + 512, std::vector<uint8_t>(144, 0xCE)); }, false},
        {"another program appended pages", [&](auto& f) { patch(f, fs::file_size(f), std::vector<uint8_t>(2 * kPage, 1)); }, false},
        {"another database copied over the name", [&](auto& f) { copyOver(dataPath("jet4/testV2000.mdb"), f); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scratch dir;
        const std::string f = dir.copy("timer/sample.tdb");
        // Messages name the journal by the file's real path (on Windows, with backslashes).
        const std::string journal = jet::journalPath(jet::platform::realPath(f));
        const auto before = slurp(f);
        crashWhileWriting(f);
        c.change(f);
        const auto changed = slurp(f), kept = slurp(journal);
        ASSERT_FALSE(kept.empty());
        if (c.rollsBack) {
            { auto db = Database::open(f, OpenMode::Exclusive); }
            EXPECT_EQ(slurp(f), before);
            EXPECT_FALSE(fs::exists(journal));
            continue;
        }
        for (OpenMode mode : {OpenMode::Exclusive, OpenMode::ReadOnly}) {
            try {
                Database::open(f, mode);
                ADD_FAILURE() << "opened";
            } catch (const Error& e) {
                EXPECT_EQ(e.code(), Error::Code::Corrupt);
                const std::string m = e.what();
                EXPECT_TRUE(m.find(f + " was changed by another program") != std::string::npos &&
                            m.find("delete " + journal) != std::string::npos) << m;
            }
            EXPECT_EQ(slurp(f), changed);
            EXPECT_EQ(slurp(journal), kept);
        }
    }
}

// A journal as the previous version wrote it: the original pages only.
TEST(Journal, EarlierFormatStillRollsBack) {
    using namespace testutil;
    Scratch dir;
    const std::string f = dir.copy("timer/sample.tdb");
    const auto before = slurp(f);
    const uint64_t ps = 4096, seed = 1469598103934665603ull;
    std::vector<uint8_t> fields, records;
    for (auto [x, n] : {std::pair<uint64_t, int>{ps, 4}, {1, 4}, {before.size(), 8}, {fnv(seed, before.data(), ps), 8}})
        put(fields, x, n);
    put(records, 3, 4);
    put(records, 0, 4);
    records.insert(records.end(), before.begin() + 3 * ps, before.begin() + 4 * ps);
    std::vector<uint8_t> journal{'H', 'G', 'J', 'R', 'N', 'L', '0', '2'};
    journal.insert(journal.end(), fields.begin(), fields.end());
    put(journal, fnv(fnv(seed, fields.data(), fields.size()), records.data(), records.size()), 8);
    journal.insert(journal.end(), records.begin(), records.end());
    std::ofstream(jet::journalPath(f), std::ios::binary)
        .write(reinterpret_cast<const char*>(journal.data()), static_cast<std::streamsize>(journal.size()));
    patch(f, 3 * ps + 100, std::vector<uint8_t>(300, 0xEE));
    { auto db = Database::open(f, OpenMode::Exclusive); }
    EXPECT_EQ(slurp(f), before);
    EXPECT_FALSE(fs::exists(jet::journalPath(f)));
}

#ifdef _WIN32
// Windows hands a program its arguments in the ANSI code page, which cannot
// spell every file name; the tool must still open such a file.
namespace {
// Runs jetdb with the given arguments, output discarded; its exit code.
DWORD runJetdb(const std::wstring& args) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = nul;
    PROCESS_INFORMATION pi{};
    std::wstring cmd = L"\"" + fs::path(JETDB_PATH).wstring() + L"\" " + args;
    DWORD code = 1000;
    if (CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        WaitForSingleObject(pi.hProcess, INFINITE);
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(nul);
    return code;
}
}  // namespace

TEST(JetdbArguments, FileNamedOutsideTheAnsiCodePageOpens) {
    testutil::Scratch dir;
    const fs::path f = fs::path(dir.path()) / L"Zeit \u65E5\u672C \u0416.tdb";
    fs::copy_file(testutil::dataPath("timer/sample.tdb"), f);
    EXPECT_EQ(runJetdb(L"tables \"" + f.wstring() + L"\""), 0u);
    EXPECT_EQ(runJetdb(L"tables \"" + f.wstring() + L".missing\""), 2u);
}
#endif
