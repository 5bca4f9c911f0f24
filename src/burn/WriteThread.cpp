// The write thread of TDiscBurner: drive setup, the write loop over the cache's blocks,
// closing the track or session, returning the drive to reading, and the end-of-burn event
// handed to the user-interface thread.
#include "burn/DiscBurner.h"
#include "burn/ScsiTexts.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace larderly {

namespace {

bool IsDvd(int kind) {
    return kind >= mkDvdR && kind <= mkDvdPlusRDl;
}

// Thousands grouping of the user's locale; a comma when the locale has none.
std::string Grouped(long value) {
    const char* sep = ",";
    if (const lconv* lc = std::localeconv(); lc && lc->thousands_sep && *lc->thousands_sep)
        sep = lc->thousands_sep;
    std::string digits = std::to_string(value < 0 ? -value : value);
    std::string out;
    int n = static_cast<int>(digits.size());
    for (int i = 0; i < n; ++i) {
        out += digits[i];
        int left = n - 1 - i;
        if (left > 0 && left % 3 == 0) out += sep;
    }
    return value < 0 ? "-" + out : out;
}

void RaiseToTimeCritical() {
    // Above every thread of the normal class, so that a busy machine cannot starve the drive;
    // a low real-time level is enough for that. The thread sleeps or waits on the drive between
    // writes, so it never holds a processor for long. Best effort: without the right to
    // real-time scheduling the thread keeps its priority.
    sched_param sp{};
    sp.sched_priority = std::min(10, sched_get_priority_max(SCHED_RR));
    pthread_setschedparam(pthread_self(), SCHED_RR, &sp);
}

} // namespace

std::string TDiscBurner::SpeedText(int kind, uint16_t speed) const {
    char times[32];
    if (IsDvd(kind))
        std::snprintf(times, sizeof times, "%.1f", speed / 1385.0);
    else
        std::snprintf(times, sizeof times, "%.0f", speed / 176.4);
    return std::string(times) + "X (" + Grouped(speed) + " KB/s)";
}

bool TDiscBurner::Retryable() const {
    // A request that failed at the host adapter carries no sense either: one that never came
    // back (timed out and aborted) would only wait out the same timeout thousands of times,
    // and one the system refused (no permission, the drive unplugged) is refused again.
    if (LastHostAdapterStatus() != 0) return false;
    return Busy() || LastAsc() == 0x04 || LastAsc() == 0x00;
}

void TDiscBurner::EndWithError(const std::string& text) {
    std::lock_guard<std::recursive_mutex> lock(DeviceLock());
    cache_->SetErrorText(text);
    cache_->Stop();
}

void TDiscBurner::WriteThread(uint32_t trackSectors) {
    RaiseToTimeCritical();
    // Setup.
    bytesWritten_ = 0;
    cache_->SetErrorText("");
    bool bufferPolling = ReadBufferCapacity();
    int kind = GetMediaKind();
    SetCurrentMediaKind(kind);
    StartStopUnit(true);
    if (kind != mkDvdPlusRw) RezeroUnit();
    SetCDSpeed(ReadSpeed, writeSpeed_);
    WaitUnitReady(10000, 1000);
    uint16_t speed = CurrentWriteSpeed();
    bool finalize = FinalizeDisc;
    FinalizeDisc = true;
    // The track is opened as if no session were to follow; the close decides.
    SetWriteParameters(TestWrite, UnderrunProtection, kind, true);
    FinalizeDisc = finalize;
    if (kind == mkDvdR || kind == mkDvdRwRestricted || kind == mkDvdRwSequential ||
        kind == mkDvdPlusRw || kind == mkDvdPlusR || kind == mkDvdPlusRDl) {
        auto rate = [](uint16_t kbs) { return static_cast<uint32_t>(kbs / 1385.0 * 1440.25); };
        SetStreamingPerformance(nwa_, nwa_ + trackSectors, rate(ReadSpeed), 1000, rate(writeSpeed_),
                                1000);
    }
    int nextTrack = SessionCount() + 1;
    if (kind == mkDvdR) {
        SetStreamingPerformance(0, 0x0023127F, 43965, 1000, 1418, 1000);
        SendTimeStamp(std::time(nullptr));
        // A reservation is recorded on the disc even in test mode: a test write makes none.
        if (!TestWrite) ReserveTrack((trackSectors + 31) / 32 * 32);
        WaitUnitReady(10000, 1000);
    }
    if (kind != mkDvdRam && !TestWrite && PerformOPC) SendOPCInformation();
    char line[128];
    std::snprintf(line, sizeof line, texts::kStartingWrite, MediaKindName(kind).c_str(),
                  SpeedText(kind, speed).c_str());
    TSCSIDevice::Debug(std::string(">>> ") + line, 1);
    if (TestWrite) TSCSIDevice::Debug(std::string(">>> ") + texts::kTestWrite, 1);

    quietFailures_ = true;
    WriteBlocks(kind, nwa_, trackSectors, bufferPolling);
    quietFailures_ = false;
    Finish(kind, nextTrack, bufferPolling);
    Complete();
}

bool TDiscBurner::WriteBlocks(int kind, uint32_t nwa, uint32_t trackSectors, bool bufferPolling) {
    // The block taken from the cache is written from where the cache read it; it goes back
    // to the cache once written (or skipped).
    std::unique_ptr<TCacheBlock> block;
    uint64_t seen = 0; // the cache's change count before the last take
    auto take = [this, &block, &seen] {
        cache_->RecycleBlock(std::move(block));
        seen = cache_->ChangeCount();
        std::lock_guard<std::recursive_mutex> lock(DeviceLock());
        return cache_->TakeBlock(block);
    };
    const bool cd = kind == mkCdR || kind == mkCdRw;
    const bool rewritableDvd = kind == mkDvdRam || kind == mkDvdRwRestricted ||
                               kind == mkDvdRwSequential || kind == mkDvdPlusRw;
    const int64_t trackBytes = int64_t(trackSectors) * 2048;
    // On DVD media every block goes out as 32 sectors; a short block inside the track (the end
    // of the file data before the zero padding) would push the padding past the track's end,
    // beyond a reserved track. Once the track is covered, the rest of the padding is dropped.
    const uint64_t sectorLimit = cd ? UINT64_MAX : (uint64_t(trackSectors) + 31) / 32 * 32;
    uint32_t offset = 0;
    bool first = true;
    int blocks = 0;
    int n = take();
    for (;;) {
        if (!cache_->ErrorText().empty()) return false;
        if (n < 0) {
            // Nothing queued yet: wait until the cache announces a change, then ask again.
            cache_->WaitForChange(seen, 1);
            n = take();
            continue;
        }
        if (n == 0) return true;
        if (offset >= sectorLimit) {
            n = take();
            continue;
        }
        // A block holds whole sectors; anything shorter goes out padded with zeros.
        uint32_t length =
            cd ? static_cast<uint32_t>((n + 2047) / 2048 * 2048) : uint32_t(kCacheBlockCapacity);
        uint8_t* data = block->Data;
        std::memset(data + n, 0, length - uint32_t(n));

        if (first && rewritableDvd && !TestWrite) {
            // The volume descriptors go to the start of the disc too, so that the volume
            // found there spans the sessions written since.
            std::vector<uint8_t> copy = DescriptorCopy();
            copy.resize(kCacheBlockCapacity + 1, 0xFF);
            uint16_t sectors = static_cast<uint16_t>(blockSize_ / 2048);
            bool ok = Write10(0, sectors, copy.data(), sectors * 2048u);
            if (!ok && kind == mkDvdPlusRw && LastAsc() == 0x30) {
                static const uint8_t kFormat[12] = {0x00, 0x82, 0x00, 0x08, 0x00, 0x23,
                                                    0x05, 0x40, 0x98, 0x00, 0x00, 0x00};
                if (FormatUnit(0x11, kFormat, 12)) {
                    for (int i = 0; i < 1800; ++i) {
                        Pause(2000);
                        ReadDiscInformation();
                        if (LastAsc() != 0x04) break;
                    }
                }
                ok = Write10(0, sectors, copy.data(), sectors * 2048u);
            }
            if (ok) {
                SynchronizeCache(false, 1800000);
            } else if (Retryable()) {
                Pause(600);
            } else {
                EndWithError(std::string(texts::kWriterError) + " [" + LastError() + "]");
                return false;
            }
        }
        first = false;

        SetCurrentFile(cache_->CurrentFile());
        bytesWritten_ = std::min<int64_t>(bytesWritten_.load() + length, trackBytes);
        ++blocks;
        if (bufferPolling && blocks >= 6 && (blocks - 6) % 5 == 0)
            bufferPolling = ReadBufferCapacity();

        bool written = false;
        for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
            if (Write10(nwa + offset, static_cast<uint16_t>(length / 2048), data, length, 0x50,
                        120000)) {
                written = true;
                break;
            }
            if (!Retryable()) {
                EndWithError(std::string(texts::kWriterError) + " [" + LastError() + "]");
                return false;
            }
            Pause(600);
        }
        if (!written) {
            EndWithError(texts::kWriterBusy);
            return false;
        }
        offset += length / 2048;
        n = take();
    }
}

void TDiscBurner::Finish(int kind, int nextTrack, bool /*bufferPolling*/) {
    if (kind != mkDvdRam) ReadBufferCapacity();
    if (kind == mkDvdR || kind == mkDvdRwRestricted || kind == mkDvdRwSequential) {
        if (OnFinalizingTrack) OnFinalizingTrack(this);
        SynchronizeCache(true, 1800000);
        DeviceFreeBufferSize = DeviceBufferSize.load();
        // The drive empties its buffer onto the disc; half an hour is the most it is given.
        for (int i = 0; i < 1800 && !ReadDiscInformation(); ++i) {
            uint32_t step = DeviceBufferSize / 960;
            uint32_t free = DeviceFreeBufferSize;
            DeviceFreeBufferSize = free > step ? free - step : 0;
            Pause(1000);
        }
    } else {
        if (OnFinalizingTrack) OnFinalizingTrack(this);
        if (!SynchronizeCache(false, 120000)) SynchronizeCache(true, 120000);
    }
    DeviceBufferSize = 0;
    DeviceFreeBufferSize = 0;
    if (!cache_->ErrorText().empty()) return;

    if (!TestWrite && kind != mkDvdRam && FinalizeTrack) {
        if (kind != mkDvdR) SetWriteParameters(TestWrite, UnderrunProtection, kind, FinalizeDisc);
        uint16_t track = static_cast<uint16_t>(nextTrack);
        // Every close is checked on every medium: while the drive is busy or still writing
        // (not ready) it is asked again every second, any other refusal gets one more try;
        // a close that still fails leaves the track or session open on the disc, which is
        // no success. The closes after a failed one are not sent.
        bool closed = true;
        auto closeChecked = [&](bool immediate, uint8_t function, uint16_t number) {
            if (!closed) return;
            closed = false;
            for (int attempt = 0; attempt < kCloseAttempts; ++attempt) {
                if (CloseTrackSession(immediate, function, number)) {
                    closed = true;
                    return;
                }
                if (!(Busy() || LastAsc() == 0x04)) {
                    closed = CloseTrackSession(immediate, function, number);
                    return;
                }
                Pause(1000);
            }
        };
        switch (kind) {
        case mkDvdPlusR:
            closeChecked(false, 1, track);
            closeChecked(false, 2, 0xFF);
            break;
        case mkDvdPlusRDl:
            closeChecked(false, 1, track);
            closeChecked(false, FinalizeDisc ? 6 : 2, 0);
            break;
        case mkDvdR:
            closeChecked(false, 1, track);
            closeChecked(false, 1, static_cast<uint16_t>(track + 1));
            closeChecked(false, 2, static_cast<uint16_t>(track + 2));
            break;
        case mkDvdRwRestricted:
        case mkDvdRwSequential:
            closeChecked(true, 2, 0);
            break;
        case mkDvdPlusRw:
            closeChecked(false, 3, 0xFF);
            break;
        default:
            closeChecked(CloseSessionImmediate(), 2, 0);
            break;
        }
        if (!closed) {
            std::lock_guard<std::recursive_mutex> lock(DeviceLock());
            cache_->SetErrorText(std::string(texts::kWriterError) + " [" + LastError() + "]");
        }
    }
    WaitUnitReady(240000, 5000);
    if (kind != mkDvdRam) ReadBufferCapacity();
    // Return the drive to reading.
    SetWriteParameters(false, false, mkCdRom, false);
    SetCDSpeed(MaxReadSpeed(), 2);
    RezeroUnit();
    PreventAllowRemoval(false);
    StartStopUnit(true);
    RezeroUnit();
    TestUnitReady(5000);
}

void TDiscBurner::Complete() {
    std::string text;
    {
        std::lock_guard<std::recursive_mutex> lock(DeviceLock());
        SetCurrentFile(cache_->CurrentFile());
        text = cache_->ErrorText();
    }
    if (OnWriteDone) {
        lastWriteError_ = text;
        auto raise = [this, &text] { OnWriteDone(this, text); };
        if (dispatcher_)
            dispatcher_->Invoke(raise);
        else
            raise();
    }
    SetCloseAfterCommand(true);
    SetCurrentFile("");
}

} // namespace larderly
