#include "nntp/address.h"

#include <gtest/gtest.h>

namespace vexlo {
namespace {

uint32_t Parse(const char* text) {
    uint32_t address = 0xDEADBEEF;
    EXPECT_EQ(ParseDottedAddress(text, &address), 1) << text;
    return address;
}

bool Refused(const char* text) {
    uint32_t address = 0xDEADBEEF;
    return ParseDottedAddress(text, &address) == 0 && address == 0xDEADBEEF;
}

TEST(DottedAddress, FourNumbersFirstOctetOnTop) {
    EXPECT_EQ(Parse("127.0.0.1"), 0x7F000001u);
    EXPECT_EQ(Parse("192.168.10.254"), 0xC0A80AFEu);
    EXPECT_EQ(Parse("1.2.3.4abc"), 0x01020304u);  // anything behind the 4th number is ignored
    EXPECT_EQ(Parse(".2.3."), 0x00020300u);       // missing numbers read as 0
    EXPECT_EQ(Parse("1.2.3.300"), 0x0102032Cu);   // no range check: 300 spills into the 3rd octet
}

TEST(DottedAddress, RefusesOtherShapes) {
    EXPECT_TRUE(Refused("10.0.1"));                   // two dots
    EXPECT_TRUE(Refused("10.0.0.1.5"));               // four dots
    EXPECT_TRUE(Refused("news.server.example.com"));  // host name with three dots
    EXPECT_TRUE(Refused("10.0x.0.1"));                // something between number and dot
    EXPECT_TRUE(Refused(" 10.0.0.1"));
    EXPECT_TRUE(Refused(""));
}

TEST(DottedAddress, FormatsTopByteFirst) {
    EXPECT_EQ(FormatDottedAddress(0x7F000001u), "127.0.0.1");
    EXPECT_EQ(FormatDottedAddress(0xFFFFFFFFu), "255.255.255.255");
    EXPECT_EQ(FormatDottedAddress(Parse("10.20.30.40")), "10.20.30.40");
}

TEST(HostLookup, ResolvesLocalNames) {
    uint32_t address = 0;
    ASSERT_EQ(LookupHostAddress("127.0.0.1", &address), 1);
    EXPECT_EQ(address, 0x7F000001u);
    address = 0;
    ASSERT_EQ(LookupHostAddress("localhost", &address), 1);
    EXPECT_EQ(address >> 24, 127u);
}

}  // namespace
}  // namespace vexlo
