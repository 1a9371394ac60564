#include "corvid/odb/OdbCursorDriver.h"

#include <typeinfo>
#include <utility>

#include "corvid/odb/OdbFile.h"
#include "corvid/odb/OdbQuery.h"

namespace corvid {

namespace {

// Dataset as a query, or null. Queries are nearly always of exactly
// TObjectQuery, which the type's identity settles at once.
TObjectQuery* AsQuery(TObjectDataset& Dataset) {
  if (typeid(Dataset) == typeid(TObjectQuery)) return static_cast<TObjectQuery*>(&Dataset);
  return dynamic_cast<TObjectQuery*>(&Dataset);
}

}  // namespace

bool IsObjectFile(TObjectDataset& Dataset) {
  if (typeid(Dataset) == typeid(TObjectQuery)) return false;
  return dynamic_cast<TObjectFile*>(&Dataset) != nullptr;
}

std::string QuerySelectText(TObjectDataset& Dataset) {
  auto* query = AsQuery(Dataset);
  std::string text = query != nullptr ? query->SelectStatement().Text() : std::string();
  if (text.find_first_not_of(" \t\r\n\f\v") == std::string::npos) {
    RaiseOdb<EOdbSelectStatementNotSpecified>(Dataset.GetDatasetName());
  }
  return text;
}

const std::vector<std::string>* QueryParameters(TObjectDataset& Dataset, char Mark,
                                                std::string& Text) {
  auto* query = AsQuery(Dataset);
  const TSqlValues* search = query != nullptr ? query->SearchStatement() : nullptr;
  if (search == nullptr) return nullptr;
  search->WriteParameterised(Mark, Text);
  return &search->Values;
}

TDriverCursor::TDriverCursor(TCursorDriver& Driver, TRefusal Refusal)
    : driver_(&Driver), refusal_(Refusal) {
  driver_->Attach(this);
}

void TDriverCursor::RefuseRecordAccess() const {
  if (refusal_ == rfUnsupportedAccess) RaiseOdb<EOdbUnsupportedAccessMethod>("0");
  RaiseOdb<EOdbInvalidObjectFileHandle>();
}

TDriverCursor::~TDriverCursor() {
  driver_->Detach(this);
}

TCursorDriver::TCursorDriver(std::unique_ptr<TDriverConnection> Connection)
    : connection_(std::move(Connection)) {}

TCursorDriver::~TCursorDriver() {
  CloseDatabaseQuietly();
  ReleaseAllHandles();
}

void TCursorDriver::InternalStartTransaction() {
  connection_->StartTransaction();
}

void TCursorDriver::InternalCommit() {
  connection_->Commit();
}

void TCursorDriver::InternalRollback() {
  connection_->Rollback();
}

void TCursorDriver::InternalOpenDatabase(const std::string& Server, const std::string& User,
                                         const std::string& Password) {
  connection_->Open(GetDatabaseName(), Server, User, Password);
}

void TCursorDriver::InternalCloseDatabase() {
  connection_->Close();
}

void TCursorDriver::Detach(TDriverCursor* Cursor) {
  if (lastCursor_ == Cursor) {
    lastCursor_ = nullptr;
    lastHandle_ = 0;
  }
  cursors_.erase(std::remove(cursors_.begin(), cursors_.end(), Cursor), cursors_.end());
}

std::int32_t TCursorDriver::NewCursorHandle(std::unique_ptr<TDriverCursor> Cursor) {
  TDriverCursor* cursor = Cursor.get();
  const std::int32_t handle = NewHandle(std::move(Cursor));
  lastHandle_ = handle;
  lastCursor_ = cursor;
  return handle;
}

std::unique_ptr<TDriverCursor> TCursorDriver::TakeCursorHandle(std::int32_t Handle) {
  TDriverCursor& cursor = Cursor(Handle);
  // The number may soon name another cursor.
  lastHandle_ = 0;
  lastCursor_ = nullptr;
  TakeHandle(Handle).release();
  return std::unique_ptr<TDriverCursor>(&cursor);
}

TDriverCursor& TCursorDriver::Cursor(std::int32_t Handle) const {
  if (Handle == lastHandle_ && lastCursor_ != nullptr) return *lastCursor_;
  auto* c = dynamic_cast<TDriverCursor*>(GetHandleDataObj(Handle));
  if (c == nullptr) RaiseOdb<EOdbInvalidObjectFileHandle>();
  lastHandle_ = Handle;
  lastCursor_ = c;
  return *c;
}

void TCursorDriver::InternalCloseDataset(std::int32_t Handle) {
  Cursor(Handle);
  ReleaseHandle(Handle);
}

void TCursorDriver::InternalInsert(std::int32_t Handle, TUnorderedList& Fields,
                                   TMemoryStream& Stream) {
  Cursor(Handle).Insert(Fields, Stream);
}

void TCursorDriver::InternalUpdate(std::int32_t Handle, TUnorderedList& Fields,
                                   TMemoryStream& Stream) {
  Cursor(Handle).Update(Fields, Stream);
}

void TCursorDriver::InternalDelete(std::int32_t Handle) {
  Cursor(Handle).Delete();
}

void TCursorDriver::InternalInsertSQL(std::int32_t Handle, TMemoryStream& Stream,
                                      TORMapping& Mapping, const std::string& TableName) {
  Cursor(Handle).InsertSQL(Stream, Mapping, TableName);
}

void TCursorDriver::InternalUpdateSQL(std::int32_t Handle, TMemoryStream& Stream,
                                      TORMapping& Mapping, const std::string& TableName) {
  Cursor(Handle).UpdateSQL(Stream, Mapping, TableName);
}

void TCursorDriver::InternalDeleteSQL(std::int32_t Handle, TORMapping& Mapping,
                                      const std::string& TableName) {
  Cursor(Handle).DeleteSQL(Mapping, TableName);
}

std::string TCursorDriver::InternalGetIndexName(std::int32_t Handle) {
  return Cursor(Handle).GetIndexName();
}

void TCursorDriver::InternalSetIndexName(std::int32_t Handle, const std::string& Name) {
  Cursor(Handle).SetIndexName(Name);
}

void TCursorDriver::InternalGetCurrent(std::int32_t Handle, TMemoryStream& Stream) {
  Cursor(Handle).GetCurrent(Stream);
}

void TCursorDriver::InternalLockCurrent(std::int32_t Handle) {
  Cursor(Handle).LockCurrent();
}

void TCursorDriver::InternalUnLockCurrent(std::int32_t Handle) {
  Cursor(Handle).UnLockCurrent();
}

bool TCursorDriver::InternalFindNext(std::int32_t Handle) {
  return Cursor(Handle).Next();
}

bool TCursorDriver::InternalFindPrior(std::int32_t Handle) {
  return Cursor(Handle).Prior();
}

bool TCursorDriver::InternalFindFirst(std::int32_t Handle) {
  return Cursor(Handle).First();
}

bool TCursorDriver::InternalFindLast(std::int32_t Handle) {
  return Cursor(Handle).Last();
}

bool TCursorDriver::InternalFindExact(std::int32_t Handle, TUnorderedList& Fields,
                                      const TOdbIndex& Index) {
  return Cursor(Handle).FindExact(Fields, Index);
}

void TCursorDriver::InternalFindNearest(std::int32_t Handle, TUnorderedList& Fields,
                                        const TOdbIndex& Index) {
  Cursor(Handle).FindNearest(Fields, Index);
}

std::int32_t TCursorDriver::InternalGetObjectCount(std::int32_t Handle) {
  return Cursor(Handle).Count();
}

TOdbBookmarkData TCursorDriver::InternalGetBookmark(std::int32_t Handle) {
  return Cursor(Handle).GetBookmark();
}

void TCursorDriver::InternalGotoBookmark(std::int32_t Handle, TOdbBookmarkData Bookmark) {
  Cursor(Handle).GotoBookmark(Bookmark);
}

void TCursorDriver::InternalFreeBookmark(std::int32_t Handle, TOdbBookmarkData Bookmark) {
  Cursor(Handle).FreeBookmark(Bookmark);
}

bool TCursorDriver::InternalIsEmpty(std::int32_t Handle) {
  return Cursor(Handle).IsEmpty();
}

void TCursorDriver::InternalPack(std::int32_t Handle) {
  Cursor(Handle).Pack();
}

}  // namespace corvid
