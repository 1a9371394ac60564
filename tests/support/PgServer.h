// The PostgreSQL test server and a private database per test.
//
// The server comes from the environment that scripts/pg-test-server.sh
// prints (CORVID_PG_HOST, CORVID_PG_PORT, CORVID_PG_USER,
// CORVID_PG_PASSWORD, CORVID_PG_DATABASE). Without it the tests skip, unless
// CI=true, where a missing server fails them.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "corvid/odb/OdbDatabase.h"

namespace corvid::test {

struct TServer {
  std::string Host;
  std::string Port;
  std::string User;
  std::string Password;
  std::string AdminDatabase;
  // "host:port", as Open takes it.
  std::string Address() const { return Host + ":" + Port; }
};

// The server from the environment; false (with the reason) when it is not
// configured.
bool FindServer(TServer& Server, std::string& Reason);

// Whether the tests run in CI (CI=true), where a missing server is a failure.
bool InCI();

// Skips the test without a server, or fails it in CI.
#define PG_REQUIRE_SERVER(server)                                        \
  do {                                                                   \
    std::string pgReason_;                                               \
    if (!::corvid::test::FindServer(server, pgReason_)) {                \
      if (::corvid::test::InCI()) {                                      \
        FAIL() << "PostgreSQL test server missing in CI: " << pgReason_; \
      }                                                                  \
      GTEST_SKIP() << "PostgreSQL tests skipped: " << pgReason_;         \
    }                                                                    \
  } while (0)

// A database of its own for one test: created on the server, dropped (even
// while connections to it remain) when the object goes.
class TScratchDatabase {
 public:
  explicit TScratchDatabase(const TServer& Server);
  ~TScratchDatabase();
  TScratchDatabase(const TScratchDatabase&) = delete;
  TScratchDatabase& operator=(const TScratchDatabase&) = delete;

  const std::string& Name() const { return name_; }
  const TServer& Server() const { return server_; }
  // A new, opened object database on it through the "PostgreSQL" driver.
  std::unique_ptr<TObjectDatabase> Open() const;
  // Runs one SQL statement on an administrative connection to this
  // database and returns the first value of the first row as text ("" when
  // none); fails the test on an error.
  std::string Sql(const std::string& Statement) const;

 private:
  TServer server_;
  std::string name_;
};

}  // namespace corvid::test
