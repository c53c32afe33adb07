// One vexlo-cli at a time changes an application directory. Every command
// that writes the settings, the group list or the queue reads them at its
// start and writes them back at its end, so a second process working beside
// a running `run` would have its changes overwritten (or overwrite the run's
// resume points). Such commands hold an exclusive lock on DATA/_CLI.LCK; the
// system drops it when the process ends, however it ends.
#pragma once

#include <string>

namespace vexlo::cli {

class CAppDirLock {
  public:
    CAppDirLock() = default;
    ~CAppDirLock();
    CAppDirLock(const CAppDirLock&) = delete;
    CAppDirLock& operator=(const CAppDirLock&) = delete;

    // Takes the lock without waiting. False when another process holds it or
    // the lock file cannot be opened; *why then says which.
    bool TryAcquire(const std::string& path, std::string* why);
    bool Held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

}  // namespace vexlo::cli
