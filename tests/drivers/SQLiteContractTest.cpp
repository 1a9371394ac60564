// The contract suite on the SQLite driver (a database file, and a private
// in-memory database), and what only the SQLite driver promises: how files
// are created and opened, the table it builds, and durability when the
// writing process is killed.
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <set>

#include "DriverContract.h"
#include "FaultVfs.h"
#include "corvid/drivers/sqlite/SQLiteDriver.h"

namespace corvid::contract {
namespace {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder.
std::string MakeTempDir() {
  std::string tmpl = (fs::temp_directory_path() / "corvid-sqlite-XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return tmpl;
}

TDriverConfig SQLiteFileConfig() {
  TDriverConfig c;
  c.Label = "SQLiteFile";
  c.DriverName = "SQLite";
  c.MakeDatabase = [](std::string& Server, std::string&, std::string&) {
    Server = "create";
    return MakeTempDir() + "/contract.db";
  };
  c.DropDatabase = [](const std::string& Name) { fs::remove_all(fs::path(Name).parent_path()); };
  c.SecondConnection = true;
  c.ExclusiveOpen = true;
  c.Transactions = true;
  return c;
}

TDriverConfig SQLiteMemoryConfig() {
  TDriverConfig c;
  c.Label = "SQLiteMemory";
  c.DriverName = "SQLite";
  c.MakeDatabase = [](std::string&, std::string&, std::string&) { return std::string(":memory:"); };
  c.SecondConnection = false;
  c.ExclusiveOpen = true;  // nobody else can reach a private database anyway
  c.Transactions = true;
  return c;
}

// The person mapping with a hook run where the object's image is handed to
// the driver (the second step of an insert), and an index on the float
// field Weight.
std::function<void()> beforePost;

class THookedMapping : public TPersonMapping {
  CORVID_CLASS(THookedMapping, ::corvid::contract::TPersonMapping)
 public:
  void DefineIndices() override {
    TPersonMapping::DefineIndices();
    AddIndex("ByWeight", {}, {"Weight"});
  }
  void BeforeObjectPost(TMemoryStream&) override {
    if (beforePost) beforePost();
  }
};

INSTANTIATE_TEST_SUITE_P(SQLite, DriverContract,
                         ::testing::Values(SQLiteFileConfig(), SQLiteMemoryConfig()),
                         ContractConfigName);

class SQLiteDriverTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = MakeTempDir(); }
  void TearDown() override {
    beforePost = nullptr;
    fs::remove_all(dir_);
  }
  std::string Path(const std::string& Name) const { return dir_ + "/" + Name; }
  static void Put(TObjectFile& File, const std::string& Name, std::int32_t Age, double Weight = 0) {
    TContractPerson p(Name, Age, Weight);
    File.SetCurrentObj(&p);
    File.Insert();
  }
  // The names met walking File forward.
  static std::vector<std::string> Names(TObjectFile& File) {
    std::vector<std::string> names;
    for (bool more = File.FindFirst(); more; more = File.FindNext()) {
      names.push_back(static_cast<TContractPerson*>(File.GetCurrentObj())->Name);
    }
    return names;
  }
  // Runs one query on the database file Name with a connection of its own;
  // the first column of each row, as text ("null" for a null).
  std::vector<std::string> Query(const std::string& Name, const std::string& Sql) const {
    sqlite3* raw = nullptr;
    EXPECT_EQ(sqlite3_open(Path(Name).c_str(), &raw), SQLITE_OK);
    std::vector<std::string> rows;
    sqlite3_stmt* s = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(raw, Sql.c_str(), -1, &s, nullptr), SQLITE_OK)
        << sqlite3_errmsg(raw) << ": " << Sql;
    int rc = SQLITE_ROW;
    while (s != nullptr && (rc = sqlite3_step(s)) == SQLITE_ROW) {
      const auto* t = sqlite3_column_text(s, 0);
      rows.emplace_back(t != nullptr ? reinterpret_cast<const char*>(t) : "null");
    }
    EXPECT_EQ(rc, SQLITE_DONE) << sqlite3_errmsg(raw) << ": " << Sql;
    sqlite3_finalize(s);
    sqlite3_close(raw);
    return rows;
  }

  std::string dir_;
};

TEST_F(SQLiteDriverTest, IsRegisteredUnderItsNameInAnyLetterCase) {
  EXPECT_EQ(GetOdbDriverClass("SQLite"), TSQLiteDriver::StaticClass());
  EXPECT_EQ(GetOdbDriverClass("sqlite"), TSQLiteDriver::StaticClass());
}

TEST_F(SQLiteDriverTest, OpensAnExistingFileAndCreatesOnlyWhenAsked) {
  TObjectDatabase db(GetOdbDriverClass("SQLite"), Path("new.db"));
  EXPECT_THROW(db.Open("", "", ""), EOdbDatabaseDoesNotExist);
  EXPECT_FALSE(db.GetDatabaseOpened());
  EXPECT_FALSE(fs::exists(Path("new.db")));
  db.Open("create", "", "");
  EXPECT_TRUE(db.GetDatabaseOpened());
  db.Close();
  db.Open("", "", "");  // exists now
  EXPECT_TRUE(db.GetDatabaseOpened());
}

TEST_F(SQLiteDriverTest, RefusesWhatIsNotADatabaseAndUnknownOptions) {
  std::ofstream(Path("text.db")) << "this is not a database file, just some text to fill a page";
  TObjectDatabase db(GetOdbDriverClass("SQLite"), Path("text.db"));
  EXPECT_THROW(db.Open("", "", ""), EOdbDatabaseDoesNotExist);
  EXPECT_FALSE(db.GetDatabaseOpened());
  TObjectDatabase other(GetOdbDriverClass("SQLite"), Path("x.db"));
  EXPECT_THROW(other.Open("create;colour=blue", "", ""), EOdbError);
  EXPECT_FALSE(other.GetDatabaseOpened());
}

TEST_F(SQLiteDriverTest, BuildsTheTableOfTheMappingInWalMode) {
  {
    TObjectDatabase db(GetOdbDriverClass("SQLite"), Path("schema.db"));
    db.Open("create", "", "");
    TObjectFile f(db, "People", TPersonMapping::StaticClass());
    f.CreateFile();
  }
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(Path("schema.db").c_str(), &raw), SQLITE_OK);
  auto query = [&](const std::string& Sql) {
    std::vector<std::string> rows;
    sqlite3_stmt* s = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(raw, Sql.c_str(), -1, &s, nullptr), SQLITE_OK) << Sql;
    while (sqlite3_step(s) == SQLITE_ROW) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(s); ++i) {
        const auto* t = sqlite3_column_text(s, i);
        std::string v = t ? reinterpret_cast<const char*>(t) : "";
        for (char& c : v) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        row += (i > 0 ? "|" : "") + v;
      }
      rows.push_back(row);
    }
    sqlite3_finalize(s);
    return rows;
  };
  EXPECT_EQ(query("pragma journal_mode"), std::vector<std::string>{"wal"});
  // name|type|notnull|pk
  EXPECT_EQ(query("select name, type, \"notnull\", pk from pragma_table_info('People')"),
            (std::vector<std::string>{"name|varchar(30)|0|0", "age|integer|0|0", "weight|float|0|0",
                                      "id|integer|1|1", "object|blob|0|0"}));
  const auto indices = query(
      "select name, \"unique\" from pragma_index_list('People') where origin = 'c' order by name");
  EXPECT_EQ(indices,
            (std::vector<std::string>{"people_byage|0", "people_byagedesc|0", "people_byname|1"}));
  EXPECT_EQ(query("select coll, desc from pragma_index_xinfo('People_ByName') where key"),
            std::vector<std::string>{"nocase|0"});
  EXPECT_EQ(query("select desc from pragma_index_xinfo('People_ByAgeDesc') where key"),
            (std::vector<std::string>{"1", "1"}));
  sqlite3_close(raw);
}

TEST_F(SQLiteDriverTest, DriverFreedWithHandlesStillOpen) {
  TObjectDatabase db(GetOdbDriverClass("SQLite"), Path("left.db"));
  db.Open("create", "", "");
  TObjectFile f(db, "People", TPersonMapping::StaticClass());
  f.CreateFile();
  auto driver = CreateOdbDriver(GetOdbDriverClass("SQLite"), Path("left.db"));
  driver->OpenDatabase("", "", "");
  const std::int32_t h = driver->OpenDataset(f);  // never closed
  EXPECT_GT(h, 0);
  EXPECT_FALSE(driver->FindFirst(h));
  driver.reset();  // frees the table state while the driver is still whole
  f.Open();        // the lock of the freed handle is gone as well
  EXPECT_TRUE(f.GetOpened());
}

TEST_F(SQLiteDriverTest, ExclusiveOpenExcludesAnotherProcess) {
  const std::string path = Path("excl.db");
  {
    TObjectDatabase db(GetOdbDriverClass("SQLite"), path);
    db.Open("create", "", "");
    TObjectFile f(db, "People", TPersonMapping::StaticClass());
    f.CreateFile();
  }
  TObjectDatabase db(GetOdbDriverClass("SQLite"), path);
  db.Open("", "", "");
  TObjectFile f(db, "People", TPersonMapping::StaticClass());
  f.OpenExclusive();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int code = 3;
    try {
      TObjectDatabase other(GetOdbDriverClass("SQLite"), path);
      other.Open("", "", "");
      TObjectFile g(other, "People", TPersonMapping::StaticClass());
      try {
        g.Open();
        code = 1;  // got in: the lock did not hold
      } catch (const EOdbError&) {
        code = 0;
      }
    } catch (...) {
      code = 2;
    }
    _exit(code);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A child process inserts objects as fast as it can, updates each one after
// its insert, and reports every returned insert (its number) and update
// (the number negated) through a pipe; it is killed with SIGKILL in the
// middle. Every reported insert and update must be in the file, which must
// open cleanly and hold only readable objects.
TEST_F(SQLiteDriverTest, KilledWriterLosesNoReturnedInsertOrUpdate) {
  constexpr std::int32_t kUpdated = 1000000;
  const std::string path = Path("kill.db");
  {
    TObjectDatabase db(GetOdbDriverClass("SQLite"), path);
    db.Open("create", "", "");
    TObjectFile f(db, "People", TPersonMapping::StaticClass());
    f.CreateFile();
  }
  std::size_t before = 0;  // objects stored by the earlier rounds
  for (const char* sync : {"", "synchronous=normal"}) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(fds[0]);
      try {
        TObjectDatabase db(GetOdbDriverClass("SQLite"), path);
        db.Open(sync, "", "");
        TObjectFile f(db, "People", TPersonMapping::StaticClass());
        f.Open();
        for (std::int32_t i = 0;; ++i) {
          TContractPerson p(std::string(sync) + "#" + std::to_string(i), i);
          f.SetCurrentObj(&p);
          f.Insert();
          auto* stored = static_cast<TContractPerson*>(f.GetCurrentObj());
          const std::int32_t id = stored->Id;
          if (write(fds[1], &id, sizeof id) != sizeof id) _exit(2);
          stored->Age = kUpdated + i;
          f.Update();
          const std::int32_t updated = -id;
          if (write(fds[1], &updated, sizeof updated) != sizeof updated) _exit(2);
        }
      } catch (...) {
        _exit(1);
      }
    }
    close(fds[1]);
    std::set<std::int32_t> inserted, updated;
    std::int32_t id = 0;
    auto take = [&] {
      if (read(fds[0], &id, sizeof id) != sizeof id) return false;
      (id > 0 ? inserted : updated).insert(id > 0 ? id : -id);
      return true;
    };
    while (updated.size() < 300 && take()) {
    }
    kill(child, SIGKILL);
    while (take()) {
    }
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself";
    ASSERT_GE(updated.size(), 300u);

    TObjectDatabase db(GetOdbDriverClass("SQLite"), path);
    db.Open("", "", "");
    TObjectFile f(db, "People", TPersonMapping::StaticClass());
    f.Open();
    std::map<std::int32_t, std::int32_t> stored;  // number -> age
    for (bool more = f.FindFirst(); more; more = f.FindNext()) {
      auto* p = static_cast<TContractPerson*>(f.GetCurrentObj());  // every image reads
      stored[p->Id] = p->Age;
    }
    for (std::int32_t r : inserted) EXPECT_TRUE(stored.count(r)) << "lost insert " << r;
    for (std::int32_t r : updated) {
      EXPECT_GE(stored[r], kUpdated) << "lost update of " << r;
    }
    // At most the one insert whose return was not reported yet comes extra.
    EXPECT_LE(stored.size(), before + inserted.size() + 1);
    before = stored.size();
  }
}

// A commit that fails (here: the disk is full when the write-ahead log is
// written) raises, and leaves the database as it was and no transaction
// open: what is written afterwards is committed as usual.
TEST_F(SQLiteDriverTest, FailedCommitOfAnAutoIncrementInsertLeavesNothingBehind) {
  TFaultVfs vfs;
  TObjectDatabase db(GetOdbDriverClass("SQLite"), Path("full.db"));
  db.Open("create", "", "");
  TObjectFile f(db, "People", TPersonMapping::StaticClass());
  f.CreateFile();
  f.Open();
  Put(f, "Ann", 30);
  TObjectUpdate update(db, "People", TPersonMapping::StaticClass());
  TFaultVfs::FailLogWrites(true);
  EXPECT_THROW(Put(f, "Lost", 1), EOdbError);
  TContractPerson bySql("LostBySql", 2);
  bySql.Id = 50;
  EXPECT_THROW(update.Insert(&bySql), EOdbError);
  TFaultVfs::FailLogWrites(false);
  Put(f, "Bob", 40);
  TContractPerson later("BySql", 3);
  later.Id = 60;
  update.Insert(&later);

  TObjectDatabase other(GetOdbDriverClass("SQLite"), Path("full.db"));
  other.Open("", "", "");
  TObjectFile g(other, "People", TPersonMapping::StaticClass());
  g.Open();
  EXPECT_EQ(Names(g), (std::vector<std::string>{"Ann", "Bob", "BySql"}));
}

// A child process is killed between the two steps of an auto-increment
// insert: once right in between, once after the second step failed, at the
// first commit that follows (the insert after it). No record without its
// image may be in the file afterwards; what was committed before the kill
// is there.
TEST_F(SQLiteDriverTest, WriterKilledBetweenTheStepsOfAnInsertLeavesNoHalfRecord) {
  TFaultVfs vfs;
  const std::string path = Path("steps.db");
  {
    TObjectDatabase db(GetOdbDriverClass("SQLite"), path);
    db.Open("create", "", "");
    TObjectFile f(db, "People", THookedMapping::StaticClass());
    f.CreateFile();
  }
  for (const bool failFirst : {false, true}) {
    const std::string round = failFirst ? "failed" : "killed";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      try {
        TObjectDatabase db(GetOdbDriverClass("SQLite"), path);
        db.Open("", "", "");
        TObjectFile f(db, "People", THookedMapping::StaticClass());
        f.Open();
        Put(f, round + " before", 1);
        beforePost = [failFirst] {
          if (!failFirst) raise(SIGKILL);
          TFaultVfs::KillAtNextSync(true);
          throw std::runtime_error("the image cannot be written");
        };
        try {
          Put(f, round + " half", 2);
        } catch (const std::runtime_error&) {
        }
        beforePost = nullptr;
        Put(f, round + " after", 3);  // its commit ends the process
      } catch (...) {
        _exit(1);
      }
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << round << ": the writer was not killed";

    EXPECT_EQ(Query("steps.db", "select count(*) from People where length(Object) = 0"),
              std::vector<std::string>{"0"})
        << round;
    TObjectDatabase db(GetOdbDriverClass("SQLite"), path);
    db.Open("", "", "");
    TObjectFile f(db, "People", THookedMapping::StaticClass());
    f.Open();
    std::vector<std::string> expected{"killed before"};
    if (failFirst) expected.insert(expected.end(), {"failed before", "failed after"});
    EXPECT_EQ(Names(f), expected) << round;
  }
}

// Key columns holding values of another type than the mapping's (a damaged
// or foreign file): walks that re-position after every step (here because
// of a count) end, visit each record once, and follow SQLite's own order.
TEST_F(SQLiteDriverTest, WalksOverKeysOfForeignTypesEndInSQLiteOrder) {
  {
    TObjectDatabase db(GetOdbDriverClass("SQLite"), Path("foreign.db"));
    db.Open("create", "", "");
    TObjectFile f(db, "People", TPersonMapping::StaticClass());
    f.CreateFile();
    f.Open();
    for (const char* name : {"a", "b", "c", "d", "e", "f", "g", "h"}) Put(f, name, 10);
  }
  Query("foreign.db",
        "update People set Age = case Name when 'a' then 'text' when 'b' then 2.5 "
        "when 'c' then null when 'd' then x'01' when 'e' then 3 else Age end");
  Query("foreign.db", "update People set Name = x'00ff' where Name = 'f'");
  Query("foreign.db", "update People set Name = null where Name = 'h'");
  TObjectDatabase db(GetOdbDriverClass("SQLite"), Path("foreign.db"));
  db.Open("", "", "");
  TObjectFile f(db, "People", TPersonMapping::StaticClass());
  f.Open();
  const std::map<std::string, std::string> orders{{"ByName", "Name collate nocase, rowid"},
                                                  {"ByAge", "Age, rowid"},
                                                  {"ByAgeDesc", "Age desc, Name desc, rowid"}};
  for (const auto& [index, order] : orders) {
    f.SetIndexName(index);
    std::vector<std::string> expected =
        Query("foreign.db", "select Id from People order by " + order);
    ASSERT_EQ(expected.size(), 8u);
    for (const bool backward : {false, true}) {
      std::vector<std::string> ids;
      for (bool more = backward ? f.FindLast() : f.FindFirst(); more && ids.size() < 20;
           more = backward ? f.FindPrior() : f.FindNext()) {
        ids.push_back(std::to_string(static_cast<TContractPerson*>(f.GetCurrentObj())->Id));
        EXPECT_EQ(f.GetObjectCount(), 8);  // the walk re-positions for the next step
      }
      EXPECT_EQ(ids, expected) << index << (backward ? " backward" : " forward");
      std::reverse(expected.begin(), expected.end());
    }
  }
}

// NaN cannot be ordered with other keys (SQLite would store it as null), so
// a float key field holding NaN is refused, through both access methods,
// and nothing is written; NaN in a float field that is no key is stored.
TEST_F(SQLiteDriverTest, NanInAFloatKeyFieldIsRefused) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  TObjectDatabase db(GetOdbDriverClass("SQLite"), Path("nan.db"));
  db.Open("create", "", "");
  TObjectFile f(db, "Weights", THookedMapping::StaticClass());
  f.CreateFile();
  f.Open();
  for (int i = 0; i < 4; ++i) Put(f, "w" + std::to_string(i), i, i + 0.5);
  EXPECT_THROW(Put(f, "nan", 9, nan), EOdbInvalidFieldType);
  TObjectUpdate update(db, "Weights", THookedMapping::StaticClass());
  TContractPerson bySql("nan by sql", 9, nan);
  bySql.Id = 20;
  EXPECT_THROW(update.Insert(&bySql), EOdbInvalidFieldType);
  ASSERT_TRUE(f.FindFirst());
  TContractPerson changed = *static_cast<TContractPerson*>(f.GetCurrentObj());
  changed.Weight = nan;
  f.SetCurrentObj(&changed);
  EXPECT_THROW(f.Update(), EOdbInvalidFieldType);
  EXPECT_EQ(Query("nan.db", "select Name || ' ' || Weight from Weights order by Weight"),
            (std::vector<std::string>{"w0 0.5", "w1 1.5", "w2 2.5", "w3 3.5"}));

  TObjectFile plain(db, "People", TPersonMapping::StaticClass());
  plain.CreateFile();
  plain.Open();
  Put(plain, "no key", 1, nan);
  ASSERT_TRUE(plain.FindFirst());
  EXPECT_TRUE(std::isnan(static_cast<TContractPerson*>(plain.GetCurrentObj())->Weight));
}

}  // namespace
}  // namespace corvid::contract
