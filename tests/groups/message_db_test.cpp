#include "groups/message_db.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "group_test_files.h"
#include "groups/header_record.h"
#include "support/temp_dir.h"

namespace vexlo {
namespace {

using test::Articles;
using test::CTempDir;
using test::Hdr;
using test::ReadFileBytes;
using test::Subjects;
using test::WriteFileBytes;
using Strings = std::vector<std::string>;

std::vector<Hdr> FromSubjects(const Strings& subjects, uint32_t firstArticle = 1) {
    std::vector<Hdr> h;
    for (const auto& s : subjects) h.push_back(Hdr{firstArticle++, s});
    return h;
}

// The subjects in the order of an index.
Strings IndexSubjects(const std::string& path, const HeaderIndex& index) {
    std::string bytes = ReadFileBytes(path);
    Strings s;
    HeaderRecord r;
    for (uint32_t off : index.offsets) {
        EXPECT_TRUE(ParseHeaderRecord(bytes, off, r));
        s.emplace_back(r.subject);
    }
    return s;
}

// The subject quicksort exactly as the message database describes it,
// without any guard, over in-memory keys.
void ReferenceSort(const Strings& key, std::vector<size_t>& idx, ptrdiff_t lo, ptrdiff_t hi) {
    auto cmp = [&](ptrdiff_t a, const std::string& b) { return CompareSubjects(key[idx[a]], b); };
    while (hi > lo) {
        const std::string pivot = key[idx[hi]];
        ptrdiff_t i = lo, j = hi;
        for (;;) {
            while (cmp(i, pivot) < 0) ++i;
            if (j > 0) {
                do {
                    --j;
                } while (cmp(j, pivot) > 0 && j > 0);
            }
            if (i < j) {
                std::swap(idx[i], idx[j]);
                continue;
            }
            break;
        }
        std::swap(idx[i], idx[hi]);
        ReferenceSort(key, idx, lo, i - 1);
        lo = i + 1;
    }
}

class MessageDbTest : public ::testing::Test {
  protected:
    std::string Path(const std::string& ext) { return dir.Path() + "g." + ext; }

    HeaderIndex IndexAndSort(const std::string& path) {
        CHeaderFile file(path);
        HeaderIndex index;
        EXPECT_TRUE(IndexHeaderRecords(file, index));
        EXPECT_TRUE(SortHeaderRecords(file, index));
        return index;
    }

    // Old .MSG and new .XOV, the scan merge, and the merged subjects.
    ScanStepResult Merge(const std::vector<Hdr>& old, const std::vector<Hdr>& fresh, uint32_t first,
                         uint32_t last) {
        test::WriteHeaderFile(Path("MSG"), 1, 100, old);
        test::WriteHeaderFile(Path("XOV"), 90, last, fresh);
        std::vector<uint32_t> numbers;
        for (const Hdr& h : old) numbers.push_back(h.article);
        std::sort(numbers.begin(), numbers.end());
        CHeaderFile headers(Path("XOV"));
        index = IndexAndSort(Path("XOV"));
        return RunScanMerge(GroupFilePaths::Make(dir.Path(), "g"), headers, index, numbers, first,
                            last);
    }

    CTempDir dir;
    HeaderIndex index;
};

TEST_F(MessageDbTest, IndexListsWholeRecordsOnly) {
    test::WriteHeaderFile(Path("XOV"), 1, 9, FromSubjects({"a", "bb", "ccc"}));
    std::string whole = ReadFileBytes(Path("XOV"));
    CHeaderFile file(Path("XOV"));
    HeaderIndex idx;
    ASSERT_TRUE(IndexHeaderRecords(file, idx));
    EXPECT_EQ(idx.offsets, (std::vector<uint32_t>{8, 8 + 67, 8 + 67 + 68}));
    EXPECT_EQ(idx.subjectLengths, (std::vector<uint32_t>{1, 2, 3}));

    // Ends inside a fixed part.
    WriteFileBytes(Path("XOV"), whole + std::string(20, '\0'));
    idx.Clear();
    ASSERT_TRUE(IndexHeaderRecords(file, idx));
    EXPECT_EQ(idx.Size(), 3u);
    // Ends inside the texts of the third record.
    WriteFileBytes(Path("XOV"), whole.substr(0, whole.size() - 1));
    idx.Clear();
    ASSERT_TRUE(IndexHeaderRecords(file, idx));
    EXPECT_EQ(idx.Size(), 2u);
    // Garbage in place of the second record.
    std::string garbled = whole;
    std::fill(garbled.begin() + 8 + 67, garbled.begin() + 8 + 67 + 28, '\xEE');
    WriteFileBytes(Path("XOV"), garbled);
    idx.Clear();
    ASSERT_TRUE(IndexHeaderRecords(file, idx));
    EXPECT_EQ(idx.Size(), 1u);
    // Only a header: empty but fine; not even that: failure.
    WriteFileBytes(Path("XOV"), whole.substr(0, 8));
    idx.Clear();
    ASSERT_TRUE(IndexHeaderRecords(file, idx));
    EXPECT_EQ(idx.Size(), 0u);
    WriteFileBytes(Path("XOV"), whole.substr(0, 7));
    EXPECT_FALSE(IndexHeaderRecords(file, idx));
    CHeaderFile missing(Path("NONE"));
    EXPECT_FALSE(IndexHeaderRecords(missing, idx));
}

TEST_F(MessageDbTest, SortOrdersCaseInsensitively) {
    test::WriteHeaderFile(Path("XOV"), 1, 9,
                          FromSubjects({"Gamma", "alpha", "epsilon", "Beta", "delta"}));
    HeaderIndex idx = IndexAndSort(Path("XOV"));
    EXPECT_EQ(IndexSubjects(Path("XOV"), idx),
              (Strings{"alpha", "Beta", "delta", "epsilon", "Gamma"}));
    EXPECT_EQ(idx.subjectLengths, (std::vector<uint32_t>{5, 4, 5, 7, 5}));
}

TEST_F(MessageDbTest, EqualSubjectsEndInTheQuicksortsOrder) {
    // Reposts and case variants: every subject two to four times, in random order.
    std::mt19937 rng(42);
    Strings subjects;
    for (int post = 0; post < 1000; ++post) {
        std::string s = "post " + std::to_string(post % 500) + ".rar (1/2)";
        if (post >= 500) s[0] = 'P';
        for (unsigned copies = 2 + rng() % 3; copies > 0; --copies) subjects.push_back(s);
    }
    std::shuffle(subjects.begin(), subjects.end(), rng);
    test::WriteHeaderFile(Path("XOV"), 1, 9, FromSubjects(subjects));

    HeaderIndex idx = IndexAndSort(Path("XOV"));
    std::vector<size_t> ref(subjects.size());
    std::iota(ref.begin(), ref.end(), 0);
    ReferenceSort(subjects, ref, 0, static_cast<ptrdiff_t>(ref.size()) - 1);

    // Records are told apart by their article numbers (1-based file order).
    auto items = test::ReadHeaderFile(Path("XOV"));
    std::vector<uint32_t> got;
    std::string bytes = ReadFileBytes(Path("XOV"));
    for (uint32_t off : idx.offsets) {
        HeaderRecord r;
        ASSERT_TRUE(ParseHeaderRecord(bytes, off, r));
        got.push_back(r.article);
    }
    std::vector<uint32_t> want;
    for (size_t k : ref) want.push_back(static_cast<uint32_t>(k + 1));
    EXPECT_EQ(got, want);
}

TEST_F(MessageDbTest, SortedAndAllEqualInputSortCorrectly) {
    // Already in order (a poster flooding the group in subject order): the
    // plain quicksort would recurse once per record.
    const int n = 200000;
    Strings sorted;
    char buf[32];
    for (int k = 0; k < n; ++k) {
        std::snprintf(buf, sizeof buf, "flood.part%06d.rar (1/1)", k);
        sorted.push_back(buf);
    }
    test::WriteHeaderFile(Path("XOV"), 1, 9, FromSubjects(sorted));
    HeaderIndex idx = IndexAndSort(Path("XOV"));
    ASSERT_EQ(idx.Size(), static_cast<size_t>(n));
    EXPECT_EQ(IndexSubjects(Path("XOV"), idx), sorted);

    // Reversed.
    Strings reversed(sorted.rbegin(), sorted.rend());
    test::WriteHeaderFile(Path("XOV"), 1, 9, FromSubjects(reversed));
    idx = IndexAndSort(Path("XOV"));
    EXPECT_EQ(IndexSubjects(Path("XOV"), idx), sorted);

    // All equal: every record is kept, each exactly once.
    Strings same(50000, "same subject (1/1)");
    test::WriteHeaderFile(Path("XOV"), 1, 9, FromSubjects(same));
    idx = IndexAndSort(Path("XOV"));
    std::vector<uint32_t> offsets = idx.offsets;
    std::sort(offsets.begin(), offsets.end());
    EXPECT_EQ(std::adjacent_find(offsets.begin(), offsets.end()), offsets.end());
    EXPECT_EQ(offsets.size(), same.size());
}

TEST_F(MessageDbTest, MergeInterleavesOldAndNewBySubject) {
    auto r = Merge({Hdr{10, "Beta"}, Hdr{11, "Delta"}},
                   {Hdr{101, "alpha"}, Hdr{102, "Gamma"}, Hdr{103, "epsilon"}}, 1, 200);
    ASSERT_TRUE(r.ok) << r.statusText;
    uint32_t first = 0, last = 0;
    auto merged = test::ReadHeaderFile(Path("XOV"), &first, &last);
    EXPECT_EQ(Subjects(merged), (Strings{"alpha", "Beta", "Delta", "epsilon", "Gamma"}));
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(last, 200u);
    // .XOT and the old .MSG are gone; the index lists the merged file.
    EXPECT_LT(FileSize(Path("XOT")), 0);
    EXPECT_LT(FileSize(Path("MSG")), 0);
    EXPECT_EQ(IndexSubjects(Path("XOV"), index), Subjects(merged));
}

TEST_F(MessageDbTest, MergeRulesForCaseRangeAndKnownArticles) {
    auto r = Merge(
        {
            Hdr{5, "aaa expired"},  // below first while new headers remain: dropped
            Hdr{21, "known"},       // a new header with this article is not written again
            Hdr{20, "same"},        // equal to a new subject but for case: new first
            Hdr{6, "zzz expired"},  // after the last new one: copied without the test
            Hdr{22, "zzzz kept"},
        },
        {Hdr{101, "SAME"}, Hdr{21, "known again"}, Hdr{102, "yyy last new"}}, 10, 200);
    ASSERT_TRUE(r.ok) << r.statusText;
    auto merged = test::ReadHeaderFile(Path("XOV"));
    EXPECT_EQ(Subjects(merged),
              (Strings{"known", "SAME", "same", "yyy last new", "zzz expired", "zzzz kept"}));
    EXPECT_EQ(Articles(merged), (std::vector<uint32_t>{21, 101, 20, 102, 6, 22}));

    // The .MSG writer drops the expired record later.
    CHeaderFile headers(Path("XOV"));
    uint32_t count = 0;
    ASSERT_TRUE(
        WriteMessageFile(headers, index.offsets, CArticleSet({101}), 10, 200, Path("MSG"), count));
    EXPECT_EQ(count, 4u);
    uint32_t first = 0, last = 0;
    auto msg = test::ReadHeaderFile(Path("MSG"), &first, &last);
    EXPECT_EQ(Articles(msg), (std::vector<uint32_t>{21, 20, 102, 22}));
    EXPECT_EQ(first, 10u);
    EXPECT_EQ(last, 200u);
}

TEST_F(MessageDbTest, MergeWithoutNewHeadersKeepsTheOldOnes) {
    auto r = Merge({Hdr{10, "a"}, Hdr{11, "b"}}, {}, 11, 200);
    ASSERT_TRUE(r.ok) << r.statusText;
    // With no new header to merge, old records are copied without the range test.
    EXPECT_EQ(Articles(test::ReadHeaderFile(Path("XOV"))), (std::vector<uint32_t>{10, 11}));
}

TEST_F(MessageDbTest, MergeStopsTheOldStreamAtADamagedRecord) {
    test::WriteHeaderFile(Path("MSG"), 1, 100, {Hdr{10, "a"}, Hdr{11, "b"}, Hdr{12, "c"}});
    std::string msg = ReadFileBytes(Path("MSG"));
    msg.replace(8 + 67 + 16, 4, test::U32Bytes(1u << 30));  // second record damaged
    WriteFileBytes(Path("MSG"), msg);
    test::WriteHeaderFile(Path("XOV"), 90, 200, {Hdr{101, "bb"}});
    CHeaderFile headers(Path("XOV"));
    index = IndexAndSort(Path("XOV"));
    auto r = RunScanMerge(GroupFilePaths::Make(dir.Path(), "g"), headers, index, {10}, 1, 200);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(Subjects(test::ReadHeaderFile(Path("XOV"))), (Strings{"a", "bb"}));
}

TEST_F(MessageDbTest, MergeFailureRemovesXotAndXovAndKeepsThePair) {
    // No old .MSG to merge with.
    test::WriteHeaderFile(Path("XOV"), 90, 200, {Hdr{101, "x"}});
    WriteFileBytes(Path("BIN"), test::U32Bytes(1) + test::U32Bytes(100));
    CHeaderFile headers(Path("XOV"));
    index = IndexAndSort(Path("XOV"));
    auto r = RunScanMerge(GroupFilePaths::Make(dir.Path(), "g"), headers, index, {}, 1, 200);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.statusText, "Error Merging XOT With MSG");
    EXPECT_LT(FileSize(Path("XOV")), 0);
    EXPECT_LT(FileSize(Path("XOT")), 0);
    EXPECT_GE(FileSize(Path("BIN")), 0);

    // An old .MSG without a whole header.
    WriteFileBytes(Path("MSG"), "abc");
    test::WriteHeaderFile(Path("XOV"), 90, 200, {Hdr{101, "x"}});
    CHeaderFile again(Path("XOV"));
    index = IndexAndSort(Path("XOV"));
    r = RunScanMerge(GroupFilePaths::Make(dir.Path(), "g"), again, index, {}, 1, 200);
    EXPECT_EQ(r.statusText, "Error Merging XOT With MSG");
    EXPECT_EQ(ReadFileBytes(Path("MSG")), "abc");
    EXPECT_LT(FileSize(Path("XOV")), 0);
    EXPECT_LT(FileSize(Path("XOV.tmp")), 0);
}

TEST_F(MessageDbTest, MergeWriteFailureLeavesNoXov) {
    test::WriteHeaderFile(Path("MSG"), 1, 100, FromSubjects({"a", "b"}, 10));
    test::WriteHeaderFile(Path("XOV"), 90, 200, FromSubjects({"c"}, 101));
    CHeaderFile headers(Path("XOV"));
    index = IndexAndSort(Path("XOV"));
    testing::FailWritesAfter(10);
    auto r = RunScanMerge(GroupFilePaths::Make(dir.Path(), "g"), headers, index, {}, 1, 200);
    testing::FailWritesAfter(-1);
    EXPECT_EQ(r.statusText, "Error Merging XOT With MSG");
    EXPECT_LT(FileSize(Path("XOV")), 0);
    EXPECT_LT(FileSize(Path("XOV.tmp")), 0);
    EXPECT_GE(FileSize(Path("MSG")), 0);
}

TEST_F(MessageDbTest, WriteMessageFileFailuresLeaveNoMsg) {
    test::WriteHeaderFile(Path("XOV"), 1, 100, FromSubjects({"a", "b", "c"}, 10));
    CHeaderFile headers(Path("XOV"));
    HeaderIndex idx = IndexAndSort(Path("XOV"));
    uint32_t count = 0;

    // A source record whose texts are cut short.
    std::string bytes = ReadFileBytes(Path("XOV"));
    WriteFileBytes(Path("CUT"), bytes.substr(0, bytes.size() - 5));
    CHeaderFile cut(Path("CUT"));
    WriteFileBytes(Path("MSG"), "old");
    EXPECT_FALSE(WriteMessageFile(cut, idx.offsets, CArticleSet(), 1, 100, Path("MSG"), count));
    EXPECT_LT(FileSize(Path("MSG")), 0);

    // A full disk.
    testing::FailWritesAfter(20);
    EXPECT_FALSE(WriteMessageFile(headers, idx.offsets, CArticleSet(), 1, 100, Path("MSG"), count));
    testing::FailWritesAfter(-1);
    EXPECT_LT(FileSize(Path("MSG")), 0);
    EXPECT_LT(FileSize(Path("MSG.tmp")), 0);

    // Entries without a whole fixed part are skipped.
    std::vector<uint32_t> offsets = idx.offsets;
    offsets.push_back(static_cast<uint32_t>(bytes.size() - 10));
    ASSERT_TRUE(WriteMessageFile(headers, offsets, CArticleSet({11}), 1, 100, Path("MSG"), count));
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(Subjects(test::ReadHeaderFile(Path("MSG"))), (Strings{"a", "c"}));
}

TEST(ArticleSet, BitmapAndSortedFormsAgree) {
    std::vector<uint32_t> dense{5, 7, 7, 1000, 6};
    std::vector<uint32_t> sparse{0, 4000000000u, 17, 3000000000u};
    CArticleSet d(dense), s(sparse), none;
    for (uint32_t a : {0u, 4u, 5u, 6u, 7u, 8u, 999u, 1000u, 1001u, 4000000000u}) {
        EXPECT_EQ(d.Contains(a), std::count(dense.begin(), dense.end(), a) > 0) << a;
        EXPECT_EQ(s.Contains(a), std::count(sparse.begin(), sparse.end(), a) > 0) << a;
        EXPECT_FALSE(none.Contains(a));
    }
}

}  // namespace
}  // namespace vexlo
