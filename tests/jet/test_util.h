#pragma once

#include <string>

namespace testutil {

inline std::string dataPath(const std::string& rel) { return std::string(TEST_DATA_DIR) + "/" + rel; }

}  // namespace testutil
