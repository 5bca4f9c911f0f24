/* The disc outlives the library: its state file beside the image is read again by the next
 * copy of the drive, and a damaged one is never taken for a blank disc. */
#include "DriveHarness.h"

namespace larderly::vdrive::test {
namespace {

using PersistenceTest = DriveTest;

TEST_F(PersistenceTest, ClosedSessionSurvivesUnloadingTheLibrary) {
    // The first command of each new drive is answered BUSY: that tells a reloaded library
    // from one that stayed in memory.
    Faults("busy=1");
    EXPECT_EQ(TestUnitReady().targStat, STATUS_BUSY);
    ASSERT_TRUE(WriteParameters(0x41, 0x04).Good());
    WriteTrack(0, 400, 0x5A);
    ASSERT_TRUE(SyncCache().Good());
    ASSERT_TRUE(WriteParameters(0x41, 0xC4).Good());
    ASSERT_TRUE(Close(2, 0).Good());
    EXPECT_NE(StateText().find("session 1 1 1 0 402"), std::string::npos) << StateText();

    Reload();
    EXPECT_EQ(TestUnitReady().targStat, STATUS_BUSY);
    const Answer disc = DiscInfo();
    ASSERT_TRUE(disc.Good());
    EXPECT_EQ(disc.data[2] & 0x03, 1);
    EXPECT_EQ(disc.data[4], 2);
    EXPECT_EQ(TrackInfo(2).Be32(12), 402u + 11400u);
    const Answer back = Read(399, 1);
    ASSERT_TRUE(back.Good());
    EXPECT_EQ(back.data[100], 0x5A);
}

TEST_F(PersistenceTest, TrackInProgressSurvivesToo) {
    ASSERT_TRUE(WriteParameters(0x41, 0x04).Good());
    WriteTrack(0, 54, 0x33);
    Reload();
    // A new drive starts with its default write parameters page: track at once again.
    const Answer track = TrackInfo(1);
    EXPECT_EQ(track.Be32(12), 54u);
    ASSERT_TRUE(Write(54, 27).Good());
    ASSERT_TRUE(SyncCache().Good());
    EXPECT_EQ(TrackInfo(1).Be32(24), 302u);
}

TEST_F(PersistenceTest, StoredDiscWinsOverTheMediaSetting) {
    Media("cdrw");
    ASSERT_TRUE(Write(0, 27).Good());
    Media("dvd+r");
    Reload();
    EXPECT_EQ(Run({0x46, 0, 0, 0, 0, 0, 0, 0, 8, 0}, 8).Be16(6), 0x000Au);
}

TEST_F(PersistenceTest, DamagedStateMakesTheDiscUnreadableAndIsKept) {
    ASSERT_TRUE(Write(0, 27).Good());
    lib_.reset(); // let go of the drive before the file is spoiled
    {
        std::ofstream out(image_ + ".state", std::ios::trunc);
        out << "larderly-virtual-disc 1\nmedia cdr\ncapacity 359849\ntrack 1 1 zero\n";
    }
    const std::string damaged = StateText();
    lib_ = std::make_unique<Library>();
    EXPECT_EQ(TestUnitReady().Sense(), "03/30/01");
    EXPECT_EQ(Write(0, 27).Sense(), "03/30/01");
    EXPECT_EQ(Run({0x46, 0, 0, 0, 0, 0, 0, 0, 8, 0}, 8).Be16(6), 0u);
    EXPECT_TRUE(Run({0x12, 0, 0, 0, 36, 0}, 36).Good()); // the drive itself still answers
    lib_.reset();
    EXPECT_EQ(StateText(), damaged);
}

TEST_F(PersistenceTest, DamagedStatesOfManyKindsAreRefused) {
    const char* texts[] = {
        "",
        "something else\n",
        "larderly-virtual-disc 1\nmedia floppy\ncapacity 100\n",
        "larderly-virtual-disc 1\nmedia cdr\n",                                      // no capacity
        "larderly-virtual-disc 1\nmedia cdr\ncapacity 1000\ntrack 2 1 0 10 0 0 0\n", // numbering
        "larderly-virtual-disc 1\nmedia cdr\ncapacity 1000\ntrack 1 1 900 200 0 0 0\n", // outside
        "larderly-virtual-disc 1\nmedia cdr\ncapacity 1000\nsession 1 1 1 0 302\n",     // no track
        "larderly-virtual-disc 1\nmedia cdr\ncapacity 1000\nwhatever 1\n",
        // A closed session naming a track of the open one, or an incomplete track.
        "larderly-virtual-disc 1\nmedia cdr\ncapacity 1000\ntrack 1 2 0 10 0 0 0\n"
        "session 1 1 1 0 302\n",
        "larderly-virtual-disc 1\nmedia cdr\ncapacity 1000\ntrack 1 1 0 10 0 0 0\n"
        "session 1 1 1 0 0\n",
        // Finalized with a session still open; tracks on a DVD+RW.
        "larderly-virtual-disc 1\nmedia cdr\ncapacity 1000\nfinalized 1\n"
        "track 1 1 0 10 302 1 0\nsession 1 1 1 0 302\ntrack 2 2 452 10 0 0 0\n",
        "larderly-virtual-disc 1\nmedia dvd+rw\ncapacity 1000\ntrack 1 1 0 10 16 1 0\n",
    };
    for (const char* text : texts) {
        lib_.reset();
        {
            std::ofstream out(image_ + ".state", std::ios::trunc);
            out << text;
        }
        lib_ = std::make_unique<Library>();
        EXPECT_EQ(TestUnitReady().Sense(), "03/30/01") << text;
    }
}

TEST_F(PersistenceTest, WriteFailsWhenTheDiscCannotBeRecorded) {
    // The state file cannot be replaced: a write that could not be recorded must not be
    // reported as done, or the next run would take the disc for blank and write over it.
    std::filesystem::create_directory(image_ + ".state.tmp");
    ASSERT_TRUE(WriteParameters(0x41, 0x04).Good());
    EXPECT_EQ(Write(0, 27).Sense(), "03/0C/00");
    std::filesystem::remove(image_ + ".state.tmp");
    ASSERT_TRUE(Write(27, 27).Good());
    ASSERT_TRUE(SyncCache().Good());
    Reload();
    EXPECT_EQ(TrackInfo(1).Be32(28), 53u);
}

} // namespace
} // namespace larderly::vdrive::test
