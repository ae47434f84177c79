#pragma once

// Console reporter that remembers the time per iteration of every run, so a
// benchmark program can end with ratios against a baseline measured in the
// same run (absolute figures on shared machines are noisy; ratios less so).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tyq_bench {

// A fresh directory under the system temp dir for a run's files; empty when
// none could be made.
inline std::string MakeTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tyq-bench-XXXXXX").string();
  return ::mkdtemp(pattern.data()) ? pattern : std::string();
}

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      // Of the aggregates of repeated runs only the best ("min") is kept.
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "min") continue;
      if (run.iterations > 0) seconds_[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // Prints "ratio LABEL: ours / baseline time = R" when both ran.
  void printRatio(const char* label, const std::string& ours, const std::string& baseline) const {
    double a = 0, b = 0;
    if (!times(ours, baseline, a, b) || b <= 0) return;
    std::printf("ratio %-28s %s / %s time = %.3f\n", label, ours.c_str(), baseline.c_str(), a / b);
  }

  // Prints "speed LABEL: baseline / ours time = S" when both ran: how many
  // times faster ours is. A run on several threads counts the iterations of
  // all of them against the time of one, so its time is multiplied by
  // `oursThreads` to compare work done per second.
  void printSpeed(const char* label, const std::string& ours, const std::string& baseline,
                  int oursThreads = 1) const {
    double a = 0, b = 0;
    if (!times(ours, baseline, a, b) || a <= 0) return;
    std::printf("speed %-32s %s / %s time = %.3f\n", label, baseline.c_str(), ours.c_str(),
                b / (a * oursThreads));
  }

 private:
  bool times(const std::string& ours, const std::string& baseline, double& a, double& b) const {
    const auto x = seconds_.find(ours);
    const auto y = seconds_.find(baseline);
    if (x == seconds_.end() || y == seconds_.end()) return false;
    a = x->second;
    b = y->second;
    return true;
  }

  std::map<std::string, double> seconds_;
};

}  // namespace tyq_bench
