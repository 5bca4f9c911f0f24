// The import command (Import1Click): the chosen recipe files go through the readers; the
// caption names the file being read, the list is redisplayed when recipes were added and
// the category pickers are refilled.
#include "app/TfmMain.h"

#include "import/ImportCommand.h"
#include "workspace/GuiSupport.h"

#include <QApplication>
#include <QCoreApplication>

#include <memory>

namespace larderly {
namespace {

void ImportRecipes(TfmMain& main) {
    std::unique_ptr<THourglass> hourglass;
    const QString caption = main.windowTitle();
    import::TImportCallbacks callbacks;
    callbacks.SetCaption = [&main](const std::string& text) { main.setWindowTitle(Q(text)); };
    callbacks.RestoreCaption = [&main, caption] { main.setWindowTitle(caption); };
    callbacks.ProcessMessages = [] { QCoreApplication::processEvents(); };
    callbacks.SetHourglass = [&hourglass](bool on) {
        if (on && !hourglass) hourglass = std::make_unique<THourglass>();
        if (!on) hourglass.reset();
    };
    callbacks.ShowRecipeList = [&main] { main.ShowRecipeList(); };
    callbacks.LabelsChanged = [&main] { main.LabelsChanged(); };
    import::RunImportCommand(main.UserPrompts(), main.Store(), main.Summaries(), callbacks, main.ImportFolder());
}

const MainCommandRegistrar kImport(MainCommand::Import, ImportRecipes);

} // namespace
} // namespace larderly
