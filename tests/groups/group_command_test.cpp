// The GROUP step: reading the range out of a 211 reply. The replies a real
// server does not send are the scan's peer tests' job; the 211 and 411 of a
// real server are covered by the scan itests.
#include "groups/group_command.h"

#include <gtest/gtest.h>

namespace vexlo {
namespace {

TEST(ParseGroupReply, TakesTheThirdAndFourthWords) {
    const struct {
        const char* reply;
        bool ok;
        int32_t first, last;
    } rows[] = {
        {"211 1234 3000 4233 alt.binaries.test", true, 3000, 4233},
        {"211 0 1 0 misc.test", true, 1, 0},
        {"211 5 3000 -5 g", true, 3000, 3000},  // negative numbers fall back
        {"211 5 -3000 4233 g", true, 0, 0},
        {"211 5 x y g", true, 0, 0},  // lenient: no digits read as 0
        // The group name must follow the numbers.
        {"211 1234 3000 4233", false, 7, 7},
        {"211", false, 7, 7},
    };
    for (const auto& r : rows) {
        int32_t first = 7, last = 7;
        EXPECT_EQ(ParseGroupReply(r.reply, first, last), r.ok) << r.reply;
        EXPECT_EQ(first, r.first) << r.reply;
        EXPECT_EQ(last, r.last) << r.reply;
    }
}

}  // namespace
}  // namespace vexlo
