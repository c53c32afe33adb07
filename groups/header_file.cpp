#include "groups/header_file.h"

#include <algorithm>

namespace vexlo {

namespace {

constexpr size_t kStreamBuffer = 1024 * 1024;
// Random-order passes ask for the record this many entries ahead while they
// handle the current one.
constexpr size_t kPrefetchAhead = 8;

}  // namespace

const CMappedFile* CHeaderFile::Map() {
    if (!map_.IsOpen() && !map_.Open(path_)) return nullptr;
    return &map_;
}

CHeaderPass::CHeaderPass(CHeaderFile& file, const std::vector<uint32_t>& offsets)
    : offsets_(offsets) {
    streaming_ = std::is_sorted(offsets.begin(), offsets.end());
    if (streaming_) {
        ok_ = file_.Open(file.Path(), CFile::Mode::Read);
        int64_t size = ok_ ? file_.Size() : -1;
        ok_ = ok_ && size >= 0;
        fileSize_ = size > 0 ? static_cast<uint64_t>(size) : 0;
        // A small file needs no large buffer (Refill grows it for a long record).
        if (ok_)
            buffer_.resize(std::max<uint64_t>(std::min<uint64_t>(kStreamBuffer, fileSize_), 4096));
    } else {
        map_ = file.Map();
        ok_ = map_ != nullptr;
    }
}

CHeaderPass::Result CHeaderPass::FromImage(std::string_view image, uint64_t offset,
                                           HeaderRecord& out, std::string_view* raw) {
    if (offset > image.size() || image.size() - offset < kHeaderFixedSize) {
        return Result::kNoFixedPart;
    }
    uint64_t next = 0;
    if (!ParseHeaderRecord(image, offset, out, &next)) return Result::kDamaged;
    if (raw != nullptr) *raw = image.substr(offset, next - offset);
    return Result::kRecord;
}

bool CHeaderPass::Refill(uint64_t offset, size_t need) {
    base_ = offset;
    filled_ = 0;
    if (!file_.Seek(static_cast<int64_t>(offset))) return false;
    size_t want = std::min<uint64_t>(buffer_.size(), fileSize_ > offset ? fileSize_ - offset : 0);
    want = std::max(want, need);
    if (want > buffer_.size()) buffer_.resize(want);
    int64_t got = file_.Read(buffer_.data(), want);
    if (got < 0) return false;
    filled_ = static_cast<size_t>(got);
    return true;
}

CHeaderPass::Result CHeaderPass::Read(size_t k, HeaderRecord& out, std::string_view* raw) {
    const uint64_t offset = offsets_[k];
    if (!streaming_) {
        std::string_view data = map_->Data();
        if (k + kPrefetchAhead < offsets_.size() && offsets_[k + kPrefetchAhead] < data.size()) {
            __builtin_prefetch(data.data() + offsets_[k + kPrefetchAhead]);
        }
        return FromImage(data, offset, out, raw);
    }
    // Streaming: make sure the fixed part, then the whole record, is in the buffer.
    auto inBuffer = [&](uint64_t n) { return offset >= base_ && offset + n <= base_ + filled_; };
    if (!inBuffer(kHeaderFixedSize)) {
        if (!Refill(offset, kMaxHeaderRecordSize)) return Result::kNoFixedPart;
    }
    std::string_view window(buffer_.data(), filled_);
    Result r = FromImage(window, offset - base_, out, raw);
    if (r == Result::kDamaged && base_ != offset) {
        // Possibly only cut by the buffer's end: read again from the record.
        if (!Refill(offset, kMaxHeaderRecordSize)) return Result::kNoFixedPart;
        window = std::string_view(buffer_.data(), filled_);
        r = FromImage(window, 0, out, raw);
    }
    return r;
}

}  // namespace vexlo
