// The generated unit: the worked example byte for byte, and the variations
// that members, fields and indices make in the text.
#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "ExpectRaises.h"
#include "FaultStream.h"
#include "WizardTestUtil.h"
#include "corvid/wizard/CodeGen.h"

namespace corvid::test {
namespace {

// Lines joined as the unit writes them: each ends with CR LF.
std::string L(std::initializer_list<std::string> Lines) {
  std::string s;
  for (const std::string& l : Lines) s += l + "\r\n";
  return s;
}

const std::string kSep =
    "{--------------------------------------------------------------------------}";

class UnitTest : public ::testing::Test {
 protected:
  UnitTest() {
    log.Attach(m);
    m.SetUnitDate(2004, 3, 5);
  }
  // A minimal model: one Integer member, nothing else.
  void OneMember() { ASSERT_TRUE(m.AddDataMember(Member("ID", kInteger))); }
  std::string Text() const { return m.UnitText(); }

  TEnglishMonths months;
  TClassModel m;
  TMessageLog log;
};

TEST_F(UnitTest, WorkedExampleIsReproducedByteForByte) {
  BuildSample(m);
  const std::string expected = ReadBytes(TestData("SampObj.Pas"));
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(Text(), expected);

  // The two sections split where the interface ends.
  std::ostringstream intf, impl;
  m.WriteInterfaceSection(intf);
  m.WriteImplementationSection(impl);
  EXPECT_EQ(intf.str() + impl.str(), expected);
  EXPECT_TRUE(intf.str().ends_with("        const Reader  : TObjectReader );\r\n"));
  EXPECT_TRUE(impl.str().starts_with("\r\n" + kSep + "\r\n\r\nimplementation\r\n"));
  EXPECT_TRUE(impl.str().ends_with("\r\nend.\r\n"));
  EXPECT_TRUE(log.Shown.empty());
}

TEST_F(UnitTest, LinesEndWithCrLfAndHoldNoTabsOrTrailingBlanks) {
  BuildSample(m);
  const std::string t = Text();
  EXPECT_EQ(t.find('\t'), std::string::npos);
  std::size_t start = 0;
  while (start < t.size()) {
    const std::size_t cr = t.find('\r', start);
    ASSERT_NE(cr, std::string::npos) << "line without CR at " << start;
    ASSERT_LT(cr + 1, t.size());
    EXPECT_EQ(t[cr + 1], '\n');
    const std::string line = t.substr(start, cr - start);
    EXPECT_EQ(line.find('\n'), std::string::npos) << "bare LF in: " << line;
    if (!line.empty()) {
      EXPECT_NE(line.back(), ' ') << "trailing blank in: " << line;
    }
    start = cr + 2;
  }
}

TEST_F(UnitTest, HeaderNamesUnitClassAndDate) {
  m.SetFileName("/work/src/Orders.pas");
  m.SetClassName("TOrder");
  m.SetUnitDate(1999, 12, 31);
  OneMember();
  const std::string t = Text();
  EXPECT_TRUE(t.starts_with(L({"{" + std::string(75, '-'), "|", "|  Module: Orders", "|",
                               "|  Description: TOrder class and object-relational definition.",
                               "|", "|  History: Dec 31, 1999. Created by Unitwright wizard.", "|",
                               "|" + std::string(75, '-') + "}", "unit Orders;"})));
  // A Windows-style path gives the same unit name.
  m.SetFileName("C:\\Work\\Orders.pas");
  EXPECT_NE(Text().find("|  Module: Orders\r\n"), std::string::npos);
  EXPECT_NE(Text().find("\r\nunit Orders;\r\n"), std::string::npos);
}

TEST_F(UnitTest, WithoutObjectMembersConstructorAndDestructorOnlyCallInherited) {
  ASSERT_TRUE(m.AddDataMember(Member("Flag", 0)));
  ASSERT_TRUE(m.AddDataMember(Member("Title", kString)));
  const std::string t = Text();
  EXPECT_NE(
      t.find(L({"constructor TSampleObject.Create;", "begin", "    inherited Create;", "end;"})),
      std::string::npos);
  EXPECT_NE(
      t.find(L({"destructor TSampleObject.Destroy;", "begin", "    inherited Destroy;", "end;"})),
      std::string::npos);
  EXPECT_EQ(t.find("CloneObj(In"), std::string::npos);
  EXPECT_NE(t.find(L({"procedure TSampleObject.SetTitle(const InTitle : String);", "begin",
                      "    FTitle := InTitle;", "end;", "", "", kSep})),
            std::string::npos);
}

TEST_F(UnitTest, SeveralObjectMembersAreCreatedInOrderAndFreedInReverse) {
  ASSERT_TRUE(m.AddDataMember(Member("Head", kObject, "TPart")));
  ASSERT_TRUE(m.AddDataMember(Member("Count", kInteger)));
  ASSERT_TRUE(m.AddDataMember(Member("Tail", kObject, "TOther")));
  const std::string t = Text();
  EXPECT_NE(t.find(L({"    inherited Create;", "    FHead := TPart.Create;",
                      "    FTail := TOther.Create;", "end;"})),
            std::string::npos);
  EXPECT_NE(t.find(L({"begin", "    FTail.Free;", "    FHead.Free;", "    inherited Destroy;"})),
            std::string::npos);
  EXPECT_NE(t.find(L({"procedure TSampleObject.SetTail(const InTail : TOther);", "begin",
                      "    FTail.Free;", "    FTail := CloneObj(InTail);", "end;"})),
            std::string::npos);
  EXPECT_NE(t.find(L({"    FHead                 : TPart;", "    FCount                : Integer;",
                      "    FTail                 : TOther;"})),
            std::string::npos);
  EXPECT_NE(t.find("    Writer.WriteChildObject(SampleObject.FTail);\r\n"), std::string::npos);
  EXPECT_NE(t.find("    SampleObject.FHead := Reader.ReadChildObject;\r\n"), std::string::npos);
}

TEST_F(UnitTest, EmptyFieldAndIndexListsGiveEmptyBodiesAndNoCopyBack) {
  OneMember();
  const std::string t = Text();
  EXPECT_EQ(t.find("UpdateObjFromFields"), std::string::npos);
  EXPECT_NE(
      t.find(L({"    procedure UpdateFieldsFromObj(const Obj : TObject); override;", "end;"})),
      std::string::npos);
  EXPECT_NE(t.find(L({"begin", "    SampleObject := Obj as TSampleObject;",
                      "",      "end;",
                      "",      kSep,
                      "",      "procedure TSampleObjectORMapping.DefineFields;",
                      "begin", "end;",
                      "",      kSep,
                      "",      "procedure TSampleObjectORMapping.DefineIndices;",
                      "begin", "end;",
                      "",      kSep,
                      "",      "initialization"})),
            std::string::npos);
}

TEST_F(UnitTest, AutoIncrementFieldAddsTheCopyBackMethod) {
  OneMember();
  ASSERT_TRUE(m.AddField(Field("Serial", kRowInteger)));
  EXPECT_EQ(Text().find("UpdateObjFromFields"), std::string::npos);
  ASSERT_TRUE(m.AddField(Field("Key", kRowAutoInc)));
  const std::string t = Text();
  EXPECT_NE(
      t.find(L({"    procedure UpdateFieldsFromObj(const Obj : TObject); override;",
                "    procedure UpdateObjFromFields(const Obj : TObject); override;", "end;"})),
      std::string::npos);
  EXPECT_NE(t.find(L({"procedure TSampleObjectORMapping.UpdateObjFromFields( const Obj    : "
                      "TObject );",
                      "var", "    SampleObject : TSampleObject;", "begin",
                      "    SampleObject := Obj as TSampleObject;", "",
                      "    SampleObject.Key := FieldByName('Key').AsInteger;", "end;"})),
            std::string::npos);
  EXPECT_NE(t.find("    FieldByName('Key').AsInteger := SampleObject.Key;\r\n"), std::string::npos);
}

TEST_F(UnitTest, FieldTypesChooseAccessorIdentifierAndSize) {
  OneMember();
  ASSERT_TRUE(m.AddField(Field("Price", kRowFloat)));
  ASSERT_TRUE(m.AddField(Field("Qty", kRowInteger)));
  ASSERT_TRUE(m.AddField(Field("Memo", kRowString, "256")));
  ASSERT_TRUE(m.AddField(Field("Code", kRowString, "2")));
  const std::string t = Text();
  EXPECT_NE(t.find(L({"    FieldByName('Price').AsFloat := SampleObject.Price;",
                      "    FieldByName('Qty').AsInteger := SampleObject.Qty;",
                      "    FieldByName('Memo').AsString := SampleObject.Memo;",
                      "    FieldByName('Code').AsString := SampleObject.Code;", "end;"})),
            std::string::npos);
  // The largest string size is written as it is.
  EXPECT_NE(t.find(L({"    AddField('Price', oftFloat, 0);", "    AddField('Qty', oftInteger, 0);",
                      "    AddField('Memo', oftString, 256);",
                      "    AddField('Code', oftString, 2);", "end;"})),
            std::string::npos);
}

TEST_F(UnitTest, AttributesAreListedInFixedOrder) {
  OneMember();
  ASSERT_TRUE(m.AddField(Field("A", kRowInteger)));
  ASSERT_TRUE(m.AddField(Field("B", kRowString, "10")));
  ASSERT_TRUE(m.AddIndex({"All", true, true, true, true, {"B", "A"}}));
  ASSERT_TRUE(m.AddIndex({"None", false, false, false, false, {"A"}}));
  ASSERT_TRUE(m.AddIndex({"UniqDesc", false, true, true, false, {"B"}}));
  EXPECT_NE(Text().find(L({"begin",
                           "    AddIndex('All', [iaPrimary, iaCaseInsensitive, iaDescending, "
                           "iaUnique], ['B', 'A']);",
                           "    AddIndex('None', [], ['A']);",
                           "    AddIndex('UniqDesc', [iaDescending, iaUnique], ['B']);", "end;"})),
            std::string::npos);
}

TEST_F(UnitTest, MemberNamesOfTwentyCharactersMeetTheColonAndLongerOnesAreCut) {
  const std::string twenty = "ABCDEFGHIJKLMNOPQRST";
  ASSERT_TRUE(m.AddDataMember(Member(twenty, kInteger)));
  ASSERT_TRUE(m.AddDataMember(Member(twenty + "UVWXY", kString)));
  ASSERT_TRUE(m.AddDataMember(Member("X", kInteger)));
  const std::string t = Text();
  EXPECT_NE(t.find(L({"    F" + twenty + " : Integer;", "    F" + twenty + " : String;",
                      "    FX                    : Integer;", ""})),
            std::string::npos);
  EXPECT_EQ(t.find("UVWXY"), std::string::npos);
  EXPECT_NE(t.find("    property " + twenty + " : String\r\n"), std::string::npos);
  EXPECT_NE(t.find("    procedure Set" + twenty + "(const In" + twenty + " : String);\r\n"),
            std::string::npos);
}

TEST_F(UnitTest, EveryMemberTypeStreamsWithItsKind) {
  const char* kinds[13] = {"Boolean", "Integer", "Char",       "Float",   "Float",
                           "Float",   "Integer", "Integer",    "Integer", "Float",
                           "String",  "Integer", "ChildObject"};
  for (std::int32_t i = 0; i < 13; ++i) {
    ASSERT_TRUE(m.AddDataMember(Member("M" + std::to_string(i), i, "TKid")));
  }
  const std::string t = Text();
  for (std::int32_t i = 0; i < 13; ++i) {
    const std::string n = "M" + std::to_string(i);
    EXPECT_NE(t.find("    Writer.Write" + std::string(kinds[i]) + "(SampleObject.F" + n + ");\r\n"),
              std::string::npos)
        << n;
    EXPECT_NE(t.find("    SampleObject.F" + n + " := Reader.Read" + kinds[i] + ";\r\n"),
              std::string::npos)
        << n;
    std::string type;
    MemberTypeName(i, type);
    if (i == kObject) type = "TKid";
    EXPECT_NE(t.find("    property " + n + " : " + type + "\r\n"), std::string::npos) << n;
  }
}

TEST_F(UnitTest, OneCharacterClassNameGivesEmptyVariableName) {
  m.SetClassName("T");
  m.SetAncestorClass("");
  OneMember();
  const std::string t = Text();
  EXPECT_NE(t.find("\r\nT = class()\r\n"), std::string::npos);
  EXPECT_NE(t.find(L({"procedure Write(", "        const Obj     : TObject;"})), std::string::npos);
  EXPECT_NE(t.find(L({"var", "     : T;", "begin", "     := Obj as T;"})), std::string::npos);
  EXPECT_NE(t.find("TORMapping = class(TORMapping)\r\n"), std::string::npos);
  EXPECT_NE(t.find(L({"        T,", "        [Read],", "        [Write]", "        );"})),
            std::string::npos);
}

// --- the generation run -------------------------------------------------------

TEST_F(UnitTest, GenerateWritesTheFileAndReportsSuccess) {
  TTempDir dir;
  BuildSample(m);
  const std::string path = dir.File("Out.Pas");
  ASSERT_TRUE(m.GenerateUnitAs(path));
  EXPECT_EQ(ReadBytes(path), ReadBytes(TestData("SampObj.Pas")));
  EXPECT_EQ(log.Only(), std::make_pair("Unit " + path + " created successfully.", wmInformation));
}

TEST_F(UnitTest, GenerateUsesTheFileNameRelativeToTheCurrentFolder) {
  TTempDir dir;
  BuildSample(m);
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  const bool ok = m.GenerateUnit();
  std::filesystem::current_path(old);
  EXPECT_TRUE(ok);
  EXPECT_EQ(ReadBytes(dir.File("SampObj.Pas")), ReadBytes(TestData("SampObj.Pas")));
  EXPECT_EQ(log.Only().first, "Unit SampObj.Pas created successfully.");
}

TEST_F(UnitTest, ExistingFileIsReplacedOnlyWhenTheUserSaysYes) {
  TTempDir dir;
  BuildSample(m);
  const std::string path = dir.File("SampObj.Pas");
  WriteBytes(path, "old contents that are longer than nothing");

  log.Answer = wbNo;
  EXPECT_FALSE(m.GenerateUnitAs(path));
  EXPECT_EQ(log.Only(), std::make_pair("File " + path + " exists\rOverwrite ?", wmConfirmation));
  EXPECT_EQ(ReadBytes(path), "old contents that are longer than nothing");

  log.Clear();
  log.Answer = wbYes;
  EXPECT_TRUE(m.GenerateUnitAs(path));
  ASSERT_EQ(log.Shown.size(), 2u);
  EXPECT_EQ(log.Shown[0].second, wmConfirmation);
  EXPECT_EQ(log.Shown[1], std::make_pair("Unit " + path + " created successfully.", wmInformation));
  EXPECT_EQ(ReadBytes(path), ReadBytes(TestData("SampObj.Pas")));
}

TEST_F(UnitTest, FileThatCannotBeCreatedRaisesWithoutSuccessMessage) {
  TTempDir dir;
  BuildSample(m);
  const std::string path = dir.File("no/such/folder/SampObj.Pas");
  EXPECT_THROW(m.GenerateUnitAs(path), EUnitFileError);
  EXPECT_TRUE(log.Shown.empty());
  // The model is intact: a second run elsewhere works.
  EXPECT_TRUE(m.GenerateUnitAs(dir.File("ok.pas")));
  EXPECT_EQ(ReadBytes(dir.File("ok.pas")), ReadBytes(TestData("SampObj.Pas")));
}

// A unit whose writing fails at any byte, by an error (a full disk) or a
// short write, raises EUnitFileError naming the file, shows no success and
// leaves the previous unit and nothing else in the folder.
TEST_F(UnitTest, AWriteThatFailsAtAnyByteKeepsThePreviousUnit) {
  TTempDir dir;
  BuildSample(m);
  const std::string path = dir.File("SampObj.Pas");
  WriteBytes(path, "the previous unit");
  const auto size = static_cast<std::int64_t>(m.UnitText().size());
  for (const TFault fault : {TFault::Raise, TFault::ShortWrite}) {
    for (const std::int64_t at : {std::int64_t{0}, size / 2, size - 1}) {
      SCOPED_TRACE(::testing::Message() << "fault " << static_cast<int>(fault) << " at " << at);
      log.Clear();
      TFaultyFiles faulty(at, fault);
      // A short write names no system error: the stream's own message.
      ExpectRaises<EUnitFileError>([&] { m.GenerateUnitAs(path); },
                                   ::testing::Eq("Cannot write file " + path + ": " +
                                                 (fault == TFault::Raise ? "No space left on device"
                                                                         : "Stream write error")));
      EXPECT_EQ(faulty.Failures(), 1);
      EXPECT_EQ(log.Only().second, wmConfirmation);  // the overwrite question, no success
      EXPECT_EQ(ReadBytes(path), "the previous unit");
      EXPECT_EQ(FilesIn(dir.Path().string()), std::vector<std::string>{"SampObj.Pas"});
    }
  }
  TFaultyFiles roomy(size, TFault::Raise);
  EXPECT_TRUE(m.GenerateUnitAs(path));
  EXPECT_EQ(ReadBytes(path), ReadBytes(TestData("SampObj.Pas")));
}

TEST_F(UnitTest, DateComesFromTheClockUnlessFixed) {
  OneMember();
  m.ClearUnitDate();
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const std::string today = DateToDateStr(
      EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday), "mmm dd, yyyy");
  const std::string text = m.UnitDateText();
  // Around midnight the clock may move between the two readings.
  std::time_t later = std::time(nullptr);
  std::tm local2{};
  localtime_r(&later, &local2);
  const std::string tomorrow = DateToDateStr(
      EncodeDate(local2.tm_year + 1900, local2.tm_mon + 1, local2.tm_mday), "mmm dd, yyyy");
  EXPECT_TRUE(text == today || text == tomorrow) << text;
  EXPECT_THROW(m.SetUnitDate(2023, 2, 29), EConvertError);
}

}  // namespace
}  // namespace corvid::test
