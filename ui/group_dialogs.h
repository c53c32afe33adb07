// The group bar's dialogs: add group ("Añadir Grupo de Noticias"), the
// save-to folder ("Configurar Carpeta de Descarga Por Defecto") and the
// folder picker ("Seleccionar Carpeta") that both, and the get-and-decode
// dialog, open from their browse button.
//
// Each is a QDialog the caller fills, runs and reads back; the Run* helpers
// do the three steps. Messages go to the application's message box. Paths use
// "/"; the picker's "drives" are the root "/" and the user's home folder.
// Main thread only.
#pragma once

#include <QDialog>
#include <string>

namespace vexlo {
class CAppContext;
}

namespace vexlo::ui {

// On OK: the group name and its directory (with the group name appended when
// the subfolder box was ticked). The dialog stores SaveDefault and
// OPT_GROUP_SUBFOLDER.
bool RunAddGroupDialog(QWidget* parent, CAppContext& context, std::string& name,
                       std::string& directory);

// On OK: the folder (ending with "/") and the subfolder box's state. The
// dialog stores SaveDefault and OPT_GROUP_SUBFOLDER.
bool RunSaveToFolderDialog(QWidget* parent, CAppContext& context, const std::string& preset,
                           std::string& folder, bool& subfolder);

// On OK: the chosen folder's path.
bool RunFolderPicker(QWidget* parent, const std::string& preset, std::string& path);

}  // namespace vexlo::ui
