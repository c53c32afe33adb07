#include "frame/frame_texts.h"

#include <cstdio>

namespace vexlo {

std::string BuildCaption(const CaptionState& state) {
    std::string caption;
    if (!state.appTitle.empty()) caption = state.appTitle + " - ";
    if (state.groupName.empty()) return caption + kNoGroupOpenText;
    caption += state.groupName;
    if (!state.filter.empty()) caption += " + \"" + state.filter + "\"";
    if (state.showOnlyNew) caption += " (NEW)";
    return caption;
}

std::string SelectionPaneText(int selectedRows, uint64_t selectedLines) {
    if (selectedRows < 1) return "No Items Selected";
    // Each line stands for 45 bytes, counted in kilobytes (45 / 1024).
    double k = static_cast<double>(selectedLines) * 0.0439453125;
    char text[96];
    if (k < 1024) {
        std::snprintf(text, sizeof text, "Selected: %d (~%0.2lf K)", selectedRows, k);
    } else if (double m = k / 1024; m < 1024) {
        std::snprintf(text, sizeof text, "Selected: %d (~%0.2lf MB)", selectedRows, m);
    } else {
        std::snprintf(text, sizeof text, "Selected: %d (~%0.2lf GB)", selectedRows, m / 1024);
    }
    return text;
}

std::string QueuePaneText(int waitingRows) {
    if (waitingRows < 1) return "No Tasks";
    return "Queue: " + std::to_string(waitingRows);
}

std::string RateText(uint32_t bytesPerSecond) {
    char text[48];
    std::snprintf(text, sizeof text, "%u.%u K/sec", bytesPerSecond / 1024,
                  (bytesPerSecond % 1024) / 103);
    return text;
}

}  // namespace vexlo
