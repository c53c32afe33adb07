// The join-parts dialog ("Unir Partes"): the selected messages as a list the
// user may reorder before they become one download.
#include <QAbstractTableModel>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "frame/task_dialog_rules.h"
#include "ui/fonts.h"
#include "ui/task_dialogs.h"

namespace vexlo::ui {

namespace {

constexpr int kListId = 1043;
constexpr int kFirstMoveButtonId = 1075;  // up, down, to the top, to the bottom
constexpr int kTopBoxId = 1063;
constexpr const char* kMoveTexts[4] = {"&Subir", "&Bajar", "Arriba", "&Abajo"};
constexpr PartMove kMoves[4] = {PartMove::Up, PartMove::Down, PartMove::Top, PartMove::Bottom};

struct Part {
    std::string subject;
    uint32_t lines = 0;
    uint32_t bytes = 0;
    uint32_t article = 0;
};

}  // namespace

// The parts as rows "Subject", "Lines", "Bytes", "ID".
class CJoinPartsModel : public QAbstractTableModel {
  public:
    using QAbstractTableModel::QAbstractTableModel;

    std::vector<Part> parts;

    void Reset(std::vector<Part> newParts) {
        beginResetModel();
        parts = std::move(newParts);
        endResetModel();
    }
    void MoveRow(int from, int to) {
        // Qt counts the destination before the move: one further when moving down.
        beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
        Part part = std::move(parts[static_cast<size_t>(from)]);
        parts.erase(parts.begin() + from);
        parts.insert(parts.begin() + to, std::move(part));
        endMoveRows();
    }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(parts.size());
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 4; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount({})) return {};
        const Part& part = parts[static_cast<size_t>(index.row())];
        switch (index.column()) {
            case 0:
                return QString::fromStdString(part.subject);
            case 1:
                return QString::number(part.lines);
            case 2:
                return QString::number(part.bytes);
            default:
                return QString::number(part.article);
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        static const char* const kHeadings[4] = {"Subject", "Lines", "Bytes", "ID"};
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 3)
            return {};
        return QString::fromLatin1(kHeadings[section]);
    }
};

CJoinPartsDialog::CJoinPartsDialog(QWidget* parent) : CTaskDialog(parent) {
    setWindowTitle(QStringLiteral("Unir Partes"));
    model_ = new CJoinPartsModel(this);
    list_ = new QTableView(this);
    list_->setObjectName(QString::number(kListId));
    // The list's fixed column widths fit five-digit numbers in the lists' font.
    list_->setFont(ListFont());
    list_->setModel(model_);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setShowGrid(false);
    list_->setWordWrap(false);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list_->horizontalHeader()->setHighlightSections(false);
    const int widths[4] = {256, 42, 42, 64};
    for (int c = 0; c < 4; ++c) list_->setColumnWidth(c, widths[c]);
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CJoinPartsDialog::UpdateButtons);
    connect(list_, &QTableView::clicked, this, &CJoinPartsDialog::UpdateButtons);

    auto* buttons = new QVBoxLayout;
    for (int i = 0; i < 4; ++i) {
        auto* button = new QPushButton(QString::fromUtf8(kMoveTexts[i]), this);
        button->setObjectName(QString::number(kFirstMoveButtonId + i));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, i] { Move(i); });
        buttons->addWidget(button);
        moveButtons_[i] = button;
    }
    buttons->addStretch();
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(list_, 1);
    listRow->addLayout(buttons);

    topBox_ = new QCheckBox(QString::fromUtf8("Cola en lo Más Al&to"), this);
    topBox_->setObjectName(QString::number(kTopBoxId));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(QStringLiteral("Opcionalmente, modificar el orden de las partes:")));
    layout->addLayout(listRow);
    layout->addWidget(topBox_);
    layout->addLayout(MakeOkCancel());
    resize(540, 320);
}

CJoinPartsDialog::~CJoinPartsDialog() = default;

void CJoinPartsDialog::Start() {
    std::vector<Part> parts;
    size_t n = std::min({subjects.size(), articles.size(), lines.size(), bytes.size()});
    for (size_t i = 0; i < n; ++i) parts.push_back({subjects[i], lines[i], bytes[i], articles[i]});
    model_->Reset(std::move(parts));
    UpdateButtons();
}

int CJoinPartsDialog::SelectedRow() const {
    QModelIndexList rows = list_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void CJoinPartsDialog::UpdateButtons() {
    int selected = SelectedRow(), count = model_->rowCount({});
    for (int i = 0; i < 4; ++i)
        moveButtons_[i]->setEnabled(PartMoveEnabled(kMoves[i], selected, count));
}

void CJoinPartsDialog::Move(int move) {
    int from = SelectedRow();
    int to = PartMoveTarget(kMoves[move], from, model_->rowCount({}));
    if (to < 0) return;
    model_->MoveRow(from, to);
    list_->selectRow(to);
    UpdateButtons();
}

void CJoinPartsDialog::accept() {
    subjects.clear();
    articles.clear();
    lines.clear();
    bytes.clear();
    for (const Part& part : model_->parts) {
        subjects.push_back(part.subject);
        articles.push_back(part.article);
        lines.push_back(part.lines);
        bytes.push_back(part.bytes);
    }
    queueAtTop = topBox_->isChecked() ? 1 : 0;
    QDialog::accept();
}

}  // namespace vexlo::ui
