// Ordered-list insertion against a sorted vector of the same pointers.
//
// Each iteration inserts the same 10,000 integer buckets (ownership off, so
// only the container's own work is measured) into a fresh TOrderedList, and
// the baseline inserts them into a std::vector kept sorted with
// std::lower_bound and the same compare function: lower_bound finds the
// first element not less than the new one, which is exactly where the list
// puts it (before every equal element). Both include tearing the container
// down. After the run the ratio list/vector is printed for each input order.
//
// ReadOrderedList reads back, through TObjectStream over a TMemoryStream, an
// ordered list of N integer buckets (one value in ten repeated) written from
// its first object to its last, so the objects arrive sorted; the baseline
// reads the same objects as an unordered list, which only appends. Both
// include freeing the list read. The ratio ordered/unordered is what the
// re-sorting on read costs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "corvid/containers/ObjList.h"
#include "corvid/persist/ObjPerst.h"
#include "corvid/persist/Streams.h"
#include "corvid/values/ObjBuckt.h"

namespace {

using namespace corvid;

constexpr int kCount = 10000;

// The same objects for every benchmark: values 0..kCount-1 with about one
// value in ten repeated, in a fixed pseudo-random order or ascending.
struct Input {
  std::vector<std::unique_ptr<TIntegerBucket>> owned;
  std::vector<TObject*> random;
  std::vector<TObject*> ascending;

  Input() {
    std::mt19937 gen(20261208);
    std::uniform_int_distribution<int> dist(0, kCount - kCount / 10);
    for (int i = 0; i < kCount; ++i) {
      owned.push_back(std::make_unique<TIntegerBucket>(dist(gen)));
      random.push_back(owned.back().get());
    }
    ascending = random;
    std::stable_sort(ascending.begin(), ascending.end(),
                     [](TObject* a, TObject* b) { return CompareIntegerBucket(a, b) == cmpLess; });
  }
};

const Input& Objects() {
  static const Input input;
  return input;
}

const std::vector<TObject*>& Order(const benchmark::State& State) {
  return State.range(0) == 0 ? Objects().random : Objects().ascending;
}

void OrderedListInsert(benchmark::State& State) {
  const std::vector<TObject*>& objs = Order(State);
  for (auto _ : State) {
    TOrderedList list(TIntegerBucket::StaticClass(), CompareIntegerBucket);
    list.SetOwnership(false);
    for (TObject* obj : objs) list.Insert(obj);
    benchmark::DoNotOptimize(list.GetSize());
  }
  State.SetItemsProcessed(State.iterations() * kCount);
}

void SortedVectorInsert(benchmark::State& State) {
  const std::vector<TObject*>& objs = Order(State);
  const auto less = [](const TObject* a, const TObject* b) {
    return CompareIntegerBucket(a, b) == cmpLess;
  };
  for (auto _ : State) {
    std::vector<TObject*> vec;
    for (TObject* obj : objs) vec.insert(std::lower_bound(vec.begin(), vec.end(), obj, less), obj);
    benchmark::DoNotOptimize(vec.data());
  }
  State.SetItemsProcessed(State.iterations() * kCount);
}

// Argument 0: pseudo-random order; 1: ascending (the list's worst case,
// every insertion walks to the end).
BENCHMARK(OrderedListInsert)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(SortedVectorInsert)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The image of a list of N buckets, values ascending with every tenth one
// repeated. Inserting them in descending order puts each at the head, so
// building the list costs nothing worth waiting for.
template <class List>
std::unique_ptr<TMemoryStream> ListImage(std::int32_t N) {
  List list(TIntegerBucket::StaticClass(), CompareIntegerBucket);
  for (std::int32_t i = N - 1; i >= 0; --i) list.Insert(new TIntegerBucket(i - i / 10));
  auto memory = std::make_unique<TMemoryStream>();
  TObjectStream(memory.get(), false).WriteObject(&list);
  return memory;
}

template <class List>
void ReadList(benchmark::State& State) {
  const auto n = static_cast<std::int32_t>(State.range(0));
  const std::unique_ptr<TMemoryStream> memory = ListImage<List>(n);
  for (auto _ : State) {
    memory->SetPosition(0);
    std::unique_ptr<TObject> back = TObjectStream(memory.get(), false).ReadObject();
    benchmark::DoNotOptimize(back.get());
  }
  State.SetItemsProcessed(State.iterations() * n);
}

void ReadOrderedList(benchmark::State& State) {
  ReadList<TOrderedList>(State);
}
void ReadUnorderedList(benchmark::State& State) {
  ReadList<TUnorderedList>(State);
}

BENCHMARK(ReadOrderedList)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadUnorderedList)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Console output as usual, and the mean real and CPU time per iteration of
// every run kept by name for the ratios printed at the end. The machine may
// be shared, so the CPU-time ratio is the steadier of the two.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& Reports) override {
    for (const Run& run : Reports) {
      if (!run.error_occurred && run.run_type == Run::RT_Iteration) {
        times[run.run_name.function_name + "/" + run.run_name.args] = {run.GetAdjustedRealTime(),
                                                                       run.GetAdjustedCPUTime()};
      }
    }
    ConsoleReporter::ReportRuns(Reports);
  }
  struct Times {
    double real;
    double cpu;
  };
  std::map<std::string, Times> times;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* arg : {"0", "1"}) {
    const auto list = reporter.times.find(std::string("OrderedListInsert/") + arg);
    const auto vec = reporter.times.find(std::string("SortedVectorInsert/") + arg);
    if (list == reporter.times.end() || vec == reporter.times.end()) continue;
    if (vec->second.real <= 0 || vec->second.cpu <= 0) continue;
    std::printf("ratio TOrderedList / sorted vector, %s input, %d objects: real %.1f, cpu %.1f\n",
                arg[0] == '0' ? "random" : "ascending", kCount,
                list->second.real / vec->second.real, list->second.cpu / vec->second.cpu);
  }
  for (const char* arg : {"10000", "100000"}) {
    const auto ordered = reporter.times.find(std::string("ReadOrderedList/") + arg);
    const auto unordered = reporter.times.find(std::string("ReadUnorderedList/") + arg);
    if (ordered == reporter.times.end() || unordered == reporter.times.end()) continue;
    if (unordered->second.real <= 0 || unordered->second.cpu <= 0) continue;
    std::printf("ratio TOrderedList read / TUnorderedList read, %s objects: real %.2f, cpu %.2f\n",
                arg, ordered->second.real / unordered->second.real,
                ordered->second.cpu / unordered->second.cpu);
  }
  benchmark::Shutdown();
  return 0;
}
