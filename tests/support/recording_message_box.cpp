#include "support/recording_message_box.h"

namespace vexlo::test {

MessageAnswer CRecordingMessageBox::Show(std::string_view text, MessageIcon icon,
                                         MessageButtons buttons) {
    std::lock_guard lock(mutex_);
    shown_.push_back({std::string(text), icon, buttons});
    if (buttons == MessageButtons::Ok || answers_.empty()) return PositiveAnswer(buttons);
    const MessageAnswer answer = answers_.front();
    answers_.pop_front();
    return answer;
}

void CRecordingMessageBox::QueueAnswer(MessageAnswer answer) {
    std::lock_guard lock(mutex_);
    answers_.push_back(answer);
}

std::vector<CRecordingMessageBox::Shown> CRecordingMessageBox::Messages() const {
    std::lock_guard lock(mutex_);
    return shown_;
}

std::vector<std::string> CRecordingMessageBox::Texts() const {
    std::vector<std::string> texts;
    for (const Shown& shown : Messages()) texts.push_back(shown.text);
    return texts;
}

void CRecordingMessageBox::Clear() {
    std::lock_guard lock(mutex_);
    shown_.clear();
}

}  // namespace vexlo::test
