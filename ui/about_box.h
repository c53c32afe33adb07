// The About box: the program's name and version, what it does, the
// application directory it works in, and a link to the project's page.
// Main thread only.
#pragma once

#include <QDialog>

namespace vexlo {
class CAppContext;
}

namespace vexlo::ui {

class CAboutBox : public QDialog {
    Q_OBJECT

  public:
    CAboutBox(const CAppContext& context, QWidget* parent = nullptr);
};

void ShowAboutBox(QWidget* parent, const CAppContext& context);

}  // namespace vexlo::ui
