// PLACEHOLDER: owned by the index/collation work; replaced wholesale.
#include "collation.h"

#include <cctype>

namespace jet {

std::vector<uint8_t> textSortKey(std::string_view utf8, Version) {
    std::vector<uint8_t> k;
    for (unsigned char c : utf8) k.push_back(static_cast<uint8_t>(std::toupper(c)));
    return k;
}

int compareText(std::string_view a, std::string_view b) {
    auto ka = textSortKey(a, Version::Jet4), kb = textSortKey(b, Version::Jet4);
    return ka < kb ? -1 : (kb < ka ? 1 : 0);
}

}  // namespace jet
