// _QUEUE.DAT: the queue's load, read-only and as the owner, and the round trip
// of what it loaded.
#include "fuzz_support.h"
#include "platform/file.h"
#include "tasks/download_queue.h"

using namespace vexlo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CAppContext& context = fuzz::Context();
    CDownloadQueue reader(context);
    fuzz::WriteInput(reader.QueuePath(), data, size);
    reader.LoadQueue(FileAccess::kReadOnly);

    CDownloadQueue owner(context);
    owner.LoadQueue(FileAccess::kOwner);
    fuzz::Require(owner.Count() == reader.Count(), "both loads read the same rows");
    owner.SaveQueueFile();
    CDownloadQueue again(context);
    again.LoadQueue(FileAccess::kReadOnly);
    fuzz::Require(again.Count() == owner.Count(), "saved rows load back");
    RemoveFile(reader.QueuePath());
    RemoveFile(reader.QueuePath() + ".bad");
    return 0;
}
