// The server test dialog and the server group list dialog against servers:
// a scripted peer that holds one connection back, the news server through the
// Server page's Test button (a wrong password, an encrypted port with and
// without its certificate authority), and the group list fetched and aborted.
#include <atomic>

#include "support/inn_fixture.h"
#include "support/script_peer.h"
#include "support/test_data.h"
#include "support/ui_harness.h"
#include "ui/server_groups_dialog.h"
#include "ui/server_test_dialog.h"
#include "ui/settings_sheet.h"

using namespace vexlo;
using namespace vexlo::ui;
using namespace vexlo::test;

namespace {

bool OkEnabled(QWidget& dialog) {
    return Find(dialog, 1)->isEnabled();
}

}  // namespace

class SettingsITest : public QObject {
    Q_OBJECT
  private slots:
    void CancelDuringSecondOfFour() {
        CUiHarness h;
        std::atomic<int> seen{0};
        std::atomic<bool> release{false};
        // The second greeting waits until the test has been cancelled.
        CScriptPeer peer(
            [&](CPeerSession& s) {
                if (++seen == 2)
                    for (int i = 0; i < 500 && !release; ++i) QThread::msleep(10);
                s.Write("200 peer ready\r\n");
            },
            2);
        ServerLogin login;
        login.address = CScriptPeer::kAddress;
        login.port = peer.Port();
        CServerTestDialog dialog(h.Context(), login, "127.0.0.1", 4);
        QCOMPARE(Find<QLineEdit>(dialog, 1032)->text(),
                 QString("127.0.0.1, Port %1").arg(peer.Port()));
        QCOMPARE(test::Enabled(dialog, {1, 2}), "01");
        dialog.show();
        QVERIFY(WaitUntil([&] { return Column(dialog, 1033, 1)[1] == "Connecting ..."; }));
        dialog.close();  // the close box does nothing while OK is off
        QVERIFY(dialog.isVisible());
        QTest::keyClick(&dialog, Qt::Key_Escape);  // Esc is the Cancel button
        QCOMPARE(test::Enabled(dialog, {1, 2}), "00");
        release = true;
        QVERIFY(WaitUntil([&] { return OkEnabled(dialog); }));
        QCOMPARE(test::Enabled(dialog, {1, 2}), "10");
        QCOMPARE(Column(dialog, 1033), (QStringList{"1", "2", "3", "4"}));
        QCOMPARE(Column(dialog, 1033, 1),
                 (QStringList{"200 peer ready", "200 peer ready", "-CANCELLED-", "-CANCELLED-"}));
        dialog.close();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void TestButton_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("encryption");  // the index in box 1080
        QTest::addColumn<QString>("caFile");
        QTest::addColumn<bool>("login");      // with a wrong password, over two connections
        QTest::addColumn<QString>("result");  // how each connection's result begins
        const QString ca = QString::fromStdString(Inn().caFile);
        QTest::newRow("wrong password") << int(Inn().authPort) << 0 << "" << true << "481 ";
        // The news server's NNTPS port with its own certificate authority: refused
        // until that authority's file is named.
        QTest::newRow("untrusted") << int(Inn().anonTlsPort) << 1 << "" << false
                                   << "TLS: certificate not trusted (self-signed): 127.0.0.1";
        QTest::newRow("trusted") << int(Inn().anonTlsPort) << 1 << ca << false << "200 ";
    }

    void TestButton() {
        QFETCH(int, port);
        QFETCH(int, encryption);
        QFETCH(QString, caFile);
        QFETCH(bool, login);
        QFETCH(QString, result);
        CUiHarness h;
        CSettingsSheet sheet(h.Context(), true, {});
        test::Fill(sheet, {{1005, QString::fromStdString(Inn().host)},
                           {1080, encryption},
                           {1006, QString::number(port)},
                           {1082, caFile},
                           {1007, login},
                           {1008, "tester"},
                           {1009, "wrong"},
                           {1010, "wrong"},
                           {1011, login ? 1 : 0}});
        // The test dialog, once it has finished.
        QStringList results;
        test::AnswerNextDialog([&](QWidget& dialog) {
            if (WaitUntil([&] { return OkEnabled(dialog); })) results = Column(dialog, 1033, 1);
        });
        test::Click(sheet, 1012);
        QCOMPARE(results.size(), login ? 2 : 1);
        for (const QString& shown : results) QCOMPARE(shown.left(result.size()), result);
        QCOMPARE(h.TakeTexts(), "");
        QCOMPARE(h.Context().settings.GetServer(), std::string());  // the test stores nothing
    }

    void GroupListFetchedAndAborted() {
        CUiHarness h;
        h.UseInnServer();
        CServerGroupsDialog dialog(h.Context(), h.Controller().Groups());
        dialog.show();
        QCOMPARE(h.TakeTexts(),
                 "No Server Group List Found.\r\nClick the 'Refresh' button to download "
                 "the\r\nnewsgroup list from the server.");
        auto* status = Find<QLabel>(dialog, 1044);
        QCOMPARE(status->text(), QString("No Items."));
        Click(dialog, 1040);
        QCOMPARE(Enabled(dialog, {1, 1040, 2}), "001");
        QVERIFY(WaitUntil([&] { return OkEnabled(dialog); }));
        QVERIFY2(status->text().startsWith("Group Refresh Complete - "),
                 qPrintable(status->text()));
        const QStringList shown = Column(dialog, 1043);
        QVERIFY(shown.contains("alt.binaries.test"));

        // Cancel aborts a refresh before the server's first line; the close box
        // does not close the dialog then.
        Click(dialog, 1040);
        Click(dialog, 2);
        QCOMPARE(status->text(), QString("Aborting ..."));
        dialog.close();
        QVERIFY(WaitUntil([&] { return OkEnabled(dialog); }));
        QCOMPARE(status->text(), QString("ABORTED BY USER!"));
        QCOMPARE(Column(dialog, 1043), shown);
        QCOMPARE(h.TakeTexts(), "");
        Click(dialog, 1);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
};

QTEST_MAIN(SettingsITest)
#include "settings_itest.moc"
