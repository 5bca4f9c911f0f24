/* The disc in the simulated writer: its tracks and sessions, where the next one may be
 * written, and its record in the ".state" file beside the image. The sectors themselves
 * live in the image file, each at its LBA. */
#pragma once

#include "virtualdrive/Media.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace larderly::vdrive {

// CD multisession geometry of track-at-once writing, in blocks.
inline constexpr uint32_t kCdRunOut = 2;              // after every TAO data track
inline constexpr uint32_t kCdPregap = 150;            // before a later track of a session
inline constexpr uint32_t kCdMinTrack = 300;          // a shorter track is padded to this
inline constexpr uint32_t kCdFirstSessionGap = 11400; // lead-out 6750 + lead-in 4500 + pregap
inline constexpr uint32_t kCdLaterSessionGap = 6900;  // lead-out 2250 + lead-in 4500 + pregap
inline constexpr uint32_t kCdLeadIn = 4500;
// DVD: tracks are whole ECC blocks; a closed session or border leaves this gap.
inline constexpr uint32_t kDvdEccBlock = 16;
inline constexpr uint32_t kDvdSessionGap = 4096;

struct Track {
    uint32_t number = 0;
    uint32_t session = 0;
    uint32_t start = 0;    // first user-data block
    uint32_t recorded = 0; // user-data blocks written from start on
    uint32_t size = 0;     // blocks taken once complete (with the CD run-out), or reserved
    bool complete = false;
    bool reserved = false;

    uint32_t Nwa() const { return start + recorded; }
    uint32_t End() const { return start + size; }
};

struct Session {
    uint32_t number = 0;
    uint32_t firstTrack = 0;
    uint32_t lastTrack = 0;
    uint32_t start = 0;   // first block of its first track
    uint32_t leadOut = 0; // first block after its last track (run-out included)
};

class Disc {
public:
    Disc(const MediaInfo& media, uint32_t capacity);

    const MediaInfo& Info() const { return *media_; }
    uint32_t Capacity() const { return capacity_; }

    // Current GET CONFIGURATION profile: DVD-RW turns restricted overwrite once formatted.
    uint16_t Profile() const;
    // DVD+RW and formatted DVD-RW: written anywhere, one track spanning the disc.
    bool Overwritable() const;
    bool Formatted() const { return formatted_; }
    bool Finalized() const { return finalized_; }
    bool Blank() const;

    const std::vector<Track>& Tracks() const { return tracks_; }
    const std::vector<Session>& Sessions() const { return sessions_; }
    Track* FindTrack(uint32_t number);
    // Number of the session now open for writing (closed sessions + 1).
    uint32_t OpenSession() const { return static_cast<uint32_t>(sessions_.size()) + 1; }
    // Tracks of the open session, in order.
    std::vector<const Track*> OpenTracks() const;

    // The blank track that follows the last one: its number and first block. None on a
    // finalized disc or while the last track is still being written.
    bool HasInvisibleTrack() const;
    uint32_t InvisibleNumber() const { return static_cast<uint32_t>(tracks_.size()) + 1; }
    uint32_t InvisibleStart() const;
    // Blocks still writable from `start` on: up to the last possible lead-out, less the run-out.
    uint32_t FreeFrom(uint32_t start) const;
    // Where the next session begins once the open one is closed.
    uint32_t NextSessionStart() const;

    // Recording. Each returns false without changing anything when the step is not allowed.
    Track& OpenTrackAt(uint32_t start); // the invisible track starts being written
    void Record(Track& track, uint32_t blocks);
    void CompleteTrack(Track& track);
    bool Reserve(uint32_t blocks);
    void CloseSession(bool finalize);
    void Finalize() { finalized_ = finalized_ || !sessions_.empty(); }
    void Format();
    void Blank(bool keepFormat);
    void NoteOverwrite(uint32_t end);
    uint32_t OverwriteEnd() const { return overwriteEnd_; }

    // Readable blocks of sequential media: 0 data, 1 TAO run-out, 2 nothing recorded there.
    int Readable(uint32_t lba) const;
    // Last block a reader can address (READ CAPACITY), or nullopt on a blank disc.
    std::optional<uint32_t> LastReadable() const;

    std::string Serialize() const;
    // Parses a ".state" text; nullopt when it is damaged.
    static std::optional<Disc> Parse(const std::string& text);

private:
    const MediaInfo* media_;
    uint32_t capacity_;
    bool formatted_ = false;
    bool finalized_ = false;
    uint32_t overwriteEnd_ = 0; // overwritable media: first block after the highest written
    std::vector<Track> tracks_;
    std::vector<Session> sessions_;
};

// CD addresses: LBA to minutes, seconds, frames (LBA 0 = 00:02:00; negative lead-in addresses
// wrap to 90 minutes and above).
void LbaToMsf(int64_t lba, uint8_t& m, uint8_t& s, uint8_t& f);

} // namespace larderly::vdrive
