// Questions and notices put to the user: message boxes, the input box, the open dialog
// and the folder browser. The program shows real dialogs (QtPrompts in app/); tests and the
// CLI answer through ScriptedPrompts.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace larderly {

// What a message box looks like.
enum class PromptKind { Information, Warning, Error, Confirmation };

// Which buttons it offers.
enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel, YesCancel, RetryCancel };

// Which button was pressed.
enum class PromptAnswer { Ok, Cancel, Yes, No, Retry };

class Prompts {
public:
    virtual ~Prompts() = default;

    // A message box with the given buttons; returns the button pressed (Cancel when the
    // box is closed without a choice). An empty caption means the program's own caption.
    virtual PromptAnswer message(PromptKind kind, const std::string& text,
                                 PromptButtons buttons = PromptButtons::Ok,
                                 const std::string& caption = {}) = 0;

    // The input box: nullopt when cancelled, else the text entered.
    virtual std::optional<std::string> input(const std::string& caption, const std::string& prompt,
                                             const std::string& initial = {}) = 0;

    // The open dialog. `filters` are "Description (*.a *.b)" entries. Empty when cancelled.
    virtual std::vector<std::string> openFiles(const std::string& title,
                                               const std::vector<std::string>& filters,
                                               const std::string& startFolder,
                                               bool multiple) = 0;

    // The folder browser: nullopt when cancelled.
    virtual std::optional<std::string> browseFolder(const std::string& title,
                                                    const std::string& startFolder) = 0;
};

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
        std::string what; // "message", "input", "open", "folder"
        std::string text; // message text, input prompt, dialog title
        PromptKind kind = PromptKind::Information;
        PromptButtons buttons = PromptButtons::Ok;
    };

    // Queue answers.
    ScriptedPrompts& answer(PromptAnswer a, std::string expectText = {});
    ScriptedPrompts& answerInput(std::optional<std::string> value, std::string expectText = {});
    ScriptedPrompts& answerOpen(std::vector<std::string> files, std::string expectText = {});
    ScriptedPrompts& answerFolder(std::optional<std::string> folder, std::string expectText = {});

    // When set, messages with only an Ok button are answered Ok without a script entry
    // (they are still recorded in asked()).
    void setAutoAcknowledge(bool on) { autoAck_ = on; }

    const std::vector<Asked>& asked() const { return asked_; }
    const std::vector<std::string>& failures() const { return failures_; }
    bool done() const { return script_.empty(); }
    std::size_t pending() const { return script_.size(); }
    // The texts of all messages asked so far, in order.
    std::vector<std::string> messages() const;

    PromptAnswer message(PromptKind kind, const std::string& text, PromptButtons buttons,
                         const std::string& caption) override;
    std::optional<std::string> input(const std::string& caption, const std::string& prompt,
                                     const std::string& initial) override;
    std::vector<std::string> openFiles(const std::string& title,
                                       const std::vector<std::string>& filters,
                                       const std::string& startFolder, bool multiple) override;
    std::optional<std::string> browseFolder(const std::string& title,
                                            const std::string& startFolder) override;

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

// Answers every question without asking anybody: Yes/Ok/Retry to questions (Cancel when the
// same Ok/Cancel or Retry/Cancel question comes again at once), nothing to dialogs.
// Used by the CLI, where overwrite questions are answered yes. Messages are passed to the
// sink (stderr in the CLI).
class AutoPrompts : public Prompts {
public:
    explicit AutoPrompts(std::function<void(const std::string&)> sink = {}) : sink_(std::move(sink)) {}
    PromptAnswer message(PromptKind kind, const std::string& text, PromptButtons buttons,
                         const std::string& caption) override;
    std::optional<std::string> input(const std::string&, const std::string&,
                                     const std::string& initial) override { return initial; }
    std::vector<std::string> openFiles(const std::string&, const std::vector<std::string>&,
                                       const std::string&, bool) override { return {}; }
    std::optional<std::string> browseFolder(const std::string&, const std::string& start) override {
        return start;
    }

private:
    std::function<void(const std::string&)> sink_;
    std::string lastRetryText_;
};

} // namespace larderly
