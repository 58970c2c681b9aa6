// Text conversions between the encodings Jet stores and UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace jet::text {

// Appends the UTF-8 form of a code point; invalid ones become U+FFFD.
void appendUtf8(std::string& out, uint32_t cp);

// Code points of UTF-8 text; a byte that starts no valid sequence stands for itself.
std::u32string decodeUtf8(std::string_view s);

// UCS-2/UTF-16 little endian (surrogate pairs joined, lone halves replaced).
void appendUtf16le(std::string& out, const uint8_t* p, size_t n);

// Jet 4 "compressed unicode" body (after the FF FE marker): a zero byte toggles
// between one byte per character (high byte zero) and two bytes per character.
void appendCompressed(std::string& out, const uint8_t* p, size_t n);

// Single-byte code page text (Jet 3). Code pages other than 1252 are read as 1252,
// which agrees with them on ASCII.
void appendCodePage(std::string& out, const uint8_t* p, size_t n, uint16_t codePage);

}  // namespace jet::text
