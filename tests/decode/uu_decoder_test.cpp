#include "decode/uu_decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "support/inn_fixture.h"
#include "support/temp_dir.h"

namespace vexlo {
namespace {

using test::CTempDir;
using test::WriteFileBytes;

// Decodes one line; the bytes, or "FAIL".
std::string Decode(std::string_view line, int limit = kUuLineLimit) {
    unsigned char out[kUuDecodeBufferSize];
    int count = -1;
    if (!DecodeUuLine(line, out, limit, count)) return "FAIL";
    return std::string(reinterpret_cast<char*>(out), static_cast<size_t>(count));
}

TEST(UuDecoder, BeginLinesAndTheirFileNames) {
    for (const char* line : {"begin 644 x.zip", "BEGIN 644 x.zip", "BeGiN 600 x"})
        EXPECT_TRUE(IsBeginLine(line)) << line;
    for (std::string_view line : std::initializer_list<std::string_view>{
             "begin 644 ", "begin 0644 x.zip", "begin 64x x.zip", "begin\t644 x.zip",
             "begin 644\tx.zip", "begun 644 x.zip", " begin 644 x.zip", "",
             std::string_view("begin\000644 x.zip", 15)})
        EXPECT_FALSE(IsBeginLine(line)) << line;

    // Quotes and blanks around the name go; characters that could lead out of
    // the save-to directory or that file systems refuse become "_" (127
    // itself stays). Names with blanks, "..\" and other refused characters
    // are downloaded in retrieve_binary_itest.cpp.
    const std::pair<const char*, const char*> cases[] = {
        {"\"my photo.jpg\"", "my photo.jpg"},
        {"../../etc/passwd", ".._.._etc_passwd"},
        {"a\\b<c>d|e*f\"g?h:i", "a_b_c_d_e_f_g?h_i"},
        {"caf\xe9\t.txt\x7f", "caf__.txt\x7f"},
        {"\"only-opening.zip", "only-opening.zip"},
        {"...", "..."},
        {".hidden", ".hidden"},
        {"\tx\t", "_x_"}};  // tabs are not blanks
    for (const auto& [given, cleaned] : cases) {
        std::string name;
        ASSERT_TRUE(ParseBeginFileName(std::string("begin 644 ") + given, name)) << given;
        EXPECT_EQ(name, cleaned);
    }
    std::string name = "kept";
    // "." and ".." name directories, not files: no name, as for an empty one.
    for (const char* line :
         {"begin 644      ", "begin 644 \"  \"", "begin 644 \"\"", "begin 644 \"", "begin 644",
          "begin 644 .", "begin 644 ..", "begin 644 \" .. \"", "begin 644  . "})
        EXPECT_FALSE(ParseBeginFileName(line, name)) << line;
    EXPECT_EQ(name, "kept");
}

TEST(UuDecoder, DecodesKnownLinesAndRefusesShortOrLongOnes) {
    const std::string full(45, '\x5a'), fullLine = test::UuencodeLines(full)[0];
    const std::string line769 = "`" + std::string(768, 'x');
    // Characters outside the alphabet are taken modulo 64; "`" and " " are
    // zeros; 63 is the largest count.
    const struct {
        std::string line;
        std::string bytes;
        int limit = kUuLineLimit;
    } cases[] = {{"#86)C", "abc"},
                 {"#x6)C", "abc"},
                 {"`", ""},
                 {" ", ""},
                 {"`anything", ""},
                 {"!80``", "a"},
                 {"!80  ", "a"},
                 {"\"86(`", "ab"},
                 {fullLine, full},
                 {std::string(85, '_'), std::string(63, '\xff')},
                 {"!80", "FAIL"},  // 1 byte announced, a group of 3 characters
                 {"M", "FAIL"},
                 {"", "FAIL"},
                 {fullLine.substr(0, 60), "FAIL"},
                 {line769.substr(0, 768), "", 768},
                 {line769, "FAIL", 768},
                 {"#86)C", "FAIL", 4},
                 {"#86)C", "FAIL", -1}};
    for (const auto& c : cases) EXPECT_EQ(Decode(c.line, c.limit), c.bytes) << c.line;
}

// The vector path against the portable one: every count, characters from
// the whole byte range, lines with and without text behind the last group.
TEST(UuDecoder, VectorAndPortableDecodersAgree) {
    std::mt19937 random(7);
    for (int n = 0; n < 64; ++n) {
        for (int round = 0; round < 30; ++round) {
            std::string line(1 + 4 * ((n + 2) / 3) + round % 3, ' ');
            line[0] = static_cast<char>(32 + n);
            for (size_t i = 1; i < line.size(); ++i) line[i] = static_cast<char>(random());
            unsigned char vector[kUuDecodeBufferSize], portable[kUuDecodeBufferSize];
            int vectorCount = -1, portableCount = -1;
            ASSERT_TRUE(DecodeUuLine(line, vector, kUuLineLimit, vectorCount));
            ASSERT_TRUE(DecodeUuLinePortable(line, portable, kUuLineLimit, portableCount));
            ASSERT_TRUE(vectorCount == n && portableCount == n)
                << vectorCount << " " << portableCount;
            ASSERT_EQ(std::memcmp(vector, portable, static_cast<size_t>(n)), 0) << n;
        }
    }
}

TEST(UuDecoder, UniqueNames) {
    CTempDir dir;
    WriteFileBytes(dir / "x.zip", "");
    WriteFileBytes(dir / "x-1.zip", "");
    std::string path = dir / "x.zip";
    EXPECT_TRUE(MakeUniqueFileName(path));
    EXPECT_EQ(path, dir / "x-2.zip");

    // Every name is taken but `free`: a dot in a directory or at the path's
    // first character starts no extension; 9998 is the last candidate.
    const struct {
        std::string given, free;
        bool found;
    } cases[] = {{"a.tar.gz", "a.tar-1.gz", true},
                 {"dl.old/README", "dl.old/README-1", true},
                 {".hidden", ".hidden-1", true},
                 {"f.bin", "f-9998.bin", true},
                 {"f.bin", "f-9999.bin", false}};
    for (const auto& c : cases) {
        path = c.given;
        EXPECT_EQ(MakeUniqueFileName(path, [&](const std::string& p) { return p != c.free; }),
                  c.found)
            << c.free;
        EXPECT_EQ(path, c.found ? c.free : c.given);
    }
}

}  // namespace
}  // namespace vexlo
