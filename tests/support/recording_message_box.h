// A message box for tests: records every text shown and answers from a script.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "core/message_box.h"

namespace vexlo::test {

class CRecordingMessageBox : public IMessageBox {
  public:
    struct Shown {
        std::string text;
        MessageIcon icon;
        MessageButtons buttons;
    };

    MessageAnswer Show(std::string_view text, MessageIcon icon, MessageButtons buttons) override;

    // Answers given to the next questions, in order; after them the positive answer.
    void QueueAnswer(MessageAnswer answer);
    std::vector<Shown> Messages() const;
    std::vector<std::string> Texts() const;
    void Clear();

  private:
    mutable std::mutex mutex_;
    std::vector<Shown> shown_;           // guarded by mutex_
    std::deque<MessageAnswer> answers_;  // guarded by mutex_
};

}  // namespace vexlo::test
