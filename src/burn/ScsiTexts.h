// The disc engine's string table: request status texts, host adapter and target status texts,
// sense key texts, additional sense texts, command names and the engine's own messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace larderly {

namespace scsi_texts_detail {
struct AscText {
    uint8_t asc;
    int ascq; // -1: any qualifier; "NN" in the text stands for it
    const char* text;
};
extern const AscText kAscTexts[];
extern const std::size_t kAscTextCount;
} // namespace scsi_texts_detail

namespace texts {
inline constexpr const char* kInvalidDevice = "INVALID DEVICE ID / NOT A CD OR DVD DRIVE";
inline constexpr const char* kWriterError = "WRITER ERROR";
inline constexpr const char* kWriterBusy = "WRITER BUSY/BUFFER FULL";
inline constexpr const char* kStartingWrite = "STARTING WRITE PROCESS ON %s AT %s";
inline constexpr const char* kTestWrite = "TEST/DUMMY WRITE";
inline constexpr const char* kErrorNwa = "ERROR GETTING NEXT WRITABLE ADDRESS";
inline constexpr const char* kNoTestModeMedium =
    "TEST/DUMMY WRITE NOT POSSIBLE ON %s (NO TEST MODE)";
inline constexpr const char* kNoTestModeDrive = "TEST/DUMMY WRITE NOT SUPPORTED BY THE DRIVE";
inline constexpr const char* kCantOpenFile =
    "CAN'T OPEN FILE \"%s\" OR FILE IS IN USES BY OTHER SOFTWARE";
inline constexpr const char* kAborted = "OPERATION ABORTED BY USER";
inline constexpr const char* kNotSupported = " (not supported)";
inline constexpr const char* kLibraryName = "WNASPI32.DLL";
inline constexpr const char* kLibraryLacksEntry = "NO ENTRY POINT IN DRIVE LIBRARY ";
inline constexpr const char* kPassThroughName = "PTASPI32";
} // namespace texts

// Text of a request block status (SRB_Status): "" for pending and done.
std::string AspiStatusText(uint8_t status);
// Text of a failed request (status 4) from its host adapter and target statuses.
std::string ErrorStatusText(uint8_t haStat, uint8_t targStat);
// Refines "CHECK CONDITION" from a fixed-format sense area (at least 14 bytes).
std::string SenseKeyText(const uint8_t* sense);
// Description of an additional sense code and qualifier; "asc,ascq" in decimal when the pair
// has none.
std::string AdditionalSenseText(uint8_t asc, uint8_t ascq);
// Name of a command opcode from the command-name table: the name padded to 22 characters, or
// the opcode as two upper-case hex digits; opcode 0xFF gives "".
const std::string& CommandName(uint8_t opcode);
// Name of a media kind (0..15) as used in messages.
std::string MediaKindName(int kind);

} // namespace larderly
