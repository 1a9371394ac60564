#include "odb/OdbDatabase.h"

#include <cstdint>

#include "containers/ObjList.h"
#include "odb/OdbDataset.h"
#include "odb/OdbDriver.h"

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

}  // namespace corvid
