// The group bar's dialogs: add group ("Añadir Grupo de Noticias"), the
// save-to folder ("Configurar Carpeta de Descarga Por Defecto") and the
// folder picker ("Seleccionar Carpeta", ui/folder_picker.h) that both, and the
// get-and-decode dialog, open from their browse button.
//
// Each is a QDialog the caller fills, runs and reads back; the Run* helpers
// do the three steps. What OK accepts is decided by groups/group_folder.h;
// refusals go to the application's message box with the stop icon and the
// dialog stays open. Paths use "/". Main thread only.
#pragma once

#include <QDialog>
#include <string>

class QCheckBox;
class QFormLayout;
class QLineEdit;

namespace vexlo {
class CAppContext;
}

namespace vexlo::ui {

// Control ids (object names) shared by the two folder dialogs.
inline constexpr int kGroupNameEditId = 1013;
inline constexpr int kFolderEditId = 1014;
inline constexpr int kBrowseButtonId = 1015;
inline constexpr int kSubfolderBoxId = 1016;

// The folder edit, the browse button that fills it from the folder picker and
// the subfolder box, with Aceptar ("1") and Cancelar ("2") below.
class CFolderDialogBase : public QDialog {
    Q_OBJECT
  protected:
    CFolderDialogBase(CAppContext& context, const QString& title, QWidget* parent);
    // Puts the rows above the folder row (the add-group dialog's name edit).
    void InsertRow(const QString& label, QWidget* field);
    // Stores the accepted folder as SaveDefault and the box as OPT_GROUP_SUBFOLDER.
    void StoreDefaults(const std::string& folder);
    void ShowRefusal(const char* text);

    CAppContext& context_;
    QLineEdit* folderEdit_;
    QCheckBox* subfolderBox_;

  private:
    void Browse();

    QFormLayout* form_;
};

class CAddGroupDialog : public CFolderDialogBase {
    Q_OBJECT
  public:
    // An empty preset folder shows SaveDefault; the box follows OPT_GROUP_SUBFOLDER.
    CAddGroupDialog(CAppContext& context, const std::string& presetName,
                    const std::string& presetFolder, QWidget* parent = nullptr);
    // After OK: the name and the directory (the folder with "/", followed by
    // the name when the box was ticked).
    const std::string& Name() const { return name_; }
    const std::string& Directory() const { return directory_; }
    void accept() override;

  private:
    QLineEdit* nameEdit_;
    std::string name_, directory_;
};

class CSaveToFolderDialog : public CFolderDialogBase {
    Q_OBJECT
  public:
    // An empty preset shows SaveDefault with the box from OPT_GROUP_SUBFOLDER;
    // otherwise the preset with the box ticked.
    CSaveToFolderDialog(CAppContext& context, const std::string& preset, QWidget* parent = nullptr);
    // After OK: the folder ending with "/" and the box's state.
    const std::string& Folder() const { return folder_; }
    bool Subfolder() const { return subfolder_; }
    void accept() override;

  private:
    std::string folder_;
    bool subfolder_ = false;
};

// `name` and `directory` go in as the presets; on OK they hold the group name
// and its directory. The dialog stores SaveDefault and OPT_GROUP_SUBFOLDER.
bool RunAddGroupDialog(QWidget* parent, CAppContext& context, std::string& name,
                       std::string& directory);

// On OK: the folder (ending with "/") and the subfolder box's state. The
// dialog stores SaveDefault and OPT_GROUP_SUBFOLDER.
bool RunSaveToFolderDialog(QWidget* parent, CAppContext& context, const std::string& preset,
                           std::string& folder, bool& subfolder);

// On OK: the chosen folder's path.
bool RunFolderPicker(QWidget* parent, const std::string& preset, std::string& path);

}  // namespace vexlo::ui
