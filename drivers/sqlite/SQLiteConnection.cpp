// The SQLite driver's connection: opening and closing, statements and engine
// errors, the bookkeeping shared by the cursors, and savepoints.
#include "corvid/drivers/sqlite/SQLiteConnection.h"

#include <unistd.h>

#include <cctype>
#include <cmath>

#include "corvid/drivers/sqlite/SQLiteDriver.h"
#include "corvid/odb/OdbSchema.h"

namespace corvid::sqlite {

namespace {

std::string Trim(std::string_view S) {
  std::size_t b = 0, e = S.size();
  while (b < e && std::isspace(static_cast<unsigned char>(S[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(S[e - 1]))) --e;
  return std::string(S.substr(b, e - b));
}

}  // namespace

std::string Param(std::size_t N) {
  std::string p = "?";
  p.append(std::to_string(N));
  return p;
}

void BindText(sqlite3_stmt* Stmt, int Param, std::string_view Text) {
  sqlite3_bind_text(Stmt, Param, Text.data(), static_cast<int>(Text.size()), SQLITE_TRANSIENT);
}

void BindBlob(sqlite3_stmt* Stmt, int Param, const void* Data, std::int64_t Size) {
  // An empty image is stored as an empty blob, not as null.
  sqlite3_bind_blob(Stmt, Param, Size > 0 ? Data : static_cast<const void*>(""),
                    static_cast<int>(Size), SQLITE_TRANSIENT);
}

TOpenOptions ParseOptions(const std::string& Server) {
  TOpenOptions o;
  std::size_t start = 0;
  while (start <= Server.size()) {
    std::size_t end = Server.find(';', start);
    if (end == std::string::npos) end = Server.size();
    const std::string item = LowerName(Trim(std::string_view(Server).substr(start, end - start)));
    start = end + 1;
    if (item.empty()) continue;
    const std::size_t eq = item.find('=');
    const std::string key = Trim(item.substr(0, eq));
    const std::string value = eq == std::string::npos ? "" : Trim(item.substr(eq + 1));
    if (key == "create" && value.empty()) {
      o.Create = true;
    } else if (key == "synchronous" && (value == "normal" || value == "full")) {
      o.SyncNormal = value == "normal";
    } else if (key == "timeout" && !value.empty() &&
               value.find_first_not_of("0123456789") == std::string::npos && value.size() < 9) {
      o.TimeoutMs = std::stoi(value);
    } else {
      RaiseOdb<EOdbError>("unknown SQLite open option: " + item);
    }
  }
  return o;
}

// --- cursors ----------------------------------------------------------------

TCursor::TCursor(TConnection& Connection)
    : TDriverCursor(Connection.Driver()), connection_(&Connection) {}

TCursor::~TCursor() {
  connection_->ForgetCursor(this);
}

void TCursor::Pack() {
  TConnection& c = Db();
  c.BeginWrite();
  if (c.InTransaction()) return;  // pages are given back after the transaction
  c.Exec("pragma incremental_vacuum");
  c.Exec("pragma wal_checkpoint(truncate)");
}

// --- the connection ---------------------------------------------------------

TConnection::TConnection(TSQLiteDriver& Driver) : driver_(Driver) {}

TConnection::~TConnection() {
  keptQueries_.clear();
  if (db_ != nullptr) sqlite3_close_v2(db_);
}

void TConnection::Open(const std::string& Name, const std::string& Server, const std::string&,
                       const std::string&) {
  if (db_ != nullptr) RaiseOdb<EOdbError>("the database " + Name + " is open");
  const TOpenOptions options = ParseOptions(Server);
  memory_ = Name == ":memory:";
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
  if (options.Create || memory_) flags |= SQLITE_OPEN_CREATE;
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(Name.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    const std::string msg = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close_v2(db);
    RaiseOdb<EOdbDatabaseDoesNotExist>(Name + ": " + msg);
  }
  db_ = db;
  try {
    ConfigureNewConnection(options);
  } catch (...) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
    throw;
  }
  lockFileName_ = memory_ ? std::string() : Name + "-corvid.lck";
}

void TConnection::ConfigureNewConnection(const TOpenOptions& Options) {
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, Options.TimeoutMs);
  // A new, empty file: pages of deleted records can be given back later
  // (Pack) without renumbering rows, which would break bookmarks.
  {
    TStmt s = Prepare("pragma page_count");
    const int r = sqlite3_step(s.get());
    if (r != SQLITE_ROW) RaiseEngineError(r, "pragma page_count");
    if (sqlite3_column_int64(s.get(), 0) == 0) Exec("pragma auto_vacuum = incremental");
  }
  Exec("pragma journal_mode = wal");
  Exec(Options.SyncNormal ? "pragma synchronous = normal" : "pragma synchronous = full");
  Exec("create table if not exists corvid_sequence (name text primary key, value integer)");
}

void TConnection::Close() {
  if (db_ == nullptr) return;
  try {
    ClosePendingInsert();
  } catch (...) {
  }
  // Handles still open lose their statements; their states go with the
  // handle table.
  QuiesceAll();
  for (TDriverCursor* c : std::vector<TDriverCursor*>(driver_.Cursors())) {
    static_cast<TCursor*>(c)->Disconnect();
  }
  keptQueries_.clear();
  sqlite3_close_v2(db_);
  db_ = nullptr;
  if (lockFd_ >= 0) {
    ::close(lockFd_);
    lockFd_ = -1;
  }
  locks_.clear();
}

void TConnection::StartTransaction() {
  BeginWrite();
  Exec("begin immediate");
}

void TConnection::Commit() {
  ClosePendingInsert();
  Exec("commit");
  ++writeGeneration_;
}

void TConnection::Rollback() {
  BeginWrite();
  Exec("rollback");
  ++writeGeneration_;
}

sqlite3* TConnection::Handle() const {
  if (db_ == nullptr) RaiseOdb<EOdbDatabaseNotOpened>();
  return db_;
}

TStmt TConnection::Prepare(const std::string& Sql) const {
  sqlite3_stmt* s = nullptr;
  const int rc = sqlite3_prepare_v3(Handle(), Sql.c_str(), static_cast<int>(Sql.size()),
                                    SQLITE_PREPARE_PERSISTENT, &s, nullptr);
  TStmt stmt(s);
  if (rc != SQLITE_OK) RaiseEngineError(rc, Sql);
  return stmt;
}

bool TConnection::TakeQueryStmt(const std::string& Sql, TQueryStmts& Into) {
  for (auto it = keptQueries_.begin(); it != keptQueries_.end(); ++it) {
    if (it->Sql == Sql) {
      Into.splice(Into.begin(), keptQueries_, it);
      return true;
    }
  }
  return false;
}

void TConnection::KeepQueryStmt(TQueryStmts& From) noexcept {
  if (From.empty()) return;
  sqlite3_stmt* s = From.front().Stmt.get();
  sqlite3_reset(s);
  sqlite3_clear_bindings(s);
  // Two queries of the same text were open at once: the one kept already
  // serves as well.
  for (const TQueryStmt& kept : keptQueries_) {
    if (kept.Sql == From.front().Sql) {
      From.clear();
      return;
    }
  }
  keptQueries_.splice(keptQueries_.begin(), From);
  if (keptQueries_.size() > kKeptQueries) keptQueries_.pop_back();
}

void TConnection::Exec(const std::string& Sql) const {
  char* msg = nullptr;
  const int rc = sqlite3_exec(Handle(), Sql.c_str(), nullptr, nullptr, &msg);
  sqlite3_free(msg);
  if (rc != SQLITE_OK) RaiseEngineError(rc, Sql);
}

void TConnection::RaiseEngineError(int Rc, const std::string& Context) const {
  std::string msg = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(Rc);
  if ((Rc & 0xff) == SQLITE_NOTADB) {
    RaiseOdb<EOdbDatabaseDoesNotExist>(driver_.GetDatabaseName() + ": " + msg);
  }
  RaiseOdb<EOdbError>(msg + " (" + Context + ")");
}

bool TConnection::TableExists(const std::string& Table) const {
  TStmt s =
      Prepare("select 1 from sqlite_master where type = 'table' and name = ?1 collate nocase");
  BindText(s.get(), 1, Table);
  return sqlite3_step(s.get()) == SQLITE_ROW;
}

void TConnection::QuiesceAll() {
  for (TDriverCursor* c : driver_.Cursors()) static_cast<TCursor*>(c)->Quiesce();
}

void TConnection::EndReads() {
  if (InTransaction()) return;  // the snapshot holds everything there is
  QuiesceAll();
}

void TConnection::BeginWrite() {
  // Reads end first: a pending insert whose commit fails is rolled back,
  // which would abort every read still open.
  QuiesceAll();
  ClosePendingInsert();
  ++writeGeneration_;
}

// --- the pending insert -----------------------------------------------------

void TConnection::SetPendingInsert(TCursor* Cursor, std::unique_ptr<TSavepoint> Savepoint) {
  pendingCursor_ = Cursor;
  pendingSavepoint_ = std::move(Savepoint);
}

std::unique_ptr<TSavepoint> TConnection::TakePendingInsert(TCursor* Cursor) {
  if (pendingCursor_ == nullptr || pendingCursor_ != Cursor) return nullptr;
  pendingCursor_ = nullptr;
  return std::move(pendingSavepoint_);
}

void TConnection::ClosePendingInsert() {
  if (pendingCursor_ == nullptr) return;
  // Anything but the completing Update: keep the record as inserted. A
  // release that fails undoes the insert as the savepoint goes.
  pendingCursor_ = nullptr;
  std::unique_ptr<TSavepoint> savepoint = std::move(pendingSavepoint_);
  savepoint->Release();
}

void TConnection::ForgetCursor(TCursor* Cursor) noexcept {
  if (pendingCursor_ != Cursor) return;
  try {
    ClosePendingInsert();
  } catch (...) {
  }
}

// --- savepoints -------------------------------------------------------------

bool TConnection::InTransaction() const {
  return db_ != nullptr && sqlite3_get_autocommit(db_) == 0;
}

void TConnection::BeginSavepoint(const std::string& Name, bool) {
  Exec("savepoint " + Name);
}

void TConnection::ReleaseSavepoint(const std::string& Name, bool) {
  Exec("release " + Name);
}

bool TConnection::UndoSavepoint(const std::string& Name, bool Outermost) noexcept {
  if (db_ == nullptr) return false;
  ++writeGeneration_;
  if (Outermost) {
    // The transaction holds nothing but the savepoint: end it without
    // writing anything (rolling back to the savepoint and releasing it
    // would commit the restored pages). After a failed commit no
    // transaction may stay open, or every later write would go into it
    // and be lost; the engine may have ended it itself.
    if (!InTransaction()) return true;
    sqlite3_exec(db_, "rollback", nullptr, nullptr, nullptr);
    return !InTransaction();
  }
  try {
    const std::string sql = "rollback to " + Name + "; release " + Name;
    return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  } catch (...) {
    return false;
  }
}

// --- names and values -------------------------------------------------------

std::string TConnection::QuoteName(const std::string& Name) {
  std::string q = "\"";
  for (char c : Name) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

void TConnection::CheckKeyValue(const TOdbField& F, const std::string& Table) {
  if (F.GetFieldType() == oftFloat && std::isnan(F.GetAsFloat())) {
    RaiseOdb<EOdbInvalidFieldType>("NaN in the key field " + F.GetName() + " of " + Table);
  }
}

}  // namespace corvid::sqlite
