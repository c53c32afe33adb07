// _GROUPS.DAT: the group file reader, the list's load, and the round trip of
// the records read.
#include "fuzz_support.h"
#include "groups/group_file.h"
#include "groups/group_list.h"
#include "platform/file.h"

using namespace vexlo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CAppContext& context = fuzz::Context();
    CGroupList list(context);
    fuzz::WriteInput(list.GroupFilePath(), data, size);
    GroupFileContents read = ReadGroupFile(list.GroupFilePath());
    list.LoadGroupFile(FileAccess::kOwner);
    fuzz::Require(list.Count() == static_cast<int>(read.records.size()), "the list holds them all");

    std::string error;
    fuzz::Require(WriteGroupFile(list.GroupFilePath(), read.records, error), "written");
    GroupFileContents back = ReadGroupFile(list.GroupFilePath());
    fuzz::Require(!back.damaged && back.records == read.records, "records read back as written");
    RemoveFile(list.GroupFilePath() + ".bad");
    return 0;
}
