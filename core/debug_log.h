// CDebugLog: the process-wide diagnostic log file DEBUG.TXT.
//
// Channel threads write diagnostic texts exactly as given (no time stamp, no
// line end added). Each run appends to the file; when the file has grown past
// kRotateBytes at open, it is first kept as DEBUG.OLD and a fresh file begun.
// Writers are kept apart by the named lock "VX2KLOG": a writer that cannot take
// it within 10 attempts drops its text, so logging never blocks for long.
// Thread-safe: OpenLog/CloseLog on the main thread before/after the channels;
// WriteLog/LogPrintf from any thread.
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

    // Writes `length` bytes of text (negative: the text's own length).
    bool WriteLog(const char* text, int length = -1);
    // printf-style, bounded to 4096 bytes; an empty result writes nothing.
    bool LogPrintf(const char* format, ...) __attribute__((format(printf, 2, 3)));

  private:
    CNamedLocks& locks_;
    CFile file_;                     // written only while "VX2KLOG" is held
    std::atomic<bool> open_{false};  // file_ is open
};

}  // namespace vexlo
