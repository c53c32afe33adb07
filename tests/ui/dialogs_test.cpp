// The dialogs through their real widgets: the two folder dialogs' OK rules
// and stored defaults, the folder picker, the channel boxes of the
// configured channels, the get-and-decode directory and its affinity check,
// the join-parts moves, the task information rows and the filter; the
// settings sheet, the statistics labels, CColorLabel's link, the About box
// and the server group list dialog over a stored list: what the widgets
// refuse with which text, what they store, and what they show.
#include "groups/group_folder.h"
#include "groups/group_list.h"
#include "support/ui_harness.h"
#include "tasks/task.h"
#include "ui/about_box.h"
#include "ui/color_label.h"
#include "ui/folder_picker.h"
#include "ui/group_dialogs.h"
#include "ui/server_groups_dialog.h"
#include "ui/settings_sheet.h"
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

const QString kUnresolved =
    "Unable To Resolve Server Name To IP Address.\r\nMake sure you have entered it correctly, "
    "and\r\nyour DNS settings are correct.";

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT
    CUiHarness rig_;  // three channels configured

  private slots:
    void initTestCase() { rig_.Context().settings.SetConn(3); }

    void folderDialogsRefuseThenStoreAndThePickerListsLazily() {
        // (The folder rules themselves are the group list's tests; what the
        // save-to dialog stores is seen through the server group list's dialog.)
        const QString dl = QString::fromStdString(rig_.AppDir() + "dl");
        QVERIFY(QDir().mkpath(dl));
        rig_.Context().settings.SetOption(OPT_GROUP_SUBFOLDER, 1);
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
        QVERIFY(!rig_.Context().settings.TestOptions(OPT_GROUP_SUBFOLDER));
        // The next dialog proposes the directory just given.
        CAddGroupDialog next(rig_.Context(), "", "");
        QCOMPARE(Find<QLineEdit>(next, kFolderEditId)->text(), dl + "/");

        // The save-to dialog ticks the subfolder box for the shared folder "/",
        // else as stored (unticked above).
        rig_.Context().settings.SetSaveDefault(rig_.AppDir());
        CSaveToFolderDialog shared(rig_.Context(), "/");
        QVERIFY(Find<QCheckBox>(shared, kSubfolderBoxId)->isChecked());
        CSaveToFolderDialog saveTo(rig_.Context(), "");
        QCOMPARE(Find<QLineEdit>(saveTo, kFolderEditId)->text().toStdString(), rig_.AppDir());
        QVERIFY(!Find<QCheckBox>(saveTo, kSubfolderBoxId)->isChecked());
        Fill(saveTo, {{kFolderEditId, QString::fromStdString(rig_.AppDir() + "nope")}});
        Click(saveTo, 1);
        QCOMPARE(rig_.TakeTexts(), kNoSuchDirectoryText);

        // The folder picker selects its preset folder, listing subfolders lazily.
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

    void channelBoxesAndTheGetDecodeDirectory() {
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

    void taskInformationRowsAndTheFilter() {
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

        // The filter keeps 32 characters.
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

    void ServerPageRefusals() {
        CUiHarness h;
        // Auto-save on without an interval would refuse the Options page, but
        // only opened pages are applied.
        h.Context().settings.SetOption(OPT_AUTO_SAVE_QUEUE, 1);
        CSettingsSheet sheet(h.Context(), true, {});
        sheet.show();
        const QString invalid = "Server Port Invalid.  Valid Numbers Are From 1 to 65535.";
        // The server "news.invalid" or none, the port, the login (0: none, 1:
        // without a user, 2: a user without a password) and the refusal.
        const std::tuple<bool, QString, int, QString> rows[] = {
            {true, "65536", 0, invalid},
            {true, "abc", 0, invalid},
            {true, "", 0, "Server Port Not Specified"},
            {false, "8119", 0, "Server Address Not Specified"},
            {true, "8119", 1, "Authorization Info: Username Not Specified"},
            {true, "8119", 2, "Authorization Info: Password Not Specified"},
            {true, "8119", 0, ""}};
        for (const auto& [named, port, login, refusal] : rows) {
            // The Statistics page opened: a refusal brings the Server page back.
            sheet.Tabs()->setCurrentIndex(2);
            Fill(sheet, {{1005, named ? "news.invalid" : ""},
                         {1006, port},
                         {1007, login > 0},
                         {1008, login == 2 ? "tester" : ""},
                         {1009, ""},
                         {1011, 3}});
            QCOMPARE(Enabled(sheet, {12321}), "1");
            // The Test button makes the same checks and opens nothing; accepted
            // values reach the name's resolution.
            Click(sheet, 1012);
            QCOMPARE(h.TakeTexts(), refusal.isEmpty() ? kUnresolved : refusal);
            Click(sheet, 1);
            if (!refusal.isEmpty()) QCOMPARE(h.Box().Messages().at(0).icon, MessageIcon::Stop);
            QCOMPARE(h.TakeTexts(), refusal);
            QCOMPARE(sheet.isVisible(), !refusal.isEmpty());
            QCOMPARE(sheet.Tabs()->currentIndex(), refusal.isEmpty() ? 2 : 0);
            QCOMPARE(h.Context().settings.GetServer(),
                     std::string(refusal.isEmpty() ? "news.invalid" : ""));
        }
    }

    void ServerPageEncryption() {
        CUiHarness h;
        CAppSettings& settings = h.Context().settings;
        settings.SetServer("news.example");
        settings.SetTls(2);
        settings.SetTlsVerify(0);
        settings.SetTlsCaFile(h.AppDir() + "gone.pem");
        CSettingsSheet sheet(h.Context(), true, {});
        auto* encryption = Find<QComboBox>(sheet, 1080);
        auto* verify = Find<QCheckBox>(sheet, 1081);
        QCOMPARE(encryption->currentText(), QString("STARTTLS"));
        QCOMPARE(verify->text(), QString("Verificar Certificado"));
        QVERIFY(!verify->isChecked());
        QCOMPARE(Enabled(sheet, {1081, 1082}), "10");

        // The port follows the encryption only from default to default.
        for (auto [tls, typed, text, port] : {std::tuple{1, "", "TLS (NNTPS)", "563"},
                                              {0, "", "Ninguno", "119"},
                                              {1, "8563", "TLS (NNTPS)", "8563"}}) {
            if (*typed) Fill(sheet, {{1006, typed}});
            encryption->setCurrentIndex(tls);
            QCOMPARE(encryption->currentText(), text);
            QCOMPARE(Find<QLineEdit>(sheet, 1006)->text(), port);
            const QString hint = QString("(Puerto Por defecto = %1)").arg(tls ? 563 : 119);
            QVERIFY(std::ranges::any_of(sheet.findChildren<QLabel*>(),
                                        [&](QLabel* label) { return label->text() == hint; }));
            QCOMPARE(verify->isEnabled(), tls != 0);
        }

        // A CA file is checked only while it is used.
        verify->setChecked(true);
        QCOMPARE(Enabled(sheet, {1082}), "1");
        Click(sheet, 12321);
        QCOMPARE(h.TakeTexts(), "TLS CA Certificate File Not Found");
        QCOMPARE(settings.GetTls(), 2);
        WriteFileBytes(h.AppDir() + "ca.pem", "certificates");
        Fill(sheet, {{1082, QString::fromStdString(h.AppDir() + "ca.pem")}});
        Click(sheet, 12321);
        QCOMPARE(h.TakeTexts(), "");
        QCOMPARE(settings.GetTls(), 1);
        QCOMPARE(settings.GetPort(), 8563);
        QCOMPARE(settings.GetTlsVerify(), 1);
        QCOMPARE(settings.GetTlsCaFile(), h.AppDir() + "ca.pem");
    }

    void OptionsAndStatisticsPagesColorLabelAndAboutBox() {
        CUiHarness h;
        CTransferStats& stats = h.Context().stats;
        stats.AddFileReceived(999);
        stats.AddBytesReceived(1000);
        h.Context().settings.SetChanMaxBPS(12345);
        int fullRow = 0, title = 0;
        CSettingsSheet sheet(h.Context(), false, {[&] { ++title; }, [&] { ++fullRow; }});
        QCOMPARE(sheet.Tabs()->tabText(0), QString("Opciones"));
        QCOMPARE(sheet.Tabs()->count(), 2);
        QCOMPARE(Find<QComboBox>(sheet, 1061)->currentText(), QString("(SELECT)"));
        QCOMPARE(Find<QLineEdit>(sheet, 1055)->text(), QString("8"));
        QCOMPARE(Enabled(sheet, {1061, 1055}), "00");
        Click(sheet, 1059);
        Click(sheet, 1053);
        QCOMPARE(Enabled(sheet, {1061, 1055}), "11");

        // Ticked auto-save without an interval, then speeds out of range: each is
        // refused with the full-row options already shown.
        Click(sheet, 12321);
        Fill(sheet, {{1055, "0"}, {1061, 2}});
        Click(sheet, 12321);
        Fill(sheet, {{1055, "100"}});
        Click(sheet, 12321);
        QCOMPARE(h.TakeTexts(),
                 "Auto-Save Queue Interval Not Selected|"
                 "Invalid Max Connection Speed Value\r\nValid range is 1 to 99|"
                 "Invalid Max Connection Speed Value\r\nValid range is 1 to 99");
        QCOMPARE(fullRow, 3);
        QCOMPARE(title, 0);
        QCOMPARE(Find<QCheckBox>(sheet, 1083)->text(), QString("Decodificar Mensajes yEnc"));
        Fill(sheet, {{1055, "42"}, {1083, true}});
        Click(sheet, 12321);
        QCOMPARE(h.TakeTexts(), "");
        QVERIFY(h.Context().settings.TestOptions(OPT_DECODE_YENC));
        QCOMPARE(title, 1);
        QCOMPARE(Enabled(sheet, {12321}), "0");
        QCOMPARE(h.Context().settings.GetSaveQueue(), 30);
        QCOMPARE(h.Context().settings.GetChanMaxBPS(), 42);

        QCOMPARE(Find<QLabel>(sheet, 1028)->text(), QString("999"));
        QCOMPARE(Find<QLabel>(sheet, 1030)->text(), QString("1,000"));
        stats.AddFileReceived(1);
        Click(sheet, 1031);
        QCOMPARE(Find<QLabel>(sheet, 1028)->text(), QString("1,000"));
        auto* heading = Find<CColorLabel>(sheet, 1036);
        QCOMPARE(heading->BkColor(), QColor(0, 0, 255));
        QVERIFY(heading->font().bold());
        Click(sheet, 1);
        QCOMPARE(sheet.result(), int(QDialog::Accepted));

        // A link label notifies its parent with its id.
        auto* label = new CColorLabel("notify me", &sheet);
        label->setObjectName("1039");
        label->SetLink(true, true);
        QSignalSpy spy(label, &CColorLabel::linkNotify);
        QTest::mouseClick(label, Qt::LeftButton);
        QCOMPARE(spy, (QList<QList<QVariant>>{{33280, 1039}}));

        CAboutBox box(h.Context());
        QCOMPARE(box.findChild<QLabel*>("name")->text(), QString("Vexlo " VEXLO_VERSION));
        QVERIFY(box.findChild<QLabel*>("appDir")->text().contains(
            QString::fromStdString(h.AppDir()).chopped(1)));
        QVERIFY(box.findChild<CColorLabel*>("link")->IsLink());
    }

    void GroupListFiltersAHundredThousandNamesAndAddsIntoSubfolders() {
        CUiHarness h;
        h.Context().settings.SetServer("127.0.0.1");
        std::string list;  // the server's group list as stored
        for (int i = 99999; i >= 0; --i)
            list += (i % 2 ? "alt.binaries.g" : "misc.g") + std::to_string(i) + "\r\n";
        WriteFileBytes(h.Context().DataPath() + "_GROUPS.ALL", list);
        CGroupList& groups = h.Controller().Groups();
        groups.AddGroup("alt.binaries.g99999", "");
        CServerGroupsDialog dialog(h.Context(), groups);
        auto* status = Find<QLabel>(dialog, 1044);
        auto* view = Find<QTreeView>(dialog, 1043);
        QCOMPARE(view->model()->rowCount(), 50000);
        view->selectAll();
        QCOMPARE(status->text(), QString("50000 of 50000 Items Selected"));
        QCOMPARE(Enabled(dialog, {1041}), "1");
        // An empty filter lists all.
        Fill(dialog, {{1045, ""}});
        Click(dialog, 1046);
        QCOMPARE(view->model()->rowCount(), 100000);
        QCOMPARE(status->text(), QString("0 of 100000 Items Selected"));
        QCOMPARE(Enabled(dialog, {1041}), "0");

        // Six groups into subfolders of the folder given; the one listed already is refused.
        Fill(dialog, {{1045, "binaries.g9999"}});
        Click(dialog, 1046);
        view->selectAll();
        const QString folder = QString::fromStdString(h.AppDir() + "DATA/");
        AnswerNextDialog([&](QWidget& saveTo) {
            Fill(saveTo, {{kFolderEditId, folder}, {kSubfolderBoxId, true}});
        });
        Click(dialog, 1041);
        std::string directory;
        QVERIFY(groups.GetSaveToDirectory("alt.binaries.g9999", directory));
        QCOMPARE(QString::fromStdString(directory), folder + "alt.binaries.g9999/");
        QCOMPARE(h.TakeTexts(),
                 "Newsgroup alt.binaries.g99999 not added.\r\n\r\nGroup is already "
                 "in Newsgroup list.");
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
