// TSegArchive: an LHA archive split over numbered segment files of limited size (one per
// diskette, or any folder), with a small scan archive in front so that the entries can be
// listed after reading only the first segment.
#pragma once

#include "archive/LhaArchive.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace larderly {

class TSegArchive;

// The full path of the segment about to be used.
using TSegChangeEvent = std::function<void(TSegArchive* Sender, const std::string& SegPath)>;
// Lets the owner change the target folder and the selection before expansion.
using TSegExpandEvent =
    std::function<void(TSegArchive* Sender, const std::string& CurTargetPath,
                       std::string& NewTargetPath, std::vector<std::string>& ListOfFiles)>;
// Replaces the built-in prompt for each segment; may change the folder or set
// AbortRequested.
using TSegPromptEvent = std::function<void(TSegArchive* Sender, std::string& SegDir,
                                           const std::string& SegName, uint16_t SegNumber)>;

class TSegArchive : public TLhaArchive {
public:
    TSegArchive();
    ~TSegArchive() override;

    bool Scan() override;
    void Compress() override;
    void Expand() override;
    void Verify() override;

    // File name of the segments without extension; '' gives "SegData".
    const std::string& SegBaseName() const { return FSegBaseName; }
    void SetSegBaseName(const std::string& value);
    // Folder of the segments; '' gives "a:\".
    const std::string& SegDir() const { return FSegDir; }
    void SetSegDir(const std::string& value);
    // When set, the extension of every segment (at most 3 characters) instead of its number.
    const std::string& SegExt() const { return FSegExt; }
    void SetSegExt(const std::string& value);
    // Texts of the prompts and errors, by index.
    std::vector<std::string> SegMessages;
    // Largest segment file in bytes, header included; at least 8192.
    int32_t SegSize() const { return FSegSize; }
    void SetSegSize(int32_t value);

    TSegChangeEvent OnSegChange;
    TSegExpandEvent OnSegExpand;
    TSegPromptEvent OnSegPrompt;

    // Free bytes for a new segment in a folder; the platform's query unless replaced.
    std::function<int64_t(const std::string& folder)> FreeSpaceQuery;

    // Drive letters of segment folders ("a:\") and where they are mounted here.
    std::map<char, std::string> DriveMap{{'A', "/media/floppy0"}};

    // The file name of segment `number` (without folder).
    std::string SegmentName(uint16_t number) const;

private:
    class SegmentStream;
    struct Silenced;

    enum class Operation { Expand, Verify, Scan };

    std::string Message(std::size_t index) const;
    [[noreturn]] void Aborted();
    [[noreturn]] void Fail(std::size_t index);
    std::string TempName(const char* ext) const;
    void RemoveTemporaries();
    void ResetOperation();
    void PromptForSegment();
    bool Warn(std::size_t index);
    void StartWriteSegment();
    void StartReadSegment();
    void CloseSegment();
    void WriteSet(const void* data, int64_t count);
    void ReadSet(void* data, int64_t count);
    void CopyIntoSet(const std::string& file, const char* tag, std::size_t openError,
                     bool progress);
    void CopyOutOfSet(const std::string& file, int64_t size, bool progress);
    void ReportCopy(int64_t done, int64_t total);
    void WriteScanFile(const std::string& path);
    void ReadScanFile(const std::string& path);
    void ReadUpToScan();
    void RunExpand(Operation op);

    std::string FSegBaseName = "SegData";
    std::string FSegDir = "a:\\";
    std::string FSegExt;
    int32_t FSegSize = 1440000;

    // Per operation.
    uint16_t FSegNumber = 1;
    std::string FSegName;
    std::string FSegPath;
    std::unique_ptr<TFileStream> FSegment;
    int64_t FSegLeft = 0;  // bytes still free (writing) or unread (reading)
    std::string FScanFile; // the scan file as expanded from the scan archive
    std::vector<uint8_t> FCopyBuffer;
};

} // namespace larderly
