// Bit writer and bit reader over the codec state's byte layer, most significant bit first.
// Internal to the archive library.
#pragma once

#include "archive/LhaCodec.h"
#include "archive/LhaExceptions.h"

#include <cstdint>

namespace larderly::lha {

// Collects bits and hands them to the byte layer a few hundred bytes at a time; Finish
// hands over the rest. Bits that do not fill a last byte are dropped by Finish (the -lh5-
// stream ends with at most 7 padding bits, the -lh1- stream pads its last byte with zeros
// through FlushPartial first).
class BitWriter {
public:
    explicit BitWriter(TLhaCodecState& io) : FIo(io) {}

    // Appends the low `n` bits of `value` (n <= 32).
    void PutBits(int n, uint32_t value) {
        FAcc = (FAcc << n) | (value & ((uint64_t(1) << n) - 1));
        FCount += n;
        if (FCount >= 32) {
            FCount -= 32;
            const uint32_t word = static_cast<uint32_t>(FAcc >> FCount);
            FBytes[FLength] = static_cast<uint8_t>(word >> 24);
            FBytes[FLength + 1] = static_cast<uint8_t>(word >> 16);
            FBytes[FLength + 2] = static_cast<uint8_t>(word >> 8);
            FBytes[FLength + 3] = static_cast<uint8_t>(word);
            FLength += 4;
            if (FLength == kCapacity) Hand();
        }
    }
    // Pads a last incomplete byte with zero bits, if there is one.
    void FlushPartial() {
        if (FCount % 8 != 0) PutBits(8 - FCount % 8, 0);
    }
    // Hands every complete byte to the byte layer.
    void Finish() {
        while (FCount >= 8) {
            FCount -= 8;
            FBytes[FLength++] = static_cast<uint8_t>(FAcc >> FCount);
        }
        Hand();
    }

private:
    static constexpr int kCapacity = 512;
    void Hand() {
        const int n = FLength;
        FLength = 0;
        FIo.WriteBytes(FBytes, n);
    }

    TLhaCodecState& FIo;
    uint64_t FAcc = 0;
    int FCount = 0; // bits pending in the low end of FAcc (0..31 between calls)
    int FLength = 0;
    uint8_t FBytes[kCapacity + 4];
};

// Reads bits ahead from the byte layer into a 64-bit window; past the end of the input
// every bit is zero.
class BitReader {
public:
    explicit BitReader(TLhaCodecState& io) : FIo(io) {}

    // The next 16 bits without taking them.
    uint32_t Peek16() {
        if (FCount < 16) Fill();
        return static_cast<uint32_t>(FAcc >> 48);
    }
    void Drop(int n) {
        if (FCount < n) Fill();
        FAcc <<= n;
        FCount -= n;
    }
    // Whether bits past the end of the input have been taken: the data ended before the
    // decoder was done with it, so it is damaged.
    bool PastEnd() const { return FPastEnd * 8 > FCount; }
    // Ends the decoding of data found damaged that way; without this, a few damaged bytes
    // that declare a large size would expand into that much garbage.
    void CheckNotPastEnd() const {
        if (PastEnd()) throw ELhaBadCRC();
    }
    // Takes `n` bits (n <= 32) as an unsigned number.
    uint32_t GetBits(int n) {
        if (n == 0) return 0;
        if (FCount < n) Fill();
        const uint32_t v = static_cast<uint32_t>(FAcc >> (64 - n));
        FAcc <<= n;
        FCount -= n;
        return v;
    }

private:
    void Fill() {
        while (FCount <= 56) {
            const uint64_t b = FIo.ReadByte();
            if (FIo.EndOfInput()) ++FPastEnd;
            FAcc |= b << (56 - FCount);
            FCount += 8;
        }
    }

    TLhaCodecState& FIo;
    uint64_t FAcc = 0;
    int FCount = 0;
    int64_t FPastEnd = 0; // zero bytes supplied after the end of the input
};

} // namespace larderly::lha
