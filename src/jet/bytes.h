// Little-endian field access for page and row buffers. Callers check bounds
// before reading; these helpers only assemble the bytes.
#pragma once

#include <cstdint>
#include <cstring>

namespace jet::bytes {

inline uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t u24(const uint8_t* p) { return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16); }
inline uint32_t u32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t u64(const uint8_t* p) { return static_cast<uint64_t>(u32(p)) | (static_cast<uint64_t>(u32(p + 4)) << 32); }
inline int16_t i16(const uint8_t* p) { return static_cast<int16_t>(u16(p)); }
inline int32_t i32(const uint8_t* p) { return static_cast<int32_t>(u32(p)); }
inline int64_t i64(const uint8_t* p) { return static_cast<int64_t>(u64(p)); }
inline float f32(const uint8_t* p) {
    uint32_t u = u32(p);
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}
inline double f64(const uint8_t* p) {
    uint64_t u = u64(p);
    double d;
    std::memcpy(&d, &u, 8);
    return d;
}

}  // namespace jet::bytes
