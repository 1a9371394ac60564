// The PostgreSQL driver's session: statements, failures, transactions,
// savepoints and the insert that waits for its image.
#include "corvid/drivers/postgresql/PgSession.h"

#include <cstring>
#include <utility>

#include "corvid/drivers/postgresql/PostgreSQLDriver.h"
#include "corvid/odb/OdbErrors.h"
#include "corvid/util/OdbMisc.h"

namespace corvid::pgsql {

TPgCursor::TPgCursor(TSession& Session)
    : TDriverCursor(Session.Driver(), rfUnsupportedAccess), session_(&Session) {}

TPgCursor::~TPgCursor() = default;

// ---------------------------------------------------------------------------
// Connecting

void TSession::Open(const std::string& Database, const std::string& Server, const std::string& User,
                    const std::string& Password) {
  TPgConnectOptions options;
  options.Server = Server;
  options.Database = Database;
  options.User = User;
  options.Password = Password;
  options.ConnectTimeoutSeconds = connectTimeout_;
  std::string error;
  if (!conn_.Connect(options, error)) RaiseOdb<EOdbDatabaseDoesNotExist>(error);
  inTransaction_ = false;
  tablesChangedInTransaction_ = false;
}

void TSession::Close() {
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
  tablesChangedInTransaction_ = false;
}

// ---------------------------------------------------------------------------
// Statements and errors

void TSession::RaiseFailure(const TPgResult& Result, const TTableDef* Def) {
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

TPgResult TSession::Run(const std::string& Sql, const TPgParams& Params, const TTableDef* Def,
                        bool Write) {
  if (pending_ != nullptr) SettlePendingInsert();
  if (Write) ++writeStamp_;
  // A failed statement aborts the whole transaction; the savepoint keeps a
  // refused write from taking the caller's earlier work with it.
  TPgResult result = Write && inTransaction_ ? conn_.ExecUnderSavepoint(Sql, Params, "corvid_write")
                                             : conn_.Exec(Sql, Params);
  if (!result.Ok()) RaiseFailure(result, Def);
  return result;
}

TPgResult TSession::RunOnce(const std::string& Sql, const TTableDef* Def) {
  if (pending_ != nullptr) SettlePendingInsert();
  ++writeStamp_;
  TPgResult result = inTransaction_
                         ? conn_.ExecUnderSavepoint(Sql, TPgParams(), "corvid_write", true)
                         : conn_.ExecOnce(Sql, TPgParams());
  if (!result.Ok()) RaiseFailure(result, Def);
  return result;
}

void TSession::TablesChanged() {
  conn_.ForgetStatements();
  if (inTransaction_) tablesChangedInTransaction_ = true;
}

TPgResult TSession::RunText(const std::string& Sql, const TTableDef* Def) {
  if (pending_ != nullptr) SettlePendingInsert();
  // Transaction control and table definitions change what reads see.
  ++writeStamp_;
  TPgResult result = conn_.ExecText(Sql);
  if (!result.Ok()) RaiseFailure(result, Def);
  return result;
}

// ---------------------------------------------------------------------------
// Transactions and savepoints

void TSession::StartTransaction() {
  if (inTransaction_) return;
  RunText("begin");
  inTransaction_ = true;
}

void TSession::Commit() {
  SettlePendingInsert();
  if (!inTransaction_) return;
  inTransaction_ = false;
  const bool tablesChanged = std::exchange(tablesChangedInTransaction_, false);
  try {
    ReleaseSavepoint(std::string(), true);
  } catch (...) {
    // The server rolled the transaction back, tables and all.
    if (tablesChanged) conn_.ForgetStatements();
    throw;
  }
}

void TSession::Rollback() {
  SettlePendingInsert();
  if (!inTransaction_) return;
  inTransaction_ = false;
  const bool tablesChanged = std::exchange(tablesChangedInTransaction_, false);
  RunText("rollback");
  if (tablesChanged) conn_.ForgetStatements();
}

namespace {

std::string BeginText(const std::string& Name, bool Outermost) {
  return Outermost ? "begin" : "savepoint " + Name;
}

}  // namespace

void TSession::BeginSavepoint(const std::string& Name, bool Outermost) {
  RunText(BeginText(Name, Outermost));
}

void TSession::ReleaseSavepoint(const std::string& Name, bool Outermost) {
  TPgResult r = RunText(Outermost ? "commit" : "release savepoint " + Name);
  // The server answers a commit of a failed transaction with a rollback
  // and no error: that must not pass for a commit.
  if (std::strcmp(PQcmdStatus(r.Get()), "ROLLBACK") == 0) {
    RaiseOdb<EOdbError>("The transaction failed and was rolled back");
  }
}

bool TSession::UndoSavepoint(const std::string& Name, bool Outermost) noexcept {
  ++writeStamp_;
  // Runs while another exception is on its way; should this fail too, the
  // connection is gone and the server rolls back by itself.
  try {
    const std::string sql =
        Outermost ? "rollback" : "rollback to savepoint " + Name + "; release savepoint " + Name;
    const bool undone = conn_.ExecText(sql).Ok();
    // Tables made or dropped under the savepoint may be back as they were.
    if (tablesChangedInTransaction_) {
      if (Outermost) tablesChangedInTransaction_ = false;
      conn_.ForgetStatements();
    }
    return undone;
  } catch (...) {
    return false;
  }
}

TPgResult TSession::RunPendingInsert(TPgCursor& Cursor, const std::string& Sql,
                                     const TPgParams& Params, const TTableDef* Def) {
  if (pending_ != nullptr) SettlePendingInsert();
  ++writeStamp_;
  const bool outermost = !inTransaction_;
  // The savepoint and the insert go in one round trip.
  TPgResult result = conn_.ExecAfter(BeginText("corvid_insert", outermost), Sql, Params);
  if (!result.Ok()) {
    UndoSavepoint("corvid_insert", outermost);
    // Back where it started, an insert that failed for being stale runs
    // again, prepared anew.
    if (conn_.RetryStale()) {
      result = conn_.ExecAfter(BeginText("corvid_insert", outermost), Sql, Params);
      if (!result.Ok()) UndoSavepoint("corvid_insert", outermost);
    }
    if (!result.Ok()) RaiseFailure(result, Def);
  }
  pending_ = &Cursor;
  pendingOutermost_ = outermost;
  return result;
}

void TSession::EndPendingInsert(const TPgCursor& Cursor, bool Keep) {
  if (pending_ != &Cursor) return;
  pending_ = nullptr;
  if (Keep) {
    ReleaseSavepoint("corvid_insert", pendingOutermost_);
  } else {
    UndoSavepoint("corvid_insert", pendingOutermost_);
  }
}

void TSession::SettlePendingInsert() {
  if (pending_ != nullptr) EndPendingInsert(*pending_, true);
}

// ---------------------------------------------------------------------------
// Oids and advisory locks

std::uint32_t TSession::FindOid(const std::string& TableName) {
  TPgParams params;
  params.AddText(QuoteIdent(TableName));
  TPgResult r = Run("select to_regclass($1)::oid", params);
  if (r.Rows() < 1 || r.IsNull(0, 0)) return 0;
  return static_cast<std::uint32_t>(r.Int4(0, 0));
}

std::uint32_t TSession::TableOid(const std::string& TableName, bool Fresh) {
  const std::string key = FoldIdent(TableName);
  if (Fresh) oids_.erase(key);
  const auto known = oids_.find(key);
  if (known != oids_.end()) return known->second;
  const std::uint32_t oid = FindOid(TableName);
  if (oid == 0) RaiseOdb<EOdbObjectFileDoesNotExist>(TableName);
  oids_[key] = oid;
  return oid;
}

void TSession::ForgetOid(const std::string& TableName) {
  oids_.erase(FoldIdent(TableName));
}

bool TSession::TryAdvisoryLock(std::uint32_t Oid, std::int64_t RowId, bool Shared) {
  TPgParams params;
  params.AddInt4(static_cast<std::int32_t>(Oid));
  params.AddInt4(RowId == 0 ? 0 : RowLockKey(RowId));
  TPgResult r = Run(
      Shared ? "select pg_try_advisory_lock_shared($1, $2)" : "select pg_try_advisory_lock($1, $2)",
      params);
  return r.Rows() == 1 && r.Bytes(0, 0) == std::string_view("\x01", 1);
}

void TSession::AdvisoryUnlock(std::uint32_t Oid, std::int64_t RowId, bool Shared) {
  if (!conn_.Healthy()) return;
  TPgParams params;
  params.AddInt4(static_cast<std::int32_t>(Oid));
  params.AddInt4(RowId == 0 ? 0 : RowLockKey(RowId));
  conn_.Exec(
      Shared ? "select pg_advisory_unlock_shared($1, $2)" : "select pg_advisory_unlock($1, $2)",
      params);
}

void TSession::RaiseLockedOrMissing(const std::string& Table, std::uint32_t Oid,
                                    const std::string& Where, const TPgParams& Params) {
  TPgResult guard = Run("select " + TableGuard(Oid), TPgParams());
  if (guard.Rows() == 1 && guard.Bytes(0, 0) != std::string_view("\x01", 1)) {
    RaiseOdb<EOdbError>("Table " + Table + " is opened exclusively by another connection");
  }
  TPgResult r = Run("select 1 from " + QuoteIdent(Table) + " where " + Where, Params);
  if (r.Rows() > 0) RaiseOdb<EOdbError>("Record locked by another user: " + Table);
  RaiseOdb<EOdbObjectNotFound>(Table);
}

std::string TSession::TableGuard(std::uint32_t Oid) {
  return "pg_try_advisory_xact_lock_shared(" + std::to_string(static_cast<std::int32_t>(Oid)) +
         ", 0)";
}

std::string TSession::RecordGuard(std::uint32_t Oid) {
  return "pg_try_advisory_xact_lock(" + std::to_string(static_cast<std::int32_t>(Oid)) + ", " +
         kRowLockKeySql + ")";
}

}  // namespace corvid::pgsql
