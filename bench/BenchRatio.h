// The console reporter of the benchmarks that compare ours with a reference
// in one run: it keeps each benchmark's CPU and real time per iteration (the
// fastest of its repetitions, the one least disturbed by other load on the
// machine, when it has several), and PrintRatio prints ours / theirs of the
// CPU times for a pair of benchmark names, given without their repetition
// count (PrintRealRatio of the real times, for work done by the GPU). Runs
// with repetitions also keep their median aggregates (PrintMedianRatio,
// PrintMedianRealRatio).
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
      benchmark::BenchmarkName name = r.run_name;
      name.repetitions.clear();
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
        medianTimes[name.str()] = r.GetAdjustedCPUTime();
        medianRealTimes[name.str()] = r.GetAdjustedRealTime();
      }
      if (r.run_type != Run::RT_Iteration || r.iterations <= 0) continue;
      KeepFastest(times, name.str(), r.GetAdjustedCPUTime());
      KeepFastest(realTimes, name.str(), r.GetAdjustedRealTime());
    }
    ConsoleReporter::ReportRuns(runs);
  }
  // "<label> <what>: <ratio>" when both runs exist.
  void PrintRatio(const std::string& ours, const std::string& theirs, const char* label,
                  const char* what) {
    Print(times, ours, theirs, label, what);
  }
  void PrintRealRatio(const std::string& ours, const std::string& theirs, const char* label,
                      const char* what) {
    Print(realTimes, ours, theirs, label, what);
  }
  void PrintMedianRatio(const std::string& ours, const std::string& theirs, const char* label,
                        const char* what) {
    Print(medianTimes, ours, theirs, label, what);
  }
  void PrintMedianRealRatio(const std::string& ours, const std::string& theirs,
                            const char* label, const char* what) {
    Print(medianRealTimes, ours, theirs, label, what);
  }
  std::map<std::string, double> times;
  std::map<std::string, double> realTimes;
  std::map<std::string, double> medianTimes;
  std::map<std::string, double> medianRealTimes;

 private:
  static void KeepFastest(std::map<std::string, double>& kept, const std::string& name, double t) {
    auto [it, fresh] = kept.emplace(name, t);
    if (!fresh && t < it->second) it->second = t;
  }
  static void Print(std::map<std::string, double>& kept, const std::string& ours,
                    const std::string& theirs, const char* label, const char* what) {
    if (kept.count(ours) && kept.count(theirs) && kept[theirs] > 0) {
      std::printf("%-16s %s: %.2f\n", label, what, kept[ours] / kept[theirs]);
    }
  }
};
