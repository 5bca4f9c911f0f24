// Import files as lines.
#include "import/TLineReader.h"

#include "platform/Errors.h"
#include "platform/Text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace larderly::import {

std::string DecodeImportBytes(std::string_view bytes) {
    auto ctrlZ = bytes.find('\x1A');
    if (ctrlZ != std::string_view::npos) bytes = bytes.substr(0, ctrlZ);
    std::string text = ToUtf8(bytes);
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0 && IsValidUtf8(bytes)) text.erase(0, 3);
    if (text.find('\0') != std::string::npos) std::erase(text, '\0');
    return text;
}

TLineReader TLineReader::FromBytes(std::string_view bytes) { return TLineReader(DecodeImportBytes(bytes)); }

TLineReader TLineReader::FromFile(const std::string& fileName) {
    auto fail = [&](int err) {
        return EInOutError("Cannot read the file " + fileName + ": " + std::strerror(err));
    };
    int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw fail(errno);
    std::string bytes;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            throw fail(err);
        }
        if (n == 0) break;
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return FromBytes(bytes);
}

std::string TLineReader::ReadLine() {
    if (Eof()) return {};
    std::size_t end = text_.find('\n', pos_);
    if (end == std::string::npos) end = text_.size();
    std::string line = text_.substr(pos_, end - pos_);
    pos_ = end < text_.size() ? end + 1 : end;
    if (line.find('\r') != std::string::npos) std::erase(line, '\r');
    return line;
}

} // namespace larderly::import
