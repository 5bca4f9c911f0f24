// The disc image of the burn engine: the tree of directories and files (TDEntry, TFEntry),
// the operations that fill it (ResetImage, AddFile, ForceImageDir, FindImageDir), the sorting
// of directories for the path tables, the sector layout of an ISO 9660 volume with an
// optional Joliet supplement (PrepareImage), and the header stream from the start of the
// track up to the first file (BuildImageHeader). File contents are streamed separately by
// TCacheThread in file-table order.
//
// The burner derives from TDiscImage (or owns one): it overrides DeviceNextWritableAddress
// to ask the drive, routes ImageDebugMessage to its own debug event and hands HeaderStream()
// and FileTable() to the read-ahead cache.
//
// Image paths use "/" as separator ("\" is accepted as well and read as "/"); the root is "/".
// All addresses are absolute 2048-byte sectors, so an image for a later session starts at
// that session's next writable address.
#pragma once

#include "burn/StreamEx.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace larderly {

// Local wall-clock date and time as days since 30 December 1899 (the fraction is the time).
using TDateTime = double;

constexpr uint32_t kSectorSize = 2048;
constexpr uint32_t kMinFirstFileSector = 150;     // files never start before absolute sector 150
constexpr uint32_t kMinTrackSectors = 300;        // shortest track when post-gap padding is on
constexpr int64_t kMaxIsoFileSize = 0xFFFFFFFFLL; // data lengths are recorded in 32 bits
constexpr size_t kDescriptorCopySize = 65537;

// File attributes as the image keeps them.
enum : int32_t {
    faReadOnly = 0x01,
    faHidden = 0x02,
    faDirectory = 0x10,
    faArchive = 0x20,
};

// Debug message kinds the image emits.
enum : uint8_t {
    mtImageTableFull = 3,
    mtImageInvalidPath = 4,
};

// One directory of the image. Index 0 of the directory table is the root.
struct TDEntry {
    std::string ShortName;     // ISO identifier
    std::string LongName;      // Joliet identifier (UTF-8)
    int64_t IsoSize = 0;       // bytes, whole sectors
    int64_t JolietSize = 0;    // bytes, whole sectors
    std::string Path;          // upper-case long-name path from the root, "/" for the root
    uint32_t IsoOffset = 0;    // first sector relative to the ISO directory area
    uint32_t JolietOffset = 0; // first sector relative to the Joliet directory area
    uint8_t Level = 0;         // 1 for the root, 0 for every other directory
    uint32_t Number = 0;       // position in the path table, from 1
    int Parent = 0;            // directory index; the root is its own parent
    int FirstChild = -1;       // file-table index of the first child, -1 when none
    TDateTime Created = 0;     // when the directory was made in the image
};

// One file, or one directory as a child of its parent.
struct TFEntry {
    std::string ShortName;  // ISO identifier, upper case
    std::string LongName;   // Joliet identifier (UTF-8)
    std::string FullName;   // the long name before it was cut to fit a Joliet record
    std::string SourcePath; // full path on disk; empty for directories
    TDateTime DateTime = 0; // local time
    int64_t IsoSize = 0;
    int64_t JolietSize = 0;
    uint32_t IsoExtent = 0; // files: relative to the first file location; dirs: to the area
    uint32_t JolietExtent = 0;
    int32_t Attributes = 0;
    int Directory = -1;   // directory-table index for a directory entry, else -1
    int NextSibling = -1; // file-table index, -1 at the end of the child list

    bool IsDirectory() const { return Directory >= 0; }
};

// OnAddFile: the handler may change the names, the date and Skip.
using TAddFileEvent = std::function<void(const std::string& FullPath, std::string& LongFileName,
                                         std::string& ShortFileName, TDateTime& DateTime,
                                         int32_t Attr, int64_t FileSize, bool& Skip)>;

// Debug lines of the image: the text and its mType (3 full table, 4 invalid path).
using TImageDebugEvent = std::function<void(const std::string& Message, uint8_t mType)>;

// Where PrepareImage put things, in absolute sectors unless said otherwise.
struct TImageLayout {
    uint32_t NextWritableAddress = 0;
    uint32_t IsoPathTableL = 0;
    uint32_t IsoPathTableM = 0;
    uint32_t JolietPathTableL = 0;
    uint32_t JolietPathTableM = 0;
    uint32_t IsoDirArea = 0;
    uint32_t JolietDirArea = 0;
    uint32_t FirstFileLocation = 0;
    uint32_t VolumeSize = 0;
    uint32_t PaddingSectors = 0;      // zero sectors before the first file
    uint32_t IsoPathTableSize = 0;    // bytes
    uint32_t JolietPathTableSize = 0; // bytes
};

class TDiscImage {
public:
    TDiscImage();
    virtual ~TDiscImage() = default;

    // Published properties.
    bool JolietFileSystem = true;
    bool ReplaceFile = false;
    bool WritePostGap = true;
    std::string IdVolume, IdSystem, IdVolumeSet, IdPublisher, IdPreparer, IdApplication;
    std::string FileCopyright, FileAbstract, FileBibliographic;
    TDateTime DateCreation = 0, DateModification = 0, DateEffective = 0, DateExpiration = 0;

    TAddFileEvent OnAddFile;
    TImageDebugEvent ImageDebugMessage;
    // The clock of the image ("now"), replaceable so that tests can pin it.
    std::function<TDateTime()> Now;

    // Reads the time zone, empties the header stream and both tables, applies the
    // capacities and creates the root.
    void ResetImage(int fileCapacity, int dirCapacity);
    // 0: destination directory not found; 1: the source file exists (added or not);
    // 255: it does not exist (or is not a regular file).
    int AddFile(const std::string& destDir, const std::string& sourcePath, bool keepSourcePath);
    // Why a file that AddFile found was not added to a folder (for messages; "" when nothing
    // explains it).
    std::string WhyNotAdded(const std::string& destDir, const std::string& sourcePath) const;
    // Creates every missing directory of the path; returns the last one, -1 when the
    // directory table is full.
    int ForceImageDir(const std::string& path);
    // The directory whose path matches, -1 when none.
    int FindImageDir(const std::string& path) const;

    // Sorts and lays out the image. The next writable address comes from
    // DeviceNextWritableAddress unless WithoutDevice is set (then it is 0).
    virtual void PrepareImage(bool WithoutDevice, const std::string& directory);
    // Sorts and lays out the image for a track starting at nextWritableAddress.
    void LayoutImage(uint32_t nextWritableAddress);
    // Writes the header stream: from the track's start up to the first file.
    void BuildImageHeader();
    // Sectors of the new track; at least 300 with WritePostGap.
    uint32_t TrackSectors() const;

    // Asked by PrepareImage when a device is to be used; the burner answers from the drive.
    virtual uint32_t DeviceNextWritableAddress() { return 0; }

    const std::vector<TDEntry>& DirTable() const { return FDirs; }
    const std::vector<TFEntry>& FileTable() const { return FFiles; }
    // Directory indexes in ISO and Joliet path-table order.
    const std::vector<int>& IsoPathOrder() const { return FIsoOrder; }
    const std::vector<int>& JolietPathOrder() const { return FJolietOrder; }
    const TImageLayout& Layout() const { return FLayout; }
    TMemoryStreamEx& HeaderStream() { return FHeader; }
    // System area and volume descriptors, rest 0xFF (for rewritable DVD media).
    const std::vector<uint8_t>& DescriptorCopy() const { return FDescriptorCopy; }
    int FileCapacity() const { return FFileCapacity; }
    int DirCapacity() const { return FDirCapacity; }
    // Quarter hours east of UTC, daylight saving not applied.
    int8_t TimeZoneOffset() const { return FTzOffset; }

private:
    void Debug(const std::string& text, uint8_t mType);
    void AddEntry(int dir, const std::string& sourcePath, const std::string& foundName,
                  int64_t size, int32_t attr, TDateTime date);
    int FindChild(int dir, const std::string& longName) const;
    void AppendChild(int dir, int fileIndex);
    void SortPathTables();
    void ComputeSizes();

    std::vector<TDEntry> FDirs;
    std::vector<TFEntry> FFiles;
    std::vector<int> FIsoOrder, FJolietOrder;
    int FFileCapacity = 65535;
    int FDirCapacity = 8191;
    int8_t FTzOffset = 0;
    TImageLayout FLayout;
    TMemoryStreamEx FHeader;
    std::vector<uint8_t> FDescriptorCopy;
};

// Helpers shared with the cache and the tests.
TDateTime DateTimeFromUnix(std::time_t t); // local time
TDateTime DateTimeNow();                   // local time, with hundredths
// Offset from UTC, in quarter hours east, in force at a local date (daylight saving
// included when it applies then).
int8_t ZoneOffsetAt(TDateTime local);
struct TDateParts {
    int Year, Month, Day, Hour, Minute, Second, Hundredths;
};
TDateParts DecodeDateTime(TDateTime d);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int hundredths = 0);

// The 8.3 alias of a file name as the file system would give it: a valid 8.3 name is the
// name in upper case; otherwise BASE~N.EXT with the first N from 1 whose alias is not taken.
std::string ShortAlias(const std::string& name,
                       const std::function<bool(const std::string&)>& taken);
// An alias with a "~N" tail even for a name that is a valid 8.3 name itself (taken already).
std::string NumberedAlias(const std::string& name,
                          const std::function<bool(const std::string&)>& taken);
// UTF-8 to UTF-16 code units (an invalid byte becomes "_").
std::u16string Utf8ToUtf16(const std::string& s);

} // namespace larderly
