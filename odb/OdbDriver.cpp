#include "corvid/odb/OdbDriver.h"

#include <string>

#include "corvid/containers/ObjArray.h"
#include "corvid/containers/ObjList.h"
#include "corvid/odb/OdbErrors.h"
#include "corvid/util/OdbMisc.h"
#include "corvid/values/ObjBuckt.h"

namespace corvid {

namespace {

// The handle table starts with room for 200 handles and grows by 50.
constexpr TArrayIndex kHandleCapacity = 200;
constexpr TArrayIndex kHandleDelta = 50;

}  // namespace

TComparison CompareHandleData(const TObject* Left, const TObject* Right) {
  return CompareInteger(static_cast<const THandleData*>(Left)->Handle,
                        static_cast<const THandleData*>(Right)->Handle);
}

// --- construction ---------------------------------------------------------

TOdbDriver::TOdbDriver()
    : handles_(std::make_unique<TArray>(THandleData::StaticClass(), &CompareHandleData,
                                        kHandleCapacity, kHandleDelta)) {}

TOdbDriver::~TOdbDriver() {
  // A concrete driver has closed its database in its own destructor; the
  // flag is only cleared here (no virtual call can reach the driver now).
  databaseOpened_ = false;
}

void TOdbDriver::AfterConstruction() {
  supportedFieldTypes_ = GetSupportedFieldTypes();
}

std::unique_ptr<TOdbDriver> CreateOdbDriver(TClass DriverClass, std::string DatabaseName) {
  if (!DriverClass.InheritsFrom(TOdbDriver::StaticClass()) || !DriverClass.CanCreate()) {
    RaiseOdb<EOdbDriverNotRegistered>(std::string(DriverClass.Name()));
  }
  std::unique_ptr<TOdbDriver> driver(static_cast<TOdbDriver*>(DriverClass.Info()->create()));
  driver->databaseName_ = std::move(DatabaseName);
  driver->AfterConstruction();
  return driver;
}

void TOdbDriver::CloseDatabaseQuietly() noexcept {
  if (!databaseOpened_) return;
  try {
    CloseDatabase();
  } catch (...) {
    databaseOpened_ = false;
  }
}

void TOdbDriver::ReleaseAllHandles() noexcept {
  handles_->Clear();
}

// --- checks ---------------------------------------------------------------

void TOdbDriver::CheckDatabaseOpened() const {
  if (!databaseOpened_) RaiseOdb<EOdbDatabaseNotOpened>();
}

void TOdbDriver::CheckAccessMethod(TDataAccessMethod Method) const {
  if (!GetDataAccessMethods().Contains(Method)) {
    RaiseOdb<EOdbUnsupportedAccessMethod>(std::to_string(static_cast<int>(Method)));
  }
}

// --- handle table ---------------------------------------------------------

namespace {

std::int32_t HandleAt(const TArray& Handles, std::int32_t At) {
  return static_cast<const THandleData*>(Handles.GetObj(At))->Handle;
}

}  // namespace

// The table is sorted by number, and numbers are handed out lowest first,
// so the entries are mostly 1, 2, ... and a handle's entry sits at its own
// index; the binary search serves the tables with gaps.
std::int32_t TOdbDriver::FindHandle(std::int32_t Handle) const {
  if (Handle >= 1 && Handle <= handles_->GetSize() && HandleAt(*handles_, Handle) == Handle) {
    return Handle;
  }
  THandleData probe(Handle, nullptr);
  return handles_->BinarySearch(&probe);
}

std::int32_t TOdbDriver::NewHandle(std::unique_ptr<TObject> DataObj) {
  std::unique_ptr<THandleData> entry =
      spareEntry_ != nullptr ? std::move(spareEntry_) : std::make_unique<THandleData>(1, nullptr);
  entry->Handle = 1;
  const std::int32_t size = handles_->GetSize();
  if (size > 0 && HandleAt(*handles_, size) == size) {
    // Entries 1 .. size hold the numbers 1 .. size: the next one is free.
    entry->Handle = size + 1;
  } else {
    while (handles_->BinarySearch(entry.get()) != 0) ++entry->Handle;
  }
  const std::int32_t handle = entry->Handle;
  handles_->Insert(entry.get());
  entry.release()->DataObj = std::move(DataObj);
  // The array keeps track of its order; a new highest handle (the usual
  // case) leaves it sorted.
  if (!handles_->GetSorted()) handles_->QuickSort();
  return handle;
}

TObject* TOdbDriver::GetHandleDataObj(std::int32_t Handle) const {
  const std::int32_t at = FindHandle(Handle);
  if (at == 0) RaiseOdb<EOdbInvalidObjectFileHandle>();
  return static_cast<THandleData*>(handles_->GetObj(at))->DataObj.get();
}

void TOdbDriver::ReleaseHandle(std::int32_t Handle) {
  const std::int32_t at = FindHandle(Handle);
  if (at == 0) RaiseOdb<EOdbInvalidObjectFileHandle>();
  handles_->Delete(at);
  if (!handles_->GetSorted()) handles_->QuickSort();
}

std::unique_ptr<TObject> TOdbDriver::TakeHandle(std::int32_t Handle) {
  const std::int32_t at = FindHandle(Handle);
  if (at == 0) RaiseOdb<EOdbInvalidObjectFileHandle>();
  std::unique_ptr<TObject> obj =
      std::move(static_cast<THandleData*>(handles_->GetObj(at))->DataObj);
  spareEntry_.reset(static_cast<THandleData*>(handles_->Detach(at)));
  if (!handles_->GetSorted()) handles_->QuickSort();
  return obj;
}

std::int32_t TOdbDriver::GetHandleCount() const {
  return handles_->GetSize();
}

// --- wrappers -------------------------------------------------------------

void TOdbDriver::StartTransaction() {
  CheckDatabaseOpened();
  InternalStartTransaction();
}

void TOdbDriver::Commit() {
  CheckDatabaseOpened();
  InternalCommit();
}

void TOdbDriver::Rollback() {
  CheckDatabaseOpened();
  InternalRollback();
}

void TOdbDriver::OpenDatabase(const std::string& Server, const std::string& User,
                              const std::string& Password) {
  InternalOpenDatabase(Server, User, Password);
  databaseOpened_ = true;
}

void TOdbDriver::CloseDatabase() {
  InternalCloseDatabase();
  databaseOpened_ = false;
}

std::int32_t TOdbDriver::OpenDataset(TObjectDataset& Dataset) {
  CheckDatabaseOpened();
  return InternalOpenDataset(Dataset);
}

std::int32_t TOdbDriver::OpenExclusive(TObjectFile& ObjectFile) {
  CheckDatabaseOpened();
  return InternalOpenExclusive(ObjectFile);
}

void TOdbDriver::CloseDataset(std::int32_t Handle) {
  CheckDatabaseOpened();
  InternalCloseDataset(Handle);
}

void TOdbDriver::DeleteDataset(TObjectDataset& Dataset) {
  CheckDatabaseOpened();
  InternalDeleteDataset(Dataset);
}

void TOdbDriver::CreateDataset(TObjectDataset& Dataset) {
  CheckDatabaseOpened();
  InternalCreateDataset(Dataset);
}

void TOdbDriver::Insert(std::int32_t Handle, TUnorderedList& Fields, TMemoryStream& Stream) {
  CheckDatabaseOpened();
  InternalInsert(Handle, Fields, Stream);
}

void TOdbDriver::Update(std::int32_t Handle, TUnorderedList& Fields, TMemoryStream& Stream) {
  CheckDatabaseOpened();
  InternalUpdate(Handle, Fields, Stream);
}

void TOdbDriver::Delete(std::int32_t Handle) {
  CheckDatabaseOpened();
  InternalDelete(Handle);
}

void TOdbDriver::InsertSQL(std::int32_t Handle, TMemoryStream& Stream, TORMapping& Mapping,
                           const std::string& TableName) {
  CheckDatabaseOpened();
  InternalInsertSQL(Handle, Stream, Mapping, TableName);
}

void TOdbDriver::UpdateSQL(std::int32_t Handle, TMemoryStream& Stream, TORMapping& Mapping,
                           const std::string& TableName) {
  CheckDatabaseOpened();
  InternalUpdateSQL(Handle, Stream, Mapping, TableName);
}

void TOdbDriver::DeleteSQL(std::int32_t Handle, TORMapping& Mapping, const std::string& TableName) {
  CheckDatabaseOpened();
  InternalDeleteSQL(Handle, Mapping, TableName);
}

std::string TOdbDriver::GetIndexName(std::int32_t Handle) {
  CheckDatabaseOpened();
  return InternalGetIndexName(Handle);
}

void TOdbDriver::SetIndexName(std::int32_t Handle, const std::string& Name) {
  CheckDatabaseOpened();
  InternalSetIndexName(Handle, Name);
}

void TOdbDriver::GetCurrent(std::int32_t Handle, TMemoryStream& Stream) {
  CheckDatabaseOpened();
  InternalGetCurrent(Handle, Stream);
}

void TOdbDriver::LockCurrent(std::int32_t Handle) {
  CheckDatabaseOpened();
  InternalLockCurrent(Handle);
}

void TOdbDriver::UnLockCurrent(std::int32_t Handle) {
  CheckDatabaseOpened();
  InternalUnLockCurrent(Handle);
}

bool TOdbDriver::FindNext(std::int32_t Handle) {
  CheckDatabaseOpened();
  return InternalFindNext(Handle);
}

bool TOdbDriver::FindPrior(std::int32_t Handle) {
  CheckDatabaseOpened();
  return InternalFindPrior(Handle);
}

bool TOdbDriver::FindFirst(std::int32_t Handle) {
  CheckDatabaseOpened();
  return InternalFindFirst(Handle);
}

bool TOdbDriver::FindLast(std::int32_t Handle) {
  CheckDatabaseOpened();
  return InternalFindLast(Handle);
}

bool TOdbDriver::FindExact(std::int32_t Handle, TUnorderedList& Fields, const TOdbIndex& Index) {
  CheckDatabaseOpened();
  return InternalFindExact(Handle, Fields, Index);
}

void TOdbDriver::FindNearest(std::int32_t Handle, TUnorderedList& Fields, const TOdbIndex& Index) {
  CheckDatabaseOpened();
  InternalFindNearest(Handle, Fields, Index);
}

std::int32_t TOdbDriver::GetObjectCount(std::int32_t Handle) {
  CheckDatabaseOpened();
  return InternalGetObjectCount(Handle);
}

TOdbBookmarkData TOdbDriver::GetBookmark(std::int32_t Handle) {
  CheckDatabaseOpened();
  return InternalGetBookmark(Handle);
}

void TOdbDriver::GotoBookmark(std::int32_t Handle, TOdbBookmarkData Bookmark) {
  CheckDatabaseOpened();
  InternalGotoBookmark(Handle, Bookmark);
}

void TOdbDriver::FreeBookmark(std::int32_t Handle, TOdbBookmarkData Bookmark) {
  CheckDatabaseOpened();
  InternalFreeBookmark(Handle, Bookmark);
}

bool TOdbDriver::IsEmpty(std::int32_t Handle) {
  CheckDatabaseOpened();
  return InternalIsEmpty(Handle);
}

void TOdbDriver::Pack(std::int32_t Handle) {
  CheckDatabaseOpened();
  InternalPack(Handle);
}

// --- defaults -------------------------------------------------------------

void TOdbDriver::InternalStartTransaction() {
  RaiseOdb<EOdbTransactionNotSupported>();
}
void TOdbDriver::InternalCommit() {
  RaiseOdb<EOdbTransactionNotSupported>();
}
void TOdbDriver::InternalRollback() {
  RaiseOdb<EOdbTransactionNotSupported>();
}
void TOdbDriver::InternalOpenDatabase(const std::string&, const std::string&, const std::string&) {}
void TOdbDriver::InternalCloseDatabase() {}
std::int32_t TOdbDriver::InternalOpenExclusive(TObjectFile&) {
  RaiseOdb<EOdbFileLockingNotSupported>();
}
std::int32_t TOdbDriver::InternalOpenUpdate() {
  RaiseOdb<EOdbUnsupportedAccessMethod>("1");
}
void TOdbDriver::InternalCloseUpdate(std::int32_t) {
  RaiseOdb<EOdbUnsupportedAccessMethod>("1");
}
void TOdbDriver::InternalInsertSQL(std::int32_t, TMemoryStream&, TORMapping&, const std::string&) {
  RaiseOdb<EOdbUnsupportedAccessMethod>("1");
}
void TOdbDriver::InternalUpdateSQL(std::int32_t, TMemoryStream&, TORMapping&, const std::string&) {
  RaiseOdb<EOdbUnsupportedAccessMethod>("1");
}
void TOdbDriver::InternalDeleteSQL(std::int32_t, TORMapping&, const std::string&) {
  RaiseOdb<EOdbUnsupportedAccessMethod>("1");
}
void TOdbDriver::InternalLockCurrent(std::int32_t) {
  RaiseOdb<EOdbObjectLockingNotSupported>();
}
void TOdbDriver::InternalUnLockCurrent(std::int32_t) {
  RaiseOdb<EOdbObjectLockingNotSupported>();
}
bool TOdbDriver::InternalIsEmpty(std::int32_t Handle) {
  return GetObjectCount(Handle) == 0;
}
void TOdbDriver::InternalPack(std::int32_t) {}

// --- registry -------------------------------------------------------------

namespace {

// Holds a driver class in a registry entry (a class reference is a value,
// not an object, so the entry owns this small holder).
class TOdbDriverClassRef : public TObject {
  CORVID_CLASS(TOdbDriverClassRef, ::corvid::TObject)
 public:
  TOdbDriverClassRef() = default;
  explicit TOdbDriverClassRef(TClass C) : Class(C) {}
  TClass Class;
};

// Created on first use (drivers register from static initialisers of other
// files) and freed with its entries when the program ends.
TUnorderedList& DriverRegistry() {
  static TUnorderedList registry(TStringCombo::StaticClass(), &CompareStringComboNoCase);
  return registry;
}

}  // namespace

void RegisterOdbDriver(TClass DriverClass, std::string_view Name) {
  auto entry =
      std::make_unique<TStringCombo>(std::string(Name), new TOdbDriverClassRef(DriverClass));
  TUnorderedList& registry = DriverRegistry();
  if (registry.Search(entry.get())) RaiseOdb<EOdbDriverAlreadyRegistered>(std::string(Name));
  registry.InsertAtTail(entry.get());
  entry.release();
}

TClass GetOdbDriverClass(std::string_view Name) {
  TStringCombo probe{std::string(Name)};
  TUnorderedList& registry = DriverRegistry();
  if (!registry.Search(&probe)) RaiseOdb<EOdbDriverNotRegistered>(std::string(Name));
  auto* entry = static_cast<TStringCombo*>(registry.GetCurrentObj());
  return static_cast<TOdbDriverClassRef*>(entry->Obj)->Class;
}

std::vector<std::string> GetOdbDriverNames() {
  std::vector<std::string> names;
  for (TObject* o : DriverRegistry()) names.push_back(static_cast<TStringCombo*>(o)->Str);
  return names;
}

}  // namespace corvid
