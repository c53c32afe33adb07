// The task dialogs through their real widgets: the channel boxes of the
// configured channels, the get-and-decode directory and its affinity check,
// the join-parts moves, the task information rows and the filter.

#include "ui/task_dialogs.h"
#include "support/ui_harness.h"
#include "tasks/task.h"

using namespace vexlo;
using namespace vexlo::ui;
using namespace vexlo::test;

namespace {

// "E" for an enabled box, "C" for a checked one, "-" for neither, boxes 1 to 8.
QString Boxes(QWidget& dialog) {
    QString states;
    for (int id = 1064; id <= 1071; ++id) {
        auto* box = Find<QCheckBox>(dialog, id);
        states += box->isChecked() ? "C" : box->isEnabled() ? "E" : "-";
    }
    return states;
}

}  // namespace

class TaskDialogsTest : public QObject {
    Q_OBJECT
    test::CUiHarness rig_;  // three channels configured

  private slots:
    void initTestCase() { rig_.Context().settings.SetConn(3); }

    void affinityBoxesFollowTheConfiguredChannels() {
        CAffinityDialog dialog(nullptr, rig_.Context());
        dialog.show();
        QCOMPARE(dialog.windowTitle(), "Ajustar Canal de Afinidad");
        QCOMPARE(Boxes(dialog), "EEE-----");
        Click(dialog, 1072);  // "Todo"
        QCOMPARE(Boxes(dialog), "CCC-----");
        Click(dialog, 1073);  // "&Ninguno"
        QCOMPARE(Boxes(dialog), "EEE-----");
        Click(dialog, 1);  // an empty mask only informs
        QCOMPARE(rig_.TakeTexts(), std::vector<std::string>{"Affinity Not Set!"});
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.affinity, 0u);
    }

    void getDecodeBuildsTheDirectoryAndWantsAChannel_data() {
        QTest::addColumn<bool>("useSubfolder");  // a typed name ticks it; unticked, it is ignored
        QTest::addColumn<QString>("directory");
        QTest::newRow("subfolder") << true << "/dl/x/";
        QTest::newRow("unticked") << false << "/dl/";
    }
    void getDecodeBuildsTheDirectoryAndWantsAChannel() {
        QFETCH(bool, useSubfolder);
        QFETCH(QString, directory);
        CGetDecodeDialog dialog(nullptr, rig_.Context());
        dialog.directory = "/dl";
        dialog.affinity = 0b1010;  // channel 4 is not configured
        dialog.show();
        QCOMPARE(Find<QLineEdit>(dialog, 1014)->text(), "/dl");
        QCOMPARE(Boxes(dialog), "ECE-----");
        QCOMPARE(Find<QPushButton>(dialog, 1015)->text(), "&Examinar ...");
        auto* subfolder = Find<QLineEdit>(dialog, 1016);
        auto* useBox = Find<QCheckBox>(dialog, 1062);
        QTest::keyClicks(subfolder, "x");
        QVERIFY(useBox->isChecked());
        subfolder->clear();
        QVERIFY(!useBox->isChecked());
        QTest::keyClicks(subfolder, "x");
        test::Fill(dialog, {{1062, useSubfolder}, {1064 + 1, false}, {1063, useSubfolder}});
        Click(dialog, 1);
        QCOMPARE(
            rig_.TakeTexts(),
            std::vector<std::string>{"Oops!  No Channel Affinity!\r\nCheck one or more channels."});
        QVERIFY(dialog.isVisible());
        Find<QCheckBox>(dialog, 1064 + 2)->setChecked(true);
        Click(dialog, 1);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(QString::fromStdString(dialog.directory), directory);
        QCOMPARE(dialog.affinity, 0b100u);
        QCOMPARE(dialog.addToTop, int(useSubfolder));
    }

    void joinPartsMovesTheSelectedRow() {
        CJoinPartsDialog dialog(nullptr);
        dialog.subjects = {"a", "b", "c"};
        dialog.articles = {1, 2, 3};
        dialog.lines = {10, 20, 30};
        dialog.bytes = {100, 200, 300};
        dialog.show();
        auto* list = Find<QTableView>(dialog, 1043);
        // Up, down, to the top, to the bottom.
        auto enabled = [&] { return test::Enabled(dialog, {1075, 1076, 1077, 1078}); };
        QCOMPARE(enabled(), "0000");  // nothing selected
        QCOMPARE(Column(*list->model(), 1), (QStringList{"10", "20", "30"}));
        list->selectRow(0);
        QCOMPARE(enabled(), "0101");  // the first row cannot go up
        Click(dialog, 1076);
        QCOMPARE(Column(*list->model()), (QStringList{"b", "a", "c"}));
        Click(dialog, 1078);
        QCOMPARE(Column(*list->model()), (QStringList{"b", "c", "a"}));
        QCOMPARE(enabled(), "1010");  // the last row cannot go down
        Click(dialog, 1077);
        Find<QCheckBox>(dialog, 1063)->setChecked(true);
        Click(dialog, 1);
        QCOMPARE(dialog.subjects, (std::vector<std::string>{"a", "b", "c"}));
        QCOMPARE(dialog.articles, (std::vector<uint32_t>{1, 2, 3}));
        QCOMPARE(dialog.bytes, (std::vector<uint32_t>{100, 200, 300}));
        QCOMPARE(dialog.queueAtTop, 1);
    }

    void taskInformationRowsDependOnTheType() {
        CTask scan(&rig_.Context().settings);
        scan.SetType(kTaskScanNew);
        scan.SetGroupName("alt.test");
        CTaskInfoDialog info(nullptr, scan);
        info.show();
        QCOMPARE(info.windowTitle(), QString::fromUtf8("Información Tarea"));
        const QAbstractItemModel& rows = *Find<QTableView>(info, 1057)->model();
        QCOMPARE(Column(rows), (QStringList{"ID", "Type", "Result Code", "Result Info", "Newsgroup",
                                            "Title", "Directory", "Affinity"}));
        QCOMPARE(Column(rows, 1)[1], "Scan New Headers");

        CTask decode(&rig_.Context().settings);
        decode.SetType(kTaskDecode);
        decode.SetArticles({5, 6});
        CTaskInfoDialog download(nullptr, decode);
        download.show();
        const QAbstractItemModel& downloadRows = *Find<QTableView>(download, 1057)->model();
        QCOMPARE(Column(downloadRows).mid(6),
                 (QStringList{"Directory", "Parts Total", "Parts Fetched", "Affinity"}));
        QCOMPARE(Column(downloadRows, 1)[7], "2");
    }

    void filterKeepsThirtyTwoCharacters() {
        CFilterDialog dialog(nullptr);
        dialog.filter = "abc";
        dialog.showOnlyNew = 1;
        dialog.show();
        QCOMPARE(Find<QLineEdit>(dialog, 1045)->text(), "abc");
        QVERIFY(Find<QCheckBox>(dialog, 1052)->isChecked());
        test::Fill(dialog, {{1045, QString(40, 'z')}, {1052, false}});
        Click(dialog, 1);
        QCOMPARE(dialog.filter, std::string(32, 'z'));
        QCOMPARE(dialog.showOnlyNew, 0);
    }
};

QTEST_MAIN(TaskDialogsTest)
#include "task_dialogs_test.moc"
