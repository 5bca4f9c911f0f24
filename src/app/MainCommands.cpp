// The list of the main window's commands.
#include "app/MainCommands.h"

#include "app/TfmMain.h"

namespace larderly {

void InstallMainCommands(TfmMain& main) {
    main.SetCommandHandler(MainCommand::Filter, FilterRecipes);
    main.SetCommandHandler(MainCommand::Print, PrintRecipe);
    main.SetCommandHandler(MainCommand::Import, ImportRecipes);
    main.SetCommandHandler(MainCommand::Backup, BackupRecipes);
    main.SetCommandHandler(MainCommand::Restore, RestoreRecipes);
    main.SetCommandHandler(MainCommand::Export, ExportRecipes);
    main.SetCommandHandler(MainCommand::PrintBook, PrintBook);
}

} // namespace larderly
