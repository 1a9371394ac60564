// SQL access on SQLite (queries and update objects) against raw sqlite3 on
// the same table layout.
//
// Work measured, each side on its own in-memory database:
//   Insert  one object per iteration. Corvid: TObjectUpdate::Insert (fields
//           filled, object streamed, statement prepared and run with bound
//           values). Raw: one parameterised insert, prepared once, of the
//           same columns and an image of the same size.
//   Update  one stored object per iteration, by primary key, in the same
//           way as Insert.
//   Search  one object by primary key per iteration. Corvid:
//           TObjectQuery::Search (select text built, statement prepared, the
//           row read back into a new object). Raw: one parameterised select
//           by key, prepared once, the image touched.
// Each Corvid table holds kRows objects before Update and Search run.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <memory>
#include <random>
#include <string>

#include "drivers/sqlite/SQLiteDriver.h"
#include "odb/Odb.h"
#include "persist/ObjPerst.h"
#include "persist/Streams.h"

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

// The image size of a person, so that the raw side stores as many bytes.
std::string ImageOf(const TBenchPerson& P) {
  TMemoryStream m;
  {
    TObjectStream s(&m, false);
    s.WriteObject(&P);
  }
  return std::string(m.View());
}

struct TRawSide {
  explicit TRawSide(int Rows) {
    sqlite3_open(":memory:", &db);
    sqlite3_exec(db,
                 "create table Persons (Name varchar(30), Age integer, Weight float, Id integer "
                 "not null, Object blob, primary key (Id))",
                 nullptr, nullptr, nullptr);
    sqlite3_prepare_v2(db, "insert into Persons values (?1, ?2, ?3, ?4, ?5)", -1, &insert, nullptr);
    sqlite3_prepare_v2(db,
                       "update Persons set Name = ?1, Age = ?2, Weight = ?3, Id = ?4, "
                       "Object = ?5 where Id = ?4",
                       -1, &update, nullptr);
    sqlite3_prepare_v2(db, "select * from Persons where Id = ?1", -1, &select, nullptr);
    for (int i = 1; i <= Rows; ++i) Write(insert, Person(i));
  }
  ~TRawSide() {
    sqlite3_finalize(insert);
    sqlite3_finalize(update);
    sqlite3_finalize(select);
    sqlite3_close(db);
  }
  void Write(sqlite3_stmt* S, const TBenchPerson& P) {
    const std::string image = ImageOf(P);
    sqlite3_bind_text(S, 1, P.Name.data(), static_cast<int>(P.Name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(S, 2, P.Age);
    sqlite3_bind_double(S, 3, P.Weight);
    sqlite3_bind_int64(S, 4, P.Id);
    sqlite3_bind_blob(S, 5, image.data(), static_cast<int>(image.size()), SQLITE_TRANSIENT);
    sqlite3_step(S);
    sqlite3_reset(S);
  }
  sqlite3* db = nullptr;
  sqlite3_stmt* insert = nullptr;
  sqlite3_stmt* update = nullptr;
  sqlite3_stmt* select = nullptr;
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
    const TBenchPerson key("", 0, 0, static_cast<int>(rng() % kRows) + 1);
    benchmark::DoNotOptimize(side.query->Search(&key));
  }
}
BENCHMARK(BM_CorvidSearch);

void BM_RawSearch(benchmark::State& state) {
  TRawSide side(kRows);
  std::mt19937 rng(1);
  for (auto _ : state) {
    sqlite3_bind_int64(side.select, 1, static_cast<int>(rng() % kRows) + 1);
    if (sqlite3_step(side.select) == SQLITE_ROW) {
      benchmark::DoNotOptimize(sqlite3_column_blob(side.select, 4));
    }
    sqlite3_reset(side.select);
  }
}
BENCHMARK(BM_RawSearch);

}  // namespace

BENCHMARK_MAIN();
