// Message boxes: the engine's fixed texts reach the user through this interface.
//
// The GUI shows a real dialog, the command line prints a line on stderr and
// answers questions itself, and tests record what would have been shown.
// Texts keep their "\r\n" line breaks; a front end turns them into its own.
// Implementations must be callable from the thread that owns the caller
// (the main thread for every message box of the engine).
#pragma once

#include <string>
#include <string_view>

namespace vexlo {

enum class MessageIcon { None, Stop, Exclamation, Information, Question };
enum class MessageButtons { Ok, OkCancel, YesNo, RetryCancel };
enum class MessageAnswer { Ok, Cancel, Yes, No, Retry };

class IMessageBox {
  public:
    virtual ~IMessageBox() = default;
    virtual MessageAnswer Show(std::string_view text, MessageIcon icon,
                               MessageButtons buttons = MessageButtons::Ok) = 0;
};

// Answers every question positively (OK, Yes, Retry) and shows nothing.
class CSilentMessageBox : public IMessageBox {
  public:
    MessageAnswer Show(std::string_view, MessageIcon, MessageButtons buttons) override;
};

// The positive answer for a set of buttons: Ok, Yes or Retry.
MessageAnswer PositiveAnswer(MessageButtons buttons);
// The negative answer for a set of buttons: Cancel, No (Ok for a plain box).
MessageAnswer NegativeAnswer(MessageButtons buttons);

}  // namespace vexlo
