// The embedded SQLite driver, registered under the name "SQLite".
//
// Database name and opening
//   DatabaseName is the database file, or ":memory:" for a private in-memory
//   database (one per driver, gone when it is closed). The Server argument of
//   Open carries options, separated by ';', letter case ignored:
//     create               create the database file when it does not exist;
//                          without it a missing file raises
//                          EOdbDatabaseDoesNotExist (detail: the file name)
//     synchronous=normal   sync the write-ahead log at checkpoints only
//                          (survives a killed process, not a power cut);
//                          the default, synchronous=full, syncs every commit
//     timeout=<ms>         how long to wait for another connection's write
//                          lock (default 5000)
//   User and Password are ignored. The database runs in WAL mode: a process
//   killed at any point loses no object whose Insert or Update returned
//   outside an open transaction.
//
// Tables (one per object file)
//   One column per mapping field, named as the field: strings
//   "varchar(<Size - 1>)", integers and auto-increments "integer", floats
//   "float"; then the column "Object" (blob) holding the object's stream
//   image; then "primary key (...)" on the fields of the primary index when
//   the mapping has one (COLLATE NOCASE / DESC where the index says so). This
//   is the table the SQL builders describe, so both access methods share it.
//   Every other mapping index becomes an SQLite index named
//   "<table>_<index>" honouring unique, case-insensitive (NOCASE) and
//   descending. A float key field holding NaN is refused with
//   EOdbInvalidFieldType (SQLite cannot store NaN; as a null it would order
//   with no other key). Auto-increment values come from the table
//   "corvid_sequence" (name, value): unique and increasing, never reused by
//   a stored record (an insert that fails is undone whole, its number
//   included).
//
// Record access
//   Navigation walks the current index in its order, equal keys in the order
//   of the records' row ids. Consecutive FindNext (or FindPrior) calls step
//   one open statement, which sees the data as of the step that began the
//   walk (writes through this driver restart it from the current record);
//   every other positioning reads the newest data of every connection. A
//   step that cannot use the open statement seeks from the current record's
//   key as SQLite holds it, so that key columns holding values of another
//   type or nulls (files written by others) are walked in SQLite's order,
//   each record once. FindNearest makes current the first record whose key
//   is not below the given one in index order, or the last record when
//   every key is below it. Bookmarks are row ids: they stay valid while
//   other records come and go; returning to a record that is gone raises
//   EOdbObjectNotFound. Keys are enforced by
//   SQLite itself (also between connections), so CheckDuplicateInsert and
//   CheckDuplicateUpdate are false; a duplicate raises EOdbKeyViolation
//   naming the first-defined index that collides and writes nothing.
//   Transactions: StartTransaction takes the write lock at once (BEGIN
//   IMMEDIATE). A write of several statements outside a transaction (an
//   auto-increment insert, creating or deleting a table) that fails, also
//   in its commit, raises and leaves the database as it was and no
//   transaction open. Exclusive open: a real lock held against every other
//   connection (in any process) through a lock file "<database>-corvid.lck"
//   beside the database; a table opened exclusively elsewhere refuses to
//   open with EOdbError. Where the lock file cannot be created (a read-only
//   folder) exclusive opens raise EOdbFileLockingNotSupported and shared
//   opens go ahead. Record locks are refused with
//   EOdbObjectLockingNotSupported.
//
// Errors of the engine come out as EOdbError with SQLite's message.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "odb/OdbDriver.h"

struct sqlite3;
struct sqlite3_stmt;

namespace corvid {

class TSQLiteDriver;

// The per-handle state of the SQLite driver. The navigation operations of
// the driver dispatch to it, so a handle on a table (record access) and a
// handle on a query result (SQL access) navigate alike.
class TSQLiteHandle : public TObject {
  CORVID_CLASS(TSQLiteHandle, ::corvid::TObject)
 public:
  explicit TSQLiteHandle(TSQLiteDriver& Driver);
  ~TSQLiteHandle() override;
  TSQLiteHandle(const TSQLiteHandle&) = delete;
  TSQLiteHandle& operator=(const TSQLiteHandle&) = delete;

  virtual bool First() = 0;
  virtual bool Last() = 0;
  virtual bool Next() = 0;
  virtual bool Prior() = 0;
  // The stored image of the current record; EOdbObjectNotFound when none.
  virtual void GetCurrent(TMemoryStream& Stream) = 0;
  virtual std::int32_t Count() = 0;
  virtual bool IsEmpty() { return Count() == 0; }
  // Ends every pending read of this handle (run before the connection
  // writes, so that no read snapshot stands in the way of the write).
  virtual void Quiesce() {}
  // The connection is closing: finalise every statement of the handle.
  virtual void Disconnect() {}

  TSQLiteDriver& Driver() const { return *driver_; }

 private:
  TSQLiteDriver* driver_;
};

// A prepared statement, finalised with its owner.
struct TSQLiteStmtDeleter {
  void operator()(sqlite3_stmt* Stmt) const;
};
using TSQLiteStmt = std::unique_ptr<sqlite3_stmt, TSQLiteStmtDeleter>;

class TSQLiteDriver : public TOdbDriver {
  CORVID_CLASS(TSQLiteDriver, ::corvid::TOdbDriver)
 public:
  TSQLiteDriver();
  ~TSQLiteDriver() override;

  // Defined with the SQL side (SQLiteDriverSql.cpp).
  TDataAccessMethodSet GetDataAccessMethods() const override;

  // --- services for the SQL side and the handle states -------------------
  // The open connection; EOdbDatabaseNotOpened when closed.
  sqlite3* Connection() const;
  // Prepares Sql; EOdbError with the engine's message on failure.
  TSQLiteStmt Prepare(const std::string& Sql) const;
  // Runs one or more statements without results; EOdbError on failure.
  void Exec(const std::string& Sql) const;
  // Raises the exception that fits the engine's result code Rc (EOdbError
  // with the engine's message and Context by default).
  [[noreturn]] void RaiseEngineError(int Rc, const std::string& Context) const;
  // Ends the pending reads of every handle and marks cached positions
  // stale; called before every write of the connection.
  void BeginWrite();
  // Ends the pending reads of every handle outside a transaction, so that
  // the next read starts from the newest data of every connection (a walk
  // in progress reads the data of the moment its statement began).
  void EndReads();
  // Counts writes made through this connection; handles re-seek when it
  // changed since they last read.
  std::uint64_t WriteGeneration() const { return writeGeneration_; }
  bool InTransaction() const;

  // A record inserted with auto-increment values and an empty image is kept
  // in an open savepoint until the Update that brings its image (or the
  // Delete that takes it back, which undoes the savepoint), so that a crash
  // in between leaves no record without an image. Any other write (or
  // closing) releases the savepoint first. Outermost: the savepoint began
  // outside a transaction, so releasing it commits.
  TSQLiteHandle* PendingInsert() const { return pendingInsert_; }
  void SetPendingInsert(TSQLiteHandle* Handle, bool Outermost) {
    pendingInsert_ = Handle;
    pendingOutermost_ = Outermost;
  }
  // True (and no longer pending) when Handle's insert was pending; then
  // Outermost receives whether its savepoint is the outermost.
  bool TakePendingInsert(TSQLiteHandle* Handle, bool& Outermost);
  // Releases a pending insert's savepoint; when that fails (a failed
  // commit) the insert is undone and the error raised.
  void ClosePendingInsert();
  // Undoes the savepoint Name and everything written since it began; an
  // outermost one by rolling back its whole transaction, so that none is
  // left open. Errors are swallowed (this runs while another error is on
  // its way); false when the savepoint could not be undone.
  bool UndoSavepoint(const char* Name, bool Outermost) noexcept;

  // Handle states register themselves while they live.
  void AttachHandle(TSQLiteHandle* Handle);
  void DetachHandle(TSQLiteHandle* Handle);
  // The handle state of Handle (EOdbInvalidObjectFileHandle).
  TSQLiteHandle& HandleState(std::int32_t Handle) const;

  // Quotes an identifier for SQL text ("name", with " doubled).
  static std::string QuoteName(const std::string& Name);
  // Raises EOdbInvalidFieldType when F, a key field of Table, holds NaN:
  // SQLite would store it as null, which orders with no other key.
  static void CheckKeyValue(const TOdbField& F, const std::string& Table);

 protected:
  TOdbFieldTypes GetSupportedFieldTypes() const override;

  void InternalStartTransaction() override;
  void InternalCommit() override;
  void InternalRollback() override;
  void InternalOpenDatabase(const std::string& Server, const std::string& User,
                            const std::string& Password) override;
  void InternalCloseDatabase() override;
  std::int32_t InternalOpenDataset(TObjectDataset& Dataset) override;
  std::int32_t InternalOpenExclusive(TObjectFile& ObjectFile) override;
  void InternalCloseDataset(std::int32_t Handle) override;
  void InternalDeleteDataset(TObjectDataset& Dataset) override;
  void InternalCreateDataset(TObjectDataset& Dataset) override;
  void InternalInsert(std::int32_t Handle, TUnorderedList& Fields, TMemoryStream& Stream) override;
  void InternalUpdate(std::int32_t Handle, TUnorderedList& Fields, TMemoryStream& Stream) override;
  void InternalDelete(std::int32_t Handle) override;
  std::string InternalGetIndexName(std::int32_t Handle) override;
  void InternalSetIndexName(std::int32_t Handle, const std::string& Name) override;
  void InternalGetCurrent(std::int32_t Handle, TMemoryStream& Stream) override;
  bool InternalFindNext(std::int32_t Handle) override;
  bool InternalFindPrior(std::int32_t Handle) override;
  bool InternalFindFirst(std::int32_t Handle) override;
  bool InternalFindLast(std::int32_t Handle) override;
  bool InternalFindExact(std::int32_t Handle, TUnorderedList& Fields,
                         const TOdbIndex& Index) override;
  void InternalFindNearest(std::int32_t Handle, TUnorderedList& Fields,
                           const TOdbIndex& Index) override;
  std::int32_t InternalGetObjectCount(std::int32_t Handle) override;
  TOdbBookmarkData InternalGetBookmark(std::int32_t Handle) override;
  void InternalGotoBookmark(std::int32_t Handle, TOdbBookmarkData Bookmark) override;
  void InternalFreeBookmark(std::int32_t Handle, TOdbBookmarkData Bookmark) override;
  bool InternalIsEmpty(std::int32_t Handle) override;
  void InternalPack(std::int32_t Handle) override;

  // --- the SQL side (SQLiteDriverSql.cpp) --------------------------------
  // Opens the result of a query's select statement (any dataset that is not
  // an object file) as a navigable handle.
  std::int32_t OpenQuery(TObjectDataset& Dataset);
  std::int32_t InternalOpenUpdate() override;
  void InternalCloseUpdate(std::int32_t Handle) override;
  void InternalInsertSQL(std::int32_t Handle, TMemoryStream& Stream, TORMapping& Mapping,
                         const std::string& TableName) override;
  void InternalUpdateSQL(std::int32_t Handle, TMemoryStream& Stream, TORMapping& Mapping,
                         const std::string& TableName) override;
  void InternalDeleteSQL(std::int32_t Handle, TORMapping& Mapping,
                         const std::string& TableName) override;

 private:
  struct TTableLock;
  std::int32_t OpenTable(TObjectDataset& Dataset, bool Exclusive);
  // Takes (shared or exclusive) the lock of Table in the lock file, counted
  // per table for this driver's handles; EOdbError when another connection
  // holds a conflicting lock. Nothing for an in-memory database.
  void LockTable(const std::string& Table, bool Exclusive);
  void UnlockTable(const std::string& Table, bool Exclusive);

  sqlite3* db_ = nullptr;
  bool memory_ = false;
  std::string lockFileName_;
  int lockFd_ = -1;
  std::uint64_t writeGeneration_ = 0;
  std::vector<TSQLiteHandle*> handles_;
  TSQLiteHandle* pendingInsert_ = nullptr;
  bool pendingOutermost_ = false;
  // The last handle looked up (a walk asks for the same one each step);
  // forgotten when its state is destroyed.
  mutable std::int32_t lastHandle_ = 0;
  mutable TSQLiteHandle* lastState_ = nullptr;
  std::map<std::string, TTableLock> locks_;
};

}  // namespace corvid
