// Types shared by the archive engine's codecs and container: the entry methods with their
// 5-byte ids, the progress event and the exceptions the codecs raise.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace larderly {

// Entry coding methods, numbered as stored in the segment scan file.
enum TLhaMethod : uint8_t { colh0 = 0, colh1 = 1, colh5 = 2, coRLE = 3 };

// The 5-byte method id written into entry headers ("-lh5-").
std::string_view LhaMethodId(TLhaMethod method);
// The method of a 5-byte id, or nothing for an id the engine cannot code.
std::optional<TLhaMethod> LhaMethodFromId(std::string_view id);

// Progress within the current entry. The handler may set PercentageDone to -1 to cancel.
using TLhaShowProgressEvent = std::function<void(int32_t& PercentageDone)>;

// Percentage of `done` in `total`: 100 for an empty total, and computed so that no
// product leaves 32 bits (totals above 100000 are divided by 100 first).
int32_t LhaPercentage(int64_t done, int64_t total);

// Base of every archive engine failure; each failure has its own class and fixed text.
class ELhaException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The coded data would grow past the input: the entry is stored with -lh0- instead.
class EUnableToCompress : public ELhaException {
public:
    EUnableToCompress() : ELhaException("Could not compress data, will store instead") {}
};

// The user (AbortRequested or the progress handler answering -1) cancelled the coding.
class ELhaOperationAborted : public ELhaException {
public:
    ELhaOperationAborted() : ELhaException("Operation cancelled") {}
};

// A -lh5- block whose code lengths do not form a complete code, or that declares more
// lengths than the code has.
class ELZHBadDecodeTable : public ELhaException {
public:
    ELZHBadDecodeTable() : ELhaException("Bad decode table in archive!") {}
};

} // namespace larderly
