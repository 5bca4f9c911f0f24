/* What the drive tells about itself: INQUIRY, GET CONFIGURATION, the mode pages 01h, 05h and
 * 2Ah, event status, speeds and buffer. */
#include "virtualdrive/Bytes.h"
#include "virtualdrive/Drive.h"

#include <algorithm>
#include <cstring>

namespace larderly::vdrive {

namespace {

using Bytes = std::vector<uint8_t>;

void PutText(Bytes& b, size_t at, const char* text, size_t width) {
    const size_t n = std::strlen(text);
    for (size_t i = 0; i < width; ++i) {
        b[at + i] = i < n ? static_cast<uint8_t>(text[i]) : ' ';
    }
}

void AddFeature(Bytes& out, uint16_t code, uint8_t version, bool persistent, bool current,
                const Bytes& data) {
    out.push_back(static_cast<uint8_t>(code >> 8));
    out.push_back(static_cast<uint8_t>(code));
    out.push_back(static_cast<uint8_t>(version << 2 | (persistent ? 2 : 0) | (current ? 1 : 0)));
    out.push_back(static_cast<uint8_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
}

// Write speed the drive settles on for a request: the fastest it offers at or below it.
uint16_t SupportedWriteSpeed(const MediaInfo& media, uint32_t wanted) {
    for (uint16_t s : media.WriteSpeeds()) {
        if (s <= wanted) {
            return s;
        }
    }
    return media.WriteSpeeds().back();
}

std::array<uint8_t, 52> DefaultWriteParameters(const MediaInfo& media) {
    std::array<uint8_t, 52> p{};
    p[0] = 0x05;
    p[1] = 0x32;
    if (!media.cd && !media.plus) {
        p[2] = 0x20; // link size valid, incremental
        p[3] = 0x05; // data, recorded incrementally
        p[5] = 16;
    } else {
        p[2] = 0x01; // track at once
        p[3] = 0x04; // data, uninterrupted
    }
    p[4] = 0x08; // mode 1, 2048-byte blocks
    p[15] = 150; // audio pause length
    return p;
}

} // namespace

void Drive::ResetWriteParameters() {
    page05_ = DefaultWriteParameters(CurrentMedia());
}

Outcome Drive::Inquiry(const Request& r) {
    const uint8_t* c = r.cdb;
    const uint32_t allocation = Be16(c + 3);
    if ((c[1] & 0x01) == 0) {
        if (c[2] != 0) {
            return Check(0x05, 0x24, 0x00);
        }
        Bytes a(36, 0);
        a[0] = 0x05; // CD/DVD device
        a[1] = 0x80; // removable
        a[2] = 0x05; // SPC-3
        a[3] = 0x02; // response data format
        a[4] = 36 - 5;
        PutText(a, 8, kVendor, 8);
        PutText(a, 16, kProduct, 16);
        PutText(a, 32, kRevision, 4);
        return Reply(r, a, allocation);
    }
    // Vital product data: the list of pages and the unit serial number.
    if (c[2] == 0x00) {
        return Reply(r, Bytes{0x05, 0x00, 0x00, 0x02, 0x00, 0x80}, allocation);
    }
    if (c[2] == 0x80) {
        Bytes a(12, 0);
        a[0] = 0x05;
        a[1] = 0x80;
        a[3] = 8;
        PutText(a, 4, "VD000001", 8);
        return Reply(r, a, allocation);
    }
    return Check(0x05, 0x24, 0x00);
}

Outcome Drive::GetConfiguration(const Request& r) {
    const uint8_t* c = r.cdb;
    const int requestType = c[1] & 0x03;
    const uint16_t startFeature = Be16(c + 2);
    const uint32_t allocation = Be16(c + 7);
    if (requestType == 3) {
        return Check(0x05, 0x24, 0x00);
    }
    const uint16_t profile = CurrentProfile();
    const bool present = profile != 0;
    const bool cd = present && disc_->Info().cd;
    const bool dvd = present && !cd;
    const bool writable = present && !disc_->Finalized();
    const bool sequentialDash = writable && (profile == 0x0011 || profile == 0x0014);

    struct Feature {
        uint16_t code;
        uint8_t version;
        bool persistent;
        bool current;
        Bytes data;
    };
    std::vector<Feature> features;

    // Profile list, most capable first.
    Bytes profiles;
    for (uint16_t p : {0x001B, 0x001A, 0x0014, 0x0013, 0x0011, 0x0010, 0x000A, 0x0009, 0x0008}) {
        profiles.insert(profiles.end(), {static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p),
                                         static_cast<uint8_t>(p == profile ? 1 : 0), 0});
    }
    features.push_back({0x0000, 0, true, true, profiles});
    features.push_back({0x0001, 2, true, true, {0, 0, 0, 1, 0x01, 0, 0, 0}}); // Core: SCSI, DBE
    features.push_back({0x0002, 1, true, true, {0x02, 0, 0, 0}});             // Morphing
    // Removable medium: tray, eject, lock.
    features.push_back({0x0003, 0, true, true, {0x29, 0, 0, 0}});
    const bool readable = present && !disc_->Blank();
    features.push_back({0x0010,
                        0,
                        false,
                        readable,
                        {0, 0, 0x08, 0, 0, static_cast<uint8_t>(dvd ? 16 : 1), 0x01, 0}});
    features.push_back({0x001D, 0, false, cd, {}});            // Multi-read
    features.push_back({0x001E, 2, false, cd, {0, 0, 0, 0}});  // CD read
    features.push_back({0x001F, 1, false, dvd, {0, 0, 0, 0}}); // DVD read
    // Incremental streaming writable: block types 0 and 8-13, buffer-underrun free, one link
    // size.
    features.push_back({0x0021,
                        1,
                        false,
                        writable && (cd || sequentialDash),
                        {0x3F, 0x01, 0x01, 1, static_cast<uint8_t>(cd ? 7 : 16), 0, 0, 0}});
    features.push_back({0x0023, 0, false, present && disc_->Info().erasable && dvd, {0, 0, 0, 0}});
    features.push_back({0x0026, 0, false, profile == 0x0013, {0, 0, 0, 0}}); // Restricted overwrite
    features.push_back({0x002A, 1, false, profile == 0x001A, {0x01, 0, 0, 0}}); // DVD+RW, write
    features.push_back({0x002B, 0, false, profile == 0x001B, {0x01, 0, 0, 0}}); // DVD+R, write
    // CD track at once: BUF, test write, CD-RW; data block types 0-3 and 8-13.
    features.push_back({0x002D, 2, false, writable && cd, {0x46, 0, 0x3F, 0x0F}});
    // CD mastering: BUF, SAO, raw, test write, CD-RW; cue sheet up to 3840 bytes.
    features.push_back({0x002E, 0, false, writable && cd, {0x6E, 0x00, 0x0F, 0x00}});
    // DVD-R/-RW write: BUF, test write, DVD-RW.
    features.push_back({0x002F, 1, false, sequentialDash, {0x46, 0, 0, 0}});
    features.push_back({0x0100, 0, true, true, {}}); // Power management
    // Real-time streaming: read buffer capacity block, set CD speed, write speed, streaming.
    features.push_back({0x0107, 3, true, true, {0x1B, 0, 0, 0}});

    Bytes a(8, 0);
    Put16(a, 6, profile);
    for (const Feature& f : features) {
        const bool wanted = requestType == 2   ? f.code == startFeature
                            : requestType == 1 ? f.code >= startFeature && f.current
                                               : f.code >= startFeature;
        if (wanted) {
            AddFeature(a, f.code, f.version, f.persistent, f.current, f.data);
        }
    }
    Put32(a, 0, static_cast<uint32_t>(a.size() - 4));
    return Reply(r, a, allocation);
}

std::vector<uint8_t> Drive::CapabilitiesPage(int pageControl) const {
    const MediaInfo& media = CurrentMedia();
    const size_t n = media.WriteSpeeds().size();
    Bytes p(32 + 4 * n, 0);
    p[0] = 0x2A;
    p[1] = static_cast<uint8_t>(30 + 4 * n);
    if (pageControl == 1) {
        return p; // nothing in this page can be changed
    }
    const bool defaults = pageControl == 2;
    p[2] = 0x1F; // reads CD-R, CD-RW, method 2, DVD-ROM, DVD-R
    p[3] = 0x17; // writes CD-R, CD-RW, DVD-R; test write
    p[4] = 0xF1; // BUF, multisession, mode 2 form 1 and 2, audio play
    p[5] = 0x03; // CD-DA commands, stream accurate
    p[6] = static_cast<uint8_t>(0x29 | (preventRemoval_ && !defaults ? 0x02 : 0)); // tray
    Put16(p, 8, media.maxReadSpeed);
    Put16(p, 10, 256);
    Put16(p, 12, kBufferBytes / 1024);
    Put16(p, 14, defaults ? media.maxReadSpeed : readSpeed_);
    Put16(p, 18, media.WriteSpeeds().front());
    Put16(p, 20, defaults ? media.WriteSpeeds().front() : writeSpeed_);
    Put16(p, 28, defaults ? media.WriteSpeeds().front() : writeSpeed_);
    Put16(p, 30, static_cast<uint32_t>(n));
    for (size_t i = 0; i < n; ++i) {
        Put16(p, 32 + 4 * i + 2, media.WriteSpeeds()[i]);
    }
    return p;
}

std::vector<uint8_t> Drive::WriteParametersPage(int pageControl) const {
    if (pageControl == 1) {
        Bytes mask(52, 0);
        mask[0] = 0x05;
        mask[1] = 0x32;
        mask[2] = 0x7F;
        mask[3] = 0xFF;
        mask[4] = 0x0F;
        mask[5] = 0xFF;
        mask[7] = 0x3F;
        mask[8] = 0xFF;
        for (size_t i = 10; i < 52; ++i) {
            mask[i] = 0xFF;
        }
        return mask;
    }
    const std::array<uint8_t, 52> p =
        pageControl == 2 ? DefaultWriteParameters(CurrentMedia()) : page05_;
    return Bytes(p.begin(), p.end());
}

Outcome Drive::ModeSense(const Request& r) {
    const uint8_t* c = r.cdb;
    const int pageControl = c[2] >> 6;
    const int page = c[2] & 0x3F;
    const uint32_t allocation = Be16(c + 7);
    if (pageControl == 3) {
        return Check(0x05, 0x39, 0x00); // SAVING PARAMETERS NOT SUPPORTED
    }
    Bytes a(8, 0);
    auto append = [&a](const Bytes& p) { a.insert(a.end(), p.begin(), p.end()); };
    if (page == 0x01 || page == 0x3F) {
        // Read/write error recovery: default retries, nothing changeable.
        Bytes p(12, 0);
        p[0] = 0x01;
        p[1] = 0x0A;
        if (pageControl != 1) {
            p[3] = 0x20;
        }
        append(p);
    }
    if (page == 0x05 || page == 0x3F) {
        append(WriteParametersPage(pageControl));
    }
    if (page == 0x2A || page == 0x3F) {
        append(CapabilitiesPage(pageControl));
    }
    if (a.size() == 8) {
        return Check(0x05, 0x24, 0x00);
    }
    Put16(a, 0, static_cast<uint32_t>(a.size() - 2));
    return Reply(r, a, allocation);
}

bool Drive::AcceptWriteParameters(const uint8_t* page, size_t length, Sense& sense) const {
    sense = {0x05, 0x26, 0x00}; // INVALID FIELD IN PARAMETER LIST
    if (length < 52) {
        return false;
    }
    const int writeType = page[2] & 0x0F;
    const int multiSession = page[3] >> 6;
    const int blockType = page[4] & 0x0F;
    if (multiSession == 2) {
        return false;
    }
    const MediaInfo& media = CurrentMedia();
    if (media.plus || CurrentProfile() == 0x0013) {
        return writeType <= 4; // the page does not govern these media
    }
    const bool dataBlock = blockType == 0 || (blockType >= 8 && blockType <= 13);
    if (media.cd) {
        switch (writeType) {
        case 0:
        case 1:
            return dataBlock;
        case 2:
            return true; // session at once: the cue sheet decides
        case 3:
            return blockType >= 1 && blockType <= 3;
        default:
            return false;
        }
    }
    // DVD-R/-RW sequential: incremental or disc at once, 2048-byte blocks.
    if (writeType == 0) {
        return blockType == 8;
    }
    return writeType == 2;
}

Outcome Drive::ModeSelect(const Request& r) {
    const uint8_t* c = r.cdb;
    const uint32_t length = Be16(c + 7);
    if ((c[1] & 0x01) != 0) {
        return Check(0x05, 0x24, 0x00); // pages cannot be saved
    }
    if (length == 0) {
        return Good();
    }
    if (r.data == nullptr || r.dataLength < length) {
        Outcome o;
        o.kind = Outcome::Kind::DataUnderrun;
        return o;
    }
    const uint8_t* d = r.data;
    if (length < 8) {
        return Check(0x05, 0x1A, 0x00);
    }
    size_t pos = 8 + Be16(d + 6);
    if (pos > length) {
        return Check(0x05, 0x1A, 0x00);
    }
    std::optional<std::array<uint8_t, 52>> newPage05;
    while (pos < length) {
        if (length - pos < 2) {
            return Check(0x05, 0x1A, 0x00);
        }
        const uint8_t code = d[pos] & 0x3F;
        const size_t pageLength = d[pos + 1] + 2u;
        if (pos + pageLength > length) {
            return Check(0x05, 0x1A, 0x00);
        }
        if ((d[pos] & 0x80) != 0) {
            return Check(0x05, 0x26, 0x00);
        }
        if (code == 0x05) {
            if (d[pos + 1] != 0x32 && d[pos + 1] != 0x36) {
                return Check(0x05, 0x26, 0x00);
            }
            Sense sense;
            if (!AcceptWriteParameters(d + pos, pageLength, sense)) {
                return Check(sense.key, sense.asc, sense.ascq);
            }
            std::array<uint8_t, 52> p{};
            std::memcpy(p.data(), d + pos, 52);
            p[1] = 0x32;
            newPage05 = p;
        } else if (code != 0x01) {
            return Check(0x05, 0x26, 0x00); // the other pages cannot be changed
        }
        pos += pageLength;
    }
    if (newPage05) {
        page05_ = *newPage05;
    }
    return Good();
}

Outcome Drive::GetEventStatus(const Request& r) {
    const uint8_t* c = r.cdb;
    if ((c[1] & 0x01) == 0) {
        return Check(0x05, 0x24, 0x00); // only polled operation
    }
    const uint32_t allocation = Be16(c + 7);
    if ((c[4] & 0x10) == 0) {
        return Reply(r, Bytes{0x00, 0x02, 0x80, 0x10}, allocation); // no event available
    }
    Bytes a(8, 0);
    a[1] = 6;
    a[2] = 0x04; // media class
    a[3] = 0x10; // supported: media
    a[4] = static_cast<uint8_t>(mediaEvent_);
    a[5] = static_cast<uint8_t>((disc_ && !trayOpen_ ? 0x02 : 0) | (trayOpen_ ? 0x01 : 0));
    mediaEvent_ = 0;
    return Reply(r, a, allocation);
}

Outcome Drive::SetCdSpeed(const Request& r) {
    const MediaInfo& media = CurrentMedia();
    const uint16_t read = Be16(r.cdb + 2);
    const uint16_t write = Be16(r.cdb + 4);
    readSpeed_ = std::clamp<uint16_t>(read, 176, media.maxReadSpeed);
    writeSpeed_ = SupportedWriteSpeed(media, write);
    return Good();
}

Outcome Drive::SetStreaming(const Request& r) {
    const uint8_t type = r.cdb[8];
    const uint32_t length = Be16(r.cdb + 9);
    if (type != 0x00 && type != 0x05) {
        return Check(0x05, 0x24, 0x00);
    }
    if (length == 0) {
        return Good();
    }
    if (r.data == nullptr || r.dataLength < length) {
        Outcome o;
        o.kind = Outcome::Kind::DataUnderrun;
        return o;
    }
    if (type == 0x05) {
        return Good(); // cache zone hint: nothing to keep
    }
    if (length < 28) {
        return Check(0x05, 0x1A, 0x00);
    }
    const uint8_t* d = r.data;
    const MediaInfo& media = CurrentMedia();
    if ((d[0] & 0x04) != 0) { // restore defaults
        readSpeed_ = media.maxReadSpeed;
        writeSpeed_ = media.WriteSpeeds().front();
        return Good();
    }
    const uint32_t start = Be32(d + 4);
    const uint32_t end = Be32(d + 8);
    const uint32_t readSize = Be32(d + 12);
    const uint32_t readTime = Be32(d + 16);
    const uint32_t writeSize = Be32(d + 20);
    const uint32_t writeTime = Be32(d + 24);
    if (end < start || readTime == 0 || writeTime == 0) {
        return Check(0x05, 0x26, 0x00);
    }
    const uint64_t read = static_cast<uint64_t>(readSize) * 1000 / readTime;
    const uint64_t write = static_cast<uint64_t>(writeSize) * 1000 / writeTime;
    readSpeed_ = static_cast<uint16_t>(std::clamp<uint64_t>(read, 176, media.maxReadSpeed));
    writeSpeed_ =
        SupportedWriteSpeed(media, static_cast<uint32_t>(std::min<uint64_t>(write, 0xFFFF)));
    return Good();
}

Outcome Drive::ReadBufferCapacity(const Request& r) {
    const uint32_t allocation = Be16(r.cdb + 7);
    Bytes a(12, 0);
    a[1] = 10;
    if ((r.cdb[1] & 0x01) != 0) {
        a[3] = 0x01;
        Put32(a, 8, kBufferBytes / 2048);
    } else {
        // Writes go straight to the disc, so the buffer is always empty.
        Put32(a, 4, kBufferBytes);
        Put32(a, 8, kBufferBytes);
    }
    return Reply(r, a, allocation);
}

Outcome Drive::SendOpc() {
    if (auto absent = MediumAbsent()) {
        return *absent;
    }
    return Good();
}

Outcome Drive::SendDvdStructure(const Request& r) {
    const uint8_t format = r.cdb[7];
    const uint32_t length = Be16(r.cdb + 8);
    if (auto absent = MediumAbsent()) {
        return *absent;
    }
    // Only the time stamp of DVD-R/-RW recording (format 0Fh) is taken.
    const MediaType type = disc_->Info().type;
    if (format != 0x0F || (type != MediaType::DvdR && type != MediaType::DvdRw)) {
        return Check(0x05, 0x24, 0x00);
    }
    if (r.data == nullptr || r.dataLength < length) {
        Outcome o;
        o.kind = Outcome::Kind::DataUnderrun;
        return o;
    }
    if (length < 22 || Be16(r.data) + 2u > length) {
        return Check(0x05, 0x1A, 0x00);
    }
    for (int i = 8; i < 22; ++i) {
        if (r.data[i] < '0' || r.data[i] > '9') {
            return Check(0x05, 0x26, 0x00);
        }
    }
    return Good();
}

} // namespace larderly::vdrive
