// vexlo-cli end to end: the program runs as a child process, each test in an
// application directory and with a newsgroup of its own, against the INN
// fixture. Downloads are compared byte for byte with what was posted.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>

#include "support/inn_fixture.h"
#include "support/nntp_relay.h"
#include "support/script_peer.h"
#include "support/temp_dir.h"
#include "support/test_data.h"

extern char** environ;

namespace vexlo {
namespace {

using test::Inn;
using test::RandomBytes;
using test::ReadFileBytes;

constexpr int kAnyStatus = -2;  // Run() checks no exit status

struct CliResult {
    int status = -1;  // the exit status; 128 + the signal when one ended it
    std::string out;
    std::string err;
};

std::ostream& operator<<(std::ostream& os, const CliResult& r) {
    return os << "exit " << r.status << "\n--- stdout\n" << r.out << "--- stderr\n" << r.err;
}

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

// A command line's words ("queue top 4 5"); '' stands for an empty word.
std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;) words.push_back(word == "''" ? "" : word);
    return words;
}

bool WaitFor(const std::function<bool()>& done, int seconds = 20, int pollMs = 20) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
    }
    return true;
}

// An application directory and the runs of vexlo-cli in it. Each run's
// stdout and stderr go to files beside the directory.
class CCliHome {
  public:
    CCliHome() : app_(temp_ / "app/") { std::filesystem::create_directory(app_); }

    std::string Path(const std::string& name) const { return app_ + name; }

    pid_t Start(std::vector<std::string> args) {
        const int run = ++runs_;
        args.insert(args.begin(), {VEXLO_CLI_PATH, "-C", app_});
        std::vector<char*> argv;
        for (std::string& word : args) argv.push_back(word.data());
        argv.push_back(nullptr);
        const std::string out = Output(run, 1), err = Output(run, 2);
        const pid_t pid = ::fork();
        if (pid == 0) {  // only async-signal-safe calls until the exec
            // The child takes Ctrl-C as a shell would give it, whatever the test runner set.
            sigset_t none;
            sigemptyset(&none);
            ::pthread_sigmask(SIG_SETMASK, &none, nullptr);
            ::signal(SIGINT, SIG_DFL);
            ::signal(SIGTERM, SIG_DFL);
            ::dup2(::open(stdinPath.c_str(), O_RDWR | O_CLOEXEC), 0);
            ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644), 1);
            ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644), 2);
            ::execve(argv[0], argv.data(), environ);
            ::_exit(127);
        }
        EXPECT_GT(pid, 0) << "cannot start " << VEXLO_CLI_PATH;
        runOf_[pid] = run;
        return pid;
    }

    // What the run has written to stdout (fd 1) or stderr (fd 2) so far.
    std::string SoFar(pid_t pid, int fd) const { return ReadFileBytes(Output(runOf_.at(pid), fd)); }

    CliResult Wait(pid_t pid, int timeoutSeconds = 120) {
        int status = 0;
        if (!WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) != 0; }, timeoutSeconds)) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            ADD_FAILURE() << "vexlo-cli did not end within " << timeoutSeconds << " s";
        }
        return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), SoFar(pid, 1),
                SoFar(pid, 2)};
    }

    // Runs the command `line` (see Words), expecting exit status `status` and
    // `text` on stdout (fd 1) or stderr (fd 2).
    CliResult Run(const std::string& line, int status = kAnyStatus, const std::string& text = "",
                  int fd = 1) {
        CliResult result = Wait(Start(Words(line)));
        EXPECT_TRUE(status == kAnyStatus || result.status == status) << line << "\n" << result;
        EXPECT_TRUE(Has(fd == 1 ? result.out : result.err, text)) << line << "\n" << result;
        return result;
    }

    std::string stdinPath = "/dev/null";

  private:
    std::string Output(int run, int fd) const {
        return temp_ / ("run" + std::to_string(run) + (fd == 1 ? ".out" : ".err"));
    }

    test::CTempDir temp_;
    std::string app_;
    int runs_ = 0;
    std::map<pid_t, int> runOf_;
};

// Whether `listing` has rows matching `rows` (a regex of whole lines) one
// after the other, e.g. the index column and subject of sorted `list` rows.
bool HasRows(const std::string& listing, const std::string& rows) {
    return std::regex_search(listing, std::regex("(^|\n)" + rows));
}

// The `queue list` line (the first of a task's lines) of task `id`.
std::string QueueLine(const std::string& listing, int id) {
    for (const std::string& line : Lines(listing))
        if (line.rfind(std::to_string(id) + " ", 0) == 0) return line;
    return "";
}

// The task IDs of a `queue` listing, top to bottom.
std::string Order(const std::string& listing) {
    std::string order;
    for (const std::string& line : Lines(listing))
        if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0])))
            order += (order.empty() ? "" : " ") + line.substr(0, line.find(' '));
    return order;
}

void Post(const std::vector<test::Article>& posts) {
    std::string error;
    ASSERT_TRUE(test::PostArticles(posts, &error)) << error;
}

// Server on `port`, `conn` channels, and `group` saving into "out/".
void Configure(CCliHome& home, uint16_t port, int conn, const std::string& group) {
    const std::string portText = std::to_string(port);
    home.Run("server 127.0.0.1 --port " + portText + " --conn " + std::to_string(conn), 0,
             "Server 127.0.0.1:" + portText);
    home.Run("group add " + group + " --dir out", 0, home.Path("out/"));
}

TEST(CliTest, ScanListGetJoinAndRunDownloadIdenticalFiles) {
    CCliHome home;
    const std::string group = test::CreateUniqueGroup("alt.binaries.cli.get");
    ASSERT_FALSE(group.empty());
    const std::string alpha = RandomBytes(150000, 1), beta = RandomBytes(230000, 2),
                      gamma = RandomBytes(40000, 3), joined = RandomBytes(100000, 21);
    Post(test::MakeUuencodedPosts(group, "alpha.bin", alpha, 3, "Al <al@x>"));
    Post(test::MakeUuencodedPosts(group, "beta.dat", beta, 4, "Bea Poster <b@x>", "%s [%d/%d]"));
    Post(test::MakeUuencodedPosts(group, "gamma.bin", gamma, 2, "Gus <g@x>", "%s (%02d/%02d)"));
    // Subjects without part counters stay single messages, sorted otherwise
    // than the parts are.
    auto pieces = test::MakeUuencodedPosts(group, "joined.bin", joined, 3, "Jo <jo@x>");
    const char* pieceNames[] = {"zulu", "alpha", "mike"};
    for (size_t i = 0; i < 3; ++i) pieces[i].subject = std::string("joined piece ") + pieceNames[i];
    Post(pieces);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_NO_FATAL_FAILURE(Configure(home, Inn().anonPort, 2, group));
    home.Run("scan " + group, 0, "Newsgroup Scanned Successfully");

    // Rows are sorted by subject; the index is the record's place in the file.
    CliResult r = home.Run("list " + group, 0, "\n3 binaries");
    EXPECT_TRUE(HasRows(r.out, " *0 .*alpha.bin.*\n *1 .*beta.dat.*\n *2 .*gamma.bin")) << r;
    // The filter covers the poster as well as the subject, ignoring case.
    r = home.Run("list " + group + " --filter POSTER", 0, "\n1 binaries");
    EXPECT_TRUE(HasRows(r.out, " *1 .*beta.dat")) << r;
    r = home.Run("list " + group + " --msg", 0, "\n3 messages");
    EXPECT_TRUE(HasRows(r.out, " *0 .*piece alpha.*\n *1 .*mike.*\n *2 .*zulu")) << r;

    // The save-to folder command: an existing folder, a subfolder per group,
    // and both kept for next time.
    std::filesystem::create_directory(home.Path("dl"));
    home.Run("group dir " + group + " dl --subfolder", 0, home.Path("dl/" + group + "\n"));
    EXPECT_EQ(home.Run("set SaveDefault", 0).out,
              "SaveDefault              " + home.Path("dl/") + "\n");
    home.Run("set group_subfolder", 0, "OPT_GROUP_SUBFOLDER      on");

    home.Run("get " + group + " 0", 0, "1 task(s) queued.");
    home.Run("get " + group + " --filter beta.dat --dir other", 0);
    home.Run("join " + group + " 2 0 1 --dir joined", 0);  // zulu, alpha, mike
    r = home.Run("queue", 0);
    // A joined task is named after the last part of the order given.
    EXPECT_TRUE(Has(QueueLine(r.out, 2), "waiting") && Has(QueueLine(r.out, 2), "0/3") &&
                Has(QueueLine(r.out, 3), "0/4") && Has(QueueLine(r.out, 4), "joined piece mike"))
        << r;

    r = home.Run("run", 0, "Queue saved: 4 task(s) listed.");
    EXPECT_EQ(CountOf(r.out, "Completed Successfully"), 3) << r;
    EXPECT_TRUE(ReadFileBytes(home.Path("dl/" + group + "/alpha.bin")) == alpha);
    EXPECT_TRUE(ReadFileBytes(home.Path("other/beta.dat")) == beta);
    EXPECT_TRUE(ReadFileBytes(home.Path("joined/joined.bin")) == joined);
    r = home.Run("queue list", 0);
    EXPECT_TRUE(Has(QueueLine(r.out, 2), "done") && Has(QueueLine(r.out, 2), "OK") &&
                Has(QueueLine(r.out, 3), "4/4"))
        << r;
    // The task information rows, the output file among them.
    r = home.Run("queue info 3", 0);
    EXPECT_TRUE(Has(r.out, "  Result Code  Completed\n") &&
                Has(r.out, "     Filename  " + home.Path("other/beta.dat") + "\n") &&
                Has(r.out, "  Parts Total  4\n") && Has(r.out, "     Affinity  1\n"))
        << r;
    // The counters of all time and of the last run, which did not scan.
    r = home.Run("stats", 0);
    std::smatch bytes;
    const std::regex comma(",");
    ASSERT_TRUE(std::regex_search(
        r.out, bytes,
        std::regex(R"(Files +0 +3 +0 +3\n.*\nBytes +[\d,]+ +([\d,]+) +[\d,]+ +([\d,]+)\n)")))
        << r;
    auto number = [&](int i) { return std::stoll(std::regex_replace(bytes[i].str(), comma, "")); };
    EXPECT_GT(number(1), number(2));
    EXPECT_GT(number(2), static_cast<long long>(alpha.size() + beta.size()));

    // Reset drops the header data; remove drops the group as well.
    home.Run("group reset " + group, 0);
    EXPECT_FALSE(std::filesystem::exists(home.Path("DATA/" + group + ".BIN")));
    home.Run("list " + group, 0, "\n0 binaries");
    home.Run("group remove " + group, 0);
    home.Run("list " + group, 2);
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
        ASSERT_NO_FATAL_FAILURE(Post(test::MakeUuencodedPosts(group_, "movie.bin", data_, kParts,
                                                              "Mo <mo@x>", "%s (%02d/%02d)")));
        relay_ = std::make_unique<test::CNntpRelay>(Inn().anonPort);
        ASSERT_NO_FATAL_FAILURE(Configure(home_, relay_->Port(), 1, group_));
        home_.Run("scan " + group_, 0);
        home_.Run("get " + group_ + " --all", 0);
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

    // The saved queue holds the resume point, and the next run fetches the
    // rest from part 5 on into a file identical to the posted one.
    void ExpectResumedByNextRun() {
        CliResult r = home_.Run("queue list");
        EXPECT_TRUE(Has(QueueLine(r.out, 2), "waiting") && Has(QueueLine(r.out, 2), " 4/24 "))
            << "four whole parts fetched\n"
            << r;
        relay_->Release();
        home_.Run("run", 0);
        EXPECT_TRUE(ReadFileBytes(home_.Path("out/movie.bin")) == data_);

        // The second run asked for part 5 again, then 6 to 24, and nothing
        // before. (The first had asked for part 6 too as part 5 came.)
        std::map<int, std::vector<std::string>> runs;  // BODY commands per connection
        for (const std::string& command : relay_->Commands()) {
            const size_t blank = command.find(' ');
            if (command.compare(blank, 6, " BODY ") == 0)
                runs[std::stoi(command.substr(0, blank))].push_back(command.substr(blank));
        }
        ASSERT_EQ(runs.size(), 2u);
        // The scan and both runs each logged in once, and channel 1 went on
        // on that connection.
        EXPECT_EQ(relay_->Connections(), 3);
        const auto& [first, second] = std::tie(runs.begin()->second, runs.rbegin()->second);
        ASSERT_GE(first.size(), 5u);
        EXPECT_TRUE(second.size() == kParts - 4u && second[0] == first[4]) << second.size();
    }

    CCliHome home_;
    std::string group_;
    std::string data_;
    std::unique_ptr<test::CNntpRelay> relay_;
    // The queue bar's progress text of the held part.
    const std::regex progress_{R"(\d+% = \(5/24\) \[Line \d+/\d+\])"};
};

// A closed terminal (SIGHUP) or a kill (SIGTERM) stops a run as Ctrl-C does. A
// second Ctrl-C quits without waiting for a silent server: the channel waits
// for the rest of part 5, which the relay keeps back, and the first Ctrl-C
// alone would wait for the read time-out (60 s).
class CliStopTest : public CliResumeTest, public ::testing::WithParamInterface<int> {};

TEST_P(CliStopTest, ExitsWith128PlusTheSignalAndTheNextRunResumesAtTheNextPart) {
    pid_t pid = StartHeldRun();
    // While the run works, a second process may look but not change anything:
    // the run would write its own queue over the change at its end.
    home_.Run("queue clear", 1, "another vexlo-cli is working in this directory", 2);
    home_.Run("get " + group_ + " --all", 1);
    home_.Run("server 127.0.0.1 --conn 3", 1);
    EXPECT_TRUE(Has(QueueLine(home_.Run("queue list", 0).out, 2), "movie.bin"));
    home_.Run("list " + group_, 0);

    // The signal; the held reply goes on once the program has told its
    // channels to stop, so they see the stop in the middle of part 5.
    ::kill(pid, GetParam());
    EXPECT_TRUE(WaitFor([&] { return Has(home_.SoFar(pid, 2), "stopping"); }));
    GetParam() == SIGINT ? static_cast<void>(::kill(pid, SIGINT)) : relay_->Release();
    CliResult first = home_.Wait(pid, 20);
    EXPECT_EQ(first.status, 128 + GetParam()) << first;
    EXPECT_TRUE(GetParam() == SIGINT ? Has(first.err, "queue saved with 2 task(s)")
                                     : Has(first.out, "Queue saved: 2 task(s) listed."))
        << first;
    ExpectResumedByNextRun();
}

INSTANTIATE_TEST_SUITE_P(Signals, CliStopTest, ::testing::Values(SIGHUP, SIGTERM, SIGINT));

TEST_F(CliResumeTest, AKilledRunLeavesTheResumePointsOfItsLastSave) {
    pid_t pid = StartHeldRun();
    // While a download runs the queue is saved at least every 15 s, so a look
    // beside the run soon shows the four whole parts.
    EXPECT_TRUE(WaitFor([&] { return Has(QueueLine(home_.Run("queue list").out, 2), " 4/24 "); },
                        30, 1000));
    ::kill(pid, SIGKILL);
    EXPECT_EQ(home_.Wait(pid).status, 128 + SIGKILL);
    ExpectResumedByNextRun();
}

TEST(CliTest, ServerTestGroupListsAndPasswordsKeptOffTheCommandLine) {
    CCliHome home;
    const std::string group = test::CreateUniqueGroup("alt.binaries.cli.server");
    ASSERT_FALSE(group.empty());
    home.Run("server 127.0.0.1 --port " + std::to_string(Inn().anonPort), 0);
    CliResult r = home.Run("test --connections 3", 0);
    for (const std::string channel : {"1", "2", "3"})
        EXPECT_TRUE(Has(r.out, "Channel " + channel + ": OK   200 ")) << r;

    // One bare name per line, each ended by CR LF.
    r = home.Run("groups fetch", 0);
    const std::string all = ReadFileBytes(home.Path("DATA/_GROUPS.ALL"));
    EXPECT_TRUE(Has(all, group + "\r\n") && Has(all, "misc.test\r\n") && !Has(all, " "));
    EXPECT_FALSE(std::filesystem::exists(home.Path("DATA/_GROUPS.TMP")));
    EXPECT_TRUE(Has(r.out, "Complete - " + std::to_string(CountOf(all, "\r\n")) + " Groups Read"))
        << r;
    r = home.Run("groups fetch --filter " + group, 0, "\n" + group + "\n");
    EXPECT_TRUE(Has(r.out, "(1 shown)")) << r;

    // The stored list without fetching: sorted, "binaries" unless told otherwise.
    std::vector<std::string> names = Lines(home.Run("groups list", 0).out);
    ASSERT_FALSE(names.empty());
    names.pop_back();  // the count
    EXPECT_TRUE(std::ranges::is_sorted(names) &&
                std::ranges::all_of(names, [](auto& n) { return Has(n, "binaries"); }) &&
                std::ranges::find(names, group) != names.end());
    home.Run("groups list --filter ''", 0, "\nmisc.test\n");
    // Chosen names join the group list in folders of their own.
    std::filesystem::create_directory(home.Path("news"));
    home.Run("groups add " + group + " misc.test --dir news --subfolder", 0,
             home.Path("news/" + group + "\n"));
    home.Run("groups add misc.test " + group, 0, "There were 2 Newsgroups skipped", 2);

    home.Run("server 127.0.0.1 --port " + std::to_string(Inn().authPort) +
                 " --conn 2 --user tester --pass wrong",
             0);
    r = home.Run("test --connections 3", 1);
    EXPECT_EQ(CountOf(r.out, ": FAIL 481 Authentication failed\n"), 3) << r;
    // The channels would retry the login for ever; the scan stops at once,
    // and the next scan of the group takes the task that waits.
    home.Run("scan " + group, 1, "481 Authentication failed", 2);
    home.Run("scan " + group, 1);
    EXPECT_EQ(Order(home.Run("queue").out), "1");

    // The password typed at a prompt that does not echo, typed twice, into a
    // terminal that is the run's standard input.
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_TRUE(terminal >= 0 && ::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0);
    home.stdinPath = ::ptsname(terminal);
    pid_t pid = home.Start(Words("server 127.0.0.1 --user tester"));
    for (const char* prompt : {"Password: ", "Confirm: "}) {
        EXPECT_TRUE(WaitFor([&] { return Has(home.SoFar(pid, 2), prompt); })) << prompt;
        EXPECT_EQ(::write(terminal, "s3cret\n", 7), 7);
    }
    EXPECT_EQ(home.Wait(pid, 20).status, 0);
    std::string shown(4096, '\0');  // what the terminal echoed
    shown.resize(static_cast<size_t>(std::max<ssize_t>(0, ::read(terminal, shown.data(), 4096))));
    ::close(terminal);
    EXPECT_FALSE(Has(shown, "s3cret"));
    EXPECT_TRUE(Has(ReadFileBytes(home.Path("DATA/_SETUP.INI")), "Pass=s3cret"));
    home.stdinPath = "/dev/null";
    // Or from the environment.
    ::setenv("VEXLO_PASS", "secret", 1);
    home.Run("server 127.0.0.1 --user tester", 0);
    ::unsetenv("VEXLO_PASS");
    r = home.Run("scan " + group, 0, "Task 1, waiting to scan " + group + ", runs now.");
    EXPECT_EQ(CountOf(r.out, "Newsgroup Scanned Successfully"), 1) << r;
    EXPECT_EQ(Order(home.Run("queue").out), "1");
}

TEST(CliTest, EncryptedServersTheirCertificateChecksAndRefusals) {
    ASSERT_NE(Inn().anonTlsPort, 0) << "the INN fixture was started without its TLS ports";
    CCliHome home;
    const std::string tlsPort = std::to_string(Inn().anonTlsPort);
    const std::string selfSigned = "TLS: certificate not trusted (self-signed): 127.0.0.1";
    // NNTPS with the fixture's own authority not trusted: refused wherever
    // connections are made.
    EXPECT_EQ(home.Run("server 127.0.0.1 --port " + tlsPort + " --tls", 0).out,
              "Server 127.0.0.1:" + tlsPort + ", 1 channel(s), 99 retries, login off, " +
                  "TLS (NNTPS)\n");
    home.Run("test", 1, "Channel 1: FAIL " + selfSigned + "\n");
    home.Run("groups fetch", 1, "vexlo: " + selfSigned + "\n", 2);
    home.Run("group add alt.binaries.test", 0);
    home.Run("scan alt.binaries.test", 1, selfSigned, 2);

    // Trusted through --ca; STARTTLS without the check, noted in DEBUG.TXT.
    home.Run("server 127.0.0.1 --port " + tlsPort + " --tls --ca " + Inn().caFile, 0,
             "TLS (NNTPS), also trusting " + Inn().caFile + "\n");
    home.Run("test", 0, ": OK   200 ");
    home.Run(
        "server 127.0.0.1 --port " + std::to_string(Inn().anonPort) + " --starttls --no-verify", 0,
        ", STARTTLS without certificate check\n");
    home.Run("test", 0, ": OK   200 ");
    EXPECT_TRUE(Has(ReadFileBytes(home.Path("DEBUG.TXT")),
                    "accepted without verification (TlsVerify 0): not trusted (self-signed)"));
    EXPECT_EQ(home.Run("set TlsVerify", 0).out, "TlsVerify                off\n");
    EXPECT_TRUE(home.Run("server 127.0.0.1 --no-tls", 0).out.ends_with("login off\n"));
    EXPECT_EQ(home.Run("set TLS", 0).out, "TLS                      0\n");
}

// Bytes a terminal could act on: C0 controls but the line end, DEL, and (in
// these texts, all of them ASCII but for the posted ones) every byte of a C1
// control, raw or encoded.
bool HasControlBytes(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && byte != '\n') || byte >= 0x7f;
    });
}

TEST(CliTest, ServerTextsAreShownWithTheirControlCharactersMadeVisible) {
    CCliHome home;
    const std::string group = test::CreateUniqueGroup("alt.binaries.cli.hostile");
    ASSERT_FALSE(group.empty());
    // A window title, a screen clear, blinking and a C1 CSI colour.
    const std::string hostile =
        "\x1b]0;owned\x07\x1b[2J\xc2\x9b"
        "31m";
    auto posts = test::MakeUuencodedPosts(group, "hostile.bin", RandomBytes(20000, 41), 2,
                                          "\x1b[5mEve <e@x>", hostile + "%s (%d/%d)");
    posts[0].bodyLines[0] = "begin 644 ev\x1b[1mil.bin";
    ASSERT_NO_FATAL_FAILURE(Post(posts));
    ASSERT_NO_FATAL_FAILURE(Configure(home, Inn().anonPort, 1, group));
    std::vector<CliResult> shown;
    for (const std::string& line :
         std::vector<std::string>{"scan " + group, "list " + group, "get " + group + " 0", "run",
                                  "queue list", "queue info 2"})
        shown.push_back(home.Run(line, 0));
    // A server's greeting and its error texts.
    test::CScriptPeer peer([](test::CPeerSession& session) {
        session.Write("200 news\x1b[2J\x07 ready\r\n");
        session.WaitForClose();
    });
    home.Run("server 127.0.0.1 --port " + std::to_string(peer.Port()), 0);
    shown.push_back(home.Run("test --connections 1", 0));
    for (const CliResult& r : shown) EXPECT_FALSE(HasControlBytes(r.out + r.err)) << r;
    EXPECT_TRUE(Has(shown[1].out, "\\x1b]0;owned\\x07\\x1b[2J\\xc2\\x9b31mhostile.bin (") &&
                Has(shown[1].out, "\\x1b[5mEve"))
        << shown[1];
    EXPECT_TRUE(Has(shown[3].out, "\\x1b]0;owned")) << shown[3];
    EXPECT_TRUE(Has(shown[5].out, "il.bin")) << shown[5];
    EXPECT_TRUE(Has(shown[6].out, ": OK   200 news\\x1b[2J\\x07 ready")) << shown[6];
}

TEST(CliTest, UsageErrorsAndListingsOfDamagedFilesTouchNothing) {
    CCliHome home;
    const std::string group = "alt.binaries.cli.usage";  // never scanned: no server needed
    auto expectUsageErrors = [&](const std::vector<std::string>& wrong) {
        for (const std::string& line : wrong) EXPECT_FALSE(home.Run(line, 2).err.empty()) << line;
    };
    // In a directory that holds nothing yet, nothing is created.
    expectUsageErrors({"", "-C", "help frobnicate", "run now", "test --connections 9", "set TLS 3",
                       "set Retries 70000", "set NoSuchSetting 1", "set Port 1 Conn"});
    expectUsageErrors({"server 127.0.0.1 --port 0", "server 127.0.0.1 --conn 9",
                       "server 127.0.0.1 --user tester", "server 127.0.0.1 --tls --starttls",
                       "server 127.0.0.1 --no-verify",
                       "server 127.0.0.1 --tls --ca " + home.Path("missing.pem")});
    expectUsageErrors({"group add", "group add " + group + " --dir ''", "group add a/b",
                       "group remove no.such.group", "group dir " + group, "groups add",
                       "scan no.such.group", "list no.such.group", "list " + group + " --bogus",
                       "get no.such.group --all", "join " + group});
    expectUsageErrors({"queue delete", "queue delete 7", "queue info 1 2", "queue requeue x",
                       "queue channels 1", "queue shuffle"});
    for (const char* name : {"DATA", "LOGS", "DEBUG.TXT"})
        EXPECT_FALSE(std::filesystem::exists(home.Path(name))) << name;

    home.Run("group add " + group, 0);
    expectUsageErrors({"scan --all " + group, "get " + group + " --all 0",
                       "get " + group + " 0 --channels 2", "queue info 1",
                       "group dir " + group + " no-such-dir", "set Affinity 1,2"});
    // Nothing was queued or configured by any of them.
    home.Run("queue", 0, "Queue is empty.");
    EXPECT_EQ(CountOf(home.Run("group list").out, "\n"), 2);

    // A Conn out of range in the file is repaired, not held against a port change.
    test::WriteFileBytes(home.Path("DATA/_SETUP.INI"), "[Settings]\r\nConn=12\r\n");
    home.Run("server 127.0.0.1 --port 1234", 0, "Server 127.0.0.1:1234, 1 channel(s)");

    EXPECT_TRUE(std::regex_match(home.Run("--version", 0).out,
                                 std::regex(R"(vexlo-cli \d+\.\d+(\.\d+)*\n)")));
    // Help of a command: a line per option.
    CliResult r = home.Run("help get", 0);
    for (const char* option :
         {"--all", "--filter TEXT", "INDEX", "--dir DIR", "--top", "--channels LIST"})
        EXPECT_TRUE(Has(r.out, std::string("\n  ") + option + " ")) << option << "\n" << r;
    EXPECT_EQ(home.Run("queue --help", 0).out, home.Run("help queue", 0).out);

    // Listing commands read damaged working files and change none of them;
    // the first command that changes the directory keeps a copy of each
    // before it replaces or deletes it.
    const std::string groups = ReadFileBytes(home.Path("DATA/_GROUPS.DAT")) + "junk";
    const std::string queue = std::string("\x01\x00\x00\x00", 4) + "a record cut short";
    test::WriteFileBytes(home.Path("DATA/_GROUPS.DAT"), groups);
    test::WriteFileBytes(home.Path("DATA/_QUEUE.DAT"), queue);
    for (const char* line : {"queue list", "queue", "group list", "list alt.binaries.cli.usage"}) {
        home.Run(line, kAnyStatus, "_QUEUE.DAT", 2);
        EXPECT_EQ(ReadFileBytes(home.Path("DATA/_GROUPS.DAT")), groups);
        EXPECT_EQ(ReadFileBytes(home.Path("DATA/_QUEUE.DAT")), queue);
        for (const char* copy : {"DATA/_GROUPS.DAT.bad", "DATA/_QUEUE.DAT.bad"})
            EXPECT_FALSE(std::filesystem::exists(home.Path(copy))) << copy;
    }
    home.Run("group add alt.binaries.cli.other", 0, home.Path("DATA/_GROUPS.DAT.bad"), 2);
    EXPECT_EQ(ReadFileBytes(home.Path("DATA/_GROUPS.DAT.bad")), groups);
    EXPECT_EQ(ReadFileBytes(home.Path("DATA/_QUEUE.DAT.bad")), queue);
    EXPECT_EQ(CountOf(home.Run("group list", 0).out, "\n"), 3);
}

TEST(CliTest, QueueCommandsSettingsAndTheExitStatusOfTheTasksRun) {
    CCliHome home;
    const std::string group = test::CreateUniqueGroup("alt.binaries.cli.queue");
    ASSERT_FALSE(group.empty());
    const std::string missing = group + ".missing";  // not on the server
    const std::string two = RandomBytes(50000, 32);
    Post(test::MakeUuencodedPosts(group, "one.bin", RandomBytes(30000, 31), 2, "P <p@x>"));
    Post(test::MakeUuencodedPosts(group, "two.bin", two, 2, "P <p@x>"));
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_NO_FATAL_FAILURE(Configure(home, Inn().anonPort, 2, group));
    home.Run("group add " + missing, 0);

    // A scan of a group the server does not have ends in error: exit 1.
    home.Run("scan " + missing, 1, "411 No such group");
    CliResult r = home.Run("queue list", 0, "[411 No such group " + missing + "]");
    EXPECT_TRUE(Has(QueueLine(r.out, 1), "error") && Has(QueueLine(r.out, 1), "ERROR")) << r;

    // The exit status is that of the tasks a command ran, and scan runs only
    // its scans: the old error, the requeued scan and the downloads wait.
    home.Run("scan " + group, 0);
    home.Run("get " + group + " --all", 0);
    home.Run("queue requeue 1", 0);
    EXPECT_FALSE(Has(home.Run("scan " + group, 0).out, "411"));
    r = home.Run("queue", 0);
    EXPECT_TRUE(Has(QueueLine(r.out, 1), "waiting") && Has(QueueLine(r.out, 3), "0/2")) << r;

    // Moves keep the order of what they move; info shows a download's rows.
    for (auto [args, order] : {std::pair{"queue top 4 5", "4 5 1 2 3"},
                               {"queue down 4", "5 4 1 2 3"},
                               {"queue bottom 5 1", "4 2 3 5 1"},
                               {"queue up 3", "4 3 2 5 1"},
                               {"queue up 4 3", "4 3 2 5 1"},     // already at the top
                               {"queue down 3 1", "4 2 3 5 1"}})  // 1 at the bottom stays
        EXPECT_EQ(Order(home.Run(args, 0).out), order) << args;
    r = home.Run("queue info 3", 0, "           ID  3\n         Type  Get And Decode Binary\n");
    EXPECT_TRUE(Has(r.out, "  Parts Total  2\nParts Fetched  0\n     Affinity  1\n") &&
                !Has(r.out, "Filename"))
        << r;

    // Channels of queued tasks and of get; get's become the Affinity setting.
    home.Run("queue delete 1 2 3 5", 0);
    EXPECT_TRUE(Has(QueueLine(home.Run("queue channels 4 2", 0).out, 4), "DECODE    2 "));
    home.Run("get " + group + " --all --top --channels 2", 0);
    EXPECT_EQ(home.Run("set Affinity", 0).out, "Affinity                 2\n");
    // --top puts the tasks at the top in list order: one.bin got the later ID
    // (numbers go on from the highest one in the saved queue).
    r = home.Run("queue", 0);
    EXPECT_TRUE(Order(r.out) == "6 5 4" && Has(QueueLine(r.out, 6), "one.bin")) << r;
    home.Run("queue delete 6 5", 0);

    // Tasks whose channels do not exist cannot run: run says so and exits 1.
    home.Run("server 127.0.0.1 --conn 1", 0);
    home.Run("run", 1, "1 task(s) could not run", 2);
    home.Run("queue channels 4 1", 0);
    home.Run("run", 0);
    EXPECT_TRUE(ReadFileBytes(home.Path("out/two.bin")) == two);
    EXPECT_FALSE(std::filesystem::exists(home.Path("out/one.bin")));
    home.Run("queue clear", 0, "Queue is empty.");
    home.Run("run", 0, "Queue saved: 0 task(s) listed.");

    // Settings by name, refused with the settings sheet's texts; a refusal
    // changes nothing of the command.
    for (auto [args, refusal] :
         {std::pair{"set Retries 70000", "Invalid Max Auto-Retry Value"},
          {"set ChanMaxBPS 5 OPT_AUTO_SAVE_QUEUE on", "Auto-Save Queue Interval Not Selected"},
          {"set OPT_LIMIT_SPEED on", "Invalid Max Connection Speed Value Valid range is 1 to 99"},
          {"set SaveQueue 45", "Auto-Save Queue Interval Not Selected"},
          {"set Port 0", "Server Port Invalid. Valid Numbers Are From 1 to 65535."},
          {"set Auth on User tester", "Authorization Info: Password Not Specified"}})
        home.Run(args, 2, std::string("error: ") + refusal, 2);
    home.Run("set Affinity 2", 2);  // Conn is 1
    // The title holds a blank: one word of its own.
    r = home.Wait(home.Start({"set", "SaveQueue", "30", "auto_save_queue", "on", "Retries", "7",
                              "AppTitle", "My Box", "LVCWQ", "1:2:3:4:5:6:7:2000"}));
    EXPECT_EQ(
        r.out,
        "SaveQueue                30\nOPT_AUTO_SAVE_QUEUE      on\nRetries                  7\n"
        "AppTitle                 My Box\nLVCWQ                    8:8:8:8:8:8:8:1280\n")
        << r;
    const std::string ini = ReadFileBytes(home.Path("DATA/_SETUP.INI"));
    for (const char* line : {"SaveQueue=30", "Options=256", "Retries=7", "ChanMaxBPS=0"})
        EXPECT_TRUE(Has(ini, line)) << line << "\n" << ini;
    EXPECT_EQ(CountOf(home.Run("set", 0).out, "\n"), 30);
    EXPECT_EQ(home.Run("set decode_yenc on", 0).out, "OPT_DECODE_YENC          on\n");
    EXPECT_TRUE(Has(ReadFileBytes(home.Path("DATA/_SETUP.INI")), "Options=8448"));
}

}  // namespace
}  // namespace vexlo
