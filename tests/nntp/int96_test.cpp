#include "nntp/int96.h"

#include <gtest/gtest.h>

namespace vexlo {
namespace {

// Sums past 32 bits: transfer_stats_test.cpp; the text of the widest values:
// FormatThousands there.
TEST(Int96, SignedArithmeticAndTextReadStrictlyInsideTrimmedBlanks) {
    EXPECT_EQ(CInt96(-1) + CInt96(1), CInt96(0));
    EXPECT_TRUE((CInt96(3) - CInt96(5)).IsNegative());
    EXPECT_LT(CInt96(-2), CInt96(1));
    const std::pair<const char*, const char*> good[] = {
        {"0", "0"},
        {"-2147483648", "-2147483648"},
        {"18446744073709551616", "18446744073709551616"},
        {"79228162514264337593543950335", "79228162514264337593543950335"},
        {"-99999999999999999999999999999", "-99999999999999999999999999999"},
        {"  42  ", "42"},
        {"-  7", "-7"},
        {"", "0"},
        {"-", "0"},
        {"-0", "0"},
        {"00012", "12"}};
    for (const auto& [text, value] : good) {
        CInt96 v;
        EXPECT_TRUE(v.FromString(text)) << text;
        EXPECT_EQ(v.ToString(), value) << text;
    }
    for (const char* bad : {"12x", "+5", "1 2", "--1", "0x10", "123456789012345678901234567890"}) {
        CInt96 v(9);
        EXPECT_FALSE(v.FromString(bad)) << bad;
        EXPECT_EQ(v, CInt96(9)) << "unchanged after " << bad;
    }
}

}  // namespace
}  // namespace vexlo
