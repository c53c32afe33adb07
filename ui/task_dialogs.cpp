#include "ui/task_dialogs.h"
#include "ui/dialog_buttons.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/app_context.h"
#include "frame/task_dialog_rules.h"

namespace vexlo::ui {

namespace {

constexpr int kFirstChannelBoxId = 1064;
constexpr int kAllButtonId = 1072;
constexpr int kNoneButtonId = 1073;
constexpr int kFilterEditId = 1045;
constexpr int kNewOnlyBoxId = 1052;
constexpr int kFilterLimit = 32;

}  // namespace

CChannelBoxes::CChannelBoxes(QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    for (int n = 1; n <= 8; ++n) {
        auto* box = new QCheckBox(QStringLiteral("&%1").arg(n), this);
        box->setObjectName(QString::number(kFirstChannelBoxId + n - 1));
        row->addWidget(box);
        boxes_[n - 1] = box;
    }
    row->addStretch();
}

void CChannelBoxes::Show(uint32_t mask, uint32_t channelMask) {
    for (int n = 1; n <= 8; ++n) {
        ChannelBoxState state = ChannelBox(n, mask, channelMask);
        boxes_[n - 1]->setEnabled(state.enabled);
        boxes_[n - 1]->setChecked(state.checked);
    }
}

uint32_t CChannelBoxes::Read() const {
    uint32_t mask = 0;
    for (int n = 1; n <= 8; ++n)
        if (boxes_[n - 1]->isChecked()) mask |= 1u << (n - 1);
    return mask;
}

CTaskDialog::CTaskDialog(QWidget* parent) : QDialog(parent) {
    setModal(true);
}

void CTaskDialog::showEvent(QShowEvent* event) {
    if (!started_) {
        started_ = true;
        Start();
    }
    QDialog::showEvent(event);
}

QLayout* CTaskDialog::MakeOkCancel() {
    return MakeOkCancelRow(this);
}

// ---- CAffinityDialog ----

CAffinityDialog::CAffinityDialog(QWidget* parent, CAppContext& context)
    : CTaskDialog(parent), context_(context) {
    setWindowTitle(QStringLiteral("Ajustar Canal de Afinidad"));
    channels_ = new CChannelBoxes(this);
    auto* all = new QPushButton(QStringLiteral("Todo"), this);
    all->setObjectName(QString::number(kAllButtonId));
    all->setAutoDefault(false);
    connect(all, &QPushButton::clicked, this, [this] {
        affinity = context_.settings.GetChannelMask();
        channels_->Show(affinity, context_.settings.GetChannelMask());
    });
    auto* none = new QPushButton(QStringLiteral("&Ninguno"), this);
    none->setObjectName(QString::number(kNoneButtonId));
    none->setAutoDefault(false);
    connect(none, &QPushButton::clicked, this, [this] {
        affinity = 0;
        channels_->Show(affinity, context_.settings.GetChannelMask());
    });
    auto* shortcuts = new QHBoxLayout;
    shortcuts->addWidget(all);
    shortcuts->addWidget(none);
    shortcuts->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(channels_);
    layout->addLayout(shortcuts);
    layout->addLayout(MakeOkCancel());
}

void CAffinityDialog::Start() {
    channels_->Show(affinity, context_.settings.GetChannelMask());
}

void CAffinityDialog::accept() {
    affinity = channels_->Read();
    // Only a notice: the queue refuses the empty mask that follows.
    if (affinity == 0) context_.messageBox.Show(kAffinityNotSetText, MessageIcon::Stop);
    QDialog::accept();
}

// ---- CFilterDialog ----

CFilterDialog::CFilterDialog(QWidget* parent) : CTaskDialog(parent) {
    setWindowTitle(QStringLiteral("Ajustar Filtro"));
    edit_ = new QLineEdit(this);
    edit_->setObjectName(QString::number(kFilterEditId));
    edit_->setMaxLength(kFilterLimit);
    newBox_ = new QCheckBox(QStringLiteral("Mostrar Solo NUEVOS Mensajes"), this);
    newBox_->setObjectName(QString::number(kNewOnlyBoxId));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(edit_);
    layout->addWidget(newBox_);
    layout->addLayout(MakeOkCancel());
}

void CFilterDialog::Start() {
    if (!filter.empty()) edit_->setText(QString::fromStdString(filter));
    newBox_->setChecked(showOnlyNew == 1);
}

void CFilterDialog::accept() {
    filter = edit_->text().toStdString();
    showOnlyNew = newBox_->isChecked() ? 1 : 0;
    QDialog::accept();
}

// ---- helpers the main window calls ----

bool RunAffinityDialog(QWidget* parent, CAppContext& context, uint32_t& mask) {
    CAffinityDialog dialog(parent, context);
    dialog.affinity = mask;
    if (dialog.exec() != QDialog::Accepted) return false;
    mask = dialog.affinity;
    return true;
}

void ShowTaskInfoDialog(QWidget* parent, const CTask& task) {
    CTaskInfoDialog dialog(parent, task);
    dialog.exec();
}

}  // namespace vexlo::ui
