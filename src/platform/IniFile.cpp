// Initialization files with the classic profile functions' behaviour and atomic writes.
#include "platform/IniFile.h"

#include "platform/Errors.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace larderly {

namespace {

std::string Trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r'))
        --e;
    return s.substr(b, e - b);
}

// Creates every missing folder on the way to `dir`.
void MakeFolders(const std::string& dir) {
    if (!fileutil::MakeDirectories(dir))
        throw EInOutError("Cannot create folder " + dir + ": " + std::strerror(errno));
}

} // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)) {
    std::ifstream in(path_, std::ios::binary);
    if (!in) return;
    std::string raw, section;
    while (std::getline(in, raw)) {
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        Line l;
        l.text = raw;
        std::string t = Trim(raw);
        if (!t.empty() && t.front() == '[') {
            auto close = t.find(']');
            if (close != std::string::npos) {
                section = Trim(t.substr(1, close - 1));
                l.header = true;
                l.section = section;
            }
        } else if (!t.empty() && t.front() != ';' && t.front() != '#') {
            auto eq = t.find('=');
            if (eq != std::string::npos && eq > 0) {
                l.section = section;
                l.key = Trim(t.substr(0, eq));
                l.value = Trim(t.substr(eq + 1));
            }
        }
        lines_.push_back(std::move(l));
    }
}

int IniFile::FindKey(const std::string& section, const std::string& key) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Line& l = lines_[i];
        if (!l.key.empty() && SameTextAZ(l.section, section) && SameTextAZ(l.key, key))
            return static_cast<int>(i);
    }
    return -1;
}

std::optional<std::string> IniFile::Value(const std::string& section,
                                          const std::string& key) const {
    int i = FindKey(section, key);
    if (i < 0) return std::nullopt;
    std::string v = lines_[static_cast<std::size_t>(i)].value;
    // One pair of enclosing quotes, double or single, is not part of the value.
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return v;
}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& def) const {
    auto v = Value(section, key);
    return v ? *v : def;
}

long long IniFile::ReadInteger(const std::string& section, const std::string& key,
                               long long def) const {
    auto v = Value(section, key);
    if (!v || v->empty()) return def;
    const std::string& s = *v;
    std::size_t i = 0;
    bool neg = false;
    if (s[0] == '-' || s[0] == '+') {
        neg = s[0] == '-';
        i = 1;
    }
    if (i >= s.size()) return def;
    long long n = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return def;
        n = n * 10 + (s[i] - '0');
        // Settings are 32-bit integers: a larger number is not one.
        if (n > 2147483648LL) return def;
    }
    if (neg) n = -n;
    if (n > 2147483647LL) return def;
    return n;
}

bool IniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
    constexpr long long kUnset = -0x7fffffffffffffffLL;
    long long n = ReadInteger(section, key, kUnset);
    if (n == kUnset) return def;
    return n != 0;
}

void IniFile::SetString(const std::string& section, const std::string& key,
                        const std::string& value) {
    int i = FindKey(section, key);
    if (i >= 0) {
        Line& l = lines_[static_cast<std::size_t>(i)];
        l.value = value;
        l.text = l.key + "=" + value;
        return;
    }
    Line nl;
    nl.section = section;
    nl.key = key;
    nl.value = value;
    nl.text = key + "=" + value;
    // Insert after the last line of the section, or append a new section.
    int last = -1;
    bool found = false;
    for (std::size_t j = 0; j < lines_.size(); ++j) {
        const Line& l = lines_[j];
        if (l.header) {
            if (found && !SameTextAZ(l.section, section)) break;
            if (SameTextAZ(l.section, section)) {
                found = true;
                last = static_cast<int>(j);
            }
        } else if (found && !l.text.empty()) {
            last = static_cast<int>(j);
        }
    }
    if (found) {
        lines_.insert(lines_.begin() + last + 1, nl);
        return;
    }
    if (!lines_.empty() && !lines_.back().text.empty()) lines_.push_back(Line{});
    Line h;
    h.header = true;
    h.section = section;
    h.text = "[" + section + "]";
    lines_.push_back(h);
    lines_.push_back(nl);
}

void IniFile::SetInteger(const std::string& section, const std::string& key, long long value) {
    SetString(section, key, std::to_string(value));
}

void IniFile::SetBool(const std::string& section, const std::string& key, bool value) {
    SetString(section, key, value ? "1" : "0");
}

bool IniFile::HasSection(const std::string& section) const {
    for (const auto& l : lines_)
        if (l.header && SameTextAZ(l.section, section)) return true;
    return false;
}

std::vector<std::string> IniFile::SectionKeys(const std::string& section) const {
    std::vector<std::string> keys;
    for (const auto& l : lines_)
        if (!l.key.empty() && SameTextAZ(l.section, section)) keys.push_back(l.key);
    return keys;
}

namespace {

// The file a path finally names: a symbolic link (or a chain of them) is followed, so that a
// write replaces the target and the link stays. A dangling link gives the path it points to.
std::string FinalTarget(const std::string& path) {
    std::string p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
        std::vector<char> buf(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        ssize_t n = ::readlink(p.c_str(), buf.data(), buf.size());
        if (n < 0 || static_cast<std::size_t>(n) >= buf.size()) return p;
        std::string link(buf.data(), static_cast<std::size_t>(n));
        auto slash = p.rfind('/');
        if (link.empty() || link.front() == '/' || slash == std::string::npos)
            p = link;
        else
            p = p.substr(0, slash + 1) + link;
    }
    throw EInOutError("Cannot write " + path + ": " + std::strerror(ELOOP));
}

} // namespace

void IniFile::Save() const {
    const std::string target = FinalTarget(path_);
    auto slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? "." : target.substr(0, slash);
    if (!dir.empty()) MakeFolders(dir);
    std::string tmp = dir + "/.rcpconfig.XXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) throw EInOutError("Cannot write " + path_ + ": " + std::strerror(errno));
    std::ostringstream out;
    for (const auto& l : lines_)
        out << l.text << "\n";
    std::string data = out.str();
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        ssize_t w = ::write(fd, p, left);
        if (w < 0) {
            if (errno == EINTR) continue;
            int e = errno;
            ::close(fd);
            ::unlink(name.data());
            throw EInOutError("Cannot write " + path_ + ": " + std::strerror(e));
        }
        p += w;
        left -= static_cast<std::size_t>(w);
    }
    // The new file keeps the permissions (and, where allowed, the owner) of the one it
    // replaces; a new settings file is readable by all and writable by its owner.
    struct stat old {};
    mode_t mode = 0644;
    if (::stat(target.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Not allowed to give it away: it stays ours, with the same permissions.
        }
    }
    if (::fsync(fd) != 0 || ::fchmod(fd, mode) != 0) {
        int e = errno;
        ::close(fd);
        ::unlink(name.data());
        throw EInOutError("Cannot write " + path_ + ": " + std::strerror(e));
    }
    ::close(fd);
    if (std::rename(name.data(), target.c_str()) != 0) {
        int e = errno;
        ::unlink(name.data());
        throw EInOutError("Cannot write " + path_ + ": " + std::strerror(e));
    }
}

void IniFile::WriteValue(const std::string& path, const std::string& section,
                         const std::string& key, const std::string& value) {
    IniFile f(path);
    f.SetString(section, key, value);
    f.Save();
}

} // namespace larderly
