// Finding the fixture servers and creating groups on them.
#include "support/inn_fixture.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "support/loopback_socket.h"

extern char** environ;

namespace vexlo::test {

namespace {

bool Fail(std::string* error, const std::string& text) {
    if (error != nullptr) *error = text;
    return false;
}

bool ReadFirstLine(const std::string& path, std::string* line) {
    std::ifstream in(path);
    return static_cast<bool>(std::getline(in, *line));
}

bool ReadPort(const std::string& path, uint16_t* port) {
    std::string line;
    if (!ReadFirstLine(path, &line)) return false;
    char* end = nullptr;
    long value = std::strtol(line.c_str(), &end, 10);
    if (end == line.c_str() || value <= 0 || value > 65535) return false;
    *port = static_cast<uint16_t>(value);
    return true;
}

bool Answers(uint16_t port, std::string* error) {
    return ConnectLoopback(port, "", 10, error).IsOpen();
}

// Runs the fixture script: args[0] is its path. Its output goes to stderr, so
// that it does not mix with what a benchmark prints. The exit status, or -1.
int RunScript(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    while (spawned == 0 && ::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return spawned == 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Group names go to a command line; keep them to the characters of real names.
bool IsPlainGroupName(const std::string& name) {
    return !name.empty() && name.front() != '.' && name.back() != '.' &&
           name.find_first_not_of(kNameCharacters + std::string(".+")) == std::string::npos;
}

}  // namespace

bool LoadInnServer(const std::string& dir, InnServer* server, std::string* error) {
    InnServer loaded;
    loaded.host = "127.0.0.1";
    loaded.dir = dir;
    if (!ReadPort(dir + "/anon.port", &loaded.anonPort) ||
        !ReadPort(dir + "/auth.port", &loaded.authPort)) {
        return Fail(error, "no INN test server in " + dir +
                               " (anon.port/auth.port missing; start it with "
                               "scripts/inn-test-server start --dir " +
                               dir + ")");
    }
    std::string reason;
    if (!Answers(loaded.anonPort, &reason) || !Answers(loaded.authPort, &reason)) {
        return Fail(error, "the INN test server in " + dir + " is not up: " + reason);
    }
    // The TLS ports came later; a fixture without them still serves plain tests.
    if (ReadPort(dir + "/anon-tls.port", &loaded.anonTlsPort) &&
        ReadPort(dir + "/auth-tls.port", &loaded.authTlsPort)) {
        loaded.caFile = dir + "/tls/ca.pem";
    } else {
        loaded.anonTlsPort = loaded.authTlsPort = 0;
    }
    *server = loaded;
    return true;
}

const InnServer& Inn() {
    static const InnServer server = [] {
        const char* dir = std::getenv("VEXLO_INN_DIR");
        if (dir == nullptr || *dir == '\0') {
            throw std::runtime_error(
                "VEXLO_INN_DIR is not set: integration tests need the INN fixture; run them "
                "through ctest, or start one with 'scripts/inn-test-server start --dir D' and "
                "set VEXLO_INN_DIR=D");
        }
        InnServer loaded;
        std::string error;
        if (!LoadInnServer(dir, &loaded, &error)) throw std::runtime_error(error);
        return loaded;
    }();
    return server;
}

bool CreateGroup(const std::string& name) {
    if (!IsPlainGroupName(name)) return false;
    const InnServer& inn = Inn();
    // The script that started the servers left its own path in the folder.
    std::string script;
    return ReadFirstLine(inn.dir + "/inn-test-server.path", &script) &&
           RunScript({script, "newgroup", "--dir", inn.dir, name}) == 0;
}

std::string CreateUniqueGroup(const std::string& prefix) {
    static std::atomic<int> counter{0};
    std::string name = prefix + ".t" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    return CreateGroup(name) ? name : std::string();
}

bool CScopedInnFixture::StartIfNeeded(const std::string& sourceDir) {
    if (std::getenv("VEXLO_INN_DIR") != nullptr) return true;
    char pattern[] = "/tmp/vexlo-inn-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return false;
    base_ = pattern;
    ::chmod(pattern, 0755);  // the servers run as user news
    dir_ = base_ + "/fixture";
    script_ = sourceDir + "/scripts/inn-test-server";
    if (RunScript({script_, "start", "--dir", dir_}) != 0) return false;
    ::setenv("VEXLO_INN_DIR", dir_.c_str(), 1);
    return true;
}

CScopedInnFixture::~CScopedInnFixture() {
    if (base_.empty()) return;
    RunScript({script_, "stop", "--dir", dir_});
    std::error_code ignored;
    std::filesystem::remove_all(base_, ignored);
}

}  // namespace vexlo::test
