/* The two C entry points of the library. The drive is set up from the environment on the
 * first request and again whenever the environment names another configuration; every
 * request runs under one lock on the caller's thread. */
#include "burn/AspiAbi.h"
#include "virtualdrive/Drive.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

namespace larderly::vdrive {

namespace {

std::mutex g_lock;
std::unique_ptr<Drive> g_drive;
DriveConfig g_config;
// A WRITE that an injected fault left pending: only ever compared with and, on abort, ended.
SRB_ExecSCSICmd* g_hung = nullptr;

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Whether the environment still names the configuration of the drive in use: compared in
// place, without building strings, since this runs for every request.
bool Same(const char* name, const std::string& value) {
    const char* now = std::getenv(name);
    return now != nullptr ? value == now : value.empty();
}

// The drive of the current environment, or nullptr when no image is named. Caller holds
// g_lock.
Drive* CurrentDrive() {
    if (g_drive && Same("LARDERLY_VDRIVE_IMAGE", g_config.imagePath) &&
        Same("LARDERLY_VDRIVE_MEDIA", g_config.mediaToken) &&
        Same("LARDERLY_VDRIVE_CAPACITY", g_config.capacity) &&
        Same("LARDERLY_VDRIVE_FAULTS", g_config.faults)) {
        return g_drive.get();
    }
    DriveConfig config;
    config.imagePath = Env("LARDERLY_VDRIVE_IMAGE");
    if (config.imagePath.empty()) {
        g_drive.reset();
        return nullptr;
    }
    config.mediaToken = Env("LARDERLY_VDRIVE_MEDIA");
    config.capacity = Env("LARDERLY_VDRIVE_CAPACITY");
    config.faults = Env("LARDERLY_VDRIVE_FAULTS");
    if (!g_drive || !(config == g_config)) {
        g_drive.reset(); // the old drive records its disc first
        g_drive = std::make_unique<Drive>(config);
        g_config = config;
    }
    return g_drive.get();
}

void PutText(uint8_t* field, const char* text) {
    std::memset(field, ' ', 16);
    std::memcpy(field, text, std::min<size_t>(std::strlen(text), 16));
}

uint32_t HostAdapterInquiry(SRB_HAInquiry* srb) {
    std::lock_guard<std::mutex> guard(g_lock);
    if (CurrentDrive() == nullptr || srb->SRB_HaId != 0) {
        return srb->SRB_Status = SS_INVALID_HA;
    }
    srb->HA_Count = 1;
    srb->HA_SCSI_ID = 7;
    PutText(srb->HA_ManagerId, "LARDERLY VDRIVE");
    PutText(srb->HA_Identifier, "VIRTUAL");
    std::memset(srb->HA_Unique, 0, sizeof srb->HA_Unique);
    srb->HA_Unique[3] = 8;                   // targets
    const uint32_t maxTransfer = 0x00FF0000; // bytes per request
    std::memcpy(srb->HA_Unique + 4, &maxTransfer, 4);
    return srb->SRB_Status = SS_COMP;
}

uint32_t GetDeviceType(SRB_GDEVBlock* srb) {
    std::lock_guard<std::mutex> guard(g_lock);
    if (CurrentDrive() == nullptr || srb->SRB_HaId != 0) {
        return srb->SRB_Status = SS_INVALID_HA;
    }
    if (srb->SRB_Target != 0 || srb->SRB_Lun != 0) {
        srb->SRB_DeviceType = 0x1F;
        return srb->SRB_Status = SS_NO_DEVICE;
    }
    srb->SRB_DeviceType = 5;
    return srb->SRB_Status = SS_COMP;
}

uint32_t Execute(SRB_ExecSCSICmd* srb) {
    AspiEvent* event = (srb->SRB_Flags & SRB_EVENT_NOTIFY) != 0
                           ? static_cast<AspiEvent*>(srb->SRB_PostProc)
                           : nullptr;
    uint8_t status = SS_PENDING;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        if (srb == g_hung) {
            g_hung = nullptr; // the caller has given the block up and reuses it
        }
        srb->SRB_Status = SS_PENDING;
        srb->SRB_HaStat = HASTAT_OK;
        srb->SRB_TargStat = STATUS_GOOD;
        const size_t senseLength = std::min<size_t>(srb->SRB_SenseLen, ASPI_SENSE_LEN);
        std::memset(srb->SenseArea, 0, senseLength);
        Drive* drive = CurrentDrive();
        if (drive == nullptr || srb->SRB_HaId != 0) {
            status = SS_INVALID_HA;
        } else if (srb->SRB_Target != 0) {
            status = SS_ERR;
            srb->SRB_HaStat = HASTAT_SEL_TO; // nobody answers at that target
        } else if (srb->SRB_CDBLen == 0 || srb->SRB_CDBLen > 16) {
            status = SS_INVALID_SRB;
        } else if (srb->SRB_Lun != 0) {
            // Only LUN 0 exists: INQUIRY says so, anything else is refused.
            if (srb->CDBByte[0] == 0x12 && srb->SRB_BufPointer != nullptr && srb->SRB_BufLen > 0) {
                srb->SRB_BufPointer[0] = 0x7F;
                status = SS_COMP;
            } else {
                status = SS_ERR;
                srb->SRB_TargStat = STATUS_CHKCOND;
                Outcome o;
                o.sense = {0x05, 0x25, 0x00}; // LOGICAL UNIT NOT SUPPORTED
                const auto bytes = o.SenseBytes();
                std::memcpy(srb->SenseArea, bytes.data(), std::min(senseLength, bytes.size()));
            }
        } else {
            Request request;
            request.cdb = srb->CDBByte;
            request.cdbLength = srb->SRB_CDBLen;
            request.data = srb->SRB_BufPointer;
            request.dataLength = srb->SRB_BufPointer != nullptr ? srb->SRB_BufLen : 0;
            const Outcome o = drive->Execute(request);
            switch (o.kind) {
            case Outcome::Kind::Good:
                status = SS_COMP;
                break;
            case Outcome::Kind::CheckCondition: {
                status = SS_ERR;
                srb->SRB_TargStat = STATUS_CHKCOND;
                const auto bytes = o.SenseBytes();
                std::memcpy(srb->SenseArea, bytes.data(), std::min(senseLength, bytes.size()));
                if (senseLength > 0) {
                    drive->SenseDelivered();
                }
                break;
            }
            case Outcome::Kind::Busy:
                status = SS_ERR;
                srb->SRB_TargStat = STATUS_BUSY;
                break;
            case Outcome::Kind::DataUnderrun:
                status = SS_ERR;
                srb->SRB_HaStat = HASTAT_DO_DU;
                break;
            case Outcome::Kind::Hang:
                g_hung = srb;
                return SS_PENDING; // never signalled; only an abort ends it
            }
        }
        srb->SRB_Status = status;
    }
    if (event != nullptr) {
        event->signal(event);
    }
    return status;
}

uint32_t Abort(SRB_Abort* srb) {
    AspiEvent* event = nullptr;
    uint8_t status = SS_ABORT_FAIL;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        if (CurrentDrive() == nullptr || srb->SRB_HaId != 0) {
            return srb->SRB_Status = SS_INVALID_HA;
        }
        auto* target = static_cast<SRB_ExecSCSICmd*>(srb->SRB_ToAbort);
        if (target != nullptr && target == g_hung) {
            g_hung = nullptr;
            target->SRB_Status = SS_ABORTED;
            if ((target->SRB_Flags & SRB_EVENT_NOTIFY) != 0) {
                event = static_cast<AspiEvent*>(target->SRB_PostProc);
            }
            status = SS_COMP;
        }
        srb->SRB_Status = status;
    }
    if (event != nullptr) {
        event->signal(event);
    }
    return status;
}

} // namespace

} // namespace larderly::vdrive

using namespace larderly::vdrive;

extern "C" __attribute__((visibility("default"))) uint32_t GetASPI32SupportInfo(void) {
    std::lock_guard<std::mutex> guard(g_lock);
    if (CurrentDrive() == nullptr) {
        return static_cast<uint32_t>(SS_NO_ADAPTERS) << 8;
    }
    return static_cast<uint32_t>(SS_COMP) << 8 | 1;
}

extern "C" __attribute__((visibility("default"))) uint32_t SendASPI32Command(void* block) {
    if (block == nullptr) {
        return SS_INVALID_SRB;
    }
    auto* header = static_cast<SRB_Header*>(block);
    switch (header->SRB_Cmd) {
    case SC_HA_INQUIRY:
        return HostAdapterInquiry(static_cast<SRB_HAInquiry*>(block));
    case SC_GET_DEV_TYPE:
        return GetDeviceType(static_cast<SRB_GDEVBlock*>(block));
    case SC_EXEC_SCSI_CMD:
        return Execute(static_cast<SRB_ExecSCSICmd*>(block));
    case SC_ABORT_SRB:
        return Abort(static_cast<SRB_Abort*>(block));
    case SC_RESET_DEV: {
        std::lock_guard<std::mutex> guard(g_lock);
        const bool ok = CurrentDrive() != nullptr && header->SRB_HaId == 0;
        return header->SRB_Status = ok ? SS_COMP : SS_INVALID_HA;
    }
    default:
        // Disk information among them: this drive has no drive letter.
        return header->SRB_Status = SS_INVALID_CMD;
    }
}
