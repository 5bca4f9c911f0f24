// TSCSIDevice: the drive side of the disc engine. It loads a transport, enumerates the CD and
// DVD drives as list lines, selects one, runs request blocks on it with timeouts, turns
// failures into texts and reports through OnDebugMessage. The MMC command layer and the
// probes built on it (capabilities, media kind, sessions, write parameters, readiness) are
// members too; they live in ScsiCommands.cpp and ScsiProbes.cpp.
#pragma once

#include "burn/AspiAbi.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace larderly {

class TSCSIDevice;

// OnDebugMessage: mType 0 device or transport failure, 1 information, 3 full image table,
// 4 invalid image path.
using TOnDebugMsg =
    std::function<void(TSCSIDevice* Sender, const std::string& Message, uint8_t mType)>;
using TDeviceChangedEvent = std::function<void(TSCSIDevice* Sender)>;

// Media kinds of the engine, in the numbering of its messages.
enum MediaKind : int {
    mkUnknown = 0,
    mkCdRom = 1,
    mkCdR = 2,
    mkCdRw = 3,
    mkDvdRom = 4,
    mkDvdR = 5,
    mkDvdRam = 6,
    mkDvdRw = 7,
    mkDvdRwRestricted = 8,
    mkDvdRwSequential = 9,
    mkDvdPlusRw = 10,
    mkDvdPlusR = 11,
    mkDvdPlusRDl = 12,
    mkDdcdRom = 13,
    mkDdcdR = 14,
    mkDdcdRw = 15,
};

// The process-wide media kind of the drive being prepared or burned.
int CurrentMediaKind();
void SetCurrentMediaKind(int kind);

class TSCSIDevice {
public:
    static constexpr uint8_t kNone = 254;
    static constexpr uint32_t kCapBufe = 0x100000;
    static constexpr uint32_t kCapTestWrite = 0x1000;

    TSCSIDevice();
    virtual ~TSCSIDevice();
    TSCSIDevice(const TSCSIDevice&) = delete;
    TSCSIDevice& operator=(const TSCSIDevice&) = delete;

    // ---- transport, enumeration, selection
    bool InitTransport(bool PreferSpti, const std::string& AspiLibraryPath);
    bool ASPIInitialized() const;
    static std::string TransportName();
    const std::vector<std::string>& DeviceList() const { return deviceList_; }
    void Enumerate();
    void HostAdapterInquiry(uint8_t adapter, SRB_HAInquiry* out = nullptr);
    void SelectDevice(const std::string& line);
    // Runs a request on the selected drive; the outcome is in the block's status, LastError,
    // the sense copy and the busy flag.
    void ExecuteRequest(SRB_ExecSCSICmd& srb, uint32_t timeoutMs);
    void SetCloseAfterCommand(bool on);
    bool CloseAfterCommand() const;

    std::recursive_mutex& DeviceLock() { return deviceLock_; }

    // ---- state
    uint8_t Adapter() const { return adapter_; }
    uint8_t Target() const { return target_; }
    uint8_t Lun() const { return lun_; }
    int8_t HostAdapterCount() const { return hostAdapterCount_; }
    uint8_t DeviceType() const { return deviceType_; }
    const std::string& SelectedDevice() const { return selectedDevice_; }
    const std::string& DeviceDescription() const { return deviceDescription_; }
    const std::string& LastError() const { return lastError_; }
    const std::array<uint8_t, ASPI_SENSE_LEN>& Sense() const { return sense_; }
    uint8_t LastAsc() const { return sense_[12]; }
    uint8_t LastAscq() const { return sense_[13]; }
    bool Busy() const { return busy_; }
    // Host adapter status of the last failed request (0 when it did not fail there).
    uint8_t LastHostAdapterStatus() const { return lastHaStat_; }
    bool UnderrunSafeModel() const { return underrunSafeModel_; }
    bool LinkSizeModel() const { return linkSizeModel_; }
    bool SlowReadyModel() const { return slowReadyModel_; }
    static bool SlowReadyVendor();
    static bool CloseSessionImmediate();
    const std::array<uint8_t, 128>& InquiryData() const { return inquiry_; }

    bool DoDebug = false;
    bool FinalizeDisc = false;
    TOnDebugMsg OnDebugMessage;
    TDeviceChangedEvent OnDeviceChange;

    // Waits of the engine go through here so that tests can run them without waiting.
    std::function<void(uint32_t ms)> Sleeper;
    void Pause(uint32_t ms);

    // ---- drive commands
    bool TestUnitReady(uint32_t timeoutMs);
    bool RezeroUnit();
    bool RequestSense(uint8_t* buf, uint8_t len);
    bool FormatUnit(uint8_t formatByte, const uint8_t* params, uint32_t len);
    bool Inquiry();
    bool StartStopUnit(bool load);
    bool PreventAllowRemoval(bool prevent);
    bool Read10(uint32_t lba, uint16_t blocks, uint8_t* buf, uint32_t len);
    bool Write10(uint32_t lba, uint16_t blocks, const uint8_t* buf, uint32_t len,
                 uint8_t flags = 0x50, uint32_t timeoutMs = 120000);
    bool SynchronizeCache(bool immediate, uint32_t timeoutMs);
    bool ReadTocPmaAtip(bool msf, uint8_t format, uint8_t trackOrSession, uint8_t len,
                        uint8_t control, uint8_t* buf);
    bool GetConfiguration(uint8_t requestType, uint8_t feature, uint8_t len, uint8_t* buf);
    bool ReadDiscInformation();
    bool ReadTrackInformation(uint8_t track);
    bool ReserveTrack(uint32_t blocks);
    bool SendOPCInformation();
    bool ModeSelect10(const uint8_t* buf, uint8_t len);
    bool ModeSense10(uint8_t page, bool defaults, uint16_t len, uint8_t* dest);
    bool CloseTrackSession(bool immediate, uint8_t function, uint16_t track);
    // The form used for CD media: close track (with byte 5 = FFh) or close session, or
    // function 5 when finalizing.
    bool CloseTrackSessionCD(bool immediate, bool closeTrack, bool finalize);
    bool ReadBufferCapacity();
    bool SetStreaming(const uint8_t* descriptor, uint16_t len);
    bool SetStreamingPerformance(uint32_t startLba, uint32_t endLba, uint32_t readSize,
                                 uint32_t readTime, uint32_t writeSize, uint32_t writeTime);
    bool SetCDSpeed(uint16_t readSpeed, uint16_t writeSpeed);
    bool SendDVDStructure(uint8_t format, const uint8_t* buf, uint16_t len);
    // Sends the 14-digit "yyyymmddhhnnss" stamp of the given time.
    bool SendTimeStamp(std::time_t when);

    // ---- probes
    bool ProbeCapabilities();
    int GetMediaKind();
    int SessionCount();
    bool SetWriteParameters(bool TestWrite, bool UnderrunProtection, int mediaKind, bool finalize);
    void ProbeWriteTypes();
    bool WaitUnitReady(int32_t budgetMs, int32_t intervalMs);
    uint16_t CurrentWriteSpeed();
    uint16_t MaxReadSpeed();

    uint32_t MediaCapabilities() const { return mediaCapabilities_; }
    uint16_t DeviceMaxReadSpeed() const { return maxReadSpeed_; }
    uint16_t DeviceMaxWriteSpeed() const { return maxWriteSpeed_; }
    uint8_t WriteTypes() const { return writeTypes_; }
    const std::array<uint8_t, 516>& CapabilitiesPage() const { return capsPage_; }
    const std::array<uint8_t, 54>& WriteParametersPage() const { return writePage_; }
    const std::array<uint8_t, 56>& DiscInformation() const { return discInfo_; }
    uint16_t DiscInformationLength() const { return discInfoLength_; }

    struct TrackInformation {
        uint16_t dataLength = 0;
        uint32_t trackStart = 0;
        uint32_t nextWritable = 0;
        uint32_t freeBlocks = 0;
        uint32_t fixedPacketSize = 0;
        uint32_t trackSize = 0;
        uint32_t lastRecorded = 0;
        std::array<uint8_t, 40> raw{};
    };
    const TrackInformation& TrackInfo() const { return trackInfo_; }

    // Drive buffer and its free part in bytes, read by the user-interface thread while the
    // write thread polls.
    std::atomic<uint32_t> DeviceBufferSize{0};
    std::atomic<uint32_t> DeviceFreeBufferSize{0};

protected:
    void Debug(const std::string& message, uint8_t mType);
    void ClearSelection();
    // While set, no failure lines are emitted (the write loop).
    bool quietFailures_ = false;

private:
    void DecodeFailure(SRB_ExecSCSICmd& srb);
    std::string FailureLine(const SRB_ExecSCSICmd& srb) const;
    void SetQuirks();
    char DriveLetterOf(uint8_t adapter, uint8_t target, uint8_t lun);
    SRB_ExecSCSICmd NewRequest(uint8_t flags, uint8_t cdbLen, uint8_t* buf, uint32_t len);
    bool Run(SRB_ExecSCSICmd& srb, uint32_t timeoutMs);
    static std::size_t LocatePage(const uint8_t* buf, uint8_t page);

    uint8_t adapter_ = kNone;
    uint8_t target_ = kNone;
    uint8_t lun_ = kNone;
    int8_t hostAdapterCount_ = 0;
    uint8_t deviceType_ = 0x7F;
    std::string selectedDevice_;
    std::string deviceDescription_;
    std::string lastError_;
    std::array<uint8_t, 128> inquiry_{};
    std::array<uint8_t, ASPI_SENSE_LEN> sense_{};
    bool busy_ = false;
    uint8_t lastHaStat_ = 0;
    std::vector<std::string> deviceList_;
    bool underrunSafeModel_ = false;
    bool linkSizeModel_ = false;
    bool slowReadyModel_ = false;
    std::recursive_mutex deviceLock_;

    std::array<uint8_t, 516> capsPage_{};
    uint32_t mediaCapabilities_ = 0;
    uint16_t maxReadSpeed_ = 0;
    uint16_t maxWriteSpeed_ = 0;
    std::array<uint8_t, 54> writePage_{};
    uint8_t writeTypes_ = 0;
    std::array<uint8_t, 56> discInfo_{};
    uint16_t discInfoLength_ = 0;
    TrackInformation trackInfo_;
    void* event_ = nullptr; // the completion event, made on first use
};

} // namespace larderly
