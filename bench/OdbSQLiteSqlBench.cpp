// SQL access on SQLite (queries and update objects) against the lean raw
// sqlite3 program for the same result, on the same table (schema copied
// from a file Corvid made).
//
// Work measured, each side on its own in-memory database:
//   Insert  one object per iteration. Corvid: TObjectUpdate::Insert. Raw:
//           one prepared insert of the same columns and the image packed by
//           hand from the object (byte for byte what TObjectStream writes;
//           checked at the start).
//   Update  one stored object per iteration, by primary key, in the same
//           way as Insert.
//   Search  one object by primary key per iteration. Corvid:
//           TObjectQuery::Search, the row read back into a new object. Raw:
//           one prepared select of the image by key, decoded by a
//           hand-packed reader into a new object.
// Each table holds kRows objects before Update and Search run. The ratios
// Corvid / raw of CPU time are printed last (above 1: Corvid is slower).
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

#include "bench/BenchImage.h"
#include "bench/BenchReport.h"
#include "corvid/drivers/sqlite/SQLiteDriver.h"
#include "corvid/odb/Odb.h"
#include "corvid/persist/ObjPerst.h"
#include "corvid/persist/Streams.h"

namespace {

using namespace corvid;

constexpr int kRows = 2000;

class TBenchPerson : public TObject {
  CORVID_CLASS(TBenchPerson, ::corvid::TObject)
 public:
  TBenchPerson() = default;
  TBenchPerson(std::string AName, std::int32_t AAge, double AWeight, std::int32_t AId)
      : Name(std::move(AName)), Age(AAge), Weight(AWeight), Id(AId) {}
  std::string Name;
  std::int32_t Age = 0;
  double Weight = 0;
  std::int32_t Id = 0;
};

void WriteBenchPerson(TObject* Obj, TObjectWriter& W) {
  const auto& p = static_cast<const TBenchPerson&>(*Obj);
  W.WriteString(p.Name);
  W.WriteInteger(p.Age);
  W.WriteFloat(p.Weight);
  W.WriteInteger(p.Id);
}

void ReadBenchPerson(TObject* Obj, TObjectReader& R) {
  auto& p = static_cast<TBenchPerson&>(*Obj);
  p.Name = R.ReadString();
  p.Age = R.ReadInteger();
  p.Weight = static_cast<double>(R.ReadFloat());
  p.Id = R.ReadInteger();
}

const bool registered = [] {
  RegisterStreamable(TBenchPerson::StaticClass(), {ReadBenchPerson}, {WriteBenchPerson});
  return true;
}();

class TBenchMapping : public TORMapping {
  CORVID_CLASS(TBenchMapping, ::corvid::TORMapping)
 public:
  TClass GetObjectType() const override { return TBenchPerson::StaticClass(); }
  void DefineFields() override {
    AddField("Name", oftString, 31);
    AddField("Age", oftInteger);
    AddField("Weight", oftFloat);
    AddField("Id", oftInteger);
  }
  void DefineIndices() override { AddIndex("ById", {iaPrimary}, {"Id"}); }
  void UpdateFieldsFromObj(const TObject* Obj) override {
    const auto& p = static_cast<const TBenchPerson&>(*Obj);
    FieldByName("Name")->SetAsString(p.Name);
    FieldByName("Age")->SetAsInteger(p.Age);
    FieldByName("Weight")->SetAsFloat(p.Weight);
    FieldByName("Id")->SetAsInteger(p.Id);
  }
};

TBenchPerson Person(int I) {
  return TBenchPerson("Person " + std::to_string(I), I % 90, I * 0.5, I);
}

// A Corvid database with the table Persons holding Rows objects.
struct TCorvidSide {
  explicit TCorvidSide(int Rows) : db(TSQLiteDriver::StaticClass(), ":memory:") {
    db.Open("", "", "");
    {
      TObjectFile file(db, "Persons", TBenchMapping::StaticClass());
      file.CreateFile();
    }
    update = std::make_unique<TObjectUpdate>(db, "Persons", TBenchMapping::StaticClass());
    query = std::make_unique<TObjectQuery>(db, "Persons", TBenchMapping::StaticClass());
    for (int i = 1; i <= Rows; ++i) {
      const TBenchPerson p = Person(i);
      update->Insert(&p);
    }
  }
  ~TCorvidSide() {
    query.reset();
    update.reset();
  }
  TObjectDatabase db;
  std::unique_ptr<TObjectUpdate> update;
  std::unique_ptr<TObjectQuery> query;
};

void PackPerson(const TBenchPerson& P, std::string& Out) {
  Out.assign(benchimage::HeaderOf<TBenchPerson>());
  benchimage::PutString(Out, P.Name);
  benchimage::PutInt(Out, P.Age);
  benchimage::PutFloat(Out, P.Weight);
  benchimage::PutInt(Out, P.Id);
}

std::unique_ptr<TBenchPerson> UnpackPerson(const void* Data, int Size) {
  benchimage::TReader r(Data, Size, benchimage::HeaderOf<TBenchPerson>());
  auto p = std::make_unique<TBenchPerson>();
  r.String(p->Name);
  p->Age = r.Int();
  p->Weight = r.Float();
  p->Id = r.Int();
  return p;
}

// The table as Corvid creates it, read from a file made for the purpose;
// and a check that the hand-packed image is what the object stream writes.
const std::vector<std::string>& Schema() {
  static const std::vector<std::string> sql = [] {
    const std::string path =
        (std::filesystem::temp_directory_path() / "corvid-bench-sql-schema.db").string();
    std::filesystem::remove(path);
    {
      TObjectDatabase db(TSQLiteDriver::StaticClass(), path);
      db.Open("create", "", "");
      TObjectFile file(db, "Persons", TBenchMapping::StaticClass());
      file.CreateFile();
    }
    std::vector<std::string> out;
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db,
                       "select sql from sqlite_master where sql is not null and "
                       "(tbl_name = 'Persons' or name = 'corvid_sequence') order by rowid",
                       -1, &s, nullptr);
    while (sqlite3_step(s) == SQLITE_ROW) {
      out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    for (const char* suffix : {"", "-wal", "-shm", "-corvid.lck"}) {
      std::filesystem::remove(path + suffix);
    }

    const TBenchPerson p = Person(12345);
    TMemoryStream m;
    TObjectStream os(&m, false);
    os.WriteObject(&p);
    std::string packed;
    PackPerson(p, packed);
    if (m.View() != packed) benchimage::BadImage();
    return out;
  }();
  return sql;
}

sqlite3_stmt* Prepare(sqlite3* Db, const char* Sql) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v3(Db, Sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "%s: %s\n", Sql, sqlite3_errmsg(Db));
    std::abort();
  }
  return s;
}

struct TRawSide {
  explicit TRawSide(int Rows) {
    sqlite3_open(":memory:", &db);
    for (const std::string& sql : Schema())
      sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    insert = Prepare(db,
                     "insert into \"Persons\" (\"Name\", \"Age\", \"Weight\", \"Id\", "
                     "\"Object\") values (?1, ?2, ?3, ?4, ?5)");
    update = Prepare(db,
                     "update \"Persons\" set \"Name\" = ?1, \"Age\" = ?2, \"Weight\" = ?3, "
                     "\"Object\" = ?5 where \"Id\" = ?4");
    select = Prepare(db, "select \"Object\" from \"Persons\" where \"Id\" = ?1");
    for (int i = 1; i <= Rows; ++i) Write(insert, Person(i));
  }
  ~TRawSide() {
    sqlite3_finalize(insert);
    sqlite3_finalize(update);
    sqlite3_finalize(select);
    sqlite3_close(db);
  }
  void Write(sqlite3_stmt* S, const TBenchPerson& P) {
    PackPerson(P, image);
    sqlite3_bind_text(S, 1, P.Name.data(), static_cast<int>(P.Name.size()), SQLITE_STATIC);
    sqlite3_bind_int(S, 2, P.Age);
    sqlite3_bind_double(S, 3, P.Weight);
    sqlite3_bind_int(S, 4, P.Id);
    sqlite3_bind_blob(S, 5, image.data(), static_cast<int>(image.size()), SQLITE_STATIC);
    if (sqlite3_step(S) != SQLITE_DONE) {
      std::fprintf(stderr, "write: %s\n", sqlite3_errmsg(db));
      std::abort();
    }
    sqlite3_reset(S);
  }
  sqlite3* db = nullptr;
  sqlite3_stmt* insert = nullptr;
  sqlite3_stmt* update = nullptr;
  sqlite3_stmt* select = nullptr;
  std::string image;
};

void BM_CorvidInsert(benchmark::State& state) {
  TCorvidSide side(0);
  int id = 0;
  for (auto _ : state) {
    const TBenchPerson p = Person(++id);
    side.update->Insert(&p);
  }
}
BENCHMARK(BM_CorvidInsert);

void BM_RawInsert(benchmark::State& state) {
  TRawSide side(0);
  int id = 0;
  for (auto _ : state) side.Write(side.insert, Person(++id));
}
BENCHMARK(BM_RawInsert);

void BM_CorvidUpdate(benchmark::State& state) {
  TCorvidSide side(kRows);
  std::mt19937 rng(1);
  for (auto _ : state) {
    TBenchPerson p = Person(static_cast<int>(rng() % kRows) + 1);
    p.Age += 1;
    side.update->Update(&p);
  }
}
BENCHMARK(BM_CorvidUpdate);

void BM_RawUpdate(benchmark::State& state) {
  TRawSide side(kRows);
  std::mt19937 rng(1);
  for (auto _ : state) {
    TBenchPerson p = Person(static_cast<int>(rng() % kRows) + 1);
    p.Age += 1;
    side.Write(side.update, p);
  }
}
BENCHMARK(BM_RawUpdate);

void BM_CorvidSearch(benchmark::State& state) {
  TCorvidSide side(kRows);
  std::mt19937 rng(1);
  for (auto _ : state) {
    const int id = static_cast<int>(rng() % kRows) + 1;
    const TBenchPerson key("", 0, 0, id);
    const TObject* found = side.query->Search(&key);  // belongs to the query
    if (found == nullptr || static_cast<const TBenchPerson*>(found)->Id != id) {
      state.SkipWithError("search missed");
      break;
    }
  }
}
BENCHMARK(BM_CorvidSearch);

void BM_RawSearch(benchmark::State& state) {
  TRawSide side(kRows);
  std::mt19937 rng(1);
  for (auto _ : state) {
    const int id = static_cast<int>(rng() % kRows) + 1;
    sqlite3_bind_int(side.select, 1, id);
    std::unique_ptr<TBenchPerson> found;
    if (sqlite3_step(side.select) == SQLITE_ROW) {
      found =
          UnpackPerson(sqlite3_column_blob(side.select, 0), sqlite3_column_bytes(side.select, 0));
    }
    sqlite3_reset(side.select);
    if (!found || found->Id != id) {
      state.SkipWithError("search missed");
      break;
    }
  }
}
BENCHMARK(BM_RawSearch);

using benchreport::Min;
using benchreport::TRatioReporter;

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Schema();
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf(
      "\nCPU time per operation, best run; ratio = Corvid / lean raw sqlite3 (goal in "
      "brackets):\n");
  const std::vector<std::pair<std::string, std::string>> work = {
      {"Insert", "-"}, {"Update", "-"}, {"Search", "1.5"}};
  for (const auto& [name, goal] : work) {
    const std::vector<double>* odb = reporter.Cpu("BM_Corvid" + name);
    const std::vector<double>* raw = reporter.Cpu("BM_Raw" + name);
    if (odb == nullptr || raw == nullptr) continue;
    const double o = Min(*odb);
    const double r = Min(*raw);
    std::printf("  %-8s raw %9.2f us  corvid %9.2f us  corvid/raw %6.2f  [%s]\n", name.c_str(),
                r / 1000, o / 1000, o / r, goal.c_str());
  }
  benchmark::Shutdown();
  return 0;
}
