/* The request-block side of the library: adapters, device types, addressing, completion
 * events, aborts and blocks it must refuse. */
#include "DriveHarness.h"

#include <thread>

namespace larderly::vdrive::test {
namespace {

TEST(VirtualDriveNoImage, ReportsNoAdaptersAndNoDrive) {
    unsetenv("LARDERLY_VDRIVE_IMAGE");
    Library lib;
    EXPECT_EQ(lib.SupportInfo(), static_cast<uint32_t>(SS_NO_ADAPTERS) << 8);
    SRB_HAInquiry ha{};
    ha.SRB_Cmd = SC_HA_INQUIRY;
    EXPECT_EQ(lib.Send(&ha), SS_INVALID_HA);
    SRB_ExecSCSICmd exec{};
    exec.SRB_Cmd = SC_EXEC_SCSI_CMD;
    exec.SRB_CDBLen = 6;
    EXPECT_EQ(lib.Send(&exec), SS_INVALID_HA);
    EXPECT_EQ(lib.Send(nullptr), SS_INVALID_SRB);
}

using AdapterTest = DriveTest;

TEST_F(AdapterTest, OneAdapterWithOneWriterAtTargetZero) {
    EXPECT_EQ(lib_->SupportInfo(), static_cast<uint32_t>(SS_COMP) << 8 | 1);

    SRB_HAInquiry ha{};
    ha.SRB_Cmd = SC_HA_INQUIRY;
    ASSERT_EQ(lib_->Send(&ha), SS_COMP);
    EXPECT_EQ(ha.SRB_Status, SS_COMP);
    EXPECT_EQ(ha.HA_Count, 1);
    EXPECT_EQ(ha.HA_SCSI_ID, 7);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(ha.HA_Identifier), 7), "VIRTUAL");
    EXPECT_EQ(ha.HA_Unique[3], 8); // targets
    ha.SRB_HaId = 1;
    EXPECT_EQ(lib_->Send(&ha), SS_INVALID_HA);

    struct Case {
        uint8_t adapter, target, lun, status, type;
    };
    for (const Case& c : {Case{0, 0, 0, SS_COMP, 5}, Case{0, 1, 0, SS_NO_DEVICE, 0x1F},
                          Case{0, 0, 1, SS_NO_DEVICE, 0x1F}, Case{1, 0, 0, SS_INVALID_HA, 0xEE}}) {
        SRB_GDEVBlock dev{};
        dev.SRB_Cmd = SC_GET_DEV_TYPE;
        dev.SRB_HaId = c.adapter;
        dev.SRB_Target = c.target;
        dev.SRB_Lun = c.lun;
        dev.SRB_DeviceType = 0xEE;
        EXPECT_EQ(lib_->Send(&dev), c.status) << int(c.target) << ":" << int(c.lun);
        EXPECT_EQ(dev.SRB_DeviceType, c.type);
    }
}

TEST_F(AdapterTest, OtherTargetsAndLunsDoNotAnswerAsDrives) {
    // Target 1: selection timeout, as on a bus where nobody answers.
    SRB_ExecSCSICmd srb{};
    uint8_t inquiry[128] = {};
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_Target = 1;
    srb.SRB_Flags = SRB_DIR_IN;
    srb.SRB_BufLen = sizeof inquiry;
    srb.SRB_BufPointer = inquiry;
    srb.SRB_SenseLen = 24;
    srb.SRB_CDBLen = 6;
    srb.CDBByte[0] = 0x12;
    srb.CDBByte[4] = 128;
    EXPECT_EQ(lib_->Send(&srb), SS_ERR);
    EXPECT_EQ(srb.SRB_HaStat, HASTAT_SEL_TO);

    // LUN 1: INQUIRY reports no device there (peripheral qualifier 3, type 1Fh).
    srb.SRB_Target = 0;
    srb.SRB_Lun = 1;
    EXPECT_EQ(lib_->Send(&srb), SS_COMP);
    EXPECT_EQ(inquiry[0], 0x7F);
    srb.CDBByte[0] = 0x00;
    EXPECT_EQ(lib_->Send(&srb), SS_ERR);
    EXPECT_EQ(srb.SRB_TargStat, STATUS_CHKCOND);
    EXPECT_EQ(srb.SenseArea[12], 0x25); // LOGICAL UNIT NOT SUPPORTED
}

TEST_F(AdapterTest, CompletionEventIsSignalledOnceAfterTheStatusIsSet) {
    CountingEvent event;
    const Answer good = Run({0x00, 0, 0, 0, 0, 0}, 0, {}, &event);
    EXPECT_TRUE(good.Good());
    EXPECT_EQ(event.count, 1);
    const Answer bad = Run({0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, {}, &event);
    EXPECT_EQ(bad.status, SS_ERR);
    EXPECT_EQ(event.count, 2);
}

TEST_F(AdapterTest, AbortOfARequestThatIsNotPendingFails) {
    SRB_ExecSCSICmd done{};
    SRB_Abort abort{};
    abort.SRB_Cmd = SC_ABORT_SRB;
    abort.SRB_ToAbort = &done;
    EXPECT_EQ(lib_->Send(&abort), SS_ABORT_FAIL);
}

TEST_F(AdapterTest, UnknownRequestCodesAndMalformedBlocksAreRefused) {
    SRB_Header header{};
    header.SRB_Cmd = 0x42;
    EXPECT_EQ(lib_->Send(&header), SS_INVALID_CMD);
    header.SRB_Cmd = SC_GET_DISK_INFO; // no drive letter here
    EXPECT_EQ(lib_->Send(&header), SS_INVALID_CMD);

    SRB_ExecSCSICmd srb{};
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_CDBLen = 0;
    EXPECT_EQ(lib_->Send(&srb), SS_INVALID_SRB);

    // A data-out command whose buffer is shorter than its CDB asks: data underrun, nothing
    // written.
    std::vector<uint8_t> half(1024, 1);
    std::vector<uint8_t> cdb{0x2A, 0, 0, 0, 0, 0, 0, 0, 1, 0};
    const Answer a = RunCdb(cdb, 0, half);
    EXPECT_EQ(a.status, SS_ERR);
    EXPECT_EQ(a.haStat, HASTAT_DO_DU);
    EXPECT_EQ(TrackInfo(1).Be32(12), 0u); // next writable address unchanged
}

TEST_F(AdapterTest, ConcurrentRequestsFromSeveralThreadsAllComplete) {
    std::vector<std::thread> threads;
    std::atomic<int> good{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                if (TestUnitReady().Good() && DiscInfo().Good()) {
                    ++good;
                }
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(good, 800);
}

} // namespace
} // namespace larderly::vdrive::test
