// The queue bar while a channel downloads a three-part binary from the news
// server: a relay holds part 2 after 80 lines, so "Progress" must show the
// report of line 50 there; after the run it shows "OK".
#include <QtTest>

#include "support/inn_fixture.h"
#include "support/nntp_relay.h"
#include "support/test_data.h"
#include "support/ui_harness.h"
#include "tasks/download_queue.h"
#include "ui/queue_bar.h"

using namespace vexlo;

class QueueBarITest : public QObject {
    Q_OBJECT
  private slots:
    void progressFollowsADownload() {
        test::CUiHarness harness;
        DownloadParts parts{test::CreateUniqueGroup("alt.binaries.test.queuebar"),
                            "q",
                            harness.AppDir() + "dl/",
                            {},
                            {}};
        auto posts = test::MakeUuencodedPosts(parts.group, "q.bin",
                                              test::RandomBytes(3 * 150 * 45, 7), 3, "P <p@x>");
        QVERIFY(test::PostArticles(posts));
        // A new group numbers the parts 1 to 3; its overview counts their body lines.
        for (uint32_t i = 0; i < posts.size(); ++i) {
            parts.articles.push_back(i + 1);
            parts.lines.push_back(static_cast<uint32_t>(posts[i].bodyLines.size()));
        }
        test::CNntpRelay relay(test::Inn().anonPort);
        relay.Arm(2, 80 * 63, test::CNntpRelay::Action::kHold);  // 63 bytes a line
        harness.UseInnServer(1);
        harness.Context().settings.SetPort(relay.Port());
        harness.Context().settings.SetOption(OPT_AUTO_REMOVE_DONE, 0);
        CMainController& controller = harness.Controller();
        controller.StartChannels();
        ui::CQueueBar bar(harness.Context(), controller.Queue());
        CTask task(&harness.Context().settings);
        MakeDownloadTask(task, parts);
        controller.QueueTask(task, false);
        auto progress = [&] { return bar.Model()->index(0, 1).data().toString(); };

        controller.StartCommand();
        QVERIFY(relay.WaitTriggered(30000));
        const QString held = QString("%1% = (2/3) [Line 50/%2]")
                                 .arg(PartProgressPercent(parts.lines, 2, 50))
                                 .arg(parts.lines[1]);
        QVERIFY(test::WaitUntil([&] {
            controller.OnTimer(0);
            return progress() == held;
        }));
        relay.Release();
        QVERIFY(test::WaitUntil([&] {
            controller.ProcessMessages(0);
            return controller.Queue().Row(0).icon == RowIcon::Completed;
        }));
        QCOMPARE(progress(), "OK");
    }
};

QTEST_MAIN(QueueBarITest)
#include "queue_bar_itest.moc"
