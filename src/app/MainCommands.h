// The main window's commands that live outside its core, each in a source file of its own
// (TfmMain*.cpp), and the one place that installs them on a main window.
#pragma once

namespace larderly {

class TfmMain;

void FilterRecipes(TfmMain& main);    // actFilterExecute
void PrintRecipe(TfmMain& main);      // actPrintExecute
void ImportRecipes(TfmMain& main);    // Import1Click
void BackupRecipes(TfmMain& main);    // actBackupExecute
void RestoreRecipes(TfmMain& main);   // actRestoreExecute
void ExportRecipes(TfmMain& main);    // Export1Click
void PrintBook(TfmMain& main);        // actPrintBookExecute
void OpenShoppingList(TfmMain& main); // actShoppingList

// Installs every command above on the window; the window's constructor calls it.
void InstallMainCommands(TfmMain& main);

} // namespace larderly
