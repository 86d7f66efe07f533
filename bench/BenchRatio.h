// The console reporter of the benchmarks that compare ours with a reference
// in one run: it keeps each benchmark's CPU time per iteration (the fastest
// of its repetitions, the one least disturbed by other load on the machine,
// when it has several), and PrintRatio prints ours / theirs for a pair of
// benchmark names (given without their repetition count).
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
      if (r.run_type != Run::RT_Iteration || r.iterations <= 0) continue;
      benchmark::BenchmarkName name = r.run_name;
      name.repetitions.clear();
      const double t = r.GetAdjustedCPUTime();
      auto [it, fresh] = times.emplace(name.str(), t);
      if (!fresh && t < it->second) it->second = t;
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
