// The base of drivers that keep one cursor object per open handle and one
// connection object for the database. Every handle operation of the driver
// contract is forwarded to the cursor stored under the handle, and opening,
// closing and transactions to the connection, so a driver writes a
// connection class, a cursor class per kind of handle (a table, a query
// result, an update object), and the operations that make handles and
// datasets.
//
// A cursor that does not offer an operation refuses it: record access with
// EOdbInvalidObjectFileHandle, or EOdbUnsupportedAccessMethod ("0") for a
// cursor made with rfUnsupportedAccess; record locks with EOdbObjectLockingNotSupported, the
// single-object SQL statements with EOdbInvalidObjectFileHandle.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvid/odb/OdbDriver.h"
#include "corvid/odb/OdbErrors.h"
#include "corvid/odb/OdbSavepoint.h"
#include "corvid/util/OdbMisc.h"

namespace corvid {

class TCursorDriver;

/// The state of one open handle of a cursor driver: a table, a query result or an update object.
class TDriverCursor : public TObject {
  CORVID_CLASS(TDriverCursor, ::corvid::TObject)
 public:
  // How the cursor refuses the record access it does not offer.
  enum TRefusal { rfInvalidHandle, rfUnsupportedAccess };

  // Registers the cursor with Driver while it lives.
  explicit TDriverCursor(TCursorDriver& Driver, TRefusal Refusal = rfInvalidHandle);
  ~TDriverCursor() override;
  TDriverCursor(const TDriverCursor&) = delete;
  TDriverCursor& operator=(const TDriverCursor&) = delete;

  virtual bool First() { RefuseRecordAccess(); }
  virtual bool Last() { RefuseRecordAccess(); }
  virtual bool Next() { RefuseRecordAccess(); }
  virtual bool Prior() { RefuseRecordAccess(); }
  virtual void GetCurrent(TMemoryStream&) { RefuseRecordAccess(); }
  virtual std::int32_t Count() { RefuseRecordAccess(); }
  virtual bool IsEmpty() { return Count() == 0; }
  virtual void Insert(TUnorderedList&, TMemoryStream&) { RefuseRecordAccess(); }
  virtual void Update(TUnorderedList&, TMemoryStream&) { RefuseRecordAccess(); }
  virtual void Delete() { RefuseRecordAccess(); }
  virtual std::string GetIndexName() { RefuseRecordAccess(); }
  virtual void SetIndexName(const std::string&) { RefuseRecordAccess(); }
  virtual bool FindExact(TUnorderedList&, const TOdbIndex&) { RefuseRecordAccess(); }
  virtual void FindNearest(TUnorderedList&, const TOdbIndex&) { RefuseRecordAccess(); }
  virtual TOdbBookmarkData GetBookmark() { RefuseRecordAccess(); }
  virtual void GotoBookmark(TOdbBookmarkData) { RefuseRecordAccess(); }
  virtual void FreeBookmark(TOdbBookmarkData) { RefuseRecordAccess(); }
  virtual void LockCurrent() { RaiseOdb<EOdbObjectLockingNotSupported>(); }
  virtual void UnLockCurrent() { RaiseOdb<EOdbObjectLockingNotSupported>(); }
  virtual void Pack() { RefuseRecordAccess(); }
  virtual void InsertSQL(TMemoryStream&, TORMapping&, const std::string&) { RefuseSQL(); }
  virtual void UpdateSQL(TMemoryStream&, TORMapping&, const std::string&) { RefuseSQL(); }
  virtual void DeleteSQL(TORMapping&, const std::string&) { RefuseSQL(); }

 protected:
  [[noreturn]] void RefuseRecordAccess() const;
  [[noreturn]] static void RefuseSQL() { RaiseOdb<EOdbInvalidObjectFileHandle>(); }

 private:
  TCursorDriver* driver_;
  TRefusal refusal_;
};

/// Bookmarks of one cursor: each GetBookmark hands out a new one, which
/// lives until it is freed or the cursor goes.
template <class T>
class TBookmarkStore {
 public:
  TOdbBookmarkData Add(T Bookmark) {
    items_.push_back(std::make_unique<T>(std::move(Bookmark)));
    return items_.back().get();
  }
  // EOdbObjectNotFound (Where) for a bookmark not handed out here.
  const T& Get(TOdbBookmarkData Bookmark, const std::string& Where) const {
    return **Find(Bookmark, Where);
  }
  void Free(TOdbBookmarkData Bookmark, const std::string& Where) {
    items_.erase(Find(Bookmark, Where));
  }

 private:
  auto Find(TOdbBookmarkData Bookmark, const std::string& Where) const {
    auto it = std::find_if(items_.begin(), items_.end(),
                           [&](const auto& B) { return B.get() == Bookmark; });
    if (it == items_.end()) RaiseOdb<EOdbObjectNotFound>("invalid bookmark on " + Where);
    return it;
  }
  std::vector<std::unique_ptr<T>> items_;
};

// Whether Dataset is an object file; a driver opens any other dataset as a
// query. (A query of exactly TObjectQuery is told apart without walking the
// class hierarchy, as a failed dynamic_cast would.)
bool IsObjectFile(TObjectDataset& Dataset);

// The select statement of a query dataset, its lines joined by line
// breaks; EOdbSelectStatementNotSpecified (the dataset's name) when the
// dataset is no query or the statement is blank.
std::string QuerySelectText(TObjectDataset& Dataset);

/// The select statement of a query with its values as parameters: null
/// when the statement has none to offer, otherwise the values, the i-th
/// being given for the placeholder Mark followed by i ("?1", "$1"), and
/// Text (its content replaced, its storage reused) reads as QuerySelectText
/// would but with the placeholders in place of the values. Only the key
/// search of TObjectQuery::Search offers one, while the statement is still
/// the one Search wrote. The values are the query's: a driver that needs
/// them after the call copies them.
const std::vector<std::string>* QueryParameters(TObjectDataset& Dataset, char Mark,
                                                std::string& Text);

/// The database as a whole, as a cursor driver's connection sees it.
class TDriverConnection : public TSavepointOwner {
 public:
  virtual void Open(const std::string& Database, const std::string& Server, const std::string& User,
                    const std::string& Password) = 0;
  // Closing a connection that is not open does nothing.
  virtual void Close() = 0;
  virtual void StartTransaction() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
};

/// A driver that forwards every handle operation to the cursor kept under the handle, and opening,
/// closing and transactions to its connection.
class TCursorDriver : public TOdbDriver {
  CORVID_CLASS(TCursorDriver, ::corvid::TOdbDriver)
 public:
  // Closes the database and frees the cursors while the connection, to
  // which they may refer, still lives.
  ~TCursorDriver() override;

  // The cursor of Handle; EOdbInvalidObjectFileHandle for a number not in
  // use.
  TDriverCursor& Cursor(std::int32_t Handle) const;
  // The cursor of Handle when it is a C; EOdbInvalidObjectFileHandle
  // otherwise.
  template <class C>
  C& CursorAs(std::int32_t Handle) const {
    auto* c = dynamic_cast<C*>(&Cursor(Handle));
    if (c == nullptr) RaiseOdb<EOdbInvalidObjectFileHandle>();
    return *c;
  }
  // Every cursor alive, in the order they were made.
  const std::vector<TDriverCursor*>& Cursors() const { return cursors_; }

 protected:
  explicit TCursorDriver(std::unique_ptr<TDriverConnection> Connection);
  TDriverConnection& BaseConnection() const { return *connection_; }
  // NewHandle for a cursor, which becomes the one Cursor looks up first:
  // a dataset's first steps after opening ask for the handle just made.
  std::int32_t NewCursorHandle(std::unique_ptr<TDriverCursor> Cursor);
  // TakeHandle for a cursor (EOdbInvalidObjectFileHandle when Handle holds
  // none): the handle goes, the cursor is handed over alive, for a driver
  // that makes its next cursor of the kind from it.
  std::unique_ptr<TDriverCursor> TakeCursorHandle(std::int32_t Handle);

  void InternalStartTransaction() override;
  void InternalCommit() override;
  void InternalRollback() override;
  void InternalOpenDatabase(const std::string& Server, const std::string& User,
                            const std::string& Password) override;
  void InternalCloseDatabase() override;
  void InternalCloseDataset(std::int32_t Handle) override;
  void InternalInsert(std::int32_t Handle, TUnorderedList& Fields, TMemoryStream& Stream) override;
  void InternalUpdate(std::int32_t Handle, TUnorderedList& Fields, TMemoryStream& Stream) override;
  void InternalDelete(std::int32_t Handle) override;
  void InternalInsertSQL(std::int32_t Handle, TMemoryStream& Stream, TORMapping& Mapping,
                         const std::string& TableName) override;
  void InternalUpdateSQL(std::int32_t Handle, TMemoryStream& Stream, TORMapping& Mapping,
                         const std::string& TableName) override;
  void InternalDeleteSQL(std::int32_t Handle, TORMapping& Mapping,
                         const std::string& TableName) override;
  std::string InternalGetIndexName(std::int32_t Handle) override;
  void InternalSetIndexName(std::int32_t Handle, const std::string& Name) override;
  void InternalGetCurrent(std::int32_t Handle, TMemoryStream& Stream) override;
  void InternalLockCurrent(std::int32_t Handle) override;
  void InternalUnLockCurrent(std::int32_t Handle) override;
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

 private:
  friend class TDriverCursor;
  void Attach(TDriverCursor* Cursor) { cursors_.push_back(Cursor); }
  void Detach(TDriverCursor* Cursor);

  std::unique_ptr<TDriverConnection> connection_;
  std::vector<TDriverCursor*> cursors_;
  // The last cursor looked up (a walk asks for the same one each step);
  // forgotten when that cursor goes.
  mutable std::int32_t lastHandle_ = 0;
  mutable TDriverCursor* lastCursor_ = nullptr;
};

}  // namespace corvid
