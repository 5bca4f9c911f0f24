// Scripted and automatic answers to the user's questions.
#include "platform/Prompts.h"

namespace larderly {

ScriptedPrompts& ScriptedPrompts::answer(PromptAnswer a, std::string expectText) {
    script_.push_back({"message", std::move(expectText), a, std::nullopt, {}});
    return *this;
}

ScriptedPrompts& ScriptedPrompts::answerInput(std::optional<std::string> value, std::string expectText) {
    script_.push_back({"input", std::move(expectText), PromptAnswer::Ok, std::move(value), {}});
    return *this;
}

ScriptedPrompts& ScriptedPrompts::answerOpen(std::vector<std::string> files, std::string expectText) {
    script_.push_back({"open", std::move(expectText), PromptAnswer::Ok, std::nullopt, std::move(files)});
    return *this;
}

ScriptedPrompts& ScriptedPrompts::answerFolder(std::optional<std::string> folder, std::string expectText) {
    script_.push_back({"folder", std::move(expectText), PromptAnswer::Ok, std::move(folder), {}});
    return *this;
}

std::vector<std::string> ScriptedPrompts::messages() const {
    std::vector<std::string> out;
    for (const auto& a : asked_)
        if (a.what == "message") out.push_back(a.text);
    return out;
}

ScriptedPrompts::Entry ScriptedPrompts::take(const std::string& what, const std::string& text) {
    if (script_.empty()) {
        failures_.push_back("unexpected " + what + ": " + text);
        throw UnexpectedPrompt("unexpected " + what + ": " + text);
    }
    Entry e = std::move(script_.front());
    script_.pop_front();
    if (e.what != what || (!e.expect.empty() && text.find(e.expect) == std::string::npos)) {
        failures_.push_back("expected " + e.what + " \"" + e.expect + "\", got " + what + ": " + text);
        throw UnexpectedPrompt(failures_.back());
    }
    return e;
}

PromptAnswer ScriptedPrompts::message(PromptKind kind, const std::string& text, PromptButtons buttons,
                                      const std::string&) {
    asked_.push_back({"message", text, kind, buttons});
    if (autoAck_ && buttons == PromptButtons::Ok &&
        (script_.empty() || script_.front().what != "message" ||
         (!script_.front().expect.empty() && text.find(script_.front().expect) == std::string::npos)))
        return PromptAnswer::Ok;
    return take("message", text).answer;
}

std::optional<std::string> ScriptedPrompts::input(const std::string&, const std::string& prompt,
                                                  const std::string&) {
    asked_.push_back({"input", prompt});
    return take("input", prompt).text;
}

std::vector<std::string> ScriptedPrompts::openFiles(const std::string& title,
                                                    const std::vector<std::string>&,
                                                    const std::string&, bool) {
    asked_.push_back({"open", title});
    return take("open", title).files;
}

std::optional<std::string> ScriptedPrompts::browseFolder(const std::string& title, const std::string&) {
    asked_.push_back({"folder", title});
    return take("folder", title).text;
}

PromptAnswer AutoPrompts::message(PromptKind, const std::string& text, PromptButtons buttons,
                                  const std::string&) {
    if (sink_) sink_(text);
    // Nobody can put a diskette in or mend a file meanwhile: the same "correct it and try
    // again" question asked twice in a row is answered Cancel instead of looping for ever.
    const bool again = text == lastRetryText_;
    lastRetryText_.clear();
    switch (buttons) {
    case PromptButtons::Ok: return PromptAnswer::Ok;
    case PromptButtons::OkCancel:
        if (again) return PromptAnswer::Cancel;
        lastRetryText_ = text;
        return PromptAnswer::Ok;
    case PromptButtons::RetryCancel:
        if (again) return PromptAnswer::Cancel;
        lastRetryText_ = text;
        return PromptAnswer::Retry;
    default: return PromptAnswer::Yes;
    }
}

} // namespace larderly
