// The console reporter of the benchmarks: Google Benchmark's own output,
// and the CPU and real time of every repetition kept by run name
// ("BM_Raw_Walk/100000", "Corvid/Read/Buckets") for the ratios each
// benchmark prints at the end.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace benchreport {

class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& Runs) override {
    ConsoleReporter::ReportRuns(Runs);
    for (const Run& r : Runs) {
      if (r.error_occurred || r.run_type != Run::RT_Iteration) continue;
      std::string name = r.run_name.function_name;
      if (!r.run_name.args.empty()) name += "/" + r.run_name.args;
      cpu_[name].push_back(r.GetAdjustedCPUTime());
      real_[name].push_back(r.GetAdjustedRealTime());
    }
  }
  // The CPU times of the run Name; null when it did not run (filtered out,
  // failed).
  const std::vector<double>* Cpu(const std::string& Name) const { return Find(cpu_, Name); }
  const std::vector<double>* Real(const std::string& Name) const { return Find(real_, Name); }
  // Every run's CPU times.
  const std::map<std::string, std::vector<double>>& All() const { return cpu_; }

 private:
  using TTimes = std::map<std::string, std::vector<double>>;
  static const std::vector<double>* Find(const TTimes& Times, const std::string& Name) {
    const auto it = Times.find(Name);
    return it == Times.end() ? nullptr : &it->second;
  }
  TTimes cpu_, real_;
};

inline double Min(const std::vector<double>& V) {
  return *std::min_element(V.begin(), V.end());
}

inline double Median(std::vector<double> V) {
  std::sort(V.begin(), V.end());
  const std::size_t m = V.size() / 2;
  return V.size() % 2 == 1 ? V[m] : (V[m - 1] + V[m]) / 2;
}

}  // namespace benchreport
