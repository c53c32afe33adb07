// CQueueBar: the "Download Queue" docking bar — the download queue as a
// table of eight columns over CDownloadQueue (a model, never an item widget,
// so 10,000 tasks stay instant), with the state icons, the live "Progress"
// texts, the context menu and its keys.
//
// The queue decides (moves, deletes, progress texts); the bar draws it and
// keeps the view's selection and the queue's selection flags the same: the
// user's clicks go into the flags at once, changed flags (a move, select all)
// come back into the view once the event loop runs, in one step however many
// rows changed. Commands (the context menu, the Delete key) go to the main
// window as commandRequested. Main thread only.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <array>

#include "ui/sizing_bar.h"

class QItemSelection;
class QMenu;
class QTableView;

namespace vexlo {
class CAppContext;
class CAppSettings;
class CDownloadQueue;
struct QueueChange;
}  // namespace vexlo

namespace vexlo::ui {

// The rows of CDownloadQueue, followed through its listener (the model is the
// queue's one listener while it lives). Only the rows the queue reports as
// changed are redrawn, so a tick with eight running rows costs eight rows.
class CQueueModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kColumns = 8;
    enum Column { kId, kProgress, kSize, kTask, kChan, kSubject, kNewsgroup, kSaveTo };

    explicit CQueueModel(CDownloadQueue& queue, QObject* parent = nullptr);
    ~CQueueModel() override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Without full-row selection only the first column can be selected.
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void SetFullRowSelect(bool on) { fullRow_ = on; }
    bool FullRowSelect() const { return fullRow_; }
    // True between the queue's AboutTo* notice and the one after the change.
    bool Changing() const { return changing_; }

  signals:
    // The selection flag of `row` may differ from the view's now (-1: any row).
    void queueSelectionChanged(int row);

  private:
    void OnQueueChange(const QueueChange& change);
    const QIcon& Icon(int image) const;

    CDownloadQueue& queue_;
    bool fullRow_ = true;
    bool changing_ = false;
    mutable std::array<QIcon, 4> icons_;  // the state images, loaded on first use
    mutable bool iconsLoaded_ = false;
};

class CQueueBar : public CSizingControlBar {
    Q_OBJECT
  public:
    static constexpr int kControlId = 125;
    // Widths from LVCWQ; full-row selection from OPT_FULL_ROW_QUEUE.
    CQueueBar(CAppContext& context, CDownloadQueue& queue, QWidget* parent = nullptr);

    QTableView* List() const { return list_; }
    CQueueModel* Model() const { return model_; }
    // The popup "QUEUE_BAR"; its actions carry the command ids as data.
    QMenu* ContextMenu() const { return menu_; }
    // Opens the popup at `globalPos` (it does not block; a chosen item is
    // emitted as commandRequested).
    void ShowContextMenu(const QPoint& globalPos);
    // The eight column widths into LVCWQ.
    void SaveColumnWidths(CAppSettings& settings) const;
    void SetFullRowSelect(bool on);
    // Makes the view's selection the queue's flags now (otherwise done once
    // the event loop runs after they changed).
    void SyncSelectionFromQueue();

  signals:
    void commandRequested(int id);

  private:
    void BuildContextMenu();
    void OnViewSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void OnQueueSelectionChanged(int row);

    CAppContext& context_;
    CDownloadQueue& queue_;
    CQueueModel* model_;
    QTableView* list_;
    QMenu* menu_ = nullptr;
    bool syncing_ = false;       // the view's selection is being set from the flags
    bool applyingView_ = false;  // the flags are being set from the view
    bool syncPending_ = false;   // a deferred sync is queued
};

}  // namespace vexlo::ui
