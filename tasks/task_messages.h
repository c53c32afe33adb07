// The messages between the main thread and the channel threads. Their numbers
// are fixed: the first three go to a channel's queue, WM_TASK_DONE to the
// main thread's.
#pragma once

#include <cstdint>

namespace vexlo {

inline constexpr uint32_t WM_TASK_QUIT = 3074;       // leave the message loop
inline constexpr uint32_t WM_TASK_RUN = 3075;        // wParam: the CTask to run
inline constexpr uint32_t WM_TASK_IDLE = 3076;       // close the connection if it is open
inline constexpr uint32_t WM_TASK_DONE = 3077;       // wParam: the CTask; lParam: channel index
inline constexpr uint32_t WM_WORKER_QUIT = 3124;     // server worker: leave the loop
inline constexpr uint32_t WM_WORKER_CONNECT = 3125;  // server worker: connection test job
inline constexpr uint32_t WM_WORKER_LIST = 3126;     // server worker: LIST job
inline constexpr uint32_t WM_REFRESH_TITLE = 3224;   // rebuild the main window's caption

}  // namespace vexlo
