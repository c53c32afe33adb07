// The command line's own help: the usage summary and, per command, its forms
// with a line per option and argument.
#pragma once

#include <cstdio>
#include <string>

namespace vexlo::cli {

// Whether `name` is one of the commands.
bool IsCommand(const std::string& name);
// The usage summary: one line per command form.
void PrintUsage(FILE* out);
// The forms of `command`, what it does and a line per option; false when
// there is no such command.
bool PrintCommandHelp(const std::string& command, FILE* out);

}  // namespace vexlo::cli
