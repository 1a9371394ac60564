// The SQLite driver: the database as a whole (opening, transactions) and
// the handles it opens; the handles' operations are their cursors'.
#include "corvid/drivers/sqlite/SQLiteDriver.h"

#include "corvid/drivers/sqlite/SQLiteConnection.h"
#include "corvid/drivers/sqlite/SQLiteQuery.h"
#include "corvid/drivers/sqlite/SQLiteTable.h"
#include "corvid/odb/OdbDataset.h"
#include "corvid/odb/OdbFile.h"

namespace corvid {

TSQLiteDriver::TSQLiteDriver() : TCursorDriver(std::make_unique<sqlite::TConnection>(*this)) {}

sqlite::TConnection& TSQLiteDriver::Connection() const {
  return static_cast<sqlite::TConnection&>(BaseConnection());
}

TOdbFieldTypes TSQLiteDriver::GetSupportedFieldTypes() const {
  return {oftString, oftFloat, oftInteger, oftAutoInc};
}

TDataAccessMethodSet TSQLiteDriver::GetDataAccessMethods() const {
  return {damISAM, damSQL};
}

void TSQLiteDriver::Exec(const std::string& Sql) const {
  Connection().Exec(Sql);
}

// --- handles ----------------------------------------------------------------

std::int32_t TSQLiteDriver::OpenTable(TObjectDataset& Dataset, bool Exclusive) {
  sqlite::TConnection& c = Connection();
  c.BeginWrite();
  c.LockTable(Dataset.GetDatasetName(), Exclusive);
  try {
    return NewCursorHandle(std::make_unique<sqlite::TTable>(c, Dataset, Exclusive));
  } catch (...) {
    c.UnlockTable(Dataset.GetDatasetName(), Exclusive);
    throw;
  }
}

std::int32_t TSQLiteDriver::OpenQuery(TObjectDataset& Dataset) {
  return NewCursorHandle(sqlite::OpenQuery(Connection(), Dataset, spareQuery_));
}

std::int32_t TSQLiteDriver::InternalOpenDataset(TObjectDataset& Dataset) {
  if (!IsObjectFile(Dataset)) return OpenQuery(Dataset);
  return OpenTable(Dataset, false);
}

std::int32_t TSQLiteDriver::InternalOpenExclusive(TObjectFile& ObjectFile) {
  return OpenTable(ObjectFile, true);
}

void TSQLiteDriver::InternalCloseDataset(std::int32_t Handle) {
  std::string table;
  bool exclusive = false;
  TDriverCursor& cursor = Cursor(Handle);
  if (sqlite::IsQuery(cursor)) {
    sqlite::CloseQuery(TakeCursorHandle(Handle), spareQuery_);
    return;
  }
  if (auto* t = dynamic_cast<sqlite::TTable*>(&cursor)) {
    table = t->TableName();
    exclusive = t->Exclusive();
  }
  ReleaseHandle(Handle);
  if (!table.empty()) Connection().UnlockTable(table, exclusive);
}

std::int32_t TSQLiteDriver::InternalOpenUpdate() {
  // A descendant that withdraws SQL access withdraws update handles too.
  CheckAccessMethod(damSQL);
  return NewCursorHandle(sqlite::OpenUpdate(Connection()));
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
