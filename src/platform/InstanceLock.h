// The lock that names the one program in charge of a data folder: the file larderly.lock in
// the folder, held with an advisory flock for as long as the holder runs. The kernel lets go
// of the lock when the holder ends, a crash included, so a file left behind by a program
// that has ended is simply taken over. The file holds what the holder is ("larderly") and its
// process id, to name it in a message; the file itself is never removed (a removal could let
// two programs each lock a file of that name).
#pragma once

#include <string>

namespace larderly {

inline constexpr const char* kInstanceLockFile = "larderly.lock";

class InstanceLock {
public:
    // The lock of `dataFolder`; nothing is taken yet.
    explicit InstanceLock(std::string dataFolder);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes the lock for this process, creating the folder when needed, and records `holder`
    // with the process id. False when another holder has it (or the file cannot be made).
    bool TryLock(const std::string& holder);
    void Unlock();
    // Why the last TryLock could not even open the file ("" when the file opened and only
    // another holder kept the lock): a read-only folder, a folder in its place.
    const std::string& Problem() const { return problem_; }
    bool Locked() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }

    // Who holds the lock of `dataFolder` ("larderly (process 1234)"), or empty when nobody
    // does. A lock held by this same process through another InstanceLock counts as held.
    static std::string Holder(const std::string& dataFolder);

private:
    std::string path_;
    int fd_ = -1;
    std::string problem_;
};

} // namespace larderly
