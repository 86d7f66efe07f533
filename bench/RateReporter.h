// Console output of a benchmark program, plus a summary at the end built
// from one counter of every run (bytes or items per second), by run name.
#pragma once

#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

class RateReporter : public benchmark::ConsoleReporter {
 public:
  using Rates = std::map<std::string, double>;
  RateReporter(std::string counter, std::function<void(Rates&)> summary)
      : counter_(std::move(counter)), summary_(std::move(summary)) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs) {
      const auto it = run.counters.find(counter_);
      if (it != run.counters.end()) rates_[run.benchmark_name()] = it->second.value;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    summary_(rates_);
  }

 private:
  std::string counter_;
  std::function<void(Rates&)> summary_;
  Rates rates_;
};
