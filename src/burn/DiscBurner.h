// TDiscBurner: the disc writer. It is a SCSI device (drive access, commands, probes) and a
// disc image (tree, layout, header) at once, and burns the prepared image as one new track:
// BurnImage lays the image out for the disc in the drive, starts the read-ahead cache and
// then the write thread, which sets the drive up, writes the cache's blocks, closes the track
// or session and reports the outcome through OnWriteDone on the user-interface thread.
#pragma once

#include "burn/CacheThread.h"
#include "burn/Image.h"
#include "burn/ScsiDevice.h"
#include "burn/UiDispatcher.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace larderly {

class TDiscBurner;

using TWriteDoneEvent = std::function<void(TDiscBurner* Sender, const std::string& Error)>;
using TNotifyEvent = std::function<void(TDiscBurner* Sender)>;
using TEraseDoneEvent = std::function<void(TDiscBurner* Sender, bool WithError)>;

class TDiscBurner : public TSCSIDevice, public TDiscImage {
public:
    static constexpr const char* kVersion = "1.22";
    static constexpr int kWriteAttempts = 10000;
    static constexpr int kCloseAttempts = 1000;

    TDiscBurner();
    ~TDiscBurner() override;

    // ---- published properties
    bool UnderrunProtection = true;
    uint16_t ReadSpeed = 0;
    bool TestWrite = false;
    bool FinalizeTrack = true;
    bool PerformOPC = false;
    std::string ISOFileName;

    uint16_t WriteSpeed() const { return writeSpeed_; }
    // Sends set CD speed (ReadSpeed, the new value) at once, then keeps the value.
    void SetWriteSpeed(uint16_t speed);
    int32_t CacheSize() const { return cacheSize_; }
    // Below 2 MiB gives 2 MiB; any other value is rounded down to whole sectors.
    void SetCacheSize(int32_t size);
    bool Erasing() const { return false; }
    std::string Version() const { return kVersion; }
    void SetVersion(const std::string&) {}

    // ---- events
    TWriteDoneEvent OnWriteDone;
    TNotifyEvent OnFinalizingTrack;
    TEraseDoneEvent OnEraseDone; // never raised: this engine does not blank
    // Where OnWriteDone runs; a direct call when none is set.
    void SetDispatcher(UiDispatcher* dispatcher) { dispatcher_ = dispatcher; }

    // ---- burning
    // Lays the image out for the disc, starts the cache and the write thread. True when the
    // write thread was started; false when the cache failed first (OnWriteDone has then run).
    bool BurnImage();
    // Whether a write thread is running.
    bool Burning() const { return burning_.load(); }
    // Waits for the write thread of the last burn to end.
    void WaitForBurn();

    int64_t BytesWritten() const { return bytesWritten_.load(); }
    std::string CurrentFile() const;
    const std::string& LastWriteError() const { return lastWriteError_; }

    // Start of the new track on the disc; false when the drive did not tell.
    bool NextWritableAddress(uint32_t& address);

    void PrepareImage(bool WithoutDevice, const std::string& directory) override;
    uint32_t DeviceNextWritableAddress() override;

    // The burner being burned (process-wide), null between burns.
    static TDiscBurner* ActiveBurner();

private:
    void WriteThread(uint32_t trackSectors);
    bool WriteBlocks(int kind, uint32_t nwa, uint32_t trackSectors, bool bufferPolling);
    void Finish(int kind, int nextTrack, bool bufferPolling);
    void Complete();
    void EndWithError(const std::string& text);
    bool Retryable() const;
    std::string SpeedText(int kind, uint16_t speed) const;
    void SetCurrentFile(const std::string& f);

    uint16_t writeSpeed_ = 0;
    int32_t cacheSize_ = 4194304;
    UiDispatcher* dispatcher_ = nullptr;
    std::unique_ptr<TCacheThread> cache_;
    std::thread writer_;
    std::atomic<bool> burning_{false};
    std::atomic<int64_t> bytesWritten_{0};
    mutable std::mutex fileLock_;
    std::string currentFile_;
    std::string lastWriteError_;
    bool burnStarting_ = false;
    uint32_t nwa_ = 0;
    int blockSize_ = 65536;
};

} // namespace larderly
