// CMainFrame: the program's one top-level window — menus, toolbar, graph bar,
// status bar panes, the group and queue docking bars around the header view,
// the one-second timer and the handling of the channels' done messages.
//
// It routes commands and draws; CMainController decides (dispatch, the
// end-of-task handling, the close rule), the command rules of frame/commands.h
// decide what is enabled. Channels wake the event loop through the
// controller's message queue, so a done message is handled at once, not on
// the next tick. Main thread only.
#pragma once

#include <QMainWindow>
#include <map>

#include "frame/commands.h"

class QAction;
class QLabel;
class QMenu;
class QToolBar;

namespace vexlo {
class CAppContext;
class CMainController;
}  // namespace vexlo

namespace vexlo::ui {

class CGraphBar;
class CGroupBar;
class CQueueBar;
class CVXView;

class CMainFrame : public QMainWindow {
    Q_OBJECT
  public:
    // The creation steps of the main window: bars, image list, group list and
    // queue with the bars' saved sizes and dock state, channels, timer.
    CMainFrame(CAppContext& context, CMainController& controller, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Carries out a command of the menus, toolbar, keys and context menus.
    void OnCommand(int id);
    // The command's action (object name "cmd<id>"); nullptr when it has none.
    QAction* Action(int id) const;
    // Enable and check states from the command rules, and the status panes.
    void UpdateCommandUi();
    CommandContext CurrentCommandContext() const;
    // Rebuilds the caption from AppTitle and the header view's state.
    void UpdateTitle();
    // The caption is rebuilt once the event loop runs (WM_REFRESH_TITLE).
    void PostRefreshTitle();
    // The one-second duties: graph, dispatch, progress texts, queue auto-save.
    void OnTimer();
    // Handles the channels' waiting done messages.
    void ProcessChannelMessages();

    CGroupBar* GroupBar() const { return groupBar_; }
    CQueueBar* QueueBar() const { return queueBar_; }
    CGraphBar* GraphBar() const { return graphBar_; }
    CVXView* View() const { return view_; }
    QToolBar* ToolBar() const { return toolBar_; }
    QLabel* SelectionPane() const { return selectionPane_; }
    QLabel* QueuePane() const { return queuePane_; }
    bool TimerRunning() const { return timerId_ != 0; }
    // The profile held the window's size from an earlier close.
    bool HasSavedSize() const { return hasSavedSize_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

  private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBars();
    void CreateStatusBar();
    void CreateBars();
    QAction* MakeAction(int id, const QString& text, const QKeySequence& key = {});
    void RestoreDockState(const char* section);
    void SaveDockState(const char* section);
    void SetBarShown(QWidget* bar, bool shown);
    void ApplyFullRowOptions();
    void SettingsCommand();
    void AddGroupCommand();
    void SetSaveToCommand();
    void AffinityCommand();
    void TaskInfoCommand();

    CAppContext& context_;
    CMainController& controller_;
    std::map<int, QAction*> actions_;
    QToolBar* toolBar_ = nullptr;
    QToolBar* graphBand_ = nullptr;
    CGraphBar* graphBar_ = nullptr;
    CGroupBar* groupBar_ = nullptr;
    CQueueBar* queueBar_ = nullptr;
    CVXView* view_ = nullptr;
    QLabel* selectionPane_ = nullptr;
    QLabel* queuePane_ = nullptr;
    int timerId_ = 0;
    bool hasSavedSize_ = false;
};

}  // namespace vexlo::ui
