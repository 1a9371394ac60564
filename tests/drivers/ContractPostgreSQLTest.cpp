// The contract suite on the PostgreSQL driver, against the server that
// scripts/pg-test-server.sh starts (its CORVID_PG_* variables). Each test
// gets a database of its own, created before and dropped after it. Without
// a server the cases skip, except under CI=true, where they fail.
#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>

#include "DriverContract.h"

namespace corvid::contract {
namespace {

std::string Env(const char* Name) {
  const char* v = std::getenv(Name);
  return v ? std::string(v) : std::string();
}

std::string MissingServer() {
  if (Env("CORVID_PG_HOST").empty() || Env("CORVID_PG_PORT").empty() ||
      Env("CORVID_PG_DATABASE").empty()) {
    return "no PostgreSQL test server (CORVID_PG_HOST/PORT/DATABASE unset; see "
           "scripts/pg-test-server.sh)";
  }
  return std::string();
}

// Runs one administrative statement in the server's test database.
void Admin(const std::string& Sql) {
  const std::string host = Env("CORVID_PG_HOST"), port = Env("CORVID_PG_PORT"),
                    user = Env("CORVID_PG_USER"), password = Env("CORVID_PG_PASSWORD"),
                    db = Env("CORVID_PG_DATABASE");
  const char* keys[] = {"host", "port", "user", "password", "dbname", "connect_timeout", nullptr};
  const char* values[] = {host.c_str(), port.c_str(), user.c_str(), password.c_str(),
                          db.c_str(),   "10",         nullptr};
  PGconn* conn = PQconnectdbParams(keys, values, 0);
  std::string error;
  if (PQstatus(conn) != CONNECTION_OK) {
    error = PQerrorMessage(conn);
  } else {
    PQsetNoticeProcessor(
        conn, [](void*, const char*) {}, nullptr);
    PGresult* r = PQexec(conn, Sql.c_str());
    if (PQresultStatus(r) != PGRES_COMMAND_OK) error = PQresultErrorMessage(r);
    PQclear(r);
  }
  PQfinish(conn);
  if (!error.empty()) throw std::runtime_error(Sql + ": " + error);
}

TDriverConfig PostgreSQLConfig() {
  TDriverConfig c;
  c.Label = "PostgreSQL";
  c.DriverName = "PostgreSQL";
  c.MakeDatabase = [](std::string& Server, std::string& User, std::string& Password) {
    const std::string why = MissingServer();
    if (!why.empty()) throw std::runtime_error(why);
    static std::atomic<int> counter{0};
    const std::string name =
        "corvid_c_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
    Admin("drop database if exists " + name + " with (force)");
    Admin("create database " + name);
    Server = Env("CORVID_PG_HOST") + ":" + Env("CORVID_PG_PORT");
    User = Env("CORVID_PG_USER");
    Password = Env("CORVID_PG_PASSWORD");
    return name;
  };
  c.DropDatabase = [](const std::string& Name) {
    Admin("drop database if exists " + Name + " with (force)");
  };
  c.Shared = true;
  // In CI a missing server is a failure: the cases run and MakeDatabase
  // reports it.
  c.SkipReason = [] { return Env("CI") == "true" ? std::string() : MissingServer(); };
  return c;
}

INSTANTIATE_TEST_SUITE_P(PostgreSQL, DriverContract, ::testing::Values(PostgreSQLConfig()),
                         ContractConfigName);

}  // namespace
}  // namespace corvid::contract
