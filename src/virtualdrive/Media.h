/* The kinds of blank disc the simulated writer can hold: their GET CONFIGURATION profile,
 * capacity, recording model and the speeds the drive offers for them. */
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace larderly::vdrive {

enum class MediaType { CdR, CdRw, DvdR, DvdRw, DvdPlusR, DvdPlusRw };

struct MediaInfo {
    MediaType type;
    std::string_view token;         // value of LARDERLY_VDRIVE_MEDIA
    uint16_t profile;               // current profile of a blank disc
    bool cd;                        // CD geometry (lead-in/lead-out gaps, MSF addresses)
    bool erasable;                  // CD-RW, DVD-RW, DVD+RW
    bool plus;                      // DVD+R/+RW: write parameters page is not used
    bool testWrite;                 // simulated (laser off) writing possible
    uint32_t defaultCapacity;       // user blocks; on CD the last possible lead-out start
    std::array<uint16_t, 8> speeds; // write speeds in kB/s, fastest first
    uint8_t speedCount;
    uint16_t maxReadSpeed; // kB/s

    std::span<const uint16_t> WriteSpeeds() const { return {speeds.data(), speedCount}; }
};

// The entry for a LARDERLY_VDRIVE_MEDIA value, or nullptr when it names no medium.
const MediaInfo* FindMedia(std::string_view token);
const MediaInfo& Media(MediaType type);

// Read speeds and write speeds when the tray is empty: those of CD-R.
const MediaInfo& DefaultMedia();

} // namespace larderly::vdrive
