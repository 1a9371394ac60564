// Tables of the PostgreSQL driver: their description and creation.
//
// CreateDataset creates the table in the layout of the create-table builder
// (type words varchar, integer, double precision, bytea; the object image
// in the column "object"), plus odb_rowid (a bigint identity, the permanent
// identity of a row), an identity on every auto-increment column, and one
// index per index definition named <table>_<index>, in the index's order,
// on lower(column) for case-insensitive strings, unique for primary and
// unique indices. A string field of Size 1 gets varchar(1), since the server
// refuses varchar(0).
#include "corvid/drivers/postgresql/PgSchema.h"

#include "corvid/odb/OdbErrors.h"
#include "corvid/odb/OdbSql.h"
#include "corvid/util/OdbMisc.h"

namespace corvid::pgsql {

TTableDef TTableDef::FromMapping(const std::string& Table, TUnorderedList& Fields,
                                 TUnorderedList& Indices) {
  TTableDef def;
  static_cast<TDatasetSchema&>(def) = TDatasetSchema::FromMapping(Table, Fields, Indices);
  def.RowIdColumn = kRowIdColumn;
  return def;
}

std::string TTableDef::ServerIndexName(const TSchemaIndex& Index) const {
  return FoldIdent(Table + "_" + Index.Name);
}

std::string TTableDef::IndexForConstraint(const std::string& Constraint) const {
  for (const TSchemaIndex& idx : Indices) {
    if (ServerIndexName(idx) == Constraint) return idx.Name;
  }
  if (Primary >= 0 && Constraint.ends_with("_pkey")) return PrimaryIndex()->Name;
  return Constraint;
}

std::string KeyExpr(const TTableDef& Def, const TSchemaIndex& Index, int Column) {
  const TSchemaColumn& col = Def.Columns[static_cast<std::size_t>(Column)];
  const std::string name = QuoteIdent(col.Name);
  if (col.Type != oftString) return name;
  if (Index.CaseInsensitive) return "lower(" + name + ") collate \"C\"";
  return name + " collate \"C\"";
}

std::string KeyParamExpr(const TTableDef& Def, const TSchemaIndex& Index, int Column, int N) {
  const TSchemaColumn& col = Def.Columns[static_cast<std::size_t>(Column)];
  const std::string param = "$" + std::to_string(N);
  if (col.Type == oftString && Index.CaseInsensitive) return "lower(" + param + ")";
  return param;
}

void AddFieldParam(TPgParams& Params, const TOdbField& Field) {
  switch (Field.GetFieldType()) {
    case oftString:
      Params.AddText(Field.GetAsString());
      break;
    case oftFloat:
      Params.AddFloat8(Field.GetAsFloat());
      break;
    case oftInteger:
    case oftAutoInc:
      Params.AddInt4(Field.GetAsInteger());
      break;
    default:
      RaiseOdb<EOdbFieldTypeNotSupported>();
  }
}

std::string PrimaryWhere(const TTableDef& Def, TUnorderedList& Fields, TPgParams& Params) {
  const TSchemaIndex* pk = Def.PrimaryIndex();
  if (pk == nullptr) RaiseOdb<EOdbTableMustHavePrimaryIndex>(Def.Table);
  std::string where;
  for (int c : pk->Columns) {
    const TSchemaColumn& col = Def.Columns[static_cast<std::size_t>(c)];
    if (!where.empty()) where += " and ";
    const int n = Params.Next();
    AddFieldParam(Params, *GetFieldInList(col.Name, Fields));
    where += KeyExpr(Def, *pk, c) + " = " + KeyParamExpr(Def, *pk, c, n);
  }
  return where;
}

namespace {

// The server's column rules. Names go unquoted into the statement (the
// server folds them to lower case, as the builders' names are).
class TPgDialect : public TTableDialect {
 public:
  std::string ColumnType(const TSchemaColumn& Column) const override {
    switch (Column.Type) {
      case oftString:
        // Size 1 holds only the empty string; varchar(0) is refused.
        return "varchar(" + std::to_string(Column.Size > 1 ? Column.Size - 1 : 1) + ")";
      case oftFloat:
        return "double precision";
      case oftInteger:
      case oftAutoInc:
        return "integer";
    }
    RaiseOdb<EOdbFieldTypeNotSupported>();
  }
  std::string ObjectType() const override { return "bytea"; }
};

// The builders write names unquoted into the statement: only plain SQL
// names may go there.
void CheckPlainName(const std::string& Name) {
  bool ok = !Name.empty() && Name.size() <= 63 && !(Name[0] >= '0' && Name[0] <= '9');
  for (char c : Name) {
    ok = ok &&
         ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_');
  }
  if (!ok) RaiseOdb<EOdbError>("Not a plain SQL name: " + Name);
}

// The create-index statement of Index. The key of a non-unique index ends
// with the row identity, so that walking along it is one index scan.
std::string CreateIndexStatement(const TTableDef& Def, const TSchemaIndex& Index) {
  std::string cols;
  for (int c : Index.Columns) {
    if (!cols.empty()) cols += ", ";
    cols += KeyExpr(Def, Index, c) + (Index.Descending ? " desc" : "");
  }
  const bool unique = Index.Unique && !Index.Columns.empty();
  if (!unique) {
    if (!cols.empty()) cols += ", ";
    cols += Def.RowIdColumn + (Index.Descending ? " desc" : "");
  }
  return std::string("create ") + (unique ? "unique " : "") + "index " +
         QuoteIdent(Def.ServerIndexName(Index)) + " on " + Def.QuotedTable() + " (" + cols + ")";
}

// Whether the primary key's own index serves Index (a primary index
// without strings, whose order is the plain one).
bool ServedByPrimaryKey(const TTableDef& Def, const TSchemaIndex& Index) {
  if (!Index.Primary || Index.Columns.empty()) return false;
  for (int c : Index.Columns) {
    if (Def.Columns[static_cast<std::size_t>(c)].Type == oftString) return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> CreateStatements(const TTableDef& Def) {
  CheckPlainName(Def.Table);
  for (const TSchemaColumn& col : Def.Columns) CheckPlainName(col.Name);
  const std::string table = Def.QuotedTable();
  // A table of that name already there is refused (EOdbError), never
  // replaced: its data stays.
  std::vector<std::string> statements{BuildCreateTable(Def, TPgDialect()).Text()};
  const std::string& rowId = Def.RowIdColumn;
  statements.push_back("alter table " + table + " add column " + rowId +
                       " bigint generated always as identity");
  statements.push_back("create unique index " + QuoteIdent(Def.Table + "_" + rowId) + " on " +
                       table + " (" + rowId + ")");
  for (const TSchemaColumn& col : Def.Columns) {
    if (col.Type != oftAutoInc) continue;
    const std::string name = QuoteIdent(col.Name);
    statements.push_back("alter table " + table + " alter column " + name +
                         " set not null, alter column " + name +
                         " add generated by default as identity");
  }
  for (const TSchemaIndex& idx : Def.Indices) {
    if (!ServedByPrimaryKey(Def, idx)) statements.push_back(CreateIndexStatement(Def, idx));
  }
  return statements;
}

}  // namespace corvid::pgsql
