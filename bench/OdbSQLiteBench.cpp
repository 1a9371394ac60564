// Record access on SQLite (object files) against the lean program a careful
// engineer would write with the raw sqlite3 API for the same result: the
// same table (schema copied from the file Corvid made), the same rows, the
// same objects built.
//
//   Insert  N objects, one transaction per 1,000. Corvid: SetCurrentObj and
//           Insert on a TObjectFile (the class has a copy procedure, so
//           SetCurrentObj copies member-wise). Raw: one prepared insert of the key
//           columns and the image, the image packed by hand from the object
//           into a reused buffer (byte for byte what TObjectStream writes;
//           checked before the measurements).
//   Walk    all N in primary-key order. Corvid: FindFirst/FindNext, each
//           object rebuilt from its image. Raw: one prepared select of the
//           image alone ordered by the key, each row decoded by a hand-packed
//           reader into a new object.
//   Find    N finds by primary key in random order. Corvid: SetCurrentObj
//           (key) and FindExact. Raw: one prepared select of the image by
//           key, decoded into a new object.
//
// N is 10,000 and 100,000 by default; 1,000,000 is added when the
// environment variable CORVID_BENCH_1M is set (it takes minutes). Both sides
// use database files in the temporary folder in WAL mode with
// synchronous=full (the driver's defaults, printed at the start), with 1,000
// inserts per transaction. Walk and Find read a file filled once through
// Corvid before the measurements.
//
// The ratios Corvid / raw of CPU time are printed last, the minimum and the
// median over the repetitions (e.g. --benchmark_repetitions=5
// --benchmark_enable_random_interleaving=true, so that the two sides share
// the machine's slow and fast moments).
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchImage.h"
#include "bench/BenchReport.h"
#include "corvid/odb/Odb.h"
#include "corvid/persist/ObjPerst.h"
#include "corvid/persist/Streams.h"

namespace odbbench {

using namespace corvid;

class TBenchItem : public TObject {
  CORVID_CLASS(TBenchItem, ::corvid::TObject)
 public:
  TBenchItem() = default;
  TBenchItem(std::int32_t ACode, std::string AName, double AValue)
      : Code(ACode), Name(std::move(AName)), Value(AValue) {}
  std::int32_t Code = 0;
  std::string Name;
  double Value = 0;
};

void WriteItem(TObject* Obj, TObjectWriter& Writer) {
  auto* i = static_cast<TBenchItem*>(Obj);
  Writer.WriteInteger(i->Code);
  Writer.WriteString(i->Name);
  Writer.WriteFloat(i->Value);
}

void ReadItem(TObject* Obj, TObjectReader& Reader) {
  auto* i = static_cast<TBenchItem*>(Obj);
  i->Code = Reader.ReadInteger();
  i->Name = Reader.ReadString();
  i->Value = static_cast<double>(Reader.ReadFloat());
}

// The copy SetCurrentObj takes: a plain member-wise copy, as the class
// allows it (no owned objects).
void CopyItem(const TObject* Source, TObject* Dest) {
  *static_cast<TBenchItem*>(Dest) = *static_cast<const TBenchItem*>(Source);
}

const bool registered = [] {
  RegisterStreamable(TBenchItem::StaticClass(), {ReadItem}, {WriteItem});
  SetCopyProc(TBenchItem::StaticClass(), CopyItem);
  return true;
}();

class TBenchMapping : public TORMapping {
  CORVID_CLASS(TBenchMapping, ::corvid::TORMapping)
 public:
  TClass GetObjectType() const override { return TBenchItem::StaticClass(); }
  void DefineFields() override {
    AddField("Code", oftInteger);
    AddField("Name", oftString, 31);
    AddField("Value", oftFloat);
  }
  void DefineIndices() override {
    AddIndex("ByCode", {iaPrimary}, {"Code"});
    AddIndex("ByName", {}, {"Name"});
  }
  void UpdateFieldsFromObj(const TObject* Obj) override {
    auto* i = static_cast<const TBenchItem*>(Obj);
    FieldByName("Code")->SetAsInteger(i->Code);
    FieldByName("Name")->SetAsString(i->Name);
    FieldByName("Value")->SetAsFloat(i->Value);
  }
};

}  // namespace odbbench

namespace {

using namespace corvid;
using namespace odbbench;
namespace fs = std::filesystem;

constexpr int kPerTransaction = 1000;

// --- the raw side's image codec ---------------------------------------------

void PackItem(const TBenchItem& Item, std::string& Out) {
  Out.assign(benchimage::HeaderOf<TBenchItem>());
  benchimage::PutInt(Out, Item.Code);
  benchimage::PutString(Out, Item.Name);
  benchimage::PutFloat(Out, Item.Value);
}

std::unique_ptr<TBenchItem> UnpackItem(const void* Data, int Size) {
  benchimage::TReader r(Data, Size, benchimage::HeaderOf<TBenchItem>());
  auto item = std::make_unique<TBenchItem>();
  item->Code = r.Int();
  r.String(item->Name);
  item->Value = r.Float();
  return item;
}

// --- the data -----------------------------------------------------------------

// The objects of one size, in insertion order (codes shuffled so that the
// primary index is not filled in order), and the order of the finds.
struct TData {
  std::vector<TBenchItem> Items;
  std::vector<std::int32_t> FindOrder;
};

const TData& Data(int Count) {
  static std::map<int, TData> all;
  TData& d = all[Count];
  if (!d.Items.empty()) return d;
  std::vector<std::int32_t> codes(static_cast<std::size_t>(Count));
  for (int i = 0; i < Count; ++i) codes[i] = i + 1;
  std::mt19937 rng(42);
  std::shuffle(codes.begin(), codes.end(), rng);
  d.Items.reserve(codes.size());
  for (std::int32_t c : codes) {
    d.Items.emplace_back(c, "name-" + std::to_string(static_cast<std::int64_t>(c) * 7919 % Count),
                         c * 0.5);
  }
  d.FindOrder = codes;
  std::shuffle(d.FindOrder.begin(), d.FindOrder.end(), rng);
  // The hand-packed image must be what the object stream writes, or the
  // two sides would not store the same rows.
  std::string packed;
  for (const TBenchItem& item : d.Items) {
    TMemoryStream image;
    TObjectStream os(&image, false);
    os.WriteObject(&item);
    PackItem(item, packed);
    if (image.View() != packed) benchimage::BadImage();
    const auto back = UnpackItem(packed.data(), static_cast<int>(packed.size()));
    if (back->Code != item.Code || back->Name != item.Name || back->Value != item.Value) {
      benchimage::BadImage();
    }
  }
  return d;
}

std::string TempPath(const std::string& Name) {
  return (fs::temp_directory_path() / ("corvid-bench-" + Name)).string();
}

void RemoveDb(const std::string& Path) {
  for (const char* suffix : {"", "-wal", "-shm", "-corvid.lck"}) fs::remove(Path + suffix);
}

void Check(int Rc, sqlite3* Db, const char* What) {
  if (Rc != SQLITE_OK && Rc != SQLITE_ROW && Rc != SQLITE_DONE) {
    std::fprintf(stderr, "%s: %s\n", What, sqlite3_errmsg(Db));
    std::abort();
  }
}

void Exec(sqlite3* Db, const std::string& Sql) {
  Check(sqlite3_exec(Db, Sql.c_str(), nullptr, nullptr, nullptr), Db, Sql.c_str());
}

sqlite3_stmt* Prepare(sqlite3* Db, const char* Sql) {
  sqlite3_stmt* s = nullptr;
  Check(sqlite3_prepare_v3(Db, Sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr), Db, Sql);
  return s;
}

void Step(sqlite3_stmt* S, sqlite3* Db) {
  Check(sqlite3_step(S), Db, "step");
  sqlite3_reset(S);
}

// Inserts the objects of Count through an object file into a new database.
void OdbInsertAll(const std::string& Path, int Count) {
  const TData& data = Data(Count);
  TObjectDatabase db(GetOdbDriverClass("SQLite"), Path);
  db.Open("create", "", "");
  TObjectFile file(db, "Items", TBenchMapping::StaticClass());
  file.CreateFile();
  file.Open();
  for (int i = 0; i < Count; ++i) {
    if (i % kPerTransaction == 0) db.StartTransaction();
    file.SetCurrentObj(&data.Items[i]);
    file.Insert();
    if (i % kPerTransaction == kPerTransaction - 1 || i == Count - 1) db.Commit();
  }
}

// The filled database of Count objects that Walk and Find read.
const std::string& FilledDb(int Count) {
  static std::map<int, std::string> paths;
  std::string& p = paths[Count];
  if (p.empty()) {
    p = TempPath("filled-" + std::to_string(Count) + ".db");
    RemoveDb(p);
    OdbInsertAll(p, Count);
  }
  return p;
}

// The schema Corvid made (table, indices, sequence table).
const std::vector<std::string>& Schema() {
  static const std::vector<std::string> sql = [] {
    std::vector<std::string> out;
    sqlite3* db = nullptr;
    sqlite3_open(FilledDb(10000).c_str(), &db);
    sqlite3_stmt* s = Prepare(db,
                              "select sql from sqlite_master where sql is not null and "
                              "(tbl_name = 'Items' or name = 'corvid_sequence') order by rowid");
    while (sqlite3_step(s) == SQLITE_ROW) {
      out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    return out;
  }();
  return sql;
}

sqlite3* RawOpen(const std::string& Path, bool Create) {
  sqlite3* db = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (Create ? SQLITE_OPEN_CREATE : 0);
  Check(sqlite3_open_v2(Path.c_str(), &db, flags, nullptr), db, "open");
  if (Create) Exec(db, "pragma auto_vacuum = incremental");
  Exec(db, "pragma journal_mode = wal");
  Exec(db, "pragma synchronous = full");
  return db;
}

std::string PragmaText(sqlite3* Db, const char* Pragma) {
  sqlite3_stmt* s = Prepare(Db, Pragma);
  std::string v = sqlite3_step(s) == SQLITE_ROW
                      ? reinterpret_cast<const char*>(sqlite3_column_text(s, 0))
                      : "?";
  sqlite3_finalize(s);
  return v;
}

// --- insert -----------------------------------------------------------------

void BM_Corvid_Insert(benchmark::State& State) {
  const int n = static_cast<int>(State.range(0));
  Data(n);
  const std::string path = TempPath("insert-corvid.db");
  for (auto _ : State) {
    State.PauseTiming();
    RemoveDb(path);
    State.ResumeTiming();
    OdbInsertAll(path, n);
  }
  RemoveDb(path);
  State.SetItemsProcessed(State.iterations() * n);
}

void BM_Raw_Insert(benchmark::State& State) {
  const int n = static_cast<int>(State.range(0));
  const TData& data = Data(n);
  const std::string path = TempPath("insert-raw.db");
  std::string image;
  for (auto _ : State) {
    State.PauseTiming();
    RemoveDb(path);
    State.ResumeTiming();
    sqlite3* db = RawOpen(path, true);
    for (const std::string& sql : Schema()) Exec(db, sql);
    sqlite3_stmt* ins = Prepare(db,
                                "insert into \"Items\" (\"Code\", \"Name\", \"Value\", \"Object\") "
                                "values (?1, ?2, ?3, ?4)");
    sqlite3_stmt* begin = Prepare(db, "begin immediate");
    sqlite3_stmt* commit = Prepare(db, "commit");
    for (int i = 0; i < n; ++i) {
      if (i % kPerTransaction == 0) Step(begin, db);
      const TBenchItem& item = data.Items[i];
      PackItem(item, image);
      sqlite3_bind_int(ins, 1, item.Code);
      sqlite3_bind_text(ins, 2, item.Name.data(), static_cast<int>(item.Name.size()),
                        SQLITE_STATIC);
      sqlite3_bind_double(ins, 3, item.Value);
      sqlite3_bind_blob(ins, 4, image.data(), static_cast<int>(image.size()), SQLITE_STATIC);
      Step(ins, db);
      if (i % kPerTransaction == kPerTransaction - 1 || i == n - 1) Step(commit, db);
    }
    sqlite3_finalize(ins);
    sqlite3_finalize(begin);
    sqlite3_finalize(commit);
    sqlite3_close(db);
  }
  RemoveDb(path);
  State.SetItemsProcessed(State.iterations() * n);
}

// --- walk -------------------------------------------------------------------

void BM_Corvid_Walk(benchmark::State& State) {
  const int count = static_cast<int>(State.range(0));
  TObjectDatabase db(GetOdbDriverClass("SQLite"), FilledDb(count));
  db.Open("", "", "");
  TObjectFile file(db, "Items", TBenchMapping::StaticClass());
  file.Open();
  for (auto _ : State) {
    std::int64_t sum = 0, n = 0;
    for (bool more = file.FindFirst(); more; more = file.FindNext()) {
      sum += static_cast<TBenchItem*>(file.GetCurrentObj())->Code;
      ++n;
    }
    if (n != count) State.SkipWithError("walk missed records");
    benchmark::DoNotOptimize(sum);
  }
  State.SetItemsProcessed(State.iterations() * count);
}

void BM_Raw_Walk(benchmark::State& State) {
  const int count = static_cast<int>(State.range(0));
  sqlite3* db = RawOpen(FilledDb(count), false);
  sqlite3_stmt* s = Prepare(db, "select \"Object\" from \"Items\" order by \"Code\"");
  std::unique_ptr<TBenchItem> current;
  for (auto _ : State) {
    std::int64_t sum = 0, n = 0;
    while (sqlite3_step(s) == SQLITE_ROW) {
      current = UnpackItem(sqlite3_column_blob(s, 0), sqlite3_column_bytes(s, 0));
      sum += current->Code;
      ++n;
    }
    sqlite3_reset(s);
    if (n != count) State.SkipWithError("walk missed records");
    benchmark::DoNotOptimize(sum);
  }
  sqlite3_finalize(s);
  sqlite3_close(db);
  State.SetItemsProcessed(State.iterations() * count);
}

// --- find -------------------------------------------------------------------

void BM_Corvid_Find(benchmark::State& State) {
  const int count = static_cast<int>(State.range(0));
  TObjectDatabase db(GetOdbDriverClass("SQLite"), FilledDb(count));
  db.Open("", "", "");
  TObjectFile file(db, "Items", TBenchMapping::StaticClass());
  file.Open();
  file.SetIndexName("ByCode");
  TBenchItem key;
  for (auto _ : State) {
    std::int64_t found = 0;
    for (std::int32_t code : Data(count).FindOrder) {
      key.Code = code;
      file.SetCurrentObj(&key);
      if (file.FindExact() && static_cast<TBenchItem*>(file.GetCurrentObj())->Code == code) {
        ++found;
      }
    }
    if (found != count) State.SkipWithError("find missed records");
  }
  State.SetItemsProcessed(State.iterations() * count);
}

void BM_Raw_Find(benchmark::State& State) {
  const int count = static_cast<int>(State.range(0));
  sqlite3* db = RawOpen(FilledDb(count), false);
  sqlite3_stmt* s = Prepare(db, "select \"Object\" from \"Items\" where \"Code\" = ?1");
  std::unique_ptr<TBenchItem> current;
  for (auto _ : State) {
    std::int64_t found = 0;
    for (std::int32_t code : Data(count).FindOrder) {
      sqlite3_bind_int(s, 1, code);
      if (sqlite3_step(s) == SQLITE_ROW) {
        current = UnpackItem(sqlite3_column_blob(s, 0), sqlite3_column_bytes(s, 0));
        if (current->Code == code) ++found;
      }
      sqlite3_reset(s);
    }
    if (found != count) State.SkipWithError("find missed records");
  }
  sqlite3_finalize(s);
  sqlite3_close(db);
  State.SetItemsProcessed(State.iterations() * count);
}

// Sizes: 10k and 100k always; 1M on request.
void Sizes(benchmark::internal::Benchmark* B) {
  B->Arg(10000)->Arg(100000);
  if (std::getenv("CORVID_BENCH_1M") != nullptr) B->Arg(1000000);
}

BENCHMARK(BM_Raw_Insert)->Apply(Sizes)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Corvid_Insert)->Apply(Sizes)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Raw_Walk)->Apply(Sizes)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Corvid_Walk)->Apply(Sizes)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Raw_Find)->Apply(Sizes)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Corvid_Find)->Apply(Sizes)->Unit(benchmark::kMillisecond)->Iterations(1);

using benchreport::Median;
using benchreport::TRatioReporter;

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  {
    const std::string probe = TempPath("pragmas.db");
    RemoveDb(probe);
    sqlite3* db = RawOpen(probe, true);
    std::printf(
        "SQLite %s: journal_mode=%s, synchronous=%s (2 = full), %d inserts per transaction\n",
        sqlite3_libversion(), PragmaText(db, "pragma journal_mode").c_str(),
        PragmaText(db, "pragma synchronous").c_str(), kPerTransaction);
    sqlite3_close(db);
    RemoveDb(probe);
  }
  Schema();  // fills the 10k file once, outside any measurement
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf("\nCorvid object file on SQLite / lean raw sqlite3, CPU time (goal in brackets):\n");
  std::printf("  %-8s %9s %12s %12s %8s %8s\n", "work", "objects", "raw ms", "corvid ms", "min",
              "median");
  const std::vector<std::pair<std::string, std::string>> work = {
      {"Insert", "1.15"}, {"Walk", "1.5"}, {"Find", "1.2"}};
  for (const auto& [name, goal] : work) {
    for (const auto& [key, raw] : reporter.All()) {
      const std::string prefix = "BM_Raw_" + name + "/";
      if (key.rfind(prefix, 0) != 0) continue;
      const std::string size = key.substr(prefix.size());
      const auto odb = reporter.All().find("BM_Corvid_" + name + "/" + size);
      if (odb == reporter.All().end()) continue;
      const double rawMin = *std::min_element(raw.begin(), raw.end());
      const double odbMin = *std::min_element(odb->second.begin(), odb->second.end());
      std::printf("  %-8s %9s %12.1f %12.1f %8.2f %8.2f  [%s]\n", name.c_str(), size.c_str(),
                  rawMin, odbMin, odbMin / rawMin, Median(odb->second) / Median(raw), goal.c_str());
    }
  }
  std::fflush(stdout);
  for (const auto& p : {10000, 100000, 1000000})
    RemoveDb(TempPath("filled-" + std::to_string(p) + ".db"));
  benchmark::Shutdown();
  return 0;
}
