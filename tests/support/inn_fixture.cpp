// Finding the fixture servers and creating groups on them.
#include "support/inn_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "support/loopback_socket.h"

namespace vexlo::test {

namespace {

std::string ReadFirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// The port number a fixture file holds; 0 when it holds none.
uint16_t ReadPort(const std::string& path) {
    const long value = std::strtol(ReadFirstLine(path).c_str(), nullptr, 10);
    return value > 0 && value <= 65535 ? static_cast<uint16_t>(value) : 0;
}

// Runs the fixture script with `args`, each quoted for the shell. Its output
// goes to stderr, so that it does not mix with what a benchmark prints.
bool RunScript(const std::string& script, const std::vector<std::string>& args) {
    std::string command = "'" + script + "'";
    for (const std::string& arg : args) command += " '" + arg + "'";
    return std::system((command + " 1>&2").c_str()) == 0;
}

}  // namespace

bool LoadInnServer(const std::string& dir, InnServer* server, std::string* error) {
    InnServer loaded{
        "127.0.0.1", ReadPort(dir + "/anon.port"), ReadPort(dir + "/auth.port"), 0, 0, "", dir};
    std::string reason = "no anon.port/auth.port; scripts/inn-test-server start --dir D starts it";
    if (loaded.anonPort != 0 && loaded.authPort != 0 &&
        ConnectLoopback(loaded.anonPort, "", 10, &reason).IsOpen() &&
        ConnectLoopback(loaded.authPort, "", 10, &reason).IsOpen()) {
        // The TLS ports came later; a fixture without them still serves plain tests.
        loaded.anonTlsPort = ReadPort(dir + "/anon-tls.port");
        loaded.authTlsPort = ReadPort(dir + "/auth-tls.port");
        if (loaded.anonTlsPort != 0 && loaded.authTlsPort != 0) loaded.caFile = dir + "/tls/ca.pem";
        *server = loaded;
        return true;
    }
    if (error != nullptr) *error = "the INN test server in " + dir + " is not up (" + reason + ")";
    return false;
}

const InnServer& Inn() {
    static const InnServer server = [] {
        const char* dir = std::getenv("VEXLO_INN_DIR");
        if (dir == nullptr || *dir == '\0')
            throw std::runtime_error(
                "VEXLO_INN_DIR is not set: run integration tests through "
                "ctest, or set it to a folder that 'scripts/inn-test-server "
                "start --dir D' started");
        InnServer loaded;
        std::string error;
        if (!LoadInnServer(dir, &loaded, &error)) throw std::runtime_error(error);
        return loaded;
    }();
    return server;
}

bool CreateGroup(const std::string& name) {
    // Group names go to a command line; keep them to the characters of real
    // names.
    if (name.empty() || name.front() == '.' || name.back() == '.' ||
        name.find_first_not_of(kNameCharacters + ".+") != std::string::npos) {
        return false;
    }
    // The script that started the servers left its own path in the folder.
    const std::string script = ReadFirstLine(Inn().dir + "/inn-test-server.path");
    return !script.empty() && RunScript(script, {"newgroup", "--dir", Inn().dir, name});
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
    return RunScript(script_, {"start", "--dir", dir_}) &&
           ::setenv("VEXLO_INN_DIR", dir_.c_str(), 1) == 0;
}

CScopedInnFixture::~CScopedInnFixture() {
    if (base_.empty()) return;
    RunScript(script_, {"stop", "--dir", dir_});
    std::error_code ignored;
    std::filesystem::remove_all(base_, ignored);
}

}  // namespace vexlo::test
