#include "drivers/PostgreSQLDriver.h"

#include <cstring>
#include <exception>
#include <memory>
#include <utility>

#include "containers/ObjList.h"
#include "drivers/PostgreSQLDriverState.h"
#include "odb/OdbDataset.h"
#include "odb/OdbErrors.h"
#include "odb/OdbFile.h"
#include "odb/OdbMapping.h"
#include "odb/OdbQuery.h"
#include "odb/OdbSql.h"
#include "persist/Streams.h"
#include "util/OdbMisc.h"
#include "values/ObjBuckt.h"

namespace corvid {

using pgsql::QuoteIdent;
using pgsql::TPgParams;
using pgsql::TPgResult;
using pgsql::TQueryState;
using pgsql::TTableDef;
using pgsql::TTableState;
using pgsql::TUpdateState;

namespace pgsql {

namespace {

bool SameNoCase(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t i = 0; i < A.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(A[i]) != lower(B[i])) return false;
  }
  return true;
}

}  // namespace

TTableDef TTableDef::FromMapping(const std::string& Table, TUnorderedList& Fields,
                                 TUnorderedList& Indices) {
  TTableDef def;
  def.Table = Table;
  for (TObject* obj : Fields) {
    const auto* field = static_cast<const TOdbField*>(obj);
    def.Columns.push_back({field->GetName(), field->GetFieldType(), field->GetSize()});
  }
  for (TObject* obj : Indices) {
    const auto* index = static_cast<const TOdbIndex*>(obj);
    TIndexDef idx;
    idx.Name = index->GetName();
    const TOdbIndexAttributes attrs = index->GetAttributes();
    idx.Primary = attrs.Contains(iaPrimary);
    idx.Unique = idx.Primary || attrs.Contains(iaUnique);
    idx.CaseInsensitive = attrs.Contains(iaCaseInsensitive);
    idx.Descending = attrs.Contains(iaDescending);
    for (TObject* nameObj : index->FieldNames()) {
      const std::string& name = static_cast<const TStringCombo*>(nameObj)->Str;
      int found = -1;
      for (std::size_t c = 0; c < def.Columns.size(); ++c) {
        if (SameNoCase(def.Columns[c].Name, name)) {
          found = static_cast<int>(c);
          break;
        }
      }
      if (found < 0) RaiseOdb<EOdbFieldDoesNotExist>(name);
      idx.Columns.push_back(found);
    }
    if (idx.Primary && def.Primary < 0) def.Primary = static_cast<int>(def.Indices.size());
    def.Indices.push_back(std::move(idx));
  }
  return def;
}

int TTableDef::FindIndex(std::string_view Name) const {
  for (std::size_t i = 0; i < Indices.size(); ++i) {
    if (SameNoCase(Indices[i].Name, Name)) return static_cast<int>(i);
  }
  return -1;
}

std::string TTableDef::ServerIndexName(const TIndexDef& Index) const {
  return FoldIdent(Table + "_" + Index.Name);
}

std::string TTableDef::IndexForConstraint(const std::string& Constraint) const {
  for (const TIndexDef& idx : Indices) {
    if (ServerIndexName(idx) == Constraint) return idx.Name;
  }
  if (Primary >= 0 && Constraint.ends_with("_pkey")) {
    return Indices[static_cast<std::size_t>(Primary)].Name;
  }
  return Constraint;
}

std::string KeyExpr(const TTableDef& Def, const TIndexDef& Index, int Column) {
  const TColumnDef& col = Def.Columns[static_cast<std::size_t>(Column)];
  const std::string name = QuoteIdent(col.Name);
  if (col.Type != oftString) return name;
  if (Index.CaseInsensitive) return "lower(" + name + ") collate \"C\"";
  return name + " collate \"C\"";
}

std::string KeyParamExpr(const TTableDef& Def, const TIndexDef& Index, int Column, int N) {
  const TColumnDef& col = Def.Columns[static_cast<std::size_t>(Column)];
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

std::vector<std::string> TTableState::OrderExprs(int IndexNo) const {
  std::vector<std::string> exprs;
  if (IndexNo < 0) {
    exprs.push_back(kRowIdColumn);
    return exprs;
  }
  const TIndexDef& idx = Def.Indices[static_cast<std::size_t>(IndexNo)];
  for (int c : idx.Columns) exprs.push_back(KeyExpr(Def, idx, c));
  if (!idx.Unique || idx.Columns.empty()) exprs.push_back(kRowIdColumn);
  return exprs;
}

std::string TTableState::PositionColumns() const {
  std::string cols = std::string(kRowIdColumn) + ", " + kObjectColumn;
  for (const std::string& e : OrderExprs(CurrentIndex)) cols += ", " + e;
  return cols;
}

}  // namespace pgsql

// ---------------------------------------------------------------------------
// Construction and registration

TPostgreSQLDriver::TPostgreSQLDriver() = default;

TPostgreSQLDriver::~TPostgreSQLDriver() {
  CloseDatabaseQuietly();
}

TOdbFieldTypes TPostgreSQLDriver::GetSupportedFieldTypes() const {
  return {oftString, oftFloat, oftInteger, oftAutoInc};
}

namespace {
const bool registered = [] {
  RegisterOdbDriver(TPostgreSQLDriver::StaticClass(), "PostgreSQL");
  return true;
}();
}  // namespace

// ---------------------------------------------------------------------------
// Statements and errors

void TPostgreSQLDriver::RaiseFailure(const TPgResult& Result, const TTableDef* Def) {
  const std::string state = Result.SqlState();
  const std::string message = Result.ErrorMessage();
  if (state == "23505") {
    const std::string constraint = Result.Constraint();
    RaiseOdb<EOdbKeyViolation>(Def ? Def->IndexForConstraint(constraint) : constraint);
  }
  if (state == "42P01") RaiseOdb<EOdbObjectFileDoesNotExist>(message);
  if (state == "42703") RaiseOdb<EOdbFieldDoesNotExist>(message);
  if (state == "3D000" || state.starts_with("08") || state == "57P01" || !conn_.Healthy()) {
    RaiseOdb<EOdbDatabaseDoesNotExist>(message);
  }
  RaiseOdb<EOdbError>(message);
}

TPgResult TPostgreSQLDriver::Run(const std::string& Sql, const TPgParams& Params,
                                 const TTableDef* Def, bool Write) {
  if (pendingInsert_.Handle != 0) SettlePendingInsert();
  if (Write) ++writeStamp_;
  if (Write && inTransaction_) {
    // A failed statement aborts the whole transaction; the savepoint keeps
    // a refused write from taking the caller's earlier work with it.
    TPgResult result = conn_.ExecUnderSavepoint(Sql, Params, "corvid_write");
    if (!result.Ok()) RaiseFailure(result, Def);
    return result;
  }
  TPgResult result = conn_.Exec(Sql, Params);
  if (!result.Ok()) RaiseFailure(result, Def);
  return result;
}

TPgResult TPostgreSQLDriver::RunAfter(const std::string& First, const std::string& Sql,
                                      const TPgParams& Params, const TTableDef* Def) {
  if (pendingInsert_.Handle != 0) SettlePendingInsert();
  ++writeStamp_;
  TPgResult result = conn_.ExecAfter(First, Sql, Params);
  if (!result.Ok()) RaiseFailure(result, Def);
  return result;
}

TPgResult TPostgreSQLDriver::RunText(const std::string& Sql, const TTableDef* Def) {
  if (pendingInsert_.Handle != 0) SettlePendingInsert();
  // Transaction control and table definitions change what reads see.
  ++writeStamp_;
  TPgResult result = conn_.ExecText(Sql);
  if (!result.Ok()) RaiseFailure(result, Def);
  return result;
}

void TPostgreSQLDriver::SettlePendingInsert() {
  const TPendingInsert pending = std::exchange(pendingInsert_, TPendingInsert());
  if (pending.Handle != 0) EndPendingInsert(pending, true);
}

void TPostgreSQLDriver::EndPendingInsert(const TPendingInsert& Insert, bool Keep) {
  ++writeStamp_;
  if (!Keep) {
    // Runs while another exception is on its way; should this fail too, the
    // connection is gone and the server rolls back by itself.
    conn_.ExecText(Insert.OwnTransaction
                       ? "rollback"
                       : "rollback to savepoint corvid_insert; release savepoint corvid_insert");
    return;
  }
  TPgResult r =
      conn_.ExecText(Insert.OwnTransaction ? "commit" : "release savepoint corvid_insert");
  if (!r.Ok()) RaiseFailure(r, nullptr);
  if (std::strcmp(PQcmdStatus(r.Get()), "ROLLBACK") == 0) {
    RaiseOdb<EOdbError>("The insert failed and was rolled back");
  }
}

// ---------------------------------------------------------------------------
// Database and transactions

void TPostgreSQLDriver::InternalOpenDatabase(const std::string& Server, const std::string& User,
                                             const std::string& Password) {
  pgsql::TPgConnectOptions options;
  options.Server = Server;
  options.Database = GetDatabaseName();
  options.User = User;
  options.Password = Password;
  options.ConnectTimeoutSeconds = connectTimeout_;
  std::string error;
  if (!conn_.Connect(options, error)) RaiseOdb<EOdbDatabaseDoesNotExist>(error);
  inTransaction_ = false;
}

void TPostgreSQLDriver::InternalCloseDatabase() {
  // An insert still waiting for its image is kept as it is, as before any
  // other operation; should that fail, there is nobody left to tell.
  try {
    SettlePendingInsert();
  } catch (...) {
  }
  oids_.clear();
  // Ending the session releases its advisory locks and rolls back an open
  // transaction.
  conn_.Disconnect();
  inTransaction_ = false;
}

void TPostgreSQLDriver::InternalStartTransaction() {
  if (inTransaction_) return;
  RunText("begin");
  inTransaction_ = true;
}

void TPostgreSQLDriver::InternalCommit() {
  SettlePendingInsert();
  if (!inTransaction_) return;
  inTransaction_ = false;
  TPgResult r = RunText("commit");
  // The server answers a commit of a failed transaction with a rollback
  // and no error: that must not pass for a commit.
  if (std::strcmp(PQcmdStatus(r.Get()), "ROLLBACK") == 0) {
    RaiseOdb<EOdbError>("The transaction failed and was rolled back");
  }
}

void TPostgreSQLDriver::InternalRollback() {
  SettlePendingInsert();
  if (!inTransaction_) return;
  inTransaction_ = false;
  RunText("rollback");
}

// ---------------------------------------------------------------------------
// Tables

std::uint32_t TPostgreSQLDriver::TableOid(const std::string& TableName) {
  const std::string key = pgsql::FoldIdent(TableName);
  const auto known = oids_.find(key);
  if (known != oids_.end()) return known->second;
  TPgParams params;
  params.AddText(QuoteIdent(TableName));
  TPgResult r = Run("select to_regclass($1)::oid", params);
  if (r.Rows() < 1 || r.IsNull(0, 0)) {
    RaiseOdb<EOdbObjectFileDoesNotExist>(TableName);
  }
  const auto oid = static_cast<std::uint32_t>(r.Int4(0, 0));
  oids_[key] = oid;
  return oid;
}

bool TPostgreSQLDriver::TryAdvisoryLock(std::uint32_t Oid, std::int64_t RowId, bool Shared) {
  TPgParams params;
  params.AddInt4(static_cast<std::int32_t>(Oid));
  params.AddInt4(RowId == 0 ? 0 : pgsql::RowLockKey(RowId));
  TPgResult r = Run(
      Shared ? "select pg_try_advisory_lock_shared($1, $2)" : "select pg_try_advisory_lock($1, $2)",
      params);
  return r.Rows() == 1 && r.Bytes(0, 0) == std::string_view("\x01", 1);
}

void TPostgreSQLDriver::AdvisoryUnlock(std::uint32_t Oid, std::int64_t RowId, bool Shared) {
  if (!conn_.Healthy()) return;
  TPgParams params;
  params.AddInt4(static_cast<std::int32_t>(Oid));
  params.AddInt4(RowId == 0 ? 0 : pgsql::RowLockKey(RowId));
  conn_.Exec(
      Shared ? "select pg_advisory_unlock_shared($1, $2)" : "select pg_advisory_unlock($1, $2)",
      params);
}

std::int32_t TPostgreSQLDriver::InternalOpenDataset(TObjectDataset& Dataset) {
  if (dynamic_cast<TObjectFile*>(&Dataset) == nullptr) return OpenQuery(Dataset);
  return OpenTable(Dataset, false);
}

std::int32_t TPostgreSQLDriver::InternalOpenExclusive(TObjectFile& ObjectFile) {
  return OpenTable(ObjectFile, true);
}

std::int32_t TPostgreSQLDriver::OpenTable(TObjectDataset& Dataset, bool Exclusive) {
  auto state = std::make_unique<TTableState>();
  state->Def =
      TTableDef::FromMapping(Dataset.GetDatasetName(), Dataset.GetFields(), Dataset.GetIndices());
  // Looked up afresh: the table may have been dropped or made again by
  // another connection since.
  oids_.erase(pgsql::FoldIdent(Dataset.GetDatasetName()));
  state->TableOid = TableOid(Dataset.GetDatasetName());
  state->Exclusive = Exclusive;
  if (!TryAdvisoryLock(state->TableOid, 0, !Exclusive)) {
    RaiseOdb<EOdbError>(Exclusive
                            ? "Table " + Dataset.GetDatasetName() + " is open on another connection"
                            : "Table " + Dataset.GetDatasetName() +
                                  " is opened exclusively by another connection");
  }
  const std::uint32_t oid = state->TableOid;
  try {
    return NewHandle(std::move(state));
  } catch (...) {
    AdvisoryUnlock(oid, 0, !Exclusive);
    throw;
  }
}

std::int32_t TPostgreSQLDriver::OpenQuery(TObjectDataset& Dataset) {
  auto* query = dynamic_cast<TObjectQuery*>(&Dataset);
  std::string text;
  if (query != nullptr) text = query->SelectStatement().Text();
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
    RaiseOdb<EOdbSelectStatementNotSpecified>(Dataset.GetDatasetName());
  }
  auto state = std::make_unique<TQueryState>();
  // A query on a table takes the table's shared key like an open object
  // file, so it is refused while another connection has the table opened
  // exclusively.
  TPgParams name;
  name.AddText(QuoteIdent(Dataset.GetDatasetName()));
  TPgResult table = Run("select to_regclass($1)::oid", name);
  if (table.Rows() == 1 && !table.IsNull(0, 0)) {
    const auto oid = static_cast<std::uint32_t>(table.Int4(0, 0));
    if (!TryAdvisoryLock(oid, 0, true)) {
      RaiseOdb<EOdbError>("Table " + Dataset.GetDatasetName() +
                          " is opened exclusively by another connection");
    }
    state->LockOid = oid;
  }
  // Under a savepoint inside a transaction (like a write): a failing
  // statement of the application must not abort the transaction.
  const std::uint32_t lockOid = state->LockOid;
  try {
    state->Result = Run(text, TPgParams(), nullptr, true);
    state->ObjectColumn = state->Result.ColumnIndex(pgsql::kObjectColumn);
    if (state->ObjectColumn < 0) RaiseOdb<EOdbFieldDoesNotExist>("Object");
    return NewHandle(std::move(state));
  } catch (...) {
    if (lockOid != 0) AdvisoryUnlock(lockOid, 0, true);
    throw;
  }
}

void TPostgreSQLDriver::InternalCloseDataset(std::int32_t Handle) {
  // The handle's pending insert is kept; the handle closes either way.
  std::exception_ptr settleError;
  if (pendingInsert_.Handle == Handle) {
    try {
      SettlePendingInsert();
    } catch (...) {
      settleError = std::current_exception();
    }
  }
  TObject* obj = GetHandleDataObj(Handle);
  if (auto* table = dynamic_cast<TTableState*>(obj)) {
    for (std::int64_t row : table->Locks) AdvisoryUnlock(table->TableOid, row, false);
    table->Locks.clear();
    AdvisoryUnlock(table->TableOid, 0, !table->Exclusive);
  } else if (auto* query = dynamic_cast<TQueryState*>(obj)) {
    if (query->LockOid != 0) AdvisoryUnlock(query->LockOid, 0, true);
  }
  ReleaseHandle(Handle);
  if (settleError) std::rethrow_exception(settleError);
}

std::int32_t TPostgreSQLDriver::InternalOpenUpdate() {
  return NewHandle(std::make_unique<TUpdateState>());
}

void TPostgreSQLDriver::InternalCloseUpdate(std::int32_t Handle) {
  ReleaseHandle(Handle);
}

namespace {

// The column type of a mapped field. A string field of Size 1 holds only the
// empty string, which would make varchar(0), refused by the server: it gets
// varchar(1).
std::string ColumnType(const pgsql::TColumnDef& Column) {
  switch (Column.Type) {
    case oftString:
      return std::string(TPostgreSQLDriver::kStringType) + "(" +
             std::to_string(Column.Size > 1 ? Column.Size - 1 : 1) + ")";
    case oftFloat:
      return TPostgreSQLDriver::kFloatType;
    case oftInteger:
    case oftAutoInc:
      return TPostgreSQLDriver::kIntegerType;
    default:
      RaiseOdb<EOdbFieldTypeNotSupported>();
  }
}

// The create-table statement in the layout of the SQL builders': one line
// per column, the object column, and the primary key clause when the
// mapping has a primary index (its columns not null).
std::string CreateTableStatement(const TTableDef& Def) {
  std::vector<bool> inPrimary(Def.Columns.size(), false);
  std::string primary;
  if (Def.Primary >= 0) {
    for (int c : Def.Indices[static_cast<std::size_t>(Def.Primary)].Columns) {
      inPrimary[static_cast<std::size_t>(c)] = true;
      if (!primary.empty()) primary += ",";
      primary += Def.Columns[static_cast<std::size_t>(c)].Name;
    }
  }
  TStringList lines;
  lines.Add("create table " + Def.Table);
  lines.Add("(");
  for (std::size_t c = 0; c < Def.Columns.size(); ++c) {
    lines.Add(Def.Columns[c].Name + " " + ColumnType(Def.Columns[c]) +
              (inPrimary[c] ? " not null" : ""));
    lines.Add(",");
  }
  if (Def.Primary >= 0) {
    lines.Add(std::string("Object ") + TPostgreSQLDriver::kObjectType + ",");
    lines.Add("primary key (" + primary + ")");
  } else {
    lines.Add(std::string("Object ") + TPostgreSQLDriver::kObjectType);
  }
  lines.Add(")");
  return lines.Text();
}

}  // namespace

void TPostgreSQLDriver::InternalCreateDataset(TObjectDataset& Dataset) {
  const std::string& table = Dataset.GetDatasetName();
  oids_.erase(pgsql::FoldIdent(table));
  const TTableDef def = TTableDef::FromMapping(table, Dataset.GetFields(), Dataset.GetIndices());
  // The builders write names unquoted into the statement: only plain SQL
  // names may go there.
  auto checkName = [](const std::string& Name) {
    bool ok = !Name.empty() && Name.size() <= 63 && !(Name[0] >= '0' && Name[0] <= '9');
    for (char c : Name) {
      ok = ok &&
           ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_');
    }
    if (!ok) RaiseOdb<EOdbError>("Not a plain SQL name: " + Name);
  };
  checkName(table);
  for (const pgsql::TColumnDef& col : def.Columns) checkName(col.Name);
  const std::string create = CreateTableStatement(def);
  std::vector<std::string> statements;
  // A table of that name already there is refused (EOdbError), never
  // replaced: its data stays.
  statements.push_back(create);
  statements.push_back("alter table " + def.QuotedTable() + " add column " + pgsql::kRowIdColumn +
                       " bigint generated always as identity");
  statements.push_back("create unique index " + QuoteIdent(table + "_" + pgsql::kRowIdColumn) +
                       " on " + def.QuotedTable() + " (" + pgsql::kRowIdColumn + ")");
  for (const pgsql::TColumnDef& col : def.Columns) {
    if (col.Type != oftAutoInc) continue;
    statements.push_back("alter table " + def.QuotedTable() + " alter column " +
                         QuoteIdent(col.Name) + " set not null, alter column " +
                         QuoteIdent(col.Name) + " add generated by default as identity");
  }
  for (const pgsql::TIndexDef& idx : def.Indices) {
    // The primary key's own index serves a primary index without strings.
    bool hasString = false;
    for (int c : idx.Columns)
      hasString = hasString || def.Columns[static_cast<std::size_t>(c)].Type == oftString;
    if (idx.Primary && !hasString && !idx.Columns.empty()) continue;
    std::string cols;
    for (int c : idx.Columns) {
      if (!cols.empty()) cols += ", ";
      cols += pgsql::KeyExpr(def, idx, c);
      if (idx.Descending) cols += " desc";
    }
    // The key of a non-unique index ends with the row identity, so that
    // walking along it is one index scan.
    if (!idx.Unique || idx.Columns.empty()) {
      if (!cols.empty()) cols += ", ";
      cols += std::string(pgsql::kRowIdColumn) + (idx.Descending ? " desc" : "");
    }
    statements.push_back(
        std::string("create ") + (idx.Unique && !idx.Columns.empty() ? "unique " : "") + "index " +
        QuoteIdent(def.ServerIndexName(idx)) + " on " + def.QuotedTable() + " (" + cols + ")");
  }

  const bool ownTransaction = !inTransaction_;
  RunText(ownTransaction ? "begin" : "savepoint corvid_create");
  try {
    for (const std::string& s : statements) RunText(s, &def);
  } catch (...) {
    conn_.ExecText(ownTransaction ? "rollback" : "rollback to savepoint corvid_create");
    throw;
  }
  RunText(ownTransaction ? "commit" : "release savepoint corvid_create");
}

void TPostgreSQLDriver::InternalDeleteDataset(TObjectDataset& Dataset) {
  const std::string& table = Dataset.GetDatasetName();
  const std::uint32_t oid = TableOid(table);
  // Dropping a table that another connection has open would pull it away
  // under that connection: refuse.
  if (!TryAdvisoryLock(oid, 0, false)) {
    RaiseOdb<EOdbError>("Table " + table + " is open on another connection");
  }
  try {
    TPgParams none;
    oids_.erase(pgsql::FoldIdent(table));
    Run("drop table " + QuoteIdent(table), none, nullptr, true);
  } catch (...) {
    AdvisoryUnlock(oid, 0, false);
    throw;
  }
  AdvisoryUnlock(oid, 0, false);
}

void TPostgreSQLDriver::InternalPack(std::int32_t Handle) {
  TTableState& state = TableState(Handle, "Pack");
  // VACUUM cannot run inside a transaction block; then there is nothing
  // to do now.
  if (inTransaction_) return;
  RunText("vacuum " + state.Def.QuotedTable(), &state.Def);
}

// ---------------------------------------------------------------------------
// SQL access

void TPostgreSQLDriver::RaiseLockedOrMissing(const std::string& Table, std::uint32_t Oid,
                                             const std::string& Where, const TPgParams& Params) {
  TPgResult guard = Run("select " + TableGuard(Oid), TPgParams());
  if (guard.Rows() == 1 && guard.Bytes(0, 0) != std::string_view("\x01", 1)) {
    RaiseOdb<EOdbError>("Table " + Table + " is opened exclusively by another connection");
  }
  TPgResult r = Run("select 1 from " + QuoteIdent(Table) + " where " + Where, Params);
  if (r.Rows() > 0) RaiseOdb<EOdbError>("Record locked by another user: " + Table);
  RaiseOdb<EOdbObjectNotFound>(Table);
}

namespace {

// "a = $1 and b = $2" on the primary key, with the key values bound in
// Params (from the mapping's fields).
std::string PrimaryWhere(const TTableDef& Def, TUnorderedList& Fields, TPgParams& Params) {
  if (Def.Primary < 0) RaiseOdb<EOdbTableMustHavePrimaryIndex>(Def.Table);
  const pgsql::TIndexDef& pk = Def.Indices[static_cast<std::size_t>(Def.Primary)];
  std::string where;
  for (int c : pk.Columns) {
    const pgsql::TColumnDef& col = Def.Columns[static_cast<std::size_t>(c)];
    if (!where.empty()) where += " and ";
    const int n = Params.Next();
    pgsql::AddFieldParam(Params, *GetFieldInList(col.Name, Fields));
    where += pgsql::KeyExpr(Def, pk, c) + " = " + pgsql::KeyParamExpr(Def, pk, c, n);
  }
  if (where.empty()) where = "true";
  return where;
}

}  // namespace

// Refuses (false) when another connection has the table opened
// exclusively; inside a transaction the shared key is kept to its end.
std::string TPostgreSQLDriver::TableGuard(std::uint32_t Oid) {
  return "pg_try_advisory_xact_lock_shared(" + std::to_string(static_cast<std::int32_t>(Oid)) +
         ", 0)";
}

namespace {

std::string LockCheck(std::uint32_t Oid) {
  return "pg_try_advisory_xact_lock(" + std::to_string(static_cast<std::int32_t>(Oid)) + ", " +
         pgsql::kRowLockKeySql + ")";
}

}  // namespace

void TPostgreSQLDriver::InternalInsertSQL(std::int32_t Handle, TMemoryStream& Stream,
                                          TORMapping& Mapping, const std::string& TableName) {
  if (dynamic_cast<TUpdateState*>(GetHandleDataObj(Handle)) == nullptr) {
    RaiseOdb<EOdbInvalidObjectFileHandle>();
  }
  const TTableDef def =
      TTableDef::FromMapping(TableName, Mapping.GetFields(), Mapping.GetIndices());
  TPgParams params;
  std::string cols, values;
  for (TObject* obj : Mapping.GetFields()) {
    const auto* field = static_cast<const TOdbField*>(obj);
    // An auto-increment column left at 0 takes the server's next number.
    if (field->GetFieldType() == oftAutoInc && field->GetAsInteger() == 0) continue;
    cols += QuoteIdent(field->GetName()) + ", ";
    values += '$';
    values += std::to_string(params.Next());
    values += ", ";
    pgsql::AddFieldParam(params, *field);
  }
  cols += pgsql::kObjectColumn;
  values += '$';
  values += std::to_string(params.Next());
  params.AddBytea(Stream.View());
  const std::uint32_t oid = TableOid(TableName);
  TPgResult r = Run("insert into " + def.QuotedTable() + " (" + cols + ") select " + values +
                        " where " + TableGuard(oid),
                    params, &def, true);
  if (r.AffectedRows() == 0) {
    RaiseOdb<EOdbError>("Table " + TableName + " is opened exclusively by another connection");
  }
}

void TPostgreSQLDriver::InternalUpdateSQL(std::int32_t Handle, TMemoryStream& Stream,
                                          TORMapping& Mapping, const std::string& TableName) {
  if (dynamic_cast<TUpdateState*>(GetHandleDataObj(Handle)) == nullptr) {
    RaiseOdb<EOdbInvalidObjectFileHandle>();
  }
  const TTableDef def =
      TTableDef::FromMapping(TableName, Mapping.GetFields(), Mapping.GetIndices());
  const std::uint32_t oid = TableOid(TableName);
  TPgParams whereParams;
  const std::string where = PrimaryWhere(def, Mapping.GetFields(), whereParams);
  const pgsql::TIndexDef& pk = def.Indices[static_cast<std::size_t>(def.Primary)];

  TPgParams params;
  std::string sets;
  for (std::size_t c = 0; c < def.Columns.size(); ++c) {
    bool inKey = false;
    for (int k : pk.Columns) inKey = inKey || static_cast<std::size_t>(k) == c;
    if (inKey) continue;
    sets += QuoteIdent(def.Columns[c].Name) + " = $" + std::to_string(params.Next()) + ", ";
    pgsql::AddFieldParam(params, *GetFieldInList(def.Columns[c].Name, Mapping.GetFields()));
  }
  sets += std::string(pgsql::kObjectColumn) + " = $" + std::to_string(params.Next());
  params.AddBytea(Stream.View());
  // The key's parameters follow the new values.
  const std::string keyWhere = PrimaryWhere(def, Mapping.GetFields(), params);
  TPgResult r = Run("update " + def.QuotedTable() + " set " + sets + " where " + keyWhere +
                        " and " + TableGuard(oid) + " and " + LockCheck(oid),
                    params, &def, true);
  if (r.AffectedRows() == 0) RaiseLockedOrMissing(TableName, oid, where, whereParams);
}

void TPostgreSQLDriver::InternalDeleteSQL(std::int32_t Handle, TORMapping& Mapping,
                                          const std::string& TableName) {
  if (dynamic_cast<TUpdateState*>(GetHandleDataObj(Handle)) == nullptr) {
    RaiseOdb<EOdbInvalidObjectFileHandle>();
  }
  const TTableDef def =
      TTableDef::FromMapping(TableName, Mapping.GetFields(), Mapping.GetIndices());
  const std::uint32_t oid = TableOid(TableName);
  TPgParams params;
  const std::string where = PrimaryWhere(def, Mapping.GetFields(), params);
  TPgResult r = Run("delete from " + def.QuotedTable() + " where " + where + " and " +
                        TableGuard(oid) + " and " + LockCheck(oid),
                    params, &def, true);
  if (r.AffectedRows() == 0) RaiseLockedOrMissing(TableName, oid, where, params);
}

}  // namespace corvid
