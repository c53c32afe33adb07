#include "tasks/task_handlers.h"

#include "tasks/task.h"

namespace vexlo {

namespace {

void Fail(CTask& task, const char* status) {
    task.SetResult(kResultError);
    task.SetStatusText(status);
    task.SetInProgress(0);
}

}  // namespace

CTaskHandlers::CTaskHandlers() {
    handlers_[kTaskUndefined] = [](CTaskThread&, CTask& task) { Fail(task, "Unknown Task Type"); };
    for (uint32_t type = kTaskScanNew; type <= kTaskGet; ++type)
        handlers_[type] = [](CTaskThread&, CTask& task) {
            Fail(task, "Task Type Not Implemented Yet");
        };
}

void CTaskHandlers::Register(uint32_t type, TaskHandler handler) {
    if (type < handlers_.size()) handlers_[type] = std::move(handler);
}

void CTaskHandlers::Run(CTaskThread& channel, CTask& task) const {
    uint32_t type = task.GetType();
    handlers_[type < handlers_.size() ? type : kTaskUndefined](channel, task);
}

}  // namespace vexlo
