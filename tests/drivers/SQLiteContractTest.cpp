// The contract suite on the SQLite driver (a database file, and a private
// in-memory database), and what only the SQLite driver promises: how files
// are created and opened, the table it builds, and durability when the
// writing process is killed.
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "DriverContract.h"
#include "drivers/SQLiteDriver.h"

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
  c.Shared = true;
  return c;
}

TDriverConfig SQLiteMemoryConfig() {
  TDriverConfig c;
  c.Label = "SQLiteMemory";
  c.DriverName = "SQLite";
  c.MakeDatabase = [](std::string&, std::string&, std::string&) { return std::string(":memory:"); };
  c.Shared = false;
  return c;
}

INSTANTIATE_TEST_SUITE_P(SQLite, DriverContract,
                         ::testing::Values(SQLiteFileConfig(), SQLiteMemoryConfig()),
                         ContractConfigName);

class SQLiteDriverTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = MakeTempDir(); }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& Name) const { return dir_ + "/" + Name; }

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

TEST_F(SQLiteDriverTest, CreatingATableTwiceFailsCleanly) {
  TObjectDatabase db(GetOdbDriverClass("SQLite"), Path("twice.db"));
  db.Open("create", "", "");
  TObjectFile f(db, "People", TPersonMapping::StaticClass());
  f.CreateFile();
  EXPECT_THROW(f.CreateFile(), EOdbError);
  f.Open();
  EXPECT_TRUE(f.IsEmpty());
  f.Close();
  f.DeleteFile();
  EXPECT_THROW(f.Open(), EOdbObjectFileDoesNotExist);
  EXPECT_THROW(f.DeleteFile(), EOdbObjectFileDoesNotExist);
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

}  // namespace
}  // namespace corvid::contract
