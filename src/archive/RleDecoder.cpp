// The run-length method "-rle-" of legacy-pack archives (expansion only): byte 0x94 is
// the marker; marker + count repeats the previous byte, marker + 0 is the marker itself.
#include "archive/LhaCoders.h"

namespace larderly::lha {

void RleDecode(TLhaCodecState& io) {
    constexpr uint8_t kMarker = 0x94;
    uint8_t previous = 0;
    for (;;) {
        const uint8_t b = io.ReadByte();
        if (io.EndOfInput()) return;
        if (b != kMarker) {
            io.WriteByte(b);
            previous = b;
            continue;
        }
        // A marker as the very last byte reads a count of 0 and so stands for itself.
        const uint8_t count = io.ReadByte();
        if (count == 0) {
            io.WriteByte(kMarker);
        } else {
            for (int i = 1; i < count; ++i)
                io.WriteByte(previous);
        }
        previous = kMarker;
    }
}

} // namespace larderly::lha
