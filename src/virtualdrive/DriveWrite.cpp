/* Recording: WRITE(10) at the next writable address, the end of a track-at-once track on
 * SYNCHRONIZE CACHE, CLOSE TRACK/SESSION, RESERVE TRACK, FORMAT UNIT and BLANK. */
#include "virtualdrive/Bytes.h"
#include "virtualdrive/Drive.h"

#include <algorithm>
#include <unistd.h>

namespace larderly::vdrive {

namespace {

bool Hits(const std::vector<uint32_t>& lbas, uint32_t lba, uint32_t count) {
    return std::any_of(lbas.begin(), lbas.end(),
                       [&](uint32_t x) { return x >= lba && x - lba < count; });
}

Outcome Underrun() {
    Outcome o;
    o.kind = Outcome::Kind::DataUnderrun;
    return o;
}

} // namespace

uint32_t Drive::BlockSize() const {
    if (!CurrentMedia().cd) {
        return 2048;
    }
    const int blockType = page05_[4] & 0x0F;
    return blockType == 8 || blockType == 10 ? 2048 : 0;
}

bool Drive::TestWriteActive() const {
    return (page05_[2] & 0x10) != 0 && CurrentMedia().testWrite && disc_ && !disc_->Overwritable();
}

Track* Drive::WritableTrackAt(uint32_t lba, bool& opensInvisible) {
    opensInvisible = false;
    Disc& d = *disc_;
    // The tracks of the open session, in order (walked in place: this runs for every WRITE).
    const uint32_t session = d.OpenSession();
    for (const Track& open : d.Tracks()) {
        if (open.session != session) {
            continue;
        }
        Track* t = d.FindTrack(open.number);
        if (t->complete || t->Nwa() != lba) {
            continue;
        }
        if (t->reserved && t->recorded + (d.Info().cd ? kCdRunOut : 0) >= t->size) {
            continue; // reservation already full
        }
        return t;
    }
    if (d.HasInvisibleTrack() && d.InvisibleStart() == lba) {
        opensInvisible = true;
    }
    return nullptr;
}

Outcome Drive::Write10(const Request& r) {
    const uint32_t lba = Be32(r.cdb + 2);
    const uint32_t count = Be16(r.cdb + 7);
    if (auto absent = MediumAbsent()) {
        return *absent;
    }
    ++writes_;
    if (writes_ <= faults_.busyWrite) {
        Outcome o;
        o.kind = Outcome::Kind::Busy;
        return o;
    }
    if (auto fault = PollFault()) {
        return *fault;
    }
    if (count == 0) {
        return Good();
    }
    if (Hits(faults_.hangWrite, lba, count)) {
        Outcome o;
        o.kind = Outcome::Kind::Hang;
        return o;
    }
    if (BlockSize() != 2048) {
        return Check(0x05, 0x64, 0x00); // ILLEGAL MODE FOR THIS TRACK
    }
    if (r.data == nullptr || r.dataLength < count * 2048u) {
        return Underrun();
    }
    if (Hits(faults_.mediumError, lba, count)) {
        return Check(0x03, 0x0C, 0x00); // WRITE ERROR
    }
    Outcome o =
        disc_->Overwritable() ? WriteOverwritable(lba, count, r) : WriteSequential(lba, count, r);
    if (o.kind == Outcome::Kind::Good && !firstWriteSeen_) {
        firstWriteSeen_ = true;
        longPolls_ += faults_.longWrite;
    }
    return o;
}

Outcome Drive::WriteOverwritable(uint32_t lba, uint32_t count, const Request& r) {
    Disc& d = *disc_;
    if (!d.Formatted()) {
        return Check(0x05, 0x30, 0x10); // MEDIUM NOT FORMATTED
    }
    if (static_cast<uint64_t>(lba) + count > d.Capacity()) {
        return Check(0x05, 0x21, 0x00);
    }
    if (!WriteSectors(lba, r.data, count)) {
        return Check(0x03, 0x0C, 0x00);
    }
    if (lba + count > d.OverwriteEnd()) {
        d.NoteOverwrite(lba + count);
        if (!SaveState()) {
            return Check(0x03, 0x0C, 0x00); // the disc's record could not be kept
        }
    }
    Outcome o;
    o.transferred = count * 2048;
    return o;
}

Outcome Drive::WriteSequential(uint32_t lba, uint32_t count, const Request& r) {
    Disc& d = *disc_;
    const bool cd = d.Info().cd;
    if (d.Finalized()) {
        return Check(0x05, 0x21, 0x02); // INVALID ADDRESS FOR WRITE
    }
    if (cd && (page05_[2] & 0x0F) == 2) {
        return Check(0x05, 0x2C, 0x00); // session at once needs a cue sheet
    }
    bool opens = false;
    Track* track = nullptr;
    if (TestWriteActive() && testNwa_) {
        if (lba != *testNwa_) {
            return Check(0x05, 0x21, 0x02);
        }
        opens = true; // bounds as for a new track; nothing is recorded
    } else {
        track = WritableTrackAt(lba, opens);
        if (track == nullptr && !opens) {
            return Check(0x05, 0x21, 0x02);
        }
    }
    const uint32_t runOut = cd ? kCdRunOut : 0;
    const uint64_t limit = track != nullptr && track->reserved
                               ? static_cast<uint64_t>(track->start) + track->size - runOut
                               : static_cast<uint64_t>(d.Capacity()) - runOut;
    if (static_cast<uint64_t>(lba) + count > limit) {
        return Check(0x05, 0x63, 0x00); // END OF USER AREA ENCOUNTERED ON THIS TRACK
    }
    Outcome o;
    o.transferred = count * 2048;
    if (TestWriteActive()) {
        testNwa_ = lba + count; // laser off: only the address moves on
        return o;
    }
    if (!WriteSectors(lba, r.data, count)) {
        return Check(0x03, 0x0C, 0x00);
    }
    const bool newTrack = track == nullptr;
    if (newTrack) {
        track = &d.OpenTrackAt(lba);
    }
    d.Record(*track, count);
    // Rewriting the state file for every WRITE would cost more than the write itself: the
    // record is kept when a track opens, every 16 MiB, and whenever the track or session is
    // synchronised or closed.
    unsavedBlocks_ += count;
    if (newTrack || unsavedBlocks_ >= kStateSaveBlocks) {
        if (!SaveState()) {
            return Check(0x03, 0x0C, 0x00); // the disc's record could not be kept
        }
    }
    return o;
}

bool Drive::EndTaoTrack() {
    Disc& d = *disc_;
    if (!d.Info().cd || (page05_[2] & 0x0F) != 1 || d.Tracks().empty()) {
        return true;
    }
    Track* last = d.FindTrack(d.Tracks().back().number);
    if (!last->complete && !last->reserved && last->recorded > 0) {
        d.CompleteTrack(*last);
        return SaveState();
    }
    return true;
}

Outcome Drive::SynchronizeCache(const Request& r) {
    if (auto absent = MediumAbsent()) {
        return *absent;
    }
    if (auto fault = PollFault()) {
        return *fault;
    }
    if (testNwa_) {
        testNwa_.reset(); // the simulated track ends; nothing was recorded
    } else {
        if (unsavedBlocks_ > 0 && !SaveState()) {
            return Check(0x03, 0x0C, 0x00);
        }
        // A track-at-once CD track ends when the drive has written out its cache.
        if (!EndTaoTrack()) {
            return Check(0x03, 0x0C, 0x00);
        }
    }
    ArmLongSync();
    return Good();
}

Outcome Drive::CloseTrackSession(const Request& r) {
    const int function = r.cdb[2] & 0x07;
    const uint32_t number = Be16(r.cdb + 4);
    if (auto absent = MediumAbsent()) {
        return *absent;
    }
    if (auto fault = PollFault()) {
        return *fault;
    }
    Disc& d = *disc_;
    const MediaInfo& media = d.Info();
    if (TestWriteActive()) {
        testNwa_.reset();
        return Good(); // nothing was recorded, nothing to close
    }
    if (d.Overwritable()) {
        // DVD+RW: stop or finish background formatting; DVD-RW restricted overwrite: nothing
        // to close.
        if (function <= 3) {
            ArmLongSync();
            return Good();
        }
        return Check(0x05, 0x24, 0x00);
    }
    if (function == 1) {
        Track* t = d.FindTrack(number);
        if (t != nullptr) {
            if (!t->complete) {
                d.CompleteTrack(*t);
                if (!SaveState()) {
                    return Check(0x03, 0x72, 0x00); // SESSION FIXATION ERROR
                }
            }
        } else if (!(number == d.InvisibleNumber() && d.HasInvisibleTrack())) {
            return Check(0x05, 0x24, 0x00);
        }
        ArmLongSync();
        return Good();
    }
    const bool plusR = media.type == MediaType::DvdPlusR;
    if (function != 2 && !(plusR && (function == 5 || function == 6))) {
        return Check(0x05, 0x24, 0x00);
    }
    if (d.Finalized() || d.Tracks().empty()) {
        return Good(); // nothing recorded, nothing to close
    }
    const std::vector<const Track*> openTracks = d.OpenTracks();
    if (openTracks.empty()) {
        // An empty last session: nothing is written, but DVD+R can still be finalized.
        if (plusR && function != 2) {
            d.Finalize();
            if (!SaveState()) {
                return Check(0x03, 0x72, 0x00);
            }
        }
        return Good();
    }
    for (const Track* open : openTracks) {
        Track* t = d.FindTrack(open->number);
        if (t->complete) {
            continue;
        }
        if (media.cd) {
            return Check(0x05, 0x72, 0x03); // INCOMPLETE TRACK IN SESSION
        }
        if (t->reserved && t->recorded < t->size) {
            return Check(0x05, 0x72, 0x04); // EMPTY OR PARTIALLY WRITTEN RESERVED TRACK
        }
        d.CompleteTrack(*t);
    }
    // DVD+R: function 2 leaves the disc appendable, 5 and 6 finalize it. Other media follow
    // the multisession field of the write parameters page: 11b allows a next session.
    const bool finalize = plusR ? function != 2 : (page05_[3] >> 6) != 3;
    d.CloseSession(finalize);
    if (!SaveState()) {
        return Check(0x03, 0x72, 0x00); // SESSION FIXATION ERROR
    }
    ArmLongSync();
    return Good();
}

Outcome Drive::ReserveTrack(const Request& r) {
    if (auto absent = MediumAbsent()) {
        return *absent;
    }
    if (auto fault = PollFault()) {
        return *fault;
    }
    Disc& d = *disc_;
    if (d.Overwritable()) {
        return Check(0x05, 0x2C, 0x00);
    }
    if ((r.cdb[1] & 0x01) != 0) {
        return Check(0x05, 0x24, 0x00); // reservation by address not offered
    }
    const uint32_t blocks = Be32(r.cdb + 5);
    if (blocks == 0) {
        return Check(0x05, 0x24, 0x00);
    }
    if (!d.HasInvisibleTrack()) {
        return Check(0x05, 0x72, 0x05); // NO MORE TRACK RESERVATIONS ALLOWED
    }
    if (!d.Reserve(blocks)) {
        return Check(0x05, 0x21, 0x00);
    }
    if (!SaveState()) {
        return Check(0x03, 0x0C, 0x00);
    }
    return Good();
}

Outcome Drive::FormatUnit(const Request& r) {
    if (auto absent = MediumAbsent()) {
        return *absent;
    }
    if (auto fault = PollFault()) {
        return *fault;
    }
    Disc& d = *disc_;
    const MediaInfo& media = d.Info();
    if (media.cd || !media.erasable) {
        return Check(0x05, 0x30, 0x06); // CANNOT FORMAT MEDIUM - INCOMPATIBLE MEDIUM
    }
    int formatType = 0;
    if ((r.cdb[1] & 0x10) != 0) {
        if (r.data == nullptr || r.dataLength < 12) {
            return Underrun();
        }
        if (Be16(r.data + 2) != 8) {
            return Check(0x05, 0x26, 0x00);
        }
        formatType = r.data[8] >> 2;
    } else {
        formatType = media.type == MediaType::DvdPlusRw ? 0x26 : 0x00;
    }
    if (media.type == MediaType::DvdPlusRw) {
        if (formatType != 0x26 && formatType != 0x00) {
            return Check(0x05, 0x26, 0x00);
        }
        d.Format();
    } else if (formatType == 0x00 || formatType == 0x15) {
        // Full or quick format of a DVD-RW: erased, then restricted overwrite.
        d.Blank(false);
        if (::ftruncate(imageFd_, 0) != 0) {
            return Check(0x03, 0x31, 0x01); // FORMAT COMMAND FAILED
        }
        d.Format();
    } else if (formatType == 0x13) {
        if (!d.Formatted()) {
            return Check(0x05, 0x26, 0x00); // only a restricted-overwrite disc can grow
        }
    } else {
        return Check(0x05, 0x26, 0x00);
    }
    testNwa_.reset();
    if (!SaveState()) {
        return Check(0x03, 0x0C, 0x00);
    }
    ArmLongSync();
    return Good();
}

Outcome Drive::Blank(const Request& r) {
    if (auto absent = MediumAbsent()) {
        return *absent;
    }
    if (auto fault = PollFault()) {
        return *fault;
    }
    Disc& d = *disc_;
    const MediaInfo& media = d.Info();
    if (!media.erasable || media.type == MediaType::DvdPlusRw) {
        return Check(0x05, 0x30, 0x00); // INCOMPATIBLE MEDIUM INSTALLED
    }
    const int type = r.cdb[1] & 0x07;
    if (type != 0 && type != 1) {
        return Check(0x05, 0x24, 0x00);
    }
    d.Blank(false); // a blanked DVD-RW is sequential again
    if (::ftruncate(imageFd_, 0) != 0) {
        return Check(0x03, 0x0C, 0x00);
    }
    testNwa_.reset();
    if (!SaveState()) {
        return Check(0x03, 0x0C, 0x00);
    }
    ArmLongSync();
    return Good();
}

} // namespace larderly::vdrive
