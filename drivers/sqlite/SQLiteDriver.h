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

#include <memory>
#include <string>

#include "corvid/odb/OdbCursorDriver.h"

namespace corvid {

namespace sqlite {
class TConnection;
}

class TSQLiteDriver : public TCursorDriver {
  CORVID_CLASS(TSQLiteDriver, ::corvid::TCursorDriver)
 public:
  TSQLiteDriver();

  TDataAccessMethodSet GetDataAccessMethods() const override;

  // Runs one or more statements without results on the open connection
  // (for tools and tests that prepare a database by hand); EOdbError on
  // failure, EOdbDatabaseNotOpened while closed.
  void Exec(const std::string& Sql) const;

  // The connection, for the driver's cursors.
  sqlite::TConnection& Connection() const;

 protected:
  TOdbFieldTypes GetSupportedFieldTypes() const override;

  std::int32_t InternalOpenDataset(TObjectDataset& Dataset) override;
  std::int32_t InternalOpenExclusive(TObjectFile& ObjectFile) override;
  void InternalCloseDataset(std::int32_t Handle) override;
  void InternalDeleteDataset(TObjectDataset& Dataset) override;
  void InternalCreateDataset(TObjectDataset& Dataset) override;
  std::int32_t InternalOpenUpdate() override;
  void InternalCloseUpdate(std::int32_t Handle) override;

 private:
  std::int32_t OpenTable(TObjectDataset& Dataset, bool Exclusive);
  // Opens the result of a query's select statement (any dataset that is not
  // an object file) as a navigable handle.
  std::int32_t OpenQuery(TObjectDataset& Dataset);

  // The cursor of the query closed last, kept closed so that the next query
  // opens without making one (Search opens and closes a query every time).
  // It goes before the connection and the cursor list it refers to.
  std::unique_ptr<TDriverCursor> spareQuery_;
};

}  // namespace corvid
