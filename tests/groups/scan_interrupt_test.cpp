// A scan stopped at any moment of its end — at each of its file steps, or by
// kill -9 while the overview arrives slowly — must leave the group so that the
// next scan ends with the same .BIN and .MSG as a scan that was never
// interrupted. Each interrupted scan runs in a child process (fork), which
// leaves its files exactly as a killed program would.
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "group_test_files.h"
#include "groups/scan_steps.h"
#include "support/script_peer.h"
#include "tasks/main_controller.h"
#include "tasks/task_handlers.h"

namespace vexlo {
namespace {

using namespace test;

// A news server holding group "g": GROUP, XOVER a-b with the overview lines
// of the articles in [a, b] (each `lineDelayMs` after the one before) and QUIT,
// over any number of connections one after the other.
struct CGroupServer {
    // Interleaved multi-part posts (one reposted part), with messages between.
    static std::vector<std::string> Articles() {
        return {"alpha.rar (1/6)", "beta.zip (1/4)",  "gamma.gif (1/1)", "delta.rar (1/5)",
                "eps.zip (1/3)",   "a message 1",     "alpha.rar (2/6)", "beta.zip (2/4)",
                "delta.rar (2/5)", "eps.zip (2/3)",   "a message 2",     "alpha.rar (3/6)",
                "beta.zip (3/4)",  "delta.rar (3/5)", "eps.zip (3/3)",   "a message 3",
                "beta.zip (2/4)",  "alpha.rar (4/6)", "beta.zip (4/4)",  "delta.rar (4/5)",
                "a message 4",     "alpha.rar (5/6)", "delta.rar (5/5)", "a message 5",
                "alpha.rar (6/6)", "a message 6"};
    }

    void Serve(CPeerSession& s) {
        const std::vector<std::string> subjects = Articles();
        s.Write("200 test server\r\n");
        for (std::string line = s.ReadLine(); !line.empty(); line = s.ReadLine()) {
            const size_t count = published;
            if (line.rfind("GROUP", 0) == 0) {
                s.Write("211 " + std::to_string(count) + " 1 " + std::to_string(count) + " g\r\n");
            } else if (line.rfind("XOVER ", 0) == 0) {
                const size_t from = std::stoul(line.substr(6)),
                             to = std::stoul(line.substr(line.find('-') + 1));
                if (!Send(s, "224 overview follows\r\n")) return;
                for (size_t a = std::max<size_t>(from, 1); a <= std::min(to, count); ++a) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(lineDelayMs));
                    if (!Send(s, Overview(uint32_t(a), subjects[a - 1]) + "\r\n")) return;
                }
                if (!Send(s, ".\r\n")) return;
            } else {
                s.Write("205 bye\r\n");
                return;
            }
        }
    }
    // False once the client has gone (a killed scan).
    static bool Send(CPeerSession& s, const std::string& text) {
        return ::send(s.Fd(), text.data(), text.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(text.size());
    }

    std::atomic<size_t> published = 0;  // the group holds that many of Articles()
    std::atomic<int> lineDelayMs = 0;
    CScriptPeer peer{[this](CPeerSession& s) { Serve(s); }, 1000};
};

// One SCAN NEW of group "g" in `appDir` as the program runs it; its status text.
std::string RunScan(const std::string& appDir, uint16_t port) {
    CRecordingMessageBox box;
    CAppContext context(appDir, box);
    context.Start();
    context.settings.SetServer("127.0.0.1");
    context.settings.SetPort(port);
    context.settings.SetRetries(0);
    CTaskHandlers handlers;
    RegisterStandardHandlers(handlers);
    CMainController controller(context, handlers);
    controller.Open();
    controller.ScanGroups({"g"});
    const CTask& task = *controller.Queue().Row(0).task;
    controller.StartCommand();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (task.GetResult() < kResultCompleted && std::chrono::steady_clock::now() < deadline)
        controller.ProcessMessages(20);
    return task.GetStatusText();
}

// Runs `scan` in a child process; its exit status (128 + signal when one ended it).
int InChild(const std::function<void()>& scan, int killAfterMs = -1) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        scan();
        ::_exit(0);
    }
    if (killAfterMs >= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(killAfterMs));
        ::kill(pid, SIGKILL);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

using GroupFiles = std::pair<std::string, std::string>;  // .BIN, .MSG

class ScanInterruptTest : public ::testing::Test {
  protected:
    // The server's first half scanned into `base_`; then the second half is
    // published. refA_: after a scan of it; refB_: after one more scan.
    void SetUp() override {
        const size_t all = CGroupServer::Articles().size();
        server_.published = all / 2;
        ASSERT_EQ(RunScan(base_.Path(), server_.peer.Port()), "Newsgroup Scanned Successfully");
        server_.published = all;
        CTempDir ref;
        CopyData(base_.Path(), ref.Path());
        // The scan's thread notes the steps; they are read once the controller
        // has handed over the scan's end.
        testing::SetScanFileStepHook([&](const char* step) { steps_.push_back(step); });
        EXPECT_EQ(RunScan(ref.Path(), server_.peer.Port()), "Newsgroup Scanned Successfully");
        testing::SetScanFileStepHook(nullptr);
        refA_ = Files(ref.Path());
        EXPECT_EQ(RunScan(ref.Path(), server_.peer.Port()), "Newsgroup Scanned Successfully");
        refB_ = Files(ref.Path());
        ASSERT_NE(refA_, refB_);  // the second scan clears the new marks
    }

    static void CopyData(const std::string& from, const std::string& to) {
        std::filesystem::copy(from + "DATA", to + "DATA",
                              std::filesystem::copy_options::recursive |
                                  std::filesystem::copy_options::overwrite_existing);
    }
    static GroupFiles Files(const std::string& appDir) {
        return {ReadFileBytes(appDir + "DATA/g.BIN"), ReadFileBytes(appDir + "DATA/g.MSG")};
    }
    CGroupServer server_;
    CTempDir base_;
    std::vector<std::string> steps_;  // the file steps of a scan's end, in order
    GroupFiles refA_, refB_;
};

TEST_F(ScanInterruptTest, StoppedAtEachFileStepTheNextScanEndsAsIfNothingHappened) {
    const auto commit = std::find(steps_.begin(), steps_.end(), std::string("commit"));
    ASSERT_NE(commit, steps_.end());
    for (size_t n = 0; n < steps_.size(); ++n) {
        SCOPED_TRACE("stopped before step " + std::to_string(n) + ": " + steps_[n]);
        CTempDir dir;
        CopyData(base_.Path(), dir.Path());
        const int status = InChild([&] {
            size_t taken = 0;
            testing::SetScanFileStepHook([&](const char*) {
                if (taken++ == n) ::_exit(42);
            });
            RunScan(dir.Path(), server_.peer.Port());
        });
        ASSERT_EQ(status, 42);
        // Before the commit the scan is done again; after it, a next one is
        // done. Only the pair is left.
        EXPECT_EQ(RunScan(dir.Path(), server_.peer.Port()), "Newsgroup Scanned Successfully");
        EXPECT_TRUE(Files(dir.Path()) == (n <= size_t(commit - steps_.begin()) ? refA_ : refB_));
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path() + "DATA")) {
            const std::string name = entry.path().filename();
            EXPECT_TRUE(name.rfind("g.", 0) != 0 || name == "g.BIN" || name == "g.MSG")
                << name << " left behind";
        }
    }
}

TEST_F(ScanInterruptTest, KilledWhileTheOverviewArrivesSlowly) {
    server_.lineDelayMs = 4;
    for (int ms : {0, 5, 20, 40, 60, 80, 100, 130, 160, 250, 400}) {
        SCOPED_TRACE(ms);
        CTempDir dir;
        CopyData(base_.Path(), dir.Path());
        InChild([&] { RunScan(dir.Path(), server_.peer.Port()); }, ms);
        const GroupFiles killed = Files(dir.Path());
        EXPECT_EQ(RunScan(dir.Path(), server_.peer.Port()), "Newsgroup Scanned Successfully");
        // Killed after the end the scan stands; killed before it the scan is done again.
        const GroupFiles next = Files(dir.Path());
        EXPECT_TRUE(killed == refA_ ? next == refB_ : next == refA_ || next == refB_);
    }
}

}  // namespace
}  // namespace vexlo
