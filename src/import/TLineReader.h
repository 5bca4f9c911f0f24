// An import file as lines of text, read as a stream: a large file is never held whole in
// memory. Opening a file makes one quick pass over its bytes first, so that a file that cannot
// be read fails before any reader starts its transaction, and so that the character set and
// the line ends are known before the first line is read. An input that cannot be read twice
// (a pipe, a FIFO, standard input) is copied to an unnamed temporary file by that pass.
//
// A Ctrl-Z ends the file. The character set is chosen per file (TEncoding): by default the
// bytes are taken as UTF-8 when they are valid UTF-8 and as Windows-1252 otherwise, except
// that a file holding bytes Windows-1252 leaves unassigned (which it would turn into control
// characters), or whose bytes read as DOS accented letters inside words or box drawing more
// often than as Windows punctuation, is read as the DOS code page 437 or 850 that its
// accented letters point to.
// A line ends at a line feed; carriage returns are left out of the line wherever they stand,
// unless the file's lines end with a lone carriage return (classic Mac files: more lone
// carriage returns than line feeds), where a carriage return, a line feed or the pair ends a
// line. Reading at the end of the file gives an empty line.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

namespace larderly::import {

// The character set of an import file.
enum class TEncoding { Auto, Utf8, Cp1252, Cp437, Cp850, Latin1 };

// "auto", "utf-8", "cp1252", "cp437", "cp850", "latin1" (and the usual other spellings:
// "utf8", "windows-1252", "ibm437", "ibm850", "iso-8859-1"), letter case ignored. False for
// any other name.
bool ParseEncoding(std::string_view name, TEncoding& out);
// The short name above ("utf-8", ...).
const char* EncodingName(TEncoding encoding);

// What one pass over a file's bytes (up to its Ctrl-Z) tells. A file that is not UTF-8 is read
// as a DOS code page when it holds bytes Windows-1252 leaves unassigned, or when its DOS
// letters and box drawing outweigh its Windows punctuation; else as Windows-1252.
struct TTextShape {
    bool ValidUtf8 = true;
    bool UnassignedCp1252 = false; // holds 81, 8D, 8F, 90 or 9D
    std::size_t LineFeeds = 0, LoneCarriageReturns = 0;
    // Bytes whose meaning differs between code pages 437 and 850 (box drawing in one, letters
    // in the other), counted by whether a letter stands beside them.
    std::size_t DosLetterLike = 0, DosBoxLike = 0;
    // Bytes of 80-A5 that are accented letters in the DOS code pages and signs in Windows-1252
    // standing inside a word ("Pur\x82e"), and runs of three or more equal box-drawing bytes
    // (B0-DF): DOS text. Windows-1252 quotes, dashes, bullets and signs standing where such
    // punctuation stands (a quote opening before a word, a dash between blanks or digits).
    std::size_t DosInWord = 0, DosBoxRuns = 0, WindowsPunctuation = 0;

    // The character set to read the file with when `requested` is asked for.
    TEncoding Choose(TEncoding requested) const;
    bool CrLines() const { return LoneCarriageReturns > LineFeeds; }
};

// Examines bytes (all of them, as the only or last piece of a file).
TTextShape ShapeOf(std::string_view bytes);

// The character-set stage on its own: the bytes up to the first Ctrl-Z, as UTF-8. Zero
// bytes are dropped, since a stored recipe text ends at its first zero byte, and a leading
// UTF-8 byte-order mark is not text.
std::string DecodeImportBytes(std::string_view bytes, TEncoding encoding = TEncoding::Auto);

class TLineReader {
public:
    // Opens the file and makes the first pass; raises EInOutError when it cannot be opened
    // or read (a read error later raises it from ReadLine).
    static TLineReader FromFile(const std::string& fileName, TEncoding encoding = TEncoding::Auto);
    // Lines of bytes already in memory (tests, fuzzing).
    static TLineReader FromBytes(std::string_view bytes, TEncoding encoding = TEncoding::Auto);

    TLineReader(TLineReader&& other) noexcept;
    TLineReader& operator=(TLineReader&& other) noexcept;
    TLineReader(const TLineReader&) = delete;
    TLineReader& operator=(const TLineReader&) = delete;
    ~TLineReader();

    // The next line without its ending; an empty line once the end has been reached.
    std::string ReadLine();
    // Whether the end of the file has been reached: no character is left to read.
    bool Eof() const { return pushedBack_.empty() && pos_ >= buf_.size() && exhausted_; }

    // Back to the first line.
    void Rewind();
    // Lines read ahead and given back: the next ReadLine returns the last one given back.
    void PushBack(std::string line) {
        pushedBack_.push_back(std::move(line));
        if (lineNo_ > 0) --lineNo_;
    }
    // The 1-based number of the line the last ReadLine returned (0 before the first).
    std::size_t LineNo() const { return lineNo_; }

    // The character set the file is read with, and whether lone carriage returns end lines.
    TEncoding Encoding() const { return encoding_; }
    bool CrLines() const { return crLines_; }

private:
    TLineReader() = default;
    void Start(const TTextShape& shape, TEncoding requested);
    std::size_t ReadRaw(char* into, std::size_t size);
    // Decodes the next piece of the file onto the buffer; false when nothing is left.
    bool Fill();
    // Fills until a character is waiting or the file is done, so that Eof() is exact.
    void Settle();
    void Close();

    std::string fileName_;
    int fd_ = -1;
    std::string bytes_; // the whole input, for FromBytes
    std::size_t bytesPos_ = 0;

    TEncoding encoding_ = TEncoding::Cp1252;
    bool crLines_ = false;
    bool validUtf8_ = false;
    std::string carry_;   // an incomplete UTF-8 sequence at the end of the last piece
    bool atStart_ = true; // no byte decoded yet (a byte-order mark is looked for here)
    bool sawCtrlZ_ = false;

    std::string buf_; // decoded text not yet read
    std::size_t pos_ = 0;
    std::size_t scanned_ = 0; // buf_ holds no line end between pos_ and here
    bool exhausted_ = false;
    std::deque<std::string> pushedBack_;
    std::size_t lineNo_ = 0;
};

} // namespace larderly::import
