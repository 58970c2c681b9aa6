// Page access to a Jet file. Reads are bounds-checked: a page number outside
// the file raises a Corrupt error instead of reading past the mapping.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace jet {

class Pager {
public:
    virtual ~Pager() = default;
    virtual uint32_t pageSize() const = 0;
    virtual uint32_t pageCount() const = 0;
    // Pointer to pageSize() bytes, valid until the pager is destroyed or the page is written.
    virtual const uint8_t* page(uint32_t n) const = 0;
    virtual const std::string& path() const = 0;
};

// Opens an existing file read-only. Throws Error (NotFound, Io, NotJet) on failure.
std::unique_ptr<Pager> openFilePager(const std::string& path, uint32_t pageSize);
// A pager over bytes in memory (used by the fuzzer and tests); copies the data.
std::unique_ptr<Pager> openMemoryPager(const uint8_t* data, size_t size, uint32_t pageSize, std::string name);

}  // namespace jet
