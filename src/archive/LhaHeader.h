// Entry headers of LHA archives: where an archive starts (after an MS-DOS stub, legacy-pack
// archives), reading one header (one function per header level), and building the bytes
// of a level-0 or level-1 header.
#pragma once

#include "archive/LhaTypes.h"
#include "archive/Streams.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace larderly {

// What the engine knows about one entry. The first eight fields, in this order and these
// widths, also form the 22-byte record of the segment scan file.
struct TLhaFileInfo {
    TLhaMethod Method = colh0;    // method of the entry
    int32_t PackedSize = 0;       // bytes of data (level 1: without the extension headers)
    int32_t UncompressedSize = 0; // size of the file
    uint32_t DateTime = 0;        // MS-DOS stamp: date high, time low
    uint16_t Attributes = 0;      // attribute byte of the header
    uint8_t HeaderLevel = 0;      // level byte AND 0x7F
    uint16_t CRC = 0;             // check value from the header
    int32_t DataPosition = 0;     // archive offset where the entry's data starts
    bool Encrypted = false;       // bit 7 of the level byte was set
};

// One entry header as read from or written to an archive. Names use "/" between folders
// here; the archive itself carries "\" (level 0) or 0xFF (level-1 folder header).
struct TLhaHeader {
    uint8_t HeaderSize = 0;         // as read (0 for legacy-pack entries)
    uint8_t Checksum = 0;           // as read (0 for legacy-pack entries)
    std::array<char, 5> MethodId{}; // e.g. "-lh5-"
    int32_t PackedSize = 0;         // data bytes only
    int32_t UncompressedSize = 0;
    uint32_t DateTime = 0;  // MS-DOS stamp: date high, time low
    uint8_t Attributes = 0; // file attributes (level 1: from the extension)
    uint8_t Level = 0;      // whole level byte, bit 7 = scrambled
    std::string Name;       // stored name, folders included
    uint16_t CRC = 0;       // check value of the uncompressed data
    char OsId = 0;          // level 1 only

    uint8_t HeaderLevel() const { return Level & 0x7F; }
    bool Encrypted() const { return (Level & 0x80) != 0; }
    std::string MethodIdText() const { return std::string(MethodId.data(), MethodId.size()); }
};

// Where the entries of an archive file start and which format it has.
struct TLhaArchiveLayout {
    int64_t Start = 0;   // offset of the first entry header (or legacy archive header)
    bool Legacy = false; // a legacy-pack archive; entries start 21 bytes after Start
    int64_t FirstEntry = 0;
};

// Finds the start of the archive in `stream` (whole file): after the MS-DOS image of a
// ".EXE" file that begins with "MZ", else at 0; then recognises a legacy-pack archive.
// Raises ELhaInvalidHeader for a legacy archive that is not of the multi-file kind.
TLhaArchiveLayout LocateArchive(TStream& stream, const std::string& archiveName);

// Reads the next entry header at the stream's position. False at the end of the archive
// (a short read, or a header-size byte of 0). On success the stream stands where the
// entry's data starts. Raises the header errors (checksum, level, OS id, extension
// headers, legacy lock and custom method).
bool ReadEntryHeader(TStream& stream, bool legacy, TLhaHeader& header);

// The method of a header's id; raises ELhaUnrecognizedCompressionMethod for any other id.
TLhaMethod ResolveMethod(const TLhaHeader& header);

// The complete bytes of a header at its level (0 or 1), checksum included. The packed-size
// field of a level-1 header adds the length of its extension headers. Raises
// ELhaInvalidHeader for a name that does not fit in the header.
std::vector<uint8_t> EncodeEntryHeader(const TLhaHeader& header);

// Sum of the bytes modulo 256: the header checksum.
uint8_t HeaderChecksum(const uint8_t* bytes, size_t count);

} // namespace larderly
