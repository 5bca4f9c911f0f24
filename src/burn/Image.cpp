// The image tree: resetting it, adding files and directories, the naming rules (8.3 aliases,
// directory identifiers, Joliet identifiers that fit a directory record) and the date helpers.
#include "burn/Image.h"

#include "platform/DayNumber.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace larderly {

namespace {

// ---- dates -------------------------------------------------------------------------------

// Day 0 of TDateTime (30 December 1899) as a day number; computed when asked, so that no
// static initialisation order is involved.
int64_t DateTimeEpoch() {
    return DayNumber(1899, 12, 30);
}

// ---- names -------------------------------------------------------------------------------

// The name of a source file: its path is one of this system, where only "/" separates the
// parts and a backslash is an ordinary character of the name.
std::string LocalFileName(const std::string& sourcePath) {
    const size_t slash = sourcePath.rfind('/');
    return slash == std::string::npos ? sourcePath : sourcePath.substr(slash + 1);
}

// Splits UTF-8 text into code points (each as its bytes); an invalid byte stands alone.
std::vector<std::string> CodePoints(const std::string& s) {
    std::vector<std::string> out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
        if (i + n > s.size()) n = 1;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) n = 1;
        out.push_back(s.substr(i, n));
        i += n;
    }
    return out;
}

size_t Utf16Units(const std::string& s) {
    return Utf8ToUtf16(s).size();
}

bool Valid83Char(unsigned char c) {
    if (std::isalnum(c)) return c < 0x80;
    return std::string("!#$%&'()-@^_`{}~").find(char(c)) != std::string::npos;
}

bool IsValid83(const std::string& name) {
    size_t dot = name.find('.');
    std::string base = name.substr(0, dot);
    std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
    if (dot != std::string::npos && ext.empty()) return false;
    for (unsigned char c : base + ext)
        if (!Valid83Char(c)) return false;
    return true;
}

// The characters an alias keeps of a name part: blanks and periods dropped, characters that
// may not stand in a short name replaced by "_", letters in upper case.
std::string AliasPart(const std::string& part, size_t maxChars) {
    std::string out;
    for (const auto& cp : CodePoints(part)) {
        if (out.size() >= maxChars) break;
        unsigned char c = static_cast<unsigned char>(cp[0]);
        if (cp.size() == 1 && (c == ' ' || c == '.')) continue;
        if (cp.size() == 1 && Valid83Char(c))
            out += UpperAZ(char(c));
        else
            out += '_';
    }
    return out;
}

// The code points of s from its start that fit in `room` UTF-16 units.
std::string CutToUnits(const std::string& s, size_t room) {
    std::string cut;
    size_t units = 0;
    for (const auto& cp : CodePoints(s)) {
        const size_t u = Utf16Units(cp);
        if (units + u > room) break;
        cut += cp;
        units += u;
    }
    return cut;
}

// A Joliet name as base and extension; the extension (from the last dot) is kept apart only
// when it is short.
std::pair<std::string, std::string> SplitJolietName(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0 && Utf16Units(name.substr(dot)) <= 16)
        return {name.substr(0, dot), name.substr(dot)};
    return {name, std::string()};
}

// Makes a Joliet identifier of a name: the characters Joliet forbids (controls and
// "* / : ; ? \") become "_", and the identifier is cut so that its directory record stays
// within 255 bytes: at most 110 UTF-16 units including the ";1" of a file. The extension is
// kept when it is short.
std::string FitJoliet(std::string name, bool isFile) {
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || std::strchr("*/:;?\\", c)) c = '_';
    const size_t limit = isFile ? 108 : 110;
    if (Utf16Units(name) <= limit) return name;
    const auto [base, ext] = SplitJolietName(name);
    return CutToUnits(base, limit - Utf16Units(ext)) + ext;
}

// A Joliet identifier no sibling has (compared ignoring case): "~N" goes before the
// extension, the base cut further so that the whole still fits the record.
std::string UniqueJoliet(const std::string& fitted, bool isFile,
                         const std::function<bool(const std::string&)>& taken) {
    if (!taken(fitted)) return fitted;
    const size_t limit = isFile ? 108 : 110;
    const auto [base, ext] = SplitJolietName(fitted);
    for (int i = 1;; ++i) {
        const std::string tail = "~" + std::to_string(i);
        std::string candidate =
            CutToUnits(base, limit - Utf16Units(ext) - tail.size()) + tail + ext;
        if (!taken(candidate) || i >= 999999) return candidate;
    }
}

// A directory identifier (at most 13 characters) no sibling has: "~N" replaces its end.
std::string UniqueDirShortName(const std::string& name,
                               const std::function<bool(const std::string&)>& taken) {
    if (!taken(name)) return name;
    for (int i = 1;; ++i) {
        const std::string tail = "~" + std::to_string(i);
        std::string candidate = name.substr(0, std::min(name.size(), 13 - tail.size())) + tail;
        if (!taken(candidate) || i >= 999999) return candidate;
    }
}

} // namespace

// ---- shared helpers ----------------------------------------------------------------------

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int hundredths) {
    int64_t days = DayNumber(year, month, day) - DateTimeEpoch();
    double frac = (hour * 3600.0 + minute * 60.0 + second + hundredths / 100.0) / 86400.0;
    return double(days) + frac;
}

TDateParts DecodeDateTime(TDateTime d) {
    double whole = d >= 0 ? double(int64_t(d)) : -double(int64_t(-d));
    if (whole > d) whole -= 1; // floor for negative values
    int64_t days = int64_t(whole);
    int64_t hs = int64_t((d - whole) * 8640000.0 + 0.5);
    if (hs >= 8640000) {
        hs -= 8640000;
        ++days;
    }
    TDateParts p{};
    const CivilDate date = DateOfDayNumber(days + DateTimeEpoch());
    p.Year = date.year;
    p.Month = date.month;
    p.Day = date.day;
    p.Hour = int(hs / 360000);
    p.Minute = int(hs / 6000 % 60);
    p.Second = int(hs / 100 % 60);
    p.Hundredths = int(hs % 100);
    return p;
}

TDateTime DateTimeFromUnix(std::time_t t) {
    std::tm tm{};
    if (!localtime_r(&t, &tm)) return DateTimeNow();
    return EncodeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                          tm.tm_sec);
}

int8_t ZoneOffsetAt(TDateTime local) {
    TDateParts p = DecodeDateTime(local);
    std::tm tm{};
    tm.tm_year = p.Year - 1900;
    tm.tm_mon = p.Month - 1;
    tm.tm_mday = p.Day;
    tm.tm_hour = p.Hour;
    tm.tm_min = p.Minute;
    tm.tm_sec = p.Second;
    tm.tm_isdst = -1; // let the zone rules decide for that date
    if (std::mktime(&tm) == std::time_t(-1) && tm.tm_isdst < 0) {
        tzset();
        return int8_t(-(timezone / 60) / 15);
    }
    long quarters = tm.tm_gmtoff / 900;
    return int8_t(std::clamp<long>(quarters, -48, 52));
}

TDateTime DateTimeNow() {
    auto now = std::chrono::system_clock::now();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
    std::time_t t = std::time_t(ms.count() / 1000);
    std::tm tm{};
    localtime_r(&t, &tm);
    return EncodeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                          tm.tm_sec, int(ms.count() % 1000 / 10));
}

std::u16string Utf8ToUtf16(const std::string& s) {
    std::u16string out;
    for (const auto& cp : CodePoints(s)) {
        auto b = [&](size_t i) { return uint32_t(static_cast<unsigned char>(cp[i])); };
        uint32_t c;
        if (cp.size() == 1)
            c = b(0) < 0x80 ? b(0) : '_';
        else if (cp.size() == 2)
            c = ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
        else if (cp.size() == 3)
            c = ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
        else
            c = ((b(0) & 0x07) << 18) | ((b(1) & 0x3F) << 12) | ((b(2) & 0x3F) << 6) |
                (b(3) & 0x3F);
        if (c >= 0x10000 && c <= 0x10FFFF) {
            c -= 0x10000;
            out += char16_t(0xD800 + (c >> 10));
            out += char16_t(0xDC00 + (c & 0x3FF));
        } else if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += u'_';
        } else {
            out += char16_t(c);
        }
    }
    return out;
}

std::string ShortAlias(const std::string& name,
                       const std::function<bool(const std::string&)>& taken) {
    if (IsValid83(name)) return "";
    return NumberedAlias(name, taken);
}

std::string NumberedAlias(const std::string& name,
                          const std::function<bool(const std::string&)>& taken) {
    std::string n = name;
    size_t lead = n.find_first_not_of('.');
    n = lead == std::string::npos ? "" : n.substr(lead);
    size_t dot = n.rfind('.');
    std::string base = AliasPart(n.substr(0, dot), 64);
    std::string ext = dot == std::string::npos ? "" : AliasPart(n.substr(dot + 1), 3);
    if (base.empty()) base = "_";
    for (int i = 1;; ++i) {
        std::string tail = "~" + std::to_string(i);
        size_t keep = std::min<size_t>(6, 8 - tail.size());
        std::string alias = base.substr(0, keep) + tail + (ext.empty() ? "" : "." + ext);
        if (!taken || !taken(alias) || i >= 999999) return alias;
    }
}

// ---- the tree ----------------------------------------------------------------------------

TDiscImage::TDiscImage() : Now(DateTimeNow) {
    ResetImage(65535, 8191);
}

void TDiscImage::Debug(const std::string& text, uint8_t mType) {
    if (ImageDebugMessage) ImageDebugMessage(text, mType);
}

void TDiscImage::ResetImage(int fileCapacity, int dirCapacity) {
    // The offset of directory records: quarter hours east of UTC, standard time.
    tzset();
    FTzOffset = int8_t(-(timezone / 60) / 15);
    FHeader.SetSize(0);
    FFiles.clear();
    FDirs.clear();
    FIsoOrder.clear();
    FJolietOrder.clear();
    FLayout = TImageLayout{};
    FFileCapacity = fileCapacity;
    FDirCapacity = dirCapacity;
    TDEntry root;
    root.ShortName = "CD_ROOT";
    root.LongName = "CD Root Directory";
    root.Path = "/";
    root.Level = 1;
    root.Parent = 0;
    root.Number = 1;
    root.Created = Now ? Now() : DateTimeNow();
    FDirs.push_back(root);
}

int TDiscImage::FindImageDir(const std::string& path) const {
    std::string p = fileutil::ToForwardSlashes(path);
    if (p.empty() || p == "/") return 0;
    p = fileutil::ExcludeTrailingSeparator(p);
    if (p.empty() || p[0] != '/') p = "/" + p;
    p = UpperAZ(p);
    for (size_t i = 1; i < FDirs.size(); ++i)
        if (FDirs[i].Path == p) return int(i);
    return -1;
}

void TDiscImage::AppendChild(int dir, int fileIndex) {
    int c = FDirs[dir].FirstChild;
    if (c < 0) {
        FDirs[dir].FirstChild = fileIndex;
        return;
    }
    while (FFiles[c].NextSibling >= 0)
        c = FFiles[c].NextSibling;
    FFiles[c].NextSibling = fileIndex;
}

int TDiscImage::FindChild(int dir, const std::string& longName) const {
    std::string want = UpperAZ(longName);
    for (int c = FDirs[dir].FirstChild; c >= 0; c = FFiles[c].NextSibling)
        if (UpperAZ(FFiles[c].FullName) == want) return c;
    return -1;
}

int TDiscImage::ForceImageDir(const std::string& path) {
    std::string p = fileutil::ToForwardSlashes(path);
    int found = FindImageDir(p);
    if (found >= 0) return found;
    size_t slash = p.rfind('/');
    int parent = 0;
    std::string name = p;
    if (slash != std::string::npos) {
        parent = ForceImageDir(p.substr(0, slash));
        name = p.substr(slash + 1);
    }
    if (parent < 0) return -1;
    if (name.empty()) return parent;

    std::string shortName;
    int chars = 0;
    for (const auto& cp : CodePoints(name)) {
        if (chars++ == 13) break;
        unsigned char c = static_cast<unsigned char>(cp[0]);
        if (cp.size() > 1 || c < '!' || c > 'z')
            shortName += '_';
        else
            shortName += UpperAZ(char(c));
    }
    std::string full = (parent == 0 ? "" : FDirs[parent].Path) + "/" + name;
    if (int d = FindImageDir(full); d >= 0) return d;

    if (int(FDirs.size()) >= FDirCapacity) {
        Debug(">>> MAXIMUM DIRECTORIES CAN BE " + std::to_string(FDirCapacity), mtImageTableFull);
        return -1;
    }
    if (int(FFiles.size()) >= FFileCapacity) {
        Debug("MAXIMUM FILES CAN BE " + std::to_string(FFileCapacity), mtImageTableFull);
        return -1;
    }
    // Another child of the parent may already carry this identifier (two long names that
    // agree in their first 13 characters).
    shortName = UniqueDirShortName(shortName, [&](const std::string& id) {
        for (int c = FDirs[parent].FirstChild; c >= 0; c = FFiles[c].NextSibling)
            if (FFiles[c].IsDirectory() && UpperAZ(FFiles[c].ShortName) == id) return true;
        return false;
    });
    const std::string longName =
        UniqueJoliet(FitJoliet(name, false), false, [&](const std::string& id) {
            const std::string want = UpperAZ(id);
            for (int c = FDirs[parent].FirstChild; c >= 0; c = FFiles[c].NextSibling)
                if (UpperAZ(FFiles[c].LongName) == want) return true;
            return false;
        });
    TDateTime now = Now ? Now() : DateTimeNow();
    TDEntry d;
    d.ShortName = shortName;
    d.LongName = longName;
    d.Parent = parent;
    d.Level = 0;
    d.Path = UpperAZ(full);
    d.Created = now;
    FDirs.push_back(d);
    TFEntry f;
    f.ShortName = shortName;
    f.LongName = d.LongName;
    f.FullName = name;
    f.Attributes = faDirectory;
    f.DateTime = now;
    f.Directory = int(FDirs.size()) - 1;
    FFiles.push_back(f);
    AppendChild(parent, int(FFiles.size()) - 1);
    return f.Directory;
}

int TDiscImage::AddFile(const std::string& destDir, const std::string& sourcePath,
                        bool keepSourcePath) {
    std::string dest = destDir;
    if (keepSourcePath) {
        std::string src = fileutil::ToForwardSlashes(sourcePath);
        size_t slash = src.rfind('/');
        std::string dir = slash == std::string::npos ? "" : src.substr(0, slash);
        if (dir.rfind("//", 0) == 0) {
            // server and share of a network path
            size_t a = dir.find('/', 2);
            size_t b = a == std::string::npos ? a : dir.find('/', a + 1);
            dir = b == std::string::npos ? "" : dir.substr(b);
        } else if (dir.size() >= 2 && std::isalpha(static_cast<unsigned char>(dir[0])) &&
                   dir[1] == ':') {
            dir = dir.substr(2);
        }
        ForceImageDir(dir);
        dest = dir;
    }
    int d = FindImageDir(dest);
    if (d < 0) {
        Debug("INVALID DESTINATION PATH", mtImageInvalidPath);
        return 0;
    }
    struct stat st {};
    if (::stat(sourcePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 255;

    const std::string found = LocalFileName(sourcePath);
    int32_t attr = faArchive;
    if (!(st.st_mode & S_IWUSR)) attr |= faReadOnly;
    if (!found.empty() && found[0] == '.') attr |= faHidden;
    AddEntry(d, sourcePath, found, int64_t(st.st_size), attr, DateTimeFromUnix(st.st_mtime));
    return 1;
}

std::string TDiscImage::WhyNotAdded(const std::string& destDir,
                                    const std::string& sourcePath) const {
    const int d = FindImageDir(destDir);
    if (d < 0) return "no such folder in the image";
    struct stat st {};
    if (::stat(sourcePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return "no such file";
    if (int64_t(st.st_size) > kMaxIsoFileSize) return "4 GB or more";
    std::string longName = LocalFileName(sourcePath);
    if (longName.find('.') == std::string::npos) longName += '.';
    if (FindChild(d, longName) >= 0) return "a file of the same name is in the image already";
    if (Utf16Units(longName) > 109) return "name longer than 109 characters";
    if (int(FFiles.size()) >= FFileCapacity) return "the file table is full";
    return "";
}

void TDiscImage::AddEntry(int dir, const std::string& sourcePath, const std::string& foundName,
                          int64_t size, int32_t attr, TDateTime date) {
    std::string longName = foundName;
    if (longName.find('.') == std::string::npos) longName += '.';

    int reuse = FindChild(dir, longName);
    if (reuse >= 0 && (!ReplaceFile || FFiles[reuse].IsDirectory())) return;

    // Data lengths are recorded in 32 bits: a larger file cannot be described.
    if (size > kMaxIsoFileSize) {
        Debug(">>> FILE TOO LARGE FOR THE IMAGE (4 GB OR MORE): " + sourcePath, mtImageTableFull);
        return;
    }

    std::string shortName = ShortAlias(foundName, [&](const std::string& alias) {
        for (int c = FDirs[dir].FirstChild; c >= 0; c = FFiles[c].NextSibling)
            if (c != reuse && UpperAZ(FFiles[c].ShortName) == alias) return true;
        return false;
    });
    if (shortName.empty()) shortName = UpperAZ(longName);

    bool skip = Utf16Units(longName) > 109;
    if (OnAddFile) OnAddFile(sourcePath, longName, shortName, date, attr, size, skip);
    if (skip) return;

    int idx = reuse;
    if (idx < 0) {
        if (int(FFiles.size()) >= FFileCapacity) {
            Debug("MAXIMUM FILES CAN BE " + std::to_string(FFileCapacity), mtImageTableFull);
            return;
        }
        FFiles.emplace_back();
        idx = int(FFiles.size()) - 1;
        AppendChild(dir, idx);
    }
    // An ISO record holds at most 255 bytes: 33 fixed, the identifier with ";1", a pad byte.
    shortName = UpperAZ(shortName);
    if (shortName.size() > 218) shortName.resize(218);
    // Every identifier of a folder is unique: a valid 8.3 name (or one the handler chose)
    // may equal an alias made earlier, and two long names may agree once cut to fit.
    auto sibling = [&](auto same) {
        for (int c = FDirs[dir].FirstChild; c >= 0; c = FFiles[c].NextSibling)
            if (c != idx && !FFiles[c].IsDirectory() && same(FFiles[c])) return true;
        return false;
    };
    auto shortTaken = [&](const std::string& id) {
        return sibling([&](const TFEntry& e) { return e.ShortName == id; });
    };
    if (shortTaken(shortName)) shortName = NumberedAlias(shortName, shortTaken);
    const std::string longFitted =
        UniqueJoliet(FitJoliet(longName, true), true, [&](const std::string& id) {
            const std::string want = UpperAZ(id);
            return sibling([&](const TFEntry& e) { return UpperAZ(e.LongName) == want; });
        });
    TFEntry& f = FFiles[idx];
    f.ShortName = shortName;
    f.LongName = longFitted;
    f.FullName = longName;
    f.IsoSize = f.JolietSize = size;
    f.Attributes = attr;
    f.DateTime = date;
    f.SourcePath = sourcePath;
    f.Directory = -1;
}

} // namespace larderly
