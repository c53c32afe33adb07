#include "cli/stderr_message_box.h"

#include <cstdio>
#include <string>

#include "cli/visible_text.h"
#include "platform/tick.h"

namespace vexlo::cli {

MessageAnswer CStderrMessageBox::Show(std::string_view text, MessageIcon icon,
                                      MessageButtons buttons) {
    if (icon == MessageIcon::Question) return PositiveAnswer(buttons);
    if (buttons == MessageButtons::RetryCancel) {
        // A group that stays locked (a scan is rewriting it) is waited for a
        // while, then skipped, instead of asking forever.
        if (++retries_ <= kRetryLimit) {
            if (retries_ == 1)
                std::fprintf(stderr, "vexlo: newsgroup locked (being updated), waiting ...\n");
            Sleep(1000);
            return MessageAnswer::Retry;
        }
        retries_ = 0;
    }
    const char* prefix = icon == MessageIcon::Stop          ? "error: "
                         : icon == MessageIcon::Exclamation ? "warning: "
                                                            : "";
    if (icon != MessageIcon::Information) ++problems_;
    std::string line(text);
    // The engine's texts break lines with "\r\n"; one line on stderr reads better.
    for (size_t pos; (pos = line.find("\r\n")) != std::string::npos;) line.replace(pos, 2, " ");
    for (size_t pos; (pos = line.find("  ")) != std::string::npos;) line.replace(pos, 2, " ");
    // Messages may quote a server's text.
    std::fprintf(stderr, "vexlo: %s%s\n", prefix, Visible(line).c_str());
    return PositiveAnswer(buttons);
}

}  // namespace vexlo::cli
