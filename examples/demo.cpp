// Corvid in one page: store application objects in an SQLite database
// through a mapping, browse them in two orders, find, update, delete, use a
// bookmark, and see a duplicate key refused.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include "odb/Odb.h"
#include "persist/ObjPerst.h"

using namespace corvid;

// --- 1. The application class ---------------------------------------------
// Any class declared with CORVID_CLASS whose data is written and read by two
// stream procedures can be stored: the database keeps each object whole, as
// its stream image.
class TContact : public TObject {
  CORVID_CLASS(TContact, ::corvid::TObject)
 public:
  TContact() = default;
  TContact(std::string AName, std::int32_t AAge, double AHeight)
      : Name(std::move(AName)), Age(AAge), Height(AHeight) {}

  std::string Name;
  std::int32_t Age = 0;
  double Height = 0;    // metres
  std::int32_t Id = 0;  // numbered by the database
};

void WriteContact(TObject* Obj, TObjectWriter& Writer) {
  auto* c = static_cast<TContact*>(Obj);
  Writer.WriteString(c->Name);
  Writer.WriteInteger(c->Age);
  Writer.WriteFloat(c->Height);
  Writer.WriteInteger(c->Id);
}

void ReadContact(TObject* Obj, TObjectReader& Reader) {
  auto* c = static_cast<TContact*>(Obj);
  c->Name = Reader.ReadString();
  c->Age = Reader.ReadInteger();
  c->Height = static_cast<double>(Reader.ReadFloat());
  c->Id = Reader.ReadInteger();
}

const bool contactRegistered = [] {
  RegisterStreamable(TContact::StaticClass(), {ReadContact}, {WriteContact});
  return true;
}();

// --- 2. The mapping ---------------------------------------------------------
// The columns the database keeps beside each object (for keys and searches)
// and the indices over them.
class TContactMapping : public TORMapping {
  CORVID_CLASS(TContactMapping, ::corvid::TORMapping)
 public:
  TClass GetObjectType() const override { return TContact::StaticClass(); }
  void DefineFields() override {
    AddField("Name", oftString, 31);  // up to 30 characters
    AddField("Age", oftInteger);
    AddField("Height", oftFloat);
    AddField("Id", oftAutoInc);
  }
  void DefineIndices() override {
    AddIndex("ById", {iaPrimary}, {"Id"});
    AddIndex("ByName", {iaUnique, iaCaseInsensitive}, {"Name"});
    AddIndex("ByAge", {}, {"Age"});
  }
  void UpdateFieldsFromObj(const TObject* Obj) override {
    auto* c = static_cast<const TContact*>(Obj);
    FieldByName("Name")->SetAsString(c->Name);
    FieldByName("Age")->SetAsInteger(c->Age);
    FieldByName("Height")->SetAsFloat(c->Height);
    FieldByName("Id")->SetAsInteger(c->Id);
  }
  void UpdateObjFromFields(TObject* Obj) override {
    static_cast<TContact*>(Obj)->Id = FieldByName("Id")->GetAsInteger();
  }
};

// --- helpers for printing ----------------------------------------------------

TContact& Current(TObjectFile& File) {
  return *static_cast<TContact*>(File.GetCurrentObj());
}

std::string Describe(const TContact& C) {
  char height[16];
  std::snprintf(height, sizeof height, "%.2f", C.Height);
  return "#" + std::to_string(C.Id) + " " + C.Name + ", " + std::to_string(C.Age) + " years, " +
         height + " m";
}

void Browse(TObjectFile& File, const std::string& Index) {
  File.SetIndexName(Index);
  std::cout << "  in " << Index << " order:\n";
  for (bool more = File.FindFirst(); more; more = File.FindNext()) {
    std::cout << "    " << Describe(Current(File)) << "\n";
  }
}

int main() {
  try {
    const std::string path = (std::filesystem::temp_directory_path() / "corvid-demo.db").string();
    std::filesystem::remove(path);
    std::filesystem::remove(path + "-wal");
    std::filesystem::remove(path + "-shm");

    // --- 3. Open a database through a driver found by name ---------------
    std::cout << "Creating the SQLite database " << path << "\n";
    TObjectDatabase db(GetOdbDriverClass("SQLite"), path);
    db.Open("create", "", "");  // "create": make the file when it is missing

    // --- 4. An object file: one table of contacts -------------------------
    TObjectFile contacts(db, "Contacts", TContactMapping::StaticClass());
    contacts.CreateFile();
    contacts.Open();

    std::cout << "\nInserting five contacts (the database numbers them):\n";
    for (const TContact& c :
         {TContact("Grace", 45, 1.68), TContact("alan", 41, 1.80), TContact("Ada", 36, 1.65),
          TContact("linus", 28, 1.77), TContact("Barbara", 52, 1.70)}) {
      contacts.SetCurrentObj(&c);  // the file keeps its own copy
      contacts.Insert();
      std::cout << "  stored " << Describe(Current(contacts)) << "\n";
    }
    std::cout << "The file holds " << contacts.GetObjectCount() << " contacts.\n";

    std::cout << "\nBrowsing in two index orders:\n";
    Browse(contacts, "ByName");  // letter case ignored: Ada, alan, Barbara, ...
    Browse(contacts, "ByAge");

    std::cout << "\nFinding exactly on ByName (any letter case): \"ADA\"\n";
    contacts.SetIndexName("ByName");
    TContact key("ADA", 0, 0);
    contacts.SetCurrentObj(&key);
    if (contacts.FindExact()) std::cout << "  found " << Describe(Current(contacts)) << "\n";

    std::cout << "Finding the nearest on ByAge to 40 (the first not below):\n";
    contacts.SetIndexName("ByAge");
    TContact age("", 40, 0);
    contacts.SetCurrentObj(&age);
    contacts.FindNearest();
    std::cout << "  nearest is " << Describe(Current(contacts)) << "\n";

    std::cout << "\nTaking a bookmark here, then updating Ada's age to 37:\n";
    auto mark = contacts.GetBookmark();
    contacts.SetIndexName("ByName");
    contacts.SetCurrentObj(&key);
    contacts.FindExact();
    Current(contacts).Age = 37;  // change the current object in place ...
    contacts.Update();           // ... and store it
    std::cout << "  now " << Describe(Current(contacts)) << "\n";

    std::cout << "Deleting linus:\n";
    TContact linus("linus", 0, 0);
    contacts.SetCurrentObj(&linus);
    if (contacts.FindExact()) {
      contacts.Delete();
      std::cout << "  deleted; the file moved on to " << Describe(Current(contacts)) << "\n";
    }

    std::cout << "Returning to the bookmark (it restores its index, ByAge):\n";
    contacts.GotoBookmark(std::move(mark));
    std::cout << "  back at " << Describe(Current(contacts)) << " in " << contacts.GetIndexName()
              << " order\n";

    std::cout << "\nInserting \"GRACE\" while \"Grace\" exists (ByName is unique):\n";
    TContact twin("GRACE", 30, 1.60);
    contacts.SetCurrentObj(&twin);
    try {
      contacts.Insert();
      std::cout << "  stored?! That should not happen.\n";
    } catch (const EOdbKeyViolation& e) {
      std::cout << "  refused with EOdbKeyViolation on index "
                << e.Message().substr(e.Message().find_last_of("\r\n") + 1) << "\n";
    }

    std::cout << "\nWhat is stored now:\n";
    Browse(contacts, "ById");

    contacts.Close();
    db.Close();
    std::cout << "\nDone. The database file stays at " << path << "\n";
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "demo failed: " << e.what() << "\n";
    return 1;
  }
}
