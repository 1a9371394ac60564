#include "PgTestSupport.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>

#include "containers/ObjRoot.h"
#include "odb/OdbDriver.h"
#include "odb/OdbField.h"
#include "odb/OdbIndex.h"
#include "persist/ObjPerst.h"

namespace pgtest {

using namespace corvid;

namespace {

std::string Env(const char* Name) {
  const char* v = std::getenv(Name);
  return v ? std::string(v) : std::string();
}

// Runs Sql on a fresh connection to Database; returns the first value or
// "", and the error in Error.
std::string RunOn(const TServer& Server, const std::string& Database, const std::string& Sql,
                  std::string& Error) {
  const char* keys[] = {"host", "port", "user", "password", "dbname", "connect_timeout", nullptr};
  const char* values[] = {Server.Host.c_str(),
                          Server.Port.c_str(),
                          Server.User.c_str(),
                          Server.Password.c_str(),
                          Database.c_str(),
                          "10",
                          nullptr};
  PGconn* conn = PQconnectdbParams(keys, values, 0);
  std::string out;
  if (PQstatus(conn) != CONNECTION_OK) {
    Error = PQerrorMessage(conn);
  } else {
    PQsetNoticeProcessor(
        conn, [](void*, const char*) {}, nullptr);
    PGresult* r = PQexec(conn, Sql.c_str());
    const ExecStatusType st = PQresultStatus(r);
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
      Error = PQresultErrorMessage(r);
    } else if (PQntuples(r) > 0 && PQnfields(r) > 0) {
      out = PQgetvalue(r, 0, 0);
    }
    PQclear(r);
  }
  PQfinish(conn);
  return out;
}

std::string ReadItemName(TReader& R) {
  return R.ReadString();
}

void WriteItem(TObject* Obj, TObjectWriter& Writer) {
  const auto& i = static_cast<const TItem&>(*Obj);
  Writer.WriteString(i.Name);
  Writer.WriteInteger(i.Code);
  Writer.WriteFloat(i.Weight);
  Writer.WriteInteger(i.Id);
}

void ReadItem(TObject* Obj, TObjectReader& Reader) {
  auto& i = static_cast<TItem&>(*Obj);
  i.Name = ReadItemName(Reader);
  i.Code = Reader.ReadInteger();
  i.Weight = static_cast<double>(Reader.ReadFloat());
  i.Id = Reader.ReadInteger();
}

const bool registered = [] {
  RegisterStreamable(TItem::StaticClass(), {ReadItem}, {WriteItem});
  return true;
}();

}  // namespace

bool InCI() {
  return Env("CI") == "true";
}

bool FindServer(TServer& Server, std::string& Reason) {
  Server.Host = Env("CORVID_PG_HOST");
  Server.Port = Env("CORVID_PG_PORT");
  Server.User = Env("CORVID_PG_USER");
  Server.Password = Env("CORVID_PG_PASSWORD");
  Server.AdminDatabase = Env("CORVID_PG_DATABASE");
  if (Server.Host.empty() || Server.Port.empty() || Server.AdminDatabase.empty()) {
    Reason =
        "CORVID_PG_HOST/CORVID_PG_PORT/CORVID_PG_DATABASE not set (start a server with "
        "scripts/pg-test-server.sh)";
    return false;
  }
  return true;
}

TScratchDatabase::TScratchDatabase(const TServer& Server) : server_(Server) {
  static std::atomic<int> counter{0};
  name_ = "corvid_t_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
  std::string error;
  RunOn(server_, server_.AdminDatabase, "create database " + name_, error);
  if (error.find("already exists") != std::string::npos) {
    // Left behind by an earlier process with the same number.
    error.clear();
    RunOn(server_, server_.AdminDatabase, "drop database " + name_ + " with (force)", error);
    error.clear();
    RunOn(server_, server_.AdminDatabase, "create database " + name_, error);
  }
  if (!error.empty()) ADD_FAILURE() << "create database " << name_ << ": " << error;
}

TScratchDatabase::~TScratchDatabase() {
  std::string error;
  RunOn(server_, server_.AdminDatabase, "drop database if exists " + name_ + " with (force)",
        error);
}

std::unique_ptr<TObjectDatabase> TScratchDatabase::Open() const {
  auto db = std::make_unique<TObjectDatabase>(GetOdbDriverClass("PostgreSQL"), name_);
  db->Open(server_.Address(), server_.User, server_.Password);
  return db;
}

std::string TScratchDatabase::Sql(const std::string& Statement) const {
  std::string error;
  std::string out = RunOn(server_, name_, Statement, error);
  if (!error.empty()) ADD_FAILURE() << Statement << ": " << error;
  return out;
}

void TItemMapping::DefineFields() {
  AddField("Name", oftString, 31);
  AddField("Code", oftInteger);
  AddField("Weight", oftFloat);
  AddField("Id", oftAutoInc);
}

void TItemMapping::DefineIndices() {
  AddIndex("ById", {iaPrimary}, {"Id"});
  AddIndex("ByName", {iaCaseInsensitive}, {"Name"});
  AddIndex("ByCode", {iaUnique, iaDescending}, {"Code"});
  AddIndex("ByWeightName", {}, {"Weight", "Name"});
}

void TItemMapping::UpdateFieldsFromObj(const TObject* Obj) {
  const auto& i = static_cast<const TItem&>(*Obj);
  FieldByName("Name")->SetAsString(i.Name);
  FieldByName("Code")->SetAsInteger(i.Code);
  FieldByName("Weight")->SetAsFloat(i.Weight);
  FieldByName("Id")->SetAsInteger(i.Id);
}

void TItemMapping::UpdateObjFromFields(TObject* Obj) {
  static_cast<TItem&>(*Obj).Id = FieldByName("Id")->GetAsInteger();
}

void TCodedItemMapping::DefineFields() {
  AddField("Code", oftInteger);
  AddField("Name", oftString, 31);
  AddField("Weight", oftFloat);
}

void TCodedItemMapping::DefineIndices() {
  AddIndex("ByCode", {iaPrimary}, {"Code"});
  AddIndex("ByName", {iaUnique}, {"Name"});
}

void TCodedItemMapping::UpdateFieldsFromObj(const TObject* Obj) {
  const auto& i = static_cast<const TItem&>(*Obj);
  FieldByName("Code")->SetAsInteger(i.Code);
  FieldByName("Name")->SetAsString(i.Name);
  FieldByName("Weight")->SetAsFloat(i.Weight);
}

void TCodedItemMapping::UpdateObjFromFields(TObject* Obj) {
  static_cast<TItem&>(*Obj).Code = FieldByName("Code")->GetAsInteger();
}

}  // namespace pgtest
