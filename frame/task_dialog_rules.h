// The rules of the task dialogs (get and decode, join parts, affinity, task
// information) apart from their drawing: which channel boxes are enabled and
// checked, the directory the get-and-decode dialog settles on, the moves of
// the join-parts list, and the rows of the task information.
//
// Pure functions, callable from any thread; the dialogs only put them on screen.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vexlo {

class CTask;

inline constexpr const char* kNoChannelAffinityText =
    "Oops!  No Channel Affinity!\r\nCheck one or more channels.";
inline constexpr const char* kAffinityNotSetText = "Affinity Not Set!";

// Channel box n (1..8) stands for bit n - 1 of an affinity mask. A box is
// enabled for a configured channel (bit set in `channelMask`, GetChannelMask)
// and then checked when its bit is set in `mask`; others are off and unchecked.
struct ChannelBoxState {
    bool enabled = false;
    bool checked = false;
};
ChannelBoxState ChannelBox(int n, uint32_t mask, uint32_t channelMask);

// The get-and-decode dialog's directory on OK: the edit's text (at most 259
// characters), the subfolder behind a "/" when it is used and not empty, and
// a trailing "/" ("/dl" with "x" gives "/dl/x/").
std::string DownloadDirectory(const std::string& edit, const std::string& subfolder,
                              bool useSubfolder);

// The four moves of the join-parts list.
enum class PartMove { Up, Down, Top, Bottom };
// Whether a move's button is enabled with row `selected` (-1: none) of `count`.
bool PartMoveEnabled(PartMove move, int selected, int count);
// Where the selected row goes, or -1 when the move does nothing.
int PartMoveTarget(PartMove move, int selected, int count);

// One line of the task information list.
struct TaskInfoRow {
    std::string property;
    std::string value;
};
// ID, Type, Result Code, Result Info, Newsgroup, Title, Directory, then for
// downloads Filename (when set), Parts Total and Parts Fetched, and Affinity.
std::vector<TaskInfoRow> TaskInfoRows(const CTask& task);

}  // namespace vexlo
