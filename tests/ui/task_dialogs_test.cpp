// The task dialogs through their real widgets: the channel boxes of the
// configured channels, the get-and-decode directory and its affinity check,
// the join-parts moves, the task information rows and the filter.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

#include "support/ui_harness.h"
#include "tasks/task.h"
#include "ui/task_dialogs.h"

using namespace vexlo;
using namespace vexlo::ui;

namespace {

template <typename T>
T* Find(QWidget& dialog, int id) {
    T* widget = dialog.findChild<T*>(QString::number(id));
    if (!widget) qFatal("no control %d", id);
    return widget;
}

// "E" for an enabled box, "C" for a checked one, "-" for neither, boxes 1 to 8.
QString Boxes(QWidget& dialog) {
    QString states;
    for (int id = 1064; id <= 1071; ++id) {
        auto* box = Find<QCheckBox>(dialog, id);
        states += box->isChecked() ? "C" : box->isEnabled() ? "E" : "-";
    }
    return states;
}

QStringList Column(QTableView* list, int column) {
    QStringList texts;
    for (int r = 0; r < list->model()->rowCount(); ++r)
        texts << list->model()->index(r, column).data().toString();
    return texts;
}

}  // namespace

class TaskDialogsTest : public QObject {
    Q_OBJECT
  private slots:
    void affinityBoxesFollowTheConfiguredChannels() {
        test::CUiHarness rig;
        rig.Context().settings.SetConn(3);
        CAffinityDialog dialog(nullptr, rig.Context());
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QString("Ajustar Canal de Afinidad"));
        QCOMPARE(Boxes(dialog), QString("EEE-----"));
        Find<QPushButton>(dialog, 1072)->click();  // "Todo"
        QCOMPARE(Boxes(dialog), QString("CCC-----"));
        Find<QPushButton>(dialog, 1073)->click();  // "&Ninguno"
        QCOMPARE(Boxes(dialog), QString("EEE-----"));
        Find<QPushButton>(dialog, 1)->click();  // an empty mask only informs
        QCOMPARE(rig.TakeTexts(), std::vector<std::string>{"Affinity Not Set!"});
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.affinity, 0u);
    }

    void getDecodeBuildsTheDirectoryAndWantsAChannel() {
        test::CUiHarness rig;
        rig.Context().settings.SetConn(3);
        CGetDecodeDialog dialog(nullptr, rig.Context());
        dialog.directory = "/dl";
        dialog.affinity = 0b1010;  // channel 4 is not configured
        dialog.show();
        QCOMPARE(Find<QLineEdit>(dialog, 1014)->text(), QString("/dl"));
        QCOMPARE(Boxes(dialog), QString("ECE-----"));
        QCOMPARE(Find<QPushButton>(dialog, 1015)->text(), QString("&Examinar ..."));
        auto* subfolder = Find<QLineEdit>(dialog, 1016);
        auto* useSubfolder = Find<QCheckBox>(dialog, 1062);
        QTest::keyClicks(subfolder, "x");
        QVERIFY(useSubfolder->isChecked());
        subfolder->clear();
        QVERIFY(!useSubfolder->isChecked());
        QTest::keyClicks(subfolder, "x");
        Find<QCheckBox>(dialog, 1064 + 1)->setChecked(false);
        Find<QPushButton>(dialog, 1)->click();
        QCOMPARE(
            rig.TakeTexts(),
            std::vector<std::string>{"Oops!  No Channel Affinity!\r\nCheck one or more channels."});
        QVERIFY(dialog.isVisible());
        Find<QCheckBox>(dialog, 1064 + 2)->setChecked(true);
        Find<QCheckBox>(dialog, 1063)->setChecked(true);
        Find<QPushButton>(dialog, 1)->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.directory, std::string("/dl/x/"));
        QCOMPARE(dialog.affinity, 0b100u);
        QCOMPARE(dialog.addToTop, 1);

        CGetDecodeDialog unticked(nullptr, rig.Context());
        unticked.directory = "/dl";
        unticked.affinity = 1;
        unticked.show();
        QTest::keyClicks(Find<QLineEdit>(unticked, 1016), "x");
        Find<QCheckBox>(unticked, 1062)->setChecked(false);  // the name is then ignored
        Find<QPushButton>(unticked, 1)->click();
        QCOMPARE(unticked.directory, std::string("/dl/"));
        QCOMPARE(unticked.addToTop, 0);
    }

    void joinPartsMovesTheSelectedRow() {
        CJoinPartsDialog dialog(nullptr);
        dialog.subjects = {"a", "b", "c"};
        dialog.articles = {1, 2, 3};
        dialog.lines = {10, 20, 30};
        dialog.bytes = {100, 200, 300};
        dialog.show();
        auto* list = Find<QTableView>(dialog, 1043);
        QPushButton* up = Find<QPushButton>(dialog, 1075);
        QPushButton* down = Find<QPushButton>(dialog, 1076);
        QPushButton* top = Find<QPushButton>(dialog, 1077);
        QPushButton* bottom = Find<QPushButton>(dialog, 1078);
        auto enabled = [&] {
            return QString("%1%2%3%4")
                .arg(up->isEnabled())
                .arg(down->isEnabled())
                .arg(top->isEnabled())
                .arg(bottom->isEnabled());
        };
        QCOMPARE(enabled(), QString("0000"));  // nothing selected
        QCOMPARE(Column(list, 1), (QStringList{"10", "20", "30"}));
        list->selectRow(0);
        QCOMPARE(enabled(), QString("0101"));  // the first row cannot go up
        down->click();
        QCOMPARE(Column(list, 0), (QStringList{"b", "a", "c"}));
        bottom->click();
        QCOMPARE(Column(list, 0), (QStringList{"b", "c", "a"}));
        QCOMPARE(enabled(), QString("1010"));  // the last row cannot go down
        top->click();
        Find<QCheckBox>(dialog, 1063)->setChecked(true);
        Find<QPushButton>(dialog, 1)->click();
        QCOMPARE(dialog.subjects, (std::vector<std::string>{"a", "b", "c"}));
        QCOMPARE(dialog.articles, (std::vector<uint32_t>{1, 2, 3}));
        QCOMPARE(dialog.bytes, (std::vector<uint32_t>{100, 200, 300}));
        QCOMPARE(dialog.queueAtTop, 1);

        CJoinPartsDialog single(nullptr);
        single.subjects = {"only"};
        single.articles = single.lines = single.bytes = {7};
        single.show();
        Find<QTableView>(single, 1043)->selectRow(0);
        for (int id = 1075; id <= 1078; ++id) QVERIFY(!Find<QPushButton>(single, id)->isEnabled());
    }

    void taskInformationRowsDependOnTheType() {
        test::CUiHarness rig;
        CTask scan(&rig.Context().settings);
        scan.SetType(kTaskScanNew);
        scan.SetGroupName("alt.test");
        CTaskInfoDialog info(nullptr, scan);
        info.show();
        QCOMPARE(info.windowTitle(), QString::fromUtf8("Información Tarea"));
        auto* list = Find<QTableView>(info, 1057);
        QCOMPARE(Column(list, 0), (QStringList{"ID", "Type", "Result Code", "Result Info",
                                               "Newsgroup", "Title", "Directory", "Affinity"}));
        QCOMPARE(Column(list, 1)[1], QString("Scan New Headers"));

        CTask decode(&rig.Context().settings);
        decode.SetType(kTaskDecode);
        decode.SetArticles({5, 6});
        CTaskInfoDialog download(nullptr, decode);
        download.show();
        QStringList properties = Column(Find<QTableView>(download, 1057), 0);
        QVERIFY(!properties.contains("Filename"));
        QCOMPARE(properties.mid(7), (QStringList{"Parts Total", "Parts Fetched", "Affinity"}));
        QCOMPARE(Column(Find<QTableView>(download, 1057), 1)[7], QString("2"));
    }

    void filterKeepsThirtyTwoCharacters() {
        CFilterDialog dialog(nullptr);
        dialog.filter = "abc";
        dialog.showOnlyNew = 1;
        dialog.show();
        auto* edit = Find<QLineEdit>(dialog, 1045);
        QCOMPARE(edit->text(), QString("abc"));
        QVERIFY(Find<QCheckBox>(dialog, 1052)->isChecked());
        edit->setText(QString(40, 'z'));
        Find<QCheckBox>(dialog, 1052)->setChecked(false);
        Find<QPushButton>(dialog, 1)->click();
        QCOMPARE(dialog.filter, std::string(32, 'z'));
        QCOMPARE(dialog.showOnlyNew, 0);
    }
};

QTEST_MAIN(TaskDialogsTest)
#include "task_dialogs_test.moc"
