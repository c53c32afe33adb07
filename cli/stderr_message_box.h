// Message boxes on the command line: every text becomes a line on stderr and
// every question is answered positively (the command asked for it already).
// A Retry/Cancel prompt is retried once a second for a while, then cancelled.
#pragma once

#include "core/message_box.h"

namespace vexlo::cli {

class CStderrMessageBox : public IMessageBox {
  public:
    MessageAnswer Show(std::string_view text, MessageIcon icon, MessageButtons buttons) override;
    // How many messages other than questions were shown (warnings and errors).
    int Problems() const { return problems_; }

  private:
    static constexpr int kRetryLimit = 30;
    int problems_ = 0;
    int retries_ = 0;
};

}  // namespace vexlo::cli
