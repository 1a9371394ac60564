// Tables of the SQLite driver: creating and dropping them.
//
// The table of a mapping is the one the create-table builder describes,
// written with quoted names: string columns "varchar(<Size - 1>)",
// integers "integer", floats "float", the image in "Object" (blob), and the
// primary key in the index's collation and order. Every other index becomes
// an SQLite index "<table>_<index>".
#include "corvid/drivers/sqlite/SQLiteConnection.h"
#include "corvid/drivers/sqlite/SQLiteDriver.h"
#include "corvid/drivers/sqlite/SQLiteTable.h"
#include "corvid/odb/OdbDataset.h"
#include "corvid/odb/OdbSchema.h"
#include "corvid/odb/OdbSql.h"

namespace corvid {

using sqlite::TConnection;

namespace {

class TSQLiteDialect : public TTableDialect {
 public:
  std::string Name(const std::string& Ident) const override {
    return TConnection::QuoteName(Ident);
  }
  std::string ColumnType(const TSchemaColumn& Column) const override {
    switch (Column.Type) {
      case oftString:
        return "varchar(" + std::to_string(Column.Size > 0 ? Column.Size - 1 : 0) + ")";
      case oftFloat:
        return "float";
      default:
        return "integer";
    }
  }
  std::string KeyTerm(const TDatasetSchema& Schema, const TSchemaIndex& Index,
                      std::size_t Position) const override {
    const TSchemaColumn& c = Schema.Columns[static_cast<std::size_t>(Index.Columns[Position])];
    std::string term = TConnection::QuoteName(c.Name);
    if (Index.CaseInsensitive && c.Type == oftString) term += " collate nocase";
    if (Index.Descending) term += " desc";
    return term;
  }
  std::string ObjectType() const override { return "blob"; }
};

// The statements that make Schema's table and its secondary indices.
std::string CreateStatements(const TDatasetSchema& Schema) {
  const TSQLiteDialect dialect;
  std::string sql = BuildCreateTable(Schema, dialect).Text() + ";\n";
  const std::string table = dialect.Name(Schema.Table);
  for (std::size_t i = 0; i < Schema.Indices.size(); ++i) {
    const TSchemaIndex& index = Schema.Indices[i];
    if (static_cast<int>(i) == Schema.Primary || index.Columns.empty()) continue;
    std::string keys;
    for (std::size_t k = 0; k < index.Columns.size(); ++k) {
      keys += (k > 0 ? ", " : "") + dialect.KeyTerm(Schema, index, k);
    }
    sql += std::string("create ") + (index.Unique ? "unique " : "") + "index " +
           dialect.Name(Schema.Table + "_" + index.Name) + " on " + table + " (" + keys + ");\n";
  }
  return sql;
}

}  // namespace

void TSQLiteDriver::InternalCreateDataset(TObjectDataset& Dataset) {
  const TDatasetSchema schema = TDatasetSchema::FromMapping(
      Dataset.GetDatasetName(), Dataset.GetFields(), Dataset.GetIndices());
  const std::string sql = CreateStatements(schema);
  TConnection& c = Connection();
  c.BeginWrite();
  InSavepoint(c, "corvid_create", [&] { c.Exec(sql); });
}

void TSQLiteDriver::InternalDeleteDataset(TObjectDataset& Dataset) {
  const std::string& table = Dataset.GetDatasetName();
  TConnection& c = Connection();
  c.BeginWrite();
  if (!c.TableExists(table)) RaiseOdb<EOdbObjectFileDoesNotExist>(table);
  for (TDriverCursor* cursor : Cursors()) {
    auto* t = dynamic_cast<sqlite::TTable*>(cursor);
    if (t != nullptr && SameName(t->TableName(), table)) {
      RaiseOdb<EOdbError>("the table " + table + " is open");
    }
  }
  c.LockTable(table, true);
  try {
    InSavepoint(c, "corvid_drop", [&] {
      c.Exec("drop table " + TConnection::QuoteName(table));
      // The table's counters go with it.
      sqlite::TStmt s = c.Prepare("delete from corvid_sequence where name like ?1 escape '\\'");
      std::string pattern;
      for (char ch : LowerName(table)) {
        if (ch == '%' || ch == '_' || ch == '\\') pattern += '\\';
        pattern += ch;
      }
      sqlite::BindText(s.get(), 1, pattern + ".%");
      const int rc = sqlite3_step(s.get());
      if (rc != SQLITE_DONE) c.RaiseEngineError(rc, "forgetting the counters of " + table);
    });
  } catch (...) {
    c.UnlockTable(table, true);
    throw;
  }
  c.UnlockTable(table, true);
}

}  // namespace corvid
