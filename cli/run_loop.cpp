// The queue run of the command line: dispatch, live progress, saving as it
// goes, stopping on a signal.
#include <cstdio>
#include <cstdlib>
#include <map>

#include "cli/cli_app.h"
#include "cli/interrupt.h"
#include "cli/queue_printer.h"
#include "cli/visible_text.h"
#include "nntp/nntp_connection.h"
#include "nntp/server_test_thread.h"
#include "platform/profile_store.h"
#include "platform/tick.h"
#include "tasks/main_controller.h"

namespace vexlo::cli {

namespace {

// While tasks run, what they learned is saved at least this often, whatever
// the auto-save setting says (a killed process keeps its resume points).
constexpr uint32_t kSaveEveryMs = 15000;

}  // namespace

std::unique_ptr<CNntpConnection> CCliApp::OpenCheckedConnection() {
    const CAppSettings& s = context_.settings;
    uint32_t address = 0;
    if (!ResolveServerAddress(s.GetServer(), &address)) {
        context_.messageBox.Show("Error Getting Server IP Address.", MessageIcon::Stop);
        return nullptr;
    }
    auto connection = std::make_unique<CNntpConnection>();
    connection->SetTls(TlsFromSettings(s, &context_.log));
    if (!connection->Connect(address, static_cast<uint16_t>(s.GetPort()), s.GetAuth() == 1 ? 1 : 0,
                             s.GetUser(), s.GetPass())) {
        std::fprintf(stderr, "vexlo: cannot connect to %s, port %d: %s\n", s.GetServer().c_str(),
                     s.GetPort(), Visible(connection->GetError()).c_str());
        return nullptr;
    }
    return connection;
}

void CCliApp::SaveRunState(bool groupsChanged) {
    CMainController& controller = Controller();
    controller.Queue().SaveQueueFile();
    if (groupsChanged) controller.Groups().SaveGroupFile();
    SaveCounters();
}

void CCliApp::QuitAtOnce() {
    // A channel waiting on a silent server sees its stop only when its read
    // times out. The queue keeps each task's resume point of its last whole
    // part (a part cut off now is fetched again), so saving it here loses
    // nothing; the channels are left to the process's end.
    SaveRunState(true);
    std::fprintf(stderr, "vexlo: quit; queue saved with %zu task(s)\n",
                 Controller().Queue().Count());
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(InterruptedExitStatus());
}

int CCliApp::RunQueue(const std::set<const CTask*>* only) {
    CInterruptGuard guard;
    CMainController& controller = Controller();
    controller.Load();
    CDownloadQueue& queue = controller.Queue();
    auto inRun = [only](const CTask& task) { return only == nullptr || only->count(&task) != 0; };
    auto waitingInRun = [&] {
        size_t n = 0;
        for (size_t i = 0; i < queue.Count(); ++i)
            n += queue.Row(i).icon == RowIcon::Waiting && inRun(*queue.Row(i).task);
        return n;
    };
    if (only != nullptr) queue.SetDispatchFilter(inRun);
    std::unique_ptr<CNntpConnection> checked;
    if (waitingInRun() > 0 && !(checked = OpenCheckedConnection())) return kExitTaskError;

    CProgressPrinter printer(stdout);
    // The result of each task's last run in this invocation.
    std::map<const CTask*, uint32_t> results;
    bool scanCompleted = false;
    controller.onTaskDone = [&](const CTask& task, int channel) {
        printer.TaskDone(task, channel);
        results[&task] = task.GetResult();
        if (task.GetResult() == kResultCompleted &&
            (task.GetType() == kTaskScanNew || task.GetType() == kTaskScanAll))
            scanCompleted = true;
    };
    controller.StartChannels(std::move(checked));
    CTaskAgent& agent = controller.Agent();
    if (agent.ChannelCount() == 0) return kExitTaskError;

    controller.StartCommand();
    bool stopping = false;
    uint32_t lastTimer = GetTickCount32(), lastSave = lastTimer;
    for (;;) {
        // Done messages wake the wait at once; the time-out only paces the
        // signal checks and the one-second duties.
        const bool tasksFinished = controller.ProcessMessages(100) > 0;
        if (gInterrupted && !stopping) {
            // The channels are told first: they may be mid-part, and every line
            // they read before they see the flag is downloaded for nothing.
            controller.StopNowCommand();
            stopping = true;
            std::fprintf(stderr,
                         "vexlo: stopping, waiting for the channels ... (Ctrl-C again quits at "
                         "once)\n");
        }
        if (gInterrupts >= 2) QuitAtOnce();
        uint32_t now = GetTickCount32();
        if (now - lastTimer >= 1000) {
            lastTimer = now;
            controller.OnTimer(now);
            printer.Update(queue, agent, context_.stats, waitingInRun());
        }
        // Every run that could start has started from the done handling, so
        // no busy channel means nothing more can run. The close below saves
        // everything, so the last finished task needs no save of its own.
        if (agent.BusyMask() == 0) break;
        if (tasksFinished || now - lastSave >= kSaveEveryMs) {
            SaveRunState(scanCompleted);
            lastSave = GetTickCount32();
        }
    }
    printer.Finish();
    // Processing stopped by the engine itself (a full disk, already reported)
    // leaves tasks waiting for the next run, not stuck.
    const bool haltedByEngine = !stopping && !agent.IsRunning();
    const size_t stuck = stopping || haltedByEngine ? 0 : waitingInRun();
    if (stuck > 0)
        std::fprintf(stderr,
                     "vexlo: %zu task(s) could not run: their channels do not exist (Conn is %d); "
                     "see: vexlo-cli queue channels\n",
                     stuck, context_.settings.GetConn());
    controller.StopNowCommand();
    {
        // The statistics, the settings and the counters go to one file: one
        // write of it (each write is flushed to the disk).
        CProfileBatch batch(context_.profile);
        controller.RequestClose();
        SaveCounters();
    }
    controller.onTaskDone = nullptr;
    std::printf("Queue saved: %zu task(s) listed.\n", queue.Count());
    if (stopping) return InterruptedExitStatus();
    bool failed = stuck > 0 || haltedByEngine;
    for (const auto& [task, result] : results) failed = failed || result == kResultError;
    return failed ? kExitTaskError : kExitOk;
}

}  // namespace vexlo::cli
