// Schema evolution: a class gains a member in its second release. Records
// of the first release (in files, in database images) keep version 1 and
// are read by the version-1 procedure; new records are written as version
// 2 (docs/guide.md, "Schema evolution").
#include <iostream>
#include <string>

#include "corvid/odb/Odb.h"
#include "corvid/persist/ObjPerst.h"

using namespace corvid;

namespace {

// Release 1 stored Name and Age; release 2 adds Email.
class TPerson : public TObject {
  CORVID_CLASS(TPerson, ::corvid::TObject)
 public:
  std::string Name;
  std::int32_t Age = 0;
  std::string Email;
};

// Version 1: the layout release 1 wrote. Kept unchanged for as long as such
// records may exist anywhere.
void WritePersonV1(TObject* Obj, TObjectWriter& W) {
  auto* p = static_cast<TPerson*>(Obj);
  W.WriteString(p->Name);
  W.WriteInteger(p->Age);
}
void ReadPersonV1(TObject* Obj, TObjectReader& R) {
  auto* p = static_cast<TPerson*>(Obj);
  p->Name = R.ReadString();
  p->Age = R.ReadInteger();
  p->Email = "";  // the read procedure sets every member: the instance is blank
}
// Version 2: the same values, then the new member.
void WritePersonV2(TObject* Obj, TObjectWriter& W) {
  WritePersonV1(Obj, W);
  W.WriteString(static_cast<TPerson*>(Obj)->Email);
}
void ReadPersonV2(TObject* Obj, TObjectReader& R) {
  ReadPersonV1(Obj, R);
  static_cast<TPerson*>(Obj)->Email = R.ReadString();
}

// The mapping keeps Name as a column and key; the image holds everything.
class TPersonORMapping : public TORMapping {
  CORVID_CLASS(TPersonORMapping, ::corvid::TORMapping)
 public:
  TClass GetObjectType() const override { return TPerson::StaticClass(); }
  void DefineFields() override { AddField("Name", oftString, 31); }
  void DefineIndices() override { AddIndex("ByName", {iaPrimary}, {"Name"}); }
  void UpdateFieldsFromObj(const TObject* Obj) override {
    FieldByName("Name")->SetAsString(static_cast<const TPerson*>(Obj)->Name);
  }
};

// The version word of a stored image: after "TPF0" and the class name.
std::uint16_t ImageVersion(const TObject& Obj) {
  TMemoryStream bytes;
  TObjectStream(&bytes, false).WriteObject(&Obj);
  const std::string_view image = bytes.View();
  const std::size_t at = 4 + 1 + 1 + Obj.ClassName().size();
  return static_cast<std::uint16_t>(static_cast<unsigned char>(image[at]) |
                                    (static_cast<unsigned char>(image[at + 1]) << 8));
}

int failures = 0;

void Check(bool Holds, const char* Claim) {
  std::cout << (Holds ? "  yes: " : "  NO:  ") << Claim << "\n";
  if (!Holds) ++failures;
}

TPerson Person(const std::string& Name, std::int32_t Age, const std::string& Email) {
  TPerson p;
  p.Name = Name;
  p.Age = Age;
  p.Email = Email;
  return p;
}

}  // namespace

int main() {
  // Both versions registered, in order; the newest is written by default.
  RegisterStreamable(TPerson::StaticClass(), {ReadPersonV1, ReadPersonV2},
                     {WritePersonV1, WritePersonV2});
  Check(ImageVersion(Person("x", 1, "")) == 2, "new records are written as version 2");

  TObjectDatabase db(GetOdbDriverClass("SQLite"), ":memory:");
  db.Open("create", "", "");
  TTypedObjectFile<TPerson> people(db, "People", TPersonORMapping::StaticClass());
  people.CreateFile();
  people.Open();

  // Stand-in for release 1: the same program writing version 1 for a while.
  SetDefaultWriteProcVersion(TPerson::StaticClass(), 1);
  Check(ImageVersion(Person("x", 1, "")) == 1, "now version 1 is written");
  people.Insert(Person("Ada", 36, "lost: version 1 has no Email"));
  SetDefaultWriteProcVersion(TPerson::StaticClass(), 2);
  people.Insert(Person("Grace", 45, "grace@example.org"));

  std::cout << "Reading both kinds of record:\n";
  people.FindExact("ByName", Person("Ada", 0, ""));
  Check(people.Current().Age == 36 && people.Current().Email.empty(),
        "Ada's version-1 record reads through ReadPersonV1, Email empty");
  people.FindExact("ByName", Person("Grace", 0, ""));
  Check(people.Current().Email == "grace@example.org", "Grace's version-2 record has her Email");

  std::cout << "Upgrading a record: read it, set the new member, Update writes version 2.\n";
  people.FindExact("ByName", Person("Ada", 0, ""));
  people.Current().Email = "ada@example.org";
  people.Update();
  people.FindExact("ByName", Person("Ada", 0, ""));
  Check(people.Current().Email == "ada@example.org",
        "Ada's Email survives a reload: her record is version 2 now");
  return failures == 0 ? 0 : 1;
}
