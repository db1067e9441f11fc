// Prints Google Benchmark's table and keeps the CPU time per iteration of every run for the
// lines after it (the machine may be shared, so wall time would also count other processes).
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace ferolan::bench {

class CpuTimeReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration && r.iterations > 0)
        seconds[r.benchmark_name()] = r.cpu_accumulated_time / static_cast<double>(r.iterations);
  }
  // Seconds per iteration of the run of that name, 0 when it did not run.
  double get(const std::string& name) const {
    const auto it = seconds.find(name);
    return it == seconds.end() ? 0 : it->second;
  }
  std::map<std::string, double> seconds;
};

}  // namespace ferolan::bench
