#include "PgServer.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>

#include "corvid/odb/OdbDriver.h"

namespace corvid::test {

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

}  // namespace corvid::test
