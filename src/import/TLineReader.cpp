// Import files as lines: the first pass over the bytes, the character-set decoders and the
// streaming line splitter.
#include "import/TLineReader.h"

#include "platform/Errors.h"
#include "platform/Text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

namespace larderly::import {

namespace {

constexpr std::size_t kPiece = 1 << 16;

bool IsAsciiLetter(unsigned char c) {
    return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
}

// Bytes that are letters in code page 850 but box-drawing or other signs in code page 437.
bool DiffersBetweenDosPages(unsigned char c) {
    return c == 0x9B || c == 0x9D || c == 0x9E || (c >= 0xB5 && c <= 0xB7) || c == 0xC6 ||
           c == 0xC7 || (c >= 0xD0 && c <= 0xD8) || c == 0xDE || (c >= 0xE0 && c <= 0xED);
}

bool IsAsciiLower(unsigned char c) {
    return c >= 'a' && c <= 'z';
}

bool IsWordChar(unsigned char c) {
    return IsAsciiLetter(c) || (c >= '0' && c <= '9');
}

// Weighs one byte of 80-A5 by what stands before and after it (0 at the start or end of the
// file): a DOS accented letter inside a word, or Windows-1252 punctuation where punctuation
// stands. Bytes that are as likely either way inside a word (the en and em dashes, the
// ellipsis, the apostrophe as a quote, non-breaking space, the trade mark, Windows letters
// such as o-e) are not taken as DOS letters.
void WeighHighByte(unsigned char before, unsigned char c, unsigned char after, TTextShape& shape) {
    const bool inWord = IsAsciiLetter(before) && IsAsciiLetter(after);
    switch (c) {
    case 0x80: // C-cedilla / euro sign
        if (inWord) ++shape.DosInWord;
        if ((before >= '0' && before <= '9') || (after >= '0' && after <= '9'))
            ++shape.WindowsPunctuation;
        return;
    case 0x82:
    case 0x83:
    case 0x84:
    case 0x86:
    case 0x87:
    case 0x88:
    case 0x89:
    case 0x8B:
    case 0x91:
    case 0x93:
    case 0x94:
    case 0x95:
    case 0x98:
    case 0x9B:
    case 0xA1:
    case 0xA2:
    case 0xA3:
    case 0xA4:
    case 0xA5:
        if (inWord) ++shape.DosInWord;
        break;
    case 0x8A:
    case 0x8C: // e-grave, i-circumflex / S-caron, OE: capitals in Windows-1252
        if (IsAsciiLower(before) && IsAsciiLower(after)) ++shape.DosInWord;
        return;
    default:
        break;
    }
    switch (c) {
    case 0x91:
    case 0x93: // opening quotes
        if (!IsWordChar(before) && IsWordChar(after)) ++shape.WindowsPunctuation;
        break;
    case 0x92:
    case 0x94: // closing quotes, the apostrophe
        if ((IsWordChar(before) || std::ispunct(before)) && !IsWordChar(after))
            ++shape.WindowsPunctuation;
        else if (c == 0x92 && inWord)
            ++shape.WindowsPunctuation;
        break;
    case 0x96:
    case 0x97: // dashes
        if (before == ' ' || after == ' ' ||
            (before >= '0' && before <= '9' && after >= '0' && after <= '9'))
            ++shape.WindowsPunctuation;
        break;
    case 0x95: // a bullet opening a line
        if ((before == 0 || before == '\n' || before == ' ' || before == '\t') && after == ' ')
            ++shape.WindowsPunctuation;
        break;
    case 0x99: // trade mark after a word
        if (IsAsciiLetter(before) && !IsAsciiLetter(after)) ++shape.WindowsPunctuation;
        break;
    default:
        break;
    }
}

// Where a trailing incomplete UTF-8 sequence starts, or s.size() when the text ends on a
// whole sequence.
std::size_t IncompleteTail(std::string_view s) {
    for (std::size_t back = 1; back <= 3 && back <= s.size(); ++back) {
        auto c = static_cast<unsigned char>(s[s.size() - back]);
        if ((c & 0xC0) == 0x80) continue; // a continuation byte: look further back
        std::size_t n = (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
        return n > back ? s.size() - back : s.size();
    }
    return s.size();
}

// Builds the first pass piece by piece, with the same answers as one pass over all bytes.
static_assert(std::endian::native == std::endian::little, "bytes are read eight to a word");
constexpr uint64_t kHigh = 0x8080808080808080ULL;

// A word of eight copies of a byte.
constexpr uint64_t Spread(unsigned char b) {
    return 0x0101010101010101ULL * b;
}

// The high bit of each byte of `w` that is zero, and of no other.
constexpr uint64_t ZeroBytes(uint64_t w) {
    constexpr uint64_t low = 0x7F7F7F7F7F7F7F7FULL;
    return ~(((w & low) + low) | w | low);
}

class TShapeScan {
public:
    // False once a Ctrl-Z has been seen: the rest of the file does not count.
    bool Add(std::string_view piece) {
        auto z = piece.find('\x1A');
        bool more = z == std::string_view::npos;
        if (!more) piece = piece.substr(0, z);
        if (shape_.ValidUtf8) {
            carry_.append(piece);
            std::size_t cut = IncompleteTail(carry_);
            if (!IsValidUtf8(std::string_view(carry_).substr(0, cut))) shape_.ValidUtf8 = false;
            carry_.erase(0, cut);
        }
        for (std::size_t i = 0; i < piece.size(); ++i) {
            // Eight ASCII bytes at a time while nothing waits on the next byte: they only
            // count line feeds and move the last bytes along.
            while (i + 8 <= piece.size() && last_ < 0x80 && !prevCr_ && !pendingDos_) {
                uint64_t w;
                std::memcpy(&w, piece.data() + i, 8);
                if ((w & kHigh) || ZeroBytes(w ^ Spread('\r'))) break;
                // One bit per line feed, at the top of its byte: their sum in the top byte.
                shape_.LineFeeds += static_cast<std::size_t>(
                    ((ZeroBytes(w ^ Spread('\n')) >> 7) * Spread(1)) >> 56);
                const auto b7 = static_cast<unsigned char>(w >> 56);
                const uint64_t same = w ^ Spread(b7);
                const std::size_t tail =
                    same == 0 ? 8 : static_cast<std::size_t>(__builtin_clzll(same)) / 8;
                run_ = tail == 8 && b7 == last_ ? run_ + 8 : tail;
                beforeLast_ = static_cast<unsigned char>(w >> 48);
                last_ = prev_ = b7;
                i += 8;
            }
            if (i >= piece.size()) break;
            auto c = static_cast<unsigned char>(piece[i]);
            // Most bytes are ASCII after ASCII: they only count lines and move the last bytes
            // along (the same steps as below, without the questions about high bytes).
            if (c < 0x80 && last_ < 0x80 && c != '\r' && !pendingDos_) {
                run_ = c == last_ ? run_ + 1 : 1;
                beforeLast_ = last_;
                last_ = c;
                if (c == '\n')
                    ++shape_.LineFeeds;
                else if (prevCr_)
                    ++shape_.LoneCarriageReturns;
                prevCr_ = false;
                prev_ = c;
                continue;
            }
            // The byte before this one, now that what follows it is known.
            if (last_ >= 0x80 && last_ <= 0xA5) WeighHighByte(beforeLast_, last_, c, shape_);
            if (c == last_) {
                if (++run_ == 3 && c >= 0xB0 && c <= 0xDF) ++shape_.DosBoxRuns;
            } else {
                run_ = 1;
            }
            beforeLast_ = last_;
            last_ = c;
            if (pendingDos_) {
                (IsAsciiLetter(c) ? shape_.DosLetterLike : shape_.DosBoxLike)++;
                pendingDos_ = false;
            }
            if (c == '\r') {
                if (prevCr_) ++shape_.LoneCarriageReturns;
                prevCr_ = true;
                prev_ = c;
                continue;
            }
            if (c == '\n')
                ++shape_.LineFeeds;
            else if (prevCr_)
                ++shape_.LoneCarriageReturns;
            prevCr_ = false;
            if (c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D)
                shape_.UnassignedCp1252 = true;
            if (DiffersBetweenDosPages(c)) {
                if (IsAsciiLetter(prev_))
                    ++shape_.DosLetterLike;
                else
                    pendingDos_ = true;
            }
            prev_ = c;
        }
        return more;
    }
    TTextShape Finish() {
        if (last_ >= 0x80 && last_ <= 0xA5) WeighHighByte(beforeLast_, last_, 0, shape_);
        if (prevCr_) ++shape_.LoneCarriageReturns;
        if (pendingDos_) ++shape_.DosBoxLike;
        if (!carry_.empty()) shape_.ValidUtf8 = false;
        return shape_;
    }

private:
    TTextShape shape_;
    std::string carry_;
    bool prevCr_ = false, pendingDos_ = false;
    unsigned char prev_ = 0;
    // The last byte and the one before it (0: none), and how many times the last repeats.
    unsigned char last_ = 0, beforeLast_ = 0;
    std::size_t run_ = 0;
};

// A single-byte character set as 256 UTF-8 texts, each byte converted once by the C
// library's converter. A byte it cannot convert becomes U+FFFD.
class TByteTable {
public:
    explicit TByteTable(const char* charset) {
        iconv_t cd = ::iconv_open("UTF-8", charset);
        for (int b = 0; b < 256; ++b) {
            std::string& out = table_[static_cast<std::size_t>(b)];
            char in = static_cast<char>(b);
            char buf[8];
            char* inp = &in;
            char* outp = buf;
            std::size_t inLeft = 1, outLeft = sizeof buf;
            if (cd != reinterpret_cast<iconv_t>(-1) &&
                ::iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<std::size_t>(-1))
                out.assign(buf, static_cast<std::size_t>(outp - buf));
            else
                out = b < 0x80 ? std::string(1, static_cast<char>(b)) : "\xEF\xBF\xBD";
            if (cd != reinterpret_cast<iconv_t>(-1))
                ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
        if (cd != reinterpret_cast<iconv_t>(-1)) ::iconv_close(cd);
    }
    void Decode(std::string_view bytes, std::string& out) const {
        for (char ch : bytes) {
            auto c = static_cast<unsigned char>(ch);
            if (c < 0x80)
                out += ch;
            else
                out += table_[c];
        }
    }

private:
    std::array<std::string, 256> table_;
};

const TByteTable& TableFor(TEncoding e) {
    static const TByteTable cp437("IBM437"), cp850("IBM850"), latin1("ISO-8859-1");
    return e == TEncoding::Cp437 ? cp437 : e == TEncoding::Cp850 ? cp850 : latin1;
}

// UTF-8 kept as it is; a byte that starts no valid sequence becomes U+FFFD. A sequence cut
// by the end of the piece waits in `carry` for the next one (or, at the end, is replaced).
void DecodeUtf8(std::string_view piece, std::string& carry, bool last, std::string& out) {
    std::string data = carry + std::string(piece);
    carry.clear();
    std::size_t end = last ? data.size() : IncompleteTail(data);
    carry = data.substr(end);
    std::string_view s(data.data(), end);
    std::size_t i = 0;
    while (i < s.size()) {
        // Runs of valid text go over in one step.
        std::size_t j = i;
        while (j < s.size() && static_cast<unsigned char>(s[j]) < 0x80)
            ++j;
        out.append(s.substr(i, j - i));
        i = j;
        if (i >= s.size()) break;
        auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
        if (n > 1 && i + n <= s.size() && IsValidUtf8(s.substr(i, n))) {
            out.append(s.substr(i, n));
            i += n;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
}

} // namespace

bool ParseEncoding(std::string_view name, TEncoding& out) {
    const std::string n = FoldAZ(name);
    struct Name {
        const char* text;
        TEncoding e;
    } names[] = {{"auto", TEncoding::Auto},           {"utf-8", TEncoding::Utf8},
                 {"utf8", TEncoding::Utf8},           {"cp1252", TEncoding::Cp1252},
                 {"windows-1252", TEncoding::Cp1252}, {"cp437", TEncoding::Cp437},
                 {"ibm437", TEncoding::Cp437},        {"cp850", TEncoding::Cp850},
                 {"ibm850", TEncoding::Cp850},        {"latin1", TEncoding::Latin1},
                 {"iso-8859-1", TEncoding::Latin1}};
    for (const Name& x : names)
        if (n == x.text) {
            out = x.e;
            return true;
        }
    return false;
}

const char* EncodingName(TEncoding e) {
    switch (e) {
    case TEncoding::Auto:
        return "auto";
    case TEncoding::Utf8:
        return "utf-8";
    case TEncoding::Cp1252:
        return "cp1252";
    case TEncoding::Cp437:
        return "cp437";
    case TEncoding::Cp850:
        return "cp850";
    case TEncoding::Latin1:
        return "latin1";
    }
    return "auto";
}

TEncoding TTextShape::Choose(TEncoding requested) const {
    if (requested != TEncoding::Auto) return requested;
    if (ValidUtf8) return TEncoding::Utf8;
    // Read as Windows-1252, these bytes would become control characters: the file comes from
    // DOS. So does a file whose DOS letters and box drawing outweigh its Windows punctuation.
    // Code page 850 when its letters stand among letters, else 437.
    const std::size_t dos = DosInWord + 3 * DosBoxRuns;
    if (UnassignedCp1252 || (dos > 0 && dos > WindowsPunctuation))
        return DosLetterLike > DosBoxLike ? TEncoding::Cp850 : TEncoding::Cp437;
    return TEncoding::Cp1252;
}

TTextShape ShapeOf(std::string_view bytes) {
    TShapeScan scan;
    scan.Add(bytes);
    return scan.Finish();
}

std::string DecodeImportBytes(std::string_view bytes, TEncoding encoding) {
    std::string text;
    auto z = bytes.find('\x1A');
    if (z != std::string_view::npos) bytes = bytes.substr(0, z);
    TTextShape shape = ShapeOf(bytes);
    TEncoding e = shape.Choose(encoding);
    std::string carry;
    if (e == TEncoding::Utf8)
        DecodeUtf8(bytes, carry, true, text);
    else if (e == TEncoding::Cp1252)
        text = DecodeWindows1252(bytes);
    else
        TableFor(e).Decode(bytes, text);
    if (e == TEncoding::Utf8 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    std::erase(text, '\0');
    return text;
}

TLineReader::TLineReader(TLineReader&& o) noexcept {
    *this = std::move(o);
}

TLineReader& TLineReader::operator=(TLineReader&& o) noexcept {
    if (this == &o) return *this;
    Close();
    fileName_ = std::move(o.fileName_);
    fd_ = o.fd_;
    o.fd_ = -1;
    bytes_ = std::move(o.bytes_);
    bytesPos_ = o.bytesPos_;
    encoding_ = o.encoding_;
    crLines_ = o.crLines_;
    validUtf8_ = o.validUtf8_;
    carry_ = std::move(o.carry_);
    atStart_ = o.atStart_;
    sawCtrlZ_ = o.sawCtrlZ_;
    buf_ = std::move(o.buf_);
    pos_ = o.pos_;
    scanned_ = o.scanned_;
    exhausted_ = o.exhausted_;
    pushedBack_ = std::move(o.pushedBack_);
    lineNo_ = o.lineNo_;
    return *this;
}

TLineReader::~TLineReader() {
    Close();
}

void TLineReader::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

TLineReader TLineReader::FromBytes(std::string_view bytes, TEncoding encoding) {
    TLineReader r;
    r.bytes_ = std::string(bytes);
    r.Start(ShapeOf(r.bytes_), encoding);
    return r;
}

namespace {

// An unnamed file in the temporary folder, gone once closed; -1 when none can be made.
int AnonymousTempFile() {
    std::error_code ec;
    std::string dir = std::filesystem::temp_directory_path(ec).string();
    if (ec || dir.empty()) dir = "/tmp";
    int fd = -1;
#ifdef O_TMPFILE
    fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
#endif
    std::string path = dir + "/larderly-import-XXXXXX";
    fd = ::mkstemp(path.data());
    if (fd < 0) return -1;
    ::unlink(path.c_str());
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
}

void WriteAll(int fd, const char* data, std::size_t size, const std::string& fileName) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            throw EInOutError("Cannot read the file " + fileName +
                              ": its temporary copy: " + std::strerror(n < 0 ? errno : ENOSPC));
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

} // namespace

TLineReader TLineReader::FromFile(const std::string& fileName, TEncoding encoding) {
    TLineReader r;
    r.fileName_ = fileName;
    r.fd_ = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (r.fd_ < 0)
        throw EInOutError("Cannot read the file " + fileName + ": " + std::strerror(errno));
    // A pipe, a FIFO or a terminal can be read only once, and the readers read a file more
    // than once (each reader of the cascade from its start): what comes from such an input
    // is kept in a temporary file, which is read instead.
    int copy = -1;
    if (::lseek(r.fd_, 0, SEEK_CUR) < 0) {
        copy = AnonymousTempFile();
        if (copy < 0)
            throw EInOutError("Cannot read the file " + fileName +
                              ": no temporary file for it: " + std::strerror(errno));
    }
    struct CloseCopy {
        int& fd;
        ~CloseCopy() {
            if (fd >= 0) ::close(fd);
        }
    } closeCopy{copy};
    TShapeScan scan;
    std::string piece(kPiece, '\0');
    for (;;) {
        std::size_t n = r.ReadRaw(piece.data(), piece.size());
        if (n == 0) break;
        // Nothing after a Ctrl-Z is read, so nothing after it is kept either.
        const bool more = scan.Add(std::string_view(piece.data(), n));
        if (copy >= 0) WriteAll(copy, piece.data(), n, fileName);
        if (!more) break;
    }
    if (copy >= 0) {
        ::close(r.fd_);
        r.fd_ = copy;
        copy = -1;
    }
    if (::lseek(r.fd_, 0, SEEK_SET) < 0)
        throw EInOutError("Cannot read the file " + fileName + ": " + std::strerror(errno));
    r.Start(scan.Finish(), encoding);
    return r;
}

void TLineReader::Start(const TTextShape& shape, TEncoding requested) {
    encoding_ = shape.Choose(requested);
    // Bytes already known to be valid UTF-8 go over as they are.
    validUtf8_ = encoding_ == TEncoding::Utf8 && shape.ValidUtf8;
    crLines_ = shape.CrLines();
    Rewind();
}

void TLineReader::Rewind() {
    if (fd_ >= 0 && ::lseek(fd_, 0, SEEK_SET) < 0)
        throw EInOutError("Cannot read the file " + fileName_ + ": " + std::strerror(errno));
    bytesPos_ = 0;
    carry_.clear();
    atStart_ = true;
    sawCtrlZ_ = false;
    buf_.clear();
    pos_ = scanned_ = 0;
    exhausted_ = false;
    pushedBack_.clear();
    lineNo_ = 0;
    Settle();
}

std::size_t TLineReader::ReadRaw(char* into, std::size_t size) {
    if (fd_ < 0) {
        std::size_t n = std::min(size, bytes_.size() - bytesPos_);
        std::memcpy(into, bytes_.data() + bytesPos_, n);
        bytesPos_ += n;
        return n;
    }
    for (;;) {
        ssize_t n = ::read(fd_, into, size);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno == EINTR) continue;
        throw EInOutError("Cannot read the file " + fileName_ + ": " + std::strerror(errno));
    }
}

bool TLineReader::Fill() {
    if (exhausted_) return false;
    // Drop what has been read, so the buffer holds about one piece beyond the current line.
    if (pos_ > 0 && pos_ >= buf_.size() / 2) {
        buf_.erase(0, pos_);
        scanned_ -= std::min(scanned_, pos_);
        pos_ = 0;
    }
    char raw[kPiece];
    std::size_t n = sawCtrlZ_ ? 0 : ReadRaw(raw, sizeof raw);
    std::string_view piece(raw, n);
    auto z = piece.find('\x1A');
    if (z != std::string_view::npos) {
        piece = piece.substr(0, z);
        sawCtrlZ_ = true;
    }
    const bool last = n == 0 || sawCtrlZ_;
    const std::size_t from = buf_.size();
    if (validUtf8_)
        buf_.append(piece);
    else if (encoding_ == TEncoding::Utf8)
        DecodeUtf8(piece, carry_, last, buf_);
    else if (encoding_ == TEncoding::Cp1252)
        buf_ += DecodeWindows1252(piece);
    else
        TableFor(encoding_).Decode(piece, buf_);
    if (atStart_ && buf_.size() > from) {
        if (encoding_ == TEncoding::Utf8 && buf_.compare(from, 3, "\xEF\xBB\xBF") == 0)
            buf_.erase(from, 3);
        atStart_ = false;
    }
    if (buf_.find('\0', from) != std::string::npos) {
        std::string tail = buf_.substr(from);
        std::erase(tail, '\0');
        buf_.resize(from);
        buf_ += tail;
    }
    if (last) exhausted_ = true;
    return true;
}

void TLineReader::Settle() {
    while (pos_ >= buf_.size() && !exhausted_)
        Fill();
}

std::string TLineReader::ReadLine() {
    ++lineNo_;
    if (!pushedBack_.empty()) {
        std::string line = std::move(pushedBack_.back());
        pushedBack_.pop_back();
        return line;
    }
    std::string line;
    for (;;) {
        std::size_t end = crLines_ ? buf_.find_first_of("\r\n", std::max(scanned_, pos_))
                                   : buf_.find('\n', std::max(scanned_, pos_));
        if (end != std::string::npos) {
            // A carriage return at the end of what is decoded may be the first half of a pair.
            if (crLines_ && buf_[end] == '\r' && end + 1 == buf_.size() && !exhausted_) {
                scanned_ = end;
                Fill();
                continue;
            }
            // A carriage return just before the line feed is the usual line end: left out
            // here rather than looked for again below.
            std::size_t stop = end;
            if (!crLines_ && stop > pos_ && buf_[stop - 1] == '\r') --stop;
            line = buf_.substr(pos_, stop - pos_);
            std::size_t next = end + 1;
            if (crLines_ && buf_[end] == '\r' && next < buf_.size() && buf_[next] == '\n') ++next;
            pos_ = scanned_ = next;
            break;
        }
        if (exhausted_) {
            line = buf_.substr(pos_);
            pos_ = scanned_ = buf_.size();
            break;
        }
        scanned_ = buf_.size();
        Fill();
    }
    if (!crLines_) {
        const std::size_t cr = line.find('\r');
        if (cr != std::string::npos)
            line.erase(
                std::remove(line.begin() + static_cast<std::ptrdiff_t>(cr), line.end(), '\r'),
                line.end());
    }
    Settle();
    return line;
}

} // namespace larderly::import
