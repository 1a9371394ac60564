// The SQLite driver: the database as a whole (opening, transactions) and
// the handles it opens; the handles' operations are their cursors'.
#include "drivers/sqlite/SQLiteDriver.h"

#include "drivers/sqlite/SQLiteConnection.h"
#include "drivers/sqlite/SQLiteQuery.h"
#include "drivers/sqlite/SQLiteTable.h"
#include "odb/OdbDataset.h"
#include "odb/OdbFile.h"

namespace corvid {

TSQLiteDriver::TSQLiteDriver() : connection_(std::make_unique<sqlite::TConnection>(*this)) {}

TSQLiteDriver::~TSQLiteDriver() {
  CloseDatabaseQuietly();
  // The cursors tell the connection when they go: free them while it lives.
  ReleaseAllHandles();
}

TOdbFieldTypes TSQLiteDriver::GetSupportedFieldTypes() const {
  return {oftString, oftFloat, oftInteger, oftAutoInc};
}

TDataAccessMethodSet TSQLiteDriver::GetDataAccessMethods() const {
  return {damISAM, damSQL};
}

void TSQLiteDriver::Exec(const std::string& Sql) const {
  connection_->Exec(Sql);
}

// --- database ---------------------------------------------------------------

void TSQLiteDriver::InternalOpenDatabase(const std::string& Server, const std::string&,
                                         const std::string&) {
  connection_->Open(GetDatabaseName(), Server);
}

void TSQLiteDriver::InternalCloseDatabase() {
  connection_->Close();
}

void TSQLiteDriver::InternalStartTransaction() {
  connection_->BeginWrite();
  connection_->Exec("begin immediate");
}

void TSQLiteDriver::InternalCommit() {
  connection_->ClosePendingInsert();
  connection_->Exec("commit");
  connection_->CountWrite();
}

void TSQLiteDriver::InternalRollback() {
  connection_->BeginWrite();
  connection_->Exec("rollback");
  connection_->CountWrite();
}

// --- handles ----------------------------------------------------------------

std::int32_t TSQLiteDriver::OpenTable(TObjectDataset& Dataset, bool Exclusive) {
  sqlite::TConnection& c = *connection_;
  c.BeginWrite();
  c.LockTable(Dataset.GetDatasetName(), Exclusive);
  try {
    return NewHandle(std::make_unique<sqlite::TTable>(c, Dataset, Exclusive));
  } catch (...) {
    c.UnlockTable(Dataset.GetDatasetName(), Exclusive);
    throw;
  }
}

std::int32_t TSQLiteDriver::OpenQuery(TObjectDataset& Dataset) {
  return NewHandle(sqlite::OpenQuery(*connection_, Dataset));
}

std::int32_t TSQLiteDriver::InternalOpenDataset(TObjectDataset& Dataset) {
  if (dynamic_cast<TObjectFile*>(&Dataset) == nullptr) return OpenQuery(Dataset);
  return OpenTable(Dataset, false);
}

std::int32_t TSQLiteDriver::InternalOpenExclusive(TObjectFile& ObjectFile) {
  return OpenTable(ObjectFile, true);
}

void TSQLiteDriver::InternalCloseDataset(std::int32_t Handle) {
  std::string table;
  bool exclusive = false;
  if (auto* t = dynamic_cast<sqlite::TTable*>(&Cursor(Handle))) {
    table = t->TableName();
    exclusive = t->Exclusive();
  }
  ReleaseHandle(Handle);
  if (!table.empty()) connection_->UnlockTable(table, exclusive);
}

std::int32_t TSQLiteDriver::InternalOpenUpdate() {
  // A descendant that withdraws SQL access withdraws update handles too.
  CheckAccessMethod(damSQL);
  return NewHandle(sqlite::OpenUpdate(*connection_));
}

void TSQLiteDriver::InternalCloseUpdate(std::int32_t Handle) {
  if (!sqlite::IsUpdate(static_cast<sqlite::TCursor&>(Cursor(Handle)))) {
    RaiseOdb<EOdbInvalidObjectFileHandle>();
  }
  ReleaseHandle(Handle);
}

namespace {

// Registers the driver when the library is loaded.
const bool registered = [] {
  RegisterOdbDriver(TSQLiteDriver::StaticClass(), "SQLite");
  return true;
}();

}  // namespace

}  // namespace corvid
