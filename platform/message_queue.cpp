#include "platform/message_queue.h"

#include <chrono>

namespace vexlo {

bool CThreadMessageQueue::Post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    std::function<void()> wakeup;
    {
        std::lock_guard lock(mutex_);
        if (quit_) return false;
        messages_.push_back({message, wParam, lParam});
        wakeup = wakeup_;
    }
    ready_.notify_one();
    if (wakeup) wakeup();
    return true;
}

void CThreadMessageQueue::SetWakeup(std::function<void()> wakeup) {
    std::lock_guard lock(mutex_);
    wakeup_ = std::move(wakeup);
}

void CThreadMessageQueue::PostQuit() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    ready_.notify_all();
}

bool CThreadMessageQueue::Get(ThreadMessage& out) {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [this] { return !messages_.empty() || quit_; });
    if (messages_.empty()) return false;
    out = messages_.front();
    messages_.pop_front();
    return true;
}

bool CThreadMessageQueue::GetFor(ThreadMessage& out, uint32_t timeoutMs, bool* quit) {
    std::unique_lock lock(mutex_);
    ready_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                    [this] { return !messages_.empty() || quit_; });
    if (messages_.empty()) {
        if (quit) *quit = quit_;
        return false;
    }
    out = messages_.front();
    messages_.pop_front();
    return true;
}

std::optional<ThreadMessage> CThreadMessageQueue::Peek() {
    std::lock_guard lock(mutex_);
    if (messages_.empty()) return std::nullopt;
    ThreadMessage m = messages_.front();
    messages_.pop_front();
    return m;
}

}  // namespace vexlo
