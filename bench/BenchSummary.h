// What the benchmark programs print after Google Benchmark's table: each
// benchmark's median over its repetitions (or its one run) and the ratio of
// a library figure to the raw client's.
#pragma once

#include <unistd.h>

#include <benchmark/benchmark.h>

#include "SimulatorProcess.h"

#include <cstdio>
#include <exception>
#include <map>
#include <string>
#include <vector>

namespace vxbench {

class SummaryReporter : public benchmark::ConsoleReporter {
public:
    SummaryReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const std::string name = run.run_name.function_name;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians_[name] = run;
            else if (run.run_type == Run::RT_Iteration && !medians_.count(name))
                single_[name] = run;
        }
    }
    const Run* find(const std::string& name) const {
        if (auto it = medians_.find(name); it != medians_.end()) return &it->second;
        auto it = single_.find(name);
        return it == single_.end() ? nullptr : &it->second;
    }

private:
    std::map<std::string, Run> medians_;
    std::map<std::string, Run> single_;
};

inline double secondsPerIteration(const benchmark::BenchmarkReporter::Run& run) {
    return run.real_accumulated_time / static_cast<double>(run.iterations);
}

// A figure of the library beside the raw client's, and library / raw.
inline void printRatio(const char* what, double library, double raw, const char* unit) {
    std::printf("%-34s library %10.2f %-9s raw client %10.2f %-9s", what, library, unit, raw, unit);
    if (raw > 0.0)
        std::printf(" ratio %.2f\n", library / raw);
    else
        std::printf(" ratio n/a (the raw client used none)\n");
}

// The main of a benchmark program: medians of five repetitions unless the
// command line says otherwise (later options win), the simulator started with
// `options` as a child process and published in `current` while the
// benchmarks run, then the table and `summary(reporter)`.
template <typename Summary>
int runBenchmarks(int argc, char** argv, const char* program, const std::vector<std::string>& options,
                  SimulatorProcess*& current, Summary summary) {
    std::vector<char*> args{argv[0]};
    std::string repetitions = "--benchmark_repetitions=5";
    args.push_back(repetitions.data());
    for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    try {
        SimulatorProcess process(options);
        current = &process;
        std::printf("simulator at %s\n", process.locator().c_str());
        SummaryReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        summary(reporter);
        current = nullptr;
    } catch (const std::exception& e) {
        current = nullptr;
        std::fprintf(stderr, "%s: %s\n", program, e.what());
        return 1;
    }
    benchmark::Shutdown();
    return 0;
}

}  // namespace vxbench
