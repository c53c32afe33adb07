#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <utility>

namespace vexlo {

namespace {
thread_local int64_t writeBudget = -1;  // bytes left before simulated failure; <0 = off
// The same for all threads; sharedBudget is read without the mutex only to
// keep the path of real writes free of it.
std::mutex sharedMutex;
std::atomic<int64_t> sharedBudget{-1};
int sharedError = ENOSPC;  // guarded by sharedMutex

// How many of n bytes the simulated disks take now (taken from their budgets),
// and the error of a write cut short.
size_t SimulatedRoom(size_t n, int& error) {
    size_t allowed = n;
    error = ENOSPC;
    if (writeBudget >= 0 && static_cast<int64_t>(n) > writeBudget)
        allowed = static_cast<size_t>(writeBudget);
    if (writeBudget >= 0) writeBudget -= static_cast<int64_t>(allowed);
    if (sharedBudget.load(std::memory_order_relaxed) < 0) return allowed;
    std::lock_guard lock(sharedMutex);
    int64_t budget = sharedBudget.load();
    if (budget < 0) return allowed;
    if (static_cast<int64_t>(allowed) > budget) {
        allowed = static_cast<size_t>(budget);
        error = sharedError;
    }
    sharedBudget = budget - static_cast<int64_t>(allowed);
    return allowed;
}
}  // namespace

namespace testing {
void FailWritesAfter(int64_t bytes) {
    writeBudget = bytes;
}
void FailWritesEverywhereAfter(int64_t bytes, int error) {
    std::lock_guard lock(sharedMutex);
    sharedError = error;
    sharedBudget = bytes;
}
}  // namespace testing

CFile::~CFile() {
    Close();
}

CFile::CFile(CFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

CFile& CFile::operator=(CFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

bool CFile::Open(const std::string& path, Mode mode) {
    Close();
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::Read:
            flags |= O_RDONLY;
            break;
        case Mode::ReadWriteExisting:
            flags |= O_RDWR;
            break;
        case Mode::CreateTruncate:
            flags |= O_WRONLY | O_CREAT | O_TRUNC;
            break;
        case Mode::CreateReadWrite:
            flags |= O_RDWR | O_CREAT;
            break;
        case Mode::CreateExclusive:
            flags |= O_WRONLY | O_CREAT | O_EXCL;
            break;
        case Mode::Append:
            flags |= O_WRONLY | O_CREAT | O_APPEND;
            break;
    }
    do {
        fd_ = ::open(path.c_str(), flags, 0644);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ >= 0) {
        struct stat st;
        if (::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode)) {
            Close();
            return false;
        }
    }
    return fd_ >= 0;
}

bool CFile::Close() {
    if (fd_ < 0) return true;
    int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
}

int64_t CFile::Read(void* buffer, size_t n) {
    size_t done = 0;
    auto* p = static_cast<char*>(buffer);
    while (done < n) {
        ssize_t r = ::read(fd_, p + done, n - done);
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) break;
        done += static_cast<size_t>(r);
    }
    return static_cast<int64_t>(done);
}

bool CFile::ReadExact(void* buffer, size_t n) {
    return Read(buffer, n) == static_cast<int64_t>(n);
}

bool CFile::Write(const void* buffer, size_t n) {
    if (fd_ < 0) return false;
    // A full disk takes what still fits and then fails, so the simulated one
    // writes the bytes left in the budget before failing.
    int error = ENOSPC;
    const size_t allowed = SimulatedRoom(n, error);
    size_t done = 0;
    const auto* p = static_cast<const char*>(buffer);
    while (done < allowed) {
        ssize_t w = ::write(fd_, p + done, allowed - done);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(w);
    }
    if (done < n) {
        errno = error;
        return false;
    }
    return true;
}

bool CFile::Seek(int64_t offset) {
    return ::lseek(fd_, offset, SEEK_SET) == offset;
}

int64_t CFile::Size() const {
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
    return st.st_size;
}

bool CFile::Truncate(int64_t length) {
    return fd_ >= 0 && ::ftruncate(fd_, length) == 0;
}

bool CFile::Sync() {
    return fd_ >= 0 && ::fsync(fd_) == 0;
}

CAtomicFile::CAtomicFile(std::string path) : path_(std::move(path)), temp_(path_ + ".tmp") {}

CAtomicFile::~CAtomicFile() {
    if (!committed_) {
        file_.Close();
        ::unlink(temp_.c_str());
    }
}

bool CAtomicFile::Open() {
    failed_ = !file_.Open(temp_, CFile::Mode::CreateTruncate);
    return !failed_;
}

bool CAtomicFile::Write(const void* buffer, size_t n) {
    if (failed_ || !file_.Write(buffer, n)) failed_ = true;
    return !failed_;
}

bool CAtomicFile::Commit() {
    if (failed_ || !file_.IsOpen()) return false;
    bool ok = file_.Sync();
    ok = file_.Close() && ok;
    if (!ok || ::rename(temp_.c_str(), path_.c_str()) != 0) {
        failed_ = true;
        return false;
    }
    committed_ = true;
    return true;
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

bool RenameFile(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

int64_t FileSize(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return st.st_size;
}

}  // namespace vexlo
