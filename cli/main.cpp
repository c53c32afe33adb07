// vexlo-cli: the command-line front end of Vexlo.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "cli/help.h"
#include "core/app_dirs.h"

namespace {

using vexlo::cli::kExitOk;
using vexlo::cli::kExitUsage;

// `help`, `help COMMAND`, `COMMAND --help`, `--help` and `--version` are
// answered before anything else looks at the directory.
bool AnswerHelp(const std::vector<std::string>& words, int& status) {
    if (words.empty()) {
        vexlo::cli::PrintUsage(stderr);
        status = kExitUsage;
        return true;
    }
    const std::string& first = words[0];
    if (first == "--version") {
        std::printf("vexlo-cli %s\n", VEXLO_VERSION);
        status = kExitOk;
        return true;
    }
    const bool askedForHelp = std::any_of(words.begin(), words.end(), [](const std::string& word) {
        return word == "--help" || word == "-h";
    });
    if (first != "help" && !askedForHelp) return false;
    std::string command = first == "help" ? (words.size() > 1 ? words[1] : "") : first;
    if (command.empty() || command == "--help" || command == "-h") {
        vexlo::cli::PrintUsage(stdout);
        status = kExitOk;
    } else if (vexlo::cli::PrintCommandHelp(command, stdout)) {
        status = kExitOk;
    } else {
        std::fprintf(stderr, "vexlo: unknown command %s\n", command.c_str());
        vexlo::cli::PrintUsage(stderr);
        status = kExitUsage;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> words(argv + 1, argv + argc);
    if (!words.empty() && words[0] == "-C") {
        if (words.size() < 2) {
            std::fprintf(stderr, "vexlo: -C needs a directory\n");
            vexlo::cli::PrintUsage(stderr);
            return kExitUsage;
        }
        if (::chdir(words[1].c_str()) != 0) {
            std::fprintf(stderr, "vexlo: cannot change to %s: %s\n", words[1].c_str(),
                         std::strerror(errno));
            return kExitUsage;
        }
        words.erase(words.begin(), words.begin() + 2);
    }
    int status = kExitOk;
    if (AnswerHelp(words, status)) return status;
    std::string appDir = vexlo::ReadAppDirectory();
    if (appDir.empty()) {
        std::fprintf(stderr, "vexlo: cannot read the current directory\n");
        return kExitUsage;
    }
    const std::string command = words[0];
    try {
        vexlo::cli::CCliApp app(appDir);
        return app.Run(vexlo::cli::CArgs(std::move(words)));
    } catch (const vexlo::cli::CUsageError& e) {
        std::fprintf(stderr, "vexlo: %s\n", e.what());
        if (vexlo::cli::IsCommand(command))
            std::fprintf(stderr, "Try: vexlo-cli help %s\n", command.c_str());
        else
            vexlo::cli::PrintUsage(stderr);
        return kExitUsage;
    }
}
