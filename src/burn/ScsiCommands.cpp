// The MMC command layer of TSCSIDevice: one operation per drive command, each filling a request
// block with its fixed bytes and running it through ExecuteRequest. Multi-byte CDB fields are
// big-endian; a command succeeds when the block's status is 1.
#include "burn/ScsiDevice.h"
#include "burn/ScsiTransport.h"

#include <cstring>

namespace larderly {

namespace {
constexpr uint8_t kNoData = 0x40;
constexpr uint8_t kDataIn = 0x48;
constexpr uint8_t kDataOut = 0x50;

void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
void Put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}
uint32_t Get32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// Buffers that mode sense, mode select and read buffer capacity share across the process.
uint8_t gModeBuffer[1024];
uint8_t gBufferCapacity[32];
} // namespace

SRB_ExecSCSICmd TSCSIDevice::NewRequest(uint8_t flags, uint8_t cdbLen, uint8_t* buf, uint32_t len) {
    SRB_ExecSCSICmd srb{};
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_Flags = flags;
    srb.SRB_SenseLen = 24;
    srb.SRB_CDBLen = cdbLen;
    srb.SRB_BufPointer = buf;
    srb.SRB_BufLen = len;
    return srb;
}

bool TSCSIDevice::Run(SRB_ExecSCSICmd& srb, uint32_t timeoutMs) {
    ExecuteRequest(srb, timeoutMs);
    return srb.SRB_Status == SS_COMP;
}

bool TSCSIDevice::TestUnitReady(uint32_t timeoutMs) {
    auto srb = NewRequest(kNoData, 6, nullptr, 0);
    srb.CDBByte[0] = 0x00;
    return Run(srb, timeoutMs);
}

bool TSCSIDevice::RezeroUnit() {
    auto srb = NewRequest(kNoData, 6, nullptr, 0);
    srb.CDBByte[0] = 0x01;
    return Run(srb, 10000);
}

bool TSCSIDevice::RequestSense(uint8_t* buf, uint8_t len) {
    auto srb = NewRequest(kDataIn, 6, buf, len);
    srb.CDBByte[0] = 0x03;
    srb.CDBByte[4] = len;
    return Run(srb, 10000);
}

bool TSCSIDevice::FormatUnit(uint8_t formatByte, const uint8_t* params, uint32_t len) {
    auto srb = NewRequest(kDataOut, 6, const_cast<uint8_t*>(params), len);
    srb.CDBByte[0] = 0x04;
    srb.CDBByte[1] = formatByte;
    return Run(srb, 10000);
}

bool TSCSIDevice::Inquiry() {
    auto srb = NewRequest(kDataIn, 6, inquiry_.data(), static_cast<uint32_t>(inquiry_.size()));
    srb.CDBByte[0] = 0x12;
    srb.CDBByte[4] = 128;
    return Run(srb, 10000);
}

bool TSCSIDevice::StartStopUnit(bool load) {
    auto srb = NewRequest(kNoData, 6, nullptr, 0);
    srb.CDBByte[0] = 0x1B;
    srb.CDBByte[4] = load ? 3 : 2;
    // The load opens the drive's handle for good: it stays open for the burn that follows.
    SetCloseAfterCommand(true);
    bool ok = Run(srb, 20000);
    SetCloseAfterCommand(false);
    return ok;
}

bool TSCSIDevice::PreventAllowRemoval(bool prevent) {
    auto srb = NewRequest(kNoData, 6, nullptr, 0);
    srb.CDBByte[0] = 0x1E;
    srb.CDBByte[4] = prevent ? 1 : 0;
    if (!prevent) SetCloseAfterCommand(true);
    bool ok = Run(srb, 10000);
    SetCloseAfterCommand(false);
    return ok;
}

bool TSCSIDevice::Read10(uint32_t lba, uint16_t blocks, uint8_t* buf, uint32_t len) {
    auto srb = NewRequest(kDataIn, 10, buf, len);
    srb.CDBByte[0] = 0x28;
    Put32(&srb.CDBByte[2], lba);
    Put16(&srb.CDBByte[7], blocks);
    return Run(srb, 10000);
}

bool TSCSIDevice::Write10(uint32_t lba, uint16_t blocks, const uint8_t* buf, uint32_t len,
                          uint8_t flags, uint32_t timeoutMs) {
    auto srb = NewRequest(flags, 10, const_cast<uint8_t*>(buf), len);
    srb.CDBByte[0] = 0x2A;
    Put32(&srb.CDBByte[2], lba);
    Put16(&srb.CDBByte[7], blocks);
    ExecuteRequest(srb, timeoutMs);
    return srb.SRB_Status == SS_COMP || srb.SRB_Status == SS_PENDING;
}

bool TSCSIDevice::SynchronizeCache(bool immediate, uint32_t timeoutMs) {
    auto srb = NewRequest(kNoData, 10, nullptr, 0);
    srb.CDBByte[0] = 0x35;
    if (immediate) srb.CDBByte[1] = 2;
    return Run(srb, timeoutMs);
}

bool TSCSIDevice::ReadTocPmaAtip(bool msf, uint8_t format, uint8_t trackOrSession, uint8_t len,
                                 uint8_t control, uint8_t* buf) {
    auto srb = NewRequest(kDataIn, 10, buf, len);
    srb.CDBByte[0] = 0x43;
    if (msf) srb.CDBByte[1] = 2;
    srb.CDBByte[2] = format;
    srb.CDBByte[6] = trackOrSession;
    srb.CDBByte[8] = len;
    srb.CDBByte[9] = control;
    return Run(srb, 10000);
}

bool TSCSIDevice::GetConfiguration(uint8_t requestType, uint8_t feature, uint8_t len,
                                   uint8_t* buf) {
    auto srb = NewRequest(kDataIn, 10, buf, len);
    srb.CDBByte[0] = 0x46;
    srb.CDBByte[1] = requestType;
    srb.CDBByte[3] = feature;
    srb.CDBByte[8] = len;
    return Run(srb, 30000);
}

bool TSCSIDevice::ReadDiscInformation() {
    discInfo_.fill(0);
    auto srb = NewRequest(kDataIn, 10, discInfo_.data(), static_cast<uint32_t>(discInfo_.size()));
    srb.CDBByte[0] = 0x51;
    srb.CDBByte[8] = static_cast<uint8_t>(discInfo_.size());
    bool ok = Run(srb, 10000);
    discInfoLength_ = static_cast<uint16_t>((discInfo_[0] << 8) | discInfo_[1]);
    return ok;
}

bool TSCSIDevice::ReadTrackInformation(uint8_t track) {
    TrackInformation ti;
    auto srb = NewRequest(kDataIn, 10, ti.raw.data(), static_cast<uint32_t>(ti.raw.size()));
    srb.CDBByte[0] = 0x52;
    srb.CDBByte[1] = 1;
    srb.CDBByte[5] = track;
    srb.CDBByte[8] = 40;
    bool ok = Run(srb, 60000);
    const uint8_t* r = ti.raw.data();
    ti.dataLength = static_cast<uint16_t>((r[0] << 8) | r[1]);
    ti.trackStart = Get32(r + 8);
    ti.nextWritable = Get32(r + 12);
    ti.freeBlocks = Get32(r + 16);
    ti.fixedPacketSize = Get32(r + 20);
    ti.trackSize = Get32(r + 24);
    ti.lastRecorded = Get32(r + 28);
    trackInfo_ = ti;
    return ok;
}

bool TSCSIDevice::ReserveTrack(uint32_t blocks) {
    auto srb = NewRequest(kNoData, 12, nullptr, 0);
    srb.CDBByte[0] = 0x53;
    Put32(&srb.CDBByte[5], blocks);
    return Run(srb, 10000);
}

bool TSCSIDevice::SendOPCInformation() {
    auto srb = NewRequest(kNoData, 10, nullptr, 0);
    srb.CDBByte[0] = 0x54;
    srb.CDBByte[1] = 1;
    return Run(srb, 150000);
}

bool TSCSIDevice::ModeSelect10(const uint8_t* buf, uint8_t len) {
    std::memcpy(gModeBuffer, buf, len);
    auto srb = NewRequest(kDataOut, 10, gModeBuffer, len);
    srb.CDBByte[0] = 0x55;
    srb.CDBByte[1] = 0x10;
    srb.CDBByte[8] = len;
    return Run(srb, 10000);
}

bool TSCSIDevice::ModeSense10(uint8_t page, bool defaults, uint16_t len, uint8_t* dest) {
    if (len > sizeof gModeBuffer) len = sizeof gModeBuffer;
    std::memset(dest, 0, len);
    std::memset(gModeBuffer, 0, len);
    auto srb = NewRequest(kDataIn, 10, gModeBuffer, len);
    srb.CDBByte[0] = 0x5A;
    srb.CDBByte[2] = static_cast<uint8_t>(page | (defaults ? 0x80 : 0));
    Put16(&srb.CDBByte[7], len);
    bool ok = Run(srb, 20000);
    if (ok) std::memcpy(dest, gModeBuffer, len);
    return ok;
}

bool TSCSIDevice::CloseTrackSession(bool immediate, uint8_t function, uint16_t track) {
    auto srb = NewRequest(kNoData, 10, nullptr, 0);
    srb.CDBByte[0] = 0x5B;
    if (immediate) srb.CDBByte[1] = 1;
    srb.CDBByte[2] = function;
    Put16(&srb.CDBByte[4], track);
    return Run(srb, 180000);
}

bool TSCSIDevice::CloseTrackSessionCD(bool immediate, bool closeTrack, bool finalize) {
    auto srb = NewRequest(kNoData, 10, nullptr, 0);
    srb.CDBByte[0] = 0x5B;
    if (immediate) srb.CDBByte[1] = 1;
    if (finalize) {
        srb.CDBByte[2] = 5;
    } else if (closeTrack) {
        srb.CDBByte[2] = 1;
        srb.CDBByte[5] = 0xFF;
    } else {
        srb.CDBByte[2] = 2;
    }
    return Run(srb, 180000);
}

bool TSCSIDevice::ReadBufferCapacity() {
    std::memset(gBufferCapacity, 0, sizeof gBufferCapacity);
    auto srb = NewRequest(kDataIn, 10, gBufferCapacity, sizeof gBufferCapacity);
    srb.CDBByte[0] = 0x5C;
    srb.CDBByte[8] = 32;
    bool ok = Run(srb, 10000);
    if (ok) {
        DeviceBufferSize = Get32(gBufferCapacity + 4);
        DeviceFreeBufferSize = Get32(gBufferCapacity + 8);
        if (DeviceFreeBufferSize == 0xFFFFFFFFu) DeviceFreeBufferSize = DeviceBufferSize.load();
    } else {
        DeviceFreeBufferSize = 0;
    }
    return ok;
}

bool TSCSIDevice::SetStreaming(const uint8_t* descriptor, uint16_t len) {
    auto srb = NewRequest(kDataOut, 12, const_cast<uint8_t*>(descriptor), len);
    srb.CDBByte[0] = 0xB6;
    Put16(&srb.CDBByte[9], len);
    return Run(srb, 10000);
}

bool TSCSIDevice::SetStreamingPerformance(uint32_t startLba, uint32_t endLba, uint32_t readSize,
                                          uint32_t readTime, uint32_t writeSize,
                                          uint32_t writeTime) {
    uint8_t d[28] = {};
    Put32(d + 4, startLba);
    Put32(d + 8, endLba);
    Put32(d + 12, readSize);
    Put32(d + 16, readTime);
    Put32(d + 20, writeSize);
    Put32(d + 24, writeTime);
    return SetStreaming(d, sizeof d);
}

bool TSCSIDevice::SetCDSpeed(uint16_t readSpeed, uint16_t writeSpeed) {
    auto srb = NewRequest(kNoData, 12, nullptr, 0);
    srb.CDBByte[0] = 0xBB;
    Put16(&srb.CDBByte[2], readSpeed == 0 ? 0xFFFF : readSpeed);
    Put16(&srb.CDBByte[4], writeSpeed == 0 ? 0xFFFF : writeSpeed);
    return Run(srb, 10000);
}

bool TSCSIDevice::SendDVDStructure(uint8_t format, const uint8_t* buf, uint16_t len) {
    auto srb = NewRequest(kDataOut, 12, const_cast<uint8_t*>(buf), len);
    srb.CDBByte[0] = 0xBF;
    srb.CDBByte[7] = format;
    Put16(&srb.CDBByte[8], len);
    return Run(srb, 10000);
}

bool TSCSIDevice::SendTimeStamp(std::time_t when) {
    uint8_t d[22] = {0x00, 0x14, 0x00, 0x00, 0, 0, 0, 0};
    std::tm tm{};
    localtime_r(&when, &tm);
    char digits[64];
    std::snprintf(digits, sizeof digits, "%04d%02d%02d%02d%02d%02d", (tm.tm_year + 1900) % 10000,
                  (tm.tm_mon + 1) % 100, tm.tm_mday % 100, tm.tm_hour % 100, tm.tm_min % 100,
                  tm.tm_sec % 100);
    std::memcpy(d + 8, digits, 14);
    return SendDVDStructure(0x0F, d, sizeof d);
}

} // namespace larderly
