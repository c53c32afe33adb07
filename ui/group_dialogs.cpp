#include "ui/group_dialogs.h"
#include "ui/dialog_buttons.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/app_context.h"
#include "groups/group_folder.h"
#include "ui/folder_picker.h"

namespace vexlo::ui {
namespace {

// The edits take at most this many characters as they are typed.
constexpr int kEditLimit = 128;
constexpr const char* kSubfolderText =
    "Guardar archivos a esta carpeta, pero colocarlos en una subcarpeta usando el nombre del "
    "grupo.";

QString Id(int id) {
    return QString::number(id);
}

}  // namespace

CFolderDialogBase::CFolderDialogBase(CAppContext& context, const QString& title, QWidget* parent)
    : QDialog(parent), context_(context) {
    setWindowTitle(title);
    setModal(true);

    folderEdit_ = new QLineEdit(this);
    folderEdit_->setObjectName(Id(kFolderEditId));
    folderEdit_->setMaxLength(kEditLimit);
    auto* browse = new QPushButton(QStringLiteral("..."), this);
    browse->setObjectName(Id(kBrowseButtonId));
    browse->setAutoDefault(false);
    connect(browse, &QPushButton::clicked, this, &CFolderDialogBase::Browse);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folderEdit_, 1);
    folderRow->addWidget(browse);

    subfolderBox_ = new QCheckBox(QString::fromUtf8(kSubfolderText), this);
    subfolderBox_->setObjectName(Id(kSubfolderBoxId));

    QHBoxLayout* buttons = MakeOkCancelRow(this);

    form_ = new QFormLayout;
    form_->addRow(QStringLiteral("Carpeta:"), folderRow);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form_);
    layout->addWidget(subfolderBox_);
    layout->addLayout(buttons);
    setMinimumWidth(420);
}

void CFolderDialogBase::InsertRow(const QString& label, QWidget* field) {
    form_->insertRow(0, label, field);
}

void CFolderDialogBase::StoreDefaults(const std::string& folder) {
    context_.settings.SetSaveDefault(folder);
    context_.settings.SetOption(OPT_GROUP_SUBFOLDER, subfolderBox_->isChecked() ? 1 : 0);
}

void CFolderDialogBase::ShowRefusal(const char* text) {
    context_.messageBox.Show(text, MessageIcon::Stop);
}

void CFolderDialogBase::Browse() {
    std::string path;
    if (RunFolderPicker(this, folderEdit_->text().toStdString(), path))
        folderEdit_->setText(QString::fromStdString(path));
}

CAddGroupDialog::CAddGroupDialog(CAppContext& context, const std::string& presetName,
                                 const std::string& presetFolder, QWidget* parent)
    : CFolderDialogBase(context, QString::fromUtf8("Añadir Grupo de Noticias"), parent) {
    nameEdit_ = new QLineEdit(this);
    nameEdit_->setObjectName(Id(kGroupNameEditId));
    nameEdit_->setMaxLength(kEditLimit);
    InsertRow(QStringLiteral("Grupo:"), nameEdit_);
    setTabOrder(nameEdit_, folderEdit_);
    nameEdit_->setFocus();

    nameEdit_->setText(QString::fromStdString(presetName));
    folderEdit_->setText(QString::fromStdString(
        presetFolder.empty() ? context.settings.GetSaveDefault() : presetFolder));
    subfolderBox_->setChecked(context.settings.TestOptions(OPT_GROUP_SUBFOLDER) != 0);
}

void CAddGroupDialog::accept() {
    std::string name = nameEdit_->text().toStdString();
    std::string directory;
    const char* refused = CheckNewGroupInput(name, folderEdit_->text().toStdString(),
                                             subfolderBox_->isChecked(), directory);
    if (refused) {
        ShowRefusal(refused);
        return;
    }
    name_ = name.substr(0, kMaxTextLength);
    directory_ = directory;
    // The directory of this group is the folder the next dialog proposes.
    StoreDefaults(directory_);
    QDialog::accept();
}

CSaveToFolderDialog::CSaveToFolderDialog(CAppContext& context, const std::string& preset,
                                         QWidget* parent)
    : CFolderDialogBase(context, QStringLiteral("Configurar Carpeta de Descarga Por Defecto"),
                        parent) {
    std::string folder = preset;
    bool ticked = true;
    if (folder.empty()) {
        folder = context.settings.GetSaveDefault();
        ticked = context.settings.TestOptions(OPT_GROUP_SUBFOLDER) != 0;
    }
    subfolderBox_->setChecked(ticked);
    if (!folder.empty()) folderEdit_->setText(QString::fromStdString(folder));
    folderEdit_->setFocus();
}

void CSaveToFolderDialog::accept() {
    std::string folder;
    if (const char* refused = CheckSaveToFolder(folderEdit_->text().toStdString(), folder)) {
        ShowRefusal(refused);
        return;
    }
    folder_ = folder;
    subfolder_ = subfolderBox_->isChecked();
    StoreDefaults(folder_);
    QDialog::accept();
}

bool RunAddGroupDialog(QWidget* parent, CAppContext& context, std::string& name,
                       std::string& directory) {
    CAddGroupDialog dialog(context, name, directory, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    name = dialog.Name();
    directory = dialog.Directory();
    return true;
}

bool RunSaveToFolderDialog(QWidget* parent, CAppContext& context, const std::string& preset,
                           std::string& folder, bool& subfolder) {
    CSaveToFolderDialog dialog(context, preset, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    folder = dialog.Folder();
    subfolder = dialog.Subfolder();
    return true;
}

}  // namespace vexlo::ui
