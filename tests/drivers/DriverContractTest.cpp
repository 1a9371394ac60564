// The contract cases: every operation the framework relies on, through
// object files (and, where the framework gives no way in, the driver's
// public operations directly).
#include <cstring>

#include "DriverContract.h"
#include "containers/ObjList.h"
#include "persist/Streams.h"

namespace corvid::contract {
namespace {

using Names = std::vector<std::string>;

TEST_P(DriverContract, NavigationFollowsEachIndexInBothDirections) {
  auto f = MakeFile("People", TPersonMapping::StaticClass());
  EXPECT_EQ(f->GetIndexName(), "ById");  // the mapping's first index after Open
  Put(*f, "bob", 30);
  Put(*f, "Alice", 25);
  Put(*f, "carl", 30);
  Put(*f, "Dave", 20);

  EXPECT_EQ(Walk(*f), (Names{"bob", "Alice", "carl", "Dave"}));
  f->SetIndexName("ByName");  // case-insensitive
  EXPECT_EQ(Walk(*f), (Names{"Alice", "bob", "carl", "Dave"}));
  EXPECT_EQ(Walk(*f, true), (Names{"Dave", "carl", "bob", "Alice"}));
  f->SetIndexName("ByAge");  // equal keys keep a stable order
  EXPECT_EQ(Walk(*f), (Names{"Dave", "Alice", "bob", "carl"}));
  EXPECT_EQ(Walk(*f, true), (Names{"carl", "bob", "Alice", "Dave"}));
  f->SetIndexName("ByAgeDesc");  // descending on (Age, Name)
  EXPECT_EQ(Walk(*f), (Names{"carl", "bob", "Alice", "Dave"}));
  EXPECT_EQ(Walk(*f, true), (Names{"Dave", "Alice", "bob", "carl"}));
}

TEST_P(DriverContract, NextAndPriorTurnAroundAndStopAtTheEnds) {
  auto f = MakeFile("People", TPersonMapping::StaticClass());
  for (int i = 0; i < 5; ++i) Put(*f, "p" + std::to_string(i), i);
  f->SetIndexName("ByAge");
  ASSERT_TRUE(f->FindFirst());
  EXPECT_FALSE(f->FindPrior());
  EXPECT_EQ(Current(*f).Name, "p0");  // unchanged at the end
  ASSERT_TRUE(f->FindNext());
  ASSERT_TRUE(f->FindNext());
  EXPECT_EQ(Current(*f).Name, "p2");
  ASSERT_TRUE(f->FindPrior());
  EXPECT_EQ(Current(*f).Name, "p1");
  ASSERT_TRUE(f->FindNext());
  EXPECT_EQ(Current(*f).Name, "p2");
  ASSERT_TRUE(f->FindLast());
  EXPECT_FALSE(f->FindNext());
  EXPECT_EQ(Current(*f).Name, "p4");
}

TEST_P(DriverContract, WalkingSeesRecordsWrittenMeanwhile) {
  auto f = MakeFile("People", TPersonMapping::StaticClass());
  Put(*f, "a", 10);
  Put(*f, "c", 30);
  f->SetIndexName("ByAge");
  ASSERT_TRUE(f->FindFirst());
  {
    // A second object file on the same table and connection writes between
    // two steps of the first.
    TObjectFile other(Db(), "People", TPersonMapping::StaticClass());
    other.Open();
    Put(other, "b", 20);
  }
  ASSERT_TRUE(f->FindNext());
  EXPECT_EQ(Current(*f).Name, "b");
  ASSERT_TRUE(f->FindNext());
  EXPECT_EQ(Current(*f).Name, "c");
}

TEST_P(DriverContract, AutoIncrementValuesAreUniqueIncreasingAndCopiedBack) {
  auto f = MakeFile("People", TPersonMapping::StaticClass());
  std::vector<std::int32_t> ids;
  for (int i = 0; i < 4; ++i) {
    Put(*f, "p" + std::to_string(i), i);
    ids.push_back(Current(*f).Id);  // the current object received its number
  }
  for (std::size_t i = 1; i < ids.size(); ++i) EXPECT_GT(ids[i], ids[i - 1]);
  EXPECT_GT(ids[0], 0);
  // The stored image carries the number too.
  f->SetIndexName("ByName");
  TContractPerson key("p2", 0);
  f->SetCurrentObj(&key);
  ASSERT_TRUE(f->FindExact());
  EXPECT_EQ(Current(*f).Id, ids[2]);
  // Deleting the highest does not make its number come back.
  ASSERT_TRUE(f->FindLast());
  f->SetIndexName("ById");
  ASSERT_TRUE(f->FindLast());
  f->Delete();
  Put(*f, "p9", 9);
  EXPECT_GT(Current(*f).Id, ids.back());
}

TEST_P(DriverContract, FindExactOnEveryKindOfIndex) {
  auto f = MakeFile("People", TPersonMapping::StaticClass());
  Put(*f, "bob", 30);
  Put(*f, "Alice", 25);
  Put(*f, "carl", 30);
  f->SetIndexName("ByName");
  TContractPerson key("ALICE", 0);
  f->SetCurrentObj(&key);
  ASSERT_TRUE(f->FindExact());  // case-insensitive index
  EXPECT_EQ(Current(*f).Name, "Alice");
  EXPECT_EQ(Current(*f).Age, 25);

  f->SetIndexName("ByAge");
  TContractPerson age("", 30);
  f->SetCurrentObj(&age);
  ASSERT_TRUE(f->FindExact());
  EXPECT_EQ(Current(*f).Name, "bob");  // the first of the equal keys
  ASSERT_TRUE(f->FindNext());
  EXPECT_EQ(Current(*f).Name, "carl");

  TContractPerson none("nobody", 99);
  f->SetCurrentObj(&none);
  EXPECT_FALSE(f->FindExact());
  EXPECT_EQ(Current(*f).Name, "nobody");  // the key object stays
}

TEST_P(DriverContract, DriverFindsOnAnIndexOtherThanTheCurrentOne) {
  auto f = MakeFile("People", TPersonMapping::StaticClass());
  Put(*f, "bob", 30);
  Put(*f, "Alice", 25);
  TORMapping& m = f->GetMapping();
  m.FieldByName("Name")->SetAsString("alice");
  TUnorderedList& indices = f->GetIndices();
  TOdbIndex probe("ByName", {});
  ASSERT_TRUE(indices.Search(&probe));
  auto* byName = static_cast<TOdbIndex*>(indices.GetCurrentObj());
  ASSERT_EQ(f->GetIndexName(), "ById");
  ASSERT_TRUE(f->GetDriver().FindExact(f->GetHandle(), f->GetFields(), *byName));
  f->ReloadCurrent();
  EXPECT_EQ(Current(*f).Name, "Alice");
  EXPECT_EQ(f->GetIndexName(), "ById");
}

TEST_P(DriverContract, FindNearestTakesTheFirstKeyNotBelowOrTheLast) {
  auto f = MakeFile("People", TPersonMapping::StaticClass());
  Put(*f, "bob", 30);
  Put(*f, "Alice", 25);
  Put(*f, "carl", 30);
  Put(*f, "Dave", 20);
  f->SetIndexName("ByAge");
  TContractPerson key("", 26);
  f->SetCurrentObj(&key);
  f->FindNearest();
  EXPECT_EQ(Current(*f).Name, "bob");
  key.Age = 25;
  f->SetCurrentObj(&key);
  f->FindNearest();
  EXPECT_EQ(Current(*f).Name, "Alice");  // an equal key counts as not below
  key.Age = 31;
  f->SetCurrentObj(&key);
  f->FindNearest();
  EXPECT_EQ(Current(*f).Name, "carl");  // every key below: the last one
  f->SetIndexName("ByName");
  TContractPerson name("BR", 0);
  f->SetCurrentObj(&name);
  f->FindNearest();
  EXPECT_EQ(Current(*f).Name, "carl");  // case-insensitive: bob < BR < carl
  f->SetIndexName("ByAgeDesc");
  TContractPerson desc("", 26);
  f->SetCurrentObj(&desc);
  f->FindNearest();
  EXPECT_EQ(Current(*f).Name, "Alice");  // in descending order 25 follows 26
}

TEST_P(DriverContract, BookmarksSurviveOtherWritesAndRestoreTheirIndex) {
  auto f = MakeFile("People", TPersonMapping::StaticClass());
  Put(*f, "bob", 30);
  Put(*f, "Alice", 25);
  Put(*f, "carl", 35);
  f->SetIndexName("ByName");
  TContractPerson key("carl", 0);
  f->SetCurrentObj(&key);
  ASSERT_TRUE(f->FindExact());
  auto mark = f->GetBookmark();
  EXPECT_EQ(mark->GetIndexName(), "ByName");
  f->SetIndexName("ByAge");
  ASSERT_TRUE(f->FindFirst());
  Put(*f, "aaron", 1);
  Put(*f, "zed", 99);
  f->FindFirst();
  TContractPerson alice("Alice", 0);
  f->SetIndexName("ByName");
  f->SetCurrentObj(&alice);
  ASSERT_TRUE(f->FindExact());
  f->Delete();
  f->SetIndexName("ById");
  f->GotoBookmark(*mark);
  EXPECT_EQ(Current(*f).Name, "carl");
  EXPECT_EQ(f->GetIndexName(), "ByName");
  ASSERT_TRUE(f->FindNext());  // navigation continues in the bookmark's index
  EXPECT_EQ(Current(*f).Name, "zed");

  // A bookmark on a record that is gone raises and leaves the file usable.
  f->GotoBookmark(*mark);
  f->Delete();
  EXPECT_THROW(f->GotoBookmark(std::move(mark)), EOdbObjectNotFound);
  EXPECT_EQ(Walk(*f), (Names{"aaron", "bob", "zed"}));
}

TEST_P(DriverContract, CountsAndEmptiness) {
  auto f = MakeFile("People", TPersonMapping::StaticClass());
  EXPECT_TRUE(f->IsEmpty());
  EXPECT_EQ(f->GetObjectCount(), 0);
  EXPECT_FALSE(f->FindFirst());
  EXPECT_THROW(f->GetCurrentObj(), EOdbObjectFileNotPositioned);
  for (int i = 0; i < 7; ++i) Put(*f, "p" + std::to_string(i), i);
  EXPECT_FALSE(f->IsEmpty());
  EXPECT_EQ(f->GetObjectCount(), 7);
  f->Delete();
  EXPECT_EQ(f->GetObjectCount(), 6);
}

TEST_P(DriverContract, DuplicateKeysAreRefusedNamingTheIndex) {
  auto f = MakeFile("People", TPersonMapping::StaticClass());
  Put(*f, "Alice", 25);
  Put(*f, "bob", 30);
  f->SetIndexName("ByAge");
  ASSERT_TRUE(f->FindFirst());
  ASSERT_EQ(Current(*f).Name, "Alice");
  try {
    Put(*f, "ALICE", 40);
    FAIL() << "a second ALICE was stored";
  } catch (const EOdbKeyViolation& e) {
    EXPECT_NE(std::string(e.what()).find("ByName"), std::string::npos) << e.what();
  }
  EXPECT_EQ(f->GetObjectCount(), 2);
  EXPECT_EQ(f->GetIndexName(), "ByAge");
  ASSERT_TRUE(f->FindFirst());
  EXPECT_EQ(Walk(*f), (Names{"Alice", "bob"}));

  // An update onto another record's key is refused too and changes nothing.
  ASSERT_TRUE(f->FindLast());
  Current(*f).Name = "alice";
  EXPECT_THROW(f->Update(), EOdbKeyViolation);
  f->SetIndexName("ByName");
  EXPECT_EQ(Walk(*f), (Names{"Alice", "bob"}));
}

TEST_P(DriverContract, TheFirstDefinedCollidingIndexIsNamed) {
  auto f = MakeFile("Codes", TCodeMapping::StaticClass());
  Put(*f, "ann", 1, 0, 1);
  Put(*f, "ben", 2, 0, 2);
  try {
    Put(*f, "ann", 3, 0, 1);  // both keys collide
    FAIL();
  } catch (const EOdbKeyViolation& e) {
    EXPECT_NE(std::string(e.what()).find("ByCode"), std::string::npos) << e.what();
  }
  try {
    Put(*f, "ben", 3, 0, 3);  // only the unique name collides
    FAIL();
  } catch (const EOdbKeyViolation& e) {
    EXPECT_NE(std::string(e.what()).find("ByNameU"), std::string::npos) << e.what();
  }
  Put(*f, "Ben", 3, 0, 3);  // a case-sensitive unique index accepts this one
  EXPECT_EQ(f->GetObjectCount(), 3);
}

TEST_P(DriverContract, UpdatesAndDeletesMoveRecordsInTheirOrder) {
  auto f = MakeFile("People", TPersonMapping::StaticClass());
  Put(*f, "a", 10);
  Put(*f, "b", 20);
  Put(*f, "c", 30);
  f->SetIndexName("ByAge");
  ASSERT_TRUE(f->FindFirst());
  Current(*f).Age = 25;  // a moves between b and c
  f->Update();
  EXPECT_EQ(Current(*f).Age, 25);
  EXPECT_EQ(Walk(*f), (Names{"b", "a", "c"}));
  ASSERT_TRUE(f->FindFirst());
  ASSERT_TRUE(f->FindNext());
  f->Delete();  // a: the record after it becomes current
  EXPECT_EQ(Current(*f).Name, "c");
  f->Delete();  // c, the last: some record stays current
  EXPECT_EQ(Current(*f).Name, "b");
  f->Delete();
  EXPECT_THROW(f->GetCurrentObj(), EOdbObjectFileNotPositioned);
  EXPECT_TRUE(f->IsEmpty());
}

TEST_P(DriverContract, StoredImagesComeBackByteForByte) {
  auto f = MakeFile("Codes", TCodeMapping::StaticClass());
  TOdbDriver& d = f->GetDriver();
  TORMapping& m = f->GetMapping();
  m.FieldByName("Code")->SetAsInteger(5);
  m.FieldByName("Name")->SetAsString("raw");
  TMemoryStream image;
  const char bytes[] = {'\0', '\x01', '\xff', 'T', 'P', 'F', '0', '\0', '\x7f'};
  image.WriteBuffer(bytes, sizeof bytes);
  image.SetPosition(0);
  d.Insert(f->GetHandle(), f->GetFields(), image);
  TMemoryStream back;
  d.GetCurrent(f->GetHandle(), back);
  ASSERT_EQ(back.GetSize(), static_cast<std::int64_t>(sizeof bytes));
  EXPECT_EQ(std::memcmp(back.Memory(), bytes, sizeof bytes), 0);
}

TEST_P(DriverContract, StringsAtTheFieldLimitAreKeptAndFound) {
  auto f = MakeFile("Texts", TLongMapping::StaticClass());  // a string field of size 256
  const std::string full(255, 'x');
  Put(*f, full + "cut", 1);
  EXPECT_EQ(f->GetMapping().FieldByName("Name")->GetAsString(), full);
  Put(*f, std::string(254, 'x'), 2);
  TContractPerson key(full, 0);
  f->SetCurrentObj(&key);
  ASSERT_TRUE(f->FindExact());
  EXPECT_EQ(Current(*f).Age, 1);
  EXPECT_EQ(Current(*f).Name, full + "cut");  // the object keeps its own text
  f->SetIndexName("ByName");
  EXPECT_EQ(Walk(*f).size(), 2u);
}

TEST_P(DriverContract, TransactionsCommitAndRollBack) {
  auto f = MakeFile("People", TPersonMapping::StaticClass());
  Put(*f, "kept", 1);
  Db().StartTransaction();
  Put(*f, "dropped", 2);
  EXPECT_EQ(f->GetObjectCount(), 2);
  Db().RollBack();
  EXPECT_EQ(f->GetObjectCount(), 1);
  EXPECT_EQ(Walk(*f), (Names{"kept"}));
  Db().StartTransaction();
  Put(*f, "committed", 3);
  Db().Commit();
  EXPECT_EQ(f->GetObjectCount(), 2);
  if (GetParam().Shared) {
    auto other = Connect();
    TObjectFile g(*other, "People", TPersonMapping::StaticClass());
    g.Open();
    EXPECT_EQ(g.GetObjectCount(), 2);
  }
}

TEST_P(DriverContract, ExclusiveOpenKeepsOthersOutOrIsRefused) {
  {
    auto f = MakeFile("People", TPersonMapping::StaticClass());
    Put(*f, "a", 1);
  }
  TObjectFile f(Db(), "People", TPersonMapping::StaticClass());
  try {
    f.OpenExclusive();
  } catch (const EOdbFileLockingNotSupported&) {
    EXPECT_FALSE(f.GetOpened());
    return;
  }
  ASSERT_TRUE(f.GetOpened());
  EXPECT_EQ(Current(f).Name, "a");
  if (!GetParam().Shared) return;
  auto other = Connect();
  TObjectFile g(*other, "People", TPersonMapping::StaticClass());
  EXPECT_ANY_THROW(g.Open());
  EXPECT_FALSE(g.GetOpened());
  f.Close();
  g.Open();  // free again once the exclusive holder closed
  EXPECT_TRUE(g.GetOpened());
  TObjectFile h(Db(), "People", TPersonMapping::StaticClass());
  EXPECT_ANY_THROW(h.OpenExclusive());  // g holds it now
}

TEST_P(DriverContract, RecordLocksHoldOrAreRefused) {
  auto f = MakeFile("People", TPersonMapping::StaticClass());
  Put(*f, "a", 1);
  try {
    f->LockCurrent();
  } catch (const EOdbObjectLockingNotSupported&) {
    EXPECT_THROW(f->UnLockCurrent(), EOdbObjectLockingNotSupported);
    return;
  }
  f->UnLockCurrent();
}

TEST_P(DriverContract, PackKeepsRecordsAndBookmarks) {
  auto f = MakeFile("People", TPersonMapping::StaticClass());
  for (int i = 0; i < 50; ++i) Put(*f, "p" + std::to_string(i), i);
  f->SetIndexName("ByAge");
  ASSERT_TRUE(f->FindLast());
  auto mark = f->GetBookmark();
  ASSERT_TRUE(f->FindFirst());
  for (int i = 0; i < 40; ++i) f->Delete();
  f->Pack();
  EXPECT_EQ(f->GetObjectCount(), 10);
  f->GotoBookmark(std::move(mark));
  EXPECT_EQ(Current(*f).Name, "p49");
}

TEST_P(DriverContract, MissingTableAndUnknownIndex) {
  TObjectFile f(Db(), "NeverCreated", TPersonMapping::StaticClass());
  EXPECT_THROW(f.Open(), EOdbObjectFileDoesNotExist);
  EXPECT_FALSE(f.GetOpened());
  auto g = MakeFile("People", TPersonMapping::StaticClass());
  EXPECT_THROW(g->SetIndexName("NoSuchIndex"), EOdbIndexDoesNotExist);
  EXPECT_EQ(g->GetIndexName(), "ById");
  EXPECT_THROW(g->GetDriver().FindFirst(g->GetHandle() + 100), EOdbInvalidObjectFileHandle);
}

TEST_P(DriverContract, DataOutlivesTheConnection) {
  if (!GetParam().Shared) GTEST_SKIP() << "a private database ends with its connection";
  {
    auto f = MakeFile("People", TPersonMapping::StaticClass());
    Put(*f, "stays", 7, 1.5);
  }
  db_.reset();
  db_ = Connect();
  TObjectFile f(Db(), "People", TPersonMapping::StaticClass());
  f.Open();
  EXPECT_EQ(Current(f).Name, "stays");
  EXPECT_EQ(Current(f).Weight, 1.5);
}

TEST_P(DriverContract, KeysHoldBetweenTwoConnections) {
  if (!GetParam().Shared) GTEST_SKIP() << "a private database has one connection";
  auto f = MakeFile("Codes", TCodeMapping::StaticClass());
  auto other = Connect();
  TObjectFile g(*other, "Codes", TCodeMapping::StaticClass());
  g.Open();
  Put(*f, "ann", 1, 0, 1);
  EXPECT_THROW(Put(g, "ann", 2, 0, 1), EOdbKeyViolation);
  Put(g, "ben", 2, 0, 2);
  EXPECT_EQ(f->GetObjectCount(), 2);
  EXPECT_EQ(g.GetObjectCount(), 2);
  // A walk started on one connection still lets the other one write.
  ASSERT_TRUE(f->FindFirst());
  Put(g, "cid", 3, 0, 3);
  EXPECT_EQ(f->GetObjectCount(), 3);
}

}  // namespace
}  // namespace corvid::contract
