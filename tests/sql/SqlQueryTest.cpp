// Queries and update objects against the SQLite driver: one table for both
// access methods, Search, navigation over a select's result, hooks, and the
// failures that must come out as exceptions of their own classes.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ExpectRaises.h"
#include "SqlTestTypes.h"
#include "corvid/containers/ObjList.h"
#include "corvid/containers/ObjType.h"
#include "corvid/drivers/sqlite/SQLiteDriver.h"
#include "corvid/odb/OdbDatabase.h"
#include "corvid/odb/OdbErrors.h"
#include "corvid/odb/OdbFile.h"
#include "corvid/odb/OdbQuery.h"
#include "corvid/odb/OdbSql.h"

using corvid::test::ExpectRaises;

namespace sqltest {

// A SQLite driver that offers record access only.
class TRecordOnlyDriver : public corvid::TSQLiteDriver {
  CORVID_CLASS(TRecordOnlyDriver, ::corvid::TSQLiteDriver)
 public:
  corvid::TDataAccessMethodSet GetDataAccessMethods() const override { return {corvid::damISAM}; }
};

// The plain person keyed by its weight.
class TByWeightMapping : public TPlainPersonMapping {
  CORVID_CLASS(TByWeightMapping, ::sqltest::TPlainPersonMapping)
 public:
  void DefineIndices() override { AddIndex("ByWeight", {corvid::iaPrimary}, {"Weight"}); }
};

// A query whose BeforeOpen hook replaces the statement Search wrote.
class TRedirectedQuery : public corvid::TObjectQuery {
  CORVID_CLASS(TRedirectedQuery, ::corvid::TObjectQuery)
 public:
  using TObjectQuery::TObjectQuery;
  void BeforeOpen() override { SelectStatement().SetText("select * from Persons where Id = 2"); }
};

}  // namespace sqltest

namespace {

using namespace corvid;
using sqltest::TPerson;
using sqltest::TPersonMapping;
using sqltest::TPlainPersonMapping;
using sqltest::TTracingMapping;
using Lines = std::vector<std::string>;

class SqlAccess : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = std::make_unique<TObjectDatabase>(TSQLiteDriver::StaticClass(), ":memory:");
    db_->Open("", "", "");
  }

  TSQLiteDriver& Driver() { return static_cast<TSQLiteDriver&>(*db_->GetDriver()); }

  // Creates Persons for TPlainPersonMapping by running the builders' text.
  void CreateFromBuilders() {
    TObjectQuery query(*db_, "Persons", TPlainPersonMapping::StaticClass());
    TStringList s;
    BuildCreateTableStatement(s, query.GetMapping(), "Persons", "varchar", "integer", "float",
                              "blob");
    Driver().Exec(s.Text());
    BuildCreateIndexStatements(s, query);
    ASSERT_EQ(s.Lines(), (Lines{"create index ByAge on Persons (Age)"}));
    for (const std::string& line : s) Driver().Exec(line);
  }

  // The persons of a select, in result order, through navigation.
  std::vector<TPerson> Select(const std::string& Sql) {
    TObjectQuery query(*db_, "Persons", TPlainPersonMapping::StaticClass());
    query.SelectStatement().SetText(Sql);
    query.Open();
    std::vector<TPerson> result;
    if (!query.IsEmpty()) {
      do {
        result.push_back(static_cast<TPerson&>(*query.GetCurrentObj()));
      } while (query.FindNext());
    }
    return result;
  }

  std::unique_ptr<TObjectDatabase> db_;
};

void ExpectPerson(const TObject* Obj, const TPerson& Expected) {
  ASSERT_NE(Obj, nullptr);
  const auto& p = static_cast<const TPerson&>(*Obj);
  EXPECT_EQ(p.Name, Expected.Name);
  EXPECT_EQ(p.Age, Expected.Age);
  EXPECT_EQ(p.Weight, Expected.Weight);
  EXPECT_EQ(p.Id, Expected.Id);
}

// The builders' table serves record access and SQL access alike: objects
// stored through an object file are found by a query, objects stored by an
// update object are found by the object file.
TEST_F(SqlAccess, BuildersTableServesBothAccessMethods) {
  CreateFromBuilders();
  TObjectFile file(*db_, "Persons", TPlainPersonMapping::StaticClass());
  file.Open();
  const TPerson ann("Ann", 30, 61.5, 7), bob("Bob", 41, 80.25, 8);
  file.SetCurrentObj(&ann);
  file.Insert();
  file.SetCurrentObj(&bob);
  file.Insert();

  TObjectQuery query(*db_, "Persons", TPlainPersonMapping::StaticClass());
  const TPerson probe("", 0, 0, 8);
  ExpectPerson(query.Search(&probe), bob);
  EXPECT_FALSE(query.GetOpened());

  TObjectUpdate update(*db_, "Persons", TPlainPersonMapping::StaticClass());
  const TPerson cid("Cid", 19, 55, 9);
  update.Insert(&cid);
  EXPECT_EQ(file.GetObjectCount(), 3);
  file.SetIndexName("ById");
  file.SetCurrentObj(&probe);
  const TPerson key9("", 0, 0, 9);
  file.SetCurrentObj(&key9);
  ASSERT_TRUE(file.FindExact());
  ExpectPerson(file.GetCurrentObj(), cid);

  // A change through SQL is seen by record access, and the other way round.
  const TPerson olderAnn("Ann", 31, 60, 7);
  update.Update(&olderAnn);
  file.SetCurrentObj(&ann);
  ASSERT_TRUE(file.FindExact());
  ExpectPerson(file.GetCurrentObj(), olderAnn);
  static_cast<TPerson*>(file.GetCurrentObj())->Age = 32;
  file.Update();
  EXPECT_EQ(static_cast<TPerson*>(query.Search(&ann))->Age, 32);

  update.Delete(&bob);
  EXPECT_EQ(query.Search(&bob), nullptr);
  EXPECT_EQ(file.GetObjectCount(), 2);
}

// A table created by record access (auto-increment key, descending unique
// index) is reachable through SQL; auto-increment numbers stay unique
// between the two access methods.
TEST_F(SqlAccess, RecordAccessTableAndCounters) {
  TObjectFile file(*db_, "Persons", TPersonMapping::StaticClass());
  file.CreateFile();
  file.Open();
  TPerson ann("Ann", 30, 61.5, 0);
  file.SetCurrentObj(&ann);
  file.Insert();
  const std::int32_t annId = static_cast<TPerson*>(file.GetCurrentObj())->Id;
  ASSERT_GT(annId, 0);

  TObjectQuery query(*db_, "Persons", TPersonMapping::StaticClass());
  const TPerson probe("", 0, 0, annId);
  ExpectPerson(query.Search(&probe), TPerson("Ann", 30, 61.5, annId));

  TObjectUpdate update(*db_, "Persons", TPersonMapping::StaticClass());
  const TPerson high("High", 50, 1, annId + 100);
  update.Insert(&high);
  TPerson next("Next", 20, 2, 0);
  file.SetCurrentObj(&next);
  file.Insert();
  EXPECT_GT(static_cast<TPerson*>(file.GetCurrentObj())->Id, annId + 100);
}

TEST_F(SqlAccess, SearchLeavesWorkedExampleStatement) {
  CreateFromBuilders();
  TObjectQuery query(*db_, "Persons", TPlainPersonMapping::StaticClass());
  const TPerson key("Ann", 30, 61.5, 7);
  EXPECT_EQ(query.Search(&key), nullptr);
  EXPECT_EQ(query.SelectStatement().Lines(), (Lines{"select * from Persons", "where Id = '7'"}));
  EXPECT_FALSE(query.GetOpened());
}

// Search finds float keys exactly, under a locale whose decimal separator
// is ',' too, and also where 15 decimals do not give the stored double back.
TEST_F(SqlAccess, SearchMatchesFloatKeysExactlyUnderACommaLocale) {
  TObjectFile file(*db_, "Persons", sqltest::TByWeightMapping::StaticClass());
  file.CreateFile();
  file.Open();
  const TPerson half("Half", 1, 2.5, 1), third("Third", 2, 1.0 / 3, 2);
  file.SetCurrentObj(&half);
  file.Insert();
  file.SetCurrentObj(&third);
  file.Insert();
  TObjectQuery query(*db_, "Persons", sqltest::TByWeightMapping::StaticClass());
  ExpectPerson(query.Search(&third), third);
  const sqltest::TCommaLocale comma;
  ExpectPerson(query.Search(&half), half);
  ExpectPerson(query.Search(&third), third);
}

TEST_F(SqlAccess, SearchClosesAnOpenQueryFirst) {
  CreateFromBuilders();
  TObjectUpdate update(*db_, "Persons", TPlainPersonMapping::StaticClass());
  const TPerson a("A", 1, 1, 1), b("B", 2, 2, 2);
  update.Insert(&a);
  update.Insert(&b);
  TObjectQuery query(*db_, "Persons", TPlainPersonMapping::StaticClass());
  query.SelectStatement().SetText("select * from Persons order by Id");
  query.Open();
  ExpectPerson(query.GetCurrentObj(), a);
  const std::int32_t handle = query.GetHandle();
  ExpectPerson(query.Search(&b), b);
  EXPECT_FALSE(query.GetOpened());
  EXPECT_EQ(query.SelectStatement().Get(2), "where Id = '2'");
  // The handles of both opens are gone, whatever the driver keeps of them.
  EXPECT_THROW(Driver().FindFirst(handle), EOdbInvalidObjectFileHandle);
}

// The connection keeps prepared statements between queries: one serves a
// single open query at a time, follows changes of the table, and Search
// binds its key only to the statement it wrote.
TEST_F(SqlAccess, KeptStatementsServeOneQueryAndFollowTheTable) {
  CreateFromBuilders();
  TObjectUpdate update(*db_, "Persons", TPlainPersonMapping::StaticClass());
  const TPerson a("A", 1, 1, 1), b("B", 2, 2, 2);
  update.Insert(&a);
  update.Insert(&b);
  TObjectQuery q1(*db_, "Persons", TPlainPersonMapping::StaticClass());
  TObjectQuery q2(*db_, "Persons", TPlainPersonMapping::StaticClass());
  q1.SelectStatement().SetText("select * from Persons order by Id");
  q2.SelectStatement() = q1.SelectStatement();
  q1.Open();
  q1.Close();
  q1.Open();
  q2.Open();
  ExpectPerson(q2.GetCurrentObj(), a);
  ASSERT_TRUE(q2.FindNext());
  ExpectPerson(q2.GetCurrentObj(), b);
  ASSERT_TRUE(q1.FindNext());
  ExpectPerson(q1.GetCurrentObj(), b);
  EXPECT_FALSE(q1.FindNext());
  q1.Close();
  q2.Close();

  // The image column moves: the statement Search prepared before must not
  // read the old position.
  ExpectPerson(q1.Search(&b), b);
  Driver().Exec("drop table Persons");
  Driver().Exec(
      "create table Persons (Object blob, Id integer not null primary key, Name varchar(30), "
      "Age integer, Weight float)");
  update.Insert(&b);
  ExpectPerson(q1.Search(&b), b);
  EXPECT_EQ(q1.Search(&a), nullptr);
  Driver().Exec("drop table Persons");
  ExpectRaises<EOdbError>([&] { q1.Search(&b); }, "no such table");
  CreateFromBuilders();
  update.Insert(&b);

  sqltest::TRedirectedQuery redirected(*db_, "Persons", TPlainPersonMapping::StaticClass());
  update.Insert(&a);
  ExpectPerson(redirected.Search(&a), b);
}

TEST_F(SqlAccess, NavigationOverASelectResult) {
  CreateFromBuilders();
  TObjectUpdate update(*db_, "Persons", TPlainPersonMapping::StaticClass());
  for (int i = 1; i <= 5; ++i) {
    const TPerson p("P" + std::to_string(i), 60 - i, i * 1.5, i);
    update.Insert(&p);
  }
  TObjectQuery query(*db_, "Persons", TPlainPersonMapping::StaticClass());
  query.SelectStatement().SetText("select * from Persons\nwhere Age < 58\norder by Age");
  query.Open();
  // Ages 55, 56, 57: Ids 5, 4, 3.
  EXPECT_EQ(static_cast<TPerson*>(query.GetCurrentObj())->Id, 5);
  ASSERT_TRUE(query.FindLast());
  EXPECT_EQ(static_cast<TPerson*>(query.GetCurrentObj())->Id, 3);
  EXPECT_FALSE(query.FindNext());
  EXPECT_EQ(static_cast<TPerson*>(query.GetCurrentObj())->Id, 3);
  ASSERT_TRUE(query.FindPrior());
  EXPECT_EQ(static_cast<TPerson*>(query.GetCurrentObj())->Id, 4);
  ASSERT_TRUE(query.FindFirst());
  EXPECT_FALSE(query.FindPrior());
  EXPECT_EQ(static_cast<TPerson*>(query.GetCurrentObj())->Id, 5);
  EXPECT_FALSE(query.IsEmpty());
  query.Close();

  // A write while a query is open does not disturb its result.
  query.Open();
  const TPerson p6("P6", 10, 0, 6);
  update.Insert(&p6);
  int n = 1;
  while (query.FindNext()) ++n;
  EXPECT_EQ(n, 3);
  query.Close();

  EXPECT_EQ(Select("select * from Persons where Age > 100").size(), 0u);
  EXPECT_EQ(Select("select * from Persons order by Id desc").front().Id, 6);
}

TEST_F(SqlAccess, QueryWithoutStatementIsRefused) {
  CreateFromBuilders();
  TObjectQuery query(*db_, "Persons", TPlainPersonMapping::StaticClass());
  EXPECT_THROW(query.Open(), EOdbSelectStatementNotSpecified);
  query.SelectStatement().SetText("  \n\t");
  EXPECT_THROW(query.Open(), EOdbSelectStatementNotSpecified);
  query.SelectStatement().SetText("-- nothing but a comment");
  EXPECT_THROW(query.Open(), EOdbSelectStatementNotSpecified);
  EXPECT_FALSE(query.GetOpened());
}

// Statements the engine refuses, or that would do more than read, come out
// as EOdbError with the engine's message and leave the database usable.
TEST_F(SqlAccess, BadStatementsRaiseAndLeaveDatabaseUsable) {
  CreateFromBuilders();
  TObjectUpdate update(*db_, "Persons", TPlainPersonMapping::StaticClass());
  const TPerson a("A", 1, 1, 1);
  update.Insert(&a);
  TObjectQuery query(*db_, "Persons", TPlainPersonMapping::StaticClass());

  query.SelectStatement().SetText("selec * form Persons");
  ExpectRaises<EOdbError>([&] { query.Open(); }, "syntax error");
  EXPECT_FALSE(query.GetOpened());

  query.SelectStatement().SetText("select * from Nowhere");
  EXPECT_THROW(query.Open(), EOdbError);
  query.SelectStatement().SetText("delete from Persons");
  EXPECT_THROW(query.Open(), EOdbError);
  query.SelectStatement().SetText("select * from Persons; delete from Persons");
  EXPECT_THROW(query.Open(), EOdbError);
  query.SelectStatement().SetText("select Name, Age from Persons");
  EXPECT_THROW(query.Open(), EOdbError);
  // A trailing semicolon and comment are fine.
  query.SelectStatement().SetText("select * from Persons; -- all of them");
  query.Open();
  ExpectPerson(query.GetCurrentObj(), a);
  query.Close();

  ExpectPerson(query.Search(&a), a);
  EXPECT_EQ(Select("select * from Persons").size(), 1u);
}

// Search reads the images alone where the engine lets it, and otherwise
// runs its statement as written: over a join whose tables both hold images
// it reads those of the first; a table without images is refused as the
// statement as written would be.
TEST_F(SqlAccess, SearchOverJoinsAndTablesWithoutImages) {
  CreateFromBuilders();
  TObjectUpdate update(*db_, "Persons", TPlainPersonMapping::StaticClass());
  const TPerson a("A", 1, 1, 1);
  update.Insert(&a);
  Driver().Exec("create table Other (Object blob, Extra integer)");
  Driver().Exec("insert into Other values (x'00', 1)");
  TObjectQuery joined(*db_, "Persons, Other", TPlainPersonMapping::StaticClass());
  ExpectPerson(joined.Search(&a), a);
  ExpectPerson(joined.Search(&a), a);

  Driver().Exec("create table Plain (Id integer)");
  Driver().Exec("insert into Plain values (1)");
  TObjectQuery plain(*db_, "Plain", TPlainPersonMapping::StaticClass());
  ExpectRaises<EOdbError>([&] { plain.Search(&a); }, "has no column Object");
}

TEST_F(SqlAccess, UpdateObjectFailures) {
  CreateFromBuilders();
  TObjectUpdate update(*db_, "Persons", TPlainPersonMapping::StaticClass());
  const TPerson a("A", 1, 1, 1), ghost("Ghost", 2, 2, 99);
  update.Insert(&a);

  ExpectRaises<EOdbKeyViolation>([&] { update.Insert(&a); }, "Persons.Id");
  EXPECT_THROW(update.Update(&ghost), EOdbObjectNotFound);
  EXPECT_THROW(update.Delete(&ghost), EOdbObjectNotFound);
  EXPECT_THROW(update.Insert(nullptr), EInvalidObjectType);
  const TObject stranger;
  EXPECT_THROW(update.Delete(&stranger), EInvalidObjectType);

  TObjectUpdate nowhere(*db_, "Nowhere", TPlainPersonMapping::StaticClass());
  EXPECT_THROW(nowhere.Insert(&a), EOdbObjectFileDoesNotExist);
  EXPECT_THROW(nowhere.Delete(&a), EOdbObjectFileDoesNotExist);

  // Nothing of the above changed the table.
  const auto rows = Select("select * from Persons");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].Name, "A");
}

TEST_F(SqlAccess, MappingWithoutPrimaryIndex) {
  CreateFromBuilders();
  TObjectQuery query(*db_, "Persons", sqltest::TFreeMapping::StaticClass());
  const TPerson a("A", 1, 1, 1);
  EXPECT_THROW(query.Search(&a), EOdbTableMustHavePrimaryIndex);
  EXPECT_FALSE(query.GetOpened());
  TObjectUpdate update(*db_, "Persons", sqltest::TFreeMapping::StaticClass());
  EXPECT_THROW(update.Delete(&a), EOdbTableMustHavePrimaryIndex);
}

TEST_F(SqlAccess, HooksRunInOrder) {
  CreateFromBuilders();
  auto& trace = TTracingMapping::Trace;
  TObjectUpdate update(*db_, "Persons", TTracingMapping::StaticClass());
  const TPerson a("A", 1, 1, 1);

  trace.clear();
  update.Insert(&a);
  EXPECT_EQ(trace,
            (Lines{"BeforeInsert", "UpdateFieldsFromObj", "BeforeObjectPost:0:1", "AfterInsert"}));
  trace.clear();
  update.Update(&a);
  EXPECT_EQ(trace,
            (Lines{"BeforeUpdate", "UpdateFieldsFromObj", "BeforeObjectPost:0:1", "AfterUpdate"}));
  // The hook left the stream at its end; the driver still got the whole
  // image, so the object reads back.
  TObjectQuery query(*db_, "Persons", TPlainPersonMapping::StaticClass());
  ExpectPerson(query.Search(&a), a);

  trace.clear();
  update.Delete(&a);
  EXPECT_EQ(trace, (Lines{"BeforeDelete", "UpdateFieldsFromObj", "AfterDelete"}));

  // A failing hook stops the insert before the driver: no row, no
  // AfterInsert.
  trace.clear();
  TTracingMapping::FailInPost = true;
  EXPECT_THROW(update.Insert(&a), EOdbError);
  TTracingMapping::FailInPost = false;
  EXPECT_EQ(trace.back(), "BeforeObjectPost:0:1");
  EXPECT_EQ(query.Search(&a), nullptr);
}

TEST_F(SqlAccess, ClosedDatabase) {
  CreateFromBuilders();
  TObjectQuery query(*db_, "Persons", TPlainPersonMapping::StaticClass());
  TObjectUpdate update(*db_, "Persons", TPlainPersonMapping::StaticClass());
  const TPerson a("A", 1, 1, 1);
  update.Insert(&a);
  db_->Close();
  EXPECT_THROW(query.Search(&a), EOdbDatabaseNotOpened);
  EXPECT_THROW(update.Insert(&a), EOdbDatabaseNotOpened);
  EXPECT_THROW(update.Delete(&a), EOdbDatabaseNotOpened);
  // An update object made while the database is closed works once it is
  // open again (the in-memory database starts empty then).
  TObjectUpdate later(*db_, "Persons", TPlainPersonMapping::StaticClass());
  db_->Open("", "", "");
  CreateFromBuilders();
  later.Insert(&a);
  ExpectPerson(query.Search(&a), a);
  // The first update object's statements belonged to the old connection;
  // it works on the new one.
  const TPerson b("B", 2, 2, 2);
  update.Insert(&b);
  ExpectPerson(query.Search(&b), b);
}

// A query and an update object that outlive their database are detached:
// they raise instead of reaching the freed database, also when destroyed.
TEST_F(SqlAccess, QueryAndUpdateOutlivingTheirDatabase) {
  CreateFromBuilders();
  auto query = std::make_unique<TObjectQuery>(*db_, "Persons", TPlainPersonMapping::StaticClass());
  auto update =
      std::make_unique<TObjectUpdate>(*db_, "Persons", TPlainPersonMapping::StaticClass());
  const TPerson a("A", 1, 1, 1);
  db_.reset();
  EXPECT_THROW(query->Search(&a), EOdbDatabaseNotOpened);
  EXPECT_THROW(update->Insert(&a), EOdbDatabaseNotOpened);
  update.reset();
  query.reset();
}

TEST(SqlAccessMethod, QueryNeedsSqlAccess) {
  TObjectDatabase db(sqltest::TRecordOnlyDriver::StaticClass(), ":memory:");
  db.Open("", "", "");
  ExpectRaises<EOdbUnsupportedAccessMethod>(
      [&] { TObjectQuery query(db, "Persons", TPlainPersonMapping::StaticClass()); },
      ::testing::EndsWith("1"));
  EXPECT_EQ(db.GetDatasets().GetSize(), 0);
  // The update object makes no check of its own; the driver refuses.
  EXPECT_THROW(TObjectUpdate(db, "Persons", TPlainPersonMapping::StaticClass()),
               EOdbUnsupportedAccessMethod);
}

}  // namespace
