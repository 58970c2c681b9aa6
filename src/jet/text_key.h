// Index key bytes of text values (engine-internal; the public face is collation.h).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace jet {

// The text sort orders Jet writes into index pages. Jet 3 files use the 1997
// "general" order; Jet 4 files from Access 2000-2007 use the "general legacy"
// one. Access 2010 marks its revised general order with sort-order version 1.
enum class TextOrder { General97, GeneralLegacy, General2010 };

// Appends the key of `utf8` (without the leading null/order flag byte).
// Descending keys are the ascending bytes inverted, framed as Jet frames them.
void appendTextKey(std::vector<uint8_t>& out, std::string_view utf8, TextOrder order, bool ascending);

}  // namespace jet
