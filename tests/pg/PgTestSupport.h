// Shared by the PostgreSQL tests: the test server and a private database
// per test (from the support library), and a small stored class with a
// mapping that has every kind of index.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "PgServer.h"
#include "corvid/odb/OdbDatabase.h"
#include "corvid/odb/OdbMapping.h"

namespace pgtest {

using ::corvid::test::FindServer;
using ::corvid::test::InCI;
using ::corvid::test::TScratchDatabase;
using ::corvid::test::TServer;

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
