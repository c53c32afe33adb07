#include "groups/scan_helpers.h"

#include <algorithm>

#include "groups/binary_match.h"
#include "groups/group_files.h"
#include "groups/header_record.h"
#include "platform/record_file.h"
#include "platform/file.h"

namespace vexlo {

namespace {

bool ReadRange(const std::string& path, uint32_t& first, uint32_t& last) {
    CFile file;
    char header[8];
    if (!file.Open(path, CFile::Mode::Read) || !file.ReadExact(header, sizeof header)) {
        return false;
    }
    first = LoadU32(header);
    last = LoadU32(header + 4);
    return true;
}

}  // namespace

bool SplitOverviewLine(std::string_view line, OverviewFields& fields) {
    line = line.substr(0, line.find('\0'));
    size_t start = 0;
    for (size_t f = 0; f < 8; ++f) {
        size_t tab = line.find('\t', start);
        if (tab == std::string_view::npos) return false;
        fields[f] = line.substr(start, tab - start);
        start = tab + 1;
    }
    fields[8] = line.substr(start);
    return true;
}

int FindInSortedList(const std::vector<uint32_t>& list, uint32_t value) {
    auto it = std::lower_bound(list.begin(), list.end(), value);
    if (it == list.end() || *it != value) return -1;
    return static_cast<int>(it - list.begin());
}

bool GetScanRange(const std::string& dataDir, const std::string& groupName, uint32_t& oldFirst,
                  uint32_t& oldLast) {
    GroupFilePaths p = GroupFilePaths::Make(dataDir, groupName);
    uint32_t mf, ml, bf, bl;
    if (!ReadRange(p.msg, mf, ml) || !ReadRange(p.bin, bf, bl)) return false;
    if (mf != bf || ml != bl) return false;
    oldFirst = mf;
    oldLast = ml;
    return true;
}

void LoadMessageNumbers(const std::string& dataDir, const std::string& groupName,
                        std::vector<uint32_t>& list) {
    CFile file;
    if (file.Open(GroupFilePaths::Make(dataDir, groupName).msg, CFile::Mode::Read)) {
        CRecordReader in(file);
        HeaderRecord r;
        if (in.Skip(8)) {
            while (ReadHeaderRecord(in, r)) list.push_back(r.article);
        }
    }
    std::sort(list.begin(), list.end());
}

void LoadBinaryNumbers(const std::string& dataDir, const std::string& groupName,
                       std::vector<uint32_t>& list) {
    CFile file;
    if (file.Open(GroupFilePaths::Make(dataDir, groupName).bin, CFile::Mode::Read)) {
        CRecordReader in(file);
        CBinaryItem item;
        if (in.Skip(8)) {
            while (item.Read(in)) item.AppendArticles(list);
        }
    }
    std::sort(list.begin(), list.end());
}

bool GetOverviewResumeInfo(const std::string& xovPath, uint32_t& headerStart, uint32_t& headerEnd,
                           uint32_t& firstArticle, uint32_t& lastArticle) {
    CFile file;
    if (!file.Open(xovPath, CFile::Mode::ReadWriteExisting)) return false;
    uint64_t wholeEnd = 0;
    {
        CRecordReader in(file);
        HeaderRecord r;
        if (!in.ReadU32(headerStart) || !in.ReadU32(headerEnd) || !ReadHeaderRecord(in, r)) {
            file.Close();
            RemoveFile(xovPath);
            return false;
        }
        firstArticle = lastArticle = r.article;
        while (ReadHeaderRecord(in, r)) lastArticle = r.article;
        wholeEnd = in.Tell();
    }
    // A record cut short (or damaged) at the end is removed so the scan can
    // append behind the last whole one.
    if (file.Size() != static_cast<int64_t>(wholeEnd)) {
        file.Truncate(static_cast<int64_t>(wholeEnd));
    }
    file.Close();
    return true;
}

}  // namespace vexlo
