#include "tasks/task_handlers.h"

namespace vexlo {

void RegisterStandardHandlers(CTaskHandlers& /*handlers*/) {
    // The scan and download handlers are registered here as they arrive.
}

}  // namespace vexlo
