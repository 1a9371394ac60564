// The object database on PostgreSQL against raw libpq on the same tables.
//
// Work measured, each side on its own connection to the same server:
//   Insert  one object per iteration. Corvid: SetCurrentObj + Insert through
//           an object file (the object is cloned, streamed, and the driver
//           inserts with an empty image and then updates it, as it does for
//           every mapping with an auto-increment field). Raw: one
//           parameterised insert of the same columns and an image of the
//           same size, returning the assigned number.
//   Walk    all kRows objects along the case-insensitive name index per
//           iteration. Corvid: FindFirst/FindNext, each a keyset query whose
//           row is read back into a new object. Raw: one ordered select of
//           the images, every row touched.
//   Find    one object by its unique code per iteration. Corvid:
//           SetCurrentObj(key) + FindExact on ByCode, the object read back.
//           Raw: one parameterised select by code.
// The server is the one of scripts/pg-test-server.sh (CORVID_PG_* in the
// environment); a database of its own is created and dropped. The machine
// is shared and the server does much of the work, so the ratios are of real
// (wall-clock) time.
#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "odb/Odb.h"
#include "persist/ObjPerst.h"

namespace {

using namespace corvid;

constexpr int kRows = 2000;

class TBenchItem : public TObject {
  CORVID_CLASS(TBenchItem, ::corvid::TObject)
 public:
  TBenchItem() = default;
  TBenchItem(std::string AName, std::int32_t ACode, double AWeight)
      : Name(std::move(AName)), Code(ACode), Weight(AWeight) {}
  std::string Name;
  std::int32_t Code = 0;
  double Weight = 0;
  std::int32_t Id = 0;
};

void WriteBenchItem(TObject* Obj, TObjectWriter& W) {
  const auto& i = static_cast<const TBenchItem&>(*Obj);
  W.WriteString(i.Name);
  W.WriteInteger(i.Code);
  W.WriteFloat(i.Weight);
  W.WriteInteger(i.Id);
}

void ReadBenchItem(TObject* Obj, TObjectReader& R) {
  auto& i = static_cast<TBenchItem&>(*Obj);
  i.Name = R.ReadString();
  i.Code = R.ReadInteger();
  i.Weight = static_cast<double>(R.ReadFloat());
  i.Id = R.ReadInteger();
}

const bool registered = [] {
  RegisterStreamable(TBenchItem::StaticClass(), {ReadBenchItem}, {WriteBenchItem});
  return true;
}();

class TBenchMapping : public TORMapping {
  CORVID_CLASS(TBenchMapping, ::corvid::TORMapping)
 public:
  TClass GetObjectType() const override { return TBenchItem::StaticClass(); }
  void DefineFields() override {
    AddField("Name", oftString, 41);
    AddField("Code", oftInteger);
    AddField("Weight", oftFloat);
    AddField("Id", oftAutoInc);
  }
  void DefineIndices() override {
    AddIndex("ById", {iaPrimary}, {"Id"});
    AddIndex("ByName", {iaCaseInsensitive}, {"Name"});
    AddIndex("ByCode", {iaUnique}, {"Code"});
  }
  void UpdateFieldsFromObj(const TObject* Obj) override {
    const auto& i = static_cast<const TBenchItem&>(*Obj);
    FieldByName("Name")->SetAsString(i.Name);
    FieldByName("Code")->SetAsInteger(i.Code);
    FieldByName("Weight")->SetAsFloat(i.Weight);
    FieldByName("Id")->SetAsInteger(i.Id);
  }
  void UpdateObjFromFields(TObject* Obj) override {
    static_cast<TBenchItem&>(*Obj).Id = FieldByName("Id")->GetAsInteger();
  }
};

std::string Env(const char* Name) {
  const char* v = std::getenv(Name);
  return v ? std::string(v) : std::string();
}

std::string ItemName(int I) {
  return (I % 2 ? "Item " : "item ") + std::to_string(I * 7919 % 100003);
}

PGconn* RawConnect(const std::string& Database) {
  const std::string host = Env("CORVID_PG_HOST"), port = Env("CORVID_PG_PORT"),
                    user = Env("CORVID_PG_USER"), password = Env("CORVID_PG_PASSWORD");
  const char* keys[] = {"host", "port", "user", "password", "dbname", nullptr};
  const char* values[] = {host.c_str(),     port.c_str(),     user.c_str(),
                          password.c_str(), Database.c_str(), nullptr};
  PGconn* conn = PQconnectdbParams(keys, values, 0);
  PQsetNoticeProcessor(
      conn, [](void*, const char*) {}, nullptr);
  return conn;
}

bool RawCommand(PGconn* Conn, const std::string& Sql) {
  PGresult* r = PQexec(Conn, Sql.c_str());
  const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
  if (!ok) std::fprintf(stderr, "%s: %s", Sql.c_str(), PQresultErrorMessage(r));
  PQclear(r);
  return ok;
}

// The bench database, its Corvid side and its raw side; made on first use.
struct TBenchEnv {
  std::string error;
  std::string name;
  std::unique_ptr<TObjectDatabase> db;
  std::unique_ptr<TObjectFile> walkFile;    // WalkFind, kRows items
  std::unique_ptr<TObjectFile> insertFile;  // InsCorvid
  PGconn* raw = nullptr;
  std::string image;  // an image of a typical item, for the raw inserts

  TBenchEnv() {
    if (Env("CORVID_PG_HOST").empty() || Env("CORVID_PG_DATABASE").empty()) {
      error = "no server: start one with scripts/pg-test-server.sh and eval its output";
      return;
    }
    name = "corvid_bench_" + std::to_string(getpid());
    PGconn* admin = RawConnect(Env("CORVID_PG_DATABASE"));
    const bool made = PQstatus(admin) == CONNECTION_OK &&
                      RawCommand(admin, "drop database if exists " + name) &&
                      RawCommand(admin, "create database " + name);
    PQfinish(admin);
    if (!made) {
      error = "could not create the bench database";
      return;
    }
    db = std::make_unique<TObjectDatabase>(GetOdbDriverClass("PostgreSQL"), name);
    db->Open(Env("CORVID_PG_HOST") + ":" + Env("CORVID_PG_PORT"), Env("CORVID_PG_USER"),
             Env("CORVID_PG_PASSWORD"));
    for (const char* table : {"WalkFind", "InsCorvid", "InsRaw"}) {
      TObjectFile f(*db, table, TBenchMapping::StaticClass());
      f.CreateFile();
    }
    walkFile = std::make_unique<TObjectFile>(*db, "WalkFind", TBenchMapping::StaticClass());
    walkFile->Open();
    db->StartTransaction();
    for (int i = 0; i < kRows; ++i) {
      TBenchItem item(ItemName(i), i, i * 0.5);
      walkFile->SetCurrentObj(&item);
      walkFile->Insert();
    }
    db->Commit();
    insertFile = std::make_unique<TObjectFile>(*db, "InsCorvid", TBenchMapping::StaticClass());
    insertFile->Open();

    TMemoryStream* memory = new TMemoryStream;
    TObjectStream stream(memory);
    TBenchItem typical(ItemName(12345), 12345, 1.5);
    stream.WriteObject(&typical);
    image.assign(memory->View());

    raw = RawConnect(name);
    if (PQstatus(raw) != CONNECTION_OK) error = PQerrorMessage(raw);
    RawCommand(raw, "analyze");
  }

  ~TBenchEnv() {
    if (raw != nullptr) PQfinish(raw);
    insertFile.reset();
    walkFile.reset();
    db.reset();
    if (!name.empty()) {
      PGconn* admin = RawConnect(Env("CORVID_PG_DATABASE"));
      RawCommand(admin, "drop database if exists " + name + " with (force)");
      PQfinish(admin);
    }
  }
};

TBenchEnv& Bench() {
  static TBenchEnv env;
  return env;
}

// --- Insert --------------------------------------------------------------------

void CorvidInsert(benchmark::State& State) {
  TBenchEnv& env = Bench();
  if (!env.error.empty()) return State.SkipWithError(env.error.c_str());
  static int i = 1000000;
  for (auto _ : State) {
    TBenchItem item(ItemName(i), i, i * 0.25);
    env.insertFile->SetCurrentObj(&item);
    env.insertFile->Insert();
    ++i;
  }
}

void RawInsert(benchmark::State& State) {
  TBenchEnv& env = Bench();
  if (!env.error.empty()) return State.SkipWithError(env.error.c_str());
  static int i = 1000000;
  for (auto _ : State) {
    const std::string name = ItemName(i), code = std::to_string(i),
                      weight = std::to_string(i * 0.25);
    const char* values[] = {name.c_str(), code.c_str(), weight.c_str(), env.image.data()};
    const int lengths[] = {0, 0, 0, static_cast<int>(env.image.size())};
    const int formats[] = {0, 0, 0, 1};
    PGresult* r = PQexecParams(env.raw,
                               "insert into insraw (name, code, weight, object) values "
                               "($1, $2, $3, $4) returning id",
                               4, nullptr, values, lengths, formats, 0);
    if (PQresultStatus(r) != PGRES_TUPLES_OK) State.SkipWithError(PQresultErrorMessage(r));
    benchmark::DoNotOptimize(PQgetvalue(r, 0, 0));
    PQclear(r);
    ++i;
  }
}

// --- Walk ----------------------------------------------------------------------

void CorvidWalk(benchmark::State& State) {
  TBenchEnv& env = Bench();
  if (!env.error.empty()) return State.SkipWithError(env.error.c_str());
  env.walkFile->SetIndexName("ByName");
  for (auto _ : State) {
    int n = 0;
    for (bool ok = env.walkFile->FindFirst(); ok; ok = env.walkFile->FindNext()) ++n;
    if (n != kRows) State.SkipWithError("walk missed rows");
  }
  State.SetItemsProcessed(State.iterations() * kRows);
}

void RawWalk(benchmark::State& State) {
  TBenchEnv& env = Bench();
  if (!env.error.empty()) return State.SkipWithError(env.error.c_str());
  for (auto _ : State) {
    PGresult* r = PQexecParams(env.raw,
                               "select object from walkfind order by lower(name) collate \"C\", "
                               "odb_rowid",
                               0, nullptr, nullptr, nullptr, nullptr, 1);
    std::size_t bytes = 0;
    for (int row = 0; row < PQntuples(r); ++row) bytes += PQgetlength(r, row, 0);
    if (PQntuples(r) != kRows) State.SkipWithError("walk missed rows");
    benchmark::DoNotOptimize(bytes);
    PQclear(r);
  }
  State.SetItemsProcessed(State.iterations() * kRows);
}

// --- Find ----------------------------------------------------------------------

void CorvidFind(benchmark::State& State) {
  TBenchEnv& env = Bench();
  if (!env.error.empty()) return State.SkipWithError(env.error.c_str());
  env.walkFile->SetIndexName("ByCode");
  std::mt19937 gen(7);
  std::uniform_int_distribution<int> dist(0, kRows - 1);
  for (auto _ : State) {
    TBenchItem key(std::string(), dist(gen), 0);
    env.walkFile->SetCurrentObj(&key);
    if (!env.walkFile->FindExact()) State.SkipWithError("not found");
  }
}

void RawFind(benchmark::State& State) {
  TBenchEnv& env = Bench();
  if (!env.error.empty()) return State.SkipWithError(env.error.c_str());
  std::mt19937 gen(7);
  std::uniform_int_distribution<int> dist(0, kRows - 1);
  for (auto _ : State) {
    const std::string code = std::to_string(dist(gen));
    const char* values[] = {code.c_str()};
    PGresult* r = PQexecParams(env.raw, "select object from walkfind where code = $1", 1, nullptr,
                               values, nullptr, nullptr, 1);
    if (PQntuples(r) != 1) State.SkipWithError("not found");
    benchmark::DoNotOptimize(PQgetvalue(r, 0, 0));
    PQclear(r);
  }
}

BENCHMARK(CorvidInsert)->Unit(benchmark::kMicrosecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(RawInsert)->Unit(benchmark::kMicrosecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(CorvidWalk)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(RawWalk)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(CorvidFind)->Unit(benchmark::kMicrosecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(RawFind)->Unit(benchmark::kMicrosecond)->MinTime(2.0)->UseRealTime();

// Console output as usual, and the mean real time per iteration of each
// run kept by name for the ratios printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& Reports) override {
    for (const Run& run : Reports) {
      if (!run.error_occurred && run.run_type == Run::RT_Iteration) {
        real[run.run_name.function_name] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(Reports);
  }
  std::map<std::string, double> real;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* work : {"Insert", "Walk", "Find"}) {
    const auto corvid = reporter.real.find(std::string("Corvid") + work);
    const auto raw = reporter.real.find(std::string("Raw") + work);
    if (corvid == reporter.real.end() || raw == reporter.real.end() || raw->second <= 0) continue;
    std::printf("ratio Corvid / raw libpq, %s (%d rows): real %.1f\n", work, kRows,
                corvid->second / raw->second);
  }
  benchmark::Shutdown();
  return 0;
}
