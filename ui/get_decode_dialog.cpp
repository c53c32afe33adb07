// The get-and-decode dialog ("Obtener Y Decodificar").
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/app_context.h"
#include "frame/task_dialog_rules.h"
#include "ui/group_dialogs.h"
#include "ui/task_dialogs.h"

namespace vexlo::ui {

namespace {

constexpr int kDirectoryEditId = 1014;
constexpr int kExamineButtonId = 1015;
constexpr int kSubfolderEditId = 1016;
constexpr int kNewSubfolderBoxId = 1062;
constexpr int kTopBoxId = 1063;

}  // namespace

CGetDecodeDialog::CGetDecodeDialog(QWidget* parent, CAppContext& context)
    : CTaskDialog(parent), context_(context) {
    setWindowTitle(QStringLiteral("Obtener Y Decodificar"));
    directoryEdit_ = new QLineEdit(this);
    directoryEdit_->setObjectName(QString::number(kDirectoryEditId));
    auto* browse = new QPushButton(QStringLiteral("&Examinar ..."), this);
    browse->setObjectName(QString::number(kExamineButtonId));
    browse->setAutoDefault(false);
    connect(browse, &QPushButton::clicked, this, &CGetDecodeDialog::Browse);
    auto* directoryRow = new QHBoxLayout;
    directoryRow->addWidget(directoryEdit_, 1);
    directoryRow->addWidget(browse);

    subfolderEdit_ = new QLineEdit(this);
    subfolderEdit_->setObjectName(QString::number(kSubfolderEditId));
    subfolderBox_ = new QCheckBox(
        QStringLiteral("Colocar Archivos En Una &Nueva Subcarpeta Por Defecto (arriba)"), this);
    subfolderBox_->setObjectName(QString::number(kNewSubfolderBoxId));
    // A typed name means the files go into it; clearing the name undoes that.
    connect(subfolderEdit_, &QLineEdit::textChanged, this,
            [this](const QString& text) { subfolderBox_->setChecked(!text.isEmpty()); });
    topBox_ = new QCheckBox(QString::fromUtf8("Añadir a lo Más Al&to De La Cola"), this);
    topBox_->setObjectName(QString::number(kTopBoxId));
    channels_ = new CChannelBoxes(this);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(directoryRow);
    layout->addWidget(subfolderEdit_);
    layout->addWidget(subfolderBox_);
    layout->addWidget(topBox_);
    layout->addWidget(channels_);
    layout->addLayout(MakeOkCancel());
    resize(460, sizeHint().height());
}

void CGetDecodeDialog::Start() {
    if (!directory.empty()) directoryEdit_->setText(QString::fromStdString(directory));
    channels_->Show(affinity, context_.settings.GetChannelMask());
    topBox_->setChecked(addToTop == 1);
}

void CGetDecodeDialog::Browse() {
    std::string path;
    if (RunFolderPicker(this, directoryEdit_->text().toStdString(), path))
        directoryEdit_->setText(QString::fromStdString(path));
}

void CGetDecodeDialog::accept() {
    directory = DownloadDirectory(directoryEdit_->text().toStdString(),
                                  subfolderEdit_->text().toStdString(), subfolderBox_->isChecked());
    addToTop = topBox_->isChecked() ? 1 : 0;
    affinity = channels_->Read();
    if (affinity == 0) {
        // The dialog stays open until a channel is checked or it is cancelled.
        context_.messageBox.Show(kNoChannelAffinityText, MessageIcon::Stop);
        return;
    }
    QDialog::accept();
}

}  // namespace vexlo::ui
