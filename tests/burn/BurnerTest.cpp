// The disc writer over a scripted drive: a whole burn onto a blank and an appendable CD-R,
// the commands of setup, closing and restore, the retries and failures of the write loop,
// the cannot-open failure before writing, and the hand-over of the end-of-burn event.
#include "DeviceFakeDrive.h"
#include "burn/DiscBurner.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <thread>

using namespace larderly;
using namespace larderly::test;
namespace fs = std::filesystem;

namespace {

class RecordingDispatcher : public UiDispatcher {
public:
    int calls = 0;
    std::thread::id caller;
    void Invoke(const std::function<void()>& fn) override {
        ++calls;
        caller = std::this_thread::get_id();
        fn();
    }
};

class BurnerTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("burner_test_" + std::to_string(getpid()));
        fs::create_directories(dir);
        source = (dir / "recipebackup.001").string();
        std::mt19937 rng(7);
        content.resize(100000);
        for (auto& b : content)
            b = static_cast<uint8_t>(rng());
        std::ofstream(source, std::ios::binary)
            .write(reinterpret_cast<const char*>(content.data()), content.size());

        auto d = std::make_unique<FakeDrive>();
        drive = d.get();
        InstallTransport(std::move(d));
        burner = std::make_unique<TDiscBurner>();
        burner->Sleeper = [this](uint32_t ms) { slept += ms; };
        burner->SetDispatcher(&dispatcher);
        burner->OnDebugMessage = [this](TSCSIDevice*, const std::string& m, uint8_t t) {
            messages.emplace_back(m, t);
        };
        burner->OnWriteDone = [this](TDiscBurner*, const std::string& error) {
            ++doneCalls;
            doneError = error;
        };
        burner->SelectDevice("0:0:0,E: X");
    }
    void TearDown() override {
        burner.reset();
        InstallTransport(nullptr);
        fs::remove_all(dir);
    }

    // Fills the image with the source file, lays it out and burns it to the end.
    bool Burn() {
        burner->ResetImage(65535, 8191);
        EXPECT_EQ(burner->AddFile("/", source, false), 1);
        burner->PrepareImage(false, "");
        drive->sent.clear();
        bool started = burner->BurnImage();
        burner->WaitForBurn();
        return started;
    }
    bool Sent(uint8_t op) const { return !drive->SentWith(op).empty(); }
    std::vector<uint8_t> Sector(uint32_t lba) {
        auto it = drive->sectors.find(lba);
        return it == drive->sectors.end() ? std::vector<uint8_t>() : it->second;
    }

    fs::path dir;
    std::string source;
    std::vector<uint8_t> content;
    FakeDrive* drive = nullptr;
    std::unique_ptr<TDiscBurner> burner;
    RecordingDispatcher dispatcher;
    std::vector<std::pair<std::string, uint8_t>> messages;
    uint64_t slept = 0;
    int doneCalls = 0;
    std::string doneError = "unset";
};

TEST_F(BurnerTest, BurnsABlankCdR) {
    ASSERT_TRUE(Burn());
    EXPECT_EQ(doneCalls, 1);
    EXPECT_EQ(doneError, "");
    EXPECT_EQ(dispatcher.calls, 1);
    EXPECT_NE(dispatcher.caller, std::this_thread::get_id())
        << "raised from the write thread through the dispatcher";

    // 150 sectors before the file, 49 sectors of file: padded to the 300-sector minimum.
    EXPECT_EQ(burner->TrackSectors(), 300u);
    EXPECT_EQ(burner->BytesWritten(), 300 * 2048);
    auto writes = drive->SentWith(0x2A);
    ASSERT_EQ(writes.size(), 12u) << "300 sectors in blocks of 27";
    uint32_t expected = 0;
    for (const auto& w : writes) {
        uint32_t lba = uint32_t(w.cdb[2]) << 24 | uint32_t(w.cdb[3]) << 16 |
                       uint32_t(w.cdb[4]) << 8 | w.cdb[5];
        uint16_t count = uint16_t(w.cdb[7] << 8 | w.cdb[8]);
        EXPECT_EQ(lba, expected);
        EXPECT_EQ(w.flags, 0x50);
        expected += count;
    }
    EXPECT_EQ(expected, 300u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(Sector(16).data()) + 1, 5), "CD001");
    std::vector<uint8_t> data;
    for (uint32_t s = 150; s < 150 + 49; ++s) {
        auto v = Sector(s);
        data.insert(data.end(), v.begin(), v.end());
    }
    data.resize(content.size());
    EXPECT_EQ(data, content);
    EXPECT_EQ(Sector(299), std::vector<uint8_t>(2048, 0));

    // Setup before the first write, closing and restore after the last one.
    auto ops = drive->Opcodes();
    auto firstWrite = std::find(ops.begin(), ops.end(), 0x2A) - ops.begin();
    auto lastWrite = ops.rend() - std::find(ops.rbegin(), ops.rend(), 0x2A) - 1;
    auto before = std::vector<uint8_t>(ops.begin(), ops.begin() + firstWrite);
    auto after = std::vector<uint8_t>(ops.begin() + lastWrite + 1, ops.end());
    EXPECT_NE(std::find(before.begin(), before.end(), 0x1B), before.end()) << "load";
    EXPECT_NE(std::find(before.begin(), before.end(), 0xBB), before.end()) << "speed";
    EXPECT_EQ(std::count(after.begin(), after.end(), 0x5B), 1) << "one close session";
    // Write parameters: the track is opened as the last session (byte 3 = 04h) and the
    // session is closed with the next one allowed (C4h).
    std::vector<uint8_t> multisession; // byte 3 of every page sent during the burn, in order
    size_t closeIndex = 0;
    for (size_t i = 0; i < drive->sent.size(); ++i) {
        const auto& r = drive->sent[i];
        if (r.cdb[0] == 0x55) multisession.push_back(r.dataOut[8 + 3]);
        if (r.cdb[0] == 0x5B) closeIndex = multisession.size();
    }
    ASSERT_GE(closeIndex, 2u);
    EXPECT_EQ(multisession[closeIndex - 2], 0x04) << "page of the write";
    EXPECT_EQ(multisession[closeIndex - 1], 0xC4) << "page before the close";
    EXPECT_EQ(multisession[closeIndex - 1 - 1], 0x04);
    auto close = drive->SentWith(0x5B)[0];
    EXPECT_EQ(close.cdb[2], 2);
    EXPECT_EQ(close.cdb[1], 1) << "close session immediate";
    auto speeds = drive->SentWith(0xBB);
    EXPECT_EQ(speeds.back().cdb[5], 2) << "restore: write speed 2";
    auto removal = drive->SentWith(0x1E);
    ASSERT_FALSE(removal.empty());
    EXPECT_EQ(removal.back().cdb[4], 0) << "allow removal";

    bool starting = false;
    for (auto& m : messages)
        if (m.first == ">>> STARTING WRITE PROCESS ON CD-R AT 16X (2,822 KB/s)" && m.second == 1)
            starting = true;
    EXPECT_TRUE(starting);
    EXPECT_EQ(burner->CurrentFile(), "");
    EXPECT_TRUE(burner->CloseAfterCommand());
}

TEST_F(BurnerTest, SecondSessionStartsAtTheNextWritableAddress) {
    drive->discStatus = 1;
    drive->lastSessionState = 0;
    drive->sessions = 2;
    drive->nwa = 20000;
    ASSERT_TRUE(Burn());
    EXPECT_EQ(doneError, "");
    auto track = drive->SentWith(0x52);
    ASSERT_FALSE(track.empty());
    EXPECT_EQ(track[0].cdb[5], 2) << "the track after the one closed session";
    EXPECT_EQ(burner->Layout().NextWritableAddress, 20000u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(Sector(20016).data()) + 1, 5), "CD001");
    EXPECT_TRUE(Sector(16).empty());
    auto writes = drive->SentWith(0x2A);
    EXPECT_EQ(writes[0].cdb[4] << 8 | writes[0].cdb[5], 20000);
}

TEST_F(BurnerTest, TestWriteAndUnfinalizedTrackCloseNothing) {
    struct Case {
        bool testWrite, finalizeTrack;
    } cases[] = {{true, true}, {false, false}};
    for (const Case& c : cases) {
        burner->TestWrite = c.testWrite;
        burner->FinalizeTrack = c.finalizeTrack;
        messages.clear();
        ASSERT_TRUE(Burn());
        EXPECT_EQ(doneError, "");
        EXPECT_FALSE(Sent(0x5B));
        EXPECT_TRUE(Sent(0x1E)) << "the drive is still restored";
        bool testLine = std::any_of(messages.begin(), messages.end(),
                                    [](auto& m) { return m.first == ">>> TEST/DUMMY WRITE"; });
        EXPECT_EQ(testLine, c.testWrite);
    }
}

TEST_F(BurnerTest, BusyDriveIsRetried) {
    int busy = 3;
    drive->inject = [&](const SentRequest& r) -> std::optional<Answer> {
        if (r.cdb[0] == 0x2A && r.cdb[5] == 27 && busy > 0) {
            --busy;
            return busy % 2 ? TargetBusy() : CheckCondition(2, 0x04, 0x08);
        }
        return std::nullopt;
    };
    ASSERT_TRUE(Burn());
    EXPECT_EQ(doneError, "");
    EXPECT_EQ(drive->SentWith(0x2A).size(), 15u);
    EXPECT_GE(slept, 3 * 600u);
    EXPECT_EQ(Sector(27 + 26).size(), 2048u);
}

TEST_F(BurnerTest, WriteFailuresEndTheBurn) {
    struct Case {
        Answer answer;
        std::string text;
        size_t writes;
    } cases[] = {
        {CheckCondition(3, 0x0C, 0x00), "WRITER ERROR [MEDIUM ERROR (WRITE ERROR)]", 2},
        {CheckCondition(2, 0x04, 0x08), "WRITER BUSY/BUFFER FULL", 1 + TDiscBurner::kWriteAttempts},
        // A write that timed out is not sent again and again.
        {Answer{SS_ERR, HASTAT_TIMEOUT, 0, 0, 0, 0}, "WRITER ERROR [COMMAND TIMEOUT]", 2},
        // Nor one the system refused (the drive unplugged): it ends the burn at once.
        {Answer{SS_ERR, HASTAT_SEL_TO, 0, 0, 0, 0}, "WRITER ERROR [SELECTION TIMEOUT]", 2},
    };
    for (const Case& c : cases) {
        drive->inject = [&](const SentRequest& r) -> std::optional<Answer> {
            if (r.cdb[0] == 0x2A && r.cdb[5] == 27) return c.answer;
            return std::nullopt;
        };
        doneCalls = 0;
        ASSERT_TRUE(Burn());
        EXPECT_EQ(doneCalls, 1);
        EXPECT_EQ(doneError, c.text);
        EXPECT_EQ(drive->SentWith(0x2A).size(), c.writes);
        EXPECT_TRUE(Sent(0x35)) << "the drive's cache is synchronized";
        EXPECT_FALSE(Sent(0x5B)) << "nothing is closed";
        EXPECT_FALSE(Sent(0x1E)) << "the drive is not restored";
        EXPECT_EQ(burner->LastWriteError(), c.text);
    }
}

TEST_F(BurnerTest, CloseSessionRetriesWhileTheDriveIsBusy) {
    int busy = 5;
    drive->inject = [&](const SentRequest& r) -> std::optional<Answer> {
        if (r.cdb[0] == 0x5B && busy > 0) {
            --busy;
            return CheckCondition(2, 0x04, 0x07);
        }
        return std::nullopt;
    };
    ASSERT_TRUE(Burn());
    EXPECT_EQ(doneError, "");
    EXPECT_EQ(drive->SentWith(0x5B).size(), 6u);

    // A close that the drive refuses twice is no success.
    drive->inject = [&](const SentRequest& r) -> std::optional<Answer> {
        if (r.cdb[0] == 0x5B) return CheckCondition(5, 0x72, 0x03);
        return std::nullopt;
    };
    ASSERT_TRUE(Burn());
    EXPECT_EQ(drive->SentWith(0x5B).size(), 2u);
    EXPECT_EQ(
        doneError,
        "WRITER ERROR [ILLEGAL REQUEST (SESSION FIXATION ERROR - INCOMPLETE TRACK IN SESSION)]");
}

TEST_F(BurnerTest, MissingSourceFileEndsBeforeWriting) {
    burner->ResetImage(65535, 8191);
    ASSERT_EQ(burner->AddFile("/", source, false), 1);
    burner->PrepareImage(false, "");
    fs::remove(source);
    drive->sent.clear();
    EXPECT_FALSE(burner->BurnImage());
    EXPECT_EQ(doneCalls, 1);
    EXPECT_EQ(doneError, "CAN'T OPEN FILE \"" + source + "\" OR FILE IS IN USES BY OTHER SOFTWARE");
    EXPECT_EQ(dispatcher.calls, 0) << "raised on the calling thread";
    EXPECT_FALSE(Sent(0x2A));
    EXPECT_FALSE(burner->Burning());
}

TEST_F(BurnerTest, SourceShorterThanRecordedIsPaddedWithZeros) {
    burner->ResetImage(65535, 8191);
    ASSERT_EQ(burner->AddFile("/", source, false), 1);
    burner->PrepareImage(false, "");
    fs::resize_file(source, 50000); // the file shrank after it was added
    ASSERT_TRUE(burner->BurnImage());
    burner->WaitForBurn();
    EXPECT_EQ(doneError, "");
    std::vector<uint8_t> data;
    for (uint32_t s = 150; s < 150 + 49; ++s) {
        auto v = Sector(s);
        ASSERT_EQ(v.size(), 2048u) << s;
        data.insert(data.end(), v.begin(), v.end());
    }
    std::vector<uint8_t> expected(content.begin(), content.begin() + 50000);
    expected.resize(data.size(), 0);
    EXPECT_EQ(data, expected);
    EXPECT_EQ(burner->BytesWritten(), 300 * 2048);
}

TEST_F(BurnerTest, NextWritableAddressFailureIsReported) {
    drive->inject = [](const SentRequest& r) -> std::optional<Answer> {
        if (r.cdb[0] == 0x52) return CheckCondition(5, 0x24, 0x00);
        return std::nullopt;
    };
    uint32_t address = 99;
    EXPECT_FALSE(burner->NextWritableAddress(address));
    EXPECT_EQ(address, 0u);
    messages.clear();
    ASSERT_TRUE(Burn());
    bool reported = std::any_of(messages.begin(), messages.end(), [](auto& m) {
        return m.first == ">>> ERROR GETTING NEXT WRITABLE ADDRESS" && m.second == 0;
    });
    EXPECT_TRUE(reported);
    EXPECT_EQ(burner->Layout().NextWritableAddress, 0u);
}

TEST_F(BurnerTest, DvdMediaWriteWholeBlocksAndCloseByKind) {
    struct Close {
        uint8_t immediate, function;
        uint16_t track;
        bool operator==(const Close&) const = default;
    };
    struct Case {
        const char* name;
        uint16_t profile;
        std::vector<Close> closes;
        bool headerAtZero; // the descriptors also go to LBA 0 first
        bool formats;      // formatted before the burn
        bool reserves;     // a track of 320 sectors is reserved
    } cases[] = {
        {"DVD+R", 0x1B, {{0, 1, 1}, {0, 2, 0xFF}}, false, false, false},
        {"DVD+R DL", 0x2B, {{0, 1, 1}, {0, 2, 0}}, false, false, false},
        {"DVD-R", 0x11, {{0, 1, 1}, {0, 1, 2}, {0, 2, 3}}, false, false, true},
        {"DVD-RW", 0x14, {{1, 2, 0}}, true, true, false},
        {"DVD+RW", 0x1A, {{0, 3, 0xFF}}, true, false, false},
        {"DVD-RAM", 0x12, {}, true, false, false},
    };
    for (const Case& c : cases) {
        drive->profile = c.profile;
        drive->sectors.clear();
        doneError = "unset";
        ASSERT_TRUE(Burn()) << c.name;
        EXPECT_EQ(doneError, "") << c.name;
        std::vector<Close> closes;
        for (const auto& r : drive->SentWith(0x5B))
            closes.push_back({r.cdb[1], r.cdb[2], uint16_t(r.cdb[4] << 8 | r.cdb[5])});
        EXPECT_EQ(closes, c.closes) << c.name;
        auto writes = drive->SentWith(0x2A);
        size_t normal = 0;
        for (const auto& w : writes) {
            EXPECT_EQ(w.cdb[8], 32) << c.name << ": whole 32-sector blocks";
            EXPECT_EQ(w.dataLength, 65536u) << c.name;
        }
        normal = writes.size() - (c.headerAtZero ? 1 : 0);
        EXPECT_EQ(normal, 10u) << c.name << ": 300 sectors in blocks of 32";
        EXPECT_EQ(burner->BytesWritten(), 300 * 2048) << c.name;
        if (c.headerAtZero) {
            // The copy of the descriptors, then a flush, then the same first block normally.
            const auto& first = writes[0];
            EXPECT_EQ(
                std::string(reinterpret_cast<const char*>(first.dataOut.data()) + 16 * 2048 + 1, 5),
                "CD001")
                << c.name;
            EXPECT_EQ(first.dataOut.back(), 0xFF) << c.name << ": the copy is filled with FFh";
        }
        EXPECT_EQ(!drive->SentWith(0x04).empty(), c.formats) << c.name;
        auto reserve = drive->SentWith(0x53);
        EXPECT_EQ(!reserve.empty(), c.reserves) << c.name;
        if (c.reserves) {
            EXPECT_EQ(reserve[0].cdb[7] << 8 | reserve[0].cdb[8], 320) << c.name;
            EXPECT_FALSE(drive->SentWith(0xBF).empty()) << c.name << ": time stamp";
        }
        bool dvdLine = std::any_of(messages.begin(), messages.end(), [](auto& m) {
            return m.first.rfind(">>> STARTING WRITE PROCESS ON DVD", 0) == 0 &&
                   m.first.find("X (2,822 KB/s)") != std::string::npos;
        });
        EXPECT_TRUE(dvdLine) << c.name;
        messages.clear();
    }
}

TEST_F(BurnerTest, EveryCloseIsCheckedOnEveryMedium) {
    struct Case {
        const char* name;
        uint16_t profile;
        size_t closes; // close commands of a burn that goes well
    } cases[] = {{"CD-R", 0x09, 1},  {"DVD+R", 0x1B, 2},  {"DVD+R DL", 0x2B, 2},
                 {"DVD-R", 0x11, 3}, {"DVD-RW", 0x14, 1}, {"DVD+RW", 0x1A, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        drive->profile = c.profile;
        // A drive still writing out its buffer answers each close twice with "long write in
        // progress": it is asked again until it takes the close.
        std::map<std::vector<uint8_t>, int> refused;
        drive->inject = [&](const SentRequest& r) -> std::optional<Answer> {
            if (r.cdb[0] != 0x5B) return std::nullopt;
            if (refused[{r.cdb.begin(), r.cdb.begin() + 10}]++ < 2)
                return CheckCondition(2, 0x04, 0x08);
            return std::nullopt;
        };
        ASSERT_TRUE(Burn());
        EXPECT_EQ(doneError, "");
        EXPECT_EQ(drive->SentWith(0x5B).size(), 3 * c.closes);

        // A close the drive refuses for good is no success, and nothing more is closed.
        drive->inject = [&](const SentRequest& r) -> std::optional<Answer> {
            if (r.cdb[0] == 0x5B) return CheckCondition(5, 0x72, 0x00);
            return std::nullopt;
        };
        ASSERT_TRUE(Burn());
        EXPECT_EQ(doneError, "WRITER ERROR [ILLEGAL REQUEST (SESSION FIXATION ERROR)]");
        EXPECT_EQ(drive->SentWith(0x5B).size(), 2u) << "one more try, then the closes stop";
        EXPECT_TRUE(Sent(0x1E)) << "the drive is still returned to reading";
        drive->inject = nullptr;
    }
}

TEST_F(BurnerTest, TestWriteRecordsNothing) {
    burner->TestWrite = true;
    // Media without a test mode: refused before anything is written.
    for (uint16_t profile :
         {uint16_t(0x1B), uint16_t(0x1A), uint16_t(0x2B), uint16_t(0x12), uint16_t(0x13)}) {
        SCOPED_TRACE(profile);
        drive->profile = profile;
        messages.clear();
        doneCalls = 0;
        EXPECT_FALSE(Burn());
        EXPECT_EQ(doneCalls, 1);
        EXPECT_EQ(doneError.rfind("TEST/DUMMY WRITE NOT POSSIBLE ON ", 0), 0u) << doneError;
        EXPECT_NE(doneError.find("(NO TEST MODE)"), std::string::npos) << doneError;
        EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [&](auto& m) {
            return m.first == ">>> " + doneError && m.second == 0;
        }));
        for (uint8_t op : {0x2A, 0x04, 0x53, 0x5B, 0x35})
            EXPECT_FALSE(Sent(op)) << int(op);
    }
    // DVD-R and sequential DVD-RW have one: written with the test bit set, with no
    // reservation, no formatting and no copy of the descriptors at LBA 0.
    for (uint16_t profile : {uint16_t(0x11), uint16_t(0x14)}) {
        SCOPED_TRACE(profile);
        drive->profile = profile;
        drive->sectors.clear();
        ASSERT_TRUE(Burn());
        EXPECT_EQ(doneError, "");
        EXPECT_FALSE(Sent(0x53));
        EXPECT_FALSE(Sent(0x04));
        EXPECT_FALSE(Sent(0x5B));
        EXPECT_EQ(drive->SentWith(0x2A).size(), 10u)
            << "300 sectors in blocks of 32, no descriptor copy";
        auto selects = drive->SentWith(0x55);
        ASSERT_FALSE(selects.empty());
        EXPECT_EQ(selects[0].dataOut[8 + 2] & 0x10, 0x10) << "test write bit";
    }
    // A drive that cannot write in test mode would record for real.
    drive->profile = 0x09;
    drive->capsPage[3] &= ~0x04;
    burner->SelectDevice("0:0:0,E: X");
    EXPECT_FALSE(Burn());
    EXPECT_EQ(doneError, "TEST/DUMMY WRITE NOT SUPPORTED BY THE DRIVE");
    EXPECT_FALSE(Sent(0x2A));
}

TEST_F(BurnerTest, PreparingOnABlankDvdPlusRwEmitsNoLines) {
    // A blank DVD+RW refuses the reads that look for an earlier volume: that is its answer,
    // not a failure worth a line.
    burner->DoDebug = true;
    drive->profile = 0x1A;
    drive->inject = [](const SentRequest& r) -> std::optional<Answer> {
        if (r.cdb[0] == 0x28) return CheckCondition(5, 0x30, 0x10);
        return std::nullopt;
    };
    burner->ResetImage(65535, 8191);
    ASSERT_EQ(burner->AddFile("/", source, false), 1);
    messages.clear();
    burner->PrepareImage(false, "");
    EXPECT_TRUE(messages.empty()) << messages.front().first;
    ASSERT_TRUE(Burn());
    EXPECT_EQ(drive->SentWith(0x28).size(), 17u) << "sectors 32 down to 16 were asked";
    for (const auto& m : messages)
        EXPECT_EQ(m.first.rfind("<<< READ (10)", 0), std::string::npos) << m.first;
    EXPECT_EQ(doneError, "");
}

TEST_F(BurnerTest, BurnWithoutADriveIsNoSuccess) {
    burner->SelectDevice("");
    burner->ResetImage(65535, 8191);
    ASSERT_EQ(burner->AddFile("/", source, false), 1);
    burner->PrepareImage(true, "");
    drive->sent.clear();
    EXPECT_FALSE(burner->BurnImage());
    EXPECT_EQ(doneCalls, 1);
    EXPECT_EQ(doneError, "NO DEVICE");
    EXPECT_TRUE(drive->sent.empty());
}

TEST_F(BurnerTest, Properties) {
    EXPECT_EQ(burner->CacheSize(), 4194304);
    burner->SetCacheSize(1000);
    EXPECT_EQ(burner->CacheSize(), 2097152);
    burner->SetCacheSize(3000001);
    EXPECT_EQ(burner->CacheSize(), 3000001 - 3000001 % 2048);
    burner->SetVersion("2.0");
    EXPECT_EQ(burner->Version(), "1.22");
    EXPECT_FALSE(burner->Erasing());
    drive->sent.clear();
    burner->ReadSpeed = 1000;
    burner->SetWriteSpeed(1411);
    auto speed = drive->SentWith(0xBB);
    ASSERT_EQ(speed.size(), 1u);
    EXPECT_EQ(speed[0].cdb[2] << 8 | speed[0].cdb[3], 1000);
    EXPECT_EQ(speed[0].cdb[4] << 8 | speed[0].cdb[5], 1411);
    EXPECT_EQ(burner->WriteSpeed(), 1411);
}

} // namespace
