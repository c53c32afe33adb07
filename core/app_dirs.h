// The application's directories and the queue auto-save clock.
//
// The application directory is the current working directory at start, with
// "/" appended; every path of the system is built from it: data files in
// "DATA/", the settings in "DATA/_SETUP.INI", the debug log "DEBUG.TXT".
#pragma once

#include <cstdint>
#include <string>

namespace vexlo {

class IMessageBox;

inline constexpr const char* kCreateDirsHaltText =
    "Halting Program: Unable To Create or Verify Application Directories";

// The current working directory with a trailing "/" ("" when it cannot be read).
std::string ReadAppDirectory();
// appDir + "DATA/".
std::string GetDataPath(const std::string& appDir);
std::string GetProfilePath(const std::string& appDir);
std::string GetDebugLogPath(const std::string& appDir);

// Verifies or creates "DATA", then "LOGS" (one level each). A failure shows its
// message (exclamation icon) and returns false; "LOGS" is not tried after "DATA" failed.
bool CreateAppDirectories(const std::string& appDir, IMessageBox& messageBox);

// Decides, on each timer tick, whether the queue is due for its auto-save.
// Main thread only.
class CQueueAutoSave {
  public:
    // True (and the tick remembered) when at least `intervalSeconds` whole seconds
    // passed since the last save on the wrapping millisecond tick. The first
    // call after start is always due, whatever the tick's value.
    bool Due(uint32_t now, int intervalSeconds);

  private:
    bool saved_ = false;  // a save was due once already
    uint32_t last_ = 0;
};

}  // namespace vexlo
