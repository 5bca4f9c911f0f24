// File-system helpers over POSIX calls.
#include "platform/FileUtil.h"

#include "platform/DriveMap.h"
#include "platform/Errors.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <signal.h>
#include <streambuf>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <unistd.h>

namespace larderly::fileutil {

namespace {

bool IsSep(char c) {
    return c == '/' || c == '\\';
}

std::size_t LastSep(const std::string& path) {
    return path.find_last_of("/\\");
}

mode_t CurrentUmask() {
    // umask can only be read by setting it; put it straight back.
    mode_t m = ::umask(0);
    ::umask(m);
    return m;
}

bool CopyAndRemove(const std::string& from, const std::string& to) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st {};
    if (::fstat(in, &st) != 0) {
        ::close(in);
        return false;
    }
    // Write beside the destination first so that `to` is replaced in one step.
    auto tmp = MakeTempFile(ParentFolder(to), ".mv");
    if (!tmp) {
        ::close(in);
        return false;
    }
    int out = ::open(tmp->c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    bool ok = out >= 0;
    char buf[65536];
    while (ok) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        for (ssize_t done = 0; ok && done < n;) {
            ssize_t w = ::write(out, buf + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0)
                ok = false;
            else
                done += w;
        }
    }
    if (out >= 0) {
        if (ok) ::fchmod(out, st.st_mode & 07777);
        if (ok) ok = ::fsync(out) == 0;
        if (::close(out) != 0) ok = false;
    }
    ::close(in);
    if (ok) {
        struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::utimensat(AT_FDCWD, tmp->c_str(), times, 0);
        ok = ::rename(tmp->c_str(), to.c_str()) == 0;
    }
    if (!ok) {
        ::unlink(tmp->c_str());
        return false;
    }
    ::unlink(from.c_str());
    return true;
}

} // namespace

std::optional<uint8_t> FileAttributes(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    uint8_t a = 0;
    if (!(st.st_mode & S_IWUSR)) a |= kAttrReadOnly;
    std::string name = ExtractFileName(path);
    if (!name.empty() && name[0] == '.' && name != "." && name != "..") a |= kAttrHidden;
    if (S_ISDIR(st.st_mode))
        a |= kAttrDirectory;
    else if (S_ISREG(st.st_mode))
        a |= kAttrArchive;
    return a;
}

namespace {

// The permissions a file of mode `mode` gets from the read-only bit of `attributes`: set
// removes every write bit, clear gives the owner write access back.
mode_t AttributeMode(mode_t mode, uint8_t attributes) {
    mode &= 07777;
    if (attributes & kAttrReadOnly) return mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    return mode | S_IWUSR;
}

} // namespace

bool ApplyAttributes(const std::string& path, uint8_t attributes) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    const mode_t mode = AttributeMode(st.st_mode, attributes);
    return mode == (st.st_mode & 07777) || ::chmod(path.c_str(), mode) == 0;
}

bool ApplyAttributesFd(int fd, uint8_t attributes) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    const mode_t mode = AttributeMode(st.st_mode, attributes);
    return mode == (st.st_mode & 07777) || ::fchmod(fd, mode) == 0;
}

uint32_t ToDosStamp(std::time_t t) {
    struct tm lt {};
    if (!::localtime_r(&t, &lt)) return (1u << 5 | 1u) << 16;
    int year = lt.tm_year + 1900;
    if (year < 1980) return (1u << 5 | 1u) << 16; // 1 January 1980, 00:00:00
    if (year > 2107) return ((127u << 9) | (12u << 5) | 31u) << 16 | (23u << 11) | (59u << 5) | 29u;
    uint32_t date = static_cast<uint32_t>((year - 1980) << 9 | (lt.tm_mon + 1) << 5 | lt.tm_mday);
    uint32_t time = static_cast<uint32_t>(lt.tm_hour << 11 | lt.tm_min << 5 | (lt.tm_sec / 2));
    return date << 16 | time;
}

std::time_t FromDosStamp(uint32_t stamp) {
    uint32_t date = stamp >> 16, time = stamp & 0xFFFF;
    struct tm lt {};
    lt.tm_year = static_cast<int>((date >> 9) & 0x7F) + 80;
    lt.tm_mon = static_cast<int>((date >> 5) & 0x0F) - 1;
    lt.tm_mday = static_cast<int>(date & 0x1F);
    lt.tm_hour = static_cast<int>((time >> 11) & 0x1F);
    lt.tm_min = static_cast<int>((time >> 5) & 0x3F);
    lt.tm_sec = static_cast<int>((time & 0x1F) * 2);
    if (lt.tm_mon < 0) lt.tm_mon = 0;
    if (lt.tm_mday == 0) lt.tm_mday = 1;
    lt.tm_isdst = -1;
    return ::mktime(&lt);
}

std::optional<uint32_t> FileDosStamp(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return ToDosStamp(st.st_mtime);
}

bool SetFileDosStamp(const std::string& path, uint32_t stamp) {
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = FromDosStamp(stamp);
    times[0].tv_nsec = times[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool SetFileDosStampFd(int fd, uint32_t stamp) {
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = FromDosStamp(stamp);
    times[0].tv_nsec = times[1].tv_nsec = 0;
    return ::futimens(fd, times) == 0;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::optional<int64_t> FileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<int64_t>(st.st_size);
}

int64_t FreeSpace(const std::string& path) {
    std::string p = path.empty() ? std::string(".") : ToForwardSlashes(path);
    for (;;) {
        if (DirectoryExists(p)) {
            struct statvfs vs {};
            if (::statvfs(p.c_str(), &vs) != 0) return -1;
            return static_cast<int64_t>(vs.f_bavail) * static_cast<int64_t>(vs.f_frsize);
        }
        p = ExcludeTrailingSeparator(p);
        std::size_t s = p.rfind('/');
        if (s == std::string::npos)
            p = ".";
        else if (s == 0)
            p = "/";
        else
            p = p.substr(0, s);
    }
}

bool MakeDirectories(const std::string& folder) {
    std::string f = ExcludeTrailingSeparator(ToForwardSlashes(folder));
    if (f.empty() || DirectoryExists(f)) return !f.empty();
    std::size_t s = f.rfind('/');
    if (s != std::string::npos && s > 0 && !MakeDirectories(f.substr(0, s))) return false;
    if (::mkdir(f.c_str(), 0777) == 0) return true;
    return errno == EEXIST && DirectoryExists(f);
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool MoveFile(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
    if (errno != EXDEV) return false;
    return CopyAndRemove(from, to);
}

bool MoveFileStep(const std::string& from, const std::string& to) {
    static const long exitAt = [] {
        const char* v = std::getenv("LARDERLY_TEST_EXIT_AT_RENAME");
        return v ? std::strtol(v, nullptr, 10) : 0L;
    }();
    static long steps = 0;
    if (exitAt > 0 && ++steps == exitAt) ::_exit(137);
    if (!MoveFile(from, to)) return false;
    // Each step is on the disk before the next one starts, so that a power cut, like a
    // kill, leaves the steps done in their order.
    const std::string into = ParentFolder(to), outOf = ParentFolder(from);
    SyncFolder(into);
    if (outOf != into) SyncFolder(outOf);
    return true;
}

void SyncFolder(const std::string& folder) {
    const int dir =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    ::fsync(dir);
    ::close(dir);
}

bool ProcessGone(long pid) {
    if (pid <= 0) return false;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) return true;
    std::FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (!f) return false;
    char line[512] = {};
    const std::size_t n = std::fread(line, 1, sizeof line - 1, f);
    std::fclose(f);
    // "pid (name) S ...": the state follows the name's closing parenthesis.
    const char* close = std::strrchr(line, ')');
    if (n == 0 || !close || close[1] != ' ') return false;
    return close[2] == 'Z' || close[2] == 'X';
}

std::optional<TempFileAt> MakeTempFileAt(int folderFd, const std::string& prefix) {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    const std::string start = prefix + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = start;
        for (int i = 0; i < 6; ++i)
            name += kLetters[random() % (sizeof kLetters - 1)];
        // The permissions an ordinary new file gets: 0666 less the umask.
        const int fd = ::openat(folderFd, name.c_str(),
                                O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) return TempFileAt{fd, std::move(name)};
        if (errno != EEXIST) return std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::string> MakeTempFile(const std::string& folder, const std::string& prefix) {
    const std::string where = folder.empty() ? std::string(".") : folder;
    const int dir = ::open(where.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return std::nullopt;
    const auto made = MakeTempFileAt(dir, prefix);
    ::close(dir);
    if (!made) return std::nullopt;
    ::close(made->fd);
    return IncludeTrailingSeparator(where) + made->name;
}

std::optional<std::string> MakeTempDirectory(const std::string& parent, const std::string& prefix) {
    std::string base = parent;
    if (base.empty()) {
        const char* t = std::getenv("TMPDIR");
        base = (t && *t) ? t : "/tmp";
    }
    std::string pattern = IncludeTrailingSeparator(base) + prefix + "XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data())) return std::nullopt;
    return std::string(buf.data());
}

bool RemoveTree(const std::string& folder) {
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISDIR(st.st_mode)) return ::unlink(folder.c_str()) == 0;
    bool ok = true;
    for (const auto& e : ListDirectory(folder))
        ok = RemoveTree(folder + "/" + e.name) && ok;
    return ::rmdir(folder.c_str()) == 0 && ok;
}

std::vector<DirEntry> ListDirectory(const std::string& folder) {
    std::vector<DirEntry> out;
    std::string f = folder.empty() ? std::string(".") : folder;
    DIR* d = ::opendir(f.c_str());
    if (!d) return out;
    while (struct dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        DirEntry de;
        de.name = name;
        struct stat st {};
        std::string full = IncludeTrailingSeparator(f) + name;
        if (::lstat(full.c_str(), &st) == 0) {
            de.isSymlink = S_ISLNK(st.st_mode);
            if (de.isSymlink && ::stat(full.c_str(), &st) != 0) st.st_mode = 0;
            de.isDirectory = S_ISDIR(st.st_mode);
            de.isRegular = S_ISREG(st.st_mode);
        }
        out.push_back(std::move(de));
    }
    ::closedir(d);
    std::sort(out.begin(), out.end(),
              [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return out;
}

FileLock::FileLock(int fd) {
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) fd_ = fd;
}

FileLock::~FileLock() {
    release();
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        release();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

void FileLock::release() {
    if (fd_ >= 0) ::flock(fd_, LOCK_UN);
    fd_ = -1;
}

bool CanOpenExclusive(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd); // closing drops the lock
    return ok;
}

bool CanOpenExclusiveAt(int folderFd, const std::string& name) {
    const int fd = ::openat(folderFd, name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    const bool ok =
        ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd); // closing drops the lock
    return ok;
}

std::string ExtractFilePath(const std::string& path) {
    std::size_t s = LastSep(path);
    return s == std::string::npos ? std::string() : path.substr(0, s + 1);
}

std::string ExtractFileName(const std::string& path) {
    std::size_t s = LastSep(path);
    return s == std::string::npos ? path : path.substr(s + 1);
}

std::string ExtractFileExt(const std::string& path) {
    std::string name = ExtractFileName(path);
    std::size_t d = name.rfind('.');
    return d == std::string::npos ? std::string() : name.substr(d);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
    std::size_t s = LastSep(path);
    std::size_t d = path.rfind('.');
    if (d == std::string::npos || (s != std::string::npos && d < s)) return path + ext;
    return path.substr(0, d) + ext;
}

std::string IncludeTrailingSeparator(const std::string& path) {
    if (path.empty() || IsSep(path.back())) return path;
    return path + "/";
}

std::string ExcludeTrailingSeparator(std::string path) {
    while (path.size() > 1 && IsSep(path.back()))
        path.pop_back();
    return path;
}

std::string ParentFolder(const std::string& path) {
    std::string f = ExtractFilePath(path);
    return f.empty() ? std::string(".") : ExcludeTrailingSeparator(f);
}

std::string ToForwardSlashes(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::string CurrentFolder() {
    std::vector<char> buf(4096);
    while (!::getcwd(buf.data(), buf.size())) {
        if (errno != ERANGE) return "./";
        buf.resize(buf.size() * 2);
    }
    return IncludeTrailingSeparator(buf.data());
}

std::string MapDrivePath(const std::string& path, const std::map<char, std::string>& drives) {
    if (const char letter = DriveLetterOf(path)) {
        auto it = drives.find(letter);
        if (it != drives.end()) {
            std::string rest = ToForwardSlashes(path.substr(2));
            while (!rest.empty() && rest.front() == '/')
                rest.erase(rest.begin());
            return IncludeTrailingSeparator(it->second) + rest;
        }
    }
    return ToForwardSlashes(path);
}

} // namespace larderly::fileutil

namespace larderly::fileutil {

namespace {

constexpr const char* kOutputTempTag = ".larderly-tmp-";
// Older exports named their temporary file this way; a killed one left it behind.
constexpr const char* kOldExportTag = ".larderly-export-";
constexpr std::time_t kStaleAfterSeconds = 24 * 60 * 60;

// A stream buffer that writes to a file descriptor and keeps the first error.
class FdBuf : public std::streambuf {
public:
    explicit FdBuf(int fd) : fd_(fd) { setp(buf_, buf_ + sizeof buf_); }
    int Error() const { return err_; }
    bool Drain() {
        const char* p = pbase();
        std::size_t left = static_cast<std::size_t>(pptr() - pbase());
        while (left > 0 && err_ == 0) {
            const ssize_t n = ::write(fd_, p, left);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                err_ = n < 0 ? errno : EIO;
                break;
            }
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        setp(buf_, buf_ + sizeof buf_);
        return err_ == 0;
    }

protected:
    int_type overflow(int_type c) override {
        if (!Drain()) return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override { return Drain() ? 0 : -1; }

private:
    int fd_;
    int err_ = 0;
    char buf_[65536];
};

// The digits of a process id followed by "-" and at least one more character, as the tags
// above are followed in our temporary names; 0 when the text is not of that form.
pid_t TaggedPid(const char* text) {
    pid_t pid = 0;
    const char* p = text;
    while (*p >= '0' && *p <= '9' && p - text < 10)
        pid = pid * 10 + (*p++ - '0');
    return (p > text && p[0] == '-' && p[1] != '\0') ? pid : 0;
}

// Removes the regular file `name` of the folder `d`, one of ours made by process `pid`, when
// that process is gone or the file is over a day old.
void RemoveIfStale(DIR* d, const char* name, pid_t pid, std::time_t now) {
    if (pid <= 0) return;
    struct stat st {};
    if (::fstatat(::dirfd(d), name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
        st.st_uid != ::geteuid())
        return;
    if (ProcessGone(pid) || now - st.st_mtime > kStaleAfterSeconds) ::unlinkat(::dirfd(d), name, 0);
}

EInOutError WriteFailure(const std::string& target, int err) {
    return EInOutError("Unable to write " + target + ": " + std::strerror(err ? err : EIO));
}

EInOutError RefusedTarget(const std::string& target, const std::string& why) {
    return EInOutError("Cannot write " + target + ": " + why +
                       ". Only a regular file is replaced; choose another file name.");
}

} // namespace

std::string ReplaceRefusal(const std::string& path) {
    return ReplaceRefusalAt(AT_FDCWD, path);
}

std::string ReplaceRefusalAt(int folderFd, const std::string& name) {
    struct stat st {};
    if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return {};
    if (S_ISREG(st.st_mode)) return {};
    if (S_ISLNK(st.st_mode)) return "it is a symbolic link";
    if (S_ISDIR(st.st_mode)) return "it is a folder";
    if (S_ISFIFO(st.st_mode)) return "it is a named pipe";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "it is a device";
    if (S_ISSOCK(st.st_mode)) return "it is a socket";
    return "it is not a regular file";
}

void RemoveStaleOutputFiles(const std::string& folder) {
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return;
    const std::time_t now = std::time(nullptr);
    while (const dirent* e = ::readdir(d)) {
        const char* name = e->d_name;
        if (name[0] != '.') continue;
        pid_t pid = 0;
        if (const char* tag = std::strstr(name, kOutputTempTag))
            pid = TaggedPid(tag + std::strlen(kOutputTempTag));
        else if (std::strncmp(name, kOldExportTag, std::strlen(kOldExportTag)) == 0)
            pid = TaggedPid(name + std::strlen(kOldExportTag));
        RemoveIfStale(d, name, pid, now);
    }
    ::closedir(d);
}

void RemoveStaleTempFiles(const std::string& folder, const std::string& prefix) {
    const int dir =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    RemoveStaleTempFiles(dir, prefix);
    ::close(dir);
}

void RemoveStaleTempFiles(int folderFd, const std::string& prefix) {
    // The listing gets a descriptor of its own; the caller's stays open.
    const int own = ::dup(folderFd);
    if (own < 0) return;
    DIR* d = ::fdopendir(own);
    if (!d) {
        ::close(own);
        return;
    }
    ::rewinddir(d);
    const std::time_t now = std::time(nullptr);
    while (const dirent* e = ::readdir(d)) {
        const char* name = e->d_name;
        if (prefix.empty() || std::strncmp(name, prefix.c_str(), prefix.size()) != 0) continue;
        // Exactly "<prefix><pid>-" and the six characters mkstemp fills in.
        const char* tail = name + prefix.size();
        const char* dash = std::strchr(tail, '-');
        if (!dash || std::strlen(dash + 1) != 6) continue;
        RemoveIfStale(d, name, TaggedPid(tail), now);
    }
    ::closedir(d);
}

struct OutputFile::Impl {
    explicit Impl(int f) : fd(f), buf(f), stream(&buf) {}
    int fd;
    FdBuf buf;
    std::ostream stream;
    bool done = false;
};

OutputFile::OutputFile(const std::string& target) : target_(target) {
    if (const std::string why = ReplaceRefusal(target); !why.empty())
        throw RefusedTarget(target, why);
    const std::string folder = ParentFolder(target);
    RemoveStaleOutputFiles(folder);
    // The name is cut so that the temporary name stays within the file system's limit.
    std::string name = ExtractFileName(target).substr(0, 120);
    std::string pattern = IncludeTrailingSeparator(folder) + "." + name + kOutputTempTag +
                          std::to_string(::getpid()) + "-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    const int fd = ::mkostemp(buf.data(), O_CLOEXEC);
    if (fd < 0) throw WriteFailure(target, errno);
    temp_ = buf.data();
    // A replaced file keeps its permissions; a new one gets those of any new file.
    struct stat st {};
    const mode_t mode =
        ::stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : (0666 & ~CurrentUmask());
    ::fchmod(fd, mode);
    impl_ = std::make_unique<Impl>(fd);
}

OutputFile::~OutputFile() {
    if (impl_ && !impl_->done) Discard();
}

std::ostream& OutputFile::Stream() {
    return impl_->stream;
}

void OutputFile::Discard() {
    if (!impl_ || impl_->done) return;
    impl_->done = true;
    if (impl_->fd >= 0) ::close(impl_->fd);
    impl_->fd = -1;
    ::unlink(temp_.c_str());
}

void OutputFile::Commit() {
    if (!impl_ || impl_->done) throw WriteFailure(target_, EBADF);
    int err = 0;
    impl_->stream.flush();
    if (!impl_->buf.Drain()) err = impl_->buf.Error();
    if (err == 0 && ::fsync(impl_->fd) != 0) err = errno;
    const int fd = impl_->fd;
    impl_->fd = -1;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err != 0) {
        Discard();
        throw WriteFailure(target_, err);
    }
    // Something else may have taken the name while the file was written.
    if (const std::string why = ReplaceRefusal(target_); !why.empty()) {
        Discard();
        throw RefusedTarget(target_, why);
    }
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        err = errno;
        Discard();
        throw WriteFailure(target_, err);
    }
    impl_->done = true;
    // The rename itself is made durable with the folder.
    SyncFolder(ParentFolder(target_));
}

} // namespace larderly::fileutil
