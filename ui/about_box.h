// The About box: the program's name and version, what it does, the
// application directory it works in, and a link. Main thread only.
#pragma once

class QWidget;

namespace vexlo {
class CAppContext;
}

namespace vexlo::ui {

void ShowAboutBox(QWidget* parent, const CAppContext& context);

}  // namespace vexlo::ui
