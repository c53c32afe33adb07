// The overview line parser, and the part counter and numbers read from it.
#include <string_view>

#include "core/number_readers.h"
#include "fuzz_support.h"
#include "groups/binary_match.h"
#include "groups/scan_helpers.h"

using namespace vexlo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    OverviewFields fields;
    if (!SplitOverviewLine(line, fields)) return 0;
    for (std::string_view field : fields) ReadLenientInt(field);
    uint32_t n = 0, m = 0;
    ParsePartCounter(fields[1], n, m);
    SameSubjectPattern(fields[1], fields[2]);
    return 0;
}
