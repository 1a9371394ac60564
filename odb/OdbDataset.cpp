#include "corvid/odb/OdbDataset.h"

#include "corvid/containers/ObjCmp.h"
#include "corvid/containers/ObjList.h"
#include "corvid/containers/ObjType.h"
#include "corvid/odb/OdbDatabase.h"
#include "corvid/odb/OdbDriver.h"
#include "corvid/odb/OdbMapping.h"
#include "corvid/persist/ObjPerst.h"
#include "corvid/persist/Streams.h"
#include "corvid/util/OdbMisc.h"
#include "corvid/values/ObjBuckt.h"

namespace corvid {

TObjectDataset::TObjectDataset(TObjectDatabase& Database, std::string DatasetName,
                               TClass MappingClass)
    : database_(&Database),
      mapping_(CreateMapping(MappingClass, &Database)),
      datasetName_(std::move(DatasetName)) {
  database_->RegisterDataset(this);
}

TObjectDataset::~TObjectDataset() {
  if (GetOpened()) {
    try {
      Close();
    } catch (...) {
      // A destructor cannot report. The driver frees the handle's state
      // with its handle table at the latest.
    }
  }
  if (database_ != nullptr) database_->UnregisterDataset(this);
  mapping_.reset();
  currentObj_.reset();
  readObjects_.reset();
}

// --- hooks ----------------------------------------------------------------

void TObjectDataset::BeforeInsert() {
  if (!UsesVersion1Adapter()) mapping_->BeforeInsert();
}
void TObjectDataset::AfterInsert() {
  if (!UsesVersion1Adapter()) mapping_->AfterInsert();
}
void TObjectDataset::BeforeUpdate() {
  if (!UsesVersion1Adapter()) mapping_->BeforeUpdate();
}
void TObjectDataset::AfterUpdate() {
  if (!UsesVersion1Adapter()) mapping_->AfterUpdate();
}
void TObjectDataset::BeforeDelete() {
  if (!UsesVersion1Adapter()) mapping_->BeforeDelete();
}
void TObjectDataset::AfterDelete() {
  if (!UsesVersion1Adapter()) mapping_->AfterDelete();
}
void TObjectDataset::BeforeObjectPost(TMemoryStream& Stream) {
  if (!UsesVersion1Adapter()) mapping_->BeforeObjectPost(Stream);
}
void TObjectDataset::AfterObjectRead(TMemoryStream& Stream) {
  if (!UsesVersion1Adapter()) mapping_->AfterObjectRead(Stream);
}

// --- attributes -----------------------------------------------------------

TClass TObjectDataset::GetObjectType() const {
  return mapping_->GetObjectType();
}
TUnorderedList& TObjectDataset::GetFields() const {
  return mapping_->GetFields();
}
TUnorderedList& TObjectDataset::GetIndices() const {
  return mapping_->GetIndices();
}
TOdbDriver& TObjectDataset::GetDriver() const {
  return *GetDatabase().GetDriver();
}
TObjectDatabase& TObjectDataset::GetDatabase() const {
  if (database_ == nullptr) RaiseOdb<EOdbDatabaseNotOpened>();
  return *database_;
}

void TObjectDataset::DetachDatabase() {
  database_ = nullptr;
  handle_ = 0;
  mapping_->DetachDatabase();
}

TOdbField* TObjectDataset::FieldByName(std::string_view Name) const {
  return GetFieldInList(Name, GetFields());
}

// --- storage --------------------------------------------------------------

void TObjectDataset::CreateDataset() {
  EnsureMappingDefined();
  GetDriver().CreateDataset(*this);
}

void TObjectDataset::DeleteDataset() {
  if (GetOpened()) Close();
  GetDriver().DeleteDataset(*this);
}

void TObjectDataset::Open() {
  if (GetOpened()) return;
  EnsureMappingDefined();
  BeforeOpen();
  handle_ = GetDriver().OpenDataset(*this);
  AfterOpen();
  AfterDriverOpen();
  FindFirst();
}

void TObjectDataset::Close() {
  if (!GetOpened()) return;
  BeforeClose();
  GetDriver().CloseDataset(handle_);
  handle_ = 0;
  AfterClose();
}

// --- navigation -----------------------------------------------------------

bool TObjectDataset::FindFirst() {
  const bool found = GetDriver().FindFirst(handle_);
  if (found) ReloadCurrent();
  return found;
}

bool TObjectDataset::FindLast() {
  const bool found = GetDriver().FindLast(handle_);
  if (found) ReloadCurrent();
  return found;
}

bool TObjectDataset::FindNext() {
  const bool found = GetDriver().FindNext(handle_);
  if (found) ReloadCurrent();
  return found;
}

bool TObjectDataset::FindPrior() {
  const bool found = GetDriver().FindPrior(handle_);
  if (found) ReloadCurrent();
  return found;
}

bool TObjectDataset::IsEmpty() {
  return GetDriver().IsEmpty(handle_);
}

TObject* TObjectDataset::GetCurrentObj() const {
  if (currentObj_ == nullptr) RaiseOdb<EOdbObjectFileNotPositioned>();
  return currentObj_.get();
}

void TObjectDataset::ReloadCurrent() {
  if (readBuffer_ == nullptr) {
    readBuffer_ = std::make_unique<TMemoryStream>();
    readObjects_ = std::make_unique<TObjectStream>(readBuffer_.get(), false);
  }
  TMemoryStream& stream = *readBuffer_;
  stream.Assign(nullptr, 0);
  GetDriver().GetCurrent(handle_, stream);
  stream.SetPosition(0);
  mapping_->AfterObjectRead(stream);
  stream.SetPosition(0);
  currentObj_.reset();
  std::unique_ptr<TObject> obj = readObjects_->ReadObject();
  // An image of another class (a foreign or damaged record) must not reach
  // the mapping, which would treat it as its own class.
  if (obj != nullptr && !obj->InheritsFrom(GetObjectType())) {
    RaiseInvalidObjectType(GetObjectType(), obj.get());
  }
  currentObj_ = std::move(obj);
  if (currentObj_ != nullptr) mapping_->UpdateFieldsFromObj(currentObj_.get());
}

void TObjectDataset::CheckObjectType(const TObject* Obj) const {
  if (Obj == nullptr || !Obj->InheritsFrom(GetObjectType()))
    RaiseInvalidObjectType(GetObjectType(), Obj);
}

// --- unique indices -------------------------------------------------------

void TObjectDataset::GetAllUniqueIndices(TUnorderedList& List) const {
  List.SetOwnership(false);
  List.Clear();
  for (TObject* o : GetIndices()) {
    auto* index = static_cast<TOdbIndex*>(o);
    const TOdbIndexAttributes a = index->GetAttributes();
    if (a.Contains(iaUnique) || a.Contains(iaPrimary)) List.Insert(index);
  }
}

namespace {

// Whether two values of a key field are the same key of Index: strings of a
// case-insensitive index are compared without regard to letter case, as the
// driver compares them; everything else with FieldsEqual.
bool SameKeyValue(const TOdbIndex& Index, const TOdbField& Old, const TOdbField& New) {
  if (Index.GetAttributes().Contains(iaCaseInsensitive) && Old.GetFieldType() == oftString &&
      New.GetFieldType() == oftString) {
    return CompareStringNoCase(Old.GetAsString(), New.GetAsString()) == cmpEqual;
  }
  return FieldsEqual(Old, New);
}

}  // namespace

void TObjectDataset::GetModifiedUniqueIndices(TUnorderedList& List, TUnorderedList& OldFields,
                                              TUnorderedList& NewFields) const {
  List.SetOwnership(false);
  List.Clear();
  for (TObject* o : GetIndices()) {
    auto* index = static_cast<TOdbIndex*>(o);
    const TOdbIndexAttributes a = index->GetAttributes();
    if (!a.Contains(iaUnique) && !a.Contains(iaPrimary)) continue;
    bool changed = false;
    for (TObject* n : index->FieldNames()) {
      const std::string& name = static_cast<TStringCombo*>(n)->Str;
      if (!SameKeyValue(*index, *GetFieldInList(name, OldFields),
                        *GetFieldInList(name, NewFields))) {
        changed = true;
        break;
      }
    }
    if (changed) List.Insert(index);
  }
}

}  // namespace corvid
