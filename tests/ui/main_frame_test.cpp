// The main window on the offscreen platform: command states, caption, panes,
// the scan commands through the menu, and the close with what it saves.

#include "ui/main_frame.h"
#include "frame/commands.h"
#include "groups/group_list.h"
#include "support/ui_harness.h"
#include "tasks/task.h"
#include "ui/group_bar.h"
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
    // "1" per enabled command of `ids`, after the window updated them.
    static QString Enabled(CMainFrame& frame, std::initializer_list<int> ids) {
        frame.UpdateCommandUi();
        QString states;
        for (int id : ids) states += frame.Action(id)->isEnabled() ? '1' : '0';
        return states;
    }

  private slots:
    void statesCaptionAndPanesFollowTheListsAndTheAgent() {
        CUiHarness h;
        h.Context().settings.SetAppTitle("Mine");
        h.Context().settings.SetConn(2);
        h.Context().settings.SetOption(OPT_SCAN_TO_TOP, 1);
        auto frame = Open(h);
        frame->UpdateTitle();
        QCOMPARE(frame->windowTitle(), "Mine - [No Group Open]");
        QCOMPARE(Enabled(*frame, {ID_SCAN_SELECTED, ID_SCAN_ALL, ID_QUEUE_DELETE, ID_GET_DECODE}),
                 "0100");
        QCOMPARE(frame->QueuePane()->text(), "No Tasks");
        QCOMPARE(frame->SelectionPane()->text(), "No Items Selected");

        // Scan-to-top through the menu: the groups in list order above the old task.
        h.Controller().ScanGroups({"alt.old"});
        CGroupList& groups = h.Controller().Groups();
        for (const char* name : {"g3", "g1", "g2"}) groups.AddGroup(name, "/tmp/");
        frame->Action(ID_SCAN_ALL)->trigger();
        CDownloadQueue& queue = h.Controller().Queue();
        QCOMPARE(int(queue.Count()), 4);
        const char* expected[] = {"(SCAN) g1", "(SCAN) g2", "(SCAN) g3", "(SCAN) alt.old"};
        for (size_t i = 0; i < 4; ++i)
            QCOMPARE(queue.Row(i).task->GetSubject(), std::string(expected[i]));
        groups.Select(1, true);
        queue.Select(0, true);
        QCOMPARE(Enabled(*frame, {ID_SCAN_SELECTED, ID_SET_SAVE_TO, ID_TASK_INFO}), "111");
        QCOMPARE(frame->QueuePane()->text(), "Queue: 4");
        queue.Select(1, true);
        QCOMPARE(Enabled(*frame, {ID_TASK_INFO, ID_QUEUE_TOP}), "01");

        // Stopped, running, then a graceful stop that ends at once with no channel busy.
        const std::initializer_list<int> agent{ID_START, ID_STOP_NOW, ID_STOP_GRACEFULLY};
        QCOMPARE(Enabled(*frame, agent), "100");
        h.Controller().Agent().StartProcessing();
        QCOMPARE(Enabled(*frame, agent), "011");
        h.Controller().Agent().StopAfterCurrent();
        QCOMPARE(Enabled(*frame, agent), "100");
        // The bar toggles carry check marks.
        frame->Action(ID_VIEW_QUEUEBAR)->trigger();
        frame->UpdateCommandUi();
        QVERIFY(!frame->QueueBar()->isVisible());
        QVERIFY(!frame->Action(ID_VIEW_QUEUEBAR)->isChecked());
        QVERIFY(frame->Action(ID_VIEW_GROUPBAR)->isChecked());
        h.Controller().Agent().StopNow();
    }

    void settingsCommandRecreatesTheChannelsWhenConnChanges() {
        CUiHarness h;
        h.Context().settings.SetServer("127.0.0.1");
        h.Context().settings.SetConn(2);
        auto frame = Open(h);
        QCOMPARE(h.Controller().Agent().ChannelCount(), 2);
        // The user picks 4 connections on the Server page and clicks OK.
        QString title;
        test::AnswerNextDialog([&](QWidget& sheet) {
            title = sheet.windowTitle();
            test::Fill(sheet, {{1011, 3}});
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
