// An import file as lines of text. The file is read whole when it is opened, so a read error
// surfaces before any reader starts its transaction. A Ctrl-Z ends the file; what is left is
// taken as UTF-8 when it is valid UTF-8 and as Windows-1252 otherwise (code page 437 files
// come through as Windows-1252 too). A line ends at a line feed; carriage returns are left
// out of the line wherever they stand. Reading at the end of the file gives an empty line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace larderly::import {

// The character-set stage on its own: the bytes up to the first Ctrl-Z, as UTF-8. Zero
// bytes are dropped, since a stored recipe text ends at its first zero byte, and a leading
// UTF-8 byte-order mark is not text.
std::string DecodeImportBytes(std::string_view bytes);

class TLineReader {
public:
    // Reads the whole file; raises EInOutError when it cannot be opened or read.
    static TLineReader FromFile(const std::string& fileName);
    // Lines of bytes already in memory (tests, fuzzing).
    static TLineReader FromBytes(std::string_view bytes);

    // The next line without its ending; an empty line once the end has been reached.
    std::string ReadLine();
    // Whether the end of the file has been reached: no character is left to read.
    bool Eof() const { return pos_ >= text_.size(); }

    // Back to the first line.
    void Rewind() { pos_ = 0; }

private:
    explicit TLineReader(std::string text) : text_(std::move(text)) {}

    std::string text_;
    std::size_t pos_ = 0;
};

} // namespace larderly::import
