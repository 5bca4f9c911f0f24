// A test double of the user's questions: answers come from a script, in order, and every
// question asked is recorded. Shared by the tests and benchmarks; the program itself never
// answers this way.
#pragma once

#include "platform/Prompts.h"

#include <deque>
#include <stdexcept>

namespace larderly {

// Raised by ScriptedPrompts when a question comes that the script did not expect.
class UnexpectedPrompt : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

// Answers questions from a script, in order. Each expectation may check the text it is
// asked (a substring match; empty matches anything). A question beyond the script, or one
// whose text does not match, is recorded in `failures()` and raises UnexpectedPrompt, so a
// test sees every unexpected question. Every question asked is kept in `asked()`.
class ScriptedPrompts : public Prompts {
public:
    struct Asked {
        std::string what; // "message", "input", "open", "folder", "save"
        std::string text; // message text, input prompt, dialog title
        PromptKind kind = PromptKind::Information;
        PromptButtons buttons = PromptButtons::Ok;
        std::string start; // the save dialog's folder and suggested name
    };

    // Queue answers.
    ScriptedPrompts& answer(PromptAnswer a, std::string expectText = {});
    ScriptedPrompts& AnswerInput(std::optional<std::string> value, std::string expectText = {});
    ScriptedPrompts& AnswerOpen(std::vector<std::string> files, std::string expectText = {});
    ScriptedPrompts& AnswerFolder(std::optional<std::string> folder, std::string expectText = {});
    ScriptedPrompts& AnswerSave(std::optional<std::string> file, std::string expectText = {});

    // When set, messages with only an Ok button are answered Ok without a script entry
    // (they are still recorded in asked()).
    void SetAutoAcknowledge(bool on) { autoAck_ = on; }

    const std::vector<Asked>& asked() const { return asked_; }
    const std::vector<std::string>& failures() const { return failures_; }
    bool done() const { return script_.empty(); }
    std::size_t pending() const { return script_.size(); }
    // The texts of all messages asked so far, in order.
    std::vector<std::string> messages() const;

    PromptAnswer Message(PromptKind kind, const std::string& text, PromptButtons buttons,
                         const std::string& caption) override;
    std::optional<std::string> Input(const std::string& caption, const std::string& prompt,
                                     const std::string& initial) override;
    std::vector<std::string> OpenFiles(const std::string& title,
                                       const std::vector<std::string>& filters,
                                       const std::string& startFolder, bool multiple) override;
    std::optional<std::string> BrowseFolder(const std::string& title,
                                            const std::string& startFolder) override;
    std::optional<std::string> SaveFile(const std::string& title,
                                        const std::vector<std::string>& filters,
                                        const std::string& startPath) override;

private:
    struct Entry {
        std::string what;
        std::string expect;
        PromptAnswer answer = PromptAnswer::Ok;
        std::optional<std::string> text;
        std::vector<std::string> files;
    };
    Entry take(const std::string& what, const std::string& text);

    std::deque<Entry> script_;
    std::vector<Asked> asked_;
    std::vector<std::string> failures_;
    bool autoAck_ = false;
};

inline ScriptedPrompts& ScriptedPrompts::answer(PromptAnswer a, std::string expectText) {
    script_.push_back({"message", std::move(expectText), a, std::nullopt, {}});
    return *this;
}

inline ScriptedPrompts& ScriptedPrompts::AnswerInput(std::optional<std::string> value,
                                                     std::string expectText) {
    script_.push_back({"input", std::move(expectText), PromptAnswer::Ok, std::move(value), {}});
    return *this;
}

inline ScriptedPrompts& ScriptedPrompts::AnswerOpen(std::vector<std::string> files,
                                                    std::string expectText) {
    script_.push_back(
        {"open", std::move(expectText), PromptAnswer::Ok, std::nullopt, std::move(files)});
    return *this;
}

inline ScriptedPrompts& ScriptedPrompts::AnswerFolder(std::optional<std::string> folder,
                                                      std::string expectText) {
    script_.push_back({"folder", std::move(expectText), PromptAnswer::Ok, std::move(folder), {}});
    return *this;
}

inline ScriptedPrompts& ScriptedPrompts::AnswerSave(std::optional<std::string> file,
                                                    std::string expectText) {
    script_.push_back({"save", std::move(expectText), PromptAnswer::Ok, std::move(file), {}});
    return *this;
}

inline std::vector<std::string> ScriptedPrompts::messages() const {
    std::vector<std::string> out;
    for (const auto& a : asked_)
        if (a.what == "message") out.push_back(a.text);
    return out;
}

inline ScriptedPrompts::Entry ScriptedPrompts::take(const std::string& what,
                                                    const std::string& text) {
    if (script_.empty()) {
        failures_.push_back("unexpected " + what + ": " + text);
        throw UnexpectedPrompt("unexpected " + what + ": " + text);
    }
    Entry e = std::move(script_.front());
    script_.pop_front();
    if (e.what != what || (!e.expect.empty() && text.find(e.expect) == std::string::npos)) {
        failures_.push_back("expected " + e.what + " \"" + e.expect + "\", got " + what + ": " +
                            text);
        throw UnexpectedPrompt(failures_.back());
    }
    return e;
}

inline PromptAnswer ScriptedPrompts::Message(PromptKind kind, const std::string& text,
                                             PromptButtons buttons, const std::string&) {
    asked_.push_back({"message", text, kind, buttons, {}});
    if (autoAck_ && buttons == PromptButtons::Ok &&
        (script_.empty() || script_.front().what != "message" ||
         (!script_.front().expect.empty() &&
          text.find(script_.front().expect) == std::string::npos)))
        return PromptAnswer::Ok;
    return take("message", text).answer;
}

inline std::optional<std::string>
ScriptedPrompts::Input(const std::string&, const std::string& prompt, const std::string&) {
    asked_.push_back({"input", prompt, PromptKind::Information, PromptButtons::Ok, {}});
    return take("input", prompt).text;
}

inline std::vector<std::string> ScriptedPrompts::OpenFiles(const std::string& title,
                                                           const std::vector<std::string>&,
                                                           const std::string&, bool) {
    asked_.push_back({"open", title, PromptKind::Information, PromptButtons::Ok, {}});
    return take("open", title).files;
}

inline std::optional<std::string> ScriptedPrompts::BrowseFolder(const std::string& title,
                                                                const std::string&) {
    asked_.push_back({"folder", title, PromptKind::Information, PromptButtons::Ok, {}});
    return take("folder", title).text;
}

inline std::optional<std::string> ScriptedPrompts::SaveFile(const std::string& title,
                                                            const std::vector<std::string>&,
                                                            const std::string& startPath) {
    asked_.push_back({"save", title, PromptKind::Information, PromptButtons::Ok, startPath});
    return take("save", title).text;
}

} // namespace larderly
