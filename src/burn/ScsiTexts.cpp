// The disc engine's string table and the lookups over it.
#include "burn/ScsiTexts.h"

#include <array>
#include <cstdio>

namespace larderly {

std::string AspiStatusText(uint8_t status) {
    switch (status) {
    case 0x00:
    case 0x01:
        return "";
    case 0x02:
    case 0x03:
        return texts::kAborted;
    case 0x80:
        return "INVALID REQUEST";
    case 0x81:
        return "INVALID HOST ADAPTER";
    case 0x82:
        return "NO DEVICE";
    case 0xE0:
        return "INVALID SRB";
    case 0xE1:
        return "BUFFER ALIGNMENT";
    case 0xE5:
        return "ASPI IS BUSY";
    case 0xE6:
        return "BUFFER TOO BIG";
    default:
        return "UNKNOWN";
    }
}

std::string ErrorStatusText(uint8_t haStat, uint8_t targStat) {
    if (haStat == 0) {
        switch (targStat) {
        case 0x00:
        case 0x02:
            return "CHECK CONDITION";
        case 0x08:
            return "TARGET BUSY";
        case 0x18:
            return "TARGET RESERVATION CONFLICT";
        case 0x28:
            return "TARGET QUEUE FULL";
        default:
            return "UNKNOWN";
        }
    }
    switch (haStat) {
    case 0x09:
        return "COMMAND TIMEOUT";
    case 0x0B:
        return "SRB TIMEOUT";
    case 0x0D:
        return "MESSAGE REJECT";
    case 0x0E:
        return "BUS RESET";
    case 0x0F:
        return "PARITY ERROR";
    case 0x10:
        return "REQUEST SENSE FAILED";
    case 0x11:
        return "SELECTION TIMEOUT";
    case 0x12:
        return "DATA OVERRUN";
    case 0x13:
        return "UNEXPECTED BUS FREE";
    default:
        return "UNKNOWN";
    }
}

std::string SenseKeyText(const uint8_t* sense) {
    uint8_t response = sense[0] & 0x7F;
    if (response == 0) return "";
    if (response != 0x70 && response != 0x71) return "UNKNOWN";
    uint8_t b2 = sense[2];
    switch (b2 & 0x0F) {
    case 0:
        if (b2 & 0x80) return "FILEMARK";
        if (b2 & 0x40) return "END OF MEDIA";
        if (b2 & 0x20) return "ILLEGAL LENGTH";
        return "NO ADDITIONAL SENSE INFORMATION";
    case 1:
        return "RECOVERED ERROR";
    case 2:
        return "NOT READY";
    case 3:
        return "MEDIUM ERROR";
    case 4:
        return "HARDWARE ERROR";
    case 5:
        return "ILLEGAL REQUEST";
    case 6:
        return "UNIT ATTENTION";
    case 7:
        return "DATA PROTECT";
    case 8:
        return "ERASE CHECK";
    case 10:
        return "COPYABORTED";
    case 11:
        return "ABORTED COMMAND";
    case 13:
        return "VOLUME OVERFLOW";
    case 14:
        return "MISCOMPARE";
    case 15:
        return "RESERVED";
    default:
        return "CHECK CONDITION";
    }
}

std::string AdditionalSenseText(uint8_t asc, uint8_t ascq) {
    using namespace scsi_texts_detail;
    for (std::size_t i = 0; i < kAscTextCount; ++i) {
        const AscText& t = kAscTexts[i];
        if (t.asc == asc && t.ascq == ascq) return t.text;
    }
    for (std::size_t i = 0; i < kAscTextCount; ++i) {
        const AscText& t = kAscTexts[i];
        if (t.asc != asc || t.ascq != -1) continue;
        // The diagnostic range covers only qualifiers 80h-FFh.
        if (asc == 0x40 && ascq < 0x80) continue;
        std::string s = t.text;
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", ascq);
        for (std::size_t p; (p = s.find("NN")) != std::string::npos;)
            s.replace(p, 2, hex);
        return s;
    }
    return std::to_string(asc) + "," + std::to_string(ascq);
}

namespace {
std::array<std::string, 256> BuildCommandNames() {
    std::array<std::string, 256> names;
    for (int i = 0; i < 255; ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", i);
        names[i] = hex;
    }
    struct Named {
        uint8_t op;
        const char* name;
    };
    static const Named kNamed[] = {
        {0x00, "TEST UNIT READY"},
        {0x01, "REWIND UNIT"},
        {0x03, "REQUEST SENSE"},
        {0x04, "FORMAT UNIT"},
        {0x12, "INQUIRY"},
        {0x1B, "START STOP UNIT"},
        {0x1E, "PREVENT/ALLOW REMOVAL"},
        {0x23, "READ FORMAT CAPACITIES"},
        {0x25, "READ CAPACITY"},
        {0x28, "READ (10)"},
        {0x2A, "WRITE (10)"},
        {0x2B, "SEEK (10)"},
        {0x2E, "WRITE AND VERIFY (10)"},
        {0x2F, "VERIFY (10)"},
        {0x35, "SYNCHRONIZE CACHE"},
        {0x42, "READ SUB-CHANNEL"},
        {0x43, "READ TOC/PMA/ATIP"},
        {0x45, "PLAY AUDIO (10)"},
        {0x46, "GET CONFIGURATION"},
        {0x47, "PLAY AUDIO MSF"},
        {0x4A, "GET EVENT/STATUS NOTIF"},
        {0x4B, "PAUSE/RESUME"},
        {0x4E, "STOP PLAY/SCAN"},
        {0x51, "READ DISC INFORMATION"},
        {0x52, "READ TRACK INFORMATION"},
        {0x53, "RESERVE TRACK"},
        {0x54, "SEND OPC INFORMATION"},
        {0x55, "MODE SELECT (10)"},
        {0x58, "REPAIR TRACK"},
        {0x5A, "MODE SENSE (10)"},
        {0x5B, "CLOSE TRACK/SESSION"},
        {0x5C, "READ BUFFER CAPACITY"},
        {0x5D, "SEND CUE SHEET"},
        {0xA1, "BLANK"},
        {0xA2, "SEND EVENT"},
        {0xA3, "SEND KEY"},
        {0xA4, "REPORT KEY"},
        {0xA5, "PLAY AUDIO (12)"},
        {0xA6, "LOAD/UNLOAD CD/DVD"},
        {0xA7, "SET READ AHEAD"},
        {0xA8, "READ (12)"},
        {0xAA, "WRITE (12)"},
        {0xAC, "GET PERFORMANCE"},
        {0xAD, "READ DVD STRUCTURE"},
        {0xB6, "SET STREAMING"},
        {0xB9, "READ CD MSF"},
        {0xBA, "SCAN"},
        {0xBB, "SET CD SPEED"},
        {0xBD, "MECHANISM STATUS"},
        {0xBE, "READ CD"},
        {0xBF, "SEND DVD STRUCTURE"},
    };
    for (const Named& n : kNamed) {
        std::string s = n.name;
        s.resize(22, ' ');
        names[n.op] = s;
    }
    return names;
}
} // namespace

const std::string& CommandName(uint8_t opcode) {
    static const std::array<std::string, 256> names = BuildCommandNames();
    return names[opcode];
}

std::string MediaKindName(int kind) {
    static const char* const kNames[16] = {
        "UNKNOWN", "CD-ROM", "CD-R",   "CD-RW", "DVD-ROM",  "DVD-R",    "DVD-RAM", "DVD-RW",
        "DVD-RW",  "DVD-RW", "DVD+RW", "DVD+R", "DVD+R DL", "DDCD-ROM", "DDCD-R",  "DDCD-RW"};
    if (kind < 0 || kind > 15) return kNames[0];
    return kNames[kind];
}

} // namespace larderly
