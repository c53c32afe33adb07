// The main window's commands: their numbers, their status prompts and tool
// tips (the string table: prompt, then after "\n" the tip), and the rules
// that enable and check them in a given state of the window.
//
// The rules are plain functions of a CommandContext snapshot, so the window
// evaluates them whenever its menus and toolbar are refreshed and tests check
// them without a window. Thread: any (no shared state).
#pragma once

#include <cstdint>

namespace vexlo {

enum CommandId : int {
    ID_VIEW_GRAPHBAR = 32771,
    ID_VIEW_GROUPBAR = 32772,
    ID_VIEW_QUEUEBAR = 32773,
    ID_SETTINGS = 32774,
    ID_START = 32775,
    ID_STOP_NOW = 32776,
    ID_HISTORY = 32777,
    ID_GET_DECODE = 32780,
    ID_GET_TEXT = 32781,
    ID_SCAN_SELECTED = 32783,
    ID_SCAN_ALL = 32784,
    ID_FILTER = 32785,
    ID_CLEAR_FILTER = 32786,
    ID_VIEW_BIN = 32789,
    ID_VIEW_MSG = 32790,
    ID_ADD_GROUP = 32795,
    ID_DELETE_GROUPS = 32796,
    ID_SERVER_GROUPS = 32797,
    ID_QUEUE_DELETE = 32801,
    ID_QUEUE_TOP = 32802,
    ID_QUEUE_BOTTOM = 32803,
    ID_FIND = 32804,
    ID_STOP_GRACEFULLY = 32805,
    ID_RESET_GROUPS = 32806,
    ID_NEW_ONLY = 32807,
    ID_GROUPS_SELECT_ALL = 32810,
    ID_QUEUE_SELECT_ALL = 32812,
    ID_TASK_INFO = 32813,
    ID_QUEUE_REQUEUE = 32814,
    ID_QUEUE_UP = 32815,
    ID_QUEUE_DOWN = 32816,
    ID_HIDE_GROUPBAR = 32817,
    ID_HIDE_QUEUEBAR = 32818,
    ID_SET_SAVE_TO = 32819,
    ID_QUEUE_AFFINITY = 32820,
    ID_JOIN_PARTS = 32821,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,
};

// Window message numbers of the main window.
inline constexpr uint32_t WM_REFRESH_TITLE = 3224;
inline constexpr int kMainTimerId = 6502;
inline constexpr int kMainTimerPeriodMs = 1000;

// The status prompt and tool tip of a command ("prompt\ntip"); "" when the
// command has none of its own.
const char* CommandPrompt(int id);

// What the enable and check rules look at.
struct CommandContext {
    enum class Agent { NoChannels, Stopped, Running, Stopping } agent = Agent::NoChannels;
    int groupRows = 0;
    int groupsSelected = 0;
    int queueRows = 0;
    int tasksSelected = 0;
    // The header view.
    bool groupOpen = false;
    bool binariesMode = true;
    int headerRowsSelected = 0;
    bool filterSet = false;
    bool showOnlyNew = false;
    // The bars that can be shown and hidden.
    bool graphBarShown = true;
    bool groupBarShown = true;
    bool queueBarShown = true;
    bool toolBarShown = true;
    bool statusBarShown = true;
};

struct CommandState {
    bool enabled = true;
    bool checked = false;
    bool checkable = false;  // shows a check mark while checked
};

CommandState EvaluateCommand(int id, const CommandContext& context);

}  // namespace vexlo
