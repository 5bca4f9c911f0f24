// Codec benchmarks on two 64 MiB inputs, English-like text and the start of a recipe table
// file of a generated store (argument 0 and 1 of every benchmark): -lh5- compression and
// expansion in memory and file to file (in a child process, whose peak memory is
// reported), and the same work done by gzip -6, gzip -d, jlha and `lhasa t` as references.
// The file and tool runs are timed by the CPU time of the child process (the machine is
// shared); counters give wall times, packed sizes, peak resident memory (KiB) and the
// ratios of our CPU time to the references' (ours_over_gzip6 <= 1 and ours_over_gzip_d
// <= 1 are the targets; ours_over_jlha and ours_over_lha_t must stay below 1).
#include "archive/Crc16.h"
#include "archive/LhaCodec.h"
#include "archive/Streams.h"
#include "store/Tables.h"

#include <benchmark/benchmark.h>

#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace larderly;
namespace fs = std::filesystem;

constexpr size_t kTextSize = 64u << 20;

// English-like text: a vocabulary of 6000 made-up words built from syllables, drawn with
// a Zipf-like skew, with punctuation, capitals and line breaks. Deterministic.
std::vector<uint8_t> MakeText(size_t n) {
    static const char* const kSyllables[] = {
        "the", "an", "ing", "er", "re", "on", "at", "en", "nd", "ti", "es", "or", "te", "of",
        "ed",  "is", "it",  "al", "ar", "st", "to", "nt", "ha", "ou", "ea", "hi", "as", "ve",
        "co",  "me", "de",  "ro", "li", "ri", "io", "le", "ne", "ma", "ch", "sp", "tr", "bl",
        "cr",  "fl", "gr",  "pl", "sh", "th", "wh", "qu", "y",  "a",  "e",  "o",  "u",  "i"};
    constexpr uint32_t kSyl = sizeof(kSyllables) / sizeof(kSyllables[0]);
    uint64_t x = 0x9E3779B97F4A7C15ull;
    auto next = [&x] {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return x;
    };
    std::vector<std::string> words;
    words.reserve(6000);
    for (const char* w : {"the", "of",  "and", "a",  "to",  "in", "is",   "you", "that", "it",
                          "he",  "was", "for", "on", "are", "as", "with", "his", "they", "at"})
        words.emplace_back(w);
    while (words.size() < 6000) {
        std::string w;
        const int parts = 1 + static_cast<int>(next() % 4);
        for (int i = 0; i < parts; ++i)
            w += kSyllables[next() % kSyl];
        words.push_back(w);
    }
    std::vector<uint8_t> out;
    out.reserve(n + 64);
    size_t column = 0;
    bool capital = true;
    while (out.size() < n) {
        // Zipf-like: index = floor(6000^u) - 1 for uniform u.
        const double u = static_cast<double>(next() % 1000000) / 1000000.0;
        size_t idx = static_cast<size_t>(std::pow(6000.0, u)) - 1;
        if (idx >= words.size()) idx = words.size() - 1;
        std::string w = words[idx];
        if (capital) w[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(w[0])));
        capital = false;
        out.insert(out.end(), w.begin(), w.end());
        column += w.size();
        const uint64_t r = next() % 100;
        if (r < 7) {
            out.push_back('.');
            capital = true;
        } else if (r < 12) {
            out.push_back(',');
        }
        if (column > 70) {
            out.push_back('\n');
            if (r < 3) out.push_back('\n');
            column = 0;
        } else {
            out.push_back(' ');
            ++column;
        }
    }
    out.resize(n);
    return out;
}

// Recipes as the store keeps them: titles, categories and Meal-Master-like ingredient
// lines and directions from a cooking vocabulary. Deterministic.
void FillStore(const fs::path& home, int first, int count) {
    static const char* const kWords[] = {
        "chopped", "onion",  "butter", "simmer",  "flour",  "salt",   "pepper", "stir",
        "garlic",  "oven",   "bake",   "minutes", "tomato", "cream",  "sugar",  "whisk",
        "cup",     "sliced", "diced",  "fresh",   "ground", "black",  "large",  "small",
        "until",   "tender", "heat",   "pan",     "add",    "mix",    "serve",  "hot",
        "water",   "milk",   "eggs",   "beaten",  "cheese", "grated", "lemon",  "juice",
        "parsley", "thyme",  "basil",  "chicken", "beef",   "pork",   "rice",   "pasta",
        "carrots", "celery", "in",     "the",     "a",      "and",    "with",   "of"};
    static const char* const kUnits[] = {"c ", "tb", "ts", "lb", "oz", "pk", "  "};
    static const char* const kAmounts[] = {"    1", "    2", "  1/2", "  3/4", "1 1/2", "    4"};
    constexpr uint32_t kN = sizeof(kWords) / sizeof(kWords[0]);
    uint64_t x = 0x2545F4914F6CDD1Dull + static_cast<uint64_t>(first);
    auto next = [&x] {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return x;
    };
    TfmTables t;
    t.OpenDatabase(home.string() + "/");
    t.SetTablesOpen(true);
    Transaction tx(t);
    for (int i = first; i < first + count; ++i) {
        t.ClearBuffers();
        std::string title;
        for (int w = 2 + static_cast<int>(next() % 4); w > 0; --w) {
            std::string word = kWords[next() % kN];
            word[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
            title += (title.empty() ? "" : " ") + word;
        }
        t.RecipeRec.Title = title;
        t.RecipeRec.Category = {static_cast<int32_t>(next() % 40 + 1),
                                static_cast<int32_t>(next() % 40 + 1), -1, -1};
        std::vector<std::string> text;
        for (int line = 5 + static_cast<int>(next() % 10); line > 0; --line) {
            std::string l = std::string(kAmounts[next() % 6]) + " " + kUnits[next() % 7] + " ";
            for (int w = 1 + static_cast<int>(next() % 4); w > 0; --w)
                l += std::string(kWords[next() % kN]) + " ";
            text.push_back(l);
        }
        text.emplace_back();
        for (int line = 3 + static_cast<int>(next() % 6); line > 0; --line) {
            std::string l;
            for (int w = 6 + static_cast<int>(next() % 10); w > 0; --w)
                l += std::string(kWords[next() % kN]) + (w > 1 ? " " : ".");
            text.push_back(l);
        }
        t.RecipeText = std::move(text);
        t.SaveRecord(rkRecipe);
    }
    tx.Commit();
    t.SetTablesOpen(false);
}

// The first `n` bytes of the largest table file of a store grown until that file holds
// them.
std::vector<uint8_t> MakeTable(const fs::path& home, size_t n) {
    fs::create_directories(home);
    setenv("LARDERLY_WINDIR", (home / "win").c_str(), 1);
    int recipes = 0;
    for (;;) {
        fs::path largest;
        for (const auto& f : kTableFiles) {
            const fs::path p = home / "data" / f;
            if (fs::exists(p) && (largest.empty() || fs::file_size(p) > fs::file_size(largest)))
                largest = p;
        }
        if (!largest.empty() && fs::file_size(largest) >= n) {
            std::vector<uint8_t> bytes(n);
            TFileStream f(largest.string(), fmOpenRead);
            f.ReadBuffer(bytes.data(), static_cast<int64_t>(n));
            fs::remove_all(home);
            return bytes;
        }
        FillStore(home, recipes, 20000);
        recipes += 20000;
    }
}

struct Fixture {
    fs::path dir;
    fs::path textPath, packedPath, archivePath;
    std::vector<uint8_t> text;
    std::vector<uint8_t> packed;
    uint16_t crc = 0;
    std::map<std::string, double> seconds; // measured run times by name
    std::map<std::string, double> kib;     // peak memory by name

    explicit Fixture(bool table) {
        std::string tmpl = (fs::temp_directory_path() / "larderly-bench-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) std::abort();
        dir = tmpl;
        text = table ? MakeTable(dir / "store", kTextSize) : MakeText(kTextSize);
        textPath = dir / "text.txt";
        packedPath = dir / "text.lh5";
        archivePath = dir / "text.lzh";
        TFileStream f(textPath.string(), fmCreate);
        f.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
    }
    ~Fixture() { fs::remove_all(dir); }

    void WriteArchive() {
        std::vector<uint8_t> h;
        const std::string name = "text.txt";
        h.push_back(static_cast<uint8_t>(22 + name.size()));
        h.push_back(0);
        for (char c : std::string("-lh5-"))
            h.push_back(static_cast<uint8_t>(c));
        auto put32 = [&h](uint32_t v) {
            for (int i = 0; i < 4; ++i)
                h.push_back(static_cast<uint8_t>(v >> (8 * i)));
        };
        put32(static_cast<uint32_t>(packed.size()));
        put32(static_cast<uint32_t>(text.size()));
        put32(0x5A2B6000);
        h.push_back(0x20);
        h.push_back(0);
        h.push_back(static_cast<uint8_t>(name.size()));
        h.insert(h.end(), name.begin(), name.end());
        h.push_back(static_cast<uint8_t>(crc));
        h.push_back(static_cast<uint8_t>(crc >> 8));
        uint8_t sum = 0;
        for (size_t i = 2; i < h.size(); ++i)
            sum = static_cast<uint8_t>(sum + h[i]);
        h[1] = sum;
        TFileStream f(archivePath.string(), fmCreate);
        f.WriteBuffer(h.data(), static_cast<int64_t>(h.size()));
        f.WriteBuffer(packed.data(), static_cast<int64_t>(packed.size()));
        const uint8_t end = 0;
        f.WriteBuffer(&end, 1);
    }
};

// Argument 0: the text; 1: the recipe table file.
Fixture& Data(const benchmark::State& state) {
    static std::map<int64_t, std::unique_ptr<Fixture>> fixtures;
    auto& f = fixtures[state.range(0)];
    if (!f) f = std::make_unique<Fixture>(state.range(0) == 1);
    return *f;
}

std::string gSelf;

struct ChildRun {
    bool ok = false;
    double wall = 0; // seconds
    double cpu = 0;  // user + system seconds of the child and its descendants
};

// Runs a program in a child and waits for it. The times compared below are CPU times:
// the machine is shared, so wall times swing with the load of others.
ChildRun RunChild(const std::vector<std::string>& argv) {
    ChildRun run;
    struct rusage before {};
    getrusage(RUSAGE_CHILDREN, &before);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    struct rusage after {};
    getrusage(RUSAGE_CHILDREN, &after);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    run.cpu = seconds(after.ru_utime) - seconds(before.ru_utime) + seconds(after.ru_stime) -
              seconds(before.ru_stime);
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

bool HaveTool(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

void BM_Lh5CompressMemory(benchmark::State& state) {
    Fixture& d = Data(state);
    for (auto _ : state) {
        TMemoryStream in(d.text);
        TMemoryStream out;
        TLhaCodecState codec;
        const auto r = codec.CodeStream(TLhaCodeDirection::Compress, colh5, in, out,
                                        static_cast<int64_t>(d.text.size()));
        d.packed = out.Bytes();
        d.crc = r.CheckValue;
    }
    d.WriteArchive();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.text.size()));
    state.counters["packed_bytes"] = static_cast<double>(d.packed.size());
    state.counters["ratio_pct"] = 100.0 * static_cast<double>(d.packed.size()) / d.text.size();
}

void BM_Lh5ExpandMemory(benchmark::State& state) {
    Fixture& d = Data(state);
    if (d.packed.empty()) {
        state.SkipWithError("needs BM_Lh5CompressMemory to run first");
        return;
    }
    for (auto _ : state) {
        TMemoryStream in(d.packed);
        TMemoryStream out;
        TLhaCodecState codec;
        codec.CodeStream(TLhaCodeDirection::Expand, colh5, in, out,
                         static_cast<int64_t>(d.packed.size()),
                         static_cast<int64_t>(d.text.size()));
        if (out.Bytes() != d.text) state.SkipWithError("expansion differs");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.text.size()));
}

// File to file in a fresh process, as the backup runs it; the child reports its own peak
// resident memory.
void RunFileCodec(benchmark::State& state, const char* direction, const char* name) {
    Fixture& d = Data(state);
    const fs::path hwm = d.dir / "hwm.txt";
    for (auto _ : state) {
        const ChildRun run =
            RunChild({gSelf, "--codec", direction, d.textPath.string(), d.packedPath.string(),
                      (d.dir / "out.txt").string(), hwm.string()});
        if (!run.ok) {
            state.SkipWithError("codec child failed");
            return;
        }
        state.SetIterationTime(run.cpu);
        d.seconds[name] = run.cpu;
        state.counters["wall_s"] = run.wall;
        std::FILE* f = std::fopen(hwm.c_str(), "r");
        long kib = 0;
        if (f) {
            if (std::fscanf(f, "%ld", &kib) != 1) kib = 0;
            std::fclose(f);
        }
        state.counters["peak_kib"] = static_cast<double>(kib);
    }
    if (std::strcmp(direction, "compress") == 0) {
        // The archive for lhasa's test run holds this packed file.
        TFileStream f(d.packedPath.string(), fmOpenRead);
        d.packed.resize(static_cast<size_t>(f.Size()));
        f.ReadBuffer(d.packed.data(), static_cast<int64_t>(d.packed.size()));
        d.crc = Crc16(0, d.text.data(), d.text.size());
        d.WriteArchive();
        state.counters["packed_bytes"] = static_cast<double>(d.packed.size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.text.size()));
}

void BM_Lh5CompressFile(benchmark::State& state) {
    RunFileCodec(state, "compress", "ours_compress");
}
void BM_Lh5ExpandFile(benchmark::State& state) {
    RunFileCodec(state, "expand", "ours_expand");
}

void RunTool(benchmark::State& state, const char* tool, const std::string& name,
             const std::vector<std::string>& argv, const fs::path& output) {
    if (!HaveTool(tool)) {
        state.SkipWithError("tool not installed");
        return;
    }
    Fixture& d = Data(state);
    for (auto _ : state) {
        if (!output.empty()) fs::remove(output);
        const ChildRun run = RunChild(argv);
        if (!run.ok) {
            state.SkipWithError("tool failed");
            return;
        }
        state.SetIterationTime(run.cpu);
        d.seconds[name] = run.cpu;
        state.counters["wall_s"] = run.wall;
    }
    if (!output.empty() && fs::exists(output))
        state.counters["packed_bytes"] = static_cast<double>(fs::file_size(output));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.text.size()));
}

void BM_RefGzip6(benchmark::State& state) {
    Fixture& d = Data(state);
    const fs::path out = d.dir / "text.gz";
    RunTool(state, "gzip", "gzip6",
            {"sh", "-c", "gzip -6 -c '" + d.textPath.string() + "' > '" + out.string() + "'"}, out);
    if (d.seconds.count("ours_compress") && d.seconds.count("gzip6"))
        state.counters["ours_over_gzip6"] = d.seconds["ours_compress"] / d.seconds["gzip6"];
}

void BM_RefGzipD(benchmark::State& state) {
    Fixture& d = Data(state);
    const fs::path gz = d.dir / "text.gz";
    if (!fs::exists(gz)) {
        state.SkipWithError("needs BM_RefGzip6 to run first");
        return;
    }
    RunTool(
        state, "gzip", "gzip_d",
        {"sh", "-c", "gzip -d -c '" + gz.string() + "' > '" + (d.dir / "gz.out").string() + "'"},
        {});
    if (d.seconds.count("ours_expand") && d.seconds.count("gzip_d"))
        state.counters["ours_over_gzip_d"] = d.seconds["ours_expand"] / d.seconds["gzip_d"];
}

void BM_RefJlhaLh5(benchmark::State& state) {
    Fixture& d = Data(state);
    const fs::path out = d.dir / "jlha.lzh";
    RunTool(state, "jlha", "jlha",
            {"sh", "-c", "cd '" + d.dir.string() + "' && jlha a0o5q jlha.lzh text.txt"}, out);
    if (fs::exists(out)) {
        // Packed size from the level-0 header.
        TFileStream f(out.string(), fmOpenRead);
        uint8_t h[11];
        f.ReadBuffer(h, 11);
        state.counters["packed_bytes"] =
            h[7] | h[8] << 8 | h[9] << 16 | static_cast<uint32_t>(h[10]) << 24;
    }
    if (d.seconds.count("ours_compress") && d.seconds.count("jlha"))
        state.counters["ours_over_jlha"] = d.seconds["ours_compress"] / d.seconds["jlha"];
}

void BM_RefLhaTest(benchmark::State& state) {
    Fixture& d = Data(state);
    RunTool(state, "lhasa", "lha_t", {"sh", "-c", "lhasa tq '" + d.archivePath.string() + "'"}, {});
    if (d.seconds.count("ours_expand") && d.seconds.count("lha_t"))
        state.counters["ours_over_lha_t"] = d.seconds["ours_expand"] / d.seconds["lha_t"];
}

BENCHMARK(BM_Lh5CompressMemory)->Unit(benchmark::kMillisecond)->Iterations(1)->Arg(0)->Arg(1);
BENCHMARK(BM_Lh5ExpandMemory)->Unit(benchmark::kMillisecond)->Iterations(3)->Arg(0)->Arg(1);
BENCHMARK(BM_Lh5CompressFile)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Arg(0)
    ->Arg(1);
BENCHMARK(BM_Lh5ExpandFile)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3)
    ->Arg(0)
    ->Arg(1);
BENCHMARK(BM_RefGzip6)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Arg(0)
    ->Arg(1);
BENCHMARK(BM_RefGzipD)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3)
    ->Arg(0)
    ->Arg(1);
BENCHMARK(BM_RefJlhaLh5)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Arg(0)
    ->Arg(1);
BENCHMARK(BM_RefLhaTest)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3)
    ->Arg(0)
    ->Arg(1);

// Child mode: codes one file to another with file streams, nothing else in memory.
int CodecChild(char** argv) {
    const std::string direction = argv[2];
    TLhaCodecState codec;
    if (direction == "compress") {
        TFileStream in(argv[3], fmOpenRead);
        TFileStream out(argv[4], fmCreate);
        codec.CodeStream(TLhaCodeDirection::Compress, colh5, in, out, in.Size());
    } else {
        TFileStream in(argv[4], fmOpenRead);
        TFileStream out(argv[5], fmCreate);
        codec.CodeStream(TLhaCodeDirection::Expand, colh5, in, out, in.Size(),
                         static_cast<int64_t>(kTextSize));
    }
    // Peak resident memory of this process, from the kernel's high-water mark.
    std::FILE* status = std::fopen("/proc/self/status", "r");
    long kib = 0;
    char line[256];
    while (status && std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "VmHWM: %ld", &kib) == 1) break;
    if (status) std::fclose(status);
    std::FILE* out = std::fopen(argv[6], "w");
    if (out) {
        std::fprintf(out, "%ld\n", kib);
        std::fclose(out);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 7 && std::strcmp(argv[1], "--codec") == 0) return CodecChild(argv);
    // --write-text PATH: writes the benchmark text, for comparisons by hand.
    if (argc == 3 && std::strcmp(argv[1], "--write-text") == 0) {
        const auto text = MakeText(kTextSize);
        TFileStream f(argv[2], fmCreate);
        f.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
        return 0;
    }
    gSelf = fs::canonical("/proc/self/exe").string();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
