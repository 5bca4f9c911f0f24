// The filter dialog (placeholder).
#include "workspace/TfmFilter.h"

namespace larderly {

TfmFilter::TfmFilter(WorkspaceHost& host, QWidget* parent) : QDialog(parent), host_(host) {
    setObjectName("fmFilter");
    setWindowTitle("Filter Recipes");
}

bool TfmFilter::RecipeMatchesFilter(const TRecipeSummary&) const { return true; }

} // namespace larderly
