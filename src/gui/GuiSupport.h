// Helpers every window shares: the hourglass cursor held for a scope, the error guard that
// turns an exception escaping a command into a message box, the help window opened at a
// help context, and the conversions between the program's UTF-8 strings and Qt's.
#pragma once

#include "platform/Prompts.h"

#include <QString>

#include <functional>
#include <string>

class QWidget;

namespace larderly {

inline QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
inline std::string S(const QString& s) {
    return s.toStdString();
}

// Shows the hourglass while alive; the normal cursor comes back in every case.
class THourglass {
public:
    THourglass();
    ~THourglass();
    THourglass(const THourglass&) = delete;
    THourglass& operator=(const THourglass&) = delete;
};

// Runs a command; an exception it raises is shown in an error box with its message and
// the program keeps running. Gives false when the command raised.
bool RunGuarded(Prompts& prompts, const std::function<void()>& command);

// The application's help file (Recipe.hlp beside the program); empty when there is none.
void SetHelpFile(const std::string& path);
const std::string& HelpFile();

// Opens the help window at "context-N" of the help file. Without a help file the user is
// told that there is none.
void ShowHelpContext(Prompts& prompts, int context, QWidget* parent = nullptr);

// Help contexts.
inline constexpr int kHelpMain = 1, kHelpRecipes = 2, kHelpBooks = 3, kHelpFilter = 4,
                     kHelpImport = 5, kHelpBackup = 6, kHelpRestore = 7, kHelpExport = 10,
                     kHelpCategories = 11, kHelpShopping = 12, kHelpCDBackup = 41;

// The help context a control carries for the F1 key.
void SetHelpContext(QWidget* w, int context);
// The context of the widget or its nearest parent that carries one; 1 when none does.
int HelpContextOf(const QWidget* w);

} // namespace larderly
