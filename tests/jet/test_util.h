#pragma once

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <chrono>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

namespace testutil {

inline std::string dataPath(const std::string& rel) { return std::string(TEST_DATA_DIR) + "/" + rel; }

// A new, empty folder under the system's temporary folder.
inline std::string makeTempDir(const std::string& prefix) {
    static std::mt19937_64 rng(std::random_device{}() ^
                               static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int i = 0; i < 100; ++i) {
        auto p = std::filesystem::temp_directory_path() / (prefix + "-" + std::to_string(rng() % 1000000000));
        std::error_code ec;
        if (std::filesystem::create_directory(p, ec)) return p.string();
    }
    throw std::runtime_error("cannot create a temporary folder");
}

// Copies a file over another. Removes the target first: some standard
// libraries (MinGW's) refuse overwrite_existing with "File exists".
inline void copyOver(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::filesystem::remove(to);
    std::filesystem::copy_file(from, to);
}

// The exit code of a command run through std::system or pclose (-1: killed).
inline int exitCode(int status) {
#ifdef _WIN32
    return status;
#else
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

}  // namespace testutil
