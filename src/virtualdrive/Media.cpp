/* The media table of the simulated writer. Speeds are in kB/s (1000 bytes per second):
 * 1x CD = 176.4 kB/s, 1x DVD = 1385 kB/s. */
#include "virtualdrive/Media.h"

namespace larderly::vdrive {

namespace {

// An 80-minute CD-R/RW: the last possible lead-out starts at 79:59:74 = LBA 359849.
constexpr uint32_t kCdCapacity = 359849;

// Plain constant data: still valid while the library's other statics are torn down.
constexpr MediaInfo kTable[] = {
    {MediaType::CdR,
     "cdr",
     0x0009,
     true,
     false,
     false,
     true,
     kCdCapacity,
     {8467, 7056, 5645, 4234, 2822, 1411, 706},
     7,
     8467},
    {MediaType::CdRw,
     "cdrw",
     0x000A,
     true,
     true,
     false,
     true,
     kCdCapacity,
     {4234, 2822, 1764, 1411, 706},
     5,
     8467},
    {MediaType::DvdR,
     "dvdr",
     0x0011,
     false,
     false,
     false,
     true,
     2298496,
     {22160, 16620, 11080, 5540, 2770},
     5,
     22160},
    {MediaType::DvdRw,
     "dvdrw",
     0x0014,
     false,
     true,
     false,
     true,
     2297888,
     {8310, 5540, 2770},
     3,
     22160},
    {MediaType::DvdPlusR,
     "dvd+r",
     0x001B,
     false,
     false,
     true,
     false,
     2295104,
     {22160, 16620, 11080, 5540, 3324},
     5,
     22160},
    {MediaType::DvdPlusRw,
     "dvd+rw",
     0x001A,
     false,
     true,
     true,
     false,
     2295104,
     {11080, 5540, 3324},
     3,
     22160},
};

} // namespace

const MediaInfo* FindMedia(std::string_view token) {
    for (const MediaInfo& m : kTable) {
        if (m.token == token) {
            return &m;
        }
    }
    return nullptr;
}

const MediaInfo& Media(MediaType type) {
    for (const MediaInfo& m : kTable) {
        if (m.type == type) {
            return m;
        }
    }
    return kTable[0];
}

const MediaInfo& DefaultMedia() {
    return kTable[0];
}

} // namespace larderly::vdrive
