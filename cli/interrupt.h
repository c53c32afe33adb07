// Ctrl-C (and SIGTERM) while a command runs: the handler only raises a flag
// that the command's loop polls, so the command can stop cleanly and save.
#pragma once

#include <signal.h>

#include <atomic>

namespace vexlo::cli {

// Raised by SIGINT/SIGTERM while a CInterruptGuard exists (lock-free, so the
// signal handler may set it).
extern std::atomic<bool> gInterrupted;
// How many of those signals came since the guard was made.
extern std::atomic<int> gInterrupts;

class CInterruptGuard {
  public:
    CInterruptGuard();
    ~CInterruptGuard();
    CInterruptGuard(const CInterruptGuard&) = delete;
    CInterruptGuard& operator=(const CInterruptGuard&) = delete;

  private:
    struct sigaction previousInt_ = {}, previousTerm_ = {};
};

}  // namespace vexlo::cli
