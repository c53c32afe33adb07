#include "frame/graph_plot.h"

#include <algorithm>

#include "frame/frame_texts.h"

namespace vexlo {

namespace {

// Second i (1 = newest complete) is drawn at this x.
int SecondX(int width, int i) {
    return width - 4 - 2 * i + 1;
}

}  // namespace

int GraphSeconds(int width) {
    int seconds = 0;
    while (seconds + 1 < static_cast<int>(CTransferStats::kRingSeconds) &&
           SecondX(width, seconds + 1) >= 1)
        ++seconds;
    return seconds;
}

GraphPlot PlotRates(const CTransferStats::Ring& sent, const CTransferStats::Ring& received,
                    int width, int height, int textHeight) {
    GraphPlot plot;
    plot.peak = std::max(*std::max_element(sent.begin(), sent.end()),
                         *std::max_element(received.begin(), received.end()));
    plot.current = received[1];
    plot.currentText = "CURRENT: " + RateText(plot.current);
    plot.peakText = "PEAK: " + RateText(plot.peak);
    plot.plotTop = textHeight + 2;
    plot.plotBottom = height - 4;
    // A bitmap too small for any plot still gets a defined scale.
    const int plotHeight = std::max(height - textHeight - 4, 1);
    plot.scale = static_cast<uint32_t>((uint64_t{plot.peak} + 1) / plotHeight);
    const int seconds = GraphSeconds(width);
    plot.line.reserve(seconds);
    for (int i = 1; i <= seconds; ++i) {
        const uint32_t value = plot.scale == 0 ? 1 : received[i] / plot.scale;
        plot.line.push_back({SecondX(width, i), plot.plotBottom - static_cast<int>(value)});
    }
    return plot;
}

std::string GraphServerText(std::string_view server) {
    return server.empty() ? kNoServerDefinedText : std::string(server);
}

}  // namespace vexlo
