// The update cursor of the SQLite driver: the single-object statements of
// update objects.
//
// Insert, update and delete are written for the mapping and table at hand
// with every value bound as a parameter (the image as a blob), and prepared
// once per update handle (until the connection closes); update and delete
// match the row by the mapping's primary index and raise EOdbObjectNotFound
// when no row matches. Auto-increment columns take the object's value as it
// is; the table's counter (shared with record access) is raised past it, so
// record access never hands out a number that an SQL insert already used.
//
// Errors. A duplicate primary or unique key raises EOdbKeyViolation, a
// missing table EOdbObjectFileDoesNotExist, anything else the engine refuses
// EOdbError; the detail is the engine's message. The database stays usable.
#include <map>
#include <string>
#include <vector>

#include "corvid/containers/ObjList.h"
#include "corvid/drivers/sqlite/SQLiteQuery.h"
#include "corvid/odb/OdbMapping.h"
#include "corvid/odb/OdbSchema.h"
#include "corvid/odb/OdbSql.h"
#include "corvid/persist/Streams.h"
#include "corvid/values/ObjBuckt.h"

namespace corvid::sqlite {

namespace {

// One single-object statement: its text and the fields bound to it after
// the image (the key of an update or delete).
struct TSqlWrite {
  std::string Sql;
  std::vector<const TOdbField*> Values;  // parameters 1.., then the image
  std::vector<const TOdbField*> Keys;    // after the image
};

class TUpdate : public TCursor {
  CORVID_CLASS(TUpdate, ::corvid::sqlite::TCursor)
 public:
  explicit TUpdate(TConnection& Connection) : TCursor(Connection) {}

  void Disconnect() override { statements_.clear(); }
  void InsertSQL(TMemoryStream& Stream, TORMapping& Mapping, const std::string& Table) override;
  void UpdateSQL(TMemoryStream& Stream, TORMapping& Mapping, const std::string& Table) override;
  void DeleteSQL(TORMapping& Mapping, const std::string& Table) override;

 private:
  // The statement for Sql on Table, prepared on first use. A missing table
  // raises EOdbObjectFileDoesNotExist, any other failure the engine's error.
  sqlite3_stmt* Statement(const std::string& Table, const std::string& Sql);
  // Runs Write on Table; false when it touched no row.
  bool Run(const TSqlWrite& Write, TMemoryStream* Stream, const std::string& Table);
  // Runs Write, with the counters raised in the same savepoint when the
  // mapping has auto-increment fields; EOdbObjectNotFound when MustMatch
  // and no row matched.
  void Write(const TSqlWrite& Write, TMemoryStream& Stream, TORMapping& Mapping,
             const std::string& Table, bool MustMatch);
  // Raises the table's auto-increment counters past the values in
  // Mapping's fields. A counter not yet started needs nothing: it starts
  // above the largest value the table holds.
  void AdvanceCounters(TORMapping& Mapping, const std::string& Table);

  std::map<std::string, TStmt> statements_;
};

void BindField(TConnection& Connection, sqlite3_stmt* Stmt, int Param, const TOdbField& F) {
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
  if (rc != SQLITE_OK) Connection.RaiseEngineError(rc, "binding " + F.GetName());
}

// "name = ?k and ..." over the primary index of Mapping, parameters from
// First on; Keys receives the key fields in key order.
std::string KeyCondition(TORMapping& Mapping, const std::string& TableName, std::size_t First,
                         std::vector<const TOdbField*>& Keys) {
  const TOdbIndex& primary = *Mapping.GetPrimaryIndex(TableName);
  std::string cond;
  std::size_t param = First;
  for (const TObject* o : primary.FieldNames()) {
    const std::string& name = static_cast<const TStringCombo*>(o)->Str;
    Keys.push_back(GetFieldInList(name, Mapping.GetFields()));
    if (!cond.empty()) cond += " and ";
    cond += TConnection::QuoteName(name) + " = " + Param(param++);
  }
  // A primary index without fields matches every row: refuse it rather than
  // change or delete a whole table.
  if (Keys.empty()) RaiseOdb<EOdbTableMustHavePrimaryIndex>(TableName);
  return cond;
}

// The fields of Mapping in order.
std::vector<const TOdbField*> FieldsOf(TORMapping& Mapping) {
  std::vector<const TOdbField*> fields;
  for (const TObject* o : Mapping.GetFields()) fields.push_back(static_cast<const TOdbField*>(o));
  return fields;
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
        TConnection::CheckKeyValue(f, Table);
        break;
      }
    }
  }
}

sqlite3_stmt* TUpdate::Statement(const std::string& Table, const std::string& Sql) {
  auto it = statements_.find(Sql);
  if (it != statements_.end()) return it->second.get();
  sqlite3* db = Db().Handle();
  sqlite3_stmt* raw = nullptr;
  const int rc = sqlite3_prepare_v3(db, Sql.c_str(), static_cast<int>(Sql.size()),
                                    SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
  TStmt stmt(raw);
  if (rc != SQLITE_OK) {
    const std::string msg = sqlite3_errmsg(db);
    if (!Db().TableExists(Table)) RaiseOdb<EOdbObjectFileDoesNotExist>(Table);
    RaiseOdb<EOdbError>(msg + " (" + Table + ")");
  }
  return statements_.emplace(Sql, std::move(stmt)).first->second.get();
}

bool TUpdate::Run(const TSqlWrite& Write, TMemoryStream* Stream, const std::string& Table) {
  TConnection& d = Db();
  sqlite3_stmt* s = Statement(Table, Write.Sql);
  TStmtReset reset(s);
  int param = 0;
  for (const TOdbField* f : Write.Values) BindField(d, s, ++param, *f);
  if (Stream != nullptr) BindBlob(s, ++param, Stream->Memory(), Stream->GetSize());
  for (const TOdbField* k : Write.Keys) BindField(d, s, ++param, *k);
  const int rc = sqlite3_step(s);
  if (rc == SQLITE_CONSTRAINT_PRIMARYKEY || rc == SQLITE_CONSTRAINT_UNIQUE ||
      rc == SQLITE_CONSTRAINT_ROWID) {
    RaiseOdb<EOdbKeyViolation>(sqlite3_errmsg(d.Handle()));
  }
  if (rc != SQLITE_DONE) d.RaiseEngineError(rc, "writing " + Table);
  return sqlite3_changes(d.Handle()) > 0;
}

void TUpdate::AdvanceCounters(TORMapping& Mapping, const std::string& Table) {
  for (const TOdbField* f : FieldsOf(Mapping)) {
    if (f->GetFieldType() != oftAutoInc) continue;
    sqlite3_stmt* s = Statement(
        "corvid_sequence", "update corvid_sequence set value = ?2 where name = ?1 and value < ?2");
    TStmtReset reset(s);
    BindText(s, 1, LowerName(Table) + "." + LowerName(f->GetName()));
    sqlite3_bind_int64(s, 2, f->GetAsInteger());
    const int rc = sqlite3_step(s);
    if (rc != SQLITE_DONE) Db().RaiseEngineError(rc, "numbering " + Table);
  }
}

void TUpdate::Write(const TSqlWrite& Write, TMemoryStream& Stream, TORMapping& Mapping,
                    const std::string& Table, bool MustMatch) {
  CheckKeyValues(Mapping, Table);
  Db().BeginWrite();
  auto run = [&] {
    if (!Run(Write, &Stream, Table) && MustMatch) {
      RaiseOdb<EOdbObjectNotFound>(MissingRowDetail(Mapping, Table));
    }
  };
  if (!FieldListHasAutoInc(Mapping.GetFields())) {
    run();
    return;
  }
  // The row and the counters change together (also when the release,
  // which outside a transaction is the commit, fails).
  InSavepoint(Db(), "corvid_sql", [&] {
    run();
    AdvanceCounters(Mapping, Table);
  });
}

void TUpdate::InsertSQL(TMemoryStream& Stream, TORMapping& Mapping, const std::string& Table) {
  TSqlWrite w;
  w.Values = FieldsOf(Mapping);
  std::string cols, params;
  for (std::size_t n = 0; n < w.Values.size(); ++n) {
    cols += TConnection::QuoteName(w.Values[n]->GetName()) + ", ";
    params += Param(n + 1) + ", ";
  }
  w.Sql = "insert into " + TConnection::QuoteName(Table) + " (" + cols + "\"Object\") values (" +
          params + Param(w.Values.size() + 1) + ")";
  Write(w, Stream, Mapping, Table, false);
}

void TUpdate::UpdateSQL(TMemoryStream& Stream, TORMapping& Mapping, const std::string& Table) {
  TSqlWrite w;
  w.Values = FieldsOf(Mapping);
  std::string sets;
  for (std::size_t n = 0; n < w.Values.size(); ++n) {
    sets += TConnection::QuoteName(w.Values[n]->GetName()) + " = " + Param(n + 1) + ", ";
  }
  const std::size_t n = w.Values.size();
  const std::string cond = KeyCondition(Mapping, Table, n + 2, w.Keys);
  w.Sql = "update " + TConnection::QuoteName(Table) + " set " + sets +
          "\"Object\" = " + Param(n + 1) + " where " + cond;
  Write(w, Stream, Mapping, Table, true);
}

void TUpdate::DeleteSQL(TORMapping& Mapping, const std::string& Table) {
  TSqlWrite w;
  const std::string cond = KeyCondition(Mapping, Table, 1, w.Keys);
  w.Sql = "delete from " + TConnection::QuoteName(Table) + " where " + cond;
  Db().BeginWrite();
  if (!Run(w, nullptr, Table)) RaiseOdb<EOdbObjectNotFound>(MissingRowDetail(Mapping, Table));
}

}  // namespace

std::unique_ptr<TCursor> OpenUpdate(TConnection& Connection) {
  return std::make_unique<TUpdate>(Connection);
}

bool IsUpdate(const TCursor& Cursor) {
  return dynamic_cast<const TUpdate*>(&Cursor) != nullptr;
}

}  // namespace corvid::sqlite
