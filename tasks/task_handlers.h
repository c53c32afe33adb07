// The task handlers, looked up by task type. A handler runs on a channel
// thread and leaves its outcome in the task: on success result 2; on a
// permanent failure result 3 and inProgress 0; on a transient failure only
// a status text (connection closed, inProgress left at 1, so the run loop
// tries again); after an abort it returns soon, leaving the result alone.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

namespace vexlo {

class CTask;
class CTaskThread;

using TaskHandler = std::function<void(CTaskThread& channel, CTask& task)>;

class CTaskHandlers {
  public:
    // Type 0 ("Unknown Task Type") and type 4 ("Task Type Not Implemented Yet")
    // fail at once; types 1-3 fail like type 4 until a handler is registered.
    CTaskHandlers();

    void Register(uint32_t type, TaskHandler handler);
    void Run(CTaskThread& channel, CTask& task) const;

  private:
    std::array<TaskHandler, 5> handlers_;
};

// The handlers of the real program: header scans (types 1, 2) and downloads (type 3).
void RegisterStandardHandlers(CTaskHandlers& handlers);

}  // namespace vexlo
