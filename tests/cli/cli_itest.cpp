// vexlo-cli end to end: the program runs as a child process, each test in an
// application directory and with a newsgroup of its own, against the INN
// fixture. Downloads are compared byte for byte with what was posted.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>
#include <tuple>

#include "support/inn_fixture.h"
#include "support/nntp_relay.h"
#include "support/temp_dir.h"
#include "support/test_data.h"

extern char** environ;

namespace vexlo {
namespace {

using test::Article;
using test::Inn;
using test::RandomBytes;
using test::ReadFileBytes;

struct CliResult {
    int status = -1;  // the exit status; 128 + the signal when one ended it
    std::string out;
    std::string err;
};

std::ostream& operator<<(std::ostream& os, const CliResult& r) {
    return os << "exit " << r.status << "\n--- stdout\n" << r.out << "--- stderr\n" << r.err;
}

// An application directory and the runs of vexlo-cli in it. Each run's
// stdout and stderr go to files beside the directory.
class CCliHome {
  public:
    CCliHome() : app_(temp_ / "app/") { std::filesystem::create_directory(app_); }

    std::string Path(const std::string& name) const { return app_ + name; }

    pid_t Start(const std::vector<std::string>& args) {
        const int run = ++runs_;
        std::vector<std::string> words = {VEXLO_CLI_PATH, "-C", app_};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
        for (int fd : {1, 2})
            posix_spawn_file_actions_addopen(&files, fd, Output(run, fd).c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
        // The child takes Ctrl-C as a shell would give it, whatever the test runner set.
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        sigset_t defaults, none;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGINT);
        sigaddset(&defaults, SIGTERM);
        sigemptyset(&none);
        posix_spawnattr_setsigdefault(&attr, &defaults);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
        pid_t pid = -1;
        int rc = posix_spawn(&pid, argv[0], &files, &attr, argv.data(), environ);
        posix_spawnattr_destroy(&attr);
        posix_spawn_file_actions_destroy(&files);
        if (rc != 0)
            ADD_FAILURE() << "cannot start " << VEXLO_CLI_PATH << ": " << std::strerror(rc);
        runOf_[pid] = run;
        return rc == 0 ? pid : -1;
    }

    // What the run has written to stdout (fd 1) or stderr (fd 2) so far.
    std::string SoFar(pid_t pid, int fd) const { return ReadFileBytes(Output(runOf_.at(pid), fd)); }

    CliResult Wait(pid_t pid, int timeoutSeconds = 120) {
        CliResult result;
        if (pid < 0) return result;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                ADD_FAILURE() << "vexlo-cli did not end within " << timeoutSeconds << " s";
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        result.out = SoFar(pid, 1);
        result.err = SoFar(pid, 2);
        return result;
    }

    CliResult Run(const std::vector<std::string>& args) { return Wait(Start(args)); }
    // The same, expecting exit status `status`.
    CliResult Run(const std::vector<std::string>& args, int status) {
        CliResult result = Run(args);
        EXPECT_EQ(result.status, status) << result;
        return result;
    }

  private:
    std::string Output(int run, int fd) const {
        return temp_ / ("run" + std::to_string(run) + (fd == 1 ? ".out" : ".err"));
    }

    test::CTempDir temp_;
    std::string app_;
    int runs_ = 0;
    std::map<pid_t, int> runOf_;
};

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

int CountOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1))
        ++count;
    return count;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The index column of the `list` row whose header contains `subject`; -1 when
// no row does.
int IndexOf(const std::string& listing, const std::string& subject) {
    for (const std::string& line : Lines(listing)) {
        size_t start = line.find_first_not_of(' ');
        if (Has(line, subject) && start != std::string::npos &&
            std::isdigit(static_cast<unsigned char>(line[start])))
            return std::stoi(line.substr(start));
    }
    return -1;
}

// The `queue list` line (the first of a task's lines) of task `id`.
std::string QueueLine(const std::string& listing, int id) {
    for (const std::string& line : Lines(listing))
        if (line.rfind(std::to_string(id) + " ", 0) == 0) return line;
    return "";
}

void Post(const std::vector<Article>& posts) {
    std::string error;
    ASSERT_TRUE(test::PostArticles(posts, &error)) << error;
}

// Server on `port`, `conn` channels, and `group` saving into "out/".
void Configure(CCliHome& home, uint16_t port, int conn, const std::string& group) {
    CliResult r = home.Run(
        {"server", "127.0.0.1", "--port", std::to_string(port), "--conn", std::to_string(conn)}, 0);
    EXPECT_TRUE(Has(r.out, "Server 127.0.0.1:" + std::to_string(port))) << r;
    r = home.Run({"group", "add", group, "--dir", "out"}, 0);
    EXPECT_TRUE(Has(r.out, home.Path("out/"))) << r;
}

bool WaitFor(const std::function<bool()>& done, int seconds = 20) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

TEST(CliTest, ScanListGetJoinAndRunDownloadIdenticalFiles) {
    CCliHome home;
    const std::string group = test::CreateUniqueGroup("alt.binaries.cli.get");
    ASSERT_FALSE(group.empty());
    const std::string alpha = RandomBytes(150000, 1), beta = RandomBytes(230000, 2),
                      gamma = RandomBytes(40000, 3), joined = RandomBytes(100000, 21);
    Post(test::MakeUuencodedPosts(group, "alpha.bin", alpha, 3, "Al <al@example.com>"));
    Post(test::MakeUuencodedPosts(group, "beta.dat", beta, 4, "Bea Poster <bea@example.com>",
                                  "%s [%d/%d]"));
    Post(test::MakeUuencodedPosts(group, "gamma.bin", gamma, 2, "Gus <g@example.com>",
                                  "%s (%02d/%02d)"));
    // Subjects without part counters stay single messages, sorted otherwise
    // than the parts are.
    auto pieces = test::MakeUuencodedPosts(group, "joined.bin", joined, 3, "Jo <jo@example.com>");
    pieces[0].subject = "joined piece zulu";
    pieces[1].subject = "joined piece alpha";
    pieces[2].subject = "joined piece mike";
    Post(pieces);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_NO_FATAL_FAILURE(Configure(home, Inn().anonPort, 2, group));
    CliResult r = home.Run({"scan", group}, 0);
    EXPECT_TRUE(Has(r.out, "Newsgroup Scanned Successfully")) << r;

    // Rows are sorted by subject; the index is the record's place in the file.
    r = home.Run({"list", group});
    EXPECT_TRUE(Has(r.out, "\n3 binaries")) << r;
    EXPECT_EQ(IndexOf(r.out, "alpha.bin"), 0) << r;
    EXPECT_EQ(IndexOf(r.out, "beta.dat"), 1) << r;
    EXPECT_EQ(IndexOf(r.out, "gamma.bin"), 2) << r;
    // The filter covers the poster as well as the subject, ignoring case.
    r = home.Run({"list", group, "--filter", "BEA POSTER"});
    EXPECT_TRUE(Has(r.out, "\n1 binaries")) << r;
    EXPECT_EQ(IndexOf(r.out, "beta.dat"), 1) << r;
    r = home.Run({"list", group, "--msg"});
    EXPECT_TRUE(Has(r.out, "\n3 messages")) << r;
    const int zulu = IndexOf(r.out, "zulu"), alphaPiece = IndexOf(r.out, "piece alpha"),
              mike = IndexOf(r.out, "mike");
    EXPECT_EQ(std::tuple(alphaPiece, mike, zulu), std::tuple(0, 1, 2)) << r;

    r = home.Run({"get", group, "0"}, 0);
    EXPECT_TRUE(Has(r.out, "1 task(s) queued.")) << r;
    home.Run({"get", group, "--filter", "beta.dat", "--dir", "other"}, 0);
    home.Run({"join", group, std::to_string(zulu), std::to_string(alphaPiece), std::to_string(mike),
              "--dir", "joined"},
             0);
    r = home.Run({"queue"});
    EXPECT_TRUE(Has(QueueLine(r.out, 2), "waiting")) << r;
    EXPECT_TRUE(Has(QueueLine(r.out, 2), "0/3")) << r;
    EXPECT_TRUE(Has(QueueLine(r.out, 3), "0/4")) << r;
    // A joined task is named after the last part of the order given.
    EXPECT_TRUE(Has(QueueLine(r.out, 4), "joined piece mike")) << r;

    r = home.Run({"run"}, 0);
    EXPECT_EQ(CountOf(r.out, "Completed Successfully"), 3) << r;
    EXPECT_TRUE(Has(r.out, "Queue saved: 4 task(s) listed.")) << r;
    EXPECT_TRUE(ReadFileBytes(home.Path("out/alpha.bin")) == alpha);
    EXPECT_TRUE(ReadFileBytes(home.Path("other/beta.dat")) == beta);
    EXPECT_TRUE(ReadFileBytes(home.Path("joined/joined.bin")) == joined);
    EXPECT_FALSE(std::filesystem::exists(home.Path("out/gamma.bin")));
    r = home.Run({"queue", "list"});
    EXPECT_TRUE(Has(QueueLine(r.out, 2), "done")) << r;
    EXPECT_TRUE(Has(QueueLine(r.out, 2), "OK")) << r;
    EXPECT_TRUE(Has(QueueLine(r.out, 3), "4/4")) << r;
    r = home.Run({"stats"});
    EXPECT_TRUE(std::regex_search(r.out, std::regex(R"(Files +0 +3\n)"))) << r;

    // Reset drops the header data; remove drops the group as well.
    home.Run({"group", "reset", group}, 0);
    EXPECT_FALSE(std::filesystem::exists(home.Path("DATA/" + group + ".BIN")));
    EXPECT_TRUE(Has(home.Run({"list", group}).out, "\n0 binaries"));
    home.Run({"group", "remove", group}, 0);
    home.Run({"list", group}, 2);
}

// A binary of 24 parts queued for download through a relay that can hold the
// reply to the fifth BODY in the middle, so that a run can be interrupted
// while part 5 of 24 is being received.
class CliResumeTest : public ::testing::Test {
  protected:
    static constexpr int kParts = 24;

    void SetUp() override {
        group_ = test::CreateUniqueGroup("alt.binaries.cli.resume");
        ASSERT_FALSE(group_.empty());
        data_ = RandomBytes(kParts * 100000 + 777, 11);
        // Counters of two digits keep the subjects of one length, as matching needs.
        ASSERT_NO_FATAL_FAILURE(Post(test::MakeUuencodedPosts(
            group_, "movie.bin", data_, kParts, "Mo <mo@example.com>", "%s (%02d/%02d)")));
        relay_ = std::make_unique<test::CNntpRelay>(Inn().anonPort);
        ASSERT_NO_FATAL_FAILURE(Configure(home_, relay_->Port(), 1, group_));
        home_.Run({"scan", group_}, 0);
        home_.Run({"get", group_, "--all"}, 0);
    }

    // Starts `run`, holds part 5 and waits until its progress line is out.
    pid_t StartHeldRun() {
        relay_->Arm(5, 40000, test::CNntpRelay::Action::kHold);
        pid_t pid = home_.Start({"run"});
        EXPECT_TRUE(relay_->WaitTriggered(60000));
        EXPECT_TRUE(WaitFor([&] { return std::regex_search(home_.SoFar(pid, 1), progress_); }))
            << home_.SoFar(pid, 1);
        return pid;
    }
    // Ctrl-C, then waits until the program says it is stopping.
    void Interrupt(pid_t pid) {
        ::kill(pid, SIGINT);
        EXPECT_TRUE(WaitFor([&] { return Has(home_.SoFar(pid, 2), "stopping"); }));
    }

    // The saved queue holds the resume point, and the next run fetches the
    // rest from part 5 on into a file identical to the posted one.
    void ExpectResumedByNextRun() {
        CliResult r = home_.Run({"queue", "list"});
        EXPECT_TRUE(Has(QueueLine(r.out, 2), "waiting")) << r;
        EXPECT_TRUE(Has(QueueLine(r.out, 2), " 4/24 ")) << "four whole parts fetched\n" << r;
        relay_->Release();
        home_.Run({"run"}, 0);
        EXPECT_TRUE(ReadFileBytes(home_.Path("out/movie.bin")) == data_);

        // The second run asked for part 5 again, then 6 to 24, and nothing before.
        std::vector<std::string> bodies;
        for (const std::string& command : relay_->Commands())
            if (Has(command, " BODY ")) bodies.push_back(command.substr(command.find(' ')));
        ASSERT_EQ(bodies.size(), 5u + kParts - 4);
        EXPECT_EQ(bodies[5], bodies[4]);
    }

    CCliHome home_;
    std::string group_;
    std::string data_;
    std::unique_ptr<test::CNntpRelay> relay_;
    // The queue bar's progress text of the held part.
    const std::regex progress_{R"(\d+% = \(5/24\) \[Line \d+/\d+\])"};
};

TEST_F(CliResumeTest, CtrlCExitsWith130AndTheNextRunResumesAtTheNextPart) {
    pid_t pid = StartHeldRun();
    // While the run works, a second process may look but not change anything:
    // the run would write its own queue over the change at its end.
    CliResult r = home_.Run({"queue", "clear"}, 1);
    EXPECT_TRUE(Has(r.err, "another vexlo-cli is working in this directory")) << r;
    home_.Run({"get", group_, "--all"}, 1);
    home_.Run({"server", "127.0.0.1", "--conn", "3"}, 1);
    r = home_.Run({"queue", "list"}, 0);
    EXPECT_TRUE(Has(QueueLine(r.out, 2), "movie.bin")) << r;
    home_.Run({"list", group_}, 0);

    // Ctrl-C; the held reply goes on once the program has told its channels
    // to stop, so they see the stop in the middle of part 5.
    Interrupt(pid);
    relay_->Release();
    CliResult first = home_.Wait(pid);
    EXPECT_EQ(first.status, 130) << first;
    EXPECT_TRUE(Has(first.out, "Queue saved: 2 task(s) listed.")) << first;
    ExpectResumedByNextRun();
}

TEST_F(CliResumeTest, SecondCtrlCQuitsWithoutWaitingForASilentServer) {
    // The channel waits for the rest of part 5, which the relay keeps back:
    // the first Ctrl-C alone would wait for the read time-out (60 s).
    pid_t pid = StartHeldRun();
    Interrupt(pid);
    ::kill(pid, SIGINT);
    CliResult first = home_.Wait(pid, 20);
    EXPECT_EQ(first.status, 130) << first;
    EXPECT_TRUE(Has(first.err, "queue saved with 2 task(s)")) << first;
    ExpectResumedByNextRun();
}

TEST(CliTest, ServerTestGroupsFetchAndAWrongThenTheRightPassword) {
    CCliHome home;
    const std::string group = test::CreateUniqueGroup("alt.binaries.cli.server");
    ASSERT_FALSE(group.empty());
    home.Run({"server", "127.0.0.1", "--port", std::to_string(Inn().anonPort)}, 0);
    CliResult r = home.Run({"test", "--connections", "3"}, 0);
    EXPECT_EQ(CountOf(r.out, ": OK   200 "), 3) << r;
    for (int channel = 1; channel <= 3; ++channel)
        EXPECT_TRUE(Has(r.out, "Channel " + std::to_string(channel) + ": OK")) << r;

    r = home.Run({"groups", "fetch"}, 0);
    // One bare name per line, each ended by CR LF.
    const std::string all = ReadFileBytes(home.Path("DATA/_GROUPS.ALL"));
    for (const std::string& name : {group, std::string("misc.test")})
        EXPECT_TRUE(Has(all, name + "\r\n")) << name;
    EXPECT_EQ(all.find(' '), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(home.Path("DATA/_GROUPS.TMP")));
    EXPECT_TRUE(Has(r.out, "Complete - " + std::to_string(CountOf(all, "\r\n")) + " Groups Read"))
        << r;
    r = home.Run({"groups", "fetch", "--filter", group});
    EXPECT_TRUE(Has(r.out, "\n" + group + "\n") && Has(r.out, "(1 shown)")) << r;

    ASSERT_NO_FATAL_FAILURE(Configure(home, Inn().authPort, 2, group));
    home.Run({"server", "127.0.0.1", "--user", "tester", "--pass", "wrong"}, 0);
    r = home.Run({"test", "--connections", "3"}, 1);
    EXPECT_EQ(CountOf(r.out, ": FAIL 481 Authentication failed\n"), 3) << r;
    // The channels would retry the login for ever; the run stops at once.
    r = home.Run({"scan", group}, 1);
    EXPECT_TRUE(Has(r.err, "481 Authentication failed")) << r;
    EXPECT_TRUE(Has(QueueLine(home.Run({"queue"}).out, 1), "waiting"));
    home.Run({"server", "127.0.0.1", "--user", "tester", "--pass", "secret"}, 0);
    EXPECT_EQ(CountOf(home.Run({"test", "--connections", "2"}, 0).out, ": OK   200 "), 2);
    r = home.Run({"run"}, 0);
    EXPECT_TRUE(Has(r.out, "Newsgroup Scanned Successfully")) << r;
}

TEST(CliTest, UsageErrorsExitWith2AndChangeNothing) {
    CCliHome home;
    const std::string group = "alt.binaries.cli.usage";  // never scanned: no server needed
    home.Run({"group", "add", group}, 0);
    // clang-format off
    const std::vector<std::vector<std::string>> wrong = {
        {}, {"frobnicate"}, {"-C"}, {"server"}, {"server", "127.0.0.1", "--port", "abc"},
        {"server", "127.0.0.1", "--port", "0"}, {"server", "127.0.0.1", "--conn", "9"},
        {"server", "127.0.0.1", "--user", "tester"}, {"group", "add"},
        {"group", "remove", "no.such.group"}, {"scan"}, {"scan", "--all", group},
        {"scan", "no.such.group"}, {"list", "no.such.group"}, {"list", group, "--bogus"},
        {"get", group}, {"get", group, "--all", "0"}, {"get", group, "0", "--channels", "9"},
        {"get", "no.such.group", "--all"}, {"join", group}, {"queue", "delete"},
        {"queue", "delete", "7"}, {"queue", "requeue", "x"}, {"queue", "shuffle"},
        {"run", "now"}, {"test", "--connections", "9"}};
    // clang-format on
    for (const auto& args : wrong) {
        std::string words;
        for (const auto& word : args) words += word + " ";
        CliResult r = home.Run(args);
        EXPECT_EQ(r.status, 2) << words << "\n" << r;
        EXPECT_FALSE(r.err.empty()) << words;
    }
    // Nothing was queued or configured by any of them.
    EXPECT_TRUE(Has(home.Run({"queue"}).out, "Queue is empty."));
    EXPECT_EQ(CountOf(home.Run({"group", "list"}).out, "\n"), 2);
}

TEST(CliTest, QueueCommandsAndARunEndingWithAnErrorTask) {
    CCliHome home;
    const std::string group = test::CreateUniqueGroup("alt.binaries.cli.queue");
    ASSERT_FALSE(group.empty());
    const std::string missing = group + ".missing";  // not on the server
    const std::string one = RandomBytes(30000, 31), two = RandomBytes(50000, 32);
    Post(test::MakeUuencodedPosts(group, "one.bin", one, 2, "P <p@example.com>"));
    Post(test::MakeUuencodedPosts(group, "two.bin", two, 2, "P <p@example.com>"));
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_NO_FATAL_FAILURE(Configure(home, Inn().anonPort, 2, group));
    home.Run({"group", "add", missing}, 0);

    // A scan of a group the server does not have ends in error: exit 1.
    CliResult r = home.Run({"scan", missing}, 1);
    EXPECT_TRUE(Has(r.out, "411 No such group")) << r;
    r = home.Run({"queue", "list"});
    EXPECT_TRUE(Has(QueueLine(r.out, 1), "error")) << r;
    EXPECT_TRUE(Has(QueueLine(r.out, 1), "ERROR")) << r;
    EXPECT_TRUE(Has(r.out, "[411 No such group " + missing + "]")) << r;

    // Requeued it waits and fails again; any error left in the queue means 1.
    r = home.Run({"queue", "requeue", "1"}, 0);
    EXPECT_TRUE(Has(QueueLine(r.out, 1), "waiting")) << r;
    r = home.Run({"scan", group}, 1);
    EXPECT_TRUE(Has(r.out, "Newsgroup Scanned Successfully")) << r;
    r = home.Run({"queue", "delete", "1"}, 0);
    EXPECT_EQ(QueueLine(r.out, 1), "") << r;

    // --top puts the tasks at the top in list order; --channels sets the affinity.
    home.Run({"get", group, "--all", "--top", "--channels", "2"}, 0);
    // The rows are queued from the last to the first, so one.bin got the later ID.
    r = home.Run({"queue"});
    EXPECT_TRUE(std::regex_search(
        r.out,
        std::regex(
            R"((^|\n)4 [^\n]*one\.bin[\s\S]*\n3 [^\n]*DECODE +2 [^\n]*two\.bin[\s\S]*\n2 )")))
        << r;
    home.Run({"queue", "delete", "4"}, 0);
    home.Run({"run"}, 0);
    EXPECT_TRUE(ReadFileBytes(home.Path("out/two.bin")) == two);
    EXPECT_FALSE(std::filesystem::exists(home.Path("out/one.bin")));
    r = home.Run({"queue", "clear"});
    EXPECT_TRUE(Has(r.out, "Queue is empty.")) << r;
    r = home.Run({"run"}, 0);
    EXPECT_TRUE(Has(r.out, "Queue saved: 0 task(s) listed.")) << r;
}

}  // namespace
}  // namespace vexlo
