// Staging folders with an owner lock, and the removal of those whose owner has ended.
#include "platform/StagingFolder.h"

#include "platform/FileUtil.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace larderly {

namespace {

// An open descriptor of a folder (not following a symbolic link), -1 on failure.
int OpenFolder(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

} // namespace

StagingFolder StagingFolder::Create(const std::string& parent) {
    StagingFolder s;
    const std::string prefix = std::string(kStagingPrefix) + std::to_string(::getpid()) + "-";
    auto dir = MakeTempDirectory(parent, prefix);
    if (!dir) return s;
    s.path_ = *dir;
    // The lock is what tells other runs that the folder is in use. Between the folder's
    // creation and the lock the owner's process id in the name keeps it safe.
    s.fd_ = OpenFolder(s.path_);
    if (s.fd_ >= 0 && ::flock(s.fd_, LOCK_EX | LOCK_NB) != 0) {
        ::close(s.fd_);
        s.fd_ = -1;
    }
    return s;
}

StagingFolder::~StagingFolder() {
    Release();
}

StagingFolder::StagingFolder(StagingFolder&& other) noexcept
    : path_(std::move(other.path_)), fd_(other.fd_) {
    other.path_.clear();
    other.fd_ = -1;
}

StagingFolder& StagingFolder::operator=(StagingFolder&& other) noexcept {
    if (this != &other) {
        Release();
        path_ = std::move(other.path_);
        fd_ = other.fd_;
        other.path_.clear();
        other.fd_ = -1;
    }
    return *this;
}

void StagingFolder::Keep() {
    path_.clear();
    Release();
}

void StagingFolder::Release() {
    // The folder goes while it is still locked, so no other run takes it for a stale one
    // half-way through.
    if (!path_.empty()) RemoveTree(path_);
    path_.clear();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool IsStagingFolderName(const std::string& name, long* pid) {
    const std::string prefix = kStagingPrefix;
    if (name.compare(0, prefix.size(), prefix) != 0) return false;
    std::size_t i = prefix.size(), start = i;
    long n = 0;
    while (i < name.size() && name[i] >= '0' && name[i] <= '9' && i - start < 10)
        n = n * 10 + (name[i++] - '0');
    // The process id, a dash and mkdtemp's six characters.
    if (i == start || i >= name.size() || name[i] != '-' || name.size() - i - 1 != 6) return false;
    if (pid) *pid = n;
    return true;
}

int RemoveStaleStagingFolders(const std::string& parent,
                              const std::function<bool(const std::string&)>& recover) {
    int removed = 0;
    for (const auto& e : fileutil::ListDirectory(parent)) {
        long pid = 0;
        if (!e.isDirectory || e.isSymlink || !IsStagingFolderName(e.name, &pid)) continue;
        // A live owner, or one whose id another process has taken since: leave it. A killed
        // owner that is still a zombie holds nothing any more.
        if (pid > 0 && !fileutil::ProcessGone(pid)) continue;
        const std::string path = fileutil::IncludeTrailingSeparator(parent) + e.name;
        int fd = OpenFolder(path);
        if (fd < 0) continue;
        // Another run may be cleaning up the same folder right now.
        const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (!locked && errno == EWOULDBLOCK) {
            ::close(fd);
            continue;
        }
        if (!recover || recover(path)) {
            if (RemoveTree(path)) ++removed;
        }
        ::close(fd);
    }
    return removed;
}

} // namespace larderly
