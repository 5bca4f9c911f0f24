/* DVD media written the ways the burn engine writes them: DVD+R and DVD-R sessions,
 * DVD+RW after formatting, DVD-RW turned restricted overwrite by a quick format. */
#include "DriveHarness.h"

namespace larderly::vdrive::test {
namespace {

class DvdTest : public DriveTest {
protected:
    uint16_t Profile() {
        return static_cast<uint16_t>(Run({0x46, 0, 0, 0, 0, 0, 0, 0, 8, 0}, 8).Be16(6));
    }
    Answer Format(std::vector<uint8_t> list) { return Run({0x04, 0x11, 0, 0, 0, 0}, 0, list); }
};

TEST_F(DvdTest, DvdPlusRSessionsStayAppendableUntilFinalized) {
    Media("dvd+r");
    ASSERT_TRUE(WriteParameters(0x22, 0xC4).Good()); // not used by +R, but accepted
    WriteTrack(0, 96, 0x44, 32);
    ASSERT_TRUE(SyncCache().Good());
    EXPECT_EQ(TrackInfo(1).data[6] & 0x20, 0x20); // still incomplete after the flush
    ASSERT_TRUE(Close(1, 1).Good());
    ASSERT_TRUE(Close(2, 0xFF).Good());
    Answer disc = DiscInfo();
    EXPECT_EQ(disc.data[2] & 0x0F, 0x01); // appendable, empty last session
    EXPECT_EQ(disc.data[4], 2);
    const Answer track = TrackInfo(2);
    EXPECT_EQ(track.Be32(12), 96u + 4096u);
    EXPECT_EQ(track.Be32(20), 16u); // fixed packet size of DVD

    WriteTrack(96 + 4096, 20, 0x55, 32);
    ASSERT_TRUE(Close(1, 2).Good());
    EXPECT_EQ(TrackInfo(2).Be32(24), 32u); // whole ECC blocks
    ASSERT_TRUE(Close(5, 0).Good());       // close session and finalize
    disc = DiscInfo();
    EXPECT_EQ(disc.data[2] & 0x03, 2);
    EXPECT_EQ(disc.data[4], 2);
    EXPECT_EQ(Write(96 + 4096 + 32 + 4096, 16).Sense(), "05/21/02");
    EXPECT_EQ(Close(5, 0).Sense(), ""); // nothing more to do
}

TEST_F(DvdTest, DvdMinusRReservedTrackClosedAsTheEngineDoes) {
    Media("dvdr");
    ASSERT_TRUE(WriteParameters(0x60, 0xE5, 8, 16).Good());
    // The time stamp of the recording: header 00 14 00 00, four zero bytes, 14 digits.
    std::vector<uint8_t> stamp{0x00, 0x14, 0, 0, 0, 0, 0, 0};
    for (char c : std::string("20261210003000")) {
        stamp.push_back(static_cast<uint8_t>(c));
    }
    EXPECT_TRUE(Run({0xBF, 0, 0, 0, 0, 0, 0, 0x0F, 0, 22, 0, 0}, 0, stamp).Good());
    stamp[10] = 'x';
    EXPECT_EQ(Run({0xBF, 0, 0, 0, 0, 0, 0, 0x0F, 0, 22, 0, 0}, 0, stamp).Sense(), "05/26/00");
    EXPECT_EQ(Run({0xBF, 0, 0, 0, 0, 0, 0, 0x04, 0, 22, 0, 0}, 0, stamp).Sense(), "05/24/00");
    ASSERT_TRUE(Run({0x53, 0, 0, 0, 0, 0, 0, 0, 96, 0, 0, 0}).Good());
    EXPECT_EQ(TrackInfo(1).data[6] & 0xC0, 0xC0);
    WriteTrack(0, 96, 0x66, 32);
    ASSERT_TRUE(Run({0x35, 2, 0, 0, 0, 0, 0, 0, 0, 0}).Good());
    ASSERT_TRUE(Close(1, 1).Good());
    ASSERT_TRUE(Close(1, 2).Good()); // the blank track after it: nothing to close
    ASSERT_TRUE(Close(2, 3).Good());
    EXPECT_EQ(Close(1, 9).Sense(), "05/24/00");
    const Answer disc = DiscInfo();
    EXPECT_EQ(disc.data[2] & 0x03, 1);
    EXPECT_EQ(disc.data[4], 2);
    EXPECT_EQ(TrackInfo(2).Be32(12), 96u + 4096u);
}

TEST_F(DvdTest, DvdMinusRPartlyWrittenReservationCannotBeClosedAsASession) {
    Media("dvdr");
    ASSERT_TRUE(Run({0x53, 0, 0, 0, 0, 0, 0, 0, 64, 0, 0, 0}).Good());
    WriteTrack(0, 32, 0x66, 32);
    EXPECT_EQ(Close(2, 0).Sense(), "05/72/04");
    EXPECT_EQ(Write(32, 64).Sense(), "05/63/00"); // beyond the reservation
}

TEST_F(DvdTest, DvdPlusRwIsWrittenAnywhereOnceFormatted) {
    Media("dvd+rw");
    EXPECT_EQ(DiscInfo().data[2] & 0x03, 0);
    EXPECT_EQ(Write(0, 32).Sense(), "05/30/10"); // not formatted
    EXPECT_EQ(Read(16, 1).Sense(), "05/30/10");
    ASSERT_TRUE(Format({0x00, 0x82, 0x00, 0x08, 0x00, 0x23, 0x05, 0x40, 0x98, 0, 0, 0}).Good());
    const Answer disc = DiscInfo();
    EXPECT_EQ(disc.data[2], 0x1E);        // erasable, complete
    EXPECT_EQ(disc.data[7] & 0x03, 0x03); // background format complete

    ASSERT_TRUE(Write(1000, 32, 0x77).Good());
    ASSERT_TRUE(Write(0, 32, 0x01).Good()); // the header again at the start
    ASSERT_TRUE(Write(0, 32, 0x02).Good());
    const Answer track = TrackInfo(1);
    EXPECT_EQ(track.Be32(12), 1040u); // after the highest block written, whole ECC blocks
    EXPECT_EQ(track.Be32(28), 1031u);
    Answer back = Read(0, 1);
    EXPECT_EQ(back.data[0], 0x02);
    back = Read(500, 1);
    ASSERT_TRUE(back.Good());
    EXPECT_EQ(back.data[0], 0x00);
    EXPECT_TRUE(Close(3, 0xFF).Good());
    EXPECT_EQ(Run({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8).Be32(0), 2295104u - 1);
    EXPECT_EQ(Write(2295104 - 16, 32).Sense(), "05/21/00");
}

TEST_F(DvdTest, DvdMinusRwQuickFormatTurnsItRestrictedOverwrite) {
    Media("dvdrw");
    EXPECT_EQ(Profile(), 0x0014);
    // Growing only works on a restricted-overwrite disc.
    EXPECT_EQ(Format({0x00, 0x82, 0x00, 0x08, 0, 0, 0, 0, 0x4C, 0, 0, 0x10}).Sense(), "05/26/00");
    ASSERT_TRUE(Format({0x00, 0xA2, 0x00, 0x08, 0, 0, 0x03, 0xE8, 0x54, 0, 0, 0x10}).Good());
    EXPECT_EQ(Profile(), 0x0013);
    const Answer ro = Run({0x46, 2, 0, 0x26, 0, 0, 0, 0, 16, 0}, 16);
    EXPECT_EQ(ro.data[10] & 1, 1); // restricted overwrite is current
    EXPECT_TRUE(Format({0x00, 0x82, 0x00, 0x08, 0, 0, 0, 0, 0x4C, 0, 0, 0x10}).Good());
    ASSERT_TRUE(Write(0, 32).Good());
    EXPECT_EQ(TrackInfo(1).Be32(12), 32u);
    ASSERT_TRUE(Close(2, 0, true).Good());

    // Blanking makes it sequential and empty again.
    ASSERT_TRUE(Run({0xA1, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).Good());
    EXPECT_EQ(Profile(), 0x0014);
    EXPECT_EQ(DiscInfo().data[2] & 0x03, 0);
}

TEST_F(DvdTest, WriteOnceMediaCannotBeFormattedOrBlanked) {
    for (const char* media : {"cdr", "dvdr", "dvd+r"}) {
        Media(media);
        EXPECT_EQ(Format({0x00, 0x82, 0x00, 0x08, 0, 0, 0, 0, 0x54, 0, 0, 0}).Sense(), "05/30/06")
            << media;
        EXPECT_EQ(Run({0xA1, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).Sense(), "05/30/00") << media;
    }
}

TEST_F(DvdTest, CdRwBlanksBackToAnEmptyDisc) {
    Media("cdrw");
    ASSERT_TRUE(Write(0, 27).Good());
    ASSERT_TRUE(SyncCache().Good());
    ASSERT_TRUE(Run({0xA1, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).Good());
    EXPECT_EQ(DiscInfo().data[2] & 0x03, 0);
    EXPECT_EQ(TrackInfo(1).Be32(12), 0u);
    EXPECT_EQ(Read(0, 1).Sense(), "05/21/00");
}

} // namespace
} // namespace larderly::vdrive::test
