// Staging folders of the backup and restore jobs. Each is named
// "larderly-staging-<pid>-XXXXXX" and stays locked (flock on the folder) by the process that
// made it for as long as that process runs, so a later run can tell a folder in use from one
// left behind by a crash, a kill or a power cut, and remove only the latter.
#pragma once

#include <functional>
#include <string>

namespace larderly {

inline constexpr const char* kStagingPrefix = "larderly-staging-";

class StagingFolder {
public:
    StagingFolder() = default;
    // A new, locked staging folder in `parent`; empty() when it cannot be made.
    static StagingFolder Create(const std::string& parent);
    // Removes the folder and everything in it, then lets go of the lock.
    ~StagingFolder();
    StagingFolder(StagingFolder&& other) noexcept;
    StagingFolder& operator=(StagingFolder&& other) noexcept;
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    bool empty() const { return path_.empty(); }
    const std::string& path() const { return path_; }
    // Lets go of the folder without removing it: it still holds something that must not be
    // lost, and a later run's clean-up takes care of it once this process has ended.
    void Keep();

private:
    void Release();
    std::string path_;
    int fd_ = -1;
};

// Whether a folder name has the staging folders' form, and the owner's process id in it.
bool IsStagingFolderName(const std::string& name, long* pid = nullptr);

// Removes the staging folders in `parent` whose owner has ended. `recover`, when given,
// runs first on each such folder while this process holds its lock, so that it can put back
// what an interrupted job had moved into it; a folder for which it returns false is kept.
// Returns how many folders were removed.
int RemoveStaleStagingFolders(const std::string& parent,
                              const std::function<bool(const std::string& folder)>& recover = {});

} // namespace larderly
