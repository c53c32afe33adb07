#include "groups/header_record.h"

#include <gtest/gtest.h>

#include "group_test_files.h"
#include "support/temp_dir.h"

namespace vexlo {
namespace {

using test::CTempDir;
using test::Hdr;
using test::ReadFileBytes;
using test::U32Bytes;
using test::WriteFileBytes;

TEST(HeaderRecord, WrittenLayoutIsLittleEndianWithoutTerminators) {
    CTempDir dir;
    test::WriteHeaderFile(dir / "a.XOV", 1, 2, {Hdr{0x01020304, "Subj", "Me", "<x@y>", 7, 300}});
    EXPECT_EQ(ReadFileBytes(dir / "a.XOV").substr(8),
              U32Bytes(1) + U32Bytes(0x01020304) + U32Bytes(7) + U32Bytes(300) + U32Bytes(4) +
                  U32Bytes(2) + U32Bytes(5) + "SubjMe<x@y>");
}

TEST(HeaderRecord, CompareSubjectsFoldsAsciiCaseOnly) {
    const std::string x(100, 'x');
    const struct {
        std::string a, b;
        int sign;
    } rows[] = {
        {"ABC", "abc", 0},
        {"alpha", "Beta", -1},
        {"Gamma", "epsilon", 1},
        {"abc", "abcd", -1},  // a proper prefix first
        {"", "a", -1},
        {"z", "\xC3\xA9", -1},  // bytes above 127 compare unsigned, unfolded
        {"\xC3\xA9", "\xC3\x89", 1},
        {x + "Part (07/10)", x + "part (08/10)", -1},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.a + " | " + r.b);
        int c = CompareSubjects(r.a, r.b), back = CompareSubjects(r.b, r.a);
        EXPECT_EQ((c > 0) - (c < 0), r.sign);
        EXPECT_EQ((back > 0) - (back < 0), -r.sign);
    }
}

TEST(HeaderRecord, WritersCutTextsToTheirBoundsAndReadersAcceptThem) {
    CTempDir dir;
    std::string subject = std::string(3000, 'h') + " tail.rar (07/12)";
    test::WriteHeaderFile(dir / "a.XOV", 1, 2,
                          {Hdr{5, subject, std::string(1500, 'p'), std::string(600, 'm')}});
    auto items = test::ReadHeaderFile(dir / "a.XOV");
    ASSERT_EQ(items.size(), 1u);
    // The head and the tail survive around "...", so the part counter is kept.
    const std::string& s = items[0].GetSubject();
    EXPECT_EQ(s.size(), kMaxSubjectLength);
    EXPECT_EQ(s.substr(0, 10), std::string(10, 'h'));
    EXPECT_NE(s.find("..."), std::string::npos);
    EXPECT_EQ(s.substr(s.size() - 17), " tail.rar (07/12)");
    EXPECT_EQ(items[0].GetPoster(), std::string(kMaxPosterLength, 'p'));
    EXPECT_EQ(items[0].GetMessageId(), std::string(kMaxMessageIdLength, 'm'));
    EXPECT_EQ(items[0].GetFlags(), kHeaderFlagNew);
}

TEST(HeaderRecord, ReaderStopsAtCutOrOverlongRecords) {
    CTempDir dir;
    test::WriteHeaderFile(dir / "a.XOV", 1, 9, {Hdr{1, "one"}, Hdr{2, "two"}});
    const std::string whole = ReadFileBytes(dir / "a.XOV");
    const size_t second = 8 + kHeaderFixedSize + 3 + 22 + 16;
    std::string huge = whole;  // the second record claims a 4 GB subject
    huge.replace(second + 16, 4, U32Bytes(0xFFFFFFFF));
    // One byte over the subject bound is refused as well.
    std::string over = U32Bytes(1) + U32Bytes(3) + U32Bytes(0) + U32Bytes(0) +
                       U32Bytes(kMaxSubjectLength + 1) + U32Bytes(0) + U32Bytes(0) +
                       std::string(kMaxSubjectLength + 1, 's');
    for (const auto& [bytes, count] : {std::pair{whole.substr(0, whole.size() - 3), 1u},
                                       {huge, 1u},
                                       {whole.substr(0, 8) + over, 0u}}) {
        WriteFileBytes(dir / "bad.XOV", bytes);
        EXPECT_EQ(test::ReadHeaderFile(dir / "bad.XOV").size(), count) << bytes.size();
    }
}

TEST(HeaderRecord, ParseChecksTheWholeRecordLiesInTheImage) {
    CTempDir dir;
    test::WriteHeaderFile(dir / "a.XOV", 1, 9, {Hdr{1, "subject", "poster", "<id>"}});
    std::string bytes = ReadFileBytes(dir / "a.XOV");
    HeaderRecord r;
    uint64_t next = 0;
    ASSERT_TRUE(ParseHeaderRecord(bytes, 8, r, &next));
    EXPECT_EQ(next, bytes.size());
    EXPECT_EQ(r.subject, "subject");
    EXPECT_EQ(r.poster, "poster");
    EXPECT_EQ(r.messageId, "<id>");
    EXPECT_FALSE(ParseHeaderRecord(std::string_view(bytes).substr(0, bytes.size() - 1), 8, r));
    EXPECT_FALSE(ParseHeaderRecord(bytes, bytes.size(), r));
    EXPECT_FALSE(ParseHeaderRecord(bytes, bytes.size() + 100, r));
}

}  // namespace
}  // namespace vexlo
