// The task dialogs: get and decode ("Obtener Y Decodificar"), join parts
// ("Unir Partes"), channel affinity ("Ajustar Canal de Afinidad"), task
// information ("Información Tarea") and the header filter ("Ajustar Filtro").
//
// Each is a QDialog with public fields the caller fills before and reads after
// a modal run; the helpers below are what the main window calls. Messages go
// to the application's message box. Main thread only.
#pragma once

#include <QDialog>
#include <cstdint>

namespace vexlo {
class CAppContext;
class CTask;
}  // namespace vexlo

namespace vexlo::ui {

// The affinity dialog for the selected queue rows; true (with the mask read
// from the boxes, possibly 0 after "Affinity Not Set!") unless cancelled.
bool RunAffinityDialog(QWidget* parent, CAppContext& context, uint32_t& mask);

// The task information dialog on a copy of `task`.
void ShowTaskInfoDialog(QWidget* parent, const CTask& task);

}  // namespace vexlo::ui
