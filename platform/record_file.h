// Record-level file access for the data files: the header database (.XOV,
// .XOT, .MSG, .BIN, .NEW, .OLD) and the queue file.
//
// The group files hold millions of small records, so nothing here costs a
// system call per record:
//   - CRecordReader reads a file front to back through a buffer;
//   - CRecordWriter collects records in a buffer and writes it in large blocks;
//   - CMappedFile maps a whole file read-only for random access by offset
//     (the subject sort and passes in subject order);
//   - CReplacementFile writes a new version of a file under "<name>.tmp" and
//     renames it over the name, so a killed process never leaves a half
//     written file under the real name.
// All integers of the formats are little-endian unsigned 32-bit values.
// Each object is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"

namespace vexlo {

inline void StoreU32(char* p, uint32_t v) {
    p[0] = static_cast<char>(v);
    p[1] = static_cast<char>(v >> 8);
    p[2] = static_cast<char>(v >> 16);
    p[3] = static_cast<char>(v >> 24);
}

inline uint32_t LoadU32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return static_cast<uint32_t>(u[0]) | static_cast<uint32_t>(u[1]) << 8 |
           static_cast<uint32_t>(u[2]) << 16 | static_cast<uint32_t>(u[3]) << 24;
}

// Sequential buffered reader over an open file, starting at its first byte;
// the reader owns the file's position while it is used. A short read (end of file or
// an I/O error) makes the operation return false and leaves the position
// where it was.
class CRecordReader {
  public:
    explicit CRecordReader(CFile& file, size_t bufferSize = 256 * 1024);

    // Makes n bytes at the current position available without consuming
    // them; nullptr when fewer remain. Valid until the next call.
    const char* Peek(size_t n);
    void Advance(size_t n) { pos_ += n; }
    bool Read(void* out, size_t n);
    bool ReadU32(uint32_t& value);
    bool Skip(uint64_t n);
    bool Seek(uint64_t position);
    uint64_t Tell() const { return base_ + pos_; }
    // Bytes between the position and the end the file had when the reader was made.
    uint64_t Remaining() const { return size_ > Tell() ? size_ - Tell() : 0; }

  private:
    bool Fill(size_t n);

    CFile& file_;
    std::vector<char> buffer_;
    uint64_t base_ = 0;  // file offset of buffer_[0]
    size_t pos_ = 0;     // read position inside buffer_
    size_t end_ = 0;     // bytes of buffer_ that hold file data
    uint64_t size_ = 0;
};

// Buffered writer over an open file. The first failed write makes every later
// call fail; the destructor flushes what is left (errors then go unreported:
// call Flush to see them).
class CRecordWriter {
  public:
    explicit CRecordWriter(CFile& file, size_t bufferSize = 1024 * 1024);
    ~CRecordWriter();
    CRecordWriter(const CRecordWriter&) = delete;
    CRecordWriter& operator=(const CRecordWriter&) = delete;

    bool Write(const void* data, size_t n);
    bool Write(std::string_view text) { return Write(text.data(), text.size()); }
    bool WriteU32(uint32_t value);
    bool WriteU32s(const std::vector<uint32_t>& values);
    bool Flush();
    bool Ok() const { return ok_; }

  private:
    CFile& file_;
    const size_t capacity_;  // the size the buffer may grow to
    std::vector<char> buffer_;
    size_t used_ = 0;
    bool ok_ = true;
};

// A whole file mapped read-only. An empty file maps to an empty view. The file
// must not be shortened while it is mapped (the header database files are
// rewritten only by replacement, never truncated in place).
class CMappedFile {
  public:
    CMappedFile() = default;
    ~CMappedFile();
    CMappedFile(const CMappedFile&) = delete;
    CMappedFile& operator=(const CMappedFile&) = delete;

    // Opens the file read-only and maps all of it; false when it cannot.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return open_; }
    std::string_view Data() const { return {data_, size_}; }
    uint64_t Size() const { return size_; }

  private:
    const char* data_ = nullptr;
    size_t size_ = 0;
    bool open_ = false;
};

// Writes a new version of `path` under `path + ".tmp"`; Commit renames it over
// `path`. Without Commit the temporary file is removed. The data is not forced
// to the disk: the header database can always be rebuilt by a scan.
class CReplacementFile {
  public:
    explicit CReplacementFile(std::string path);
    ~CReplacementFile();
    CReplacementFile(const CReplacementFile&) = delete;
    CReplacementFile& operator=(const CReplacementFile&) = delete;

    bool Open();
    CFile& File() { return file_; }
    // Closes and renames; false (temporary removed, target untouched) on failure.
    bool Commit();
    // Closes and removes the temporary file.
    void Discard();
    const std::string& TempPath() const { return temp_; }

  private:
    std::string path_;
    std::string temp_;
    CFile file_;
    bool pending_ = false;
};

}  // namespace vexlo
