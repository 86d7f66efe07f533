// The console reporter of the benchmarks that compare ours with a reference
// in one run: it keeps each run's CPU time per iteration, and PrintRatio
// prints ours / theirs for a pair of benchmark names.
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
      if (r.iterations > 0) times[r.benchmark_name()] = r.GetAdjustedCPUTime();
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
  std::map<std::string, double> times;
};
