#include "tasks/download_queue.h"

#include <algorithm>
#include <cstdio>

#include "core/app_context.h"
#include "platform/record_file.h"
#include "platform/file.h"
#include "tasks/task_agent.h"

namespace vexlo {

namespace {

constexpr const char* kOpenForOutputFailed =
    "WARNING: Unable To Open _QUEUE.DAT File For Output!\r\nQueued tasks have not been saved.";
constexpr const char* kWriteFailed =
    "WARNING: Unable To Write _QUEUE.DAT File!\r\nQueued tasks have not been saved.";
constexpr const char* kOpenForInputFailed =
    "WARNING: Unable To Read _QUEUE.DAT File For Input!\r\nQueued tasks have not been loaded.";
constexpr const char* kContentsFailed =
    "WARNING: Unable To Read _QUEUE.DAT File Contents!\r\nNot all queued tasks have been loaded.";
constexpr const char* kFormatError =
    "WARNING: Error Loading Queued Tasks - Format Error!\r\nNot all queued tasks have been loaded.";

bool RowAccepted(const CTask& task) {
    return task.GetType() >= kTaskScanNew && task.GetType() <= kTaskGet &&
           task.GetResult() <= kResultError;
}

}  // namespace

CDownloadQueue::CDownloadQueue(CAppContext& context) : context_(context) {}
CDownloadQueue::~CDownloadQueue() = default;

RowIcon CDownloadQueue::IconForResult(uint32_t result) {
    switch (result) {
        case kResultCompleted:
            return RowIcon::Completed;
        case kResultError:
            return RowIcon::Error;
        default:
            return RowIcon::Waiting;
    }
}

void CDownloadQueue::Notify(QueueChange::Kind kind, size_t index) {
    if (listener_) listener_({kind, index});
}

std::unique_ptr<CTask> CDownloadQueue::TakeRecord() {
    if (pool_.empty()) return std::make_unique<CTask>(&context_.settings);
    auto task = std::move(pool_.back());
    pool_.pop_back();
    return task;
}

void CDownloadQueue::Recycle(std::unique_ptr<CTask> task) {
    context_.outputClaims.Release(task->Key());  // it will never resume its file
    task->Reset();
    pool_.push_back(std::move(task));
}

int CDownloadQueue::AddTask(const CTask& templateTask, bool atTop) {
    if (!RowAccepted(templateTask)) return 0;
    auto task = TakeRecord();
    task->CopyFrom(templateTask);
    task->SetId(++counter_);
    QueueRow row;
    row.icon = IconForResult(task->GetResult());
    row.task = std::move(task);
    size_t index = atTop ? 0 : rows_.size();
    Notify(QueueChange::kAboutToInsert, index);
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(index), std::move(row));
    Notify(QueueChange::kInserted, index);
    return 1;
}

int CDownloadQueue::FindRow(const CTask* task) const {
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].task.get() == task) return static_cast<int>(i);
    return -1;
}

size_t CDownloadQueue::CountWaiting() const {
    size_t n = 0;
    for (const auto& row : rows_) n += row.icon == RowIcon::Waiting;
    return n;
}

size_t CDownloadQueue::CountSelected() const {
    size_t n = 0;
    for (const auto& row : rows_) n += row.selected;
    return n;
}

void CDownloadQueue::Select(size_t index, bool selected) {
    if (index >= rows_.size() || rows_[index].selected == selected) return;
    rows_[index].selected = selected;
    Notify(QueueChange::kSelected, index);
}

void CDownloadQueue::SelectAll() {
    for (size_t i = 0; i < rows_.size(); ++i) Select(i, true);
}

void CDownloadQueue::ClearSelection() {
    for (size_t i = 0; i < rows_.size(); ++i) Select(i, false);
}

void CDownloadQueue::RemoveRow(size_t index) {
    Notify(QueueChange::kAboutToRemove, index);
    auto task = std::move(rows_[index].task);
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
    Recycle(std::move(task));
    Notify(QueueChange::kRemoved, index);
}

void CDownloadQueue::DeleteSelected() {
    if (CountSelected() == 0) return;
    if (context_.messageBox.Show("Delete Selected Item(s)?", MessageIcon::Question,
                                 MessageButtons::OkCancel) != MessageAnswer::Ok)
        return;
    for (size_t i = rows_.size(); i-- > 0;)
        if (rows_[i].selected && rows_[i].icon != RowIcon::Running) RemoveRow(i);
}

void CDownloadQueue::RemoveAllNotRunning() {
    for (size_t i = rows_.size(); i-- > 0;)
        if (rows_[i].icon != RowIcon::Running) RemoveRow(i);
}

void CDownloadQueue::RequeueSelected() {
    if (CountSelected() == 0) return;
    if (context_.messageBox.Show("Queue Selected Item(s)?", MessageIcon::Question,
                                 MessageButtons::OkCancel) != MessageAnswer::Ok)
        return;
    for (size_t i = 0; i < rows_.size(); ++i) {
        QueueRow& row = rows_[i];
        if (!row.selected || row.icon == RowIcon::Running || row.icon == RowIcon::Waiting) continue;
        row.task->SetResult(kResultUnprocessed);
        row.icon = RowIcon::Waiting;
        row.progressText.clear();
        Notify(QueueChange::kChanged, i);
    }
}

bool CDownloadQueue::MovePass(bool up, std::vector<bool>& changed) {
    bool moved = false;
    size_t n = rows_.size();
    auto consider = [&](size_t i, size_t j) {  // moves row i over its neighbour j
        if (rows_[i].selected && !rows_[j].selected) {
            std::swap(rows_[i], rows_[j]);
            changed[i] = changed[j] = true;
            moved = true;
        }
    };
    if (up) {
        for (size_t i = 1; i < n; ++i) consider(i, i - 1);
    } else {
        for (size_t i = n - 1; i-- > 0;) consider(i, i + 1);
    }
    return moved;
}

void CDownloadQueue::FinishMove(const std::vector<bool>& changed) {
    for (size_t i = 0; i < changed.size(); ++i)
        if (changed[i]) Notify(QueueChange::kChanged, i);
    RefreshProgress();
}

void CDownloadQueue::MoveUp() {
    if (rows_.size() < 2 || CountSelected() == 0) return;
    std::vector<bool> changed(rows_.size());
    if (MovePass(true, changed)) FinishMove(changed);
}

void CDownloadQueue::MoveDown() {
    if (rows_.size() < 2 || CountSelected() == 0) return;
    std::vector<bool> changed(rows_.size());
    if (MovePass(false, changed)) FinishMove(changed);
}

void CDownloadQueue::MoveToTop() {
    MoveToEdge(true);
}

void CDownloadQueue::MoveToBottom() {
    MoveToEdge(false);
}

void CDownloadQueue::MoveToEdge(bool top) {
    if (rows_.size() < 2 || CountSelected() == 0) return;
    // Passes of MoveUp (MoveDown) until nothing moves end with the selected rows
    // above (below) the others, each group in its old order: one stable
    // partition gives that in one step, however long the queue.
    std::vector<const CTask*> before;
    before.reserve(rows_.size());
    for (const auto& row : rows_) before.push_back(row.task.get());
    std::stable_partition(rows_.begin(), rows_.end(),
                          [top](const QueueRow& row) { return row.selected == top; });
    std::vector<bool> changed(rows_.size());
    bool any = false;
    for (size_t i = 0; i < rows_.size(); ++i) {
        changed[i] = rows_[i].task.get() != before[i];
        any = any || changed[i];
    }
    if (any) FinishMove(changed);
}

void CDownloadQueue::SetSelectedAffinity(uint32_t mask) {
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (!rows_[i].selected || rows_[i].icon == RowIcon::Running) continue;
        rows_[i].task->SetAffinity(mask);
        Notify(QueueChange::kChanged, i);
    }
}

void CDownloadQueue::TaskFinished(CTask* task) {
    int index = FindRow(task);
    if (index < 0) return;
    QueueRow& row = rows_[static_cast<size_t>(index)];
    switch (task->GetResult()) {
        case kResultUnprocessed:
            row.icon = RowIcon::Waiting;
            row.progressText.clear();
            break;
        case kResultPartial:
            row.icon = RowIcon::Waiting;
            row.progressText = "(INCOMPLETE)";
            break;
        case kResultCompleted:
            if (context_.settings.TestOptions(OPT_AUTO_REMOVE_DONE)) {
                RemoveRow(static_cast<size_t>(index));
                return;
            }
            row.icon = RowIcon::Completed;
            row.progressText = "OK";
            break;
        case kResultError:
            row.icon = RowIcon::Error;
            row.progressText = "ERROR";
            break;
        default:
            break;
    }
    Notify(QueueChange::kChanged, static_cast<size_t>(index));
}

int CDownloadQueue::SchedulerStep(CTaskAgent& agent) {
    uint32_t free = agent.FreeChannels();
    if (free == 0) return 0;
    for (size_t i = 0; i < rows_.size(); ++i) {
        QueueRow& row = rows_[i];
        if (row.icon != RowIcon::Waiting) continue;
        if (dispatchFilter_ && !dispatchFilter_(*row.task)) continue;
        uint32_t allowed = free & row.task->GetAffinity();
        if (allowed == 0) continue;
        int channel = __builtin_ctz(allowed) + 1;
        if (!agent.ProcessTask(channel, row.task.get())) return 0;
        row.icon = RowIcon::Running;
        Notify(QueueChange::kChanged, i);
        return 1;
    }
    return 0;
}

void CDownloadQueue::RunScheduler(CTaskAgent& agent) {
    while (SchedulerStep(agent)) {
    }
    agent.IdleFreeChannels();
}

void CDownloadQueue::RefreshProgress() {
    for (size_t i = 0; i < rows_.size(); ++i) {
        QueueRow& row = rows_[i];
        if (row.icon != RowIcon::Running) continue;
        ProgressReport r;
        if (!context_.progress.ReadProgress(row.task->Key(), r)) continue;
        char text[160] = "";
        uint32_t type = row.task->GetType();
        bool scan = type == kTaskScanNew || type == kTaskScanAll;
        bool download = type == kTaskDecode || type == kTaskGet;
        if ((scan || download) && r.state == kProgressConnecting) {
            std::snprintf(text, sizeof text, "Connecting");
        } else if (scan && r.state == kProgressTransferring) {
            std::snprintf(text, sizeof text, "%d%% (%d of %d)",
                          ProgressPercent(r.lines, r.expectedLines), static_cast<int>(r.lines),
                          static_cast<int>(r.expectedLines));
        } else if (scan && r.state == kProgressSorting) {
            std::snprintf(text, sizeof text, "(SORTING)");
        } else if (scan && r.state == kProgressMerging) {
            std::snprintf(text, sizeof text, "(MERGING)");
        } else if (scan && r.state == kProgressMatching) {
            std::snprintf(text, sizeof text, "(MATCHING)");
        } else if (download && r.state == kProgressTransferring) {
            std::snprintf(text, sizeof text, "%d%% = (%d/%d) [Line %d/%d]",
                          PartProgressPercent(row.task->GetLines(), r.part, r.lines),
                          static_cast<int>(r.part), static_cast<int>(r.parts),
                          static_cast<int>(r.lines), static_cast<int>(r.expectedLines));
        }
        if (text[0] != '\0' && row.progressText != text) {
            row.progressText = text;
            Notify(QueueChange::kChanged, i);
        }
    }
}

std::string CDownloadQueue::QueuePath() const {
    return context_.DataPath() + "_QUEUE.DAT";
}

void CDownloadQueue::SaveQueueFile() {
    std::string path = QueuePath();
    if (rows_.empty()) {
        RemoveFile(path);
        return;
    }
    std::string data;
    uint32_t n = static_cast<uint32_t>(rows_.size());
    char count[4] = {static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16),
                     static_cast<char>(n >> 24)};
    data.append(count, 4);
    for (const auto& row : rows_) row.task->WriteRecord(context_.locks, data);
    CAtomicFile file(path);
    if (!file.Open()) {
        context_.messageBox.Show(kOpenForOutputFailed, MessageIcon::Exclamation);
        return;
    }
    if (!file.Write(data.data(), data.size()) || !file.Commit())
        context_.messageBox.Show(kWriteFailed, MessageIcon::Exclamation);
}

void CDownloadQueue::LoadQueue(FileAccess access) {
    std::string path = QueuePath();
    if (FileSize(path) < 0) return;
    CFile file;
    if (!file.Open(path, CFile::Mode::Read)) {
        context_.messageBox.Show(kOpenForInputFailed, MessageIcon::Exclamation);
        return;
    }
    // A damaged file is deleted (so the next start begins with what was
    // read), but only once its bytes are kept beside it.
    auto fail = [&](const char* message) {
        file.Close();
        std::string text = message;
        if (access == FileAccess::kOwner) {
            std::string copy = KeepDamagedCopy(path);
            if (!copy.empty()) {
                text += DamagedCopyNote(copy);
                RemoveFile(path);
            }
        }
        context_.messageBox.Show(text, MessageIcon::Exclamation);
    };
    CRecordReader in(file);
    uint32_t n = 0;
    if (!in.ReadU32(n)) return fail(kOpenForInputFailed);
    // One reset around the whole load: a view takes thousands of rows at once.
    // Its end comes before any message box, so no view waits in the middle.
    Notify(QueueChange::kAboutToReset, 0);
    uint32_t largest = 0;
    const char* failure = nullptr;
    for (uint32_t i = 0; i < n && !failure; ++i) {
        auto task = std::make_unique<CTask>(&context_.settings);
        if (!task->ReadRecord(in)) {
            failure = kContentsFailed;
        } else if (!RowAccepted(*task)) {
            failure = kFormatError;
        } else {
            largest = std::max(largest, task->GetId());
            // An unfinished download will resume its file: no other task may open it.
            if (task->GetType() == kTaskDecode && task->GetResult() != kResultCompleted &&
                task->GetPartsFetched() > 0 && !task->GetOutputFile().empty())
                context_.outputClaims.TryClaim(task->Key(), task->GetOutputFile());
            QueueRow row;
            row.icon = IconForResult(task->GetResult());
            row.task = std::move(task);
            rows_.push_back(std::move(row));
        }
    }
    Notify(QueueChange::kReset, 0);
    if (failure) return fail(failure);
    counter_ = largest;
    if (in.Peek(1) != nullptr) fail(kContentsFailed);
}

}  // namespace vexlo
