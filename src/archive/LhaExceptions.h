// The failures of the LHA container and the segmented archive, each with its own class.
// Stream and file errors (EReadError, EWriteError, EFOpenError, EFCreateError) and the
// codec's own failures live beside the streams and the codec.
#pragma once

#include "archive/LhaTypes.h"
#include "archive/Streams.h"

#include <string>

namespace larderly {

// A header that cannot be read as one, an unsafe entry name, or a legacy archive that
// cannot be handled.
class ELhaInvalidHeader : public ELhaException {
public:
    using ELhaException::ELhaException;
};

// A method id or legacy method the engine cannot code, or a locked legacy archive.
class ELhaUnrecognizedCompressionMethod : public ELhaException {
public:
    using ELhaException::ELhaException;
};

// The header checksum does not match the header's bytes.
class ELhaBadChecksum : public ELhaException {
public:
    using ELhaException::ELhaException;
};

// A header level other than 0 or 1.
class ELhaInvalidHeaderLevel : public ELhaException {
public:
    using ELhaException::ELhaException;
};

// Not enough room to write an archive or expand an entry.
class ELhaInsufficientDiskSpace : public ELhaException {
public:
    using ELhaException::ELhaException;
};

// A file could not be replaced by its new version.
class ELhaCouldNotRenameFile : public ELhaException {
public:
    using ELhaException::ELhaException;
};

// A scrambled entry without a password, or one the password does not unscramble.
class ELhaEncrypted : public ELhaException {
public:
    using ELhaException::ELhaException;
};

// The expanded data does not match the entry's check value.
class ELhaBadCRC : public ELhaException {
public:
    using ELhaException::ELhaException;
    ELhaBadCRC() : ELhaException("Bad CRC during expansion -- data may be invalid") {}
};

// A failure of the segmented archive: a segment, the scan file or a block header.
class ESegArchiveError : public ELhaException {
public:
    using ELhaException::ELhaException;
};

// A cancellation whose text comes from the segmented archive's messages; caught like any
// other ELhaOperationAborted.
class ESegOperationAborted : public ELhaOperationAborted {
public:
    explicit ESegOperationAborted(std::string text) : FText(std::move(text)) {}
    const char* what() const noexcept override { return FText.c_str(); }

private:
    std::string FText;
};

} // namespace larderly
