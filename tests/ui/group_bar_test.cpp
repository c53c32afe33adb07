// The group bar, its two folder dialogs and the folder picker: the dialogs'
// OK rules and stored defaults, the E and Delete keys, the selection kept
// with the group list, the context menu and the double click. (The column
// widths are kept by the main window's close.)

#include "ui/group_bar.h"
#include "groups/group_folder.h"
#include "groups/group_list.h"
#include "support/ui_harness.h"
#include "ui/folder_picker.h"
#include "ui/group_dialogs.h"

using namespace vexlo;
using namespace vexlo::ui;
using namespace vexlo::test;

namespace {

// A group list of two groups with binaries between two without, and its bar.
struct BarRig {
    test::CUiHarness harness;
    CGroupList groups{harness.Context()};
    std::unique_ptr<CGroupBar> bar;

    BarRig() {
        for (const char* name : {"d.full", "a.empty", "c.empty", "b.full"})
            groups.AddGroup(name, "");
        groups.UpdateGroupAfterScan("b.full", 5, 1, 3, 0);
        groups.UpdateGroupAfterScan("d.full", 0, 2, 0, 0);
        bar = std::make_unique<CGroupBar>(harness.Context(), groups);
    }
    QTableView* List() { return bar->List(); }
    QList<int> ViewRows() {
        QList<int> rows;
        for (const QModelIndex& index : List()->selectionModel()->selectedRows())
            rows << index.row();
        std::sort(rows.begin(), rows.end());
        return rows;
    }
};

}  // namespace

class GroupBarTest : public QObject {
    Q_OBJECT
  private slots:
    void addGroupDialogRefusesThenStores() {
        // (The folder rules themselves are the group list's tests.)
        test::CUiHarness harness;
        const QString dl = QString::fromStdString(harness.AppDir() + "dl");
        QVERIFY(QDir().mkpath(dl));
        harness.Context().settings.SetOption(OPT_GROUP_SUBFOLDER, 1);
        CAddGroupDialog dialog(harness.Context(), "", dl.toStdString());
        QCOMPARE(Find<QLineEdit>(dialog, kFolderEditId)->text(), dl);
        QVERIFY(Find<QCheckBox>(dialog, kSubfolderBoxId)->isChecked());
        Fill(dialog, {{kGroupNameEditId, "alt.bin"}, {kFolderEditId, dl + "/nope"}});
        Click(dialog, 1);  // refused: the dialog stays
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        const auto shown = harness.Box().Messages();
        QCOMPARE(shown.size(), size_t(1));
        QCOMPARE(shown[0].text, std::string(kNoSuchDirectoryText));
        QCOMPARE(shown[0].icon, MessageIcon::Stop);

        Fill(dialog, {{kFolderEditId, dl}, {kSubfolderBoxId, false}});
        Click(dialog, 1);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.Name(), std::string("alt.bin"));
        QCOMPARE(QString::fromStdString(dialog.Directory()), dl + "/");
        QVERIFY(!harness.Context().settings.TestOptions(OPT_GROUP_SUBFOLDER));
        // The next dialog proposes the directory just given.
        CAddGroupDialog next(harness.Context(), "", "");
        QCOMPARE(Find<QLineEdit>(next, kFolderEditId)->text(), dl + "/");
    }

    void saveToDialogPresetsAndChecks() {
        // (What it stores is seen through the server group list's dialog.)
        test::CUiHarness harness;
        CAppSettings& settings = harness.Context().settings;
        settings.SetSaveDefault(harness.AppDir());
        settings.SetOption(OPT_GROUP_SUBFOLDER, 0);
        CSaveToFolderDialog shared(harness.Context(), "/");
        QVERIFY(Find<QCheckBox>(shared, kSubfolderBoxId)->isChecked());
        CSaveToFolderDialog dialog(harness.Context(), "");
        QCOMPARE(Find<QLineEdit>(dialog, kFolderEditId)->text().toStdString(), harness.AppDir());
        QVERIFY(!Find<QCheckBox>(dialog, kSubfolderBoxId)->isChecked());
        Fill(dialog, {{kFolderEditId, QString::fromStdString(harness.AppDir() + "nope")}});
        Click(dialog, 1);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(harness.TakeTexts(), std::vector<std::string>{kNoSuchDirectoryText});
    }

    void keysAndSelectionFollowTheList() {
        BarRig rig;
        QSignalSpy commands(rig.bar.get(), &CGroupBar::commandRequested);
        QTableView* list = rig.List();
        QCOMPARE(list->objectName(), QString("124"));
        const QModelIndex b = rig.bar->Model()->index(1, 0);
        QCOMPARE(b.data().toString(), QString("b.full"));
        QCOMPARE(b.siblingAtColumn(1).data().toString(), QString("5"));
        QCOMPARE(b.siblingAtColumn(3).data().toString(), QString("3"));

        QTest::keyClick(list, Qt::Key_Delete);
        QTest::keyClick(list, Qt::Key_E);
        QCOMPARE(commands.count(), 0);
        QCOMPARE(rig.groups.SelectedCount(), 0);

        list->selectRow(3);  // d.full: binaries, so E leaves it selected
        QVERIFY(rig.groups.IsSelected(3));
        QTest::keyClick(list, Qt::Key_E);
        QCOMPARE(rig.groups.SelectedRows(), (std::vector<int>{0, 2, 3}));
        QCOMPARE(rig.ViewRows(), (QList<int>{0, 2, 3}));
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(commands.count(), 1);
        QCOMPARE(commands[0][0].toInt(), 32796);

        list->clearSelection();
        QCOMPARE(rig.groups.SelectedCount(), 0);
        rig.groups.SelectAll();
        QCOMPARE(rig.ViewRows(), (QList<int>{0, 1, 2, 3}));
        rig.groups.AddGroup("bb.new", "");  // takes its place, unselected
        QCOMPARE(rig.bar->Model()->index(2, 0).data().toString(), QString("bb.new"));
        QCOMPARE(rig.ViewRows(), (QList<int>{0, 1, 3, 4}));
    }

    void contextMenuAndDoubleClick() {
        BarRig rig;
        QMenu* menu = rig.bar->findChild<QMenu*>("GROUP_BAR");
        QVERIFY(menu);
        QCOMPARE(test::MenuTexts(*menu),
                 QStringList({"E&scanear", "Esc&anear Todos", "-", "Añadir &Nuevo Grupo...",
                              "&Borrar Grupos Seleccionados", "&Resetear Grupos Seleccionados",
                              "Configurar Guardar-A Carpeta ...", "-", "&Lista Servidor...", "-",
                              "Seleccionar Todo", "&Ocultar"}));
        QSignalSpy commands(rig.bar.get(), &CGroupBar::commandRequested);
        menu->findChild<QAction*>("32819")->trigger();
        QCOMPARE(commands.count(), 1);
        QCOMPARE(commands[0][0].toInt(), 32819);

        QSignalSpy open(rig.bar.get(), &CGroupBar::openGroupRequested);
        QWidget* rows = rig.List()->viewport();
        QTest::mouseDClick(rows, Qt::LeftButton, {}, QPoint(5, rows->height() - 2));  // no row
        QCOMPARE(open.count(), 0);
        const QRect c = rig.List()->visualRect(rig.bar->Model()->index(2, 0));
        QTest::mouseDClick(rows, Qt::LeftButton, {}, c.center());
        QCOMPARE(open.count(), 1);
        QCOMPARE(open[0][0].toString(), QString("c.empty"));
    }

    void folderPickerSelectsThePresetLazily() {
        test::CTempDir dir;
        const QString root = QString::fromStdString(dir.Path()) + "Alpha";
        QVERIFY(QDir().mkpath(root + "/Beta/gamma") && QDir().mkpath(root + "/Other"));

        CFolderPicker picker(dir.Path() + "alpha/BETA/");  // letter case ignored
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
};

QTEST_MAIN(GroupBarTest)
#include "group_bar_test.moc"
