#include "cli/visible_text.h"

#include <cstdio>

namespace vexlo::cli {

namespace {

void AppendEscaped(std::string& out, unsigned char byte) {
    char code[5];
    std::snprintf(code, sizeof code, "\\x%02x", byte);
    out += code;
}

}  // namespace

std::string Visible(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7f || (byte >= 0x80 && byte <= 0x9f)) {
            // A byte 0x80..0x9F here is not inside a UTF-8 sequence (those are
            // skipped whole below), so a terminal could take it as a C1 control.
            AppendEscaped(out, byte);
        } else if (byte == 0xc2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9f &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80) {
            // U+0080..U+009F encoded: the C1 controls in UTF-8.
            AppendEscaped(out, byte);
            AppendEscaped(out, static_cast<unsigned char>(text[++i]));
        } else if (byte >= 0xc2 && byte <= 0xf4) {
            // A lead byte with all its continuation bytes (0x80..0xBF) is
            // text; a sequence cut short leaves its bytes to the tests above.
            const size_t length = byte < 0xe0 ? 2 : byte < 0xf0 ? 3 : 4;
            size_t end = i + 1;
            while (end < text.size() && end < i + length &&
                   (static_cast<unsigned char>(text[end]) & 0xc0) == 0x80)
                ++end;
            if (end != i + length) end = i + 1;
            out.append(text.substr(i, end - i));
            i = end - 1;
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out;
}

}  // namespace vexlo::cli
