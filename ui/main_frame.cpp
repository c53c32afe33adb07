#include "ui/main_frame.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTableView>
#include <QTimerEvent>
#include <QToolBar>

#include "core/app_context.h"
#include "frame/frame_texts.h"
#include "groups/group_list.h"
#include "groups/header_list.h"
#include "platform/tick.h"
#include "tasks/main_controller.h"
#include "ui/about_box.h"
#include "ui/graph_bar.h"
#include "ui/group_bar.h"
#include "ui/group_dialogs.h"
#include "ui/header_view.h"
#include "ui/image_list.h"
#include "ui/qt_message_box.h"
#include "ui/queue_bar.h"
#include "ui/server_groups_dialog.h"
#include "ui/settings_sheet.h"
#include "ui/task_dialogs.h"
#include "ui/wait_cursor.h"

namespace vexlo::ui {
namespace {

// The dock-state sections hold the frame's layout as QMainWindow saves it
// (key "State", base64) and the size of the window when not maximized (key
// "FrameSize", "cx,cy"). Both sections get the same values.
constexpr const char* kDockStateKey = "State";
constexpr const char* kFrameSizeKey = "FrameSize";

CommandContext::Agent AgentOf(const CTaskAgent& agent) {
    switch (agent.GetState()) {
        case CTaskAgent::kStopped:
            return CommandContext::Agent::Stopped;
        case CTaskAgent::kRunning:
            return CommandContext::Agent::Running;
        case CTaskAgent::kStopping:
            return CommandContext::Agent::Stopping;
        default:
            return CommandContext::Agent::NoChannels;
    }
}

}  // namespace

CMainFrame::CMainFrame(CAppContext& context, CMainController& controller, QWidget* parent)
    : QMainWindow(parent), context_(context), controller_(controller) {
    setObjectName("mainFrame");
    setWindowIcon(AppIcon());
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowNestedDocks);
    // The header view fills the client area.
    view_ = new CVXView(context_, controller_, this);
    setCentralWidget(view_);
    connect(view_, &CVXView::titleChanged, this, &CMainFrame::PostRefreshTitle);

    CreateActions();
    CreateToolBars();
    CreateStatusBar();
    CreateBars();
    CreateMenus();

    // The channels wake the event loop with every message they post.
    controller_.Notify().SetWakeup([this] {
        QMetaObject::invokeMethod(this, &CMainFrame::ProcessChannelMessages, Qt::QueuedConnection);
    });
    controller_.onScanCompleted = [this](const std::string& group) {
        view_->RefreshIfShowing(group);
    };

    // The group list with its bar's sizes and the dock state, then the queue with its.
    controller_.Groups().LoadGroupFile();
    groupBar_->LoadState(context_.profile);
    RestoreDockState("GroupBar");
    controller_.Queue().LoadQueue();
    queueBar_->LoadState(context_.profile);
    RestoreDockState("QueueBar");
    controller_.StartChannels();
    timerId_ = startTimer(kMainTimerPeriodMs);

    // Menus and toolbar follow the command rules whenever the event loop goes idle.
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            &CMainFrame::UpdateCommandUi);
    UpdateCommandUi();
}

CMainFrame::~CMainFrame() {
    // The channels are the only posters; with them gone nothing calls the wakeup.
    controller_.Agent().DestroyChannels();
    controller_.Notify().SetWakeup({});
    controller_.onScanCompleted = {};
}

QAction* CMainFrame::MakeAction(int id, const QString& text, const QKeySequence& key) {
    auto* action = new QAction(text, this);
    action->setObjectName(QString::number(id));
    QString prompt = QString::fromUtf8(CommandPrompt(id));
    qsizetype newline = prompt.indexOf('\n');
    action->setStatusTip(prompt.left(newline));
    if (newline >= 0) action->setToolTip(prompt.mid(newline + 1));
    if (!key.isEmpty()) action->setShortcut(key);
    action->setCheckable(EvaluateCommand(id, {}).checkable);
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    actions_.emplace(id, action);
    return action;
}

QAction* CMainFrame::Action(int id) const {
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

void CMainFrame::CreateActions() {
    // The toolbar's own actions come first, so Action(id) finds them.
    static const int kToolbar[] = {ID_SETTINGS,
                                   0,
                                   ID_VIEW_GROUPBAR,
                                   ID_VIEW_QUEUEBAR,
                                   ID_VIEW_GRAPHBAR,
                                   0,
                                   ID_START,
                                   ID_STOP_GRACEFULLY,
                                   ID_STOP_NOW,
                                   0,
                                   ID_HISTORY,
                                   0,
                                   ID_GET_TEXT,
                                   ID_GET_DECODE,
                                   0,
                                   ID_SCAN_SELECTED,
                                   0,
                                   ID_FIND,
                                   0,
                                   ID_NEW_ONLY,
                                   ID_FILTER,
                                   ID_CLEAR_FILTER,
                                   0,
                                   ID_VIEW_MSG,
                                   ID_VIEW_BIN,
                                   0,
                                   ID_APP_ABOUT};
    toolBar_ = new QToolBar(QStringLiteral("Barra Herramientas"), this);
    toolBar_->setObjectName("toolBar");
    toolBar_->setIconSize(QSize(20, 20));
    toolBar_->setMovable(true);
    for (int id : kToolbar) {
        if (id == 0) {
            toolBar_->addSeparator();
            continue;
        }
        QAction* action = MakeAction(id, QString::fromUtf8(CommandPrompt(id)).section('\n', 1));
        action->setIcon(CommandIcon(id));
        toolBar_->addAction(action);
    }
    // Commands only the bars' context menus offer: the frame keeps their
    // states too, so the menus and tests read one rule.
    for (int id : {ID_GROUPS_SELECT_ALL, ID_QUEUE_SELECT_ALL, ID_TASK_INFO, ID_QUEUE_REQUEUE,
                   ID_HIDE_GROUPBAR, ID_HIDE_QUEUEBAR})
        MakeAction(id, QString::fromUtf8(CommandPrompt(id)).section('\n', 1));
}

void CMainFrame::CreateMenus() {
    struct Item {
        int id;  // 0: separator
        const char* text;
        QKeySequence key = {};
    };
    auto menu = [this](const char* title, std::initializer_list<Item> items) {
        QMenu* m = menuBar()->addMenu(QString::fromUtf8(title));
        for (const Item& item : items) {
            if (item.id == 0) {
                m->addSeparator();
                continue;
            }
            m->addAction(MakeAction(item.id, QString::fromUtf8(item.text), item.key));
        }
        return m;
    };
    QMenu* file = menu("&Archivo", {{ID_START, "Iniciar &Descarga"},
                                    {ID_STOP_NOW, "&Parar Descarga (Elegantemente)"},
                                    {ID_STOP_GRACEFULLY, "Parar Descarga (&Abortar)"},
                                    {0, ""},
                                    {ID_HISTORY, "Ver &História de Descargas ..."},
                                    {0, ""},
                                    {ID_GET_DECODE, "&Obtener Y Decodificar Archivo(s)"},
                                    {ID_GET_TEXT, "&Obtener Archivo(s) [Como &Texto]"},
                                    {ID_JOIN_PARTS, "&Unir Partes (Ver MSG) ..."},
                                    {0, ""},
                                    {ID_FIND, "&Buscar Archivo(s) ..."},
                                    {0, ""},
                                    {ID_APP_EXIT, "Salir"}});
    file->setObjectName("menuArchivo");
    menu("&Ver", {{ID_VIEW_TOOLBAR, "Barar Herramien&tas"},
                  {ID_VIEW_STATUS_BAR, "Barra E&stado"},
                  {ID_VIEW_GRAPHBAR, "Barra &Gráfico"},
                  {ID_VIEW_GROUPBAR, "Barra Grupos de &Noticias"},
                  {ID_VIEW_QUEUEBAR, "Barra Cola"},
                  {0, ""},
                  {ID_VIEW_BIN, "Ver &BIN"},
                  {ID_VIEW_MSG, "Ver &MSG"},
                  {0, ""},
                  {ID_SETTINGS, "Preferencias del &Programa ..."}})
        ->setObjectName("menuVer");
    menu("&Grupo", {{ID_SCAN_SELECTED, "E&scanear Grupo(s) Seleccionados"},
                    {ID_SCAN_ALL, "Escane&ar Todos los Grupos"},
                    {0, ""},
                    {ID_ADD_GROUP, "Añadir Nuevo &Grupo ..."},
                    {ID_DELETE_GROUPS, "Borrar Grupo(s) Seleccionados"},
                    {ID_RESET_GROUPS, "&Resetear Grupos(s) Seleccionados"},
                    {ID_SET_SAVE_TO, "Configurar Guardar-A Carpeta ..."},
                    {0, ""},
                    {ID_FILTER, "&Filtrar Lista Cabeceras ..."},
                    {ID_CLEAR_FILTER, "Borrar Filtro"},
                    {ID_NEW_ONLY, "Mostrar Solo &Nuevo"},
                    {0, ""},
                    {ID_VIEW_BIN, "Ver  Lista Archivo &Binario"},
                    {ID_VIEW_MSG, "Ver Lista &Mensaje"},
                    {0, ""},
                    {ID_SERVER_GROUPS, "&Lista Grupo Servidor ..."}})
        ->setObjectName("menuGrupo");
    menu("Cola", {{ID_QUEUE_TOP, "&Mover Seleccionado A Lo Más Alto\tCTRL-T",
                   QKeySequence(Qt::CTRL | Qt::Key_T)},
                  {ID_QUEUE_BOTTOM, "Mover Seleccionado Al Pie\tCTRL-B",
                   QKeySequence(Qt::CTRL | Qt::Key_B)},
                  {ID_QUEUE_DOWN, "Mover Tarea(s) Seleccionadas Abajo\tCTRL-D",
                   QKeySequence(Qt::CTRL | Qt::Key_D)},
                  {ID_QUEUE_UP, "Mover Tarea(s) Seleccionadas Arriba\tCTRL-U",
                   QKeySequence(Qt::CTRL | Qt::Key_U)},
                  {0, ""},
                  {ID_QUEUE_AFFINITY, "Configurar Tarea(s) Canal &Afinidad ..."},
                  {0, ""},
                  {ID_QUEUE_DELETE, "&Borrar Elementos(s) Seleccionados"}})
        ->setObjectName("menuCola");
    menu("&Ayuda", {{ID_APP_ABOUT, "&Acerca de VX..."}})->setObjectName("menuAyuda");
}

void CMainFrame::CreateToolBars() {
    addToolBar(Qt::TopToolBarArea, toolBar_);
    // The graph bar stands in a second row of the band below the toolbar.
    addToolBarBreak(Qt::TopToolBarArea);
    graphBand_ = new QToolBar(QStringLiteral("Barra Gráfico"), this);
    graphBand_->setObjectName("graphBand");
    graphBar_ = new CGraphBar(context_, graphBand_);
    graphBar_->setObjectName("130");
    graphBand_->addWidget(graphBar_);
    addToolBar(Qt::TopToolBarArea, graphBand_);
}

void CMainFrame::CreateStatusBar() {
    auto pane = [this](const char* name, const char* sizer) {
        auto* label = new QLabel(this);
        label->setObjectName(name);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(sizer) + 8);
        statusBar()->addPermanentWidget(label);
        return label;
    };
    selectionPane_ = pane("61205", kSelectionPaneSizer);
    queuePane_ = pane("61204", kQueuePaneSizer);
    // Qt does not report the Caps, Num and Scroll Lock states, so the status
    // bar has no indicators for them.
    statusBar()->setObjectName("statusBar");
}

void CMainFrame::CreateBars() {
    queueBar_ = new CQueueBar(context_, controller_.Queue(), this);
    queueBar_->setAllowedAreas(Qt::BottomDockWidgetArea);
    groupBar_ = new CGroupBar(context_, controller_.Groups(), this);
    groupBar_->setAllowedAreas(Qt::LeftDockWidgetArea);
    addDockWidget(Qt::LeftDockWidgetArea, groupBar_);
    addDockWidget(Qt::BottomDockWidgetArea, queueBar_);
    // The bottom bar spans the whole width, under the group bar too.
    setCorner(Qt::BottomLeftCorner, Qt::BottomDockWidgetArea);
    connect(groupBar_, &CGroupBar::commandRequested, this, &CMainFrame::OnCommand);
    connect(queueBar_, &CQueueBar::commandRequested, this, &CMainFrame::OnCommand);
    connect(groupBar_, &CGroupBar::openGroupRequested, this, [this](const QString& name) {
        CWaitCursor wait;
        view_->OpenGroup(name.toStdString());
    });
}

void CMainFrame::RestoreDockState(const char* section) {
    QByteArray state = QByteArray::fromBase64(
        QByteArray::fromStdString(context_.profile.GetProfileString(section, kDockStateKey, "")));
    if (!state.isEmpty()) restoreState(state);
    QString size =
        QString::fromStdString(context_.profile.GetProfileString(section, kFrameSizeKey, ""));
    int cx = size.section(',', 0, 0).toInt(), cy = size.section(',', 1, 1).toInt();
    if (cx >= 200 && cy >= 150) {
        resize(cx, cy);
        hasSavedSize_ = true;
    }
}

void CMainFrame::SaveDockState(const char* section) {
    CProfileBatch batch(context_.profile);
    context_.profile.WriteProfileString(section, kDockStateKey,
                                        saveState().toBase64().toStdString());
    QSize size = normalGeometry().size();
    if (!size.isValid() || size.isEmpty()) size = this->size();
    context_.profile.WriteProfileString(
        section, kFrameSizeKey, std::to_string(size.width()) + "," + std::to_string(size.height()));
}

CommandContext CMainFrame::CurrentCommandContext() const {
    CommandContext c;
    c.agent = AgentOf(controller_.Agent());
    c.groupRows = controller_.Groups().Count();
    c.groupsSelected = controller_.Groups().SelectedCount();
    c.queueRows = static_cast<int>(controller_.Queue().Count());
    c.tasksSelected = static_cast<int>(controller_.Queue().CountSelected());
    view_->FillCommandContext(c);
    c.graphBarShown = graphBand_->isVisible();
    c.groupBarShown = groupBar_->isVisible();
    c.queueBarShown = queueBar_->isVisible();
    c.toolBarShown = toolBar_->isVisible();
    c.statusBarShown = statusBar()->isVisible();
    return c;
}

void CMainFrame::UpdateCommandUi() {
    CommandContext c = CurrentCommandContext();
    for (auto& [id, action] : actions_) {
        CommandState state = EvaluateCommand(id, c);
        if (action->isEnabled() != state.enabled) action->setEnabled(state.enabled);
        if (state.checkable && action->isChecked() != state.checked) {
            QSignalBlocker block(action);
            action->setChecked(state.checked);
        }
    }
    QString selection =
        QString::fromStdString(SelectionPaneText(view_->SelectedCount(), view_->SelectedLines()));
    if (selectionPane_->text() != selection) selectionPane_->setText(selection);
    QString queue =
        QString::fromStdString(QueuePaneText(static_cast<int>(controller_.Queue().CountWaiting())));
    if (queuePane_->text() != queue) queuePane_->setText(queue);
}

void CMainFrame::UpdateTitle() {
    CaptionState state;
    state.appTitle = context_.settings.GetAppTitle();
    const CHeaderList& headers = view_->Headers();
    state.groupName = headers.GroupName();
    state.filter = headers.Filter();
    state.showOnlyNew = headers.ShowOnlyNew();
    setWindowTitle(QString::fromStdString(BuildCaption(state)));
}

void CMainFrame::PostRefreshTitle() {
    QMetaObject::invokeMethod(this, &CMainFrame::UpdateTitle, Qt::QueuedConnection);
}

void CMainFrame::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timerId_ || timerId_ == 0) {
        QMainWindow::timerEvent(event);
        return;
    }
    OnTimer();
}

void CMainFrame::OnTimer() {
    graphBar_->DrawGraph();
    controller_.OnTimer(GetTickCount32());
}

void CMainFrame::ProcessChannelMessages() {
    controller_.ProcessMessages(0);
}

void CMainFrame::SetBarShown(QWidget* bar, bool shown) {
    bar->setVisible(shown);
}

void CMainFrame::ApplyFullRowOptions() {
    const CAppSettings& s = context_.settings;
    view_->SetFullRowSelect(s.TestOptions(OPT_FULL_ROW_HEADER) != 0);
    groupBar_->SetFullRowSelect(s.TestOptions(OPT_FULL_ROW_GROUP) != 0);
    queueBar_->SetFullRowSelect(s.TestOptions(OPT_FULL_ROW_QUEUE) != 0);
}

void CMainFrame::OnCommand(int id) {
    // A key or a context menu may ask for a command the rules disable now.
    if (!EvaluateCommand(id, CurrentCommandContext()).enabled) return;
    if (CVXView::IsViewCommand(id)) {
        view_->ExecuteCommand(id);
        return;
    }
    CGroupList& groups = controller_.Groups();
    CDownloadQueue& queue = controller_.Queue();
    switch (id) {
        case ID_VIEW_GRAPHBAR:
            SetBarShown(graphBand_, !graphBand_->isVisible());
            break;
        case ID_VIEW_GROUPBAR:
            SetBarShown(groupBar_, !groupBar_->isVisible());
            break;
        case ID_VIEW_QUEUEBAR:
            SetBarShown(queueBar_, !queueBar_->isVisible());
            break;
        case ID_VIEW_TOOLBAR:
            SetBarShown(toolBar_, !toolBar_->isVisible());
            break;
        case ID_VIEW_STATUS_BAR:
            SetBarShown(statusBar(), !statusBar()->isVisible());
            break;
        case ID_HIDE_GROUPBAR:
            SetBarShown(groupBar_, false);
            break;
        case ID_HIDE_QUEUEBAR:
            SetBarShown(queueBar_, false);
            break;
        case ID_SETTINGS:
            SettingsCommand();
            break;
        case ID_START:
            controller_.StartCommand();
            break;
        case ID_STOP_NOW:
            controller_.StopNowCommand();
            break;
        case ID_STOP_GRACEFULLY:
            controller_.StopGracefullyCommand();
            break;
        case ID_HISTORY:
        case ID_FIND:
            context_.messageBox.Show(kNotImplementedText, MessageIcon::Information);
            break;
        case ID_SCAN_SELECTED:
        case ID_SCAN_ALL:
            controller_.ScanCommand(id == ID_SCAN_SELECTED);
            break;
        case ID_ADD_GROUP:
            AddGroupCommand();
            break;
        case ID_DELETE_GROUPS:
            groups.DeleteSelectedGroups();
            break;
        case ID_RESET_GROUPS:
            groups.ResetSelectedGroups();
            break;
        case ID_SET_SAVE_TO:
            SetSaveToCommand();
            break;
        case ID_SERVER_GROUPS:
            RunServerGroupsDialog(this, context_, groups);
            break;
        case ID_GROUPS_SELECT_ALL:
            groups.SelectAll();
            break;
        case ID_QUEUE_SELECT_ALL:
            queue.SelectAll();
            break;
        case ID_QUEUE_DELETE:
            queue.DeleteSelected();
            break;
        case ID_TASK_INFO:
            TaskInfoCommand();
            break;
        case ID_QUEUE_REQUEUE:
            queue.RequeueSelected();
            break;
        case ID_QUEUE_UP:
            queue.MoveUp();
            break;
        case ID_QUEUE_DOWN:
            queue.MoveDown();
            break;
        case ID_QUEUE_TOP:
            queue.MoveToTop();
            break;
        case ID_QUEUE_BOTTOM:
            queue.MoveToBottom();
            break;
        case ID_QUEUE_AFFINITY:
            AffinityCommand();
            break;
        case ID_APP_ABOUT:
            ShowAboutBox(this, context_);
            break;
        case ID_APP_EXIT:
            close();
            break;
        default:
            break;
    }
}

void CMainFrame::SettingsCommand() {
    int conn = context_.settings.GetConn();
    SettingsSheetHooks hooks;
    hooks.updateTitle = [this] { UpdateTitle(); };
    hooks.applyFullRow = [this] { ApplyFullRowOptions(); };
    RunSettingsSheet(this, context_, !controller_.Agent().IsRunning(), hooks);
    context_.settings.Save(context_.profile);
    controller_.ApplyConnChange(conn);
    graphBar_->DrawGraph();  // the server's name may have changed
}

void CMainFrame::AddGroupCommand() {
    std::string name, directory;
    if (RunAddGroupDialog(this, context_, name, directory))
        controller_.Groups().AddNewGroup(name, directory);
}

void CMainFrame::SetSaveToCommand() {
    CGroupList& groups = controller_.Groups();
    std::string folder;
    bool subfolder = false;
    if (RunSaveToFolderDialog(this, context_, groups.SelectedSaveToPreset(), folder, subfolder))
        groups.SetSelectedSaveToDirectory(folder, subfolder);
}

void CMainFrame::AffinityCommand() {
    uint32_t mask = 0;
    if (RunAffinityDialog(this, context_, mask)) controller_.Queue().SetSelectedAffinity(mask);
}

void CMainFrame::TaskInfoCommand() {
    CDownloadQueue& queue = controller_.Queue();
    if (queue.CountSelected() != 1) return;
    for (size_t i = 0; i < queue.Count(); ++i) {
        if (queue.Row(i).selected) {
            ShowTaskInfoDialog(this, *queue.Row(i).task);
            return;
        }
    }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    CWaitCursor wait;
    CMainController::CloseSteps steps;
    steps.closing = [this] {
        killTimer(timerId_);
        timerId_ = 0;
    };
    steps.afterGroupFile = [this] {
        groupBar_->SaveState(context_.profile);
        SaveDockState("GroupBar");
        groupBar_->SaveColumnWidths(context_.settings);
    };
    steps.afterQueueFile = [this] {
        queueBar_->SaveState(context_.profile);
        SaveDockState("QueueBar");
        queueBar_->SaveColumnWidths(context_.settings);
        view_->SaveColumnWidths(context_.settings);
    };
    steps.beforeSettings = [this] {
        context_.settings.SetOption(OPT_START_MAXIMIZED, isMaximized() ? 1 : 0);
    };
    if (!controller_.RequestClose(steps)) {
        event->ignore();
        return;
    }
    controller_.Notify().SetWakeup({});
    event->accept();
}

}  // namespace vexlo::ui
