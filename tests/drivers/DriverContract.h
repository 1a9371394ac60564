// The driver contract suite: what the object database framework relies on
// from a storage driver, written once and run against every driver and
// configuration.
//
// A configuration says which registered driver to use and how to make a
// fresh database for one test. To run the suite against another driver, add
// a file to this folder that instantiates it:
//
//   INSTANTIATE_TEST_SUITE_P(MyDriver, DriverContract,
//                            ::testing::Values(MyDriverConfig()),
//                            ContractConfigName);
//
// Test types: TContractPerson (name, age, weight, code, number) stored by
//   TPersonMapping   Name string(31), Age integer, Weight float, Id
//                    auto-increment; indices ById (primary: Id), ByName
//                    (unique, case-insensitive: Name), ByAge (Age),
//                    ByAgeDesc (descending: Age, Name)
//   TCodeMapping     Code integer, Name string(31), Age integer; indices
//                    ByCode (primary: Code), ByNameU (unique: Name)
//   TLongMapping     Name string(256), Age integer; ByName (primary: Name)
//   TTinyMapping     Flag string(1) (the name, which only the empty string
//                    fits), Code integer; ByCode (primary: Code)
//   TLooseTinyMapping the same with no primary index: ByFlag (Flag)
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "corvid/odb/Odb.h"

namespace corvid::contract {

class TContractPerson : public TObject {
  CORVID_CLASS(TContractPerson, ::corvid::TObject)
 public:
  TContractPerson() = default;
  TContractPerson(std::string AName, std::int32_t AAge, double AWeight = 0, std::int32_t ACode = 0)
      : Name(std::move(AName)), Age(AAge), Weight(AWeight), Code(ACode) {}

  std::string Name;
  std::int32_t Age = 0;
  double Weight = 0;
  std::int32_t Code = 0;  // the key of TCodeMapping
  std::int32_t Id = 0;    // assigned by the driver through TPersonMapping
};

class TPersonMapping : public TORMapping {
  CORVID_CLASS(TPersonMapping, ::corvid::TORMapping)
 public:
  TClass GetObjectType() const override { return TContractPerson::StaticClass(); }
  void DefineFields() override;
  void DefineIndices() override;
  void UpdateFieldsFromObj(const TObject* Obj) override;
  void UpdateObjFromFields(TObject* Obj) override;
};

class TCodeMapping : public TORMapping {
  CORVID_CLASS(TCodeMapping, ::corvid::TORMapping)
 public:
  TClass GetObjectType() const override { return TContractPerson::StaticClass(); }
  void DefineFields() override;
  void DefineIndices() override;
  void UpdateFieldsFromObj(const TObject* Obj) override;
};

class TLongMapping : public TORMapping {
  CORVID_CLASS(TLongMapping, ::corvid::TORMapping)
 public:
  TClass GetObjectType() const override { return TContractPerson::StaticClass(); }
  void DefineFields() override;
  void DefineIndices() override;
  void UpdateFieldsFromObj(const TObject* Obj) override;
};

// A string field of Size 1 as the only text: a key on Code, or no primary
// index at all (a table without a primary key).
class TTinyMapping : public TORMapping {
  CORVID_CLASS(TTinyMapping, ::corvid::TORMapping)
 public:
  TClass GetObjectType() const override { return TContractPerson::StaticClass(); }
  void DefineFields() override;
  void DefineIndices() override;
  void UpdateFieldsFromObj(const TObject* Obj) override;
};

class TLooseTinyMapping : public TTinyMapping {
  CORVID_CLASS(TLooseTinyMapping, ::corvid::contract::TTinyMapping)
 public:
  void DefineIndices() override;
};

// How to reach one database for the contract tests, and what the driver
// promises there. The suite demands each promise: a driver that stops
// keeping one fails, and so does one that starts refusing it.
struct TDriverConfig {
  std::string Label;       // test-name suffix: letters, digits, underscores
  std::string DriverName;  // as registered
  // A fresh, empty database for one test: returns the database name and
  // fills the Open arguments (Server may carry options such as "create").
  std::function<std::string(std::string& Server, std::string& User, std::string& Password)>
      MakeDatabase;
  // Removes what MakeDatabase made (may be empty).
  std::function<void(const std::string& DatabaseName)> DropDatabase;
  // A second connection to the same database sees the first one's data
  // (false for private in-memory databases).
  bool SecondConnection = true;
  // LockCurrent holds a record against other connections: their updates,
  // deletes and locks of it raise "Record locked by another user". Without
  // it, LockCurrent and UnLockCurrent raise EOdbObjectLockingNotSupported.
  bool RecordLocks = false;
  // OpenExclusive keeps every other connection's open out. Without it,
  // OpenExclusive raises EOdbFileLockingNotSupported.
  bool ExclusiveOpen = false;
  // StartTransaction, Commit and RollBack work. Without them they raise
  // EOdbTransactionNotSupported.
  bool Transactions = false;
  // Why the configuration cannot run here (empty: it can).
  std::function<std::string()> SkipReason;
};

std::string ContractConfigName(const ::testing::TestParamInfo<TDriverConfig>& Info);
// Prints a configuration as its label, so test listings name it readably.
inline void PrintTo(const TDriverConfig& Config, std::ostream* Out) {
  *Out << Config.Label;
}

class DriverContract : public ::testing::TestWithParam<TDriverConfig> {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A new database object on the test's database, opened.
  std::unique_ptr<TObjectDatabase> Connect();
  // The test's first connection.
  TObjectDatabase& Db() { return *db_; }
  // A created and opened object file with MappingClass on table Name.
  std::unique_ptr<TObjectFile> MakeFile(const std::string& Name, TClass MappingClass,
                                        TObjectDatabase* On = nullptr);
  // Inserts a person through File.
  void Put(TObjectFile& File, const std::string& Name, std::int32_t Age, double Weight = 0,
           std::int32_t Code = 0);
  // The names met walking File in its current order, forward or backward.
  static std::vector<std::string> Walk(TObjectFile& File, bool Backward = false);
  static TContractPerson& Current(TObjectFile& File);

  std::string databaseName_;
  std::string server_, user_, password_;
  std::unique_ptr<TObjectDatabase> db_;
};

}  // namespace corvid::contract
