// TLhaArchive: the LHA archive component. Compresses a list of files into an archive with
// level-0 or level-1 headers, expands or verifies its entries, and lists them; reads
// archives behind an MS-DOS stub and legacy-pack archives.
#pragma once

#include "archive/LhaCodec.h"
#include "archive/LhaExceptions.h"
#include "archive/LhaHeader.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace larderly {

class Prompts;
class TLhaArchive;

// Header level written by Compress: caLHARC = level 0, caLHA = level 1.
enum TLhaArchiveType : uint8_t { caLHARC = 0, caLHA = 1 };

// Which operation an event comes from.
enum TLhaProcessMode : uint8_t { cmLHACompress = 0, cmLHAExpand = 1 };

// Before each file: may rename it (newFilePath), skip it ('') or stop the operation ("*").
using TLhaFilenameCheckEvent =
    std::function<void(TLhaArchive* Sender, const std::string& originalFilePath,
                       std::string& newFilePath, int32_t dateTime, TLhaProcessMode mode)>;
// After each file, with its final names.
using TLhaAfterProcessedEvent =
    std::function<void(TLhaArchive* Sender, const std::string& originalFilePath,
                       const std::string& newFilePath, int32_t dateTime, TLhaProcessMode mode)>;

// Matches `name` against `mask` as the archive component does: base name and extension
// separately, without regard to case, "?" for any character, "*" ending a part.
bool LhaMatchesMask(const std::string& name, const std::string& mask);
// True when some line of `list` has the same folder as `name` and matches it as a mask.
bool LhaIsInList(const std::string& name, const std::vector<std::string>& list);

class TLhaArchive {
public:
    TLhaArchive();
    virtual ~TLhaArchive();
    TLhaArchive(const TLhaArchive&) = delete;
    TLhaArchive& operator=(const TLhaArchive&) = delete;

    // Empties FileList and FileInformation; when ArchiveName exists, lists its entries and
    // returns true.
    virtual bool Scan();
    // Adds the files named by FilesToProcess to ArchiveName.
    virtual void Compress();
    // Expands the entries of ArchiveName (those in FilesToProcess when it is not empty)
    // into TargetPath.
    virtual void Expand();
    // As Expand, into temporary files that are deleted again: checks data and CRC.
    virtual void Verify();

    // --- Published properties ---
    TLhaFilenameCheckEvent OnCheckFile;
    TLhaAfterProcessedEvent OnAfterProcessed;
    TLhaShowProgressEvent OnShowProgress;

    // Base folder for expansion; for compression with StorePath a prefix taken off the
    // stored names. A "/" is appended to a non-empty value without one.
    const std::string& TargetPath() const { return FTargetPath; }
    void SetTargetPath(const std::string& value);

    bool MakeDirectories = false;
    bool SafeMode = false;
    bool VerifyMode = false;
    TLhaArchiveType ArchiveType = caLHARC;
    bool AllowDuplicates = false;
    bool StorePath = false;
    bool ForceUpperCase = false;
    bool ExceptionOnFileError = false;
    std::string ArchiveName;
    TLhaMethod CompressionMethod = colh0;
    std::vector<std::string> FilesToProcess;
    std::vector<std::string> ConfirmMessages;
    bool Confirm = false;

    // Folder for the rebuilt archive during Compress; "/" appended like TargetPath.
    const std::string& TempArchivePath() const { return FTempArchivePath; }
    void SetTempArchivePath(const std::string& value);

    bool CheckSpaceBeforeExpand = false;
    std::string Password;

    // Index of the entry the current operation handles; -1 before the first header.
    int32_t FileInformationIndex() const { return FFileInformationIndex; }

    // --- Public, not published ---
    std::atomic<bool> AbortRequested{false};
    std::vector<std::string> FileList;
    std::vector<TLhaFileInfo> FileInformation;
    std::vector<std::string> FilesProcessed;

    // Where the confirmation box (and, for segments, the prompts) are asked. Without one,
    // every confirmation is answered Yes.
    void SetPrompts(Prompts* prompts) { FPrompts = prompts; }
    Prompts* GetPrompts() const { return FPrompts; }

protected:
    TLhaCodecState& Codec() { return *FCodec; }

private:
    struct ExpandTarget;

    std::string StoredName(const std::string& sourcePath) const;
    void ExpandMasks();
    void AddListedFiles(TStream& archive);
    void AddEntry(TStream& archive, TStream& source, int64_t sourceSize, TLhaHeader& header);
    void CopyOldEntries(TStream& work);
    void RunExpand();
    bool ExpandEntry(TStream& archive, const TLhaHeader& header, bool legacy,
                     std::vector<std::string>& results);
    std::string AskConfirmation(int line, const std::string& first, const std::string& second);
    std::string SafeTarget(const std::string& entryName) const;

    std::string FTargetPath;
    // The folders of this extraction already cleared of temporary files killed runs left.
    std::set<std::string> FSweptFolders;
    std::string FTempArchivePath;
    int32_t FFileInformationIndex = 0;
    Prompts* FPrompts = nullptr;
    std::unique_ptr<TLhaCodecState> FCodec;
};

} // namespace larderly
