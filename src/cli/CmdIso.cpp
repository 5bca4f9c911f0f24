// larderly-cli iso: writes the ISO 9660 + Joliet image of the given files (all in the root
// folder) exactly as a burn would send it to the drive: the header stream, the files in
// file-table order on sector boundaries, then the padding up to the minimum track length.
#include "burn/CacheThread.h"
#include "burn/Image.h"
#include "cli/CliCommand.h"
#include "platform/FileUtil.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace larderly::cli {
namespace {

int RunIso(const CliArgs& a) {
    const std::string out = a.args[0];
    const std::vector<std::string> files(a.args.begin() + 1, a.args.end());
    const uint32_t address = uint32_t(std::strtoul(a.Value("--address", "0").c_str(), nullptr, 10));
    TDiscImage image;
    if (a.Has("--volume")) image.IdVolume = a.Value("--volume");
    if (a.Has("--no-joliet")) image.JolietFileSystem = false;

    bool failed = false;
    image.ImageDebugMessage = [&](const std::string& text, uint8_t) {
        std::cerr << text << "\n";
        failed = true;
    };
    image.ResetImage(65535, 8191);
    for (const auto& f : files) {
        const size_t before = image.FileTable().size();
        if (image.AddFile("/", f, false) == 255) {
            std::cerr << "File not found: " << f << "\n";
            failed = true;
        } else if (image.FileTable().size() == before) {
            // The image leaves a file out without a word (a name too long, the same name
            // from another folder): each one is named, and no image is written.
            std::string why = image.WhyNotAdded("/", f);
            std::cerr << "Not added: " << f << (why.empty() ? "" : " (" + why + ")") << "\n";
            failed = true;
        }
    }
    if (failed) return 1;
    image.LayoutImage(address);
    image.BuildImageHeader();

    // A new image is written beside the target and replaces it only when it is whole; a later
    // session goes into the existing image file, which must be a regular file.
    std::unique_ptr<fileutil::OutputFile> whole;
    int fd = -1;
    if (address == 0) {
        whole = std::make_unique<fileutil::OutputFile>(out);
    } else {
        if (const std::string why = fileutil::ReplaceRefusal(out); !why.empty()) {
            std::cerr << "Cannot write " << out << ": " << why << "\n";
            return 1;
        }
        fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0) {
            std::cerr << "Cannot create " << out << "\n";
            return 1;
        }
    }
    THandleStreamEx dest(fd);
    if (fd >= 0) dest.Seek(int64_t(address) * kSectorSize, 0);
    auto write = [&](const uint8_t* data, int n) {
        if (!whole) return dest.Write(data, n) == n;
        whole->Stream().write(reinterpret_cast<const char*>(data), n);
        return static_cast<bool>(whole->Stream());
    };

    std::recursive_mutex lock;
    int64_t trackLength =
        int64_t(image.Layout().VolumeSize - image.Layout().NextWritableAddress) * kSectorSize;
    TCacheThread cache(4194304, lock, kCdBlockSize, image.WritePostGap, "", 0, trackLength,
                       image.HeaderStream(), image.FileTable());
    std::vector<uint8_t> block(kCacheBlockCapacity);
    int64_t written = 0;
    bool ok = true, writeFailed = false;
    for (;;) {
        int n;
        {
            std::lock_guard<std::recursive_mutex> g(lock);
            n = cache.GetBlock(block.data());
        }
        if (!cache.ErrorText().empty()) break;
        if (n == 0) break;
        if (n < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        if (!write(block.data(), n)) {
            writeFailed = true;
            if (!whole) std::cerr << "Cannot write " << out << "\n";
            ok = false;
            cache.SetErrorText("WRITE FAILED");
            cache.Stop();
            break;
        }
        written += n;
    }
    cache.WaitFor();
    // The new image's own write failed: the output names the cause (a full disk, ...).
    if (writeFailed && whole) whole->Commit();
    if (fd >= 0 && ::close(fd) != 0) ok = false;
    if (ok && !cache.ErrorText().empty()) {
        std::cerr << cache.ErrorText() << "\n";
        ok = false;
    }
    if (!ok) return 1;
    if (whole) whole->Commit();
    std::cout << out << ": " << written / kSectorSize << " sectors from sector " << address
              << ", first file at " << image.Layout().FirstFileLocation << "\n";
    return 0;
}

} // namespace

CliCommand IsoCommand() {
    CliCommand c;
    c.name = "iso";
    c.arguments = "OUT FILE...";
    c.summary = "write the ISO 9660+Joliet image of FILEs";
    c.options = {
        {"--address", "N", "the sector the image starts at (a later session)", CliValue::One},
        {"--volume", "ID", "the volume name", CliValue::One},
        {"--no-joliet", "", "no Joliet names"}};
    c.minArgs = 2;
    c.run = RunIso;
    return c;
}

} // namespace larderly::cli
