// larderly-cli burn: lists the CD/DVD drives a transport reaches, or burns files as one new
// session onto the disc in one of them.
#include "burn/DiscBurner.h"
#include "cli/CliCommand.h"

#include <sys/stat.h>

#include <iostream>

namespace larderly::cli {

namespace {

constexpr const char* kUsage =
    "burn [--aspi LIBRARY] [--spti] --list\n"
    "  burn [--aspi LIBRARY] [--spti] [--test-write] [--finalize] [--speed KBS] --drive LINE FILE...\n"
    "      list the drives, or burn FILEs into the root of a new session (debug lines on stderr)";

int RunBurn(const CliArgs& a) {
    std::string library;
    std::string drive;
    bool list = false, spti = false, testWrite = false, finalize = false;
    long speed = 0;
    std::vector<std::string> files;
    for (size_t i = 0; i < a.args.size(); ++i) {
        const std::string& s = a.args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= a.args.size()) throw std::runtime_error("burn: " + s + " needs a value");
            return a.args[++i];
        };
        if (s == "--list") list = true;
        else if (s == "--aspi") library = value();
        else if (s == "--spti") spti = true;
        else if (s == "--drive") drive = value();
        else if (s == "--test-write") testWrite = true;
        else if (s == "--finalize") finalize = true;
        else if (s == "--speed") speed = std::stol(value());
        else if (!s.empty() && s[0] == '-') {
            std::cerr << "burn: unknown option " << s << "\nusage: larderly-cli " << kUsage << "\n";
            return 2;
        } else files.push_back(s);
    }
    if (!list && (drive.empty() || files.empty())) {
        std::cerr << "usage: larderly-cli " << kUsage << "\n";
        return 2;
    }

    TDiscBurner burner;
    burner.DoDebug = !list;
    burner.OnDebugMessage = [](TSCSIDevice*, const std::string& m, uint8_t) { std::cerr << m << "\n"; };
    if (!burner.InitTransport(spti, library)) {
        std::cerr << "burn: no drive transport could be loaded\n";
        return 1;
    }
    if (list) {
        for (const std::string& line : burner.DeviceList()) std::cout << line << "\n";
        std::cout.flush();
        return 0;
    }

    burner.SelectDevice(drive);
    if (burner.Adapter() == TSCSIDevice::kNone) {
        std::cerr << "burn: no CD or DVD drive selected by \"" << drive << "\"\n";
        return 1;
    }
    std::cerr << ">>> " << burner.DeviceDescription() << "\n";
    burner.TestWrite = testWrite;
    burner.FinalizeDisc = finalize;
    if (speed > 0) burner.SetWriteSpeed(static_cast<uint16_t>(speed));

    burner.ResetImage(65535, 8191);
    bool skipped = false;
    for (const std::string& f : files) {
        struct stat st {};
        if (::stat(f.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            std::cerr << "burn: " << f << ": no such file\n";
            return 1;
        }
        // An ISO 9660 directory record holds a 32-bit size.
        if (st.st_size > kMaxIsoFileSize) {
            std::cerr << "burn: " << f << ": files of 4 GiB or more cannot be burned\n";
            return 1;
        }
        const size_t before = burner.FileTable().size();
        if (burner.AddFile("/", f, false) != 1) {
            std::cerr << "burn: " << f << ": not added\n";
            return 1;
        }
        if (burner.FileTable().size() == before) {
            // Left out by the image (a name too long, the same name from another folder):
            // each such file is named, and nothing is burned.
            std::string why = burner.WhyNotAdded("/", f);
            std::cerr << "burn: " << f << ": not added" << (why.empty() ? "" : " (" + why + ")")
                      << "\n";
            skipped = true;
        }
    }
    if (skipped) return 1;
    std::string error = "unset";
    burner.OnWriteDone = [&error](TDiscBurner*, const std::string& e) { error = e; };
    burner.PrepareImage(false, "");
    bool started = burner.BurnImage();
    burner.WaitForBurn();
    if (!error.empty()) {
        std::cerr << "burn: " << error << "\n";
        return 1;
    }
    (void)started;
    std::cerr << ">>> " << burner.BytesWritten() / 2048 << " sectors written from LBA "
              << burner.Layout().NextWritableAddress << "\n";
    return 0;
}

const CliRegistrar kBurn("burn", kUsage, RunBurn);

} // namespace
} // namespace larderly::cli
