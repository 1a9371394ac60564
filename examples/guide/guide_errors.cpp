// Error handling: one exception class per condition, the message in what(),
// what failed in Detail(), one readable line from FormatException, and the
// hook through which the database layer raises (docs/guide.md, "Errors").
#include <iostream>
#include <string>

#include "Contact.h"

using namespace corvid;

namespace {

int failures = 0;

void Check(bool Holds, const std::string& Claim) {
  std::cout << (Holds ? "  yes: " : "  NO:  ") << Claim << "\n";
  if (!Holds) ++failures;
}

TContact Contact(const std::string& Name) {
  TContact c;
  c.SetName(Name);
  return c;
}

// An application's hook: its own wording, the class unchanged. The detail
// is kept as the exception's Detail() whatever the hook writes.
[[noreturn]] void FriendlyHook(TClass ExceptClass, const std::string& /*Detail*/) {
  RaiseExceptionOfClass(ExceptClass, "The database refused the change");
}

}  // namespace

int main() {
  TObjectDatabase db(GetOdbDriverClass("SQLite"), ":memory:");
  db.Open("create", "", "");
  TTypedObjectFile<TContact> contacts(db, "Contacts", TContactORMapping::StaticClass());
  contacts.CreateFile();
  contacts.Open();
  contacts.Insert(Contact("Grace"));

  std::cout << "1. A database error: the class, the fixed message and the detail.\n";
  try {
    contacts.Insert(Contact("GRACE"));  // ByName is unique and ignores letter case
    Check(false, "an exception was raised");
  } catch (const EOdbKeyViolation& e) {
    Check(e.Detail() == "ByName", "Detail() names the index: " + e.Detail());
    Check(std::string(e.what()) == "EOdbKeyViolation.\rByName",
          "what() keeps the layout of the default hook (class, period, carriage return, detail)");
    Check(FormatException(e) == "EOdbKeyViolation: ByName",
          "FormatException prints it on one line: " + FormatException(e));
  }

  std::cout << "2. Catch Exception for every error of the library.\n";
  try {
    contacts.SetIndexName("ByNickname");
    contacts.GetCurrentIndex();
    Check(false, "an exception was raised");
  } catch (const Exception& e) {
    Check(e.Is<EOdbIndexDoesNotExist>(), "an unknown index: " + FormatException(e));
  }

  std::cout << "3. A damaged image names the record that failed.\n";
  TMemoryStream damaged;
  {
    TObjectStream writer(&damaged, false);
    writer.WriteObject(&contacts.Current());
  }
  const std::string bytes(damaged.View());
  TMemoryStream broken;
  // Cut the record in its payload: the reader runs out of bytes.
  broken.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size() - 3));
  broken.SetPosition(0);
  try {
    TObjectStream(&broken, false).ReadObject();
    Check(false, "an exception was raised");
  } catch (const EReadError& e) {
    Check(e.Detail() == "class TContact version 1, record at byte 0",
          "EReadError: " + std::string(e.what()));
  }

  std::cout << "4. An object file of another class is refused before it is used.\n";
  class TNote : public TObject {
    CORVID_CLASS(TNote, ::corvid::TObject)
  };
  try {
    TTypedObjectFile<TNote> notes(db, "Contacts", TContactORMapping::StaticClass());
    Check(false, "an exception was raised");
  } catch (const EInvalidObjectType& e) {
    Check(e.Detail() == "expected TNote, got TContact", FormatException(e));
  }

  std::cout << "5. An application hook words the messages; Detail() stays the same.\n";
  SetOdbExceptionProc(FriendlyHook);
  try {
    contacts.Insert(Contact("grace"));
    Check(false, "an exception was raised");
  } catch (const EOdbKeyViolation& e) {
    Check(e.Detail() == "ByName" &&
              FormatException(e) == "EOdbKeyViolation: The database refused the change (ByName)",
          FormatException(e));
  }
  SetOdbExceptionProc(nullptr);
  return failures == 0 ? 0 : 1;
}
