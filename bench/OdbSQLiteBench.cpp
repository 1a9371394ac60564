// Record access on SQLite (object files) against the raw sqlite3 API doing
// the same work on the same schema, pragmas and transaction grouping.
//
//   Insert  100,000 objects, one transaction per 1,000. Corvid: SetCurrentObj
//           and Insert on a TObjectFile (fields filled, object streamed,
//           record stored). Raw: one prepared insert of the same columns and
//           the same stream bytes (made before the clock starts).
//   Walk    all 100,000 in primary-key order. Corvid: FindFirst/FindNext,
//           each object rebuilt from its image. Raw: one select ordered by
//           the key, each image copied out.
//   Find    100,000 finds by primary key in random order. Corvid:
//           SetCurrentObj(key) and FindExact (the found object rebuilt).
//           Raw: one prepared select by key, the image copied out.
// Both sides use database files in the temporary folder, in WAL mode with
// synchronous=full (the driver's defaults). Walk and Find read the same file,
// filled once through Corvid before the measurements.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "odb/Odb.h"
#include "persist/ObjPerst.h"
#include "persist/Streams.h"

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

const bool registered = [] {
  RegisterStreamable(TBenchItem::StaticClass(), {ReadItem}, {WriteItem});
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

// The same mapping with its fields looked up once instead of by name for
// every record: shows what the by-name look-ups cost a walk.
class TBenchCachedMapping : public TBenchMapping {
  CORVID_CLASS(TBenchCachedMapping, ::odbbench::TBenchMapping)
 public:
  void UpdateFieldsFromObj(const TObject* Obj) override {
    if (code_ == nullptr) {
      code_ = FieldByName("Code");
      name_ = FieldByName("Name");
      value_ = FieldByName("Value");
    }
    auto* i = static_cast<const TBenchItem*>(Obj);
    code_->SetAsInteger(i->Code);
    name_->SetAsString(i->Name);
    value_->SetAsFloat(i->Value);
  }

 private:
  TOdbField* code_ = nullptr;
  TOdbField* name_ = nullptr;
  TOdbField* value_ = nullptr;
};

}  // namespace odbbench

namespace {

using namespace corvid;
using namespace odbbench;
namespace fs = std::filesystem;

constexpr int kCount = 100000;
constexpr int kPerTransaction = 1000;

// The objects, in insertion order (codes shuffled so that the primary index
// is not filled in order), and their stream images.
struct TData {
  std::vector<TBenchItem> Items;
  std::vector<std::string> Images;
  std::vector<std::int32_t> FindOrder;
};

const TData& Data() {
  static const TData data = [] {
    TData d;
    std::vector<std::int32_t> codes(kCount);
    for (int i = 0; i < kCount; ++i) codes[i] = i + 1;
    std::mt19937 rng(42);
    std::shuffle(codes.begin(), codes.end(), rng);
    for (int i = 0; i < kCount; ++i) {
      d.Items.emplace_back(codes[i], "name-" + std::to_string(codes[i] * 7919 % kCount),
                           codes[i] * 0.5);
      TMemoryStream image;
      TObjectStream os(&image, false);
      os.WriteObject(&d.Items.back());
      d.Images.emplace_back(image.View());
    }
    d.FindOrder = codes;
    std::shuffle(d.FindOrder.begin(), d.FindOrder.end(), rng);
    return d;
  }();
  return data;
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

// Inserts every object through an object file into a new database at Path.
void OdbInsertAll(const std::string& Path) {
  TObjectDatabase db(GetOdbDriverClass("SQLite"), Path);
  db.Open("create", "", "");
  TObjectFile file(db, "Items", TBenchMapping::StaticClass());
  file.CreateFile();
  file.Open();
  for (int i = 0; i < kCount; ++i) {
    if (i % kPerTransaction == 0) db.StartTransaction();
    file.SetCurrentObj(&Data().Items[i]);
    file.Insert();
    if (i % kPerTransaction == kPerTransaction - 1) db.Commit();
  }
}

// The filled database that Walk and Find read, and its schema text.
const std::string& FilledDb() {
  static const std::string path = [] {
    const std::string p = TempPath("filled.db");
    RemoveDb(p);
    OdbInsertAll(p);
    return p;
  }();
  return path;
}

std::vector<std::string> Schema() {
  sqlite3* db = nullptr;
  sqlite3_open(FilledDb().c_str(), &db);
  std::vector<std::string> sql;
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db,
                     "select sql from sqlite_master where sql is not null and "
                     "(tbl_name = 'Items' or name = 'corvid_sequence') order by rowid",
                     -1, &s, nullptr);
  while (sqlite3_step(s) == SQLITE_ROW) {
    sql.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
  }
  sqlite3_finalize(s);
  sqlite3_close(db);
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

// --- insert -----------------------------------------------------------------

void BM_Corvid_Insert(benchmark::State& State) {
  Data();
  const std::string path = TempPath("insert-corvid.db");
  for (auto _ : State) {
    State.PauseTiming();
    RemoveDb(path);
    State.ResumeTiming();
    OdbInsertAll(path);
  }
  RemoveDb(path);
  State.SetItemsProcessed(State.iterations() * kCount);
}

void BM_Raw_Insert(benchmark::State& State) {
  const std::vector<std::string> schema = Schema();
  const std::string path = TempPath("insert-raw.db");
  for (auto _ : State) {
    State.PauseTiming();
    RemoveDb(path);
    State.ResumeTiming();
    sqlite3* db = RawOpen(path, true);
    for (const std::string& sql : schema) Exec(db, sql);
    sqlite3_stmt* ins = nullptr;
    Check(sqlite3_prepare_v3(db,
                             "insert into \"Items\" (\"Code\", \"Name\", \"Value\", \"Object\") "
                             "values (?1, ?2, ?3, ?4)",
                             -1, SQLITE_PREPARE_PERSISTENT, &ins, nullptr),
          db, "prepare");
    for (int i = 0; i < kCount; ++i) {
      if (i % kPerTransaction == 0) Exec(db, "begin immediate");
      const TBenchItem& item = Data().Items[i];
      const std::string& image = Data().Images[i];
      sqlite3_bind_int64(ins, 1, item.Code);
      sqlite3_bind_text(ins, 2, item.Name.data(), static_cast<int>(item.Name.size()),
                        SQLITE_TRANSIENT);
      sqlite3_bind_double(ins, 3, item.Value);
      sqlite3_bind_blob(ins, 4, image.data(), static_cast<int>(image.size()), SQLITE_TRANSIENT);
      Check(sqlite3_step(ins), db, "insert");
      sqlite3_reset(ins);
      if (i % kPerTransaction == kPerTransaction - 1) Exec(db, "commit");
    }
    sqlite3_finalize(ins);
    sqlite3_close(db);
  }
  RemoveDb(path);
  State.SetItemsProcessed(State.iterations() * kCount);
}

// --- walk -------------------------------------------------------------------

void BM_Corvid_Walk(benchmark::State& State) {
  TObjectDatabase db(GetOdbDriverClass("SQLite"), FilledDb());
  db.Open("", "", "");
  TObjectFile file(db, "Items", TBenchMapping::StaticClass());
  file.Open();
  for (auto _ : State) {
    std::int64_t sum = 0, n = 0;
    for (bool more = file.FindFirst(); more; more = file.FindNext()) {
      sum += static_cast<TBenchItem*>(file.GetCurrentObj())->Code;
      ++n;
    }
    if (n != kCount) State.SkipWithError("walk missed records");
    benchmark::DoNotOptimize(sum);
  }
  State.SetItemsProcessed(State.iterations() * kCount);
}

// Where a walk's time goes: the driver alone (FindNext and the image copied
// into a memory stream), and the object file with field look-ups done once.
void BM_Corvid_WalkDriverOnly(benchmark::State& State) {
  TObjectDatabase db(GetOdbDriverClass("SQLite"), FilledDb());
  db.Open("", "", "");
  TObjectFile file(db, "Items", TBenchMapping::StaticClass());
  file.Open();
  TOdbDriver& d = *db.GetDriver();
  TMemoryStream image;
  for (auto _ : State) {
    std::int64_t n = 0;
    for (bool more = d.FindFirst(file.GetHandle()); more; more = d.FindNext(file.GetHandle())) {
      image.SetSize(0);
      d.GetCurrent(file.GetHandle(), image);
      ++n;
    }
    if (n != kCount) State.SkipWithError("walk missed records");
  }
  State.SetItemsProcessed(State.iterations() * kCount);
}

void BM_Corvid_WalkCachedFields(benchmark::State& State) {
  TObjectDatabase db(GetOdbDriverClass("SQLite"), FilledDb());
  db.Open("", "", "");
  TObjectFile file(db, "Items", TBenchCachedMapping::StaticClass());
  file.Open();
  for (auto _ : State) {
    std::int64_t sum = 0, n = 0;
    for (bool more = file.FindFirst(); more; more = file.FindNext()) {
      sum += static_cast<TBenchItem*>(file.GetCurrentObj())->Code;
      ++n;
    }
    if (n != kCount) State.SkipWithError("walk missed records");
    benchmark::DoNotOptimize(sum);
  }
  State.SetItemsProcessed(State.iterations() * kCount);
}

void BM_Raw_Walk(benchmark::State& State) {
  sqlite3* db = RawOpen(FilledDb(), false);
  sqlite3_stmt* s = nullptr;
  Check(sqlite3_prepare_v3(db,
                           "select rowid, \"Code\", \"Name\", \"Value\", \"Object\" from \"Items\" "
                           "order by \"Code\" asc, rowid asc",
                           -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr),
        db, "prepare");
  std::string image;
  for (auto _ : State) {
    std::int64_t sum = 0, n = 0;
    while (sqlite3_step(s) == SQLITE_ROW) {
      sum += sqlite3_column_int(s, 1);
      image.assign(static_cast<const char*>(sqlite3_column_blob(s, 4)),
                   static_cast<std::size_t>(sqlite3_column_bytes(s, 4)));
      sum += static_cast<std::int64_t>(image.size());
      ++n;
    }
    sqlite3_reset(s);
    if (n != kCount) State.SkipWithError("walk missed records");
    benchmark::DoNotOptimize(sum);
  }
  sqlite3_finalize(s);
  sqlite3_close(db);
  State.SetItemsProcessed(State.iterations() * kCount);
}

// --- find -------------------------------------------------------------------

void BM_Corvid_Find(benchmark::State& State) {
  TObjectDatabase db(GetOdbDriverClass("SQLite"), FilledDb());
  db.Open("", "", "");
  TObjectFile file(db, "Items", TBenchMapping::StaticClass());
  file.Open();
  file.SetIndexName("ByCode");
  TBenchItem key;
  for (auto _ : State) {
    std::int64_t found = 0;
    for (std::int32_t code : Data().FindOrder) {
      key.Code = code;
      file.SetCurrentObj(&key);
      found += file.FindExact() ? 1 : 0;
    }
    if (found != kCount) State.SkipWithError("find missed records");
  }
  State.SetItemsProcessed(State.iterations() * kCount);
}

void BM_Raw_Find(benchmark::State& State) {
  sqlite3* db = RawOpen(FilledDb(), false);
  sqlite3_stmt* s = nullptr;
  Check(sqlite3_prepare_v3(db,
                           "select rowid, \"Code\", \"Name\", \"Value\", \"Object\" from \"Items\" "
                           "where \"Code\" = ?1 order by \"Code\" asc, rowid asc limit 1",
                           -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr),
        db, "prepare");
  std::string image;
  for (auto _ : State) {
    std::int64_t found = 0;
    for (std::int32_t code : Data().FindOrder) {
      sqlite3_bind_int64(s, 1, code);
      if (sqlite3_step(s) == SQLITE_ROW) {
        image.assign(static_cast<const char*>(sqlite3_column_blob(s, 4)),
                     static_cast<std::size_t>(sqlite3_column_bytes(s, 4)));
        ++found;
      }
      sqlite3_reset(s);
    }
    if (found != kCount) State.SkipWithError("find missed records");
  }
  sqlite3_finalize(s);
  sqlite3_close(db);
  State.SetItemsProcessed(State.iterations() * kCount);
}

BENCHMARK(BM_Raw_Insert)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Corvid_Insert)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Raw_Walk)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Corvid_Walk)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Corvid_WalkDriverOnly)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Corvid_WalkCachedFields)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Raw_Find)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Corvid_Find)->Unit(benchmark::kMillisecond)->Iterations(3);

struct TTiming {
  double Real;
  double Cpu;
};

class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& Runs) override {
    ConsoleReporter::ReportRuns(Runs);
    for (const Run& r : Runs) {
      if (r.error_occurred) continue;
      times_[r.run_name.function_name] = {r.GetAdjustedRealTime(), r.GetAdjustedCPUTime()};
    }
  }
  const std::map<std::string, TTiming>& Times() const { return times_; }

 private:
  std::map<std::string, TTiming> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Data();
  FilledDb();  // filled once, outside any measurement
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nCorvid object file on SQLite, as a ratio to raw sqlite3 (goal in brackets):\n");
  const std::vector<std::pair<std::string, std::string>> work = {{"Insert", "1.3"},
                                                                 {"Walk", "2.0"},
                                                                 {"Find", "1.5"},
                                                                 {"WalkDriverOnly", "-"},
                                                                 {"WalkCachedFields", "-"}};
  for (const auto& [name, goal] : work) {
    const std::string base = name.rfind("Walk", 0) == 0 ? "Walk" : name;
    const auto raw = reporter.Times().find("BM_Raw_" + base);
    const auto odb = reporter.Times().find("BM_Corvid_" + name);
    if (raw == reporter.Times().end() || odb == reporter.Times().end()) continue;
    std::printf("  %-16s raw %9.1f ms  corvid %9.1f ms  x%.2f real (CPU x%.2f)  [%s]\n",
                name.c_str(), raw->second.Real, odb->second.Real,
                odb->second.Real / raw->second.Real, odb->second.Cpu / raw->second.Cpu,
                goal.c_str());
  }
  RemoveDb(FilledDb());
  benchmark::Shutdown();
  return 0;
}
