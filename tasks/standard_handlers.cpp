#include "decode/retrieve_binary.h"
#include "groups/scan_group.h"
#include "tasks/task.h"
#include "tasks/task_handlers.h"

namespace vexlo {

void RegisterStandardHandlers(CTaskHandlers& handlers) {
    handlers.Register(kTaskScanNew, ScanGroup);
    handlers.Register(kTaskScanAll, ScanGroup);
    handlers.Register(kTaskDecode,
                      [](CTaskThread& channel, CTask& task) { RetrieveBinary(channel, task); });
}

}  // namespace vexlo
