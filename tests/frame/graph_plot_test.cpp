#include "frame/graph_plot.h"

#include <gtest/gtest.h>

namespace vexlo {
namespace {

constexpr int kW = 524, kH = 78, kText = 13;  // plot height P = 61

TEST(GraphPlot, RatesScaleAndLineFromBothRings) {
    EXPECT_EQ(GraphSeconds(6), 1);
    EXPECT_EQ(GraphSeconds(5), 0);
    EXPECT_EQ(GraphSeconds(5000), 899);
    CTransferStats::Ring sent{}, received{};
    // Without traffic the line fills the width one pixel above the bottom edge.
    const GraphPlot none = PlotRates(sent, received, 300, kH, kText);
    EXPECT_EQ(none.scale, 0u);
    ASSERT_EQ(none.line.size(), 148u);  // the last 148 seconds
    EXPECT_EQ(none.line.front(), (GraphPoint{295, kH - 5}));
    EXPECT_EQ(none.line.back(), (GraphPoint{1, kH - 5}));

    received[0] = 50000;  // the incomplete second is not drawn
    received[1] = 1536;   // 512 / 103 = 4 tenths: rates are rounded down
    received[2] = 30500;
    sent[899] = 60999;  // sent bytes only raise the peak
    const GraphPlot plot = PlotRates(sent, received, kW, kH, kText);
    EXPECT_EQ(plot.current, 1536u);
    EXPECT_EQ(plot.currentText, "CURRENT: 1.4 K/sec");
    EXPECT_EQ(plot.peakText, "PEAK: 59.5 K/sec");
    EXPECT_EQ(plot.scale, 1000u);  // 61000 / 61
    EXPECT_EQ(plot.line[0], (GraphPoint{kW - 5, kH - 4 - 1}));
    EXPECT_EQ(plot.line[1], (GraphPoint{kW - 7, kH - 4 - 30}));
    EXPECT_EQ(plot.line[2].y, kH - 4);
}

}  // namespace
}  // namespace vexlo
