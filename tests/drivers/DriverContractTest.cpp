// The contract cases: every operation the framework relies on, through
// object files (and, where the framework gives no way in, the driver's
// public operations directly).
#include <cstring>

#include "DriverContract.h"
#include "ExpectRaises.h"
#include "corvid/containers/ObjList.h"
#include "corvid/persist/ObjPerst.h"
#include "corvid/persist/Streams.h"

namespace corvid::contract {
namespace {

using test::ExpectRaises;
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
  EXPECT_FALSE(f->FindNext());  // an empty file has no first record
  EXPECT_FALSE(f->FindLast());
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

TEST_P(DriverContract, ChangingTheIndexKeepsTheCurrentRecord) {
  auto f = MakeFile("People", TPersonMapping::StaticClass());
  Put(*f, "c", 10);
  Put(*f, "a", 30);
  Put(*f, "b", 20);
  f->SetIndexName("ByName");
  ASSERT_TRUE(f->FindFirst());
  ASSERT_TRUE(f->FindNext());  // b
  f->SetIndexName("ByAge");    // 10 20 30: b in the middle
  EXPECT_EQ(Current(*f).Name, "b");
  ASSERT_TRUE(f->FindPrior());
  EXPECT_EQ(Current(*f).Name, "c");
  ASSERT_TRUE(f->FindNext());
  ASSERT_TRUE(f->FindNext());
  EXPECT_EQ(Current(*f).Name, "a");
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
  // Found through one index, the walk goes on along another from there.
  Put(*f, "dora", 20);
  f->SetIndexName("ByName");
  TContractPerson key("alice", 0);
  f->SetCurrentObj(&key);
  ASSERT_TRUE(f->FindExact());
  f->SetIndexName("ByAge");
  ASSERT_TRUE(f->FindNext());
  EXPECT_EQ(Current(*f).Name, "bob");
  ASSERT_TRUE(f->FindPrior());
  ASSERT_TRUE(f->FindPrior());
  EXPECT_EQ(Current(*f).Name, "dora");
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
  ExpectRaises<EOdbKeyViolation>([&] { Put(*f, "ALICE", 40); }, "ByName");
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
  ExpectRaises<EOdbKeyViolation>([&] { Put(*f, "ann", 3, 0, 1); }, "ByCode");   // both collide
  ExpectRaises<EOdbKeyViolation>([&] { Put(*f, "ben", 3, 0, 3); }, "ByNameU");  // the name only
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
  Current(*f).Weight = 9.25;
  f->Update();
  EXPECT_EQ(Current(*f).Age, 25);
  ASSERT_TRUE(f->FindNext());  // the position followed the record to its new key
  EXPECT_EQ(Current(*f).Name, "c");
  EXPECT_EQ(Walk(*f), (Names{"b", "a", "c"}));
  ASSERT_TRUE(f->FindFirst());
  ASSERT_TRUE(f->FindNext());
  EXPECT_EQ(Current(*f).Weight, 9.25);  // the image was rewritten too
  f->Delete();                          // a: the record after it becomes current
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

TEST_P(DriverContract, QuotesAndEightBitTextRoundTripAndSortByByte) {
  auto f = MakeFile("Codes", TCodeMapping::StaticClass());
  const std::string odd = std::string("O'Br\xE9") + "n \"x\" \\ \xFF;--";
  Put(*f, odd, 1, 0, 1);
  Put(*f, "bob", 2, 0, 2);
  Put(*f, "Dave", 3, 0, 3);
  f->SetIndexName("ByNameU");
  TContractPerson key(odd, 0);
  f->SetCurrentObj(&key);
  ASSERT_TRUE(f->FindExact());
  EXPECT_EQ(Current(*f).Name, odd);
  // A case-sensitive index orders by byte value, whatever the locale.
  EXPECT_EQ(Walk(*f), (Names{"Dave", odd, "bob"}));
}

TEST_P(DriverContract, AStringFieldOfSizeOneTakesTheEmptyString) {
  for (const TClass mapping : {TTinyMapping::StaticClass(), TLooseTinyMapping::StaticClass()}) {
    SCOPED_TRACE(mapping.Name());
    const std::string table = std::string(mapping.Name()).substr(1);
    TObjectFile f(Db(), table, mapping);
    ASSERT_NO_THROW(f.CreateFile());
    f.Open();
    Put(f, "cut", 1, 0, 7);
    EXPECT_EQ(f.GetMapping().FieldByName("Flag")->GetAsString(), "");
    Put(f, "", 2, 0, 8);
    EXPECT_EQ(f.GetObjectCount(), 2);
    EXPECT_EQ(Walk(f).size(), 2u);
  }
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

TEST_P(DriverContract, TransactionsCommitAndRollBackOrAreRefused) {
  auto f = MakeFile("People", TPersonMapping::StaticClass());
  Put(*f, "kept", 1);
  if (!GetParam().Transactions) {
    EXPECT_THROW(Db().StartTransaction(), EOdbTransactionNotSupported);
    EXPECT_THROW(Db().Commit(), EOdbTransactionNotSupported);
    return;
  }
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
  if (GetParam().SecondConnection) {
    auto other = Connect();
    TObjectFile g(*other, "People", TPersonMapping::StaticClass());
    g.Open();
    EXPECT_EQ(g.GetObjectCount(), 2);
  }
  // A refused write inside a transaction takes back only itself.
  Db().StartTransaction();
  Put(*f, "first", 4);
  EXPECT_THROW(Put(*f, "FIRST", 5), EOdbKeyViolation);
  Put(*f, "second", 6);
  Db().Commit();
  f->SetIndexName("ByName");
  EXPECT_EQ(Walk(*f), (Names{"committed", "first", "kept", "second"}));
}

TEST_P(DriverContract, ExclusiveOpenKeepsOtherConnectionsOutOrIsRefused) {
  {
    auto f = MakeFile("People", TPersonMapping::StaticClass());
    Put(*f, "a", 1);
  }
  TObjectFile f(Db(), "People", TPersonMapping::StaticClass());
  if (!GetParam().ExclusiveOpen) {
    EXPECT_THROW(f.OpenExclusive(), EOdbFileLockingNotSupported);
    EXPECT_FALSE(f.GetOpened());
    return;
  }
  f.OpenExclusive();
  ASSERT_TRUE(f.GetOpened());
  EXPECT_EQ(Current(f).Name, "a");
  if (!GetParam().SecondConnection) return;
  auto other = Connect();
  TObjectFile g(*other, "People", TPersonMapping::StaticClass());
  EXPECT_THROW(g.Open(), EOdbError);
  EXPECT_THROW(g.OpenExclusive(), EOdbError);
  EXPECT_FALSE(g.GetOpened());
  f.Close();
  g.Open();  // free again once the exclusive holder closed
  EXPECT_EQ(Current(g).Name, "a");
  TObjectFile h(Db(), "People", TPersonMapping::StaticClass());
  EXPECT_THROW(h.OpenExclusive(), EOdbError);  // g holds it now
  EXPECT_FALSE(h.GetOpened());
}

// A lock is its owner's: taking it again is allowed, the owner may write,
// and one UnLockCurrent gives it back.
TEST_P(DriverContract, RecordLocksHoldAgainstOtherConnectionsOrAreRefused) {
  auto f = MakeFile("People", TPersonMapping::StaticClass());
  Put(*f, "a", 1);
  Put(*f, "b", 2);
  f->SetIndexName("ByName");
  ASSERT_TRUE(f->FindFirst());
  if (!GetParam().RecordLocks) {
    EXPECT_THROW(f->LockCurrent(), EOdbObjectLockingNotSupported);
    EXPECT_THROW(f->UnLockCurrent(), EOdbObjectLockingNotSupported);
    return;
  }
  f->LockCurrent();
  f->LockCurrent();
  Current(*f).Age = 5;
  f->Update();
  if (!GetParam().SecondConnection) {
    f->UnLockCurrent();
    return;
  }
  auto other = Connect();
  TObjectFile g(*other, "People", TPersonMapping::StaticClass());
  g.Open();
  g.SetIndexName("ByName");
  ASSERT_TRUE(g.FindFirst());
  Current(g).Age = 6;
  const char* locked = "Record locked by another user";
  ExpectRaises<EOdbError>([&] { g.Update(); }, locked);
  ExpectRaises<EOdbError>([&] { g.Delete(); }, locked);
  ExpectRaises<EOdbError>([&] { g.LockCurrent(); }, locked);
  ASSERT_TRUE(g.FindNext());  // another record is free
  g.LockCurrent();
  g.UnLockCurrent();

  f->UnLockCurrent();
  ASSERT_TRUE(g.FindPrior());
  EXPECT_EQ(Current(g).Age, 5);  // the owner's write
  g.LockCurrent();
  ExpectRaises<EOdbError>([&] { f->LockCurrent(); }, locked);
  Current(g).Age = 6;
  g.Update();
  g.Close();  // closing gives the lock back
  f->LockCurrent();
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

TEST_P(DriverContract, CreatingAndDeletingTables) {
  TObjectFile f(Db(), "NeverCreated", TPersonMapping::StaticClass());
  EXPECT_THROW(f.Open(), EOdbObjectFileDoesNotExist);
  EXPECT_FALSE(f.GetOpened());
  EXPECT_THROW(f.DeleteFile(), EOdbObjectFileDoesNotExist);
  auto g = MakeFile("People", TPersonMapping::StaticClass());
  Put(*g, "kept", 1);
  TObjectFile again(Db(), "People", TPersonMapping::StaticClass());
  EXPECT_THROW(again.CreateFile(), EOdbError);  // an existing table keeps its data
  EXPECT_EQ(g->GetObjectCount(), 1);
  TObjectFile gone(Db(), "Gone", TPersonMapping::StaticClass());
  gone.CreateFile();
  gone.Open();
  gone.DeleteFile();
  EXPECT_FALSE(gone.GetOpened());
  EXPECT_THROW(gone.Open(), EOdbObjectFileDoesNotExist);
  EXPECT_THROW(g->SetIndexName("NoSuchIndex"), EOdbIndexDoesNotExist);
  EXPECT_EQ(g->GetIndexName(), "ById");
  EXPECT_THROW(g->GetDriver().FindFirst(g->GetHandle() + 100), EOdbInvalidObjectFileHandle);
}

TEST_P(DriverContract, DataOutlivesTheConnection) {
  if (!GetParam().SecondConnection) GTEST_SKIP() << "a private database ends with its connection";
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
  if (!GetParam().SecondConnection) GTEST_SKIP() << "a private database has one connection";
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

// A walk moves on from its record along whichever index is set, whether
// the index changes while the walk is under way or after it was stopped.
TEST_P(DriverContract, WalkChangesIndexOnTheWay) {
  auto f = MakeFile("People", TPersonMapping::StaticClass());
  Put(*f, "c", 2);
  Put(*f, "d", 3);
  Put(*f, "b", 1);
  Put(*f, "a", 4);
  for (const bool stopped : {false, true}) {
    SCOPED_TRACE(stopped ? "walk stopped first" : "walk under way");
    f->SetIndexName("ByAge");
    ASSERT_TRUE(f->FindFirst());
    ASSERT_TRUE(f->FindNext());
    ASSERT_EQ(Current(*f).Name, "c");
    if (stopped) {
      EXPECT_EQ(f->GetObjectCount(), 4);
    }
    f->SetIndexName("ByName");
    ASSERT_TRUE(f->FindNext());
    EXPECT_EQ(Current(*f).Name, "d");
    f->SetIndexName("ByAge");
    ASSERT_TRUE(f->FindNext());
    EXPECT_EQ(Current(*f).Name, "a");
  }
}

// A walk that ran past its last record still stands on it: it can be
// written and walked back from. When another connection deletes the last
// record during the walk, a walk that still met it (reading the data of the
// moment it began) says so when that record is written.
TEST_P(DriverContract, WalkPastTheEndKeepsItsRecord) {
  auto f = MakeFile("People", TPersonMapping::StaticClass());
  for (const char* name : {"a", "b", "c"}) Put(*f, name, 1);
  f->SetIndexName("ByName");
  for (bool more = f->FindFirst(); more; more = f->FindNext()) {
  }
  ASSERT_EQ(Current(*f).Name, "c");
  TMemoryStream image;
  f->GetDriver().GetCurrent(f->GetHandle(), image);
  image.SetPosition(0);
  TObjectStream objects(&image, false);
  const auto stored = objects.ReadObject();
  EXPECT_EQ(static_cast<TContractPerson&>(*stored).Name, "c");
  Current(*f).Name = "C";
  f->Update();
  ASSERT_TRUE(f->FindPrior());
  EXPECT_EQ(Current(*f).Name, "b");
  ASSERT_TRUE(f->FindNext());
  EXPECT_EQ(Current(*f).Name, "C");
  if (!GetParam().SecondConnection) return;

  ASSERT_TRUE(f->FindFirst());
  auto other = Connect();
  TObjectFile g(*other, "People", TPersonMapping::StaticClass());
  g.Open();
  g.SetIndexName("ByName");
  ASSERT_TRUE(g.FindLast());
  g.Delete();
  while (f->FindNext()) {
  }
  const bool metDeleted = Current(*f).Name == "C";
  if (metDeleted) {
    Current(*f).Age = 10;
    EXPECT_THROW(f->Update(), EOdbObjectNotFound);
  } else {
    EXPECT_EQ(Current(*f).Name, "b");
  }
  ASSERT_TRUE(f->FindPrior());
  EXPECT_EQ(Current(*f).Name, metDeleted ? "b" : "a");
}

}  // namespace
}  // namespace corvid::contract
