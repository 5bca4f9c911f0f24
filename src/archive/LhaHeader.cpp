// Reading and building LHA entry headers.
#include "archive/LhaHeader.h"

#include "archive/LhaExceptions.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstring>

namespace larderly {

namespace {

// Bytes of a header shown in a message: a control or non-ASCII byte as "\xNN", so that a
// zero byte does not cut the message short.
std::string Printable(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b >= 0x20 && b < 0x7F) {
            out += ch;
        } else {
            out += "\\x";
            out += digits[b >> 4];
            out += digits[b & 0x0F];
        }
    }
    return out;
}

const char kExtensionEnd[] = "Unexpected end of extended header section in archive";

uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
void Put16(std::vector<uint8_t>& v, uint16_t x) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i)
        v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}

// Reads exactly `count` bytes; false when the stream ends first.
bool ReadExact(TStream& s, void* buffer, int64_t count) {
    return count <= 0 || s.Read(buffer, count) == count;
}

// Archive names separate folders with "\"; here "/" does.
std::string FromArchiveName(std::string name) {
    return fileutil::ToForwardSlashes(std::move(name));
}
std::string ToArchiveName(std::string name) {
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

// Re-reads the checksummed bytes 2 .. 2 + header size - 1 of the header at `start` and
// returns their sum; the stream is left where it was.
uint8_t ChecksumFromFile(TStream& s, int64_t start, uint8_t headerSize) {
    const int64_t here = s.Position();
    std::vector<uint8_t> bytes(headerSize);
    s.SetPosition(start + 2);
    if (!ReadExact(s, bytes.data(), headerSize)) throw ELhaInvalidHeader(kExtensionEnd);
    s.SetPosition(here);
    return HeaderChecksum(bytes.data(), bytes.size());
}

// Legacy-pack entry: a 25-byte header, the name, then the data.
bool ReadLegacyHeader(TStream& s, TLhaHeader& h) {
    uint8_t b[25];
    if (!ReadExact(s, b, sizeof b)) return false;
    const int16_t nameLength = static_cast<int16_t>(Get16(b));
    std::string name(std::max<int16_t>(nameLength, 0), '\0');
    if (!ReadExact(s, name.data(), static_cast<int64_t>(name.size()))) return false;
    if (static_cast<int32_t>(Get32(b + 21)) > 0)
        throw ELhaUnrecognizedCompressionMethod("Sorry - can't handle locked legacy archives");
    static const char* const kIds[] = {"-lh0-", "-rle-", "-lh1-", nullptr, "-lh5-"};
    const uint8_t method = b[16];
    if (method == 3)
        throw ELhaUnrecognizedCompressionMethod(
            "Sorry - can't handle custom legacy compression method");
    h = TLhaHeader{};
    if (method < 5 && kIds[method]) std::memcpy(h.MethodId.data(), kIds[method], 5);
    h.DateTime = Get32(b + 2);
    h.Attributes = b[6];
    h.UncompressedSize = static_cast<int32_t>(Get32(b + 8));
    h.PackedSize = static_cast<int32_t>(Get32(b + 12));
    h.CRC = Get16(b + 17);
    h.Name = FromArchiveName(std::move(name));
    return true;
}

// Level 0: the whole name in the header; the checksum covers the header-size bytes after
// the checksum byte. A header that declares more bytes than its name and CRC (other tools
// put extra fields there) is passed over to where its data starts.
void ReadLevel0Rest(TStream& s, int64_t start, TLhaHeader& h) {
    const uint8_t sum = ChecksumFromFile(s, start, h.HeaderSize);
    if (sum != h.Checksum)
        throw ELhaBadChecksum("Bad checksum in LHARC archive header: " + std::to_string(sum));
    const int64_t declaredEnd = start + 2 + h.HeaderSize;
    if (declaredEnd > s.Position()) s.SetPosition(declaredEnd);
}

// Level 1: OS id and a chain of extension headers (attributes, folder, others skipped).
void ReadLevel1Rest(TStream& s, int64_t start, TLhaHeader& h) {
    uint8_t tail[3];
    if (!ReadExact(s, tail, 3)) throw ELhaInvalidHeader(kExtensionEnd);
    const uint8_t sum = ChecksumFromFile(s, start, h.HeaderSize);
    if (sum != h.Checksum)
        throw ELhaBadChecksum("Bad checksum in LHA archive header: " + std::to_string(sum));
    h.OsId = static_cast<char>(tail[0]);
    if (h.OsId != 'M' && h.OsId != 'U')
        throw ELhaInvalidHeader("Unsupported OS mode in archive: " +
                                Printable(std::string(1, h.OsId)));
    uint16_t next = Get16(tail + 1);
    int64_t extensionBytes = 0;
    std::vector<uint8_t> data;
    while (next != 0) {
        // Every extension header holds at least its type byte and the next size.
        if (next < 3) throw ELhaInvalidHeader(kExtensionEnd);
        uint8_t type = 0;
        if (!ReadExact(s, &type, 1)) throw ELhaInvalidHeader(kExtensionEnd);
        data.resize(next - 3u);
        if (!ReadExact(s, data.data(), static_cast<int64_t>(data.size())))
            throw ELhaInvalidHeader(kExtensionEnd);
        if (type == 2) {
            std::string folder(data.begin(), data.end());
            std::replace(folder.begin(), folder.end(), '\xFF', '\\');
            h.Name = FromArchiveName(folder) + h.Name;
        } else if (type == 0x40 && !data.empty()) {
            h.Attributes = data[0];
        }
        uint8_t size[2];
        if (!ReadExact(s, size, 2)) throw ELhaInvalidHeader(kExtensionEnd);
        extensionBytes += next;
        next = Get16(size);
    }
    const int64_t packed =
        static_cast<int64_t>(static_cast<uint32_t>(h.PackedSize)) - extensionBytes;
    if (packed < 0) throw ELhaInvalidHeader(kExtensionEnd);
    h.PackedSize = static_cast<int32_t>(packed);
}

// The header bytes of level 0: the whole name, "\" between folders.
std::vector<uint8_t> EncodeLevel0(const TLhaHeader& h) {
    const std::string name = ToArchiveName(h.Name);
    if (name.size() > 255 - 22)
        throw ELhaInvalidHeader("File name too long for the archive header: " + h.Name);
    std::vector<uint8_t> v;
    v.reserve(24 + name.size());
    v.push_back(static_cast<uint8_t>(22 + name.size()));
    v.push_back(0); // checksum, below
    v.insert(v.end(), h.MethodId.begin(), h.MethodId.end());
    Put32(v, static_cast<uint32_t>(h.PackedSize));
    Put32(v, static_cast<uint32_t>(h.UncompressedSize));
    Put32(v, h.DateTime); // time low, date high
    v.push_back(static_cast<uint8_t>((h.Attributes & 0x7F) | 0x20));
    v.push_back(h.Level);
    v.push_back(static_cast<uint8_t>(name.size()));
    v.insert(v.end(), name.begin(), name.end());
    Put16(v, h.CRC);
    v[1] = HeaderChecksum(v.data() + 2, v.size() - 2);
    return v;
}

// The header bytes of level 1: the file name in the header, its folder in a folder
// extension (0xFF between folders), the attributes in an attribute extension.
std::vector<uint8_t> EncodeLevel1(const TLhaHeader& h) {
    const std::string stored = ToArchiveName(h.Name);
    const std::size_t cut = stored.rfind('\\');
    const std::string folder = cut == std::string::npos ? std::string() : stored.substr(0, cut + 1);
    const std::string name = stored.substr(folder.size());
    if (name.size() > 255 - 25 || folder.size() > 0xFFFF - 3)
        throw ELhaInvalidHeader("File name too long for the archive header: " + h.Name);
    uint32_t extensions = 0;
    if (h.Attributes != 0) extensions += 5;
    if (!folder.empty()) extensions += static_cast<uint32_t>(folder.size() + 3);

    std::vector<uint8_t> v;
    v.reserve(27 + name.size() + extensions);
    v.push_back(static_cast<uint8_t>(25 + name.size()));
    v.push_back(0); // checksum, below
    v.insert(v.end(), h.MethodId.begin(), h.MethodId.end());
    Put32(v, static_cast<uint32_t>(h.PackedSize) + extensions);
    Put32(v, static_cast<uint32_t>(h.UncompressedSize));
    Put32(v, h.DateTime);
    v.push_back(0x20);
    v.push_back(h.Level);
    v.push_back(static_cast<uint8_t>(name.size()));
    v.insert(v.end(), name.begin(), name.end());
    Put16(v, h.CRC);
    v.push_back('M');
    const uint16_t folderSize = static_cast<uint16_t>(folder.empty() ? 0 : folder.size() + 3);
    // The size of the first extension header closes the checksummed part.
    Put16(v, h.Attributes != 0 ? 5 : folderSize);
    const std::size_t checksummedEnd = v.size();
    if (h.Attributes != 0) {
        v.push_back(0x40);
        Put16(v, static_cast<uint16_t>(h.Attributes | 0x20));
        Put16(v, folderSize);
    }
    if (!folder.empty()) {
        v.push_back(2);
        for (char c : folder)
            v.push_back(c == '\\' ? 0xFF : static_cast<uint8_t>(c));
        Put16(v, 0);
    }
    v[1] = HeaderChecksum(v.data() + 2, checksummedEnd - 2);
    return v;
}

} // namespace

uint8_t HeaderChecksum(const uint8_t* bytes, size_t count) {
    unsigned sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return static_cast<uint8_t>(sum);
}

TLhaArchiveLayout LocateArchive(TStream& stream, const std::string& archiveName) {
    TLhaArchiveLayout layout;
    const int64_t size = stream.Size();
    if (size > 5 && UpperAZ(fileutil::ExtractFileExt(archiveName)) == ".EXE") {
        uint8_t mz[6];
        stream.SetPosition(0);
        if (ReadExact(stream, mz, 6) && mz[0] == 'M' && mz[1] == 'Z') {
            const int64_t last = Get16(mz + 2), pages = Get16(mz + 4);
            const int64_t start = 512 * pages + last - 512;
            // An image that claims less than one page cannot hold an archive behind it.
            if (start >= 0 && start <= size) layout.Start = start;
        }
    }
    layout.FirstEntry = layout.Start;
    if (size - layout.Start >= 21) {
        uint8_t b[21];
        stream.SetPosition(layout.Start);
        if (ReadExact(stream, b, 21) && std::memcmp(b, "\x53\x50\x49\x53\x1A", 5) == 0) {
            if (b[12] != 1) throw ELhaInvalidHeader("Legacy archive type must be multi-file");
            layout.Legacy = true;
            layout.FirstEntry = layout.Start + 21;
        }
    }
    stream.SetPosition(layout.FirstEntry);
    return layout;
}

bool ReadEntryHeader(TStream& stream, bool legacy, TLhaHeader& header) {
    if (legacy) return ReadLegacyHeader(stream, header);

    const int64_t start = stream.Position();
    uint8_t b[22];
    if (!ReadExact(stream, b, sizeof b)) return false;
    // A header size of 0 is the end byte, whatever follows it.
    if (b[0] == 0) return false;
    TLhaHeader h;
    h.HeaderSize = b[0];
    h.Checksum = b[1];
    std::memcpy(h.MethodId.data(), b + 2, 5);
    h.PackedSize = static_cast<int32_t>(Get32(b + 7));
    h.UncompressedSize = static_cast<int32_t>(Get32(b + 11));
    h.DateTime = Get32(b + 15);
    h.Attributes = b[19];
    h.Level = b[20];
    std::string name(b[21], '\0');
    uint8_t crc[2];
    if (!ReadExact(stream, name.data(), static_cast<int64_t>(name.size())) ||
        !ReadExact(stream, crc, 2))
        return false;
    h.Name = FromArchiveName(std::move(name));
    h.CRC = Get16(crc);

    switch (h.HeaderLevel()) {
    case 0:
        ReadLevel0Rest(stream, start, h);
        break;
    case 1:
        ReadLevel1Rest(stream, start, h);
        break;
    default:
        throw ELhaInvalidHeaderLevel("Unsupported header level in archive: " +
                                     std::to_string(h.Level));
    }
    header = std::move(h);
    return true;
}

TLhaMethod ResolveMethod(const TLhaHeader& header) {
    const std::string id = header.MethodIdText();
    if (auto m = LhaMethodFromId(id)) return *m;
    throw ELhaUnrecognizedCompressionMethod("Unrecognized compression method: \"" + Printable(id) +
                                            "\" in header");
}

std::vector<uint8_t> EncodeEntryHeader(const TLhaHeader& header) {
    return header.HeaderLevel() == 1 ? EncodeLevel1(header) : EncodeLevel0(header);
}

} // namespace larderly
