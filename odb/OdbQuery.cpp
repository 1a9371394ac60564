// TObjectQuery and TObjectUpdate.
#include "corvid/odb/OdbQuery.h"

#include "corvid/containers/ObjType.h"
#include "corvid/odb/OdbDatabase.h"
#include "corvid/odb/OdbDriver.h"
#include "corvid/odb/OdbErrors.h"
#include "corvid/odb/OdbImageStreams.h"
#include "corvid/odb/OdbMapping.h"
#include "corvid/persist/ObjPerst.h"
#include "corvid/persist/Streams.h"
#include "corvid/util/OdbMisc.h"

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
  BuildSelectObjectQuery(selectStatement_, search_, mapping, GetDatasetName());
  searchVersion_ = selectStatement_.Version();
  TObject* found = nullptr;
  try {
    searching_ = true;
    Open();
    searching_ = false;
    if (!IsEmpty()) found = GetCurrentObj();
  } catch (...) {
    searching_ = false;
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

const TSqlValues* TObjectQuery::SearchStatement() const {
  // A hook run by Open may have replaced the statement; only the lines
  // Search wrote have the values of search_.
  return searching_ && selectStatement_.Version() == searchVersion_ ? &search_ : nullptr;
}

// --- TObjectUpdate --------------------------------------------------------

TObjectUpdate::TObjectUpdate(TObjectDatabase& Database, std::string TableName, TClass MappingClass)
    : database_(&Database),
      mapping_(CreateMapping(MappingClass, &Database)),
      tableName_(std::move(TableName)) {
  handle_ = Database.GetDriver()->InternalOpenUpdate();
  try {
    Database.RegisterUpdate(this);
  } catch (...) {
    Database.GetDriver()->InternalCloseUpdate(handle_);
    throw;
  }
}

TObjectUpdate::~TObjectUpdate() {
  if (database_ == nullptr) return;
  database_->UnregisterUpdate(this);
  try {
    database_->GetDriver()->InternalCloseUpdate(handle_);
  } catch (...) {
    // A destructor must not throw; the driver frees its handles anyway.
  }
}

TObjectDatabase& TObjectUpdate::GetDatabase() const {
  if (database_ == nullptr) RaiseOdb<EOdbDatabaseNotOpened>();
  return *database_;
}

void TObjectUpdate::DetachDatabase() {
  database_ = nullptr;
  handle_ = 0;
  mapping_->DetachDatabase();
}

void TObjectUpdate::CheckObjectType(const TObject* Obj) const {
  if (Obj == nullptr || !Obj->InheritsFrom(mapping_->GetObjectType())) {
    RaiseInvalidObjectType(mapping_->GetObjectType(), Obj);
  }
}

void TObjectUpdate::PrepareImage(const TObject* Obj, TMemoryStream& Stream,
                                 TObjectStream& Objects) {
  mapping_->UpdateFieldsFromObj(Obj);
  Stream.SetSize(0);
  Stream.SetPosition(0);
  Objects.WriteObject(Obj);
  Stream.SetPosition(0);
  mapping_->BeforeObjectPost(Stream);
  Stream.SetPosition(0);
}

void TObjectUpdate::Insert(const TObject* Obj) {
  TImageStreams streams(imageBuffer_, imageObjects_, imageBusy_);
  InsertWith(Obj, streams.Buffer(), streams.Objects());
}

void TObjectUpdate::Update(const TObject* Obj) {
  TImageStreams streams(imageBuffer_, imageObjects_, imageBusy_);
  UpdateWith(Obj, streams.Buffer(), streams.Objects());
}

void TObjectUpdate::InsertWith(const TObject* Obj, TMemoryStream& Stream, TObjectStream& Objects) {
  CheckObjectType(Obj);
  TOdbDriver& driver = *GetDatabase().GetDriver();
  mapping_->BeforeInsert();
  PrepareImage(Obj, Stream, Objects);
  driver.InsertSQL(handle_, Stream, *mapping_, tableName_);
  mapping_->AfterInsert();
}

void TObjectUpdate::UpdateWith(const TObject* Obj, TMemoryStream& Stream, TObjectStream& Objects) {
  CheckObjectType(Obj);
  TOdbDriver& driver = *GetDatabase().GetDriver();
  mapping_->BeforeUpdate();
  PrepareImage(Obj, Stream, Objects);
  driver.UpdateSQL(handle_, Stream, *mapping_, tableName_);
  mapping_->AfterUpdate();
}

void TObjectUpdate::Delete(const TObject* Obj) {
  CheckObjectType(Obj);
  TOdbDriver& driver = *GetDatabase().GetDriver();
  mapping_->BeforeDelete();
  mapping_->UpdateFieldsFromObj(Obj);
  driver.DeleteSQL(handle_, *mapping_, tableName_);
  mapping_->AfterDelete();
}

}  // namespace corvid
