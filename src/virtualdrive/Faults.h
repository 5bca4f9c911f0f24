/* Faults injected into the simulated writer through LARDERLY_VDRIVE_FAULTS: a
 * comma-separated list of items (see docs/virtualdrive.md). Counters run from the moment the
 * drive is set up (the library's first request with this configuration). */
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace larderly::vdrive {

struct Faults {
    uint32_t busy = 0;          // busy=N: target status BUSY for the first N commands
    uint32_t busyWrite = 0;     // busy-write=N: BUSY for the first N WRITE(10)s
    uint32_t longWrite = 0;     // longwrite=N: 02/04/08 for N polls after the first WRITE(10)
    uint32_t longSync = 0;      // longsync=N: 02/04/08 for N polls after each flush or close
    uint32_t notReady = 0;      // notready=N: 02/3A/00 for the first N TEST UNIT READYs
    uint32_t becomingReady = 0; // becoming-ready=N: 02/04/01 for the first N medium commands
    std::vector<uint32_t> mediumError; // medium-error=LBA: 03/0C/00 writing that block
    std::vector<uint32_t> hangWrite;   // hang-write=LBA: the WRITE(10) never completes
    bool noMedia = false;              // no-media: the tray is empty
    std::vector<std::string> unknown;  // items not understood (ignored)
};

Faults ParseFaults(std::string_view text);

// A decimal or 0x-prefixed hexadecimal 32-bit number, the whole text.
bool ParseNumber(std::string_view text, uint32_t& out);

} // namespace larderly::vdrive
