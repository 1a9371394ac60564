// TObjectQuery and TObjectUpdate.
#include "odb/OdbQuery.h"

#include "containers/ObjType.h"
#include "odb/OdbDatabase.h"
#include "odb/OdbDriver.h"
#include "odb/OdbMapping.h"
#include "persist/ObjPerst.h"
#include "persist/Streams.h"

namespace corvid {

namespace {

// Runs the access-method check before the dataset base is constructed, so
// that a refused query creates nothing (no mapping, no registration).
TObjectDatabase& CheckSqlAccess(TObjectDatabase& Database) {
  Database.GetDriver()->CheckAccessMethod(damSQL);
  return Database;
}

}  // namespace

// --- TObjectQuery ---------------------------------------------------------

TObjectQuery::TObjectQuery(TObjectDatabase& Database, std::string DatasetName, TClass MappingClass)
    : TObjectDataset(CheckSqlAccess(Database), std::move(DatasetName), MappingClass) {}

TObjectQuery::~TObjectQuery() {
  // Close while the query is still whole; the base destructor would do it
  // too, but only after the select statement is gone.
  try {
    Close();
  } catch (...) {
    // A destructor must not throw; the handle goes with the driver.
  }
}

TObject* TObjectQuery::Search(const TObject* Obj) {
  CheckObjectType(Obj);
  if (GetOpened()) Close();
  TORMapping& mapping = GetMapping();
  mapping.UpdateFieldsFromObj(Obj);
  BuildSelectObjectQuery(selectStatement_, mapping, GetDatasetName());
  TObject* found = nullptr;
  try {
    Open();
    if (!IsEmpty()) found = GetCurrentObj();
  } catch (...) {
    try {
      Close();
    } catch (...) {
      // The first failure is the one to report.
    }
    throw;
  }
  Close();
  return found;
}

// --- TObjectUpdate --------------------------------------------------------

TObjectUpdate::TObjectUpdate(TObjectDatabase& Database, std::string TableName, TClass MappingClass)
    : database_(&Database),
      mapping_(CreateMapping(MappingClass, &Database)),
      tableName_(std::move(TableName)) {
  handle_ = Database.GetDriver()->InternalOpenUpdate();
}

TObjectUpdate::~TObjectUpdate() {
  try {
    database_->GetDriver()->InternalCloseUpdate(handle_);
  } catch (...) {
    // A destructor must not throw; the driver frees its handles anyway.
  }
}

void TObjectUpdate::CheckObjectType(const TObject* Obj) const {
  if (Obj == nullptr || !Obj->InheritsFrom(mapping_->GetObjectType())) RaiseInvalidObjectType();
}

void TObjectUpdate::PrepareImage(const TObject* Obj, TMemoryStream& Stream) {
  mapping_->UpdateFieldsFromObj(Obj);
  {
    TObjectStream objects(&Stream, /*OwnsStream=*/false);
    objects.WriteObject(Obj);
  }
  Stream.SetPosition(0);
  mapping_->BeforeObjectPost(Stream);
  Stream.SetPosition(0);
}

void TObjectUpdate::Insert(const TObject* Obj) {
  CheckObjectType(Obj);
  mapping_->BeforeInsert();
  {
    TMemoryStream stream;
    PrepareImage(Obj, stream);
    database_->GetDriver()->InsertSQL(handle_, stream, *mapping_, tableName_);
  }
  mapping_->AfterInsert();
}

void TObjectUpdate::Update(const TObject* Obj) {
  CheckObjectType(Obj);
  mapping_->BeforeUpdate();
  {
    TMemoryStream stream;
    PrepareImage(Obj, stream);
    database_->GetDriver()->UpdateSQL(handle_, stream, *mapping_, tableName_);
  }
  mapping_->AfterUpdate();
}

void TObjectUpdate::Delete(const TObject* Obj) {
  CheckObjectType(Obj);
  mapping_->BeforeDelete();
  mapping_->UpdateFieldsFromObj(Obj);
  database_->GetDriver()->DeleteSQL(handle_, *mapping_, tableName_);
  mapping_->AfterDelete();
}

}  // namespace corvid
