// Transports that carry request blocks to the drives: the run-time loaded drive library
// ("WNASPI32.DLL") and the built-in pass-through emulation ("PTASPI32"). One transport is
// loaded per process and shared by every device object.
#pragma once

#include "burn/AspiAbi.h"

#include <cstdint>
#include <memory>
#include <string>

namespace larderly {

// The two-function drive interface plus what the engine needs to name a drive.
class ScsiTransport {
public:
    virtual ~ScsiTransport() = default;
    // "WNASPI32.DLL" or "PTASPI32".
    virtual std::string Name() const = 0;
    // Low byte: adapter count; second byte: 1 done, 0xE8 no adapters.
    virtual uint32_t GetSupportInfo() = 0;
    // Runs one request block of any kind; returns its status byte.
    virtual uint32_t SendCommand(void* srb) = 0;
    // Drive letter ('A'..'Z') of the drive at an address, or 0 when it has none.
    virtual char DriveLetter(uint8_t adapter, uint8_t target, uint8_t lun) = 0;
    // Whether every emulated request opens and closes the drive's handle (ignored by a library).
    // Why the system refused the last request, in upper case ("" when it did not): the
    // request then failed with a host adapter status and this names the cause.
    virtual std::string LastFailureCause() const { return {}; }
    virtual void SetCloseAfterCommand(bool) {}
    virtual bool CloseAfterCommand() const { return true; }
};

// The process-wide transport: null until one is loaded. Once loaded it stays for the life of
// the process; installing another replaces it (used by tests and by a second load).
ScsiTransport* CurrentTransport();
void InstallTransport(std::unique_ptr<ScsiTransport> transport);

// Opens a drive library at run time. Search order: `path` when not empty, then the
// LARDERLY_ASPI_LIBRARY variable, then libwnaspi32.so beside the program, then the loader
// path. Null when no library loads or one lacks an entry point; in that last case `missing`
// (when given) names the library and the entry point it lacks.
std::unique_ptr<ScsiTransport> LoadAspiLibrary(const std::string& path,
                                               std::string* missing = nullptr);

// Block used with command code 6 (disk information); the drive number sits at offset 11.
struct SRB_GetDiskInfo {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;
    uint8_t SRB_Lun;
    uint8_t SRB_DriveFlags;
    uint8_t SRB_Int13HDriveInfo;
    uint8_t SRB_Heads;
    uint8_t SRB_Sectors;
    uint8_t SRB_Rsvd1[10];
};

} // namespace larderly
