// Layout constants that differ between Jet 3 (Access 97) and Jet 4 (Access 2000+).
#pragma once

#include <cstdint>

namespace jet {

enum class Version { Jet3, Jet4 };

struct Format {
    Version version;
    uint32_t pageSize;

    // Data page
    uint32_t dataFreeSpace;   // offset of the free-space count
    uint32_t dataTdefPage;    // offset of the owning table definition page
    uint32_t dataRowCount;    // offset of the row count
    uint32_t dataRowTable;    // offset of the first row offset entry

    // Table definition page
    uint32_t tdefRowCount;
    uint32_t tdefAutonumber;
    uint32_t tdefTableType;
    uint32_t tdefMaxCols;
    uint32_t tdefNumVarCols;
    uint32_t tdefNumCols;
    uint32_t tdefNumIdx;
    uint32_t tdefNumRealIdx;
    uint32_t tdefUsedPages;
    uint32_t tdefFreePages;
    uint32_t tdefIndexStart;      // first real-index count entry
    uint32_t tdefRealIdxEntrySize;  // 8 (Jet3) or 12 (Jet4)
    uint32_t tdefColumnSize;        // 18 (Jet3) or 25 (Jet4)
    uint32_t tdefRealIdxSize;       // 39 (Jet3) or 52 (Jet4)
    uint32_t tdefLogIdxSize;        // 20 (Jet3) or 28 (Jet4)

    // Index pages
    uint32_t idxBitmaskStart;  // 0x16 (Jet3) or 0x1b (Jet4)
    uint32_t idxEntryStart;    // 0xf8 (Jet3) or 0x1e0 (Jet4)

    bool jet4() const { return version == Version::Jet4; }

    static const Format& jet3();
    static const Format& jet4fmt();
};

}  // namespace jet
