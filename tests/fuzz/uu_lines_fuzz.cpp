// The uu line functions: begin lines, their file names, encoded lines.
#include <string>
#include <string_view>

#include "decode/uu_decoder.h"
#include "fuzz_support.h"

using namespace vexlo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    std::string name;
    if (IsBeginLine(line) && ParseBeginFileName(line, name)) {
        fuzz::Require(!name.empty() && name != "." && name != "..", "a usable name");
        fuzz::Require(name.find('/') == std::string::npos, "no way out of the directory");
    }
    unsigned char bytes[kUuDecodeBufferSize];
    int count = -1;
    if (DecodeUuLine(line, bytes, kUuLineLimit, count))
        fuzz::Require(count >= 0 && count <= 63, "at most 63 bytes a line");
    std::string text(line);
    TrimSpaces(text);
    CleanFileName(text);
    return 0;
}
