#include "decode/uu_decoder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
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

TEST(UuDecoder, BeginLines) {
    for (const char* line : {"begin 644 x.zip", "BEGIN 644 x.zip", "BeGiN 600 x"})
        EXPECT_TRUE(IsBeginLine(line)) << line;
    const std::string_view refused[] = {"begin 644 ",
                                        "begin 0644 x.zip",
                                        "begin 64x x.zip",
                                        "begin\t644 x.zip",
                                        "begin 644\tx.zip",
                                        "begun 644 x.zip",
                                        " begin 644 x.zip",
                                        "",
                                        std::string_view("begin\000644 x.zip", 15)};
    for (std::string_view line : refused) EXPECT_FALSE(IsBeginLine(line)) << line;
}

TEST(UuDecoder, BeginFileNamesAreTrimmedAndCleaned) {
    const std::pair<const char*, const char*> cases[] = {
        {"\"my photo.jpg\"", "my photo.jpg"},
        {"   padded.zip  ", "padded.zip"},
        {"../../etc/passwd", ".._.._etc_passwd"},  // cannot lead out of the save-to directory
        {"a\\b<c>d|e*f\"g?h:i", "a_b_c_d_e_f_g?h_i"},
        {"caf\xe9\t.txt\x7f", "caf__.txt\x7f"},  // 127 itself stays
        {"\"only-opening.zip", "only-opening.zip"},
        {"...", "..."},
        {".hidden", ".hidden"},
    };
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
    std::string tabs = "\ta\t";  // tabs are not blanks
    TrimSpaces(tabs);
    EXPECT_EQ(tabs, "\ta\t");
}

TEST(UuDecoder, DecodesKnownLinesAndRefusesShortOrLongOnes) {
    const std::string full(45, '\x5a'), fullLine = test::UuencodeLines(full)[0];
    const std::string line769 = "`" + std::string(768, 'x');
    const struct {
        std::string line;
        std::string bytes;
        int limit = kUuLineLimit;
    } cases[] = {
        {"#86)C", "abc"},
        {"#86)C trailing text is ignored", "abc"},
        {"#x6)C", "abc"},  // outside the alphabet: taken modulo 64
        {"`", ""},         // the grave accent line: count 0
        {" ", ""},
        {"`anything", ""},
        {"!80``", "a"},
        {"\"86(`", "ab"},
        {fullLine, full},
        {std::string(85, '_'), std::string(63, '\xff')},  // the largest count, 63
        {"!80", "FAIL"},  // 1 byte announced, a group of 3 characters
        {"M", "FAIL"},
        {"", "FAIL"},
        {fullLine.substr(0, 60), "FAIL"},
        {fullLine.substr(0, 57), "FAIL"},
        {line769.substr(0, 768), "", 768},
        {line769, "FAIL", 768},
        {"#86)C", "FAIL", 4},
        {"#86)C", "FAIL", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(Decode(c.line, c.limit), c.bytes) << c.line;
}

TEST(UuDecoder, RoundTripsRandomData) {
    std::mt19937 rng(12345);
    for (int trial = 0; trial < 200; ++trial) {
        const size_t size = trial < 64 ? static_cast<size_t>(trial) : rng() % 2000;
        std::string data(size, '\0');
        for (char& c : data) c = static_cast<char>(rng());
        std::string decoded;
        for (std::string line : test::UuencodeLines(data)) {
            if (trial % 2) std::replace(line.begin(), line.end(), '`', ' ');  // blank zeros
            const std::string bytes = Decode(line);
            ASSERT_NE(bytes, "FAIL") << "trial " << trial << " line " << line;
            decoded += bytes;
        }
        ASSERT_EQ(decoded, data) << "trial " << trial;
    }
}

TEST(UuDecoder, UniqueNames) {
    CTempDir dir;
    const std::string sub = dir / "dl.old/";  // a dot in a directory is no extension
    ASSERT_EQ(::mkdir(sub.c_str(), 0755), 0);
    for (const char* taken : {"x.zip", "x-1.zip", "a.tar.gz", "dl.old/README"})
        WriteFileBytes(dir / taken, "");
    for (const auto& [given, unique] : {std::pair{"free.zip", "free.zip"},
                                        {"x.zip", "x-2.zip"},
                                        {"a.tar.gz", "a.tar-1.gz"},
                                        {"dl.old/README", "dl.old/README-1"}}) {
        std::string path = dir / given;
        EXPECT_TRUE(MakeUniqueFileName(path));
        EXPECT_EQ(path, dir / unique);
    }

    // A dot at the path's first character starts no extension.
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    WriteFileBytes(".hidden", "");
    std::string hidden = ".hidden";
    const bool made = MakeUniqueFileName(hidden);
    std::filesystem::current_path(before);
    EXPECT_TRUE(made);
    EXPECT_EQ(hidden, ".hidden-1");

    // 9998 is the last candidate.
    WriteFileBytes(dir / "f.bin", "");
    for (int n = 1; n <= 9997; ++n) WriteFileBytes(dir / ("f-" + std::to_string(n) + ".bin"), "");
    std::string path = dir / "f.bin";
    EXPECT_TRUE(MakeUniqueFileName(path));
    EXPECT_EQ(path, dir / "f-9998.bin");
    WriteFileBytes(path, "");
    path = dir / "f.bin";
    EXPECT_FALSE(MakeUniqueFileName(path));
    EXPECT_EQ(path, dir / "f.bin");
}

}  // namespace
}  // namespace vexlo
