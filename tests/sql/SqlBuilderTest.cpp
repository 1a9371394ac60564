// The statement builders: the worked example line for line, the edge cases
// of the text format, failures that leave the output alone, and quoting.
#include <gtest/gtest.h>

#include <charconv>
#include <memory>
#include <string>
#include <vector>

#include "ExpectRaises.h"
#include "SqlTestTypes.h"
#include "corvid/containers/ObjList.h"
#include "corvid/containers/ObjType.h"
#include "corvid/odb/OdbErrors.h"
#include "corvid/odb/OdbMapping.h"
#include "corvid/odb/OdbSql.h"

using corvid::test::ExpectRaises;

namespace {

using namespace corvid;
using sqltest::TFreeMapping;
using sqltest::TPerson;
using sqltest::TPersonMapping;
using Lines = std::vector<std::string>;

std::unique_ptr<TORMapping> MakeMapping(TClass MappingClass) {
  return CreateMapping(MappingClass, nullptr);
}

// The worked example: Ann, 30, 61.5, 7.
std::unique_ptr<TORMapping> WorkedExample() {
  auto mapping = MakeMapping(TPersonMapping::StaticClass());
  TPerson ann("Ann", 30, 61.5, 7);
  mapping->UpdateFieldsFromObj(&ann);
  return mapping;
}

TEST(SqlBuilders, WorkedExampleCreateTable) {
  auto mapping = WorkedExample();
  TStringList s;
  BuildCreateTableStatement(s, *mapping, "Persons", "varchar", "integer", "float", "blob");
  EXPECT_EQ(s.Lines(), (Lines{"create table Persons", "(", "Name varchar(30) ", ",", "Age integer ",
                              ",", "Weight float ", ",", "Id integer not null", ",", "Object blob,",
                              "primary key (Id)", ")"}));
}

TEST(SqlBuilders, WorkedExampleSelectDeleteInsert) {
  auto mapping = WorkedExample();
  TStringList s;
  BuildSelectObjectQuery(s, *mapping, "Persons");
  EXPECT_EQ(s.Lines(), (Lines{"select * from Persons", "where Id = '7'"}));
  BuildDeleteStatement(s, *mapping, "Persons");
  EXPECT_EQ(s.Lines(), (Lines{"delete from Persons", "where Id = '7'"}));
  BuildInsertStatement(s, mapping->GetFields(), "Persons");
  EXPECT_EQ(s.Lines(), (Lines{"insert into Persons", "( Name, Age, Weight, Id)",
                              "values ('Ann', 30, 61.500000000000000, 7)"}));
  std::string clause = "old";
  BuildSelectWhereClause(clause, *mapping, "Persons");
  EXPECT_EQ(clause, "where Id = '7'");
}

TEST(SqlBuilders, EachBuilderReplacesEarlierContent) {
  auto mapping = WorkedExample();
  TStringList s{"left over", "lines"};
  BuildSelectObjectQuery(s, *mapping, "Persons");
  EXPECT_EQ(s.Count(), 2);
  s = TStringList{"left over"};
  BuildInsertStatement(s, mapping->GetFields(), "Persons");
  EXPECT_EQ(s.Count(), 3);
  EXPECT_EQ(s.Get(1), "insert into Persons");
  s = TStringList{"left over"};
  BuildCreateTableStatement(s, *mapping, "Persons", "a", "b", "c", "d");
  EXPECT_EQ(s.Get(1), "create table Persons");
}

TEST(SqlBuilders, CompositeKeyWhereClauseInKeyOrder) {
  auto mapping = MakeMapping(TFreeMapping::StaticClass());
  mapping->AddField("FirstName", oftString, 20)->SetAsString("John");
  mapping->AddField("LastName", oftString, 20)->SetAsString("Smith");
  mapping->AddIndex("ByName", {iaPrimary}, {"LastName", "FirstName"});
  std::string clause;
  BuildSelectWhereClause(clause, *mapping, "T");
  EXPECT_EQ(clause, "where LastName = 'Smith' and FirstName = 'John'");
  // The select with its values apart says the same, value for value.
  mapping->FieldByName("FirstName")->SetAsString("O'Hara");
  TStringList select;
  TSqlValues apart;
  BuildSelectObjectQuery(select, apart, *mapping, "T");
  EXPECT_EQ(select.Lines(),
            (Lines{"select * from T", "where LastName = 'Smith' and FirstName = 'O''Hara'"}));
  EXPECT_EQ(apart.Literal(), select.Text());
  EXPECT_EQ(apart.Parameterised('$'), "select * from T\nwhere LastName = $1 and FirstName = $2");
  EXPECT_EQ(apart.Values, (Lines{"Smith", "O'Hara"}));
  // Both key fields are "not null"; the key clause keeps key order.
  TStringList s;
  BuildCreateTableStatement(s, *mapping, "T", "varchar", "integer", "float", "blob");
  EXPECT_EQ(s.Lines(), (Lines{"create table T", "(", "FirstName varchar(19) not null", ",",
                              "LastName varchar(19) not null", ",", "Object blob,",
                              "primary key (LastName,FirstName)", ")"}));
}

TEST(SqlBuilders, KeyFieldMatchedWithoutLetterCase) {
  auto mapping = MakeMapping(TFreeMapping::StaticClass());
  mapping->AddField("Code", oftInteger)->SetAsInteger(-12);
  mapping->AddIndex("P", {iaPrimary}, {"CODE"});
  TStringList s;
  BuildCreateTableStatement(s, *mapping, "T", "varchar", "int", "real", "blob");
  EXPECT_EQ(s.Lines(), (Lines{"create table T", "(", "Code int not null", ",", "Object blob,",
                              "primary key (CODE)", ")"}));
  std::string clause;
  BuildSelectWhereClause(clause, *mapping, "T");
  EXPECT_EQ(clause, "where CODE = '-12'");
}

TEST(SqlBuilders, TinyStringFieldAndFloatKey) {
  auto mapping = MakeMapping(TFreeMapping::StaticClass());
  mapping->AddField("Flag", oftString, 1);
  mapping->AddField("Price", oftFloat)->SetAsFloat(2.5);
  mapping->AddIndex("ByPrice", {iaPrimary}, {"Price"});
  TStringList s;
  BuildCreateTableStatement(s, *mapping, "T", "varchar", "integer", "float", "blob");
  EXPECT_EQ(s.Get(3), "Flag varchar(0) ");
  EXPECT_EQ(s.Get(5), "Price float not null");
  std::string clause;
  BuildSelectWhereClause(clause, *mapping, "T");
  EXPECT_EQ(clause, "where Price = '2.500000000000000'");
}

// SQL literals use '.' under any locale, while a field's text keeps the
// user's separator; a float literal reads back as the very double stored,
// in the 15-decimal form wherever that form does.
TEST(SqlBuilders, FloatLiteralsIgnoreTheLocaleAndReadBackExactly) {
  const sqltest::TCommaLocale comma;
  auto example = WorkedExample();
  TStringList s;
  BuildInsertStatement(s, example->GetFields(), "Persons");
  EXPECT_EQ(s.Get(3), "values ('Ann', 30, 61.500000000000000, 7)");
  EXPECT_EQ(example->FieldByName("Weight")->GetAsString(), "61,500000000000000");

  auto mapping = MakeMapping(TFreeMapping::StaticClass());
  TOdbField* price = mapping->AddField("Price", oftFloat);
  mapping->AddIndex("ByPrice", {iaPrimary}, {"Price"});
  std::string clause;
  price->SetAsFloat(2.5);
  BuildSelectWhereClause(clause, *mapping, "T");
  EXPECT_EQ(clause, "where Price = '2.500000000000000'");
  for (const double v : {1.0 / 3, 0.1 + 0.2, -2.5e-7, 1e-20, 123456789012.3456789, 1e300}) {
    price->SetAsFloat(v);
    BuildSelectWhereClause(clause, *mapping, "T");
    const std::string literal = clause.substr(15, clause.size() - 16);
    double back = 0;
    const auto r = std::from_chars(literal.data(), literal.data() + literal.size(), back);
    EXPECT_TRUE(r.ec == std::errc() && r.ptr == literal.data() + literal.size()) << clause;
    EXPECT_EQ(back, v) << clause;
  }
}

TEST(SqlBuilders, InsertOnEmptyFieldList) {
  TUnorderedList fields(TOdbField::StaticClass(), CompareOdbField);
  TStringList s{"x"};
  BuildInsertStatement(s, fields, "T");
  EXPECT_EQ(s.Lines(), (Lines{"insert into T", "( )", "values ()"}));
}

TEST(SqlBuilders, InsertWritesOnlyStringsQuoted) {
  auto mapping = MakeMapping(TFreeMapping::StaticClass());
  mapping->AddField("N", oftInteger)->SetAsInteger(-3);
  mapping->AddField("S", oftString, 10)->SetAsString("");
  mapping->AddField("F", oftFloat)->SetAsFloat(-0.25);
  TStringList s;
  BuildInsertStatement(s, mapping->GetFields(), "T");
  EXPECT_EQ(s.Get(2), "( N, S, F)");
  EXPECT_EQ(s.Get(3), "values (-3, '', -0.250000000000000)");
}

TEST(SqlBuilders, PrimaryIndexWithoutFieldsGivesBareWhere) {
  auto mapping = MakeMapping(TFreeMapping::StaticClass());
  mapping->AddField("A", oftInteger);
  mapping->AddIndex("P", {iaPrimary}, {});
  std::string clause;
  BuildSelectWhereClause(clause, *mapping, "T");
  EXPECT_EQ(clause, "where ");
}

// A mapping without a primary index: every builder that needs one raises
// with the table name and leaves its output as it was.
TEST(SqlBuilders, MissingPrimaryIndexLeavesOutputAlone) {
  auto mapping = MakeMapping(TFreeMapping::StaticClass());
  mapping->AddField("A", oftInteger);
  mapping->AddIndex("U", {iaUnique}, {"A"});
  const TStringList before{"keep", "me"};
  TStringList s = before;
  ExpectRaises<EOdbTableMustHavePrimaryIndex>(
      [&] { BuildCreateTableStatement(s, *mapping, "Persons", "a", "b", "c", "d"); },
      ::testing::AllOf(::testing::StartsWith("EOdbTableMustHavePrimaryIndex"),
                       ::testing::EndsWith("Persons")));
  EXPECT_EQ(s, before);
  EXPECT_THROW(BuildSelectObjectQuery(s, *mapping, "Persons"), EOdbTableMustHavePrimaryIndex);
  EXPECT_EQ(s, before);
  EXPECT_THROW(BuildDeleteStatement(s, *mapping, "Persons"), EOdbTableMustHavePrimaryIndex);
  EXPECT_EQ(s, before);
  std::string clause = "keep";
  EXPECT_THROW(BuildSelectWhereClause(clause, *mapping, "Persons"), EOdbTableMustHavePrimaryIndex);
  EXPECT_EQ(clause, "keep");
  // The insert needs no key.
  BuildInsertStatement(s, mapping->GetFields(), "Persons");
  EXPECT_EQ(s.Count(), 3);
}

TEST(SqlBuilders, PrimaryIndexNamingMissingField) {
  auto mapping = MakeMapping(TFreeMapping::StaticClass());
  mapping->AddField("A", oftInteger);
  mapping->AddIndex("P", {iaPrimary}, {"A", "Ghost"});
  const TStringList before{"keep"};
  TStringList s = before;
  ExpectRaises<EOdbFieldDoesNotExist>([&] { BuildSelectObjectQuery(s, *mapping, "T"); }, "Ghost");
  EXPECT_EQ(s, before);
  EXPECT_THROW(BuildDeleteStatement(s, *mapping, "T"), EOdbFieldDoesNotExist);
  EXPECT_EQ(s, before);
}

// Values in quotes have their quotes doubled: the literal always ends where
// the value ends.
TEST(SqlBuilders, QuotesInsideValuesAreDoubled) {
  EXPECT_EQ(QuoteSqlValue(""), "''");
  EXPECT_EQ(QuoteSqlValue("O'Brien"), "'O''Brien'");
  EXPECT_EQ(QuoteSqlValue("'"), "''''");
  EXPECT_EQ(QuoteSqlValue("';--"), "''';--'");
  EXPECT_EQ(QuoteSqlValue("\" or 1=1"), "'\" or 1=1'");

  auto mapping = MakeMapping(TFreeMapping::StaticClass());
  mapping->AddField("K", oftString, 41)->SetAsString("x' or '1'='1");
  mapping->AddField("V", oftString, 41)->SetAsString("a'b");
  mapping->AddIndex("P", {iaPrimary}, {"K"});
  TStringList s;
  BuildSelectObjectQuery(s, *mapping, "T");
  EXPECT_EQ(s.Get(2), "where K = 'x'' or ''1''=''1'");
  BuildDeleteStatement(s, *mapping, "T");
  EXPECT_EQ(s.Get(2), "where K = 'x'' or ''1''=''1'");
  BuildInsertStatement(s, mapping->GetFields(), "T");
  EXPECT_EQ(s.Get(3), "values ('x'' or ''1''=''1', 'a''b')");
}

TEST(StringList, TextAndLines) {
  TStringList s;
  EXPECT_TRUE(s.IsEmpty());
  EXPECT_EQ(s.Text(), "");
  s.Add("select * from T");
  s.Add("where A = '1'");
  EXPECT_EQ(s.Text(), "select * from T\nwhere A = '1'");
  EXPECT_EQ(s.Get(2), "where A = '1'");
  EXPECT_THROW(s.Get(0), EInvalidIndex);
  EXPECT_THROW(s.Get(3), EInvalidIndex);

  s.SetText("a\r\nb\n\nc");
  EXPECT_EQ(s.Lines(), (Lines{"a", "b", "", "c"}));
  s.SetText("");
  EXPECT_EQ(s.Count(), 0);
  s.SetText("one\r\n");
  EXPECT_EQ(s.Lines(), (Lines{"one"}));
  s.SetText("\n");
  EXPECT_EQ(s.Lines(), (Lines{""}));
  s.Clear();
  EXPECT_TRUE(s.IsEmpty());
}

// Search trusts a select statement whose version is unchanged to hold the
// lines it wrote: every change must give a new version, a copy the same.
TEST(StringList, VersionFollowsTheLines) {
  TStringList s;
  s.SetText("a\nb");
  const std::uint64_t v = s.Version();
  TStringList copy = s;
  EXPECT_EQ(copy.Version(), v);
  std::uint64_t last = v;
  const auto changes = [&last](const TStringList& List) {
    const bool changed = List.Version() != last;
    last = List.Version();
    return changed;
  };
  s.SetText("a\nb");
  EXPECT_TRUE(changes(s));
  s.SetText("a\nb");
  EXPECT_TRUE(changes(s));
  s.Add("c");
  EXPECT_TRUE(changes(s));
  s.AssignTwo("a", [](std::string& Line) { Line = "b"; });
  EXPECT_TRUE(changes(s));
  s.Clear();
  EXPECT_TRUE(changes(s));
  s = copy;  // back to the lines of v, and to v
  EXPECT_EQ(s.Version(), v);
  const TStringList moved = std::move(copy);
  EXPECT_EQ(moved.Version(), v);
  EXPECT_TRUE(copy.IsEmpty());  // NOLINT(bugprone-use-after-move): left empty
  EXPECT_NE(copy.Version(), v);
}

}  // namespace
