// File and memory streams.
#include "archive/Streams.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace larderly {

int64_t TStream::Size() {
    const int64_t here = Position();
    const int64_t end = Seek(0, TSeekOrigin::soEnd);
    Seek(here, TSeekOrigin::soBeginning);
    return end;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
    if (count > 0 && Read(buffer, count) != count) throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
    if (count > 0 && Write(buffer, count) != count) throw EWriteError();
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(count, 65536)) + 1);
    int64_t done = 0;
    while (done < count) {
        const int64_t n = std::min<int64_t>(count - done, static_cast<int64_t>(buffer.size()));
        source.ReadBuffer(buffer.data(), n);
        WriteBuffer(buffer.data(), n);
        done += n;
    }
    return done;
}

// --- TFileStream ---

TFileStream::TFileStream(const std::string& fileName, uint32_t mode) : FFileName(fileName) {
    int flags = O_CLOEXEC;
    if (mode == fmCreate) {
        flags |= O_RDWR | O_CREAT | O_TRUNC;
    } else {
        switch (mode & 0x0F) {
        case fmOpenWrite:
            flags |= O_WRONLY;
            break;
        case fmOpenReadWrite:
            flags |= O_RDWR;
            break;
        default:
            flags |= O_RDONLY;
            break;
        }
    }
    do {
        FHandle = ::open(fileName.c_str(), flags, 0666);
    } while (FHandle < 0 && errno == EINTR);
    if (FHandle < 0) {
        if (mode == fmCreate) throw EFCreateError("Cannot create file " + fileName);
        throw EFOpenError("Cannot open file " + fileName);
    }
    struct stat st {};
    if (::fstat(FHandle, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(FHandle);
        FHandle = -1;
        if (mode == fmCreate) throw EFCreateError("Cannot create file " + fileName);
        throw EFOpenError("Cannot open file " + fileName);
    }
}

TFileStream::~TFileStream() {
    if (FHandle >= 0) ::close(FHandle);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
    int64_t done = 0;
    auto* p = static_cast<uint8_t*>(buffer);
    while (done < count) {
        const ssize_t n = ::read(FHandle, p + done, static_cast<size_t>(count - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            if (done == 0) throw EReadError();
            break;
        }
        if (n == 0) break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
    int64_t done = 0;
    const auto* p = static_cast<const uint8_t*>(buffer);
    while (done < count) {
        const ssize_t n = ::write(FHandle, p + done, static_cast<size_t>(count - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (n == 0) break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    int whence = SEEK_SET;
    if (origin == TSeekOrigin::soCurrent) whence = SEEK_CUR;
    if (origin == TSeekOrigin::soEnd) whence = SEEK_END;
    const off_t r = ::lseek(FHandle, static_cast<off_t>(offset), whence);
    if (r < 0) throw EStreamError("Stream seek error");
    return r;
}

void TFileStream::SetSize(int64_t size) {
    if (::ftruncate(FHandle, static_cast<off_t>(size)) != 0) throw EWriteError();
    if (Position() > size) Seek(size, TSeekOrigin::soBeginning);
}

int64_t TFileStream::Size() {
    struct stat st {};
    if (::fstat(FHandle, &st) != 0) throw EStreamError("Stream seek error");
    return st.st_size;
}

// --- TMemoryStream ---

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
    const int64_t size = Size();
    if (count <= 0 || FPosition >= size) return 0;
    const int64_t n = std::min(count, size - FPosition);
    std::memcpy(buffer, FBytes.data() + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    const int64_t end = FPosition + count;
    if (end > Size()) FBytes.resize(static_cast<size_t>(end));
    std::memcpy(FBytes.data() + FPosition, buffer, static_cast<size_t>(count));
    FPosition = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = 0;
    if (origin == TSeekOrigin::soCurrent) base = FPosition;
    if (origin == TSeekOrigin::soEnd) base = Size();
    const int64_t target = base + offset;
    if (target < 0) throw EStreamError("Stream seek error");
    FPosition = target;
    return FPosition;
}

void TMemoryStream::SetSize(int64_t size) {
    FBytes.resize(static_cast<size_t>(std::max<int64_t>(size, 0)));
    if (FPosition > size) FPosition = size;
}

// --- TWriteBehindStream ---

TWriteBehindStream::TWriteBehindStream(TStream& target, int64_t blockSize)
    : FTarget(target), FBlockSize(std::max<int64_t>(blockSize, 1)) {
    FFilling.reserve(static_cast<size_t>(FBlockSize));
    FWriting.reserve(static_cast<size_t>(FBlockSize));
    FThread = std::thread([this] { Writer(); });
}

TWriteBehindStream::~TWriteBehindStream() {
    Hand();
    {
        std::lock_guard<std::mutex> g(FLock);
        FEnd = true;
    }
    FChanged.notify_all();
    FThread.join();
}

void TWriteBehindStream::Writer() {
    std::unique_lock<std::mutex> g(FLock);
    for (;;) {
        FChanged.wait(g, [this] { return FHasWork || FEnd; });
        if (!FHasWork) return;
        bool ok = !FFailed;
        if (ok) {
            g.unlock();
            try {
                ok = FTarget.Write(FWriting.data(), static_cast<int64_t>(FWriting.size())) ==
                     static_cast<int64_t>(FWriting.size());
            } catch (...) {
                ok = false;
            }
            g.lock();
        }
        FFailed = FFailed || !ok;
        FWriting.clear();
        FHasWork = false;
        FChanged.notify_all();
    }
}

void TWriteBehindStream::Drain() {
    std::unique_lock<std::mutex> g(FLock);
    FChanged.wait(g, [this] { return !FHasWork; });
}

void TWriteBehindStream::Hand() {
    if (FFilling.empty()) return;
    std::unique_lock<std::mutex> g(FLock);
    FChanged.wait(g, [this] { return !FHasWork; });
    FWriting.swap(FFilling);
    FHasWork = true;
    g.unlock();
    FChanged.notify_all();
}

int64_t TWriteBehindStream::Write(const void* buffer, int64_t count) {
    {
        std::lock_guard<std::mutex> g(FLock);
        if (FFailed) return 0;
    }
    const auto* p = static_cast<const uint8_t*>(buffer);
    for (int64_t left = count; left > 0;) {
        const int64_t n = std::min(left, FBlockSize - static_cast<int64_t>(FFilling.size()));
        FFilling.insert(FFilling.end(), p, p + n);
        p += n;
        left -= n;
        if (static_cast<int64_t>(FFilling.size()) == FBlockSize) Hand();
    }
    return count;
}

void TWriteBehindStream::Flush() {
    Hand();
    Drain();
    std::lock_guard<std::mutex> g(FLock);
    if (FFailed) throw EWriteError();
}

int64_t TWriteBehindStream::Read(void* buffer, int64_t count) {
    Flush();
    return FTarget.Read(buffer, count);
}

int64_t TWriteBehindStream::Seek(int64_t offset, TSeekOrigin origin) {
    if (origin == TSeekOrigin::soCurrent && offset == 0) {
        // The position as the writer sees it: the target's plus what is still on its way.
        Drain();
        return FTarget.Seek(0, TSeekOrigin::soCurrent) + static_cast<int64_t>(FFilling.size());
    }
    Flush();
    return FTarget.Seek(offset, origin);
}

void TWriteBehindStream::SetSize(int64_t size) {
    Flush();
    FTarget.SetSize(size);
}

int64_t TWriteBehindStream::Size() {
    Flush();
    return FTarget.Size();
}

} // namespace larderly
