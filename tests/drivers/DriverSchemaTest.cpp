// The tables a driver makes from a mapping: shapes that every driver must
// accept, whatever its engine's column types demand.
#include "DriverContract.h"

namespace corvid::contract {
namespace {

// A one-byte string field (it holds only the empty string) on a table
// without a primary index: the narrowest column a mapping can ask for.
class TFlagMapping : public TORMapping {
  CORVID_CLASS(TFlagMapping, ::corvid::TORMapping)
 public:
  TClass GetObjectType() const override { return TContractPerson::StaticClass(); }
  void DefineFields() override {
    AddField("Flag", oftString, 1);
    AddField("Age", oftInteger);
  }
  void DefineIndices() override { AddIndex("ByAge", {}, {"Age"}); }
  void UpdateFieldsFromObj(const TObject* Obj) override {
    auto* p = static_cast<const TContractPerson*>(Obj);
    FieldByName("Flag")->SetAsString(p->Name);
    FieldByName("Age")->SetAsInteger(p->Age);
  }
};

TEST_P(DriverContract, OneByteStringWithoutPrimaryIndexMakesATable) {
  auto f = MakeFile("Flags", TFlagMapping::StaticClass());
  Put(*f, "", 2);
  Put(*f, "", 1);
  f->SetIndexName("ByAge");
  ASSERT_TRUE(f->FindFirst());
  EXPECT_EQ(Current(*f).Age, 1);
  EXPECT_EQ(f->GetObjectCount(), 2);
}

}  // namespace
}  // namespace corvid::contract
