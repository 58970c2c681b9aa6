#include <cstddef>
#include <cstdint>

#include "read_all.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzread::readAll(data, size);
    return 0;
}
