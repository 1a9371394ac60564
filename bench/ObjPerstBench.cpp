// Object-stream throughput against cereal and Boost.Serialization, for the
// same objects and the same work on every side:
//
//   Buckets  1,000,000 integer buckets (values i * 7919, most of them needing
//            four bytes).
//   Combos   200,000 string combos, each a 20-character string and no object.
//
//   Corvid  a TUnorderedList of TIntegerBucket / TStringCombo written with
//           TObjectStream::WriteObject into a TMemoryStream and read back
//           with ReadObject, which builds a new list and new objects.
//   cereal  a std::vector of std::unique_ptr to a polymorphic base, the
//           derived types registered with cereal, written and read with its
//           binary archives.
//   Boost   the same vector with its own types, exported to
//           Boost.Serialization and written and read with its binary
//           archives. The types are not tracked (track_never): neither of the
//           other sides looks for an object stored twice, and this graph has
//           none. Each derived type registers its base with void_cast_register
//           and stores its own fields only, as on the cereal side.
//
// Both peers write into an in-memory stream buffer that, like TMemoryStream,
// keeps its memory from one write to the next, and read from memory in
// place. Each side writes the same graph every time and reads its own image
// (written once before the measurements) into new objects; freeing the
// objects read is not timed. Every write is checked to give the same bytes as
// that side's image, and every read to give back the graph it was made from.
// memcpy of Corvid's image shows the floor for moving that many bytes.
//
// The Boost side is built when CMake finds Boost's serialization library.
// Run with --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
// so that the sides share the machine's slow and fast moments; the ratios
// Corvid / cereal and Corvid / Boost of CPU time (below 1: Corvid is faster)
// are printed last, the minimum and the median over the repetitions.
// Build at -O2 (RelWithDebInfo or Release) with -DCORVID_BUILD_BENCH=ON.
//
// The timed work of each side is one out-of-line function (CorvidWrite,
// CerealRead, ...), so that callgrind can count one call of it alone, e.g.
//   valgrind --tool=callgrind --toggle-collect='*::CorvidRead(*'
//     --dump-after='(anonymous namespace)::CorvidRead(corvid::TMemoryStream&)'
//     bench_ObjPerstBench --benchmark_filter='^Corvid/Read/Buckets$'
//     --benchmark_min_time=0.001
// writes one profile per call; the last is the benchmark's (the writes are
// also called once or twice before it, to make the images).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cereal/archives/binary.hpp>
#include <cereal/types/memory.hpp>
#include <cereal/types/polymorphic.hpp>
#include <cereal/types/string.hpp>
#include <cereal/types/vector.hpp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

#if CORVID_BENCH_HAS_BOOST
#include <boost/archive/binary_iarchive.hpp>
#include <boost/archive/binary_oarchive.hpp>
#include <boost/serialization/export.hpp>
#include <boost/serialization/string.hpp>
#include <boost/serialization/tracking.hpp>
#include <boost/serialization/unique_ptr.hpp>
#include <boost/serialization/vector.hpp>
#include <boost/serialization/void_cast.hpp>
#endif

#include "bench/BenchReport.h"
#include "corvid/containers/ObjList.h"
#include "corvid/persist/ObjPerst.h"
#include "corvid/persist/Streams.h"
#include "corvid/values/ObjBuckt.h"

// --- In-memory stream buffers for the peers ---------------------------------

namespace peerbuf {

// Appends to a string that keeps its capacity when cleared.
class OutBuf : public std::streambuf {
 public:
  std::string data;

 protected:
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    data.append(s, static_cast<std::size_t>(n));
    return n;
  }
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) data.push_back(static_cast<char>(c));
    return c;
  }
};

// Reads a string in place.
class InBuf : public std::streambuf {
 public:
  explicit InBuf(std::string& s) { setg(s.data(), s.data(), s.data() + s.size()); }

 protected:
  std::streamsize xsgetn(char* s, std::streamsize n) override {
    const std::streamsize k = std::min<std::streamsize>(n, egptr() - gptr());
    std::memcpy(s, gptr(), static_cast<std::size_t>(k));
    gbump(static_cast<int>(k));
    return k;
  }
};

}  // namespace peerbuf

// True when both graphs hold the same buckets and combos in the same order.
template <class Bucket, class Combo, class Graph>
bool SameGraph(const Graph& A, const Graph& B) {
  if (A.size() != B.size()) return false;
  for (std::size_t i = 0; i < A.size(); ++i) {
    const auto* a = A[i].get();
    const auto* b = B[i].get();
    if (const auto* x = dynamic_cast<const Bucket*>(a)) {
      const auto* y = dynamic_cast<const Bucket*>(b);
      if (y == nullptr || y->value != x->value) return false;
      continue;
    }
    const auto* x = dynamic_cast<const Combo*>(a);
    const auto* y = dynamic_cast<const Combo*>(b);
    if (x == nullptr || y == nullptr || x->str != y->str || !x->obj != !y->obj) return false;
  }
  return true;
}

// --- The object graph for cereal --------------------------------------------

namespace cbench {

struct Base {
  virtual ~Base() = default;
  template <class A>
  void serialize(A&) {}
};

struct IntegerBucket : Base {
  std::int32_t value = 0;
  template <class A>
  void serialize(A& ar) {
    ar(value);
  }
};

struct StringCombo : Base {
  std::string str;
  std::unique_ptr<Base> obj;
  template <class A>
  void serialize(A& ar) {
    ar(str, obj);
  }
};

using Graph = std::vector<std::unique_ptr<Base>>;

}  // namespace cbench

CEREAL_REGISTER_TYPE(cbench::IntegerBucket)
CEREAL_REGISTER_TYPE(cbench::StringCombo)
CEREAL_REGISTER_POLYMORPHIC_RELATION(cbench::Base, cbench::IntegerBucket)
CEREAL_REGISTER_POLYMORPHIC_RELATION(cbench::Base, cbench::StringCombo)

// --- The object graph for Boost.Serialization -------------------------------

#if CORVID_BENCH_HAS_BOOST
namespace bbench {

struct Base {
  virtual ~Base() = default;
  template <class A>
  void serialize(A&, unsigned) {}
};

struct IntegerBucket : Base {
  std::int32_t value = 0;
  template <class A>
  void serialize(A& ar, unsigned) {
    ar& value;
  }
};

struct StringCombo : Base {
  std::string str;
  std::unique_ptr<Base> obj;
  template <class A>
  void serialize(A& ar, unsigned) {
    ar& str& obj;
  }
};

using Graph = std::vector<std::unique_ptr<Base>>;

// Boost casts between a pointer to the base and to the stored type through
// these registrations; done once, not in every serialize call.
void RegisterBases() {
  boost::serialization::void_cast_register<IntegerBucket, Base>();
  boost::serialization::void_cast_register<StringCombo, Base>();
}

}  // namespace bbench

BOOST_CLASS_TRACKING(bbench::Base, boost::serialization::track_never)
BOOST_CLASS_TRACKING(bbench::IntegerBucket, boost::serialization::track_never)
BOOST_CLASS_TRACKING(bbench::StringCombo, boost::serialization::track_never)
BOOST_CLASS_EXPORT(bbench::IntegerBucket)
BOOST_CLASS_EXPORT(bbench::StringCombo)
#endif

namespace {

using namespace corvid;

// --- The timed work of each side, kept out of line so that a profiler can
// count exactly one write or one read ----------------------------------------

[[gnu::noinline]] void CorvidWrite(TObject* Graph, TMemoryStream& Memory) {
  // Empty, but keeping its memory.
  Memory.SetSize(0);
  Memory.SetPosition(0);
  TObjectStream s(&Memory, false);
  s.WriteObject(Graph);
}

[[gnu::noinline]] std::unique_ptr<TObject> CorvidRead(TMemoryStream& Memory) {
  Memory.SetPosition(0);
  TObjectStream s(&Memory, false);
  return s.ReadObject();
}

[[gnu::noinline]] void CerealWrite(const cbench::Graph& Graph, peerbuf::OutBuf& Out) {
  Out.data.clear();
  std::ostream os(&Out);
  cereal::BinaryOutputArchive ar(os);
  ar(Graph);
}

[[gnu::noinline]] void CerealRead(std::string& Image, cbench::Graph& Back) {
  peerbuf::InBuf in(Image);
  std::istream is(&in);
  cereal::BinaryInputArchive ar(is);
  ar(Back);
}

#if CORVID_BENCH_HAS_BOOST
[[gnu::noinline]] void BoostWrite(const bbench::Graph& Graph, peerbuf::OutBuf& Out) {
  Out.data.clear();
  boost::archive::binary_oarchive ar(Out);
  ar << Graph;
}

[[gnu::noinline]] void BoostRead(std::string& Image, bbench::Graph& Back) {
  peerbuf::InBuf in(Image);
  boost::archive::binary_iarchive ar(in);
  ar >> Back;
}
#endif

// --- The objects, built once per case ----------------------------------------

enum Case { kBuckets, kCombos };
const char* const kCaseName[] = {"Buckets", "Combos"};

std::int32_t BucketValue(std::int32_t I) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(I) * 7919u);
}

std::string ComboString(std::int32_t I) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "combo-string-%07d", static_cast<int>(I));  // 20 characters
  return buf;
}

// Each side's graph, its image (what the read benchmarks read) and the
// buffer its write benchmark writes into.
struct Fixture {
  std::int32_t count = 0;
  std::unique_ptr<TUnorderedList> corvid;
  TMemoryStream corvidImage, corvidOut;
  cbench::Graph cereal;
  std::string cerealImage;
  peerbuf::OutBuf cerealOut;
#if CORVID_BENCH_HAS_BOOST
  bbench::Graph boost;
  std::string boostImage;
  peerbuf::OutBuf boostOut;
#endif

  explicit Fixture(Case C) {
    const bool buckets = C == kBuckets;
    count = buckets ? 1000000 : 200000;
    corvid = std::make_unique<TUnorderedList>(
        buckets ? TIntegerBucket::StaticClass() : TStringCombo::StaticClass(),
        buckets ? CompareIntegerBucket : CompareStringCombo);
    cereal.reserve(static_cast<std::size_t>(count));
#if CORVID_BENCH_HAS_BOOST
    boost.reserve(static_cast<std::size_t>(count));
#endif
    for (std::int32_t i = 0; i < count; ++i) {
      if (buckets) {
        corvid->Insert(new TIntegerBucket(BucketValue(i)));
        cereal.push_back(std::make_unique<cbench::IntegerBucket>());
        static_cast<cbench::IntegerBucket&>(*cereal.back()).value = BucketValue(i);
#if CORVID_BENCH_HAS_BOOST
        boost.push_back(std::make_unique<bbench::IntegerBucket>());
        static_cast<bbench::IntegerBucket&>(*boost.back()).value = BucketValue(i);
#endif
      } else {
        corvid->Insert(new TStringCombo(ComboString(i)));
        cereal.push_back(std::make_unique<cbench::StringCombo>());
        static_cast<cbench::StringCombo&>(*cereal.back()).str = ComboString(i);
#if CORVID_BENCH_HAS_BOOST
        boost.push_back(std::make_unique<bbench::StringCombo>());
        static_cast<bbench::StringCombo&>(*boost.back()).str = ComboString(i);
#endif
      }
    }
    // Each write buffer is written once here, so that the timed writes find
    // it grown to size, and the peers' first write is their image.
    CorvidWrite(corvid.get(), corvidImage);
    CorvidWrite(corvid.get(), corvidOut);
    CerealWrite(cereal, cerealOut);
    cerealImage = cerealOut.data;
#if CORVID_BENCH_HAS_BOOST
    BoostWrite(boost, boostOut);
    boostImage = boostOut.data;
#endif
  }
};

Fixture& Get(Case C) {
  static std::unique_ptr<Fixture> fixtures[2];
  if (!fixtures[C]) fixtures[C] = std::make_unique<Fixture>(C);
  return *fixtures[C];
}

void Count(benchmark::State& State, const Fixture& F, std::size_t Bytes) {
  State.SetItemsProcessed(State.iterations() * F.count);
  State.SetBytesProcessed(State.iterations() * static_cast<std::int64_t>(Bytes));
  State.counters["image_bytes"] = static_cast<double>(Bytes);
}

// --- Benchmarks ---------------------------------------------------------------

void CorvidWriteBench(benchmark::State& State, Case C) {
  Fixture& f = Get(C);
  for (auto _ : State) CorvidWrite(f.corvid.get(), f.corvidOut);
  if (f.corvidOut.View() != f.corvidImage.View()) State.SkipWithError("write changed the image");
  Count(State, f, f.corvidImage.View().size());
}

void CorvidReadBench(benchmark::State& State, Case C) {
  Fixture& f = Get(C);
  std::unique_ptr<TObject> back;
  for (auto _ : State) {
    State.PauseTiming();
    back.reset();
    State.ResumeTiming();
    back = CorvidRead(f.corvidImage);
  }
  if (!ObjectsEqual(back.get(), f.corvid.get())) State.SkipWithError("read changed the objects");
  Count(State, f, f.corvidImage.View().size());
}

void CerealWriteBench(benchmark::State& State, Case C) {
  Fixture& f = Get(C);
  for (auto _ : State) CerealWrite(f.cereal, f.cerealOut);
  if (f.cerealOut.data != f.cerealImage) State.SkipWithError("write changed the image");
  Count(State, f, f.cerealImage.size());
}

void CerealReadBench(benchmark::State& State, Case C) {
  Fixture& f = Get(C);
  cbench::Graph back;
  for (auto _ : State) {
    State.PauseTiming();
    back.clear();
    State.ResumeTiming();
    CerealRead(f.cerealImage, back);
  }
  if (!SameGraph<cbench::IntegerBucket, cbench::StringCombo>(back, f.cereal))
    State.SkipWithError("read changed the objects");
  Count(State, f, f.cerealImage.size());
}

#if CORVID_BENCH_HAS_BOOST
void BoostWriteBench(benchmark::State& State, Case C) {
  Fixture& f = Get(C);
  for (auto _ : State) BoostWrite(f.boost, f.boostOut);
  if (f.boostOut.data != f.boostImage) State.SkipWithError("write changed the image");
  Count(State, f, f.boostImage.size());
}

void BoostReadBench(benchmark::State& State, Case C) {
  Fixture& f = Get(C);
  bbench::Graph back;
  for (auto _ : State) {
    State.PauseTiming();
    back.clear();
    State.ResumeTiming();
    BoostRead(f.boostImage, back);
  }
  if (!SameGraph<bbench::IntegerBucket, bbench::StringCombo>(back, f.boost))
    State.SkipWithError("read changed the objects");
  Count(State, f, f.boostImage.size());
}
#endif

void MemcpyBench(benchmark::State& State, Case C) {
  const Fixture& f = Get(C);
  const std::string_view src = f.corvidImage.View();
  std::vector<char> dst(src.size());
  for (auto _ : State) {
    std::memcpy(dst.data(), src.data(), src.size());
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  Count(State, f, src.size());
}

using benchreport::Median;
using benchreport::Min;
using benchreport::TRatioReporter;

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
#if CORVID_BENCH_HAS_BOOST
  bbench::RegisterBases();
  const std::vector<std::string> peers = {"cereal", "Boost"};
#else
  std::printf("Built without Boost.Serialization: Corvid against cereal only.\n");
  const std::vector<std::string> peers = {"cereal"};
#endif
  using Bench = void (*)(benchmark::State&, Case);
  const std::vector<std::pair<std::string, Bench>> benches = {
    {"Corvid/Write", CorvidWriteBench},
    {"Corvid/Read", CorvidReadBench},
    {"cereal/Write", CerealWriteBench},
    {"cereal/Read", CerealReadBench},
#if CORVID_BENCH_HAS_BOOST
    {"Boost/Write", BoostWriteBench},
    {"Boost/Read", BoostReadBench},
#endif
    {"memcpy/Copy", MemcpyBench},
  };
  for (const Case c : {kBuckets, kCombos}) {
    for (const auto& [name, fn] : benches) {
      benchmark::RegisterBenchmark((name + "/" + kCaseName[c]).c_str(), fn, c)
          ->Unit(benchmark::kMillisecond);
    }
  }
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  // Minimum CPU time of each side, then the ratios Corvid / peer.
  std::printf("\nCPU ms per operation, minimum over the repetitions:\n");
  std::printf("  %-8s %-6s %9s %9s %9s %9s\n", "case", "work", "Corvid", "cereal", "Boost",
              "memcpy");
  for (const char* c : kCaseName) {
    for (const char* work : {"Write", "Read"}) {
      std::printf("  %-8s %-6s", c, work);
      for (const char* side : {"Corvid", "cereal", "Boost", "memcpy"}) {
        const bool copy = std::strcmp(side, "memcpy") == 0;
        const std::vector<double>* t =
            reporter.Cpu(std::string(side) + "/" + (copy ? "Copy" : work) + "/" + c);
        if (t != nullptr) {
          std::printf(" %9.2f", Min(*t));
        } else {
          std::printf(" %9s", "-");
        }
      }
      std::printf("\n");
    }
  }
  for (const std::string& peer : peers) {
    std::printf("\nCorvid / %s time (CPU; below 1: Corvid is faster):\n", peer.c_str());
    std::printf("  %-8s %-6s %6s %7s\n", "case", "work", "min", "median");
    for (const char* c : kCaseName) {
      for (const char* work : {"Write", "Read"}) {
        const std::string suffix = std::string("/") + work + "/" + c;
        const std::vector<double>* ours = reporter.Cpu("Corvid" + suffix);
        const std::vector<double>* theirs = reporter.Cpu(peer + suffix);
        if (ours == nullptr || theirs == nullptr) continue;
        std::printf("  %-8s %-6s %6.2f %7.2f\n", c, work, Min(*ours) / Min(*theirs),
                    Median(*ours) / Median(*theirs));
      }
    }
  }
  benchmark::Shutdown();
  return 0;
}
