/* A minimal ISO 9660 volume holding one file, laid out for a session that starts at a given
 * block (every address in it absolute), so a reader pointed at that session finds it. */
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace larderly::vdrive::test {

class MiniIso {
public:
    static constexpr uint32_t kBlocks = 22;

    // The session's blocks: system area, primary descriptor, terminator, path tables, root
    // directory, file data.
    static std::vector<uint8_t> Build(uint32_t base, const std::string& volumeId,
                                      const std::string& fileName, const std::string& content) {
        std::vector<uint8_t> img(kBlocks * 2048, 0);
        auto block = [&img](uint32_t n) { return &img[n * 2048]; };
        const uint32_t pathL = base + 18;
        const uint32_t pathM = base + 19;
        const uint32_t root = base + 20;
        const uint32_t file = base + 21;

        uint8_t* pvd = block(16);
        pvd[0] = 1;
        std::memcpy(pvd + 1, "CD001", 5);
        pvd[6] = 1;
        std::memset(pvd + 8, ' ', 64);
        std::memcpy(pvd + 40, volumeId.data(), volumeId.size());
        Both32(pvd + 80, base + kBlocks);
        Both16(pvd + 120, 1);
        Both16(pvd + 124, 1);
        Both16(pvd + 128, 2048);
        Both32(pvd + 132, 10);
        Le32(pvd + 140, pathL);
        Be32(pvd + 148, pathM);
        Record(pvd + 156, root, 2048, true, std::string(1, '\0'));
        std::memset(pvd + 190, ' ', 623);
        for (int at : {813, 830, 847, 864}) {
            std::memset(pvd + at, '0', 16);
            pvd[at + 16] = 0;
        }
        pvd[881] = 1;

        uint8_t* end = block(17);
        end[0] = 255;
        std::memcpy(end + 1, "CD001", 5);
        end[6] = 1;

        for (int which = 0; which < 2; ++which) {
            uint8_t* p = block(18 + which);
            p[0] = 1;
            if (which == 0) {
                Le32(p + 2, root);
                p[6] = 1;
            } else {
                Be32(p + 2, root);
                p[7] = 1;
            }
        }

        uint8_t* dir = block(20);
        size_t at = 0;
        at += Record(dir + at, root, 2048, true, std::string(1, '\0'));
        at += Record(dir + at, root, 2048, true, std::string(1, '\1'));
        Record(dir + at, file, static_cast<uint32_t>(content.size()), false, fileName + ";1");

        std::memcpy(block(21), content.data(), std::min<size_t>(content.size(), 2048));
        return img;
    }

private:
    static void Le32(uint8_t* p, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
    static void Be32(uint8_t* p, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
    }
    static void Both32(uint8_t* p, uint32_t v) {
        Le32(p, v);
        Be32(p + 4, v);
    }
    static void Both16(uint8_t* p, uint16_t v) {
        p[0] = static_cast<uint8_t>(v);
        p[1] = static_cast<uint8_t>(v >> 8);
        p[2] = static_cast<uint8_t>(v >> 8);
        p[3] = static_cast<uint8_t>(v);
    }
    // A directory record; returns its length.
    static size_t Record(uint8_t* r, uint32_t extent, uint32_t size, bool directory,
                         const std::string& name) {
        const size_t length = (33 + name.size() + 1) / 2 * 2;
        r[0] = static_cast<uint8_t>(length);
        Both32(r + 2, extent);
        Both32(r + 10, size);
        r[18] = 126; // 2026
        r[19] = 1;
        r[20] = 1;
        r[25] = directory ? 2 : 0;
        Both16(r + 28, 1);
        r[32] = static_cast<uint8_t>(name.size());
        std::memcpy(r + 33, name.data(), name.size());
        return length;
    }
};

} // namespace larderly::vdrive::test
