// COutputFile: the buffered writer of a decoded output file.
//
// The retrieval appends each decoded line (at most 63 bytes) with Write; the
// writer gathers them and writes large blocks. Flush() hands every gathered
// byte to the operating system, so that once it returns the first
// BytesWritten() bytes of the file are complete even if the process is killed
// (the retrieval flushes before it records a resume point). Data goes to the
// current position: a fresh file starts empty, a resumed one at its length,
// and SeekTo moves it (yEnc parts carry the offset of their bytes, and may
// arrive in any order, leaving holes until the missing parts come).
//
// While open the file is held with an exclusive lock, so that two channels
// that picked the same name never write into one file: the second open fails.
//
// A false from Write, Flush, Truncate or Close means the file can no longer be
// trusted (a full disk, an I/O error); the writer then refuses every write
// until it is closed. The caller deletes such a file.
//
// Owned by the one channel thread that runs the download.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "platform/file.h"

namespace vexlo {

class COutputFile {
  public:
    enum class OpenMode {
        Create,        // create the file, or cut an existing one to nothing
        OpenExisting,  // open an existing file without cutting it; writes append
    };

    static constexpr size_t kDefaultBufferSize = 256 * 1024;

    explicit COutputFile(size_t bufferSize = kDefaultBufferSize);
    // Closes the file, writing what is gathered.
    ~COutputFile();
    COutputFile(const COutputFile&) = delete;
    COutputFile& operator=(const COutputFile&) = delete;

    // Opens path for reading and writing (closing any file open before).
    // False when the file cannot be opened (OpenExisting: also when it is
    // missing) or another writer holds it.
    bool Open(const std::string& path, OpenMode mode);
    bool IsOpen() const { return file_.IsOpen(); }

    // Appends n bytes.
    bool Write(const void* data, size_t n) {
        if (used_ + n < writable_) {
            std::memcpy(buffer_.get() + used_, data, n);
            used_ += n;
            return true;
        }
        return WriteSlow(data, n);
    }

    // Room for up to n bytes at the end of the gathered bytes, for a caller
    // that decodes straight into it and then hands the count to Commit; null
    // when less room is left (the caller then writes through Write).
    unsigned char* Room(size_t n) {
        return used_ + n < writable_ ? buffer_.get() + used_ : nullptr;
    }
    // Appends the first n bytes (at most the n asked of Room) put into Room.
    void Commit(size_t n) { used_ += n; }

    // Writes every gathered byte to the file.
    bool Flush();

    // Logical length of the file: its length on disk, or the end of the
    // gathered bytes when they reach beyond it.
    int64_t BytesWritten() const {
        return used_ == 0 ? length_ : std::max(length_, flushed_ + static_cast<int64_t>(used_));
    }

    // Moves the position of the next write to offset (beyond the end leaves a
    // hole, which reads as zeros). Free when the position is there already.
    bool SeekTo(int64_t offset);

    // Cuts the file back to length (at most BytesWritten()); later writes go there.
    bool Truncate(int64_t length);

    // Flushes and closes. False when a write or the close failed. Closing a
    // writer that is not open is true.
    bool Close();

    // The system's error number of the last failure (0 when none since the open).
    int Error() const { return error_; }

  private:
    bool WriteSlow(const void* data, size_t n);
    void Fail();

    CFile file_;
    size_t capacity_;
    std::unique_ptr<unsigned char[]> buffer_;  // allocated at the first open
    size_t used_ = 0;                          // gathered bytes not yet written
    size_t writable_ = 0;  // capacity_ while open and sound, else 0 (keeps Write's test single)
    int64_t flushed_ = 0;  // the file's position: where the gathered bytes go
    int64_t length_ = 0;   // the file's length on disk
    bool failed_ = false;
    int error_ = 0;
};

}  // namespace vexlo
