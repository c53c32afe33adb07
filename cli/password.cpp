#include "cli/password.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "frame/settings_rules.h"

namespace vexlo::cli {

namespace {

// One line from the terminal with echo off; the echo comes back on every path.
std::string ReadHidden(const char* prompt) {
    termios saved = {};
    const bool terminal = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    // The prompt comes once the echo is off, so nothing typed after it shows.
    std::fputs(prompt, stderr);
    std::fflush(stderr);
    std::string line;
    std::getline(std::cin, line);
    if (terminal) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

const char* ReadPassword(std::string& password) {
    if (const char* value = std::getenv(kPasswordVariable)) {
        password = value;
        return password.empty() ? kPasswordNotSpecifiedText : nullptr;
    }
    if (!::isatty(STDIN_FILENO)) return kPasswordNotSpecifiedText;
    std::string typed = ReadHidden("Password: ");
    if (typed.empty()) return kPasswordNotSpecifiedText;
    if (ReadHidden("Confirm: ") != typed) return kPasswordMismatchText;
    password = std::move(typed);
    return nullptr;
}

}  // namespace vexlo::cli
