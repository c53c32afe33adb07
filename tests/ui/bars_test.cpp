// The group bar and the queue bar over their lists: the selection kept with
// the rows the lists move, the keys, the context menus and the double click,
// and a queue row's texts and icon by state. (The group list's column widths
// are kept by the main window's close.)
#include "groups/group_list.h"
#include "support/ui_harness.h"
#include "tasks/download_queue.h"
#include "ui/group_bar.h"
#include "ui/image_list.h"
#include "ui/queue_bar.h"

using namespace vexlo;
using namespace vexlo::ui;
using namespace vexlo::test;

namespace {

// A shown bar over the controller's queue; channels go to a closed port, so a
// task handed to one stays running.
struct QueueRig {
    test::CUiHarness h;
    CDownloadQueue& queue = Prepare(h.Context().settings, h).Queue();
    CQueueBar bar{h.Context(), queue};

    static CMainController& Prepare(CAppSettings& s, test::CUiHarness& h) {
        s.SetServer("127.0.0.1");
        s.SetPort(1);
        s.SetConn(3);
        s.SetOption(OPT_AUTO_REMOVE_DONE, 0);
        s.SetOption(OPT_FULL_ROW_QUEUE, 1);
        return h.Controller();
    }
    CTask* Add(uint32_t type, const std::string& subject) {
        CTask task(&h.Context().settings);
        MakeDownloadTask(task, {"a.b", subject, "/dl/", {}, {}, 3000000, 0x05});
        task.SetType(type);
        queue.AddTask(task, false);
        bar.setGeometry(10, 10, 700, 300);
        bar.show();
        if (!QTest::qWaitForWindowExposed(&bar)) qFatal("the bar is not shown");
        return queue.Row(queue.Count() - 1).task.get();
    }
    void Click(int row, int column, Qt::KeyboardModifiers mods = {}) {
        QRect cell = bar.List()->visualRect(bar.Model()->index(row, column));
        QTest::mouseClick(bar.List()->viewport(), Qt::LeftButton, mods, cell.center());
    }
    // The queue's flags, then the view's rows: "1" for a selected row.
    QString Selection() {
        QString flags, rows;
        for (int i = 0; i < bar.Model()->rowCount(); ++i) {
            flags += queue.Row(static_cast<size_t>(i)).selected ? '1' : '0';
            rows += bar.List()->selectionModel()->isSelected(bar.Model()->index(i, 0)) ? '1' : '0';
        }
        return flags + "|" + rows;
    }
    // "<id> <label>|" per item, "-|" per separator.
    QString Menu() {
        QString items;
        for (QAction* a : bar.ContextMenu()->actions())
            items += (a->isSeparator() ? "-" : a->objectName() + " " + a->text()) + "|";
        return items;
    }
};

}  // namespace

class BarsTest : public QObject {
    Q_OBJECT
  private slots:
    void groupBarFollowsTheListAndAnswersKeysMenuAndDoubleClick() {
        // Two groups with binaries between two without.
        CUiHarness h;
        CGroupList groups{h.Context()};
        for (const char* name : {"d.full", "a.empty", "c.empty", "b.full"})
            groups.AddGroup(name, "");
        groups.UpdateGroupAfterScan("b.full", 5, 1, 3, 0);
        groups.UpdateGroupAfterScan("d.full", 0, 2, 0, 0);
        CGroupBar bar(h.Context(), groups);
        QTableView* list = bar.List();
        auto viewRows = [&] {
            QList<int> rows;
            for (const QModelIndex& index : list->selectionModel()->selectedRows())
                rows << index.row();
            std::sort(rows.begin(), rows.end());
            return rows;
        };
        QCOMPARE(Column(*bar.Model()), (QStringList{"a.empty", "b.full", "c.empty", "d.full"}));
        QCOMPARE(bar.Model()->index(1, 1).data().toString(), "5");
        QCOMPARE(bar.Model()->index(1, 3).data().toString(), "3");

        QSignalSpy commands(&bar, &CGroupBar::commandRequested);
        QTest::keyClick(list, Qt::Key_Delete);
        QTest::keyClick(list, Qt::Key_E);
        QCOMPARE(commands.count(), 0);
        QCOMPARE(groups.SelectedCount(), 0);
        list->selectRow(3);  // d.full: binaries, so E leaves it selected
        QTest::keyClick(list, Qt::Key_E);
        QCOMPARE(groups.SelectedRows(), (std::vector<int>{0, 2, 3}));
        QCOMPARE(viewRows(), (QList<int>{0, 2, 3}));
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(commands.takeFirst().at(0).toInt(), 32796);
        list->clearSelection();
        QCOMPARE(groups.SelectedCount(), 0);

        QCOMPARE(MenuTexts(*bar.ContextMenu()),
                 QStringList({"E&scanear", "Esc&anear Todos", "-", "Añadir &Nuevo Grupo...",
                              "&Borrar Grupos Seleccionados", "&Resetear Grupos Seleccionados",
                              "Configurar Guardar-A Carpeta ...", "-", "&Lista Servidor...", "-",
                              "Seleccionar Todo", "&Ocultar"}));
        bar.ContextMenu()->findChild<QAction*>("32819")->trigger();
        QCOMPARE(commands.takeFirst().at(0).toInt(), 32819);
        QSignalSpy open(&bar, &CGroupBar::openGroupRequested);
        QWidget* rows = list->viewport();
        QTest::mouseDClick(rows, Qt::LeftButton, {},
                           QPoint(5, rows->height() - 2));  // nothing selected
        QCOMPARE(open.count(), 0);
        const QRect c = list->visualRect(bar.Model()->index(2, 0));
        QTest::mouseDClick(rows, Qt::LeftButton, {}, c.center());
        QCOMPARE(open, (QList<QList<QVariant>>{{"c.empty"}}));

        groups.SelectAll();
        QCOMPARE(viewRows(), (QList<int>{0, 1, 2, 3}));
        groups.AddGroup("bb.new", "");  // takes its place, unselected
        QCOMPARE(bar.Model()->index(2, 0).data().toString(), QString("bb.new"));
        QCOMPARE(viewRows(), (QList<int>{0, 1, 3, 4}));
    }

    void rowTexts_data() {
        QTest::addColumn<int>("result");  // -1: handed to a channel that reports "Connecting"
        QTest::addColumn<QString>("texts");
        QTest::newRow("waiting scan") << 0 << "1||n/a|SCAN NEW|1/3|s|a.b|/dl/";
        QTest::newRow("running") << -1 << "1|Connecting|~2.86 MB|DECODE|1/3|s|a.b|/dl/";
        QTest::newRow("completed") << 2 << "1|OK|~2.86 MB|DECODE|1/3|s|a.b|/dl/";
        QTest::newRow("error") << 3 << "1|ERROR|~2.86 MB|DECODE|1/3|s|a.b|/dl/";
    }
    void rowTexts() {
        QFETCH(int, result);
        QFETCH(QString, texts);
        QueueRig rig;
        CTask* task = rig.Add(texts.contains("SCAN") ? kTaskScanNew : kTaskDecode, "s");
        if (result < 0) {
            rig.h.Controller().StartChannels();
            rig.h.Controller().StartCommand();
            rig.h.Context().progress.PublishProgress({task->Key(), kProgressConnecting});
            rig.h.Controller().OnTimer(0);
        } else if (result > 0) {
            task->SetResult(static_cast<uint32_t>(result));
            rig.queue.TaskFinished(task);
        }
        QStringList shown, titles;
        for (int c = 0; c < CQueueModel::kColumns; ++c) {
            shown << rig.bar.Model()->index(0, c).data().toString();
            titles << rig.bar.Model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        }
        QCOMPARE(shown.join('|'), texts);
        QCOMPARE(titles.join('|'),
                 "Task ID|Progress|Size|Task|Chan|Subject Header|Newsgroup|Save-To");
        auto icon = rig.bar.Model()->index(0, 0).data(Qt::DecorationRole).value<QIcon>();
        QCOMPARE(icon.pixmap(16).toImage(),
                 ListIcon(result < 0 ? kImageRunning : result).pixmap(16).toImage());
        rig.Add(kTaskDecode, "caf\xe9");  // not UTF-8: read as Latin-1
        QCOMPARE(rig.bar.Model()->index(1, CQueueModel::kSubject).data().toString(), "café");
    }

    void selectionKeysAndContextMenu() {
        QueueRig rig;
        for (const char* s : {"a", "b", "c", "d", "e"}) rig.Add(kTaskDecode, s);
        rig.Click(3, 2);
        rig.Click(4, 5, Qt::ShiftModifier);
        QCOMPARE(rig.Selection(), "00011|00011");
        const std::pair<void (CDownloadQueue::*)(), const char*> steps[] = {
            {&CDownloadQueue::MoveUp, "00110|00110"},
            {&CDownloadQueue::MoveToTop, "11000|11000"},
            {&CDownloadQueue::SelectAll, "11111|11111"}};
        for (const auto& [op, selection] : steps) {
            (rig.queue.*op)();
            QTRY_COMPARE(rig.Selection(), selection);
        }
        // Without full-row selection only the first column selects.
        rig.bar.SetFullRowSelect(false);
        rig.Click(2, 3);
        QCOMPARE(rig.Selection(), "00000|00000");
        rig.Click(2, 0);
        QCOMPARE(rig.Selection(), "00100|00100");

        QSignalSpy commands(&rig.bar, &CQueueBar::commandRequested);
        QTest::keyClick(rig.bar.List(), Qt::Key_Delete);
        QCOMPARE(commands.takeFirst().at(0).toInt(), 32801);
        QCOMPARE(
            rig.Menu(),
            "32813 Información Tarea de Elemento ...|-|32802 Mover A Lo Más Alto\tCTRL-T|"
            "32803 Mover Al Pie\tCTRL-B|32815 Mover Arriba\tCTRL-U|32816 Mover Abajo\tCTRL-D|-|"
            "32820 Configurar canal &Afinidad ...|32814 Elementos(s) En Cola De Nuevo...|"
            "32801 Borrar|-|32812 Seleccionar Todo|32818 &Ocultar|");
        // From the keyboard it opens 8 pixels into the list.
        QTest::keyClick(rig.bar.List(), Qt::Key_F10, Qt::ShiftModifier);
        QTRY_VERIFY(rig.bar.ContextMenu()->isVisible());
        QCOMPARE(
            rig.bar.ContextMenu()->pos(),
            rig.bar.List()->mapToGlobal(rig.bar.List()->contentsRect().topLeft() + QPoint(8, 8)));
        rig.bar.ContextMenu()->findChild<QAction*>("32818")->trigger();
        QCOMPARE(commands.takeFirst().at(0).toInt(), 32818);
    }
};

QTEST_MAIN(BarsTest)
#include "bars_test.moc"
