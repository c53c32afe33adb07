#include "core/number_readers.h"

#include <gtest/gtest.h>

namespace vexlo {
namespace {

TEST(NumberReaders, LeadingDigitsAndReplyCodes) {
    EXPECT_EQ(CountLeadingDigits("200 ready"), 3);
    EXPECT_EQ(CountLeadingDigits(" 200"), 0);
    EXPECT_EQ(ReplyCode("211 3 1 3 alt.binaries.test"), 211);
    EXPECT_EQ(ReplyCode("20 short"), -1);   // two digits: no code
    EXPECT_EQ(ReplyCode("2000 long"), -1);  // four digits: no code
    EXPECT_EQ(ReplyCode(""), -1);
}

TEST(NumberReaders, LenientDecimal) {
    EXPECT_EQ(ReadLenientInt(" \t-42xyz"), -42);
    EXPECT_EQ(ReadLenientInt("+7"), 7);
    EXPECT_EQ(ReadLenientInt("abc"), 0);
    EXPECT_EQ(ReadLenientInt("-"), 0);
    EXPECT_EQ(ReadLenientInt("4294967295"), -1);  // wraps like a 32-bit integer
}

}  // namespace
}  // namespace vexlo
