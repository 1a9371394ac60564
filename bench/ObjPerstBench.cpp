// Object-stream throughput: writing and reading back, through TObjectStream
// over a TMemoryStream,
//   - a TUnorderedList of 1,000,000 TIntegerBuckets,
//   - a TUnorderedList of 200,000 TStringCombos with 20-character strings,
// against cereal's binary archive writing and reading the same object graph
// (a vector of polymorphic pointers to registered types, over an in-memory
// stream buffer), and against memcpy of the same number of bytes.
//
// Each measurement is the best of several runs, in process CPU time, with
// the ratios Corvid / cereal printed last; reading excludes freeing the
// objects read. Build in a Release directory: configure with
// -DCMAKE_BUILD_TYPE=Release -DCORVID_BUILD_BENCH=ON -DCORVID_SANITIZE=OFF
// -DCORVID_BUILD_TESTS=OFF and build bench_ObjPerstBench.
#include <cereal/archives/binary.hpp>
#include <cereal/types/memory.hpp>
#include <cereal/types/polymorphic.hpp>
#include <cereal/types/string.hpp>
#include <cereal/types/vector.hpp>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

#include "corvid/containers/ObjList.h"
#include "corvid/persist/ObjPerst.h"
#include "corvid/values/ObjBuckt.h"

// --- The same object graph for cereal -------------------------------------------

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

// In-memory stream buffers, so that cereal pays no more for its byte stream
// than the object stream does for TMemoryStream.
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

}  // namespace cbench

CEREAL_REGISTER_TYPE(cbench::IntegerBucket)
CEREAL_REGISTER_TYPE(cbench::StringCombo)
CEREAL_REGISTER_POLYMORPHIC_RELATION(cbench::Base, cbench::IntegerBucket)
CEREAL_REGISTER_POLYMORPHIC_RELATION(cbench::Base, cbench::StringCombo)

namespace {

using namespace corvid;
// Process CPU time in seconds: steadier than the wall clock on a shared
// machine.
double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Best of Runs, in CPU seconds. Setup runs before each timed call and is not
// timed; so does Teardown after it.
double Best(int Runs, const std::function<void()>& Setup, const std::function<void()>& Timed,
            const std::function<void()>& Teardown) {
  double best = 1e30;
  for (int i = 0; i < Runs; ++i) {
    Setup();
    const double t0 = CpuSeconds();
    Timed();
    const double s = CpuSeconds() - t0;
    Teardown();
    if (s < best) best = s;
  }
  return best;
}

void Nothing() {}

struct Result {
  double write;
  double read;
  std::int64_t bytes;
};

Result MeasureCorvid(TObject* Graph, int Runs) {
  TMemoryStream memory;
  Result r{};
  r.write = Best(
      Runs,
      [&] {
        // Empty, but keeping its memory, as cereal's buffer keeps its own.
        memory.SetSize(0);
        memory.SetPosition(0);
      },
      [&] {
        TObjectStream s(&memory, false);
        s.WriteObject(Graph);
      },
      Nothing);
  r.bytes = memory.GetSize();
  std::unique_ptr<TObject> back;
  r.read = Best(
      Runs, [&] { memory.SetPosition(0); },
      [&] {
        TObjectStream s(&memory, false);
        back = s.ReadObject();
      },
      [&] {
        if (!ObjectsEqual(back.get(), Graph)) {
          std::fprintf(stderr, "round trip changed the object\n");
          std::exit(1);
        }
        back.reset();
      });
  return r;
}

Result MeasureCereal(const cbench::Graph& Graph, int Runs) {
  cbench::OutBuf out;
  Result r{};
  r.write = Best(
      Runs, [&] { out.data.clear(); },
      [&] {
        std::ostream os(&out);
        cereal::BinaryOutputArchive ar(os);
        ar(Graph);
      },
      Nothing);
  r.bytes = static_cast<std::int64_t>(out.data.size());
  cbench::Graph back;
  r.read = Best(
      Runs, Nothing,
      [&] {
        cbench::InBuf in(out.data);
        std::istream is(&in);
        cereal::BinaryInputArchive ar(is);
        ar(back);
      },
      [&] {
        if (back.size() != Graph.size()) {
          std::fprintf(stderr, "cereal round trip lost objects\n");
          std::exit(1);
        }
        back.clear();
      });
  return r;
}

double MeasureMemcpy(std::int64_t Bytes, int Runs) {
  std::vector<char> src(static_cast<std::size_t>(Bytes), 'x');
  std::vector<char> dst(static_cast<std::size_t>(Bytes));
  return Best(
      Runs, Nothing, [&] { std::memcpy(dst.data(), src.data(), src.size()); },
      [&] {
        if (dst[dst.size() / 2] != 'x') std::exit(1);
      });
}

void Report(const char* Name, std::int64_t Objects, const Result& Ours, const Result& Cereal,
            double Memcpy) {
  const double n = static_cast<double>(Objects);
  std::printf("\n%s: %lld objects\n", Name, static_cast<long long>(Objects));
  std::printf("  %-26s %14s %14s %12s\n", "", "objects/s", "MB/s", "bytes");
  std::printf("  %-26s %14.0f %14.1f %12lld\n", "TObjectStream write", n / Ours.write,
              Ours.bytes / Ours.write / 1e6, static_cast<long long>(Ours.bytes));
  std::printf("  %-26s %14.0f %14.1f %12lld\n", "TObjectStream read", n / Ours.read,
              Ours.bytes / Ours.read / 1e6, static_cast<long long>(Ours.bytes));
  std::printf("  %-26s %14.0f %14.1f %12lld\n", "cereal write", n / Cereal.write,
              Cereal.bytes / Cereal.write / 1e6, static_cast<long long>(Cereal.bytes));
  std::printf("  %-26s %14.0f %14.1f %12lld\n", "cereal read", n / Cereal.read,
              Cereal.bytes / Cereal.read / 1e6, static_cast<long long>(Cereal.bytes));
  std::printf("  %-26s %14.0f %14.1f %12lld\n", "memcpy (same bytes)", n / Memcpy,
              Ours.bytes / Memcpy / 1e6, static_cast<long long>(Ours.bytes));
  // Times, so below 1 means Corvid is the faster.
  std::printf("  Corvid / cereal time: write %.2f   read %.2f\n", Ours.write / Cereal.write,
              Ours.read / Cereal.read);
  std::printf("  Corvid / memcpy time: write %.1f   read %.1f\n", Ours.write / Memcpy,
              Ours.read / Memcpy);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 5;

  {
    const std::int32_t n = 1000000;
    TUnorderedList list(TIntegerBucket::StaticClass(), CompareIntegerBucket);
    cbench::Graph graph;
    graph.reserve(n);
    for (std::int32_t i = 0; i < n; ++i) {
      list.Insert(
          new TIntegerBucket(static_cast<std::int32_t>(static_cast<std::uint32_t>(i) * 7919u)));
      auto b = std::make_unique<cbench::IntegerBucket>();
      b->value = static_cast<std::int32_t>(static_cast<std::uint32_t>(i) * 7919u);
      graph.push_back(std::move(b));
    }
    const Result ours = MeasureCorvid(&list, runs);
    const Result cer = MeasureCereal(graph, runs);
    Report("TUnorderedList of TIntegerBucket", n, ours, cer, MeasureMemcpy(ours.bytes, runs));
  }
  {
    const std::int32_t n = 200000;
    TUnorderedList list(TStringCombo::StaticClass(), CompareStringCombo);
    cbench::Graph graph;
    graph.reserve(n);
    for (std::int32_t i = 0; i < n; ++i) {
      char buf[32];
      std::snprintf(buf, sizeof buf, "combo-string-%07d", i);  // 20 characters
      list.Insert(new TStringCombo(buf));
      auto c = std::make_unique<cbench::StringCombo>();
      c->str = buf;
      graph.push_back(std::move(c));
    }
    const Result ours = MeasureCorvid(&list, runs);
    const Result cer = MeasureCereal(graph, runs);
    Report("TUnorderedList of TStringCombo (20 chars)", n, ours, cer,
           MeasureMemcpy(ours.bytes, runs));
  }
  return 0;
}
