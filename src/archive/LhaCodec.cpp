// The byte layer, the copy method and the dispatch of one entry by method.
#include "archive/LhaCodec.h"

#include "archive/LhaCoders.h"

#include <algorithm>
#include <cstring>

namespace larderly {

std::string_view LhaMethodId(TLhaMethod method) {
    switch (method) {
    case colh0:
        return "-lh0-";
    case colh1:
        return "-lh1-";
    case colh5:
        return "-lh5-";
    case coRLE:
        return "-rle-";
    }
    return "-lh0-";
}

std::optional<TLhaMethod> LhaMethodFromId(std::string_view id) {
    for (TLhaMethod m : {colh0, colh1, colh5, coRLE})
        if (LhaMethodId(m) == id) return m;
    return std::nullopt;
}

int32_t LhaPercentage(int64_t done, int64_t total) {
    if (total <= 0) return 100;
    if (total <= 100000) return static_cast<int32_t>(done * 100 / total);
    return static_cast<int32_t>(done / (total / 100));
}

uint32_t TLhaCodecState::KeyFromPassword(const std::string& password) {
    if (password.empty()) return 0;
    uint32_t h = static_cast<uint8_t>(password[0]);
    for (size_t i = 1; i < password.size(); ++i)
        h *= static_cast<uint8_t>(password[i]);
    return h == 0 ? 0x5B2D7C19u : h;
}

void TLhaCodecState::Reset(int64_t inputSize, bool compress) {
    FInputRemaining = std::max<int64_t>(inputSize, 0);
    FChunkSize = kBufferSize;
    FInputCRC = 0;
    FOutputCRC = 0;
    FOutputSum = 0;
    FInputConsumed = 0;
    FEndOfInput = false;
    FReadPos = 0;
    FReadEnd = 0;
    FWritePos = 0;
    FOutputCount = 0;
    FOutputBudget = compress ? std::max<int64_t>(inputSize, 0) : INT32_MAX;
    FUnscrambleInput = false;
    FScrambleOutput = false;
    FKeyIndex = 0;
    FCheckInput = compress;
}

bool TLhaCodecState::Refill() {
    FEndOfInput = true;
    if (FInputRemaining <= 0) return false;
    FChunkSize = std::min(FChunkSize, FInputRemaining);
    const int64_t n = FInputStream->Read(FInput.get(), FChunkSize);
    if (n <= 0) {
        // The stream ended before the declared size: nothing more will come, so later
        // reads past the end do not ask the stream again.
        FInputRemaining = 0;
        return false;
    }
    FInputRemaining -= n;
    int32_t percentage = 0;
    if (OnShowProgress) {
        FInputConsumed += n;
        percentage = LhaPercentage(FInputConsumed, FInputConsumed + FInputRemaining);
        OnShowProgress(percentage);
    }
    if ((FAbortRequested && FAbortRequested->load(std::memory_order_relaxed)) || percentage == -1)
        throw ELhaOperationAborted();
    FEndOfInput = false;
    FReadPos = 0;
    FReadEnd = static_cast<int>(n);
    return true;
}

namespace {

// The plain sum of `count` bytes, eight at a time: the bytes are added in pairs into four
// 16-bit lanes, which are folded before they could overflow.
uint32_t ByteSum(const uint8_t* bytes, int64_t count) {
    constexpr uint64_t kLow = 0x00FF00FF00FF00FFull;
    uint32_t sum = 0;
    int64_t i = 0;
    while (count - i >= 8) {
        uint64_t lanes = 0;
        // 128 steps add at most 128 * 510 to a lane: below 65536.
        const int64_t stop = std::min<int64_t>(count & ~int64_t{7}, i + 8 * 128);
        for (; i < stop; i += 8) {
            uint64_t v;
            std::memcpy(&v, bytes + i, 8);
            lanes += (v & kLow) + ((v >> 8) & kLow);
        }
        sum += static_cast<uint32_t>((lanes & 0xFFFF) + ((lanes >> 16) & 0xFFFF) +
                                     ((lanes >> 32) & 0xFFFF) + (lanes >> 48));
    }
    for (; i < count; ++i)
        sum += bytes[i];
    return sum;
}

} // namespace

void TLhaCodecState::XorKey(uint8_t* bytes, int64_t count) {
    for (int64_t i = 0; i < count; ++i)
        bytes[i] ^= NextKeyByte();
}

int64_t TLhaCodecState::ReadBytes(uint8_t* to, int64_t count) {
    int64_t done = 0;
    while (done < count) {
        if (FReadPos == FReadEnd && !Refill()) break;
        const int64_t n = std::min<int64_t>(count - done, FReadEnd - FReadPos);
        const uint8_t* from = FInput.get() + FReadPos;
        // An expansion's check value is that of its output, so its input goes unchecked.
        if (FCheckInput) FInputCRC = Crc16(FInputCRC, from, static_cast<size_t>(n));
        std::memcpy(to + done, from, static_cast<size_t>(n));
        if (FUnscrambleInput) XorKey(to + done, n);
        FReadPos += static_cast<int>(n);
        done += n;
    }
    return done;
}

void TLhaCodecState::WriteBytes(const uint8_t* from, int64_t count) {
    while (count > 0) {
        if (FOutputBudget <= 0) throw EUnableToCompress();
        if (FWritePos == kBufferSize) FlushFull();
        const int64_t n = std::min({count, FOutputBudget, int64_t{kBufferSize - FWritePos}});
        uint8_t* to = FOutput.get() + FWritePos;
        std::memcpy(to, from, static_cast<size_t>(n));
        if (FScrambleOutput) XorKey(to, n);
        FOutputCRC = Crc16(FOutputCRC, to, static_cast<size_t>(n));
        FOutputSum += ByteSum(to, n);
        FOutputBudget -= n;
        FOutputCount += static_cast<uint32_t>(n);
        FWritePos += static_cast<int>(n);
        from += n;
        count -= n;
    }
}

void TLhaCodecState::FlushFull() {
    FOutputStream->WriteBuffer(FOutput.get(), FWritePos);
    FWritePos = 0;
}

void TLhaCodecState::CopyStored() {
    uint8_t chunk[kBufferSize];
    for (;;) {
        const int64_t n = ReadBytes(chunk, kBufferSize);
        WriteBytes(chunk, n);
        if (n < kBufferSize) return;
    }
}

TLhaCodeResult TLhaCodecState::CodeStream(TLhaCodeDirection direction, TLhaMethod method,
                                          TStream& input, TStream& output, int64_t inputSize,
                                          int64_t uncompressedSize, bool encrypted,
                                          const std::string& password, bool legacyPack) {
    const bool compress = direction == TLhaCodeDirection::Compress;
    // A handler answering -1 at the first report cancels the entry like any later
    // cancellation, so the container never records an entry that was not coded.
    if (OnShowProgress) {
        int32_t percentage = 0;
        OnShowProgress(percentage);
        if (percentage == -1) throw ELhaOperationAborted();
    }

    Reset(inputSize, compress);
    FInputStream = &input;
    FOutputStream = &output;
    FInput = std::make_unique<uint8_t[]>(kBufferSize);
    FOutput = std::make_unique<uint8_t[]>(kBufferSize);
    struct Release {
        TLhaCodecState* s;
        ~Release() {
            s->FInput.reset();
            s->FOutput.reset();
            s->FInputStream = nullptr;
            s->FOutputStream = nullptr;
        }
    } release{this};

    FKey = KeyFromPassword(password);
    if (compress)
        FScrambleOutput = FKey != 0;
    else
        FUnscrambleInput = FKey != 0 && encrypted;

    TLhaMethod used = method;
    if (compress) {
        switch (method) {
        case colh5:
            lha::Lh5Encode(*this);
            break;
        case colh1:
            lha::Lh1Encode(*this);
            break;
        case colh0:
            CopyStored();
            break;
        case coRLE:
            // There is no run-length encoder: such an entry is stored.
            used = colh0;
            CopyStored();
            break;
        }
    } else {
        switch (method) {
        case colh5:
            lha::Lh5Decode(*this, uncompressedSize);
            break;
        case colh1:
            lha::Lh1Decode(*this, uncompressedSize);
            break;
        case colh0:
            CopyStored();
            break;
        case coRLE:
            lha::RleDecode(*this);
            break;
        }
    }

    if (FWritePos > 0) output.WriteBuffer(FOutput.get(), FWritePos);
    FWritePos = 0;

    if (OnShowProgress) {
        int32_t percentage = 100;
        OnShowProgress(percentage);
    }

    TLhaCodeResult result;
    result.Count = FOutputCount;
    result.Method = used;
    if (compress)
        result.CheckValue = FInputCRC;
    else
        result.CheckValue = legacyPack ? static_cast<uint16_t>(FOutputSum) : FOutputCRC;
    return result;
}

} // namespace larderly
