#include "nntp/address.h"

#include <gtest/gtest.h>

namespace vexlo {
namespace {

TEST(Address, ParsesAndFormatsDottedTextAndLooksUpNames) {
    // Behind the 4th number anything goes, missing numbers read as 0, and
    // there is no range check (300 spills into the 3rd octet).
    const std::pair<const char*, uint32_t> good[] = {{"192.168.10.254", 0xC0A80AFEu},
                                                     {"1.2.3.4abc", 0x01020304u},
                                                     {".2.3.", 0x00020300u},
                                                     {"1.2.3.300", 0x0102032Cu}};
    for (const auto& [text, value] : good) {
        uint32_t address = 0;
        EXPECT_EQ(ParseDottedAddress(text, &address), 1) << text;
        EXPECT_EQ(address, value) << text;
    }
    for (const char* bad :
         {"10.0.1", "10.0.0.1.5", "news.server.example.com", "10.0x.0.1", " 10.0.0.1", ""}) {
        uint32_t address = 0xDEADBEEF;
        EXPECT_EQ(ParseDottedAddress(bad, &address), 0) << bad;
        EXPECT_EQ(address, 0xDEADBEEF) << bad;
    }
    EXPECT_EQ(FormatDottedAddress(0xC0A80AFEu), "192.168.10.254");
    EXPECT_EQ(FormatDottedAddress(0xFFFFFFFFu), "255.255.255.255");
    uint32_t address = 0;  // names are looked up
    ASSERT_EQ(LookupHostAddress("127.0.0.1", &address), 1);
    EXPECT_EQ(address, 0x7F000001u);
    ASSERT_EQ(LookupHostAddress("localhost", &address), 1);
    EXPECT_EQ(address >> 24, 127u);
}

}  // namespace
}  // namespace vexlo
