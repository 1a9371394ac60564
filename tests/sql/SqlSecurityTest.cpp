// Hostile values through every path of SQL access: each is stored, found by
// Search, updated and deleted exactly, and no other row is touched.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "SqlTestTypes.h"
#include "corvid/drivers/sqlite/SQLiteDriver.h"
#include "corvid/odb/OdbDatabase.h"
#include "corvid/odb/OdbErrors.h"
#include "corvid/odb/OdbFile.h"
#include "corvid/odb/OdbMapping.h"
#include "corvid/odb/OdbQuery.h"
#include "corvid/odb/OdbSql.h"

namespace {

using namespace corvid;
using sqltest::TNamed;
using sqltest::TNamedMapping;

// Every byte but NUL, 255 characters: the field's limit.
std::string AllBytes() {
  std::string s;
  for (int c = 1; c <= 255; ++c) s += static_cast<char>(c);
  return s;
}

std::vector<std::string> HostileKeys() {
  return {"'",
          "''",
          "';--",
          "\" or 1=1",
          "x' or '1'='1",
          "Robert'); drop table Named;--",
          "a'; delete from Named where '1'='1",
          "\\' or 1=1 --",
          "back\\slash",
          "line\nbreak\r\nand\ttab",
          "%_ wildcards %",
          "\xC3\x28 \xFF\xFE not UTF-8 \x80",
          AllBytes(),
          std::string(255, '\''),
          std::string(254, 'k') + "'"};
}

class SqlSecurity : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = std::make_unique<TObjectDatabase>(TSQLiteDriver::StaticClass(), ":memory:");
    db_->Open("", "", "");
    TObjectFile file(*db_, "Named", TNamedMapping::StaticClass());
    file.CreateFile();
  }

  // Every stored row, by key, read through a query's navigation.
  std::map<std::string, TNamed> AllRows() {
    TObjectQuery query(*db_, "Named", TNamedMapping::StaticClass());
    query.SelectStatement().SetText("select * from Named");
    query.Open();
    std::map<std::string, TNamed> rows;
    if (!query.IsEmpty()) {
      do {
        const auto& n = static_cast<const TNamed&>(*query.GetCurrentObj());
        rows[n.Key] = n;
      } while (query.FindNext());
    }
    return rows;
  }

  std::unique_ptr<TObjectDatabase> db_;
};

void ExpectSame(const std::map<std::string, TNamed>& A, const std::map<std::string, TNamed>& B) {
  ASSERT_EQ(A.size(), B.size());
  for (const auto& [key, n] : A) {
    auto it = B.find(key);
    ASSERT_NE(it, B.end());
    EXPECT_EQ(it->second.Note, n.Note);
    EXPECT_EQ(it->second.Value, n.Value);
  }
}

TEST_F(SqlSecurity, HostileKeysAreStoredFoundUpdatedAndDeletedExactly) {
  TObjectUpdate update(*db_, "Named", TNamedMapping::StaticClass());
  TObjectQuery query(*db_, "Named", TNamedMapping::StaticClass());
  // Decoys that a broken literal would match: the empty key, "1", and keys
  // that are prefixes of hostile ones.
  const std::vector<TNamed> decoys = {TNamed("", "empty", -1), TNamed("1", "one", -2),
                                      TNamed("x", "prefix", -3), TNamed("Robert", "bobby", -4)};
  for (const TNamed& d : decoys) update.Insert(&d);

  const std::vector<std::string> keys = HostileKeys();
  int value = 0;
  for (const std::string& key : keys) {
    SCOPED_TRACE("hostile key " + std::to_string(value + 1));
    ASSERT_LE(key.size(), 255u);
    const TNamed obj(key, "note of " + key, ++value);

    // Not there yet: a hostile literal must not match any decoy.
    EXPECT_EQ(query.Search(&obj), nullptr);
    const auto before = AllRows();

    update.Insert(&obj);
    auto* found = static_cast<TNamed*>(query.Search(&obj));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->Key, key);
    EXPECT_EQ(found->Note, obj.Note);
    EXPECT_EQ(found->Value, value);
    auto after = AllRows();
    EXPECT_EQ(after.size(), before.size() + 1);
    after.erase(key);
    ExpectSame(before, after);

    const TNamed changed(key, key + key, value + 1000);
    update.Update(&changed);
    found = static_cast<TNamed*>(query.Search(&obj));
    ASSERT_NE(found, nullptr);
    // The image keeps the whole note (the column holds what fits).
    EXPECT_EQ(found->Note, key + key);
    EXPECT_EQ(found->Value, value + 1000);
    after = AllRows();
    after.erase(key);
    ExpectSame(before, after);

    update.Delete(&obj);
    EXPECT_EQ(query.Search(&obj), nullptr);
    ExpectSame(before, AllRows());
  }
  // The decoys are all still there, unchanged.
  const auto rows = AllRows();
  ASSERT_EQ(rows.size(), decoys.size());
  for (const TNamed& d : decoys) EXPECT_EQ(rows.at(d.Key).Note, d.Note);
}

// All hostile rows side by side: each is found as itself among the others,
// by SQL and by record access.
TEST_F(SqlSecurity, HostileKeysSideBySide) {
  TObjectUpdate update(*db_, "Named", TNamedMapping::StaticClass());
  const std::vector<std::string> keys = HostileKeys();
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const TNamed obj(keys[i], "n", static_cast<std::int32_t>(i));
    update.Insert(&obj);
  }
  TObjectQuery query(*db_, "Named", TNamedMapping::StaticClass());
  TObjectFile file(*db_, "Named", TNamedMapping::StaticClass());
  file.Open();
  EXPECT_EQ(file.GetObjectCount(), static_cast<std::int32_t>(keys.size()));
  for (std::size_t i = 0; i < keys.size(); ++i) {
    SCOPED_TRACE(i);
    const TNamed probe(keys[i], "", 0);
    auto* found = static_cast<TNamed*>(query.Search(&probe));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->Value, static_cast<std::int32_t>(i));
    file.SetCurrentObj(&probe);
    ASSERT_TRUE(file.FindExact());
    EXPECT_EQ(static_cast<TNamed*>(file.GetCurrentObj())->Value, static_cast<std::int32_t>(i));
  }
}

// A key longer than the field is cut to its 255 characters on every path, so
// the object that was stored is found with the same long key.
TEST_F(SqlSecurity, OverlongKeyIsCutAlike) {
  TObjectUpdate update(*db_, "Named", TNamedMapping::StaticClass());
  const std::string longKey = std::string(300, '\'');
  const TNamed obj(longKey, "long", 1);
  update.Insert(&obj);
  TObjectQuery query(*db_, "Named", TNamedMapping::StaticClass());
  ASSERT_NE(query.Search(&obj), nullptr);
  const TNamed cut(std::string(255, '\''), "", 0);
  ASSERT_NE(query.Search(&cut), nullptr);
  const TNamed shorter(std::string(254, '\''), "", 0);
  EXPECT_EQ(query.Search(&shorter), nullptr);
  update.Delete(&obj);
  EXPECT_EQ(query.Search(&cut), nullptr);
}

// A hostile table name cannot reach beyond the name.
TEST_F(SqlSecurity, HostileTableName) {
  TObjectUpdate update(*db_, "Named\"; drop table Named; --", TNamedMapping::StaticClass());
  const TNamed obj("k", "n", 1);
  EXPECT_THROW(update.Insert(&obj), EOdbObjectFileDoesNotExist);
  TObjectUpdate good(*db_, "Named", TNamedMapping::StaticClass());
  good.Insert(&obj);
  TObjectQuery query(*db_, "Named", TNamedMapping::StaticClass());
  EXPECT_NE(query.Search(&obj), nullptr);
}

}  // namespace
