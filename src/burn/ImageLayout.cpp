// Sorting of the directories for the path tables, the sector layout of the image and the
// header stream (system area, volume descriptors, path tables, directory records, padding).
#include "burn/Image.h"

#include "platform/Text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace larderly {

namespace {

uint32_t SectorsOf(int64_t bytes) {
    return uint32_t((bytes + kSectorSize - 1) / kSectorSize);
}

// Gap sort over the entries after the first: the gap starts at the number of entries less
// one and is halved down to 1; at each gap, passes swap pairs whose first key is greater
// until a pass makes no swap. Keys are compared byte by byte.
template <class KeyFn> void GapSort(std::vector<int>& a, KeyFn key) {
    int n = int(a.size());
    for (int gap = n - 1; gap >= 1; gap /= 2) {
        bool swapped = true;
        while (swapped) {
            swapped = false;
            for (int i = 1; i + gap < n; ++i) {
                if (key(a[i]) > key(a[i + gap])) {
                    std::swap(a[i], a[i + gap]);
                    swapped = true;
                }
            }
        }
    }
}

// Record length of a directory entry whose identifier has idLen bytes.
int IsoRecordLength(size_t idLen) {
    return int(33 + idLen + (idLen % 2 == 0 ? 1 : 0));
}
int JolietRecordLength(size_t units) {
    return int(33 + 2 * units + 1);
}

void Put16LE(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void Put16BE(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
void Put32LE(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}
void Put32BE(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * (3 - i)));
}
void Put16Both(uint8_t* p, uint16_t v) {
    Put16LE(p, v);
    Put16BE(p + 2, v);
}
void Put32Both(uint8_t* p, uint32_t v) {
    Put32LE(p, v);
    Put32BE(p + 4, v);
}

std::string Utf16BE(const std::string& s) {
    std::string out;
    for (char16_t u : Utf8ToUtf16(s)) {
        out += char(u >> 8);
        out += char(u & 0xFF);
    }
    return out;
}

// A text field of width bytes, blank-padded, cut when longer.
void PutText(uint8_t* p, const std::string& s, size_t width) {
    std::memset(p, ' ', width);
    std::memcpy(p, s.data(), std::min(width, s.size()));
}

// A UTF-16 big-endian field of width bytes padded with U+0020.
void PutUcs(uint8_t* p, const std::string& s, size_t width) {
    for (size_t i = 0; i + 1 < width; i += 2) {
        p[i] = 0;
        p[i + 1] = ' ';
    }
    std::string u = Utf16BE(s);
    std::memcpy(p, u.data(), std::min(width & ~size_t(1), u.size()));
}

// 17-byte descriptor date: "yyyymmddhhnnss" plus hundredths, then the zone offset.
void PutDescriptorDate(uint8_t* p, TDateTime d, int8_t offset) {
    TDateParts t = DecodeDateTime(d);
    char b[32];
    std::snprintf(b, sizeof b, "%04d%02d%02d%02d%02d%02d%02d", std::clamp(t.Year, 0, 9999), t.Month,
                  t.Day, t.Hour, t.Minute, t.Second, t.Hundredths);
    std::memcpy(p, b, 16);
    p[16] = uint8_t(offset);
}

void PutRecordDate(uint8_t* p, TDateTime d, int8_t offset) {
    TDateParts t = DecodeDateTime(d);
    p[0] = uint8_t(std::clamp(t.Year - 1900, 0, 255));
    p[1] = uint8_t(t.Month);
    p[2] = uint8_t(t.Day);
    p[3] = uint8_t(t.Hour);
    p[4] = uint8_t(t.Minute);
    p[5] = uint8_t(t.Second);
    p[6] = uint8_t(offset);
}

// Writes one directory record at p; returns its length.
int PutRecord(uint8_t* p, uint32_t extent, uint32_t length, TDateTime date, int8_t offset,
              uint8_t flags, const std::string& id, bool padAlways) {
    int len = padAlways ? int(33 + id.size() + 1) : IsoRecordLength(id.size());
    std::memset(p, 0, size_t(len));
    p[0] = uint8_t(len);
    Put32Both(p + 2, extent);
    Put32Both(p + 10, length);
    PutRecordDate(p + 18, date, offset);
    p[25] = flags;
    Put16Both(p + 28, 1);
    p[32] = uint8_t(id.size());
    std::memcpy(p + 33, id.data(), id.size());
    return len;
}

} // namespace

void TDiscImage::SortPathTables() {
    int n = int(FDirs.size());
    FIsoOrder.resize(size_t(n));
    FJolietOrder.resize(size_t(n));
    for (int i = 0; i < n; ++i)
        FIsoOrder[size_t(i)] = FJolietOrder[size_t(i)] = i;
    auto renumber = [&](const std::vector<int>& a) {
        for (int i = 0; i < n; ++i)
            FDirs[size_t(a[size_t(i)])].Number = uint32_t(i + 1);
    };
    auto parentNo = [&](int d) { return FDirs[size_t(FDirs[size_t(d)].Parent)].Number; };
    // Keys are (number, text) pairs: the same order as the text "dddd text" for numbers
    // below 10000, and still right above.
    auto byNumber = [&](int d) { return FDirs[size_t(d)].Number; };
    auto byParent = [&](int d) { return parentNo(d); };
    auto ordered = [&](const std::vector<int>& a, int from) {
        for (int i = std::max(from, 1); i < n; ++i) {
            int p = a[size_t(i - 1)], c = a[size_t(i)];
            if (parentNo(c) < parentNo(p) || FDirs[size_t(c)].Number < FDirs[size_t(p)].Number)
                return false;
        }
        return true;
    };

    GapSort(FIsoOrder, [&](int d) {
        return std::make_pair(uint32_t(FDirs[size_t(d)].Level),
                              std::cref(FDirs[size_t(d)].ShortName));
    });
    renumber(FIsoOrder);
    GapSort(FJolietOrder, [&](int d) {
        return std::make_pair(uint32_t(FDirs[size_t(d)].Level),
                              std::cref(FDirs[size_t(d)].LongName));
    });
    renumber(FJolietOrder);
    GapSort(FJolietOrder, [&](int d) {
        return std::make_pair(parentNo(d), std::cref(FDirs[size_t(d)].LongName));
    });
    renumber(FJolietOrder);

    // Settle both arrays on one order in which parents come before their children. The
    // loop ends within a few rounds; the bound only guards against a tree it cannot order.
    for (int round = 0; round < 10000; ++round) {
        GapSort(FIsoOrder, byNumber);
        renumber(FIsoOrder);
        GapSort(FIsoOrder, byParent);
        renumber(FIsoOrder);
        GapSort(FIsoOrder, byNumber);
        renumber(FIsoOrder);
        if (!ordered(FIsoOrder, 1)) continue;
        GapSort(FJolietOrder, byNumber);
        renumber(FJolietOrder);
        GapSort(FJolietOrder, byParent);
        renumber(FJolietOrder);
        if (ordered(FJolietOrder, 0)) break;
    }
}

void TDiscImage::ComputeSizes() {
    for (auto& d : FDirs) {
        int64_t iso = 68, jol = 68;
        for (int c = d.FirstChild; c >= 0; c = FFiles[size_t(c)].NextSibling) {
            const TFEntry& f = FFiles[size_t(c)];
            bool file = !f.IsDirectory();
            int ri = IsoRecordLength(f.ShortName.size() + (file ? 2 : 0));
            if (iso % kSectorSize + ri > kSectorSize) iso = int64_t(SectorsOf(iso)) * kSectorSize;
            iso += ri;
            int rj = JolietRecordLength(Utf8ToUtf16(f.LongName).size() + (file ? 2 : 0));
            if (jol % kSectorSize + rj > kSectorSize) jol = int64_t(SectorsOf(jol)) * kSectorSize;
            jol += rj;
        }
        d.IsoSize = int64_t(SectorsOf(iso)) * kSectorSize;
        d.JolietSize = int64_t(SectorsOf(jol)) * kSectorSize;
    }
}

void TDiscImage::PrepareImage(bool WithoutDevice, const std::string& directory) {
    LayoutImage(WithoutDevice ? 0 : DeviceNextWritableAddress());
}

void TDiscImage::LayoutImage(uint32_t nwa) {
    SortPathTables();
    ComputeSizes();
    TImageLayout& L = FLayout;
    L = TImageLayout{};
    L.NextWritableAddress = nwa;

    uint32_t isoPt = 10, jolPt = 10;
    for (size_t i = 1; i < FDirs.size(); ++i) {
        size_t len = FDirs[i].ShortName.size();
        isoPt += uint32_t(8 + len + (len % 2));
        jolPt += uint32_t(8 + 2 * Utf8ToUtf16(FDirs[i].LongName).size());
    }
    L.IsoPathTableSize = isoPt;
    L.JolietPathTableSize = JolietFileSystem ? jolPt : 0;

    uint32_t s = nwa + 16 + 1 + (JolietFileSystem ? 1 : 0) + 1; // descriptors and terminator
    L.IsoPathTableL = s;
    s += SectorsOf(isoPt);
    L.IsoPathTableM = s;
    s += SectorsOf(isoPt);
    if (JolietFileSystem) {
        L.JolietPathTableL = s;
        s += SectorsOf(jolPt);
        L.JolietPathTableM = s;
        s += SectorsOf(jolPt);
    }
    L.IsoDirArea = s;
    uint32_t off = 0;
    for (auto& d : FDirs) {
        d.IsoOffset = off;
        off += SectorsOf(d.IsoSize);
    }
    s += off;
    if (JolietFileSystem) {
        L.JolietDirArea = s;
        off = 0;
        for (auto& d : FDirs) {
            d.JolietOffset = off;
            off += SectorsOf(d.JolietSize);
        }
        s += off;
    }
    L.PaddingSectors = s < kMinFirstFileSector ? kMinFirstFileSector - s : 0;
    L.FirstFileLocation = s + L.PaddingSectors;

    uint32_t fileOff = 0;
    for (auto& f : FFiles) {
        if (f.IsDirectory()) {
            const TDEntry& d = FDirs[size_t(f.Directory)];
            f.IsoExtent = d.IsoOffset;
            f.JolietExtent = d.JolietOffset;
            f.IsoSize = d.IsoSize;
            f.JolietSize = d.JolietSize;
        } else if (f.IsoSize == 0) {
            f.IsoExtent = f.JolietExtent = 0;
        } else {
            f.IsoExtent = f.JolietExtent = fileOff;
            fileOff += SectorsOf(f.IsoSize);
        }
    }
    L.VolumeSize = L.FirstFileLocation + fileOff;
}

uint32_t TDiscImage::TrackSectors() const {
    uint32_t n = FLayout.VolumeSize - FLayout.NextWritableAddress;
    if (WritePostGap && n < kMinTrackSectors) n = kMinTrackSectors;
    return n;
}

void TDiscImage::BuildImageHeader() {
    // Laid out again at the same address: the records are written into the sizes the layout
    // gave, so a tree that changed since PrepareImage must not meet an old layout.
    LayoutImage(FLayout.NextWritableAddress);
    const TImageLayout& L = FLayout;
    const uint32_t nwa = L.NextWritableAddress;
    std::vector<uint8_t> img(size_t(L.FirstFileLocation - nwa) * kSectorSize, 0);
    auto at = [&](uint32_t sector) { return img.data() + size_t(sector - nwa) * kSectorSize; };
    const TDateTime now = Now ? Now() : DateTimeNow();
    const int8_t tz = ZoneOffsetAt(now);
    const TDEntry& root = FDirs[0];

    // Volume descriptors.
    auto descriptor = [&](uint8_t* p, bool joliet) {
        p[0] = joliet ? 2 : 1;
        std::memcpy(p + 1, "CD001", 5);
        p[6] = 1;
        if (joliet) {
            PutUcs(p + 8, IdSystem, 32);
            PutUcs(p + 40, IdVolume, 32);
        } else {
            PutText(p + 8, UpperAZ(IdSystem), 32);
            PutText(p + 40, UpperAZ(IdVolume), 32);
        }
        Put32Both(p + 80, L.VolumeSize);
        // The UCS-2 escape sequence belongs to the supplementary descriptor only: in the
        // primary one it makes readers take the ISO names for UTF-16 text.
        if (joliet) {
            p[88] = 0x25;
            p[89] = 0x2F;
            p[90] = 0x40;
        }
        Put16Both(p + 120, 1);
        Put16Both(p + 124, 1);
        Put16Both(p + 128, kSectorSize);
        uint32_t ptSize = joliet ? L.JolietPathTableSize : L.IsoPathTableSize;
        Put32Both(p + 132, ptSize);
        Put32LE(p + 140, joliet ? L.JolietPathTableL : L.IsoPathTableL);
        Put32BE(p + 148, joliet ? L.JolietPathTableM : L.IsoPathTableM);
        uint8_t* r = p + 156;
        r[0] = 34;
        Put32Both(r + 2, joliet ? L.JolietDirArea : L.IsoDirArea);
        Put32Both(r + 10, uint32_t(joliet ? root.JolietSize : root.IsoSize));
        r[25] = 2;
        Put16Both(r + 28, 1);
        r[32] = 1;
        const std::string* ids[] = {&IdVolumeSet, &IdPublisher, &IdPreparer, &IdApplication};
        for (int i = 0; i < 4; ++i) {
            if (joliet)
                PutUcs(p + 190 + 128 * i, *ids[i], 128);
            else
                PutText(p + 190 + 128 * i, UpperAZ(*ids[i]), 128);
        }
        const std::string* files[] = {&FileCopyright, &FileAbstract, &FileBibliographic};
        for (int i = 0; i < 3; ++i) {
            if (joliet)
                PutUcs(p + 702 + 37 * i, *files[i], 36);
            else
                PutText(p + 702 + 37 * i, UpperAZ(*files[i]), 37);
        }
        // Dates are local time, so each carries the zone offset in force at that date.
        const TDateTime created = joliet ? DateCreation : now;
        const TDateTime modified = joliet ? DateModification : now;
        PutDescriptorDate(p + 813, created, ZoneOffsetAt(created));
        PutDescriptorDate(p + 830, modified, ZoneOffsetAt(modified));
        std::memcpy(p + 847, "0000000000000000", 16);
        std::memcpy(p + 864, "0000000000000000", 16);
        p[881] = 1;
        std::memset(p + 1024, ' ', 8);
    };
    uint32_t s = nwa + 16;
    descriptor(at(s++), false);
    if (JolietFileSystem) descriptor(at(s++), true);
    uint8_t* term = at(s++);
    term[0] = 255;
    std::memcpy(term + 1, "CD001", 5);
    term[6] = 1;

    // Path tables, type L then type M.
    auto pathTable = [&](uint32_t sector, bool bigEndian, bool joliet) {
        uint8_t* p = at(sector);
        const std::vector<int>& order = joliet ? FJolietOrder : FIsoOrder;
        for (int di : order) {
            const TDEntry& d = FDirs[size_t(di)];
            std::string id = di == 0  ? std::string(1, '\0')
                             : joliet ? Utf16BE(d.LongName)
                                      : d.ShortName;
            uint32_t extent =
                joliet ? L.JolietDirArea + d.JolietOffset : L.IsoDirArea + d.IsoOffset;
            uint16_t parent = uint16_t(FDirs[size_t(d.Parent)].Number);
            p[0] = uint8_t(id.size());
            p[1] = 0;
            if (bigEndian) {
                Put32BE(p + 2, extent);
                Put16BE(p + 6, parent);
            } else {
                Put32LE(p + 2, extent);
                Put16LE(p + 6, parent);
            }
            std::memcpy(p + 8, id.data(), id.size());
            p += 8 + id.size() + (id.size() % 2);
        }
    };
    pathTable(L.IsoPathTableL, false, false);
    pathTable(L.IsoPathTableM, true, false);
    if (JolietFileSystem) {
        pathTable(L.JolietPathTableL, false, true);
        pathTable(L.JolietPathTableM, true, true);
    }

    // Directory records, directory by directory in creation order, children unsorted.
    auto directories = [&](bool joliet) {
        uint32_t area = joliet ? L.JolietDirArea : L.IsoDirArea;
        for (const TDEntry& d : FDirs) {
            const TDEntry& parent = FDirs[size_t(d.Parent)];
            uint8_t* base = at(area + (joliet ? d.JolietOffset : d.IsoOffset));
            auto size = [&](const TDEntry& e) {
                return uint32_t(joliet ? e.JolietSize : e.IsoSize);
            };
            auto first = [&](const TDEntry& e) {
                return area + (joliet ? e.JolietOffset : e.IsoOffset);
            };
            size_t pos = 0;
            pos += size_t(
                PutRecord(base + pos, first(d), size(d), now, tz, 2, std::string(1, '\0'), false));
            pos += size_t(PutRecord(base + pos, first(parent), size(parent), now, tz, 2,
                                    std::string(1, '\1'), false));
            for (int c = d.FirstChild; c >= 0; c = FFiles[size_t(c)].NextSibling) {
                const TFEntry& f = FFiles[size_t(c)];
                bool file = !f.IsDirectory();
                std::string id = joliet ? Utf16BE(f.LongName + (file ? ";1" : ""))
                                        : f.ShortName + (file ? ";1" : "");
                size_t len = joliet ? size_t(JolietRecordLength(id.size() / 2))
                                    : size_t(IsoRecordLength(id.size()));
                if (pos % kSectorSize + len > kSectorSize)
                    pos = size_t(SectorsOf(int64_t(pos))) * kSectorSize;
                uint32_t extent, length;
                uint8_t flags;
                if (file) {
                    extent = f.IsoSize == 0 ? 0 : L.FirstFileLocation + f.IsoExtent;
                    length = uint32_t(f.IsoSize);
                    flags = (f.Attributes & faHidden) ? 1 : 0;
                } else {
                    const TDEntry& sub = FDirs[size_t(f.Directory)];
                    extent = first(sub);
                    length = size(sub);
                    flags = uint8_t(2 | ((f.Attributes & faHidden) ? 1 : 0));
                }
                pos += size_t(PutRecord(base + pos, extent, length, f.DateTime,
                                        ZoneOffsetAt(f.DateTime), flags, id, joliet));
            }
        }
    };
    directories(false);
    if (JolietFileSystem) directories(true);

    FHeader.SetSize(0);
    FHeader.Write(img.data(), int64_t(img.size()));
    FHeader.SetPosition(0);

    // The system area and the descriptors, for the start of rewritable DVD media.
    FDescriptorCopy.assign(kDescriptorCopySize, 0xFF);
    size_t n = std::min(kDescriptorCopySize, size_t(s - nwa) * kSectorSize);
    std::memcpy(FDescriptorCopy.data(), img.data(), n);
}

} // namespace larderly
