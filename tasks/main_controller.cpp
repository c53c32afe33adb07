#include "tasks/main_controller.h"

#include <ctime>

#include "core/app_context.h"
#include "tasks/task.h"
#include "tasks/task_messages.h"

namespace vexlo {

CMainController::CMainController(CAppContext& context, const CTaskHandlers& handlers)
    : context_(context), groups_(context), queue_(context), agent_(context, handlers) {}

CMainController::~CMainController() {
    agent_.DestroyChannels();
    DrainDoneMessages();
}

void CMainController::Load(FileAccess access) {
    if (loaded_) return;
    loaded_ = true;
    groups_.LoadGroupFile(access);
    queue_.LoadQueue(access);
}

void CMainController::Open() {
    Load();
    StartChannels();
}

void CMainController::StartChannels(std::unique_ptr<CNntpConnection> openConnection) {
    if (!agent_.CreateChannels(context_.settings.GetConn(), notify_, std::move(openConnection)))
        context_.messageBox.Show("Task Agent Failed To Start!", MessageIcon::Exclamation);
}

int CMainController::ProcessMessages(uint32_t timeoutMs) {
    int handled = 0;
    ThreadMessage message;
    bool waited = false;
    for (;;) {
        bool got;
        if (!waited) {
            got = notify_.GetFor(message, timeoutMs);
            waited = true;
        } else {
            auto next = notify_.Peek();
            got = next.has_value();
            if (got) message = *next;
        }
        if (!got) break;
        if (message.message == WM_TASK_DONE) {
            OnTaskDone(reinterpret_cast<CTask*>(message.wParam), static_cast<int>(message.lParam));
            ++handled;
        }
    }
    return handled;
}

void CMainController::OnTaskDone(CTask* task, int channelIndex) {
    context_.progress.RemoveProgress(task->Key());
    uint32_t type = task->GetType();
    if ((type == kTaskScanNew || type == kTaskScanAll) && task->GetResult() == kResultCompleted) {
        std::string group = task->GetGroupName();
        groups_.UpdateGroupAfterScan(group, static_cast<int32_t>(task->GetBinCount()),
                                     static_cast<int32_t>(task->GetNewCount()),
                                     static_cast<int32_t>(task->GetMsgCount()), std::time(nullptr));
        if (onScanCompleted) onScanCompleted(group);
    }
    agent_.ChannelDone(channelIndex + 1, task);
    if (task->IsOutOfSpace()) StopForFullDisk(*task);
    if (onTaskDone) onTaskDone(*task, channelIndex + 1);
    queue_.TaskFinished(task);
    queue_.RunScheduler(agent_);
}

void CMainController::OnTimer(uint32_t now) {
    if (agent_.IsRunning()) queue_.RunScheduler(agent_);
    queue_.RefreshProgress();
    if (context_.settings.TestOptions(OPT_AUTO_SAVE_QUEUE) &&
        autoSave_.Due(now, context_.settings.GetSaveQueue()))
        queue_.SaveQueueFile();
}

void CMainController::StopForFullDisk(CTask& task) {
    task.SetOutOfSpace(false);
    // Every other task would meet the same disk: none starts until Start.
    agent_.StopAfterCurrent();
    if (fullDiskShown_) return;
    fullDiskShown_ = true;
    context_.messageBox.Show(std::string(kDiskFullText) + task.GetSaveDir() + kDiskFullAdvice,
                             MessageIcon::Exclamation);
}

void CMainController::StartCommand() {
    if (!agent_.IsStopped() && !agent_.IsStopping()) return;
    fullDiskShown_ = false;
    agent_.StartProcessing();
    queue_.RunScheduler(agent_);
}

void CMainController::StopNowCommand() {
    agent_.StopNow();
}

void CMainController::StopGracefullyCommand() {
    agent_.StopAfterCurrent();
}

void CMainController::ScanCommand(bool selectedOnly) {
    ScanGroups(groups_.ScanGroupNames(selectedOnly, /*scanToTop=*/false));
}

void CMainController::ScanGroups(const std::vector<std::string>& groupNames) {
    bool toTop = context_.settings.TestOptions(OPT_SCAN_TO_TOP) != 0;
    CTask scan(&context_.settings);
    auto add = [&](const std::string& name) {
        if (name.empty()) return;
        scan.Reset();
        scan.SetType(kTaskScanNew);
        scan.SetSaveDir(context_.DataPath());
        scan.SetGroupName(name);
        scan.SetSubject("(SCAN) " + name);
        queue_.AddTask(scan, toTop);
    };
    if (toTop) {
        for (auto it = groupNames.rbegin(); it != groupNames.rend(); ++it) add(*it);
    } else {
        for (const auto& name : groupNames) add(name);
    }
    if (agent_.IsRunning()) queue_.RunScheduler(agent_);
}

int CMainController::QueueTask(const CTask& templateTask, bool atTop) {
    int added = queue_.AddTask(templateTask, atTop);
    if (added && agent_.IsRunning()) queue_.RunScheduler(agent_);
    return added;
}

void CMainController::DispatchIfRunning() {
    if (agent_.IsRunning()) queue_.RunScheduler(agent_);
}

void CMainController::ApplyConnChange(int previousConn) {
    if (context_.settings.GetConn() == previousConn) return;
    agent_.DestroyChannels();
    DrainDoneMessages();
    if (!agent_.CreateChannels(context_.settings.GetConn(), notify_))
        context_.messageBox.Show("Task Agent Failed To Start!", MessageIcon::Exclamation);
}

bool CMainController::RequestClose(const CloseSteps& steps) {
    bool processing = agent_.IsRunning() || agent_.IsStopping();
    if (queue_.Count() >= 1 && processing) {
        context_.messageBox.Show(
            "Application cannot close while processing is enabled.\r\nClick the Stop button to "
            "stop processing.",
            MessageIcon::Exclamation);
        return false;
    }
    if (steps.closing) steps.closing();
    if (processing) agent_.StopNow();
    agent_.DestroyChannels();
    DrainDoneMessages();
    groups_.SaveGroupFile();
    if (steps.afterGroupFile) steps.afterGroupFile();
    queue_.SaveQueueFile();
    if (steps.afterQueueFile) steps.afterQueueFile();
    context_.stats.SaveHistory(context_.profile);
    if (steps.beforeSettings) steps.beforeSettings();
    context_.settings.Save(context_.profile);
    context_.log.CloseLog();
    return true;
}

void CMainController::DrainDoneMessages() {
    while (auto message = notify_.Peek()) {
        if (message->message != WM_TASK_DONE) continue;
        auto* task = reinterpret_cast<CTask*>(message->wParam);
        context_.progress.RemoveProgress(task->Key());
        task->SetAssigned(0);
        queue_.TaskFinished(task);
    }
}

}  // namespace vexlo
