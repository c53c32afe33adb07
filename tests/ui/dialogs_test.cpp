// The dialogs through their real widgets: the two folder dialogs' OK rules
// and stored defaults, the folder picker, the channel boxes of the
// configured channels, the get-and-decode directory and its affinity check,
// the join-parts moves, the task information rows and the filter.
#include "groups/group_folder.h"
#include "support/ui_harness.h"
#include "tasks/task.h"
#include "ui/folder_picker.h"
#include "ui/group_dialogs.h"
#include "ui/task_dialogs.h"

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

class DialogsTest : public QObject {
    Q_OBJECT
    CUiHarness rig_;  // three channels configured

  private slots:
    void initTestCase() { rig_.Context().settings.SetConn(3); }

    void folderDialogsRefuseThenStore() {
        // (The folder rules themselves are the group list's tests; what the
        // save-to dialog stores is seen through the server group list's dialog.)
        CAppSettings& settings = rig_.Context().settings;
        const QString dl = QString::fromStdString(rig_.AppDir() + "dl");
        QVERIFY(QDir().mkpath(dl));
        settings.SetOption(OPT_GROUP_SUBFOLDER, 1);
        CAddGroupDialog dialog(rig_.Context(), "", dl.toStdString());
        QCOMPARE(Find<QLineEdit>(dialog, kFolderEditId)->text(), dl);
        QVERIFY(Find<QCheckBox>(dialog, kSubfolderBoxId)->isChecked());
        Fill(dialog, {{kGroupNameEditId, "alt.bin"}, {kFolderEditId, dl + "/nope"}});
        Click(dialog, 1);  // refused: the dialog stays
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(rig_.Box().Messages().at(0).icon, MessageIcon::Stop);
        QCOMPARE(rig_.TakeTexts(), kNoSuchDirectoryText);
        Fill(dialog, {{kFolderEditId, dl}, {kSubfolderBoxId, false}});
        Click(dialog, 1);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.Name(), std::string("alt.bin"));
        QCOMPARE(QString::fromStdString(dialog.Directory()), dl + "/");
        QVERIFY(!settings.TestOptions(OPT_GROUP_SUBFOLDER));
        // The next dialog proposes the directory just given.
        CAddGroupDialog next(rig_.Context(), "", "");
        QCOMPARE(Find<QLineEdit>(next, kFolderEditId)->text(), dl + "/");

        // The save-to dialog ticks the subfolder box for the shared folder "/",
        // else as stored (unticked above).
        settings.SetSaveDefault(rig_.AppDir());
        CSaveToFolderDialog shared(rig_.Context(), "/");
        QVERIFY(Find<QCheckBox>(shared, kSubfolderBoxId)->isChecked());
        CSaveToFolderDialog saveTo(rig_.Context(), "");
        QCOMPARE(Find<QLineEdit>(saveTo, kFolderEditId)->text().toStdString(), rig_.AppDir());
        QVERIFY(!Find<QCheckBox>(saveTo, kSubfolderBoxId)->isChecked());
        Fill(saveTo, {{kFolderEditId, QString::fromStdString(rig_.AppDir() + "nope")}});
        Click(saveTo, 1);
        QCOMPARE(saveTo.result(), int(QDialog::Rejected));
        QCOMPARE(rig_.TakeTexts(), kNoSuchDirectoryText);
    }

    void folderPickerSelectsThePresetLazily() {
        const QString root = QString::fromStdString(rig_.AppDir()) + "Alpha";
        QVERIFY(QDir().mkpath(root + "/Beta/gamma") && QDir().mkpath(root + "/Other"));
        CFolderPicker picker(rig_.AppDir() + "alpha/BETA/");  // letter case ignored
        QCOMPARE(Find<QLabel>(picker, kFolderPathTextId)->text(), root + "/Beta");
        QTreeView* tree = Find<QTreeView>(picker, kFolderTreeId);
        QStandardItem* beta = picker.Model()->itemFromIndex(tree->currentIndex());
        QCOMPARE(beta->rowCount(), 1);
        QCOMPARE(beta->child(0)->text(), QString("*"));
        QCOMPARE(beta->parent()->rowCount(), 2);            // Beta and Other, each listed once
        QCOMPARE(beta->parent()->child(1)->rowCount(), 0);  // Other holds no folder
        tree->expand(beta->index());
        QCOMPARE(beta->child(0)->text(), QString("gamma"));
        tree->collapse(beta->index());
        QCOMPARE(beta->child(0)->text(), QString("*"));

        CFolderPicker missing((root + "/Nope").toStdString());
        QVERIFY(!missing.Tree()->currentIndex().isValid());
        QCOMPARE(test::Enabled(missing, {1}), "0");
    }
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
        QCOMPARE(rig_.TakeTexts(), "Affinity Not Set!");
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.affinity, 0u);
    }

    void getDecodeBuildsTheDirectoryAndWantsAChannel() {
        // A typed subfolder name ticks its box; unticked, the name is ignored.
        for (bool useSubfolder : {true, false}) {
            CGetDecodeDialog dialog(nullptr, rig_.Context());
            dialog.directory = "/dl";
            dialog.affinity = 0b1010;  // channel 4 is not configured
            dialog.show();
            QCOMPARE(Find<QLineEdit>(dialog, 1014)->text(), "/dl");
            QCOMPARE(Boxes(dialog), "ECE-----");
            QCOMPARE(Find<QPushButton>(dialog, 1015)->text(), "&Examinar ...");
            auto* subfolder = Find<QLineEdit>(dialog, 1016);
            QTest::keyClicks(subfolder, "x");
            QVERIFY(Find<QCheckBox>(dialog, 1062)->isChecked());
            subfolder->clear();
            QVERIFY(!Find<QCheckBox>(dialog, 1062)->isChecked());
            QTest::keyClicks(subfolder, "x");
            Fill(dialog, {{1062, useSubfolder}, {1064 + 1, false}, {1063, useSubfolder}});
            Click(dialog, 1);
            QCOMPARE(rig_.TakeTexts(),
                     "Oops!  No Channel Affinity!\r\nCheck one or more channels.");
            QVERIFY(dialog.isVisible());
            Fill(dialog, {{1064 + 2, true}});
            Click(dialog, 1);
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QCOMPARE(dialog.directory, std::string(useSubfolder ? "/dl/x/" : "/dl/"));
            QCOMPARE(dialog.affinity, 0b100u);
            QCOMPARE(dialog.addToTop, int(useSubfolder));
        }
    }

    void joinPartsMovesTheSelectedRow() {
        CJoinPartsDialog dialog(nullptr);
        dialog.subjects = {"a", "b", "c"};
        dialog.articles = {1, 2, 3};
        dialog.lines = {10, 20, 30};
        dialog.bytes = {100, 200, 300};
        dialog.show();
        // Up, down, to the top, to the bottom.
        auto enabled = [&] { return test::Enabled(dialog, {1075, 1076, 1077, 1078}); };
        QCOMPARE(enabled(), "0000");  // nothing selected
        QCOMPARE(Column(dialog, 1043, 1), (QStringList{"10", "20", "30"}));
        Find<QTableView>(dialog, 1043)->selectRow(0);
        QCOMPARE(enabled(), "0101");  // the first row cannot go up
        Click(dialog, 1076);
        QCOMPARE(Column(dialog, 1043), (QStringList{"b", "a", "c"}));
        Click(dialog, 1078);
        QCOMPARE(Column(dialog, 1043), (QStringList{"b", "c", "a"}));
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
        QCOMPARE(Column(info, 1057), (QStringList{"ID", "Type", "Result Code", "Result Info",
                                                  "Newsgroup", "Title", "Directory", "Affinity"}));
        QCOMPARE(Column(info, 1057, 1)[1], "Scan New Headers");

        CTask decode(&rig_.Context().settings);
        decode.SetType(kTaskDecode);
        decode.SetArticles({5, 6});
        CTaskInfoDialog download(nullptr, decode);
        download.show();
        QCOMPARE(Column(download, 1057).mid(6),
                 (QStringList{"Directory", "Parts Total", "Parts Fetched", "Affinity"}));
        QCOMPARE(Column(download, 1057, 1)[7], "2");
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

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
