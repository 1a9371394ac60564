// The class model: display texts, read-back rules, every rule with its
// message and box kind, and the Add, Edit and Delete commands.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "WizardTestUtil.h"
#include "corvid/values/ObjBuckt.h"
#include "corvid/wizard/CodeGen.h"

namespace corvid::test {
namespace {

class ModelTest : public ::testing::Test {
 protected:
  ModelTest() { log.Attach(m); }

  void ExpectError(const std::string& Text) {
    EXPECT_EQ(log.Only(), std::make_pair(Text, wmError));
    log.Clear();
  }

  TClassModel m;
  TMessageLog log;
};

// --- general values and derived names ----------------------------------------

TEST_F(ModelTest, StartsWithTheInitialTextsAndDerivesNames) {
  EXPECT_EQ(m.GetFileName(), "SampObj.Pas");
  EXPECT_EQ(m.GetClassName(), "TSampleObject");
  EXPECT_EQ(m.GetAncestorClass(), "TObject");
  EXPECT_EQ(m.ObjectVarName(), "SampleObject");
  EXPECT_EQ(m.MappingClassName(), "TSampleObjectORMapping");
  EXPECT_EQ(UnitNameFromFile(m.GetFileName()), "SampObj");
  EXPECT_EQ(m.MemberCount(), 0);
  EXPECT_EQ(m.FieldCount(), 0);
  EXPECT_EQ(m.IndexCount(), 0);

  m.SetClassName("X");
  EXPECT_EQ(m.ObjectVarName(), "");
  m.SetClassName("");
  EXPECT_EQ(m.ObjectVarName(), "");
  EXPECT_EQ(m.MappingClassName(), "ORMapping");
  // Values are kept as typed.
  m.SetClassName(" TPadded ");
  EXPECT_EQ(m.ObjectVarName(), "TPadded ");
}

TEST_F(ModelTest, UnitNameDropsDirectoryAndLastExtensionOnly) {
  EXPECT_EQ(UnitNameFromFile("C:\\Src\\SampObj.Pas"), "SampObj");
  EXPECT_EQ(UnitNameFromFile("/src/Orders.old.pas"), "Orders.old");
  EXPECT_EQ(UnitNameFromFile("NoExt"), "NoExt");
  EXPECT_EQ(UnitNameFromFile("dir.d/NoExt"), "NoExt");
  EXPECT_EQ(UnitNameFromFile("C:Orders.pas"), "Orders");
  EXPECT_EQ(UnitNameFromFile("time 10:30.pas"), "time 10:30");
}

TEST_F(ModelTest, PageRules) {
  EXPECT_TRUE(m.CanMovePage(0, 1));
  m.SetAncestorClass("");
  EXPECT_TRUE(m.CanMovePage(0, 1));
  m.SetFileName("");
  EXPECT_FALSE(m.CanMovePage(0, 1));
  ExpectError("Value is required.");
  m.SetFileName("a.pas");
  m.SetClassName("");
  EXPECT_FALSE(m.CanMovePage(0, 1));
  ExpectError("Value is required.");

  EXPECT_FALSE(m.CanMovePage(1, 2));
  ExpectError("The data member list is empty.");
  EXPECT_TRUE(m.CanMovePage(1, 0));  // going back checks nothing
  EXPECT_TRUE(m.CanMovePage(2, 1));
  ASSERT_TRUE(m.AddDataMember(Member("A", kInteger)));
  EXPECT_TRUE(m.CanMovePage(1, 2));
  EXPECT_TRUE(log.Shown.empty());
}

// --- data members --------------------------------------------------------------

TEST_F(ModelTest, MemberDisplayTextAndReadBack) {
  ASSERT_TRUE(m.AddDataMember(Member("Count", kInteger)));
  EXPECT_EQ(m.MemberText(1), "Count" + std::string(15, ' ') + " : Integer");
  EXPECT_EQ(m.MemberName(1), "Count");
  EXPECT_EQ(m.MemberTypeIndex(1), kInteger);
  EXPECT_EQ(m.MemberTypeText(1), "Integer");

  ASSERT_TRUE(m.AddDataMember(Member("Child", kObject, "TChild")));
  EXPECT_EQ(m.MemberText(2), "Child" + std::string(15, ' ') + " : TChild");
  EXPECT_EQ(m.MemberTypeText(2), "TChild");

  // Leading blanks typed before the name are not read back.
  ASSERT_TRUE(m.AddDataMember(Member("   Lead", kString)));
  EXPECT_EQ(m.MemberName(3), "Lead");

  // The class name of a non-Object member is ignored.
  ASSERT_TRUE(m.AddDataMember(Member("Plain", kInteger, "TIgnored")));
  EXPECT_EQ(m.MemberText(4), "Plain" + std::string(15, ' ') + " : Integer");
}

TEST_F(ModelTest, LongNamesAreCutAtTwentyAndNamesAtAColon) {
  ASSERT_TRUE(m.AddDataMember(Member("ABCDEFGHIJKLMNOPQRSTUVWXY", kInteger)));
  EXPECT_EQ(m.MemberText(1), "ABCDEFGHIJKLMNOPQRST : Integer");
  EXPECT_EQ(m.MemberName(1), "ABCDEFGHIJKLMNOPQRST");

  ASSERT_TRUE(m.AddDataMember(Member("Ab:cd", kObject, "TOne:TTwo")));
  EXPECT_EQ(m.MemberName(2), "Ab");
  // The second colon-delimited word is the rest of the name, not the class.
  EXPECT_EQ(m.MemberTypeText(2), "cd");

  ASSERT_TRUE(m.AddDataMember(Member("Kid", kObject, "TOne:TTwo")));
  EXPECT_EQ(m.MemberTypeText(3), "TOne");
}

TEST_F(ModelTest, MemberTypeTable) {
  const char* names[13] = {"Boolean",  "Byte",    "Char",    "Comp",     "Double",
                           "Extended", "Integer", "LongInt", "ShortInt", "Single",
                           "String",   "Word",    "Object"};
  for (std::int32_t i = 0; i < 13; ++i) {
    std::string s;
    MemberTypeName(i, s);
    EXPECT_EQ(s, names[i]);
    EXPECT_EQ(MemberTypeFromName(names[i]), i);
  }
  std::string keep = "unchanged";
  MemberTypeName(13, keep);
  MemberTypeName(-1, keep);
  EXPECT_EQ(keep, "unchanged");
  EXPECT_EQ(MemberTypeFromName("integer"), -1);
  EXPECT_STREQ(MemberStreamKind(3), "Float");
  EXPECT_STREQ(MemberStreamKind(1), "Integer");
  EXPECT_STREQ(MemberStreamKind(11), "Integer");
  EXPECT_STREQ(MemberStreamKind(12), "ChildObject");
}

TEST_F(ModelTest, MemberDialogRulesInOrder) {
  EXPECT_FALSE(m.AddDataMember(Member("", kObject, "")));
  ExpectError("Value is required.");
  EXPECT_FALSE(m.AddDataMember(Member("Child", kObject, "")));
  ExpectError("A class name must be specified for an\robject data member.");
  EXPECT_EQ(m.MemberCount(), 0);
  // The dialog's own check, with no model change.
  EXPECT_FALSE(m.CheckMemberInput(Member("", kInteger)));
  ExpectError("Value is required.");
  EXPECT_TRUE(m.CheckMemberInput(Member("A", kInteger)));
  EXPECT_EQ(MemberInputError(Member("A", kInteger, "")), "");
  EXPECT_TRUE(log.Shown.empty());
}

TEST_F(ModelTest, EditAndDeleteMembers) {
  ASSERT_TRUE(m.AddDataMember(Member("A", kInteger)));
  ASSERT_TRUE(m.AddDataMember(Member("B", kObject, "TB")));
  ASSERT_TRUE(m.AddDataMember(Member("C", kString)));

  const TMemberInput pre = m.MemberInputAt(2);
  EXPECT_EQ(pre.Name, "B");
  EXPECT_EQ(pre.TypeIndex, kObject);
  EXPECT_EQ(pre.ClassName, "");  // asked for again
  EXPECT_FALSE(m.EditDataMember(2, pre));
  ExpectError("A class name must be specified for an\robject data member.");
  EXPECT_EQ(m.MemberTypeText(2), "TB");

  ASSERT_TRUE(m.EditDataMember(2, Member("Bee", 4)));
  EXPECT_EQ(m.MemberText(2), "Bee" + std::string(17, ' ') + " : Double");
  EXPECT_EQ(m.MemberTypeIndex(2), 4);

  log.Answer = wbNo;
  EXPECT_EQ(m.DeleteDataMembers({1, 3}), 0);
  EXPECT_EQ(log.Only(),
            std::make_pair(std::string("Delete selected data members ?"), wmConfirmation));
  EXPECT_EQ(m.MemberCount(), 3);
  log.Clear();
  log.Answer = wbYes;
  EXPECT_EQ(m.DeleteDataMembers({3, 1}), 2);
  ASSERT_EQ(m.MemberCount(), 1);
  EXPECT_EQ(m.MemberName(1), "Bee");
  // Asked also when nothing is selected.
  log.Clear();
  EXPECT_EQ(m.DeleteDataMembers({}), 0);
  EXPECT_EQ(log.Only().second, wmConfirmation);
  EXPECT_EQ(m.MemberCount(), 1);
}

TEST_F(ModelTest, BadPositionsAndTypesAreRefused) {
  EXPECT_THROW(m.MemberName(1), EModelPositionOutOfRange);
  EXPECT_THROW(m.FieldAt(0), EModelPositionOutOfRange);
  EXPECT_THROW(m.IndexAt(1), EModelPositionOutOfRange);
  EXPECT_THROW(m.AddDataMember(Member("A", 13)), EInvalidMemberType);
  EXPECT_THROW(m.AddDataMember(Member("A", -1)), EInvalidMemberType);
  EXPECT_THROW(m.AddField(Field("A", 4)), EInvalidFieldTypeRow);
  ASSERT_TRUE(m.AddDataMember(Member("A", kInteger)));
  EXPECT_THROW(m.EditDataMember(2, Member("B", kInteger)), EModelPositionOutOfRange);
  EXPECT_THROW(m.DeleteDataMembers({2}), EModelPositionOutOfRange);
  EXPECT_EQ(m.MemberCount(), 1);
  EXPECT_TRUE(log.Shown.empty());  // refused before asking
}

// --- fields ------------------------------------------------------------------

TEST_F(ModelTest, FieldDisplayTextShowsCapacityForStringsOnly) {
  ASSERT_TRUE(m.AddField(Field("Name", kRowString, "31")));
  ASSERT_TRUE(m.AddField(Field("Code", kRowString, "21")));
  ASSERT_TRUE(m.AddField(Field("Price", kRowFloat)));
  ASSERT_TRUE(m.AddField(Field("Qty", kRowInteger, "99")));
  ASSERT_TRUE(m.AddField(Field("ID", kRowAutoInc)));
  ASSERT_TRUE(m.AddField(Field("Big", kRowString, "256")));
  EXPECT_EQ(m.FieldText(1), "Name" + std::string(16, ' ') + " : String[30]");
  EXPECT_EQ(m.FieldText(2), "Code" + std::string(16, ' ') + " : String[20]");
  EXPECT_EQ(m.FieldText(3), "Price" + std::string(15, ' ') + " : Float");
  EXPECT_EQ(m.FieldText(4), "Qty" + std::string(17, ' ') + " : Integer");
  EXPECT_EQ(m.FieldText(5), "ID" + std::string(18, ' ') + " : Autoincrement");
  EXPECT_EQ(m.FieldText(6), "Big" + std::string(17, ' ') + " : String[255]");
  EXPECT_EQ(m.FieldAt(6)->GetSize(), 256);
  EXPECT_EQ(m.FieldAt(4)->GetSize(), 4);  // the size box is not looked at
  EXPECT_EQ(m.FieldAt(3)->GetSize(), 8);
  // Field names are kept whole.
  ASSERT_TRUE(m.AddField(Field("AVeryLongFieldNameOfThirty_", kRowFloat)));
  EXPECT_EQ(m.FieldAt(7)->GetName(), "AVeryLongFieldNameOfThirty_");
  EXPECT_EQ(m.FieldText(7), "AVeryLongFieldNameOf : Float");
}

TEST_F(ModelTest, FieldDialogRulesInOrder) {
  const std::string invalid =
      "String size not valid (2-256). Remember, the string\rsize includes the length byte.";
  struct {
    TFieldInput In;
    std::string Message;
  } cases[] = {
      {Field("", kRowString, ""), "The field must have a name."},
      {Field("", kRowFloat, "1"), "The field must have a name."},
      {Field("S", kRowString, ""), "A size must be specified for a string field."},
      {Field("S", kRowString, "   "), "A size must be specified for a string field."},
      {Field("S", kRowString, "1"), invalid},
      {Field("S", kRowString, "0"), invalid},
      {Field("S", kRowString, "257"), invalid},
      {Field("S", kRowString, "99999999999"), invalid},
      {Field("S", kRowString, "-5"), invalid},
      {Field("S", kRowString, "2x"), invalid},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(m.AddField(c.In)) << c.In.Name << "/" << c.In.SizeText;
    ExpectError(c.Message);
  }
  EXPECT_EQ(m.FieldCount(), 0);
  EXPECT_TRUE(m.AddField(Field("S2", kRowString, "2")));
  EXPECT_TRUE(m.AddField(Field("S256", kRowString, "256")));
  EXPECT_TRUE(m.AddField(Field("S3", kRowString, " 3 ")));
  EXPECT_TRUE(m.AddField(Field("F", kRowFloat, "")));
  EXPECT_TRUE(m.AddField(Field("I", kRowInteger, "junk")));
  EXPECT_EQ(m.FieldCount(), 5);
  EXPECT_EQ(m.FieldAt(3)->GetSize(), 3);
  EXPECT_TRUE(log.Shown.empty());
}

TEST_F(ModelTest, OnlyOneAutoIncrementField) {
  ASSERT_TRUE(m.AddField(Field("Key", kRowAutoInc)));
  ASSERT_TRUE(m.AddField(Field("Other", kRowInteger)));
  EXPECT_EQ(m.AutoIncField(), m.FieldAt(1));

  EXPECT_FALSE(m.AddField(Field("Key2", kRowAutoInc)));
  ExpectError("Only one autoincrement field may be defined.");
  EXPECT_EQ(m.FieldCount(), 2);

  // Turning another field into an autoincrement one is refused, unchanged.
  EXPECT_FALSE(m.EditField(2, Field("Renamed", kRowAutoInc)));
  ExpectError("Only one autoincrement field may be defined.");
  EXPECT_EQ(m.FieldAt(2)->GetName(), "Other");
  EXPECT_EQ(m.FieldAt(2)->GetFieldType(), oftInteger);

  // The autoincrement field itself may be edited and keep its type.
  EXPECT_TRUE(m.EditField(1, Field("Serial", kRowAutoInc)));
  EXPECT_EQ(m.FieldAt(1)->GetName(), "Serial");
  EXPECT_TRUE(log.Shown.empty());

  // Once it changes type, another field may become the autoincrement one.
  EXPECT_TRUE(m.EditField(1, Field("Serial", kRowInteger)));
  EXPECT_EQ(m.AutoIncField(), nullptr);
  EXPECT_TRUE(m.EditField(2, Field("Other", kRowAutoInc)));
  EXPECT_EQ(m.AutoIncField(), m.FieldAt(2));
  EXPECT_TRUE(log.Shown.empty());
}

TEST_F(ModelTest, EditFieldSetsTypeThenNameThenStringSize) {
  ASSERT_TRUE(m.AddField(Field("Name", kRowString, "31")));
  const TFieldInput pre = m.FieldInputAt(1);
  EXPECT_EQ(pre.Name, "Name");
  EXPECT_EQ(pre.TypeRow, kRowString);
  EXPECT_EQ(pre.SizeText, "31");

  ASSERT_TRUE(m.EditField(1, Field("Amount", kRowFloat, "31")));
  EXPECT_EQ(m.FieldAt(1)->GetSize(), 8);
  EXPECT_EQ(m.FieldText(1), "Amount" + std::string(14, ' ') + " : Float");
  EXPECT_EQ(m.FieldInputAt(1).SizeText, "8");

  ASSERT_TRUE(m.EditField(1, Field("Title", kRowString, "11")));
  EXPECT_EQ(m.FieldAt(1)->GetSize(), 11);
  EXPECT_EQ(m.FieldText(1), "Title" + std::string(15, ' ') + " : String[10]");

  // A broken dialog rule leaves the field alone.
  EXPECT_FALSE(m.EditField(1, Field("", kRowInteger)));
  ExpectError("The field must have a name.");
  EXPECT_EQ(m.FieldAt(1)->GetName(), "Title");
  EXPECT_EQ(m.FieldAt(1)->GetSize(), 11);
}

TEST_F(ModelTest, RenamingAFieldLeavesIndexFieldListsAlone) {
  ASSERT_TRUE(m.AddField(Field("ID", kRowInteger)));
  ASSERT_TRUE(m.AddIndex({"ByID", true, false, false, false, {"ID"}}));
  ASSERT_TRUE(m.EditField(1, Field("Key", kRowInteger)));
  EXPECT_EQ(m.IndexInputAt(1).Fields, std::vector<std::string>{"ID"});
  EXPECT_TRUE(m.FieldUsedByIndex("id"));
  EXPECT_FALSE(m.FieldUsedByIndex("Key"));

  // The edit dialog shows the stale name in the index and all fields offered.
  std::vector<std::string> available, indexFields;
  m.FillIndexDialogLists(1, available, indexFields);
  EXPECT_EQ(available, std::vector<std::string>{"Key"});
  EXPECT_EQ(indexFields, std::vector<std::string>{"ID"});
}

TEST_F(ModelTest, DeleteFieldsKeepsThoseUsedByAnIndex) {
  ASSERT_TRUE(m.AddField(Field("A", kRowInteger)));
  ASSERT_TRUE(m.AddField(Field("id", kRowInteger)));
  ASSERT_TRUE(m.AddField(Field("C", kRowFloat)));
  ASSERT_TRUE(m.AddField(Field("D", kRowFloat)));
  ASSERT_TRUE(m.AddIndex({"ByID", true, false, false, false, {"ID"}}));  // other letter case

  log.Answer = wbNo;
  EXPECT_EQ(m.DeleteFields({1, 2, 3}), 0);
  EXPECT_EQ(log.Only(), std::make_pair(std::string("Delete selected fields ?"), wmConfirmation));
  EXPECT_EQ(m.FieldCount(), 4);

  log.Clear();
  log.Answer = wbYes;
  EXPECT_EQ(m.DeleteFields({1, 2, 3}), 2);
  ASSERT_EQ(log.Shown.size(), 2u);
  EXPECT_EQ(log.Shown[1],
            std::make_pair(std::string("Unable to delete field id.\rField is used by an index."),
                           wmInformation));
  std::vector<std::string> names;
  m.FillFieldNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"id", "D"}));
}

TEST_F(ModelTest, FieldUsedByIndexAndFillFieldNames) {
  std::vector<std::string> names{"stale"};
  m.FillFieldNames(names);
  EXPECT_TRUE(names.empty());
  EXPECT_FALSE(m.FieldUsedByIndex("A"));
  ASSERT_TRUE(m.AddField(Field("B", kRowInteger)));
  ASSERT_TRUE(m.AddField(Field("A", kRowInteger)));
  ASSERT_TRUE(m.AddField(Field("B", kRowFloat)));  // duplicates are accepted
  ASSERT_TRUE(m.AddIndex({"X", false, false, false, false, {"a"}}));
  ASSERT_TRUE(m.AddIndex({"Y", false, false, false, false, {"Q", "b"}}));
  m.FillFieldNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"B", "A", "B"}));
  EXPECT_TRUE(m.FieldUsedByIndex("A"));
  EXPECT_TRUE(m.FieldUsedByIndex("B"));
  EXPECT_TRUE(m.FieldUsedByIndex("q"));
  EXPECT_FALSE(m.FieldUsedByIndex("C"));
  EXPECT_FALSE(m.FieldUsedByIndex(""));
}

// --- indices ---------------------------------------------------------------------

TEST_F(ModelTest, IndexDialogRulesInOrder) {
  EXPECT_FALSE(m.AddIndex({"", false, false, false, false, {}}));
  ExpectError("The index must have a name.");
  EXPECT_FALSE(m.AddIndex({"", true, false, false, false, {"A"}}));
  ExpectError("The index must have a name.");
  EXPECT_FALSE(m.AddIndex({"ByA", true, false, false, false, {}}));
  ExpectError("The index field list is empty.");
  EXPECT_EQ(m.IndexCount(), 0);
}

TEST_F(ModelTest, AddEditAndDeleteIndices) {
  ASSERT_TRUE(m.AddField(Field("A", kRowInteger)));
  ASSERT_TRUE(m.AddField(Field("B", kRowString, "10")));
  ASSERT_TRUE(m.AddField(Field("C", kRowFloat)));
  EXPECT_TRUE(m.NewIndexInput().Primary);  // the first index is offered as primary
  ASSERT_TRUE(m.AddIndex({"ByAB", true, false, true, false, {"A", "B"}}));
  EXPECT_FALSE(m.NewIndexInput().Primary);
  ASSERT_TRUE(m.AddIndex({"ByC", false, true, false, true, {"C"}}));
  ASSERT_TRUE(m.AddIndex({"Any", false, false, false, false, {"B"}}));  // no attributes

  TOdbIndex* x = m.IndexAt(1);
  EXPECT_EQ(m.IndexText(1), "ByAB");
  EXPECT_EQ(x->GetAttributes(), (TOdbIndexAttributes{iaPrimary, iaDescending}));
  EXPECT_EQ(x->FieldNamesAsString(','), "A,B");
  EXPECT_EQ(m.IndexAt(2)->GetAttributes(), (TOdbIndexAttributes{iaUnique, iaCaseInsensitive}));
  EXPECT_TRUE(m.IndexAt(3)->GetAttributes().IsEmpty());

  std::vector<std::string> available, indexFields;
  m.FillIndexDialogLists(1, available, indexFields);
  EXPECT_EQ(available, std::vector<std::string>{"C"});
  EXPECT_EQ(indexFields, (std::vector<std::string>{"A", "B"}));
  m.FillIndexDialogLists(0, available, indexFields);
  EXPECT_EQ(available, (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_TRUE(indexFields.empty());

  TIndexInput in = m.IndexInputAt(1);
  EXPECT_EQ(in.Name, "ByAB");
  EXPECT_TRUE(in.Primary && in.Descending && !in.Unique && !in.CaseInsensitive);
  in.Name = "ByCA";
  in.Primary = false;
  in.Unique = true;
  in.Fields = {"C", "A"};
  ASSERT_TRUE(m.EditIndex(1, in));
  EXPECT_EQ(m.IndexText(1), "ByCA");
  EXPECT_EQ(m.IndexAt(1)->GetAttributes(), (TOdbIndexAttributes{iaUnique, iaDescending}));
  EXPECT_EQ(m.IndexAt(1)->FieldNamesAsString(','), "C,A");
  for (TObject* o : m.IndexAt(1)->FieldNames()) {
    EXPECT_EQ(static_cast<TStringCombo*>(o)->Obj, nullptr);
  }

  in.Fields.clear();
  EXPECT_FALSE(m.EditIndex(1, in));
  ExpectError("The index field list is empty.");
  EXPECT_EQ(m.IndexAt(1)->FieldNamesAsString(','), "C,A");

  log.Answer = wbYes;
  EXPECT_EQ(m.DeleteIndices({1, 3}), 2);
  EXPECT_EQ(log.Only(), std::make_pair(std::string("Delete selected indices ?"), wmConfirmation));
  ASSERT_EQ(m.IndexCount(), 1);
  EXPECT_EQ(m.IndexText(1), "ByC");
  // Fields used only by the deleted indices may go now.
  log.Clear();
  EXPECT_EQ(m.DeleteFields({1, 2}), 2);
  EXPECT_EQ(log.Only().second, wmConfirmation);
}

TEST_F(ModelTest, DefaultMessageFunctionDeclinesQuestions) {
  TClassModel quiet;
  ASSERT_TRUE(quiet.AddDataMember(Member("A", kInteger)));
  testing::internal::CaptureStderr();
  EXPECT_EQ(quiet.DeleteDataMembers({1}), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Delete selected data members ?\n");
  EXPECT_EQ(quiet.MemberCount(), 1);
}

}  // namespace
}  // namespace corvid::test
