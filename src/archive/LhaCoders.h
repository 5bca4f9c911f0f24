// The method coders run by TLhaCodecState::CodeStream. Each reads and writes only through
// the codec state's byte layer. Internal to the archive library.
#pragma once

#include "archive/LhaCodec.h"

#include <cstdint>

namespace larderly::lha {

// -lh5-: compresses the whole input.
void Lh5Encode(TLhaCodecState& io);
// -lh5-: produces exactly `uncompressedSize` bytes.
void Lh5Decode(TLhaCodecState& io, int64_t uncompressedSize);
// -lh1-: compresses the whole input.
void Lh1Encode(TLhaCodecState& io);
// -lh1-: produces exactly `uncompressedSize` bytes.
void Lh1Decode(TLhaCodecState& io, int64_t uncompressedSize);
// -rle-: expands until the packed input is used up.
void RleDecode(TLhaCodecState& io);

} // namespace larderly::lha
