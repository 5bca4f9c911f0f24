// Byte streams the archive engine reads and writes: an abstract TStream over 64-bit
// positions, a file stream on a POSIX descriptor and a growable memory stream, plus the
// stream errors they raise.
#pragma once

#include "platform/FileModes.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace larderly {

// Base of every stream failure.
class EStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A read that could not deliver the bytes asked for ("Stream read error").
class EReadError : public EStreamError {
public:
    EReadError() : EStreamError("Stream read error") {}
    using EStreamError::EStreamError;
};

// A write that could not store every byte ("Stream write error").
class EWriteError : public EStreamError {
public:
    EWriteError() : EStreamError("Stream write error") {}
    using EStreamError::EStreamError;
};

// A file that could not be opened ("Cannot open file <path>").
class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

// A file that could not be created ("Cannot create file <path>").
class EFCreateError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
    virtual ~TStream() = default;

    // Reads up to `count` bytes; returns how many were read (0 at the end).
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    // Writes up to `count` bytes; returns how many were written.
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // Moves the position; returns the new position from the start.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    // Cuts or extends the stream to `size` bytes.
    virtual void SetSize(int64_t size) = 0;

    virtual int64_t Size();
    int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(int64_t position) { Seek(position, TSeekOrigin::soBeginning); }

    // Read or write exactly `count` bytes or raise EReadError / EWriteError.
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);
    // Copies `count` bytes (all of the rest when count is 0, from the start) from `source`;
    // returns the number copied.
    int64_t CopyFrom(TStream& source, int64_t count);
};

// A file on disk. fmCreate creates or truncates the file and opens it for reading and
// writing; the open modes require the file to exist.
class TFileStream : public TStream {
public:
    TFileStream(const std::string& fileName, uint32_t mode);
    // Takes over a descriptor opened elsewhere (closed with the stream); `fileName` names it
    // in messages.
    TFileStream(int handle, std::string fileName)
        : FFileName(std::move(fileName)), FHandle(handle) {}
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t size) override;
    int64_t Size() override;

    const std::string& FileName() const { return FFileName; }
    int Handle() const { return FHandle; }

private:
    std::string FFileName;
    int FHandle = -1;
};

// Bytes held in memory; writing past the end grows it.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> bytes) : FBytes(std::move(bytes)) {}

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t size) override;
    int64_t Size() override { return static_cast<int64_t>(FBytes.size()); }

    const std::vector<uint8_t>& Bytes() const { return FBytes; }
    std::vector<uint8_t>& Bytes() { return FBytes; }
    void Clear() {
        FBytes.clear();
        FPosition = 0;
    }

private:
    std::vector<uint8_t> FBytes;
    int64_t FPosition = 0;
};

// Writes to `target` from a second thread, so that whoever produces the bytes (an expansion)
// goes on while the previous ones are stored: the bytes are collected in large blocks, and
// one block is written while the next fills. Writes land in `target` in their order. A
// write that fails makes every later Write return 0 (so WriteBuffer raises EWriteError);
// Flush waits until everything written so far is stored and raises EWriteError when
// something was not. The destructor stores what is left as well, but raises nothing:
// only Flush says whether everything arrived. Reading, seeking and resizing flush first.
class TWriteBehindStream : public TStream {
public:
    explicit TWriteBehindStream(TStream& target, int64_t blockSize = 1 << 20);
    ~TWriteBehindStream() override;
    TWriteBehindStream(const TWriteBehindStream&) = delete;
    TWriteBehindStream& operator=(const TWriteBehindStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t size) override;
    int64_t Size() override;
    void Flush();

private:
    void Hand();   // passes the filling block to the writing thread; waits while it is busy
    void Drain();  // waits until the writing thread holds nothing
    void Writer(); // the writing thread

    TStream& FTarget;
    const int64_t FBlockSize;
    std::vector<uint8_t> FFilling; // collects the bytes of the next block
    std::vector<uint8_t> FWriting; // the block the writing thread stores
    bool FHasWork = false;         // under FLock: FWriting is to be written
    bool FFailed = false;          // under FLock: a write was not stored whole
    bool FEnd = false;             // under FLock: the thread is to end
    std::mutex FLock;
    std::condition_variable FChanged;
    std::thread FThread;
};

} // namespace larderly
