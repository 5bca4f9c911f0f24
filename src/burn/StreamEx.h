// Streams with 64-bit positions for the burn engine: the abstract TStreamEx, THandleStreamEx
// over an operating-system file descriptor, TFileStreamEx that opens a file by name, and
// TMemoryStreamEx, the in-memory stream that holds an image's header.
#pragma once

#include "platform/FileModes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace larderly {

class TStreamEx {
public:
    virtual ~TStreamEx() = default;

    // Sets the stream's size; the position is left where it was unless it lay beyond the end.
    virtual void SetSize(int64_t newSize) = 0;
    // Reads up to count bytes; returns the number read (0 at the end or on failure).
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    // Writes count bytes; returns the number written (0 on failure).
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // origin 0 = from the start, 1 = from the current position, 2 = from the end.
    // Returns the new position, or -1 on failure.
    virtual int64_t Seek(int64_t offset, int origin) = 0;

    int64_t Position() { return Seek(0, 1); }
    void SetPosition(int64_t pos) { Seek(pos, 0); }
    // Found by seeking to the end and back to where the stream was.
    int64_t Size();
};

// A stream over a file descriptor. It does not own the descriptor.
class THandleStreamEx : public TStreamEx {
public:
    explicit THandleStreamEx(int handle) : FHandle(handle) {}

    void SetSize(int64_t newSize) override; // throws std::runtime_error when truncation fails
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, int origin) override;

    int Handle() const { return FHandle; }
    // errno of the last read or write that failed, 0 when none did.
    int LastError() const { return FLastError; }

protected:
    int FHandle;
    int FLastError = 0;
};

// A file opened by name. fmCreate creates or truncates it; any other mode opens it with that
// access. Exclusive sharing takes an advisory lock. Opening failures throw std::runtime_error
// naming the file; destroying the stream closes a valid descriptor.
class TFileStreamEx : public THandleStreamEx {
public:
    TFileStreamEx(const std::string& fileName, uint32_t mode);
    ~TFileStreamEx() override;
    TFileStreamEx(const TFileStreamEx&) = delete;
    TFileStreamEx& operator=(const TFileStreamEx&) = delete;

    const std::string& FileName() const { return FFileName; }

private:
    std::string FFileName;
};

// A growable in-memory stream. SetSize(0) releases its memory.
class TMemoryStreamEx : public TStreamEx {
public:
    void SetSize(int64_t newSize) override;
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, int origin) override;

    const std::vector<uint8_t>& Data() const { return FData; }
    void Clear() { SetSize(0); }

private:
    std::vector<uint8_t> FData;
    int64_t FPosition = 0;
};

} // namespace larderly
