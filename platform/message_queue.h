// A thread message queue with post semantics.
//
// Any thread may Post(); one consumer thread calls Get(), which blocks until a
// message arrives. Messages are delivered in the order they were posted.
// PostQuit() makes Get() return false once every message posted before it has
// been taken. Thread-safe: guarded by mutex_.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

namespace vexlo {

struct ThreadMessage {
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

class CThreadMessageQueue {
  public:
    // Appends a message; never blocks for long. Returns false after PostQuit.
    bool Post(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
    // Marks the end of the stream: Get() returns false once it is reached.
    void PostQuit();
    // Waits for the next message; false when the quit mark was reached.
    bool Get(ThreadMessage& out);
    // Like Get, but gives up after `timeoutMs`. On false, `*quit` (when given)
    // tells the two cases apart: true when the quit mark was reached, false on timeout.
    bool GetFor(ThreadMessage& out, uint32_t timeoutMs, bool* quit = nullptr);
    // Takes the next message if one is waiting.
    std::optional<ThreadMessage> Peek();
    // Called on the posting thread after every Post, outside the lock, so a
    // consumer that runs an event loop of its own (the GUI) can wake it. Set it
    // before any thread posts; clear it before the consumer goes away.
    void SetWakeup(std::function<void()> wakeup);

  private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<ThreadMessage> messages_;  // guarded by mutex_
    bool quit_ = false;                   // guarded by mutex_
    std::function<void()> wakeup_;        // guarded by mutex_ (copied out before the call)
};

}  // namespace vexlo
