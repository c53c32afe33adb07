// CQueueBar: the list of the download queue, its selection sync, its keys and
// its context menu.
#include "ui/queue_bar.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QScopedValueRollback>
#include <QTableView>
#include <functional>

#include "core/app_context.h"
#include "frame/commands.h"
#include "tasks/download_queue.h"
#include "ui/fonts.h"

namespace vexlo::ui {
namespace {

// The popup "QUEUE_BAR" in order; id 0 is a separator.
struct MenuItem {
    int id;
    const char* label;  // UTF-8
};
constexpr MenuItem kMenu[] = {
    {ID_TASK_INFO, "Información Tarea de Elemento ..."},
    {0, nullptr},
    {ID_QUEUE_TOP, "Mover A Lo Más Alto\tCTRL-T"},
    {ID_QUEUE_BOTTOM, "Mover Al Pie\tCTRL-B"},
    {ID_QUEUE_UP, "Mover Arriba\tCTRL-U"},
    {ID_QUEUE_DOWN, "Mover Abajo\tCTRL-D"},
    {0, nullptr},
    {ID_QUEUE_AFFINITY, "Configurar canal &Afinidad ..."},
    {ID_QUEUE_REQUEUE, "Elementos(s) En Cola De Nuevo..."},
    {ID_QUEUE_DELETE, "Borrar"},
    {0, nullptr},
    {ID_QUEUE_SELECT_ALL, "Seleccionar Todo"},
    {ID_HIDE_QUEUEBAR, "&Ocultar"},
};

// From the keyboard the popup opens this far into the list's client area.
constexpr int kKeyboardMenuOffset = 8;

// The table with the list's own keys: Delete asks for the delete command,
// Shift+F10 and the Menu key open the popup inside the list.
class CQueueList : public QTableView {
  public:
    explicit CQueueList(QWidget* parent) : QTableView(parent) {}

    std::function<void(int id)> onCommand;
    std::function<void(const QPoint& globalPos)> onContextMenu;

    QPoint KeyboardMenuPos() const {
        return mapToGlobal(contentsRect().topLeft() +
                           QPoint(kKeyboardMenuOffset, kKeyboardMenuOffset));
    }

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        const auto mods = event->modifiers() & ~Qt::KeypadModifier;
        if (event->key() == Qt::Key_Delete && mods == Qt::NoModifier) {
            onCommand(ID_QUEUE_DELETE);
        } else if (event->key() == Qt::Key_F10 && mods == Qt::ShiftModifier) {
            onContextMenu(KeyboardMenuPos());
        } else {
            QTableView::keyPressEvent(event);
            return;
        }
        event->accept();
    }
    void contextMenuEvent(QContextMenuEvent* event) override {
        onContextMenu(event->reason() == QContextMenuEvent::Keyboard ? KeyboardMenuPos()
                                                                     : event->globalPos());
        event->accept();
    }
};

}  // namespace

CQueueBar::CQueueBar(CAppContext& context, CDownloadQueue& queue, QWidget* parent)
    : CSizingControlBar(QStringLiteral("Download Queue"), QStringLiteral("QueueBar"), kControlId,
                        parent),
      context_(context),
      queue_(queue) {
    model_ = new CQueueModel(queue_, this);
    auto* list = new CQueueList(this);
    list_ = list;
    list->onCommand = [this](int id) { emit commandRequested(id); };
    list->onContextMenu = [this](const QPoint& pos) { ShowContextMenu(pos); };

    list_->setObjectName("queueList");
    list_->setFont(ListFont());
    list_->setModel(model_);
    list_->setFrameShape(QFrame::StyledPanel);
    list_->setFrameShadow(QFrame::Sunken);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSortingEnabled(false);
    list_->setShowGrid(false);
    list_->setWordWrap(false);
    list_->setCornerButtonEnabled(false);
    list_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->setIconSize(QSize(16, 16));
    // Every row one line high, so the view never measures rows.
    QHeaderView* rows = list_->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setMinimumSectionSize(1);
    rows->setDefaultSectionSize(std::max(18, QFontMetrics(list_->font()).height() + 4));
    QHeaderView* columns = list_->horizontalHeader();
    columns->setSectionsClickable(false);
    columns->setHighlightSections(false);
    columns->setStretchLastSection(false);
    columns->setSectionResizeMode(QHeaderView::Interactive);
    for (int i = 0; i < CQueueModel::kColumns; ++i)
        list_->setColumnWidth(i, context_.settings.GetQueueWidth(i));
    setWidget(list_);

    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CQueueBar::OnViewSelectionChanged);
    connect(model_, &CQueueModel::queueSelectionChanged, this, &CQueueBar::OnQueueSelectionChanged);
    BuildContextMenu();
    SetFullRowSelect(context_.settings.TestOptions(OPT_FULL_ROW_QUEUE) != 0);
}

void CQueueBar::BuildContextMenu() {
    menu_ = new QMenu(this);
    menu_->setObjectName("QUEUE_BAR");
    for (const MenuItem& item : kMenu) {
        if (item.id == 0) {
            menu_->addSeparator();
            continue;
        }
        QAction* action = menu_->addAction(QString::fromUtf8(item.label));
        action->setObjectName(QString::number(item.id));
        action->setData(item.id);
        QString prompt = QString::fromUtf8(CommandPrompt(item.id));
        action->setStatusTip(prompt.section('\n', 0, 0));
        connect(action, &QAction::triggered, this,
                [this, id = item.id] { emit commandRequested(id); });
    }
}

void CQueueBar::ShowContextMenu(const QPoint& globalPos) {
    // The items follow the command rules of the moment, as the main menu's do.
    CommandContext c;
    c.queueRows = static_cast<int>(queue_.Count());
    c.tasksSelected = static_cast<int>(queue_.CountSelected());
    c.queueBarShown = isVisible();
    for (QAction* action : menu_->actions())
        if (!action->isSeparator())
            action->setEnabled(EvaluateCommand(action->data().toInt(), c).enabled);
    menu_->popup(globalPos);
}

void CQueueBar::SaveColumnWidths(CAppSettings& settings) const {
    for (int i = 0; i < CQueueModel::kColumns; ++i)
        settings.SetQueueWidth(i, list_->columnWidth(i));
}

void CQueueBar::SetFullRowSelect(bool on) {
    model_->SetFullRowSelect(on);
    list_->setSelectionBehavior(on ? QAbstractItemView::SelectRows
                                   : QAbstractItemView::SelectItems);
    SyncSelectionFromQueue();
}

void CQueueBar::OnViewSelectionChanged(const QItemSelection& selected,
                                       const QItemSelection& deselected) {
    // Rows coming and going take their selection with them in both places.
    if (syncing_ || model_->Changing()) return;
    QScopedValueRollback guard(applyingView_, true);
    // A row counts as selected by its first column (the only one without full-row selection).
    auto apply = [this](const QItemSelection& ranges, bool on) {
        for (const QItemSelectionRange& range : ranges) {
            if (range.left() != 0) continue;
            for (int row = range.top(); row <= range.bottom(); ++row)
                queue_.Select(static_cast<size_t>(row), on);
        }
    };
    apply(deselected, false);
    apply(selected, true);
}

void CQueueBar::OnQueueSelectionChanged(int row) {
    if (applyingView_ || syncPending_) return;
    if (row >= 0 && list_->selectionModel()->isSelected(model_->index(row, 0)) ==
                        queue_.Row(static_cast<size_t>(row)).selected)
        return;
    // One sync for however many flags change before the event loop runs.
    syncPending_ = true;
    QMetaObject::invokeMethod(this, &CQueueBar::SyncSelectionFromQueue, Qt::QueuedConnection);
}

void CQueueBar::SyncSelectionFromQueue() {
    syncPending_ = false;
    const int last = model_->FullRowSelect() ? CQueueModel::kColumns - 1 : 0;
    QItemSelection selection;
    const size_t n = queue_.Count();
    for (size_t i = 0; i < n;) {
        if (!queue_.Row(i).selected) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j + 1 < n && queue_.Row(j + 1).selected) ++j;
        selection.select(model_->index(static_cast<int>(i), 0),
                         model_->index(static_cast<int>(j), last));
        i = j + 1;
    }
    QScopedValueRollback guard(syncing_, true);
    QItemSelectionModel* model = list_->selectionModel();
    model->select(selection, QItemSelectionModel::ClearAndSelect);
    // Keyboard extension goes on from a selected row, as after the user's own click.
    if (!selection.isEmpty() && !model->isSelected(model->currentIndex().siblingAtColumn(0)))
        model->setCurrentIndex(selection.first().topLeft(), QItemSelectionModel::NoUpdate);
}

}  // namespace vexlo::ui
