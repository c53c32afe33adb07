#include "support/test_data.h"

#include <random>
#include <sstream>

namespace vexlo::test {

std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string data(size, '\0');
    for (char& c : data) c = static_cast<char>(random());
    return data;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
    if (line.empty() || line.back() == '\t') fields.emplace_back();  // getline drops it
    return fields;
}

}  // namespace vexlo::test
