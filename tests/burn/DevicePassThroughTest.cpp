// The pass-through emulation "PTASPI32" over a stand-in kernel: the scan with its SCSI
// addresses, the emulated adapter, device type and execute requests, and the fall-back of
// InitTransport to it.
#include "burn/PassThrough.h"
#include "burn/ScsiDevice.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>

using namespace larderly;

namespace {

// Three drives: sr0 answers SCSI_IOCTL_GET_IDLUN, sr1 has only its sysfs folder, sr2 neither.
struct FakeKernel : PassThroughSystem {
    struct Call {
        int fd;
        std::vector<uint8_t> cdb;
        int direction;
        unsigned timeout;
        unsigned length;
    };
    std::vector<std::string> devices = {"/dev/sr0", "/dev/sr1", "/dev/sr2"};
    std::map<int, std::string> open;
    std::vector<Call>* calls;
    int* opens;
    bool failCommand = false;
    int idlunHost = 1;                          // sr0's SCSI host
    std::string sr1Folder = "../../../2:0:3:0"; // sr1's sysfs device folder
    int refuse = 0;                // errno of an SG_IO call the kernel refuses (not INQUIRY)
    int refuseOpen = 0;            // errno of an open that fails
    unsigned short hostStatus = 0; // host and driver statuses of a delivered request
    unsigned char driverStatus = 0;
    explicit FakeKernel(std::vector<Call>* c, int* o) : calls(c), opens(o) {}

    std::vector<std::string> CdDevices() override { return devices; }
    int Open(const std::string& path, int flags) override {
        ++*opens;
        if (refuseOpen) {
            errno = refuseOpen;
            return -1;
        }
        if ((flags & O_ACCMODE) == O_RDWR && path == "/dev/sr2") return -1; // read-only drive
        int fd = 10 + static_cast<int>(path.back() - '0');
        open[fd] = path;
        return fd;
    }
    int Close(int fd) override { return open.erase(fd) ? 0 : -1; }
    std::string ReadLink(const std::string& path) override {
        return path == "/sys/class/block/sr1/device" ? sr1Folder : "";
    }
    int Ioctl(int fd, unsigned long request, void* arg) override {
        if (!open.count(fd)) return -1;
        if (request == SCSI_IOCTL_GET_IDLUN) {
            if (fd != 10) return -1;
            auto* idlun = static_cast<int*>(arg);
            idlun[0] = (idlunHost << 24) | (0 << 16) | (0 << 8) | 4; // target 4, lun 0
            return 0;
        }
        if (request != SG_IO) return -1;
        auto* h = static_cast<sg_io_hdr_t*>(arg);
        calls->push_back({fd, std::vector<uint8_t>(h->cmdp, h->cmdp + h->cmd_len),
                          h->dxfer_direction, h->timeout, h->dxfer_len});
        if (h->cmdp[0] == 0x12) {
            auto* d = static_cast<uint8_t*>(h->dxferp);
            std::memset(d, 0, h->dxfer_len);
            d[0] = 5;
            std::memcpy(d + 8, "KERNEL  DRIVE SR", 16);
            d[24] = static_cast<uint8_t>(open[fd].back());
            return 0;
        }
        if (refuse) {
            errno = refuse;
            return -1;
        }
        if (hostStatus || driverStatus) {
            h->status = 0;
            h->host_status = hostStatus;
            h->driver_status = driverStatus;
            return 0;
        }
        if (failCommand) {
            h->status = 2;
            h->sb_len_wr = 18;
            h->sbp[0] = 0x70;
            h->sbp[2] = 3;
            h->sbp[7] = 10;
            h->sbp[12] = 0x0C;
            return 0;
        }
        h->status = 0;
        return 0;
    }
};

class PassThroughTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto k = std::make_unique<FakeKernel>(&calls, &opens);
        kernel = k.get();
        pt = std::make_unique<PassThroughTransport>(std::move(k));
    }
    std::vector<FakeKernel::Call> calls;
    int opens = 0;
    FakeKernel* kernel;
    std::unique_ptr<PassThroughTransport> pt;
};

TEST_F(PassThroughTest, ScanFindsAddressesAndAnExtraAdapter) {
    ASSERT_EQ(pt->Scan(), 3);
    EXPECT_EQ(pt->Scan(), 3) << "a second scan returns at once";
    EXPECT_EQ(calls.size(), 3u) << "one INQUIRY per drive, once";
    EXPECT_EQ(calls[0].cdb, (std::vector<uint8_t>{0x12, 0, 0, 0, 0x60, 0}));
    EXPECT_EQ(calls[0].timeout, 120000u);
    EXPECT_EQ(calls[0].length, 96u);
    struct Want {
        uint8_t adapter, target, lun;
    } want[] = {{0, 4, 0}, {1, 3, 0}, {2, 0, 0}};
    for (int i = 0; i < 3; ++i) {
        const auto& e = pt->TableEntry(i);
        EXPECT_TRUE(e.present);
        EXPECT_EQ(e.adapter, want[i].adapter) << i;
        EXPECT_EQ(e.target, want[i].target) << i;
        EXPECT_EQ(e.lun, want[i].lun) << i;
    }
    EXPECT_EQ(pt->AdapterCount(), 3);
    EXPECT_EQ(pt->GetSupportInfo(), 0x103u);
    EXPECT_TRUE(kernel->open.empty()) << "every handle closed after the scan";
}

TEST_F(PassThroughTest, EmulatedAdapterAndDeviceType) {
    pt->Scan();
    SRB_HAInquiry q{};
    q.SRB_Cmd = SC_HA_INQUIRY;
    q.SRB_HaId = 2;
    EXPECT_EQ(pt->SendCommand(&q), SS_COMP);
    EXPECT_EQ(q.HA_Count, 3);
    EXPECT_EQ(q.HA_SCSI_ID, 7);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(q.HA_Identifier)), "SPTI 2");
    q.SRB_HaId = 3;
    EXPECT_EQ(pt->SendCommand(&q), SS_INVALID_HA);

    SRB_GDEVBlock g{};
    g.SRB_Cmd = SC_GET_DEV_TYPE;
    g.SRB_HaId = 1;
    g.SRB_Target = 3;
    EXPECT_EQ(pt->SendCommand(&g), SS_COMP);
    EXPECT_EQ(g.SRB_DeviceType, 5);
    g.SRB_Target = 4;
    EXPECT_EQ(pt->SendCommand(&g), SS_NO_DEVICE);
    EXPECT_EQ(g.SRB_DeviceType, 0x1F);

    SRB_Header other{};
    other.SRB_Cmd = SC_GET_DISK_INFO;
    EXPECT_EQ(pt->SendCommand(&other), SS_ERR);
    EXPECT_EQ(other.SRB_Status, 0);
    EXPECT_EQ(pt->SendCommand(nullptr), SS_ERR);
}

TEST_F(PassThroughTest, InquiryComesFromTheScan) {
    pt->Scan();
    calls.clear();
    uint8_t data[128] = {};
    SRB_ExecSCSICmd srb{};
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = 1;
    srb.SRB_Target = 3;
    srb.SRB_BufPointer = data;
    srb.SRB_BufLen = sizeof data;
    srb.CDBByte[0] = 0x12;
    EXPECT_EQ(pt->SendCommand(&srb), SS_COMP);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 8), 17), "KERNEL  DRIVE SR1");
    EXPECT_EQ(data[36], 0) << "36 bytes copied";
}

TEST_F(PassThroughTest, CommandsGoThroughSgIo) {
    pt->Scan();
    calls.clear();
    opens = 0;
    uint8_t data[64] = {};
    SRB_ExecSCSICmd srb{};
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = 0;
    srb.SRB_Target = 4;
    srb.SRB_Flags = 0x50;
    srb.SRB_CDBLen = 10;
    srb.SRB_SenseLen = 24;
    srb.SRB_BufPointer = data;
    srb.SRB_BufLen = sizeof data;
    srb.CDBByte[0] = 0x2A;
    srb.CDBByte[5] = 7;
    EXPECT_EQ(pt->SendCommand(&srb), SS_COMP);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].cdb, (std::vector<uint8_t>{0x2A, 0, 0, 0, 0, 7, 0, 0, 0, 0}));
    EXPECT_EQ(calls[0].direction, SG_DXFER_TO_DEV);
    EXPECT_EQ(calls[0].length, 64u);
    EXPECT_TRUE(kernel->open.empty()) << "closed after the command";

    pt->SetCloseAfterCommand(false);
    srb.SRB_Flags = 0x48;
    kernel->failCommand = true;
    EXPECT_EQ(pt->SendCommand(&srb), SS_ERR);
    EXPECT_EQ(calls.back().direction, SG_DXFER_FROM_DEV);
    EXPECT_EQ(srb.SRB_TargStat, 2);
    EXPECT_EQ(srb.SenseArea[2], 3);
    EXPECT_EQ(srb.SenseArea[12], 0x0C);
    EXPECT_EQ(kernel->open.size(), 1u) << "the handle stays open";
    int before = opens;
    kernel->failCommand = false;
    EXPECT_EQ(pt->SendCommand(&srb), SS_COMP);
    EXPECT_EQ(opens, before) << "the open handle is reused";

    srb.SRB_HaId = 1;
    EXPECT_EQ(pt->SendCommand(&srb), SS_NO_DEVICE);
}

// A call the kernel refuses, and every host or driver status of a delivered request, is a
// host adapter failure that names its cause: none reads as a check condition without sense,
// which the writer would retry. The next command that gets through is clean again.
TEST_F(PassThroughTest, FailedDeliveriesFailAtTheHostAdapterAndNameTheCause) {
    InstallTransport(nullptr);
    std::vector<FakeKernel::Call> c;
    int o = 0;
    FakeKernel* k = nullptr;
    SetPassThroughSystemFactory([&] {
        auto made = std::make_unique<FakeKernel>(&c, &o);
        k = made.get();
        return made;
    });
    TSCSIDevice dev;
    ASSERT_TRUE(dev.InitTransport(true, ""));
    dev.SelectDevice(dev.DeviceList()[0]);
    ASSERT_NE(dev.Adapter(), TSCSIDevice::kNone);
    struct Case {
        int ioctlErrno;       // SG_IO refused with this errno
        int openErrno;        // the device cannot be opened
        unsigned short host;  // delivered with this host status
        unsigned char driver; // and this driver status
        uint8_t haStat;
        const char* text;
    } cases[] = {
        {EPERM, 0, 0, 0, 0x1A, "UNKNOWN (OPERATION NOT PERMITTED)"},
        {ENODEV, 0, 0, 0, HASTAT_SEL_TO, "SELECTION TIMEOUT (NO SUCH DEVICE)"},
        {0, ENXIO, 0, 0, HASTAT_SEL_TO, "SELECTION TIMEOUT (NO SUCH DEVICE OR ADDRESS)"},
        {0, EACCES, 0, 0, 0x1A, "UNKNOWN (PERMISSION DENIED)"},
        {0, 0, 0x05, 0, 0x1A, "UNKNOWN (HOST STATUS 05: ABORT)"},
        {0, 0, 0x07, 0, 0x1A, "UNKNOWN (HOST STATUS 07: ERROR)"},
        {0, 0, 0x0B, 0, 0x1A, "UNKNOWN (HOST STATUS 0B: SOFT ERROR)"},
        {0, 0, 0x0E, 0, 0x1A, "UNKNOWN (HOST STATUS 0E: TRANSPORT DISRUPTED)"},
        {0, 0, 0x0F, 0, 0x1A, "UNKNOWN (HOST STATUS 0F: FAILFAST)"},
        {0, 0, 0x2A, 0, 0x1A, "UNKNOWN (HOST STATUS 2A: UNKNOWN)"},
        {0, 0, 0x03, 0, HASTAT_TIMEOUT, "COMMAND TIMEOUT"},
        {0, 0, 0x08, 0x08, HASTAT_BUS_RESET, "BUS RESET"},
        {0, 0, 0, 0x04, 0x1A, "UNKNOWN (DRIVER STATUS 04: ERROR)"},
        {0, 0, 0, 0x26, 0x1A, "UNKNOWN (DRIVER STATUS 26: TIMEOUT)"},
        {0, 0, 0, 0x10, 0x1A, "UNKNOWN (DRIVER STATUS 10: OK)"},
    };
    for (const Case& cs : cases) {
        SCOPED_TRACE(cs.text);
        k->refuse = cs.ioctlErrno;
        k->refuseOpen = cs.openErrno;
        k->hostStatus = cs.host;
        k->driverStatus = cs.driver;
        EXPECT_FALSE(dev.TestUnitReady(5000));
        EXPECT_EQ(dev.LastHostAdapterStatus(), cs.haStat);
        EXPECT_EQ(dev.LastError(), cs.text);
        EXPECT_EQ(dev.LastAsc(), 0);
        k->refuse = k->refuseOpen = 0;
        k->hostStatus = 0;
        k->driverStatus = 0;
        EXPECT_TRUE(dev.TestUnitReady(5000));
        EXPECT_EQ(dev.LastError(), "");
    }
    // Sense data alone (the driver's "sense valid" bit) is no failure.
    k->driverStatus = 0x08;
    EXPECT_TRUE(dev.TestUnitReady(5000));
    InstallTransport(nullptr);
    SetPassThroughSystemFactory(nullptr);
}

TEST_F(PassThroughTest, InitTransportFallsBackToTheEmulation) {
    InstallTransport(nullptr);
    std::vector<FakeKernel::Call> c;
    int o = 0;
    SetPassThroughSystemFactory([&] { return std::make_unique<FakeKernel>(&c, &o); });
    TSCSIDevice dev;
    EXPECT_FALSE(dev.ASPIInitialized());
    ASSERT_TRUE(dev.InitTransport(false, "/nonexistent/libwnaspi32.so"));
    EXPECT_EQ(TSCSIDevice::TransportName(), "PTASPI32");
    ASSERT_EQ(dev.DeviceList().size(), 3u);
    EXPECT_EQ(dev.DeviceList()[0], "0:4:0,?: KERNEL  DRIVE SR0" + std::string(11, ' '))
        << "NULs show as blanks";
    EXPECT_EQ(dev.DeviceList()[2], "2:0:0,?: KERNEL  DRIVE SR2" + std::string(11, ' '));
    InstallTransport(nullptr);
    SetPassThroughSystemFactory(nullptr);
}

TEST(DevicePassThrough, HostsOf10AndMoreGetOneDigitAdapters) {
    InstallTransport(nullptr);
    std::vector<FakeKernel::Call> c;
    int o = 0;
    FakeKernel* k = nullptr;
    SetPassThroughSystemFactory([&] {
        auto made = std::make_unique<FakeKernel>(&c, &o);
        made->idlunHost = 12; // a USB writer
        made->sr1Folder = "../../../host3/target3:0:3/3:0:3:0";
        k = made.get();
        return made;
    });
    TSCSIDevice dev;
    ASSERT_TRUE(dev.InitTransport(true, ""));
    // Host 3 comes before host 12; the drive without an address is on the adapter after them.
    ASSERT_EQ(dev.DeviceList().size(), 3u);
    EXPECT_EQ(dev.DeviceList()[0].substr(0, 26), "0:3:0,?: KERNEL  DRIVE SR1");
    EXPECT_EQ(dev.DeviceList()[1].substr(0, 26), "1:4:0,?: KERNEL  DRIVE SR0");
    EXPECT_EQ(dev.DeviceList()[2].substr(0, 26), "2:0:0,?: KERNEL  DRIVE SR2");
    dev.SelectDevice(dev.DeviceList()[1]);
    ASSERT_EQ(dev.Adapter(), 1);
    EXPECT_EQ(dev.DeviceDescription().substr(0, 18), "KERNEL   DRIVE SR0");
    c.clear();
    EXPECT_TRUE(dev.TestUnitReady(5000));
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(k->open.size(), 0u);
    EXPECT_EQ(c[0].fd, 10) << "sent to /dev/sr0";
    InstallTransport(nullptr);
    SetPassThroughSystemFactory(nullptr);
}

TEST(DeviceLibrary, LibraryWithoutEntryPointsFailsTheInitialisation) {
    InstallTransport(nullptr);
    std::vector<FakeKernel::Call> c;
    int o = 0;
    SetPassThroughSystemFactory([&] { return std::make_unique<FakeKernel>(&c, &o); });
    struct Case {
        const char* argument; // the path given to InitTransport
        const char* variable; // LARDERLY_ASPI_LIBRARY
    } cases[] = {{"libm.so.6", nullptr}, {"", "libm.so.6"}};
    for (const Case& cs : cases) {
        SCOPED_TRACE(cs.argument);
        if (cs.variable) setenv("LARDERLY_ASPI_LIBRARY", cs.variable, 1);
        TSCSIDevice dev;
        std::vector<std::pair<std::string, uint8_t>> lines;
        dev.OnDebugMessage = [&](TSCSIDevice*, const std::string& m, uint8_t t) {
            lines.emplace_back(m, t);
        };
        EXPECT_FALSE(dev.InitTransport(false, cs.argument));
        EXPECT_FALSE(dev.ASPIInitialized()) << "no fall-back to the pass-through";
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].first,
                  ">>> NO ENTRY POINT IN DRIVE LIBRARY libm.so.6: GetASPI32SupportInfo");
        EXPECT_EQ(lines[0].second, 0);
        unsetenv("LARDERLY_ASPI_LIBRARY");
    }
    SetPassThroughSystemFactory(nullptr);
}

TEST(DeviceLibrary, LibraryWithoutEntryPointsIsNotUsed) {
    EXPECT_EQ(LoadAspiLibrary("/nonexistent/libwnaspi32.so"), nullptr);
    EXPECT_EQ(LoadAspiLibrary("libm.so.6"), nullptr);
}

} // namespace
