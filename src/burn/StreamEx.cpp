// 64-bit streams over file descriptors and memory.
#include "burn/StreamEx.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <unistd.h>

namespace larderly {

int64_t TStreamEx::Size() {
    int64_t pos = Seek(0, 1);
    int64_t end = Seek(0, 2);
    Seek(pos, 0);
    return end;
}

void THandleStreamEx::SetSize(int64_t newSize) {
    int64_t pos = Seek(0, 1);
    Seek(newSize, 0);
    if (::ftruncate(FHandle, newSize) != 0)
        throw std::runtime_error(std::string("Cannot set the file size: ") + std::strerror(errno));
    if (pos > newSize)
        Seek(newSize, 0);
    else
        Seek(pos, 0);
}

int64_t THandleStreamEx::Read(void* buffer, int64_t count) {
    int64_t done = 0;
    auto* p = static_cast<uint8_t*>(buffer);
    while (done < count) {
        ssize_t n = ::read(FHandle, p + done, size_t(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) FLastError = errno;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t THandleStreamEx::Write(const void* buffer, int64_t count) {
    int64_t done = 0;
    auto* p = static_cast<const uint8_t*>(buffer);
    while (done < count) {
        ssize_t n = ::write(FHandle, p + done, size_t(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) FLastError = errno;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t THandleStreamEx::Seek(int64_t offset, int origin) {
    int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
    off_t r = ::lseek(FHandle, off_t(offset), whence);
    return r < 0 ? -1 : int64_t(r);
}

TFileStreamEx::TFileStreamEx(const std::string& fileName, uint32_t mode)
    : THandleStreamEx(-1), FFileName(fileName) {
    int flags = O_CLOEXEC;
    if (mode == fmCreate) {
        flags |= O_RDWR | O_CREAT | O_TRUNC;
    } else {
        switch (mode & 0x3) {
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
    FHandle = ::open(fileName.c_str(), flags, 0666);
    if (FHandle < 0)
        throw std::runtime_error("Cannot open file \"" + fileName + "\": " + std::strerror(errno));
    if (mode != fmCreate && (mode & 0xF0) == fmShareExclusive) {
        if (::flock(FHandle, LOCK_EX | LOCK_NB) != 0) {
            int e = errno;
            ::close(FHandle);
            FHandle = -1;
            throw std::runtime_error("Cannot open file \"" + fileName + "\": " + std::strerror(e));
        }
    }
}

TFileStreamEx::~TFileStreamEx() {
    if (FHandle >= 0) ::close(FHandle);
}

void TMemoryStreamEx::SetSize(int64_t newSize) {
    if (newSize <= 0) {
        std::vector<uint8_t>().swap(FData);
    } else {
        FData.resize(size_t(newSize));
    }
    FPosition = std::min<int64_t>(FPosition, int64_t(FData.size()));
}

int64_t TMemoryStreamEx::Read(void* buffer, int64_t count) {
    if (count <= 0 || FPosition >= int64_t(FData.size())) return 0;
    int64_t n = std::min<int64_t>(count, int64_t(FData.size()) - FPosition);
    std::memcpy(buffer, FData.data() + FPosition, size_t(n));
    FPosition += n;
    return n;
}

int64_t TMemoryStreamEx::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    if (FPosition + count > int64_t(FData.size())) FData.resize(size_t(FPosition + count));
    std::memcpy(FData.data() + FPosition, buffer, size_t(count));
    FPosition += count;
    return count;
}

int64_t TMemoryStreamEx::Seek(int64_t offset, int origin) {
    int64_t base = origin == 0 ? 0 : origin == 1 ? FPosition : int64_t(FData.size());
    int64_t p = base + offset;
    if (p < 0) return -1;
    FPosition = p;
    return p;
}

} // namespace larderly
