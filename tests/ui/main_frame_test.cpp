// The main window on the offscreen platform: command states, caption, panes,
// the scan commands through the menu, the close with what it saves, the graph
// bar's drawing over statistics driven by a test clock, and the pictures; and
// its group and queue bars over their lists: the selection kept with the rows
// the lists move, the keys, the context menus, the double click, and a queue
// row's texts and icon by state.
#include "ui/main_frame.h"

#include "frame/commands.h"
#include "groups/group_list.h"
#include "support/ui_harness.h"
#include "tasks/download_queue.h"
#include "tasks/task.h"
#include "ui/graph_bar.h"
#include "ui/group_bar.h"
#include "ui/image_list.h"
#include "ui/queue_bar.h"

using namespace vexlo::test;

namespace vexlo::ui {
namespace {

constexpr QRgb kCyan = 0xFF00FFFF, kWhite = 0xFFFFFFFF, kDarkBlue = 0xFF000080;
constexpr QRgb kServerGrey = 0xFFC0C0C0, kStartingGrey = 0xFFDFDFDF;

// The rightmost x of a pixel of `colour` in rows [top, bottom); -1 for none.
int RightmostOf(const QImage& image, QRgb colour, int top, int bottom) {
    int found = -1;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == colour) found = std::max(found, x);
    return found;
}

// The right end of the server's text in the plot's top corner.
int ServerTextRight(const CGraphBar& bar) {
    const int top = bar.LastPlot().plotTop;
    return RightmostOf(bar.Bitmap(), kServerGrey, top, top + top - 2);
}

// True when the icon has at least one non-transparent pixel at size x size.
bool Draws(const QIcon& icon, int size) {
    QImage blank(size, size, QImage::Format_Alpha8);
    blank.fill(0);
    const QImage alpha = icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_Alpha8);
    return alpha.size() == blank.size() && alpha != blank;
}

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
};

}  // namespace

class MainFrameTest : public QObject {
    Q_OBJECT

    static std::unique_ptr<CMainFrame> Open(CUiHarness& h) {
        auto frame = std::make_unique<CMainFrame>(h.Context(), h.Controller());
        frame->resize(900, 700);
        frame->show();
        return frame;
    }
    // "1" per enabled command of `ids`, after the window updated them.
    static QString Enabled(CMainFrame& frame, std::initializer_list<int> ids) {
        frame.UpdateCommandUi();
        QString states;
        for (int id : ids) states += frame.Action(id)->isEnabled() ? '1' : '0';
        return states;
    }

  private slots:
    void statesCaptionPanesAndSettingsFollowTheListsAndTheAgent() {
        CUiHarness h;
        h.Context().settings.SetAppTitle("Mine");
        h.Context().settings.SetConn(2);
        h.Context().settings.SetOption(OPT_SCAN_TO_TOP, 1);
        auto frame = Open(h);
        frame->UpdateTitle();
        QCOMPARE(frame->windowTitle(), "Mine - [No Group Open]");
        // The command rules' cases are the frame's tests; here the window's
        // lists and agent reach them.
        QCOMPARE(Enabled(*frame, {ID_SCAN_SELECTED, ID_QUEUE_DELETE, ID_GET_DECODE}), "000");

        // Scan-to-top through the menu: the groups in list order above the old task.
        h.Controller().ScanGroups({"alt.old"});
        CGroupList& groups = h.Controller().Groups();
        for (const char* name : {"g3", "g1", "g2"}) groups.AddGroup(name, "/tmp/");
        frame->Action(ID_SCAN_ALL)->trigger();
        QCOMPARE(test::Column(*frame->QueueBar()->Model(), CQueueModel::kSubject),
                 (QStringList{"(SCAN) g1", "(SCAN) g2", "(SCAN) g3", "(SCAN) alt.old"}));
        groups.Select(1, true);
        h.Controller().Queue().Select(0, true);
        QCOMPARE(Enabled(*frame, {ID_SCAN_SELECTED, ID_TASK_INFO}), "11");
        QCOMPARE(frame->QueuePane()->text(), "Queue: 4");
        // Running, then a graceful stop that ends at once with no channel busy.
        h.Controller().Agent().StartProcessing();
        QCOMPARE(Enabled(*frame, {ID_START, ID_STOP_GRACEFULLY}), "01");
        h.Controller().Agent().StopAfterCurrent();
        QCOMPARE(Enabled(*frame, {ID_START, ID_STOP_GRACEFULLY}), "10");
        // The bar toggles carry check marks.
        frame->Action(ID_VIEW_QUEUEBAR)->trigger();
        frame->UpdateCommandUi();
        QVERIFY(!frame->QueueBar()->isVisible());
        QVERIFY(!frame->Action(ID_VIEW_QUEUEBAR)->isChecked());

        // 4 connections picked on the Server page recreate the channels.
        QCOMPARE(h.Controller().Agent().ChannelCount(), 2);
        QString title;
        test::AnswerNextDialog([&](QWidget& sheet) {
            title = sheet.windowTitle();
            test::Fill(sheet, {{1005, "127.0.0.1"}, {1011, 3}});
        });
        frame->Action(ID_SETTINGS)->trigger();
        QCOMPARE(title, "Vexlo Program Settings");
        QCOMPARE(h.Controller().Agent().ChannelCount(), 4);
        QCOMPARE(CProfileStore(h.Context().profile.Path()).GetProfileInt("Settings", "Conn", 0), 4);
    }

    void closeIsRefusedWhileProcessingAndSavesTheWindowOtherwise() {
        CUiHarness h;
        {
            auto frame = Open(h);
            h.Controller().Agent().StartProcessing();
            h.Controller().ScanGroups({"alt.a"});
            h.Controller().Queue().Select(0, false);
            // A task listed while processing is on: refused, nothing saved.
            QVERIFY(!frame->close());
            QCOMPARE(h.TakeTexts(),
                     "Application cannot close while processing is enabled.\r\n"
                     "Click the Stop button to stop processing.");
            QVERIFY(frame->TimerRunning());
            h.Controller().Agent().StopNow();
            QTRY_VERIFY(h.Controller().Agent().IsStopped());
            // The group list's widths are kept by column, wherever it was dragged.
            QHeaderView* groupHeader = frame->GroupBar()->List()->horizontalHeader();
            groupHeader->moveSection(0, 5);
            groupHeader->resizeSection(0, 151);
            frame->QueueBar()->setFloating(true);
            frame->QueueBar()->resize(420, 150);
            frame->showMaximized();
            QVERIFY(frame->close());
            QVERIFY(!frame->TimerRunning());
        }
        CProfileStore saved(h.Context().profile.Path());
        // (The bars' state and sizes are seen by the second start.)
        QVERIFY(saved.GetProfileInt("Settings", "Options", 0) & OPT_START_MAXIMIZED);
        QVERIFY(!saved.GetProfileString("Settings", "LVCWQ", "").empty());

        // A second start finds the queue and the floating bar where they were.
        h.Restart();
        auto again = Open(h);
        QCOMPARE(int(h.Controller().Queue().Count()), 1);
        QVERIFY(again->QueueBar()->isFloating());
        QCOMPARE(again->QueueBar()->Sizes().floating.cx, 420);
        QCOMPARE(again->GroupBar()->List()->columnWidth(0), 151);
    }

    void graphBarAndPicturesDraw() {
        uint32_t now = 5000;
        test::CTempDir dir;
        test::CRecordingMessageBox box;
        CAppContext context{dir.Path(), box, [&now] { return now; }};
        CGraphBar bar{context};
        const QImage& image = bar.Bitmap();
        const int w = CGraphBar::kWidth, h = CGraphBar::kHeight;
        QVERIFY(RightmostOf(image, kStartingGrey, 0, h) > 4);  // "Starting ..."
        bar.DrawGraph();
        // Without traffic the line lies one pixel above the bottom edge.
        for (int x = 1; x <= w - 5; ++x) QCOMPARE(image.pixel(x, h - 5), kCyan);
        QCOMPARE(image.pixel(w / 2, h - 4), kWhite);  // bottom edge
        QCOMPARE(image.pixel(w - 4, h / 2), kWhite);  // right edge
        QCOMPARE(image.pixel(0, 0), kDarkBlue);       // the rate texts' band
        QCOMPARE(bar.LastPlot().currentText, std::string("CURRENT: 0.0 K/sec"));
        // The no-server text is some 28 characters wide, a short name 4.
        QVERIFY2(ServerTextRight(bar) >= 150, QByteArray::number(ServerTextRight(bar)));

        QVERIFY(context.settings.SetServer("news"));
        context.stats.AddBytesReceived(1536);
        now += 1000;
        bar.DrawGraph();
        const GraphPlot& plot = bar.LastPlot();
        // The last complete second is the current rate.
        QCOMPARE(plot.currentText, std::string("CURRENT: 1.4 K/sec"));
        // The peak second reaches the top of the plot at the right edge.
        QVERIFY(plot.line[0].y >= 0 && plot.line[0].y <= plot.plotTop);
        QCOMPARE(image.pixel(plot.line[0].x, plot.line[0].y), kCyan);
        const int right = ServerTextRight(bar);
        QVERIFY2(right >= 10 && right <= 60, QByteArray::number(right));

        // Every picture draws.
        for (int index = 0; index < kImageCount; ++index)
            QVERIFY2(Draws(ListIcon(index), 16), QByteArray::number(index));
        QVERIFY(ListIcon(kImageCount).isNull());
        for (int id : {ID_SETTINGS, ID_VIEW_GROUPBAR, ID_VIEW_QUEUEBAR, ID_VIEW_GRAPHBAR, ID_START,
                       ID_STOP_GRACEFULLY, ID_STOP_NOW, ID_HISTORY, ID_GET_TEXT, ID_GET_DECODE,
                       ID_SCAN_SELECTED, ID_FIND, ID_NEW_ONLY, ID_FILTER, ID_CLEAR_FILTER,
                       ID_VIEW_MSG, ID_VIEW_BIN, ID_APP_ABOUT})
            QVERIFY2(Draws(CommandIcon(id), 20), QByteArray::number(id));
        QVERIFY(CommandIcon(ID_APP_EXIT).isNull());
        QVERIFY(Draws(AppIcon(), 48));
        QVERIFY(Draws(DriveIcon(), 16));
        QVERIFY(Draws(FolderIcon(), 16));
    }

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
        auto viewRows = [&] {  // "1" per selected row
            QString rows;
            for (int row = 0; row < bar.Model()->rowCount(); ++row)
                rows += list->selectionModel()->isRowSelected(row) ? '1' : '0';
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
        QCOMPARE(viewRows(), "1011");
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
        QCOMPARE(viewRows(), "1111");
        groups.AddGroup("bb.new", "");  // takes its place, unselected
        QCOMPARE(bar.Model()->index(2, 0).data().toString(), QString("bb.new"));
        QCOMPARE(viewRows(), "11011");
    }

    void queueRowTextsAndIconsByState() {
        QueueRig rig;
        // Handed to a channel that reports "Connecting"; the agent then starts no other.
        CTask* running = rig.Add(kTaskDecode, "s");
        rig.h.Controller().StartChannels();
        rig.h.Controller().StartCommand();
        rig.h.Controller().Agent().StopAfterCurrent();
        rig.h.Context().progress.PublishProgress({running->Key(), kProgressConnecting});
        for (uint32_t result : {2u, 3u}) {  // completed, failed
            CTask* task = rig.Add(kTaskDecode, "s");
            task->SetResult(result);
            rig.queue.TaskFinished(task);
        }
        rig.Add(kTaskScanNew, "s");
        rig.Add(kTaskDecode, "caf\xe9");  // not UTF-8: read as Latin-1
        rig.h.Controller().OnTimer(0);
        const QAbstractItemModel& model = *rig.bar.Model();
        QStringList rows(model.rowCount()), titles;
        for (int c = 0; c < CQueueModel::kColumns; ++c) {
            titles << model.headerData(c, Qt::Horizontal).toString();
            const QStringList column = Column(model, c);
            for (int r = 0; r < rows.size(); ++r) rows[r] += (c ? "|" : "") + column[r];
        }
        QCOMPARE(titles.join('|'),
                 "Task ID|Progress|Size|Task|Chan|Subject Header|Newsgroup|Save-To");
        QCOMPARE(rows, (QStringList{"1|Connecting|~2.86 MB|DECODE|1/3|s|a.b|/dl/",
                                    "2|OK|~2.86 MB|DECODE|1/3|s|a.b|/dl/",
                                    "3|ERROR|~2.86 MB|DECODE|1/3|s|a.b|/dl/",
                                    "4||n/a|SCAN NEW|1/3|s|a.b|/dl/",
                                    "5||~2.86 MB|DECODE|1/3|café|a.b|/dl/"}));
        const int icons[] = {kImageRunning, 2, 3, 0};
        for (int r = 0; r < 4; ++r)
            QCOMPARE(model.index(r, 0).data(Qt::DecorationRole).value<QIcon>().pixmap(16).toImage(),
                     ListIcon(icons[r]).pixmap(16).toImage());
    }

    void selectionKeysAndContextMenu() {
        QueueRig rig;
        for (const char* s : {"a", "b", "c", "d", "e"}) rig.Add(kTaskDecode, s);
        rig.Click(3, 2);
        rig.Click(4, 5, Qt::ShiftModifier);
        QCOMPARE(rig.Selection(), "00011|00011");
        rig.queue.MoveUp();
        QTRY_COMPARE(rig.Selection(), "00110|00110");
        rig.queue.MoveToTop();
        QTRY_COMPARE(rig.Selection(), "11000|11000");
        rig.queue.SelectAll();
        QTRY_COMPARE(rig.Selection(), "11111|11111");
        // Without full-row selection only the first column selects.
        rig.bar.SetFullRowSelect(false);
        rig.Click(2, 3);
        QCOMPARE(rig.Selection(), "00000|00000");
        rig.Click(2, 0);
        QCOMPARE(rig.Selection(), "00100|00100");

        QSignalSpy commands(&rig.bar, &CQueueBar::commandRequested);
        QTest::keyClick(rig.bar.List(), Qt::Key_Delete);
        QCOMPARE(commands.takeFirst().at(0).toInt(), 32801);
        QStringList items;  // "<id> <label>", " " for a separator
        for (QAction* a : rig.bar.ContextMenu()->actions())
            items << a->objectName() + " " + a->text();
        QCOMPARE(
            items.join('|'),
            "32813 Información Tarea de Elemento ...| |32802 Mover A Lo Más Alto\tCTRL-T|"
            "32803 Mover Al Pie\tCTRL-B|32815 Mover Arriba\tCTRL-U|32816 Mover Abajo\tCTRL-D| |"
            "32820 Configurar canal &Afinidad ...|32814 Elementos(s) En Cola De Nuevo...|"
            "32801 Borrar| |32812 Seleccionar Todo|32818 &Ocultar");
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

}  // namespace vexlo::ui

QTEST_MAIN(vexlo::ui::MainFrameTest)
#include "main_frame_test.moc"
