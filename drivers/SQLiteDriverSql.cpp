// The SQL side of the SQLite driver: queries (the result of a select
// statement, navigable like a table) and the single-object statements of
// update objects.
//
// Queries. The select statement is the query's SelectStatement, its lines
// joined by line breaks. It must be exactly one statement that only reads
// (anything else raises EOdbError before a row is touched) and its result
// must have a column named Object holding the stored images. Rows are read
// from the engine as navigation needs them and kept by the handle, so the
// handle moves back and forth freely; before the connection writes, the
// handle reads the rest of the result, so a query shows the rows of the
// moment it was opened.
//
// Single-object statements. Insert, update and delete are written for the
// mapping and table at hand with every value bound as a parameter (the image
// as a blob), and prepared once per update handle (until the connection
// closes); update and delete match the row by the mapping's primary index
// and raise EOdbObjectNotFound when no row matches. Auto-increment columns
// take the object's value as it is; the table's counter (shared with record
// access) is raised past it, so record access never hands out a number that
// an SQL insert already used.
//
// Errors. A duplicate primary or unique key raises EOdbKeyViolation, a
// missing table EOdbObjectFileDoesNotExist, anything else the engine refuses
// EOdbError; the detail is the engine's message. The database stays usable.
#include <sqlite3.h>

#include <cctype>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "containers/ObjList.h"
#include "drivers/SQLiteDriver.h"
#include "odb/OdbDataset.h"
#include "odb/OdbErrors.h"
#include "odb/OdbMapping.h"
#include "odb/OdbQuery.h"
#include "odb/OdbSql.h"
#include "persist/Streams.h"
#include "util/OdbMisc.h"
#include "values/ObjBuckt.h"

namespace corvid {

namespace {

std::string LowerText(std::string_view S) {
  std::string r(S);
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

// The text of parameter N: "?N". (Built by appending: g++ 12 warns falsely
// about "?" + std::to_string(N) at -O3.)
std::string Param(int N) {
  std::string p = "?";
  p.append(std::to_string(N));
  return p;
}

bool IsBlank(std::string_view S) {
  for (char c : S) {
    if (!std::isspace(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// Resets a statement and clears its bindings on scope exit, so that a
// cached statement holds no values and no read between uses.
class TResetOnExit {
 public:
  explicit TResetOnExit(sqlite3_stmt* S) : s_(S) {}
  ~TResetOnExit() {
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
  }
  TResetOnExit(const TResetOnExit&) = delete;
  TResetOnExit& operator=(const TResetOnExit&) = delete;

 private:
  sqlite3_stmt* s_;
};

// The state of an update handle: the statements it has run, prepared once
// and kept until the connection closes. It has no rows, so the navigation
// operations refuse it as a dataset handle.
class TSQLiteUpdate : public TSQLiteHandle {
  CORVID_CLASS(TSQLiteUpdate, ::corvid::TSQLiteHandle)
 public:
  explicit TSQLiteUpdate(TSQLiteDriver& Driver) : TSQLiteHandle(Driver) {}

  bool First() override { RaiseOdb<EOdbInvalidObjectFileHandle>(); }
  bool Last() override { RaiseOdb<EOdbInvalidObjectFileHandle>(); }
  bool Next() override { RaiseOdb<EOdbInvalidObjectFileHandle>(); }
  bool Prior() override { RaiseOdb<EOdbInvalidObjectFileHandle>(); }
  void GetCurrent(TMemoryStream&) override { RaiseOdb<EOdbInvalidObjectFileHandle>(); }
  std::int32_t Count() override { RaiseOdb<EOdbInvalidObjectFileHandle>(); }
  void Disconnect() override { statements_.clear(); }

  // The statement for Sql on Table, prepared on first use. A missing table
  // raises EOdbObjectFileDoesNotExist, any other failure the engine's error.
  sqlite3_stmt* Statement(const std::string& Table, const std::string& Sql);

 private:
  std::map<std::string, TSQLiteStmt> statements_;
};

// The state of an open query: the statement while rows remain to be read,
// the images read so far and the position among them.
class TSQLiteQuery : public TSQLiteHandle {
  CORVID_CLASS(TSQLiteQuery, ::corvid::TSQLiteHandle)
 public:
  TSQLiteQuery(TSQLiteDriver& Driver, const std::string& Name, const std::string& Sql);
  ~TSQLiteQuery() override = default;

  bool First() override;
  bool Last() override;
  bool Next() override;
  bool Prior() override;
  void GetCurrent(TMemoryStream& Stream) override;
  std::int32_t Count() override;
  bool IsEmpty() override { return images_.empty() && !Fetch(); }
  void Quiesce() override { FetchAll(); }
  void Disconnect() override { stmt_.reset(); }

 private:
  // Reads the next row into images_; false (statement finished) at the end.
  bool Fetch();
  void FetchAll() {
    while (Fetch()) {
    }
  }

  std::string name_;
  TSQLiteStmt stmt_;
  int objectColumn_ = -1;
  std::vector<std::string> images_;
  std::ptrdiff_t pos_ = -1;  // index into images_, -1 when nothing is current
};

TSQLiteQuery::TSQLiteQuery(TSQLiteDriver& Driver, const std::string& Name, const std::string& Sql)
    : TSQLiteHandle(Driver), name_(Name) {
  sqlite3* db = Driver.Connection();
  const char* tail = nullptr;
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(db, Sql.c_str(), static_cast<int>(Sql.size()), &raw, &tail);
  stmt_.reset(raw);
  if (rc != SQLITE_OK) Driver.RaiseEngineError(rc, "the select statement of " + name_);
  if (!stmt_) RaiseOdb<EOdbSelectStatementNotSpecified>(name_);
  // Whatever follows the statement may only be blanks, semicolons and
  // comments: a second statement would never run, or run unnoticed.
  const char* end = Sql.c_str() + Sql.size();
  while (tail != nullptr && tail < end) {
    sqlite3_stmt* next = nullptr;
    const char* after = nullptr;
    rc = sqlite3_prepare_v2(db, tail, static_cast<int>(end - tail), &next, &after);
    TSQLiteStmt extra(next);
    if (rc != SQLITE_OK) Driver.RaiseEngineError(rc, "the select statement of " + name_);
    if (extra) {
      RaiseOdb<EOdbError>("the select statement of " + name_ + " holds more than one statement");
    }
    if (after == tail) break;
    tail = after;
  }
  if (sqlite3_stmt_readonly(stmt_.get()) == 0) {
    RaiseOdb<EOdbError>("the select statement of " + name_ + " does not only read");
  }
  const int columns = sqlite3_column_count(stmt_.get());
  for (int c = 0; c < columns && objectColumn_ < 0; ++c) {
    const char* col = sqlite3_column_name(stmt_.get(), c);
    if (col != nullptr && LowerText(col) == "object") objectColumn_ = c;
  }
  if (objectColumn_ < 0) {
    RaiseOdb<EOdbError>("the result of the select statement of " + name_ + " has no column Object");
  }
}

bool TSQLiteQuery::Fetch() {
  if (!stmt_) return false;
  const int rc = sqlite3_step(stmt_.get());
  if (rc == SQLITE_ROW) {
    const void* blob = sqlite3_column_blob(stmt_.get(), objectColumn_);
    const int size = sqlite3_column_bytes(stmt_.get(), objectColumn_);
    images_.emplace_back(blob != nullptr ? static_cast<const char*>(blob) : "",
                         static_cast<std::size_t>(size));
    return true;
  }
  // Done or failed: the statement ends here either way, so that no read
  // stays open on the connection.
  TSQLiteStmt finished = std::move(stmt_);
  if (rc != SQLITE_DONE) Driver().RaiseEngineError(rc, "reading the result of " + name_);
  return false;
}

bool TSQLiteQuery::First() {
  if (images_.empty() && !Fetch()) return false;
  pos_ = 0;
  return true;
}

bool TSQLiteQuery::Last() {
  FetchAll();
  if (images_.empty()) return false;
  pos_ = static_cast<std::ptrdiff_t>(images_.size()) - 1;
  return true;
}

bool TSQLiteQuery::Next() {
  if (pos_ < 0) return First();
  if (pos_ + 1 < static_cast<std::ptrdiff_t>(images_.size()) || Fetch()) {
    ++pos_;
    return true;
  }
  return false;
}

bool TSQLiteQuery::Prior() {
  if (pos_ < 0) return Last();
  if (pos_ == 0) return false;
  --pos_;
  return true;
}

void TSQLiteQuery::GetCurrent(TMemoryStream& Stream) {
  if (pos_ < 0) RaiseOdb<EOdbObjectNotFound>("no current object in the result of " + name_);
  const std::string& image = images_[static_cast<std::size_t>(pos_)];
  Stream.SetSize(0);
  Stream.SetPosition(0);
  if (!image.empty()) Stream.WriteBuffer(image.data(), static_cast<std::int64_t>(image.size()));
  Stream.SetPosition(0);
}

std::int32_t TSQLiteQuery::Count() {
  FetchAll();
  return static_cast<std::int32_t>(images_.size());
}

void BindField(TSQLiteDriver& Driver, sqlite3_stmt* Stmt, int Param, const TOdbField& F) {
  int rc = SQLITE_OK;
  switch (F.GetFieldType()) {
    case oftString: {
      const std::string s = F.GetAsString();
      rc = sqlite3_bind_text(Stmt, Param, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
      break;
    }
    case oftFloat:
      rc = sqlite3_bind_double(Stmt, Param, F.GetAsFloat());
      break;
    case oftInteger:
    case oftAutoInc:
      rc = sqlite3_bind_int64(Stmt, Param, F.GetAsInteger());
      break;
    default:
      RaiseOdb<EOdbFieldTypeNotSupported>();
  }
  if (rc != SQLITE_OK) Driver.RaiseEngineError(rc, "binding " + F.GetName());
}

void BindImage(TSQLiteDriver& Driver, sqlite3_stmt* Stmt, int Param, TMemoryStream& Stream) {
  const auto size = static_cast<int>(Stream.GetSize());
  // An empty image is stored as an empty blob, not as null.
  const int rc =
      sqlite3_bind_blob(Stmt, Param, size > 0 ? Stream.Memory() : static_cast<const void*>(""),
                        size, SQLITE_TRANSIENT);
  if (rc != SQLITE_OK) Driver.RaiseEngineError(rc, "binding the object image");
}

// "name = ?k and ..." over the primary index of Mapping, parameters from
// First on; Keys receives the key fields in key order.
std::string KeyCondition(TORMapping& Mapping, const std::string& TableName, int First,
                         std::vector<const TOdbField*>& Keys) {
  const TOdbIndex& primary = *Mapping.GetPrimaryIndex(TableName);
  std::string cond;
  int param = First;
  for (const TObject* o : primary.FieldNames()) {
    const std::string& name = static_cast<const TStringCombo*>(o)->Str;
    Keys.push_back(GetFieldInList(name, Mapping.GetFields()));
    if (!cond.empty()) cond += " and ";
    cond += TSQLiteDriver::QuoteName(name) + " = " + Param(param++);
  }
  // A primary index without fields matches every row: refuse it rather than
  // change or delete a whole table.
  if (Keys.empty()) RaiseOdb<EOdbTableMustHavePrimaryIndex>(TableName);
  return cond;
}

// Whether Table exists in the database (letter case ignored).
bool TableExists(TSQLiteDriver& Driver, const std::string& Table) {
  TSQLiteStmt s = Driver.Prepare(
      "select 1 from sqlite_master where type = 'table' and name = ?1 collate nocase");
  sqlite3_bind_text(s.get(), 1, Table.data(), static_cast<int>(Table.size()), SQLITE_TRANSIENT);
  return sqlite3_step(s.get()) == SQLITE_ROW;
}

sqlite3_stmt* TSQLiteUpdate::Statement(const std::string& Table, const std::string& Sql) {
  auto it = statements_.find(Sql);
  if (it != statements_.end()) return it->second.get();
  sqlite3* db = Driver().Connection();
  sqlite3_stmt* raw = nullptr;
  const int rc = sqlite3_prepare_v3(db, Sql.c_str(), static_cast<int>(Sql.size()),
                                    SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
  TSQLiteStmt stmt(raw);
  if (rc != SQLITE_OK) {
    const std::string msg = sqlite3_errmsg(db);
    if (!TableExists(Driver(), Table)) RaiseOdb<EOdbObjectFileDoesNotExist>(Table);
    RaiseOdb<EOdbError>(msg + " (" + Table + ")");
  }
  return statements_.emplace(Sql, std::move(stmt)).first->second.get();
}

// Runs a prepared write; a duplicate key raises EOdbKeyViolation with the
// engine's message.
void StepWrite(TSQLiteDriver& Driver, sqlite3_stmt* Stmt, const std::string& Table) {
  const int rc = sqlite3_step(Stmt);
  if (rc == SQLITE_DONE) return;
  if (rc == SQLITE_CONSTRAINT_PRIMARYKEY || rc == SQLITE_CONSTRAINT_UNIQUE ||
      rc == SQLITE_CONSTRAINT_ROWID) {
    RaiseOdb<EOdbKeyViolation>(sqlite3_errmsg(Driver.Connection()));
  }
  Driver.RaiseEngineError(rc, "writing " + Table);
}

// Raises the table's auto-increment counters past the values in Mapping's
// fields. A counter not yet started needs nothing: it starts above the
// largest value the table holds.
void AdvanceCounters(TSQLiteUpdate& Update, TORMapping& Mapping, const std::string& Table) {
  for (const TObject* o : Mapping.GetFields()) {
    const auto& f = *static_cast<const TOdbField*>(o);
    if (f.GetFieldType() != oftAutoInc) continue;
    sqlite3_stmt* s = Update.Statement(
        "corvid_sequence", "update corvid_sequence set value = ?2 where name = ?1 and value < ?2");
    TResetOnExit reset(s);
    const std::string key = LowerText(Table) + "." + LowerText(f.GetName());
    sqlite3_bind_text(s, 1, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(s, 2, f.GetAsInteger());
    const int rc = sqlite3_step(s);
    if (rc != SQLITE_DONE) Update.Driver().RaiseEngineError(rc, "numbering " + Table);
  }
}

// Runs Body inside a savepoint, so that a write of several statements
// happens whole or not at all (also when the release, which outside a
// transaction is the commit, fails).
template <class F>
void InSavepoint(TSQLiteDriver& Driver, F&& Body) {
  const bool outermost = !Driver.InTransaction();
  Driver.Exec("savepoint corvid_sql");
  try {
    Body();
    Driver.Exec("release corvid_sql");
  } catch (...) {
    // The first failure is the one to report.
    Driver.UndoSavepoint("corvid_sql", outermost);
    throw;
  }
}

// The detail of EOdbObjectNotFound: the table and the key sought.
std::string MissingRowDetail(TORMapping& Mapping, const std::string& Table) {
  std::string clause;
  BuildSelectWhereClause(clause, Mapping, Table);
  return Table + " " + clause;
}

// Refuses NaN in the key fields of Mapping before anything is written.
void CheckKeyValues(TORMapping& Mapping, const std::string& Table) {
  for (const TObject* o : Mapping.GetFields()) {
    const auto& f = *static_cast<const TOdbField*>(o);
    for (const TObject* i : Mapping.GetIndices()) {
      if (static_cast<const TOdbIndex*>(i)->HasField(f.GetName())) {
        TSQLiteDriver::CheckKeyValue(f, Table);
        break;
      }
    }
  }
}

bool HasAutoInc(TORMapping& Mapping) {
  for (const TObject* o : Mapping.GetFields()) {
    if (static_cast<const TOdbField*>(o)->GetFieldType() == oftAutoInc) return true;
  }
  return false;
}

}  // namespace

TDataAccessMethodSet TSQLiteDriver::GetDataAccessMethods() const {
  return {damISAM, damSQL};
}

std::int32_t TSQLiteDriver::OpenQuery(TObjectDataset& Dataset) {
  auto* query = dynamic_cast<TObjectQuery*>(&Dataset);
  const std::string text = query != nullptr ? query->SelectStatement().Text() : std::string();
  if (IsBlank(text)) RaiseOdb<EOdbSelectStatementNotSpecified>(Dataset.GetDatasetName());
  return NewHandle(std::make_unique<TSQLiteQuery>(*this, Dataset.GetDatasetName(), text));
}

std::int32_t TSQLiteDriver::InternalOpenUpdate() {
  // A descendant that withdraws SQL access withdraws update handles too.
  CheckAccessMethod(damSQL);
  return NewHandle(std::make_unique<TSQLiteUpdate>(*this));
}

namespace {

// The update state of Handle; EOdbInvalidObjectFileHandle for a number not
// in use or in use by a dataset.
TSQLiteUpdate& UpdateOf(const TSQLiteDriver& Driver, std::int32_t Handle) {
  auto* u = dynamic_cast<TSQLiteUpdate*>(&Driver.HandleState(Handle));
  if (u == nullptr) RaiseOdb<EOdbInvalidObjectFileHandle>();
  return *u;
}

}  // namespace

void TSQLiteDriver::InternalCloseUpdate(std::int32_t Handle) {
  UpdateOf(*this, Handle);
  ReleaseHandle(Handle);
}

void TSQLiteDriver::InternalInsertSQL(std::int32_t Handle, TMemoryStream& Stream,
                                      TORMapping& Mapping, const std::string& TableName) {
  TSQLiteUpdate& update = UpdateOf(*this, Handle);
  std::string cols, params;
  int n = 0;
  for (const TObject* o : Mapping.GetFields()) {
    cols += QuoteName(static_cast<const TOdbField*>(o)->GetName()) + ", ";
    params += Param(++n) + ", ";
  }
  const std::string sql = "insert into " + QuoteName(TableName) + " (" + cols +
                          "\"Object\") values (" + params + Param(n + 1) + ")";
  CheckKeyValues(Mapping, TableName);
  BeginWrite();
  auto write = [&] {
    sqlite3_stmt* s = update.Statement(TableName, sql);
    TResetOnExit reset(s);
    int param = 0;
    for (const TObject* o : Mapping.GetFields()) {
      BindField(*this, s, ++param, *static_cast<const TOdbField*>(o));
    }
    BindImage(*this, s, n + 1, Stream);
    StepWrite(*this, s, TableName);
  };
  if (HasAutoInc(Mapping)) {
    InSavepoint(*this, [&] {
      write();
      AdvanceCounters(update, Mapping, TableName);
    });
  } else {
    write();
  }
}

void TSQLiteDriver::InternalUpdateSQL(std::int32_t Handle, TMemoryStream& Stream,
                                      TORMapping& Mapping, const std::string& TableName) {
  TSQLiteUpdate& update = UpdateOf(*this, Handle);
  std::string sets;
  int n = 0;
  for (const TObject* o : Mapping.GetFields()) {
    sets += QuoteName(static_cast<const TOdbField*>(o)->GetName()) + " = " + Param(++n) + ", ";
  }
  std::vector<const TOdbField*> keys;
  const std::string cond = KeyCondition(Mapping, TableName, n + 2, keys);
  const std::string sql = "update " + QuoteName(TableName) + " set " + sets +
                          "\"Object\" = " + Param(n + 1) + " where " + cond;
  CheckKeyValues(Mapping, TableName);
  BeginWrite();
  auto write = [&] {
    sqlite3_stmt* s = update.Statement(TableName, sql);
    TResetOnExit reset(s);
    int param = 0;
    for (const TObject* o : Mapping.GetFields()) {
      BindField(*this, s, ++param, *static_cast<const TOdbField*>(o));
    }
    BindImage(*this, s, n + 1, Stream);
    param = n + 1;
    for (const TOdbField* k : keys) BindField(*this, s, ++param, *k);
    StepWrite(*this, s, TableName);
    if (sqlite3_changes(Connection()) == 0) {
      RaiseOdb<EOdbObjectNotFound>(MissingRowDetail(Mapping, TableName));
    }
  };
  if (HasAutoInc(Mapping)) {
    InSavepoint(*this, [&] {
      write();
      AdvanceCounters(update, Mapping, TableName);
    });
  } else {
    write();
  }
}

void TSQLiteDriver::InternalDeleteSQL(std::int32_t Handle, TORMapping& Mapping,
                                      const std::string& TableName) {
  TSQLiteUpdate& update = UpdateOf(*this, Handle);
  std::vector<const TOdbField*> keys;
  const std::string cond = KeyCondition(Mapping, TableName, 1, keys);
  const std::string sql = "delete from " + QuoteName(TableName) + " where " + cond;
  BeginWrite();
  sqlite3_stmt* s = update.Statement(TableName, sql);
  TResetOnExit reset(s);
  int param = 0;
  for (const TOdbField* k : keys) BindField(*this, s, ++param, *k);
  StepWrite(*this, s, TableName);
  if (sqlite3_changes(Connection()) == 0) {
    RaiseOdb<EOdbObjectNotFound>(MissingRowDetail(Mapping, TableName));
  }
}

}  // namespace corvid
