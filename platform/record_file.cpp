#include "platform/record_file.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>

namespace vexlo {

CRecordReader::CRecordReader(CFile& file, size_t bufferSize) : file_(file) {
    int64_t size = file_.Size();
    size_ = size > 0 ? static_cast<uint64_t>(size) : 0;
    // A small file needs no large buffer (Fill grows it for a larger peek).
    buffer_.resize(std::max<size_t>(std::min<uint64_t>(bufferSize, size_ + 1), 4096));
    file_.Seek(0);
}

bool CRecordReader::Fill(size_t n) {
    if (end_ - pos_ >= n) return true;
    if (n > buffer_.size()) buffer_.resize(n);
    // Move the unread tail to the front, then top up from the file.
    size_t keep = end_ - pos_;
    if (keep > 0 && pos_ > 0) std::memmove(buffer_.data(), buffer_.data() + pos_, keep);
    base_ += pos_;
    pos_ = 0;
    end_ = keep;
    while (end_ < n) {
        int64_t got = file_.Read(buffer_.data() + end_, buffer_.size() - end_);
        if (got <= 0) return false;
        end_ += static_cast<size_t>(got);
    }
    return true;
}

const char* CRecordReader::Peek(size_t n) {
    if (!Fill(n)) return nullptr;
    return buffer_.data() + pos_;
}

bool CRecordReader::Read(void* out, size_t n) {
    auto* dst = static_cast<char*>(out);
    // Large reads go through the buffer in slices so a damaged length cannot
    // make the buffer grow beyond its size.
    while (n > 0) {
        size_t slice = std::min(n, buffer_.size());
        const char* p = Peek(slice);
        if (p == nullptr) return false;
        std::memcpy(dst, p, slice);
        pos_ += slice;
        dst += slice;
        n -= slice;
    }
    return true;
}

bool CRecordReader::ReadU32(uint32_t& value) {
    const char* p = Peek(4);
    if (p == nullptr) return false;
    value = LoadU32(p);
    pos_ += 4;
    return true;
}

bool CRecordReader::Skip(uint64_t n) {
    if (end_ - pos_ >= n) {
        pos_ += static_cast<size_t>(n);
        return true;
    }
    if (n > Remaining()) return false;
    return Seek(Tell() + n);
}

bool CRecordReader::Seek(uint64_t position) {
    if (position >= base_ && position <= base_ + end_) {
        pos_ = static_cast<size_t>(position - base_);
        return true;
    }
    if (!file_.Seek(static_cast<int64_t>(position))) return false;
    base_ = position;
    pos_ = end_ = 0;
    return true;
}

CRecordWriter::CRecordWriter(CFile& file, size_t bufferSize)
    : file_(file), capacity_(std::max<size_t>(bufferSize, 4096)) {
    // It grows to its full size only for a file that needs it.
    buffer_.resize(std::min<size_t>(capacity_, 64 * 1024));
}

CRecordWriter::~CRecordWriter() {
    Flush();
}

bool CRecordWriter::Write(const void* data, size_t n) {
    if (!ok_) return false;
    if (n == 0) return true;  // empty texts may come with a null pointer
    const auto* src = static_cast<const char*>(data);
    if (n > buffer_.size() - used_ && buffer_.size() < capacity_ && used_ + n <= capacity_)
        buffer_.resize(std::min(capacity_, std::max(2 * buffer_.size(), used_ + n)));
    if (n > buffer_.size() - used_) {
        if (!Flush()) return false;
        if (n >= buffer_.size()) {
            ok_ = file_.Write(src, n);
            return ok_;
        }
    }
    std::memcpy(buffer_.data() + used_, src, n);
    used_ += n;
    return true;
}

bool CRecordWriter::WriteU32(uint32_t value) {
    char bytes[4];
    StoreU32(bytes, value);
    return Write(bytes, 4);
}

bool CRecordWriter::WriteU32s(const std::vector<uint32_t>& values) {
    for (uint32_t v : values) {
        if (!WriteU32(v)) return false;
    }
    return ok_;
}

bool CRecordWriter::Flush() {
    if (!ok_) return false;
    if (used_ > 0) {
        ok_ = file_.Write(buffer_.data(), used_);
        used_ = 0;
    }
    return ok_;
}

CMappedFile::~CMappedFile() {
    Close();
}

bool CMappedFile::Open(const std::string& path) {
    Close();
    CFile file;
    if (!file.Open(path, CFile::Mode::Read)) return false;
    int64_t size = file.Size();
    if (size < 0) return false;
    if (size > 0) {
        void* p =
            ::mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_SHARED, file.Descriptor(), 0);
        if (p == MAP_FAILED) return false;
        data_ = static_cast<const char*>(p);
        size_ = static_cast<size_t>(size);
    }
    open_ = true;
    return true;
}

void CMappedFile::Close() {
    if (data_ != nullptr) ::munmap(const_cast<char*>(data_), size_);
    data_ = nullptr;
    size_ = 0;
    open_ = false;
}

CReplacementFile::CReplacementFile(std::string path)
    : path_(std::move(path)), temp_(path_ + ".tmp") {}

CReplacementFile::~CReplacementFile() {
    Discard();
}

bool CReplacementFile::Open() {
    Discard();
    pending_ = file_.Open(temp_, CFile::Mode::CreateTruncate);
    return pending_;
}

bool CReplacementFile::Commit() {
    if (!pending_) return false;
    bool ok = file_.Close();
    if (!ok || !RenameFile(temp_, path_)) {
        Discard();
        return false;
    }
    pending_ = false;
    return true;
}

void CReplacementFile::Discard() {
    if (!pending_) return;
    file_.Close();
    RemoveFile(temp_);
    pending_ = false;
}

}  // namespace vexlo
