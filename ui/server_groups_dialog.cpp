#include "ui/server_groups_dialog.h"

#include <QAbstractListModel>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

#include "core/app_context.h"
#include "groups/server_group_list.h"
#include "ui/group_dialogs.h"
#include "ui/wait_cursor.h"

namespace vexlo::ui {

namespace {

constexpr int kPumpPeriodMs = 20;
constexpr int kNameWidth = 320;

QPushButton* MakeButton(const char* id, const char* text, QWidget* parent) {
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setObjectName(id);
    // Enter in the filter edit applies the filter; it never closes the dialog.
    button->setAutoDefault(false);
    return button;
}

}  // namespace

// The rows of the server group list: one column "Newsgroup".
class CServerGroupModel : public QAbstractListModel {
  public:
    CServerGroupModel(const CServerGroupList& list, QObject* parent)
        : QAbstractListModel(parent), list_(list) {}

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : list_.Count();
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid() || index.row() >= list_.Count()) return {};
        return QString::fromStdString(list_.Rows()[static_cast<size_t>(index.row())]);
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (section != 0 || orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
        return QStringLiteral("Newsgroup");
    }
    void Reset() {
        beginResetModel();
        endResetModel();
    }

  private:
    const CServerGroupList& list_;
};

CServerGroupsDialog::CServerGroupsDialog(CAppContext& context, CGroupList& groups, QWidget* parent)
    : QDialog(parent),
      context_(context),
      list_(std::make_unique<CServerGroupList>(context, groups)) {
    setWindowTitle(QStringLiteral("Server Group List"));
    filter_ = new QLineEdit(this);
    filter_->setObjectName("1045");
    filter_->setMaxLength(static_cast<int>(kMaxServerGroupFilter));
    apply_ = MakeButton("1046", "Aplicar", this);
    model_ = new CServerGroupModel(*list_, this);
    view_ = new QTreeView(this);
    view_->setObjectName("1043");
    view_->setRootIsDecorated(false);
    view_->setUniformRowHeights(true);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setModel(model_);
    view_->setColumnWidth(0, kNameWidth);
    status_ = new QLabel(this);
    status_->setObjectName("1044");
    refresh_ = MakeButton("1040", "&Refrescar", this);
    add_ = MakeButton("1041", "&Añadir", this);
    ok_ = MakeButton("1", "Aceptar", this);
    cancel_ = MakeButton("2", "Cancel", this);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QString::fromUtf8("Nombres Filtros:"), this));
    top->addWidget(filter_, 1);
    top->addWidget(apply_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(refresh_);
    buttons->addWidget(add_);
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(view_, 1);
    layout->addWidget(status_);
    layout->addLayout(buttons);
    resize(kNameWidth + 140, 420);

    connect(filter_, &QLineEdit::textChanged, this,
            [this](const QString& text) { list_->SetFilterEdit(text.toStdString()); });
    connect(filter_, &QLineEdit::returnPressed, this, [this] {
        if (apply_->isEnabled()) OnApplyFilter();
    });
    connect(apply_, &QPushButton::clicked, this, &CServerGroupsDialog::OnApplyFilter);
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CServerGroupsDialog::OnSelectionChanged);
    connect(refresh_, &QPushButton::clicked, this, [this] { list_->Refresh(); });
    connect(add_, &QPushButton::clicked, this, &CServerGroupsDialog::OnAdd);
    connect(ok_, &QPushButton::clicked, this, &CServerGroupsDialog::OnOk);
    connect(cancel_, &QPushButton::clicked, this, [this] { list_->Cancel(); });

    list_->onChange = [this](CServerGroupList::Change change) {
        OnChange(static_cast<int>(change));
    };
    list_->Open();
    filter_->setText(QString::fromStdString(list_->Filter()));
    model_->Reset();
    status_->setText(QString::fromStdString(list_->StatusText()));
    SyncControls();

    // The worker's notices are taken from the event loop.
    pump_ = new QTimer(this);
    connect(pump_, &QTimer::timeout, this, [this] { list_->ProcessMessages(0); });
    pump_->start(kPumpPeriodMs);
}

CServerGroupsDialog::~CServerGroupsDialog() {
    pump_->stop();
    list_->onChange = nullptr;
    view_->setModel(nullptr);  // the model reads list_, which goes first
}

void CServerGroupsDialog::OnChange(int change) {
    switch (static_cast<CServerGroupList::Change>(change)) {
        case CServerGroupList::Change::Rows:
            model_->Reset();
            break;
        case CServerGroupList::Change::Status:
            status_->setText(QString::fromStdString(list_->StatusText()));
            break;
        case CServerGroupList::Change::Controls:
            SyncControls();
            break;
        case CServerGroupList::Change::Filter:
        case CServerGroupList::Change::Selection:
            break;  // the widgets are where these came from
    }
}

void CServerGroupsDialog::SyncControls() {
    const CServerGroupList::Controls& c = list_->GetControls();
    ok_->setEnabled(c.ok);
    apply_->setEnabled(c.apply);
    refresh_->setEnabled(c.refresh);
    add_->setEnabled(c.add);
    cancel_->setEnabled(c.cancel);
}

void CServerGroupsDialog::OnSelectionChanged(const QItemSelection& selected,
                                             const QItemSelection& deselected) {
    const int last = list_->Count() - 1;
    auto copy = [&](const QItemSelection& ranges, bool state) {
        for (const QItemSelectionRange& range : ranges) {
            const int top = std::max(range.top(), 0), bottom = std::min(range.bottom(), last);
            if (top <= bottom) list_->SelectRange(top, bottom, state);
        }
    };
    copy(deselected, false);
    copy(selected, true);
}

void CServerGroupsDialog::OnApplyFilter() {
    CWaitCursor wait;
    list_->ApplyFilter();
}

void CServerGroupsDialog::OnAdd() {
    if (list_->SelectedCount() == 0) {
        list_->Add({}, false);
        return;
    }
    std::string folder;
    bool subfolder = false;
    if (!RunSaveToFolderDialog(this, context_, std::string(), folder, subfolder)) return;
    CWaitCursor wait;
    list_->Add(folder, subfolder);
}

void CServerGroupsDialog::OnOk() {
    pump_->stop();
    list_->Close();
    accept();
}

void CServerGroupsDialog::reject() {
    if (cancel_->isEnabled()) list_->Cancel();
}

void CServerGroupsDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
    reject();
}

void RunServerGroupsDialog(QWidget* parent, CAppContext& context, CGroupList& groups) {
    CServerGroupsDialog dialog(context, groups, parent);
    dialog.exec();
}

}  // namespace vexlo::ui
