// CTaskThread: one channel — a worker thread with its own message queue and
// its own news server connection, running one task at a time.
//
// The main thread posts WM_TASK_RUN / WM_TASK_IDLE / WM_TASK_QUIT; the channel
// ends every run by posting WM_TASK_DONE (task, channel index) to the main
// thread's queue. The connection belongs to the channel thread (handlers use
// it there); the abort flag is written by the main thread and polled by the
// channel.
//
// A channel may start with a connection opened (and logged in) elsewhere on
// the main thread, handed over before its thread starts: its first task then
// skips the connect, as any later task on an open connection does.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "nntp/nntp_connection.h"
#include "platform/message_queue.h"

namespace vexlo {

class CAppContext;
class CTask;
class CTaskHandlers;

class CTaskThread {
  public:
    // `openConnection`, when given, is the channel's connection from the start.
    CTaskThread(CAppContext& context, const CTaskHandlers& handlers, int channelIndex,
                CThreadMessageQueue& notify, std::unique_ptr<CNntpConnection> openConnection = {});
    // Ends the thread (abort, quit, join) if it still runs.
    ~CTaskThread();
    CTaskThread(const CTaskThread&) = delete;
    CTaskThread& operator=(const CTaskThread&) = delete;

    bool Start();
    bool Post(uint32_t message, uintptr_t wParam = 0) { return queue_.Post(message, wParam); }
    // Sets the abort flag, posts WM_TASK_QUIT and waits for the thread to end.
    void Stop();

    // For handlers, on the channel's thread.
    CAppContext& Context() { return context_; }
    CNntpConnection& Connection() { return *connection_; }
    int Index() const { return index_; }
    bool AbortRequested() const { return abort_.load() != 0; }
    const std::atomic<uint32_t>& AbortFlag() const { return abort_; }
    // Sleeps up to `ms`, waking early (false) when the abort flag is set.
    bool SleepUnlessAborted(uint32_t ms) const;

    // For the main thread.
    void SetAbort(uint32_t value) { abort_ = value; }

  private:
    void Loop();
    void RunTask(CTask& task);
    bool ConnectChannel(CTask& task);

    CAppContext& context_;
    const CTaskHandlers& handlers_;
    const int index_;
    CThreadMessageQueue& notify_;
    CThreadMessageQueue queue_;
    std::unique_ptr<CNntpConnection> connection_;  // used on the channel thread only
    std::atomic<uint32_t> abort_{0};
    std::thread thread_;
};

}  // namespace vexlo
