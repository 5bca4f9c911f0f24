// The run-time loaded drive library: a shared object exporting GetASPI32SupportInfo and
// SendASPI32Command, found beside the program, through LARDERLY_ASPI_LIBRARY or by the loader.
#include "burn/ScsiTexts.h"
#include "burn/ScsiTransport.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace larderly {

namespace {

std::unique_ptr<ScsiTransport>& TransportSlot() {
    static std::unique_ptr<ScsiTransport> slot;
    return slot;
}

std::string ProgramFolder() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    std::string p(buf, static_cast<std::size_t>(n));
    auto slash = p.rfind('/');
    return slash == std::string::npos ? std::string{} : p.substr(0, slash);
}

class AspiLibrary final : public ScsiTransport {
public:
    AspiLibrary(void* handle, GetASPI32SupportInfoFn info, SendASPI32CommandFn send)
        : handle_(handle), info_(info), send_(send) {}
    ~AspiLibrary() override {
        if (handle_) dlclose(handle_);
    }
    std::string Name() const override { return texts::kLibraryName; }
    uint32_t GetSupportInfo() override { return info_(); }
    uint32_t SendCommand(void* srb) override { return send_(srb); }
    char DriveLetter(uint8_t adapter, uint8_t target, uint8_t lun) override {
        // Here no volume handles exist to ask for an address; the library's disk
        // information is the one source of a letter.
        SRB_GetDiskInfo info{};
        info.SRB_Cmd = SC_GET_DISK_INFO;
        info.SRB_HaId = adapter;
        info.SRB_Target = target;
        info.SRB_Lun = lun;
        send_(&info);
        if (info.SRB_Status != SS_COMP) return 0;
        if (info.SRB_Int13HDriveInfo > 25) return 0;
        return static_cast<char>('A' + info.SRB_Int13HDriveInfo);
    }

private:
    void* handle_;
    GetASPI32SupportInfoFn info_;
    SendASPI32CommandFn send_;
};

} // namespace

ScsiTransport* CurrentTransport() {
    return TransportSlot().get();
}

void InstallTransport(std::unique_ptr<ScsiTransport> transport) {
    TransportSlot() = std::move(transport);
}

std::unique_ptr<ScsiTransport> LoadAspiLibrary(const std::string& path, std::string* missing) {
    std::vector<std::string> candidates;
    if (!path.empty()) {
        candidates.push_back(path);
    } else {
        if (const char* env = std::getenv("LARDERLY_ASPI_LIBRARY"); env && *env)
            candidates.emplace_back(env);
        std::string folder = ProgramFolder();
        if (!folder.empty()) candidates.push_back(folder + "/libwnaspi32.so");
        candidates.emplace_back("libwnaspi32.so");
    }
    for (const std::string& c : candidates) {
        void* h = dlopen(c.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!h) continue;
        auto info = reinterpret_cast<GetASPI32SupportInfoFn>(dlsym(h, "GetASPI32SupportInfo"));
        auto send = reinterpret_cast<SendASPI32CommandFn>(dlsym(h, "SendASPI32Command"));
        if (!info || !send) {
            // A library without both entry points is not used at all, and no other
            // transport stands in for the one asked for.
            if (missing)
                *missing = std::string(texts::kLibraryLacksEntry) + c + ": " +
                           (info ? "SendASPI32Command" : "GetASPI32SupportInfo");
            dlclose(h);
            return nullptr;
        }
        return std::make_unique<AspiLibrary>(h, info, send);
    }
    return nullptr;
}

} // namespace larderly
