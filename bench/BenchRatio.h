// Runs the registered benchmarks and then prints each measured figure as a ratio against
// its reference from the same run: "ratio NAME / REFERENCE = X (target <= T)".
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace larderly::bench {

class RecordingReporter : public benchmark::ConsoleReporter {
public:
    RecordingReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& r : runs)
            if (r.run_type == Run::RT_Iteration)
                times[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

struct Ratio {
    std::string measured;
    std::string reference;
    double target; // the figure must stay at or below this
};

// Call from main() after benchmark::Initialize. Returns 0; the ratios are a report, not a test.
inline int RunWithRatios(const std::vector<Ratio>& ratios) {
    RecordingReporter rep;
    benchmark::RunSpecifiedBenchmarks(&rep);
    for (const auto& q : ratios) {
        // Names may carry suffixes such as "/min_time:1.000": match on the prefix.
        auto find = [&](const std::string& name) -> double {
            for (const auto& [k, v] : rep.times)
                if (k == name || k.rfind(name + "/", 0) == 0) return v;
            return -1;
        };
        double m = find(q.measured), r = find(q.reference);
        if (m < 0 || r <= 0) continue;
        double x = m / r;
        std::printf("ratio %s / %s = %.2f (target <= %.2f) %s\n", q.measured.c_str(),
                    q.reference.c_str(), x, q.target, x <= q.target ? "MET" : "MISSED");
    }
    return 0;
}

} // namespace larderly::bench
