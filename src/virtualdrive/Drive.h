/* The simulated MMC drive: takes one command descriptor block with its data buffer and
 * answers as a CD/DVD writer would: data, GOOD, CHECK CONDITION with fixed-format sense,
 * BUSY, or (under an injected fault) no answer at all. Not thread-safe by itself: the
 * library entry points serialise every request. */
#pragma once

#include "virtualdrive/Disc.h"
#include "virtualdrive/Faults.h"
#include "virtualdrive/Media.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace larderly::vdrive {

struct DriveConfig {
    std::string imagePath;
    std::string mediaToken; // empty: cdr
    std::string capacity;   // empty: the medium's own
    std::string faults;

    bool operator==(const DriveConfig&) const = default;
};

struct Request {
    const uint8_t* cdb = nullptr;
    uint8_t cdbLength = 0;
    uint8_t* data = nullptr;
    uint32_t dataLength = 0;
};

struct Sense {
    uint8_t key = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
};

struct Outcome {
    enum class Kind { Good, CheckCondition, Busy, DataUnderrun, Hang };
    Kind kind = Kind::Good;
    Sense sense;
    uint32_t transferred = 0;

    // Fixed-format sense data (18 bytes) of a CHECK CONDITION.
    std::array<uint8_t, 18> SenseBytes() const;
};

class Drive {
public:
    explicit Drive(const DriveConfig& config);
    ~Drive();
    Drive(const Drive&) = delete;
    Drive& operator=(const Drive&) = delete;

    Outcome Execute(const Request& request);
    // The sense of the last CHECK CONDITION went back with the request (autosense), so
    // REQUEST SENSE no longer reports it.
    void SenseDelivered() { pendingSense_.reset(); }

    static constexpr const char* kVendor = "LARDERLY";
    static constexpr const char* kProduct = "VIRTUAL WRITER";
    static constexpr const char* kRevision = "1.00";
    static constexpr uint32_t kBufferBytes = 2 * 1024 * 1024;

private:
    using Bytes = std::vector<uint8_t>;

    // Command families.
    Outcome Inquiry(const Request& r);
    Outcome RequestSense(const Request& r);
    Outcome TestUnitReady();
    Outcome StartStop(const Request& r);
    Outcome PreventAllow(const Request& r);
    Outcome GetConfiguration(const Request& r);
    Outcome ModeSense(const Request& r);
    Outcome ModeSelect(const Request& r);
    Outcome GetEventStatus(const Request& r);
    Outcome SetCdSpeed(const Request& r);
    Outcome SetStreaming(const Request& r);
    Outcome ReadBufferCapacity(const Request& r);
    Outcome ReadDiscInformation(const Request& r);
    Outcome ReadTrackInformation(const Request& r);
    Outcome ReadToc(const Request& r);
    Outcome ReadCapacity(const Request& r);
    Outcome Read10(const Request& r);
    Outcome Write10(const Request& r);
    Outcome SynchronizeCache(const Request& r);
    Outcome CloseTrackSession(const Request& r);
    Outcome ReserveTrack(const Request& r);
    Outcome FormatUnit(const Request& r);
    Outcome Blank(const Request& r);
    Outcome SendOpc();
    Outcome SendDvdStructure(const Request& r);

    // Helpers.
    static Outcome Good() { return {}; }
    static Outcome Check(uint8_t key, uint8_t asc, uint8_t ascq);
    static Outcome Reply(const Request& r, const Bytes& answer, uint32_t allocation);
    // The medium can be accessed: not (or a CHECK CONDITION saying why).
    std::optional<Outcome> MediumAbsent();
    // An injected not-ready condition for a command that touches the medium.
    std::optional<Outcome> PollFault();
    const MediaInfo& CurrentMedia() const;
    uint16_t CurrentProfile() const;
    Bytes CapabilitiesPage(int pageControl) const;
    Bytes WriteParametersPage(int pageControl) const;
    bool AcceptWriteParameters(const uint8_t* page, size_t length, Sense& sense) const;
    uint32_t BlockSize() const;
    bool TestWriteActive() const;
    bool WriteSectors(uint32_t lba, const uint8_t* data, uint32_t count);
    bool ReadSectors(uint32_t lba, uint8_t* data, uint32_t count);
    Track* WritableTrackAt(uint32_t lba, bool& opensInvisible);
    Outcome WriteOverwritable(uint32_t lba, uint32_t count, const Request& r);
    Outcome WriteSequential(uint32_t lba, uint32_t count, const Request& r);
    bool EndTaoTrack();
    void ArmLongSync();
    // Records the disc in its state file; false when that failed.
    bool SaveState();
    void ResetWriteParameters();

    DriveConfig config_;
    Faults faults_;
    std::string statePath_;
    int imageFd_ = -1;
    std::optional<Disc> disc_; // nullopt: no disc in the tray (or it cannot be read)
    Sense unreadable_;         // why there is no usable disc, when one was expected
    bool trayOpen_ = false;
    bool preventRemoval_ = false;
    std::array<uint8_t, 52> page05_{};
    uint16_t readSpeed_ = 0;
    uint16_t writeSpeed_ = 0;
    int mediaEvent_ = 0;                // pending GET EVENT STATUS media event code
    std::optional<Sense> pendingSense_; // deferred sense for REQUEST SENSE
    std::optional<uint32_t> testNwa_;   // next address of a simulated (test) write
    bool firstWriteSeen_ = false;
    uint32_t longPolls_ = 0;     // polls still answered LONG WRITE IN PROGRESS
    uint32_t unsavedBlocks_ = 0; // blocks recorded since the state file was written
    static constexpr uint32_t kStateSaveBlocks = 8192;
    bool stateDamaged_ = false; // never write a state file that could not be read
    uint64_t commands_ = 0;
    uint32_t writes_ = 0;
    uint32_t testUnitReadys_ = 0;
    uint32_t mediumCommands_ = 0;
};

} // namespace larderly::vdrive
