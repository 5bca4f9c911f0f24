/* The two-function drive interface shared by the burn engine and any library it loads at
 * run time (the simulated writer libvirtualdrive.so among them): request blocks, their
 * command codes, statuses and flags, and the two C entry points. Plain C layout so that a
 * library built by anybody can implement it. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Request block command codes (SRB_Cmd). */
enum {
    SC_HA_INQUIRY = 0x00,
    SC_GET_DEV_TYPE = 0x01,
    SC_EXEC_SCSI_CMD = 0x02,
    SC_ABORT_SRB = 0x03,
    SC_RESET_DEV = 0x04,
    SC_GET_DISK_INFO = 0x06
};

/* Request block statuses (SRB_Status). */
enum {
    SS_PENDING = 0x00,
    SS_COMP = 0x01,
    SS_ABORTED = 0x02,
    SS_ABORT_FAIL = 0x03,
    SS_ERR = 0x04,
    SS_INVALID_CMD = 0x80,
    SS_INVALID_HA = 0x81,
    SS_NO_DEVICE = 0x82,
    SS_INVALID_SRB = 0xE0,
    SS_BUFFER_ALIGN = 0xE1,
    SS_ASPI_IS_BUSY = 0xE5,
    SS_BUFFER_TO_BIG = 0xE6,
    SS_NO_ADAPTERS = 0xE8
};

/* Request block flags (SRB_Flags). */
enum { SRB_DIR_IN = 0x08, SRB_DIR_OUT = 0x10, SRB_EVENT_NOTIFY = 0x40 };

/* Host adapter statuses (SRB_HaStat). */
enum {
    HASTAT_OK = 0x00,
    HASTAT_TIMEOUT = 0x09,
    HASTAT_COMMAND_TIMEOUT = 0x0B,
    HASTAT_MESSAGE_REJECT = 0x0D,
    HASTAT_BUS_RESET = 0x0E,
    HASTAT_PARITY_ERROR = 0x0F,
    HASTAT_REQUEST_SENSE_FAILED = 0x10,
    HASTAT_SEL_TO = 0x11,
    HASTAT_DO_DU = 0x12,
    HASTAT_BUS_FREE = 0x13
};

/* Target statuses (SRB_TargStat). */
enum {
    STATUS_GOOD = 0x00,
    STATUS_CHKCOND = 0x02,
    STATUS_BUSY = 0x08,
    STATUS_RESCONF = 0x18,
    STATUS_QUEUE_FULL = 0x28
};

#define ASPI_SENSE_LEN 33

/* The completion event of a request sent with SRB_EVENT_NOTIFY. The caller owns it and puts
 * its address in SRB_PostProc; the library calls signal(self) once the request has ended
 * (its status is no longer SS_PENDING). A library may end a request before
 * SendASPI32Command returns, or later from a thread of its own. */
typedef struct AspiEvent AspiEvent;
struct AspiEvent {
    void (*signal)(AspiEvent* self);
};

/* Header shared by every request block. */
typedef struct SRB_Header {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
} SRB_Header;

/* SC_HA_INQUIRY: host adapter inquiry. */
typedef struct SRB_HAInquiry {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t HA_Count;
    uint8_t HA_SCSI_ID;
    uint8_t HA_ManagerId[16];
    uint8_t HA_Identifier[16];
    uint8_t HA_Unique[16];
    uint16_t HA_Rsvd1;
} SRB_HAInquiry;

/* SC_GET_DEV_TYPE: peripheral device type of one target/LUN. */
typedef struct SRB_GDEVBlock {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;
    uint8_t SRB_Lun;
    uint8_t SRB_DeviceType;
    uint8_t SRB_Rsvd1;
} SRB_GDEVBlock;

/* SC_EXEC_SCSI_CMD: one command block with its data and a 33-byte sense area. The data
 * buffer is pointer-sized here; SRB_PostProc holds an AspiEvent* when SRB_EVENT_NOTIFY is set. */
typedef struct SRB_ExecSCSICmd {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;
    uint8_t SRB_Lun;
    uint16_t SRB_Rsvd1;
    uint32_t SRB_BufLen;
    uint8_t* SRB_BufPointer;
    uint8_t SRB_SenseLen;
    uint8_t SRB_CDBLen;
    uint8_t SRB_HaStat;
    uint8_t SRB_TargStat;
    void* SRB_PostProc;
    uint8_t SRB_Rsvd2[20];
    uint8_t CDBByte[16];
    uint8_t SenseArea[ASPI_SENSE_LEN];
} SRB_ExecSCSICmd;

/* SC_ABORT_SRB: abort a pending request. */
typedef struct SRB_Abort {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    void* SRB_ToAbort;
} SRB_Abort;

/* Low byte: number of host adapters; second byte: SS_COMP or SS_NO_ADAPTERS. */
typedef uint32_t (*GetASPI32SupportInfoFn)(void);
/* Takes any request block above; returns its status byte. */
typedef uint32_t (*SendASPI32CommandFn)(void* srb);

#ifdef __cplusplus
}
#endif
