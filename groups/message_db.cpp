#include "groups/message_db.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <limits>

#include "groups/article_set.h"
#include "groups/header_record.h"
#include "groups/scan_helpers.h"

namespace vexlo {

namespace {

constexpr uint64_t kFileHeaderSize = 8;

// The subject quicksort over the index lists. Keys are read from the mapped
// file for every comparison; only the pivot's key is kept across a partition.
class CSubjectSorter {
  public:
    CSubjectSorter(std::string_view file, HeaderIndex& index)
        : file_(file), off_(index.offsets.data()), len_(index.subjectLengths.data()) {}

    // `budget` is the number of unbalanced partitions (the smaller side under
    // an eighth of the range) this range may still take before a larger range
    // is finished with the heap sort. Random input hardly ever spends it;
    // sorted or all-equal input spends one per level.
    void Sort(ptrdiff_t lo, ptrdiff_t hi, int budget) {
        while (hi > lo) {
            if (budget == 0 && hi - lo + 1 > kSmallRange) {
                HeapSort(lo, hi);
                return;
            }
            const std::string_view pivot = Key(hi);
            ptrdiff_t i = lo;
            ptrdiff_t j = hi;
            for (;;) {
                while (i < hi && CompareSubjects(Key(i), pivot) < 0) ++i;
                // The entry left of lo (when there is one) is never greater than the
                // pivot, so stopping at lo gives the same partition as scanning on.
                if (j > 0) {
                    do {
                        --j;
                    } while (j > lo && CompareSubjects(Key(j), pivot) > 0);
                }
                if (i >= j) break;
                Swap(i, j);
            }
            Swap(i, hi);
            if (budget > 0 && std::min(i - lo, hi - i) < (hi - lo + 1) / 8) --budget;
            Sort(lo, i - 1, budget);
            lo = i + 1;
        }
    }

  private:
    // Ranges this small finish with the quicksort even past the depth limit:
    // their worst case is cheap and they keep the quicksort's order.
    static constexpr ptrdiff_t kSmallRange = 32;

    std::string_view Key(ptrdiff_t k) const {
        uint64_t start = uint64_t{off_[k]} + kHeaderFixedSize;
        if (start + len_[k] > file_.size()) return {};
        return {file_.data() + start, len_[k]};
    }

    bool Less(ptrdiff_t a, ptrdiff_t b) const { return CompareSubjects(Key(a), Key(b)) < 0; }

    void Swap(ptrdiff_t a, ptrdiff_t b) {
        std::swap(off_[a], off_[b]);
        std::swap(len_[a], len_[b]);
    }

    void SiftDown(ptrdiff_t base, ptrdiff_t root, ptrdiff_t count) {
        for (;;) {
            ptrdiff_t child = 2 * root + 1;
            if (child >= count) return;
            if (child + 1 < count && Less(base + child, base + child + 1)) ++child;
            if (!Less(base + root, base + child)) return;
            Swap(base + root, base + child);
            root = child;
        }
    }

    void HeapSort(ptrdiff_t lo, ptrdiff_t hi) {
        ptrdiff_t count = hi - lo + 1;
        for (ptrdiff_t k = count / 2 - 1; k >= 0; --k) SiftDown(lo, k, count);
        for (ptrdiff_t end = count - 1; end > 0; --end) {
            Swap(lo, lo + end);
            SiftDown(lo, 0, end);
        }
    }

    std::string_view file_;
    uint32_t* off_;
    uint32_t* len_;
};

bool ReadFileHeader(CRecordReader& in, uint32_t& first, uint32_t& last) {
    return in.ReadU32(first) && in.ReadU32(last);
}

bool WriteFileHeader(CRecordWriter& out, uint32_t first, uint32_t last) {
    return out.WriteU32(first) && out.WriteU32(last);
}

}  // namespace

void HeaderIndex::Clear() {
    std::vector<uint32_t>().swap(offsets);
    std::vector<uint32_t>().swap(subjectLengths);
}

bool IndexHeaderRecords(CHeaderFile& file, HeaderIndex& index) {
    CFile in;
    if (!in.Open(file.Path(), CFile::Mode::Read)) return false;
    CRecordReader reader(in);
    if (!reader.Skip(kFileHeaderSize)) return false;
    HeaderRecord r;
    for (;;) {
        uint64_t offset = reader.Tell();
        if (offset > std::numeric_limits<uint32_t>::max() || !ReadHeaderRecord(reader, r)) break;
        index.offsets.push_back(static_cast<uint32_t>(offset));
        index.subjectLengths.push_back(static_cast<uint32_t>(r.subject.size()));
    }
    return true;
}

bool SortHeaderRecords(CHeaderFile& file, HeaderIndex& index) {
    size_t n = std::min(index.offsets.size(), index.subjectLengths.size());
    if (n < 2) return true;
    const CMappedFile* map = file.Map();
    if (map == nullptr) return false;
    int budget = 2 * static_cast<int>(std::bit_width(n));
    CSubjectSorter(map->Data(), index).Sort(0, static_cast<ptrdiff_t>(n) - 1, budget);
    return true;
}

bool MergeNewHeaders(const std::string& xovPath, const std::vector<uint32_t>& xotOffsets,
                     const std::vector<uint32_t>& messageNumbers, CHeaderFile& xot,
                     const std::string& msgPath, uint32_t first, uint32_t last, uint32_t& count) {
    count = 0;
    CFile msgFile, xotFile;
    if (!msgFile.Open(msgPath, CFile::Mode::Read) || !xotFile.Open(xot.Path(), CFile::Mode::Read)) {
        return false;
    }
    CHeaderPass newHeaders(xot, xotOffsets);
    if (!newHeaders.Ok()) return false;
    CReplacementFile output(xovPath);
    if (!output.Open()) return false;

    CRecordReader msg(msgFile);
    char xotHeader[kFileHeaderSize];
    uint32_t h1, h2;
    if (!ReadFileHeader(msg, h1, h2) || !xotFile.ReadExact(xotHeader, sizeof xotHeader)) {
        return false;
    }
    CRecordWriter out(output.File());
    if (!WriteFileHeader(out, first, last)) return false;

    const CArticleSet known(messageNumbers);
    size_t x = 0;
    HeaderRecord m, n;
    bool haveM = ReadHeaderRecord(msg, m);
    // The index was built from this very file, so every entry is a whole record.
    auto nextX = [&]() {
        while (x < xotOffsets.size()) {
            if (newHeaders.Read(x++, n) == CHeaderPass::Result::kRecord) return true;
        }
        return false;
    };
    bool haveX = nextX();
    uint32_t written = 0;
    while (haveM && haveX) {
        if (CompareSubjects(m.subject, n.subject) < 0) {
            if (m.article >= first && m.article <= last) {
                if (!WriteHeaderRecord(out, m)) return false;
                ++written;
            }
            haveM = ReadHeaderRecord(msg, m);
        } else {
            if (!known.Contains(n.article)) {
                if (!WriteHeaderRecord(out, n)) return false;
                ++written;
            }
            haveX = nextX();
        }
    }
    for (; haveX; haveX = nextX()) {
        if (known.Contains(n.article)) continue;
        if (!WriteHeaderRecord(out, n)) return false;
        ++written;
    }
    // Old records behind the last new one are copied without the range test;
    // the .MSG writer drops the expired ones.
    for (; haveM; haveM = ReadHeaderRecord(msg, m)) {
        if (!WriteHeaderRecord(out, m)) return false;
        ++written;
    }
    if (!out.Flush() || !output.Commit()) return false;
    count = written;
    return true;
}

ScanStepResult RunScanMerge(const GroupFilePaths& paths, CHeaderFile& headers, HeaderIndex& index,
                            const std::vector<uint32_t>& messageNumbers, uint32_t first,
                            uint32_t last) {
    RemoveFile(paths.xot);
    if (RenameFile(paths.xov, paths.xot)) headers.Renamed(paths.xot);

    uint32_t count = 0;
    bool merged = MergeNewHeaders(paths.xov, index.offsets, messageNumbers, headers, paths.msg,
                                  first, last, count);
    // From here on `headers` stands for the merged .XOV.
    headers.Close();
    headers.Renamed(paths.xov);
    if (!merged) {
        RemoveFile(paths.xot);
        RemoveFile(paths.xov);
        return ScanStepResult::Failure(kStatusMergeFailed);
    }
    CFile reopened;
    if (!reopened.Open(paths.xov, CFile::Mode::ReadWriteExisting)) {
        RemoveFile(paths.xot);
        RemoveFile(paths.xov);
        return ScanStepResult::Failure(kStatusReopenFailed);
    }
    reopened.Close();
    RemoveFile(paths.xot);
    RemoveFile(paths.msg);

    index.Clear();
    if (!IndexHeaderRecords(headers, index)) {
        RemoveFile(paths.xov);
        return ScanStepResult::Failure(kStatusIndexMergedFailed);
    }
    ScanStepResult ok;
    ok.ok = true;
    return ok;
}

bool WriteMessageFile(CHeaderFile& source, const std::vector<uint32_t>& offsets,
                      const CArticleSet& usedArticles, uint32_t first, uint32_t last,
                      const std::string& msgPath, uint32_t& count) {
    count = 0;
    CHeaderPass pass(source, offsets);
    CReplacementFile output(msgPath);
    if (!pass.Ok() || !output.Open()) {
        RemoveFile(msgPath);
        return false;
    }
    bool ok = true;
    uint32_t written = 0;
    {
        CRecordWriter out(output.File());
        ok = WriteFileHeader(out, first, last);
        HeaderRecord r;
        std::string_view raw;
        for (size_t k = 0; ok && k < offsets.size(); ++k) {
            CHeaderPass::Result got = pass.Read(k, r, &raw);
            if (got == CHeaderPass::Result::kNoFixedPart) continue;
            if (got == CHeaderPass::Result::kDamaged) {
                ok = false;
                break;
            }
            if (r.article < first || r.article > last || usedArticles.Contains(r.article)) {
                continue;
            }
            ok = out.Write(raw);  // written exactly as read
            ++written;
        }
        ok = out.Flush() && ok;
    }
    if (!ok || !output.Commit()) {
        output.Discard();
        RemoveFile(msgPath);
        return false;
    }
    count = written;
    return true;
}

}  // namespace vexlo
