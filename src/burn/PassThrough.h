// "PTASPI32": the two-function drive interface emulated over the Linux SCSI generic
// pass-through (SG_IO) on the CD drives' block devices /dev/sr*. The system calls go through
// PassThroughSystem so that tests can stand in for the kernel.
#pragma once

#include "burn/ScsiTransport.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace larderly {

// The kernel as the emulation sees it.
class PassThroughSystem {
public:
    virtual ~PassThroughSystem() = default;
    // Device paths of the CD drives, in drive order (/dev/sr0, /dev/sr1, ...).
    virtual std::vector<std::string> CdDevices();
    virtual int Open(const std::string& path, int flags);
    virtual int Close(int fd);
    virtual int Ioctl(int fd, unsigned long request, void* arg);
    // Target of a symbolic link, "" when there is none.
    virtual std::string ReadLink(const std::string& path);
};

class PassThroughTransport final : public ScsiTransport {
public:
    static constexpr int kTableSize = 27;
    static constexpr uint8_t kNoAddressLun = 250;

    struct Entry {
        uint8_t adapter = 0; // the emulated adapter: dense, one digit, in host order
        int host = -1;       // the kernel's SCSI host number (-1: the drive has no address)
        uint8_t target = 0;
        uint8_t lun = 0;
        uint8_t driveNumber = 0;
        bool present = false;
        int handle = -1;
        std::array<uint8_t, 40> inquiry{};
        std::string path; // the device node
        char letter = 0;  // 0: the drive has no letter
    };

    explicit PassThroughTransport(std::unique_ptr<PassThroughSystem> system = nullptr);
    ~PassThroughTransport() override;

    // Finds the CD drives; runs once, a second call returns the first result at once.
    int Scan();
    // Letter of a device node, asked during the scan (none by default).
    void SetLetterResolver(std::function<char(const std::string&)> resolver) {
        letterOf_ = std::move(resolver);
    }

    std::string Name() const override;
    uint32_t GetSupportInfo() override;
    uint32_t SendCommand(void* srb) override;
    char DriveLetter(uint8_t adapter, uint8_t target, uint8_t lun) override;
    std::string LastFailureCause() const override { return lastCause_; }
    void SetCloseAfterCommand(bool on) override { closeAfterCommand_ = on; }
    bool CloseAfterCommand() const override { return closeAfterCommand_; }

    int AdapterCount() const { return adapterCount_; }
    const Entry& TableEntry(int i) const { return table_[i]; }

private:
    int OpenDrive(const std::string& path);
    Entry* Find(uint8_t adapter, uint8_t target, uint8_t lun);
    uint32_t Execute(SRB_ExecSCSICmd* srb);
    void ComputeAdapterCount();

    std::unique_ptr<PassThroughSystem> sys_;
    std::array<Entry, kTableSize> table_{};
    std::function<char(const std::string&)> letterOf_;
    int adapterCount_ = 0;
    int noAddressCount_ = 0;
    bool scanned_ = false;
    int found_ = 0;
    bool closeAfterCommand_ = true;
    std::string lastCause_;
};

// Makes the system layer of the emulation that InitTransport scans (tests stand in for the
// kernel here); forgets an earlier scan.
void SetPassThroughSystemFactory(std::function<std::unique_ptr<PassThroughSystem>()> factory);

} // namespace larderly
