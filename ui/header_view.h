// CVXView: the main window's central view — one newsgroup's binaries (.BIN)
// or messages (.MSG) as a table of four columns over CHeaderList, with the
// filter, new-only and mode switches, sorting by a click on a column header,
// and the commands that queue downloads.
//
// CHeaderList decides (loading under the group lock, filtering, sorting,
// queueing); the view draws its rows through a model that asks only for the
// visible ones (fixed row heights), and keeps the list's selection flags equal
// to its own selection. Its context menu "HEADER_VIEW" runs the view's
// commands itself: their rules look only at the view's state. Main thread only.
#pragma once

#include <QTableView>
#include <cstdint>
#include <memory>
#include <string>

class QMenu;

namespace vexlo {
class CAppContext;
class CAppSettings;
class CHeaderList;
class CMainController;
struct CommandContext;
}  // namespace vexlo

namespace vexlo::ui {

class CHeaderModel;
class CHeaderDelegate;

class CVXView : public QTableView {
    Q_OBJECT
  public:
    // Widths from LVCWH; full-row selection from OPT_FULL_ROW_HEADER.
    CVXView(CAppContext& context, CMainController& controller, QWidget* parent = nullptr);
    ~CVXView() override;

    CHeaderList& Headers() const { return *headers_; }

    // Opening a group from the group bar (lock message when a scan holds it).
    void OpenGroup(const std::string& name);
    // After a completed scan: reloads when `name` is the group shown.
    void RefreshIfShowing(const std::string& name);

    // The view's commands (32780, 32781, 32821, 32785, 32786, 32807, 32789, 32790).
    static bool IsViewCommand(int id);
    // Runs a command when its rule enables it now.
    void ExecuteCommand(int id);
    // The view's part of the command rules' snapshot.
    void FillCommandContext(CommandContext& context) const;
    // The context menu: the eight commands, enabled and checked by their rules;
    // choosing one runs it. The caller owns the menu.
    QMenu* CreateContextMenu(QWidget* parent);

    // For the status bar's selection pane.
    int SelectedCount() const;
    uint64_t SelectedLines() const;

    void SaveColumnWidths(CAppSettings& settings) const;
    void SetFullRowSelect(bool on);

  signals:
    // The group, filter or new-only state changed: the caption is rebuilt.
    void titleChanged();

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Reload();
    void SortByColumn(int column);
    void OnSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    // Makes the view's selection that of the list's flags (after a sort).
    void RestoreSelection();
    void GetAndDecode();
    void JoinParts();
    void EditFilter();
    void SwitchMode(bool binaries);

    CAppContext& context_;
    CMainController& controller_;
    std::unique_ptr<CHeaderList> headers_;
    std::unique_ptr<CHeaderModel> model_;  // reads headers_: declared after it
    CHeaderDelegate* delegate_ = nullptr;
    bool restoringSelection_ = false;
};

}  // namespace vexlo::ui
