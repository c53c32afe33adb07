#include "cli/app_dir_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vexlo::cli {

CAppDirLock::~CAppDirLock() {
    if (fd_ >= 0) ::close(fd_);
}

bool CAppDirLock::TryAcquire(const std::string& path, std::string* why) {
    if (fd_ >= 0) return true;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        *why = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        ::close(fd);
        *why = error == EWOULDBLOCK
                   ? "another vexlo-cli is working in this directory; try again when it has "
                     "finished"
                   : "cannot lock " + path + ": " + std::strerror(error);
        return false;
    }
    fd_ = fd;
    return true;
}

}  // namespace vexlo::cli
