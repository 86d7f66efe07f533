// The console reporter of the benchmarks that compare ours with a reference
// in one run: it keeps each run's CPU and real time per iteration, and
// PrintRatio prints ours / theirs of the CPU times for a pair of benchmark
// names (PrintRealRatio of the real times, for work done by the GPU).
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.iterations > 0) {
        times[r.benchmark_name()] = r.GetAdjustedCPUTime();
        realTimes[r.benchmark_name()] = r.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  // "<label> <what>: <ratio>" when both runs exist.
  void PrintRatio(const std::string& ours, const std::string& theirs, const char* label,
                  const char* what) {
    if (times.count(ours) && times.count(theirs) && times[theirs] > 0) {
      std::printf("%-16s %s: %.2f\n", label, what, times[ours] / times[theirs]);
    }
  }
  void PrintRealRatio(const std::string& ours, const std::string& theirs, const char* label,
                      const char* what) {
    if (realTimes.count(ours) && realTimes.count(theirs) && realTimes[theirs] > 0) {
      std::printf("%-16s %s: %.2f\n", label, what, realTimes[ours] / realTimes[theirs]);
    }
  }
  std::map<std::string, double> times;
  std::map<std::string, double> realTimes;
};
