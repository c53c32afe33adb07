#include "ui/header_view.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QStyledItemDelegate>

#include "core/app_context.h"
#include "frame/commands.h"
#include "frame/frame_texts.h"
#include "groups/header_list.h"
#include "tasks/main_controller.h"
#include "ui/header_model.h"
#include "ui/task_dialogs.h"
#include "ui/wait_cursor.h"

namespace vexlo::ui {

namespace {

struct MenuItem {
    int id;
    const char* text;
};

// The menu "HEADER_VIEW", in its order.
constexpr MenuItem kMenuItems[] = {
    {ID_GET_DECODE, "&Obtener Y Decodificar"},
    {ID_GET_TEXT, "Obtener Como &Texto"},
    {ID_JOIN_PARTS, "&Unir Partes ..."},
    {ID_FILTER, "&Filtrar ..."},
    {ID_CLEAR_FILTER, "&Borrar Filtro"},
    {ID_NEW_ONLY, "Filtro NUEVO"},
    {ID_VIEW_BIN, "Ver &BIN"},
    {ID_VIEW_MSG, "Ver &MSG"},
};

// A keyboard request opens the context menu this far right of and below the
// view's top-left corner.
constexpr int kKeyboardMenuOffset = 8;

}  // namespace

// Without full-row selection only the first column shows a row as selected.
class CHeaderDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool fullRow = true;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        if (fullRow || index.column() == 0) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem plain(option);
        plain.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        QStyledItemDelegate::paint(painter, plain, index);
    }
};

CVXView::CVXView(CAppContext& context, CMainController& controller, QWidget* parent)
    : QTableView(parent),
      context_(context),
      controller_(controller),
      headers_(std::make_unique<CHeaderList>(context)) {
    setObjectName("headerView");
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    // Fixed row heights: a million rows are laid out without asking for one.
    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setMinimumSectionSize(1);
    rows->setDefaultSectionSize(fontMetrics().height() + 4);
    QHeaderView* columns = horizontalHeader();
    columns->setSectionsClickable(true);
    columns->setHighlightSections(false);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setStretchLastSection(false);
    connect(columns, &QHeaderView::sectionClicked, this, &CVXView::SortByColumn);

    delegate_ = new CHeaderDelegate(this);
    setItemDelegate(delegate_);
    model_ = std::make_unique<CHeaderModel>(*headers_);
    setModel(model_.get());
    for (int c = 0; c < 4; ++c) setColumnWidth(c, context_.settings.GetHeaderWidth(c));
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CVXView::OnSelectionChanged);
    SetFullRowSelect(context_.settings.TestOptions(OPT_FULL_ROW_HEADER) != 0);
}

CVXView::~CVXView() {
    // The model goes before the view's base classes: they must not reach it then.
    setModel(nullptr);
}

void CVXView::OpenGroup(const std::string& name) {
    bool opened;
    {
        CWaitCursor wait;
        opened = headers_->OpenGroup(name);  // the model resets itself
    }
    if (opened) emit titleChanged();
}

void CVXView::RefreshIfShowing(const std::string& name) {
    if (!name.empty() && name == headers_->GroupName()) Reload();
}

void CVXView::Reload() {
    {
        CWaitCursor wait;
        headers_->Reload();  // refused for a locked group: the rows stay
    }
    emit titleChanged();
}

bool CVXView::IsViewCommand(int id) {
    for (const MenuItem& item : kMenuItems)
        if (item.id == id) return true;
    return false;
}

void CVXView::FillCommandContext(CommandContext& context) const {
    context.groupOpen = !headers_->GroupName().empty();
    context.binariesMode = headers_->Mode() == HeaderMode::Binaries;
    context.headerRowsSelected = SelectedCount();
    context.filterSet = !headers_->Filter().empty();
    context.showOnlyNew = headers_->ShowOnlyNew();
}

void CVXView::ExecuteCommand(int id) {
    CommandContext rules;
    FillCommandContext(rules);
    if (!IsViewCommand(id) || !EvaluateCommand(id, rules).enabled) return;
    switch (id) {
        case ID_GET_DECODE:
            GetAndDecode();
            break;
        case ID_GET_TEXT:
            context_.messageBox.Show(kNotImplementedText, MessageIcon::Information);
            break;
        case ID_JOIN_PARTS:
            JoinParts();
            break;
        case ID_FILTER:
            EditFilter();
            break;
        case ID_CLEAR_FILTER:
            headers_->SetFilter("");
            Reload();
            break;
        case ID_NEW_ONLY:
            headers_->SetShowOnlyNew(!headers_->ShowOnlyNew());
            Reload();
            break;
        case ID_VIEW_BIN:
        case ID_VIEW_MSG:
            SwitchMode(id == ID_VIEW_BIN);
            break;
    }
}

QMenu* CVXView::CreateContextMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->setObjectName("HEADER_VIEW");
    CommandContext rules;
    FillCommandContext(rules);
    for (const MenuItem& item : kMenuItems) {
        CommandState state = EvaluateCommand(item.id, rules);
        QAction* action = menu->addAction(QString::fromUtf8(item.text));
        action->setObjectName(QString::number(item.id));
        action->setEnabled(state.enabled);
        action->setCheckable(state.checkable);
        action->setChecked(state.checked);
        // The menu is closed by the time an action fires, so dialogs may open.
        connect(action, &QAction::triggered, this, [this, id = item.id] { ExecuteCommand(id); });
    }
    return menu;
}

void CVXView::contextMenuEvent(QContextMenuEvent* event) {
    QPoint at = event->reason() == QContextMenuEvent::Keyboard
                    ? mapToGlobal(QPoint(kKeyboardMenuOffset, kKeyboardMenuOffset))
                    : event->globalPos();
    std::unique_ptr<QMenu> menu(CreateContextMenu(this));
    menu->exec(at);
}

void CVXView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::SelectAll)) {
        if (!event->isAutoRepeat()) selectAll();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

int CVXView::SelectedCount() const {
    return static_cast<int>(headers_->SelectedCount());
}

uint64_t CVXView::SelectedLines() const {
    return headers_->SelectedLines();
}

void CVXView::SaveColumnWidths(CAppSettings& settings) const {
    for (int c = 0; c < 4; ++c) settings.SetHeaderWidth(c, columnWidth(c));
}

void CVXView::SetFullRowSelect(bool on) {
    delegate_->fullRow = on;
    viewport()->update();
}

void CVXView::SortByColumn(int column) {
    CWaitCursor wait;
    {
        // The selection travels with the rows in the list's flags.
        restoringSelection_ = true;
        selectionModel()->clearSelection();
        restoringSelection_ = false;
    }
    model_->SortByColumn(column);
    RestoreSelection();
}

void CVXView::OnSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    if (restoringSelection_) return;
    size_t count = headers_->Rows().size();
    auto apply = [&](const QItemSelection& ranges, bool on) {
        for (const QItemSelectionRange& range : ranges)
            for (int row = range.top(); row <= range.bottom(); ++row)
                if (static_cast<size_t>(row) < count)
                    headers_->Select(static_cast<size_t>(row), on);
    };
    apply(deselected, false);
    apply(selected, true);
}

void CVXView::RestoreSelection() {
    // One range per run of selected rows; the model's rows are the list's.
    QItemSelection selection;
    const std::vector<HeaderRow>& rows = headers_->Rows();
    for (size_t i = 0; i < rows.size();) {
        if (!rows[i].selected) {
            ++i;
            continue;
        }
        size_t last = i;
        while (last + 1 < rows.size() && rows[last + 1].selected) ++last;
        selection.append(QItemSelectionRange(model_->index(static_cast<int>(i), 0),
                                             model_->index(static_cast<int>(last), 3)));
        i = last + 1;
    }
    restoringSelection_ = true;
    selectionModel()->clearSelection();
    if (!selection.isEmpty()) selectionModel()->select(selection, QItemSelectionModel::Select);
    restoringSelection_ = false;
}

void CVXView::GetAndDecode() {
    headers_->QueueSelectedBinaries(controller_, [this](DownloadChoice& choice) {
        CGetDecodeDialog dialog(this, context_);
        dialog.directory = choice.saveDir;
        dialog.affinity = choice.affinity;
        dialog.addToTop = 0;
        if (dialog.exec() != QDialog::Accepted) return false;
        choice.saveDir = dialog.directory;
        choice.atTop = dialog.addToTop == 1;
        choice.affinity = dialog.affinity;
        return true;
    });
}

void CVXView::JoinParts() {
    headers_->JoinSelectedMessages(controller_, [this](JoinChoice& parts) {
        CJoinPartsDialog dialog(this);
        dialog.subjects = parts.subjects;
        dialog.articles = parts.articles;
        dialog.lines = parts.lines;
        dialog.bytes = parts.bytes;
        if (dialog.exec() != QDialog::Accepted) return false;
        parts.subjects = std::move(dialog.subjects);
        parts.articles = std::move(dialog.articles);
        parts.lines = std::move(dialog.lines);
        parts.bytes = std::move(dialog.bytes);
        parts.atTop = dialog.queueAtTop == 1;
        return true;
    });
}

void CVXView::EditFilter() {
    CFilterDialog dialog(this);
    dialog.filter = headers_->Filter();
    dialog.showOnlyNew = headers_->ShowOnlyNew() ? 1 : 0;
    if (dialog.exec() != QDialog::Accepted) return;
    headers_->SetFilter(dialog.filter);
    headers_->SetShowOnlyNew(dialog.showOnlyNew == 1);
    Reload();
}

void CVXView::SwitchMode(bool binaries) {
    HeaderMode mode = binaries ? HeaderMode::Binaries : HeaderMode::Messages;
    if (headers_->GroupName().empty() || headers_->Mode() == mode) return;
    CWaitCursor wait;
    headers_->SetMode(mode);
    Reload();
}

}  // namespace vexlo::ui
