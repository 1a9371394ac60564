// The table a dataset is stored in, described once for every SQL engine:
// its columns (one per mapping field), its indices and the primary key,
// taken from a mapping's fields and indices. Drivers derive their tables,
// statements and navigation orders from it, and the create-table builder
// writes its text from it, so that an engine's column rules live in one
// place (its dialect) and the layout of the table in another (here).
//
// Names compare without regard to letter case, as mapping fields do.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "corvid/odb/OdbField.h"

namespace corvid {

class TStringList;
class TUnorderedList;

// Name with ASCII letters in lower case.
std::string LowerName(std::string_view Name);
// Whether A and B are the same name regardless of letter case.
bool SameName(std::string_view A, std::string_view B);

/// One column of a dataset's table: a mapping field's name, type and size.
struct TSchemaColumn {
  std::string Name;
  TOdbFieldType Type = oftString;
  std::uint16_t Size = 0;  // of a string field: its length plus one
};

/// One index of a dataset's table, with its fields and attributes.
struct TSchemaIndex {
  std::string Name;
  std::vector<int> Columns;        // positions in TDatasetSchema::Columns, key order
  std::vector<std::string> Names;  // the key fields as the index spells them
  bool Primary = false;
  bool Unique = false;  // Primary or iaUnique
  bool CaseInsensitive = false;
  bool Descending = false;
};

/// The table a dataset is stored in: its columns, indices and primary key, taken from a mapping.
class TDatasetSchema {
 public:
  // Raises EOdbFieldDoesNotExist for an index naming a missing field.
  static TDatasetSchema FromMapping(const std::string& Table, TUnorderedList& Fields,
                                    TUnorderedList& Indices);

  std::string Table;
  std::vector<TSchemaColumn> Columns;
  std::vector<TSchemaIndex> Indices;
  // Position in Indices of the first primary index that has key fields;
  // -1 when there is none (the table then has no primary key).
  int Primary = -1;
  // The column an engine adds to identify rows where it has no row id of
  // its own; empty when the engine has one.
  std::string RowIdColumn;

  // The column or index of that name; -1 when there is none.
  int FindColumn(std::string_view Name) const;
  int FindIndex(std::string_view Name) const;
  const TSchemaIndex* PrimaryIndex() const {
    return Primary >= 0 ? &Indices[static_cast<std::size_t>(Primary)] : nullptr;
  }
  bool InPrimaryKey(int Column) const;
  bool IsKeyColumn(int Column) const;  // part of any index
  bool HasAutoInc() const;
};

/// What an engine makes of the schema's columns: how names are written,
/// the type of each column and the terms of the primary key clause. The
/// defaults write names as they are and the key fields as the index spells
/// them.
class TTableDialect {
 public:
  virtual ~TTableDialect() = default;
  virtual std::string Name(const std::string& Ident) const { return Ident; }
  virtual std::string ColumnType(const TSchemaColumn& Column) const = 0;
  virtual std::string KeyTerm(const TDatasetSchema& Schema, const TSchemaIndex& Index,
                              std::size_t Position) const;
  // The type of the column "Object" holding the stored image.
  virtual std::string ObjectType() const = 0;
};

// The create-table statement of Schema: "create table <name>", "(", one
// line per column ("<name> <type> ", "not null" for primary-key columns)
// with "," lines between, then "Object <type>" and, when the schema has a
// primary key, "primary key (<terms>)", then ")".
TStringList BuildCreateTable(const TDatasetSchema& Schema, const TTableDialect& Dialect);

}  // namespace corvid
