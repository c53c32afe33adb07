#include "core/debug_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/named_locks.h"

namespace vexlo {

bool CDebugLog::OpenLog(const std::string& path) {
    CloseLog();
    if (FileSize(path) > kRotateBytes) {
        std::string old = path;
        size_t dot = old.rfind('.');
        size_t slash = old.rfind('/');
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
            old.resize(dot);
        RenameFile(path, old + ".OLD");
    }
    if (!file_.Open(path, CFile::Mode::Append)) return false;
    open_ = true;
    return true;
}

bool CDebugLog::CloseLog() {
    if (!open_.exchange(false)) return true;
    return file_.Close();
}

bool CDebugLog::WriteLog(const char* text, int length) {
    if (!open_) return false;
    size_t n = length < 0 ? std::strlen(text) : static_cast<size_t>(length);
    if (!locks_.LockWithRetries(kDebugLogLock, 10)) return false;
    bool ok = file_.Write(text, n);
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
