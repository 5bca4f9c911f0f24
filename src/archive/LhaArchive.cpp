// The LHA archive component: Scan, Compress (rebuild or append), Expand and Verify.
#include "archive/LhaArchive.h"

#include "platform/FileUtil.h"
#include "platform/Prompts.h"
#include "platform/Text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace larderly {

namespace fu = fileutil;

namespace {

// The name start of the file an entry expands into before it replaces its target.
constexpr const char* kTempPrefix = "LHA";

// An archive opened for reading: the file, its exclusive lock and where its entries start.
struct ReadArchive {
    std::unique_ptr<TFileStream> stream;
    fu::FileLock lock;
    TLhaArchiveLayout layout;
};

// Opens `name` for reading with exclusive access: no other holder may have it meanwhile.
ReadArchive OpenForReading(const std::string& name) {
    ReadArchive a;
    a.stream = std::make_unique<TFileStream>(name, fmOpenRead);
    a.lock = fu::FileLock(a.stream->Handle());
    if (!a.lock.locked()) throw EFOpenError("Cannot open file " + name);
    a.layout = LocateArchive(*a.stream, name);
    return a;
}

std::string FolderKey(const std::string& path) {
    return UpperAZ(fu::ToForwardSlashes(fu::ExtractFilePath(path)));
}

// Splits a name into the part before its extension and the extension from the last ".";
// a name without extension has "." as its extension, a mask without one "*".
std::pair<std::string, std::string> SplitExt(const std::string& s, bool isMask) {
    const std::size_t dot = s.rfind('.');
    if (dot == std::string::npos) return {s, isMask ? "*" : "."};
    return {s.substr(0, dot), s.substr(dot)};
}

bool PartMatches(const std::string& name, const std::string& mask) {
    if (mask == "*" || mask == ".*") return true;
    if (name.empty() && mask.empty()) return true;
    // A "*" in the first place is an ordinary character; a later one ends the comparison.
    const std::size_t star = mask.size() > 1 ? mask.find('*', 1) : std::string::npos;
    std::size_t count = mask.size();
    if (star == std::string::npos) {
        if (name.size() != mask.size()) return false;
    } else {
        count = star;
        if (name.size() < count) return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (mask[i] == '?') continue;
        if (UpperAZ(mask[i]) != UpperAZ(name[i])) return false;
    }
    return true;
}

std::string FormatTwo(const std::string& pattern, const std::string& a, const std::string& b) {
    std::string out;
    int used = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's') {
            out += used == 0 ? a : used == 1 ? b : std::string();
            ++used;
            ++i;
        } else if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == '%') {
            out += '%';
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

// The nearest folder of `folder` (itself or a parent) that exists.
std::string NearestExistingFolder(std::string folder) {
    while (!fu::DirectoryExists(folder)) {
        const std::string up = fu::ParentFolder(folder);
        if (up == folder || up.empty()) return ".";
        folder = up;
    }
    return folder;
}

// The folder an entry expands into, held open. It is reached from the target folder one part
// at a time, each opened without following a symbolic link, so that a link in the target
// folder (there before the extraction, or put there while it runs) is refused by its name
// instead of being written through; the entry's file is then made, checked and renamed
// inside the folder held open, never by a path that could lead elsewhere meanwhile.
class EntryFolder {
public:
    enum class Walk {
        Make,     // missing folders are made
        Existing, // a missing folder fails
        Nearest   // the deepest folder there is (a check needs only room for its temporary file)
    };

    EntryFolder() = default;
    ~EntryFolder() {
        if (fd_ >= 0) ::close(fd_);
    }
    EntryFolder(const EntryFolder&) = delete;
    EntryFolder& operator=(const EntryFolder&) = delete;

    // Opens the folder of `target`: below `base` when the target lies there, else (a target
    // a handler chose elsewhere) its own folder as it is. False when it cannot be used, with
    // `why` saying so ("the folder X is a symbolic link", "it is a named pipe"), or empty
    // when a folder is missing or cannot be opened.
    bool Open(const std::string& base, const std::string& target, Walk walk, std::string& why) {
        std::string anchor, rest; // anchor "": the current folder
        if (base.empty() && !target.empty() && target[0] != '/') {
            rest = target;
        } else if (!base.empty() && target.compare(0, base.size(), base) == 0) {
            anchor = base;
            rest = target.substr(base.size());
        } else {
            anchor = fu::ExtractFilePath(target);
            rest = fu::ExtractFileName(target);
        }
        if (!anchor.empty()) {
            if (walk == Walk::Make) fu::MakeDirectories(anchor);
            if (walk == Walk::Nearest && !fu::DirectoryExists(anchor))
                anchor = NearestExistingFolder(anchor);
        }
        path_ = fu::IncludeTrailingSeparator(anchor);
        fd_ = ::open(anchor.empty() ? "." : anchor.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0) return false;

        std::vector<std::string> parts;
        for (std::size_t from = 0; from <= rest.size();) {
            std::size_t end = rest.find('/', from);
            if (end == std::string::npos) end = rest.size();
            const std::string part = rest.substr(from, end - from);
            if (!part.empty() && part != ".") parts.push_back(part);
            from = end + 1;
        }
        if (parts.empty() || rest.back() == '/') {
            why = "it is a folder";
            return walk == Walk::Nearest;
        }
        for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
            const std::string& part = parts[i];
            constexpr int kFolder = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
            int next = ::openat(fd_, part.c_str(), kFolder);
            if (next < 0 && errno == ENOENT && walk == Walk::Make) {
                if (::mkdirat(fd_, part.c_str(), 0777) != 0 && errno != EEXIST) {
                    why = "the folder " + path_ + part + " cannot be made (" +
                          std::strerror(errno) + ")";
                    return false;
                }
                next = ::openat(fd_, part.c_str(), kFolder);
            }
            if (next < 0) {
                if (walk == Walk::Nearest) return true;
                struct stat st {};
                if (::fstatat(fd_, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
                    why = "the folder " + path_ + part +
                          (S_ISLNK(st.st_mode) ? " is a symbolic link" : " is not a folder");
                return false;
            }
            ::close(fd_);
            fd_ = next;
            path_ += part + "/";
        }
        name_ = parts.back();
        if (walk != Walk::Nearest) why = fu::ReplaceRefusalAt(fd_, name_);
        return why.empty();
    }

    int fd() const { return fd_; }
    // The folder as a path, ending in "/", for messages and the free-space query.
    const std::string& path() const { return path_; }
    // The target's name in the folder.
    const std::string& name() const { return name_; }
    bool HasTarget() const {
        struct stat st {};
        return ::fstatat(fd_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    }

private:
    int fd_ = -1;
    std::string path_, name_;
};

constexpr int64_t kNoLimit = 0x7FFFFFFF;

// The free-space limit for an output file: the free bytes at its folder plus what the file
// already takes, capped at 2^31 - 1; 2^31 - 1 free bytes or more mean no limit at all.
int64_t SpaceLimit(const std::string& outputFile) {
    const int64_t free = fu::FreeSpace(fu::ParentFolder(outputFile));
    if (free >= kNoLimit) return kNoLimit;
    int64_t limit = free;
    if (auto existing = fu::FileSize(outputFile); existing && fu::FileExists(outputFile))
        limit = std::min<int64_t>(limit + *existing, kNoLimit);
    return limit;
}

bool HasMaskCharacters(const std::string& s) {
    return s.find_first_of("*?") != std::string::npos;
}

// Adds the regular files of `folder` matching `mask` in listing order, subfolders (with
// `recurse`) taking their place in that order.
void CollectMatches(const std::string& folder, const std::string& mask, bool recurse,
                    std::vector<std::string>& out) {
    for (const auto& e : fu::ListDirectory(folder.empty() ? std::string(".") : folder)) {
        if (e.name.empty() || e.name[0] == '.') continue;
        if (e.isDirectory) {
            // A linked folder could lead back up the tree; only real ones are searched.
            if (recurse && !e.isSymlink) CollectMatches(folder + e.name + "/", mask, recurse, out);
            continue;
        }
        if (e.isRegular && LhaMatchesMask(e.name, mask)) out.push_back(folder + e.name);
    }
}

} // namespace

bool LhaMatchesMask(const std::string& name, const std::string& mask) {
    const auto [nameBase, nameExt] = SplitExt(name, false);
    const auto [maskBase, maskExt] = SplitExt(mask, true);
    return PartMatches(nameBase, maskBase) && PartMatches(nameExt, maskExt);
}

bool LhaIsInList(const std::string& name, const std::vector<std::string>& list) {
    const std::string folder = FolderKey(name);
    const std::string file = fu::ExtractFileName(name);
    for (const auto& line : list)
        if (FolderKey(line) == folder && LhaMatchesMask(file, fu::ExtractFileName(line)))
            return true;
    return false;
}

TLhaArchive::TLhaArchive() : FCodec(std::make_unique<TLhaCodecState>(AbortRequested)) {
    ConfirmMessages = {"Please confirm", "Compress %s as %s?", "Expand %s to %s?",
                       "Delete %s from the archive?", "Verify archive integrity of %s?"};
}

TLhaArchive::~TLhaArchive() = default;

void TLhaArchive::SetTargetPath(const std::string& value) {
    FTargetPath = fu::IncludeTrailingSeparator(value);
}

void TLhaArchive::SetTempArchivePath(const std::string& value) {
    FTempArchivePath = fu::IncludeTrailingSeparator(value);
}

// --- Scan ---

bool TLhaArchive::Scan() {
    FileList.clear();
    FileInformation.clear();
    if (!fu::FileExists(ArchiveName)) return false;
    ReadArchive a = OpenForReading(ArchiveName);
    if (a.stream->Size() < 22) return true;
    TLhaHeader h;
    while (ReadEntryHeader(*a.stream, a.layout.Legacy, h)) {
        const int64_t data = a.stream->Position();
        TLhaFileInfo info;
        info.Method = ResolveMethod(h);
        info.PackedSize = h.PackedSize;
        info.UncompressedSize = h.UncompressedSize;
        info.DateTime = h.DateTime;
        info.Attributes = h.Attributes;
        info.HeaderLevel = h.HeaderLevel();
        info.CRC = h.CRC;
        info.DataPosition = static_cast<int32_t>(data);
        info.Encrypted = h.Encrypted();
        FileList.push_back(h.Name);
        FileInformation.push_back(info);
        a.stream->SetPosition(data + static_cast<uint32_t>(h.PackedSize));
    }
    return true;
}

// --- Compress ---

std::string TLhaArchive::StoredName(const std::string& sourcePath) const {
    std::string n = fu::ToForwardSlashes(sourcePath);
    if (StorePath) {
        const std::string prefix = fu::ToForwardSlashes(FTargetPath);
        if (!prefix.empty() && StartsWithAZ(n, prefix)) n = n.substr(prefix.size());
    } else {
        n = fu::ExtractFileName(n);
    }
    if (n.size() >= 2 && n[1] == ':' && std::isalpha(static_cast<unsigned char>(n[0])))
        n = n.substr(2);
    if (ForceUpperCase || ArchiveType == caLHARC) n = UpperAZ(n);
    return n;
}

std::string TLhaArchive::AskConfirmation(int line, const std::string& first,
                                         const std::string& second) {
    if (!Confirm || second.empty() || second == "*") return second;
    if (static_cast<std::size_t>(line) >= ConfirmMessages.size()) return second;
    const std::string text = FormatTwo(ConfirmMessages[line], first, second);
    if (text.empty() || !FPrompts) return second;
    const std::string caption = ConfirmMessages.empty() ? std::string() : ConfirmMessages[0];
    switch (
        FPrompts->Message(PromptKind::Confirmation, text, PromptButtons::YesNoCancel, caption)) {
    case PromptAnswer::Yes:
    case PromptAnswer::Ok:
        return second;
    case PromptAnswer::No:
        return {};
    default:
        return "*";
    }
}

void TLhaArchive::ExpandMasks() {
    std::vector<std::string> out;
    for (const auto& line : FilesToProcess) {
        if (!HasMaskCharacters(line)) {
            out.push_back(line);
            continue;
        }
        std::string mask = line;
        bool recurse = false;
        if (mask.size() > 2 && UpperAZ(mask.substr(mask.size() - 2)) == "/S") {
            recurse = true;
            mask.resize(mask.size() - 2);
        }
        CollectMatches(fu::ToForwardSlashes(fu::ExtractFilePath(mask)), fu::ExtractFileName(mask),
                       recurse, out);
    }
    FilesToProcess = std::move(out);
}

void TLhaArchive::AddEntry(TStream& archive, TStream& source, int64_t sourceSize, TLhaHeader& h) {
    const auto id = LhaMethodId(CompressionMethod);
    std::memcpy(h.MethodId.data(), id.data(), 5);
    const int64_t headerStart = archive.Position();
    const std::vector<uint8_t> placeholder = EncodeEntryHeader(h);
    archive.WriteBuffer(placeholder.data(), static_cast<int64_t>(placeholder.size()));
    const int64_t dataStart = archive.Position();

    Codec().OnShowProgress = OnShowProgress;
    TLhaCodeResult r;
    try {
        r = Codec().CodeStream(TLhaCodeDirection::Compress, CompressionMethod, source, archive,
                               sourceSize, 0, false, Password);
    } catch (const EUnableToCompress&) {
        // The coded data would be longer than the file: store it instead.
        archive.SetPosition(dataStart);
        source.SetPosition(0);
        r = Codec().CodeStream(TLhaCodeDirection::Compress, colh0, source, archive, sourceSize, 0,
                               false, Password);
    }
    const auto used = LhaMethodId(r.Method);
    std::memcpy(h.MethodId.data(), used.data(), 5);
    h.PackedSize = static_cast<int32_t>(r.Count);
    h.UncompressedSize = static_cast<int32_t>(sourceSize);
    h.CRC = r.CheckValue;
    if (!Password.empty()) h.Level |= 0x80;
    const std::vector<uint8_t> final = EncodeEntryHeader(h);
    archive.SetPosition(headerStart);
    archive.WriteBuffer(final.data(), static_cast<int64_t>(final.size()));
    archive.SetPosition(dataStart + r.Count);
}

void TLhaArchive::AddListedFiles(TStream& archive) {
    AbortRequested = false;
    ExpandMasks();
    std::size_t i = 0;
    while (i < FilesToProcess.size()) {
        const std::string source = FilesToProcess[i];
        std::string name = StoredName(source);
        uint32_t stamp = 0;
        const auto st = fu::FileDosStamp(source);
        if (!st || !fu::FileExists(source)) {
            name.clear();
        } else {
            stamp = *st;
            if (OnCheckFile) {
                OnCheckFile(this, source, name, static_cast<int32_t>(stamp), cmLHACompress);
                if (!name.empty() && name != "*") name = StoredName(name);
            }
            name = AskConfirmation(1, source, name);
        }
        if (name.empty() || name == "*") {
            FilesToProcess.erase(FilesToProcess.begin() + static_cast<std::ptrdiff_t>(i));
            if (name == "*") break;
            continue;
        }
        std::unique_ptr<TFileStream> in;
        try {
            in = std::make_unique<TFileStream>(source, fmOpenRead);
            // Sizes are 32-bit in every header: a larger file cannot be stored whole.
            if (in->Size() > 0xFFFFFFFFLL) {
                in.reset();
                throw EFOpenError("File too large for the archive: " + source);
            }
        } catch (const EFOpenError&) {
            if (ExceptionOnFileError) throw;
        } catch (const EFCreateError&) {
            if (ExceptionOnFileError) throw;
        }
        if (!in) {
            FilesToProcess.erase(FilesToProcess.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        FilesToProcess[i] = name;
        TLhaHeader h;
        h.DateTime = stamp;
        h.Attributes =
            static_cast<uint8_t>(fu::FileAttributes(source).value_or(fu::kAttrArchive) & 0x7F);
        h.Level = ArchiveType == caLHA ? 1 : 0;
        h.Name = name;
        AddEntry(archive, *in, in->Size(), h);
        in.reset();
        FilesProcessed.push_back(name);
        if (OnAfterProcessed)
            OnAfterProcessed(this, source, name, static_cast<int32_t>(stamp), cmLHACompress);
        ++i;
    }
}

void TLhaArchive::CopyOldEntries(TStream& work) {
    ReadArchive old = OpenForReading(ArchiveName);
    if (old.layout.Legacy) throw ELhaInvalidHeader("Cannot alter legacy archives!");
    FFileInformationIndex = -1;
    TLhaHeader h;
    while (ReadEntryHeader(*old.stream, false, h)) {
        ++FFileInformationIndex;
        const int64_t data = old.stream->Position();
        const int64_t packed = static_cast<uint32_t>(h.PackedSize);
        if (!LhaIsInList(h.Name, FilesToProcess)) {
            const std::vector<uint8_t> bytes = EncodeEntryHeader(h);
            work.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
            if (packed > 0) work.CopyFrom(*old.stream, packed);
        }
        old.stream->SetPosition(data + packed);
    }
}

void TLhaArchive::Compress() {
    AbortRequested = false;
    FilesProcessed.clear();
    const bool existed = fu::FileExists(ArchiveName);
    const bool appending = existed && AllowDuplicates;
    const bool rebuilding = existed && !AllowDuplicates;

    // 1. The work file: the archive itself when appending or new, else a ".$$$" beside it or
    //    in TempArchivePath.
    std::string work = ArchiveName;
    if (rebuilding) {
        if (!FTempArchivePath.empty() && fu::DirectoryExists(FTempArchivePath) &&
            !(fu::FileAttributes(FTempArchivePath).value_or(0) & fu::kAttrReadOnly) &&
            !SameTextAZ(fu::ToForwardSlashes(FTempArchivePath),
                        fu::ToForwardSlashes(fu::ExtractFilePath(ArchiveName))))
            work = FTempArchivePath + fu::ExtractFileName(ArchiveName);
        work = fu::ChangeFileExt(work, ".$$$");
    }
    if (LhaIsInList(work, FilesToProcess)) throw EWriteError("Cannot add " + work + " to itself!");

    // 2. Open it.
    std::unique_ptr<TFileStream> out;
    fu::FileLock lock;
    int64_t oldSize = 0;
    bool overEndByte = false;
    if (appending) {
        out = std::make_unique<TFileStream>(work, fmOpenReadWrite);
        lock = fu::FileLock(out->Handle());
        if (!lock.locked()) throw EFOpenError("Cannot open file " + work);
        if (LocateArchive(*out, work).Legacy)
            throw ELhaInvalidHeader("Cannot alter legacy archives!");
        oldSize = out->Size();
        out->SetPosition(oldSize);
        if (oldSize > 0) {
            uint8_t last = 1;
            out->SetPosition(oldSize - 1);
            if (out->Read(&last, 1) != 1 || last != 0)
                out->SetPosition(oldSize);
            else {
                out->SetPosition(oldSize - 1); // the new entries replace the end byte
                overEndByte = true;
            }
        }
    } else {
        if (MakeDirectories) fu::MakeDirectories(fu::ParentFolder(work));
        out = std::make_unique<TFileStream>(work, fmCreate);
    }

    // 3. The listed files, then the end byte; on failure the archive is as it was.
    auto undo = [&] {
        if (appending) {
            try {
                out->SetSize(oldSize);
                if (overEndByte) {
                    const uint8_t end = 0;
                    out->SetPosition(oldSize - 1);
                    out->WriteBuffer(&end, 1);
                }
            } catch (const std::exception&) {
            }
        }
        lock.release();
        out.reset();
        if (!appending) fu::RemoveFile(work);
    };
    try {
        AddListedFiles(*out);
        const uint8_t end = 0;
        out->WriteBuffer(&end, 1);
    } catch (const EWriteError&) {
        undo();
        throw ELhaInsufficientDiskSpace("Disk protected or full during compression");
    } catch (...) {
        undo();
        throw;
    }
    if (!rebuilding) return;

    // 4. A rebuild takes over the old entries that were not replaced, then replaces the
    //    archive by the work file.
    try {
        out->SetPosition(out->Position() - 1); // over the end byte just written
        CopyOldEntries(*out);
        const uint8_t end = 0;
        out->WriteBuffer(&end, 1);
        out->SetSize(out->Position());
    } catch (const ELhaInvalidHeader&) {
        out.reset();
        fu::RemoveFile(work);
        throw;
    } catch (const std::exception&) {
        out.reset();
        fu::RemoveFile(work);
        throw ELhaInsufficientDiskSpace("Disk full or write error during compression");
    }
    out.reset();
    // The rename replaces the old archive in one step, so it is never lost on the way.
    if (!fu::MoveFile(work, ArchiveName))
        throw ELhaCouldNotRenameFile("Could not replace " + ArchiveName + " with " + work);
}

// --- Expand and Verify ---

std::string TLhaArchive::SafeTarget(const std::string& entryName) const {
    std::string n = entryName.substr(0, entryName.find('\0'));
    n = fu::ToForwardSlashes(n);
    // An absolute name is taken relative to the target folder.
    std::size_t skip = 0;
    while (skip < n.size() && n[skip] == '/')
        ++skip;
    n.erase(0, skip);
    std::size_t start = 0;
    while (start <= n.size()) {
        std::size_t end = n.find('/', start);
        if (end == std::string::npos) end = n.size();
        if (n.compare(start, end - start, "..") == 0 && end - start == 2)
            throw ELhaInvalidHeader("Entry name leads out of the target folder: " + entryName);
        start = end + 1;
    }
    return FTargetPath + n;
}

void TLhaArchive::Expand() {
    const bool saved = VerifyMode;
    VerifyMode = false;
    try {
        RunExpand();
    } catch (...) {
        VerifyMode = saved;
        throw;
    }
    VerifyMode = saved;
}

void TLhaArchive::Verify() {
    const bool saved = VerifyMode;
    VerifyMode = true;
    try {
        RunExpand();
    } catch (...) {
        VerifyMode = saved;
        throw;
    }
    VerifyMode = saved;
}

void TLhaArchive::RunExpand() {
    AbortRequested = false;
    FilesProcessed.clear();
    FSweptFolders.clear();
    const bool filtered = !FilesToProcess.empty();
    ReadArchive a = OpenForReading(ArchiveName);
    FFileInformationIndex = -1;
    std::vector<std::string> results;
    TLhaHeader h;
    while (ReadEntryHeader(*a.stream, a.layout.Legacy, h)) {
        const int64_t data = a.stream->Position();
        ++FFileInformationIndex;
        if (!filtered || LhaIsInList(h.Name, FilesToProcess))
            if (!ExpandEntry(*a.stream, h, a.layout.Legacy, results)) break;
        a.stream->SetPosition(data + static_cast<uint32_t>(h.PackedSize));
    }
    if (filtered) FilesToProcess = results;
    FilesProcessed.insert(FilesProcessed.end(), results.begin(), results.end());
}

bool TLhaArchive::ExpandEntry(TStream& archive, const TLhaHeader& h, bool legacy,
                              std::vector<std::string>& results) {
    std::string target = SafeTarget(h.Name);
    if (OnCheckFile)
        OnCheckFile(this, h.Name, target, static_cast<int32_t>(h.DateTime), cmLHAExpand);
    target = AskConfirmation(VerifyMode ? 4 : 2, h.Name, target);
    if (target.empty()) return true;
    if (target == "*") return false;
    const TLhaMethod method = ResolveMethod(h);

    // An entry never goes through a symbolic link, nor replaces anything but a regular file.
    const bool useTemp = SafeMode || VerifyMode;
    EntryFolder folder;
    std::string why;
    const auto walk = VerifyMode        ? EntryFolder::Walk::Nearest
                      : MakeDirectories ? EntryFolder::Walk::Make
                                        : EntryFolder::Walk::Existing;
    if (!folder.Open(FTargetPath, target, walk, why)) {
        if (!ExceptionOnFileError) return true;
        if (!why.empty()) throw EFCreateError("Cannot create file " + target + ": " + why);
        throw EFCreateError(
            "Cannot create file " +
            (useTemp ? fu::IncludeTrailingSeparator(fu::ParentFolder(target)) + kTempPrefix
                     : target));
    }

    if (CheckSpaceBeforeExpand) {
        const int64_t limit = SpaceLimit(useTemp ? folder.path() + kTempPrefix : target);
        if (limit < kNoLimit &&
            limit < static_cast<int64_t>(static_cast<uint32_t>(h.UncompressedSize)))
            throw ELhaInsufficientDiskSpace("Not enough disk space to expand " + target);
    }

    std::string file = target;
    std::string tempName; // the temporary file in `folder` while there is one
    auto removeTemp = [&] {
        if (!tempName.empty()) ::unlinkat(folder.fd(), tempName.c_str(), 0);
        tempName.clear();
    };
    std::unique_ptr<TFileStream> out;
    try {
        if (useTemp) {
            // The target must be replaceable before anything is expanded for it; a check
            // never touches it.
            if (!VerifyMode && folder.HasTarget() &&
                !fu::CanOpenExclusiveAt(folder.fd(), folder.name()))
                throw EFOpenError("Cannot open file " + target);
            // Temporary files that a killed extraction left in this folder go first.
            if (!VerifyMode && FSweptFolders.insert(folder.path()).second)
                fu::RemoveStaleTempFiles(folder.fd(), kTempPrefix);
            auto temp = fu::MakeTempFileAt(folder.fd(), kTempPrefix);
            if (!temp) throw EFCreateError("Cannot create file " + folder.path() + kTempPrefix);
            tempName = temp->name;
            file = folder.path() + tempName;
            out = std::make_unique<TFileStream>(temp->fd, file);
        } else {
            // Opened without following a link and without waiting on a pipe or device that
            // took the name meanwhile; only a regular file is then cut and written.
            const int fd = ::openat(folder.fd(), folder.name().c_str(),
                                    O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
            if (fd < 0) {
                const std::string refusal = fu::ReplaceRefusalAt(folder.fd(), folder.name());
                throw EFCreateError("Cannot create file " + target +
                                    (refusal.empty() ? "" : ": " + refusal));
            }
            out = std::make_unique<TFileStream>(fd, target);
            struct stat st {};
            if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
                throw EFCreateError("Cannot create file " + target + ": " +
                                    fu::ReplaceRefusalAt(folder.fd(), folder.name()));
            out->SetSize(0);
        }
    } catch (const EStreamError& e) {
        if (!dynamic_cast<const EFOpenError*>(&e) && !dynamic_cast<const EFCreateError*>(&e)) throw;
        out.reset();
        removeTemp();
        if (ExceptionOnFileError) throw;
        return true;
    }

    bool complete = false;
    try {
        if (h.Encrypted() && Password.empty())
            throw ELhaEncrypted("File is encrypted -- password required");
        Codec().OnShowProgress = OnShowProgress;
        TLhaCodeResult r;
        bool damaged = false; // the data ended before the entry did
        try {
            // A large entry's bytes are stored by a second thread while the next ones are
            // decoded, in blocks of 1 MiB; a small one is written directly (a thread for
            // each of many small files would cost more than it saves).
            const int64_t size = static_cast<uint32_t>(h.UncompressedSize);
            constexpr int64_t kBehindBlock = 1 << 20;
            std::optional<TWriteBehindStream> behind;
            if (size > kBehindBlock) behind.emplace(*out, kBehindBlock);
            r = Codec().CodeStream(TLhaCodeDirection::Expand, method, archive,
                                   behind ? static_cast<TStream&>(*behind) : *out,
                                   static_cast<uint32_t>(h.PackedSize), size, h.Encrypted(),
                                   Password, legacy);
            if (behind) behind->Flush();
        } catch (const ELZHBadDecodeTable&) {
            if (h.Encrypted()) throw ELhaEncrypted("Invalid password -- cannot decrypt file");
            throw;
        } catch (const ELhaBadCRC&) {
            damaged = true;
        }
        const bool checked = !(legacy && method == colh0);
        if (damaged || (checked && r.CheckValue != h.CRC)) {
            if (h.Encrypted()) throw ELhaEncrypted("Invalid password -- cannot decrypt file");
            throw ELhaBadCRC();
        }
        fu::SetFileDosStampFd(out->Handle(), h.DateTime);
        if (!VerifyMode) fu::ApplyAttributesFd(out->Handle(), h.Attributes);
        out.reset();
        complete = true;
        if (VerifyMode) {
            removeTemp();
        } else if (useTemp) {
            // Something else may have taken the name while the entry was expanded.
            if (const std::string refusal = fu::ReplaceRefusalAt(folder.fd(), folder.name());
                !refusal.empty())
                throw ELhaCouldNotRenameFile("Could not replace " + target + " with " + file +
                                             ": " + refusal);
            if (::renameat(folder.fd(), tempName.c_str(), folder.fd(), folder.name().c_str()) != 0)
                throw ELhaCouldNotRenameFile("Could not replace " + target + " with " + file);
            tempName.clear();
        }
        results.push_back(target);
        if (OnAfterProcessed)
            OnAfterProcessed(this, h.Name, target, static_cast<int32_t>(h.DateTime), cmLHAExpand);
    } catch (const ELhaOperationAborted&) {
        // A cancelled entry leaves no partial file; the operation ends quietly, but the
        // component remembers that it was cancelled.
        out.reset();
        if (useTemp)
            removeTemp();
        else if (!complete)
            ::unlinkat(folder.fd(), folder.name().c_str(), 0);
        AbortRequested = true;
        return false;
    } catch (...) {
        out.reset();
        removeTemp();
        throw;
    }
    return true;
}

} // namespace larderly
