#include "ui/group_bar.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QStyledItemDelegate>
#include <QTableView>
#include <functional>

#include "core/app_context.h"
#include "groups/group_list.h"
#include "ui/fonts.h"

namespace vexlo::ui {
namespace {

constexpr const char* kColumnTitles[CGroupModel::kColumns] = {"Group", "BIN",       "NEW",
                                                              "MSG",   "Last Scan", "Directory"};

constexpr int kDeleteGroupsCommand = 32796;
// A menu asked for from the keyboard opens this far into the client area.
constexpr int kKeyboardMenuOffset = 8;

struct MenuEntry {
    int id;  // 0: a separator
    const char* text;
};
constexpr MenuEntry kMenuEntries[] = {
    {32783, "E&scanear"},
    {32784, "Esc&anear Todos"},
    {0, nullptr},
    {32795, "Añadir &Nuevo Grupo..."},
    {32796, "&Borrar Grupos Seleccionados"},
    {32806, "&Resetear Grupos Seleccionados"},
    {32819, "Configurar Guardar-A Carpeta ..."},
    {0, nullptr},
    {32797, "&Lista Servidor..."},
    {0, nullptr},
    {32810, "Seleccionar Todo"},
    {32817, "&Ocultar"},
};

// Tells of a double click after the view has handled it, so that a double
// click on a row that was not selected yet opens that row.
class CGroupListView : public QTableView {
  public:
    CGroupListView(QWidget* parent, std::function<void()> onDoubleClick)
        : QTableView(parent), onDoubleClick_(std::move(onDoubleClick)) {}

  protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        QTableView::mouseDoubleClickEvent(event);
        onDoubleClick_();
    }

  private:
    std::function<void()> onDoubleClick_;
};

}  // namespace

// Without full-row selection only the name column shows a row as selected,
// as a list control in report view does.
class CGroupSelectionDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool fullRow = false;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!fullRow && index.column() != 0) option->state &= ~QStyle::State_Selected;
    }
};

// ---- CGroupModel ----

CGroupModel::CGroupModel(CGroupList& groups, QObject* parent)
    : QAbstractTableModel(parent), groups_(groups) {
    groups_.SetListener([this](const GroupListChange& change) { OnListChange(change); });
}

CGroupModel::~CGroupModel() {
    groups_.SetListener({});
}

void CGroupModel::OnListChange(const GroupListChange& change) {
    using Kind = GroupListChange::Kind;
    switch (change.kind) {
        case Kind::BeginReset:
            changing_ = true;
            beginResetModel();
            break;
        case Kind::EndReset:
            endResetModel();
            changing_ = false;
            emit listSelectionChanged();
            break;
        case Kind::BeginInsert:
            changing_ = true;
            beginInsertRows({}, change.row, change.row);
            break;
        case Kind::EndInsert:
            endInsertRows();
            changing_ = false;
            break;
        case Kind::BeginRemove:
            changing_ = true;
            beginRemoveRows({}, change.row, change.row);
            break;
        case Kind::EndRemove:
            endRemoveRows();
            changing_ = false;
            break;
        case Kind::RowChanged:
            emit dataChanged(index(change.row, 0), index(change.row, kColumns - 1));
            break;
        case Kind::SelectionChanged:
            emit listSelectionChanged();
            break;
        case Kind::FocusList:
            emit focusRequested();
            break;
    }
}

int CGroupModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : groups_.Count();
}

int CGroupModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant CGroupModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= groups_.Count()) return {};
    const GroupRecord& group = groups_.Group(index.row());
    switch (index.column()) {
        case 0:
            return QString::fromStdString(group.name);
        case 1:
            return QString::number(group.binCount);
        case 2:
            return QString::number(group.newCount);
        case 3:
            return QString::number(group.msgCount);
        case 4:
            return QString::fromStdString(group.lastScan);
        case 5:
            return QString::fromStdString(group.saveToDirectory);
    }
    return {};
}

QVariant CGroupModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns) return {};
    if (role == Qt::DisplayRole) return QString::fromLatin1(kColumnTitles[section]);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

// ---- CGroupBar ----

CGroupBar::CGroupBar(CAppContext& context, CGroupList& groups, QWidget* parent)
    : CSizingControlBar(QStringLiteral("Newsgroups"), QStringLiteral("GroupBar"), kControlId,
                        parent),
      context_(context),
      groups_(groups) {
    model_ = new CGroupModel(groups_, this);
    list_ = new CGroupListView(this, [this] {
        const int row = groups_.FirstSelected();
        if (row >= 0) emit openGroupRequested(QString::fromStdString(groups_.Group(row).name));
    });
    list_->setObjectName(QString::number(kListId));
    list_->setModel(model_);
    list_->setFont(ListFont());
    list_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->setShowGrid(false);
    list_->setWordWrap(false);
    list_->setTabKeyNavigation(false);
    // The list is sorted by the group list itself; the view never re-sorts.
    list_->setSortingEnabled(false);
    QHeaderView* rows = list_->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(QFontMetrics(list_->font()).height() + 3);
    QHeaderView* header = list_->horizontalHeader();
    header->setSectionsMovable(true);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(0);
    for (int column = 0; column < CGroupModel::kColumns; ++column)
        list_->setColumnWidth(column, context_.settings.GetGroupWidth(column));
    delegate_ = new CGroupSelectionDelegate(list_);
    list_->setItemDelegate(delegate_);
    SetFullRowSelect(context_.settings.TestOptions(OPT_FULL_ROW_GROUP) != 0);
    setWidget(list_);
    menu_ = CreateContextMenu();

    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CGroupBar::CopySelectionToList);
    connect(model_, &CGroupModel::listSelectionChanged, this, &CGroupBar::ShowListSelection);
    connect(model_, &CGroupModel::focusRequested, this, [this] { list_->setFocus(); });
    list_->installEventFilter(this);
    ShowListSelection();
}

QMenu* CGroupBar::CreateContextMenu() {
    auto* menu = new QMenu(this);
    menu->setObjectName("GROUP_BAR");
    for (const MenuEntry& entry : kMenuEntries) {
        if (entry.id == 0) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(QString::fromUtf8(entry.text));
        action->setObjectName(QString::number(entry.id));
        action->setData(entry.id);
    }
    connect(menu, &QMenu::triggered, this,
            [this](QAction* action) { emit commandRequested(action->data().toInt()); });
    return menu;
}

void CGroupBar::SaveColumnWidths(CAppSettings& settings) const {
    for (int column = 0; column < CGroupModel::kColumns; ++column)
        settings.SetGroupWidth(column, list_->columnWidth(column));
}

void CGroupBar::SetFullRowSelect(bool on) {
    delegate_->fullRow = on;
    list_->viewport()->update();
}

void CGroupBar::CopySelectionToList(const QItemSelection& selected,
                                    const QItemSelection& deselected) {
    // While rows come and go the view adjusts its selection to the rows the
    // list already has; the flags travel with the rows there.
    if (syncing_ || model_->Changing()) return;
    syncing_ = true;
    const QItemSelectionModel* selection = list_->selectionModel();
    for (const QItemSelection* ranges : {&selected, &deselected}) {
        for (const QItemSelectionRange& range : *ranges) {
            for (int row = range.top(); row <= range.bottom() && row < groups_.Count(); ++row)
                groups_.Select(row, selection->isSelected(model_->index(row, 0)));
        }
    }
    syncing_ = false;
}

void CGroupBar::ShowListSelection() {
    if (syncing_) return;
    syncing_ = true;
    QItemSelection selection;
    const int count = groups_.Count();
    for (int row = 0; row < count; ++row) {
        if (!groups_.IsSelected(row)) continue;
        int last = row;
        while (last + 1 < count && groups_.IsSelected(last + 1)) ++last;
        selection.select(model_->index(row, 0), model_->index(last, CGroupModel::kColumns - 1));
        row = last;
    }
    list_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    syncing_ = false;
}

bool CGroupBar::OnListKey(const QKeyEvent& key) {
    const bool plain = !(key.modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (key.key() == Qt::Key_Delete) {
        if (groups_.SelectedCount() > 0) emit commandRequested(kDeleteGroupsCommand);
        return true;
    }
    if (key.key() == Qt::Key_E && plain) {
        if (groups_.SelectedCount() > 0) groups_.SelectEmptyGroups();
        return true;
    }
    // Enter opens the group as a double click does, for keyboard users.
    if ((key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) && plain) {
        const int row = groups_.FirstSelected();
        if (row >= 0) emit openGroupRequested(QString::fromStdString(groups_.Group(row).name));
        return true;
    }
    return false;
}

bool CGroupBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress)
        return OnListKey(*static_cast<QKeyEvent*>(event));
    return CSizingControlBar::eventFilter(watched, event);
}

void CGroupBar::contextMenuEvent(QContextMenuEvent* event) {
    const QPoint at = event->reason() == QContextMenuEvent::Mouse
                          ? event->globalPos()
                          : list_->mapToGlobal(QPoint(kKeyboardMenuOffset, kKeyboardMenuOffset));
    menu_->popup(at);
    event->accept();
}

}  // namespace vexlo::ui
