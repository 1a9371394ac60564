#include "corvid/odb/OdbFile.h"

#include "corvid/containers/ObjCmp.h"
#include "corvid/containers/ObjList.h"
#include "corvid/odb/OdbDatabase.h"
#include "corvid/odb/OdbImageStreams.h"
#include "corvid/odb/OdbMapping.h"
#include "corvid/persist/ObjPerst.h"
#include "corvid/persist/Streams.h"
#include "corvid/util/OdbMisc.h"

namespace corvid {

// The mapping of a version-1 object file: every mapping operation is
// forwarded to the object file, whose class defines fields, indices, copies
// and hooks itself. Until the object file is set, the definitions do
// nothing.
class TVersion1ORMapping : public TORMapping {
  CORVID_CLASS(TVersion1ORMapping, ::corvid::TORMapping)
 public:
  TVersion1ORMapping() = default;

  TClass GetObjectType() const override { return ObjectType; }
  void DefineFields() override {
    if (ObjectFile != nullptr) ObjectFile->DefineFields();
  }
  void DefineIndices() override {
    if (ObjectFile != nullptr) ObjectFile->DefineIndices();
  }
  void UpdateFieldsFromObj(const TObject* Obj) override {
    if (ObjectFile != nullptr) ObjectFile->UpdateFieldsFromObj(Obj);
  }
  void UpdateObjFromFields(TObject* Obj) override {
    if (ObjectFile != nullptr) ObjectFile->UpdateObjFromFields(Obj);
  }
  void BeforeInsert() override {
    if (ObjectFile != nullptr) ObjectFile->BeforeInsert();
  }
  void AfterInsert() override {
    if (ObjectFile != nullptr) ObjectFile->AfterInsert();
  }
  void BeforeUpdate() override {
    if (ObjectFile != nullptr) ObjectFile->BeforeUpdate();
  }
  void AfterUpdate() override {
    if (ObjectFile != nullptr) ObjectFile->AfterUpdate();
  }
  void BeforeDelete() override {
    if (ObjectFile != nullptr) ObjectFile->BeforeDelete();
  }
  void AfterDelete() override {
    if (ObjectFile != nullptr) ObjectFile->AfterDelete();
  }
  void BeforeObjectPost(TMemoryStream& Stream) override {
    if (ObjectFile != nullptr) ObjectFile->BeforeObjectPost(Stream);
  }
  void AfterObjectRead(TMemoryStream& Stream) override {
    if (ObjectFile != nullptr) ObjectFile->AfterObjectRead(Stream);
  }

  TObjectFile* ObjectFile = nullptr;
  TClass ObjectType;
};

// --- bookmarks ------------------------------------------------------------

TOdbBookmark::TOdbBookmark(TObjectFile& ObjectFile)
    : indexName_(ObjectFile.GetIndexName()), objectFile_(&ObjectFile) {
  bookmarkData_ = ObjectFile.GetDriver().GetBookmark(ObjectFile.GetHandle());
}

TOdbBookmark::~TOdbBookmark() {
  try {
    objectFile_->GetDriver().FreeBookmark(objectFile_->GetHandle(), bookmarkData_);
  } catch (...) {
    // The file or its database was closed first; a driver that keeps its
    // bookmarks per handle has released them with the handle.
  }
}

// --- construction ---------------------------------------------------------

namespace {

TObjectDatabase& CheckedForRecordAccess(TObjectDatabase& Database) {
  Database.GetDriver()->CheckAccessMethod(damISAM);
  return Database;
}

}  // namespace

TObjectFile::TObjectFile(TObjectDatabase& Database, std::string FileName, TClass MappingClass)
    : TObjectDataset(CheckedForRecordAccess(Database), std::move(FileName), MappingClass) {}

TObjectFile::TObjectFile(TObjectDatabase& Database, std::string FileName, TClass ObjectType,
                         TVersion1Form)
    : TObjectDataset(Database, std::move(FileName), TVersion1ORMapping::StaticClass()) {
  adapter_ = static_cast<TVersion1ORMapping*>(&GetMapping());
  adapter_->ObjectType = ObjectType;
  adapter_->ObjectFile = this;
}

TObjectFile::~TObjectFile() = default;

void TObjectFile::AfterConstruction() {
  EnsureMappingDefined();
}

void TObjectFile::EnsureMappingDefined() {
  if (adapter_ == nullptr || version1Defined_) return;
  version1Defined_ = true;
  adapter_->DefineFields();
  adapter_->DefineIndices();
}

void TObjectFile::AfterDriverOpen() {
  TUnorderedList& indices = GetIndices();
  if (!indices.QueryEmpty()) {
    SetIndexName(static_cast<TOdbIndex*>(*indices.begin())->GetName());
  }
}

// --- simple operations ----------------------------------------------------

void TObjectFile::SetCurrentObj(const TObject* Obj) {
  std::unique_ptr<TObject> copy;
  if (Obj != nullptr) {
    CheckObjectType(Obj);
    // What CloneObj does: the class's copy procedure, or else the image
    // written and read back through streams kept for the purpose. The
    // registration of the last class copied is remembered.
    if (copyEntry_ == nullptr || copyEntry_->Class() != Obj->ClassType()) {
      copyEntry_ = &StreamableInterfaceOf(Obj);
    }
    copy = copyEntry_->CopyWithProc(Obj);
    if (copy == nullptr) {
      if (copyBuffer_ == nullptr) {
        copyBuffer_ = std::make_unique<TMemoryStream>();
        copyObjects_ = std::make_unique<TObjectStream>(copyBuffer_.get(), false);
      }
      copyBuffer_->SetSize(0);
      copyBuffer_->SetPosition(0);
      copyObjects_->WriteObject(Obj);
      copyObjects_->Rewind();
      copy = copyObjects_->ReadObject();
    }
  }
  SetCurrentObjPtr(std::move(copy));
}

TOdbField* TObjectFile::AddField(std::string Name, TOdbFieldType FieldType, std::uint16_t Size) {
  return GetMapping().AddField(std::move(Name), FieldType, Size);
}

TOdbIndex* TObjectFile::AddIndex(std::string Name, TOdbIndexAttributes Attributes,
                                 const std::vector<std::string>& FieldNames) {
  return GetMapping().AddIndex(std::move(Name), Attributes, FieldNames);
}

void TObjectFile::CreateFile() {
  CreateDataset();
}
void TObjectFile::DeleteFile() {
  DeleteDataset();
}

void TObjectFile::OpenExclusive() {
  if (GetOpened()) return;
  EnsureMappingDefined();
  BeforeOpen();
  SetHandle(GetDriver().OpenExclusive(*this));
  AfterOpen();
  AfterDriverOpen();
  FindFirst();
}

std::string TObjectFile::GetIndexName() {
  return GetDriver().GetIndexName(GetHandle());
}

void TObjectFile::SetIndexName(const std::string& Name) {
  if (Name != GetIndexName()) GetDriver().SetIndexName(GetHandle(), Name);
}

TOdbIndex* TObjectFile::GetCurrentIndex() {
  const std::string name = GetIndexName();
  TUnorderedList& indices = GetIndices();
  // FindExact asks for every key: the mapping's own index list is searched
  // by name without building a probe index, the cursor left on the hit as
  // Search leaves it.
  if (indices.CompareFunc() == &CompareOdbIndex &&
      TOdbIndex::StaticClass().InheritsFrom(indices.ObjClass())) {
    std::int32_t position = 0;
    for (TObject* o : indices) {
      ++position;
      auto* index = o != nullptr && o->ClassType() == TOdbIndex::StaticClass()
                        ? static_cast<TOdbIndex*>(o)
                        : dynamic_cast<TOdbIndex*>(o);
      if (index == nullptr) break;  // not an index list after all: let Search decide
      if (SameOdbFieldName(index->GetName(), name)) {
        indices.GotoNth(position);
        return index;
      }
    }
  }
  TOdbIndex probe(name, {});
  if (!indices.Search(&probe)) RaiseOdb<EOdbIndexDoesNotExist>(name);
  return static_cast<TOdbIndex*>(indices.GetCurrentObj());
}

std::int32_t TObjectFile::GetObjectCount() {
  return GetDriver().GetObjectCount(GetHandle());
}
void TObjectFile::LockCurrent() {
  GetDriver().LockCurrent(GetHandle());
}
void TObjectFile::UnLockCurrent() {
  GetDriver().UnLockCurrent(GetHandle());
}
void TObjectFile::Pack() {
  GetDriver().Pack(GetHandle());
}

// --- writing --------------------------------------------------------------

void TObjectFile::WriteImage(TMemoryStream& Stream, TObjectStream& Objects) {
  Stream.SetSize(0);
  Stream.SetPosition(0);
  Objects.WriteObject(GetCurrentObj());
  Stream.SetPosition(0);
  GetMapping().BeforeObjectPost(Stream);
  Stream.SetPosition(0);
}

void TObjectFile::Insert() {
  TImageStreams streams(imageBuffer_, imageObjects_, imageBusy_);
  InsertWith(streams.Buffer(), streams.Objects());
}

void TObjectFile::Update() {
  TImageStreams streams(imageBuffer_, imageObjects_, imageBusy_);
  UpdateWith(streams.Buffer(), streams.Objects());
}

void TObjectFile::InsertWith(TMemoryStream& Stream, TObjectStream& Objects) {
  TORMapping& mapping = GetMapping();
  TOdbDriver& driver = GetDriver();
  TUnorderedList& fields = GetFields();
  mapping.BeforeInsert();
  if (driver.CheckDuplicateInsert() && !driver.IsEmpty(GetHandle())) {
    mapping.UpdateFieldsFromObj(GetCurrentObj());
    TUnorderedList unique(TOdbIndex::StaticClass(), &CompareOdbIndex);
    unique.SetOwnership(false);
    GetAllUniqueIndices(unique);
    if (!unique.QueryEmpty()) CheckForDuplicate(unique, fields);
  } else {
    mapping.UpdateFieldsFromObj(GetCurrentObj());
  }

  // The record starts with an empty image when the driver assigns values.
  Stream.SetSize(0);
  Stream.SetPosition(0);
  if (FieldListHasAutoInc(fields)) {
    // The driver assigns the auto-increment values on an empty record; the
    // object receives them before its image is written over the record.
    driver.Insert(GetHandle(), fields, Stream);
    try {
      mapping.UpdateObjFromFields(GetCurrentObj());
      WriteImage(Stream, Objects);
      driver.Update(GetHandle(), fields, Stream);
    } catch (...) {
      // Do not leave a record without its image behind: the driver is still
      // on the record it has just inserted.
      try {
        driver.Delete(GetHandle());
      } catch (...) {
      }
      throw;
    }
  } else {
    WriteImage(Stream, Objects);
    driver.Insert(GetHandle(), fields, Stream);
  }
  mapping.AfterInsert();
}

void TObjectFile::UpdateWith(TMemoryStream& Stream, TObjectStream& Objects) {
  if (!HasCurrentObj()) RaiseOdb<EOdbObjectFileNotPositioned>();
  TORMapping& mapping = GetMapping();
  TOdbDriver& driver = GetDriver();
  TUnorderedList& fields = GetFields();
  mapping.BeforeUpdate();
  if (driver.CheckDuplicateUpdate()) {
    // The fields still hold the record as last read or written.
    std::unique_ptr<TUnorderedList> old = CloneObjAs<TUnorderedList>(&fields);
    mapping.UpdateFieldsFromObj(GetCurrentObj());
    TUnorderedList unique(TOdbIndex::StaticClass(), &CompareOdbIndex);
    unique.SetOwnership(false);
    GetModifiedUniqueIndices(unique, *old, fields);
    // The record being rewritten is no duplicate of itself.
    if (!unique.QueryEmpty()) SearchDuplicates(unique, fields, true);
  } else {
    mapping.UpdateFieldsFromObj(GetCurrentObj());
  }
  WriteImage(Stream, Objects);
  driver.Update(GetHandle(), fields, Stream);
  mapping.AfterUpdate();
}

void TObjectFile::Delete() {
  if (!HasCurrentObj()) RaiseOdb<EOdbObjectFileNotPositioned>();
  TORMapping& mapping = GetMapping();
  TOdbDriver& driver = GetDriver();
  mapping.BeforeDelete();
  driver.Delete(GetHandle());
  mapping.AfterDelete();
  if (driver.IsEmpty(GetHandle())) {
    SetCurrentObj(nullptr);
  } else {
    ReloadCurrent();
  }
}

// --- duplicate check ------------------------------------------------------

void TObjectFile::CheckForDuplicate(TUnorderedList& Indices, TUnorderedList& Fields) {
  SearchDuplicates(Indices, Fields, false);
}

void TObjectFile::SearchDuplicates(TUnorderedList& Indices, TUnorderedList& Fields,
                                   bool ExceptCurrent) {
  auto bookmark = GetBookmark();
  auto restore = [&] {
    SetIndexName(bookmark->GetIndexName());
    GetDriver().GotoBookmark(GetHandle(), bookmark->GetBookmarkData());
  };
  try {
    // The driver may tell keys apart less finely than the fields do (blank-
    // padded keys, a collation of its own), so a key that changed here can
    // still be the record's own old key there. The record found is the one
    // being rewritten when its stored image is the same: records of a file
    // with a primary or unique key never share an image.
    std::string ownImage;
    if (ExceptCurrent) ownImage = CurrentImage();
    for (TObject* o : Indices) {
      auto* index = static_cast<TOdbIndex*>(o);
      SetIndexName(index->GetName());
      if (!GetDriver().FindExact(GetHandle(), Fields, *index)) continue;
      if (ExceptCurrent && CurrentImage() == ownImage) continue;
      RaiseOdb<EOdbKeyViolation>(index->GetName());
    }
  } catch (...) {
    try {
      restore();
    } catch (...) {
      // The first failure is the one to report.
    }
    throw;
  }
  restore();
}

std::string TObjectFile::CurrentImage() {
  TMemoryStream stream;
  GetDriver().GetCurrent(GetHandle(), stream);
  return std::string(stream.View());
}

// --- finding --------------------------------------------------------------

bool TObjectFile::FindExact() {
  if (!HasCurrentObj()) return false;
  GetMapping().UpdateFieldsFromObj(GetCurrentObj());
  TOdbIndex* index = GetCurrentIndex();
  const bool found = GetDriver().FindExact(GetHandle(), GetFields(), *index);
  if (found) ReloadCurrent();
  return found;
}

void TObjectFile::FindNearest() {
  if (!HasCurrentObj()) return;
  GetMapping().UpdateFieldsFromObj(GetCurrentObj());
  TOdbIndex* index = GetCurrentIndex();
  GetDriver().FindNearest(GetHandle(), GetFields(), *index);
  // On an empty file there is no record to read: the key object stays.
  if (!GetDriver().IsEmpty(GetHandle())) ReloadCurrent();
}

// --- bookmarks ------------------------------------------------------------

std::unique_ptr<TOdbBookmark> TObjectFile::GetBookmark() {
  return std::make_unique<TOdbBookmark>(*this);
}

void TObjectFile::GotoBookmark(TOdbBookmark& Bookmark) {
  if (Bookmark.GetIndexName() != GetIndexName()) SetIndexName(Bookmark.GetIndexName());
  GetDriver().GotoBookmark(GetHandle(), Bookmark.GetBookmarkData());
  ReloadCurrent();
}

void TObjectFile::GotoBookmark(std::unique_ptr<TOdbBookmark> Bookmark) {
  GotoBookmark(*Bookmark);
}

}  // namespace corvid
