// The filter dialog, created hidden at start-up and kept until the program ends.
// PLACEHOLDER: only what the main window needs until the real dialog replaces this file;
// it lets every recipe through.
#pragma once

#include "workspace/WorkspaceHost.h"

#include <QDialog>

namespace larderly {

class TfmFilter : public QDialog {
public:
    TfmFilter(WorkspaceHost& host, QWidget* parent = nullptr);
    // Whether a summary passes the filter; the recipe list asks it for every summary.
    bool RecipeMatchesFilter(const TRecipeSummary& summary) const;

private:
    WorkspaceHost& host_;
};

} // namespace larderly
