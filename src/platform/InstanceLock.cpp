// The data folder's lock file over flock.
#include "platform/InstanceLock.h"

#include "platform/FileUtil.h"
#include "platform/FolderLock.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace larderly {

namespace {

std::string LockPath(const std::string& folder) {
    std::string p = folder;
    if (p.empty() || p.back() != '/') p += '/';
    return p + kInstanceLockFile;
}

std::string ReadAll(int fd) {
    std::string text;
    char buf[256];
    ssize_t n;
    ::lseek(fd, 0, SEEK_SET);
    while ((n = ::read(fd, buf, sizeof buf)) > 0 && text.size() < 64)
        text.append(buf, static_cast<std::size_t>(n));
    text.resize(std::min<std::size_t>(text.size(), 64));
    return text;
}

} // namespace

InstanceLock::InstanceLock(std::string dataFolder) : path_(LockPath(dataFolder)) {}

InstanceLock::~InstanceLock() {
    Unlock();
}

bool InstanceLock::TryLock(const std::string& holder) {
    if (fd_ >= 0) return true;
    problem_.clear();
    const std::string folder = path_.substr(0, path_.rfind('/'));
    fileutil::MakeDirectories(folder);
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        problem_ = LockFileProblem(folder, errno);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    // What a holder that has ended left in the file is replaced. The record fills its own
    // first bytes of the file only: a writing job's record follows it (FolderLock).
    std::string text = holder + "\n" + std::to_string(::getpid()) + "\n";
    text.resize(64, '\n');
    if (::pwrite(fd, text.data(), text.size(), 0) < 0) {
        // The lock holds without its description; a message then names no process.
    }
    fd_ = fd;
    return true;
}

void InstanceLock::Unlock() {
    if (fd_ < 0) return;
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

std::string InstanceLock::Holder(const std::string& dataFolder) {
    const std::string path = LockPath(dataFolder);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return {};
    // A shared lock is refused only while a holder has the exclusive one.
    if (::flock(fd, LOCK_SH | LOCK_NB) == 0) {
        ::flock(fd, LOCK_UN);
        ::close(fd);
        return {};
    }
    const std::string text = ReadAll(fd);
    ::close(fd);
    const auto nl = text.find('\n');
    std::string name = text.substr(0, nl);
    std::string pid =
        nl == std::string::npos ? "" : text.substr(nl + 1, text.find('\n', nl + 1) - nl - 1);
    while (!pid.empty() && (pid.back() == '\n' || pid.back() == '\r'))
        pid.pop_back();
    if (name.empty()) name = "another program";
    return pid.empty() ? name : name + " (process " + pid + ")";
}

} // namespace larderly
