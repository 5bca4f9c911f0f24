// The drive commands byte for byte, and the probes built on them: capabilities, media kind,
// session count, write parameters page, write-type probe and the wait for readiness.
#include "DeviceFakeDrive.h"
#include "burn/ScsiDevice.h"

#include <gtest/gtest.h>

#include <functional>

using namespace larderly;
using namespace larderly::test;

namespace {

class CommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto d = std::make_unique<FakeDrive>();
        drive = d.get();
        InstallTransport(std::move(d));
        dev = std::make_unique<TSCSIDevice>();
        dev->Sleeper = [this](uint32_t ms) {
            slept += ms;
            ++sleeps;
        };
        dev->SelectDevice("0:0:0,E: X");
        drive->sent.clear();
        SetCurrentMediaKind(mkCdR);
    }
    void TearDown() override {
        dev.reset();
        InstallTransport(nullptr);
    }
    FakeDrive* drive = nullptr;
    std::unique_ptr<TSCSIDevice> dev;
    uint64_t slept = 0;
    int sleeps = 0;
};

TEST_F(CommandsTest, CommandBlocks) {
    static uint8_t buf[65536] = {};
    struct Case {
        const char* name;
        std::function<void(TSCSIDevice&)> call;
        uint8_t flags;
        uint8_t cdbLength;
        std::vector<uint8_t> cdb;
        uint32_t dataLength;
    } cases[] = {
        {"test unit ready",
         [](TSCSIDevice& d) { d.TestUnitReady(5000); },
         0x40,
         6,
         {0x00, 0, 0, 0, 0, 0},
         0},
        {"rezero", [](TSCSIDevice& d) { d.RezeroUnit(); }, 0x40, 6, {0x01, 0, 0, 0, 0, 0}, 0},
        {"request sense",
         [&](TSCSIDevice& d) { d.RequestSense(buf, 40); },
         0x48,
         6,
         {0x03, 0, 0, 0, 40, 0},
         40},
        {"format unit",
         [&](TSCSIDevice& d) { d.FormatUnit(0x11, buf, 12); },
         0x50,
         6,
         {0x04, 0x11, 0, 0, 0, 0},
         12},
        {"inquiry", [](TSCSIDevice& d) { d.Inquiry(); }, 0x48, 6, {0x12, 0, 0, 0, 128, 0}, 128},
        {"load", [](TSCSIDevice& d) { d.StartStopUnit(true); }, 0x40, 6, {0x1B, 0, 0, 0, 3, 0}, 0},
        {"eject",
         [](TSCSIDevice& d) { d.StartStopUnit(false); },
         0x40,
         6,
         {0x1B, 0, 0, 0, 2, 0},
         0},
        {"prevent",
         [](TSCSIDevice& d) { d.PreventAllowRemoval(true); },
         0x40,
         6,
         {0x1E, 0, 0, 0, 1, 0},
         0},
        {"allow",
         [](TSCSIDevice& d) { d.PreventAllowRemoval(false); },
         0x40,
         6,
         {0x1E, 0, 0, 0, 0, 0},
         0},
        {"read 10",
         [&](TSCSIDevice& d) { d.Read10(0x01020304, 2, buf, 4096); },
         0x48,
         10,
         {0x28, 0, 1, 2, 3, 4, 0, 0, 2, 0},
         4096},
        {"write 10",
         [&](TSCSIDevice& d) { d.Write10(0x00A1B2C3, 27, buf, 55296); },
         0x50,
         10,
         {0x2A, 0, 0, 0xA1, 0xB2, 0xC3, 0, 0, 27, 0},
         55296},
        {"sync cache",
         [](TSCSIDevice& d) { d.SynchronizeCache(false, 120000); },
         0x40,
         10,
         {0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         0},
        {"sync cache immed",
         [](TSCSIDevice& d) { d.SynchronizeCache(true, 120000); },
         0x40,
         10,
         {0x35, 2, 0, 0, 0, 0, 0, 0, 0, 0},
         0},
        {"atip",
         [&](TSCSIDevice& d) { d.ReadTocPmaAtip(true, 4, 0, 26, 0, buf); },
         0x48,
         10,
         {0x43, 2, 4, 0, 0, 0, 0, 0, 26, 0},
         26},
        {"toc",
         [&](TSCSIDevice& d) { d.ReadTocPmaAtip(false, 0, 1, 255, 0x40, buf); },
         0x48,
         10,
         {0x43, 0, 0, 0, 0, 0, 1, 0, 255, 0x40},
         255},
        {"get configuration",
         [&](TSCSIDevice& d) { d.GetConfiguration(2, 0x2F, 114, buf); },
         0x48,
         10,
         {0x46, 2, 0, 0x2F, 0, 0, 0, 0, 114, 0},
         114},
        {"disc information",
         [](TSCSIDevice& d) { d.ReadDiscInformation(); },
         0x48,
         10,
         {0x51, 0, 0, 0, 0, 0, 0, 0, 56, 0},
         56},
        {"track information",
         [](TSCSIDevice& d) { d.ReadTrackInformation(3); },
         0x48,
         10,
         {0x52, 1, 0, 0, 0, 3, 0, 0, 40, 0},
         40},
        {"reserve track",
         [](TSCSIDevice& d) { d.ReserveTrack(0x00012340); },
         0x40,
         12,
         {0x53, 0, 0, 0, 0, 0, 0x01, 0x23, 0x40, 0, 0, 0},
         0},
        {"opc",
         [](TSCSIDevice& d) { d.SendOPCInformation(); },
         0x40,
         10,
         {0x54, 1, 0, 0, 0, 0, 0, 0, 0, 0},
         0},
        {"mode select",
         [&](TSCSIDevice& d) { d.ModeSelect10(buf, 60); },
         0x50,
         10,
         {0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0},
         60},
        {"mode sense default",
         [&](TSCSIDevice& d) { d.ModeSense10(0x2A, true, 255, buf); },
         0x48,
         10,
         {0x5A, 0, 0xAA, 0, 0, 0, 0, 0, 255, 0},
         255},
        {"mode sense 512",
         [&](TSCSIDevice& d) { d.ModeSense10(0x05, false, 512, buf); },
         0x48,
         10,
         {0x5A, 0, 0x05, 0, 0, 0, 0, 2, 0, 0},
         512},
        {"close track",
         [](TSCSIDevice& d) { d.CloseTrackSession(false, 1, 0x0102); },
         0x40,
         10,
         {0x5B, 0, 1, 0, 1, 2, 0, 0, 0, 0},
         0},
        {"close session immed",
         [](TSCSIDevice& d) { d.CloseTrackSession(true, 2, 0); },
         0x40,
         10,
         {0x5B, 1, 2, 0, 0, 0, 0, 0, 0, 0},
         0},
        {"cd close track",
         [](TSCSIDevice& d) { d.CloseTrackSessionCD(false, true, false); },
         0x40,
         10,
         {0x5B, 0, 1, 0, 0, 0xFF, 0, 0, 0, 0},
         0},
        {"cd finalize",
         [](TSCSIDevice& d) { d.CloseTrackSessionCD(true, false, true); },
         0x40,
         10,
         {0x5B, 1, 5, 0, 0, 0, 0, 0, 0, 0},
         0},
        {"buffer capacity",
         [](TSCSIDevice& d) { d.ReadBufferCapacity(); },
         0x48,
         10,
         {0x5C, 0, 0, 0, 0, 0, 0, 0, 32, 0},
         32},
        {"set streaming",
         [](TSCSIDevice& d) { d.SetStreamingPerformance(1, 2, 3, 4, 5, 6); },
         0x50,
         12,
         {0xB6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 28, 0},
         28},
        {"set cd speed",
         [](TSCSIDevice& d) { d.SetCDSpeed(0x1234, 2822); },
         0x40,
         12,
         {0xBB, 0, 0x12, 0x34, 0x0B, 0x06, 0, 0, 0, 0, 0, 0},
         0},
        {"set cd speed max",
         [](TSCSIDevice& d) { d.SetCDSpeed(0, 0); },
         0x40,
         12,
         {0xBB, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0},
         0},
        {"dvd structure",
         [&](TSCSIDevice& d) { d.SendDVDStructure(0x0F, buf, 22); },
         0x50,
         12,
         {0xBF, 0, 0, 0, 0, 0, 0, 0x0F, 0, 22, 0, 0},
         22},
    };
    for (const Case& c : cases) {
        drive->sent.clear();
        c.call(*dev);
        ASSERT_EQ(drive->sent.size(), 1u) << c.name;
        const SentRequest& r = drive->sent[0];
        EXPECT_EQ(r.flags, c.flags) << c.name;
        EXPECT_EQ(r.cdbLength, c.cdbLength) << c.name;
        EXPECT_EQ(std::vector<uint8_t>(r.cdb.begin(), r.cdb.begin() + c.cdbLength), c.cdb)
            << c.name;
        EXPECT_EQ(r.dataLength, c.dataLength) << c.name;
    }
}

TEST_F(CommandsTest, NamedRequests) {
    dev->SetStreamingPerformance(0x10, 0x20, 2934, 1000, 1418, 1000);
    std::vector<uint8_t> desc = {0,    0, 0, 0,    0,    0, 0, 0x10, 0,    0, 0, 0x20, 0,   0, 0x0B,
                                 0x76, 0, 0, 0x03, 0xE8, 0, 0, 0x05, 0x8A, 0, 0, 0x03, 0xE8};
    EXPECT_EQ(drive->sent.back().dataOut, desc);

    std::tm tm{};
    tm.tm_year = 2026 - 1900, tm.tm_mon = 11, tm.tm_mday = 9, tm.tm_hour = 23, tm.tm_min = 5,
    tm.tm_sec = 7;
    dev->SendTimeStamp(std::mktime(&tm));
    std::vector<uint8_t> stamp = {0x00, 0x14, 0, 0, 0, 0, 0, 0};
    for (char c : std::string("20261209230507"))
        stamp.push_back(uint8_t(c));
    EXPECT_EQ(drive->sent.back().dataOut, stamp);

    EXPECT_TRUE(dev->ReadBufferCapacity());
    EXPECT_EQ(dev->DeviceBufferSize.load(), 2u * 1024 * 1024);
    EXPECT_EQ(dev->DeviceFreeBufferSize.load(), 1024u * 1024);
    drive->inject = [](const SentRequest&) -> std::optional<Answer> {
        return CheckCondition(5, 0x20, 0);
    };
    EXPECT_FALSE(dev->ReadBufferCapacity());
    EXPECT_EQ(dev->DeviceFreeBufferSize.load(), 0u);

    uint8_t dest[64];
    std::memset(dest, 0xAB, sizeof dest);
    EXPECT_FALSE(dev->ModeSense10(0x2A, false, sizeof dest, dest));
    EXPECT_EQ(dest[0], 0) << "the destination is cleared first";
}

TEST_F(CommandsTest, CapabilitiesProbe) {
    EXPECT_TRUE(dev->ProbeCapabilities());
    EXPECT_EQ(dev->DeviceMaxWriteSpeed(), 7056);
    EXPECT_EQ(dev->DeviceMaxReadSpeed(), 8467);
    EXPECT_EQ(dev->MediaCapabilities() & 0xFFFF,
              0x1F | 0x20 | 0x40 | 0x400 | 0x800 | 0x1000 | 0x2000 | 0x4000 | 0x8000);
    EXPECT_TRUE(dev->MediaCapabilities() & TSCSIDevice::kCapBufe);
    EXPECT_EQ(dev->CurrentWriteSpeed(), 2822);
    EXPECT_EQ(dev->MaxReadSpeed(), 8467);

    // A page reporting 0 for the write speeds gets 1385 KB/s for them.
    drive->capsPage[18] = drive->capsPage[19] = drive->capsPage[20] = drive->capsPage[21] = 0;
    drive->capsPage[4] = 0;
    EXPECT_EQ(dev->CurrentWriteSpeed(), 1385);
    EXPECT_EQ(dev->DeviceMaxWriteSpeed(), 1385);
    EXPECT_FALSE(dev->MediaCapabilities() & TSCSIDevice::kCapBufe);

    // Features reported through GET CONFIGURATION.
    drive->sent.clear();
    dev->ProbeCapabilities();
    EXPECT_EQ(drive->SentWith(0x46).size(), 3u);
    EXPECT_EQ(drive->SentWith(0x46)[0].cdb[3], 0x2A);
    EXPECT_EQ(drive->SentWith(0x46)[1].cdb[3], 0x3B);
    EXPECT_EQ(drive->SentWith(0x46)[2].cdb[3], 0x2F);
    struct FeatureCase {
        uint8_t feature, first;
        uint32_t bits;
    } featureCases[] = {
        {0x2A, 0, 0x80 | 0x200}, {0x2A, 1, 0x80 | 0x200 | 0x10000 | 0x40000},
        {0x3B, 0, 0x100},        {0x3B, 1, 0x100 | 0x20000},
        {0x2F, 0, 0x10 | 0x20},  {0x2F, 1, 0x10 | 0x20 | 0x2000 | 0x4000},
    };
    drive->capsPage[2] = drive->capsPage[3] = 0;
    for (const FeatureCase& c : featureCases) {
        drive->features = {{c.feature, c.first}};
        dev->ProbeCapabilities();
        EXPECT_EQ(dev->MediaCapabilities(), c.bits)
            << std::hex << int(c.feature) << "/" << int(c.first);
    }
    drive->features.clear();

    drive->inject = [](const SentRequest& r) -> std::optional<Answer> {
        if (r.cdb[0] == 0x5A) return CheckCondition(5, 0x24, 0);
        return std::nullopt;
    };
    EXPECT_FALSE(dev->ProbeCapabilities());
    EXPECT_EQ(dev->DeviceMaxWriteSpeed(), 0);
    EXPECT_EQ(dev->CurrentWriteSpeed(), 0);
}

TEST_F(CommandsTest, MediaKind) {
    struct Case {
        uint16_t profile;
        int kind;
    } cases[] = {{0x08, 1}, {0x09, 2},  {0x0A, 3},  {0x10, 4},  {0x11, 5},  {0x12, 6},  {0x13, 8},
                 {0x14, 9}, {0x1A, 10}, {0x1B, 11}, {0x2B, 12}, {0x20, 13}, {0x21, 14}, {0x22, 15}};
    for (const Case& c : cases) {
        drive->profile = c.profile;
        EXPECT_EQ(dev->GetMediaKind(), c.kind) << c.profile;
    }
    // No profile: the ATIP decides, then the disc information, then readiness.
    drive->profile = 0;
    bool atip = true, discInfo = true;
    drive->inject = [&](const SentRequest& r) -> std::optional<Answer> {
        if (r.cdb[0] == 0x43)
            return atip ? std::optional<Answer>(Answer{SS_COMP, 0, 0, 0, 0, 0})
                        : CheckCondition(5, 0x24, 0);
        if (r.cdb[0] == 0x51 && !discInfo) return CheckCondition(2, 0x3A, 0);
        return std::nullopt;
    };
    EXPECT_EQ(dev->GetMediaKind(), mkCdRom) << "ATIP byte 6 bit 7 clear";
    atip = false;
    drive->discStatus = 0;
    EXPECT_EQ(dev->GetMediaKind(), mkCdR);
    discInfo = false;
    EXPECT_EQ(dev->GetMediaKind(), mkCdRom) << "ready drive without any answer";
}

TEST_F(CommandsTest, SessionCount) {
    struct Case {
        int status, lastState, sessions, count;
    } cases[] = {
        {0, 0, 1, 0}, // blank
        {1, 0, 2, 1}, // open disc: the empty last session is not counted
        {1, 1, 2, 2}, // last session incomplete
        {2, 3, 3, 3}, // complete disc
        {1, 0, 0, 0},
    };
    for (const Case& c : cases) {
        drive->discStatus = c.status;
        drive->lastSessionState = c.lastState;
        drive->sessions = c.sessions;
        EXPECT_EQ(dev->SessionCount(), c.count)
            << c.status << "/" << c.lastState << "/" << c.sessions;
    }
    drive->inject = [](const SentRequest&) -> std::optional<Answer> {
        return CheckCondition(2, 0x3A, 0);
    };
    EXPECT_EQ(dev->SessionCount(), 0);
}

TEST_F(CommandsTest, WriteParametersPage) {
    dev->ProbeCapabilities();
    struct Case {
        const char* name;
        int kind;
        bool testWrite, underrun, finalizeDisc, finalize;
        uint8_t b2, b3, b5, b6;
        uint32_t packet;
    } cases[] = {
        {"cd-r multisession", mkCdR, false, true, false, false, 0x41, 0xC4, 0, 0, 0},
        {"cd-r finalized", mkCdR, false, true, true, true, 0x41, 0x04, 0, 0, 0},
        {"cd-rw test write", mkCdRw, true, false, false, false, 0x11, 0x04, 0, 0, 0},
        {"dvd-r", mkDvdR, false, true, false, false, 0x60, 0xE5, 16, 0, 16},
        {"dvd-rw", mkDvdRwSequential, false, true, false, false, 0x60, 0xC5, 16, 0, 0},
        {"dvd+rw", mkDvdPlusRw, false, false, false, false, 0x22, 0x04, 16, 0, 0},
        {"dvd+r", mkDvdPlusR, false, false, false, false, 0x22, 0xC4, 0, 0, 16},
        {"dvd+r dl open", mkDvdPlusRDl, false, true, false, false, 0x62, 0x04, 0, 0, 0},
        {"dvd+r dl closed", mkDvdPlusRDl, false, true, true, true, 0x62, 0xC4, 0, 0, 0},
    };
    for (const Case& c : cases) {
        drive->sent.clear();
        dev->FinalizeDisc = c.finalizeDisc;
        ASSERT_TRUE(dev->SetWriteParameters(c.testWrite, c.underrun, c.kind, c.finalize)) << c.name;
        auto selects = drive->SentWith(0x55);
        ASSERT_EQ(selects.size(), 1u) << c.name;
        const auto& out = selects[0].dataOut;
        ASSERT_EQ(out.size(), 60u) << c.name;
        EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 8), std::vector<uint8_t>(8, 0))
            << c.name;
        const uint8_t* p = out.data() + 8;
        EXPECT_EQ(p[0], 0x05) << c.name;
        EXPECT_EQ(p[1], 0x32) << c.name;
        EXPECT_EQ(p[2], c.b2) << c.name;
        EXPECT_EQ(p[3], c.b3) << c.name;
        EXPECT_EQ(p[4], 8) << c.name;
        EXPECT_EQ(p[5], c.b5) << c.name;
        EXPECT_EQ(p[6], c.b6) << c.name;
        EXPECT_EQ(p[8], 0) << c.name;
        EXPECT_EQ(uint32_t(p[10] << 24 | p[11] << 16 | p[12] << 8 | p[13]), c.packet) << c.name;
        EXPECT_EQ(p[14] << 8 | p[15], 150) << c.name;
    }
    dev->FinalizeDisc = false;
    drive->sent.clear();
    EXPECT_TRUE(dev->SetWriteParameters(false, true, mkDvdRam, false));
    EXPECT_TRUE(drive->sent.empty()) << "nothing is sent for DVD-RAM";
}

TEST_F(CommandsTest, WriteTypesProbe) {
    dev->ProbeWriteTypes();
    EXPECT_EQ(dev->WriteTypes(), 0x7);
    auto selects = drive->SentWith(0x55);
    ASSERT_EQ(selects.size(), 3u);
    EXPECT_EQ(selects[0].dataOut[8 + 2] & 0x0F, 3);
    EXPECT_EQ(selects[0].dataOut[8 + 4], 1);
    EXPECT_EQ(selects[1].dataOut[8 + 2] & 0x0F, 2);
    EXPECT_EQ(selects[2].dataOut[8 + 2] & 0x0F, 1);
    drive->inject = [](const SentRequest& r) -> std::optional<Answer> {
        if (r.cdb[0] == 0x55 && r.dataOut.size() > 10 && (r.dataOut[10] & 0x0F) != 1)
            return CheckCondition(5, 0x26, 0);
        return std::nullopt;
    };
    dev->ProbeWriteTypes();
    EXPECT_EQ(dev->WriteTypes(), 0x4);

    // The drive's page carries flags in byte 2 (underrun protection, link size): the probe
    // sends the write type alone.
    drive->inject = nullptr;
    drive->writePage[2] = 0x61;
    drive->sent.clear();
    dev->ProbeWriteTypes();
    selects = drive->SentWith(0x55);
    ASSERT_EQ(selects.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(selects[size_t(i)].dataOut[8 + 2], 3 - i) << i;
}

TEST_F(CommandsTest, WaitUnitReady) {
    // A ready drive: one interval, one disc information, one test unit ready.
    EXPECT_TRUE(dev->WaitUnitReady(10000, 500));
    EXPECT_EQ(slept, 500u);

    // Long write in progress keeps it polling until the budget is spent.
    drive->inject = [](const SentRequest& r) -> std::optional<Answer> {
        return CheckCondition(2, 0x04, 0x08);
    };
    slept = 0;
    EXPECT_FALSE(dev->WaitUnitReady(10000, 1000));
    EXPECT_GE(slept, 10000u);
    EXPECT_LE(slept, 11000u);

    // Becoming ready after a few polls.
    int busyPolls = 3;
    drive->inject = [&](const SentRequest& r) -> std::optional<Answer> {
        if (busyPolls > 0 && r.cdb[0] == 0x51) {
            --busyPolls;
            return CheckCondition(2, 0x04, 0x01);
        }
        return std::nullopt;
    };
    slept = 0;
    EXPECT_TRUE(dev->WaitUnitReady(10000, 1000));
    EXPECT_EQ(slept, 4000u);

    // Request sense answering F0h keeps the wait going even with byte 12 at 0.
    int senseAnswers = 0;
    drive->inject = [&](const SentRequest& r) -> std::optional<Answer> {
        if (r.cdb[0] == 0x00) return CheckCondition(6, 0x28, 0x00);
        if (r.cdb[0] == 0x03) ++senseAnswers;
        return std::nullopt;
    };
    slept = 0;
    EXPECT_TRUE(dev->WaitUnitReady(10000, 1000)) << "request sense with no code ends the wait";
    EXPECT_EQ(senseAnswers, 1);
}

} // namespace
