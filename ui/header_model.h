// CHeaderModel: the header view's rows as a table of four columns — "Header",
// "Life", "Lines", "From" — over the core's CHeaderList, with the new/old
// icons in the first column.
//
// The view asks only for the rows it paints, and each answer is built from
// the row's numbers and pooled texts at that moment, so a group of a million
// rows costs nothing per row here. Everything that rebuilds or reorders the
// rows is announced by the list's reset hooks or goes through this model, so
// the views hear of it. Main thread only.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>

namespace vexlo {
class CHeaderList;
}

namespace vexlo::ui {

class CHeaderModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    // Every load of `headers` resets the model from now on.
    CHeaderModel(CHeaderList& headers, QObject* parent = nullptr);
    ~CHeaderModel() override;

    // Sorts by a column; the rows change in place, their number stays.
    void SortByColumn(int column);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    CHeaderList& headers_;
    QIcon newIcon_;
    QIcon oldIcon_;
};

}  // namespace vexlo::ui
