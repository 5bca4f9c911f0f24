// Who may work on a data folder at the same time. Beside the program's own lock on the whole
// of data/larderly.lock (InstanceLock: one window per folder), the file carries two one-byte
// locks of the kind the kernel keeps per open file and drops when the holder ends:
//
//  - the tables lock: shared by every process while it has the tables open (the window, an
//    import, a backup, a listing), exclusive for a restore, which replaces the files and so
//    never starts while another process has them open, and which nobody opens meanwhile;
//  - the writer lock: exclusive for one writing job at a time (a command-line import for its
//    whole run, a change made in the window for its transaction, a restore). Its holder
//    writes its record (what it is, its process id) into the file, so that whoever waits can
//    say for what.
//
// A restore takes the tables lock before the writer lock, and every writer holds the tables
// lock before it asks for the writer lock, so no two of them wait for each other.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

namespace larderly {

// The lock file cannot be used at all (a read-only folder, a folder in its place).
class EFolderLockError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Why the lock file of `dataFolder` cannot be opened, from the open's errno: a read-only
// folder, a folder or a symbolic link in its place, and what to do about it.
std::string LockFileProblem(const std::string& dataFolder, int err);

enum class FolderLockKind {
    Tables,  // shared: the tables are open here
    Restore, // exclusive tables lock and writer lock: the files are being replaced
    Writer   // exclusive: this process writes
};

class FolderLock {
public:
    FolderLock(std::string dataFolder, FolderLockKind kind);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // One try; `job` names the holder in the record of a writer or restore ("the import").
    // False when another process holds a lock in the way. Raises EFolderLockError when the
    // lock file cannot be made or opened; a read-only folder, which nobody can restore into
    // or write, lets a Tables lock through without one.
    bool TryTake(const std::string& job = {});
    // Tries until the lock is taken or `timeoutMs` has passed (negative: no limit). Before
    // the first wait `waiting` gets the text that says for what ("Waiting for the import in
    // process 1234 to finish...").
    bool Take(const std::string& job, int timeoutMs,
              const std::function<void(const std::string&)>& waiting = {});
    void Release();
    bool Held() const { return held_; }

    // What keeps this lock from being taken, in words: the wait notice of a writer or a
    // restore, or, for a Tables lock, that the folder is being restored.
    std::string BusyText() const;

    // The running writing job of a data folder ("the import in process 1234"), empty when
    // none runs.
    static std::string Writer(const std::string& dataFolder);

private:
    std::string folder_, path_;
    FolderLockKind kind_;
    int fd_ = -1;
    bool held_ = false;
};

} // namespace larderly
