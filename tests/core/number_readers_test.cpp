#include "core/number_readers.h"

#include <gtest/gtest.h>

namespace vexlo {
namespace {

TEST(NumberReaders, ReplyCodesAndLenientDecimals) {
    EXPECT_EQ(CountLeadingDigits("200 ready"), 3);
    EXPECT_EQ(CountLeadingDigits(" 200"), 0);
    // A reply code has exactly three digits.
    for (auto [text, code] :
         {std::pair{"211 3 1 3 g", 211}, {"20 short", -1}, {"2000 x", -1}, {"", -1}})
        EXPECT_EQ(ReplyCode(text), code) << text;
    for (auto [text, value] : {std::pair{" \t-42xyz", -42},
                               {"+7", 7},
                               {"abc", 0},
                               {"-", 0},
                               {"4294967295", -1}})  // wraps like a 32-bit integer
        EXPECT_EQ(ReadLenientInt(text), value) << text;
}

}  // namespace
}  // namespace vexlo
