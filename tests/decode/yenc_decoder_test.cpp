// yEnc: the checksum, the line decoder (escapes where lines start and end) and
// the header readers. The writer's handling of yEnc blocks is tested with the
// writer (attachment_writer_test.cpp).
#include "decode/yenc_decoder.h"

#include <gtest/gtest.h>

#include "decode/crc32.h"
#include "support/test_data.h"
#include "support/yenc_encoder.h"

namespace vexlo {
namespace {
using test::RandomBytes;

// The lines decoded one after another, by both decoders; they must agree.
std::string Decode(const std::vector<std::string>& lines) {
    std::string out, portableOut;
    bool escaped = false, portableEscaped = false;
    for (const std::string& line : lines) {
        std::string bytes(line.size() + kYencDecodeSlack, '\0'), portable = bytes;
        bytes.resize(DecodeYencLine(line, reinterpret_cast<unsigned char*>(bytes.data()), escaped));
        portable.resize(DecodeYencLinePortable(
            line, reinterpret_cast<unsigned char*>(portable.data()), portableEscaped));
        out += bytes;
        portableOut += portable;
    }
    EXPECT_EQ(out, portableOut);
    return out;
}

// Known values, short and long enough for every way through the function; the
// test encoder uses the same function, so these are the only outside check.
// (Checksums of pieces laid end to end: the yEnc writer's tests, whose parts
// come out of order.)
TEST(Crc32, KnownValues) {
    std::string bytes;
    for (int i = 0; i < 768; ++i) bytes += static_cast<char>(i);
    const std::pair<std::string, uint32_t> known[] = {
        {"", 0u},
        {"123456789", 0xcbf43926u},
        {"The quick brown fox jumps over the lazy dog", 0x414fa339u},
        {bytes, 0xb0c0df2au}};
    for (const auto& [text, crc] : known) EXPECT_EQ(Crc32(0, text.data(), text.size()), crc);
}

// Bytes whose encoded form must or may be escaped: NUL, LF, CR, "=", tab,
// blank and ".", each as (code - 42).
const std::string kCritical = {'\xd6', '\xe0', '\xe3', '\x13', '\xdf', '\xf6', '\x04'};

TEST(YencLines, EscapesAtLineStartsAndEndsAndAcrossLines) {
    const struct {
        std::vector<std::string> lines;
        std::string bytes;
    } cases[] = {
        {{"=nkl"}, "\x04\x41\x42"},           // an escaped "." opens the line
        {{"kl=`"}, "\x41\x42\xf6"},           // an escaped blank ends it
        {{"=I", "=@"}, "\xdf\xd6"},           // lines of one escape each
        {{"kl=", "}m"}, "\x41\x42\x13\x43"},  // an escape split over two lines
        {{"==", "k"}, std::string("\xd3\x41", 2)},
        {{std::string(15, 'k') + "==" + std::string(20, 'k')},  // "==" across a block's end
         std::string(15, 'A') + "\xd3" + std::string(20, 'A')},
    };
    for (const auto& c : cases) EXPECT_EQ(Decode(c.lines), c.bytes) << c.lines.front();
    // Round trips over every position of an escape in and around a 16-character
    // block, at line lengths that put escapes at every line start and end.
    for (size_t lineLength : {2, 15, 16, 17, 128}) {
        for (size_t size : {1, 16, 17, 33, 1000}) {
            std::string data = RandomBytes(size, static_cast<unsigned>(size));
            for (size_t i = 0; i < size; i += 3) data[i] = kCritical[i % kCritical.size()];
            const auto lines = test::YencodeLines(data, lineLength);
            EXPECT_EQ(Decode(lines), data) << size << " bytes, lines of " << lineLength;
        }
    }
}

TEST(YencLines, HeaderFieldsInAnyOrderAndMalformedLines) {
    YencBegin begin;
    ASSERT_TRUE(
        ParseYbegin("=ybegin size=900 line=128 total=3 part=2 name= my file=1.bin ", begin));
    EXPECT_EQ(std::tie(begin.part, begin.total, begin.size), std::tuple(2, 3, 900));
    EXPECT_EQ(begin.name, " my file=1.bin ");
    for (const char* bad : {"=ybegin line=128 name=x", "=ybegin size=9", "=ybegin size=-1 name=x",
                            "=ybegin part=x size=1 name=x", "=ybeginsize=1 name=x"})
        EXPECT_FALSE(ParseYbegin(bad, begin)) << bad;

    YencPart part;
    ASSERT_TRUE(ParseYpart("=ypart end=200 begin=101", part));
    EXPECT_EQ(std::tie(part.begin, part.end), std::tuple(101, 200));
    for (const char* bad : {"=ypart begin=0 end=5", "=ypart begin=6 end=5", "=ypart begin=1"})
        EXPECT_FALSE(ParseYpart(bad, part)) << bad;

    YencEnd end;
    ASSERT_TRUE(ParseYend("=yend size=100 part=2 pcrc32=00Ab12cD crc32=1", end));
    EXPECT_TRUE(end.hasPcrc32 && end.hasCrc32);
    EXPECT_EQ(std::tie(end.size, end.pcrc32, end.crc32), std::tuple(100, 0x00ab12cdu, 1u));
    ASSERT_TRUE(ParseYend("=yend", end));
    EXPECT_FALSE(end.hasPcrc32 || end.hasCrc32);
    for (const char* bad : {"=yend pcrc32=123456789", "=yend pcrc32=xyz"})
        EXPECT_FALSE(ParseYend(bad, end)) << bad;
    EXPECT_FALSE(IsYendLine("=yendx"));
}

}  // namespace
}  // namespace vexlo
