// The typed layer over object files, on SQLite with generated classes: the
// class check, range-for in index order and the transaction guard.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "Child.h"
#include "ExpectRaises.h"
#include "SampleObject.h"
#include "corvid/odb/OdbTyped.h"
#include "corvid/util/OdbMisc.h"

namespace corvid::test {
namespace {

TChild Kid(const std::string& Label, std::int32_t Count) {
  TChild c;
  c.SetLabel(Label);
  c.SetCount(Count);
  return c;
}

class TypedAccess : public ::testing::Test {
 protected:
  TypedAccess() : db_(GetOdbDriverClass("SQLite"), ":memory:") {
    db_.Open("create", "", "");
    kids_.CreateFile();
    kids_.Open();
  }
  std::vector<std::string> Labels(const std::string& Index) {
    std::vector<std::string> labels;
    for (const TChild& c : kids_.InOrder(Index)) labels.push_back(c.GetLabel());
    return labels;
  }

  TObjectDatabase db_;
  TTypedObjectFile<TChild> kids_{db_, "Children", TChildORMapping::StaticClass()};
};

TEST_F(TypedAccess, RefusesAFileOfAnotherClass) {
  test::ExpectRaises<EInvalidObjectType>(
      [&] {
        TTypedObjectFile<TChild> wrong(db_, "Samples", TSampleObjectORMapping::StaticClass());
      },
      [](const EInvalidObjectType& e) {
        EXPECT_EQ(FormatException(e),
                  "EInvalidObjectType: Invalid object type in TContainer (expected TChild, got "
                  "TSampleObject)");
      });
  // The free accessor checks the object itself.
  kids_.Insert(Kid("b", 1));
  EXPECT_THROW(CurrentObjAs<TSampleObject>(kids_), EInvalidObjectType);
  EXPECT_EQ(CurrentObjAs<TChild>(kids_).GetLabel(), "b");
}

TEST_F(TypedAccess, RangeForVisitsEveryObjectInIndexOrder) {
  for (const TChild& c : {Kid("d", 2), Kid("a", 4), Kid("c", 1), Kid("b", 3)}) kids_.Insert(c);
  EXPECT_EQ(Labels("ByCount"), (std::vector<std::string>{"c", "d", "b", "a"}));
  EXPECT_EQ(Labels("ByLabel"), (std::vector<std::string>{"a", "b", "c", "d"}));
  // The file stays on the index and the last object visited.
  EXPECT_EQ(kids_.GetIndexName(), "ByLabel");
  EXPECT_EQ(kids_.Current().GetLabel(), "d");
  // Left by break, it stands where the loop stopped; a change through the
  // element can be stored from there.
  for (TChild& c : kids_.InOrder("ByCount")) {
    if (c.GetCount() != 2) continue;
    c.SetCount(20);
    kids_.Update();
    break;
  }
  EXPECT_EQ(Labels("ByCount"), (std::vector<std::string>{"c", "b", "a", "d"}));
  // An empty file gives an empty range.
  TTypedObjectFile<TChild> empty(db_, "Empty", TChildORMapping::StaticClass());
  empty.CreateFile();
  empty.Open();
  int visited = 0;
  for (const TChild& c : empty.InOrder("ByLabel")) visited += c.GetCount();
  EXPECT_EQ(visited, 0);
}

TEST_F(TypedAccess, FailedFindLeavesTheKeyAndFoundObjectsAreTyped) {
  for (const TChild& c : {Kid("a", 1), Kid("b", 2)}) kids_.Insert(c);
  EXPECT_TRUE(kids_.FindExact("ByLabel", Kid("b", 0)));
  EXPECT_EQ(kids_.Current().GetCount(), 2);
  EXPECT_FALSE(kids_.FindExact("ByLabel", Kid("zz", 7)));
  EXPECT_EQ(kids_.Current().GetLabel(), "zz");  // the key, not a stored object
  EXPECT_EQ(kids_.FindNearest("ByCount", Kid("", 2)).GetLabel(), "b");
}

TEST_F(TypedAccess, GuardRollsBackUnlessCommitted) {
  kids_.Insert(Kid("kept", 1));
  try {
    TTransaction tx(db_);
    kids_.Insert(Kid("lost", 2));
    EXPECT_EQ(kids_.GetObjectCount(), 2);
    throw std::runtime_error("failure inside the transaction");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(kids_.GetObjectCount(), 1);
  {
    TTransaction tx(db_);
    kids_.Insert(Kid("committed", 3));
    tx.Commit();
    EXPECT_FALSE(tx.Active());
  }
  EXPECT_EQ(Labels("ByLabel"), (std::vector<std::string>{"committed", "kept"}));
}

}  // namespace
}  // namespace corvid::test
