// Message boxes on the command line: every text becomes a line on stderr and
// every question is answered positively (the command asked for it already).
#pragma once

#include "core/message_box.h"

namespace vexlo::cli {

class CStderrMessageBox : public IMessageBox {
  public:
    MessageAnswer Show(std::string_view text, MessageIcon icon, MessageButtons buttons) override;
    // How many messages other than questions were shown (warnings and errors).
    int Problems() const { return problems_; }

  private:
    int problems_ = 0;
};

}  // namespace vexlo::cli
