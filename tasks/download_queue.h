// CDownloadQueue: the ordered list of tasks — waiting, running, or finished
// and kept for the user's attention — and its file DATA/_QUEUE.DAT.
//
// The queue is a model of its own: rows in display order, each owning one
// CTask, with an icon state, a selection flag and the "Progress" text; a view
// (list widget, command line) follows it through change notifications.
// Removed records are kept in a pool and reused, last removed first.
// Main thread only: channels never touch rows, they write only into the tasks
// they run and report through the task-done message.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/damaged_file.h"
#include "tasks/task.h"

namespace vexlo {

class CAppContext;
class CTaskAgent;

enum class RowIcon { Waiting = 0, Running = 1, Completed = 2, Error = 3 };

struct QueueRow {
    std::unique_ptr<CTask> task;
    RowIcon icon = RowIcon::Waiting;
    bool selected = false;
    std::string progressText;  // the "Progress" column
};

// What changed, for a view. The AboutTo* kinds come before the change and the
// matching kind after it, so a view model can bracket its own updates; `index`
// is the row concerned (unused for the reset kinds).
struct QueueChange {
    enum Kind {
        kAboutToInsert,  // a row is about to appear at `index`
        kInserted,
        kAboutToRemove,  // the row at `index` is about to go
        kRemoved,
        kChanged,       // the row at `index` was rewritten (after a move: another task, its flag)
        kSelected,      // only the selection flag of the row at `index` changed
        kAboutToReset,  // rows are about to be loaded from the queue file
        kReset,
    } kind;
    size_t index;
};

class CDownloadQueue {
  public:
    using Listener = std::function<void(const QueueChange&)>;

    explicit CDownloadQueue(CAppContext& context);
    ~CDownloadQueue();
    CDownloadQueue(const CDownloadQueue&) = delete;
    CDownloadQueue& operator=(const CDownloadQueue&) = delete;

    void SetListener(Listener listener) { listener_ = std::move(listener); }

    // Copies the template into a pooled or new record with the next task
    // number; 0 (no row) for a type outside 1..4 or a result above 3.
    int AddTask(const CTask& templateTask, bool atTop);

    size_t Count() const { return rows_.size(); }
    const QueueRow& Row(size_t index) const { return rows_[index]; }
    // The row that owns the task, or -1.
    int FindRow(const CTask* task) const;
    size_t CountWaiting() const;
    size_t CountSelected() const;

    void Select(size_t index, bool selected);
    void SelectAll();
    void ClearSelection();

    // Asks "Delete Selected Item(s)?"; removes the selected rows that are not running.
    void DeleteSelected();
    // Removes every row that is not running, without asking.
    void RemoveAllNotRunning();
    // Asks "Queue Selected Item(s)?"; completed and error rows become waiting (result 0).
    void RequeueSelected();
    void MoveUp();
    void MoveDown();
    void MoveToTop();
    void MoveToBottom();
    void SetSelectedAffinity(uint32_t mask);

    // After a channel's run: icon and text from the result; a completed task is
    // removed when completed tasks are auto-removed. (The caller dispatches next.)
    void TaskFinished(CTask* task);

    // Dispatch: hands the first waiting task whose affinity allows a free channel
    // to the lowest such channel. Returns 1 when a task was started.
    int SchedulerStep(CTaskAgent& agent);
    // Steps while tasks start, then tells every free channel to go idle.
    void RunScheduler(CTaskAgent& agent);
    // While set, the dispatcher hands out only the waiting tasks the filter
    // accepts; the others wait (a front end that runs part of the queue).
    void SetDispatchFilter(std::function<bool(const CTask&)> filter) {
        dispatchFilter_ = std::move(filter);
    }

    // The live "Progress" texts of running rows, from the progress table.
    void RefreshProgress();

    // DATA/_QUEUE.DAT; every failure is a message box, never a stop. A file
    // that cannot be read whole (cut short, a refused record, bytes behind the
    // last record) keeps the rows read before the damage; with
    // FileAccess::kOwner it is then copied to "_QUEUE.DAT.bad" (the message
    // names the copy) and deleted, with kReadOnly left as it is.
    void LoadQueue(FileAccess access = FileAccess::kOwner);
    void SaveQueueFile();
    std::string QueuePath() const;

  private:
    std::unique_ptr<CTask> TakeRecord();
    void Recycle(std::unique_ptr<CTask> task);
    static RowIcon IconForResult(uint32_t result);
    void RemoveRow(size_t index);
    void Notify(QueueChange::Kind kind, size_t index);
    // One pass of moving selected rows up (or down); true when anything moved.
    bool MovePass(bool up, std::vector<bool>& changed);
    void FinishMove(const std::vector<bool>& changed);
    // MoveToTop (top) or MoveToBottom.
    void MoveToEdge(bool top);

    CAppContext& context_;
    Listener listener_;
    std::function<bool(const CTask&)> dispatchFilter_;
    std::vector<QueueRow> rows_;
    std::vector<std::unique_ptr<CTask>> pool_;
    uint32_t counter_ = 0;  // the last task number given
};

}  // namespace vexlo
