// larderly-cli burn: lists the CD/DVD drives a transport reaches, or burns files as one new
// session onto the disc in one of them.
#include "burn/DiscBurner.h"
#include "cli/CliCommand.h"

#include <sys/stat.h>

#include <iostream>

namespace larderly::cli {

namespace {

int RunBurn(const CliArgs& a) {
    const std::string library = a.Value("--aspi"), drive = a.Value("--drive");
    const bool list = a.Has("--list"), spti = a.Has("--spti");
    const bool testWrite = a.Has("--test-write"), finalize = a.Has("--finalize");
    long long speed = 0;
    if (a.Has("--speed") &&
        (!ParseWholeNumber(a.Value("--speed"), speed) || speed < 0 || speed > 0xFFFF))
        return UsageError(a, "--speed needs a whole number of kilobytes per second, not \"" +
                                 a.Value("--speed") + "\"");
    const std::vector<std::string>& files = a.args;
    if (!list && (drive.empty() || files.empty())) return UsageError(a);

    TDiscBurner burner;
    burner.DoDebug = !list;
    burner.OnDebugMessage = [](TSCSIDevice*, const std::string& m, uint8_t) {
        std::cerr << m << "\n";
    };
    if (!burner.InitTransport(spti, library)) {
        std::cerr << "burn: no drive transport could be loaded\n";
        return 1;
    }
    if (list) {
        for (const std::string& line : burner.DeviceList())
            std::cout << line << "\n";
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

} // namespace

CliCommand BurnCommand() {
    CliCommand c;
    c.name = "burn";
    c.forms = {"[--aspi] [--spti] --list",
               "[--aspi] [--spti] [--test-write] [--finalize] [--speed] --drive FILE..."};
    c.summary = "list the drives, or burn FILEs as a new session";
    c.notes = {"the FILEs go into the root folder; the burn's debug lines go to stderr"};
    c.options = {{"--aspi", "LIBRARY", "the drive library to load", CliValue::One},
                 {"--spti", "", "use the pass-through transport"},
                 {"--list", "", "list the drives"},
                 {"--test-write", "", "a test write: the laser stays off"},
                 {"--finalize", "", "close the disc after this session"},
                 {"--speed", "KBS", "the write speed in kB/s", CliValue::One},
                 {"--drive", "LINE", "the drive: its line in the list", CliValue::One}};
    c.run = RunBurn;
    return c;
}

} // namespace larderly::cli
