#include <gtest/gtest.h>

#include <memory>
#include <typeinfo>

#include "Counted.h"
#include "corvid/containers/ObjArray.h"
#include "corvid/values/ObjBuckt.h"

namespace corvid {
namespace {

using test::TCounted;

TEST(StringCombo, ConstructionSetsTheFields) {
  TCounted payload(5);
  TStringCombo c("key", &payload);
  c.OwnsObj = false;
  EXPECT_EQ(c.Str, "key");
  EXPECT_EQ(c.GetObj(), &payload);
  TStringCombo bare("alone");
  EXPECT_TRUE(bare.OwnsObj);
  EXPECT_EQ(bare.GetObj(), nullptr);
}

TEST(StringCombo, FreesItsObjectOnlyWhenItOwnsIt) {
  const int live0 = TCounted::live;
  { TStringCombo owning("a", new TCounted(1)); }
  EXPECT_EQ(TCounted::live, live0);

  auto kept = std::make_unique<TCounted>(2);
  {
    TStringCombo borrowing("b", kept.get());
    borrowing.OwnsObj = false;
  }
  EXPECT_EQ(TCounted::live, live0 + 1);
}

TEST(StringCombo, ComparesByStringWithOrWithoutCase) {
  TStringCombo lower("abc"), upper("ABC"), other("abd");
  EXPECT_EQ(CompareStringComboNoCase(&lower, &upper), cmpEqual);
  EXPECT_NE(CompareStringCombo(&lower, &upper), cmpEqual);
  EXPECT_EQ(CompareStringCombo(&lower, &upper),
            NegateComparison(CompareStringCombo(&upper, &lower)));
  EXPECT_EQ(CompareStringCombo(&lower, &other), cmpLess);
  EXPECT_EQ(CompareStringComboNoCase(&upper, &other), cmpLess);
  EXPECT_EQ(CompareStringCombo(&other, &lower), cmpGreater);

  // The objects take no part.
  TStringCombo withA("same", new TCounted(1)), withB("same", new TCounted(2));
  EXPECT_EQ(CompareStringCombo(&withA, &withB), cmpEqual);
  EXPECT_EQ(CompareStringComboNoCase(&withA, &withB), cmpEqual);
}

TEST(StringCombo, HashesTheStringWithTheStringPrimitives) {
  TStringCombo abc("abc", new TCounted(9));
  EXPECT_EQ(HashStringCombo(&abc, 101), 36);
  EXPECT_EQ(HashStringCombo2(&abc, 101), 92);
  TStringCombo empty("");
  EXPECT_EQ(HashStringCombo2(&empty, 101), 1);
  // StringHash looks at the first five characters only.
  TStringCombo longer1("abcdefXYZ"), longer2("abcdeQ");
  EXPECT_EQ(HashStringCombo(&longer1, 1009), HashStringCombo(&longer2, 1009));
}

TEST(StringCombo, OtherClassesFailTheCheckedCast) {
  TStringCombo c("x");
  TIntegerBucket i(1);
  EXPECT_THROW(CompareStringCombo(&c, &i), std::bad_cast);
  EXPECT_THROW(CompareStringComboNoCase(&i, &c), std::bad_cast);
  EXPECT_THROW(HashStringCombo(&i, 7), std::bad_cast);
  EXPECT_THROW(HashStringCombo2(nullptr, 7), std::bad_cast);
}

TEST(StringCombo, SortsInAnArrayByName) {
  TArray a(TStringCombo::StaticClass(), CompareStringComboNoCase, 4, 4);
  for (const char* s : {"pear", "Apple", "fig", "banana", "Cherry"}) a.Insert(new TStringCombo(s));
  a.QuickSort();
  std::vector<std::string> names;
  for (TObject* o : a) names.push_back(static_cast<TStringCombo*>(o)->Str);
  EXPECT_EQ(names, (std::vector<std::string>{"Apple", "banana", "Cherry", "fig", "pear"}));
  TStringCombo probe("CHERRY");
  EXPECT_EQ(a.BinarySearch(&probe), 3);
}

}  // namespace
}  // namespace corvid
