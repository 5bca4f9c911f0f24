// The probes of TSCSIDevice built on the drive commands: capabilities and speeds, the kind of
// medium, the session count, the write parameters page, the write-type probe and the wait for
// the drive to become ready.
#include "burn/ScsiDevice.h"

#include <algorithm>
#include <cstring>

namespace larderly {

namespace {
uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
void Put16Host(uint8_t* p, uint16_t v) {
    std::memcpy(p, &v, 2);
}
uint16_t Get16Host(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

int KindOfProfile(uint16_t profile) {
    switch (profile) {
    case 0x08:
        return mkCdRom;
    case 0x09:
        return mkCdR;
    case 0x0A:
        return mkCdRw;
    case 0x10:
        return mkDvdRom;
    case 0x11:
        return mkDvdR;
    case 0x12:
        return mkDvdRam;
    case 0x13:
        return mkDvdRwRestricted;
    case 0x14:
        return mkDvdRwSequential;
    case 0x1A:
        return mkDvdPlusRw;
    case 0x1B:
        return mkDvdPlusR;
    case 0x2B:
        return mkDvdPlusRDl;
    case 0x20:
        return mkDdcdRom;
    case 0x21:
        return mkDdcdR;
    case 0x22:
        return mkDdcdRw;
    default:
        return mkUnknown;
    }
}
} // namespace

std::size_t TSCSIDevice::LocatePage(const uint8_t* buf, uint8_t page) {
    // Drives set the saveable bit in the page byte; only the page code is compared.
    auto is = [&](std::size_t at) { return (buf[at] & 0x3F) == page; };
    if (is(16)) return 16;
    if (is(8)) return 8;
    if (is(7)) return 7;
    return 8;
}

bool TSCSIDevice::ProbeCapabilities() {
    mediaCapabilities_ = 0;
    maxReadSpeed_ = 0;
    maxWriteSpeed_ = 0;
    capsPage_.fill(0);
    uint8_t buf[516];
    uint16_t defaultMaxWrite = 0, defaultMaxRead = 0;
    if (ModeSense10(0x2A, true, 255, buf)) {
        std::size_t at = LocatePage(buf, 0x2A);
        uint8_t page[516] = {};
        std::memcpy(page, buf + at, 255 - at);
        std::memcpy(capsPage_.data(), page, 255);
        uint8_t b2 = page[2], b3 = page[3], b4 = page[4];
        uint32_t caps = 0;
        caps |= b2 & 0x0F;
        if (b2 & 0x10) caps |= 0x10 | 0x20;
        if (b2 & 0x20) caps |= 0x40;
        if (b3 & 0x01) caps |= 0x400;
        if (b3 & 0x02) caps |= 0x800;
        if (b3 & 0x04) caps |= 0x1000;
        if (b3 & 0x10) caps |= 0x2000 | 0x4000;
        if (b3 & 0x20) caps |= 0x8000;
        if (b4 & 0x80) caps |= kCapBufe;
        uint8_t vendor[128];
        if (ModeSense10(0x30, false, 128, vendor)) {
            if ((vendor[16] & 0x3F) == 0x30 || (vendor[8] & 0x3F) == 0x30 ||
                (vendor[7] & 0x3F) == 0x30)
                caps |= kCapBufe;
        }
        if (underrunSafeModel_) caps |= kCapBufe;
        defaultMaxWrite = Get16(page + 18);
        if (defaultMaxWrite == 0 && (b3 & 0x20)) defaultMaxWrite = 1;
        defaultMaxRead = Get16(page + 8);
        if (defaultMaxRead == 0 && (b3 & 0x20)) defaultMaxRead = 1;
        struct Feature {
            uint8_t code;
        };
        for (uint8_t feature : {uint8_t(0x2A), uint8_t(0x3B), uint8_t(0x2F)}) {
            uint8_t conf[114];
            std::memset(conf, 0, sizeof conf);
            if (!GetConfiguration(2, feature, sizeof conf, conf)) continue;
            if (Get16(conf + 8) != feature) continue;
            uint8_t first = conf[12];
            if (feature == 0x2A) {
                caps |= 0x80 | 0x200;
                if (first == 1) caps |= 0x10000 | 0x40000;
            } else if (feature == 0x3B) {
                caps |= 0x100;
                if (first == 1) caps |= 0x20000;
            } else {
                caps |= 0x10 | 0x20;
                if (first == 1) caps |= 0x2000 | 0x4000;
            }
        }
        mediaCapabilities_ = caps;
    }
    maxWriteSpeed_ = defaultMaxWrite;
    maxReadSpeed_ = defaultMaxRead;
    if (!ModeSense10(0x2A, false, 128, buf)) return false;
    std::size_t at = LocatePage(buf, 0x2A);
    // The capabilities keep the default page's flags when the current page is shorter.
    uint8_t page[516] = {};
    std::memcpy(page, buf + at, 128 - at);
    std::memcpy(capsPage_.data(), page, 128);
    if (Get16(page + 20) == 0) Put16(page + 20, 1385);
    if (Get16(page + 18) == 0) Put16(page + 18, 1385);
    for (int off : {20, 18, 14, 8, 12})
        Put16Host(&capsPage_[off], Get16(page + off));
    maxWriteSpeed_ = std::max(maxWriteSpeed_, Get16Host(&capsPage_[18]));
    maxReadSpeed_ = std::max(maxReadSpeed_, Get16Host(&capsPage_[8]));
    return true;
}

uint16_t TSCSIDevice::CurrentWriteSpeed() {
    if (!ProbeCapabilities()) return 0;
    return Get16Host(&capsPage_[20]);
}

uint16_t TSCSIDevice::MaxReadSpeed() {
    if (!ProbeCapabilities()) return 0;
    return Get16Host(&capsPage_[8]);
}

int TSCSIDevice::GetMediaKind() {
    int kind = mkUnknown;
    uint8_t conf[114] = {};
    if (GetConfiguration(2, 0, sizeof conf, conf)) kind = KindOfProfile(Get16(conf + 6));
    if (kind == mkUnknown) {
        uint8_t atip[26] = {};
        if (ReadTocPmaAtip(true, 4, 0, sizeof atip, 0, atip)) {
            uint8_t b = atip[6];
            if (!(b & 0x80))
                kind = mkCdRom;
            else
                kind = (b & 0x40) ? mkCdRw : mkCdR;
        }
    }
    if (kind == mkUnknown && ReadDiscInformation()) kind = (discInfo_[2] & 0x10) ? mkCdRw : mkCdR;
    if (kind == mkUnknown && TestUnitReady(5000)) kind = mkCdRom;
    return kind;
}

int TSCSIDevice::SessionCount() {
    if (!ReadDiscInformation()) return 0;
    if ((discInfo_[2] & 0x03) == 0) return 0;
    int n = discInfo_[4];
    if (((discInfo_[2] >> 2) & 0x03) == 0 && n > 0) --n;
    return n;
}

bool TSCSIDevice::SetWriteParameters(bool TestWrite, bool UnderrunProtection, int kind,
                                     bool finalize) {
    if (kind == mkDvdRam) return true;
    uint8_t buf[512];
    if (!ModeSense10(0x05, false, sizeof buf, buf)) return false;
    std::size_t at = LocatePage(buf, 0x05);
    uint8_t* p = writePage_.data();
    writePage_.fill(0);
    std::memcpy(p, buf + at, writePage_.size());
    auto setPacket = [p](uint32_t v) {
        p[10] = static_cast<uint8_t>(v >> 24);
        p[11] = static_cast<uint8_t>(v >> 16);
        p[12] = static_cast<uint8_t>(v >> 8);
        p[13] = static_cast<uint8_t>(v);
    };
    p[1] = 0x32;
    if (kind == mkDvdR) {
        p[2] = 0x60;
        p[3] = 0xE5;
        p[5] = 16;
        setPacket(16);
    } else {
        p[2] = 0x01;
        p[3] = 0x04;
        p[5] = 0;
        setPacket(0);
    }
    p[4] = 8;
    if (kind == mkDvdPlusRw || kind == mkDvdPlusR) {
        p[2] = 0x22;
        p[3] |= 0xC0;
    }
    if (linkSizeModel_) p[2] |= 0x20;
    if (kind == mkDvdR || kind == mkDvdRw || kind == mkDvdRwRestricted ||
        kind == mkDvdRwSequential || kind == mkDvdPlusR) {
        p[3] |= 0xE0;
    } else if (!TestWrite && !FinalizeDisc) {
        p[3] |= 0xC0;
    } else if ((p[3] & 0xC0) == 0xC0) {
        p[3] &= static_cast<uint8_t>(~0xC0);
    }
    if ((mediaCapabilities_ & kCapBufe) && UnderrunProtection)
        p[2] |= 0x40;
    else
        p[2] &= static_cast<uint8_t>(~0x40);
    if ((mediaCapabilities_ & kCapTestWrite) && TestWrite)
        p[2] |= 0x10;
    else
        p[2] &= static_cast<uint8_t>(~0x10);
    p[6] = p[7] = p[8] = p[9] = 0;
    if (kind == mkDvdPlusR) {
        p[6] = 16;
        setPacket(16);
    }
    if (kind == mkDvdRwRestricted || kind == mkDvdRwSequential) {
        // Keeps the test write bit: a sequential DVD-RW is written in test mode like a DVD-R.
        p[2] = static_cast<uint8_t>(0x20 | (p[2] & 0x10));
        p[3] = 0xC5;
        p[5] = 16;
    }
    if (kind == mkDvdPlusR) {
        p[3] = 0xC4;
        p[6] = 0;
    }
    if (kind == mkDvdPlusRDl) {
        p[2] = static_cast<uint8_t>((p[2] & 0xF0) | 0x20 | 0x02);
        p[3] = static_cast<uint8_t>(((p[3] & 0xF0) & ~0x20) | 0x04);
        p[5] = 0;
        p[6] = 0;
        setPacket(0);
        if (finalize)
            p[3] |= 0xC0;
        else
            p[3] &= static_cast<uint8_t>(~0xC0);
    } else if (UnderrunProtection && (capsPage_[4] & 0x80)) {
        p[2] |= 0x40;
    }
    if (kind == mkDvdPlusRw) {
        p[3] = 0x04;
        p[5] = 16;
    }
    Put16(p + 14, 150);
    uint8_t out[60] = {};
    std::memcpy(out + 8, p, 52);
    return ModeSelect10(out, static_cast<uint8_t>(p[1] + 10));
}

void TSCSIDevice::ProbeWriteTypes() {
    writeTypes_ = 0;
    struct Kind {
        uint8_t writeType, blockType, bit;
    };
    static const Kind kKinds[] = {{3, 1, 0x1}, {2, 0, 0x2}, {1, 0, 0x4}};
    for (const Kind& k : kKinds) {
        uint8_t buf[512];
        if (!ModeSense10(0x05, false, sizeof buf, buf)) continue;
        std::size_t at = LocatePage(buf, 0x05);
        uint8_t page[256] = {};
        std::memcpy(page, buf + at, 256);
        uint8_t length = page[1];
        if (length < 14) length = 14;
        if (length > 0x36) length = 0x36;
        page[1] = length;
        // The whole byte: the drive's other flags there (test write, underrun protection,
        // link size) are not what the probe asks about.
        page[2] = k.writeType;
        page[3] = 0;
        page[4] = k.blockType;
        page[8] = 0;
        page[9] = 0;
        Put16(page + 14, 150);
        uint8_t out[8 + 0x38] = {};
        std::memcpy(out + 8, page, length + 2u);
        if (ModeSelect10(out, static_cast<uint8_t>(length + 10))) writeTypes_ |= k.bit;
    }
}

bool TSCSIDevice::WaitUnitReady(int32_t budget, int32_t interval) {
    if (slowReadyModel_ || SlowReadyVendor()) {
        do {
            Pause(1500);
            budget -= 1500;
            if (budget < 0) break;
            TestUnitReady(5000);
        } while (LastAsc() == 0x04);
    }
    bool notReady = false;
    if (CurrentMediaKind() == mkDvdRam) {
        notReady = true;
    } else {
        do {
            Pause(static_cast<uint32_t>(interval));
            ReadDiscInformation();
            budget -= interval;
            if (budget < 0) return false;
        } while (LastAsc() == 0x04);
    }
    if (TestUnitReady(5000) && !notReady) return true;
    do {
        Pause(static_cast<uint32_t>(interval));
        budget -= interval;
        if (budget < 0) return false;
        TestUnitReady(5000);
    } while (LastAsc() == 0x04);
    uint8_t code;
    do {
        uint8_t sense[40] = {};
        RequestSense(sense, sizeof sense);
        budget -= interval;
        if (budget < 0) return false;
        code = sense[12];
        if (sense[0] == 0xF0) code = 0x04;
        if (code == 0x04) Pause(static_cast<uint32_t>(interval));
    } while (code != 0);
    return true;
}

} // namespace larderly
