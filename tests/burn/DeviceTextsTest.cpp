// The engine's string table: status, sense key and additional sense texts, command names.
#include "burn/ScsiTexts.h"

#include <gtest/gtest.h>

using namespace larderly;

TEST(DeviceTexts, StatusTexts) {
    struct Case {
        uint8_t status;
        const char* text;
    } cases[] = {{0, ""},
                 {1, ""},
                 {2, "OPERATION ABORTED BY USER"},
                 {3, "OPERATION ABORTED BY USER"},
                 {0x80, "INVALID REQUEST"},
                 {0x81, "INVALID HOST ADAPTER"},
                 {0x82, "NO DEVICE"},
                 {0xE0, "INVALID SRB"},
                 {0xE1, "BUFFER ALIGNMENT"},
                 {0xE5, "ASPI IS BUSY"},
                 {0xE6, "BUFFER TOO BIG"},
                 {0x05, "UNKNOWN"}};
    for (const Case& c : cases)
        EXPECT_EQ(AspiStatusText(c.status), c.text) << int(c.status);
}

TEST(DeviceTexts, ErrorStatusTexts) {
    struct Case {
        uint8_t ha, targ;
        const char* text;
    } cases[] = {{0, 0, "CHECK CONDITION"},
                 {0, 2, "CHECK CONDITION"},
                 {0, 8, "TARGET BUSY"},
                 {0, 0x18, "TARGET RESERVATION CONFLICT"},
                 {0, 0x28, "TARGET QUEUE FULL"},
                 {0, 0x40, "UNKNOWN"},
                 {9, 2, "COMMAND TIMEOUT"},
                 {0x0B, 0, "SRB TIMEOUT"},
                 {0x0D, 0, "MESSAGE REJECT"},
                 {0x0E, 0, "BUS RESET"},
                 {0x0F, 0, "PARITY ERROR"},
                 {0x10, 0, "REQUEST SENSE FAILED"},
                 {0x11, 0, "SELECTION TIMEOUT"},
                 {0x12, 0, "DATA OVERRUN"},
                 {0x13, 0, "UNEXPECTED BUS FREE"},
                 {0x20, 0, "UNKNOWN"}};
    for (const Case& c : cases)
        EXPECT_EQ(ErrorStatusText(c.ha, c.targ), c.text) << int(c.ha) << "/" << int(c.targ);
}

TEST(DeviceTexts, SenseKeyTexts) {
    struct Case {
        uint8_t b0, b2;
        const char* text;
    } cases[] = {{0x00, 0x05, ""},
                 {0x72, 0x05, "UNKNOWN"},
                 {0x70, 0x80, "FILEMARK"},
                 {0x70, 0x40, "END OF MEDIA"},
                 {0x70, 0x20, "ILLEGAL LENGTH"},
                 {0x70, 0x00, "NO ADDITIONAL SENSE INFORMATION"},
                 {0x71, 0x01, "RECOVERED ERROR"},
                 {0xF0, 0x02, "NOT READY"},
                 {0x70, 0x03, "MEDIUM ERROR"},
                 {0x70, 0x04, "HARDWARE ERROR"},
                 {0x70, 0x05, "ILLEGAL REQUEST"},
                 {0x70, 0x06, "UNIT ATTENTION"},
                 {0x70, 0x07, "DATA PROTECT"},
                 {0x70, 0x08, "ERASE CHECK"},
                 {0x70, 0x09, "CHECK CONDITION"},
                 {0x70, 0x0A, "COPYABORTED"},
                 {0x70, 0x0B, "ABORTED COMMAND"},
                 {0x70, 0x0C, "CHECK CONDITION"},
                 {0x70, 0x0D, "VOLUME OVERFLOW"},
                 {0x70, 0x0E, "MISCOMPARE"},
                 {0x70, 0x0F, "RESERVED"}};
    for (const Case& c : cases) {
        uint8_t sense[33] = {};
        sense[0] = c.b0;
        sense[2] = c.b2;
        EXPECT_EQ(SenseKeyText(sense), c.text) << std::hex << int(c.b0) << " " << int(c.b2);
    }
}

TEST(DeviceTexts, AdditionalSenseTexts) {
    struct Case {
        uint8_t asc, ascq;
        const char* text;
    } cases[] = {{0x04, 0x00, "LOGICAL UNIT NOT READY, CAUSE NOT REPORTABLE"},
                 {0x04, 0x08, "LOGICAL UNIT NOT READY, LONG WRITE IN PROGRESS"},
                 {0x30, 0x00, "INCOMPATIBLE MEDIUM INSTALLED"},
                 {0x21, 0x02, "INVALID ADDRESS FOR WRITE"},
                 {0x72, 0x00, "SESSION FIXATION ERROR"},
                 {0x73, 0x06, "RMA/PMA IS ALMOST FULL"},
                 {0x40, 0x81, "DIAGNOSTIC FAILURE ON COMPONENT 81 (80H-FFH)"},
                 {0x40, 0x01, "64,1"},
                 {0x74, 0x00, "116,0"},
                 {0x04, 0xEE, "4,238"}};
    for (const Case& c : cases)
        EXPECT_EQ(AdditionalSenseText(c.asc, c.ascq), c.text);
}

TEST(DeviceTexts, CommandNamesArePaddedOrHex) {
    EXPECT_EQ(CommandName(0x2A), "WRITE (10)            ");
    EXPECT_EQ(CommandName(0x4A), "GET EVENT/STATUS NOTIF");
    EXPECT_EQ(CommandName(0xBF).size(), 22u);
    EXPECT_EQ(CommandName(0x02), "02");
    EXPECT_EQ(CommandName(0xFE), "FE");
    EXPECT_EQ(CommandName(0xFF), "");
}

TEST(DeviceTexts, MediaKindNames) {
    EXPECT_EQ(MediaKindName(2), "CD-R");
    EXPECT_EQ(MediaKindName(9), "DVD-RW");
    EXPECT_EQ(MediaKindName(12), "DVD+R DL");
    EXPECT_EQ(MediaKindName(99), "UNKNOWN");
}
