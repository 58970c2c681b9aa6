// Jet's text sort order: the key bytes index pages hold for text, which also
// define how the query evaluator compares and orders text (case-insensitive).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "format.h"

namespace jet {

// The index key bytes of a text value (without the leading null/order flag byte),
// ascending, for the general sort order of the given format.
std::vector<uint8_t> textSortKey(std::string_view utf8, Version v);

// <0, 0, >0 as Jet orders the two texts (Jet 4 general order).
int compareText(std::string_view a, std::string_view b);

}  // namespace jet
