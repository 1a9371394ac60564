// corvid-dump: prints object-stream data as an indented tree (class name,
// version, decoded payload), from an object-stream file or from the tables
// of a Corvid SQLite database.
//
//   corvid-dump [--code-page=1252|utf8] FILE
//   corvid-dump [--code-page=1252|utf8] --sqlite DATABASE [TABLE]
//
// With --sqlite the database is opened read-only; the object tables (those
// with an Object column) are listed, then every record of each (or of
// TABLE only) with its columns and its image. Payloads of classes the
// dumper does not know are shown value by value from their tags.
//
// Exit status 0 when everything was dumped; 1 with the error's message
// when a file or an image is damaged (the other records of a database are
// still dumped), the database cannot be opened or TABLE is not an object
// table; 2 for a usage error.
#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "corvid/odb/OdbField.h"
#include "corvid/persist/ObjPerst.h"
#include "corvid/persist/ObjPerstDump.h"
#include "corvid/util/OdbMisc.h"

namespace {

using namespace corvid;

// The payload of a database field: name, type ordinal, size, then the
// value's bytes in the layout of the type.
void DumpOdbField(TReader& R, TObjectDumper& D, std::string_view, int Indent) {
  D.Field(Indent, "Name", TObjectDumper::Quote(R.ReadString()));
  const std::int32_t type = R.ReadInteger();
  const std::int32_t size = R.ReadInteger();
  const char* names[] = {"oftString", "oftFloat", "oftInteger", "oftAutoInc"};
  D.Field(Indent, "FieldType",
          type >= 0 && type < 4 ? names[type] : "unknown (" + std::to_string(type) + ")");
  D.Field(Indent, "Size", std::to_string(size));
  if (size < 0) throw EReadError("Invalid property value");
  R.CheckAvailable(size);
  std::string b(static_cast<std::size_t>(size), '\0');
  R.Read(b.data(), size);
  if (type == oftString && size >= 1) {
    const std::size_t n = std::min<std::size_t>(static_cast<unsigned char>(b[0]), b.size() - 1);
    D.Field(Indent, "Value", TObjectDumper::Quote(std::string_view(b).substr(1, n)));
  } else if (type == oftFloat && size == 8) {
    double v;
    std::memcpy(&v, b.data(), 8);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    D.Field(Indent, "Value", buf);
  } else if ((type == oftInteger || type == oftAutoInc) && size == 4) {
    std::int32_t v;
    std::memcpy(&v, b.data(), 4);
    D.Field(Indent, "Value", std::to_string(v));
  } else if (size > 0) {
    D.Field(Indent, "Bytes", TObjectDumper::HexBytes(b));
  }
}

// Writes Text with every line indented by Indent spaces.
void Indented(const std::string& Text, int Indent) {
  std::istringstream lines(Text);
  for (std::string line; std::getline(lines, line);) {
    std::cout << std::string(static_cast<std::size_t>(Indent), ' ') << line << '\n';
  }
}

// One column value as the dump shows it.
std::string ColumnText(sqlite3_stmt* Stmt, int Col) {
  switch (sqlite3_column_type(Stmt, Col)) {
    case SQLITE_INTEGER:
      return std::to_string(sqlite3_column_int64(Stmt, Col));
    case SQLITE_FLOAT: {
      char buf[40];
      const auto r = std::to_chars(buf, buf + sizeof buf, sqlite3_column_double(Stmt, Col));
      return std::string(buf, r.ptr);
    }
    case SQLITE_TEXT:
      return TObjectDumper::Quote(reinterpret_cast<const char*>(sqlite3_column_text(Stmt, Col)));
    case SQLITE_BLOB: {
      const auto* p = static_cast<const char*>(sqlite3_column_blob(Stmt, Col));
      return "blob " + TObjectDumper::HexBytes(std::string_view(
                           p, static_cast<std::size_t>(sqlite3_column_bytes(Stmt, Col))));
    }
    default:
      return "null";
  }
}

// A statement finalised when it goes out of scope.
struct TStatement {
  sqlite3_stmt* stmt = nullptr;
  TStatement(sqlite3* Db, const std::string& Sql) {
    if (sqlite3_prepare_v2(Db, Sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) stmt = nullptr;
  }
  ~TStatement() { sqlite3_finalize(stmt); }
  TStatement(const TStatement&) = delete;
  TStatement& operator=(const TStatement&) = delete;
};

std::string QuoteName(const std::string& Name) {
  std::string q = "\"";
  for (char c : Name) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

// The tables that hold object images: those with a column named Object.
std::vector<std::string> ObjectTables(sqlite3* Db) {
  std::vector<std::string> tables;
  TStatement list(Db, "select name from sqlite_master where type = 'table' order by name");
  while (list.stmt != nullptr && sqlite3_step(list.stmt) == SQLITE_ROW) {
    const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(list.stmt, 0));
    TStatement info(Db, "pragma table_info(" + QuoteName(name) + ")");
    while (info.stmt != nullptr && sqlite3_step(info.stmt) == SQLITE_ROW) {
      if (sqlite3_stricmp(reinterpret_cast<const char*>(sqlite3_column_text(info.stmt, 1)),
                          "Object") == 0) {
        tables.push_back(name);
        break;
      }
    }
  }
  return tables;
}

// Dumps every record of Table; false when an image could not be dumped whole.
bool DumpTable(sqlite3* Db, const std::string& Table) {
  TStatement rows(Db, "select * from " + QuoteName(Table) + " order by rowid");
  if (rows.stmt == nullptr) {
    std::cerr << "corvid-dump: " << Table << ": " << sqlite3_errmsg(Db) << '\n';
    return false;
  }
  bool complete = true;
  std::cout << "Table " << Table << '\n';
  const int columns = sqlite3_column_count(rows.stmt);
  for (int record = 1; sqlite3_step(rows.stmt) == SQLITE_ROW; ++record) {
    std::cout << "  Record " << record << '\n';
    for (int c = 0; c < columns; ++c) {
      const std::string column = sqlite3_column_name(rows.stmt, c);
      if (sqlite3_stricmp(column.c_str(), "Object") != 0) {
        std::cout << "    " << column << ": " << ColumnText(rows.stmt, c) << '\n';
        continue;
      }
      std::cout << "    " << column << ":\n";
      const auto* image = static_cast<const char*>(sqlite3_column_blob(rows.stmt, c));
      TMemoryStream stream;
      stream.WriteBuffer(image, sqlite3_column_bytes(rows.stmt, c));
      stream.SetPosition(0);
      std::ostringstream tree;
      try {
        DumpObjectStream(stream, tree);
        Indented(tree.str(), 6);
      } catch (const Exception& e) {
        Indented(tree.str(), 6);
        std::cout.flush();
        std::cerr << "corvid-dump: " << Table << ", record " << record << ": " << FormatException(e)
                  << '\n';
        complete = false;
      }
    }
  }
  return complete;
}

int DumpDatabase(const char* File, const char* Table) {
  sqlite3* db = nullptr;
  // Opening is lazy: reading the schema is what finds a file that is not a
  // database.
  if (sqlite3_open_v2(File, &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
      sqlite3_exec(db, "select count(*) from sqlite_master", nullptr, nullptr, nullptr) !=
          SQLITE_OK) {
    std::cerr << "corvid-dump: " << File << ": " << sqlite3_errmsg(db) << '\n';
    sqlite3_close(db);
    return 1;
  }
  const std::vector<std::string> tables = ObjectTables(db);
  int status = 0;
  if (Table == nullptr) {
    std::cout << "Object tables:";
    for (const std::string& t : tables) std::cout << ' ' << t;
    std::cout << "\n";
    for (const std::string& t : tables) {
      if (!DumpTable(db, t)) status = 1;
    }
  } else {
    const auto it = std::find_if(tables.begin(), tables.end(), [&](const std::string& t) {
      return sqlite3_stricmp(t.c_str(), Table) == 0;
    });
    if (it == tables.end()) {
      std::cerr << "corvid-dump: " << File << ": no object table " << Table << '\n';
      status = 1;
    } else if (!DumpTable(db, *it)) {
      status = 1;
    }
  }
  sqlite3_close(db);
  return status;
}

int Usage() {
  std::cerr << "usage: corvid-dump [--code-page=1252|utf8] FILE\n"
               "       corvid-dump [--code-page=1252|utf8] --sqlite DATABASE [TABLE]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<const char*> files;
  bool sqlite = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--code-page=1252") {
      SetSystemCodePage(cpWindows1252);
    } else if (arg == "--code-page=utf8") {
      SetSystemCodePage(cpUtf8);
    } else if (arg == "--sqlite") {
      sqlite = true;
    } else if (arg.rfind("--", 0) == 0) {
      return Usage();
    } else {
      files.push_back(argv[i]);
    }
  }
  if (files.empty() || files.size() > (sqlite ? 2u : 1u)) return Usage();
  RegisterDumpPayload("TOdbField", DumpOdbField);
  if (sqlite) return DumpDatabase(files[0], files.size() > 1 ? files[1] : nullptr);
  const char* file = files[0];
  try {
    TFileStream stream(file, fmOpenRead);
    DumpObjectStream(stream, std::cout);
  } catch (const Exception& e) {
    std::cout.flush();
    std::cerr << "corvid-dump: " << file << ": " << e.Message() << '\n';
    return 1;
  }
  return 0;
}
