// The navigator tests' fixture: a file of persons on an in-memory SQLite
// database, a file navigator shown on the offscreen platform, a "form" that
// is a plain person record, and a message function that records every
// message and answers as the test says.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "corvid/components/OdbNav.h"
#include "corvid/odb/Odb.h"

namespace corvid::navtest {

class TNavPerson : public TObject {
  CORVID_CLASS(TNavPerson, ::corvid::TObject)
 public:
  TNavPerson() = default;
  TNavPerson(std::int32_t ACode, std::string AName) : Code(ACode), Name(std::move(AName)) {}

  std::int32_t Code = 0;
  std::string Name;
};

// Code integer, Name string(31); indices Code (primary: Code) and Name.
class TNavPersonMapping : public TORMapping {
  CORVID_CLASS(TNavPersonMapping, ::corvid::TORMapping)
 public:
  TClass GetObjectType() const override { return TNavPerson::StaticClass(); }
  void DefineFields() override;
  void DefineIndices() override;
  void UpdateFieldsFromObj(const TObject* Obj) override;
};

struct TShownMessage {
  std::string Text;
  TMsgDlgType Kind;
  TMsgDlgButtons Buttons;
};

class NavigatorTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Stores persons Code 1..Count named "Person <code>".
  void Fill(int Count);
  // Sets the callbacks and the message function and attaches the file.
  void Attach();
  // The stored name of Code, read through a second dataset.
  std::string StoredName(std::int32_t Code);
  const TNavPerson& Current() { return static_cast<const TNavPerson&>(*file_->GetCurrentObj()); }
  void Click(QWidget* Button, Qt::KeyboardModifiers Modifiers = Qt::NoModifier);

  std::unique_ptr<TObjectDatabase> db_;
  std::unique_ptr<TObjectFile> file_;
  std::unique_ptr<TObjectFileNavigator> nav_;

  TNavPerson form_;                  // what the form shows
  std::vector<std::int32_t> shown_;  // codes shown, in order
  int formReads_ = 0;                // OnFormToObject calls
  std::vector<TShownMessage> messages_;
  // The answer to each message; OK, or No for questions, by default.
  std::function<TModalResult(const TShownMessage&)> answer_;
  std::function<void(std::unique_ptr<TObject>&)> newObject_;
};

}  // namespace corvid::navtest
