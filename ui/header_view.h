// CVXView: the main window's central view — one newsgroup's binaries (.BIN)
// or messages (.MSG) as a table of four columns over CHeaderList, with the
// filter, new-only and mode switches, sorting by a click on a column header,
// and the commands that queue downloads.
//
// CHeaderList decides (loading under the group lock, filtering, sorting,
// queueing); the view draws its rows through a model that asks only for the
// visible ones. Main thread only.
#pragma once

#include <QTableView>
#include <cstdint>
#include <memory>
#include <string>

namespace vexlo {
class CAppContext;
class CAppSettings;
class CHeaderList;
class CMainController;
struct CommandContext;
}  // namespace vexlo

namespace vexlo::ui {

class CHeaderModel;

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
    void ExecuteCommand(int id);
    // The view's part of the command rules' snapshot.
    void FillCommandContext(CommandContext& context) const;

    // For the status bar's selection pane.
    int SelectedCount() const;
    uint64_t SelectedLines() const;

    void SaveColumnWidths(CAppSettings& settings) const;
    void SetFullRowSelect(bool on);

  signals:
    // The group, filter or new-only state changed: the caption is rebuilt.
    void titleChanged();

  private:
    CAppContext& context_;
    CMainController& controller_;
    std::unique_ptr<CHeaderList> headers_;
    CHeaderModel* model_ = nullptr;
};

}  // namespace vexlo::ui
