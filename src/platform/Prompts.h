// Questions and notices put to the user: message boxes, the input box, the open and save
// dialogs and the folder browser. The program shows real dialogs (QtPrompts in app/); the CLI
// answers through AutoPrompts (tests script their answers with tests/ScriptedPrompts.h).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace larderly {

// What a message box looks like.
enum class PromptKind { Information, Warning, Error, Confirmation };

// Which buttons it offers. Enter answers the first button, except in the ...Safe sets,
// where it answers the one that changes nothing (No, Cancel): for questions whose Yes
// destroys data.
enum class PromptButtons {
    Ok,
    OkCancel,
    YesNo,
    YesNoCancel,
    YesCancel,
    RetryCancel,
    YesNoSafe,
    YesCancelSafe
};

// Which button was pressed.
enum class PromptAnswer { Ok, Cancel, Yes, No, Retry };

class Prompts {
public:
    virtual ~Prompts() = default;

    // A message box with the given buttons; returns the button pressed (Cancel when the
    // box is closed without a choice). An empty caption means the program's own caption.
    virtual PromptAnswer Message(PromptKind kind, const std::string& text,
                                 PromptButtons buttons = PromptButtons::Ok,
                                 const std::string& caption = {}) = 0;

    // The input box: nullopt when cancelled, else the text entered.
    virtual std::optional<std::string> Input(const std::string& caption, const std::string& prompt,
                                             const std::string& initial = {}) = 0;

    // The open dialog. `filters` are "Description (*.a *.b)" entries. Empty when cancelled.
    virtual std::vector<std::string> OpenFiles(const std::string& title,
                                               const std::vector<std::string>& filters,
                                               const std::string& startFolder, bool multiple) = 0;

    // The folder browser: nullopt when cancelled.
    virtual std::optional<std::string> BrowseFolder(const std::string& title,
                                                    const std::string& startFolder) = 0;

    // The save dialog: `filters` as for the open dialog (the first is chosen, and its
    // extension is added to a name typed without one), `startPath` the folder and the name
    // it suggests. Asks before an existing file is replaced. nullopt when cancelled, which
    // is also the answer of prompts that show no dialogs.
    virtual std::optional<std::string> SaveFile(const std::string& title,
                                                const std::vector<std::string>& filters,
                                                const std::string& startPath) {
        (void)title;
        (void)filters;
        (void)startPath;
        return std::nullopt;
    }
};

// Answers every question without asking anybody: Yes/Ok/Retry to questions (Cancel when the
// same Ok/Cancel or Retry/Cancel question comes again at once), nothing to dialogs.
// Used by the CLI, where overwrite questions are answered yes. Messages are passed to the
// sink (stderr in the CLI).
class AutoPrompts : public Prompts {
public:
    explicit AutoPrompts(std::function<void(const std::string&)> sink = {})
        : sink_(std::move(sink)) {}
    PromptAnswer Message(PromptKind kind, const std::string& text, PromptButtons buttons,
                         const std::string& caption) override;
    std::optional<std::string> Input(const std::string&, const std::string&,
                                     const std::string& initial) override {
        return initial;
    }
    std::vector<std::string> OpenFiles(const std::string&, const std::vector<std::string>&,
                                       const std::string&, bool) override {
        return {};
    }
    std::optional<std::string> BrowseFolder(const std::string&, const std::string& start) override {
        return start;
    }

private:
    std::function<void(const std::string&)> sink_;
    std::string lastRetryText_;
};

} // namespace larderly
