// Internal to the SQLite driver: the connection and what every cursor of it
// shares (statements, engine errors, the write generation, the pending
// insert, savepoints and table locks), and the base of its cursors.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <string>

#include "corvid/odb/OdbCursorDriver.h"
#include "corvid/odb/OdbSavepoint.h"
#include "corvid/util/OdbMisc.h"

namespace corvid {

class TSQLiteDriver;

namespace sqlite {

// A prepared statement, finalised with its owner.
struct TStmtDeleter {
  void operator()(sqlite3_stmt* Stmt) const { sqlite3_finalize(Stmt); }
};
using TStmt = std::unique_ptr<sqlite3_stmt, TStmtDeleter>;

// Resets a statement and clears its bindings on scope exit, so that a
// cached statement holds no values and keeps no read open between uses.
class TStmtReset {
 public:
  explicit TStmtReset(sqlite3_stmt* S) : s_(S) {}
  ~TStmtReset() {
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
  }
  TStmtReset(const TStmtReset&) = delete;
  TStmtReset& operator=(const TStmtReset&) = delete;

 private:
  sqlite3_stmt* s_;
};

// A prepared select statement of a query, with the column of the images
// its checks found.
struct TQueryStmt {
  std::string Sql;
  TStmt Stmt;
  int ObjectColumn = -1;
};
// Query statements move whole (list nodes) between the connection's cache
// and the query that uses one.
using TQueryStmts = std::list<TQueryStmt>;

// The text of parameter N: "?N". (Built by appending: g++ 12 warns falsely
// about "?" + std::to_string(N) at -O3.)
std::string Param(std::size_t N);
// Binds text or a blob as a copy.
void BindText(sqlite3_stmt* Stmt, int Param, std::string_view Text);
void BindBlob(sqlite3_stmt* Stmt, int Param, const void* Data, std::int64_t Size);

class TConnection;

// The state of one handle. A handle on a table (record access) and a handle
// on a query result (SQL access) navigate alike.
class TCursor : public TDriverCursor {
  CORVID_CLASS(TCursor, ::corvid::TDriverCursor)
 public:
  explicit TCursor(TConnection& Connection);
  ~TCursor() override;

  // Ends every pending read of this handle (run before the connection
  // writes, so that no read snapshot stands in the way of the write).
  virtual void Quiesce() {}
  // The connection is closing: finalise every statement of the handle.
  virtual void Disconnect() {}
  // Gives the pages of deleted records back (any handle may ask).
  void Pack() override;

  TConnection& Db() const { return *connection_; }

 private:
  TConnection* connection_;
};

// Options of Open (the Server argument).
struct TOpenOptions {
  bool Create = false;
  bool SyncNormal = false;
  int TimeoutMs = 5000;
};
TOpenOptions ParseOptions(const std::string& Server);

class TConnection : public TDriverConnection {
 public:
  explicit TConnection(TSQLiteDriver& Driver);
  ~TConnection() override;
  TConnection(const TConnection&) = delete;
  TConnection& operator=(const TConnection&) = delete;

  TSQLiteDriver& Driver() const { return driver_; }
  // Name is the database file; User and Password are ignored.
  void Open(const std::string& Name, const std::string& Server, const std::string& User,
            const std::string& Password) override;
  void Close() override;
  // Transactions take the write lock at once (begin immediate).
  void StartTransaction() override;
  void Commit() override;
  void Rollback() override;
  bool IsOpen() const { return db_ != nullptr; }

  // The open connection; EOdbDatabaseNotOpened when closed.
  sqlite3* Handle() const;
  // Prepares Sql; EOdbError with the engine's message on failure.
  TStmt Prepare(const std::string& Sql) const;
  // Runs one or more statements without results; EOdbError on failure.
  void Exec(const std::string& Sql) const;
  // Raises the exception that fits the engine's result code Rc (EOdbError
  // with the engine's message and Context by default).
  [[noreturn]] void RaiseEngineError(int Rc, const std::string& Context) const;
  // Whether Table exists (letter case ignored).
  bool TableExists(const std::string& Table) const;

  // Ends the pending reads of every handle and marks cached positions
  // stale; called before every write of the connection.
  void BeginWrite();
  // Ends the pending reads of every handle outside a transaction, so that
  // the next read starts from the newest data of every connection (a walk
  // in progress reads the data of the moment its statement began).
  void EndReads();
  // The connection keeps the statements of the queries last closed (the
  // most recent first, at most kKeptQueries), so that a query opened again
  // with the same text is not prepared again. A statement is kept only while
  // no query uses it, so two open queries never share one; all go when the
  // connection closes.
  static constexpr std::size_t kKeptQueries = 24;
  // Moves the kept statement for Sql into Into (empty); false when none is
  // kept.
  bool TakeQueryStmt(const std::string& Sql, TQueryStmts& Into);
  // Resets the statement in From (its read ends, its parameters are
  // cleared) and keeps it; From is left empty.
  void KeepQueryStmt(TQueryStmts& From) noexcept;

  // Room for the text of a key search while its query opens; one string
  // serves every search, so that its storage is not made anew each time.
  std::string& SearchText() { return searchText_; }

  // Counts writes made through this connection; handles re-seek when it
  // changed since they last read.
  std::uint64_t WriteGeneration() const { return writeGeneration_; }

  // A record inserted with auto-increment values and an empty image is kept
  // in its open savepoint until the Update that brings its image (or the
  // Delete that takes it back, which undoes the savepoint), so that a crash
  // in between leaves no record without an image. Any other write (or
  // closing) releases the savepoint first.
  void SetPendingInsert(TCursor* Cursor, std::unique_ptr<TSavepoint> Savepoint);
  // The savepoint of Cursor's pending insert (no longer pending), or null.
  std::unique_ptr<TSavepoint> TakePendingInsert(TCursor* Cursor);
  // Releases a pending insert's savepoint; when that fails (a failed
  // commit) the insert is undone and the error raised.
  void ClosePendingInsert();
  // Cursor goes: its pending insert is kept as inserted where that can be.
  void ForgetCursor(TCursor* Cursor) noexcept;

  // Takes (shared or exclusive) the lock of Table in the lock file, counted
  // per table for this connection's handles; EOdbError when another
  // connection holds a conflicting lock. Nothing for an in-memory database.
  void LockTable(const std::string& Table, bool Exclusive);
  void UnlockTable(const std::string& Table, bool Exclusive);

  // Savepoints: "savepoint <name>" (outside a transaction it begins one),
  // "release <name>".
  bool InTransaction() const override;
  void BeginSavepoint(const std::string& Name, bool Outermost) override;
  void ReleaseSavepoint(const std::string& Name, bool Outermost) override;
  bool UndoSavepoint(const std::string& Name, bool Outermost) noexcept override;

  // Quotes an identifier for SQL text ("name", with " doubled).
  static std::string QuoteName(const std::string& Name);
  // Raises EOdbInvalidFieldType when F, a key field of Table, holds NaN:
  // SQLite would store it as null, which orders with no other key.
  static void CheckKeyValue(const TOdbField& F, const std::string& Table);

 private:
  struct TTableLock {
    int Shared = 0;
    int Exclusive = 0;
  };
  void ConfigureNewConnection(const TOpenOptions& Options);
  void QuiesceAll();

  TSQLiteDriver& driver_;
  sqlite3* db_ = nullptr;
  bool memory_ = false;
  std::string lockFileName_;
  int lockFd_ = -1;
  std::uint64_t writeGeneration_ = 0;
  TCursor* pendingCursor_ = nullptr;
  std::unique_ptr<TSavepoint> pendingSavepoint_;
  std::map<std::string, TTableLock> locks_;
  TQueryStmts keptQueries_;
  std::string searchText_;
};

}  // namespace sqlite
}  // namespace corvid
