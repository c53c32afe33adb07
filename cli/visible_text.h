// Text from a news server (subjects, posters, file names, replies) shown on a
// terminal: control characters and escape sequences in it could set the
// window title, clear the screen or colour what follows, so they are printed
// made visible instead of passed through.
#pragma once

#include <string>
#include <string_view>

namespace vexlo::cli {

// `text` with every C0 control character (tab and line ends included), DEL and
// C1 control character written as "\xHH": the raw byte for a C0 control, DEL
// or a stray byte 0x80..0x9F, the two bytes of its UTF-8 form ("\xc2\x9b") for
// an encoded C1 control. Everything else, other bytes that are not UTF-8
// included, is kept as it is.
std::string Visible(std::string_view text);

}  // namespace vexlo::cli
