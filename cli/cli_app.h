// The command-line front end: each command works on the application directory
// (the current working directory) exactly as the GUI does — data in DATA/,
// settings in DATA/_SETUP.INI — through the same headless controller.
// Runs on the main thread; the channels are the only other threads.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/app_dir_lock.h"
#include "cli/args.h"
#include "cli/stderr_message_box.h"
#include "core/app_context.h"
#include "tasks/task_handlers.h"

namespace vexlo {
class CMainController;
}

namespace vexlo::cli {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitTaskError = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;

class CCliApp {
  public:
    explicit CCliApp(std::string appDir);
    ~CCliApp();

    // Runs one command (the words after the program name and -C DIR).
    int Run(CArgs args);

  private:
    int CmdServer(CArgs& args);
    int CmdQueue(CArgs& args);
    int CmdRun(CArgs& args);
    int CmdStats(CArgs& args);
    int CmdTest(CArgs& args);
    int CmdGroup(CArgs& args);
    int CmdGroups(CArgs& args);
    int CmdScan(CArgs& args);
    int CmdList(CArgs& args);
    int CmdGet(CArgs& args);
    int CmdJoin(CArgs& args);

    // Opens the queue and the channels, runs until nothing is left to do or
    // Ctrl-C, saves and returns the exit status.
    int RunQueue();
    // Channels retry a refused connection or login until they get through;
    // the GUI's user sees "Connecting ..." and stops them, but a command run
    // unattended would wait forever on a wrong password. So a run with work
    // to do first connects once and gives up (with the server's reply) when
    // that fails.
    bool ServerAnswers();
    // A second Ctrl-C while the channels stop: saves the queue and the
    // statistics and ends the process with status 130 without waiting.
    [[noreturn]] void QuitAtOnce(CMainController& controller);
    // Saves what a command changed and closes like the main window does.
    void Close();
    CMainController& Controller();
    // Takes the application directory's lock for a command that changes its
    // files, before they are read; false (with the reason on stderr) when
    // another vexlo-cli holds it.
    bool LockAppDir();

    CStderrMessageBox box_;
    CAppContext context_;
    CTaskHandlers handlers_;
    CAppDirLock lock_;
    std::unique_ptr<CMainController> controller_;
};

}  // namespace vexlo::cli
