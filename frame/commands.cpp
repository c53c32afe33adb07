#include "frame/commands.h"

namespace vexlo {

const char* CommandPrompt(int id) {
    switch (id) {
        case ID_VIEW_GRAPHBAR:
            return "Mostrar u Ocultar la Barra de Gráfico\nCambiar Barra de Gráfico";
        case ID_VIEW_GROUPBAR:
            return "Mostrar u Ocultar la Barra de Grupos\nCambiar Barra de Grupos";
        case ID_VIEW_QUEUEBAR:
            return "Mostrar u Ocultar la Barra de Cola de Descarga\nCambiar barra de Cola";
        case ID_SETTINGS:
            return "Ver Configuraciones del Programa\nConfigurar";
        case ID_START:
            return "Iniciar Descarga de Elementos en Cola de Descarga\nIniciar";
        case ID_STOP_NOW:
            return "Para Descarga de Elementos Immediatamente\nParar Ahora";
        case ID_STOP_GRACEFULLY:
            return "Stop Downloading Items, But Let Current Items Finish\nStop (Gracefully)";
        case ID_HISTORY:
            return "Ver História de Descarga\nHistória";
        case ID_FIND:
            return "Find Binaries In Group(s)\nFind";
        case ID_SCAN_SELECTED:
            return "Escanear Grupo(s) Seleccionados para Nuevas cabeceras\nEscanear";
        case ID_SCAN_ALL:
            return "Scan All Groups For New Headers\nScan All";
        case ID_ADD_GROUP:
            return "Add New Newsgroup To Group Window\nNew Group ...";
        case ID_DELETE_GROUPS:
            return "Remove Selected Group(s) From Group Window\nRemove Group(s)";
        case ID_RESET_GROUPS:
            return "Reset Selected Group(s) In Group Window\nReset Group(s)";
        case ID_SET_SAVE_TO:
            return "Set Newsgroup's Default Save-To Directory\nSave-To Path ...";
        case ID_SERVER_GROUPS:
            return "Open Server Group List Dialog\nServer Groups";
        case ID_GROUPS_SELECT_ALL:
            return "Select All Groups In Newsgroup Window\nSelect All";
        case ID_QUEUE_DELETE:
            return "Delete Selected Task(s) From Queue\nDelete";
        case ID_TASK_INFO:
            return "Display Task Information (Select Only One Task)\nTask Info";
        case ID_QUEUE_REQUEUE:
            return "Queue Selected Task Items For Processing\nQueue Item(s)";
        case ID_QUEUE_UP:
            return "Move Selected Task(s) Up In Queue\nMove Up";
        case ID_QUEUE_DOWN:
            return "Move Selected Task(s) Down In Queue\nMove Down";
        case ID_QUEUE_TOP:
            return "Move Selected Task(s) To Top Of Queue\nMove To Top";
        case ID_QUEUE_BOTTOM:
            return "Move Selected Task(s) To Bottom Of Queue\nMove To Bottom";
        case ID_QUEUE_AFFINITY:
            return "Modify Channel Affinity For Selected Tasks In Queue\nAffinity";
        case ID_HIDE_GROUPBAR:
            return "Hides Newsgroup Window\nHide Newsgroup Window";
        case ID_HIDE_QUEUEBAR:
            return "Hides Queue Window\nHide Queue Window";
        // The framework's standard prompts.
        case ID_APP_ABOUT:
            return "Display program information, version number and copyright\nAbout";
        case ID_APP_EXIT:
            return "Quit the application; prompts to save documents\nExit";
        case ID_VIEW_TOOLBAR:
            return "Show or hide the toolbar\nToggle ToolBar";
        case ID_VIEW_STATUS_BAR:
            return "Show or hide the status bar\nToggle StatusBar";
        // The header view's commands.
        case ID_GET_DECODE:
            return "Obtener y Decodificar los Archivos Seleccionados\nObtener Y Decodificar";
        case ID_GET_TEXT:
            return "Obtener los Archivos Seleccionados Como Texto\nObtener Como Texto";
        case ID_JOIN_PARTS:
            return "Unir los Mensajes Seleccionados en un Archivo\nUnir Partes";
        case ID_FILTER:
            return "Filtrar la Lista de Cabeceras\nFiltrar";
        case ID_CLEAR_FILTER:
            return "Borrar el Filtro de la Lista de Cabeceras\nBorrar Filtro";
        case ID_NEW_ONLY:
            return "Mostrar Solo los Elementos Nuevos\nSolo Nuevo";
        case ID_VIEW_BIN:
            return "Ver la Lista de Archivos Binarios\nVer BIN";
        case ID_VIEW_MSG:
            return "Ver la Lista de Mensajes\nVer MSG";
        default:
            return "";
    }
}

CommandState EvaluateCommand(int id, const CommandContext& c) {
    using Agent = CommandContext::Agent;
    auto toggle = [](bool shown) { return CommandState{true, shown, true}; };
    auto enabled = [](bool on) { return CommandState{on, false, false}; };
    switch (id) {
        case ID_VIEW_GRAPHBAR:
            return toggle(c.graphBarShown);
        case ID_VIEW_GROUPBAR:
            return toggle(c.groupBarShown);
        case ID_VIEW_QUEUEBAR:
            return toggle(c.queueBarShown);
        case ID_VIEW_TOOLBAR:
            return toggle(c.toolBarShown);
        case ID_VIEW_STATUS_BAR:
            return toggle(c.statusBarShown);
        case ID_START:
            return enabled(c.agent == Agent::Stopped || c.agent == Agent::Stopping);
        case ID_STOP_NOW:
            return enabled(c.agent != Agent::Stopped);
        case ID_STOP_GRACEFULLY:
            return enabled(c.agent == Agent::Running);
        case ID_SCAN_SELECTED:
        case ID_DELETE_GROUPS:
        case ID_RESET_GROUPS:
        case ID_SET_SAVE_TO:
            return enabled(c.groupsSelected > 0);
        case ID_GROUPS_SELECT_ALL:
            return enabled(c.groupRows > 0);
        case ID_QUEUE_SELECT_ALL:
            return enabled(c.queueRows > 0);
        case ID_QUEUE_DELETE:
        case ID_QUEUE_REQUEUE:
        case ID_QUEUE_UP:
        case ID_QUEUE_DOWN:
        case ID_QUEUE_TOP:
        case ID_QUEUE_BOTTOM:
        case ID_QUEUE_AFFINITY:
            return enabled(c.tasksSelected > 0);
        case ID_TASK_INFO:
            return enabled(c.tasksSelected == 1);
        case ID_GET_DECODE:
        case ID_GET_TEXT:
            return enabled(c.headerRowsSelected > 0 && c.binariesMode);
        case ID_JOIN_PARTS:
            return enabled(c.headerRowsSelected > 0 && !c.binariesMode);
        case ID_FILTER:
            return enabled(c.groupOpen);
        case ID_CLEAR_FILTER:
            return enabled(c.filterSet);
        case ID_NEW_ONLY:
            return {c.groupOpen, c.showOnlyNew, true};
        case ID_VIEW_BIN:
            return {c.groupOpen, c.binariesMode, true};
        case ID_VIEW_MSG:
            return {c.groupOpen, !c.binariesMode, true};
        default:
            return enabled(true);
    }
}

}  // namespace vexlo
