// Small helpers for the container and segment tests: a scratch folder, file contents and
// deterministic test data.
#pragma once

#include "platform/FileUtil.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace larderly::testutil {

using Bytes = std::vector<uint8_t>;

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchDir {
public:
    ScratchDir() {
        auto p = fileutil::MakeTempDirectory({}, "lha-test");
        if (!p) throw std::runtime_error("cannot make a scratch folder");
        path_ = *p;
    }
    ~ScratchDir() { fileutil::RemoveTree(path_); }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    // The path of `name` inside the folder.
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline void WriteFile(const std::string& path, const Bytes& bytes) {
    fileutil::MakeDirectories(fileutil::ParentFolder(path));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

inline void WriteText(const std::string& path, const std::string& text) {
    WriteFile(path, Bytes(text.begin(), text.end()));
}

inline Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Text-like data that compresses well: words from a small vocabulary.
inline Bytes TextData(std::size_t size, uint32_t seed = 1) {
    static const char* const words[] = {
        "flour ",       "sugar ", "butter ", "eggs ", "milk ", "salt ", "Preheat the oven. ",
        "Stir well.\n", "1 cup ", "2 tbsp "};
    std::mt19937 rng(seed);
    Bytes out;
    out.reserve(size);
    while (out.size() < size) {
        const char* w = words[rng() % 10];
        for (const char* p = w; *p && out.size() < size; ++p)
            out.push_back(static_cast<uint8_t>(*p));
    }
    return out;
}

// Data that does not compress.
inline Bytes RandomData(std::size_t size, uint32_t seed = 7) {
    std::mt19937 rng(seed);
    Bytes out(size);
    for (auto& b : out)
        b = static_cast<uint8_t>(rng());
    return out;
}

// Every file below `folder` (relative names with "/"), sorted.
inline std::vector<std::string> ListTree(const std::string& folder,
                                         const std::string& prefix = {}) {
    std::vector<std::string> out;
    for (const auto& e : fileutil::ListDirectory(folder)) {
        if (e.isDirectory) {
            auto sub = ListTree(folder + "/" + e.name, prefix + e.name + "/");
            out.insert(out.end(), sub.begin(), sub.end());
        } else {
            out.push_back(prefix + e.name);
        }
    }
    return out;
}

} // namespace larderly::testutil
