// The PostgreSQL driver: the database as a whole (connecting,
// transactions, creating and dropping tables) and the handles it opens;
// the handles' operations are their cursors'.
#include "corvid/drivers/postgresql/PostgreSQLDriver.h"

#include <exception>

#include "corvid/drivers/postgresql/PgTable.h"
#include "corvid/odb/OdbDataset.h"
#include "corvid/odb/OdbErrors.h"
#include "corvid/odb/OdbFile.h"
#include "corvid/util/OdbMisc.h"

namespace corvid {

using pgsql::TPgCursor;
using pgsql::TSession;
using pgsql::TTableDef;

TPostgreSQLDriver::TPostgreSQLDriver() : TCursorDriver(std::make_unique<TSession>(*this)) {}

TSession& TPostgreSQLDriver::Session() const {
  return static_cast<TSession&>(BaseConnection());
}

void TPostgreSQLDriver::SetConnectTimeout(int Seconds) {
  Session().SetConnectTimeout(Seconds);
}

int TPostgreSQLDriver::GetConnectTimeout() const {
  return Session().GetConnectTimeout();
}

TOdbFieldTypes TPostgreSQLDriver::GetSupportedFieldTypes() const {
  return {oftString, oftFloat, oftInteger, oftAutoInc};
}

bool TPostgreSQLDriver::InTransaction() const {
  return Session().InTransaction();
}

namespace {
const bool registered = [] {
  RegisterOdbDriver(TPostgreSQLDriver::StaticClass(), "PostgreSQL");
  return true;
}();
}  // namespace

// ---------------------------------------------------------------------------
// Handles

std::int32_t TPostgreSQLDriver::InternalOpenDataset(TObjectDataset& Dataset) {
  if (!IsObjectFile(Dataset)) return NewCursorHandle(pgsql::OpenQuery(Session(), Dataset));
  return NewCursorHandle(std::make_unique<pgsql::TTableCursor>(Session(), Dataset, false));
}

std::int32_t TPostgreSQLDriver::InternalOpenExclusive(TObjectFile& ObjectFile) {
  return NewCursorHandle(std::make_unique<pgsql::TTableCursor>(Session(), ObjectFile, true));
}

void TPostgreSQLDriver::InternalCloseDataset(std::int32_t Handle) {
  auto& cursor = static_cast<TPgCursor&>(Cursor(Handle));
  // The handle's pending insert is kept; the handle closes either way.
  std::exception_ptr settleError;
  if (Session().IsPending(cursor)) {
    try {
      Session().SettlePendingInsert();
    } catch (...) {
      settleError = std::current_exception();
    }
  }
  cursor.Close();
  ReleaseHandle(Handle);
  if (settleError) std::rethrow_exception(settleError);
}

std::int32_t TPostgreSQLDriver::InternalOpenUpdate() {
  return NewCursorHandle(pgsql::OpenUpdate(Session()));
}

void TPostgreSQLDriver::InternalCloseUpdate(std::int32_t Handle) {
  ReleaseHandle(Handle);
}

// ---------------------------------------------------------------------------
// Tables

void TPostgreSQLDriver::InternalCreateDataset(TObjectDataset& Dataset) {
  const std::string& table = Dataset.GetDatasetName();
  Session().ForgetOid(table);
  const TTableDef def = TTableDef::FromMapping(table, Dataset.GetFields(), Dataset.GetIndices());
  const std::vector<std::string> statements = pgsql::CreateStatements(def);
  InSavepoint(Session(), "corvid_create", [&] {
    for (const std::string& s : statements) Session().RunText(s, &def);
  });
  Session().TablesChanged();
}

void TPostgreSQLDriver::InternalDeleteDataset(TObjectDataset& Dataset) {
  const std::string& table = Dataset.GetDatasetName();
  const std::uint32_t oid = Session().TableOid(table);
  // Dropping a table that another connection has open would pull it away
  // under that connection: refuse.
  if (!Session().TryAdvisoryLock(oid, 0, false)) {
    RaiseOdb<EOdbError>("Table " + table + " is open on another connection");
  }
  try {
    Session().ForgetOid(table);
    Session().RunOnce("drop table " + pgsql::QuoteIdent(table));
    Session().TablesChanged();
  } catch (...) {
    Session().AdvisoryUnlock(oid, 0, false);
    throw;
  }
  Session().AdvisoryUnlock(oid, 0, false);
}

namespace pgsql {

PGconn* RawConnection(TPostgreSQLDriver& Driver) {
  return Driver.Session().Connection().Get();
}

}  // namespace pgsql

}  // namespace corvid
