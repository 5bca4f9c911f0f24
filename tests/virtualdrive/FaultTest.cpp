/* Faults injected through LARDERLY_VDRIVE_FAULTS: busy target, long write in progress,
 * medium not present or becoming ready, write errors, a write that never completes. */
#include "DriveHarness.h"

#include <thread>

namespace larderly::vdrive::test {
namespace {

using FaultTest = DriveTest;

TEST_F(FaultTest, BusyTargetForTheFirstCommands) {
    Faults("busy=2");
    for (int i = 0; i < 2; ++i) {
        const Answer a = TestUnitReady();
        EXPECT_EQ(a.status, SS_ERR);
        EXPECT_EQ(a.haStat, HASTAT_OK);
        EXPECT_EQ(a.targStat, STATUS_BUSY);
        EXPECT_EQ(a.sense[0], 0); // no sense with BUSY
    }
    EXPECT_TRUE(TestUnitReady().Good());
}

TEST_F(FaultTest, BusyWritesAreRetriedAtTheSameAddress) {
    Faults("busy-write=3");
    EXPECT_TRUE(TestUnitReady().Good());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Write(0, 27).targStat, STATUS_BUSY);
    }
    EXPECT_EQ(TrackInfo(1).Be32(12), 0u); // nothing was recorded
    EXPECT_TRUE(Write(0, 27).Good());
}

TEST_F(FaultTest, NotReadyAndBecomingReady) {
    Faults("notready=2, becoming-ready=1");
    EXPECT_EQ(TestUnitReady().Sense(), "02/3A/00");
    EXPECT_EQ(TestUnitReady().Sense(), "02/3A/00");
    EXPECT_EQ(TestUnitReady().Sense(), "02/04/01");
    EXPECT_TRUE(TestUnitReady().Good());
    EXPECT_TRUE(DiscInfo().Good());
}

TEST_F(FaultTest, LongWriteInProgressAfterTheFirstWrite) {
    Faults("longwrite=3");
    EXPECT_TRUE(TestUnitReady().Good());
    ASSERT_TRUE(Write(0, 27).Good());
    // Every kind of poll counts: the next write, TEST UNIT READY, REQUEST SENSE.
    EXPECT_EQ(Write(27, 27).Sense(), "02/04/08");
    EXPECT_EQ(TestUnitReady().Sense(), "02/04/08");
    const Answer sense = Run({0x03, 0, 0, 0, 18, 0}, 18);
    EXPECT_TRUE(sense.Good());
    EXPECT_EQ(sense.data[2], 0x02);
    EXPECT_EQ(sense.data[12], 0x04);
    EXPECT_EQ(sense.data[13], 0x08);
    EXPECT_TRUE(Write(27, 27).Good());
    EXPECT_TRUE(TestUnitReady().Good());
}

TEST_F(FaultTest, LongWriteAfterEachFlushAndClose) {
    Faults("longsync=2");
    ASSERT_TRUE(WriteParameters(0x41, 0x04).Good());
    ASSERT_TRUE(Write(0, 27).Good());
    EXPECT_TRUE(TestUnitReady().Good());
    ASSERT_TRUE(Run({0x35, 2, 0, 0, 0, 0, 0, 0, 0, 0}).Good()); // immediate
    EXPECT_EQ(DiscInfo().Sense(), "02/04/08");
    EXPECT_EQ(Close(2, 0, true).Sense(), "02/04/08"); // the close is refused meanwhile
    ASSERT_TRUE(WriteParameters(0x41, 0xC4).Good());
    ASSERT_TRUE(Close(2, 0, true).Good());
    EXPECT_EQ(TestUnitReady().Sense(), "02/04/08");
    EXPECT_EQ(TestUnitReady().Sense(), "02/04/08");
    EXPECT_TRUE(TestUnitReady().Good());
    EXPECT_EQ(DiscInfo().data[4], 2);
}

TEST_F(FaultTest, MediumErrorAtOneBlock) {
    Faults("medium-error=40");
    ASSERT_TRUE(Write(0, 27).Good());
    EXPECT_EQ(Write(27, 27).Sense(), "03/0C/00");
    EXPECT_EQ(Write(27, 27).Sense(), "03/0C/00"); // the spot stays bad
    EXPECT_EQ(TrackInfo(1).Be32(12), 27u);
    EXPECT_TRUE(Write(27, 13).Good()); // up to the bad block
    EXPECT_EQ(Write(40, 1).Sense(), "03/0C/00");
}

TEST_F(FaultTest, HangingWriteStaysPendingUntilAborted) {
    Faults("hang-write=0x36");
    ASSERT_TRUE(Write(0, 27).Good());
    ASSERT_TRUE(Write(27, 27).Good());

    CountingEvent event;
    SRB_ExecSCSICmd srb{};
    std::vector<uint8_t> data(27 * 2048, 1);
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_Flags = SRB_DIR_OUT | SRB_EVENT_NOTIFY;
    srb.SRB_PostProc = &event;
    srb.SRB_BufLen = static_cast<uint32_t>(data.size());
    srb.SRB_BufPointer = data.data();
    srb.SRB_SenseLen = 24;
    srb.SRB_CDBLen = 10;
    const uint8_t cdb[10] = {0x2A, 0, 0, 0, 0, 54, 0, 0, 27, 0};
    std::memcpy(srb.CDBByte, cdb, sizeof cdb);
    EXPECT_EQ(lib_->Send(&srb), SS_PENDING);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(srb.SRB_Status, SS_PENDING);
    EXPECT_EQ(event.count, 0);

    // Other requests still get through while it hangs.
    EXPECT_TRUE(TestUnitReady().Good());
    EXPECT_EQ(TrackInfo(1).Be32(12), 54u);

    SRB_Abort abort{};
    abort.SRB_Cmd = SC_ABORT_SRB;
    abort.SRB_ToAbort = &srb;
    EXPECT_EQ(lib_->Send(&abort), SS_COMP);
    EXPECT_EQ(srb.SRB_Status, SS_ABORTED);
    EXPECT_EQ(event.count, 1);
    EXPECT_EQ(lib_->Send(&abort), SS_ABORT_FAIL); // nothing pending any more
    EXPECT_EQ(event.count, 1);
}

TEST_F(FaultTest, NoMediaInTheTray) {
    Faults("no-media");
    EXPECT_EQ(TestUnitReady().Sense(), "02/3A/00");
    EXPECT_EQ(DiscInfo().Sense(), "02/3A/00");
    EXPECT_EQ(Write(0, 1).Sense(), "02/3A/00");
    const Answer config = Run({0x46, 0, 0, 0, 0, 0, 0, 0, 8, 0}, 8);
    ASSERT_TRUE(config.Good());
    EXPECT_EQ(config.Be16(6), 0u);
    EXPECT_TRUE(Run({0x12, 0, 0, 0, 36, 0}, 36).Good());
    EXPECT_TRUE(Run({0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 128, 0}, 128).Good());
    const Answer sense = Run({0x03, 0, 0, 0, 18, 0}, 18);
    EXPECT_EQ(sense.data[12], 0x3A);
}

TEST_F(FaultTest, UnknownItemsAreIgnoredAndTheOthersStillApply) {
    Faults("frobnicate=3,busy=x,notready=1");
    EXPECT_EQ(TestUnitReady().Sense(), "02/3A/00");
    EXPECT_TRUE(TestUnitReady().Good());
}

} // namespace
} // namespace larderly::vdrive::test
