// The task information dialog ("Información Tarea"): the properties of one
// task as a two-column list.
#include <QAbstractTableModel>
#include <QHeaderView>
#include <QTableView>
#include <QVBoxLayout>

#include "frame/task_dialog_rules.h"
#include "tasks/task.h"
#include "ui/task_dialogs.h"

namespace vexlo::ui {

namespace {

constexpr int kListId = 1057;

// "Property" (right-aligned) and "Value" rows of a task.
class CTaskInfoModel : public QAbstractTableModel {
  public:
    CTaskInfoModel(std::vector<TaskInfoRow> rows, QObject* parent)
        : QAbstractTableModel(parent), rows_(std::move(rows)) {}

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 2; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount({})) return {};
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::AlignVCenter |
                                       (index.column() == 0 ? Qt::AlignRight : Qt::AlignLeft));
        if (role != Qt::DisplayRole) return {};
        const TaskInfoRow& row = rows_[static_cast<size_t>(index.row())];
        return QString::fromStdString(index.column() == 0 ? row.property : row.value);
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal) return {};
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::AlignVCenter |
                                       (section == 0 ? Qt::AlignRight : Qt::AlignLeft));
        if (role != Qt::DisplayRole) return {};
        return section == 0 ? QStringLiteral("Property") : QStringLiteral("Value");
    }

  private:
    std::vector<TaskInfoRow> rows_;
};

}  // namespace

CTaskInfoDialog::CTaskInfoDialog(QWidget* parent, const CTask& task)
    : CTaskDialog(parent), task_(std::make_unique<CTask>()) {
    task_->CopyFrom(task);
    setWindowTitle(QString::fromUtf8("Información Tarea"));
    list_ = new QTableView(this);
    list_->setObjectName(QString::number(kListId));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setShowGrid(true);
    list_->setWordWrap(false);
    list_->verticalHeader()->hide();
    list_->horizontalHeader()->setHighlightSections(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addLayout(MakeOkCancel());
    resize(460, 300);
}

CTaskInfoDialog::~CTaskInfoDialog() = default;

void CTaskInfoDialog::Start() {
    list_->setModel(new CTaskInfoModel(TaskInfoRows(*task_), list_));
    list_->setColumnWidth(0, 96);
    list_->setColumnWidth(1, 320);
}

}  // namespace vexlo::ui
