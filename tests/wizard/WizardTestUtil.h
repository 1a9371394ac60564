// Helpers of the wizard tests: recording message boxes, temporary folders,
// reading files byte for byte, and the sample model of the class generator.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "TempDir.h"
#include "corvid/util/OdbMisc.h"
#include "corvid/wizard/CodeGen.h"

namespace corvid::test {

// Records every message a model shows and answers questions with Answer.
struct TMessageLog {
  std::vector<std::pair<std::string, TWizardMessageKind>> Shown;
  TWizardButton Answer = wbYes;

  void Attach(TClassModel& Model) {
    Model.SetMessageFunc([this](const std::string& Text, TWizardMessageKind Kind) {
      Shown.emplace_back(Text, Kind);
      return Kind == wmConfirmation ? Answer : wbOK;
    });
  }
  // The only message shown since the last Clear(); fails when there is not
  // exactly one.
  std::pair<std::string, TWizardMessageKind> Only() const {
    EXPECT_EQ(Shown.size(), 1u);
    return Shown.empty() ? std::pair<std::string, TWizardMessageKind>{} : Shown.front();
  }
  void Clear() { Shown.clear(); }
};

inline std::string TestData(const std::string& Name) {
  return std::string(WIZARD_TEST_DATA) + "/" + Name;
}

// Month names are taken from the user's locale; the expected texts use the
// English ones, so each test fixes them for its duration.
class TEnglishMonths {
 public:
  TEnglishMonths() : saved_(OdbFormatSettings().ShortMonthNames) {
    OdbFormatSettings().ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  }
  ~TEnglishMonths() { OdbFormatSettings().ShortMonthNames = saved_; }

 private:
  std::array<std::string, 12> saved_;
};

inline TMemberInput Member(std::string Name, std::int32_t Type, std::string ClassName = "") {
  return TMemberInput{std::move(Name), Type, std::move(ClassName)};
}
inline TFieldInput Field(std::string Name, std::int32_t Row, std::string Size = "") {
  return TFieldInput{std::move(Name), Row, std::move(Size)};
}

inline constexpr std::int32_t kInteger = 6;
inline constexpr std::int32_t kString = 10;
inline constexpr std::int32_t kObject = 12;
inline constexpr std::int32_t kRowString = 0, kRowFloat = 1, kRowInteger = 2, kRowAutoInc = 3;

// The model of the worked example: TSampleObject with ID, Name and Child,
// fields ID (autoincrement) and Name (string of size 31), indices ByID and
// ByName, dated Mar 05, 2004.
inline void BuildSample(TClassModel& M) {
  M.SetFileName("SampObj.Pas");
  M.SetClassName("TSampleObject");
  M.SetAncestorClass("TObject");
  ASSERT_TRUE(M.AddDataMember(Member("ID", kInteger)));
  ASSERT_TRUE(M.AddDataMember(Member("Name", kString)));
  ASSERT_TRUE(M.AddDataMember(Member("Child", kObject, "TChild")));
  ASSERT_TRUE(M.AddField(Field("ID", kRowAutoInc)));
  ASSERT_TRUE(M.AddField(Field("Name", kRowString, "31")));
  TIndexInput byId{"ByID", true, true, false, false, {"ID"}};
  TIndexInput byName{"ByName", false, false, true, true, {"Name"}};
  ASSERT_TRUE(M.AddIndex(byId));
  ASSERT_TRUE(M.AddIndex(byName));
  M.SetUnitDate(2004, 3, 5);
}

}  // namespace corvid::test
