// The graph bar's drawing: the rate line's place, the rate texts and the
// server's corner text, over statistics driven by a test clock.
#include <QtTest>

#include "core/app_context.h"
#include "support/recording_message_box.h"
#include "support/temp_dir.h"
#include "ui/graph_bar.h"

using namespace vexlo;
using vexlo::ui::CGraphBar;

namespace {

constexpr QRgb kCyan = 0xFF00FFFF, kWhite = 0xFFFFFFFF, kDarkBlue = 0xFF000080;
constexpr QRgb kServerGrey = 0xFFC0C0C0, kStartingGrey = 0xFFDFDFDF;

// A context whose statistics run on `now` (milliseconds), and a graph bar on it.
struct GraphRig {
    uint32_t now = 5000;
    test::CTempDir dir;
    test::CRecordingMessageBox box;
    CAppContext context{dir.Path(), box, [this] { return now; }};
    CGraphBar bar{context};
};

// The rightmost x of a pixel of `colour` in rows [top, bottom); -1 for none.
int RightmostOf(const QImage& image, QRgb colour, int top, int bottom) {
    int found = -1;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == colour) found = std::max(found, x);
    return found;
}

// The right end of the server's text in the plot's top corner.
int ServerTextRight(const CGraphBar& bar) {
    const int top = bar.LastPlot().plotTop;
    return RightmostOf(bar.Bitmap(), kServerGrey, top, top + top - 2);
}

}  // namespace

class GraphBarTest : public QObject {
    Q_OBJECT
  private slots:
    void noTrafficThenOneSecondOfIt() {
        GraphRig rig;
        const QImage& image = rig.bar.Bitmap();
        const int w = CGraphBar::kWidth, h = CGraphBar::kHeight;
        QVERIFY(RightmostOf(image, kStartingGrey, 0, h) > 4);  // "Starting ..."
        rig.bar.DrawGraph();
        // Without traffic the line lies one pixel above the bottom edge.
        QCOMPARE(image.size(), QSize(w, h));
        for (int x = 1; x <= w - 5; ++x) QCOMPARE(image.pixel(x, h - 5), kCyan);
        QCOMPARE(image.pixel(w / 2, h - 4), kWhite);  // bottom edge
        QCOMPARE(image.pixel(w - 4, h / 2), kWhite);  // right edge
        QCOMPARE(image.pixel(0, 0), kDarkBlue);       // the rate texts' band
        QCOMPARE(rig.bar.LastPlot().currentText, std::string("CURRENT: 0.0 K/sec"));
        QCOMPARE(rig.bar.LastPlot().peakText, std::string("PEAK: 0.0 K/sec"));
        // The no-server text is some 28 characters wide, a short name 4.
        QVERIFY2(ServerTextRight(rig.bar) >= 150, QByteArray::number(ServerTextRight(rig.bar)));

        QVERIFY(rig.context.settings.SetServer("news"));
        rig.context.stats.AddBytesReceived(1536);
        rig.now += 1000;
        rig.bar.DrawGraph();
        const GraphPlot& plot = rig.bar.LastPlot();
        // The last complete second is the current rate.
        QCOMPARE(plot.currentText, std::string("CURRENT: 1.4 K/sec"));
        QCOMPARE(plot.peakText, std::string("PEAK: 1.4 K/sec"));
        // The peak second reaches the top of the plot at the right edge.
        QVERIFY(plot.line[0].y >= 0 && plot.line[0].y <= plot.plotTop);
        QCOMPARE(image.pixel(plot.line[0].x, plot.line[0].y), kCyan);
        const int right = ServerTextRight(rig.bar);
        QVERIFY2(right >= 10 && right <= 60, QByteArray::number(right));
    }
};

QTEST_MAIN(GraphBarTest)
#include "graph_bar_test.moc"
