#include "frame/task_dialog_rules.h"

#include "decode/file_utils.h"
#include "tasks/task.h"

namespace vexlo {

namespace {

constexpr size_t kMaxDirectory = 259;

std::string Decimal(uint32_t value) {
    return std::to_string(static_cast<int32_t>(value));  // as "%d" shows it
}

}  // namespace

ChannelBoxState ChannelBox(int n, uint32_t mask, uint32_t channelMask) {
    if (n < 1 || n > 8) return {};
    uint32_t bit = 1u << (n - 1);
    if ((channelMask & bit) == 0) return {};
    return {true, (mask & bit) != 0};
}

std::string DownloadDirectory(const std::string& edit, const std::string& subfolder,
                              bool useSubfolder) {
    std::string directory = edit.substr(0, kMaxDirectory);
    if (useSubfolder && !subfolder.empty()) {
        SetTrailingBackslash(true, directory);
        directory += subfolder;
    }
    SetTrailingBackslash(true, directory);
    return directory;
}

bool PartMoveEnabled(PartMove move, int selected, int count) {
    if (selected < 0 || selected >= count) return false;
    return move == PartMove::Up || move == PartMove::Top ? selected > 0 : selected < count - 1;
}

int PartMoveTarget(PartMove move, int selected, int count) {
    if (!PartMoveEnabled(move, selected, count)) return -1;
    switch (move) {
        case PartMove::Up:
            return selected - 1;
        case PartMove::Down:
            return selected + 1;
        case PartMove::Top:
            return 0;
        default:
            return count - 1;
    }
}

std::vector<TaskInfoRow> TaskInfoRows(const CTask& task) {
    std::vector<TaskInfoRow> rows = {
        {"ID", Decimal(task.GetId())},          {"Type", task.TypeLongName()},
        {"Result Code", task.ResultLongName()}, {"Result Info", task.GetStatusText()},
        {"Newsgroup", task.GetGroupName()},     {"Title", task.GetSubject()},
        {"Directory", task.GetSaveDir()},
    };
    bool download = task.GetType() == kTaskDecode || task.GetType() == kTaskGet;
    if (download) {
        std::string file = task.GetOutputFile();
        if (!file.empty()) rows.push_back({"Filename", file});
        rows.push_back({"Parts Total", Decimal(static_cast<uint32_t>(task.GetArticles().size()))});
        rows.push_back({"Parts Fetched", Decimal(task.GetPartsFetched())});
    }
    rows.push_back({"Affinity", task.AffinityText()});
    return rows;
}

}  // namespace vexlo
