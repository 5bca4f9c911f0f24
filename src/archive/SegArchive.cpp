// The segmented archive: segment files, the set stream across them, the scan file and the
// prompts for each segment.
#include "archive/SegArchive.h"

#include "platform/FileUtil.h"
#include "platform/Prompts.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace larderly {

namespace fu = fileutil;

namespace {

constexpr int64_t kPiece = 8192;
constexpr int64_t kMinSegSize = 8192;
constexpr int64_t kMinFree = 2048;

void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Local time now as days since 30 December 1899, the fraction being the time of day.
double LocalDateTimeNow() {
    const std::time_t now = std::time(nullptr);
    struct tm lt {};
    ::localtime_r(&now, &lt);
    return static_cast<double>(::timegm(&lt)) / 86400.0 + 25569.0;
}

} // namespace

// While the scan archive is made or read, the owner's events and questions stay quiet.
struct TSegArchive::Silenced {
    explicit Silenced(TSegArchive& a)
        : archive(a), check(std::move(a.OnCheckFile)), after(std::move(a.OnAfterProcessed)),
          progress(std::move(a.OnShowProgress)), confirm(a.Confirm) {
        a.OnCheckFile = nullptr;
        a.OnAfterProcessed = nullptr;
        a.OnShowProgress = nullptr;
        a.Confirm = false;
    }
    ~Silenced() {
        archive.OnCheckFile = std::move(check);
        archive.OnAfterProcessed = std::move(after);
        archive.OnShowProgress = std::move(progress);
        archive.Confirm = confirm;
    }
    TSegArchive& archive;
    TLhaFilenameCheckEvent check;
    TLhaAfterProcessedEvent after;
    TLhaShowProgressEvent progress;
    bool confirm;
};

TSegArchive::TSegArchive() : FCopyBuffer(kPiece) {
    AllowDuplicates = false;
    SegMessages = {"Mount Segment #",
                   "Incorrect segment mounted!",
                   "Segment directory:",
                   "Not enough Free space available",
                   "Operation cancelled",
                   "Unable to open selected segment.",
                   "Unable to open scan file.",
                   "Unable to open archive file.",
                   "Unable to locate selected segment file.",
                   "Correct and press OK or Cancel to Abort.",
                   "Segment ID Header invalid",
                   "Segment Set Header invalid",
                   "Segment Scan Header invalid",
                   "Segment Archive Header invalid"};
}

TSegArchive::~TSegArchive() = default;

void TSegArchive::SetSegBaseName(const std::string& value) {
    FSegBaseName = value.empty() ? "SegData" : value;
}
void TSegArchive::SetSegDir(const std::string& value) {
    FSegDir = value.empty() ? "a:\\" : value;
}
void TSegArchive::SetSegExt(const std::string& value) {
    FSegExt = value.substr(0, 3);
}
void TSegArchive::SetSegSize(int32_t value) {
    FSegSize = std::max<int32_t>(value, kMinSegSize);
}

std::string TSegArchive::SegmentName(uint16_t number) const {
    if (!FSegExt.empty()) return FSegBaseName + "." + FSegExt;
    std::string digits = std::to_string(number);
    if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
    return FSegBaseName + "." + digits;
}

std::string TSegArchive::Message(std::size_t index) const {
    return index < SegMessages.size() ? SegMessages[index] : std::string();
}

void TSegArchive::Aborted() {
    throw ESegOperationAborted(Message(4));
}

void TSegArchive::Fail(std::size_t index) {
    throw ESegArchiveError(Message(index));
}

std::string TSegArchive::TempName(const char* ext) const {
    return TempArchivePath() + FSegBaseName + ext;
}

void TSegArchive::RemoveTemporaries() {
    for (const char* ext : {".$a$", ".$t$", ".$s$"})
        fu::RemoveFile(TempName(ext));
    if (!FScanFile.empty()) fu::RemoveFile(FScanFile);
    FScanFile.clear();
}

void TSegArchive::ResetOperation() {
    AbortRequested = false;
    FSegNumber = 1;
    FSegment.reset();
    FSegLeft = 0;
    FScanFile.clear();
    if (TempArchivePath().empty()) SetTempArchivePath(fu::CurrentFolder());
}

// --- Prompts and warnings ---

void TSegArchive::PromptForSegment() {
    AbortRequested = false;
    FSegName = SegmentName(FSegNumber);
    if (OnSegPrompt) {
        OnSegPrompt(this, FSegDir, FSegName, FSegNumber);
    } else if (Prompts* p = GetPrompts()) {
        for (;;) {
            auto value = p->Input(Message(0) + std::to_string(FSegNumber), Message(2), FSegDir);
            if (!value) {
                AbortRequested = true;
                break;
            }
            if (value->empty()) continue; // OK on an empty field asks again
            FSegDir = *value;
            break;
        }
    }
    if (AbortRequested) Aborted();
    if (FSegDir.empty()) FSegDir = "a:\\";
    FSegPath = fu::IncludeTrailingSeparator(FSegDir) + FSegName;
    if (OnSegChange) OnSegChange(this, FSegPath);
    if (AbortRequested) Aborted();
}

// A warning with OK and Cancel; true for OK. Nobody to ask counts as Cancel, so an
// unattended run never waits for a medium that cannot come.
bool TSegArchive::Warn(std::size_t index) {
    Prompts* p = GetPrompts();
    if (!p) return false;
    const std::string text = Message(index) + "\n\r" + Message(9);
    return p->Message(PromptKind::Warning, text, PromptButtons::OkCancel) == PromptAnswer::Ok;
}

// --- Segments ---

void TSegArchive::StartWriteSegment() {
    for (;;) {
        PromptForSegment();
        const std::string local = fu::MapDrivePath(FSegPath, DriveMap);
        fu::RemoveFile(local);
        const std::string folder = fu::ParentFolder(local);
        const int64_t free = FreeSpaceQuery ? FreeSpaceQuery(folder) : fu::FreeSpace(folder);
        if (free > kMinFree) {
            const int64_t capacity = std::min<int64_t>(FSegSize, free);
            try {
                fu::MakeDirectories(fu::ParentFolder(local));
                FSegment = std::make_unique<TFileStream>(local, fmCreate);
                uint8_t header[6] = {'S', 'S', 'I', 'D', 0, 0};
                Put16(header + 4, FSegNumber);
                FSegment->WriteBuffer(header, 6);
            } catch (const std::exception&) {
                FSegment.reset();
                Fail(5);
            }
            FSegLeft = capacity - 6;
            return;
        }
        if (!Warn(3)) {
            AbortRequested = true;
            Aborted();
        }
    }
}

void TSegArchive::StartReadSegment() {
    for (;;) {
        PromptForSegment();
        const std::string local = fu::MapDrivePath(FSegPath, DriveMap);
        std::size_t warning = 8;
        if (fu::FileExists(local)) {
            warning = 1;
            uint8_t header[6] = {};
            bool matches = false;
            try {
                TFileStream probe(local, fmOpenRead);
                matches = probe.Read(header, 6) == 6 && std::memcmp(header, "SSID", 4) == 0 &&
                          Get16(header + 4) == FSegNumber;
            } catch (const EStreamError&) {
            }
            if (matches) {
                FSegment = std::make_unique<TFileStream>(local, fmOpenRead);
                FSegLeft = FSegment->Size();
                uint8_t again[6] = {};
                ReadSet(again, 6);
                if (std::memcmp(again, "SSID", 4) != 0) Fail(10);
                return;
            }
        }
        if (!Warn(warning)) {
            AbortRequested = true;
            Aborted();
        }
    }
}

void TSegArchive::CloseSegment() {
    FSegment.reset();
    FSegLeft = 0;
}

void TSegArchive::WriteSet(const void* data, int64_t count) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (count > 0) {
        if (!FSegment || FSegLeft <= 0) {
            CloseSegment();
            ++FSegNumber;
            StartWriteSegment();
        }
        const int64_t n = std::min({count, kPiece, FSegLeft});
        FSegment->WriteBuffer(p, n);
        p += n;
        count -= n;
        FSegLeft -= n;
    }
}

void TSegArchive::ReadSet(void* data, int64_t count) {
    auto* p = static_cast<uint8_t*>(data);
    while (count > 0) {
        if (!FSegment || FSegLeft <= 0) {
            CloseSegment();
            ++FSegNumber;
            StartReadSegment();
        }
        const int64_t n = std::min({count, kPiece, FSegLeft});
        FSegment->ReadBuffer(p, n);
        p += n;
        count -= n;
        FSegLeft -= n;
    }
}

void TSegArchive::ReportCopy(int64_t done, int64_t total) {
    if (!OnShowProgress || total <= 0) return;
    int32_t percentage = done <= 100000
                             ? static_cast<int32_t>(done * 100 / total)
                             : static_cast<int32_t>(done / std::max<int64_t>(total / 100, 1));
    OnShowProgress(percentage);
}

void TSegArchive::CopyIntoSet(const std::string& file, const char* tag, std::size_t openError,
                              bool progress) {
    std::unique_ptr<TFileStream> in;
    try {
        in = std::make_unique<TFileStream>(file, fmOpenRead);
    } catch (const EStreamError&) {
        Fail(openError);
    }
    const int64_t size = in->Size();
    uint8_t header[8];
    std::memcpy(header, tag, 4);
    Put32(header + 4, static_cast<uint32_t>(size));
    WriteSet(header, 8);
    for (int64_t done = 0; done < size;) {
        const int64_t n = std::min(kPiece, size - done);
        in->ReadBuffer(FCopyBuffer.data(), n);
        WriteSet(FCopyBuffer.data(), n);
        done += n;
        if (progress) ReportCopy(done, size);
        // A Cancel clicked in the progress handler stops the copy here.
        if (AbortRequested) Aborted();
    }
}

void TSegArchive::CopyOutOfSet(const std::string& file, int64_t size, bool progress) {
    TFileStream out(file, fmOpenReadWrite);
    for (int64_t done = 0; done < size;) {
        const int64_t n = std::min(kPiece, size - done);
        ReadSet(FCopyBuffer.data(), n);
        out.WriteBuffer(FCopyBuffer.data(), n);
        done += n;
        if (progress) ReportCopy(done, size);
        if (AbortRequested) Aborted();
    }
}

// --- Scan file ---

void TSegArchive::WriteScanFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; i < FileList.size() && i < FileInformation.size(); ++i) {
        std::string name = FileList[i].substr(0, 255);
        std::replace(name.begin(), name.end(), '/', '\\');
        const TLhaFileInfo& f = FileInformation[i];
        bytes.push_back(static_cast<uint8_t>(name.size()));
        bytes.insert(bytes.end(), name.begin(), name.end());
        bytes.push_back(0);
        uint8_t r[22];
        r[0] = f.Method;
        Put32(r + 1, static_cast<uint32_t>(f.PackedSize));
        Put32(r + 5, static_cast<uint32_t>(f.UncompressedSize));
        Put32(r + 9, f.DateTime);
        Put16(r + 13, f.Attributes);
        r[15] = f.HeaderLevel;
        Put16(r + 16, f.CRC);
        Put32(r + 18, static_cast<uint32_t>(f.DataPosition));
        bytes.insert(bytes.end(), r, r + 22);
    }
    try {
        TFileStream out(path, fmCreate);
        out.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    } catch (const EFCreateError&) {
        Fail(6);
    }
}

void TSegArchive::ReadScanFile(const std::string& path) {
    std::unique_ptr<TFileStream> in;
    try {
        in = std::make_unique<TFileStream>(path, fmOpenRead);
    } catch (const EStreamError&) {
        Fail(6);
    }
    FileList.clear();
    FileInformation.clear();
    for (;;) {
        uint8_t n = 0;
        if (in->Read(&n, 1) != 1) break;
        std::vector<uint8_t> rec(n + 1u + 22u);
        if (in->Read(rec.data(), static_cast<int64_t>(rec.size())) !=
            static_cast<int64_t>(rec.size()))
            break;
        std::string name(rec.begin(), rec.begin() + n);
        name = fu::ToForwardSlashes(std::move(name));
        const uint8_t* r = rec.data() + n + 1;
        TLhaFileInfo f;
        f.Method = static_cast<TLhaMethod>(r[0]);
        f.PackedSize = static_cast<int32_t>(Get32(r + 1));
        f.UncompressedSize = static_cast<int32_t>(Get32(r + 5));
        f.DateTime = Get32(r + 9);
        f.Attributes = Get16(r + 13);
        f.HeaderLevel = r[15];
        f.CRC = Get16(r + 16);
        f.DataPosition = static_cast<int32_t>(Get32(r + 18));
        FileList.push_back(std::move(name));
        FileInformation.push_back(f);
    }
}

// --- Operations ---

void TSegArchive::Compress() {
    ResetOperation();
    const std::string archive = TempName(".$a$");
    const std::string scanFile = TempName(".$t$");
    const std::string scanArchive = TempName(".$s$");
    try {
        // 1. The archive of the real files, with the owner's settings and events.
        fu::RemoveFile(archive);
        ArchiveName = archive;
        TLhaArchive::Compress();

        // 2. The scan file from the archive's entries.
        const std::vector<std::string> keepFiles = FilesToProcess;
        const std::vector<std::string> keepProcessed = FilesProcessed;
        FilesToProcess.clear();
        FilesProcessed.clear();
        bool scanned = false;
        try {
            scanned = TLhaArchive::Scan();
        } catch (...) {
            FilesToProcess = keepFiles;
            FilesProcessed = keepProcessed;
            throw;
        }
        if (!scanned) {
            FilesToProcess = keepFiles;
            FilesProcessed = keepProcessed;
            Fail(7);
        }
        fu::RemoveFile(scanFile);
        WriteScanFile(scanFile);
        FileList.clear();
        FileInformation.clear();

        // 3. The scan archive holding the scan file.
        {
            Silenced quiet(*this);
            const std::string keepTarget = TargetPath();
            auto restore = [&] {
                SetTargetPath(keepTarget);
                FilesToProcess = keepFiles;
                FilesProcessed = keepProcessed;
            };
            fu::RemoveFile(scanArchive);
            ArchiveName = scanArchive;
            FilesToProcess = {scanFile};
            SetTargetPath(TempArchivePath());
            try {
                TLhaArchive::Compress();
            } catch (...) {
                restore();
                throw;
            }
            restore();
        }

        // 4. The set stream across the segments.
        StartWriteSegment();
        uint8_t set[17] = {'S', 'S', 'E', 'T'};
        set[4] = static_cast<uint8_t>(CompressionMethod);
        const double now = LocalDateTimeNow();
        std::memcpy(set + 5, &now, 8); // IEEE double, little-endian like every number here
        Put32(set + 13, static_cast<uint32_t>(FSegSize));
        WriteSet(set, sizeof set);
        CopyIntoSet(scanArchive, "SSCN", 6, false);
        CopyIntoSet(archive, "SARC", 7, true);
        CloseSegment();
    } catch (...) {
        ArchiveName.clear();
        CloseSegment();
        RemoveTemporaries();
        throw;
    }
    ArchiveName.clear();
    RemoveTemporaries();
}

void TSegArchive::ReadUpToScan() {
    const std::string archive = TempName(".$a$");
    StartReadSegment();
    uint8_t set[17];
    ReadSet(set, sizeof set);
    if (std::memcmp(set, "SSET", 4) != 0) Fail(11);
    uint8_t block[8];
    ReadSet(block, 8);
    if (std::memcmp(block, "SSCN", 4) != 0) Fail(12);
    fu::RemoveFile(archive);
    try {
        TFileStream create(archive, fmCreate);
    } catch (const EFCreateError&) {
        Fail(6);
    }
    CopyOutOfSet(archive, Get32(block + 4), false);

    // Expand the scan archive quietly into the temporary folder.
    {
        Silenced quiet(*this);
        const std::string keepTarget = TargetPath();
        const std::vector<std::string> keepProcessed = FilesProcessed;
        ArchiveName = archive;
        FilesToProcess.clear();
        SetTargetPath(TempArchivePath());
        try {
            TLhaArchive::Expand();
        } catch (...) {
            SetTargetPath(keepTarget);
            FilesToProcess.clear();
            throw;
        }
        SetTargetPath(keepTarget);
        FilesToProcess.clear();
        FScanFile = FilesProcessed.empty() ? std::string() : FilesProcessed.front();
        FilesProcessed = keepProcessed;
    }
    fu::RemoveFile(archive);
    if (FScanFile.empty()) Fail(6);
    ReadScanFile(FScanFile);
}

void TSegArchive::RunExpand(Operation op) {
    ResetOperation();
    const std::string archive = TempName(".$a$");
    try {
        // 1-2. Up to the scan block: the list of entries.
        ReadUpToScan();
        if (op != Operation::Scan) {
            // 3-4. The selection, which the owner may change together with the target.
            FilesToProcess = FileList;
            FileList.clear();
            FileInformation.clear();
            if (OnSegExpand) {
                std::string newTarget = TargetPath();
                std::vector<std::string> list = FilesToProcess;
                OnSegExpand(this, TargetPath(), newTarget, list);
                SetTargetPath(newTarget);
                FilesToProcess = list;
                if (AbortRequested) Aborted();
            }

            // 5. The archive block into the temporary archive.
            std::unique_ptr<TFileStream> create;
            fu::RemoveFile(archive);
            try {
                create = std::make_unique<TFileStream>(archive, fmCreate);
            } catch (const EFCreateError&) {
                Fail(7);
            }
            create.reset();
            uint8_t block[8];
            ReadSet(block, 8);
            if (std::memcmp(block, "SARC", 4) != 0) Fail(13);
            CopyOutOfSet(archive, Get32(block + 4), true);
            ArchiveName = archive;

            // 6-7. The entries, with the owner's events. An empty selection restores
            //      nothing (an empty filter would otherwise mean every entry).
            if (!FilesToProcess.empty()) {
                if (op == Operation::Verify)
                    TLhaArchive::Verify();
                else
                    TLhaArchive::Expand();
            } else {
                FilesProcessed.clear();
            }
            if (AbortRequested) Aborted();
        }
        CloseSegment();
    } catch (...) {
        ArchiveName.clear();
        CloseSegment();
        RemoveTemporaries();
        throw;
    }
    ArchiveName.clear();
    RemoveTemporaries();
}

bool TSegArchive::Scan() {
    RunExpand(Operation::Scan);
    return !FileList.empty();
}

void TSegArchive::Expand() {
    RunExpand(Operation::Expand);
}

void TSegArchive::Verify() {
    RunExpand(Operation::Verify);
}

} // namespace larderly
