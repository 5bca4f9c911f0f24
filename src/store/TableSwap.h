// Putting a restored set of table files in place of the current one. The swap runs in the
// restore's staging folder (in temp/, beside data/) and keeps its journal there: the folder
// that holds the old files is named after how far the swap got, so that a run stopped at any
// step (a kill, a crash, a power cut) is completed or undone by the next program, store,
// backup or restore that starts, and the data folder always holds one whole set.
#pragma once

#include <string>

namespace larderly {

// Moves the four table files in `staging` in place of those of `dataFolder`; the old files
// (with a journal a crashed writer left beside them) leave first, the new ones come in, and
// the derived files (the search index) go, to be built afresh. False when a step failed: the
// old files are then back in place, unless `*keep` says that some are still in the staging
// folder, which must then be kept for a later run's clean-up.
bool SwapInTableFiles(const std::string& staging, const std::string& dataFolder, bool* keep);

// Completes or undoes what an interrupted swap left in `staging`: once the old set was all
// out, the new one comes in whole; before that, the old files go back. False when a file
// could not be moved (the folder must then stay).
bool RecoverTableSwap(const std::string& staging, const std::string& dataFolder);

// Removes the staging folders that ended runs left in the program folder's temp/, finishing
// an interrupted swap first, and the temporary archive files of older runs. The recovery
// needs the data folder's restore lock (FolderLock.h); without `restoreLockHeld` it is taken
// here, and when another process has the tables open (it recovered them as it opened them),
// only the folders without a journal go.
void CleanUpTempFolder(const std::string& programFolder, bool restoreLockHeld = false);

} // namespace larderly
