#include "core/message_box.h"

namespace vexlo {

MessageAnswer PositiveAnswer(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::YesNo:
            return MessageAnswer::Yes;
        case MessageButtons::RetryCancel:
            return MessageAnswer::Retry;
        default:
            return MessageAnswer::Ok;
    }
}

MessageAnswer NegativeAnswer(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::YesNo:
            return MessageAnswer::No;
        case MessageButtons::OkCancel:
        case MessageButtons::RetryCancel:
            return MessageAnswer::Cancel;
        default:
            return MessageAnswer::Ok;
    }
}

MessageAnswer CSilentMessageBox::Show(std::string_view, MessageIcon, MessageButtons buttons) {
    return PositiveAnswer(buttons);
}

}  // namespace vexlo
