// The "Server Group List" dialog over CServerGroupList: the server's groups
// that pass a filter, the refresh of the list from the server, and adding
// chosen groups to the newsgroup list.
//
// The model decides; the dialog shows its rows (a list model, so a server
// list of 100,000 names loads and filters at once), its status text and its
// button states, copies the user's selection into it and pumps its worker's
// notices from the event loop. "Cancel", Esc and the close box abort a
// refresh; the dialog closes only through "Aceptar". Main thread only.
#pragma once

#include <QDialog>
#include <memory>

class QItemSelection;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QTreeView;

namespace vexlo {
class CAppContext;
class CGroupList;
class CServerGroupList;
}  // namespace vexlo

namespace vexlo::ui {

class CServerGroupModel;

class CServerGroupsDialog : public QDialog {
    Q_OBJECT

  public:
    // Starts the worker and loads the stored list (with their messages).
    CServerGroupsDialog(CAppContext& context, CGroupList& groups, QWidget* parent = nullptr);
    ~CServerGroupsDialog() override;

    CServerGroupList& List() { return *list_; }

  protected:
    void reject() override;  // Esc: the Cancel button
    void closeEvent(QCloseEvent* event) override;

  private:
    void OnChange(int change);
    void OnSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void OnApplyFilter();
    void OnAdd();
    void OnOk();
    void SyncControls();

    CAppContext& context_;
    std::unique_ptr<CServerGroupList> list_;
    CServerGroupModel* model_;
    QLineEdit* filter_;
    QPushButton* apply_;
    QTreeView* view_;
    QLabel* status_;
    QPushButton* refresh_;
    QPushButton* add_;
    QPushButton* ok_;
    QPushButton* cancel_;
    QTimer* pump_;
};

void RunServerGroupsDialog(QWidget* parent, CAppContext& context, CGroupList& groups);

}  // namespace vexlo::ui
