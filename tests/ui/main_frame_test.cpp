// The main window on the offscreen platform: command states, caption, panes,
// the scan commands through the menu, and the close with what it saves.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <memory>

#include "frame/commands.h"
#include "groups/group_list.h"
#include "support/ui_harness.h"
#include "tasks/task.h"
#include "ui/group_bar.h"
#include "ui/main_frame.h"
#include "ui/queue_bar.h"

using vexlo::test::CUiHarness;

namespace vexlo::ui {

class MainFrameTest : public QObject {
    Q_OBJECT

    static std::unique_ptr<CMainFrame> Open(CUiHarness& h) {
        auto frame = std::make_unique<CMainFrame>(h.Context(), h.Controller());
        frame->resize(900, 700);
        frame->show();
        return frame;
    }
    static bool Enabled(CMainFrame& frame, int id) {
        frame.UpdateCommandUi();
        return frame.Action(id)->isEnabled();
    }
    static void QueueScan(CUiHarness& h, const std::string& group) {
        h.Controller().ScanGroups({group});
    }

  private slots:
    void commandStatesFollowSelectionAndAgent() {
        CUiHarness h;
        h.Context().settings.SetConn(2);
        auto frame = Open(h);
        CGroupList& groups = h.Controller().Groups();
        QVERIFY(!Enabled(*frame, ID_SCAN_SELECTED));
        QVERIFY(Enabled(*frame, ID_SCAN_ALL));
        QVERIFY(!Enabled(*frame, ID_QUEUE_DELETE));
        QVERIFY(!Enabled(*frame, ID_GET_DECODE));
        groups.AddGroup("alt.a", "/tmp/");
        groups.AddGroup("alt.b", "/tmp/");
        groups.Select(1, true);
        QVERIFY(Enabled(*frame, ID_SCAN_SELECTED));
        QVERIFY(Enabled(*frame, ID_SET_SAVE_TO));
        QueueScan(h, "alt.a");
        QueueScan(h, "alt.b");
        h.Controller().Queue().Select(0, true);
        QVERIFY(Enabled(*frame, ID_TASK_INFO));
        h.Controller().Queue().Select(1, true);
        QVERIFY(!Enabled(*frame, ID_TASK_INFO));
        QVERIFY(Enabled(*frame, ID_QUEUE_TOP));
        // Stopped, then Running.
        QVERIFY(Enabled(*frame, ID_START));
        QVERIFY(!Enabled(*frame, ID_STOP_NOW));
        h.Controller().Agent().StartProcessing();
        QVERIFY(!Enabled(*frame, ID_START));
        QVERIFY(Enabled(*frame, ID_STOP_GRACEFULLY));
        // With no channel busy a graceful stop ends at once.
        h.Controller().Agent().StopAfterCurrent();
        QVERIFY(Enabled(*frame, ID_START));
        QVERIFY(!Enabled(*frame, ID_STOP_GRACEFULLY));
        // The bar toggles carry check marks.
        frame->Action(ID_VIEW_QUEUEBAR)->trigger();
        frame->UpdateCommandUi();
        QVERIFY(!frame->QueueBar()->isVisible());
        QVERIFY(!frame->Action(ID_VIEW_QUEUEBAR)->isChecked());
        QVERIFY(frame->Action(ID_VIEW_GROUPBAR)->isChecked());
        h.Controller().Agent().StopNow();
    }

    void captionAndPanes() {
        CUiHarness h;
        h.Context().settings.SetAppTitle("Mine");
        auto frame = Open(h);
        frame->UpdateTitle();
        QCOMPARE(frame->windowTitle(), QString("Mine - [No Group Open]"));
        frame->UpdateCommandUi();
        QCOMPARE(frame->QueuePane()->text(), QString("No Tasks"));
        QCOMPARE(frame->SelectionPane()->text(), QString("No Items Selected"));
        QueueScan(h, "alt.a");
        QueueScan(h, "alt.b");
        frame->UpdateCommandUi();
        QCOMPARE(frame->QueuePane()->text(), QString("Queue: 2"));
    }

    void scanToTopThroughTheMenuKeepsGroupOrder() {
        CUiHarness h;
        h.Context().settings.SetOption(OPT_SCAN_TO_TOP, 1);
        auto frame = Open(h);
        QueueScan(h, "alt.old");
        CGroupList& groups = h.Controller().Groups();
        for (const char* name : {"g3", "g1", "g2"}) groups.AddGroup(name, "/tmp/");
        frame->Action(ID_SCAN_ALL)->trigger();
        CDownloadQueue& queue = h.Controller().Queue();
        QCOMPARE(int(queue.Count()), 4);
        const char* expected[] = {"(SCAN) g1", "(SCAN) g2", "(SCAN) g3", "(SCAN) alt.old"};
        for (size_t i = 0; i < 4; ++i)
            QCOMPARE(queue.Row(i).task->GetSubject(), std::string(expected[i]));
    }

    void settingsCommandRecreatesTheChannelsWhenConnChanges() {
        CUiHarness h;
        h.Context().settings.SetServer("127.0.0.1");
        h.Context().settings.SetConn(2);
        auto frame = Open(h);
        QCOMPARE(h.Controller().Agent().ChannelCount(), 2);
        // The user picks 4 connections on the Server page and clicks OK.
        QTimer::singleShot(0, [] {
            QWidget* sheet = QApplication::activeModalWidget();
            QVERIFY(sheet);
            QCOMPARE(sheet->windowTitle(), QString("Vexlo Program Settings"));
            sheet->findChild<QComboBox*>("1011")->setCurrentIndex(3);
            sheet->findChild<QPushButton*>("1")->click();
        });
        frame->Action(ID_SETTINGS)->trigger();
        QCOMPARE(h.Controller().Agent().ChannelCount(), 4);
        QCOMPARE(CProfileStore(h.Context().profile.Path()).GetProfileInt("Settings", "Conn", 0), 4);
    }

    void closeIsRefusedWhileProcessingAndSavesTheWindowOtherwise() {
        CUiHarness h;
        {
            auto frame = Open(h);
            h.Controller().Agent().StartProcessing();
            QueueScan(h, "alt.a");
            h.Controller().Queue().Select(0, false);
            // A task listed while processing is on: refused, nothing saved.
            QVERIFY(!frame->close());
            QCOMPARE(h.TakeTexts().back(),
                     std::string("Application cannot close while processing is enabled.\r\n"
                                 "Click the Stop button to stop processing."));
            QVERIFY(frame->TimerRunning());
            h.Controller().Agent().StopNow();
            QTRY_VERIFY(h.Controller().Agent().IsStopped());
            frame->QueueBar()->setFloating(true);
            frame->QueueBar()->resize(420, 150);
            frame->showMaximized();
            QVERIFY(frame->close());
            QVERIFY(!frame->TimerRunning());
        }
        CProfileStore saved(h.Context().profile.Path());
        QVERIFY(!saved.GetProfileString("GroupBar", "State", "").empty());
        QVERIFY(!saved.GetProfileString("QueueBar", "State", "").empty());
        QCOMPARE(saved.GetProfileInt("QueueBar-SCBar-125", "sizeFloatCX", 0), 420);
        QVERIFY(saved.GetProfileInt("Settings", "Options", 0) & OPT_START_MAXIMIZED);
        QVERIFY(!saved.GetProfileString("Settings", "LVCWQ", "").empty());

        // A second start finds the queue and the floating bar where they were.
        h.Restart();
        auto again = Open(h);
        QCOMPARE(int(h.Controller().Queue().Count()), 1);
        QVERIFY(again->QueueBar()->isFloating());
        QCOMPARE(again->QueueBar()->Sizes().floating.cx, 420);
    }
};

}  // namespace vexlo::ui

QTEST_MAIN(vexlo::ui::MainFrameTest)
#include "main_frame_test.moc"
