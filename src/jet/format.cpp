#include "format.h"

namespace jet {

const Format& Format::jet3() {
    static const Format f{
        Version::Jet3, 2048,
        /*dataFreeSpace*/ 0x02, /*dataTdefPage*/ 0x04, /*dataRowCount*/ 0x08, /*dataRowTable*/ 0x0a,
        /*tdefRowCount*/ 0x0c, /*tdefAutonumber*/ 0x10, /*tdefTableType*/ 0x14, /*tdefMaxCols*/ 0x15,
        /*tdefNumVarCols*/ 0x17, /*tdefNumCols*/ 0x19, /*tdefNumIdx*/ 0x1b, /*tdefNumRealIdx*/ 0x1f,
        /*tdefUsedPages*/ 0x23, /*tdefFreePages*/ 0x27, /*tdefIndexStart*/ 0x2b,
        /*tdefRealIdxEntrySize*/ 8, /*tdefColumnSize*/ 18, /*tdefRealIdxSize*/ 39, /*tdefLogIdxSize*/ 20,
        /*idxBitmaskStart*/ 0x16, /*idxEntryStart*/ 0xf8};
    return f;
}

const Format& Format::jet4fmt() {
    static const Format f{
        Version::Jet4, 4096,
        /*dataFreeSpace*/ 0x02, /*dataTdefPage*/ 0x04, /*dataRowCount*/ 0x0c, /*dataRowTable*/ 0x0e,
        /*tdefRowCount*/ 0x10, /*tdefAutonumber*/ 0x14, /*tdefTableType*/ 0x28, /*tdefMaxCols*/ 0x29,
        /*tdefNumVarCols*/ 0x2b, /*tdefNumCols*/ 0x2d, /*tdefNumIdx*/ 0x2f, /*tdefNumRealIdx*/ 0x33,
        /*tdefUsedPages*/ 0x37, /*tdefFreePages*/ 0x3b, /*tdefIndexStart*/ 0x3f,
        /*tdefRealIdxEntrySize*/ 12, /*tdefColumnSize*/ 25, /*tdefRealIdxSize*/ 52, /*tdefLogIdxSize*/ 28,
        /*idxBitmaskStart*/ 0x1b, /*idxEntryStart*/ 0x1e0};
    return f;
}

}  // namespace jet
