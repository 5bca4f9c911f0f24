// The tables and writer locks of a data folder, as byte-range locks on data/larderly.lock.
#include "platform/FolderLock.h"

#include "platform/FileUtil.h"
#include "platform/InstanceLock.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace larderly {

namespace {

// Where the locks and the writer's record sit in the file. The program's own record
// (InstanceLock) takes the first bytes; the locks lie past the end of both records.
constexpr off_t kWriterRecord = 64;
constexpr std::size_t kRecordSize = 64;
constexpr off_t kTablesByte = 1024;
constexpr off_t kWriterByte = 1025;

bool SetLock(int fd, off_t at, short type) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = at;
    fl.l_len = 1;
    return ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

// Whether another open file holds a lock on the byte that keeps one of `type` out.
bool LockedElsewhere(int fd, off_t at, short type) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = at;
    fl.l_len = 1;
    return ::fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
}

std::string LockFileOf(const std::string& folder) {
    return fileutil::IncludeTrailingSeparator(folder) + kInstanceLockFile;
}

} // namespace

std::string LockFileProblem(const std::string& folder, int err) {
    const std::string path = LockFileOf(folder);
    switch (err) {
    case EISDIR:
        return "The lock file " + path +
               " is a folder, not a file: remove or rename that folder, then try again.";
    case ELOOP:
        return "The lock file " + path +
               " is a symbolic link, which the program does not follow: remove it, then try "
               "again.";
    case EACCES:
    case EPERM:
    case EROFS:
        return "The data folder " + folder +
               " is read-only: give your user write permission to it, then try again.";
    default:
        return "The lock file " + path + " cannot be opened (" + std::strerror(err) +
               "): check the data folder, then try again.";
    }
}

FolderLock::FolderLock(std::string dataFolder, FolderLockKind kind)
    : folder_(std::move(dataFolder)), path_(LockFileOf(folder_)), kind_(kind) {}

FolderLock::~FolderLock() {
    Release();
}

bool FolderLock::TryTake(const std::string& job) {
    if (held_) return true;
    if (fd_ < 0) {
        fileutil::MakeDirectories(folder_);
        fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd_ < 0) {
            const int err = errno;
            const bool readOnly = err == EACCES || err == EPERM || err == EROFS;
            if (kind_ == FolderLockKind::Tables && readOnly) {
                // Nobody can replace or write the files of a read-only folder; reading them
                // needs no lock then (one that is there is still honoured).
                fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
                if (fd_ < 0) return held_ = true;
            } else {
                throw EFolderLockError(LockFileProblem(folder_, err));
            }
        }
    }
    switch (kind_) {
    case FolderLockKind::Tables:
        held_ = SetLock(fd_, kTablesByte, F_RDLCK);
        break;
    case FolderLockKind::Writer:
        held_ = SetLock(fd_, kWriterByte, F_WRLCK);
        break;
    case FolderLockKind::Restore:
        held_ = SetLock(fd_, kTablesByte, F_WRLCK);
        if (held_ && !SetLock(fd_, kWriterByte, F_WRLCK)) {
            SetLock(fd_, kTablesByte, F_UNLCK);
            held_ = false;
        }
        break;
    }
    if (held_ && kind_ != FolderLockKind::Tables) {
        std::string record = (job.empty() ? std::string("another program") : job) + "\n" +
                             std::to_string(::getpid()) + "\n";
        record.resize(kRecordSize, '\n');
        if (::pwrite(fd_, record.data(), record.size(), kWriterRecord) < 0) {
            // The lock holds without its record; a wait notice then names no process.
        }
    }
    return held_;
}

bool FolderLock::Take(const std::string& job, int timeoutMs,
                      const std::function<void(const std::string&)>& waiting) {
    const auto start = std::chrono::steady_clock::now();
    bool told = false;
    while (!TryTake(job)) {
        const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count();
        if (timeoutMs >= 0 && spent >= timeoutMs) return false;
        if (!told && waiting) waiting(BusyText());
        told = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

void FolderLock::Release() {
    if (fd_ >= 0) {
        if (held_ && kind_ != FolderLockKind::Tables) {
            // The record goes with the lock, so that nobody is named after it has ended.
            const std::string blank(kRecordSize, '\n');
            if (::pwrite(fd_, blank.data(), blank.size(), kWriterRecord) < 0) {
            }
        }
        ::close(fd_); // drops the locks of this open file
    }
    fd_ = -1;
    held_ = false;
}

std::string FolderLock::BusyText() const {
    const std::string writer = Writer(folder_);
    if (kind_ == FolderLockKind::Tables || writer.rfind("the restore", 0) == 0)
        return "The data folder " + folder_ +
               " is being restored; try again when the restore has finished.";
    if (!writer.empty()) return "Waiting for " + writer + " to finish...";
    return "Waiting for the other programs that have the data folder " + folder_ +
           " open to close it...";
}

std::string FolderLock::Writer(const std::string& dataFolder) {
    const std::string path = LockFileOf(dataFolder);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return {};
    std::string text;
    if (LockedElsewhere(fd, kWriterByte, F_RDLCK)) {
        char buf[kRecordSize];
        const ssize_t n = ::pread(fd, buf, sizeof buf, kWriterRecord);
        if (n > 0) text.assign(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (text.empty()) return {};
    const auto nl = text.find('\n');
    std::string name = text.substr(0, nl), pid;
    if (nl != std::string::npos) pid = text.substr(nl + 1, text.find('\n', nl + 1) - nl - 1);
    if (name.empty()) name = "another program";
    return pid.empty() ? name : name + " in process " + pid;
}

} // namespace larderly
