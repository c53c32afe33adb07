// CAppContext: the process-wide objects of one running application — the
// directories, the profile, the settings, the named locks, the debug log, the
// transfer statistics and the task progress table — and the message box that
// shows the engine's fixed texts.
//
// A program builds exactly one and hands it to the code that needs it; tests
// build their own over a temporary directory. Members are thread-safe as their
// own headers say; the settings are written only on the main thread.
#pragma once

#include <memory>
#include <string>

#include "core/app_settings.h"
#include "core/debug_log.h"
#include "core/message_box.h"
#include "core/named_locks.h"
#include "decode/output_claims.h"
#include "nntp/transfer_stats.h"
#include "platform/profile_store.h"
#include "tasks/progress_table.h"

namespace vexlo {

class CAppContext {
  public:
    // appDir ends with "/"; the profile is appDir + "DATA/_SETUP.INI".
    // `messageBox` must outlive the context. `clock` drives the statistics rings.
    CAppContext(std::string appDir, IMessageBox& messageBox, CTransferStats::Clock clock = {});

    // The start-up steps that touch files: create/verify DATA and LOGS (showing
    // the halting message on failure), open the debug log, load settings and
    // statistics. False means the program must not go on.
    bool Start();
    // The final writes of a close: statistics, then settings; closes the log.
    void Finish();

    const std::string& AppDir() const { return appDir_; }
    std::string DataPath() const { return appDir_ + "DATA/"; }

    IMessageBox& messageBox;
    CProfileStore profile;
    CAppSettings settings;
    CNamedLocks locks;
    CDebugLog log;
    CTransferStats stats;
    CTaskProgressTable progress;
    // Output files that unfinished downloads will resume (decode/output_claims.h).
    COutputClaims outputClaims;

  private:
    std::string appDir_;
};

}  // namespace vexlo
