// CMainController: what the main window decides, without drawing anything —
// the queue, the task agent and its channels, the handling of finished tasks,
// the one-second timer duties, the scan and processing commands, the settings
// change of the channel count, and the close rule with its final saves.
//
// The GUI and the command line both drive one of these. Main thread only: the
// thread that calls ProcessMessages/OnTimer is the main thread; channels reach
// it only through WM_TASK_DONE posted to Notify(), handled here in order.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/app_dirs.h"
#include "groups/group_list.h"
#include "nntp/nntp_connection.h"
#include "platform/message_queue.h"
#include "tasks/download_queue.h"
#include "tasks/task_agent.h"

namespace vexlo {

class CAppContext;
class CTaskHandlers;

// Shown once when downloads stop because the disk is full: the text, the
// save-to directory, the advice.
inline constexpr const char* kDiskFullText = "WARNING: Disk Full Writing To ";
inline constexpr const char* kDiskFullAdvice =
    "\r\nProcessing has been stopped. Free some space, then click Start to resume.";

class CMainController {
  public:
    CMainController(CAppContext& context, const CTaskHandlers& handlers);
    ~CMainController();
    CMainController(const CMainController&) = delete;
    CMainController& operator=(const CMainController&) = delete;

    // Loads the newsgroup list and the saved queue (once; later calls do
    // nothing). A command that only reads loads them kReadOnly: damaged files
    // are reported but neither copied nor deleted.
    void Load(FileAccess access = FileAccess::kOwner);
    // Load, then StartChannels.
    void Open();
    // Starts `Conn` channels; when they cannot start, shows "Task Agent Failed
    // To Start!" and goes on without channels. (A window that loads the group
    // list and the queue itself, each with its bar, calls this after them.)
    // `openConnection`, a connection to the configured server already open and
    // logged in, becomes channel 1's, so its first task does not connect again.
    void StartChannels(std::unique_ptr<CNntpConnection> openConnection = {});

    CDownloadQueue& Queue() { return queue_; }
    CGroupList& Groups() { return groups_; }
    CTaskAgent& Agent() { return agent_; }
    CThreadMessageQueue& Notify() { return notify_; }

    // Handles waiting channel messages in order, waiting up to `timeoutMs` for
    // the first one. Returns the number handled.
    int ProcessMessages(uint32_t timeoutMs);
    // A channel's run ended: progress entry removed, scan figures stored,
    // channel freed, queue row updated, next tasks dispatched. A download that
    // stopped on a full disk stops processing gracefully (no new task starts)
    // and tells the user once, until the next Start.
    void OnTaskDone(CTask* task, int channelIndex);
    // The one-second duties: dispatch while Running, progress texts, auto-save.
    void OnTimer(uint32_t now);

    void StartCommand();
    void StopNowCommand();
    void StopGracefullyCommand();
    // The scan commands: a SCAN NEW task for every selected group, or for every group.
    void ScanCommand(bool selectedOnly);
    // One SCAN NEW task per non-empty group name (names in group-list order);
    // with OPT_SCAN_TO_TOP they go to the top in that order.
    void ScanGroups(const std::vector<std::string>& groupNames);
    // Adds the template to the queue and dispatches when Running.
    int QueueTask(const CTask& templateTask, bool atTop);
    // Runs the dispatcher when the agent is Running (after tasks were added).
    void DispatchIfRunning();
    // After the settings were edited: when Conn changed, the channels are
    // re-created with the new count (the agent is then Stopped).
    void ApplyConnChange(int previousConn);

    // What a window saves of its own between the final writes of a close.
    struct CloseSteps {
        std::function<void()> closing;         // the close goes ahead: stop the timers
        std::function<void()> afterGroupFile;  // the group bar's sizes, dock state, widths
        std::function<void()> afterQueueFile;  // the queue bar's; the header view's widths
        std::function<void()> beforeSettings;  // after the statistics: the maximized flag
    };
    // The close rule: refused (with its message) while tasks are listed and
    // processing is on; otherwise stops and ends the channels and writes the
    // group list, the queue, the statistics and the settings, in that order,
    // with the window's own steps between them.
    bool RequestClose(const CloseSteps& steps = {});

    // Called for a completed scan (result 2) after the group list took its
    // figures, before the channel is freed: a view showing the group reloads it.
    std::function<void(const std::string& groupName)> onScanCompleted;
    // Every finished run, with the channel number, before the queue row is updated.
    std::function<void(const CTask&, int channel)> onTaskDone;

  private:
    // Channels gone: rows of tasks whose done message is still pending are updated.
    void DrainDoneMessages();
    void StopForFullDisk(CTask& task);

    CAppContext& context_;
    CThreadMessageQueue notify_;
    CGroupList groups_;
    CDownloadQueue queue_;
    CTaskAgent agent_;
    CQueueAutoSave autoSave_;
    bool loaded_ = false;
    bool fullDiskShown_ = false;  // the full-disk message was shown since the last Start
};

}  // namespace vexlo
