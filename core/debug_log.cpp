#include "core/debug_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/named_locks.h"
#include "platform/tick.h"

namespace vexlo {

namespace {
// "DEBUG.TXT" -> "DEBUG.OLD": the extension of the file name replaced.
std::string OldPath(const std::string& path) {
    std::string old = path;
    size_t dot = old.rfind('.');
    size_t slash = old.rfind('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) old.resize(dot);
    return old + ".OLD";
}
}  // namespace

void CDebugLog::LockFile() {
    // Writers hold the lock only for one write, so this wait is short.
    while (!locks_.TryLock(kDebugLogLock)) Sleep(5);
}

bool CDebugLog::OpenFile() {
    if (FileSize(path_) > kRotateBytes) RenameFile(path_, OldPath(path_));
    if (!file_.Open(path_, CFile::Mode::Append)) return false;
    size_ = file_.Size();
    open_ = true;
    return true;
}

bool CDebugLog::OpenLog(const std::string& path) {
    LockFile();
    if (open_.exchange(false)) file_.Close();
    path_ = path;
    bool ok = OpenFile();
    locks_.Unlock(kDebugLogLock);
    return ok;
}

bool CDebugLog::CloseLog() {
    LockFile();
    bool ok = !open_.exchange(false) || file_.Close();
    locks_.Unlock(kDebugLogLock);
    return ok;
}

bool CDebugLog::WriteLog(const char* text, int length) {
    if (text == nullptr || !open_) return false;
    size_t n = length < 0 ? std::strlen(text) : static_cast<size_t>(length);
    if (!locks_.LockWithRetries(kDebugLogLock, 10)) return false;
    bool ok = false;
    if (open_) {  // CloseLog may have run while this writer waited
        if (size_ > kRotateBytes) {
            // A long run keeps the previous 4 MB as DEBUG.OLD and begins afresh.
            file_.Close();
            open_ = false;
            OpenFile();
        }
        ok = open_ && file_.Write(text, n);
        if (ok) size_ += static_cast<int64_t>(n);
    }
    locks_.Unlock(kDebugLogLock);
    return ok;
}

bool CDebugLog::LogPrintf(const char* format, ...) {
    if (!open_) return false;
    char buffer[kFormatBytes];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n <= 0) return false;
    if (static_cast<size_t>(n) >= sizeof buffer) n = static_cast<int>(sizeof buffer) - 1;
    return WriteLog(buffer, n);
}

}  // namespace vexlo
