#include "decode/retrieve_binary.h"
#include "tasks/task.h"
#include "tasks/task_handlers.h"

namespace vexlo {

void RegisterStandardHandlers(CTaskHandlers& handlers) {
    // The scan handler (types 1 and 2) is registered here when it arrives.
    handlers.Register(kTaskDecode,
                      [](CTaskThread& channel, CTask& task) { RetrieveBinary(channel, task); });
}

}  // namespace vexlo
