#include "corvid/odb/OdbDatabase.h"

#include <cstdint>
#include <vector>

#include "corvid/containers/ObjList.h"
#include "corvid/odb/OdbDataset.h"
#include "corvid/odb/OdbDriver.h"
#include "corvid/odb/OdbQuery.h"

namespace corvid {

TComparison CompareObjectIdentity(const TObject* Left, const TObject* Right) {
  const auto l = reinterpret_cast<std::uintptr_t>(Left);
  const auto r = reinterpret_cast<std::uintptr_t>(Right);
  if (l == r) return cmpEqual;
  return l < r ? cmpLess : cmpGreater;
}

TObjectDatabase::TObjectDatabase(TClass DriverClass, std::string DatabaseName)
    : driver_(CreateOdbDriver(DriverClass, std::move(DatabaseName))),
      datasets_(
          std::make_unique<TUnorderedList>(TObjectDataset::StaticClass(), &CompareObjectIdentity)) {
  datasets_->SetOwnership(false);
}

TObjectDatabase::~TObjectDatabase() {
  if (GetDatabaseOpened()) {
    try {
      Close();
    } catch (...) {
      // A destructor cannot report; the driver is freed below anyway.
    }
  }
  // Whatever is still made on the database must not reach it once it is
  // gone (their handles go with the driver).
  for (TObject* o : *datasets_) static_cast<TObjectDataset*>(o)->DetachDatabase();
  for (TObjectUpdate* u : updates_) u->DetachDatabase();
  updates_.clear();
  datasets_.reset();
  driver_.reset();
}

void TObjectDatabase::Open(const std::string& Server, const std::string& User,
                           const std::string& Password) {
  driver_->OpenDatabase(Server, User, Password);
}

void TObjectDatabase::Close() {
  for (TObject* o : *datasets_) {
    auto* dataset = static_cast<TObjectDataset*>(o);
    if (dataset->GetOpened()) dataset->Close();
  }
  driver_->CloseDatabase();
}

void TObjectDatabase::StartTransaction() {
  driver_->StartTransaction();
}
void TObjectDatabase::Commit() {
  driver_->Commit();
}
void TObjectDatabase::RollBack() {
  driver_->Rollback();
}

const std::string& TObjectDatabase::GetDatabaseName() const {
  return driver_->GetDatabaseName();
}

bool TObjectDatabase::GetDatabaseOpened() const {
  return driver_ != nullptr && driver_->GetDatabaseOpened();
}

void TObjectDatabase::RegisterDataset(TObjectDataset* Dataset) {
  datasets_->InsertAtTail(Dataset);
}

void TObjectDatabase::UnregisterDataset(TObjectDataset* Dataset) {
  if (datasets_ != nullptr) datasets_->Delete(Dataset);
}

void TObjectDatabase::RegisterUpdate(TObjectUpdate* Update) {
  updates_.push_back(Update);
}

void TObjectDatabase::UnregisterUpdate(TObjectUpdate* Update) {
  std::erase(updates_, Update);
}

}  // namespace corvid
