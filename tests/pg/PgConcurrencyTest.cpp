// Several connections on one PostgreSQL database: exclusive open, record
// locks, duplicate keys inserted at the same moment, and what a transaction
// shows to others.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ExpectRaises.h"
#include "PgTestSupport.h"
#include "corvid/odb/OdbDatabase.h"
#include "corvid/odb/OdbErrors.h"
#include "corvid/odb/OdbFile.h"
#include "corvid/odb/OdbQuery.h"
#include "corvid/persist/Streams.h"
#include "corvid/util/OdbMisc.h"

namespace pgtest {
namespace {

using namespace corvid;

// Items whose image is written through a hook: it runs between the two
// steps of an insert (the record is in, its image not yet).
class THookedItemMapping : public TItemMapping {
  CORVID_CLASS(THookedItemMapping, TItemMapping)
 public:
  static inline std::function<void()> Hook;
  void BeforeObjectPost(TMemoryStream&) override {
    if (Hook) Hook();
  }
};

class PgConcurrencyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PG_REQUIRE_SERVER(server_);
    scratch_ = std::make_unique<TScratchDatabase>(server_);
    a_ = scratch_->Open();
    b_ = scratch_->Open();
    TObjectFile file(*a_, "Items", TItemMapping::StaticClass());
    file.CreateFile();
    file.Open();
    for (int i = 1; i <= 3; ++i) {
      TItem item("item" + std::to_string(i), i, 0);
      file.SetCurrentObj(&item);
      file.Insert();
    }
  }
  void TearDown() override {
    THookedItemMapping::Hook = nullptr;
    a_.reset();
    b_.reset();
    scratch_.reset();
  }

  // An opened item file on Db, positioned on the item with Code.
  static std::unique_ptr<TObjectFile> OpenOn(TObjectDatabase& Db, std::int32_t Code) {
    auto file = std::make_unique<TObjectFile>(Db, "Items", TItemMapping::StaticClass());
    file->Open();
    file->SetIndexName("ByCode");
    TItem key(std::string(), Code, 0);
    file->SetCurrentObj(&key);
    EXPECT_TRUE(file->FindExact());
    return file;
  }

  static void ExpectLockedError(const std::function<void()>& Action,
                                std::source_location Where = std::source_location::current()) {
    corvid::test::ExpectRaises<EOdbError>(Action, "locked by another user", Where);
  }

  // Another connection finds Count records and reads every image; the
  // table holds no record without an image.
  void ExpectWholeItems(int Count) {
    EXPECT_EQ(scratch_->Sql("select count(*) from items where coalesce(length(object), 0) = 0"),
              "0");
    TObjectFile theirs(*b_, "Items", TItemMapping::StaticClass());
    int read = 0;
    auto readAll = [&] {
      theirs.Open();
      for (bool ok = theirs.FindFirst(); ok; ok = theirs.FindNext()) {
        read += !static_cast<const TItem&>(*theirs.GetCurrentObj()).Name.empty();
      }
    };
    EXPECT_NO_THROW(readAll());
    EXPECT_EQ(read, Count);
  }

  TServer server_;
  std::unique_ptr<TScratchDatabase> scratch_;
  std::unique_ptr<TObjectDatabase> a_, b_;
};

TEST_F(PgConcurrencyTest, ExclusiveOpenKeepsOtherConnectionsOut) {
  TObjectFile mine(*a_, "Items", TItemMapping::StaticClass());
  mine.OpenExclusive();
  TObjectFile theirs(*b_, "Items", TItemMapping::StaticClass());
  EXPECT_THROW(theirs.Open(), EOdbError);
  EXPECT_THROW(theirs.OpenExclusive(), EOdbError);
  EXPECT_THROW(theirs.DeleteFile(), EOdbError);
  EXPECT_FALSE(theirs.GetOpened());
  // The holder works on as usual.
  EXPECT_EQ(mine.GetObjectCount(), 3);
  mine.Close();
  theirs.Open();
  EXPECT_EQ(theirs.GetObjectCount(), 3);
  // Now the other way round: an open file refuses an exclusive open, and
  // dropping the table under it.
  EXPECT_THROW(mine.OpenExclusive(), EOdbError);
  EXPECT_THROW(mine.DeleteFile(), EOdbError);
  EXPECT_EQ(scratch_->Sql("select count(*) from items"), "3");
}

TEST_F(PgConcurrencyTest, ExclusiveOpenKeepsSqlAccessOut) {
  TObjectFile mine(*a_, "Items", TItemMapping::StaticClass());
  mine.OpenExclusive();
  TObjectQuery query(*b_, "Items", TItemMapping::StaticClass());
  query.SelectStatement().SetText("select * from items");
  EXPECT_THROW(query.Open(), EOdbError);
  EXPECT_FALSE(query.GetOpened());
  {
    TObjectUpdate update(*b_, "Items", TItemMapping::StaticClass());
    TItem fresh("fresh", 50, 0);
    EXPECT_THROW(update.Insert(&fresh), EOdbError);
    TItem existing("item1", 1, 7);
    existing.Id = 1;
    EXPECT_THROW(update.Update(&existing), EOdbError);
    EXPECT_THROW(update.Delete(&existing), EOdbError);
  }
  EXPECT_EQ(scratch_->Sql("select count(*) || '/' || sum(weight) from items"), "3/0");
  mine.Close();
  // Free again: the query holds the table shared while it is open, which
  // keeps an exclusive open out in turn.
  query.Open();
  EXPECT_EQ(query.GetDriver().GetObjectCount(query.GetHandle()), 3);
  EXPECT_THROW(mine.OpenExclusive(), EOdbError);
  query.Close();
  mine.OpenExclusive();
  EXPECT_TRUE(mine.GetOpened());
}

TEST_F(PgConcurrencyTest, ClosingTheDatabaseReleasesAnExclusiveOpen) {
  TObjectFile mine(*a_, "Items", TItemMapping::StaticClass());
  mine.OpenExclusive();
  TObjectFile theirs(*b_, "Items", TItemMapping::StaticClass());
  EXPECT_THROW(theirs.Open(), EOdbError);
  a_->Close();
  theirs.Open();
  EXPECT_TRUE(theirs.GetOpened());
}

TEST_F(PgConcurrencyTest, RecordLocksHoldAgainstAnotherConnection) {
  auto mine = OpenOn(*a_, 2);
  auto theirs = OpenOn(*b_, 2);
  mine->LockCurrent();

  ExpectLockedError([&] { theirs->LockCurrent(); });
  static_cast<TItem&>(*theirs->GetCurrentObj()).Weight = 5;
  ExpectLockedError([&] { theirs->Update(); });
  ExpectLockedError([&] { theirs->Delete(); });
  // SQL access honours the lock as well.
  {
    TObjectUpdate update(*b_, "Items", TItemMapping::StaticClass());
    TItem copy = static_cast<const TItem&>(*theirs->GetCurrentObj());
    ExpectLockedError([&] { update.Update(&copy); });
  }
  EXPECT_EQ(scratch_->Sql("select weight from items where code = 2"), "0");

  // Other records are free.
  ASSERT_TRUE(theirs->FindNext());
  theirs->LockCurrent();
  theirs->UnLockCurrent();

  // Once released, the other connection gets it.
  mine->UnLockCurrent();
  ASSERT_TRUE(theirs->FindPrior());
  theirs->LockCurrent();
  ExpectLockedError([&] { mine->LockCurrent(); });
  // Closing the file gives its locks back.
  theirs->Close();
  mine->LockCurrent();
  static_cast<TItem&>(*mine->GetCurrentObj()).Weight = 6;
  mine->Update();
  EXPECT_EQ(scratch_->Sql("select weight from items where code = 2"), "6");
}

TEST_F(PgConcurrencyTest, AWriteInsideATransactionHoldsTheRecordUntilItEnds) {
  auto mine = OpenOn(*a_, 1);
  auto theirs = OpenOn(*b_, 1);
  a_->StartTransaction();
  static_cast<TItem&>(*mine->GetCurrentObj()).Weight = 1;
  mine->Update();
  ExpectLockedError([&] { theirs->LockCurrent(); });
  a_->Commit();
  theirs->LockCurrent();
  theirs->UnLockCurrent();
}

TEST_F(PgConcurrencyTest, UncommittedWorkIsInvisibleToOthers) {
  auto mine = OpenOn(*a_, 1);
  auto theirs = OpenOn(*b_, 1);
  a_->StartTransaction();
  TItem item("new", 4, 0);
  mine->SetCurrentObj(&item);
  mine->Insert();
  EXPECT_EQ(mine->GetObjectCount(), 4);
  EXPECT_EQ(theirs->GetObjectCount(), 3);
  a_->Commit();
  EXPECT_EQ(theirs->GetObjectCount(), 4);
}

// Between the two steps of an insert with an auto-increment field, other
// connections see nothing of the new record, with or without a
// transaction of the caller's; afterwards they see it whole.
TEST_F(PgConcurrencyTest, AnInsertIsInvisibleBetweenItsSteps) {
  TObjectFile mine(*a_, "Items", THookedItemMapping::StaticClass());
  mine.Open();
  int hooked = 0;
  THookedItemMapping::Hook = [&] { ExpectWholeItems(3 + hooked++); };
  TItem plain("plain", 10, 0);
  mine.SetCurrentObj(&plain);
  mine.Insert();
  a_->StartTransaction();
  TItem inTransaction("in transaction", 11, 0);
  mine.SetCurrentObj(&inTransaction);
  mine.Insert();
  a_->Commit();
  THookedItemMapping::Hook = nullptr;
  EXPECT_EQ(hooked, 2);
  EXPECT_EQ(scratch_->Sql("select count(*) from items where code = 11 and length(object) > 0"),
            "1");
}

// A failure between the steps takes back the insert, and only the insert:
// outside a transaction nothing is stored, inside one the earlier work
// stays and the transaction goes on.
TEST_F(PgConcurrencyTest, AFailedSecondStepTakesBackOnlyTheInsert) {
  TObjectFile mine(*a_, "Items", THookedItemMapping::StaticClass());
  mine.Open();
  THookedItemMapping::Hook = [] { RaiseOdb<EOdbError>("no image today"); };
  TItem failing("failing", 10, 0);
  mine.SetCurrentObj(&failing);
  EXPECT_THROW(mine.Insert(), EOdbError);
  ExpectWholeItems(3);

  a_->StartTransaction();
  THookedItemMapping::Hook = nullptr;
  TItem kept("kept", 20, 0);
  mine.SetCurrentObj(&kept);
  mine.Insert();
  THookedItemMapping::Hook = [] { RaiseOdb<EOdbError>("no image today"); };
  mine.SetCurrentObj(&failing);
  EXPECT_THROW(mine.Insert(), EOdbError);
  THookedItemMapping::Hook = nullptr;
  TItem after("after", 30, 0);
  mine.SetCurrentObj(&after);
  mine.Insert();
  a_->Commit();
  EXPECT_EQ(scratch_->Sql("select string_agg(name, ',' order by code) from items where code >= 10 "
                          "and length(object) > 0"),
            "kept,after");
  EXPECT_EQ(scratch_->Sql("select count(*) from items"), "5");
}

// A caller of the driver that stops after the first step: the record is
// kept by the next operation, which does not stay in a transaction left
// open either.
TEST_F(PgConcurrencyTest, AFirstStepWithoutASecondIsKeptByTheNextOperation) {
  TObjectFile mine(*a_, "Items", TItemMapping::StaticClass());
  mine.Open();
  TItem item("first step only", 10, 0);
  mine.GetMapping().UpdateFieldsFromObj(&item);
  TMemoryStream noImage;
  mine.GetDriver().Insert(mine.GetHandle(), mine.GetFields(), noImage);
  EXPECT_EQ(scratch_->Sql("select count(*) from items"), "3");
  EXPECT_EQ(mine.GetObjectCount(), 4);
  EXPECT_EQ(scratch_->Sql("select count(*) from items"), "4");
  TItem later("later", 11, 0);
  mine.SetCurrentObj(&later);
  mine.Insert();
  EXPECT_EQ(scratch_->Sql("select count(*) from items"), "5");
}

// A client killed between the two steps of an insert leaves no record
// behind, and nobody sees one while it waits there.
TEST_F(PgConcurrencyTest, AClientKilledBetweenTheStepsOfAnInsertLeavesNothing) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // A connection of its own; the parent's are never touched here.
    close(fds[0]);
    try {
      std::unique_ptr<TObjectDatabase> db = scratch_->Open();
      THookedItemMapping::Hook = [&] {
        const char reached = 1;
        if (write(fds[1], &reached, 1) != 1) _exit(2);
        for (;;) pause();
      };
      TObjectFile file(*db, "Items", THookedItemMapping::StaticClass());
      file.Open();
      TItem item("half", 10, 0);
      file.SetCurrentObj(&item);
      file.Insert();
    } catch (...) {
    }
    _exit(1);
  }
  close(fds[1]);
  char reached = 0;
  const bool paused = read(fds[0], &reached, 1) == 1;
  close(fds[0]);
  if (paused) ExpectWholeItems(3);
  kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(paused) << "the client never reached the second step";
  EXPECT_TRUE(WIFSIGNALED(status));
  ExpectWholeItems(3);
  // The key the dead client had taken is free again.
  TObjectFile mine(*a_, "Items", TItemMapping::StaticClass());
  mine.Open();
  TItem again("again", 10, 0);
  mine.SetCurrentObj(&again);
  EXPECT_NO_THROW(mine.Insert());
  EXPECT_EQ(scratch_->Sql("select count(*) from items where length(object) > 0"), "4");
}

// Several connections insert the same key at the same moment, round after
// round: each round stores exactly one object and every other insert gets
// EOdbKeyViolation naming the index.
TEST_F(PgConcurrencyTest, ConcurrentDuplicateInsertsStoreExactlyOne) {
  constexpr int kConnections = 4;
  constexpr int kRounds = 15;
  std::vector<std::unique_ptr<TObjectDatabase>> dbs;
  std::vector<std::unique_ptr<TObjectFile>> files;
  for (int i = 0; i < kConnections; ++i) {
    dbs.push_back(scratch_->Open());
    files.push_back(
        std::make_unique<TObjectFile>(*dbs.back(), "Items", TItemMapping::StaticClass()));
    files.back()->Open();
  }
  std::vector<int> stored(kRounds, 0), refused(kRounds, 0), other(kRounds, 0);
  std::atomic<int> wrongIndex{0};
  for (int round = 0; round < kRounds; ++round) {
    std::latch start(kConnections);
    std::vector<std::thread> threads;
    std::vector<int> result(kConnections, -1);
    for (int t = 0; t < kConnections; ++t) {
      threads.emplace_back([&, t] {
        TItem item("t" + std::to_string(t) + "r" + std::to_string(round), 100 + round, t);
        files[static_cast<std::size_t>(t)]->SetCurrentObj(&item);
        start.arrive_and_wait();
        try {
          files[static_cast<std::size_t>(t)]->Insert();
          result[static_cast<std::size_t>(t)] = 0;
        } catch (const EOdbKeyViolation& e) {
          result[static_cast<std::size_t>(t)] = 1;
          if (std::string(e.what()).find("ByCode") == std::string::npos) ++wrongIndex;
        } catch (...) {
          result[static_cast<std::size_t>(t)] = 2;
        }
      });
    }
    for (auto& th : threads) th.join();
    for (int r : result) {
      if (r == 0) ++stored[static_cast<std::size_t>(round)];
      if (r == 1) ++refused[static_cast<std::size_t>(round)];
      if (r == 2) ++other[static_cast<std::size_t>(round)];
    }
  }
  for (int round = 0; round < kRounds; ++round) {
    EXPECT_EQ(stored[static_cast<std::size_t>(round)], 1) << "round " << round;
    EXPECT_EQ(refused[static_cast<std::size_t>(round)], kConnections - 1) << "round " << round;
    EXPECT_EQ(other[static_cast<std::size_t>(round)], 0) << "round " << round;
  }
  EXPECT_EQ(wrongIndex.load(), 0);
  EXPECT_EQ(scratch_->Sql("select count(*) from items where code >= 100"), std::to_string(kRounds));
  EXPECT_EQ(scratch_->Sql("select count(distinct code) from items where code >= 100"),
            std::to_string(kRounds));
  files.clear();
  dbs.clear();
}

// The same through SQL access (update objects on several connections).
TEST_F(PgConcurrencyTest, ConcurrentDuplicateSqlInsertsStoreExactlyOne) {
  {
    TObjectFile coded(*a_, "Coded", TCodedItemMapping::StaticClass());
    coded.CreateFile();
  }
  constexpr int kConnections = 3;
  constexpr int kRounds = 10;
  std::vector<std::unique_ptr<TObjectDatabase>> dbs;
  std::vector<std::unique_ptr<TObjectUpdate>> updates;
  for (int i = 0; i < kConnections; ++i) {
    dbs.push_back(scratch_->Open());
    updates.push_back(
        std::make_unique<TObjectUpdate>(*dbs.back(), "Coded", TCodedItemMapping::StaticClass()));
  }
  int stored = 0, refused = 0;
  for (int round = 0; round < kRounds; ++round) {
    std::latch start(kConnections);
    std::vector<int> result(kConnections, -1);
    std::vector<std::thread> threads;
    for (int t = 0; t < kConnections; ++t) {
      threads.emplace_back([&, t] {
        // Same primary key, different names: only the key collides.
        TItem item("n" + std::to_string(round) + "_" + std::to_string(t), round, 0);
        start.arrive_and_wait();
        try {
          updates[static_cast<std::size_t>(t)]->Insert(&item);
          result[static_cast<std::size_t>(t)] = 0;
        } catch (const EOdbKeyViolation& e) {
          result[static_cast<std::size_t>(t)] =
              std::string(e.what()).find("ByCode") != std::string::npos ? 1 : 2;
        } catch (...) {
          result[static_cast<std::size_t>(t)] = 2;
        }
      });
    }
    for (auto& th : threads) th.join();
    for (int r : result) {
      stored += r == 0;
      refused += r == 1;
    }
  }
  EXPECT_EQ(stored, kRounds);
  EXPECT_EQ(refused, kRounds * (kConnections - 1));
  EXPECT_EQ(scratch_->Sql("select count(*) from coded"), std::to_string(kRounds));
  updates.clear();
  dbs.clear();
}

}  // namespace
}  // namespace pgtest
