#include "platform.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <shellapi.h>
#else
#include <cstdio>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace jet::platform {

#ifdef _WIN32

namespace {

thread_local DWORD lastErr = 0;

bool fail() {
    lastErr = GetLastError();
    return false;
}

std::wstring widen(const std::string& s) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::string narrow(const std::wstring& w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

OVERLAPPED at(uint64_t offset) {
    OVERLAPPED o{};
    o.Offset = static_cast<DWORD>(offset);
    o.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return o;
}

constexpr size_t kChunk = 1u << 30;

}  // namespace

File::~File() { close(); }

// Share modes do what locks do elsewhere: a writer shares with no one, so a
// program holding the file open refuses us and we refuse it while we hold it.
OpenResult File::open(const std::string& path, Access access) {
    close();
    const std::wstring w = widen(path);
    const DWORD attrs = GetFileAttributesW(w.c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY)) return OpenResult::Folder;
    DWORD want = GENERIC_READ, share = 0, how = OPEN_EXISTING;
    switch (access) {
        case Access::Read: share = FILE_SHARE_READ; break;
        case Access::Write: want = GENERIC_READ | GENERIC_WRITE; break;
        case Access::Peek: share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE; break;
        case Access::Replace:
            want = GENERIC_WRITE;
            how = CREATE_ALWAYS;
            break;
    }
    HANDLE h = CreateFileW(w.c_str(), want, share, nullptr, how, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        lastErr = GetLastError();
        switch (lastErr) {
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND:
            case ERROR_INVALID_NAME: return OpenResult::NotFound;
            case ERROR_SHARING_VIOLATION:
            case ERROR_LOCK_VIOLATION: return OpenResult::InUse;
            case ERROR_ACCESS_DENIED:
            case ERROR_WRITE_PROTECT: return OpenResult::Denied;
            default: return OpenResult::Failed;
        }
    }
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        return OpenResult::NotRegular;
    }
    handle_ = h;
    return OpenResult::Ok;
}

void File::close() {
    if (handle_) CloseHandle(handle_);
    handle_ = nullptr;
}

bool File::isOpen() const { return handle_ != nullptr; }

bool File::size(uint64_t& out) const {
    LARGE_INTEGER s;
    if (!GetFileSizeEx(handle_, &s)) return fail();
    out = static_cast<uint64_t>(s.QuadPart);
    return true;
}

bool File::readAt(uint8_t* p, size_t n, uint64_t offset, size_t& got) const {
    got = 0;
    while (got < n) {
        OVERLAPPED o = at(offset + got);
        DWORD done = 0;
        if (!ReadFile(handle_, p + got, static_cast<DWORD>(std::min(n - got, kChunk)), &done, &o)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            return fail();
        }
        if (done == 0) break;
        got += done;
    }
    return true;
}

bool File::writeAt(const uint8_t* p, size_t n, uint64_t offset) {
    while (n > 0) {
        OVERLAPPED o = at(offset);
        DWORD done = 0;
        if (!WriteFile(handle_, p, static_cast<DWORD>(std::min(n, kChunk)), &done, &o)) return fail();
        if (done == 0) {
            lastErr = ERROR_WRITE_FAULT;
            return false;
        }
        p += done;
        n -= done;
        offset += done;
    }
    return true;
}

bool File::truncate(uint64_t length) {
    FILE_END_OF_FILE_INFO info{};
    info.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
    return SetFileInformationByHandle(handle_, FileEndOfFileInfo, &info, sizeof info) ? true : fail();
}

bool File::sync() { return FlushFileBuffers(handle_) ? true : fail(); }

Mapping::~Mapping() {
    for (auto& v : views_) UnmapViewOfFile(v.addr);
}

// A view cannot reach past the end of the file here, so each growth maps the
// file as long as it is now.
bool Mapping::cover(const File& f, uint64_t bytes) {
    if (bytes <= len_) return true;
    uint64_t size = 0;
    if (!f.size(size)) return false;
    if (size < bytes) {
        lastErr = ERROR_HANDLE_EOF;
        return false;
    }
    HANDLE m = CreateFileMappingW(f.handle_, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!m) return fail();
    void* v = MapViewOfFile(m, FILE_MAP_READ, 0, 0, 0);
    if (!v) fail();
    CloseHandle(m);  // the view keeps the mapping alive
    if (!v) return false;
    views_.push_back({v, static_cast<size_t>(size)});
    base_ = static_cast<const uint8_t*>(v);
    len_ = size;
    return true;
}

std::string lastError() {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   lastErr, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string s = text ? narrow(text) : "error " + std::to_string(lastErr);
    if (text) LocalFree(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == '.' || s.back() == ' ')) s.pop_back();
    return s;
}

bool removeFile(const std::string& path) {
    if (DeleteFileW(widen(path).c_str())) return true;
    return GetLastError() == ERROR_FILE_NOT_FOUND || fail();
}

bool replaceFile(const std::string& from, const std::string& to) {
    return MoveFileExW(widen(from).c_str(), widen(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ||
           fail();
}

// NTFS keeps its own metadata journal; a folder cannot be flushed without
// administrator rights.
bool syncFolderOf(const std::string&) { return true; }

// The read-only attribute of a folder does not stop files being created in it;
// a folder that refuses them shows when the journal is created.
bool folderWritable(const std::string&) { return true; }

std::string realPath(const std::string& path) {
    std::error_code ec;
    auto real = std::filesystem::canonical(std::filesystem::path(widen(path)), ec);
    return ec ? path : narrow(real.wstring());
}

std::vector<std::string> commandLineArgs(int argc, char** argv) {
    int n = 0;
    LPWSTR* w = CommandLineToArgvW(GetCommandLineW(), &n);
    if (!w) return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
    std::vector<std::string> out;
    for (int i = 1; i < n; ++i) out.push_back(narrow(w[i]));
    LocalFree(w);
    return out;
}

std::tm localTime(std::time_t t) {
    std::tm lt{};
    localtime_s(&lt, &t);
    return lt;
}

#else

namespace {

thread_local int lastErr = 0;

bool fail() {
    lastErr = errno;
    return false;
}

std::string folderOf(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace

File::~File() { close(); }

// Open-file-description locks conflict between two opens of one process as well
// as between processes, and vanish with the descriptor when a process dies.
OpenResult File::open(const std::string& path, Access access) {
    close();
    int flags = O_CLOEXEC;
    switch (access) {
        case Access::Read:
        case Access::Peek: flags |= O_RDONLY; break;
        case Access::Write: flags |= O_RDWR; break;
        case Access::Replace: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
    }
    int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) {
        lastErr = errno;
        switch (lastErr) {
            case ENOENT:
            case ENOTDIR: return OpenResult::NotFound;
            case EISDIR: return OpenResult::Folder;
            case EACCES:
            case EROFS:
            case EPERM: return OpenResult::Denied;
            default: return OpenResult::Failed;
        }
    }
    struct stat st {};
    OpenResult r = OpenResult::Ok;
    if (::fstat(fd, &st) != 0)
        r = (fail(), OpenResult::Failed);
    else if (S_ISDIR(st.st_mode))
        r = OpenResult::Folder;
    else if (!S_ISREG(st.st_mode))
        r = OpenResult::NotRegular;
    else if (access == Access::Read || access == Access::Write) {
        struct flock fl {};
        fl.l_type = access == Access::Read ? F_RDLCK : F_WRLCK;
        fl.l_whence = SEEK_SET;
        // A file system without locks (some network shares) is used unlocked.
        if (::fcntl(fd, F_OFD_SETLK, &fl) != 0 && (errno == EAGAIN || errno == EACCES)) r = OpenResult::InUse;
    }
    if (r != OpenResult::Ok) {
        ::close(fd);
        return r;
    }
    fd_ = fd;
    return r;
}

void File::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool File::isOpen() const { return fd_ >= 0; }

bool File::size(uint64_t& out) const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return fail();
    out = static_cast<uint64_t>(st.st_size);
    return true;
}

bool File::readAt(uint8_t* p, size_t n, uint64_t at, size_t& got) const {
    got = 0;
    while (got < n) {
        ssize_t r = ::pread(fd_, p + got, n - got, static_cast<off_t>(at + got));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return fail();
        if (r == 0) break;
        got += static_cast<size_t>(r);
    }
    return true;
}

bool File::writeAt(const uint8_t* p, size_t n, uint64_t at) {
    while (n > 0) {
        ssize_t put = ::pwrite(fd_, p, n, static_cast<off_t>(at));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            if (put == 0) errno = EIO;
            return fail();
        }
        p += put;
        n -= static_cast<size_t>(put);
        at += static_cast<uint64_t>(put);
    }
    return true;
}

bool File::truncate(uint64_t length) { return ::ftruncate(fd_, static_cast<off_t>(length)) == 0 || fail(); }

bool File::sync() { return ::fdatasync(fd_) == 0 || fail(); }

Mapping::~Mapping() {
    for (auto& v : views_) ::munmap(v.addr, v.len);
}

// Room to grow: mapping past the end of the file is allowed, and those pages
// become readable as commits extend the file.
bool Mapping::cover(const File& f, uint64_t bytes) {
    if (bytes <= len_) return true;
    uint64_t want = std::max<uint64_t>(bytes + bytes / 2, bytes + (16u << 20));
    const uint64_t unit = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
    want = (want + unit - 1) / unit * unit;
    void* m = ::mmap(nullptr, want, PROT_READ, MAP_SHARED, f.fd_, 0);
    if (m == MAP_FAILED) return fail();
    views_.push_back({m, static_cast<size_t>(want)});
    base_ = static_cast<const uint8_t*>(m);
    len_ = want;
    return true;
}

std::string lastError() { return std::strerror(lastErr); }

bool removeFile(const std::string& path) { return ::unlink(path.c_str()) == 0 || errno == ENOENT || fail(); }

bool replaceFile(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0 || fail();
}

// File systems that cannot sync a folder say so with EINVAL, which is not a failure of ours.
bool syncFolderOf(const std::string& path) {
    int fd = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return fail();
    bool ok = ::fsync(fd) == 0 || errno == EINVAL || fail();
    ::close(fd);
    return ok;
}

bool folderWritable(const std::string& path) {
    return ::access(folderOf(path).c_str(), W_OK | X_OK) == 0 || (errno != EACCES && errno != EROFS);
}

std::string realPath(const std::string& path) {
    std::error_code ec;
    auto real = std::filesystem::canonical(path, ec);
    return ec ? path : real.string();
}

std::vector<std::string> commandLineArgs(int argc, char** argv) {
    return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
}

std::tm localTime(std::time_t t) {
    std::tm lt{};
    localtime_r(&t, &lt);
    return lt;
}

#endif

}  // namespace jet::platform
