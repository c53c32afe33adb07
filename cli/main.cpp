// vexlo-cli: the command-line front end of Vexlo.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "core/app_dirs.h"

namespace {

const char* const kUsage =
    "usage: vexlo-cli [-C DIR] COMMAND ...\n"
    "  server HOST [--port N] [--conn N] [--user U --pass P | --no-auth] [--retries N]\n"
    "  group add NAME [--dir DIR] | group list | group remove NAME... | group reset NAME...\n"
    "  groups fetch [--filter TEXT]\n"
    "  scan [--all | GROUP...]\n"
    "  list GROUP [--msg] [--filter TEXT] [--new]\n"
    "  get GROUP (--all | --filter TEXT | INDEX...) [--dir DIR] [--top] [--channels 1,2,...]\n"
    "  join GROUP INDEX... [--dir DIR] [--top]\n"
    "  queue [list | delete ID... | requeue ID... | clear]\n"
    "  run\n"
    "  stats\n"
    "  test [--connections N]\n";

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> words(argv + 1, argv + argc);
    if (words.size() >= 2 && words[0] == "-C") {
        if (::chdir(words[1].c_str()) != 0) {
            std::fprintf(stderr, "vexlo: cannot change to %s: %s\n", words[1].c_str(),
                         std::strerror(errno));
            return vexlo::cli::kExitUsage;
        }
        words.erase(words.begin(), words.begin() + 2);
    }
    if (words.empty() || words[0] == "-h" || words[0] == "--help" || words[0] == "help") {
        std::fputs(kUsage, words.empty() ? stderr : stdout);
        return words.empty() ? vexlo::cli::kExitUsage : vexlo::cli::kExitOk;
    }
    std::string appDir = vexlo::ReadAppDirectory();
    if (appDir.empty()) {
        std::fprintf(stderr, "vexlo: cannot read the current directory\n");
        return vexlo::cli::kExitUsage;
    }
    try {
        vexlo::cli::CCliApp app(appDir);
        return app.Run(vexlo::cli::CArgs(std::move(words)));
    } catch (const vexlo::cli::CUsageError& e) {
        std::fprintf(stderr, "vexlo: %s\n%s", e.what(), kUsage);
        return vexlo::cli::kExitUsage;
    }
}
