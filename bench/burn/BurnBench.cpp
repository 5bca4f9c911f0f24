// Burning a 200 MiB file onto the simulated writer against `cp` of the same file to the same
// disk, in the same run. The burn's figure is its data phase (first write to the end of the
// last one); the drive's own waits around it (spin-up, readiness polls, closing the session)
// are reported apart as the whole burn's time.
#include "burn/DiscBurner.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>

namespace fs = std::filesystem;
using namespace larderly;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int64_t kFileBytes = 200ll << 20;

struct Workspace {
    fs::path dir;
    std::string source;
    Workspace() {
        const char* base = std::getenv("LARDERLY_BENCH_DIR");
        dir = fs::path(base ? base : fs::temp_directory_path().string()) /
              ("burn_bench_" + std::to_string(getpid()));
        fs::create_directories(dir);
        source = (dir / "recipebackup.001").string();
        std::vector<char> block(1 << 20);
        std::mt19937_64 rng(11);
        std::ofstream out(source, std::ios::binary);
        for (int64_t done = 0; done < kFileBytes; done += int64_t(block.size())) {
            for (size_t i = 0; i < block.size(); i += 8) {
                uint64_t v = rng();
                std::memcpy(&block[i], &v, 8);
            }
            out.write(block.data(), std::streamsize(block.size()));
        }
    }
    ~Workspace() { fs::remove_all(dir); }
};

Workspace& Work() {
    static Workspace w;
    return w;
}

double gCopySeconds = 0;

void BM_Copy(benchmark::State& state) {
    Workspace& w = Work();
    std::string target = (w.dir / "copy.bin").string();
    for (auto _ : state) {
        fs::remove(target);
        auto start = Clock::now();
        int rc = std::system(("cp '" + w.source + "' '" + target + "'").c_str());
        double s = std::chrono::duration<double>(Clock::now() - start).count();
        if (rc != 0) state.SkipWithError("cp failed");
        state.SetIterationTime(s);
        gCopySeconds = gCopySeconds == 0 ? s : std::min(gCopySeconds, s);
    }
    fs::remove(target);
    state.SetBytesProcessed(state.iterations() * kFileBytes);
}

void BM_Burn(benchmark::State& state) {
    Workspace& w = Work();
    std::string image = (w.dir / "disc.img").string();
    setenv("LARDERLY_VDRIVE_IMAGE", image.c_str(), 1);
    setenv("LARDERLY_VDRIVE_MEDIA", "cdr", 1);
    if (!std::getenv("LARDERLY_ASPI_LIBRARY")) {
        std::string lib = std::string(LARDERLY_BIN_DIR) + "/libvirtualdrive.so";
        setenv("LARDERLY_ASPI_LIBRARY", lib.c_str(), 1);
    }
    double bestData = 0, bestTotal = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(image);
        fs::remove(image + ".state");
        TDiscBurner burner;
        if (!burner.InitTransport(false, "") || burner.DeviceList().empty()) {
            state.SkipWithError("the simulated writer did not load");
            break;
        }
        burner.SelectDevice(burner.DeviceList()[0]);
        burner.ResetImage(65535, 8191);
        burner.AddFile("/", w.source, false);
        burner.PrepareImage(false, "");
        Clock::time_point firstWrite{}, lastWrite{};
        std::string error = "unset";
        burner.OnDebugMessage = [&](TSCSIDevice*, const std::string& m, uint8_t) {
            if (m.rfind(">>> STARTING WRITE", 0) == 0) firstWrite = Clock::now();
        };
        burner.OnFinalizingTrack = [&](TDiscBurner*) { lastWrite = Clock::now(); };
        burner.OnWriteDone = [&](TDiscBurner*, const std::string& e) { error = e; };
        state.ResumeTiming();
        auto start = Clock::now();
        burner.BurnImage();
        burner.WaitForBurn();
        double total = std::chrono::duration<double>(Clock::now() - start).count();
        double data = std::chrono::duration<double>(lastWrite - firstWrite).count();
        if (!error.empty()) state.SkipWithError(("burn failed: " + error).c_str());
        state.SetIterationTime(data);
        bestData = bestData == 0 ? data : std::min(bestData, data);
        bestTotal = bestTotal == 0 ? total : std::min(bestTotal, total);
    }
    state.SetBytesProcessed(state.iterations() * kFileBytes);
    state.counters["whole_burn_s"] = bestTotal;
    if (gCopySeconds > 0 && bestData > 0) state.counters["speed_vs_cp"] = gCopySeconds / bestData;
}

} // namespace

BENCHMARK(BM_Copy)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Burn)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
