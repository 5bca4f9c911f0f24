/* Recording CD sessions the way the burn engine does, with the lead-in and lead-out gaps of
 * real media between them, and reading the result back through the drive and with isoinfo. */
#include "DriveHarness.h"
#include "MiniIso.h"

#include <cstdio>

namespace larderly::vdrive::test {
namespace {

class SessionTest : public DriveTest {
protected:
    // One backup session as the engine writes it: TAO page without next session, the track
    // in 27-block writes, SYNCHRONIZE CACHE, the page again with next session allowed, then
    // CLOSE SESSION.
    void BurnSession(uint32_t nwa, const std::vector<uint8_t>& data) {
        ASSERT_TRUE(WriteParameters(0x41, 0x04).Good());
        for (size_t done = 0; done < data.size();) {
            const size_t n = std::min<size_t>(27 * 2048, data.size() - done);
            std::vector<uint8_t> piece(data.begin() + done, data.begin() + done + n);
            const Answer a = WriteData(nwa + static_cast<uint32_t>(done / 2048), piece);
            ASSERT_TRUE(a.Good()) << a.Sense();
            done += n;
        }
        ASSERT_TRUE(SyncCache().Good());
        ASSERT_TRUE(WriteParameters(0x41, 0xC4).Good());
        const Answer close = Close(2, 0, true);
        ASSERT_TRUE(close.Good()) << close.Sense();
    }

    uint32_t NextWritable() {
        const Answer disc = DiscInfo();
        const uint32_t sessions = disc.data[4];
        const uint32_t emptyLast = (disc.data[2] & 0x0C) == 0 ? 1 : 0;
        const Answer track = TrackInfo(sessions - emptyLast + 1);
        EXPECT_TRUE(track.Good()) << track.Sense();
        EXPECT_EQ(track.data[7] & 1, 1);
        return track.Be32(12);
    }

    static std::string Shell(const std::string& command) {
        std::string out;
        FILE* p = popen(command.c_str(), "r");
        if (p == nullptr) {
            return out;
        }
        char buffer[512];
        size_t n = 0;
        while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) {
            out.append(buffer, n);
        }
        pclose(p);
        return out;
    }
};

TEST_F(SessionTest, TwoSessionsLieAtTheGapsOfRealCdMedia) {
    // Session 1: 400 blocks at 0. The track ends with 2 run-out blocks, so its lead-out
    // starts at 402; session 2 begins 11400 blocks later.
    std::vector<uint8_t> one(400 * 2048, 0x11);
    ASSERT_EQ(NextWritable(), 0u);
    BurnSession(0, one);

    Answer disc = DiscInfo();
    EXPECT_EQ(disc.data[2] & 0x03, 1);        // appendable
    EXPECT_EQ((disc.data[2] >> 2) & 0x03, 0); // last session empty
    EXPECT_EQ(disc.data[4], 2);
    EXPECT_EQ(disc.data[5], 2);
    EXPECT_EQ(disc.data[6], 2);
    // Lead-in of session 2: 6750 blocks after the lead-out = LBA 7152 = 01:37:27.
    EXPECT_EQ(disc.Be32(16), 0x00012519u + 0x00000002u);
    const uint32_t second = NextWritable();
    EXPECT_EQ(second, 402u + 11400u);

    const Answer track1 = TrackInfo(1);
    EXPECT_EQ(track1.Be32(8), 0u);
    EXPECT_EQ(track1.Be32(24), 402u); // size with run-out
    EXPECT_EQ(track1.Be32(28), 399u); // last recorded address
    EXPECT_EQ(track1.data[7] & 1, 0); // complete: no next writable address

    // Session 2: a short track, padded by the drive to 300 blocks + run-out.
    std::vector<uint8_t> two(30 * 2048, 0x22);
    BurnSession(second, two);
    const uint32_t third = NextWritable();
    EXPECT_EQ(third, second + 302 + 6900);

    disc = DiscInfo();
    EXPECT_EQ(disc.data[4], 3);

    // Table of contents: both tracks and the lead-out of the last session, in LBA and MSF.
    const Answer toc = Run({0x43, 0, 0, 0, 0, 0, 1, 0, 255, 0}, 255);
    ASSERT_TRUE(toc.Good());
    EXPECT_EQ(toc.Be16(0), 2u + 3 * 8);
    EXPECT_EQ(toc.data[2], 1);
    EXPECT_EQ(toc.data[3], 2);
    EXPECT_EQ(toc.data[5], 0x14);
    EXPECT_EQ(toc.Be32(8), 0u);
    EXPECT_EQ(toc.data[14], 2);
    EXPECT_EQ(toc.Be32(16), second);
    EXPECT_EQ(toc.data[22], 0xAA);
    EXPECT_EQ(toc.Be32(24), second + 302);
    const Answer tocMsf = Run({0x43, 2, 0, 0, 0, 0, 2, 0, 255, 0}, 255);
    ASSERT_TRUE(tocMsf.Good());
    EXPECT_EQ(tocMsf.data[6], 2); // starts at track 2
    const uint32_t f = second + 150;
    EXPECT_EQ(tocMsf.Be32(8), (f / 4500) << 16 | (f / 75 % 60) << 8 | f % 75);

    const Answer sessions = Run({0x43, 0, 1, 0, 0, 0, 0, 0, 12, 0}, 12);
    ASSERT_TRUE(sessions.Good());
    EXPECT_EQ(sessions.data[3], 2); // last complete session
    EXPECT_EQ(sessions.data[6], 2); // its first track
    EXPECT_EQ(sessions.Be32(8), second);

    const Answer capacity = Run({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8);
    EXPECT_EQ(capacity.Be32(0), second + 302 - 1);

    // Reading back: data, padding (zeros), run-out and the gap between sessions.
    Answer back = Read(399, 1);
    ASSERT_TRUE(back.Good());
    EXPECT_EQ(back.data[0], 0x11);
    back = Read(second + 29, 2);
    ASSERT_TRUE(back.Good());
    EXPECT_EQ(back.data[0], 0x22);
    EXPECT_EQ(back.data[2048], 0x00);
    EXPECT_EQ(Read(400, 1).Sense(), "05/64/00");
    EXPECT_EQ(Read(5000, 1).Sense(), "05/21/00");
}

TEST_F(SessionTest, EachSessionReadsAsItsOwnIsoVolume) {
    if (Shell("command -v isoinfo").empty()) {
        GTEST_SKIP() << "isoinfo not installed";
    }
    BurnSession(0, MiniIso::Build(0, "FIRST", "A.TXT", "first backup\n"));
    const uint32_t second = NextWritable();
    BurnSession(second, MiniIso::Build(second, "SECOND", "B.TXT", "second backup\n"));

    EXPECT_EQ(Shell("isoinfo -T 0 -i " + image_ + " -x '/A.TXT;1'"), "first backup\n");
    EXPECT_EQ(Shell("isoinfo -T " + std::to_string(second) + " -i " + image_ + " -x '/B.TXT;1'"),
              "second backup\n");
    EXPECT_NE(Shell("isoinfo -T " + std::to_string(second) + " -i " + image_ + " -d")
                  .find("Volume id: SECOND"),
              std::string::npos);
}

TEST_F(SessionTest, WritesOutsideTheNextWritableAddressAreRefused) {
    ASSERT_TRUE(WriteParameters(0x41, 0x04).Good());
    EXPECT_EQ(Write(16, 1).Sense(), "05/21/02"); // a blank disc starts at 0
    ASSERT_TRUE(Write(0, 10).Good());
    EXPECT_EQ(Write(0, 1).Sense(), "05/21/02");  // no rewriting on CD-R
    EXPECT_EQ(Write(11, 1).Sense(), "05/21/02"); // no holes
    // Closing the session with the track still open is a fixation error on CD.
    EXPECT_EQ(Close(2, 0).Sense(), "05/72/03");
    const Answer track = TrackInfo(1);
    EXPECT_EQ(track.data[6] & 0x20, 0x20); // incomplete
    EXPECT_EQ(track.Be32(12), 10u);
    ASSERT_TRUE(SyncCache().Good());
    EXPECT_EQ(TrackInfo(1).data[7] & 1, 0);        // the TAO track is complete now
    EXPECT_EQ(TrackInfo(2).Be32(12), 302u + 150u); // a later track after its pregap
}

TEST_F(SessionTest, TheLastSessionMustFitBeforeTheLeadOut) {
    Capacity("700");
    ASSERT_TRUE(WriteParameters(0x41, 0x04).Good());
    EXPECT_TRUE(Write(0, 690).Good());
    EXPECT_EQ(Write(690, 9).Sense(), "05/63/00"); // would leave no room for the run-out
    EXPECT_TRUE(Write(690, 8).Good());
    EXPECT_EQ(TrackInfo(1).Be32(16), 0u);
}

TEST_F(SessionTest, ClosingWithoutNextSessionFinalizesTheDisc) {
    BurnSession(0, std::vector<uint8_t>(300 * 2048, 1));
    ASSERT_TRUE(WriteParameters(0x41, 0x04).Good()); // next session not allowed
    ASSERT_TRUE(Write(NextWritable(), 300).Good());
    ASSERT_TRUE(SyncCache().Good());
    ASSERT_TRUE(Close(2, 0).Good());
    const Answer disc = DiscInfo();
    EXPECT_EQ(disc.data[2] & 0x0F, 0x0E); // complete disc, complete last session
    EXPECT_EQ(disc.data[4], 2);
    EXPECT_EQ(disc.Be32(16), 0xFFFFFFFFu);
    EXPECT_EQ(Write(302 + 11400 + 302 + 6900, 1).Sense(), "05/21/02");
    EXPECT_EQ(TrackInfo(3).Sense(), "05/24/00"); // no invisible track any more
}

TEST_F(SessionTest, TestWriteRecordsNothing) {
    ASSERT_TRUE(WriteParameters(0x51, 0x04).Good()); // test write bit
    ASSERT_TRUE(Write(0, 27).Good());
    ASSERT_TRUE(Write(27, 27).Good());
    EXPECT_EQ(Write(100, 1).Sense(), "05/21/02");
    ASSERT_TRUE(SyncCache().Good());
    ASSERT_TRUE(WriteParameters(0x41, 0xC4).Good());
    EXPECT_EQ(DiscInfo().data[2] & 0x03, 0); // still blank
    EXPECT_EQ(TrackInfo(1).Be32(12), 0u);
    EXPECT_EQ(Read(0, 1).Sense(), "05/21/00");
}

TEST_F(SessionTest, ReservedTrackIsWrittenInsideItsReservation) {
    ASSERT_TRUE(WriteParameters(0x41, 0x04).Good());
    ASSERT_TRUE(Run({0x53, 0, 0, 0, 0, 0, 0, 0x01, 0x90, 0, 0, 0}).Good()); // 400 blocks
    Answer track = TrackInfo(1);
    EXPECT_EQ(track.data[6] & 0xC0, 0xC0); // reserved, empty
    EXPECT_EQ(track.Be32(24), 402u);
    EXPECT_EQ(TrackInfo(2).Be32(8), 402u + 150u); // the invisible track follows
    ASSERT_TRUE(Write(0, 400).Good());
    EXPECT_EQ(Write(400, 1).Sense(), "05/21/02"); // full
    ASSERT_TRUE(Close(1, 1).Good());
    ASSERT_TRUE(WriteParameters(0x41, 0xC4).Good());
    ASSERT_TRUE(Close(2, 0).Good());
    EXPECT_EQ(NextWritable(), 402u + 11400u);
}

} // namespace
} // namespace larderly::vdrive::test
