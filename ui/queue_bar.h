// CQueueBar: the "Download Queue" docking bar — the download queue as a
// table of eight columns over CDownloadQueue (a model, never an item widget,
// so 10,000 tasks stay instant), with the state icons, the live "Progress"
// texts, the context menu and its keys.
//
// The queue decides (moves, deletes, progress texts); the bar draws it and
// keeps the view's selection and the queue's selection flags the same.
// Commands it cannot carry out itself (task information, affinity, hide) are
// sent to the main window as commandRequested. Main thread only.
#pragma once

#include <QAbstractTableModel>

#include "ui/sizing_bar.h"

class QTableView;

namespace vexlo {
class CAppContext;
class CAppSettings;
class CDownloadQueue;
}  // namespace vexlo

namespace vexlo::ui {

class CQueueModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kColumns = 8;
    explicit CQueueModel(CDownloadQueue& queue, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    CDownloadQueue& queue_;
};

class CQueueBar : public CSizingControlBar {
    Q_OBJECT
  public:
    static constexpr int kControlId = 125;
    // Widths from LVCWQ; full-row selection from OPT_FULL_ROW_QUEUE.
    CQueueBar(CAppContext& context, CDownloadQueue& queue, QWidget* parent = nullptr);

    QTableView* List() const { return list_; }
    CQueueModel* Model() const { return model_; }
    // The eight column widths into LVCWQ.
    void SaveColumnWidths(CAppSettings& settings) const;
    void SetFullRowSelect(bool on);

  signals:
    void commandRequested(int id);

  private:
    CAppContext& context_;
    CDownloadQueue& queue_;
    CQueueModel* model_;
    QTableView* list_;
};

}  // namespace vexlo::ui
