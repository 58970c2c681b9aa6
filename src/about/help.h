// Where the program's help manual is.
#pragma once

#include <string>

namespace app {

// The manual's contents page ("index.html"): next to the executable, in an
// installed share/hourgrid/help, in the build tree, or in the source tree, the
// first that exists (the source tree's path when none does).
std::string findHelpFile();

}  // namespace app
