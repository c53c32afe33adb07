// CGroupBar: the "Newsgroups" docking bar — the user's newsgroup list as a
// table of six columns over CGroupList, kept sorted by name, with reorderable
// columns, the context menu, the Delete and E keys and the double click that
// opens a group in the header view.
//
// The group list decides; the bar draws it and keeps the view's selection and
// the list's selection flags the same. Commands go to the main window as
// commandRequested; a double click asks for openGroupRequested. Main thread only.
#pragma once

#include <QAbstractTableModel>
#include <QItemSelection>

#include "ui/sizing_bar.h"

class QMenu;
class QTableView;

namespace vexlo {
class CAppContext;
class CAppSettings;
class CGroupList;
struct GroupListChange;
}  // namespace vexlo

namespace vexlo::ui {

class CGroupSelectionDelegate;

// The rows of CGroupList, followed through its listener (the model is the
// list's one listener while it lives).
class CGroupModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kColumns = 6;
    explicit CGroupModel(CGroupList& groups, QObject* parent = nullptr);
    ~CGroupModel() override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // True between the list's Begin* and End* notices, while rows come and go.
    bool Changing() const { return changing_; }

  signals:
    // The list's selection flags changed (or every row was replaced).
    void listSelectionChanged();
    // A group command is done and the list wants the keyboard focus back.
    void focusRequested();

  private:
    void OnListChange(const GroupListChange& change);

    CGroupList& groups_;
    bool changing_ = false;
};

class CGroupBar : public CSizingControlBar {
    Q_OBJECT
  public:
    static constexpr int kControlId = 123;
    static constexpr int kListId = 124;
    // Widths from LVCWG; full-row selection from OPT_FULL_ROW_GROUP.
    CGroupBar(CAppContext& context, CGroupList& groups, QWidget* parent = nullptr);

    QTableView* List() const { return list_; }
    CGroupModel* Model() const { return model_; }
    // The popup "GROUP_BAR"; its actions carry the command ids as data.
    QMenu* ContextMenu() const { return menu_; }
    // The six column widths (by column, not by their dragged order) into LVCWG.
    void SaveColumnWidths(CAppSettings& settings) const;
    void SetFullRowSelect(bool on);

  signals:
    void commandRequested(int id);
    void openGroupRequested(const QString& name);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    QMenu* CreateContextMenu();
    // The view's selection into the list's flags, and back.
    void CopySelectionToList(const QItemSelection& selected, const QItemSelection& deselected);
    void ShowListSelection();
    bool OnListKey(const QKeyEvent& key);

    CAppContext& context_;
    CGroupList& groups_;
    CGroupModel* model_;
    QTableView* list_;
    CGroupSelectionDelegate* delegate_;
    QMenu* menu_;
    bool syncing_ = false;  // set while one side of the selection copies into the other
};

}  // namespace vexlo::ui
