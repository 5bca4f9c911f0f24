/* Track and session bookkeeping of the simulated disc and its ".state" text file. */
#include "virtualdrive/Disc.h"

#include <algorithm>
#include <sstream>

namespace larderly::vdrive {

namespace {

uint32_t RoundUp(uint32_t value, uint32_t unit) {
    return (value + unit - 1) / unit * unit;
}

// The tracks and sessions of a state file describe a disc the drive could have written:
// tracks numbered 1, 2, ... in disc order inside the disc; each closed session a run of
// complete tracks following the one before; the tracks after them in the open session, only
// the last of them still being written; a finalized disc with no open session.
bool Consistent(const MediaInfo& media, bool formatted, bool finalized, uint64_t capacity,
                const std::vector<Track>& tracks, const std::vector<Session>& sessions) {
    const bool overwritable =
        media.type == MediaType::DvdPlusRw || (media.type == MediaType::DvdRw && formatted);
    if (overwritable && (!tracks.empty() || !sessions.empty() || finalized)) {
        return false;
    }
    for (size_t i = 0; i < tracks.size(); ++i) {
        const Track& t = tracks[i];
        const uint64_t end = static_cast<uint64_t>(t.start) + std::max(t.recorded, t.size);
        if (t.number != i + 1 || end > capacity ||
            ((t.complete || t.reserved) && t.size < t.recorded)) {
            return false;
        }
        if (i > 0) {
            const Track& before = tracks[i - 1];
            if (t.start <
                    static_cast<uint64_t>(before.start) + std::max(before.recorded, before.size) ||
                (!before.complete && !before.reserved)) {
                return false;
            }
        }
    }
    uint32_t next = 1;
    for (size_t i = 0; i < sessions.size(); ++i) {
        const Session& s = sessions[i];
        if (s.number != i + 1 || s.firstTrack != next || s.lastTrack < s.firstTrack ||
            s.lastTrack > tracks.size()) {
            return false;
        }
        for (uint32_t n = s.firstTrack; n <= s.lastTrack; ++n) {
            if (tracks[n - 1].session != s.number || !tracks[n - 1].complete) {
                return false;
            }
        }
        if (s.start != tracks[s.firstTrack - 1].start ||
            s.leadOut != tracks[s.lastTrack - 1].End()) {
            return false;
        }
        next = s.lastTrack + 1;
    }
    for (size_t i = next - 1; i < tracks.size(); ++i) {
        if (tracks[i].session != sessions.size() + 1) {
            return false;
        }
    }
    return !finalized || (!sessions.empty() && next == tracks.size() + 1);
}

} // namespace

void LbaToMsf(int64_t lba, uint8_t& m, uint8_t& s, uint8_t& f) {
    int64_t frames = lba >= -150 ? lba + 150 : lba + 450150;
    if (frames < 0) {
        frames = 0;
    }
    m = static_cast<uint8_t>(std::min<int64_t>(frames / (60 * 75), 255));
    s = static_cast<uint8_t>(frames / 75 % 60);
    f = static_cast<uint8_t>(frames % 75);
}

Disc::Disc(const MediaInfo& media, uint32_t capacity) : media_(&media), capacity_(capacity) {}

uint16_t Disc::Profile() const {
    if (media_->type == MediaType::DvdRw && formatted_) {
        return 0x0013;
    }
    return media_->profile;
}

bool Disc::Overwritable() const {
    return media_->type == MediaType::DvdPlusRw || (media_->type == MediaType::DvdRw && formatted_);
}

bool Disc::Blank() const {
    if (Overwritable()) {
        return !formatted_;
    }
    return tracks_.empty();
}

Track* Disc::FindTrack(uint32_t number) {
    for (Track& t : tracks_) {
        if (t.number == number) {
            return &t;
        }
    }
    return nullptr;
}

std::vector<const Track*> Disc::OpenTracks() const {
    std::vector<const Track*> open;
    for (const Track& t : tracks_) {
        if (t.session == OpenSession()) {
            open.push_back(&t);
        }
    }
    return open;
}

uint32_t Disc::NextSessionStart() const {
    if (sessions_.empty()) {
        return 0;
    }
    const uint32_t leadOut = sessions_.back().leadOut;
    if (media_->cd) {
        return leadOut + (sessions_.size() == 1 ? kCdFirstSessionGap : kCdLaterSessionGap);
    }
    return RoundUp(leadOut, kDvdEccBlock) + kDvdSessionGap;
}

bool Disc::HasInvisibleTrack() const {
    if (finalized_ || Overwritable()) {
        return false;
    }
    return tracks_.empty() || tracks_.back().complete || tracks_.back().reserved;
}

uint32_t Disc::InvisibleStart() const {
    if (!tracks_.empty() && tracks_.back().session == OpenSession()) {
        const Track& last = tracks_.back();
        return media_->cd ? last.End() + kCdPregap : RoundUp(last.End(), kDvdEccBlock);
    }
    return NextSessionStart();
}

uint32_t Disc::FreeFrom(uint32_t start) const {
    const uint32_t reserve = media_->cd ? kCdRunOut : 0;
    if (start + reserve >= capacity_) {
        return 0;
    }
    return capacity_ - start - reserve;
}

Track& Disc::OpenTrackAt(uint32_t start) {
    Track t;
    t.number = InvisibleNumber();
    t.session = OpenSession();
    t.start = start;
    tracks_.push_back(t);
    return tracks_.back();
}

void Disc::Record(Track& track, uint32_t blocks) {
    track.recorded += blocks;
}

void Disc::CompleteTrack(Track& track) {
    if (track.complete) {
        return;
    }
    if (!track.reserved) {
        track.size = media_->cd ? std::max(track.recorded, kCdMinTrack) + kCdRunOut
                                : RoundUp(track.recorded, kDvdEccBlock);
    }
    track.complete = true;
}

bool Disc::Reserve(uint32_t blocks) {
    if (!HasInvisibleTrack() || blocks == 0) {
        return false;
    }
    const uint32_t start = InvisibleStart();
    uint32_t size =
        media_->cd ? std::max(blocks, kCdMinTrack) + kCdRunOut : RoundUp(blocks, kDvdEccBlock);
    if (static_cast<uint64_t>(start) + size > capacity_) {
        return false;
    }
    Track& t = OpenTrackAt(start);
    t.size = size;
    t.reserved = true;
    return true;
}

void Disc::CloseSession(bool finalize) {
    std::vector<const Track*> open = OpenTracks();
    if (open.empty()) {
        return; // an empty session leaves no trace
    }
    Session s;
    s.number = OpenSession();
    s.firstTrack = open.front()->number;
    s.lastTrack = open.back()->number;
    s.start = open.front()->start;
    s.leadOut = open.back()->End();
    sessions_.push_back(s);
    if (finalize) {
        finalized_ = true;
    }
}

void Disc::Format() {
    formatted_ = true;
}

void Disc::Blank(bool keepFormat) {
    tracks_.clear();
    sessions_.clear();
    finalized_ = false;
    overwriteEnd_ = 0;
    if (!keepFormat) {
        formatted_ = false;
    }
}

void Disc::NoteOverwrite(uint32_t end) {
    overwriteEnd_ = std::max(overwriteEnd_, end);
}

int Disc::Readable(uint32_t lba) const {
    for (const Track& t : tracks_) {
        if (lba >= t.start && lba < t.start + t.recorded) {
            return 0;
        }
        if (t.complete && lba >= t.start && lba < t.End()) {
            // Padding up to the minimum length reads as zeros; the run-out does not read.
            return media_->cd && lba >= t.End() - kCdRunOut ? 1 : 0;
        }
    }
    return 2;
}

std::optional<uint32_t> Disc::LastReadable() const {
    if (Overwritable()) {
        return formatted_ ? std::optional<uint32_t>(capacity_ - 1) : std::nullopt;
    }
    if (!sessions_.empty()) {
        return sessions_.back().leadOut - 1;
    }
    return std::nullopt;
}

std::string Disc::Serialize() const {
    std::ostringstream out;
    out << "larderly-virtual-disc 1\n";
    out << "media " << media_->token << "\n";
    out << "capacity " << capacity_ << "\n";
    out << "formatted " << (formatted_ ? 1 : 0) << "\n";
    out << "finalized " << (finalized_ ? 1 : 0) << "\n";
    out << "overwrite-end " << overwriteEnd_ << "\n";
    for (const Track& t : tracks_) {
        out << "track " << t.number << ' ' << t.session << ' ' << t.start << ' ' << t.recorded
            << ' ' << t.size << ' ' << (t.complete ? 1 : 0) << ' ' << (t.reserved ? 1 : 0) << "\n";
    }
    for (const Session& s : sessions_) {
        out << "session " << s.number << ' ' << s.firstTrack << ' ' << s.lastTrack << ' ' << s.start
            << ' ' << s.leadOut << "\n";
    }
    return out.str();
}

std::optional<Disc> Disc::Parse(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != "larderly-virtual-disc 1") {
        return std::nullopt;
    }
    const MediaInfo* media = nullptr;
    std::optional<uint64_t> capacity;
    int formatted = 0;
    int finalized = 0;
    uint64_t overwriteEnd = 0;
    std::vector<Track> tracks;
    std::vector<Session> sessions;
    while (std::getline(in, line)) {
        if (line.empty()) {
            continue;
        }
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        bool ok = true;
        if (key == "media") {
            std::string token;
            fields >> token;
            media = FindMedia(token);
            ok = media != nullptr;
        } else if (key == "capacity") {
            uint64_t value = 0;
            ok = static_cast<bool>(fields >> value);
            capacity = value;
        } else if (key == "formatted") {
            ok = static_cast<bool>(fields >> formatted);
        } else if (key == "finalized") {
            ok = static_cast<bool>(fields >> finalized);
        } else if (key == "overwrite-end") {
            ok = static_cast<bool>(fields >> overwriteEnd);
        } else if (key == "track") {
            Track t;
            int complete = 0;
            int reserved = 0;
            ok = static_cast<bool>(fields >> t.number >> t.session >> t.start >> t.recorded >>
                                   t.size >> complete >> reserved);
            t.complete = complete != 0;
            t.reserved = reserved != 0;
            tracks.push_back(t);
        } else if (key == "session") {
            Session s;
            ok = static_cast<bool>(fields >> s.number >> s.firstTrack >> s.lastTrack >> s.start >>
                                   s.leadOut);
            sessions.push_back(s);
        } else {
            ok = false;
        }
        if (!ok) {
            return std::nullopt;
        }
    }
    if (media == nullptr || !capacity || *capacity == 0 || *capacity > 0xFFFFFFFFull / 2 ||
        overwriteEnd > *capacity) {
        return std::nullopt;
    }
    if (!Consistent(*media, formatted != 0, finalized != 0, *capacity, tracks, sessions)) {
        return std::nullopt;
    }
    Disc disc(*media, static_cast<uint32_t>(*capacity));
    disc.formatted_ = formatted != 0;
    disc.finalized_ = finalized != 0;
    disc.overwriteEnd_ = static_cast<uint32_t>(overwriteEnd);
    disc.tracks_ = std::move(tracks);
    disc.sessions_ = std::move(sessions);
    return disc;
}

} // namespace larderly::vdrive
