// The object model of an object file: copies in, the file's own current
// object, and what a failed find leaves behind (docs/guide.md, "The object
// model").
#include <iostream>
#include <string>

#include "Contact.h"

using namespace corvid;

namespace {

int failures = 0;

void Check(bool Holds, const char* Claim) {
  std::cout << (Holds ? "  yes: " : "  NO:  ") << Claim << "\n";
  if (!Holds) ++failures;
}

TContact Contact(const std::string& Name, std::int32_t Age) {
  TContact c;
  c.SetName(Name);
  c.SetAge(Age);
  return c;
}

std::string Names(TTypedObjectFile<TContact>& File) {
  std::string names;
  for (const TContact& c : File.InOrder("ById")) names += c.GetName() + " ";
  return names;
}

}  // namespace

int main() {
  TObjectDatabase db(GetOdbDriverClass("SQLite"), ":memory:");
  db.Open("create", "", "");
  TTypedObjectFile<TContact> contacts(db, "Contacts", TContactORMapping::StaticClass());
  contacts.CreateFile();
  contacts.Open();

  std::cout << "1. The file stores and keeps copies.\n";
  TContact ada = Contact("Ada", 36);
  TContact& stored = contacts.Insert(ada);
  ada.SetAge(99);  // the caller's object is still the caller's
  Check(stored.GetAge() == 36, "changing the object handed to Insert leaves the file's copy alone");
  Check(stored.GetId() == 1 && ada.GetId() == 0,
        "the numbered Id went to the file's copy, not to the caller's object");
  contacts.Insert(Contact("Grace", 45));
  Check(contacts.Current().GetName() == "Grace",
        "the file's current object is now the second insert; the reference `stored` is no "
        "longer valid");

  std::cout << "2. The current object belongs to the file; keep a copy to hold on to it.\n";
  contacts.FindExact("ByName", Contact("Ada", 0));
  const TContact kept = contacts.Current();  // an independent copy
  contacts.FindFirst();
  contacts.FindNext();
  Check(kept.GetName() == "Ada", "a copy survives the file's moves");

  std::cout << "3. A failed FindExact leaves the key as the current object.\n";
  contacts.FindExact("ByName", Contact("Grace", 0));  // positioned on Grace
  const bool found = contacts.FindExact("ByName", Contact("Nobody", 7));
  Check(!found, "there is no Nobody");
  Check(contacts.Current().GetName() == "Nobody" && contacts.Current().GetId() == 0,
        "the current object is the key, not a stored contact");
  {
    // What an Update would do now: write the key over the record the file
    // still stands on (Grace). Shown inside a transaction that is rolled
    // back when the scope ends without Commit.
    TTransaction tx(db);
    contacts.Update();
    Check(Names(contacts) == "Nobody Ada ",
          "Update after the failed find replaced Grace by the key, its Id 0 included");
  }
  Check(Names(contacts) == "Ada Grace ", "the roll-back brought Grace back");

  std::cout << "4. The safe form: change only what a successful find returned.\n";
  if (contacts.FindExact("ByName", Contact("grace", 0))) {
    contacts.Current().SetAge(46);
    contacts.Update();
  }
  Check(contacts.FindExact("ByName", Contact("Grace", 0)) && contacts.Current().GetAge() == 46,
        "Grace is 46");

  std::cout << "5. A class without owned objects may copy member by member.\n";
  SetCopyProc(TContact::StaticClass(), [](const TObject* From, TObject* To) {
    *static_cast<TContact*>(To) = *static_cast<const TContact*>(From);
  });
  TContact linus = Contact("Linus", 56);
  TContact& copied = contacts.Insert(linus);
  linus.SetAge(1);
  Check(&copied != &linus && copied.GetAge() == 56 && copied.GetId() == 3,
        "the copy made member by member is still the file's own");
  SetCopyProc(TContact::StaticClass(), nullptr);
  return failures == 0 ? 0 : 1;
}
