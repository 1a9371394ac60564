// The pieces of the PostgreSQL driver that need no server: identifiers,
// connection strings, parameters in the binary wire format, and how a
// violated constraint is traced back to the mapping's index.
#include <gtest/gtest.h>

#include "ExpectRaises.h"
#include "PgTestSupport.h"
#include "corvid/drivers/postgresql/PgLibpq.h"
#include "corvid/drivers/postgresql/PgSchema.h"
#include "corvid/drivers/postgresql/PgSession.h"
#include "corvid/odb/OdbErrors.h"
#include "corvid/odb/OdbMapping.h"

namespace pgtest {
namespace {

using namespace corvid;
using namespace corvid::pgsql;

TEST(PgHelpers, IdentifiersAreFoldedAndQuotedSafely) {
  EXPECT_EQ(FoldIdent("Persons"), "persons");
  EXPECT_EQ(QuoteIdent("Persons"), "\"persons\"");
  // A quote inside a name is doubled; a NUL cannot be sent and is left out.
  EXPECT_EQ(QuoteIdent(std::string("a\"b\0c", 5)), "\"a\"\"bc\"");
  // The server keeps 63 bytes of a name.
  EXPECT_EQ(FoldIdent(std::string(70, 'X')), std::string(63, 'x'));
}

TEST(PgHelpers, ServerStringsAreToldFromHostNames) {
  EXPECT_FALSE(LooksLikeConnInfo("db.example.org"));
  EXPECT_FALSE(LooksLikeConnInfo("127.0.0.1:5433"));
  EXPECT_FALSE(LooksLikeConnInfo("/var/run/postgresql"));
  EXPECT_TRUE(LooksLikeConnInfo("host=db port=5433"));
  EXPECT_TRUE(LooksLikeConnInfo("postgresql://user@db/name"));
  EXPECT_TRUE(LooksLikeConnInfo("postgres://db"));
}

TEST(PgHelpers, ParametersUseNetworkByteOrder) {
  TPgParams p;
  p.AddInt4(0x01020304);
  p.AddInt8(-2);
  p.AddFloat8(1.0);
  p.AddText("abc");
  EXPECT_EQ(p.Count(), 4);
  EXPECT_EQ(p.Next(), 5);
  EXPECT_EQ(p.Values()[0], std::string("\x01\x02\x03\x04", 4));
  EXPECT_EQ(p.Values()[1], std::string(7, '\xff') + '\xfe');
  EXPECT_EQ(p.Values()[2], std::string("\x3f\xf0\0\0\0\0\0\0", 8));
  EXPECT_EQ(p.Values()[3], "abc");
}

TEST(PgHelpers, RowLockKeysNeverMeetTheTableKey) {
  EXPECT_EQ(RowLockKey(1), 1);
  EXPECT_EQ(RowLockKey(2147483647), 2147483647);
  EXPECT_EQ(RowLockKey(2147483648LL), 1);  // folded, not 0 and not negative
  EXPECT_GT(RowLockKey(9000000000000000000LL), 0);
}

TEST(PgHelpers, TableDescriptionFollowsTheMapping) {
  std::unique_ptr<TORMapping> m = CreateMapping(TItemMapping::StaticClass(), nullptr);
  const TTableDef def = TTableDef::FromMapping("Items", m->GetFields(), m->GetIndices());
  ASSERT_EQ(def.Columns.size(), 4u);
  ASSERT_EQ(def.Indices.size(), 4u);
  EXPECT_EQ(def.Primary, 0);
  EXPECT_TRUE(def.Indices[1].CaseInsensitive);
  EXPECT_FALSE(def.Indices[1].Unique);
  EXPECT_TRUE(def.Indices[2].Unique);
  EXPECT_TRUE(def.Indices[2].Descending);
  EXPECT_EQ(def.FindIndex("bycode"), 2);
  EXPECT_EQ(def.FindIndex("NoSuch"), -1);
  // Key expressions: byte order for strings, lower() when case-insensitive.
  EXPECT_EQ(KeyExpr(def, def.Indices[1], 0), "lower(\"name\") collate \"C\"");
  EXPECT_EQ(KeyParamExpr(def, def.Indices[1], 0, 3), "lower($3)");
  // ByWeightName: Weight (column 2) then Name (column 0).
  ASSERT_EQ(def.Indices[3].Columns, (std::vector<int>{2, 0}));
  EXPECT_EQ(KeyExpr(def, def.Indices[3], 2), "\"weight\"");
  EXPECT_EQ(KeyExpr(def, def.Indices[3], 0), "\"name\" collate \"C\"");
  // Constraint names back to index names.
  EXPECT_EQ(def.IndexForConstraint("items_bycode"), "ByCode");
  EXPECT_EQ(def.IndexForConstraint("items_pkey"), "ById");
  EXPECT_EQ(def.IndexForConstraint("something_else"), "something_else");
}

TEST(PgHelpers, AnIndexOnAMissingFieldIsReported) {
  std::unique_ptr<TORMapping> m = CreateMapping(TItemMapping::StaticClass(), nullptr);
  m->AddIndex("Broken", {}, {"Name", "NoSuchField"});
  corvid::test::ExpectRaises<EOdbFieldDoesNotExist>(
      [&] { TTableDef::FromMapping("Items", m->GetFields(), m->GetIndices()); }, "NoSuchField");
}

}  // namespace
}  // namespace pgtest
