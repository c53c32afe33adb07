// Ctrl-C, SIGHUP (a closed terminal or a lost ssh session) and SIGTERM while a
// command runs: the handler only raises a flag that the command's loop polls,
// so the command can stop cleanly and save.
#pragma once

#include <signal.h>

#include <atomic>

namespace vexlo::cli {

// Raised by SIGINT, SIGHUP or SIGTERM while a CInterruptGuard exists
// (lock-free, so the signal handler may set it).
extern std::atomic<bool> gInterrupted;
// How many of those signals came since the guard was made.
extern std::atomic<int> gInterrupts;
// The first of them (0 before any).
extern std::atomic<int> gFirstSignal;

// The exit status of a command stopped by a signal, as a shell reports a
// process the signal ended: 128 + its number (130 Ctrl-C, 129 SIGHUP, 143 SIGTERM).
int InterruptedExitStatus();

class CInterruptGuard {
  public:
    CInterruptGuard();
    ~CInterruptGuard();
    CInterruptGuard(const CInterruptGuard&) = delete;
    CInterruptGuard& operator=(const CInterruptGuard&) = delete;

  private:
    static constexpr int kSignals[] = {SIGINT, SIGHUP, SIGTERM};
    struct sigaction previous_[3] = {};
};

}  // namespace vexlo::cli
