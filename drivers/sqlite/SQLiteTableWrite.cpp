// The table cursor of the SQLite driver: values, keys and writes.
#include <limits>

#include "corvid/containers/ObjList.h"
#include "corvid/drivers/sqlite/SQLiteTable.h"
#include "corvid/odb/OdbField.h"
#include "corvid/persist/Streams.h"

namespace corvid::sqlite {

void TTable::BindValue(sqlite3_stmt* Stmt, int Param, const TValue& V) const {
  if (const auto* i = std::get_if<std::int64_t>(&V)) {
    sqlite3_bind_int64(Stmt, Param, *i);
  } else if (const auto* d = std::get_if<double>(&V)) {
    sqlite3_bind_double(Stmt, Param, *d);
  } else if (const auto* s = std::get_if<std::string>(&V)) {
    BindText(Stmt, Param, *s);
  } else if (const auto* b = std::get_if<TBlob>(&V)) {
    sqlite3_bind_blob(Stmt, Param, b->Bytes.data(), static_cast<int>(b->Bytes.size()),
                      SQLITE_TRANSIENT);
  } else {
    sqlite3_bind_null(Stmt, Param);
  }
}

TValue TTable::FieldValue(const TOdbField& F) const {
  switch (F.GetFieldType()) {
    case oftString:
      return F.GetAsString();
    case oftFloat:
      return F.GetAsFloat();
    case oftInteger:
    case oftAutoInc:
      return static_cast<std::int64_t>(F.GetAsInteger());
  }
  RaiseOdb<EOdbFieldTypeNotSupported>();
}

void TTable::BindField(sqlite3_stmt* Stmt, int Param, const TOdbField& F) const {
  BindValue(Stmt, Param, FieldValue(F));
}

namespace {

TOdbField* AsFieldOrNull(TObject* O) {
  return O->ClassType() == TOdbField::StaticClass() ? static_cast<TOdbField*>(O)
                                                    : dynamic_cast<TOdbField*>(O);
}

}  // namespace

// The columns are the dataset's fields in their order, so the C-th field is
// column C's unless the list changed since the table was opened; the name
// decides either way.

TOdbField& TTable::FieldFor(TUnorderedList& Fields, int C) const {
  const std::string& name = schema_.Columns[static_cast<std::size_t>(C)].Name;
  int i = 0;
  for (TObject* o : Fields) {
    if (i++ < C) continue;
    TOdbField* f = AsFieldOrNull(o);
    if (f != nullptr && SameOdbFieldName(f->GetName(), name)) return *f;
    break;
  }
  return *GetFieldInList(name, Fields);
}

void TTable::MatchFields(TUnorderedList& Fields) {
  const std::size_t n = schema_.Columns.size();
  fieldOf_.assign(n, nullptr);
  std::size_t c = 0;
  for (TObject* o : Fields) {
    if (c == n) break;
    TOdbField* f = AsFieldOrNull(o);
    if (f != nullptr && SameOdbFieldName(f->GetName(), schema_.Columns[c].Name)) fieldOf_[c] = f;
    ++c;
  }
  for (c = 0; c < n; ++c) {
    if (fieldOf_[c] == nullptr) fieldOf_[c] = GetFieldInList(schema_.Columns[c].Name, Fields);
  }
}

void TTable::BindKeyFromFields(sqlite3_stmt* Stmt, const TOrder& O, TUnorderedList& Fields) const {
  for (std::size_t i = 0; i < O.Cols.size(); ++i) {
    BindField(Stmt, static_cast<int>(i) + 1, FieldFor(Fields, O.Cols[i]));
  }
}

void TTable::BindRow(sqlite3_stmt* Stmt, TUnorderedList& Fields, TMemoryStream& Stream) {
  // Texts and the image are bound without a copy: they stay where they are
  // (texts_, the stream) until the caller resets the statement.
  MatchFields(Fields);
  const std::size_t n = schema_.Columns.size();
  texts_.resize(n);
  for (std::size_t c = 0; c < n; ++c) {
    const TOdbField& f = *fieldOf_[c];
    if (keyColumn_[c]) TConnection::CheckKeyValue(f, schema_.Table);
    const int param = static_cast<int>(c) + 1;
    switch (f.GetFieldType()) {
      case oftString:
        texts_[c] = f.GetAsString();
        sqlite3_bind_text(Stmt, param, texts_[c].data(), static_cast<int>(texts_[c].size()),
                          SQLITE_STATIC);
        break;
      case oftFloat:
        sqlite3_bind_double(Stmt, param, f.GetAsFloat());
        break;
      case oftInteger:
      case oftAutoInc:
        sqlite3_bind_int64(Stmt, param, f.GetAsInteger());
        break;
      default:
        RaiseOdb<EOdbFieldTypeNotSupported>();
    }
  }
  // An empty image is stored as an empty blob, not as null.
  const std::int64_t size = Stream.GetSize();
  sqlite3_bind_blob(Stmt, static_cast<int>(n) + 1,
                    size > 0 ? static_cast<const void*>(Stream.Memory()) : "",
                    static_cast<int>(size), SQLITE_STATIC);
}

void TTable::KeepWritten(TMemoryStream& Stream) {
  imageInLive_ = false;
  imageGone_ = false;
  keysOf_ = -1;
  // Only the key values are read back (to move on from this record), from
  // the fields BindRow matched.
  for (std::size_t c = 0; c < schema_.Columns.size(); ++c) {
    if (keyColumn_[c]) values_[c] = FieldValue(*fieldOf_[c]);
  }
  image_.assign(reinterpret_cast<const char*>(Stream.Memory()),
                static_cast<std::size_t>(Stream.GetSize()));
}

std::int64_t TTable::KeyOwner(TOrder& O, TUnorderedList& Fields, std::int64_t Except) {
  // Walks the records with the key (in a unique index there is at most one
  // other than Except).
  std::string where;
  for (std::size_t i = 0; i < O.Term.size(); ++i) {
    if (i > 0) where += " and ";
    where += O.Term[i] + " = " + Param(i + 1);
  }
  TStmt s = Db().Prepare("select rowid from " + quoted_ + " where " + where + " and rowid <> " +
                         Param(O.Term.size() + 1) + " limit 1");
  BindKeyFromFields(s.get(), O, Fields);
  sqlite3_bind_int64(s.get(), static_cast<int>(O.Term.size()) + 1, Except);
  if (sqlite3_step(s.get()) == SQLITE_ROW) return sqlite3_column_int64(s.get(), 0);
  return 0;
}

void TTable::RaiseWriteError(int Rc, TUnorderedList& Fields, std::int64_t Self) {
  if ((Rc & 0xff) == SQLITE_CONSTRAINT) {
    for (std::size_t o = 1; o < orders_.size(); ++o) {
      TOrder& order = orders_[o];
      if (!order.Unique || order.Cols.empty()) continue;
      if (KeyOwner(order, Fields, Self) != 0) RaiseOdb<EOdbKeyViolation>(order.Name);
    }
  }
  Db().RaiseEngineError(Rc, "writing " + schema_.Table);
}

bool TTable::RunWrite(sqlite3_stmt* Stmt, TUnorderedList* Fields, std::int64_t Self) {
  const int rc = sqlite3_step(Stmt);
  if (rc != SQLITE_DONE) {
    if (Fields != nullptr) RaiseWriteError(rc, *Fields, Self);
    Db().RaiseEngineError(rc, "deleting from " + schema_.Table);
  }
  return sqlite3_changes(Db().Handle()) > 0;
}

void TTable::NextAutoInc(TUnorderedList& Fields) {
  for (std::size_t c = 0; c < schema_.Columns.size(); ++c) {
    if (schema_.Columns[c].Type != oftAutoInc) continue;
    // The first value of a table's counter lies above what the table holds
    // already (rows stored with explicit values); after that it only grows.
    const std::string col = TConnection::QuoteName(schema_.Columns[c].Name);
    TStmt s =
        Db().Prepare("insert into corvid_sequence (name, value) values (?1, (select coalesce(max(" +
                     col + "), 0) + 1 from " + quoted_ +
                     ")) on conflict (name) do update set value = value + 1 returning value");
    BindText(s.get(), 1, LowerName(schema_.Table) + "." + LowerName(schema_.Columns[c].Name));
    const int rc = sqlite3_step(s.get());
    if (rc != SQLITE_ROW) Db().RaiseEngineError(rc, "numbering " + schema_.Table);
    const std::int64_t v = sqlite3_column_int64(s.get(), 0);
    sqlite3_step(s.get());
    if (v > std::numeric_limits<std::int32_t>::max()) {
      RaiseOdb<EOdbError>("auto-increment values of " + schema_.Table + " are exhausted");
    }
    FieldFor(Fields, static_cast<int>(c)).SetAsInteger(static_cast<std::int32_t>(v));
  }
}

void TTable::Insert(TUnorderedList& Fields, TMemoryStream& Stream) {
  TConnection& d = Db();
  d.BeginWrite();
  // With auto-increment columns the counter and the record change together;
  // and when the image is still to come (an empty stream, completed by the
  // next Update), the record is not committed before its image is there, so
  // that no record without an image survives a crash.
  std::unique_ptr<TSavepoint> savepoint;
  if (schema_.HasAutoInc()) {
    savepoint = std::make_unique<TSavepoint>(d, "corvid_insert");
    NextAutoInc(Fields);
  }
  {
    sqlite3_stmt* s = insert_.get();
    TStmtReset reset(s);
    BindRow(s, Fields, Stream);
    RunWrite(s, &Fields, 0);
  }
  const bool pending = savepoint != nullptr && Stream.GetSize() == 0;
  if (savepoint != nullptr && !pending) savepoint->Release();
  StopCursor();
  rowId_ = sqlite3_last_insert_rowid(d.Handle());
  KeepWritten(Stream);
  positioned_ = true;
  if (pending) d.SetPendingInsert(this, std::move(savepoint));
}

void TTable::Update(TUnorderedList& Fields, TMemoryStream& Stream) {
  TConnection& d = Db();
  // The savepoint of this handle's pending insert: the insert is kept with
  // its image, or undone whole (record, image and counter).
  std::unique_ptr<TSavepoint> completing = d.TakePendingInsert(this);
  d.BeginWrite();
  try {
    if (!positioned_) RaiseOdb<EOdbObjectNotFound>("no current object in " + schema_.Table);
    sqlite3_stmt* s = update_.get();
    TStmtReset reset(s);
    BindRow(s, Fields, Stream);
    sqlite3_bind_int64(s, static_cast<int>(schema_.Columns.size()) + 2, rowId_);
    if (!RunWrite(s, &Fields, rowId_)) {
      RaiseOdb<EOdbObjectNotFound>("the current object of " + schema_.Table + " no longer exists");
    }
    // Outside a transaction this commits the insert with its image.
    if (completing != nullptr) completing->Release();
  } catch (...) {
    if (completing != nullptr) {
      completing.reset();
      StopCursor();
      positioned_ = false;
    }
    throw;
  }
  KeepWritten(Stream);
  if (aliasColumn_ >= 0) rowId_ = std::get<std::int64_t>(values_[aliasColumn_]);
}

void TTable::Delete() {
  TConnection& d = Db();
  if (std::unique_ptr<TSavepoint> pending = d.TakePendingInsert(this)) {
    // The record this handle inserted and has not completed: taking it back
    // undoes the insert's savepoint, so that the record without its image
    // is never committed (not even for the moment before its deletion).
    d.BeginWrite();
    if (!pending->Undo()) {
      RaiseOdb<EOdbError>("the insert into " + schema_.Table + " could not be undone");
    }
  } else {
    d.BeginWrite();
    if (!positioned_) RaiseOdb<EOdbObjectNotFound>("no current object in " + schema_.Table);
    sqlite3_stmt* s = delete_.get();
    TStmtReset reset(s);
    sqlite3_bind_int64(s, 1, rowId_);
    if (!RunWrite(s, nullptr, 0)) {
      RaiseOdb<EOdbObjectNotFound>("the current object of " + schema_.Table + " no longer exists");
    }
  }
  // The record after the deleted one becomes current, or the new last one.
  if (!Step(+1)) Start(current_, -1);
}

}  // namespace corvid::sqlite
