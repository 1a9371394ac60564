// Sorting TIntegerBuckets: TArray.QuickSort and TArray.ShellSort against
// std::sort of the same pointers. Both sides call the same out-of-line
// compare function (the buckets' values, no type checks), so the ratio
// measures the sorts and not the comparator. The ratios TArray / std::sort
// of CPU time, same size, same run, are printed last.
//
// QuickSort and the baseline run on 1,000,000 buckets. ShellSort (halving
// gaps, exchange passes repeated until one makes no exchange) grows about
// quadratically on random data, so it runs on 100,000 buckets, with a
// baseline of that size.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "corvid/containers/ObjArray.h"
#include "corvid/values/ObjBuckt.h"

namespace {

using namespace corvid;

constexpr std::int32_t kCount = 1000000;
constexpr std::int32_t kShellCount = 100000;

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

// The bucket compare without CompareIntegerBucket's checked casts: every
// object here is a TIntegerBucket. Kept out of line so that std::sort cannot
// inline it where TArray calls it through a pointer.
[[gnu::noinline]] TComparison CompareBuckets(const TObject* Left, const TObject* Right) {
  const std::int32_t l = static_cast<const TIntegerBucket*>(Left)->GetInteger();
  const std::int32_t r = static_cast<const TIntegerBucket*>(Right)->GetInteger();
  return l < r ? cmpLess : (l > r ? cmpGreater : cmpEqual);
}

void FillArray(TArray& a, std::int32_t n) {
  a.Clear();
  for (std::int32_t i = 0; i < n; ++i) a.Insert(Buckets()[i].get());
}

void BM_StdSort(benchmark::State& state) {
  std::vector<TObject*> v;
  for (auto _ : state) {
    state.PauseTiming();
    v.clear();
    for (std::int64_t i = 0; i < state.range(0); ++i) v.push_back(Buckets()[i].get());
    state.ResumeTiming();
    std::sort(v.begin(), v.end(),
              [](const TObject* l, const TObject* r) { return CompareBuckets(l, r) == cmpLess; });
    benchmark::DoNotOptimize(v.data());
  }
}

template <void (TArray::*Sort)()>
void BM_ArraySort(benchmark::State& state) {
  const auto n = static_cast<std::int32_t>(state.range(0));
  TArray a(TIntegerBucket::StaticClass(), CompareBuckets, n, 0);
  a.SetOwnership(false);  // the buckets belong to Buckets()
  for (auto _ : state) {
    state.PauseTiming();
    FillArray(a, n);
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

BENCHMARK(BM_StdSort)->Arg(kCount)->Arg(kShellCount)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ArraySort<&TArray::QuickSort>)
    ->Name("BM_TArrayQuickSort")
    ->Arg(kCount)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_ArraySort<&TArray::ShellSort>)
    ->Name("BM_TArrayShellSort")
    ->Arg(kShellCount)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

struct Timing {
  double real;  // ms per iteration, wall clock
  double cpu;   // ms per iteration, process CPU time
};

// Prints the usual table and remembers each run's times by size.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      const std::string name = r.run_name.function_name;
      const std::string size = r.run_name.args;
      times_[size][name] = Timing{r.GetAdjustedRealTime(), r.GetAdjustedCPUTime()};
    }
  }
  const std::map<std::string, std::map<std::string, Timing>>& Times() const { return times_; }

 private:
  std::map<std::string, std::map<std::string, Timing>> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Buckets();  // build the data outside any measurement
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const auto& [size, byName] : reporter.Times()) {
    const auto base = byName.find("BM_StdSort");
    if (base == byName.end()) continue;
    std::printf("\nTArray / std::sort of the same %s pointers, CPU time (std::sort %.1f ms):\n",
                size.c_str(), base->second.cpu);
    for (const auto& [name, t] : byName) {
      if (name == base->first) continue;
      std::printf("  %-20s %9.1f ms CPU  x%.2f\n", name.c_str(), t.cpu, t.cpu / base->second.cpu);
    }
  }
  benchmark::Shutdown();
  return 0;
}
