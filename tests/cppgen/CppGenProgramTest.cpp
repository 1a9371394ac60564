// The generator's choice of language and its refusals of models that C++
// cannot express, through the built program.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "WizardTestUtil.h"
#include "corvid/wizard/CodeGen.h"

// Long names, broken over lines as clang-format breaks them: that it
// compiles here (and passes the formatting test) is the check.
#include "LongNames.h"

namespace corvid::test {
namespace {

struct TRun {
  int Status = -1;
  std::string Err;
};

TRun RunProgram(const TTempDir& Dir, const std::string& Args) {
  const std::string err = Dir.File(".stderr");
  const std::string cmd = "cd '" + Dir.Path().string() + "' && '" UNITWRIGHT_PROGRAM "' " + Args +
                          " >/dev/null 2>'" + err + "'";
  const int raw = std::system(cmd.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadBytes(err)};
}

// A model with the given members (JSON items), one field and one index.
std::string Model(const std::string& Members, const std::string& Field = "Name",
                  const std::string& Index = "ByName") {
  return R"({"fileName": "Out.pas", "className": "TThing", "members": [)" + Members +
         R"(], "fields": [{"name": ")" + Field + R"(", "type": "String", "size": 21}],
            "indices": [{"name": ")" +
         Index + R"(", "fields": [")" + Field + R"("]}]})";
}

TEST(CppLanguage, FileNameSelectsTheLanguage) {
  for (const char* cpp : {"Contact.h", "dir/x.HPP", "a.hpp"}) {
    EXPECT_EQ(LanguageFromFileName(cpp), ulCpp) << cpp;
  }
  for (const char* pascal : {"SampObj.Pas", "Contact.hh", "h", ".h", "Contact.h.pas"}) {
    EXPECT_EQ(LanguageFromFileName(pascal), ulPascal) << pascal;
  }

  // Without --language the output name decides; --language overrides it.
  TTempDir dir;
  WriteBytes(dir.File("m.json"), Model(R"({"name": "Name", "type": "String"})"));
  ASSERT_EQ(RunProgram(dir, "--model m.json --output T.h").Status, 0);
  EXPECT_EQ(ReadBytes(dir.File("T.h")).rfind("// TThing class", 0), 0u);
  ASSERT_EQ(RunProgram(dir, "--model m.json --output T.h --language pascal").Status, 0);
  EXPECT_EQ(ReadBytes(dir.File("T.h")).rfind("{---", 0), 0u);
  EXPECT_EQ(RunProgram(dir, "--model m.json --language java").Status, 2);
}

// The window's run: the file name picks the language, a refusal is one
// error box and no file.
TEST(CppLanguage, GenerateUnitFollowsTheFileName) {
  TTempDir dir;
  TClassModel m;
  TMessageLog log;
  log.Attach(m);
  m.SetFileName(dir.File("Thing.hpp"));
  m.SetClassName("TThing");
  ASSERT_TRUE(m.AddDataMember(Member("Count", kInteger)));
  ASSERT_TRUE(m.GenerateUnit());
  EXPECT_EQ(ReadBytes(dir.File("Thing.hpp")), m.CppHeaderText());

  ASSERT_TRUE(m.AddDataMember(Member("Count", kString)));
  m.SetFileName(dir.File("Other.h"));
  log.Clear();
  EXPECT_FALSE(m.GenerateUnit());
  EXPECT_EQ(log.Only().first,
            "The class cannot be written as C++:\rData member \"Count\" is defined twice.");
  EXPECT_EQ(log.Only().second, wmError);
  EXPECT_FALSE(std::filesystem::exists(dir.File("Other.h")));
  EXPECT_THROW(m.CppHeaderText(), ECppModelError);
}

TEST(CppLanguage, NamesCppCannotUseAreRefusedAndNothingIsWritten) {
  const std::string name = R"({"name": "Name", "type": "String"})";
  struct TCase {
    std::string Json, Message;
  };
  const TCase cases[] = {
      {Model(name + R"(, {"name": "class", "type": "Integer"})"),
       "Data member \"class\" is a C++ keyword."},
      {Model(name + R"(, {"name": "first name", "type": "Integer"})"),
       "Data member \"first name\" is not a valid C++ identifier."},
      {Model(name + R"(, {"name": "Name", "type": "Integer"})"),
       "Data member \"Name\" is defined twice."},
      {Model(name, "Missing"), "Field \"Missing\" matches no data member."},
      {Model(name, "Name", "delete"), "Index \"delete\" is a C++ keyword."},
      {Model(R"({"name": "Name", "type": "Integer"})"),
       "Field \"Name\" of type String cannot hold data member \"Name\" of type Integer."},
      {Model(name + R"(, {"name": "Self", "type": "Object", "className": "TThing"})"),
       "Data member \"Self\" is of the class TThing itself"},
      {Model(name + R"(, {"name": "Other", "type": "Object", "className": "std"})"),
       "Class \"std\" of data member \"Other\" is a name the generated code uses itself."},
  };
  for (const TCase& c : cases) {
    TTempDir dir;
    WriteBytes(dir.File("m.json"), c.Json);
    const TRun r = RunProgram(dir, "--model m.json --language cpp --output Thing.h");
    EXPECT_EQ(r.Status, 1) << c.Message;
    EXPECT_NE(r.Err.find("The class cannot be written as C++:\n"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find(c.Message), std::string::npos) << r.Err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("Thing.h"))) << c.Message;
    // The Pascal unit is written for the same model.
    EXPECT_EQ(RunProgram(dir, "--model m.json --output Thing.pas").Status, 0) << c.Message;
  }
}

}  // namespace
}  // namespace corvid::test
