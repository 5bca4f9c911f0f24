/* Test harness for the simulated writer: loads libvirtualdrive.so from the build's program
 * folder with dlopen, points it at a disc image in a fresh temporary folder, and sends raw
 * request blocks (CDB in, data and sense out). */
#pragma once

#include "burn/AspiAbi.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

namespace larderly::vdrive::test {

// One loaded copy of the library.
class Library {
public:
    Library() {
        const std::string path = std::string(LARDERLY_BIN_DIR) + "/libvirtualdrive.so";
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) {
            ADD_FAILURE() << "cannot load " << path << ": " << dlerror();
            return;
        }
        supportInfo_ =
            reinterpret_cast<GetASPI32SupportInfoFn>(dlsym(handle_, "GetASPI32SupportInfo"));
        send_ = reinterpret_cast<SendASPI32CommandFn>(dlsym(handle_, "SendASPI32Command"));
        EXPECT_NE(supportInfo_, nullptr);
        EXPECT_NE(send_, nullptr);
    }
    ~Library() {
        if (handle_ != nullptr) {
            dlclose(handle_);
        }
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    uint32_t SupportInfo() const { return supportInfo_(); }
    uint32_t Send(void* srb) const { return send_(srb); }

private:
    void* handle_ = nullptr;
    GetASPI32SupportInfoFn supportInfo_ = nullptr;
    SendASPI32CommandFn send_ = nullptr;
};

// A completion event that counts its signals.
struct CountingEvent : AspiEvent {
    std::atomic<int> count{0};
    CountingEvent() {
        signal = [](AspiEvent* self) { static_cast<CountingEvent*>(self)->count++; };
    }
};

struct Answer {
    uint8_t status = 0;
    uint8_t haStat = 0;
    uint8_t targStat = 0;
    uint8_t senseKey = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
    std::vector<uint8_t> data;
    std::vector<uint8_t> sense;

    bool Good() const { return status == SS_COMP && targStat == STATUS_GOOD; }
    // "KK/AA/QQ" of a CHECK CONDITION, "" when the command did not fail that way.
    std::string Sense() const {
        if (targStat != STATUS_CHKCOND) {
            return "";
        }
        char text[16];
        std::snprintf(text, sizeof text, "%02X/%02X/%02X", senseKey, asc, ascq);
        return text;
    }
    uint32_t Be16(size_t at) const {
        return static_cast<uint32_t>(data.at(at) << 8 | data.at(at + 1));
    }
    uint32_t Be32(size_t at) const {
        return static_cast<uint32_t>(data.at(at)) << 24 |
               static_cast<uint32_t>(data.at(at + 1)) << 16 |
               static_cast<uint32_t>(data.at(at + 2)) << 8 | data.at(at + 3);
    }
};

inline void PutBe32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// Environment of one drive and a temporary folder for its image; everything is removed and
// unset at the end.
class DriveTest : public ::testing::Test {
protected:
    void SetUp() override {
        char templ[] = "/tmp/vdrive-test-XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        dir_ = templ;
        image_ = dir_ + "/disc.img";
        unsetenv("LARDERLY_VDRIVE_MEDIA");
        unsetenv("LARDERLY_VDRIVE_CAPACITY");
        unsetenv("LARDERLY_VDRIVE_FAULTS");
        setenv("LARDERLY_VDRIVE_IMAGE", image_.c_str(), 1);
        lib_ = std::make_unique<Library>();
    }
    void TearDown() override {
        lib_.reset();
        unsetenv("LARDERLY_VDRIVE_IMAGE");
        unsetenv("LARDERLY_VDRIVE_MEDIA");
        unsetenv("LARDERLY_VDRIVE_CAPACITY");
        unsetenv("LARDERLY_VDRIVE_FAULTS");
        std::filesystem::remove_all(dir_);
    }

    void Media(const char* token) { setenv("LARDERLY_VDRIVE_MEDIA", token, 1); }
    void Faults(const char* list) { setenv("LARDERLY_VDRIVE_FAULTS", list, 1); }
    void Capacity(const char* sectors) { setenv("LARDERLY_VDRIVE_CAPACITY", sectors, 1); }
    void Reload() {
        lib_.reset();
        lib_ = std::make_unique<Library>();
    }
    std::string StateText() const {
        std::ifstream in(image_ + ".state");
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // Sends one command: data in (inLength > 0), data out (out not empty) or none.
    Answer Run(std::initializer_list<uint8_t> cdb, uint32_t inLength = 0,
               const std::vector<uint8_t>& out = {}, AspiEvent* event = nullptr) {
        return RunCdb(std::vector<uint8_t>(cdb), inLength, out, event);
    }
    Answer RunCdb(const std::vector<uint8_t>& cdb, uint32_t inLength = 0,
                  const std::vector<uint8_t>& out = {}, AspiEvent* event = nullptr) {
        SRB_ExecSCSICmd srb{};
        std::vector<uint8_t> buffer = out.empty() ? std::vector<uint8_t>(inLength, 0) : out;
        srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
        srb.SRB_Flags =
            static_cast<uint8_t>((out.empty() ? (inLength > 0 ? SRB_DIR_IN : 0) : SRB_DIR_OUT) |
                                 (event != nullptr ? SRB_EVENT_NOTIFY : 0));
        srb.SRB_PostProc = event;
        srb.SRB_BufLen = static_cast<uint32_t>(buffer.size());
        srb.SRB_BufPointer = buffer.empty() ? nullptr : buffer.data();
        srb.SRB_SenseLen = 24;
        srb.SRB_CDBLen = static_cast<uint8_t>(cdb.size());
        std::memcpy(srb.CDBByte, cdb.data(), cdb.size());
        lib_->Send(&srb);
        Answer a;
        a.status = srb.SRB_Status;
        a.haStat = srb.SRB_HaStat;
        a.targStat = srb.SRB_TargStat;
        a.senseKey = srb.SenseArea[2] & 0x0F;
        a.asc = srb.SenseArea[12];
        a.ascq = srb.SenseArea[13];
        a.sense.assign(srb.SenseArea, srb.SenseArea + 24);
        if (out.empty()) {
            a.data = buffer;
        }
        return a;
    }

    // Frequent commands, laid out as the burn engine sends them.
    Answer TestUnitReady() { return Run({0x00, 0, 0, 0, 0, 0}); }
    Answer DiscInfo() { return Run({0x51, 0, 0, 0, 0, 0, 0, 0, 56, 0}, 56); }
    Answer TrackInfo(uint32_t track) {
        std::vector<uint8_t> cdb{0x52, 0x01, 0, 0, 0, 0, 0, 0, 40, 0};
        PutBe32(&cdb[2], track);
        return RunCdb(cdb, 40);
    }
    Answer Write(uint32_t lba, uint16_t blocks, uint8_t fill = 0xA5) {
        std::vector<uint8_t> data(blocks * 2048u, fill);
        return WriteData(lba, data);
    }
    Answer WriteData(uint32_t lba, const std::vector<uint8_t>& data) {
        const uint16_t blocks = static_cast<uint16_t>(data.size() / 2048);
        std::vector<uint8_t> cdb{
            0x2A, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(blocks >> 8), static_cast<uint8_t>(blocks),
            0};
        PutBe32(&cdb[2], lba);
        return RunCdb(cdb, 0, data);
    }
    Answer Read(uint32_t lba, uint16_t blocks) {
        std::vector<uint8_t> cdb{
            0x28, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(blocks >> 8), static_cast<uint8_t>(blocks),
            0};
        PutBe32(&cdb[2], lba);
        return RunCdb(cdb, blocks * 2048u);
    }
    Answer SyncCache() { return Run({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}); }
    Answer Close(uint8_t function, uint16_t track, bool immediate = false) {
        return Run({0x5B, static_cast<uint8_t>(immediate ? 1 : 0), function, 0,
                    static_cast<uint8_t>(track >> 8), static_cast<uint8_t>(track), 0, 0, 0, 0});
    }
    // The write parameters page as the engine sends it: 8-byte header and 52-byte page.
    Answer WriteParameters(uint8_t byte2, uint8_t byte3, uint8_t blockType = 8,
                           uint8_t linkSize = 0) {
        std::vector<uint8_t> list(60, 0);
        list[8] = 0x05;
        list[9] = 0x32;
        list[10] = byte2;
        list[11] = byte3;
        list[12] = blockType;
        list[13] = linkSize;
        list[23] = 150;
        return Run({0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, 0, list);
    }
    // Writes `blocks` blocks from `lba` in pieces of `chunk`, each block filled with `fill`.
    void WriteTrack(uint32_t lba, uint32_t blocks, uint8_t fill, uint16_t chunk = 27) {
        for (uint32_t done = 0; done < blocks;) {
            const uint16_t n = static_cast<uint16_t>(std::min<uint32_t>(chunk, blocks - done));
            const Answer a = Write(lba + done, n, fill);
            ASSERT_TRUE(a.Good()) << "write at " << lba + done << ": " << a.Sense();
            done += n;
        }
    }

    std::string dir_;
    std::string image_;
    std::unique_ptr<Library> lib_;
};

} // namespace larderly::vdrive::test
