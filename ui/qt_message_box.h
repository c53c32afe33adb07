// The engine's message boxes as QMessageBox dialogs: the "\r\n" of the fixed
// texts become line breaks, the icon and buttons are the ones asked for, and
// the wait cursor is lifted while the box is up. Main thread only.
#pragma once

#include <QPointer>
#include <QWidget>

#include "core/message_box.h"

namespace vexlo::ui {

class CQtMessageBox : public IMessageBox {
  public:
    // Boxes open over `parent` (the main window once it exists).
    void SetParent(QWidget* parent) { parent_ = parent; }
    MessageAnswer Show(std::string_view text, MessageIcon icon, MessageButtons buttons) override;

  private:
    QPointer<QWidget> parent_;
};

// The fixed text with its "\r\n" turned into "\n".
QString MessageBoxText(std::string_view text);

}  // namespace vexlo::ui
