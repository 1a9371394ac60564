// Application classes and mappings shared by the SQL tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "corvid/odb/OdbMapping.h"

namespace sqltest {

// The stored class of the worked example: a person with an integer key.
class TPerson : public corvid::TObject {
  CORVID_CLASS(TPerson, ::corvid::TObject)
 public:
  TPerson() = default;
  TPerson(std::string AName, std::int32_t AAge, double AWeight, std::int32_t AId)
      : Name(std::move(AName)), Age(AAge), Weight(AWeight), Id(AId) {}

  std::string Name;
  std::int32_t Age = 0;
  double Weight = 0;
  std::int32_t Id = 0;
};

// Persons: Name (string, Size 31), Age, Weight, Id (auto-increment);
// ById primary on Id, ByName unique descending on Name, Age.
class TPersonMapping : public corvid::TORMapping {
  CORVID_CLASS(TPersonMapping, ::corvid::TORMapping)
 public:
  corvid::TClass GetObjectType() const override { return TPerson::StaticClass(); }
  void DefineFields() override;
  void DefineIndices() override;
  void UpdateFieldsFromObj(const corvid::TObject* Obj) override;
  void UpdateObjFromFields(corvid::TObject* Obj) override;
};

// The same class stored with Id as a plain integer key and the descending
// index left out, so the builders' texts run unchanged on SQLite.
class TPlainPersonMapping : public TPersonMapping {
  CORVID_CLASS(TPlainPersonMapping, ::sqltest::TPersonMapping)
 public:
  void DefineFields() override;
  void DefineIndices() override;
};

// A person keyed by name: the key is a string that tests fill with hostile
// text; Name holds up to 255 characters (Size 256).
class TNamed : public corvid::TObject {
  CORVID_CLASS(TNamed, ::corvid::TObject)
 public:
  TNamed() = default;
  TNamed(std::string AKey, std::string ANote, std::int32_t AValue)
      : Key(std::move(AKey)), Note(std::move(ANote)), Value(AValue) {}

  std::string Key;
  std::string Note;
  std::int32_t Value = 0;
};

class TNamedMapping : public corvid::TORMapping {
  CORVID_CLASS(TNamedMapping, ::corvid::TORMapping)
 public:
  corvid::TClass GetObjectType() const override { return TNamed::StaticClass(); }
  void DefineFields() override;
  void DefineIndices() override;
  void UpdateFieldsFromObj(const corvid::TObject* Obj) override;
};

// A mapping assembled by the test itself: fields and indices are added
// after construction through the public AddField/AddIndex.
class TFreeMapping : public corvid::TORMapping {
  CORVID_CLASS(TFreeMapping, ::corvid::TORMapping)
 public:
  corvid::TClass GetObjectType() const override { return TPerson::StaticClass(); }
  void DefineFields() override {}
  void DefineIndices() override {}
  void UpdateFieldsFromObj(const corvid::TObject*) override {}
};

// A mapping that records the order of its hooks.
class TTracingMapping : public TPlainPersonMapping {
  CORVID_CLASS(TTracingMapping, ::sqltest::TPlainPersonMapping)
 public:
  void UpdateFieldsFromObj(const corvid::TObject* Obj) override;
  void BeforeInsert() override { Trace.push_back("BeforeInsert"); }
  void AfterInsert() override { Trace.push_back("AfterInsert"); }
  void BeforeUpdate() override { Trace.push_back("BeforeUpdate"); }
  void AfterUpdate() override { Trace.push_back("AfterUpdate"); }
  void BeforeDelete() override { Trace.push_back("BeforeDelete"); }
  void AfterDelete() override { Trace.push_back("AfterDelete"); }
  void BeforeObjectPost(corvid::TMemoryStream& Stream) override;

  // Shared by every instance; tests clear it first.
  static std::vector<std::string> Trace;
  // When set, BeforeObjectPost raises EOdbError.
  static bool FailInPost;
};

// For its lifetime the process runs under a locale whose decimal separator
// is ',': a German locale compiled with localedef into a temporary folder is
// made the C library's locale (as an application does at start-up), and the
// library's own separator setting, which it reads from the environment once,
// is set from that locale. Where no locale can be compiled, only the
// library's setting becomes ','. Everything is restored at the end.
class TCommaLocale {
 public:
  TCommaLocale();
  ~TCommaLocale();
  TCommaLocale(const TCommaLocale&) = delete;
  TCommaLocale& operator=(const TCommaLocale&) = delete;

 private:
  std::string folder_;
  std::string oldLocale_;
  std::optional<std::string> oldLocPath_;
  char oldSeparator_;
};

}  // namespace sqltest
