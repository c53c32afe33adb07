// The main window on the offscreen platform: command states, caption, panes,
// the scan commands through the menu, the close with what it saves, the graph
// bar's drawing over statistics driven by a test clock, and the pictures.
#include "ui/main_frame.h"

#include "frame/commands.h"
#include "groups/group_list.h"
#include "support/ui_harness.h"
#include "tasks/task.h"
#include "ui/graph_bar.h"
#include "ui/group_bar.h"
#include "ui/image_list.h"
#include "ui/queue_bar.h"

using vexlo::test::CUiHarness;

namespace vexlo::ui {
namespace {

constexpr QRgb kCyan = 0xFF00FFFF, kWhite = 0xFFFFFFFF, kDarkBlue = 0xFF000080;
constexpr QRgb kServerGrey = 0xFFC0C0C0, kStartingGrey = 0xFFDFDFDF;

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

// True when the icon has at least one non-transparent pixel at size x size.
bool Draws(const QIcon& icon, int size) {
    QImage blank(size, size, QImage::Format_Alpha8);
    blank.fill(0);
    const QImage alpha = icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_Alpha8);
    return alpha.size() == blank.size() && alpha != blank;
}

}  // namespace

class MainFrameTest : public QObject {
    Q_OBJECT

    static std::unique_ptr<CMainFrame> Open(CUiHarness& h) {
        auto frame = std::make_unique<CMainFrame>(h.Context(), h.Controller());
        frame->resize(900, 700);
        frame->show();
        return frame;
    }
    // "1" per enabled command of `ids`, after the window updated them.
    static QString Enabled(CMainFrame& frame, std::initializer_list<int> ids) {
        frame.UpdateCommandUi();
        QString states;
        for (int id : ids) states += frame.Action(id)->isEnabled() ? '1' : '0';
        return states;
    }

  private slots:
    void statesCaptionPanesAndSettingsFollowTheListsAndTheAgent() {
        CUiHarness h;
        h.Context().settings.SetAppTitle("Mine");
        h.Context().settings.SetConn(2);
        h.Context().settings.SetOption(OPT_SCAN_TO_TOP, 1);
        auto frame = Open(h);
        frame->UpdateTitle();
        QCOMPARE(frame->windowTitle(), "Mine - [No Group Open]");
        // The command rules' cases are the frame's tests; here the window's
        // lists and agent reach them.
        QCOMPARE(Enabled(*frame, {ID_SCAN_SELECTED, ID_QUEUE_DELETE, ID_GET_DECODE}), "000");
        QCOMPARE(frame->SelectionPane()->text(), "No Items Selected");

        // Scan-to-top through the menu: the groups in list order above the old task.
        h.Controller().ScanGroups({"alt.old"});
        CGroupList& groups = h.Controller().Groups();
        for (const char* name : {"g3", "g1", "g2"}) groups.AddGroup(name, "/tmp/");
        frame->Action(ID_SCAN_ALL)->trigger();
        QCOMPARE(test::Column(*frame->QueueBar()->Model(), CQueueModel::kSubject),
                 (QStringList{"(SCAN) g1", "(SCAN) g2", "(SCAN) g3", "(SCAN) alt.old"}));
        CDownloadQueue& queue = h.Controller().Queue();
        groups.Select(1, true);
        queue.Select(0, true);
        QCOMPARE(Enabled(*frame, {ID_SCAN_SELECTED, ID_TASK_INFO}), "11");
        QCOMPARE(frame->QueuePane()->text(), "Queue: 4");
        // Running, then a graceful stop that ends at once with no channel busy.
        h.Controller().Agent().StartProcessing();
        QCOMPARE(Enabled(*frame, {ID_START, ID_STOP_GRACEFULLY}), "01");
        h.Controller().Agent().StopAfterCurrent();
        QCOMPARE(Enabled(*frame, {ID_START, ID_STOP_GRACEFULLY}), "10");
        // The bar toggles carry check marks.
        frame->Action(ID_VIEW_QUEUEBAR)->trigger();
        frame->UpdateCommandUi();
        QVERIFY(!frame->QueueBar()->isVisible());
        QVERIFY(!frame->Action(ID_VIEW_QUEUEBAR)->isChecked());
        h.Controller().Agent().StopNow();

        // 4 connections picked on the Server page recreate the channels.
        QCOMPARE(h.Controller().Agent().ChannelCount(), 2);
        QString title;
        test::AnswerNextDialog([&](QWidget& sheet) {
            title = sheet.windowTitle();
            test::Fill(sheet, {{1005, "127.0.0.1"}, {1011, 3}});
        });
        frame->Action(ID_SETTINGS)->trigger();
        QCOMPARE(title, "Vexlo Program Settings");
        QCOMPARE(h.Controller().Agent().ChannelCount(), 4);
        QCOMPARE(CProfileStore(h.Context().profile.Path()).GetProfileInt("Settings", "Conn", 0), 4);
    }

    void closeIsRefusedWhileProcessingAndSavesTheWindowOtherwise() {
        CUiHarness h;
        {
            auto frame = Open(h);
            h.Controller().Agent().StartProcessing();
            h.Controller().ScanGroups({"alt.a"});
            h.Controller().Queue().Select(0, false);
            // A task listed while processing is on: refused, nothing saved.
            QVERIFY(!frame->close());
            QCOMPARE(h.TakeTexts(),
                     "Application cannot close while processing is enabled.\r\n"
                     "Click the Stop button to stop processing.");
            QVERIFY(frame->TimerRunning());
            h.Controller().Agent().StopNow();
            QTRY_VERIFY(h.Controller().Agent().IsStopped());
            // The group list's widths are kept by column, wherever it was dragged.
            QHeaderView* groupHeader = frame->GroupBar()->List()->horizontalHeader();
            groupHeader->moveSection(0, 5);
            groupHeader->resizeSection(0, 151);
            frame->QueueBar()->setFloating(true);
            frame->QueueBar()->resize(420, 150);
            frame->showMaximized();
            QVERIFY(frame->close());
            QVERIFY(!frame->TimerRunning());
        }
        CProfileStore saved(h.Context().profile.Path());
        // (The queue bar's state and sizes are seen by the second start.)
        QVERIFY(!saved.GetProfileString("GroupBar", "State", "").empty());
        QVERIFY(saved.GetProfileInt("Settings", "Options", 0) & OPT_START_MAXIMIZED);
        QVERIFY(!saved.GetProfileString("Settings", "LVCWQ", "").empty());

        // A second start finds the queue and the floating bar where they were.
        h.Restart();
        auto again = Open(h);
        QCOMPARE(int(h.Controller().Queue().Count()), 1);
        QVERIFY(again->QueueBar()->isFloating());
        QCOMPARE(again->QueueBar()->Sizes().floating.cx, 420);
        QCOMPARE(again->GroupBar()->List()->columnWidth(0), 151);
    }

    void graphBarAndPicturesDraw() {
        uint32_t now = 5000;
        test::CTempDir dir;
        test::CRecordingMessageBox box;
        CAppContext context{dir.Path(), box, [&now] { return now; }};
        CGraphBar bar{context};
        const QImage& image = bar.Bitmap();
        const int w = CGraphBar::kWidth, h = CGraphBar::kHeight;
        QVERIFY(RightmostOf(image, kStartingGrey, 0, h) > 4);  // "Starting ..."
        bar.DrawGraph();
        // Without traffic the line lies one pixel above the bottom edge.
        for (int x = 1; x <= w - 5; ++x) QCOMPARE(image.pixel(x, h - 5), kCyan);
        QCOMPARE(image.pixel(w / 2, h - 4), kWhite);  // bottom edge
        QCOMPARE(image.pixel(w - 4, h / 2), kWhite);  // right edge
        QCOMPARE(image.pixel(0, 0), kDarkBlue);       // the rate texts' band
        QCOMPARE(bar.LastPlot().currentText, std::string("CURRENT: 0.0 K/sec"));
        // The no-server text is some 28 characters wide, a short name 4.
        QVERIFY2(ServerTextRight(bar) >= 150, QByteArray::number(ServerTextRight(bar)));

        QVERIFY(context.settings.SetServer("news"));
        context.stats.AddBytesReceived(1536);
        now += 1000;
        bar.DrawGraph();
        const GraphPlot& plot = bar.LastPlot();
        // The last complete second is the current rate.
        QCOMPARE(plot.currentText, std::string("CURRENT: 1.4 K/sec"));
        // The peak second reaches the top of the plot at the right edge.
        QVERIFY(plot.line[0].y >= 0 && plot.line[0].y <= plot.plotTop);
        QCOMPARE(image.pixel(plot.line[0].x, plot.line[0].y), kCyan);
        const int right = ServerTextRight(bar);
        QVERIFY2(right >= 10 && right <= 60, QByteArray::number(right));

        // Every picture draws.
        for (int index = 0; index < kImageCount; ++index)
            QVERIFY2(Draws(ListIcon(index), 16), QByteArray::number(index));
        QVERIFY(ListIcon(kImageCount).isNull());
        for (int id : {ID_SETTINGS, ID_VIEW_GROUPBAR, ID_VIEW_QUEUEBAR, ID_VIEW_GRAPHBAR, ID_START,
                       ID_STOP_GRACEFULLY, ID_STOP_NOW, ID_HISTORY, ID_GET_TEXT, ID_GET_DECODE,
                       ID_SCAN_SELECTED, ID_FIND, ID_NEW_ONLY, ID_FILTER, ID_CLEAR_FILTER,
                       ID_VIEW_MSG, ID_VIEW_BIN, ID_APP_ABOUT})
            QVERIFY2(Draws(CommandIcon(id), 20), QByteArray::number(id));
        QVERIFY(CommandIcon(ID_APP_EXIT).isNull());
        QVERIFY(Draws(AppIcon(), 48));
        QVERIFY(Draws(DriveIcon(), 16));
        QVERIFY(Draws(FolderIcon(), 16));
    }
};

}  // namespace vexlo::ui

QTEST_MAIN(vexlo::ui::MainFrameTest)
#include "main_frame_test.moc"
