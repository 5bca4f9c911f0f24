// What the backup, restore and CD backup dialogs need from the window that opens them: the
// store (closed and reopened around a job), the prompts and the help file. Nothing of the
// panes or the recipe list.
#pragma once

namespace larderly {

class Prompts;
class TfmTables;

class BackupHost {
public:
    virtual ~BackupHost() = default;
    virtual TfmTables& Store() = 0;
    virtual Prompts& UserPrompts() = 0;
    // Opens the help file at a context.
    virtual void ShowHelp(int context) = 0;
};

} // namespace larderly
