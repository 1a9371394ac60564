// The object database on PostgreSQL against the lean libpq program a
// careful engineer would write for the same result: prepared statements and
// binary results on both sides, and the same round trips to the server.
//
// Work measured, each side on its own connection to the same server:
//   Insert  one object per iteration, 3 round trips each side. Corvid:
//           SetCurrentObj + Insert through an object file; the driver
//           inserts with an empty image (begin and insert in one pipelined
//           round trip, the insert returning the assigned number and the
//           new position), updates the image (guarded by the record's lock
//           key, and only while the fields are still those inserted), then
//           commits. Raw: begin and a prepared insert returning the number
//           in one pipelined round trip, a prepared update of the image
//           packed by hand with that number in it, then commit.
//   Walk    all kRows objects along the case-insensitive name index per
//           iteration, 38 round trips each side. Corvid: FindFirst/FindNext,
//           each row read back into a new object; the driver reads the first
//           row, then pages of 2, 4, ... 64 rows beyond the last key read.
//           Raw: the same keyset pages (prepared, the key bound in binary
//           from the last row of the page before), every row decoded by a
//           hand-packed reader into a new object.
//   Find    one object by its unique code per iteration, 1 round trip each
//           side. Corvid: SetCurrentObj(key) + FindExact on ByCode, the
//           object read back. Raw: one prepared select of the image by
//           code, decoded.
// The server is the one of scripts/pg-test-server.sh (CORVID_PG_* in the
// environment); a database of its own is created and dropped. The server
// does much of the work outside this process, so both the real-time and the
// client CPU-time ratios Corvid / raw (medians of the repetitions) are
// printed last.
#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchImage.h"
#include "bench/BenchReport.h"
#include "corvid/odb/Odb.h"
#include "corvid/persist/ObjPerst.h"

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

// SetCurrentObj's copy: member-wise, as the class allows it.
void CopyBenchItem(const TObject* Source, TObject* Dest) {
  *static_cast<TBenchItem*>(Dest) = *static_cast<const TBenchItem*>(Source);
}

const bool registered = [] {
  RegisterStreamable(TBenchItem::StaticClass(), {ReadBenchItem}, {WriteBenchItem});
  SetCopyProc(TBenchItem::StaticClass(), CopyBenchItem);
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

void RawPrepare(PGconn* Conn, const char* Name, const char* Sql) {
  PGresult* r = PQprepare(Conn, Name, Sql, 0, nullptr);
  if (PQresultStatus(r) != PGRES_COMMAND_OK) {
    std::fprintf(stderr, "%s: %s", Sql, PQresultErrorMessage(r));
    std::abort();
  }
  PQclear(r);
}

void PackItem(const TBenchItem& Item, std::string& Out) {
  Out.assign(benchimage::HeaderOf<TBenchItem>());
  benchimage::PutString(Out, Item.Name);
  benchimage::PutInt(Out, Item.Code);
  benchimage::PutFloat(Out, Item.Weight);
  benchimage::PutInt(Out, Item.Id);
}

std::unique_ptr<TBenchItem> UnpackItem(const char* Data, int Size) {
  benchimage::TReader r(Data, Size, benchimage::HeaderOf<TBenchItem>());
  auto item = std::make_unique<TBenchItem>();
  r.String(item->Name);
  item->Code = r.Int();
  item->Weight = r.Float();
  item->Id = r.Int();
  return item;
}

// A statement's result in pipeline mode, and the null that ends it.
PGresult* PipelineResult(PGconn* Conn) {
  PGresult* r = PQgetResult(Conn);
  PQclear(PQgetResult(Conn));
  return r;
}

// Network byte order for the binary parameters.
std::uint32_t BigEndian(std::int32_t V) {
  const auto u = static_cast<std::uint32_t>(V);
  return (u >> 24) | ((u >> 8) & 0xFF00u) | ((u << 8) & 0xFF0000u) | (u << 24);
}

// The bench database, its Corvid side and its raw side; made on first use.
struct TBenchEnv {
  std::string error;
  std::string name;
  std::unique_ptr<TObjectDatabase> db;
  std::unique_ptr<TObjectFile> walkFile;    // WalkFind, kRows items
  std::unique_ptr<TObjectFile> insertFile;  // InsCorvid
  PGconn* raw = nullptr;

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

    // The hand-packed image must be what the object stream writes.
    {
      TMemoryStream memory;
      TObjectStream stream(&memory, false);
      TBenchItem typical(ItemName(12345), 12345, 1.5);
      typical.Id = 77;
      stream.WriteObject(&typical);
      std::string packed;
      PackItem(typical, packed);
      if (memory.View() != packed) benchimage::BadImage();
    }

    raw = RawConnect(name);
    if (PQstatus(raw) != CONNECTION_OK) {
      error = PQerrorMessage(raw);
      return;
    }
    RawCommand(raw, "analyze");
    RawPrepare(raw, "ins",
               "insert into insraw (name, code, weight, object) values ($1, $2, $3, '') "
               "returning id");
    RawPrepare(raw, "img", "update insraw set object = $2 where id = $1");
    RawPrepare(raw, "begin", "begin");
    RawPrepare(raw, "commit", "commit");
    RawPrepare(raw, "walkfirst",
               "select odb_rowid, lower(name) collate \"C\", object from walkfind "
               "order by lower(name) collate \"C\", odb_rowid limit 1");
    RawPrepare(raw, "walknext",
               "select odb_rowid, lower(name) collate \"C\", object from walkfind "
               "where (lower(name) collate \"C\", odb_rowid) > ($2, $1) "
               "order by lower(name) collate \"C\", odb_rowid limit $3::int4");
    RawPrepare(raw, "find", "select object from walkfind where code = $1");
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
  std::string image;
  for (auto _ : State) {
    TBenchItem item(ItemName(i), i, i * 0.25);
    const std::string code = std::to_string(item.Code), weight = std::to_string(item.Weight);
    const char* values[] = {item.Name.c_str(), code.c_str(), weight.c_str()};
    // One transaction around both statements, as the driver does: one
    // commit (and one flush to disk) per object. Begin and insert go in one
    // round trip.
    PQenterPipelineMode(env.raw);
    PQsendQueryPrepared(env.raw, "begin", 0, nullptr, nullptr, nullptr, 0);
    PQsendQueryPrepared(env.raw, "ins", 3, values, nullptr, nullptr, 1);
    PQpipelineSync(env.raw);
    PGresult* r = PipelineResult(env.raw);
    PQclear(r);
    r = PipelineResult(env.raw);
    PQclear(PQgetResult(env.raw));  // the sync
    PQexitPipelineMode(env.raw);
    if (PQresultStatus(r) != PGRES_TUPLES_OK || PQgetlength(r, 0, 0) != 4) {
      State.SkipWithError(PQresultErrorMessage(r));
      PQclear(r);
      break;
    }
    std::uint32_t id;
    std::memcpy(&id, PQgetvalue(r, 0, 0), 4);
    PQclear(r);
    item.Id = static_cast<std::int32_t>(BigEndian(static_cast<std::int32_t>(id)));
    PackItem(item, image);
    const char* imageValues[] = {reinterpret_cast<const char*>(&id), image.data()};
    const int lengths[] = {4, static_cast<int>(image.size())};
    const int formats[] = {1, 1};
    r = PQexecPrepared(env.raw, "img", 2, imageValues, lengths, formats, 1);
    if (PQresultStatus(r) != PGRES_COMMAND_OK) State.SkipWithError(PQresultErrorMessage(r));
    PQclear(r);
    r = PQexecPrepared(env.raw, "commit", 0, nullptr, nullptr, nullptr, 0);
    if (PQresultStatus(r) != PGRES_COMMAND_OK) State.SkipWithError(PQresultErrorMessage(r));
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
  std::unique_ptr<TBenchItem> current;
  std::string rowId, name;
  for (auto _ : State) {
    // The first row, then pages of 2, 4, ... 64 rows beyond the last key
    // read (the odb_rowid and the lower-cased name, bound in binary as the
    // server returned them).
    PGresult* r = PQexecPrepared(env.raw, "walkfirst", 0, nullptr, nullptr, nullptr, 1);
    std::int64_t sum = 0;
    int n = 0;
    for (int page = 1; PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0;) {
      const int rows = PQntuples(r);
      for (int row = 0; row < rows; ++row) {
        current = UnpackItem(PQgetvalue(r, row, 2), PQgetlength(r, row, 2));
        sum += current->Code;
      }
      n += rows;
      rowId.assign(PQgetvalue(r, rows - 1, 0), PQgetlength(r, rows - 1, 0));
      name.assign(PQgetvalue(r, rows - 1, 1), PQgetlength(r, rows - 1, 1));
      PQclear(r);
      page = page < 64 ? page * 2 : 64;
      const std::uint32_t limit = BigEndian(page);
      const char* values[] = {rowId.data(), name.data(), reinterpret_cast<const char*>(&limit)};
      const int lengths[] = {static_cast<int>(rowId.size()), static_cast<int>(name.size()), 4};
      const int formats[] = {1, 1, 1};
      r = PQexecPrepared(env.raw, "walknext", 3, values, lengths, formats, 1);
    }
    PQclear(r);
    if (n != kRows) State.SkipWithError("walk missed rows");
    benchmark::DoNotOptimize(sum);
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
  std::unique_ptr<TBenchItem> current;
  for (auto _ : State) {
    const std::int32_t code = dist(gen);
    const std::uint32_t param = BigEndian(code);
    const char* values[] = {reinterpret_cast<const char*>(&param)};
    const int lengths[] = {4};
    const int formats[] = {1};
    PGresult* r = PQexecPrepared(env.raw, "find", 1, values, lengths, formats, 1);
    if (PQntuples(r) != 1) {
      State.SkipWithError("not found");
    } else {
      current = UnpackItem(PQgetvalue(r, 0, 0), PQgetlength(r, 0, 0));
      if (current->Code != code) State.SkipWithError("found the wrong row");
    }
    PQclear(r);
  }
}

BENCHMARK(CorvidInsert)->Unit(benchmark::kMicrosecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(RawInsert)->Unit(benchmark::kMicrosecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(CorvidWalk)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(RawWalk)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(CorvidFind)->Unit(benchmark::kMicrosecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(RawFind)->Unit(benchmark::kMicrosecond)->MinTime(2.0)->UseRealTime();

using benchreport::Median;
using benchreport::TRatioReporter;

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // The database is made before any benchmark runs, so that no profile of
  // one benchmark (callgrind --toggle-collect) holds the setup.
  Bench();
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  // Corvid divided by the raw baseline, from the medians of the repetitions.
  for (const char* work : {"Insert", "Walk", "Find"}) {
    const std::string corvid = std::string("Corvid") + work, raw = std::string("Raw") + work;
    if (reporter.Real(corvid) == nullptr || reporter.Real(raw) == nullptr) continue;
    std::printf(
        "Corvid / raw libpq, %-6s (%d rows in the walked table): real %.2f   client CPU %.2f\n",
        work, kRows, Median(*reporter.Real(corvid)) / Median(*reporter.Real(raw)),
        Median(*reporter.Cpu(corvid)) / Median(*reporter.Cpu(raw)));
  }
  benchmark::Shutdown();
  return 0;
}
