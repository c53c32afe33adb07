// The window against servers. The header view over group files written by
// real scans of the news server: four binaries (one of them found by a second
// scan, so it alone is new) and two plain messages, driven through its
// commands, its column headers and its dialogs as a user would, up to the
// downloaded files. The server test dialog with a scripted peer that holds
// one connection back, the news server through the Server page's Test button
// (a wrong password, an encrypted port with and without its certificate
// authority), and the server group list fetched and aborted.
#include <atomic>
#include <cstdio>

#include "frame/commands.h"
#include "groups/header_list.h"
#include "support/inn_fixture.h"
#include "support/script_peer.h"
#include "support/test_data.h"
#include "support/ui_harness.h"
#include "ui/header_view.h"
#include "ui/image_list.h"
#include "ui/server_groups_dialog.h"
#include "ui/server_test_dialog.h"
#include "ui/settings_sheet.h"

using namespace vexlo;
using namespace vexlo::ui;
using namespace vexlo::test;

namespace {

// name, parts, lines per part, poster; the last one is posted after the first scan.
struct Binary {
    const char* name;
    int parts, linesPerPart;
    const char* poster;
};
constexpr Binary kBinaries[] = {
    {"alpha.bin", 3, 40, "Ann <ann@vexlo.test>"},
    {"beta.bin", 2, 100, "ABC Poster <abc@vexlo.test>"},
    {"gamma.bin", 1, 10, "Gus <gus@vexlo.test>"},
    {"delta.bin", 1, 60, "Dee <dee@vexlo.test>"},
};

const QString kAlpha = "alpha.bin (3/3)", kBeta = "beta.bin (2/2)", kGamma = "gamma.bin (1/1)",
              kDelta = "delta.bin (1/1)";

std::string Data(int index) {
    const Binary& b = kBinaries[index];
    return test::RandomBytes(static_cast<size_t>(b.parts * b.linesPerPart * 45 - 7), index + 1);
}

}  // namespace

class NewsServerITest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::CUiHarness> rig_;
    std::unique_ptr<CVXView> view_;
    std::string group_;

    CMainController& Controller() { return rig_->Controller(); }

    // Runs the queue until no task waits or runs, then stops the agent.
    bool RunQueue() {
        CMainController& c = Controller();
        c.StartCommand();
        auto idle = [&] {
            c.ProcessMessages(0);
            return c.Queue().CountWaiting() == 0 && c.Agent().BusyMask() == 0;
        };
        const bool done = test::WaitUntil(idle, 60000);
        c.StopNowCommand();
        return done && test::WaitUntil([&] { return idle() && c.Agent().IsStopped(); });
    }

    bool Post(int index) {
        const Binary& b = kBinaries[index];
        return PostArticles(MakeUuencodedPosts(group_, b.name, Data(index), b.parts, b.poster));
    }

    QStringList Shown(int column = 0) const { return test::Column(*view_->model(), column); }

    void ClickColumn(int column) {
        QHeaderView* header = view_->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, 5));
    }

  private slots:
    void initTestCase() {
        rig_ = std::make_unique<test::CUiHarness>();
        rig_->UseInnServer(1);
        rig_->Context().settings.SetOption(OPT_AUTO_REMOVE_DONE, 1);
        group_ = test::CreateUniqueGroup("alt.binaries.test.view");
        QVERIFY(!group_.empty());
        Controller().Groups().AddGroup(group_, rig_->AppDir() + "dl");
        Controller().StartChannels();
        for (int i = 0; i < 3; ++i) QVERIFY(Post(i));
        for (std::string subject : {"notes part A", "notes part B"})
            QVERIFY(PostArticles({{UniqueMessageId("note"),
                                   group_,
                                   subject,
                                   "Nora <nora@vexlo.test>",
                                   "",
                                   {"text of " + subject}}}));
        Controller().ScanGroups({group_});
        QVERIFY(RunQueue());
        QVERIFY(Post(3));
        Controller().ScanGroups({group_});
        QVERIFY(RunQueue());  // delta alone is new now
    }

    void init() {
        view_ = std::make_unique<CVXView>(rig_->Context(), Controller());
        view_->resize(800, 400);
        view_->show();
    }

    void cleanup() {
        view_.reset();
        Controller().Queue().RemoveAllNotRunning();
    }

    void refusalsOfAnEmptyALockedAndAVanishedGroup() {
        view_->ExecuteCommand(ID_VIEW_MSG);  // no group open: nothing happens
        QCOMPARE(view_->Headers().Mode(), HeaderMode::Binaries);
        QSignalSpy titles(view_.get(), &CVXView::titleChanged);
        view_->OpenGroup(group_ + ".none");
        QCOMPARE(view_->model()->rowCount(), 0);
        QCOMPARE(titles.count(), 1);
        QCOMPARE(rig_->TakeTexts(), "");
        rig_->Context().locks.TryLock(group_);
        view_->OpenGroup(group_);
        rig_->Context().locks.Unlock(group_);
        QCOMPARE(rig_->TakeTexts(),
                 "The Newsgroup is currently locked.\r\nPlease wait until it has been updated.");
        QCOMPARE(view_->Headers().GroupName(), group_ + ".none");

        view_->OpenGroup(group_);
        view_->ExecuteCommand(ID_VIEW_MSG);
        QCOMPARE(Shown(), (QStringList{"notes part A", "notes part B"}));
        QTest::keyClick(view_.get(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(view_->SelectedCount(), 2);
        std::string path = rig_->Context().DataPath() + group_ + ".MSG";
        QCOMPARE(std::rename(path.c_str(), (path + ".away").c_str()), 0);
        view_->ExecuteCommand(ID_JOIN_PARTS);
        QCOMPARE(std::rename((path + ".away").c_str(), path.c_str()), 0);
        QCOMPARE(rig_->TakeTexts(), "ERROR: Can't Open Newsgroup Data File!");
        QCOMPARE(Controller().Queue().Count(), size_t{0});
    }

    void filterNewOnlyAndTheContextMenu() {
        view_->OpenGroup(group_);
        QCOMPARE(Shown(), (QStringList{kAlpha, kBeta, kDelta, kGamma}));
        std::unique_ptr<QMenu> menu(view_->CreateContextMenu(nullptr));
        QCOMPARE(test::MenuTexts(*menu),
                 (QStringList{"&Obtener Y Decodificar", "Obtener Como &Texto", "&Unir Partes ...",
                              "&Filtrar ...", "&Borrar Filtro", "Filtro NUEVO", "Ver &BIN",
                              "Ver &MSG"}));
        QStringList states;
        for (QAction* action : menu->actions())
            states << QString("%1%2").arg(action->isEnabled()).arg(action->isChecked());
        QCOMPARE(states.join(' '), QString("00 00 00 10 00 10 11 10"));

        QSignalSpy titles(view_.get(), &CVXView::titleChanged);
        AnswerNextDialog([](QWidget& filter) { test::Fill(filter, {{1045, "abc"}}); });
        view_->ExecuteCommand(ID_FILTER);
        QCOMPARE(Shown(), QStringList{kBeta});  // by its poster
        QCOMPARE(view_->Headers().Filter(), std::string("abc"));
        view_->ExecuteCommand(ID_CLEAR_FILTER);
        view_->ExecuteCommand(ID_NEW_ONLY);
        QCOMPARE(Shown(), QStringList{kDelta});
        QCOMPARE(titles.count(), 3);
        QIcon icon = view_->model()->index(0, 0).data(Qt::DecorationRole).value<QIcon>();
        QCOMPARE(icon.pixmap(16).toImage(), ListIcon(kImageNewItem).pixmap(16).toImage());
    }

    void sortingKeepsTheSelectionAndDownloadsInListOrder() {
        Controller().ScanGroups({"alt.other"});
        view_->OpenGroup(group_);
        view_->selectRow(2);  // delta travels with its row
        ClickColumn(2);
        const QStringList byLines{kGamma, kDelta, kAlpha, kBeta};
        QCOMPARE(Shown(), byLines);
        ClickColumn(2);
        QCOMPARE(Shown(), (QStringList{kBeta, kAlpha, kDelta, kGamma}));
        QCOMPARE(view_->selectionModel()->selectedRows(),
                 QModelIndexList{view_->model()->index(2, 0)});
        ClickColumn(0);
        QCOMPARE(Shown(), (QStringList{kAlpha, kBeta, kDelta, kGamma}));
        QCOMPARE(view_->SelectedCount(), 1);
        QCOMPARE(view_->SelectedLines(), Shown(2)[2].toULongLong());

        // Three binaries go to the top of the queue in the list's order, and
        // then to the folder given.
        view_->clearSelection();
        ClickColumn(2);
        QCOMPARE(Shown(), byLines);
        for (int row : {0, 2, 3})
            view_->selectionModel()->select(
                view_->model()->index(row, 0),
                QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const std::string got = rig_->AppDir() + "got/";
        AnswerNextDialog([&](QWidget& dialog) {
            test::Fill(dialog, {{1014, QString::fromStdString(got)}, {1063, true}});
        });
        view_->ExecuteCommand(ID_GET_DECODE);
        const CDownloadQueue& queue = Controller().Queue();
        QStringList subjects;
        for (size_t i = 0; i < queue.Count(); ++i)
            subjects << QString::fromStdString(queue.Row(i).task->GetSubject());
        QCOMPARE(subjects, (QStringList{kGamma, kAlpha, kBeta, "(SCAN) alt.other"}));
        QCOMPARE(queue.Row(1).task->GetArticles().size(), size_t{3});
        QCOMPARE(queue.Row(1).task->GetSaveDir(), got);
        QVERIFY(RunQueue());
        QCOMPARE(queue.Count(), size_t{1});  // the downloads completed and removed
        for (int binary : {0, 1, 2})
            QCOMPARE(test::ReadFileBytes(got + kBinaries[binary].name), Data(binary));
    }

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
        QVERIFY(WaitUntil([&] { return test::Column(dialog, 1033, 1)[1] == "Connecting ..."; }));
        dialog.close();  // the close box does nothing while OK is off
        QVERIFY(dialog.isVisible());
        QTest::keyClick(&dialog, Qt::Key_Escape);  // Esc is the Cancel button
        QCOMPARE(test::Enabled(dialog, {1, 2}), "00");
        release = true;
        QVERIFY(WaitUntil([&] { return Find(dialog, 1)->isEnabled(); }));
        QCOMPARE(test::Enabled(dialog, {1, 2}), "10");
        QCOMPARE(test::Column(dialog, 1033), (QStringList{"1", "2", "3", "4"}));
        QCOMPARE(test::Column(dialog, 1033, 1),
                 (QStringList{"200 peer ready", "200 peer ready", "-CANCELLED-", "-CANCELLED-"}));
        dialog.close();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void TestButton() {
        CUiHarness h;
        CSettingsSheet sheet(h.Context(), true, {});
        const QString ca = QString::fromStdString(Inn().caFile);
        // The port, the index in box 1080, the CA file, a login with a wrong
        // password over two connections, and how each connection's result begins.
        // The news server's NNTPS port has a certificate authority of its own:
        // refused until that authority's file is named.
        const std::tuple<int, int, QString, bool, QString> rows[] = {
            {Inn().authPort, 0, "", true, "481 "},
            {Inn().anonTlsPort, 1, "", false,
             "TLS: certificate not trusted (self-signed): 127.0.0.1"},
            {Inn().anonTlsPort, 1, ca, false, "200 "}};
        for (const auto& [port, encryption, caFile, login, result] : rows) {
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
                if (WaitUntil([&] { return Find(dialog, 1)->isEnabled(); }))
                    results = test::Column(dialog, 1033, 1);
            });
            test::Click(sheet, 1012);
            QCOMPARE(results.size(), login ? 2 : 1);
            for (const QString& shown : results) QCOMPARE(shown.left(result.size()), result);
        }
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
        QVERIFY(WaitUntil([&] { return Find(dialog, 1)->isEnabled(); }));
        QVERIFY2(status->text().startsWith("Group Refresh Complete - "),
                 qPrintable(status->text()));
        const QStringList shown = test::Column(dialog, 1043);
        QVERIFY(shown.contains("alt.binaries.test"));

        // Cancel aborts a refresh before the server's first line; the close box
        // does not close the dialog then.
        Click(dialog, 1040);
        Click(dialog, 2);
        QCOMPARE(status->text(), QString("Aborting ..."));
        dialog.close();
        QVERIFY(WaitUntil([&] { return Find(dialog, 1)->isEnabled(); }));
        QCOMPARE(status->text(), QString("ABORTED BY USER!"));
        QCOMPARE(test::Column(dialog, 1043), shown);
        QCOMPARE(h.TakeTexts(), "");
        Click(dialog, 1);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
};

QTEST_MAIN(NewsServerITest)
#include "news_server_itest.moc"
