// Shared by the PostgreSQL tests: finding the test server, a private
// database per test, and a small stored class with a mapping that has every
// kind of index.
//
// The server comes from the environment that scripts/pg-test-server.sh
// prints (CORVID_PG_HOST, CORVID_PG_PORT, CORVID_PG_USER,
// CORVID_PG_PASSWORD, CORVID_PG_DATABASE). Without it the tests skip, unless
// CI=true, where a missing server fails them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "odb/OdbDatabase.h"
#include "odb/OdbMapping.h"

namespace pgtest {

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

// Skips the test without a server, or fails it in CI.
#define PG_REQUIRE_SERVER(server)                                                            \
  do {                                                                                       \
    std::string pgReason_;                                                                   \
    if (!::pgtest::FindServer(server, pgReason_)) {                                          \
      if (::pgtest::InCI()) FAIL() << "PostgreSQL test server missing in CI: " << pgReason_; \
      GTEST_SKIP() << "PostgreSQL tests skipped: " << pgReason_;                             \
    }                                                                                        \
  } while (0)

bool InCI();

// A database of its own for one test: created on the server, dropped (even
// while connections to it remain) when the object goes.
class TScratchDatabase {
 public:
  explicit TScratchDatabase(const TServer& Server);
  ~TScratchDatabase();
  TScratchDatabase(const TScratchDatabase&) = delete;
  TScratchDatabase& operator=(const TScratchDatabase&) = delete;

  const std::string& Name() const { return name_; }
  // A new, opened object database on it through the "PostgreSQL" driver.
  std::unique_ptr<corvid::TObjectDatabase> Open() const;
  // Runs one SQL statement on an administrative connection to this
  // database and returns the first value of the first row as text ("" when
  // none); fails the test on an error.
  std::string Sql(const std::string& Statement) const;

 private:
  TServer server_;
  std::string name_;
};

// The stored class: an item with a name, a code, a weight and a number the
// server assigns.
class TItem : public corvid::TObject {
  CORVID_CLASS(TItem, ::corvid::TObject)
 public:
  TItem() = default;
  TItem(std::string AName, std::int32_t ACode, double AWeight)
      : Name(std::move(AName)), Code(ACode), Weight(AWeight) {}

  std::string Name;
  std::int32_t Code = 0;
  double Weight = 0;
  std::int32_t Id = 0;
};

// Items: Name (string, Size 31), Code, Weight, Id (auto-increment).
// Indices, in this order: ById primary on Id; ByName case-insensitive on
// Name; ByCode unique descending on Code; ByWeightName on Weight, Name.
class TItemMapping : public corvid::TORMapping {
  CORVID_CLASS(TItemMapping, ::corvid::TORMapping)
 public:
  corvid::TClass GetObjectType() const override { return TItem::StaticClass(); }
  void DefineFields() override;
  void DefineIndices() override;
  void UpdateFieldsFromObj(const corvid::TObject* Obj) override;
  void UpdateObjFromFields(corvid::TObject* Obj) override;
};

// The same items keyed by Code alone (primary, not auto-increment), for the
// SQL access tests.
class TCodedItemMapping : public corvid::TORMapping {
  CORVID_CLASS(TCodedItemMapping, ::corvid::TORMapping)
 public:
  corvid::TClass GetObjectType() const override { return TItem::StaticClass(); }
  void DefineFields() override;
  void DefineIndices() override;
  void UpdateFieldsFromObj(const corvid::TObject* Obj) override;
  void UpdateObjFromFields(corvid::TObject* Obj) override;
};

}  // namespace pgtest
