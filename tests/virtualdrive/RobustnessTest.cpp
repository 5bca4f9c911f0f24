/* Arbitrary command blocks with arbitrary buffers: the drive answers each one without
 * touching memory outside the buffers it was given (checked under the sanitizers), and the
 * disc state it leaves behind can always be read again. */
#include "DriveHarness.h"

#include <random>

namespace larderly::vdrive::test {
namespace {

using RobustnessTest = DriveTest;

#ifndef VDRIVE_SEED
#define VDRIVE_SEED 12345
#endif
constexpr unsigned kSeed = VDRIVE_SEED;

TEST_F(RobustnessTest, RandomCommandBlocksLeaveAReadableDisc) {
    const uint8_t opcodes[] = {0x00, 0x03, 0x04, 0x12, 0x1B, 0x1E, 0x25, 0x28, 0x2A,
                               0x35, 0x43, 0x46, 0x4A, 0x51, 0x52, 0x53, 0x54, 0x55,
                               0x5A, 0x5B, 0x5C, 0xA1, 0xB6, 0xBB, 0xBF, 0x99};
    for (const char* media : {"cdr", "dvdr", "dvd+rw", "dvdrw"}) {
        Media(media);
        std::mt19937 random(kSeed);
        for (int i = 0; i < 3000; ++i) {
            std::vector<uint8_t> cdb(random() % 2 ? 10 : 12);
            for (uint8_t& b : cdb) {
                b = static_cast<uint8_t>(random());
            }
            cdb[0] = opcodes[random() % sizeof opcodes];
            // Keep transfer lengths small so the test stays quick.
            if (cdb[0] == 0x28 || cdb[0] == 0x2A) {
                cdb[7] = 0;
                cdb[8] &= 0x1F;
                if (random() % 2) {
                    PutBe32(&cdb[2], random() % 2000);
                }
            }
            const uint32_t length = random() % 3 == 0 ? 0 : random() % 70000;
            if (cdb[0] == 0x2A || cdb[0] == 0x55 || cdb[0] == 0xB6 || cdb[0] == 0x04 ||
                cdb[0] == 0xBF) {
                std::vector<uint8_t> out(length + 1);
                for (uint8_t& b : out) {
                    b = static_cast<uint8_t>(random());
                }
                out.resize(length);
                if (!out.empty()) {
                    RunCdb(cdb, 0, out);
                    continue;
                }
            }
            RunCdb(cdb, length);
        }
        Reload();
        EXPECT_NE(TestUnitReady().Sense(), "03/30/01") << media;
        EXPECT_NE(DiscInfo().Sense(), "03/30/01") << media;
        lib_.reset();
        std::filesystem::remove(image_);
        std::filesystem::remove(image_ + ".state");
        lib_ = std::make_unique<Library>();
    }
}

} // namespace
} // namespace larderly::vdrive::test
