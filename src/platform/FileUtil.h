// File-system helpers shared by the engines: MS-DOS attributes and stamps, free space,
// temporary names, advisory locks, folder creation, listings and path pieces. Plain
// C++20 + POSIX; "/" is the separator.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace larderly::fileutil {

// MS-DOS attribute bits as archives and listings carry them.
inline constexpr uint8_t kAttrReadOnly = 0x01;
inline constexpr uint8_t kAttrHidden = 0x02;
inline constexpr uint8_t kAttrSystem = 0x04;
inline constexpr uint8_t kAttrVolume = 0x08;
inline constexpr uint8_t kAttrDirectory = 0x10;
inline constexpr uint8_t kAttrArchive = 0x20;

// The MS-DOS attributes of a file: read-only when the owner may not write it, hidden when
// its name starts with ".", directory for folders, archive on every regular file.
// Nothing for a path that does not exist.
std::optional<uint8_t> FileAttributes(const std::string& path);

// Applies the read-only bit of `attributes` (the only one that means anything here):
// set removes every write bit, clear gives the owner write access back. False on failure.
bool ApplyAttributes(const std::string& path, uint8_t attributes);

// Local time <-> MS-DOS stamp (date in the high 16 bits, time in the low 16, two-second
// steps). Times before 1980 give 1 January 1980; after 2107 the last day of 2107.
uint32_t ToDosStamp(std::time_t t);
std::time_t FromDosStamp(uint32_t stamp);

// The stamp of a file's last change; nothing when it does not exist.
std::optional<uint32_t> FileDosStamp(const std::string& path);
// Sets a file's modification (and access) time from an MS-DOS stamp.
bool SetFileDosStamp(const std::string& path, uint32_t stamp);

bool FileExists(const std::string& path); // anything but a folder
bool DirectoryExists(const std::string& path);
bool PathExists(const std::string& path); // file or folder
std::optional<int64_t> FileSize(const std::string& path);

// Free bytes for an unprivileged writer at the nearest existing folder of `path` (the path
// itself, else its parents). -1 when the query fails.
int64_t FreeSpace(const std::string& path);

// Creates the folder and every missing parent, parents first. True when it exists after.
bool MakeDirectories(const std::string& folder);

// Deletes a file; true when it is gone (also when it never existed).
bool RemoveFile(const std::string& path);

// Renames `from` to `to`, replacing `to` in one step. Across file systems the file is
// copied and the original removed. False on failure (`from` is then left in place).
bool MoveFile(const std::string& from, const std::string& to);

// MoveFile for one step of a multi-step file change (the swap of a backup set or of the
// table files), whose journal must bring back one whole set after a stop at any step. For
// the tests of that, LARDERLY_TEST_EXIT_AT_RENAME=N ends the process at once, as a kill
// would, just before its Nth such step. A step done is synced to the disk, both folders.
bool MoveFileStep(const std::string& from, const std::string& to);

// Makes the renames and removals in `folder` durable (fsync of the folder itself).
void SyncFolder(const std::string& folder);

// True when process `pid` has ended: there is none, or it is a zombie that its parent has
// not reaped yet (a killed process whose parent has not looked at it, or died with it). A
// zombie holds no file or lock any more, so what it left behind may be cleaned up. False
// for a running process, also one of another user, and for a pid of 0 or less.
bool ProcessGone(long pid);

// A new empty file "<folder>/<prefix><pid>-XXXXXX" made with mkstemp and given the
// permissions an ordinary new file gets (0666 less the umask). The process id in the name
// lets RemoveStaleTempFiles tell a file left by a killed run. Nothing when it cannot be made.
std::optional<std::string> MakeTempFile(const std::string& folder, const std::string& prefix);

// Removes from `folder` the files of MakeTempFile with this prefix that no running process
// of ours owns any more (the process that made them is gone, or they are over a day old).
void RemoveStaleTempFiles(const std::string& folder, const std::string& prefix);

// --- Work inside a folder held open (a descriptor opened with O_DIRECTORY) ---
// Names are single path parts of that folder; none of these follows a symbolic link, so a
// link put in the folder's place or in a name's place meanwhile is never written through.

// A file of MakeTempFile's form made in the folder, with its name and a descriptor open for
// reading and writing (the caller closes it). Nothing when it cannot be made.
struct TempFileAt {
    int fd = -1;
    std::string name;
};
std::optional<TempFileAt> MakeTempFileAt(int folderFd, const std::string& prefix);
// RemoveStaleTempFiles for the folder open as `folderFd`.
void RemoveStaleTempFiles(int folderFd, const std::string& prefix);
// ReplaceRefusal for the name `name` of the folder open as `folderFd`.
std::string ReplaceRefusalAt(int folderFd, const std::string& name);
// CanOpenExclusive for the name `name` of the folder open as `folderFd`; only a regular file
// passes.
bool CanOpenExclusiveAt(int folderFd, const std::string& name);
// ApplyAttributes and SetFileDosStamp on an open file.
bool ApplyAttributesFd(int fd, uint8_t attributes);
bool SetFileDosStampFd(int fd, uint32_t stamp);

// A new empty folder made with mkdtemp in `parent` (the system's temporary folder when empty).
std::optional<std::string> MakeTempDirectory(const std::string& parent = {},
                                             const std::string& prefix = "larderly");

// Removes a folder and everything below it. True when it is gone.
bool RemoveTree(const std::string& folder);

// One entry of a folder listing.
struct DirEntry {
    std::string name;
    bool isDirectory = false;
    bool isRegular = false;
    bool isSymlink = false;
};

// The entries of a folder without "." and "..", sorted by name (byte order) so that the
// order is the same on every run. Empty when the folder cannot be read.
std::vector<DirEntry> ListDirectory(const std::string& folder);

// An advisory exclusive lock (flock) held on a file descriptor for the object's lifetime.
class FileLock {
public:
    FileLock() = default;
    // Tries to lock `fd` without waiting; locked() tells whether it worked.
    explicit FileLock(int fd);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;

    bool locked() const { return fd_ >= 0; }
    void release();

private:
    int fd_ = -1;
};

// True when `path` can be opened for reading and writing and locked exclusively right now
// (a read-only file, a folder or a file another process holds locked fails).
bool CanOpenExclusive(const std::string& path);

// A file written for the user (an export, a saved report). The bytes go to a temporary file
// beside the target, ".NAME.larderly-tmp-PID-XXXXXX"; Commit flushes and syncs it and renames
// it over the target in one step, so the target is either the old file or the whole new one.
// Only a regular file or a new name is replaced: a symbolic link, folder, named pipe, socket
// or device node is refused before anything is written. A file that is not committed
// (a failed write, an exception on the way) is removed again, and temporary files that an
// earlier run left beside the target (its process is gone, or they are over a day old) are
// removed when the next output to that folder starts. Failures raise EInOutError naming the
// target and the cause.
class OutputFile {
public:
    explicit OutputFile(const std::string& target);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    const std::string& Target() const { return target_; }
    const std::string& TempPath() const { return temp_; }
    // The stream on the temporary file; a failed write shows in Commit.
    std::ostream& Stream();
    // Writes the whole temporary file and replaces the target with it.
    void Commit();
    // Removes the temporary file; the target stays as it was.
    void Discard();

private:
    struct Impl;
    std::string target_, temp_;
    std::unique_ptr<Impl> impl_;
};

// Why `path` may not be replaced by a new file ("it is a symbolic link", ...), or "" when
// it is a regular file or does not exist.
std::string ReplaceRefusal(const std::string& path);

// Removes the temporary files of OutputFile that no running process of ours owns any more
// (the process that made them is gone, or they are over a day old) from `folder`.
void RemoveStaleOutputFiles(const std::string& folder);

// --- Path pieces ("/" separated; "\" is treated as a separator too) ---

// The folder part including its final separator ("a/b/" of "a/b/c.txt"), "" for none.
std::string ExtractFilePath(const std::string& path);
// The name after the last separator.
std::string ExtractFileName(const std::string& path);
// The extension from the last "." of the name, including the dot; "" for none.
std::string ExtractFileExt(const std::string& path);
// Replaces the extension of the name (or appends `ext` when it has none).
std::string ChangeFileExt(const std::string& path, const std::string& ext);
// Appends "/" to a non-empty path that does not end with a separator.
std::string IncludeTrailingSeparator(const std::string& path);
// Removes the separators at the end of a path, but keeps "/" (the root) as it is.
std::string ExcludeTrailingSeparator(std::string path);
// The folder holding `path` without its final separator ("." for a bare name).
std::string ParentFolder(const std::string& path);
// Turns every "\" into "/".
std::string ToForwardSlashes(std::string path);
// The current folder with a final "/".
std::string CurrentFolder();

// Maps a drive-letter path ("X:\..." or "X:/...") to a folder through `drives` (letter in
// upper case -> folder); other paths only have "\" turned into "/". A letter without a
// mapping is left as it is. (DriveMap.h maps through the settings file.)
std::string MapDrivePath(const std::string& path, const std::map<char, std::string>& drives);

} // namespace larderly::fileutil

namespace larderly {
// The file-system helpers are also used unqualified across the engines.
using fileutil::DirectoryExists;
using fileutil::FileExists;
using fileutil::MakeDirectories;
using fileutil::MakeTempDirectory;
using fileutil::MakeTempFile;
using fileutil::MoveFile;
using fileutil::PathExists;
using fileutil::RemoveFile;
using fileutil::RemoveTree;
} // namespace larderly
