#include "groups/header_record.h"

#include "group_test_files.h"

namespace vexlo {
namespace {

using namespace test;

TEST(HeaderRecord, WrittenLayoutIsLittleEndianWithoutTerminators) {
    CTempDir dir;
    WriteHeaderFile(dir / "a.XOV", 1, 2, {Hdr{0x01020304, "Subj", "Me", "<x@y>", 7, 300}});
    EXPECT_EQ(ReadFileBytes(dir / "a.XOV").substr(8),
              U32Bytes(1) + U32Bytes(0x01020304) + U32Bytes(7) + U32Bytes(300) + U32Bytes(4) +
                  U32Bytes(2) + U32Bytes(5) + "SubjMe<x@y>");
}

TEST(HeaderRecord, CompareSubjectsFoldsAsciiCaseOnly) {
    EXPECT_EQ(CompareSubjects("ABC", "abc"), 0);
    EXPECT_LT(CompareSubjects("alpha", "Beta"), 0);
    EXPECT_LT(CompareSubjects("abc", "abcd"), 0);  // a proper prefix first
    EXPECT_LT(CompareSubjects("", "a"), 0);
    // Bytes above 127 compare unsigned and are not folded.
    EXPECT_LT(CompareSubjects("z", "\xC3\xA9"), 0);
    EXPECT_GT(CompareSubjects("\xC3\xA9", "\xC3\x89"), 0);
    const std::string x(100, 'x');  // a case difference far in
    EXPECT_LT(CompareSubjects(x + "Part (07/10)", x + "part (08/10)"), 0);
}

TEST(HeaderRecord, WritersCutTextsToTheirBoundsAndReadersAcceptThem) {
    CTempDir dir;
    std::string subject = std::string(3000, 'h') + " tail.rar (07/12)";
    WriteHeaderFile(dir / "a.XOV", 1, 2,
                    {Hdr{5, subject, std::string(1500, 'p'), std::string(600, 'm')}});
    auto items = ReadHeaderFile(dir / "a.XOV");
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
    WriteHeaderFile(dir / "a.XOV", 1, 9, {Hdr{1, "one"}, Hdr{2, "two"}});
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
        EXPECT_EQ(ReadHeaderFile(dir / "bad.XOV").size(), count) << bytes.size();
    }
    // The parser over a file image checks that the whole record lies in it.
    HeaderRecord r;
    uint64_t next = 0;
    ASSERT_TRUE(ParseHeaderRecord(whole, second, r, &next));
    EXPECT_EQ(std::pair(r.subject, next), std::pair(std::string_view("two"), whole.size()));
    EXPECT_FALSE(ParseHeaderRecord(std::string_view(whole).substr(0, whole.size() - 1), second, r));
    for (uint64_t offset : {whole.size(), whole.size() + 100})
        EXPECT_FALSE(ParseHeaderRecord(whole, offset, r)) << offset;
}

}  // namespace
}  // namespace vexlo
