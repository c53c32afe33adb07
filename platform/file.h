// Files with the exact open modes the data formats need, and atomic replacement.
//
// CFile owns one POSIX file descriptor (closed by the destructor). Reads and
// writes loop over short transfers; failures are results, never exceptions.
// A CFile is used by one thread at a time.
//
// CAtomicFile writes a whole new version of a file next to it ("name.tmp"),
// and Commit() flushes it to disk and renames it over the old one, so a crash
// or a full disk at any moment leaves either the old or the new file, whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vexlo {

class CFile {
  public:
    enum class Mode {
        Read,               // existing file, read only
        ReadWriteExisting,  // existing file, read and write, not truncated
        CreateTruncate,     // created or truncated, write only
        CreateReadWrite,    // created when missing, not truncated, read and write
        CreateExclusive,    // created; fails when the file exists
        Append,             // created when missing; every write goes to the end
    };

    CFile() = default;
    ~CFile();
    CFile(CFile&& other) noexcept;
    CFile& operator=(CFile&& other) noexcept;
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    bool Open(const std::string& path, Mode mode);
    bool IsOpen() const { return fd_ >= 0; }
    // Closes the file; false when the close reported an error.
    bool Close();

    // Reads up to n bytes; returns the count read (0 at the end), -1 on error.
    int64_t Read(void* buffer, size_t n);
    // Reads exactly n bytes; false on error or a short file.
    bool ReadExact(void* buffer, size_t n);
    // Writes all n bytes; false on error (for example a full disk).
    bool Write(const void* buffer, size_t n);
    bool Seek(int64_t offset);
    int64_t Size() const;
    bool Truncate(int64_t length);
    // Flushes the file's data to the disk.
    bool Sync();
    int Descriptor() const { return fd_; }

  private:
    int fd_ = -1;
};

class CAtomicFile {
  public:
    explicit CAtomicFile(std::string path);
    // Removes the temporary file unless Commit succeeded.
    ~CAtomicFile();
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;

    // Creates the temporary file; false when it cannot be created.
    bool Open();
    bool Write(const void* buffer, size_t n);
    // Flushes, closes and renames over the target. False leaves the target as it was.
    bool Commit();
    const std::string& TempPath() const { return temp_; }

  private:
    std::string path_;
    std::string temp_;
    CFile file_;
    bool failed_ = false;
    bool committed_ = false;
};

bool RemoveFile(const std::string& path);
bool RenameFile(const std::string& from, const std::string& to);
// Size of the file at path, -1 when it does not exist or cannot be examined.
int64_t FileSize(const std::string& path);

namespace testing {
// Makes CFile::Write on the calling thread behave as on a disk with `bytes`
// bytes free (negative: no limit): a write that does not fit writes what still
// fits and fails, and every later write fails. Lets tests simulate a full disk.
void FailWritesAfter(int64_t bytes);
// The same for every thread at once (bytes counted over all of them), failing
// with `error` (ENOSPC, EDQUOT, ...): a disk that fills up under the channels.
void FailWritesEverywhereAfter(int64_t bytes, int error);
}  // namespace testing

}  // namespace vexlo
