// CTaskAgent: owns the channels (1 to 8 worker threads), knows which are
// busy, and hands tasks to free channels.
//
// Main thread only: its state and busy mask are changed only there
// (ProcessTask runs in the dispatcher, ChannelDone in the task-done handling),
// so a channel never gets a second task while its run is still reporting.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "nntp/nntp_connection.h"

namespace vexlo {

class CAppContext;
class CTask;
class CTaskHandlers;
class CTaskThread;
class CThreadMessageQueue;

class CTaskAgent {
  public:
    enum State : uint32_t { kNoChannels = 0, kStopped = 1, kRunning = 2, kStopping = 3 };

    CTaskAgent(CAppContext& context, const CTaskHandlers& handlers);
    ~CTaskAgent();
    CTaskAgent(const CTaskAgent&) = delete;
    CTaskAgent& operator=(const CTaskAgent&) = delete;

    // Starts `count` channels reporting to `notify`; on failure shows
    // "Failed To Create Background Task Thread!" and returns 0 with no channels.
    // `openConnection`, when given, becomes channel 1's connection.
    int CreateChannels(int count, CThreadMessageQueue& notify,
                       std::unique_ptr<CNntpConnection> openConnection = {});
    // Aborts, ends and waits for every channel (no time limit).
    void DestroyChannels();

    int StartProcessing();
    int StopNow();
    int StopAfterCurrent();
    // The free channels as a mask while Running; 0 otherwise.
    uint32_t FreeChannels() const;
    // Hands the task to channel `channel` (1-based); 0 when that channel is busy.
    int ProcessTask(int channel, CTask* task);
    void ChannelDone(int channel, CTask* task);
    // Tells every channel without a task to close its connection.
    void IdleFreeChannels();

    State GetState() const { return state_; }
    bool IsStopped() const { return state_ == kStopped; }
    bool IsRunning() const { return state_ == kRunning; }
    bool IsStopping() const { return state_ == kStopping; }
    uint32_t BusyMask() const { return busy_; }
    // The task channel `channel` (1-based) is running, or null.
    const CTask* RunningTask(int channel) const;
    int ChannelCount() const { return static_cast<int>(channels_.size()); }

  private:
    CAppContext& context_;
    const CTaskHandlers& handlers_;
    State state_ = kNoChannels;
    uint32_t busy_ = 0;
    std::vector<std::unique_ptr<CTaskThread>> channels_;  // index n-1 is channel n
    std::vector<const CTask*> running_;                   // index n-1: channel n's task
};

}  // namespace vexlo
