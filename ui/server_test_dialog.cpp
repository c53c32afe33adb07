#include "ui/server_test_dialog.h"

#include <QAbstractTableModel>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "core/app_context.h"
#include "ui/image_list.h"

namespace vexlo::ui {

namespace {

constexpr int kPumpPeriodMs = 20;
constexpr int kChannelWidth = 64;
constexpr int kResultWidth = 320;

}  // namespace

// The test's rows: "Channel" (number and icon) and "Result".
class CServerTestModel : public QAbstractTableModel {
  public:
    CServerTestModel(const CServerTest& test, QObject* parent)
        : QAbstractTableModel(parent), test_(test) {}

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(test_.Rows().size());
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 2; }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount({})) return {};
        const ServerTestRow& row = test_.Rows()[static_cast<size_t>(index.row())];
        if (role == Qt::DisplayRole)
            return index.column() == 0 ? QString::number(row.channel)
                                       : QString::fromStdString(row.result);
        if (role == Qt::DecorationRole && index.column() == 0) return ListIcon(row.icon);
        return {};
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
        return section == 0 ? QStringLiteral("Channel") : QStringLiteral("Result");
    }

    void RowChanged(int row) { emit dataChanged(index(row, 0), index(row, 1)); }
    void Reset() {
        beginResetModel();
        endResetModel();
    }

  private:
    const CServerTest& test_;
};

CServerTestDialog::CServerTestDialog(CAppContext& context, const ServerLogin& server,
                                     const std::string& serverText, int connections,
                                     QWidget* parent)
    : QDialog(parent), test_(std::make_unique<CServerTest>(context)) {
    setWindowTitle(QString::fromUtf8("Prueba de Conexión del Servidor"));
    title_ = new QLineEdit(this);
    title_->setObjectName("1032");
    title_->setReadOnly(true);
    model_ = new CServerTestModel(*test_, this);
    list_ = new QTreeView(this);
    list_->setObjectName("1033");
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setAllColumnsShowFocus(true);
    list_->setModel(model_);
    list_->header()->setStretchLastSection(false);
    list_->setColumnWidth(0, kChannelWidth);
    list_->setColumnWidth(1, kResultWidth);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName("1");
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName("2");
    connect(ok_, &QPushButton::clicked, this, &CServerTestDialog::OnOk);
    connect(cancel_, &QPushButton::clicked, this, &CServerTestDialog::OnCancel);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QString::fromUtf8("Probando Servidor:"), this));
    top->addWidget(title_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    resize(kChannelWidth + kResultWidth + 60, 260);

    // The rows Start makes are shown by one reset; later changes row by row.
    test_->Start(server, serverText, connections);
    test_->onChange = [this](int row) { OnChange(row); };
    title_->setText(QString::fromStdString(test_->Title()));
    model_->Reset();
    OnChange(-1);

    // The worker's notices are taken from the event loop.
    pump_ = new QTimer(this);
    connect(pump_, &QTimer::timeout, this, [this] { test_->ProcessMessages(0); });
    pump_->start(kPumpPeriodMs);
}

CServerTestDialog::~CServerTestDialog() {
    test_->onChange = nullptr;
    list_->setModel(nullptr);  // the model reads test_, which goes first
}

void CServerTestDialog::OnChange(int row) {
    if (row >= 0 && row < model_->rowCount({})) model_->RowChanged(row);
    ok_->setEnabled(test_->OkEnabled());
    cancel_->setEnabled(test_->CancelEnabled());
}

void CServerTestDialog::OnOk() {
    pump_->stop();
    test_->Close();
    accept();
}

void CServerTestDialog::OnCancel() {
    test_->Cancel();
}

void CServerTestDialog::reject() {
    if (cancel_->isEnabled()) OnCancel();
}

void CServerTestDialog::closeEvent(QCloseEvent* event) {
    if (!test_->CanClose()) {
        event->ignore();
        return;
    }
    event->accept();
    OnOk();
}

}  // namespace vexlo::ui
