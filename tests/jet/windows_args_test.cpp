// Windows hands a program its arguments in the ANSI code page, which cannot
// spell every file name; the tool must still open such a file.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "test_util.h"

namespace fs = std::filesystem;

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
