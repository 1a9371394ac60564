// The contract suite on the PostgreSQL driver, against the server that
// scripts/pg-test-server.sh starts (its CORVID_PG_* variables). Each test
// gets a database of its own, created before and dropped after it. Without
// a server the cases skip, except under CI=true, where they fail.
#include <memory>
#include <stdexcept>

#include "DriverContract.h"
#include "PgServer.h"

namespace corvid::contract {
namespace {

using test::TScratchDatabase;
using test::TServer;

// The database of the running test (the suite runs one test at a time).
std::unique_ptr<TScratchDatabase> scratch;

std::string MissingServer() {
  TServer server;
  std::string why;
  return test::FindServer(server, why) ? std::string() : why;
}

TDriverConfig PostgreSQLConfig() {
  TDriverConfig c;
  c.Label = "PostgreSQL";
  c.DriverName = "PostgreSQL";
  c.MakeDatabase = [](std::string& Server, std::string& User, std::string& Password) {
    TServer server;
    std::string why;
    if (!test::FindServer(server, why)) throw std::runtime_error(why);
    scratch = std::make_unique<TScratchDatabase>(server);
    Server = server.Address();
    User = server.User;
    Password = server.Password;
    return scratch->Name();
  };
  c.DropDatabase = [](const std::string&) { scratch.reset(); };
  c.SecondConnection = true;
  c.RecordLocks = true;
  c.ExclusiveOpen = true;
  c.Transactions = true;
  // In CI a missing server is a failure: the cases run and MakeDatabase
  // reports it.
  c.SkipReason = [] { return test::InCI() ? std::string() : MissingServer(); };
  return c;
}

INSTANTIATE_TEST_SUITE_P(PostgreSQL, DriverContract, ::testing::Values(PostgreSQLConfig()),
                         ContractConfigName);

}  // namespace
}  // namespace corvid::contract
