// Internal to the PostgreSQL driver: the session on the server and what
// every cursor of it shares: running statements and turning failures into
// the database layer's exceptions, transactions and savepoints, the insert
// that waits for its image, table oids and advisory locks.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "corvid/drivers/postgresql/PgSchema.h"
#include "corvid/odb/OdbCursorDriver.h"
#include "corvid/odb/OdbSavepoint.h"

namespace corvid {
class TPostgreSQLDriver;
}

namespace corvid::pgsql {

// The second key of a record's advisory lock (the first is the table's
// oid): 1 to 2^31 - 1, so it never meets the table's own key 0. RowKeySql is
// the same computed by the server from the column.
inline std::int32_t RowLockKey(std::int64_t RowId) {
  return static_cast<std::int32_t>((RowId - 1) % 2147483647 + 1);
}
inline constexpr const char* kRowLockKeySql = "((odb_rowid - 1) % 2147483647 + 1)::int4";

class TSession;

// The state of one handle of the driver.
class TPgCursor : public TDriverCursor {
  CORVID_CLASS(TPgCursor, ::corvid::TDriverCursor)
 public:
  explicit TPgCursor(TSession& Session);
  ~TPgCursor() override;
  // Releases what the handle holds on the server (its locks) as it closes.
  virtual void Close() {}

  TSession& Session() const { return *session_; }

 private:
  TSession* session_;
};

class TSession : public TDriverConnection {
 public:
  explicit TSession(TPostgreSQLDriver& Driver) : driver_(Driver) {}

  TPostgreSQLDriver& Driver() const { return driver_; }
  TPgConnection& Connection() { return conn_; }
  // Database is the database on the server; Server a host name with an
  // optional ":port", a socket directory, or a libpq connection string.
  void Open(const std::string& Database, const std::string& Server, const std::string& User,
            const std::string& Password) override;
  void Close() override;
  // Seconds a connection attempt may take; used by the next Open.
  void SetConnectTimeout(int Seconds) { connectTimeout_ = Seconds; }
  int GetConnectTimeout() const { return connectTimeout_; }

  // Runs a statement; raises the exception that fits a failure (Def names
  // the indices for a key violation). Writes run under a savepoint while a
  // transaction is open.
  TPgResult Run(const std::string& Sql, const TPgParams& Params, const TTableDef* Def = nullptr,
                bool Write = false);
  // Runs a statement that is not worth preparing (an application's query,
  // a drop table) as a write.
  TPgResult RunOnce(const std::string& Sql, const TTableDef* Def = nullptr);
  TPgResult RunText(const std::string& Sql, const TTableDef* Def = nullptr);
  // After tables were made or dropped through this connection: statements
  // prepared for the old ones are dropped, since the same text may now
  // return other types. Also when a transaction that changed tables is
  // rolled back.
  void TablesChanged();
  [[noreturn]] void RaiseFailure(const TPgResult& Result, const TTableDef* Def);
  // Counts the statements that may have changed data through this
  // connection; rows read ahead are trusted only while it stands still.
  std::uint64_t WriteStamp() const { return writeStamp_; }

  // BEGIN, COMMIT and ROLLBACK; a StartTransaction inside a transaction,
  // and a Commit or Rollback outside one, do nothing.
  void StartTransaction() override;
  void Commit() override;
  void Rollback() override;

  // Savepoints: outermost ones are transactions of their own.
  bool InTransaction() const override { return inTransaction_; }
  void BeginSavepoint(const std::string& Name, bool Outermost) override;
  void ReleaseSavepoint(const std::string& Name, bool Outermost) override;
  bool UndoSavepoint(const std::string& Name, bool Outermost) noexcept override;

  // An insert with auto-increment fields and no image yet: its row is held
  // back, in a transaction of its own or under a savepoint of the caller's,
  // until the Update of the same cursor has written the image. Runs the
  // insert Sql so, and keeps it pending for Cursor.
  TPgResult RunPendingInsert(TPgCursor& Cursor, const std::string& Sql, const TPgParams& Params,
                             const TTableDef* Def);
  bool IsPending(const TPgCursor& Cursor) const { return pending_ == &Cursor; }
  // Commits (Keep) or takes back Cursor's pending insert; taking back
  // raises nothing. Nothing when Cursor has none.
  void EndPendingInsert(const TPgCursor& Cursor, bool Keep);
  // Commits a pending insert as it is (before anything but its completing
  // Update or its Delete).
  void SettlePendingInsert();

  // The table's oid; raises EOdbObjectFileDoesNotExist when there is none.
  // Fresh: looked up again (the table may have been made anew since).
  std::uint32_t TableOid(const std::string& TableName, bool Fresh = false);
  void ForgetOid(const std::string& TableName);
  // The oid of TableName, 0 when there is no such table.
  std::uint32_t FindOid(const std::string& TableName);
  bool TryAdvisoryLock(std::uint32_t Oid, std::int64_t RowId, bool Shared);
  void AdvisoryUnlock(std::uint32_t Oid, std::int64_t RowId, bool Shared);
  // After an update or delete that touched no row: the record is locked by
  // another connection (EOdbError) or gone (EOdbObjectNotFound).
  [[noreturn]] void RaiseLockedOrMissing(const std::string& Table, std::uint32_t Oid,
                                         const std::string& Where, const TPgParams& Params);
  // A condition that is false while another connection has the table
  // opened exclusively; inside a transaction the shared key is kept to its
  // end.
  static std::string TableGuard(std::uint32_t Oid);
  // A condition that takes the record's lock key for the statement (to
  // the end of an open transaction); false when another connection holds
  // it.
  static std::string RecordGuard(std::uint32_t Oid);

 private:
  TPostgreSQLDriver& driver_;
  TPgConnection conn_;
  int connectTimeout_ = 10;
  std::uint64_t writeStamp_ = 0;
  // Table oids by folded name, for the lock keys of SQL access.
  std::map<std::string, std::uint32_t> oids_;
  bool inTransaction_ = false;
  // Tables were made or dropped in the open transaction.
  bool tablesChangedInTransaction_ = false;
  const TPgCursor* pending_ = nullptr;
  bool pendingOutermost_ = false;
};

}  // namespace corvid::pgsql

namespace corvid::pgsql {
// The driver's libpq connection, for tools and tests that need the server
// directly; null while the database is closed.
PGconn* RawConnection(TPostgreSQLDriver& Driver);
}  // namespace corvid::pgsql
