// The arithmetic of the bandwidth graph: from the two rate rings and the
// bitmap's size, the current and peak rates with their texts, and the points
// of the rate line (received bytes only; sent bytes count toward the peak).
//
// The newest complete second sits at the right edge and older seconds go left
// two pixels each, so the line holds as many seconds as fit (at most 899).
// Pure functions, callable from any thread; the graph bar only draws the result.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "nntp/transfer_stats.h"

namespace vexlo {

struct GraphPoint {
    int x = 0;
    int y = 0;
    bool operator==(const GraphPoint&) const = default;
};

struct GraphPlot {
    uint32_t peak = 0;        // the largest value of both rings, all 900 seconds
    uint32_t current = 0;     // received[1], the last complete second
    std::string currentText;  // "CURRENT: 1.4 K/sec"
    std::string peakText;     // "PEAK: 1.4 K/sec"
    // The plot runs from y = textHeight + 2 down to y = height - 4.
    int plotTop = 0;
    int plotBottom = 0;
    uint32_t scale = 0;            // bytes per pixel; 0 puts every point at value 1
    std::vector<GraphPoint> line;  // newest second first, joined in this order
};

// `textHeight` is the height of the peak text in the small font.
GraphPlot PlotRates(const CTransferStats::Ring& sent, const CTransferStats::Ring& received,
                    int width, int height, int textHeight);

// The seconds the line shows in a bitmap `width` pixels wide.
int GraphSeconds(int width);

// The corner text: the server's name, or "(No Server Defined In Setup)".
std::string GraphServerText(std::string_view server);

}  // namespace vexlo
