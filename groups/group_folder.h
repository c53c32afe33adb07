// The decisions of the two group folder dialogs (add a group, set the save-to
// folder of the selected groups), apart from their widgets, so that the GUI
// and the command line accept and refuse the same input.
//
// Pure functions over the file system's view of directories; main thread.
#pragma once

#include <string>
#include <string_view>

namespace vexlo {

inline constexpr const char* kNoGroupNameText = "No newsgroup name specified!";
inline constexpr const char* kNoSuchDirectoryText =
    "The specified directory does not exist.\r\nPlease enter a valid directory name.";

// The add-group dialog's OK step. Name and folder are taken up to 259
// characters; the folder gets a trailing "/" ("" becomes "/"). Returns nullptr
// when accepted, with `directory` set to the folder followed directly by the
// name when `subfolder` is set (no "/" behind it) — the new group's directory
// and the next SaveDefault. Otherwise returns the text to show with the stop
// icon (empty name, or a folder that does not exist) and the dialog stays open.
const char* CheckNewGroupInput(std::string_view name, std::string_view folder, bool subfolder,
                               std::string& directory);

// The save-to folder dialog's OK step: the folder up to 259 characters with a
// trailing "/" in `normalized`; nullptr when it exists, otherwise the stop text.
const char* CheckSaveToFolder(std::string_view folder, std::string& normalized);

}  // namespace vexlo
