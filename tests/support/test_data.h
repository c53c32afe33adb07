// Small data helpers shared by tests.
#pragma once

#include <string>
#include <vector>

namespace vexlo::test {

// `size` pseudo-random bytes, the same for the same seed.
std::string RandomBytes(size_t size, unsigned seed);
// The TAB-separated fields of a line (an overview line has nine).
std::vector<std::string> SplitTabs(const std::string& line);

}  // namespace vexlo::test
