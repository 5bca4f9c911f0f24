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
    // The entry's check value: InputCRC after compression; OutputCRC after expansion, or
    // the low 16 bits of OutputSum in legacy-pack mode.
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

    // --- Byte layer, read back by the container after a call ---
    int64_t InputRemaining = 0; // bytes of the input not yet read from the stream
    int64_t ChunkSize = kBufferSize;
    int64_t InputConsumed = 0;  // bytes read so far, for progress
    bool EndOfInput = false;    // the last read found nothing more
    int64_t OutputBudget = 0;   // bytes that may still be written
    uint32_t OutputCount = 0;   // bytes written
    uint16_t InputCRC = 0;      // CRC-16 of the bytes read (before unscrambling)
    uint16_t OutputCRC = 0;     // CRC-16 of the bytes written (after scrambling)
    uint32_t OutputSum = 0;     // plain sum of the bytes written
    bool UnscrambleInput = false;
    bool ScrambleOutput = false;
    uint32_t Key = 0;           // scrambling key; its bytes are used little-endian
    int KeyIndex = 0;

    // --- Byte layer, used by the coders ---

    // Reads one input byte; at the end of the input returns 0 with EndOfInput set.
    uint8_t ReadByte() {
        if (FReadPos == FReadEnd && !Refill()) return 0;
        uint8_t b = FInput[FReadPos++];
        InputCRC = Crc16Update(InputCRC, b);
        if (UnscrambleInput) b ^= NextKeyByte();
        return b;
    }

    // Writes one output byte; raises EUnableToCompress once the budget is spent.
    void WriteByte(uint8_t b) {
        if (OutputBudget <= 0) throw EUnableToCompress();
        --OutputBudget;
        if (FWritePos == kBufferSize) FlushFull();
        if (ScrambleOutput) b ^= NextKeyByte();
        FOutput[FWritePos++] = b;
        OutputCRC = Crc16Update(OutputCRC, b);
        OutputSum += b;
        ++OutputCount;
    }

private:
    uint8_t NextKeyByte() {
        const uint8_t k = static_cast<uint8_t>(Key >> (8 * KeyIndex));
        KeyIndex = (KeyIndex + 1) & 3;
        return k;
    }
    bool Refill();
    void FlushFull();
    void Reset(int64_t inputSize, bool compress);
    void CopyStored();

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
