// TDiscBurner: properties, the preparation of a burn (BurnImage) and the next writable
// address. The write thread itself lives in WriteThread.cpp.
#include "burn/DiscBurner.h"
#include "burn/ScsiTexts.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace larderly {

namespace {
std::atomic<TDiscBurner*> gActiveBurner{nullptr};

uint32_t ReadLe32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
} // namespace

TDiscBurner* TDiscBurner::ActiveBurner() {
    return gActiveBurner.load();
}

TDiscBurner::TDiscBurner() {
    ImageDebugMessage = [this](const std::string& message, uint8_t mType) {
        TSCSIDevice::Debug(message, mType);
    };
    ResetImage(65535, 8191);
}

TDiscBurner::~TDiscBurner() {
    WaitForBurn();
    cache_.reset();
}

void TDiscBurner::SetWriteSpeed(uint16_t speed) {
    SetCDSpeed(ReadSpeed, speed);
    writeSpeed_ = speed;
}

void TDiscBurner::SetCacheSize(int32_t size) {
    if (size < 2097152)
        cacheSize_ = 2097152;
    else
        cacheSize_ = size - size % 2048;
}

std::string TDiscBurner::CurrentFile() const {
    std::lock_guard<std::mutex> lock(fileLock_);
    return currentFile_;
}

void TDiscBurner::SetCurrentFile(const std::string& f) {
    std::lock_guard<std::mutex> lock(fileLock_);
    currentFile_ = f;
}

void TDiscBurner::WaitForBurn() {
    if (writer_.joinable() && writer_.get_id() != std::this_thread::get_id()) writer_.join();
}

void TDiscBurner::PrepareImage(bool WithoutDevice, const std::string& directory) {
    // Preparing emits no failure lines: its probes fail as an answer (a blank DVD+RW refuses
    // the reads that look for a volume on it).
    const bool quiet = quietFailures_;
    quietFailures_ = true;
    if (!WithoutDevice) SetCurrentMediaKind(GetMediaKind());
    TDiscImage::PrepareImage(WithoutDevice, directory);
    quietFailures_ = quiet;
}

uint32_t TDiscBurner::DeviceNextWritableAddress() {
    if (!burnStarting_) return 0;
    uint32_t address = 0;
    if (!NextWritableAddress(address)) {
        TSCSIDevice::Debug(std::string(">>> ") + texts::kErrorNwa, 0);
        return 0;
    }
    return address;
}

bool TDiscBurner::NextWritableAddress(uint32_t& address) {
    address = 0;
    WaitUnitReady(10000, 500);
    int kind = GetMediaKind();
    bool finalize = FinalizeDisc;
    FinalizeDisc = true;
    SetWriteParameters(TestWrite, UnderrunProtection, kind, true);
    FinalizeDisc = finalize;
    WaitUnitReady(10000, 500);
    if (kind == mkDvdRam || kind == mkDvdPlusRw) {
        // Overwritable media hold one growing volume: the new data goes after it.
        std::vector<uint8_t> block(2048);
        for (uint32_t lba = 32; lba >= 16; --lba) {
            if (!Read10(lba, 1, block.data(), 2048)) continue;
            if (std::memcmp(&block[1], "CD001", 5) == 0 && (block[0] == 1 || block[0] == 2)) {
                address = ReadLe32(&block[80]);
                break;
            }
        }
        if (address > 0xFF000000u) address = 0;
        return true;
    }
    ReadDiscInformation();
    bool ok;
    if (kind == mkDvdRwRestricted || kind == mkDvdRwSequential) {
        ok = ReadTrackInformation(1);
        if (ok && TrackInfo().nextWritable != 0) address = TrackInfo().nextWritable;
    } else {
        int track = SessionCount() + 1;
        ok = ReadTrackInformation(static_cast<uint8_t>(track));
        if (ok) address = TrackInfo().nextWritable;
    }
    if (address > 0xFF000000u) address = 0;
    return ok;
}

bool TDiscBurner::BurnImage() {
    WaitForBurn();
    cache_.reset();
    if (!ASPIInitialized() || Adapter() == kNone) {
        // Without a drive no request is sent and every write would look successful: the burn
        // ends here instead of reporting a disc that was never written.
        lastWriteError_ = AspiStatusText(SS_NO_DEVICE);
        if (OnWriteDone) OnWriteDone(this, lastWriteError_);
        return false;
    }
    int kind = GetMediaKind();
    if (TestWrite) {
        // DVD+R, DVD+RW, DVD-RAM and restricted-overwrite DVD-RW have no test mode, and a
        // drive without test writing ignores the request: either way the data would be
        // recorded for real. The burn is refused before anything is written.
        std::string refusal;
        const bool mediumHasTestMode = kind != mkDvdRam && kind != mkDvdRwRestricted &&
                                       kind != mkDvdPlusRw && kind != mkDvdPlusR &&
                                       kind != mkDvdPlusRDl;
        char line[128];
        if (!mediumHasTestMode) {
            std::snprintf(line, sizeof line, texts::kNoTestModeMedium, MediaKindName(kind).c_str());
            refusal = line;
        } else if (!(MediaCapabilities() & kCapTestWrite)) {
            refusal = texts::kNoTestModeDrive;
        }
        if (!refusal.empty()) {
            TSCSIDevice::Debug(">>> " + refusal, 0);
            lastWriteError_ = refusal;
            if (OnWriteDone) OnWriteDone(this, refusal);
            return false;
        }
    }
    gActiveBurner = this;
    blockSize_ = (kind == mkCdR || kind == mkCdRw) ? kCdBlockSize : kDvdBlockSize;

    int current = CurrentMediaKind();
    // A test write leaves the disc as it is: no formatting either.
    if (!TestWrite && (current == mkDvdRwRestricted || current == mkDvdRwSequential)) {
        static const uint8_t kSeq[12] = {0x00, 0xA2, 0x00, 0x08, 0x00, 0x00,
                                         0x03, 0xE8, 0x54, 0x00, 0x00, 0x10};
        static const uint8_t kRestricted[12] = {0x00, 0x82, 0x00, 0x08, 0x00, 0x00,
                                                0x00, 0x00, 0x4C, 0x00, 0x00, 0x10};
        static const uint8_t kRetry[12] = {0x00, 0x82, 0x00, 0x08, 0x00, 0x00,
                                           0x00, 0x00, 0x54, 0x00, 0x00, 0x10};
        if (!FormatUnit(0x11, current == mkDvdRwSequential ? kSeq : kRestricted, 12))
            FormatUnit(0x11, kRetry, 12);
        // Formatting runs in the drive; an hour of polling is the most it is given.
        for (int i = 0; i < 720; ++i) {
            Pause(5000);
            ReadDiscInformation();
            if (LastAsc() != 0x04) break;
        }
    }

    burnStarting_ = true;
    PrepareImage(false, "");
    BuildImageHeader();
    burnStarting_ = false;
    nwa_ = Layout().NextWritableAddress;
    uint32_t trackSectors = TrackSectors();

    int64_t trackLength = (int64_t(Layout().VolumeSize) - int64_t(nwa_)) * 2048;
    cache_ =
        std::make_unique<TCacheThread>(cacheSize_, DeviceLock(), blockSize_, WritePostGap,
                                       std::string(), 0, trackLength, HeaderStream(), FileTable());
    while (!cache_->Ready()) {
        std::string error = cache_->ErrorText();
        if (!error.empty()) {
            SetCurrentFile(cache_->CurrentFile());
            lastWriteError_ = error;
            gActiveBurner = nullptr;
            if (OnWriteDone) OnWriteDone(this, error);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    burning_ = true;
    writer_ = std::thread([this, trackSectors] {
        WriteThread(trackSectors);
        gActiveBurner = nullptr;
        burning_ = false;
    });
    return true;
}

} // namespace larderly
