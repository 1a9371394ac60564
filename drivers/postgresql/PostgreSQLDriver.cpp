// The PostgreSQL driver: the database as a whole (connecting,
// transactions, creating and dropping tables) and the handles it opens;
// the handles' operations are their cursors'.
#include "drivers/postgresql/PostgreSQLDriver.h"

#include <exception>

#include "drivers/postgresql/PgTable.h"
#include "odb/OdbDataset.h"
#include "odb/OdbErrors.h"
#include "odb/OdbFile.h"
#include "util/OdbMisc.h"

namespace corvid {

using pgsql::TPgCursor;
using pgsql::TSession;
using pgsql::TTableDef;

TPostgreSQLDriver::TPostgreSQLDriver() : session_(std::make_unique<TSession>(*this)) {}

TPostgreSQLDriver::~TPostgreSQLDriver() {
  CloseDatabaseQuietly();
  // The cursors refer to the session: free them while it lives.
  ReleaseAllHandles();
}

TOdbFieldTypes TPostgreSQLDriver::GetSupportedFieldTypes() const {
  return {oftString, oftFloat, oftInteger, oftAutoInc};
}

bool TPostgreSQLDriver::InTransaction() const {
  return session_->InTransaction();
}

namespace {
const bool registered = [] {
  RegisterOdbDriver(TPostgreSQLDriver::StaticClass(), "PostgreSQL");
  return true;
}();
}  // namespace

// ---------------------------------------------------------------------------
// Database and transactions

void TPostgreSQLDriver::InternalOpenDatabase(const std::string& Server, const std::string& User,
                                             const std::string& Password) {
  pgsql::TPgConnectOptions options;
  options.Server = Server;
  options.Database = GetDatabaseName();
  options.User = User;
  options.Password = Password;
  options.ConnectTimeoutSeconds = connectTimeout_;
  session_->Open(options);
}

void TPostgreSQLDriver::InternalCloseDatabase() {
  session_->Close();
}

void TPostgreSQLDriver::InternalStartTransaction() {
  session_->StartTransaction();
}

void TPostgreSQLDriver::InternalCommit() {
  session_->Commit();
}

void TPostgreSQLDriver::InternalRollback() {
  session_->Rollback();
}

// ---------------------------------------------------------------------------
// Handles

std::int32_t TPostgreSQLDriver::InternalOpenDataset(TObjectDataset& Dataset) {
  if (dynamic_cast<TObjectFile*>(&Dataset) == nullptr) {
    return NewHandle(pgsql::OpenQuery(*session_, Dataset));
  }
  return NewHandle(std::make_unique<pgsql::TTableCursor>(*session_, Dataset, false));
}

std::int32_t TPostgreSQLDriver::InternalOpenExclusive(TObjectFile& ObjectFile) {
  return NewHandle(std::make_unique<pgsql::TTableCursor>(*session_, ObjectFile, true));
}

void TPostgreSQLDriver::InternalCloseDataset(std::int32_t Handle) {
  auto& cursor = static_cast<TPgCursor&>(Cursor(Handle));
  // The handle's pending insert is kept; the handle closes either way.
  std::exception_ptr settleError;
  if (session_->IsPending(cursor)) {
    try {
      session_->SettlePendingInsert();
    } catch (...) {
      settleError = std::current_exception();
    }
  }
  cursor.Close();
  ReleaseHandle(Handle);
  if (settleError) std::rethrow_exception(settleError);
}

std::int32_t TPostgreSQLDriver::InternalOpenUpdate() {
  return NewHandle(pgsql::OpenUpdate(*session_));
}

void TPostgreSQLDriver::InternalCloseUpdate(std::int32_t Handle) {
  ReleaseHandle(Handle);
}

// ---------------------------------------------------------------------------
// Tables

void TPostgreSQLDriver::InternalCreateDataset(TObjectDataset& Dataset) {
  const std::string& table = Dataset.GetDatasetName();
  session_->ForgetOid(table);
  const TTableDef def = TTableDef::FromMapping(table, Dataset.GetFields(), Dataset.GetIndices());
  const std::vector<std::string> statements = pgsql::CreateStatements(def);
  InSavepoint(*session_, "corvid_create", [&] {
    for (const std::string& s : statements) session_->RunText(s, &def);
  });
}

void TPostgreSQLDriver::InternalDeleteDataset(TObjectDataset& Dataset) {
  const std::string& table = Dataset.GetDatasetName();
  const std::uint32_t oid = session_->TableOid(table);
  // Dropping a table that another connection has open would pull it away
  // under that connection: refuse.
  if (!session_->TryAdvisoryLock(oid, 0, false)) {
    RaiseOdb<EOdbError>("Table " + table + " is open on another connection");
  }
  try {
    session_->ForgetOid(table);
    session_->Run("drop table " + pgsql::QuoteIdent(table), pgsql::TPgParams(), nullptr, true);
  } catch (...) {
    session_->AdvisoryUnlock(oid, 0, false);
    throw;
  }
  session_->AdvisoryUnlock(oid, 0, false);
}

namespace pgsql {

PGconn* RawConnection(TPostgreSQLDriver& Driver) {
  return Driver.Session().Connection().Get();
}

}  // namespace pgsql

}  // namespace corvid
