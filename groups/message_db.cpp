#include "groups/message_db.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <limits>

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

    void Sort(ptrdiff_t lo, ptrdiff_t hi, int depth) {
        while (hi > lo) {
            if (depth == 0 && hi - lo + 1 > kSmallRange) {
                HeapSort(lo, hi);
                return;
            }
            if (depth > 0) --depth;
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
            Sort(lo, i - 1, depth);
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

bool Contains(const std::vector<uint32_t>& sorted, uint32_t value) {
    return std::binary_search(sorted.begin(), sorted.end(), value);
}

}  // namespace

void HeaderIndex::Clear() {
    std::vector<uint32_t>().swap(offsets);
    std::vector<uint32_t>().swap(subjectLengths);
}

bool IndexHeaderRecords(const CMappedFile& file, HeaderIndex& index) {
    std::string_view data = file.Data();
    if (data.size() < kFileHeaderSize) return false;
    uint64_t offset = kFileHeaderSize;
    HeaderRecord r;
    uint64_t next = 0;
    while (offset <= std::numeric_limits<uint32_t>::max() &&
           ParseHeaderRecord(data, offset, r, &next)) {
        index.offsets.push_back(static_cast<uint32_t>(offset));
        index.subjectLengths.push_back(static_cast<uint32_t>(r.subject.size()));
        offset = next;
    }
    return true;
}

void SortHeaderRecords(const CMappedFile& file, HeaderIndex& index) {
    size_t n = std::min(index.offsets.size(), index.subjectLengths.size());
    if (n < 2) return;
    int depthLimit = 2 * static_cast<int>(std::bit_width(n));
    CSubjectSorter(file.Data(), index).Sort(0, static_cast<ptrdiff_t>(n) - 1, depthLimit);
}

bool MergeNewHeaders(const std::string& xovPath, const std::vector<uint32_t>& xotOffsets,
                     const std::vector<uint32_t>& messageNumbers, const std::string& xotPath,
                     const std::string& msgPath, uint32_t first, uint32_t last, uint32_t& count) {
    count = 0;
    CFile msgFile;
    CMappedFile xot;
    if (!msgFile.Open(msgPath, CFile::Mode::Read) || !xot.Open(xotPath)) return false;
    CReplacementFile output(xovPath);
    if (!output.Open()) return false;

    CRecordReader msg(msgFile);
    uint32_t h1, h2;
    if (!ReadFileHeader(msg, h1, h2) || xot.Size() < kFileHeaderSize) return false;

    CRecordWriter out(output.File());
    if (!WriteFileHeader(out, first, last)) return false;

    std::string_view xotData = xot.Data();
    CReleaseBehind releaseXot(xot);
    size_t x = 0;
    HeaderRecord m, n;
    bool haveM = ReadHeaderRecord(msg, m);
    auto nextX = [&]() {
        while (x < xotOffsets.size()) {
            uint32_t off = xotOffsets[x++];
            releaseXot.At(off);
            if (ParseHeaderRecord(xotData, off, n)) return true;
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
            if (!Contains(messageNumbers, n.article)) {
                if (!WriteHeaderRecord(out, n)) return false;
                ++written;
            }
            haveX = nextX();
        }
    }
    for (; haveX; haveX = nextX()) {
        if (Contains(messageNumbers, n.article)) continue;
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

ScanStepResult RunScanMerge(const GroupFilePaths& paths, CMappedFile& headers, HeaderIndex& index,
                            const std::vector<uint32_t>& messageNumbers, uint32_t first,
                            uint32_t last) {
    headers.Close();
    RemoveFile(paths.xot);
    RenameFile(paths.xov, paths.xot);

    uint32_t count = 0;
    if (!MergeNewHeaders(paths.xov, index.offsets, messageNumbers, paths.xot, paths.msg, first,
                         last, count)) {
        RemoveFile(paths.xot);
        RemoveFile(paths.xov);
        return ScanStepResult::Failure(kStatusMergeFailed);
    }
    if (!headers.Open(paths.xov)) {
        RemoveFile(paths.xot);
        RemoveFile(paths.xov);
        return ScanStepResult::Failure(kStatusReopenFailed);
    }
    RemoveFile(paths.xot);
    RemoveFile(paths.msg);

    index.Clear();
    if (!IndexHeaderRecords(headers, index)) {
        headers.Close();
        RemoveFile(paths.xov);
        return ScanStepResult::Failure(kStatusIndexMergedFailed);
    }
    ScanStepResult ok;
    ok.ok = true;
    return ok;
}

bool WriteMessageFile(const CMappedFile& source, const std::vector<uint32_t>& offsets,
                      const std::vector<uint32_t>& usedArticles, uint32_t first, uint32_t last,
                      const std::string& msgPath, uint32_t& count) {
    count = 0;
    CReplacementFile output(msgPath);
    if (!output.Open()) {
        RemoveFile(msgPath);
        return false;
    }
    bool ok = true;
    uint32_t written = 0;
    {
        CRecordWriter out(output.File());
        ok = WriteFileHeader(out, first, last);
        std::string_view data = source.Data();
        CReleaseBehind release(source);
        HeaderRecord r;
        uint64_t next = 0;
        for (size_t k = 0; ok && k < offsets.size(); ++k) {
            uint64_t off = offsets[k];
            release.At(off);
            if (off > data.size() || data.size() - off < kHeaderFixedSize) continue;
            if (!ParseHeaderRecord(data, off, r, &next)) {
                ok = false;
                break;
            }
            if (r.article < first || r.article > last || Contains(usedArticles, r.article)) {
                continue;
            }
            // Written exactly as read.
            ok = out.Write(data.data() + off, next - off);
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
