#include "core/app_dirs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "core/message_box.h"
#include "decode/file_utils.h"

namespace vexlo {

std::string ReadAppDirectory() {
    char buffer[PATH_MAX];
    if (::getcwd(buffer, sizeof buffer) == nullptr) return {};
    std::string dir = buffer;
    if (!dir.empty()) SetTrailingBackslash(true, dir);
    return dir;
}

std::string GetDataPath(const std::string& appDir) {
    return appDir + "DATA/";
}
std::string GetProfilePath(const std::string& appDir) {
    return appDir + "DATA/_SETUP.INI";
}
std::string GetDebugLogPath(const std::string& appDir) {
    return appDir + "DEBUG.TXT";
}

bool CreateAppDirectories(const std::string& appDir, IMessageBox& messageBox) {
    for (const char* name : {"DATA", "LOGS"}) {
        std::string path = appDir + name;
        if (DirectoryExists(path)) continue;
        if (::mkdir(path.c_str(), 0755) != 0 && !DirectoryExists(path)) {
            messageBox.Show(std::string("Error Creating '") + name +
                                "' Directory!\r\n\r\nVerify that the current working "
                                "directory\r\nis the application's directory.",
                            MessageIcon::Exclamation);
            return false;
        }
    }
    return true;
}

bool CQueueAutoSave::Due(uint32_t now, int intervalSeconds) {
    // The tick is not the machine's uptime here (it wraps at an arbitrary
    // point), so "last save at tick 0" would not reliably make the first tick due.
    if (saved_) {
        uint32_t elapsed = now >= last_ ? now - last_ : now - last_ - 1;
        if (static_cast<int64_t>(elapsed / 1000) < intervalSeconds) return false;
    }
    saved_ = true;
    last_ = now;
    return true;
}

}  // namespace vexlo
