#include "ui/app_directory.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "decode/file_utils.h"

namespace vexlo::ui {

std::string UserAppDirectory() {
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (data && *data == '/') {
        base = data;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home && *home ? home : "/tmp") + "/.local/share";
    }
    if (base.back() != '/') base += '/';
    return base + "vexlo/";
}

bool EnterUserAppDirectory(std::string* error) {
    std::string dir = UserAppDirectory();
    if (!CreateDirectoryPath(dir) || ::chdir(dir.c_str()) != 0) {
        if (error) *error = dir + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace vexlo::ui
