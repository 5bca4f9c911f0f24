// Compresses arbitrary bytes with -lh5- and -lh1- and expands them again: the result must
// be the input, with matching check values.
#include "archive/LhaCodec.h"
#include "archive/Streams.h"

#include <cstddef>
#include <cstdint>
#include <vector>

using namespace larderly;

static void RoundTrip(TLhaMethod method, const std::vector<uint8_t>& input) {
    TLhaCodecState state;
    TMemoryStream in(input);
    TMemoryStream packed;
    // A generous budget so that incompressible input is coded too.
    const auto c = state.CodeStream(TLhaCodeDirection::Compress, method, in, packed,
                                    static_cast<int64_t>(input.size()) * 2 + 64);
    packed.SetPosition(0);
    TMemoryStream out;
    const auto e = state.CodeStream(TLhaCodeDirection::Expand, method, packed, out, packed.Size(),
                                    static_cast<int64_t>(input.size()));
    if (out.Bytes() != input || c.CheckValue != e.CheckValue) __builtin_trap();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // Repeat the input a few times so that long matches and the window edge are reached.
    std::vector<uint8_t> input(data + 1, data + size);
    const int copies = 1 + data[0] % 8;
    for (int i = 1; i < copies; ++i)
        input.insert(input.end(), data + 1, data + size);
    RoundTrip(colh5, input);
    RoundTrip(colh1, input);
    return 0;
}
