/* What the drive tells about the disc: disc and track information, the table of contents,
 * ATIP, capacity, and reading sectors back. */
#include "virtualdrive/Bytes.h"
#include "virtualdrive/Drive.h"

#include <algorithm>

namespace larderly::vdrive {

namespace {

using Bytes = std::vector<uint8_t>;

// ATIP start of the lead-in of our CD media: 97:26:66.
constexpr int64_t kCdLeadInStart = (97 * 60 + 26) * 75 + 66 - 450150;

void PutMsf(Bytes& b, size_t at, int64_t lba) {
    uint8_t m = 0;
    uint8_t s = 0;
    uint8_t f = 0;
    LbaToMsf(lba, m, s, f);
    b[at] = 0;
    b[at + 1] = m;
    b[at + 2] = s;
    b[at + 3] = f;
}

void PutAddress(Bytes& b, size_t at, uint32_t lba, bool msf) {
    if (msf) {
        PutMsf(b, at, lba);
    } else {
        Put32(b, at, lba);
    }
}

uint32_t RoundUp16(uint32_t v) {
    return (v + 15) / 16 * 16;
}

// One READ TRACK INFORMATION answer before it is laid out.
struct TrackView {
    uint32_t number = 0;
    uint32_t session = 0;
    uint8_t trackMode = 0x04;
    uint8_t state = 0x01; // RT, Blank, Packet/Inc, FP and the data mode
    bool nwaValid = false;
    uint32_t start = 0;
    uint32_t nwa = 0;
    uint32_t freeBlocks = 0;
    uint32_t packet = 0;
    uint32_t size = 0;
    bool lraValid = false;
    uint32_t lra = 0;
};

} // namespace

Outcome Drive::ReadDiscInformation(const Request& r) {
    if ((r.cdb[1] & 0x07) != 0) {
        return Check(0x05, 0x24, 0x00); // only standard disc information
    }
    if (auto absent = MediumAbsent()) {
        return *absent;
    }
    if (auto fault = PollFault()) {
        return *fault;
    }
    const Disc& d = *disc_;
    const MediaInfo& media = d.Info();
    int status = 0;
    int lastSession = 0;
    uint32_t sessions = 1;
    uint32_t first = 1;
    uint32_t last = 1;
    if (d.Overwritable()) {
        if (d.Formatted()) {
            status = 2;
            lastSession = 3;
        }
    } else if (d.Finalized()) {
        status = 2;
        lastSession = 3;
        sessions = static_cast<uint32_t>(d.Sessions().size());
        first = d.Sessions().back().firstTrack;
        last = d.Sessions().back().lastTrack;
    } else {
        const std::vector<const Track*> open = d.OpenTracks();
        status = d.Blank() ? 0 : 1;
        lastSession = open.empty() ? 0 : 1;
        sessions = d.OpenSession();
        first = open.empty() ? d.InvisibleNumber() : open.front()->number;
        last = d.HasInvisibleTrack() ? d.InvisibleNumber() : d.Tracks().back().number;
    }
    Bytes a(34, 0);
    a[1] = 32;
    a[2] = static_cast<uint8_t>((media.erasable ? 0x10 : 0) | lastSession << 2 | status);
    a[3] = 1;
    a[4] = static_cast<uint8_t>(sessions);
    a[9] = static_cast<uint8_t>(sessions >> 8);
    a[5] = static_cast<uint8_t>(first);
    a[10] = static_cast<uint8_t>(first >> 8);
    a[6] = static_cast<uint8_t>(last);
    a[11] = static_cast<uint8_t>(last >> 8);
    a[7] = 0x20; // unrestricted use
    if (media.type == MediaType::DvdPlusRw) {
        a[7] |= d.Formatted() ? 0x03 : 0x00; // background format complete
    }
    if (status == 2) {
        Put32(a, 16, 0xFFFFFFFF);
        Put32(a, 20, 0xFFFFFFFF);
    } else if (media.cd) {
        const std::vector<const Track*> open = d.OpenTracks();
        const uint32_t sessionStart = open.empty() ? d.NextSessionStart() : open.front()->start;
        const int64_t leadIn = d.Sessions().empty()
                                   ? kCdLeadInStart
                                   : static_cast<int64_t>(sessionStart) - kCdPregap - kCdLeadIn;
        PutMsf(a, 16, leadIn);
        PutMsf(a, 20, d.Capacity());
    } else {
        Put32(a, 16, d.NextSessionStart());
        Put32(a, 20, d.Capacity());
    }
    return Reply(r, a, Be16(r.cdb + 7));
}

Outcome Drive::ReadTrackInformation(const Request& r) {
    if (auto absent = MediumAbsent()) {
        return *absent;
    }
    if (auto fault = PollFault()) {
        return *fault;
    }
    const int type = r.cdb[1] & 0x03;
    const uint32_t value = Be32(r.cdb + 2);
    const Disc& d = *disc_;
    const bool cd = d.Info().cd;
    TrackView v;

    if (d.Overwritable()) {
        // One track over the whole formatted disc, writable anywhere; its next writable
        // address follows the highest block written so far.
        const bool one = (type == 0 && value < d.Capacity()) || (type != 0 && value == 1);
        if (!one || type == 3) {
            return Check(0x05, 0x24, 0x00);
        }
        v.number = 1;
        v.session = 1;
        v.state =
            static_cast<uint8_t>(d.Formatted() ? (d.Profile() == 0x0013 ? 0x31 : 0x01) : 0x41);
        v.nwaValid = true;
        v.nwa = std::min(RoundUp16(d.OverwriteEnd()), d.Capacity());
        v.freeBlocks = d.Capacity() - v.nwa;
        v.packet = 16;
        v.size = d.Capacity();
        v.lraValid = d.OverwriteEnd() > 0;
        v.lra = d.OverwriteEnd() > 0 ? d.OverwriteEnd() - 1 : 0;
    } else {
        const Track* track = nullptr;
        bool invisible = false;
        const uint32_t invisibleNumber = d.InvisibleNumber();
        if (type == 1) {
            uint32_t number = value;
            if (cd && number == 0xFF) {
                number = d.HasInvisibleTrack() ? invisibleNumber : d.Tracks().back().number;
            }
            if (number >= 1 && number <= d.Tracks().size()) {
                track = &d.Tracks()[number - 1];
            } else if (number == invisibleNumber && d.HasInvisibleTrack()) {
                invisible = true;
            }
        } else if (type == 0) {
            for (const Track& t : d.Tracks()) {
                const uint32_t end = t.complete || t.reserved ? t.End() : t.Nwa();
                if (value >= t.start && value < end) {
                    track = &t;
                }
            }
            if (track == nullptr && d.HasInvisibleTrack() && value >= d.InvisibleStart() &&
                value < d.Capacity()) {
                invisible = true;
            }
            if (track == nullptr && !invisible) {
                return Check(0x05, 0x21, 0x00);
            }
        } else if (type == 2) {
            if (value >= 1 && value <= d.Sessions().size()) {
                track = &d.Tracks()[d.Sessions()[value - 1].firstTrack - 1];
            } else if (value == d.OpenSession() && !d.Finalized()) {
                const std::vector<const Track*> open = d.OpenTracks();
                if (!open.empty()) {
                    track = open.front();
                } else {
                    invisible = d.HasInvisibleTrack();
                }
            }
        }
        if (track == nullptr && !invisible) {
            return Check(0x05, 0x24, 0x00);
        }
        v.packet = cd ? 0 : 16;
        if (invisible) {
            v.number = invisibleNumber;
            v.session = d.OpenSession();
            v.state = static_cast<uint8_t>((cd ? 0x40 : 0x60) | 0x0F);
            v.start = d.InvisibleStart();
            v.freeBlocks = d.FreeFrom(v.start);
            v.nwaValid = v.freeBlocks > 0;
            v.nwa = v.start;
            v.size = v.freeBlocks;
        } else {
            const Track& t = *track;
            v.number = t.number;
            v.session = t.session;
            v.start = t.start;
            if (t.complete) {
                v.state = static_cast<uint8_t>((t.reserved ? 0x80 : 0x00) | 0x01);
                v.size = t.size;
            } else if (t.reserved) {
                v.state = static_cast<uint8_t>(0x80 | (t.recorded == 0 ? 0x40 : 0x20) | 0x01);
                v.nwaValid = true;
                v.nwa = t.Nwa();
                const uint32_t room = t.size - (cd ? kCdRunOut : 0);
                v.freeBlocks = room > t.recorded ? room - t.recorded : 0;
                v.size = t.size;
            } else {
                v.state = 0x21; // incomplete, written incrementally
                v.nwaValid = true;
                v.nwa = t.Nwa();
                v.freeBlocks = d.FreeFrom(v.nwa);
                v.size = t.recorded + v.freeBlocks;
            }
            v.lraValid = t.recorded > 0;
            v.lra = t.recorded > 0 ? t.start + t.recorded - 1 : 0;
        }
    }

    Bytes a(48, 0);
    a[1] = 46;
    a[2] = static_cast<uint8_t>(v.number);
    a[3] = static_cast<uint8_t>(v.session);
    a[5] = v.trackMode;
    a[6] = v.state;
    a[7] = static_cast<uint8_t>((v.lraValid ? 0x02 : 0) | (v.nwaValid ? 0x01 : 0));
    Put32(a, 8, v.start);
    Put32(a, 12, v.nwaValid ? v.nwa : 0);
    Put32(a, 16, v.freeBlocks);
    Put32(a, 20, v.packet);
    Put32(a, 24, v.size);
    Put32(a, 28, v.lra);
    a[32] = static_cast<uint8_t>(v.number >> 8);
    a[33] = static_cast<uint8_t>(v.session >> 8);
    return Reply(r, a, Be16(r.cdb + 7));
}

Outcome Drive::ReadToc(const Request& r) {
    const uint8_t* c = r.cdb;
    const bool msf = (c[1] & 0x02) != 0;
    int format = c[2] & 0x0F;
    if (format == 0 && (c[9] >> 6) != 0) {
        format = c[9] >> 6; // older drives' place of the format
    }
    const uint8_t startTrack = c[6];
    const uint32_t allocation = Be16(c + 7);
    if (auto absent = MediumAbsent()) {
        return *absent;
    }
    if (auto fault = PollFault()) {
        return *fault;
    }
    const Disc& d = *disc_;

    if (format == 4) {
        if (!d.Info().cd) {
            return Check(0x05, 0x24, 0x00);
        }
        Bytes a(28, 0);
        a[1] = 26;
        a[4] = 0xD0; // indicative writing power 5
        a[5] = 0x40; // unrestricted use
        a[6] = static_cast<uint8_t>(0x80 | (d.Info().erasable ? 0x40 : 0));
        PutMsf(a, 7, kCdLeadInStart);
        PutMsf(a, 11, d.Capacity());
        return Reply(r, a, allocation);
    }

    // Tracks of closed sessions make up the table of contents; an overwritable disc shows
    // its one track over the recorded area.
    struct Entry {
        uint32_t number;
        uint32_t start;
    };
    std::vector<Entry> entries;
    uint32_t leadOut = 0;
    uint32_t lastSession = 0;
    uint32_t lastSessionFirstTrack = 0;
    if (d.Overwritable()) {
        if (d.Formatted()) {
            entries.push_back({1, 0});
            leadOut = std::max(d.OverwriteEnd(), 1u);
            lastSession = 1;
            lastSessionFirstTrack = 1;
        }
    } else if (!d.Sessions().empty()) {
        for (const Track& t : d.Tracks()) {
            if (t.session <= d.Sessions().size()) {
                entries.push_back({t.number, t.start});
            }
        }
        leadOut = d.Sessions().back().leadOut;
        lastSession = d.Sessions().back().number;
        lastSessionFirstTrack = d.Sessions().back().firstTrack;
    }
    if (entries.empty() || (format != 0 && format != 1)) {
        return Check(0x05, 0x24, 0x00);
    }

    if (format == 1) {
        Bytes a(12, 0);
        a[1] = 10;
        a[2] = 1;
        a[3] = static_cast<uint8_t>(lastSession);
        a[5] = 0x14;
        a[6] = static_cast<uint8_t>(lastSessionFirstTrack);
        PutAddress(a, 8, entries[lastSessionFirstTrack - 1].start, msf);
        return Reply(r, a, allocation);
    }

    if (startTrack > entries.back().number && startTrack != 0xAA) {
        return Check(0x05, 0x24, 0x00);
    }
    Bytes a(4, 0);
    a[2] = 1;
    a[3] = static_cast<uint8_t>(entries.back().number);
    auto descriptor = [&a, msf](uint32_t number, uint32_t lba) {
        const size_t at = a.size();
        a.resize(at + 8, 0);
        a[at + 1] = 0x14; // ADR 1, data track
        a[at + 2] = static_cast<uint8_t>(number);
        PutAddress(a, at + 4, lba, msf);
    };
    if (startTrack != 0xAA) {
        for (const Entry& e : entries) {
            if (e.number >= startTrack) {
                descriptor(e.number, e.start);
            }
        }
    }
    descriptor(0xAA, leadOut);
    Put16(a, 0, static_cast<uint32_t>(a.size() - 2));
    return Reply(r, a, allocation);
}

Outcome Drive::ReadCapacity(const Request& r) {
    if (auto absent = MediumAbsent()) {
        return *absent;
    }
    if (auto fault = PollFault()) {
        return *fault;
    }
    uint32_t last = 0;
    if (std::optional<uint32_t> l = disc_->LastReadable()) {
        last = *l;
    } else if (!disc_->Tracks().empty() && disc_->Tracks().back().recorded > 0) {
        last = disc_->Tracks().back().Nwa() - 1;
    }
    Bytes a(8, 0);
    Put32(a, 0, last);
    Put32(a, 4, 2048);
    return Reply(r, a, 8);
}

Outcome Drive::Read10(const Request& r) {
    const uint32_t lba = Be32(r.cdb + 2);
    const uint32_t count = Be16(r.cdb + 7);
    if (auto absent = MediumAbsent()) {
        return *absent;
    }
    if (auto fault = PollFault()) {
        return *fault;
    }
    if (count == 0) {
        return Good();
    }
    if (r.data == nullptr || r.dataLength < count * 2048u) {
        Outcome o;
        o.kind = Outcome::Kind::DataUnderrun;
        return o;
    }
    const Disc& d = *disc_;
    if (static_cast<uint64_t>(lba) + count > d.Capacity()) {
        return Check(0x05, 0x21, 0x00);
    }
    if (d.Overwritable()) {
        if (!d.Formatted()) {
            return Check(0x05, 0x30, 0x10); // MEDIUM NOT FORMATTED
        }
    } else {
        for (uint32_t i = 0; i < count; ++i) {
            const int readable = d.Readable(lba + i);
            if (readable == 1) {
                return Check(0x05, 0x64, 0x00); // run-out of a TAO track
            }
            if (readable == 2) {
                return Check(0x05, 0x21, 0x00);
            }
        }
    }
    if (!ReadSectors(lba, r.data, count)) {
        return Check(0x03, 0x11, 0x00);
    }
    Outcome o;
    o.transferred = count * 2048;
    return o;
}

} // namespace larderly::vdrive
