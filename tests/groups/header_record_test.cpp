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
    CFile file;
    ASSERT_TRUE(file.Open(dir / "a.XOV", CFile::Mode::CreateTruncate));
    {
        CRecordWriter out(file);
        ASSERT_TRUE(AppendHeaderRecord(out, 0x01020304, 7, 300, "Subj", "Me", "<x@y>"));
        ASSERT_TRUE(out.Flush());
    }
    std::string expected = U32Bytes(1) + U32Bytes(0x01020304) + U32Bytes(7) + U32Bytes(300) +
                           U32Bytes(4) + U32Bytes(2) + U32Bytes(5) + "SubjMe<x@y>";
    EXPECT_EQ(ReadFileBytes(dir / "a.XOV"), expected);
}

TEST(HeaderRecord, CompareSubjectsFoldsAsciiCaseOnly) {
    EXPECT_EQ(CompareSubjects("ABC", "abc"), 0);
    EXPECT_LT(CompareSubjects("alpha", "Beta"), 0);
    EXPECT_GT(CompareSubjects("Gamma", "epsilon"), 0);
    EXPECT_LT(CompareSubjects("abc", "abcd"), 0);  // a proper prefix first
    EXPECT_LT(CompareSubjects("", "a"), 0);
    // Bytes above 127 compare unsigned and are not folded.
    EXPECT_LT(CompareSubjects("z", "\xC3\xA9"), 0);
    EXPECT_NE(CompareSubjects("\xC3\x89", "\xC3\xA9"), 0);
    // Long equal prefixes with a case difference far in.
    std::string a(100, 'x'), b(100, 'x');
    a += "Part (07/10)";
    b += "part (08/10)";
    EXPECT_LT(CompareSubjects(a, b), 0);
    EXPECT_GT(CompareSubjects(b, a), 0);
}

TEST(HeaderRecord, WritersCutTextsToTheirBoundsAndReadersAcceptThem) {
    std::string subject = std::string(3000, 'h') + " tail.rar (07/12)";
    std::string poster(1500, 'p');
    std::string messageId(600, 'm');
    CTempDir dir;
    test::WriteHeaderFile(dir / "a.XOV", 1, 2, {Hdr{5, subject, poster, messageId}});

    auto items = test::ReadHeaderFile(dir / "a.XOV");
    ASSERT_EQ(items.size(), 1u);
    const std::string& s = items[0].GetSubject();
    EXPECT_EQ(s.size(), kMaxSubjectLength);
    // The head and the tail survive around "...", so the part counter is kept.
    EXPECT_EQ(s.substr(0, 10), std::string(10, 'h'));
    EXPECT_NE(s.find("..."), std::string::npos);
    EXPECT_EQ(s.substr(s.size() - 17), " tail.rar (07/12)");
    EXPECT_EQ(items[0].GetPoster(), std::string(kMaxPosterLength, 'p'));
    EXPECT_EQ(items[0].GetMessageId(), std::string(kMaxMessageIdLength, 'm'));
    EXPECT_EQ(items[0].GetArticle(), 5u);
    EXPECT_EQ(items[0].GetFlags(), kHeaderFlagNew);
}

TEST(HeaderRecord, ReaderStopsAtCutOrOverlongRecords) {
    CTempDir dir;
    test::WriteHeaderFile(dir / "a.XOV", 1, 9, {Hdr{1, "one"}, Hdr{2, "two"}});
    std::string whole = ReadFileBytes(dir / "a.XOV");

    // Cut inside the second record's texts: only the first is read.
    WriteFileBytes(dir / "cut.XOV", whole.substr(0, whole.size() - 3));
    EXPECT_EQ(test::ReadHeaderFile(dir / "cut.XOV").size(), 1u);

    // A second record claiming a 4 GB subject: the reader stops, nothing is allocated.
    std::string bad = whole;
    size_t second = 8 + kHeaderFixedSize + 3 + 22 + 16;
    std::string huge = U32Bytes(0xFFFFFFFF);
    bad.replace(second + 16, 4, huge);
    WriteFileBytes(dir / "bad.XOV", bad);
    auto items = test::ReadHeaderFile(dir / "bad.XOV");
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].GetSubject(), "one");

    // One byte over the subject bound is refused as well.
    std::string over = U32Bytes(1) + U32Bytes(3) + U32Bytes(0) + U32Bytes(0) +
                       U32Bytes(kMaxSubjectLength + 1) + U32Bytes(0) + U32Bytes(0) +
                       std::string(kMaxSubjectLength + 1, 's');
    WriteFileBytes(dir / "over.XOV", U32Bytes(1) + U32Bytes(9) + over);
    EXPECT_TRUE(test::ReadHeaderFile(dir / "over.XOV").empty());

    CMessageItem item;
    CFile file;
    ASSERT_TRUE(file.Open(dir / "over.XOV", CFile::Mode::Read));
    CRecordReader in(file);
    ASSERT_TRUE(in.Skip(8));
    EXPECT_FALSE(item.Read(in));
    EXPECT_TRUE(item.IsEmpty());
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
