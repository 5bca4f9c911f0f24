/* The layouts of the drive's answers: INQUIRY, GET CONFIGURATION, mode pages, disc and track
 * information of blank media, buffer, speeds, events, tray and sense. */
#include "DriveHarness.h"

namespace larderly::vdrive::test {
namespace {

using AnswersTest = DriveTest;

TEST_F(AnswersTest, InquiryNamesTheVirtualWriter) {
    const Answer a = Run({0x12, 0, 0, 0, 128, 0}, 128);
    ASSERT_TRUE(a.Good());
    EXPECT_EQ(a.data[0], 0x05);     // CD/DVD device
    EXPECT_EQ(a.data[1], 0x80);     // removable
    EXPECT_EQ(a.data[3] & 0x0F, 2); // response data format
    EXPECT_EQ(a.data[4], 31);       // 36 bytes in all
    EXPECT_EQ(std::string(a.data.begin() + 8, a.data.begin() + 36), "LARDERLYVIRTUAL WRITER  1.00");
    EXPECT_EQ(a.data[36], 0); // nothing beyond the 36 bytes

    const Answer shortAnswer = Run({0x12, 0, 0, 0, 5, 0}, 128);
    EXPECT_TRUE(shortAnswer.Good());
    EXPECT_EQ(shortAnswer.data[4], 31);
    EXPECT_EQ(shortAnswer.data[5], 0); // allocation length respected

    EXPECT_EQ(Run({0x12, 0, 0x83, 0, 128, 0}, 128).Sense(), "05/24/00"); // page without EVPD
    const Answer serial = Run({0x12, 1, 0x80, 0, 128, 0}, 128);
    EXPECT_TRUE(serial.Good());
    EXPECT_EQ(serial.data[1], 0x80);
}

TEST_F(AnswersTest, UnknownOpcodesAreInvalidCommandOperationCode) {
    for (uint8_t op : {0x01, 0x5D, 0xA8, 0xAD, 0xBE, 0xFF}) {
        const Answer a = Run({op, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
        EXPECT_EQ(a.status, SS_ERR) << std::hex << int(op);
        EXPECT_EQ(a.Sense(), "05/20/00") << std::hex << int(op);
        EXPECT_EQ(a.sense[0], 0x70);
        EXPECT_EQ(a.sense[7], 10);
    }
}

TEST_F(AnswersTest, CurrentProfileFollowsTheMedium) {
    struct Case {
        const char* media;
        uint16_t profile;
        uint16_t writeFeature; // feature current for this medium
    };
    for (const Case& c : {Case{"cdr", 0x0009, 0x002D}, Case{"cdrw", 0x000A, 0x002D},
                          Case{"dvdr", 0x0011, 0x002F}, Case{"dvdrw", 0x0014, 0x002F},
                          Case{"dvd+r", 0x001B, 0x002B}, Case{"dvd+rw", 0x001A, 0x002A}}) {
        Media(c.media);
        const Answer all = Run({0x46, 0, 0, 0, 0, 0, 0, 0x10, 0, 0}, 4096);
        ASSERT_TRUE(all.Good()) << c.media;
        EXPECT_EQ(all.Be16(6), c.profile) << c.media;
        const uint32_t length = all.Be32(0) + 4;
        // Walk the descriptors: ascending codes, whole descriptors, the profile list marks
        // exactly the current profile.
        uint32_t previous = 0;
        bool writeCurrent = false;
        int currentProfiles = 0;
        for (uint32_t at = 8; at < length; at += 4 + all.data[at + 3]) {
            const uint32_t code = all.Be16(at);
            EXPECT_TRUE(at == 8 || code > previous) << c.media;
            previous = code;
            if (code == 0) {
                for (uint32_t p = at + 4; p < at + 4 + all.data[at + 3]; p += 4) {
                    if (all.data[p + 2] & 1) {
                        ++currentProfiles;
                        EXPECT_EQ(all.Be16(p), c.profile);
                    }
                }
            }
            if (code == c.writeFeature) {
                writeCurrent = (all.data[at + 2] & 1) != 0;
            }
        }
        EXPECT_EQ(currentProfiles, 1) << c.media;
        EXPECT_TRUE(writeCurrent) << c.media;
    }
}

TEST_F(AnswersTest, FeatureAskedAloneComesBackAloneOrNotAtAll) {
    // Request type 2 as the capability probe sends it: DVD+RW with its Write bit, and no
    // DVD+R dual layer support at all.
    const Answer plusRw = Run({0x46, 2, 0, 0x2A, 0, 0, 0, 0, 114, 0}, 114);
    ASSERT_TRUE(plusRw.Good());
    EXPECT_EQ(plusRw.Be32(0), 4u + 8u);
    EXPECT_EQ(plusRw.Be16(8), 0x002Au);
    EXPECT_EQ(plusRw.data[11], 4);
    EXPECT_EQ(plusRw.data[12], 1);
    const Answer dualLayer = Run({0x46, 2, 0, 0x3B, 0, 0, 0, 0, 114, 0}, 114);
    ASSERT_TRUE(dualLayer.Good());
    EXPECT_EQ(dualLayer.Be32(0), 4u);
    EXPECT_EQ(dualLayer.Be16(8), 0u);
    // Request type 1: only current features; on a CD-R the DVD ones are left out.
    const Answer current = Run({0x46, 1, 0, 0x1F, 0, 0, 0, 0x10, 0, 0}, 4096);
    ASSERT_TRUE(current.Good());
    for (uint32_t at = 8; at < current.Be32(0) + 4; at += 4 + current.data[at + 3]) {
        EXPECT_EQ(current.data[at + 2] & 1, 1) << std::hex << current.Be16(at);
        EXPECT_NE(current.Be16(at), 0x002Fu);
        EXPECT_GE(current.Be16(at), 0x001Fu);
    }
    EXPECT_EQ(Run({0x46, 3, 0, 0, 0, 0, 0, 0, 114, 0}, 114).Sense(), "05/24/00");
}

TEST_F(AnswersTest, CapabilitiesPageHasTheLayoutOfRealDrives) {
    for (uint8_t pageControl : {0x2A, 0xAA}) {
        const Answer a = Run({0x5A, 0, pageControl, 0, 0, 0, 0, 0, 255, 0}, 255);
        ASSERT_TRUE(a.Good());
        EXPECT_EQ(a.Be16(0) + 2, 8 + 32 + 4 * 7u); // header + page with 7 speed descriptors
        EXPECT_EQ(a.Be16(6), 0u);                  // no block descriptors: page at byte 8
        const uint8_t* p = &a.data[8];
        EXPECT_EQ(p[0], 0x2A);
        EXPECT_EQ(p[1], 30 + 4 * 7);
        EXPECT_EQ(p[3] & 0x07, 0x07);     // writes CD-R and CD-RW, test write
        EXPECT_EQ(p[4] & 0x80, 0x80);     // buffer-underrun-free recording
        EXPECT_EQ(a.Be16(8 + 8), 8467u);  // maximum read speed
        EXPECT_EQ(a.Be16(8 + 12), 2048u); // buffer, KiB
        EXPECT_EQ(a.Be16(8 + 18), 8467u); // maximum write speed
        EXPECT_EQ(a.Be16(8 + 20), 8467u); // current write speed
        EXPECT_EQ(a.Be16(8 + 30), 7u);
        EXPECT_EQ(a.Be16(8 + 32 + 2), 8467u); // fastest descriptor first
        EXPECT_EQ(a.Be16(8 + 32 + 6 * 4 + 2), 706u);
    }
    const Answer changeable = Run({0x5A, 0, 0x6A, 0, 0, 0, 0, 0, 255, 0}, 255);
    ASSERT_TRUE(changeable.Good());
    EXPECT_EQ(changeable.data[10], 0);
    EXPECT_EQ(Run({0x5A, 0, 0xEA, 0, 0, 0, 0, 0, 255, 0}, 255).Sense(), "05/39/00");
    EXPECT_EQ(Run({0x5A, 0, 0x30, 0, 0, 0, 0, 0, 128, 0}, 128).Sense(), "05/24/00");
}

TEST_F(AnswersTest, WriteParametersPageSetAndReadBack) {
    const Answer before = Run({0x5A, 0, 0x05, 0, 0, 0, 0, 2, 0, 0}, 512);
    ASSERT_TRUE(before.Good());
    EXPECT_EQ(before.data[8], 0x05);
    EXPECT_EQ(before.data[9], 0x32);
    EXPECT_EQ(before.Be16(0), 6u + 52u);

    // The page for a CD backup: TAO, buffer-underrun free, next session allowed, mode 1.
    ASSERT_TRUE(WriteParameters(0x41, 0xC4).Good());
    const Answer after = Run({0x5A, 0, 0x05, 0, 0, 0, 0, 2, 0, 0}, 512);
    EXPECT_EQ(after.data[10], 0x41);
    EXPECT_EQ(after.data[11], 0xC4);
    EXPECT_EQ(after.data[12], 0x08);
    EXPECT_EQ(after.Be16(8 + 14), 150u);

    struct Case {
        const char* media;
        uint8_t byte2, byte3, blockType;
        const char* sense; // "" = accepted
    };
    for (const Case& c : {
             Case{"cdr", 0x03, 0x00, 1, ""},          // raw
             Case{"cdr", 0x02, 0x00, 0, ""},          // session at once
             Case{"cdr", 0x01, 0x00, 0, ""},          // track at once, audio blocks
             Case{"cdr", 0x01, 0x04, 5, "05/26/00"},  // reserved data block type
             Case{"cdr", 0x01, 0x84, 8, "05/26/00"},  // reserved multisession field
             Case{"cdr", 0x07, 0x04, 8, "05/26/00"},  // no such write type
             Case{"dvdr", 0x60, 0xE5, 8, ""},         // incremental with link size
             Case{"dvdr", 0x01, 0x04, 8, "05/26/00"}, // no track at once on DVD-R
             Case{"dvd+r", 0x22, 0xC4, 8, ""},        // ignored by +R media
         }) {
        Media(c.media);
        EXPECT_EQ(WriteParameters(c.byte2, c.byte3, c.blockType).Sense(), c.sense)
            << c.media << " " << std::hex << int(c.byte2);
    }
    Media("cdr");
    // Parameter list shorter than its page, or a page of another length: refused.
    std::vector<uint8_t> list(60, 0);
    list[8] = 0x05;
    list[9] = 0x32;
    EXPECT_EQ(Run({0x55, 0x10, 0, 0, 0, 0, 0, 0, 40, 0}, 0, list).Sense(), "05/1A/00");
    list[9] = 0x20;
    EXPECT_EQ(Run({0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, 0, list).Sense(), "05/26/00");
    list[8] = 0x2A;
    list[9] = 0x32;
    EXPECT_EQ(Run({0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, 0, list).Sense(), "05/26/00");
}

TEST_F(AnswersTest, BlankCdDiscAndTrackInformation) {
    for (const char* media : {"cdr", "cdrw"}) {
        Media(media);
        const bool rw = std::string(media) == "cdrw";
        const Answer disc = DiscInfo();
        ASSERT_TRUE(disc.Good());
        EXPECT_EQ(disc.Be16(0), 32u);
        EXPECT_EQ(disc.data[2], rw ? 0x10 : 0x00); // erasable; empty session; blank disc
        EXPECT_EQ(disc.data[3], 1);
        EXPECT_EQ(disc.data[4], 1); // sessions, the empty one included
        EXPECT_EQ(disc.data[5], 1);
        EXPECT_EQ(disc.data[6], 1);
        EXPECT_EQ(disc.Be32(16), 0x00611A42u); // lead-in at 97:26:66
        EXPECT_EQ(disc.Be32(20), 0x004F3B4Au); // last possible lead-out at 79:59:74

        const Answer track = TrackInfo(1);
        ASSERT_TRUE(track.Good());
        EXPECT_EQ(track.Be16(0), 46u);
        EXPECT_EQ(track.data[2], 1);
        EXPECT_EQ(track.data[3], 1);
        EXPECT_EQ(track.data[6] & 0x40, 0x40); // blank
        EXPECT_EQ(track.data[7] & 0x01, 0x01); // next writable address valid
        EXPECT_EQ(track.Be32(8), 0u);
        EXPECT_EQ(track.Be32(12), 0u);
        EXPECT_EQ(track.Be32(16), 359849u - 2); // up to the lead-out, less the run-out
        EXPECT_EQ(track.Be32(20), 0u);

        const Answer invisible = Run({0x52, 1, 0, 0, 0, 0xFF, 0, 0, 40, 0}, 40);
        EXPECT_TRUE(invisible.Good());
        EXPECT_EQ(invisible.data[2], 1);
        EXPECT_EQ(TrackInfo(2).Sense(), "05/24/00");
    }
    Capacity("1000");
    Media("cdr");
    EXPECT_EQ(TrackInfo(1).Be32(16), 998u);
}

TEST_F(AnswersTest, BlankDiscHasNoTableOfContentsButAnAtip) {
    EXPECT_EQ(Run({0x43, 0, 0, 0, 0, 0, 1, 0, 255, 0}, 255).Sense(), "05/24/00");
    EXPECT_EQ(Run({0x43, 0, 1, 0, 0, 0, 0, 0, 255, 0}, 255).Sense(), "05/24/00");
    const Answer atip = Run({0x43, 2, 4, 0, 0, 0, 0, 0, 26, 0}, 26);
    ASSERT_TRUE(atip.Good());
    EXPECT_EQ(atip.Be16(0), 26u);
    EXPECT_EQ(atip.data[6] & 0xC0, 0x80); // CD-R
    EXPECT_EQ(atip.data[8], 97);
    EXPECT_EQ(atip.data[12], 79);
    const Answer capacity = Run({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8);
    ASSERT_TRUE(capacity.Good());
    EXPECT_EQ(capacity.Be32(4), 2048u);
}

TEST_F(AnswersTest, BufferCapacityAndSpeeds) {
    const Answer buffer = Run({0x5C, 0, 0, 0, 0, 0, 0, 0, 32, 0}, 32);
    ASSERT_TRUE(buffer.Good());
    EXPECT_EQ(buffer.Be16(0), 10u);
    EXPECT_EQ(buffer.Be32(4), 2u * 1024 * 1024);
    EXPECT_EQ(buffer.Be32(8), 2u * 1024 * 1024);
    const Answer blocks = Run({0x5C, 1, 0, 0, 0, 0, 0, 0, 12, 0}, 12);
    EXPECT_EQ(blocks.data[3] & 1, 1);
    EXPECT_EQ(blocks.Be32(8), 1024u);

    auto currentWrite = [this] {
        return Run({0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 128, 0}, 128).Be16(8 + 20);
    };
    struct Case {
        uint16_t asked;
        uint32_t got;
    };
    for (const Case& c : {Case{0xFFFF, 8467}, Case{2822, 2822}, Case{3000, 2822}, Case{2, 706}}) {
        ASSERT_TRUE(Run({0xBB, 0, 0xFF, 0xFF, static_cast<uint8_t>(c.asked >> 8),
                         static_cast<uint8_t>(c.asked), 0, 0, 0, 0, 0, 0})
                        .Good());
        EXPECT_EQ(currentWrite(), c.got) << c.asked;
    }

    // Set streaming: a performance descriptor of 5540 kB per 1000 ms on DVD-R.
    Media("dvdr");
    std::vector<uint8_t> descriptor(28, 0);
    PutBe32(&descriptor[8], 2298495);
    PutBe32(&descriptor[12], 22160);
    PutBe32(&descriptor[16], 1000);
    PutBe32(&descriptor[20], 5540);
    PutBe32(&descriptor[24], 1000);
    ASSERT_TRUE(Run({0xB6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 28, 0}, 0, descriptor).Good());
    EXPECT_EQ(currentWrite(), 5540u);
    PutBe32(&descriptor[24], 0);
    EXPECT_EQ(Run({0xB6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 28, 0}, 0, descriptor).Sense(), "05/26/00");
}

TEST_F(AnswersTest, TrayEventsAndRemovalLock) {
    const auto event = [this] { return Run({0x4A, 1, 0, 0, 0x10, 0, 0, 0, 8, 0}, 8); };
    Answer e = event();
    ASSERT_TRUE(e.Good());
    EXPECT_EQ(e.data[2], 0x04); // media class
    EXPECT_EQ(e.data[4], 2);    // new media, once
    EXPECT_EQ(e.data[5], 0x02); // present, tray closed
    EXPECT_EQ(event().data[4], 0);
    EXPECT_EQ(Run({0x4A, 0, 0, 0, 0x10, 0, 0, 0, 8, 0}, 8).Sense(), "05/24/00"); // not polled

    ASSERT_TRUE(Run({0x1E, 0, 0, 0, 1, 0}).Good());                   // prevent removal
    EXPECT_EQ(Run({0x1B, 0, 0, 0, 2, 0}).Sense(), "05/53/02");        // eject refused
    ASSERT_TRUE(Run({0x1E, 0, 0, 0, 0, 0}).Good());                   // allow
    ASSERT_TRUE(Run({0x1B, 0, 0, 0, 2, 0}).Good());                   // eject
    EXPECT_EQ(TestUnitReady().Sense(), "02/3A/02");                   // tray open
    EXPECT_EQ(event().data[4], 3);                                    // media removal
    EXPECT_EQ(Run({0x46, 0, 0, 0, 0, 0, 0, 0, 8, 0}, 8).Be16(6), 0u); // no profile
    ASSERT_TRUE(Run({0x1B, 0, 0, 0, 3, 0}).Good());                   // load
    EXPECT_TRUE(TestUnitReady().Good());
    EXPECT_EQ(event().data[4], 2);
}

TEST_F(AnswersTest, RequestSenseReportsWhatAutosenseDidNotDeliver) {
    // Without a sense area the CHECK CONDITION's sense waits for REQUEST SENSE.
    SRB_ExecSCSICmd srb{};
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_CDBLen = 10;
    srb.CDBByte[0] = 0xFF;
    srb.SRB_SenseLen = 0;
    EXPECT_EQ(lib_->Send(&srb), SS_ERR);
    const Answer first = Run({0x03, 0, 0, 0, 18, 0}, 18);
    ASSERT_TRUE(first.Good());
    EXPECT_EQ(first.data[0], 0x70);
    EXPECT_EQ(first.data[2], 0x05);
    EXPECT_EQ(first.data[12], 0x20);
    const Answer second = Run({0x03, 0, 0, 0, 18, 0}, 18);
    EXPECT_EQ(second.data[2], 0x00);
    EXPECT_EQ(second.data[12], 0x00);
}

} // namespace
} // namespace larderly::vdrive::test
