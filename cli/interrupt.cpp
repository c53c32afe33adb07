#include "cli/interrupt.h"

namespace vexlo::cli {

std::atomic<bool> gInterrupted{false};
std::atomic<int> gInterrupts{0};
std::atomic<int> gFirstSignal{0};

namespace {
void OnInterrupt(int signal) {
    int none = 0;
    gFirstSignal.compare_exchange_strong(none, signal);
    gInterrupted = true;
    ++gInterrupts;
}
}  // namespace

int InterruptedExitStatus() {
    const int signal = gFirstSignal.load();
    return 128 + (signal != 0 ? signal : SIGINT);
}

CInterruptGuard::CInterruptGuard() {
    static_assert(std::atomic<bool>::is_always_lock_free);
    static_assert(std::atomic<int>::is_always_lock_free);
    gInterrupted = false;
    gInterrupts = 0;
    gFirstSignal = 0;
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &previous_[i]);
}

CInterruptGuard::~CInterruptGuard() {
    for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &previous_[i], nullptr);
}

}  // namespace vexlo::cli
