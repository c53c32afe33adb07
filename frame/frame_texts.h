// The texts the main window shows, built from plain values: the caption, the
// status bar's selection and queue panes, the graph bar's rate texts.
//
// Pure functions, callable from any thread; the window only puts them on screen.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vexlo {

inline constexpr const char* kStartupCaption = "Vexlo 2002 - No Group Open";
inline constexpr const char* kNoGroupOpenText = "[No Group Open]";
inline constexpr const char* kNotImplementedText = "Functionality Not Implemented Yet. (BETA)";
inline constexpr const char* kNoServerDefinedText = "(No Server Defined In Setup)";
// The widest texts of the two panes: they size the panes.
inline constexpr const char* kSelectionPaneSizer = "Selected: 99999 (~99999.99 KB)";
inline constexpr const char* kQueuePaneSizer = "Queue: 999999";

// What the header view shows, for the caption.
struct CaptionState {
    std::string appTitle;   // the AppTitle setting; "" for none
    std::string groupName;  // "" when no group is open
    std::string filter;     // "" for no filter
    bool showOnlyNew = false;
};

// "<AppTitle> - " when a prefix is set, then the group, ` + "filter"` and
// " (NEW)", or "[No Group Open]".
std::string BuildCaption(const CaptionState& state);

// The selection pane: "No Items Selected", or "Selected: n (~K K|MB|GB)" with
// 45 bytes counted for every line of the selected rows.
std::string SelectionPaneText(int selectedRows, uint64_t selectedLines);

// The queue pane: "No Tasks", or "Queue: n" with the number of waiting rows.
std::string QueuePaneText(int waitingRows);

// A rate in bytes per second as "%d.%d K/sec": whole kilobytes and the tenth
// rounded down (1536 gives "1.4 K/sec").
std::string RateText(uint32_t bytesPerSecond);

}  // namespace vexlo
