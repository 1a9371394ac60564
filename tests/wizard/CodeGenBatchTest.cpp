// The batch mode: the built program run on model files, and the loader's
// reports for malformed files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "WizardTestUtil.h"
#include "corvid/wizard/CodeGenBatch.h"

namespace corvid::test {
namespace {

struct TRun {
  int Status = -1;
  std::string Out;
  std::string Err;
};

// Runs the program in Dir with the C locale (English month names) and
// returns its exit status and both output streams. Shell comes before the
// program's command (limits, a time-out).
TRun RunProgram(const TTempDir& Dir, const std::string& Args, const std::string& Shell = "") {
  const std::string out = Dir.File(".stdout"), err = Dir.File(".stderr");
  const std::string cmd = "cd '" + Dir.Path().string() + "' && " + Shell + " env LC_ALL=C '" +
                          UNITWRIGHT_PROGRAM "' " + Args + " >'" + out + "' 2>'" + err + "'";
  const int raw = std::system(cmd.c_str());
  TRun r;
  r.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.Out = ReadBytes(out);
  r.Err = ReadBytes(err);
  return r;
}

const std::string kSampleJson = R"({ "fileName": "SampObj.Pas", "className": "TSampleObject",
  "ancestorClass": "TObject",
  "members": [ {"name": "ID", "type": "Integer"}, {"name": "Name", "type": "String"},
               {"name": "Child", "type": "Object", "className": "TChild"} ],
  "fields": [ {"name": "ID", "type": "Autoincrement"}, {"name": "Name", "type": "String", "size": 31} ],
  "indices": [ {"name": "ByID", "attributes": ["Primary", "Unique"], "fields": ["ID"]},
               {"name": "ByName", "attributes": ["Case Insensitive", "Descending"], "fields": ["Name"]} ] })";

// The sample with one text replaced.
std::string Sample(const std::string& From, const std::string& To) {
  std::string s = kSampleJson;
  const std::size_t p = s.find(From);
  EXPECT_NE(p, std::string::npos) << From;
  if (p != std::string::npos) s.replace(p, From.size(), To);
  return s;
}

// --- the program ------------------------------------------------------------------

TEST(BatchProgram, WritesTheWorkedExampleToTheModelsFileName) {
  TTempDir dir;
  WriteBytes(dir.File("model.json"), kSampleJson);
  const TRun r = RunProgram(dir, "--model model.json --date 2004-03-05");
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
  EXPECT_EQ(r.Out, "Unit SampObj.Pas created successfully.\n");
  EXPECT_EQ(ReadBytes(dir.File("SampObj.Pas")), ReadBytes(TestData("SampObj.Pas")));
}

TEST(BatchProgram, OutputOptionReplacesAnExistingFileWithoutAsking) {
  TTempDir dir;
  WriteBytes(dir.File("model.json"), kSampleJson);
  WriteBytes(dir.File("Unit.pas"), "previous");
  const TRun r = RunProgram(dir, "--model=model.json --output Unit.pas --date=2004-03-05");
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(ReadBytes(dir.File("Unit.pas")), ReadBytes(TestData("SampObj.Pas")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("SampObj.Pas")));
}

TEST(BatchProgram, CommittedModelFileGivesTheCommittedUnit) {
  TTempDir dir;
  const TRun r = RunProgram(
      dir, "--model '" + TestData("SampObj.json") + "' --output out.pas --date 2004-03-05");
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(ReadBytes(dir.File("out.pas")), ReadBytes(TestData("SampObj.Pas")));
}

TEST(BatchProgram, BrokenRuleExitsWithOneAndWritesNothing) {
  TTempDir dir;
  WriteBytes(dir.File("model.json"), Sample(R"({"name": "Name", "type": "String", "size": 31})",
                                            R"({"name": "Name", "type": "String", "size": 257})"));
  const TRun r = RunProgram(dir, "--model model.json --date 2004-03-05");
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(
      r.Err,
      "String size not valid (2-256). Remember, the string\nsize includes the length byte.\n");
  EXPECT_EQ(r.Out, "");
  EXPECT_FALSE(std::filesystem::exists(dir.File("SampObj.Pas")));
}

TEST(BatchProgram, MalformedFileExitsWithTwoNamingThePlace) {
  TTempDir dir;
  WriteBytes(dir.File("model.json"), Sample(R"("type": "Integer")", R"("type": "Intger")"));
  const TRun r = RunProgram(dir, "--model model.json");
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Err, "unitwright: model.json: members[0].type: unknown member type \"Intger\"\n");
  EXPECT_FALSE(std::filesystem::exists(dir.File("SampObj.Pas")));

  WriteBytes(dir.File("bad.json"), "{ \"fileName\": \"a.pas\",\n  \"className\" \"T\" }");
  const TRun j = RunProgram(dir, "--model bad.json");
  EXPECT_EQ(j.Status, 2);
  EXPECT_NE(j.Err.find("bad.json: invalid JSON:"), std::string::npos) << j.Err;
  EXPECT_NE(j.Err.find("line 2"), std::string::npos) << j.Err;

  const TRun missing = RunProgram(dir, "--model nowhere.json");
  EXPECT_EQ(missing.Status, 2);
  EXPECT_EQ(missing.Err, "unitwright: nowhere.json: cannot be read\n");
}

TEST(BatchProgram, CommandLineProblems) {
  TTempDir dir;
  // (Without any argument the program opens its window.)
  const TRun usage = RunProgram(dir, "--help");
  EXPECT_EQ(usage.Status, 0);
  EXPECT_TRUE(usage.Out.starts_with("Usage: unitwright --model MODEL.json")) << usage.Out;

  WriteBytes(dir.File("model.json"), kSampleJson);
  const TRun badDate = RunProgram(dir, "--model model.json --date 2004-02-30");
  EXPECT_EQ(badDate.Status, 2);
  EXPECT_NE(badDate.Err.find("--date \"2004-02-30\""), std::string::npos);
  EXPECT_EQ(RunProgram(dir, "--model model.json --date 5.3.2004").Status, 2);
  EXPECT_EQ(RunProgram(dir, "--model model.json --bogus").Status, 2);
  EXPECT_EQ(RunProgram(dir, "--model").Status, 2);
  EXPECT_EQ(RunProgram(dir, "--output x.pas").Status, 2);
  EXPECT_FALSE(std::filesystem::exists(dir.File("SampObj.Pas")));

  const TRun unwritable = RunProgram(dir, "--model model.json --output no/dir/x.pas");
  EXPECT_EQ(unwritable.Status, 3);
  EXPECT_NE(unwritable.Err.find("no/dir/x.pas"), std::string::npos) << unwritable.Err;
}

TEST(BatchProgram, AUnitThatCannotBeWrittenInFullLeavesTheOldOne) {
  TTempDir dir;
  WriteBytes(dir.File("model.json"), kSampleJson);
  WriteBytes(dir.File("Unit.pas"), "previous");
  // Files of the program cannot grow past 512 bytes (the unit is larger):
  // the write fails part way, as on a full disk.
  const TRun r = RunProgram(dir, "--model model.json --output Unit.pas --date 2004-03-05",
                            "trap '' XFSZ; ulimit -f 1;");
  EXPECT_EQ(r.Status, 3) << r.Err;
  EXPECT_NE(r.Err.find("Unit.pas"), std::string::npos) << r.Err;
  EXPECT_EQ(ReadBytes(dir.File("Unit.pas")), "previous");
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".stderr", ".stdout", "Unit.pas", "model.json"}));
}

TEST(BatchProgram, ModelsThatAreNotSmallRegularFilesAreRefused) {
  TTempDir dir;
  // A time-out, so that a program that reads without bound fails the test
  // instead of hanging it.
  const std::string timeout = "timeout 30";
  ASSERT_EQ(::mkfifo(dir.File("pipe.json").c_str(), 0600), 0);
  const TRun pipe = RunProgram(dir, "--model pipe.json", timeout);
  EXPECT_EQ(pipe.Status, 2);
  EXPECT_EQ(pipe.Err, "unitwright: pipe.json: not a regular file\n");

  WriteBytes(dir.File("big.json"), "{");
  std::filesystem::resize_file(dir.File("big.json"), 16 * 1024 * 1024 + 1);
  const TRun big = RunProgram(dir, "--model big.json", timeout);
  EXPECT_EQ(big.Status, 2);
  EXPECT_EQ(big.Err, "unitwright: big.json: larger than 16 MB\n");

  const TRun zero = RunProgram(dir, "--model /dev/zero", timeout);
  EXPECT_EQ(zero.Status, 2);
  EXPECT_EQ(zero.Err, "unitwright: /dev/zero: not a regular file\n");
}

// --- the loader -------------------------------------------------------------------

class LoaderTest : public ::testing::Test {
 protected:
  LoaderTest() { log.Attach(m); }

  // The message of the EModelFileError that loading Text raises.
  std::string MalformedMessage(const std::string& Text) {
    try {
      LoadModelJson(Text, "m.json", m);
    } catch (const EModelFileError& e) {
      EXPECT_EQ(m.MemberCount(), 0) << "changed before the whole file was checked";
      return e.Message();
    }
    ADD_FAILURE() << "no EModelFileError for " << Text;
    return "";
  }
  // The single error message of a rule broken while loading Text.
  // Each load goes into a fresh model, as each run of the program does.
  std::string RuleMessage(const std::string& Text) {
    TClassModel fresh;
    TMessageLog freshLog;
    freshLog.Attach(fresh);
    EXPECT_FALSE(LoadModelJson(Text, "m.json", fresh));
    return freshLog.Only().first;
  }

  TEnglishMonths months;
  TClassModel m;
  TMessageLog log;
};

TEST_F(LoaderTest, BuildsTheSampleThroughTheCommands) {
  ASSERT_TRUE(LoadModelJson(kSampleJson, "m.json", m));
  m.SetUnitDate(2004, 3, 5);
  EXPECT_EQ(m.UnitText(), ReadBytes(TestData("SampObj.Pas")));
  EXPECT_EQ(m.MemberTypeText(3), "TChild");
  EXPECT_EQ(m.FieldText(2), "Name" + std::string(16, ' ') + " : String[30]");
  EXPECT_TRUE(log.Shown.empty());
}

TEST_F(LoaderTest, MalformedFilesAreReportedWithWhatAndWhere) {
  EXPECT_EQ(MalformedMessage("[1, 2]"), "m.json: top level: an object is expected");
  EXPECT_EQ(MalformedMessage(R"({"className": "T"})"), "m.json: top level: missing \"fileName\"");
  EXPECT_EQ(MalformedMessage(R"({"fileName": 5, "className": "T"})"),
            "m.json: fileName: a string is expected");
  EXPECT_EQ(MalformedMessage(Sample(R"("fileName")", R"("filename")")),
            "m.json: filename: unknown key");
  EXPECT_EQ(
      MalformedMessage(Sample(R"({"name": "Name", "type": "String"})", R"({"type": "String"})")),
      "m.json: members[1]: missing \"name\"");
  EXPECT_EQ(MalformedMessage(Sample(R"("type": "Autoincrement")", R"("type": "AutoInc")")),
            "m.json: fields[0].type: unknown field type \"AutoInc\"");
  EXPECT_EQ(MalformedMessage(Sample(R"("size": 31)", R"("size": "31")")),
            "m.json: fields[1].size: an integer is expected");
  EXPECT_EQ(MalformedMessage(Sample(R"("Descending")", R"("Desc")")),
            "m.json: indices[1].attributes[1]: unknown index attribute \"Desc\"");
  EXPECT_EQ(MalformedMessage(Sample(R"("fields": ["Name"])", R"("fields": ["Nme"])")),
            "m.json: indices[1].fields[0]: \"Nme\" is not a field of the model");
  EXPECT_EQ(MalformedMessage(Sample(R"("fields": ["Name"])", R"("fields": ["Name", "Name"])")),
            "m.json: indices[1].fields[1]: field \"Name\" is already in the index");
  EXPECT_EQ(MalformedMessage(R"({"fileName": "a", "className": "T", "members": {"x": 1}})"),
            "m.json: members: an array is expected");
  EXPECT_EQ(MalformedMessage(R"({"fileName": "a", "className": "T", "members": [3]})"),
            "m.json: members[0]: an object is expected");
  const std::string bad = MalformedMessage("{\n  \"fileName\": \"a\",,\n}");
  EXPECT_TRUE(bad.starts_with("m.json: invalid JSON: ")) << bad;
  EXPECT_NE(bad.find("line 2"), std::string::npos) << bad;
}

TEST_F(LoaderTest, RulesAreAppliedInTheWindowsOrder) {
  EXPECT_EQ(RuleMessage(Sample(R"("className": "TSampleObject")", R"("className": "")")),
            "Value is required.");
  EXPECT_EQ(RuleMessage(R"({"fileName": "a.pas", "className": "T"})"),
            "The data member list is empty.");
  EXPECT_EQ(
      RuleMessage(Sample(R"("name": "ID", "type": "Integer")", R"("name": "", "type": "Integer")")),
      "Value is required.");
  EXPECT_EQ(RuleMessage(Sample(R"(, "className": "TChild")", "")),
            "A class name must be specified for an\robject data member.");
  EXPECT_EQ(RuleMessage(Sample(R"(, "size": 31)", "")),
            "A size must be specified for a string field.");
  EXPECT_EQ(RuleMessage(Sample(R"("size": 31)", R"("size": 1)")),
            "String size not valid (2-256). Remember, the string\rsize includes the length byte.");
  EXPECT_EQ(RuleMessage(Sample(R"("name": "Name", "type": "String", "size": 31)",
                               R"("name": "Name", "type": "Autoincrement")")),
            "Only one autoincrement field may be defined.");
  EXPECT_EQ(RuleMessage(Sample(R"("name": "ByName")", R"("name": "")")),
            "The index must have a name.");
  EXPECT_EQ(RuleMessage(Sample(R"(, "fields": ["Name"])", "")), "The index field list is empty.");
}

TEST_F(LoaderTest, OptionalPartsTakeTheirDefaults) {
  ASSERT_TRUE(LoadModelJson(
      R"({"fileName": "x.pas", "className": "TX",
          "members": [{"name": "N", "type": "Integer", "className": "TIgnored"}],
          "fields": [{"name": "F", "type": "Float", "size": 99}]})",
      "m.json", m));
  EXPECT_EQ(m.GetAncestorClass(), "TObject");
  EXPECT_EQ(m.MemberTypeText(1), "Integer");
  EXPECT_EQ(m.FieldAt(1)->GetSize(), 8);
  EXPECT_EQ(m.IndexCount(), 0);
}

TEST_F(LoaderTest, StringSizeOf256IsKept) {
  ASSERT_TRUE(LoadModelJson(Sample(R"("size": 31)", R"("size": 256)"), "m.json", m));
  EXPECT_NE(m.UnitText().find("    AddField('Name', oftString, 256);\r\n"), std::string::npos);
}

}  // namespace
}  // namespace corvid::test
