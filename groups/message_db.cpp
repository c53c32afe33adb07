#include "groups/message_db.h"

#include <algorithm>
#include <cstddef>
#include <limits>

#include "groups/article_set.h"
#include "groups/header_record.h"
#include "groups/scan_helpers.h"
#include "groups/scan_steps.h"
#include "groups/subject_sort.h"

namespace vexlo {

namespace {

constexpr uint64_t kFileHeaderSize = 8;

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
    SortSubjects(map->Data(), index.offsets.data(), index.subjectLengths.data(), n);
    return true;
}

bool MergeNewHeaders(const std::string& outputPath, const std::vector<uint32_t>& newOffsets,
                     const std::vector<uint32_t>& messageNumbers, CHeaderFile& received,
                     const std::string& msgPath, uint32_t first, uint32_t last, uint32_t& count) {
    count = 0;
    CFile msgFile, xotFile;
    if (!msgFile.Open(msgPath, CFile::Mode::Read) ||
        !xotFile.Open(received.Path(), CFile::Mode::Read)) {
        return false;
    }
    CHeaderPass newHeaders(received, newOffsets);
    if (!newHeaders.Ok()) return false;
    CReplacementFile output(outputPath);
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
        while (x < newOffsets.size()) {
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

ScanStepResult RunScanMerge(const GroupFilePaths& paths, CHeaderFile& received,
                            const HeaderIndex& index, const std::vector<uint32_t>& messageNumbers,
                            uint32_t first, uint32_t last, CHeaderFile& merged,
                            HeaderIndex& mergedIndex) {
    ScanFileStep("write .XOT");
    uint32_t count = 0;
    if (!MergeNewHeaders(paths.xot, index.offsets, messageNumbers, received, paths.msg, first, last,
                         count)) {
        RemoveFile(paths.xot);
        return ScanStepResult::Failure(kStatusMergeFailed);
    }
    merged.Close();
    mergedIndex.Clear();
    if (!IndexHeaderRecords(merged, mergedIndex)) {
        RemoveFile(paths.xot);
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
