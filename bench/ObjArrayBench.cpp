// Sorting 1,000,000 TIntegerBuckets: TArray.QuickSort and TArray.ShellSort
// against std::sort of the same pointers with an equivalent comparator
// (CompareIntegerBucket(a, b) == cmpLess). Each result is printed with its
// ratio to the std::sort baseline of the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "containers/ObjArray.h"
#include "values/ObjBuckt.h"

namespace {

using namespace corvid;

constexpr std::int32_t kCount = 1000000;

// The same shuffled values for every benchmark.
const std::vector<std::unique_ptr<TIntegerBucket>>& Buckets() {
  static const auto buckets = [] {
    std::mt19937 rng(2024);
    std::vector<std::unique_ptr<TIntegerBucket>> v;
    v.reserve(kCount);
    for (std::int32_t i = 0; i < kCount; ++i) {
      v.push_back(std::make_unique<TIntegerBucket>(static_cast<std::int32_t>(rng())));
    }
    return v;
  }();
  return buckets;
}

void FillArray(TArray& a) {
  a.Clear();
  for (const auto& b : Buckets()) a.Insert(b.get());
}

void BM_StdSort(benchmark::State& state) {
  std::vector<TObject*> v;
  for (auto _ : state) {
    state.PauseTiming();
    v.clear();
    for (const auto& b : Buckets()) v.push_back(b.get());
    state.ResumeTiming();
    std::sort(v.begin(), v.end(), [](const TObject* l, const TObject* r) {
      return CompareIntegerBucket(l, r) == cmpLess;
    });
    benchmark::DoNotOptimize(v.data());
  }
}

template <void (TArray::*Sort)()>
void BM_ArraySort(benchmark::State& state) {
  TArray a(TIntegerBucket::StaticClass(), CompareIntegerBucket, kCount, 0);
  a.SetOwnership(false);  // the buckets belong to Buckets()
  for (auto _ : state) {
    state.PauseTiming();
    FillArray(a);
    state.ResumeTiming();
    (a.*Sort)();
    benchmark::DoNotOptimize(a.GetObj(1));
  }
  if (!std::is_sorted(a.begin(), a.end(), [](const TObject* l, const TObject* r) {
        return CompareIntegerBucket(l, r) == cmpLess;
      })) {
    state.SkipWithError("array not sorted");
  }
}

BENCHMARK(BM_StdSort)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ArraySort<&TArray::QuickSort>)
    ->Name("BM_TArrayQuickSort")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_ArraySort<&TArray::ShellSort>)
    ->Name("BM_TArrayShellSort")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Prints the usual table and remembers each benchmark's time per iteration.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (!r.error_occurred) times_[r.benchmark_name()] = r.GetAdjustedRealTime();
    }
  }
  const std::map<std::string, double>& Times() const { return times_; }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Buckets();  // build the data outside any measurement
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto& t = reporter.Times();
  const auto base = t.find("BM_StdSort/iterations:3");
  if (base == t.end()) return 0;
  std::printf("\nRatio to std::sort (%.1f ms) of the same %d pointers:\n", base->second, kCount);
  for (const auto& [name, ms] : t) {
    if (name != base->first)
      std::printf("  %-34s %8.1f ms  x%.2f\n", name.c_str(), ms, ms / base->second);
  }
  benchmark::Shutdown();
  return 0;
}
