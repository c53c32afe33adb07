#include "cli/interrupt.h"

namespace vexlo::cli {

std::atomic<bool> gInterrupted{false};
std::atomic<int> gInterrupts{0};

namespace {
void OnInterrupt(int) {
    gInterrupted = true;
    ++gInterrupts;
}
}  // namespace

CInterruptGuard::CInterruptGuard() {
    static_assert(std::atomic<bool>::is_always_lock_free);
    static_assert(std::atomic<int>::is_always_lock_free);
    gInterrupted = false;
    gInterrupts = 0;
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousInt_);
    sigaction(SIGTERM, &action, &previousTerm_);
}

CInterruptGuard::~CInterruptGuard() {
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
}

}  // namespace vexlo::cli
