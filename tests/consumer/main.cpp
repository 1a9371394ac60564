// Stores three notes in an SQLite database, reopens it and reads them back
// in index order. The program links only Corvid's SQLite driver library and
// finds the driver by name, so it also shows that linking that one library
// brings the driver's and the core's registrations.
#include <corvid/Version.h>
#include <corvid/odb/Odb.h>
#include <corvid/persist/ObjPerst.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Note.h"

using namespace corvid;

namespace {

int failures = 0;

void Check(bool Ok, const std::string& What) {
  if (!Ok) {
    std::fprintf(stderr, "FAILED: %s\n", What.c_str());
    ++failures;
  }
}

}  // namespace

int main() {
  try {
#ifdef CONSUMER_CORVID_VERSION
    Check(std::string(CORVID_VERSION_STRING) == CONSUMER_CORVID_VERSION,
          "Version.h says " CORVID_VERSION_STRING ", the package " CONSUMER_CORVID_VERSION);
#endif
    Check(CORVID_VERSION ==
              CORVID_VERSION_MAJOR * 10000 + CORVID_VERSION_MINOR * 100 + CORVID_VERSION_PATCH,
          "CORVID_VERSION");
    // Registered by archive members this program never names.
    for (const char* name : {"TOdbField", "THashTable", "TStringCombo"}) {
      Check(FindStreamableInterface(name) != nullptr, std::string("streamable ") + name);
    }

    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("corvid-consumer-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "notes.db").string();
    {
      TObjectDatabase db(GetOdbDriverClass("SQLite"), path);
      db.Open("create", "", "");
      TObjectFile notes(db, "Notes", TNoteORMapping::StaticClass());
      notes.CreateFile();
      notes.Open();
      for (const char* title : {"milk", "bread", "apples"}) {
        TNote n;
        n.SetTitle(title);
        n.SetStars(static_cast<std::int32_t>(std::string(title).size()));
        notes.SetCurrentObj(&n);
        notes.Insert();
      }
      notes.Close();
      db.Close();
    }
    {
      TObjectDatabase db(GetOdbDriverClass("SQLite"), path);
      db.Open("", "", "");
      TObjectFile notes(db, "Notes", TNoteORMapping::StaticClass());
      notes.Open();
      notes.SetIndexName("ByTitle");
      std::vector<std::string> titles;
      for (bool more = notes.FindFirst(); more; more = notes.FindNext()) {
        const auto& n = *static_cast<TNote*>(notes.GetCurrentObj());
        Check(n.GetStars() == static_cast<std::int32_t>(n.GetTitle().size()),
              "stars of " + n.GetTitle());
        titles.push_back(n.GetTitle());
      }
      Check(titles == std::vector<std::string>{"apples", "bread", "milk"},
            "the notes read back in title order");
      notes.Close();
      db.Close();
    }
    std::filesystem::remove_all(dir);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "FAILED: %s\n", e.what());
    return 1;
  }
  if (failures == 0) std::puts("consumer: three notes stored and read back");
  return failures == 0 ? 0 : 1;
}
