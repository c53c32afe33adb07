// The queue command: list, information, delete, requeue, moves, channels, clear.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "cli/queue_printer.h"
#include "cli/visible_text.h"
#include "frame/task_dialog_rules.h"
#include "tasks/main_controller.h"

namespace vexlo::cli {

namespace {

// The actions that take task IDs, and what they do to the selected rows.
struct RowAction {
    const char* name;
    void (CDownloadQueue::*apply)();
};
constexpr RowAction kRowActions[] = {
    {"delete", &CDownloadQueue::DeleteSelected},
    {"requeue", &CDownloadQueue::RequeueSelected},
    {"top", &CDownloadQueue::MoveToTop},
    {"bottom", &CDownloadQueue::MoveToBottom},
    {"up", &CDownloadQueue::MoveUp},
    {"down", &CDownloadQueue::MoveDown},
};

const RowAction* FindRowAction(const std::string& name) {
    for (const RowAction& action : kRowActions)
        if (name == action.name) return &action;
    return nullptr;
}

// The rows of the tasks with these IDs; an unknown ID is a usage error.
std::vector<size_t> RowsOf(const CDownloadQueue& queue, const std::vector<uint32_t>& ids) {
    std::vector<size_t> rows;
    for (uint32_t id : ids) {
        size_t before = rows.size();
        for (size_t i = 0; i < queue.Count(); ++i)
            if (queue.Row(i).task->GetId() == id) rows.push_back(i);
        if (rows.size() == before) throw CUsageError("no task with ID " + std::to_string(id));
    }
    return rows;
}

}  // namespace

int CCliApp::CmdQueue(CArgs& args) {
    const std::string action = args.Empty() ? "list" : args.Next("queue action");
    const RowAction* rowAction = FindRowAction(action);
    const bool takesIds = rowAction != nullptr || action == "info" || action == "channels";
    if (!takesIds && action != "list" && action != "clear")
        throw CUsageError("unknown queue action " + action);
    std::vector<std::string> words = args.Rest();
    uint32_t mask = 0;
    if (action == "channels") {
        if (words.size() < 2) throw CUsageError("queue channels needs task IDs and channels");
        context_.settings.GetChannelMask();  // repairs a Conn outside 1..8
        mask = ParseChannels(words.back(), context_.settings.GetConn(), "channels");
        words.pop_back();
    }
    if (!takesIds && !words.empty()) throw CUsageError("queue " + action + " takes no arguments");
    if (takesIds && words.empty()) throw CUsageError("queue " + action + " needs task IDs");
    if (action == "info" && words.size() != 1) throw CUsageError("queue info takes one task ID");
    std::vector<uint32_t> ids;
    for (const auto& word : words)
        ids.push_back(static_cast<uint32_t>(ParseNumber(word, "task ID")));

    const bool changes = action != "list" && action != "info";
    if (!OpenData(changes)) return kExitTaskError;
    CDownloadQueue& queue = Controller().Queue();
    if (action == "list") {
        PrintQueue(queue);
        return kExitOk;
    }
    // Every ID is checked before anything changes: a mistyped ID leaves the
    // queue as it was.
    const std::vector<size_t> rows = RowsOf(queue, ids);
    if (action == "info") {
        for (const TaskInfoRow& row : TaskInfoRows(*queue.Row(rows[0]).task))
            std::printf("%13s  %s\n", row.property.c_str(), Visible(row.value).c_str());
        return kExitOk;
    }
    if (!Begin(true)) return kExitTaskError;
    queue.ClearSelection();
    for (size_t row : rows) queue.Select(row, true);
    if (rowAction != nullptr)
        (queue.*rowAction->apply)();
    else if (action == "channels")
        queue.SetSelectedAffinity(mask);
    else
        queue.RemoveAllNotRunning();
    queue.SaveQueueFile();
    PrintQueue(queue);
    return kExitOk;
}

}  // namespace vexlo::cli
