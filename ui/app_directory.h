// Where the desktop program works. Started from a terminal it works in the
// current directory, like vexlo-cli; started from the desktop (the desktop
// entry passes --user-dir) it works in the per-user directory
// $XDG_DATA_HOME/vexlo (~/.local/share/vexlo when unset), created on first
// start. Main thread, before the window exists.
#pragma once

#include <string>

namespace vexlo::ui {

// The per-user application directory, with a trailing "/".
std::string UserAppDirectory();

// Changes into the per-user directory, creating it (and its parents) when
// missing. False with the reason in *error.
bool EnterUserAppDirectory(std::string* error);

}  // namespace vexlo::ui
