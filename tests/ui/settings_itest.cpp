// The server test dialog and the server group list dialog against servers:
// a scripted peer that takes only two connections or holds one back, the
// login-required news server with a wrong password (through the Server
// page's Test button), and the group list fetched, filtered and aborted.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <atomic>

#include "core/app_context.h"
#include "support/inn_fixture.h"
#include "support/script_peer.h"
#include "support/temp_dir.h"
#include "support/ui_harness.h"
#include "ui/server_groups_dialog.h"
#include "ui/server_test_dialog.h"
#include "ui/settings_sheet.h"

using namespace vexlo;
using namespace vexlo::ui;
using vexlo::test::CPeerSession;
using vexlo::test::CScriptPeer;
using vexlo::test::CUiHarness;
using vexlo::test::Inn;
using vexlo::test::WaitUntil;

namespace {

template <typename T>
T* Find(QWidget* root, int id) {
    return root->findChild<T*>(QString::number(id));
}

bool Enabled(QWidget* root, int id) {
    return Find<QPushButton>(root, id)->isEnabled();
}

// Column `column` of every row of list `id`.
QStringList Column(QWidget* root, int id, int column = 0) {
    QAbstractItemModel* model = Find<QTreeView>(root, id)->model();
    QStringList texts;
    for (int r = 0; r < model->rowCount(); ++r) texts << model->index(r, column).data().toString();
    return texts;
}

// Clicks the Server page's Test button, waits for the test dialog to finish
// and returns its result column (empty when no dialog opened).
QStringList RunTestButton(QWidget& sheet) {
    QStringList results;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<CServerTestDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        if (WaitUntil([&] { return Enabled(dialog, 1); })) results = Column(dialog, 1033, 1);
        Find<QPushButton>(dialog, 1)->click();
    });
    Find<QPushButton>(&sheet, 1012)->click();
    return results;
}

ServerLogin PeerLogin(const CScriptPeer& peer) {
    ServerLogin login;
    login.address = CScriptPeer::kAddress;
    login.port = peer.Port();
    return login;
}

// A greeting for the first `accepted` connections, "502" for the others.
CScriptPeer::Script Greeter(int accepted, std::atomic<int>& seen) {
    return [accepted, &seen](CPeerSession& s) {
        s.Write(++seen <= accepted ? "200 peer ready\r\n" : "502 too many connections\r\n");
    };
}

}  // namespace

class SettingsITest : public QObject {
    Q_OBJECT

  private slots:
    void ThirdConnectionRefused();
    void CancelDuringSecondOfFour();
    void WrongPasswordThroughTheTestButton();
    void EncryptedServerThroughTheTestButton();
    void GroupListFetchedFilteredAndAborted();
};

void SettingsITest::ThirdConnectionRefused() {
    CUiHarness h;
    std::atomic<int> seen{0};
    CScriptPeer peer(Greeter(2, seen), 3);
    CServerTestDialog dialog(h.Context(), PeerLogin(peer), "127.0.0.1", 3);
    QCOMPARE(Find<QLineEdit>(&dialog, 1032)->text(),
             QString("127.0.0.1, Port %1").arg(peer.Port()));
    QVERIFY(!Enabled(&dialog, 1) && Enabled(&dialog, 2));
    QVERIFY(WaitUntil([&] { return Enabled(&dialog, 1); }));
    QCOMPARE(Column(&dialog, 1033), (QStringList{"1", "2", "3"}));
    QCOMPARE(Column(&dialog, 1033, 1),
             (QStringList{"200 peer ready", "200 peer ready", "502 too many connections"}));
    QVERIFY(!Enabled(&dialog, 2));
    QTest::mouseClick(Find<QPushButton>(&dialog, 1), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void SettingsITest::CancelDuringSecondOfFour() {
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
    CServerTestDialog dialog(h.Context(), PeerLogin(peer), "127.0.0.1", 4);
    dialog.show();
    QVERIFY(WaitUntil([&] { return Column(&dialog, 1033, 1)[1] == "Connecting ..."; }));
    dialog.close();  // the close box does nothing while OK is off
    QVERIFY(dialog.isVisible());
    QTest::keyClick(&dialog, Qt::Key_Escape);  // Esc is the Cancel button
    QVERIFY(!Enabled(&dialog, 2) && !Enabled(&dialog, 1));
    release = true;
    QVERIFY(WaitUntil([&] { return Enabled(&dialog, 1); }));
    QCOMPARE(Column(&dialog, 1033, 1),
             (QStringList{"200 peer ready", "200 peer ready", "-CANCELLED-", "-CANCELLED-"}));
    dialog.close();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void SettingsITest::WrongPasswordThroughTheTestButton() {
    CUiHarness h;
    CSettingsSheet sheet(h.Context(), true, {});
    Find<QLineEdit>(&sheet, 1005)->setText(QString::fromStdString(Inn().host));
    Find<QLineEdit>(&sheet, 1006)->setText(QString::number(Inn().authPort));
    Find<QCheckBox>(&sheet, 1007)->setChecked(true);
    Find<QLineEdit>(&sheet, 1008)->setText("tester");
    Find<QLineEdit>(&sheet, 1009)->setText("wrong");
    Find<QLineEdit>(&sheet, 1010)->setText("wrong");
    Find<QComboBox>(&sheet, 1011)->setCurrentIndex(1);
    QStringList results = RunTestButton(sheet);
    QCOMPARE(results.size(), 2);
    for (const QString& result : results) QVERIFY2(result.startsWith("481 "), qPrintable(result));
    QVERIFY(h.TakeTexts().empty());
    QCOMPARE(h.Context().settings.GetServer(), std::string());  // the test stores nothing
}

void SettingsITest::EncryptedServerThroughTheTestButton() {
    // The news server's NNTPS port with its own certificate authority: refused
    // until that authority's file is named.
    for (const std::string& caFile : {std::string(), Inn().caFile}) {
        CUiHarness h;
        CSettingsSheet sheet(h.Context(), true, {});
        Find<QLineEdit>(&sheet, 1005)->setText(QString::fromStdString(Inn().host));
        Find<QComboBox>(&sheet, 1080)->setCurrentIndex(1);
        Find<QLineEdit>(&sheet, 1006)->setText(QString::number(Inn().anonTlsPort));
        Find<QLineEdit>(&sheet, 1082)->setText(QString::fromStdString(caFile));
        QStringList results = RunTestButton(sheet);
        QCOMPARE(results.size(), 1);
        if (caFile.empty())
            QCOMPARE(results[0], QString("TLS: certificate not trusted (self-signed): 127.0.0.1"));
        else
            QVERIFY2(results[0].startsWith("200 "), qPrintable(results[0]));
    }
}

void SettingsITest::GroupListFetchedFilteredAndAborted() {
    CUiHarness h;
    h.UseInnServer();
    CServerGroupsDialog dialog(h.Context(), h.Controller().Groups());
    dialog.show();
    QCOMPARE(h.TakeTexts(), std::vector<std::string>{
                                "No Server Group List Found.\r\nClick the 'Refresh' button to "
                                "download the\r\nnewsgroup list from the server."});
    auto* status = Find<QLabel>(&dialog, 1044);
    QCOMPARE(status->text(), QString("No Items."));
    QTest::mouseClick(Find<QPushButton>(&dialog, 1040), Qt::LeftButton);
    QVERIFY(!Enabled(&dialog, 1) && !Enabled(&dialog, 1040) && Enabled(&dialog, 2));
    QVERIFY(WaitUntil([&] { return Enabled(&dialog, 1); }));
    QVERIFY2(status->text().startsWith("Group Refresh Complete - "), qPrintable(status->text()));
    const QStringList binaries = Column(&dialog, 1043);
    QVERIFY(binaries.contains("alt.binaries.test"));
    QVERIFY(!binaries.contains("misc.test"));
    for (const QString& name : binaries) QVERIFY(name.contains("binaries"));

    Find<QLineEdit>(&dialog, 1045)->setText("misc.");
    QTest::mouseClick(Find<QPushButton>(&dialog, 1046), Qt::LeftButton);
    QVERIFY(Column(&dialog, 1043).contains("misc.test"));

    // An abort before the server's first line keeps the stored list.
    const std::string stored = test::ReadFileBytes(h.Context().DataPath() + "_GROUPS.ALL");
    const QStringList shown = Column(&dialog, 1043);
    QTest::mouseClick(Find<QPushButton>(&dialog, 1040), Qt::LeftButton);
    QTest::mouseClick(Find<QPushButton>(&dialog, 2), Qt::LeftButton);
    QCOMPARE(status->text(), QString("Aborting ..."));
    dialog.close();  // the close box does not close it
    QVERIFY(WaitUntil([&] { return Enabled(&dialog, 1); }));
    QCOMPARE(status->text(), QString("ABORTED BY USER!"));
    QCOMPARE(Column(&dialog, 1043), shown);
    QCOMPARE(test::ReadFileBytes(h.Context().DataPath() + "_GROUPS.ALL"), stored);
    QVERIFY(h.TakeTexts().empty());
    QTest::mouseClick(Find<QPushButton>(&dialog, 1), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

QTEST_MAIN(SettingsITest)
#include "settings_itest.moc"
