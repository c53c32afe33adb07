// The queue run of the command line: dispatch, live progress, Ctrl-C.
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "cli/cli_app.h"
#include "cli/interrupt.h"
#include "cli/queue_printer.h"
#include "nntp/nntp_connection.h"
#include "nntp/server_test_thread.h"
#include "platform/tick.h"
#include "tasks/main_controller.h"

namespace vexlo::cli {

namespace {

bool AnyError(const CDownloadQueue& queue) {
    for (size_t i = 0; i < queue.Count(); ++i)
        if (queue.Row(i).icon == RowIcon::Error) return true;
    return false;
}

}  // namespace

bool CCliApp::ServerAnswers() {
    const CAppSettings& s = context_.settings;
    uint32_t address = 0;
    if (!ResolveServerAddress(s.GetServer(), &address)) {
        context_.messageBox.Show("Error Getting Server IP Address.", MessageIcon::Stop);
        return false;
    }
    CNntpConnection connection;
    if (!connection.Connect(address, static_cast<uint16_t>(s.GetPort()), s.GetAuth() == 1 ? 1 : 0,
                            s.GetUser(), s.GetPass())) {
        std::fprintf(stderr, "vexlo: cannot connect to %s, port %d: %s\n", s.GetServer().c_str(),
                     s.GetPort(), std::string(connection.GetError()).c_str());
        return false;
    }
    connection.Quit();
    return true;
}

void CCliApp::QuitAtOnce(CMainController& controller) {
    // A channel waiting on a silent server sees its stop only when its read
    // times out. The queue keeps each task's resume point of its last whole
    // part (a part cut off now is fetched again), so saving it here loses
    // nothing; the channels are left to the process's end.
    controller.Groups().SaveGroupFile();
    controller.Queue().SaveQueueFile();
    context_.stats.SaveHistory(context_.profile);
    std::fprintf(stderr, "vexlo: quit; queue saved with %zu task(s)\n", controller.Queue().Count());
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(kExitInterrupted);
}

int CCliApp::RunQueue() {
    CInterruptGuard guard;
    CMainController& controller = Controller();
    controller.Load();
    if (controller.Queue().CountWaiting() > 0 && !ServerAnswers()) return kExitTaskError;
    CProgressPrinter printer(stdout);
    controller.onTaskDone = [&](const CTask& task, int channel) {
        printer.TaskDone(task, channel);
    };
    controller.Open();
    CDownloadQueue& queue = controller.Queue();
    CTaskAgent& agent = controller.Agent();
    if (agent.ChannelCount() == 0) return kExitTaskError;

    controller.StartCommand();
    bool stopping = false;
    uint32_t lastTimer = GetTickCount32();
    for (;;) {
        controller.ProcessMessages(100);
        if (gInterrupted && !stopping) {
            // The channels are told first: they may be mid-part, and every line
            // they read before they see the flag is downloaded for nothing.
            controller.StopNowCommand();
            stopping = true;
            std::fprintf(stderr,
                         "vexlo: stopping, waiting for the channels ... (Ctrl-C again quits at "
                         "once)\n");
        }
        if (gInterrupts >= 2) QuitAtOnce(controller);
        uint32_t now = GetTickCount32();
        if (now - lastTimer >= 1000) {
            lastTimer = now;
            controller.OnTimer(now);
            printer.Update(queue, agent, context_.stats);
        }
        // Every run that could start has started from the done handling, so
        // no busy channel means nothing more can run.
        if (agent.BusyMask() == 0) break;
    }
    printer.Finish();
    size_t stuck = queue.CountWaiting();
    if (stuck > 0 && !stopping)
        std::fprintf(stderr, "vexlo: %zu task(s) wait for channels that do not exist (affinity)\n",
                     stuck);
    controller.StopNowCommand();
    controller.RequestClose();
    std::printf("Queue saved: %zu task(s) listed.\n", queue.Count());
    if (stopping) return kExitInterrupted;
    return AnyError(queue) ? kExitTaskError : kExitOk;
}

}  // namespace vexlo::cli
