// Corvid in one page: store contacts in an SQLite database, browse them in
// two orders, find, update, delete, use a bookmark and a transaction, and
// see a duplicate key refused.
//
//   demo [DATABASE]      (default: corvid-demo.db in the temporary folder)
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

// Generated at build time from examples/Contact.json (corvid_generate, see
// CMakeLists.txt): the class TContact with getters and setters for Name,
// Age, Height and Id, its stream procedures, and the mapping
// TContactORMapping with the columns and indices ById, ByName and ByAge.
#include "Contact.h"

using namespace corvid;

TContact Contact(const std::string& Name, std::int32_t Age = 0, double Height = 0) {
  TContact c;
  c.SetName(Name);
  c.SetAge(Age);
  c.SetHeight(Height);  // metres
  return c;
}

std::ostream& operator<<(std::ostream& Out, const TContact& C) {
  char height[16];
  std::snprintf(height, sizeof height, "%.2f", C.GetHeight());
  return Out << "#" << C.GetId() << " " << C.GetName() << ", " << C.GetAge() << " years, " << height
             << " m";
}

void Browse(TTypedObjectFile<TContact>& Contacts, const std::string& Index) {
  std::cout << "  in " << Index << " order:\n";
  for (const TContact& c : Contacts.InOrder(Index)) std::cout << "    " << c << "\n";
}

int main(int argc, char** argv) {
  try {
    const std::string path =
        argc > 1 ? argv[1] : (std::filesystem::temp_directory_path() / "corvid-demo.db").string();
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
    std::cout << "Creating the SQLite database " << path << "\n";
    TObjectDatabase db(GetOdbDriverClass("SQLite"), path);
    db.Open("create", "", "");  // "create": make the file when it is missing
    TTypedObjectFile<TContact> contacts(db, "Contacts", TContactORMapping::StaticClass());
    contacts.CreateFile();
    contacts.Open();

    std::cout << "\nInserting five contacts in one transaction (the database numbers them):\n";
    TTransaction tx(db);  // rolled back should anything below fail
    for (const TContact& c :
         {Contact("Grace", 45, 1.68), Contact("alan", 41, 1.80), Contact("Ada", 36, 1.65),
          Contact("linus", 28, 1.77), Contact("Barbara", 52, 1.70)}) {
      std::cout << "  stored " << contacts.Insert(c) << "\n";  // the file stores a copy
    }
    tx.Commit();
    std::cout << "The file holds " << contacts.GetObjectCount() << " contacts.\n";

    std::cout << "\nBrowsing in two index orders:\n";
    Browse(contacts, "ByName");  // letter case ignored: Ada, alan, Barbara, ...
    Browse(contacts, "ByAge");

    std::cout << "\nFinding exactly on ByName (any letter case): \"ADA\"\n";
    if (contacts.FindExact("ByName", Contact("ADA")))
      std::cout << "  found " << contacts.Current() << "\n";
    std::cout << "Finding the nearest on ByAge to 40 (the first not below):\n";
    std::cout << "  nearest is " << contacts.FindNearest("ByAge", Contact("", 40)) << "\n";

    std::cout << "\nTaking a bookmark here, then updating Ada's age to 37:\n";
    auto mark = contacts.GetBookmark();
    // A failed find leaves the key as the current object: update only on a match.
    if (contacts.FindExact("ByName", Contact("Ada"))) {
      contacts.Current().SetAge(37);  // change the current object in place ...
      contacts.Update();              // ... and store it
      std::cout << "  now " << contacts.Current() << "\n";
    }
    std::cout << "Deleting linus:\n";
    if (contacts.FindExact("ByName", Contact("linus"))) {
      contacts.Delete();
      std::cout << "  deleted; the file moved on to " << contacts.Current() << "\n";
    }
    std::cout << "Returning to the bookmark (it restores its index, ByAge):\n";
    contacts.GotoBookmark(std::move(mark));
    std::cout << "  back at " << contacts.Current() << " in " << contacts.GetIndexName()
              << " order\n";

    std::cout << "\nInserting \"GRACE\" while \"Grace\" exists (ByName is unique):\n";
    try {
      contacts.Insert(Contact("GRACE", 30, 1.60));
      std::cout << "  stored?! That should not happen.\n";
    } catch (const EOdbKeyViolation& e) {
      std::cout << "  refused: " << FormatException(e) << "\n";
    }

    std::cout << "\nWhat is stored now:\n";
    Browse(contacts, "ById");
    std::cout << "\nDone. The database file stays at " << path << "\n";
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "demo failed: " << FormatException(e) << "\n";
    return 1;
  }
}
