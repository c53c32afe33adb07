// A header file (.XOV, .XOT) as the scan's later steps use it, and one pass
// over its records in the order of a record index.
//
// Two ways to reach a record, chosen per pass:
//   - a pass whose offsets ascend (file order, as after the merge) streams the
//     file through a buffer: a few large reads, nothing mapped;
//   - any other order (subject order of a freshly sorted .XOV) reads from a
//     read-only map of the whole file, made once and shared by the sort and
//     every later pass over the same file.
// Mapping pages in costs far more than reading them, so the map is made only
// where access is random, and never twice for one file.
//
// Used by one thread (the scanning channel's).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "groups/header_record.h"
#include "platform/record_file.h"

namespace vexlo {

class CHeaderFile {
  public:
    explicit CHeaderFile(std::string path) : path_(std::move(path)) {}
    CHeaderFile(const CHeaderFile&) = delete;
    CHeaderFile& operator=(const CHeaderFile&) = delete;

    const std::string& Path() const { return path_; }
    // The file was renamed: an existing map stays valid.
    void Renamed(std::string path) { path_ = std::move(path); }
    // The whole file mapped read-only, made on first use; nullptr when it
    // cannot be mapped.
    const CMappedFile* Map();
    // Unmaps; the next Map maps the file at Path() again.
    void Close() { map_.Close(); }

  private:
    std::string path_;
    CMappedFile map_;
};

class CHeaderPass {
  public:
    enum class Result {
        kRecord,       // a whole record
        kNoFixedPart,  // fewer than 28 bytes at the offset
        kDamaged,      // texts cut short or over their bounds
    };

    CHeaderPass(CHeaderFile& file, const std::vector<uint32_t>& offsets);
    // False when the file could not be opened or mapped.
    bool Ok() const { return ok_; }
    // The record at offsets[k], for k = 0, 1, 2, ... in turn. Its texts and
    // `raw` (the record's bytes) stay valid until the next call.
    Result Read(size_t k, HeaderRecord& out, std::string_view* raw = nullptr);

  private:
    Result FromImage(std::string_view image, uint64_t offset, HeaderRecord& out,
                     std::string_view* raw);
    bool Refill(uint64_t offset, size_t need);

    const std::vector<uint32_t>& offsets_;
    bool ok_ = false;
    bool streaming_ = false;
    const CMappedFile* map_ = nullptr;
    CFile file_;
    uint64_t fileSize_ = 0;
    std::vector<char> buffer_;
    uint64_t base_ = 0;  // file offset of buffer_[0]
    size_t filled_ = 0;
};

}  // namespace vexlo
