// The login password without the command line, where `ps` and the shell's
// history would show it: from the environment variable VEXLO_PASS, or typed
// at a prompt that does not echo.
#pragma once

#include <string>

namespace vexlo::cli {

inline constexpr const char* kPasswordVariable = "VEXLO_PASS";

// VEXLO_PASS when it is set; otherwise, when standard input is a terminal,
// the password typed twice (prompts on stderr, echo off). Returns nullptr
// with the password in `password`, or the settings sheet's refusal text: no
// password (also without a terminal), or two that differ.
const char* ReadPassword(std::string& password);

}  // namespace vexlo::cli
