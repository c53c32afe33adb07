// CDebugLog: the process-wide diagnostic log file DEBUG.TXT.
//
// Channel threads write diagnostic texts exactly as given (no time stamp, no
// line end added). Each run appends to the file; once the file has grown past
// kRotateBytes (found at open or during the run), it is kept as DEBUG.OLD and a
// fresh file begun. Writers are kept apart by the named lock "VX2KLOG": a writer
// that cannot take it within 10 attempts drops its text, so logging never
// blocks for long.
// Thread-safe: any thread may write; file_, path_ and size_ are touched only
// while "VX2KLOG" is held, and OpenLog/CloseLog wait for it, so a write never
// meets a file that is being closed.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/file.h"

namespace vexlo {

class CNamedLocks;

class CDebugLog {
  public:
    static constexpr int64_t kRotateBytes = 4 * 1024 * 1024;
    static constexpr size_t kFormatBytes = 4096;

    explicit CDebugLog(CNamedLocks& locks) : locks_(locks) {}

    // Opens (creating when missing) for appending; a failure leaves the log closed.
    bool OpenLog(const std::string& path);
    bool CloseLog();
    bool IsOpen() const { return open_.load(); }

    // Writes `length` bytes of text (negative: the text's own length). False when
    // the log is closed, the lock stayed busy, or the write failed.
    bool WriteLog(const char* text, int length = -1);
    // printf-style, bounded to 4096 bytes; an empty result writes nothing.
    bool LogPrintf(const char* format, ...) __attribute__((format(printf, 2, 3)));

  private:
    void LockFile();  // takes "VX2KLOG", waiting as long as it takes
    bool OpenFile();  // requires "VX2KLOG" held

    CNamedLocks& locks_;
    std::string path_;               // guarded by "VX2KLOG"
    CFile file_;                     // guarded by "VX2KLOG"
    int64_t size_ = 0;               // bytes in the file; guarded by "VX2KLOG"
    std::atomic<bool> open_{false};  // file_ is open; changed only under "VX2KLOG"
};

}  // namespace vexlo
