// The coding core of the archive engine: TLhaCodecState holds the byte layer shared by
// every method (buffered input and output, CRC-16, progress, cancellation, output budget,
// scrambling) and dispatches one entry to its coder through CodeStream.
#pragma once

#include "archive/Crc16.h"
#include "archive/LhaTypes.h"
#include "archive/Streams.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace larderly {

enum class TLhaCodeDirection { Compress, Expand };

// What CodeStream hands back for one entry.
struct TLhaCodeResult {
    // Bytes written to the output stream (the packed size after compression).
    uint32_t Count = 0;
    // The entry's check value: the CRC-16 of the bytes read after compression; the CRC-16
    // of the bytes written after expansion, or the low 16 bits of their sum in legacy-pack
    // mode.
    uint16_t CheckValue = 0;
    // The method the data was actually coded with. Compressing with coRLE stores the entry
    // instead (there is no run-length encoder), so this is colh0 then; the container writes
    // this method's id into the header.
    TLhaMethod Method = colh0;
};

class TLhaCodecState {
public:
    static constexpr int kBufferSize = 8192;

    TLhaCodecState() = default;
    // `abortRequested` is the owner's cancel flag, checked at every input refill; it must
    // outlive this object.
    explicit TLhaCodecState(const std::atomic<bool>& abortRequested)
        : FAbortRequested(&abortRequested) {}
    TLhaCodecState(const TLhaCodecState&) = delete;
    TLhaCodecState& operator=(const TLhaCodecState&) = delete;

    // The owner's progress event (percentage within the current entry).
    TLhaShowProgressEvent OnShowProgress;
    void SetAbortRequested(const std::atomic<bool>* abortRequested) {
        FAbortRequested = abortRequested;
    }

    // Codes one entry from `input` (positioned where the data starts) to `output`.
    // inputSize: compress, the size of the source file; expand, the packed size.
    // uncompressedSize: expand only, the number of bytes to produce.
    // encrypted: expand only, bit 7 of the header's level byte.
    // legacyPack: expand only, the archive is a legacy-pack archive (check value = byte sum).
    // Raises EUnableToCompress (compression would not shrink the data), ELhaOperationAborted
    // (cancelled, also when the progress handler answers -1 at 0 %), ELZHBadDecodeTable and
    // the streams' own errors.
    TLhaCodeResult CodeStream(TLhaCodeDirection direction, TLhaMethod method, TStream& input,
                              TStream& output, int64_t inputSize, int64_t uncompressedSize = 0,
                              bool encrypted = false, const std::string& password = {},
                              bool legacyPack = false);

    // The scrambling key of a password: the product of the character codes, kept to 32
    // bits; 0 (no scrambling) for an empty password, 0x5B2D7C19 for a product of 0.
    static uint32_t KeyFromPassword(const std::string& password);

    // --- Byte layer, used by the coders ---

    // Whether the last read found nothing more.
    bool EndOfInput() const { return FEndOfInput; }

    // Reads one input byte; at the end of the input returns 0 with EndOfInput() true.
    uint8_t ReadByte() {
        if (FReadPos == FReadEnd && !Refill()) return 0;
        uint8_t b = FInput[FReadPos++];
        FInputCRC = Crc16Update(FInputCRC, b);
        if (FUnscrambleInput) b ^= NextKeyByte();
        return b;
    }

    // Writes one output byte; raises EUnableToCompress once the budget is spent.
    void WriteByte(uint8_t b) {
        if (FOutputBudget <= 0) throw EUnableToCompress();
        --FOutputBudget;
        if (FWritePos == kBufferSize) FlushFull();
        if (FScrambleOutput) b ^= NextKeyByte();
        FOutput[FWritePos++] = b;
        FOutputCRC = Crc16Update(FOutputCRC, b);
        FOutputSum += b;
        ++FOutputCount;
    }

    // Reads up to `count` bytes to `to`, refilling as often as needed; as many single
    // ReadByte calls would, but a buffer at a time. Returns how many came: fewer than asked
    // only at the end of the input (EndOfInput() is then true).
    int64_t ReadBytes(uint8_t* to, int64_t count);

    // Writes `count` bytes as many WriteByte calls would, a buffer at a time: the bytes
    // within the budget are stored, then EUnableToCompress is raised for the rest.
    void WriteBytes(const uint8_t* from, int64_t count);

private:
    uint8_t NextKeyByte() {
        const uint8_t k = static_cast<uint8_t>(FKey >> (8 * FKeyIndex));
        FKeyIndex = (FKeyIndex + 1) & 3;
        return k;
    }
    void XorKey(uint8_t* bytes, int64_t count);
    bool Refill();
    void FlushFull();
    void Reset(int64_t inputSize, bool compress);
    void CopyStored();

    // The byte layer's state, reset for every entry.
    int64_t FInputRemaining = 0; // bytes of the input not yet read from the stream
    int64_t FChunkSize = kBufferSize;
    int64_t FInputConsumed = 0; // bytes read so far, for progress
    bool FEndOfInput = false;   // the last read found nothing more
    int64_t FOutputBudget = 0;  // bytes that may still be written
    uint32_t FOutputCount = 0;  // bytes written
    uint16_t FInputCRC = 0;     // CRC-16 of the bytes read (before unscrambling)
    bool FCheckInput = true;    // whether ReadBytes keeps FInputCRC (compression only)
    uint16_t FOutputCRC = 0;    // CRC-16 of the bytes written (after scrambling)
    uint32_t FOutputSum = 0;    // plain sum of the bytes written
    bool FUnscrambleInput = false;
    bool FScrambleOutput = false;
    uint32_t FKey = 0; // scrambling key; its bytes are used little-endian
    int FKeyIndex = 0;

    const std::atomic<bool>* FAbortRequested = nullptr;
    TStream* FInputStream = nullptr;
    TStream* FOutputStream = nullptr;
    std::unique_ptr<uint8_t[]> FInput;
    std::unique_ptr<uint8_t[]> FOutput;
    int FReadPos = 0;
    int FReadEnd = 0;
    int FWritePos = 0;
};

} // namespace larderly
