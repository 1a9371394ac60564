// Index definitions: field names, attributes, comparison and xBase keys.
#include <gtest/gtest.h>

#include <memory>
#include <typeinfo>

#include "ExpectRaises.h"
#include "corvid/containers/ObjList.h"
#include "corvid/odb/OdbField.h"
#include "corvid/odb/OdbIndex.h"
#include "corvid/persist/ObjPerst.h"
#include "corvid/values/ObjBuckt.h"

using corvid::test::ExpectRaises;

namespace corvid {
namespace {

std::unique_ptr<TOdbIndex> MakeIndex(const char* name, std::initializer_list<const char*> fields,
                                     TOdbIndexAttributes attrs = {}) {
  auto index = std::make_unique<TOdbIndex>(name, attrs);
  for (const char* f : fields) index->AddFieldName(f);
  return index;
}

TEST(Index, CreationKeepsNameAndAttributes) {
  auto index = MakeIndex("ByName", {}, {iaPrimary, iaDescending});
  EXPECT_EQ(index->GetName(), "ByName");
  EXPECT_TRUE(index->GetAttributes().Contains(iaPrimary));
  EXPECT_FALSE(index->GetAttributes().Contains(iaUnique));
  EXPECT_EQ(index->GetAttributes().Bits(), 0x09);
  EXPECT_EQ(index->FieldNames().GetSize(), 0);
  EXPECT_TRUE(index->FieldNames().GetOwnership());
  EXPECT_EQ(index->FieldNames().ObjClass(), TStringCombo::StaticClass());
  EXPECT_EQ(index->FieldNames().CompareFunc(), &CompareStringComboNoCase);
}

TEST(Index, FieldNamesAsString) {
  EXPECT_EQ(MakeIndex("I", {"A", "B", "C"})->FieldNamesAsString(';'), "A;B;C");
  EXPECT_EQ(MakeIndex("I", {"LastName", "FirstName"})->FieldNamesAsString(','),
            "LastName,FirstName");
  EXPECT_EQ(MakeIndex("I", {"Only"})->FieldNamesAsString(','), "Only");
  EXPECT_EQ(MakeIndex("I", {})->FieldNamesAsString(','), "");
}

TEST(Index, HasFieldIgnoresCaseAndPositionsTheList) {
  auto index = MakeIndex("I", {"FirstName", "LastName"});
  EXPECT_TRUE(index->HasField("lastname"));
  const auto* current = dynamic_cast<TStringCombo*>(index->FieldNames().GetCurrentObj());
  ASSERT_NE(current, nullptr);
  EXPECT_EQ(current->Str, "LastName");
  EXPECT_FALSE(index->HasField("Last"));
  EXPECT_FALSE(MakeIndex("I", {})->HasField("x"));
}

TEST(Index, CompareOdbIndexUsesNamesOnly) {
  auto a = MakeIndex("ByName", {"A"}, {iaPrimary});
  auto b = MakeIndex("BYNAME", {"B", "C"}, {iaDescending});
  auto c = MakeIndex("ByDate", {"A"});
  EXPECT_EQ(CompareOdbIndex(a.get(), b.get()), cmpEqual);
  EXPECT_EQ(CompareOdbIndex(c.get(), a.get()), cmpLess);
  EXPECT_EQ(CompareOdbIndex(a.get(), c.get()), cmpGreater);
  TStringCombo other("ByName");
  EXPECT_THROW(CompareOdbIndex(a.get(), &other), std::bad_cast);
  EXPECT_EQ(GetCompareFunc("CompareOdbIndex"), &CompareOdbIndex);
  EXPECT_THROW(GetRegisteredClass("TOdbIndex"), EClassNotRegistered);
}

TEST(Index, IndexListFindsByNameWithoutCase) {
  TUnorderedList indices(TOdbIndex::StaticClass(), &CompareOdbIndex);
  indices.InsertAtTail(MakeIndex("Primary", {"Id"}, {iaPrimary}).release());
  indices.InsertAtTail(MakeIndex("ByName", {"Name"}).release());
  const TOdbIndex key("BYNAME", {});
  ASSERT_TRUE(indices.Search(&key));
  EXPECT_EQ(static_cast<TOdbIndex*>(indices.GetCurrentObj())->GetName(), "ByName");
}

class XBase : public ::testing::Test {
 protected:
  void SetUp() override {
    fields_ = std::make_unique<TUnorderedList>(TOdbField::StaticClass(), &CompareOdbField);
    fields_->InsertAtTail(new TOdbField("Name", oftString, 30));
    fields_->InsertAtTail(new TOdbField("Age", oftInteger, 0));
    fields_->InsertAtTail(new TOdbField("Weight", oftFloat, 0));
    fields_->InsertAtTail(new TOdbField("Id", oftAutoInc, 0));
  }
  std::unique_ptr<TUnorderedList> fields_;
};

TEST_F(XBase, ExpressionJoinsTermsByType) {
  auto index = MakeIndex("I", {"Name", "Age", "Weight"}, {iaUnique, iaCaseInsensitive});
  EXPECT_EQ(IndexToXBaseIndexExp(*index, *fields_, 10, 12, 2),
            "Name+STR(Age,10,0)+STR(Weight,12,2)");
  EXPECT_EQ(IndexToXBaseIndexExp(*MakeIndex("I", {"Id"}), *fields_, 8, 0, 0), "STR(Id,8,0)");
  EXPECT_EQ(IndexToXBaseIndexExp(*MakeIndex("I", {"Name"}), *fields_, 8, 0, 0), "Name");
  EXPECT_EQ(IndexToXBaseIndexExp(*MakeIndex("I", {}), *fields_, 8, 0, 0), "");
  EXPECT_EQ(IndexToXBaseIndexExp(*MakeIndex("I", {"Weight"}), *fields_, 1, -3, -1),
            "STR(Weight,-3,-1)");
}

TEST_F(XBase, MissingFieldRaisesWithItsName) {
  auto index = MakeIndex("I", {"Name", "Height"});
  ExpectRaises<EOdbFieldDoesNotExist>([&] { IndexToXBaseIndexExp(*index, *fields_, 10, 12, 2); },
                                      ::testing::Eq("EOdbFieldDoesNotExist.\rHeight"));
}

}  // namespace
}  // namespace corvid
