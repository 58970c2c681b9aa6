// What the engine needs from the operating system: files opened with the
// sharing a database needs, read-only views of them, syncs and the folder
// around them. The one place where Linux and Windows differ. Paths are UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace jet::platform {

enum class Access {
    Read,       // reading, shared with other readers; refused while someone writes
    Write,      // reading and writing, held exclusively
    Peek,       // reading, without holding the file against anyone
    Replace     // a new or emptied file for writing, held exclusively (the journal)
};

enum class OpenResult { Ok, NotFound, Folder, NotRegular, Denied, InUse, Failed };

class File {
public:
    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // On Failed (and Denied), lastError() says why. Locks a file system cannot
    // hold (a network share without locking) are not a failure.
    OpenResult open(const std::string& path, Access access);
    void close();
    bool isOpen() const;

    // False on failure (lastError()); reads return the bytes the file holds there.
    bool size(uint64_t& out) const;
    bool readAt(uint8_t* p, size_t n, uint64_t at, size_t& got) const;
    bool writeAt(const uint8_t* p, size_t n, uint64_t at);
    bool truncate(uint64_t length);
    bool sync();

private:
    friend class Mapping;
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

// A read-only view of the start of a file that shows later writes made through
// File. Growing it maps anew and keeps the earlier views, so pointers handed out
// before stay valid.
class Mapping {
public:
    Mapping() = default;
    ~Mapping();
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;
    // Makes at least `bytes` (no more than the file holds) readable; false on failure.
    bool cover(const File& f, uint64_t bytes);
    const uint8_t* base() const { return base_; }

private:
    struct View {
        void* addr;
        size_t len;
    };
    std::vector<View> views_;
    const uint8_t* base_ = nullptr;
    uint64_t len_ = 0;
};

// The text of the last failure on this thread.
std::string lastError();

// Removes a file; true when it is gone (also when it was never there).
bool removeFile(const std::string& path);
// Gives `from` the name `to` in one step, replacing a file of that name.
bool replaceFile(const std::string& from, const std::string& to);
// Makes the creation or removal of a file in the folder durable.
bool syncFolderOf(const std::string& path);
// False only when the folder is known to refuse new files (read-only).
bool folderWritable(const std::string& path);
// The path with links resolved, or the path itself when that fails.
std::string realPath(const std::string& path);

// A program's arguments after its name, as UTF-8. Windows hands main() the
// arguments in the ANSI code page, which cannot spell every file name, so
// there they are read again from the UTF-16 command line.
std::vector<std::string> commandLineArgs(int argc, char** argv);

// The local calendar time of t (thread-safe).
std::tm localTime(std::time_t t);

}  // namespace jet::platform
