// Automatic answers to the user's questions, for the CLI.
#include "platform/Prompts.h"

namespace larderly {

PromptAnswer AutoPrompts::Message(PromptKind, const std::string& text, PromptButtons buttons,
                                  const std::string&) {
    if (sink_) sink_(text);
    // Nobody can put a diskette in or mend a file meanwhile: the same "correct it and try
    // again" question asked twice in a row is answered Cancel instead of looping for ever.
    const bool again = text == lastRetryText_;
    lastRetryText_.clear();
    switch (buttons) {
    case PromptButtons::Ok:
        return PromptAnswer::Ok;
    case PromptButtons::OkCancel:
        if (again) return PromptAnswer::Cancel;
        lastRetryText_ = text;
        return PromptAnswer::Ok;
    case PromptButtons::RetryCancel:
        if (again) return PromptAnswer::Cancel;
        lastRetryText_ = text;
        return PromptAnswer::Retry;
    default:
        return PromptAnswer::Yes;
    }
}

} // namespace larderly
