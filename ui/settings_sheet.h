// The settings sheet "Vexlo Program Settings": the Server, Options and
// Statistics pages (the Server page left out while the agent runs), the
// server test dialog the Server page opens, and what applying the Options
// page changes at once in the window. Main thread only.
#pragma once

#include <functional>

class QWidget;

namespace vexlo {
class CAppContext;
}

namespace vexlo::ui {

struct SettingsSheetHooks {
    // The Options page applied: the caption is rebuilt.
    std::function<void()> updateTitle;
    // The Options page applied: the three lists take the full-row options.
    std::function<void()> applyFullRow;
};

// Runs the sheet modally. The caller saves the settings afterwards, however
// the sheet closed.
void RunSettingsSheet(QWidget* parent, CAppContext& context, bool withServerPage,
                      const SettingsSheetHooks& hooks);

}  // namespace vexlo::ui
