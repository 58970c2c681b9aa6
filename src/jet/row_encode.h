// Turning values into the bytes of a stored row, and a stored row back into its
// per-column fields (without decoding them). Internal to the row writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "database.h"
#include "table.h"
#include "value.h"

namespace jet::detail {

// Per-column facts from the raw definition that the decoded Table does not keep.
struct ColumnExtra {
    bool compressedUnicode = false;  // Jet 4 text/memo: stored compressed where possible
    uint32_t lvUsedMap = 0;          // long-value columns: row pointers of the column's page maps (0: none)
    uint32_t lvFreeMap = 0;
};
// Indexed like Table::columns().
std::vector<ColumnExtra> readColumnExtras(const Database& db, const Table& t);

// One column's share of a row: whether the value is present and its stored bytes
// (a Bool's value travels as `boolValue`; a long value as its field header plus
// any inline data).
struct FieldBytes {
    bool present = false;
    bool boolValue = false;
    Bytes bytes;
};

// Converts a caller's value to the kind the column stores (range-checked); throws
// Error naming the column when the value cannot be stored there. Null stays Null
// except for Yes/No, which stores No.
Value convertForColumn(const Database& db, const Table& t, const Column& c, const Value& v);

// Stored bytes of a converted, non-null value of a column kept inside the row
// (everything but Memo/OLE).
Bytes encodeFixedOrVar(const Database& db, const Column& c, const ColumnExtra& x, const Value& v);
// Bytes of a Memo/OLE value before it is placed (text encoded as the file stores it).
Bytes encodeLongValueData(const Database& db, const Column& c, const ColumnExtra& x, const Value& v);

// Assembles a row from its fields (indexed like Table::columns()).
Bytes assembleRow(const Database& db, const Table& t, const std::vector<FieldBytes>& fields);

// Splits a stored row into its fields; throws Corrupt for a malformed row.
std::vector<FieldBytes> splitRow(const Database& db, const Table& t, const uint8_t* row, size_t len);

// Largest row Access writes on a page.
size_t maxRowSize(const Format& f);

}  // namespace jet::detail
