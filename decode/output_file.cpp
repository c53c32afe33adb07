#include "decode/output_file.h"

#include <sys/file.h>

#include <algorithm>
#include <cerrno>

namespace vexlo {

COutputFile::COutputFile(size_t bufferSize) : capacity_(bufferSize < 64 ? 64 : bufferSize) {}

COutputFile::~COutputFile() {
    Close();
}

bool COutputFile::Open(const std::string& path, OpenMode mode) {
    Close();
    // A new file is cut to nothing only after the lock is held, so that a
    // second writer cannot destroy the file of the first.
    CFile::Mode fileMode =
        mode == OpenMode::Create ? CFile::Mode::CreateReadWrite : CFile::Mode::ReadWriteExisting;
    if (!file_.Open(path, fileMode)) return false;
    if (::flock(file_.Descriptor(), LOCK_EX | LOCK_NB) != 0) {
        file_.Close();
        return false;
    }
    int64_t length = 0;
    if (mode == OpenMode::Create) {
        if (!file_.Truncate(0)) length = -1;
    } else {
        length = file_.Size();
        if (length >= 0 && !file_.Seek(length)) length = -1;
    }
    if (length < 0) {
        file_.Close();
        return false;
    }
    error_ = 0;
    if (!buffer_) buffer_ = std::make_unique<unsigned char[]>(capacity_);
    used_ = 0;
    flushed_ = length;
    length_ = length;
    failed_ = false;
    writable_ = capacity_;
    return true;
}

void COutputFile::Fail() {
    error_ = errno;
    failed_ = true;
    writable_ = 0;
    used_ = 0;
}

bool COutputFile::WriteSlow(const void* data, size_t n) {
    if (!file_.IsOpen() || failed_) return false;
    if (!Flush()) return false;
    if (n >= capacity_) {  // a block of its own: no copy
        if (!file_.Write(data, n)) {
            Fail();
            return false;
        }
        flushed_ += static_cast<int64_t>(n);
        length_ = std::max(length_, flushed_);
        return true;
    }
    std::memcpy(buffer_.get(), data, n);
    used_ = n;
    return true;
}

bool COutputFile::Flush() {
    if (!file_.IsOpen() || failed_) return false;
    if (used_ == 0) return true;
    if (!file_.Write(buffer_.get(), used_)) {
        Fail();
        return false;
    }
    flushed_ += static_cast<int64_t>(used_);
    length_ = std::max(length_, flushed_);
    used_ = 0;
    return true;
}

bool COutputFile::SeekTo(int64_t offset) {
    if (!file_.IsOpen() || failed_ || offset < 0) return false;
    if (offset == flushed_ + static_cast<int64_t>(used_)) return true;
    if (!Flush()) return false;
    if (!file_.Seek(offset)) {
        Fail();
        return false;
    }
    flushed_ = offset;
    return true;
}

bool COutputFile::Truncate(int64_t length) {
    if (!file_.IsOpen() || failed_ || length < 0 || length > BytesWritten()) return false;
    const int64_t gatheredEnd = flushed_ + static_cast<int64_t>(used_);
    if (length >= flushed_ && length <= gatheredEnd && length_ <= length) {
        used_ = static_cast<size_t>(length - flushed_);  // only gathered bytes are dropped
        return true;
    }
    // Gathered bytes below the cut (after a seek back) go to the file first;
    // those above it are dropped.
    if (length > flushed_ && !Flush()) return false;
    used_ = 0;
    if (!file_.Truncate(length) || !file_.Seek(length)) {
        Fail();
        return false;
    }
    flushed_ = length;
    length_ = length;
    return true;
}

bool COutputFile::Close() {
    if (!file_.IsOpen()) return true;
    bool ok = Flush();
    if (!file_.Close()) {
        if (ok) error_ = errno;
        ok = false;
    }
    used_ = 0;
    flushed_ = 0;
    length_ = 0;
    writable_ = 0;
    failed_ = false;
    return ok;
}

}  // namespace vexlo
