// What every window test needs: a temporary application directory with its
// context (settings, profile, statistics), a message box that records what
// would have been shown and answers from a script, the standard task
// handlers and a controller over them.
//
// Construct one per test function (QtTest runs them on the main thread).
// Settings may be changed before Controller() is first called.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/app_context.h"
#include "support/recording_message_box.h"
#include "support/temp_dir.h"
#include "tasks/main_controller.h"
#include "tasks/task_handlers.h"

namespace vexlo::test {

class CUiHarness {
  public:
    CUiHarness();
    ~CUiHarness();

    const std::string& AppDir() const { return dir_.Path(); }
    CAppContext& Context() { return *context_; }
    CRecordingMessageBox& Box() { return box_; }
    // Created on first use (it reads the settings then).
    CMainController& Controller();
    // A second start in the same directory: a new context (settings and
    // statistics read again) and a new controller.
    void Restart();
    // Points the settings at the anonymous INN fixture with `conn` channels.
    void UseInnServer(int conn = 1);
    // The texts shown so far, and then forgets them.
    std::vector<std::string> TakeTexts();

  private:
    CTempDir dir_;
    CRecordingMessageBox box_;
    std::unique_ptr<CAppContext> context_;
    CTaskHandlers handlers_;
    std::unique_ptr<CMainController> controller_;
};

// Pumps the Qt event loop until `done()` holds or `timeoutMs` passed.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000);

}  // namespace vexlo::test
