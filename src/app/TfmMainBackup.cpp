// The backup and restore commands (actBackupExecute, actRestoreExecute): each creates its
// dialog, shows it modally and destroys it; with "Backup to CD" ticked the backup dialog
// opens the CD backup dialog. After a restore the recipe list is rebuilt from
// the restored tables and shown, and the category pickers are refilled.
#include "app/MainCommands.h"

#include "app/TfmMain.h"

#include "backup/TfmBackup.h"
#include "backup/TfmCDBurn.h"
#include "backup/TfmRestore.h"
#include "workspace/TfmRecipeBook.h"
#include "workspace/TfmRecipes.h"

namespace larderly {

void BackupRecipes(TfmMain& main) {
    TfmBackup dlg(main, main.ApplicationPath(), &main);
    // "Backup to CD" hands over to the CD backup dialog, owned by the backup dialog.
    dlg.OnBackupToCD = [&main, &dlg] {
        TfmCDBurn cd(main, &dlg);
        cd.exec();
    };
    dlg.exec();
}

namespace {

void RebuildAfterRestore(TfmMain& main) {
    // A start-up that could not open the data built no panes: the restored data shows at
    // the next start.
    if (!main.fmRecipes) {
        main.UserPrompts().Message(PromptKind::Information,
                                   "Your data is restored. Close the program and start it "
                                   "again to see your recipes.");
        return;
    }
    // The editor shows nothing of the old tables; the list's first recipe follows.
    if (main.fmRecipes) main.fmRecipes->ShowRecipe(-1);
    main.LabelsChanged();
    main.BuildRecipeList();
    main.ShowRecipeList();
    // The book pane's lists came from the old tables too.
    if (main.fmRecipeBook && main.IsActivePane(main.fmRecipeBook)) main.actRecipeBookExecute();
}

} // namespace

void RestoreRecipes(TfmMain& main) {
    TfmRestore dlg(main, main.ApplicationPath(), &main);
    dlg.OnRestored = [&main] { RebuildAfterRestore(main); };
    dlg.exec();
}

} // namespace larderly
