// An initialization file with sections and keys, read and written the way the classic
// profile functions do: section and key names compare without regard to case, values are
// kept verbatim (a backslash is just a character) but for one pair of enclosing quotes,
// which reading removes, and a write keeps every other section, key, comment and blank line.
// Every write replaces the file atomically (temporary file in the same folder, then rename),
// creating the folder when needed; a file reached through a symbolic link is replaced where
// the link points, and keeps its permissions.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace larderly {

class IniFile {
public:
    // Reads the file if it exists; a missing or unreadable file reads as empty. Lines that
    // are neither a section header, a key=value pair nor a comment are kept but ignored.
    explicit IniFile(std::string path);

    const std::string& path() const { return path_; }

    // The value without one pair of enclosing quotes ("x" or 'x' reads as x).
    std::optional<std::string> Value(const std::string& section, const std::string& key) const;
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& def) const;
    // A value that does not read as a whole decimal integer in the 32-bit range gives the
    // default.
    long long ReadInteger(const std::string& section, const std::string& key, long long def) const;
    // An integer; any value other than 0 is true. Anything else gives the default.
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;

    // Sets a value in memory; Save() writes the file.
    void SetString(const std::string& section, const std::string& key, const std::string& value);
    void SetInteger(const std::string& section, const std::string& key, long long value);
    void SetBool(const std::string& section, const std::string& key, bool value);

    bool HasSection(const std::string& section) const;
    std::vector<std::string> SectionKeys(const std::string& section) const;

    // Writes the whole file atomically. Raises EInOutError with the reason on failure; the
    // old file then stays as it was.
    void Save() const;

    // Convenience: read-modify-write of one value, reaching the file at once.
    static void WriteValue(const std::string& path, const std::string& section,
                           const std::string& key, const std::string& value);

private:
    struct Line {
        std::string text;    // the line as read (used for comments and unknown lines)
        std::string section; // for headers: the section name; for keys: the owning section
        std::string key;     // non-empty for key=value lines
        std::string value;
        bool header = false;
    };
    int FindKey(const std::string& section, const std::string& key) const;

    std::string path_;
    std::vector<Line> lines_;
};

} // namespace larderly
