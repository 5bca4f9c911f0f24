// Placeholders for the coders still being written.
#include "archive/LhaCoders.h"

namespace larderly::lha {
void Lh5Encode(TLhaCodecState&) { throw EUnableToCompress(); }
void Lh5Decode(TLhaCodecState&, int64_t) { throw ELZHBadDecodeTable(); }
void Lh1Encode(TLhaCodecState&) { throw EUnableToCompress(); }
void Lh1Decode(TLhaCodecState&, int64_t) { throw ELZHBadDecodeTable(); }
void RleDecode(TLhaCodecState&) {}
} // namespace larderly::lha
