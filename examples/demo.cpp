// Corvid in one page: store application objects in an SQLite database
// through a mapping, browse them in two orders, find, update, delete, use a
// bookmark, and see a duplicate key refused.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

// --- 1. The application class and its mapping -------------------------------
// Generated at build time from the class model examples/Contact.json by
// corvid_generate (see CMakeLists.txt): the class TContact with getters and
// setters for Name, Age, Height and Id, its stream procedures and their
// registration, and the mapping TContactORMapping, which lists the columns
// the database keeps beside each object (for keys and searches), the indices
// over them, and copies the numbered Id back into the object.
#include "Contact.h"

using namespace corvid;

TContact MakeContact(const std::string& Name, std::int32_t Age, double Height) {
  TContact c;
  c.SetName(Name);
  c.SetAge(Age);
  c.SetHeight(Height);  // metres
  return c;
}

// --- helpers for printing ----------------------------------------------------

TContact& Current(TObjectFile& File) {
  return *static_cast<TContact*>(File.GetCurrentObj());
}

std::string Describe(const TContact& C) {
  char height[16];
  std::snprintf(height, sizeof height, "%.2f", C.GetHeight());
  return "#" + std::to_string(C.GetId()) + " " + C.GetName() + ", " + std::to_string(C.GetAge()) +
         " years, " + height + " m";
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
    TObjectFile contacts(db, "Contacts", TContactORMapping::StaticClass());
    contacts.CreateFile();
    contacts.Open();

    std::cout << "\nInserting five contacts (the database numbers them):\n";
    for (const TContact& c : {MakeContact("Grace", 45, 1.68), MakeContact("alan", 41, 1.80),
                              MakeContact("Ada", 36, 1.65), MakeContact("linus", 28, 1.77),
                              MakeContact("Barbara", 52, 1.70)}) {
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
    TContact key = MakeContact("ADA", 0, 0);
    contacts.SetCurrentObj(&key);
    if (contacts.FindExact()) std::cout << "  found " << Describe(Current(contacts)) << "\n";

    std::cout << "Finding the nearest on ByAge to 40 (the first not below):\n";
    contacts.SetIndexName("ByAge");
    TContact age = MakeContact("", 40, 0);
    contacts.SetCurrentObj(&age);
    contacts.FindNearest();
    std::cout << "  nearest is " << Describe(Current(contacts)) << "\n";

    std::cout << "\nTaking a bookmark here, then updating Ada's age to 37:\n";
    auto mark = contacts.GetBookmark();
    contacts.SetIndexName("ByName");
    contacts.SetCurrentObj(&key);
    contacts.FindExact();
    Current(contacts).SetAge(37);  // change the current object in place ...
    contacts.Update();             // ... and store it
    std::cout << "  now " << Describe(Current(contacts)) << "\n";

    std::cout << "Deleting linus:\n";
    TContact linus = MakeContact("linus", 0, 0);
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
    TContact twin = MakeContact("GRACE", 30, 1.60);
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
