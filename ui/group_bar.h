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

#include "ui/sizing_bar.h"

class QTableView;

namespace vexlo {
class CAppContext;
class CAppSettings;
class CGroupList;
}  // namespace vexlo

namespace vexlo::ui {

class CGroupModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kColumns = 6;
    explicit CGroupModel(CGroupList& groups, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    CGroupList& groups_;
};

class CGroupBar : public CSizingControlBar {
    Q_OBJECT
  public:
    static constexpr int kControlId = 123;
    // Widths from LVCWG; full-row selection from OPT_FULL_ROW_GROUP.
    CGroupBar(CAppContext& context, CGroupList& groups, QWidget* parent = nullptr);

    QTableView* List() const { return list_; }
    CGroupModel* Model() const { return model_; }
    // The six column widths (by column, not by their dragged order) into LVCWG.
    void SaveColumnWidths(CAppSettings& settings) const;
    void SetFullRowSelect(bool on);

  signals:
    void commandRequested(int id);
    void openGroupRequested(const QString& name);

  private:
    CAppContext& context_;
    CGroupList& groups_;
    CGroupModel* model_;
    QTableView* list_;
};

}  // namespace vexlo::ui
