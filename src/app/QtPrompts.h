// The program's Prompts: real message boxes, the input box, the open and save dialogs and the
// folder browser. In the open dialog "*.*" lists every file (with or without a dot in its name),
// and a list of filters that starts with that catch-all preselects the next entry.
#pragma once

#include "platform/Prompts.h"

class QWidget;

namespace larderly {

class QtPrompts : public Prompts {
public:
    explicit QtPrompts(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }

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
    QWidget* parent_;
};

} // namespace larderly
