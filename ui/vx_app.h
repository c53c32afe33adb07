// CVXApp: the desktop program's start-up and end — the application
// directory, DATA and LOGS, the profile, the debug log, settings and
// statistics, the main window shown centred (maximized when it was closed
// so), the caption refreshed once the event loop runs, and the settings sheet
// opened at once when no server is set. Main thread only.
#pragma once

#include <memory>
#include <string>

#include "core/app_context.h"
#include "tasks/task_handlers.h"
#include "ui/qt_message_box.h"

namespace vexlo {
class CMainController;
}

namespace vexlo::ui {

class CMainFrame;

class CVXApp {
  public:
    // The application works in `appDir` (ending with "/").
    explicit CVXApp(std::string appDir);
    ~CVXApp();

    // The start-up steps; false when the program must end (the reason was shown).
    bool InitInstance();
    CMainFrame* MainFrame() const { return frame_.get(); }
    CAppContext& Context() { return context_; }
    CMainController& Controller() { return *controller_; }

  private:
    CQtMessageBox box_;
    CAppContext context_;
    CTaskHandlers handlers_;
    std::unique_ptr<CMainController> controller_;
    std::unique_ptr<CMainFrame> frame_;
};

}  // namespace vexlo::ui
