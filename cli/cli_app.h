// The command-line front end: each command works on the application directory
// (the current working directory) exactly as the GUI does — data in DATA/,
// settings in DATA/_SETUP.INI — through the same headless controller.
//
// A command first reads its arguments and checks them against what it finds
// (the settings, the group list, the queue) without creating anything; only
// when it goes ahead are DATA/ and LOGS/ made, the debug log opened and, for a
// command that changes files, the directory's lock taken (Begin). So a usage
// error leaves a directory as it was.
// Runs on the main thread; the channels are the only other threads.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cli/app_dir_lock.h"
#include "cli/args.h"
#include "cli/stderr_message_box.h"
#include "core/app_context.h"
#include "tasks/task_handlers.h"

namespace vexlo {
class CGroupList;
class CMainController;
class CNntpConnection;
class CTask;
}  // namespace vexlo

namespace vexlo::cli {

// Exit statuses; a command stopped by a signal exits with 128 + its number
// (InterruptedExitStatus).
inline constexpr int kExitOk = 0;
inline constexpr int kExitTaskError = 1;
inline constexpr int kExitUsage = 2;

// The profile section that keeps the counters of the last run or scan.
inline constexpr const char* kLastRunSection = "LastRun";

// Selects the named groups; a name the list does not hold is a usage error.
void SelectGroups(CGroupList& groups, const std::vector<std::string>& names);

class CCliApp {
  public:
    explicit CCliApp(std::string appDir);
    ~CCliApp();

    // Runs one command (the words after the program name and -C DIR).
    int Run(CArgs args);

  private:
    int CmdServer(CArgs& args);
    int CmdSet(CArgs& args);
    int CmdQueue(CArgs& args);
    int CmdRun(CArgs& args);
    int CmdStats(CArgs& args);
    int CmdTest(CArgs& args);
    int CmdGroup(CArgs& args);
    int CmdGroups(CArgs& args);
    int GroupsFetch(CArgs& args);
    int CmdScan(CArgs& args);
    int CmdList(CArgs& args);
    int CmdGet(CArgs& args);
    int CmdJoin(CArgs& args);

    // Opens the queue and the channels and runs the waiting tasks — all of
    // them, or only those in `only` — until none of them can run any more or
    // a signal stops it; saves as it goes and at the end. Exit status: 1 when
    // a task it ran ended in error or one of them could not run at all (its
    // channels do not exist), 128 + the signal when stopped.
    int RunQueue(const std::set<const CTask*>* only);
    // Channels retry a refused connection or login until they get through;
    // the GUI's user sees "Connecting ..." and stops them, but a command run
    // unattended would wait forever on a wrong password. So a run with work
    // to do first connects once and gives up (with the server's reply) when
    // that fails. The open connection it returns becomes channel 1's: a
    // greeting and login cost a busy server tens of milliseconds.
    std::unique_ptr<CNntpConnection> OpenCheckedConnection();
    // What a run has learned so far, in case the process dies: the queue
    // with its resume points, the group list when a scan completed, and the
    // counters.
    void SaveRunState(bool groupsChanged);
    void SaveCounters();
    // A second signal while the channels stop: saves what the run learned and
    // ends the process without waiting.
    [[noreturn]] void QuitAtOnce();
    CMainController& Controller();

    // Loads the group list and the queue for a command; with `changes`, under
    // the directory's lock, so that they are read after any other writer has
    // finished. In a directory without DATA/ there is nothing to read and the
    // lock waits for Begin. False (with the reason) when the lock is held.
    bool OpenData(bool changes);
    // The command goes ahead: DATA/ and LOGS/ made, the debug log opened and,
    // with `lock`, the directory's lock taken. False (with the reason) when
    // that fails.
    bool Begin(bool lock);
    bool LockAppDir();

    CStderrMessageBox box_;
    CAppContext context_;
    CTaskHandlers handlers_;
    CAppDirLock lock_;
    std::unique_ptr<CMainController> controller_;
    bool begun_ = false;
    bool readBeforeLock_ = false;  // OpenData read a directory without DATA/
};

}  // namespace vexlo::cli
