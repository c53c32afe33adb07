#include "groups/message_db.h"

#include <algorithm>
#include <numeric>
#include <random>

#include "group_test_files.h"
#include "groups/scan_helpers.h"

namespace vexlo {
namespace {

using namespace test;

TEST(HeaderRecord, CompareSubjectsFoldsAsciiCaseOnly) {
    // Equal but for case: see the merge rules below.
    EXPECT_LT(CompareSubjects("alpha", "Beta"), 0);
    EXPECT_LT(CompareSubjects("abc", "abcd"), 0);  // a proper prefix first
    // Bytes above 127 compare unsigned and are not folded.
    EXPECT_LT(CompareSubjects("z", "\xC3\xA9"), 0);
    EXPECT_GT(CompareSubjects("\xC3\xA9", "\xC3\x89"), 0);
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
            if (i >= j) break;
            std::swap(idx[i], idx[j]);
        }
        std::swap(idx[i], idx[hi]);
        ReferenceSort(key, idx, lo, i - 1);
        lo = i + 1;
    }
}

class MessageDbTest : public GroupFilesTest {
  protected:
    HeaderIndex IndexAndSort(const std::string& path) {
        CHeaderFile file(path);
        HeaderIndex index;
        EXPECT_TRUE(IndexHeaderRecords(file, index));
        EXPECT_TRUE(SortHeaderRecords(file, index));
        return index;
    }
    // Field `get` of the records in the order of an index.
    template <class Get>
    auto InIndexOrder(const HeaderIndex& idx, Get get, const char* file = "XOV") {
        std::string bytes = ReadFileBytes(Path(file));
        std::vector<decltype(get(HeaderRecord{}))> out;
        HeaderRecord r;
        for (uint32_t off : idx.offsets) {
            EXPECT_TRUE(ParseHeaderRecord(bytes, off, r));
            out.push_back(get(r));
        }
        return out;
    }
    Strings SortedSubjects(const Strings& subjects) {
        WriteHeaderFile(Path("XOV"), 1, 9, FromSubjects(subjects));
        return InIndexOrder(IndexAndSort(Path("XOV")),
                            [](const HeaderRecord& r) { return std::string(r.subject); });
    }

    // The scan merge of new headers `fresh` with the .MSG there is into the
    // .XOT; `index` then lists the .XOT.
    ScanStepResult Merge(const std::vector<Hdr>& fresh, uint32_t first, uint32_t last = 200) {
        Numbers known;
        LoadMessageNumbers(dir.Path(), "g", known);
        WriteHeaderFile(Path("XOV"), 90, last, fresh);
        CHeaderFile headers(Path("XOV")), merged(Path("XOT"));
        const HeaderIndex received = IndexAndSort(Path("XOV"));
        testing::FailWritesAfter(failWritesAfter);
        auto r = RunScanMerge(GroupFilePaths::Make(dir.Path(), "g"), headers, received, known,
                              first, last, merged, index);
        testing::FailWritesAfter(-1);
        return r;
    }

    HeaderIndex index;
    int64_t failWritesAfter = -1;  // simulated full disk while merging
};

// Little-endian without terminators; texts cut to their bounds.
TEST_F(MessageDbTest, WrittenLayoutAndTextBounds) {
    WriteHeaderFile(Path("XOV"), 1, 2, {Hdr{0x01020304, "Subj", "Me", "<x@y>", 7, 300}});
    EXPECT_EQ(ReadFileBytes(Path("XOV")).substr(8), U32Bytes(1) + U32Bytes(0x01020304) +
                                                        U32Bytes(7) + U32Bytes(300) + U32Bytes(4) +
                                                        U32Bytes(2) + U32Bytes(5) + "SubjMe<x@y>");
    std::string subject = std::string(3000, 'h') + " tail.rar (07/12)";
    WriteHeaderFile(Path("XOV"), 1, 2,
                    {Hdr{5, subject, std::string(1500, 'p'), std::string(600, 'm')}});
    auto items = ReadHeaderFile(Path("XOV"));
    ASSERT_EQ(items.size(), 1u);
    // The head and the tail (510 bytes each) survive around "...", so the part
    // counter is kept.
    EXPECT_EQ(items[0].GetSubject(),
              std::string(510, 'h') + "..." + std::string(493, 'h') + " tail.rar (07/12)");
    EXPECT_EQ(items[0].GetPoster(), std::string(kMaxPosterLength, 'p'));
    EXPECT_EQ(items[0].GetMessageId(), std::string(kMaxMessageIdLength, 'm'));
    EXPECT_EQ(items[0].GetFlags(), kHeaderFlagNew);
}

// The reader and the index stop at the first record that is cut short,
// garbled or over a bound; the parser over a file image checks that the whole
// record lies in it.
TEST_F(MessageDbTest, ReaderAndIndexTakeWholeRecordsOnly) {
    WriteHeaderFile(Path("XOV"), 1, 9, FromSubjects({"a", "bb", "ccc"}));
    const std::string whole = ReadFileBytes(Path("XOV"));
    CHeaderFile file(Path("XOV"));
    HeaderIndex idx;
    ASSERT_TRUE(IndexHeaderRecords(file, idx));
    const uint32_t second = 8 + 67, third = second + 68;
    EXPECT_EQ(idx.offsets, (Numbers{8, second, third}));
    EXPECT_EQ(idx.subjectLengths, (Numbers{1, 2, 3}));

    std::string garbled = whole, huge = whole;
    std::fill(garbled.begin() + second, garbled.begin() + second + 28, '\xEE');
    huge.replace(second + 20, 4, U32Bytes(0xFFFFFFFF));  // a 4 GB poster
    const std::string over = U32Bytes(1) + U32Bytes(3) + U32Bytes(0) + U32Bytes(0) +
                             U32Bytes(kMaxSubjectLength + 1) + U32Bytes(0) + U32Bytes(0) +
                             std::string(kMaxSubjectLength + 1, 's');
    // Ends inside a fixed part, inside the third record's texts; garbage; a
    // subject one byte over its bound; no record; no whole header (-1: the
    // index fails).
    for (const auto& [bytes, records] : {std::pair{whole + std::string(20, '\0'), 3},
                                         {whole.substr(0, whole.size() - 1), 2},
                                         {garbled, 1},
                                         {huge, 1},
                                         {whole.substr(0, 8) + over, 0},
                                         {whole.substr(0, 8), 0},
                                         {whole.substr(0, 7), -1}}) {
        WriteFileBytes(Path("XOV"), bytes);
        idx.Clear();
        ASSERT_EQ(IndexHeaderRecords(file, idx), records >= 0) << records;
        EXPECT_EQ(static_cast<int>(idx.Size()), std::max(records, 0));
        EXPECT_EQ(static_cast<int>(ReadHeaderFile(Path("XOV")).size()), std::max(records, 0));
    }
    CHeaderFile missing(Path("NONE"));
    EXPECT_FALSE(IndexHeaderRecords(missing, idx));

    HeaderRecord r;
    uint64_t next = 0;
    ASSERT_TRUE(ParseHeaderRecord(whole, second, r, &next));
    EXPECT_EQ(std::pair(r.subject, next), std::pair(std::string_view("bb"), uint64_t(third)));
    EXPECT_FALSE(ParseHeaderRecord(std::string_view(whole).substr(0, whole.size() - 1), third, r));
    for (uint64_t offset : {whole.size(), whole.size() + 100})
        EXPECT_FALSE(ParseHeaderRecord(whole, offset, r)) << offset;
}

// Random subjects as a server's natural order gives them: each post's parts
// in ascending runs, posts interleaved, reposted parts, case variants, and
// now and then a run already in order or a flood of one subject.
Strings NaturalOrderSubjects(std::mt19937& rng) {
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    struct Post {
        std::string name;
        int parts, next = 1;
    };
    std::vector<Post> posts;
    const int names = uniform(1, 12);
    for (int k = uniform(1, 25); k > 0; --k) {
        std::string name = "post" + std::to_string(uniform(0, names)) + ".rar";
        if (uniform(0, 3) == 0) name[0] = 'P';
        posts.push_back(Post{name, uniform(1, 60)});
    }
    Strings subjects;
    while (!posts.empty()) {
        const size_t k = static_cast<size_t>(uniform(0, static_cast<int>(posts.size()) - 1));
        Post& p = posts[k];
        std::string subject =
            p.name + " (" + std::to_string(p.next) + "/" + std::to_string(p.parts) + ")";
        for (int copies = uniform(0, 9) == 0 ? 2 : 1; copies > 0; --copies)
            subjects.push_back(subject);
        if (++p.next > p.parts) posts.erase(posts.begin() + static_cast<ptrdiff_t>(k));
    }
    if (uniform(0, 4) == 0) {  // a flood: one subject many times
        const std::string flood =
            subjects[static_cast<size_t>(uniform(0, static_cast<int>(subjects.size()) - 1))];
        subjects.insert(subjects.begin() + uniform(0, static_cast<int>(subjects.size())),
                        static_cast<size_t>(uniform(20, 200)), flood);
    }
    if (uniform(0, 4) == 0) std::sort(subjects.begin(), subjects.end());  // already in order
    return subjects;
}

// The sort's order for equal subjects is the one the matching relies on: on
// every input it can finish in reasonable time it must be exactly the order
// the quicksort's own steps give, as a plain literal implementation of them
// (ReferenceSort) shows.
TEST_F(MessageDbTest, EqualSubjectsEndInTheQuicksortsOrder) {
    std::mt19937 rng(42);
    for (int input = 0; input < 400; ++input) {
        SCOPED_TRACE(input);
        const Strings subjects = NaturalOrderSubjects(rng);
        WriteHeaderFile(Path("XOV"), 1, 9, FromSubjects(subjects));
        std::vector<size_t> ref(subjects.size());
        std::iota(ref.begin(), ref.end(), 0);
        ReferenceSort(subjects, ref, 0, static_cast<ptrdiff_t>(ref.size()) - 1);
        Numbers want;  // records are told apart by their articles (1-based file order)
        for (size_t k : ref) want.push_back(static_cast<uint32_t>(k + 1));
        ASSERT_EQ(InIndexOrder(IndexAndSort(Path("XOV")), [](const auto& r) { return r.article; }),
                  want)
            << subjects.size() << " subjects";
    }
}

TEST_F(MessageDbTest, SortedReversedAndAllEqualInputSortCorrectly) {
    // Already in order (a poster flooding the group): the plain quicksort
    // would recurse once per record.
    Strings sorted;
    for (int k = 0; k < 200000; ++k)
        sorted.push_back("flood.part" + std::to_string(1000000 + k) + ".rar (1/1)");
    EXPECT_EQ(SortedSubjects(sorted), sorted);
    // Reversed: the quicksort would go quadratic; it spends its budget of
    // comparisons and the rest is heap sorted.
    sorted.resize(30000);
    EXPECT_EQ(SortedSubjects(Strings(sorted.rbegin(), sorted.rend())), sorted);
    // All equal: every record is kept, each exactly once.
    WriteHeaderFile(Path("XOV"), 1, 9, FromSubjects(Strings(50000, "same (1/1)")));
    Numbers offsets = IndexAndSort(Path("XOV")).offsets;
    std::sort(offsets.begin(), offsets.end());
    EXPECT_EQ(std::adjacent_find(offsets.begin(), offsets.end()), offsets.end());
    EXPECT_EQ(offsets.size(), 50000u);
}

TEST_F(MessageDbTest, MergeRulesForCaseRangeAndKnownArticles) {
    WriteHeaderFile(Path("MSG"), 1, 100,
                    {
                        Hdr{5, "aaa expired"},  // below first while new headers remain: dropped
                        Hdr{21, "known"},  // a new header with this article is not written again
                        Hdr{20, "same"},   // equal to a new subject but for case: new first
                        Hdr{6, "zzz expired"},  // after the last new one: copied without the test
                        Hdr{22, "zzzz kept"},
                    });
    auto r = Merge({Hdr{101, "SAME"}, Hdr{21, "known again"}, Hdr{102, "yyy last new"}}, 10);
    ASSERT_TRUE(r.ok) << r.statusText;
    auto merged = ReadHeaderFile(Path("XOT"));
    EXPECT_EQ(Subjects(merged),
              (Strings{"known", "SAME", "same", "yyy last new", "zzz expired", "zzzz kept"}));
    EXPECT_EQ(Articles(merged), (Numbers{21, 101, 20, 102, 6, 22}));
    EXPECT_EQ(FileRange(Path("XOT")), std::pair(10u, 200u));

    // The .MSG writer, over the index of the merged file, drops the expired
    // record later (the received headers and the old .MSG stay until the
    // scan's commit: see the scan finish test).
    CHeaderFile headers(Path("XOT"));
    uint32_t count = 0;
    ASSERT_TRUE(
        WriteMessageFile(headers, index.offsets, CArticleSet({101}), 10, 200, Path("MSG"), count));
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(Articles(ReadHeaderFile(Path("MSG"))), (Numbers{21, 20, 102, 22}));
    EXPECT_EQ(FileRange(Path("MSG")), std::pair(10u, 200u));
}

TEST_F(MessageDbTest, MergeFailureLeavesNoXotAndKeepsTheOtherFiles) {
    WriteHeaderFile(Path("MSG"), 1, 100, FromSubjects({"a", "b"}, 10));
    const struct {
        const char* what;
        std::string msg;  // empty: none
        int64_t failWritesAfter;
    } rows[] = {{"no .MSG", "", -1},
                {"a .MSG without a whole header", "abc", -1},
                {"a full disk", ReadFileBytes(Path("MSG")), 10}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        RemoveFile(Path("MSG"));
        if (!row.msg.empty()) WriteFileBytes(Path("MSG"), row.msg);
        WriteFileBytes(Path("BIN"), U32Bytes(1) + U32Bytes(100));
        failWritesAfter = row.failWritesAfter;
        auto r = Merge({Hdr{101, "x"}}, 1);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.statusText, "Error Merging XOT With MSG");
        for (const char* ext : {"XOT", "XOT.tmp"}) EXPECT_LT(FileSize(Path(ext)), 0) << ext;
        EXPECT_EQ(ReadHeaderFile(Path("XOV")).size(), 1u);
        EXPECT_EQ(row.msg.empty() ? "" : ReadFileBytes(Path("MSG")), row.msg);
        EXPECT_EQ(FileSize(Path("BIN")), 8);
    }
}

TEST_F(MessageDbTest, WriteMessageFileFailuresLeaveNoMsg) {
    WriteHeaderFile(Path("XOV"), 1, 100, FromSubjects({"a", "b", "c"}, 10));
    CHeaderFile headers(Path("XOV"));
    HeaderIndex idx = IndexAndSort(Path("XOV"));
    uint32_t count = 0;
    // A source record whose texts are cut short.
    const std::string bytes = ReadFileBytes(Path("XOV"));
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
    Numbers offsets = idx.offsets;
    offsets.push_back(static_cast<uint32_t>(bytes.size() - 10));
    ASSERT_TRUE(WriteMessageFile(headers, offsets, CArticleSet({11}), 1, 100, Path("MSG"), count));
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(Subjects(ReadHeaderFile(Path("MSG"))), (Strings{"a", "c"}));
}

TEST(ArticleSet, BitmapAndSortedFormsAgree) {
    const Numbers dense{5, 7, 7, 1000, 6}, sparse{0, 4000000000u, 17, 3000000000u};
    CArticleSet d(dense), s(sparse);
    for (uint32_t a : {0u, 4u, 5u, 6u, 7u, 8u, 999u, 1000u, 1001u, 4000000000u}) {
        EXPECT_EQ(d.Contains(a), std::count(dense.begin(), dense.end(), a) > 0) << a;
        EXPECT_EQ(s.Contains(a), std::count(sparse.begin(), sparse.end(), a) > 0) << a;
    }
}

}  // namespace
}  // namespace vexlo
