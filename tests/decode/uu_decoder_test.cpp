#include "decode/uu_decoder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace vexlo {
namespace {

using test::CTempDir;
using test::WriteFileBytes;

// Reference encoder: one line of up to 45 bytes, `zero` standing for the value 0.
std::string EncodeLine(const std::string& data, char zero = '`') {
    auto put = [zero](unsigned v) { return v == 0 ? zero : static_cast<char>(v + 32); };
    std::string line(1, put(static_cast<unsigned>(data.size())));
    for (size_t i = 0; i < data.size(); i += 3) {
        auto byte = [&](size_t k) {
            return k < data.size() ? static_cast<unsigned char>(data[k]) : 0u;
        };
        unsigned b0 = byte(i), b1 = byte(i + 1), b2 = byte(i + 2);
        line += put(b0 >> 2);
        line += put(((b0 << 4) | (b1 >> 4)) & 63);
        line += put(((b1 << 2) | (b2 >> 6)) & 63);
        line += put(b2 & 63);
    }
    return line;
}

// Decodes one line; returns the bytes, or "FAIL".
std::string Decode(std::string_view line, int limit = kUuLineLimit) {
    unsigned char out[kUuDecodeBufferSize];
    int count = -1;
    if (!DecodeUuLine(line, out, limit, count)) return "FAIL";
    return std::string(reinterpret_cast<char*>(out), static_cast<size_t>(count));
}

TEST(UuDecoder, BeginLines) {
    EXPECT_TRUE(IsBeginLine("begin 644 x.zip"));
    EXPECT_TRUE(IsBeginLine("BEGIN 644 x.zip"));
    EXPECT_TRUE(IsBeginLine("BeGiN 600 x"));  // shortest: 11 characters
    EXPECT_FALSE(IsBeginLine("begin 644 "));  // no name
    EXPECT_FALSE(IsBeginLine("begin 0644 x.zip"));
    EXPECT_FALSE(IsBeginLine("begin 64x x.zip"));
    EXPECT_FALSE(IsBeginLine("begin\t644 x.zip"));
    EXPECT_FALSE(IsBeginLine("begin 644\tx.zip"));
    EXPECT_FALSE(IsBeginLine(std::string_view("begin\0644 x.zip", 15)));
    EXPECT_FALSE(IsBeginLine("begun 644 x.zip"));
    EXPECT_FALSE(IsBeginLine(" begin 644 x.zip"));
    EXPECT_FALSE(IsBeginLine(""));
}

TEST(UuDecoder, BeginFileNames) {
    std::string name;
    ASSERT_TRUE(ParseBeginFileName("begin 644 \"my photo.jpg\"", name));
    EXPECT_EQ(name, "my photo.jpg");
    ASSERT_TRUE(ParseBeginFileName("begin 644    padded.zip  ", name));
    EXPECT_EQ(name, "padded.zip");
    ASSERT_TRUE(ParseBeginFileName("begin 644 a/b:c.zip", name));
    EXPECT_EQ(name, "a_b_c.zip");
    ASSERT_TRUE(ParseBeginFileName("begin 644 ../../etc/passwd", name));
    EXPECT_EQ(name, ".._.._etc_passwd");  // cannot lead out of the save-to directory
    ASSERT_TRUE(ParseBeginFileName("begin 644 a\\b<c>d|e*f\"g?h", name));
    EXPECT_EQ(name, "a_b_c_d_e_f_g?h");  // the question mark stays
    ASSERT_TRUE(ParseBeginFileName("begin 644 caf\xe9\t.txt", name));
    EXPECT_EQ(name, "caf__.txt");
    ASSERT_TRUE(ParseBeginFileName("begin 644 \"only-opening.zip", name));
    EXPECT_EQ(name, "only-opening.zip");

    name = "kept";
    EXPECT_FALSE(ParseBeginFileName("begin 644      ", name));  // only blanks
    EXPECT_FALSE(ParseBeginFileName("begin 644 \"  \"", name));
    EXPECT_FALSE(ParseBeginFileName("begin 644 \"\"", name));
    EXPECT_FALSE(ParseBeginFileName("begin 644 \"", name));
    EXPECT_FALSE(ParseBeginFileName("begin 644", name));
    EXPECT_EQ(name, "kept");
}

TEST(UuDecoder, TrimAndClean) {
    std::string text = "  a b  ";
    TrimSpaces(text);
    EXPECT_EQ(text, "a b");
    text = "\ta\t";  // tabs are not blanks
    TrimSpaces(text);
    EXPECT_EQ(text, "\ta\t");
    text = "   ";
    TrimSpaces(text);
    EXPECT_EQ(text, "");

    text = std::string("x\x01\x7f\x80\xff", 5);
    CleanFileName(text);
    EXPECT_EQ(text, "x_\x7f__");  // 127 itself is kept
}

TEST(UuDecoder, DecodesKnownLines) {
    EXPECT_EQ(Decode("#86)C"), "abc");
    EXPECT_EQ(Decode("#86)C trailing text is ignored"), "abc");
    EXPECT_EQ(Decode("`"), "");  // count 0, nothing decoded
    EXPECT_EQ(Decode(" "), "");  // the blank is 0 as well
    EXPECT_EQ(Decode("`anything"), "");
    EXPECT_EQ(Decode("!80"), "FAIL");  // 1 byte announced, group of 3 characters
    EXPECT_EQ(Decode("!80``"), "a");
    EXPECT_EQ(Decode("\"86(`"), "ab");
    EXPECT_EQ(Decode("M"), "FAIL");  // 45 bytes announced, no groups
    EXPECT_EQ(Decode(""), "FAIL");
    // Characters outside the alphabet are taken modulo 64, not refused.
    EXPECT_EQ(Decode("#x6)C"), Decode("#86)C"));
}

TEST(UuDecoder, LineLengthLimit) {
    std::string line = "`" + std::string(767, 'x');
    EXPECT_EQ(Decode(line, 768), "");
    line += 'x';  // 769 characters
    EXPECT_EQ(Decode(line, 768), "FAIL");
    EXPECT_EQ(Decode("#86)C", 4), "FAIL");
    EXPECT_EQ(Decode("#86)C", -1), "FAIL");
}

TEST(UuDecoder, CutShortLineFails) {
    std::string data(45, '\x5a');
    std::string line = EncodeLine(data);
    ASSERT_EQ(line.size(), 61u);
    EXPECT_EQ(Decode(line), data);
    EXPECT_EQ(Decode(line.substr(0, 60)), "FAIL");
    EXPECT_EQ(Decode(line.substr(0, 57)), "FAIL");
    EXPECT_EQ(Decode(line.substr(0, 30)), "FAIL");
}

TEST(UuDecoder, MaximumCount) {
    std::string data(63, '\xff');
    std::string line = EncodeLine(data);
    ASSERT_EQ(line[0], '_');
    EXPECT_EQ(Decode(line), data);
}

TEST(UuDecoder, RoundTripsRandomData) {
    std::mt19937 rng(12345);
    for (int trial = 0; trial < 200; ++trial) {
        size_t size = rng() % 2000;
        if (trial < 64) size = static_cast<size_t>(trial);  // every short length
        std::string data(size, '\0');
        for (char& c : data) c = static_cast<char>(rng());
        char zero = trial % 2 ? ' ' : '`';

        std::string decoded;
        for (size_t at = 0; at < data.size(); at += 45) {
            std::string line = EncodeLine(data.substr(at, 45), zero);
            std::string bytes = Decode(line);
            ASSERT_NE(bytes, "FAIL") << "trial " << trial << " line " << line;
            decoded += bytes;
        }
        EXPECT_EQ(Decode(std::string(1, zero)), "");  // the closing empty line
        ASSERT_EQ(decoded, data) << "trial " << trial;
    }
}

TEST(UuDecoder, UniqueNames) {
    CTempDir dir;
    std::string path = dir / "x.zip";
    EXPECT_TRUE(MakeUniqueFileName(path));  // free: unchanged
    EXPECT_EQ(path, dir / "x.zip");

    WriteFileBytes(dir / "x.zip", "");
    WriteFileBytes(dir / "x-1.zip", "");
    EXPECT_TRUE(MakeUniqueFileName(path));
    EXPECT_EQ(path, dir / "x-2.zip");

    path = dir / "a.tar.gz";
    WriteFileBytes(path, "");
    EXPECT_TRUE(MakeUniqueFileName(path));
    EXPECT_EQ(path, dir / "a.tar-1.gz");

    path = dir / "README";
    WriteFileBytes(path, "");
    EXPECT_TRUE(MakeUniqueFileName(path));
    EXPECT_EQ(path, dir / "README-1");

    // A dot in a directory name is not an extension.
    std::string sub = dir / "dl.old";
    ASSERT_EQ(::mkdir(sub.c_str(), 0755), 0);
    path = sub + "/README";
    WriteFileBytes(path, "");
    EXPECT_TRUE(MakeUniqueFileName(path));
    EXPECT_EQ(path, sub + "/README-1");
}

TEST(UuDecoder, UniqueNameLeadingDot) {
    CTempDir dir;
    // A dot at the path's very first character doesn't start an extension.
    std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    WriteFileBytes(".hidden", "");
    std::string path = ".hidden";
    bool made = MakeUniqueFileName(path);
    std::filesystem::current_path(before);
    EXPECT_TRUE(made);
    EXPECT_EQ(path, ".hidden-1");
}

TEST(UuDecoder, UniqueNameGivesUpAfter9998) {
    CTempDir dir;
    WriteFileBytes(dir / "f.bin", "");
    for (int n = 1; n <= 9997; ++n) WriteFileBytes(dir / ("f-" + std::to_string(n) + ".bin"), "");
    std::string path = dir / "f.bin";
    EXPECT_TRUE(MakeUniqueFileName(path));
    EXPECT_EQ(path, dir / "f-9998.bin");  // the last candidate

    WriteFileBytes(dir / "f-9998.bin", "");
    path = dir / "f.bin";
    EXPECT_FALSE(MakeUniqueFileName(path));
    EXPECT_EQ(path, dir / "f.bin");
}

}  // namespace
}  // namespace vexlo
