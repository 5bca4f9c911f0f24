// TSCSIDevice over a scripted drive: enumeration lines, selection and quirks, request
// execution with its failure texts, busy flag, timeouts and failure lines.
#include "DeviceFakeDrive.h"
#include "burn/ScsiDevice.h"
#include "burn/ScsiTexts.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace larderly;
using namespace larderly::test;

namespace {

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto d = std::make_unique<FakeDrive>();
        drive = d.get();
        InstallTransport(std::move(d));
    }
    void TearDown() override { InstallTransport(nullptr); }

    std::unique_ptr<TSCSIDevice> NewDevice() {
        auto dev = std::make_unique<TSCSIDevice>();
        dev->Sleeper = [](uint32_t) {};
        dev->OnDebugMessage = [this](TSCSIDevice*, const std::string& m, uint8_t t) {
            messages.emplace_back(m, t);
        };
        return dev;
    }
    SRB_ExecSCSICmd Request(uint8_t opcode, uint8_t flags = 0x40) {
        SRB_ExecSCSICmd srb{};
        srb.SRB_Flags = flags;
        srb.SRB_CDBLen = 10;
        srb.CDBByte[0] = opcode;
        return srb;
    }

    FakeDrive* drive = nullptr;
    std::vector<std::pair<std::string, uint8_t>> messages;
};

TEST_F(DeviceTest, EnumerationListsCdAndWriteOnceDrives) {
    struct Case {
        uint8_t type;
        char letter;
        const char* line;
    } cases[] = {
        {5, 'E', "0:0:0,E: LARDERLYFAKE WRITER     1.00"},
        {5, 0, "0:0:0,?: LARDERLYFAKE WRITER     1.00"},
        {4, 'F', "0:0:0,F: LARDERLYFAKE WRITER     1.00 (not supported)"},
    };
    for (const Case& c : cases) {
        drive->inquiry[0] = c.type;
        drive->letter = c.letter;
        auto dev = NewDevice(); // a loaded transport makes a new device enumerate at once
        ASSERT_EQ(dev->DeviceList().size(), 1u);
        EXPECT_EQ(dev->DeviceList()[0], c.line);
        EXPECT_EQ(dev->Adapter(), TSCSIDevice::kNone) << "the selection is restored";
    }
    drive->inquiry[0] = 0; // a disk is not listed
    EXPECT_TRUE(NewDevice()->DeviceList().empty());
}

TEST_F(DeviceTest, EnumerationAddressesAndAdapterCounts) {
    drive->address[0] = 1;
    drive->address[1] = 3;
    drive->adapters = 2;
    auto dev = NewDevice();
    ASSERT_EQ(dev->DeviceList().size(), 1u);
    EXPECT_EQ(dev->DeviceList()[0].substr(0, 9), "1:3:0,E: ");
    EXPECT_EQ(drive->SentWith(0x12).size(), 2u * 64u) << "every target and LUN of both adapters";

    // An adapter count of 0 scans 7 adapters; a failed inquiry scans none.
    drive->sent.clear();
    drive->reportedAdapters = 0;
    dev->HostAdapterInquiry(0);
    EXPECT_EQ(dev->HostAdapterCount(), 7);
    drive->address[0] = 5;
    drive->adapters = 7;
    dev->Enumerate();
    ASSERT_EQ(dev->DeviceList().size(), 1u);
    EXPECT_EQ(dev->DeviceList()[0].substr(0, 6), "5:3:0,");
    drive->adapters = 0;
    dev->HostAdapterInquiry(0);
    EXPECT_EQ(dev->HostAdapterCount(), -1);
    drive->sent.clear();
    dev->Enumerate();
    EXPECT_TRUE(drive->sent.empty());
}

TEST_F(DeviceTest, EnumerationDebugLines) {
    auto dev = NewDevice();
    dev->DoDebug = true;
    dev->Enumerate();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[0].first, ">>> FAKE");
    EXPECT_EQ(messages[1].first, ">>> FAKE MANAGER     (FAKE 0)");
    EXPECT_EQ(messages[1].second, 1);
}

TEST_F(DeviceTest, SelectDeviceParsesTheLine) {
    drive->address[1] = 1;
    auto dev = NewDevice();
    bool changed = false;
    dev->OnDeviceChange = [&](TSCSIDevice*) { changed = true; };
    dev->SelectDevice("0:1:0,E: LARDERLYFAKE WRITER     1.00");
    EXPECT_EQ(dev->Adapter(), 0);
    EXPECT_EQ(dev->Target(), 1);
    EXPECT_EQ(dev->Lun(), 0);
    EXPECT_EQ(dev->DeviceType(), 5);
    EXPECT_EQ(dev->DeviceDescription(), "LARDERLY FAKE WRITER      1.00");
    EXPECT_EQ(dev->SelectedDevice(), "0:1:0,E: LARDERLYFAKE WRITER     1.00");
    EXPECT_TRUE(changed);
    EXPECT_EQ(dev->DeviceMaxWriteSpeed(), 7056);
    EXPECT_EQ(dev->WriteTypes(), 0x7) << "the drive accepted every write type";
    EXPECT_TRUE(messages.empty());
}

TEST_F(DeviceTest, SelectDeviceRefusals) {
    struct Case {
        const char* line;
        uint8_t type;
        bool message;
    } cases[] = {
        {"", 5, false},          // empty: cleared quietly
        {"0:0", 5, true},        // too short
        {"a:0:0,E: X", 5, true}, // not a digit
        {"0:0:0,E: X", 0, true}, // a disk
        {"0:2:0,E: X", 5, true}, // nothing answers there
    };
    for (const Case& c : cases) {
        drive->inquiry[0] = c.type;
        auto dev = NewDevice();
        messages.clear();
        dev->SelectDevice(c.line);
        EXPECT_EQ(dev->Adapter(), TSCSIDevice::kNone) << c.line;
        EXPECT_EQ(dev->DeviceType(), 0x7F) << c.line;
        EXPECT_TRUE(dev->SelectedDevice().empty()) << c.line;
        if (c.message) {
            ASSERT_FALSE(messages.empty()) << c.line;
            EXPECT_EQ(messages.back().first, "INVALID DEVICE ID / NOT A CD OR DVD DRIVE");
            EXPECT_EQ(messages.back().second, 0);
        } else {
            EXPECT_TRUE(messages.empty());
        }
    }
}

TEST_F(DeviceTest, SelectDeviceSetsModelQuirks) {
    struct Case {
        const char* vendor;
        const char* product;
        bool underrun, linkSize, slowModel, slowVendor, closeImmediate;
    } cases[] = {
        {"PLEXTOR ", "CD-W512EB       ", true, false, false, false, true},
        {"YAMAHA  ", "CRX175E         ", false, true, false, false, true},
        {"YAMAHA  ", "CD-RW  CRX800E  ", false, true, false, false, true},
        {"MATSHITA", "UJDA740         ", false, false, false, true, true},
        {"TDK     ", "CDRW321040X     ", false, false, false, true, false},
        {"PIONEER ", "DVD-RW  DVR-104 ", false, false, true, false, true},
        {"PIONEER ", "DVD-RW  DVR-105 ", false, false, false, false, true},
    };
    for (const Case& c : cases) {
        std::memcpy(&drive->inquiry[8], c.vendor, 8);
        std::memcpy(&drive->inquiry[16], c.product, 16);
        auto dev = NewDevice();
        dev->SelectDevice("0:0:0,E: X");
        EXPECT_EQ(dev->UnderrunSafeModel(), c.underrun) << c.product;
        EXPECT_EQ(dev->LinkSizeModel(), c.linkSize) << c.product;
        EXPECT_EQ(dev->SlowReadyModel(), c.slowModel) << c.product;
        EXPECT_EQ(TSCSIDevice::SlowReadyVendor(), c.slowVendor) << c.product;
        EXPECT_EQ(TSCSIDevice::CloseSessionImmediate(), c.closeImmediate) << c.product;
    }
    // Leave the process-wide switches as a plain drive sets them.
    std::memcpy(&drive->inquiry[8], "LARDERLYFAKE WRITER     ", 24);
    NewDevice()->SelectDevice("0:0:0,E: X");
}

TEST_F(DeviceTest, RequestWithoutSelectionSendsNothing) {
    auto dev = NewDevice();
    drive->sent.clear();
    auto srb = Request(0x00);
    dev->ExecuteRequest(srb, 1000);
    EXPECT_TRUE(drive->sent.empty());
    EXPECT_EQ(srb.SRB_Status, 0);
    EXPECT_EQ(dev->LastError(), "");

    InstallTransport(nullptr);
    TSCSIDevice bare;
    EXPECT_FALSE(bare.ASPIInitialized());
    auto srb2 = Request(0x00);
    bare.ExecuteRequest(srb2, 1000);
    EXPECT_EQ(srb2.SRB_Status, 0);
}

TEST_F(DeviceTest, RequestFillsAddressSenseLengthAndLun) {
    drive->address[2] = 3;
    auto dev = NewDevice();
    dev->SelectDevice("0:0:3,E: X");
    ASSERT_EQ(dev->Lun(), 3);
    drive->sent.clear();
    auto srb = Request(0x28, 0x48);
    srb.CDBByte[1] = 0x1F;
    dev->ExecuteRequest(srb, 1000);
    EXPECT_EQ(srb.SRB_Status, SS_COMP);
    EXPECT_EQ(srb.SRB_Cmd, SC_EXEC_SCSI_CMD);
    EXPECT_EQ(srb.SRB_SenseLen, 24);
    EXPECT_EQ(srb.CDBByte[1], 0x7F) << "LUN in bits 5-7, other bits kept";
}

TEST_F(DeviceTest, FailureTexts) {
    struct Case {
        Answer answer;
        const char* text;
        bool busy;
    } cases[] = {
        {CheckCondition(2, 0x04, 0x00), "NOT READY (LOGICAL UNIT NOT READY, CAUSE NOT REPORTABLE)",
         false},
        {CheckCondition(5, 0x21, 0x02), "ILLEGAL REQUEST (INVALID ADDRESS FOR WRITE)", false},
        {CheckCondition(3, 0x74, 0x01), "MEDIUM ERROR (116,1)", false},
        {Answer{SS_ERR, 0, STATUS_CHKCOND, 0, 0, 0}, "", false}, // check condition without sense
        {TargetBusy(), "TARGET BUSY", true},
        {Answer{SS_ERR, 0, 0x18, 0, 0, 0}, "TARGET RESERVATION CONFLICT", false},
        {Answer{SS_ERR, 0x11, 0, 0, 0, 0}, "SELECTION TIMEOUT", false},
        {Answer{SS_ABORTED, 0, 0, 0, 0, 0}, "OPERATION ABORTED BY USER", false},
        {Answer{SS_ASPI_IS_BUSY, 0, 0, 0, 0, 0}, "ASPI IS BUSY", false},
    };
    auto dev = NewDevice();
    dev->SelectDevice("0:0:0,E: X");
    for (const Case& c : cases) {
        drive->inject = [&](const SentRequest& r) -> std::optional<Answer> {
            if (r.cdb[0] == 0x2A) return c.answer;
            return std::nullopt;
        };
        auto srb = Request(0x2A, 0x50);
        dev->ExecuteRequest(srb, 1000);
        EXPECT_EQ(dev->LastError(), c.text);
        EXPECT_EQ(dev->Busy(), c.busy) << c.text;
        EXPECT_EQ(dev->LastAsc(), c.answer.asc) << c.text;
        // The next request clears what the failure left.
        auto ok = Request(0x00);
        drive->inject = nullptr;
        dev->ExecuteRequest(ok, 1000);
        EXPECT_EQ(dev->LastError(), "");
        EXPECT_FALSE(dev->Busy());
        EXPECT_EQ(dev->LastAsc(), 0);
    }
}

TEST_F(DeviceTest, FailureLines) {
    auto dev = NewDevice();
    dev->SelectDevice("0:0:0,E: X");
    dev->DoDebug = true;
    drive->inject = [](const SentRequest& r) -> std::optional<Answer> {
        if (r.cdb[0] == 0x2A) return CheckCondition(5, 0x21, 0x02);
        if (r.cdb[0] == 0x00) return CheckCondition(2, 0x3A, 0x00);
        if (r.cdb[0] == 0x54) return CheckCondition(2, 0x04, 0x08);
        return std::nullopt;
    };
    uint8_t data[4] = {0xDE, 0xAD, 0xBE, 0xEF};
    messages.clear();
    dev->Write10(0x1234, 2, data, sizeof data);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].second, 0);
    EXPECT_EQ(
        messages[0].first,
        "<<< WRITE (10)             (2A) {50|0A} - 0:0:0 <04> [00004] 00 00 00 12 34 00 00 02 00 "
        "00 00 00 00 00 "
        "00  |DE AD BE EF = 00 02 70 05 ASC:21,ASQ:02 ILLEGAL REQUEST (INVALID ADDRESS FOR WRITE)");
    messages.clear();
    dev->TestUnitReady(1000);  // expected to fail now and then: no line
    dev->SendOPCInformation(); // long write in progress: no line
    EXPECT_TRUE(messages.empty());
    dev->DoDebug = false;
    dev->Write10(0, 1, data, sizeof data);
    EXPECT_TRUE(messages.empty());
}

// A library that ends its requests later from a thread of its own.
class LateDrive : public FakeDrive {
public:
    int delayMs = 0;
    bool never = false;
    bool aborted = false;
    std::thread worker;
    ~LateDrive() override {
        if (worker.joinable()) worker.join();
    }
    uint32_t SendCommand(void* block) override {
        auto* hdr = static_cast<SRB_Header*>(block);
        if (hdr->SRB_Cmd == SC_ABORT_SRB) {
            aborted = true;
            auto* srb = static_cast<SRB_ExecSCSICmd*>(static_cast<SRB_Abort*>(block)->SRB_ToAbort);
            auto* ev = static_cast<AspiEvent*>(srb->SRB_PostProc);
            srb->SRB_Status = SS_ABORTED;
            ev->signal(ev);
            return SS_COMP;
        }
        auto* srb = static_cast<SRB_ExecSCSICmd*>(block);
        if (hdr->SRB_Cmd != SC_EXEC_SCSI_CMD || srb->CDBByte[0] != 0x35)
            return FakeDrive::SendCommand(block);
        srb->SRB_Status = SS_PENDING;
        if (never) return SS_PENDING;
        if (worker.joinable()) worker.join();
        worker = std::thread([srb, this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            std::atomic_ref<uint8_t>(srb->SRB_Status).store(SS_COMP);
            auto* ev = static_cast<AspiEvent*>(srb->SRB_PostProc);
            ev->signal(ev);
        });
        return SS_PENDING;
    }
};

TEST_F(DeviceTest, ShortTimeoutsStillWaitTenSeconds) {
    auto late = std::make_unique<LateDrive>();
    LateDrive* d = late.get();
    InstallTransport(std::move(late));
    auto dev = NewDevice();
    dev->SelectDevice("0:0:0,E: X");
    d->delayMs = 300;
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(dev->SynchronizeCache(false, 1)) << "a 1 ms timeout waits up to 10000 ms";
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
    EXPECT_FALSE(d->aborted);
}

TEST_F(DeviceTest, TimedOutRequestIsAbortedAndReported) {
    auto late = std::make_unique<LateDrive>();
    LateDrive* d = late.get();
    InstallTransport(std::move(late));
    auto dev = NewDevice();
    dev->SelectDevice("0:0:0,E: X");
    d->never = true;
    SRB_ExecSCSICmd srb{};
    srb.SRB_Flags = 0x40;
    srb.SRB_CDBLen = 10;
    srb.CDBByte[0] = 0x35;
    auto start = std::chrono::steady_clock::now();
    dev->ExecuteRequest(srb, 10000);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(d->aborted);
    EXPECT_GE(waited, std::chrono::milliseconds(9900));
    EXPECT_EQ(srb.SRB_Status, SS_ERR);
    EXPECT_EQ(srb.SRB_HaStat, HASTAT_TIMEOUT);
    EXPECT_EQ(dev->LastError(), "COMMAND TIMEOUT");
}

} // namespace
