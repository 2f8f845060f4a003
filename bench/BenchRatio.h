#pragma once

// Google Benchmark main that also prints, for each subject, its time as a
// multiple of a baseline measured in the same run, so that figures from
// different machines can be compared.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace corvane::bench {

struct Ratio {
    std::string subject;
    std::string baseline;
};

class RatioReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal, so that saved figures stay readable.
    RatioReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

inline int RunWithRatios(int argc, char** argv, const std::vector<Ratio>& ratios) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n");
    for (const Ratio& r : ratios) {
        auto subject = reporter.times.find(r.subject);
        auto baseline = reporter.times.find(r.baseline);
        if (subject == reporter.times.end() || baseline == reporter.times.end() ||
            baseline->second <= 0) {
            continue;
        }
        std::printf("ratio %-40s = %8.2f x %s\n", r.subject.c_str(),
                    subject->second / baseline->second, r.baseline.c_str());
    }
    benchmark::Shutdown();
    return 0;
}

}  // namespace corvane::bench
