// Internal to the PostgreSQL driver: a mapped table as the server holds it
// (the shared schema plus the server's names for it), the key expressions
// of its indices and the statements that create it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "corvid/drivers/postgresql/PgLibpq.h"
#include "corvid/odb/OdbSchema.h"

namespace corvid {
class TUnorderedList;
}

namespace corvid::pgsql {

// The column that identifies a row for positions, bookmarks and locks.
inline constexpr const char* kRowIdColumn = "odb_rowid";
// The column that holds the object image.
inline constexpr const char* kObjectColumn = "object";

// A mapped table: name, columns and indices, taken from the mapping when a
// dataset is opened or created, with odb_rowid as its row identity.
struct TTableDef : TDatasetSchema {
  // Raises EOdbFieldDoesNotExist for an index naming a missing field.
  static TTableDef FromMapping(const std::string& Table, TUnorderedList& Fields,
                               TUnorderedList& Indices);
  // The mapping's index name for a violated constraint's name: the index
  // whose server-side name it is, the primary index for "<table>_pkey", else
  // the constraint name itself.
  std::string IndexForConstraint(const std::string& Constraint) const;
  // The server-side name of an index.
  std::string ServerIndexName(const TSchemaIndex& Index) const;
  std::string QuotedTable() const { return QuoteIdent(Table); }
};

// The SQL expression of a key column of Index (collation "C" for strings,
// lower() for case-insensitive strings).
std::string KeyExpr(const TTableDef& Def, const TSchemaIndex& Index, int Column);
// The expression that compares with KeyExpr for the parameter $N.
std::string KeyParamExpr(const TTableDef& Def, const TSchemaIndex& Index, int Column, int N);
// Binds the value of Field in the type of its column.
void AddFieldParam(TPgParams& Params, const TOdbField& Field);
// "a = $1 and b = $2" on the primary key, with the key values bound in
// Params (from Fields); EOdbTableMustHavePrimaryIndex without one.
std::string PrimaryWhere(const TTableDef& Def, TUnorderedList& Fields, TPgParams& Params);

// The statements that create Def's table: the table in the layout of the
// create-table builder, its row identity, the identities of auto-increment
// columns and one index per index definition. EOdbError for a table or
// column name that is not a plain SQL name.
std::vector<std::string> CreateStatements(const TTableDef& Def);

}  // namespace corvid::pgsql
