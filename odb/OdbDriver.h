/// @file
/// The driver contract: the abstract storage engine behind a database, its
/// table of per-dataset handles, and the process-wide registry of drivers by
/// name.
///
/// Every public operation that reaches the storage is a fixed, non-virtual
/// wrapper: it checks the state (the database must be open) and then calls one
/// protected virtual Internal... operation, which a concrete driver overrides.
/// A record stored by a driver is the mapping's field values (columns and
/// keys) plus the object's stream image, handed over in a memory stream.
///
/// Class references. A driver class is a TClass of a TOdbDriver descendant
/// that has an accessible default constructor. CreateOdbDriver() constructs
/// it, stores the database name and then runs the second construction step
/// (AfterConstruction), which fetches GetSupportedFieldTypes() from the most
/// derived class. A concrete driver therefore must not need the database name
/// in its constructor: the name is available from InternalOpenDatabase on.
///
/// Destruction. C++ does not dispatch virtual calls from a base destructor to
/// the derived class, so a concrete driver's destructor calls
/// CloseDatabaseQuietly() itself (and ReleaseAllHandles() when its handle
/// states refer back to it); the base destructor then frees the handle table
/// and every state object still in it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "corvid/containers/ObjRoot.h"
#include "corvid/odb/OdbField.h"
#include "corvid/util/OdbMiscSet.h"

namespace corvid {

class TArray;
class TMemoryStream;
class TObjectDataset;
class TObjectFile;
class TObjectUpdate;
class TOdbIndex;
class TORMapping;
class TUnorderedList;

/// How a driver gives access to its data. The ordinals are the detail texts
/// of EOdbUnsupportedAccessMethod ("0", "1").
enum TDataAccessMethod : std::uint8_t {
  damISAM = 0,  // record access through object files (indexed navigation)
  damSQL = 1,   // access through SQL statements (queries and updates)
};
using TDataAccessMethodSet = TEnumSet<TDataAccessMethod>;

/// A driver's bookmark: an untyped pointer that only the driver interprets
/// and frees (FreeBookmark).
using TOdbBookmarkData = void*;

/// One entry of a driver's handle table: the handle number and the driver's
/// state object for it, owned by the entry.
class THandleData : public TObject {
  CORVID_CLASS(THandleData, ::corvid::TObject)
 public:
  THandleData(std::int32_t AHandle, std::unique_ptr<TObject> ADataObj)
      : Handle(AHandle), DataObj(std::move(ADataObj)) {}

  std::int32_t Handle = 0;
  std::unique_ptr<TObject> DataObj;
};

/// Orders handle-table entries by their numbers (CompareInteger).
TComparison CompareHandleData(const TObject* Left, const TObject* Right);

/// The abstract storage engine behind a database (see the file comment).
class TOdbDriver : public TObject {
  CORVID_CLASS(TOdbDriver, ::corvid::TObject)
 public:
  ~TOdbDriver() override;
  TOdbDriver(const TOdbDriver&) = delete;
  TOdbDriver& operator=(const TOdbDriver&) = delete;

  /// Second construction step: fetches the supported field types from the
  /// most derived class. Run by CreateOdbDriver (and by TClass::Create).
  void AfterConstruction() override;

  /// --- state -------------------------------------------------------------
  const std::string& GetDatabaseName() const { return databaseName_; }
  bool GetDatabaseOpened() const { return databaseOpened_; }
  TOdbFieldTypes GetSupportedFieldTypesSet() const { return supportedFieldTypes_; }

  /// Raises EOdbDatabaseNotOpened (no detail) unless the database is open.
  void CheckDatabaseOpened() const;
  /// Raises EOdbUnsupportedAccessMethod with the method's ordinal ("0", "1")
  /// unless Method is one of GetDataAccessMethods().
  void CheckAccessMethod(TDataAccessMethod Method) const;

  /// --- handle table, for driver implementations ---------------------------
  /// Stores DataObj (may be null) under the lowest positive number not in use
  /// and returns that number. The table owns DataObj from now on.
  std::int32_t NewHandle(std::unique_ptr<TObject> DataObj);
  /// The state object stored under Handle (the table keeps it); raises
  /// EOdbInvalidObjectFileHandle for a number not in use.
  TObject* GetHandleDataObj(std::int32_t Handle) const;
  /// Removes the entry and frees its object; EOdbInvalidObjectFileHandle for
  /// a number not in use.
  void ReleaseHandle(std::int32_t Handle);
  /// Removes the entry and hands its object over instead of freeing it;
  /// EOdbInvalidObjectFileHandle for a number not in use.
  std::unique_ptr<TObject> TakeHandle(std::int32_t Handle);
  /// The number of handles in use.
  std::int32_t GetHandleCount() const;

  /// --- what the framework asks of a driver -------------------------------
  /// True when the object file must itself check primary and unique keys
  /// before an insert/update because the storage does not refuse duplicates.
  virtual bool CheckDuplicateInsert() const { return false; }
  virtual bool CheckDuplicateUpdate() const { return false; }
  virtual TDataAccessMethodSet GetDataAccessMethods() const { return {damISAM}; }

  /// --- public operations (state check, then the Internal... operation) ----
  void StartTransaction();
  void Commit();
  void Rollback();
  /// No state check; DatabaseOpened becomes true only when
  /// InternalOpenDatabase returns normally.
  void OpenDatabase(const std::string& Server, const std::string& User,
                    const std::string& Password);
  /// No state check; DatabaseOpened becomes false only when
  /// InternalCloseDatabase returns normally.
  void CloseDatabase();
  std::int32_t OpenDataset(TObjectDataset& Dataset);
  std::int32_t OpenExclusive(TObjectFile& ObjectFile);
  void CloseDataset(std::int32_t Handle);
  void DeleteDataset(TObjectDataset& Dataset);
  void CreateDataset(TObjectDataset& Dataset);
  void Insert(std::int32_t Handle, TUnorderedList& Fields, TMemoryStream& Stream);
  void Update(std::int32_t Handle, TUnorderedList& Fields, TMemoryStream& Stream);
  void Delete(std::int32_t Handle);
  void InsertSQL(std::int32_t Handle, TMemoryStream& Stream, TORMapping& Mapping,
                 const std::string& TableName);
  void UpdateSQL(std::int32_t Handle, TMemoryStream& Stream, TORMapping& Mapping,
                 const std::string& TableName);
  void DeleteSQL(std::int32_t Handle, TORMapping& Mapping, const std::string& TableName);
  std::string GetIndexName(std::int32_t Handle);
  void SetIndexName(std::int32_t Handle, const std::string& Name);
  void GetCurrent(std::int32_t Handle, TMemoryStream& Stream);
  void LockCurrent(std::int32_t Handle);
  void UnLockCurrent(std::int32_t Handle);
  bool FindNext(std::int32_t Handle);
  bool FindPrior(std::int32_t Handle);
  bool FindFirst(std::int32_t Handle);
  bool FindLast(std::int32_t Handle);
  bool FindExact(std::int32_t Handle, TUnorderedList& Fields, const TOdbIndex& Index);
  void FindNearest(std::int32_t Handle, TUnorderedList& Fields, const TOdbIndex& Index);
  std::int32_t GetObjectCount(std::int32_t Handle);
  TOdbBookmarkData GetBookmark(std::int32_t Handle);
  void GotoBookmark(std::int32_t Handle, TOdbBookmarkData Bookmark);
  void FreeBookmark(std::int32_t Handle, TOdbBookmarkData Bookmark);
  bool IsEmpty(std::int32_t Handle);
  void Pack(std::int32_t Handle);

 protected:
  TOdbDriver();

  /// For the destructors of concrete drivers: CloseDatabase() when the
  /// database is open, swallowing any exception (a destructor must not
  /// throw).
  void CloseDatabaseQuietly() noexcept;
  /// For the destructors of concrete drivers: frees every handle still in
  /// the table while the concrete driver, whose states may refer to it, is
  /// still alive.
  void ReleaseAllHandles() noexcept;

  /// --- the operations a concrete driver implements -----------------------
  /// Defaults: transactions raise EOdbTransactionNotSupported, exclusive open
  /// EOdbFileLockingNotSupported, record locks EOdbObjectLockingNotSupported;
  /// opening/closing the database and packing do nothing; InternalIsEmpty
  /// asks GetObjectCount. The SQL operations and InternalOpenUpdate/
  /// InternalCloseUpdate raise EOdbUnsupportedAccessMethod ("1") unless a
  /// driver offering damSQL overrides them.
  virtual void InternalStartTransaction();
  virtual void InternalCommit();
  virtual void InternalRollback();
  virtual void InternalOpenDatabase(const std::string& Server, const std::string& User,
                                    const std::string& Password);
  virtual void InternalCloseDatabase();
  virtual std::int32_t InternalOpenDataset(TObjectDataset& Dataset) = 0;
  virtual std::int32_t InternalOpenExclusive(TObjectFile& ObjectFile);
  virtual void InternalCloseDataset(std::int32_t Handle) = 0;
  virtual std::int32_t InternalOpenUpdate();
  virtual void InternalCloseUpdate(std::int32_t Handle);
  virtual void InternalDeleteDataset(TObjectDataset& Dataset) = 0;
  virtual void InternalCreateDataset(TObjectDataset& Dataset) = 0;
  virtual void InternalInsert(std::int32_t Handle, TUnorderedList& Fields,
                              TMemoryStream& Stream) = 0;
  virtual void InternalUpdate(std::int32_t Handle, TUnorderedList& Fields,
                              TMemoryStream& Stream) = 0;
  virtual void InternalDelete(std::int32_t Handle) = 0;
  virtual void InternalInsertSQL(std::int32_t Handle, TMemoryStream& Stream, TORMapping& Mapping,
                                 const std::string& TableName);
  virtual void InternalUpdateSQL(std::int32_t Handle, TMemoryStream& Stream, TORMapping& Mapping,
                                 const std::string& TableName);
  virtual void InternalDeleteSQL(std::int32_t Handle, TORMapping& Mapping,
                                 const std::string& TableName);
  virtual std::string InternalGetIndexName(std::int32_t Handle) = 0;
  virtual void InternalSetIndexName(std::int32_t Handle, const std::string& Name) = 0;
  virtual void InternalGetCurrent(std::int32_t Handle, TMemoryStream& Stream) = 0;
  virtual void InternalLockCurrent(std::int32_t Handle);
  virtual void InternalUnLockCurrent(std::int32_t Handle);
  virtual bool InternalFindNext(std::int32_t Handle) = 0;
  virtual bool InternalFindPrior(std::int32_t Handle) = 0;
  virtual bool InternalFindFirst(std::int32_t Handle) = 0;
  virtual bool InternalFindLast(std::int32_t Handle) = 0;
  virtual bool InternalFindExact(std::int32_t Handle, TUnorderedList& Fields,
                                 const TOdbIndex& Index) = 0;
  virtual void InternalFindNearest(std::int32_t Handle, TUnorderedList& Fields,
                                   const TOdbIndex& Index) = 0;
  virtual std::int32_t InternalGetObjectCount(std::int32_t Handle) = 0;
  virtual TOdbBookmarkData InternalGetBookmark(std::int32_t Handle) = 0;
  virtual void InternalGotoBookmark(std::int32_t Handle, TOdbBookmarkData Bookmark) = 0;
  virtual void InternalFreeBookmark(std::int32_t Handle, TOdbBookmarkData Bookmark) = 0;
  virtual bool InternalIsEmpty(std::int32_t Handle);
  virtual void InternalPack(std::int32_t Handle);
  virtual TOdbFieldTypes GetSupportedFieldTypes() const = 0;

 private:
  /// The entry index (1-based) of Handle in the table, 0 when not in use.
  std::int32_t FindHandle(std::int32_t Handle) const;

  std::unique_ptr<TArray> handles_;
  // The entry of the handle taken last, for the next handle: a query opened
  // and closed for every search needs no entry made and freed each time.
  std::unique_ptr<THandleData> spareEntry_;
  std::string databaseName_;
  bool databaseOpened_ = false;
  TOdbFieldTypes supportedFieldTypes_;

  friend std::unique_ptr<TOdbDriver> CreateOdbDriver(TClass DriverClass, std::string DatabaseName);
  /// The update object opens and closes its handle directly, without the
  /// open-database check of the wrappers.
  friend class TObjectUpdate;
};

/// Creates a driver of class DriverClass (a TOdbDriver descendant with an
/// accessible default constructor) for DatabaseName. Raises
/// EOdbDriverNotRegistered with the class name when DriverClass is null, not
/// a driver or abstract.
std::unique_ptr<TOdbDriver> CreateOdbDriver(TClass DriverClass, std::string DatabaseName);

/// --- the registry of drivers by name (letter case ignored) -------------
/// Raises EOdbDriverAlreadyRegistered with Name when a driver of that name
/// (any letter case) is registered; the existing entry stays.
void RegisterOdbDriver(TClass DriverClass, std::string_view Name);
/// Raises EOdbDriverNotRegistered with Name when none is registered.
TClass GetOdbDriverClass(std::string_view Name);
/// The registered names in registration order.
std::vector<std::string> GetOdbDriverNames();

}  // namespace corvid
