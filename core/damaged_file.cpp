#include "core/damaged_file.h"

#include "platform/file.h"

namespace vexlo {

std::string KeepDamagedCopy(const std::string& path) {
    CFile in;
    if (!in.Open(path, CFile::Mode::Read)) return "";
    const std::string copyPath = path + ".bad";
    CAtomicFile out(copyPath);
    if (!out.Open()) return "";
    char buffer[64 * 1024];
    for (;;) {
        int64_t n = in.Read(buffer, sizeof buffer);
        if (n < 0) return "";
        if (n == 0) break;
        if (!out.Write(buffer, static_cast<size_t>(n))) return "";
    }
    return out.Commit() ? copyPath : "";
}

std::string DamagedCopyNote(const std::string& copyPath) {
    return "\r\nA copy of the damaged file was kept as " + copyPath + ".";
}

}  // namespace vexlo
