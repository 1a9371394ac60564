// What only the PostgreSQL driver promises, on one connection: opening
// and connection failures, the tables it builds, its read-ahead, image-only
// updates, transactions the server rolled back, and SQL access. What every
// driver promises is in the contract suite (tests/drivers).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "ExpectRaises.h"
#include "PgTestSupport.h"
#include "corvid/drivers/postgresql/PgSession.h"
#include "corvid/drivers/postgresql/PostgreSQLDriver.h"
#include "corvid/odb/OdbDatabase.h"
#include "corvid/odb/OdbErrors.h"
#include "corvid/odb/OdbFile.h"
#include "corvid/odb/OdbQuery.h"

namespace pgtest {
namespace {

using namespace corvid;
using corvid::test::ExpectRaises;

// A mapping with a string field of Size 1 (room for the empty string only)
// as its key, and nothing else.
class TTinyMapping : public TORMapping {
  CORVID_CLASS(TTinyMapping, ::corvid::TORMapping)
 public:
  TClass GetObjectType() const override { return TItem::StaticClass(); }
  void DefineFields() override {
    AddField("Flag", oftString, 1);
    AddField("Code", oftInteger);
  }
  void DefineIndices() override { AddIndex("ByCode", {iaPrimary}, {"Code"}); }
  void UpdateFieldsFromObj(const TObject* Obj) override {
    FieldByName("Flag")->SetAsString(static_cast<const TItem&>(*Obj).Name);
    FieldByName("Code")->SetAsInteger(static_cast<const TItem&>(*Obj).Code);
  }
};

// The same without a primary index: the table is made without a primary key.
class TLooseTinyMapping : public TTinyMapping {
  CORVID_CLASS(TLooseTinyMapping, TTinyMapping)
 public:
  void DefineIndices() override { AddIndex("ByFlag", {}, {"Flag"}); }
};

class PgDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PG_REQUIRE_SERVER(server_);
    scratch_ = std::make_unique<TScratchDatabase>(server_);
    db_ = scratch_->Open();
  }
  void TearDown() override {
    files_.clear();
    db_.reset();
    scratch_.reset();
  }

  // A created, opened item file.
  TObjectFile& Items(const std::string& Name = "Items") {
    auto file = std::make_unique<TObjectFile>(*db_, Name, TItemMapping::StaticClass());
    file->CreateFile();
    file->Open();
    files_.push_back(std::move(file));
    return *files_.back();
  }

  static void Add(TObjectFile& File, const std::string& Name, std::int32_t Code, double Weight) {
    TItem item(Name, Code, Weight);
    File.SetCurrentObj(&item);
    File.Insert();
  }

  static const TItem& Current(TObjectFile& File) {
    return static_cast<const TItem&>(*File.GetCurrentObj());
  }

  // The names along the current index, first to last.
  static std::vector<std::string> Walk(TObjectFile& File) {
    std::vector<std::string> names;
    for (bool ok = File.FindFirst(); ok; ok = File.FindNext()) names.push_back(Current(File).Name);
    return names;
  }

  TServer server_;
  std::unique_ptr<TScratchDatabase> scratch_;
  std::unique_ptr<TObjectDatabase> db_;
  std::vector<std::unique_ptr<TObjectFile>> files_;
};

using Names = std::vector<std::string>;

TEST_F(PgDriverTest, RegisteredUnderItsNameWithBothAccessMethods) {
  EXPECT_EQ(GetOdbDriverClass("postgresql"), TPostgreSQLDriver::StaticClass());
  TOdbDriver& driver = *db_->GetDriver();
  EXPECT_TRUE(driver.GetDataAccessMethods().Contains(damISAM));
  EXPECT_TRUE(driver.GetDataAccessMethods().Contains(damSQL));
  EXPECT_FALSE(driver.CheckDuplicateInsert());
  EXPECT_EQ(driver.GetSupportedFieldTypesSet(),
            (TOdbFieldTypes{oftString, oftFloat, oftInteger, oftAutoInc}));
}

TEST_F(PgDriverTest, OpenFailuresRaiseDatabaseDoesNotExistWithLibpqMessage) {
  auto expectFailure = [&](const std::string& Database, const std::string& Server,
                           const std::string& Password, const std::string& Fragment) {
    TObjectDatabase db(GetOdbDriverClass("PostgreSQL"), Database);
    ExpectRaises<EOdbDatabaseDoesNotExist>([&] { db.Open(Server, server_.User, Password); },
                                           Fragment);
    EXPECT_FALSE(db.GetDatabaseOpened());
  };
  expectFailure(scratch_->Name(), server_.Address(), "wrong-password", "password");
  expectFailure("no_such_database_here", server_.Address(), server_.Password, "does not exist");
  // A port nobody listens on: refused at once, not a hang.
  expectFailure(scratch_->Name(), server_.Host + ":1", server_.Password, "127.0.0.1");
}

// A server that accepts the connection and never answers: the attempt
// ends with the connect timeout instead of hanging.
TEST_F(PgDriverTest, ASilentServerTimesOut) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  socklen_t len = sizeof addr;
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len), 0);

  TObjectDatabase db(GetOdbDriverClass("PostgreSQL"), scratch_->Name());
  auto& driver = static_cast<TPostgreSQLDriver&>(*db.GetDriver());
  driver.SetConnectTimeout(2);
  EXPECT_THROW(
      db.Open("127.0.0.1:" + std::to_string(ntohs(addr.sin_port)), server_.User, server_.Password),
      EOdbDatabaseDoesNotExist);
  EXPECT_FALSE(db.GetDatabaseOpened());
  close(listener);
}

TEST_F(PgDriverTest, NamesThatAreNotPlainSqlNamesAreRefused) {
  TObjectFile file(*db_, "items; drop table x", TItemMapping::StaticClass());
  EXPECT_THROW(file.CreateFile(), EOdbError);
  EXPECT_EQ(scratch_->Sql("select count(*) from pg_tables where schemaname = 'public'"), "0");
}

TEST_F(PgDriverTest, OpensWithAConnectionString) {
  TObjectDatabase db(GetOdbDriverClass("PostgreSQL"), scratch_->Name());
  db.Open("host=" + server_.Host + " port=" + server_.Port + " connect_timeout=5", server_.User,
          server_.Password);
  EXPECT_TRUE(db.GetDatabaseOpened());
  db.Close();
  EXPECT_FALSE(db.GetDatabaseOpened());
}

TEST_F(PgDriverTest, CreatesTheBuildersTableWithRowIdentityAndIndices) {
  Items();
  EXPECT_EQ(scratch_->Sql("select string_agg(column_name || ':' || data_type, ',' order by "
                          "ordinal_position) from information_schema.columns where "
                          "table_name = 'items'"),
            "name:character varying,code:integer,weight:double precision,id:integer,"
            "object:bytea,odb_rowid:bigint");
  EXPECT_EQ(scratch_->Sql("select string_agg(indexname, ',' order by indexname) from pg_indexes "
                          "where tablename = 'items'"),
            "items_bycode,items_byname,items_byweightname,items_odb_rowid,items_pkey");
  EXPECT_EQ(scratch_->Sql("select character_maximum_length from information_schema.columns "
                          "where table_name = 'items' and column_name = 'name'"),
            "30");
}

TEST_F(PgDriverTest, AStringFieldOfSizeOneGetsAColumn) {
  for (const auto& [table, mapping] : {std::pair{"Tiny", TTinyMapping::StaticClass()},
                                       std::pair{"LooseTiny", TLooseTinyMapping::StaticClass()}}) {
    SCOPED_TRACE(table);
    TObjectFile& file = *files_.emplace_back(std::make_unique<TObjectFile>(*db_, table, mapping));
    ASSERT_NO_THROW(file.CreateFile());
    file.Open();
    Add(file, "ignored", 1, 0);
    EXPECT_EQ(scratch_->Sql(std::string("select flag || '|' || code || '|' || ") +
                            "character_maximum_length from " + table +
                            ", information_schema.columns where column_name = 'flag' and "
                            "table_name = lower('" +
                            table + "')"),
              "|1|1");
  }
}

// A walk reads rows ahead; those must never hide a write made through the
// same connection, nor break turning around.
TEST_F(PgDriverTest, ReadAheadGivesWayToWritesAndTurns) {
  TObjectFile& file = Items();
  for (int i = 0; i < 100; ++i) Add(file, "n" + std::to_string(1000 + i * 2), i, 0);
  file.SetIndexName("ByName");
  ASSERT_TRUE(file.FindFirst());
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(file.FindNext());
  EXPECT_EQ(Current(file).Name, "n1040");
  {
    TObjectFile other(*db_, "Items", TItemMapping::StaticClass());
    other.Open();
    Add(other, "n1041", 500, 0);  // right after the current record
    ASSERT_TRUE(other.FindFirst());
    other.Delete();  // n1000 goes
  }
  ASSERT_TRUE(file.FindNext());
  EXPECT_EQ(Current(file).Name, "n1041");
  ASSERT_TRUE(file.FindNext());
  EXPECT_EQ(Current(file).Name, "n1042");
  // Turning round walks back over the same records, down to the new first.
  std::vector<std::string> back;
  while (file.FindPrior()) back.push_back(Current(file).Name);
  ASSERT_EQ(back.size(), 21u);
  EXPECT_EQ(back.front(), "n1041");
  EXPECT_EQ(back.back(), "n1002");
  // And forward again to the end: every record once.
  int n = 1;
  while (file.FindNext()) ++n;
  EXPECT_EQ(n, 100);
  EXPECT_EQ(Current(file).Name, "n1198");
}

// An update that leaves the fields as this file last wrote them writes only
// the image, unless someone changed the row's fields meanwhile: then the
// whole record is written again.
TEST_F(PgDriverTest, AnImageOnlyUpdateNeverKeepsSomeoneElsesFields) {
  TObjectFile& file = Items();
  Add(file, "a", 1, 0.5);
  EXPECT_EQ(scratch_->Sql("select code from items"), "1");
  scratch_->Sql("update items set code = 99, weight = 2");
  file.Update();  // the current object still says code 1, weight 0.5
  EXPECT_EQ(scratch_->Sql("select code || '/' || weight from items"), "1/0.5");
  ASSERT_TRUE(file.FindFirst());
  EXPECT_EQ(Current(file).Code, 1);
}

TEST_F(PgDriverTest, AFailingQueryDoesNotAbortTheTransaction) {
  TObjectFile& file = Items();
  db_->StartTransaction();
  Add(file, "a", 1, 0);
  TObjectQuery query(*db_, "Items", TItemMapping::StaticClass());
  query.SelectStatement().SetText("select * from items where no_such_column = 1");
  EXPECT_THROW(query.Open(), EOdbFieldDoesNotExist);
  Add(file, "b", 2, 0);
  db_->Commit();
  EXPECT_EQ(scratch_->Sql("select count(*) from items"), "2");
}

TEST_F(PgDriverTest, ACommitThatTheServerRolledBackIsReported) {
  TObjectFile& file = Items();
  db_->StartTransaction();
  Add(file, "a", 1, 0);
  // A failure outside the driver's own statements aborts the transaction.
  auto* conn = pgsql::RawConnection(static_cast<TPostgreSQLDriver&>(*db_->GetDriver()));
  PQclear(PQexec(conn, "select 1/0"));
  EXPECT_THROW(db_->Commit(), EOdbError);
  EXPECT_FALSE(static_cast<TPostgreSQLDriver&>(*db_->GetDriver()).InTransaction());
  EXPECT_EQ(scratch_->Sql("select count(*) from items"), "0");
}

// --- Prepared statements --------------------------------------------------------

// The same items with Code as a float: a table of the same name made anew
// from it returns another type for the same statement text.
class TFloatCodeMapping : public TORMapping {
  CORVID_CLASS(TFloatCodeMapping, ::corvid::TORMapping)
 public:
  TClass GetObjectType() const override { return TItem::StaticClass(); }
  void DefineFields() override {
    AddField("Name", oftString, 31);
    AddField("Code", oftFloat);
  }
  void DefineIndices() override { AddIndex("ByCode", {iaUnique}, {"Code"}); }
  void UpdateFieldsFromObj(const TObject* Obj) override {
    FieldByName("Name")->SetAsString(static_cast<const TItem&>(*Obj).Name);
    FieldByName("Code")->SetAsFloat(static_cast<const TItem&>(*Obj).Code);
  }
};

// The statements the driver keeps prepared against those the server holds
// for the session.
void ExpectPreparedAsOnTheServer(TObjectDatabase& Db) {
  auto& driver = static_cast<TPostgreSQLDriver&>(*Db.GetDriver());
  PGresult* r = PQexec(pgsql::RawConnection(driver), "select count(*) from pg_prepared_statements");
  ASSERT_EQ(PQresultStatus(r), PGRES_TUPLES_OK) << PQresultErrorMessage(r);
  EXPECT_EQ(std::to_string(driver.Session().Connection().PreparedCount()), PQgetvalue(r, 0, 0));
  PQclear(r);
}

// A statement first met in an aborted transaction is not prepared; those
// prepared before the failure outlive its rollback and a reconnect forgets
// them all.
TEST_F(PgDriverTest, PreparedStatementsOutliveAFailedTransaction) {
  TObjectFile& file = Items();
  Add(file, "a", 1, 0);
  db_->StartTransaction();
  Add(file, "b", 2, 0);
  auto& driver = static_cast<TPostgreSQLDriver&>(*db_->GetDriver());
  PQclear(PQexec(pgsql::RawConnection(driver), "select 1/0"));
  const std::size_t prepared = driver.Session().Connection().PreparedCount();
  EXPECT_THROW(file.FindLast(), EOdbError);
  EXPECT_EQ(driver.Session().Connection().PreparedCount(), prepared);
  db_->RollBack();
  ExpectPreparedAsOnTheServer(*db_);
  ASSERT_TRUE(file.FindLast());
  EXPECT_EQ(Current(file).Name, "a");
  Add(file, "c", 3, 0);
  EXPECT_EQ(Walk(file), (Names{"a", "c"}));
  ExpectPreparedAsOnTheServer(*db_);

  files_.clear();
  db_->Close();
  db_->Open(server_.Address(), server_.User, server_.Password);
  EXPECT_EQ(driver.Session().Connection().PreparedCount(), 0u);
  TObjectFile again(*db_, "Items", TItemMapping::StaticClass());
  again.Open();
  EXPECT_EQ(Walk(again), (Names{"a", "c"}));
  ExpectPreparedAsOnTheServer(*db_);
}

// A table that changes shape under statements prepared for it: made anew
// through this connection inside a transaction, or altered by another
// connection.
TEST_F(PgDriverTest, PreparedStatementsFollowATableThatChangesShape) {
  {
    TObjectFile file(*db_, "Coded", TCodedItemMapping::StaticClass());
    file.CreateFile();
    file.Open();
    TItem a("a", 1, 0);
    file.SetCurrentObj(&a);
    file.Insert();
    file.SetIndexName("ByCode");
    ASSERT_TRUE(file.FindFirst());
    file.Close();
    file.DeleteFile();
  }
  db_->StartTransaction();
  {
    TObjectFile file(*db_, "Coded", TFloatCodeMapping::StaticClass());
    file.CreateFile();
    file.Open();
    TItem b("b", 2, 0);
    file.SetCurrentObj(&b);
    file.Insert();
    file.SetIndexName("ByCode");
    ASSERT_TRUE(file.FindFirst());
    EXPECT_EQ(Current(file).Name, "b");
  }
  db_->Commit();

  TObjectFile& file = Items();
  Add(file, "a", 1, 0);
  Add(file, "b", 2, 0);
  file.SetIndexName("ByCode");
  EXPECT_EQ(Walk(file), (Names{"b", "a"}));
  scratch_->Sql("alter table items alter column code type bigint");
  EXPECT_EQ(Walk(file), (Names{"b", "a"}));
  ExpectPreparedAsOnTheServer(*db_);
}

// --- SQL access on the same tables ---------------------------------------------

TEST_F(PgDriverTest, UpdateObjectAndQueryShareTheTables) {
  {
    TObjectFile file(*db_, "Coded", TCodedItemMapping::StaticClass());
    file.CreateFile();
  }
  TObjectUpdate update(*db_, "Coded", TCodedItemMapping::StaticClass());
  TItem a("a'quote", 1, 1.5), b("b", 2, 2.5);
  update.Insert(&a);
  update.Insert(&b);

  TObjectQuery query(*db_, "Coded", TCodedItemMapping::StaticClass());
  TItem probe(std::string(), 1, 0);
  const auto* found = static_cast<const TItem*>(query.Search(&probe));
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->Name, "a'quote");
  EXPECT_DOUBLE_EQ(found->Weight, 1.5);

  a.Weight = 7;
  update.Update(&a);
  found = static_cast<const TItem*>(query.Search(&probe));
  ASSERT_NE(found, nullptr);
  EXPECT_DOUBLE_EQ(found->Weight, 7);

  update.Delete(&a);
  EXPECT_EQ(query.Search(&probe), nullptr);
  EXPECT_THROW(update.Delete(&a), EOdbObjectNotFound);
  EXPECT_THROW(update.Update(&a), EOdbObjectNotFound);

  // Duplicates are refused by the server with the index name.
  TItem dupName("b", 3, 0);
  ExpectRaises<EOdbKeyViolation>([&] { update.Insert(&dupName); }, "ByName");
  TItem dupKey("other", 2, 0);
  ExpectRaises<EOdbKeyViolation>([&] { update.Insert(&dupKey); }, "ByCode");

  // A hand-written select navigates like any dataset; the object file sees
  // what the update object stored.
  query.SelectStatement().SetText("select * from Coded\norder by Code desc");
  query.Open();
  EXPECT_EQ(query.GetDriver().GetObjectCount(query.GetHandle()), 1);
  EXPECT_EQ(static_cast<const TItem&>(*query.GetCurrentObj()).Name, "b");
  query.Close();
  TObjectFile file(*db_, "Coded", TCodedItemMapping::StaticClass());
  file.Open();
  EXPECT_EQ(Walk(file), (Names{"b"}));
}

TEST_F(PgDriverTest, QueryWithoutStatementOrWithBadSql) {
  TObjectQuery query(*db_, "Coded", TCodedItemMapping::StaticClass());
  EXPECT_THROW(query.Open(), EOdbSelectStatementNotSpecified);
  query.SelectStatement().SetText("select * from no_such_table");
  EXPECT_THROW(query.Open(), EOdbObjectFileDoesNotExist);
  query.SelectStatement().SetText("selec nonsense");
  EXPECT_THROW(query.Open(), EOdbError);
  EXPECT_FALSE(query.GetOpened());
}

}  // namespace
}  // namespace pgtest
