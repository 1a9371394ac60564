// The table cursor of the SQLite driver: its statements and navigation.
//
// Records are ordered by the key terms of the current index (descending
// for a descending index) and then by row id ascending, which is the order
// in which SQLite keeps the index itself. "After the current record" is the
// lexicographic comparison of (key, row id), spelt out term by term, with a
// leading range on the first term so that SQLite seeks into the index
// instead of scanning it.
#include "corvid/drivers/sqlite/SQLiteTable.h"

#include <algorithm>

#include "corvid/odb/OdbDataset.h"
#include "corvid/odb/OdbIndex.h"
#include "corvid/persist/Streams.h"

namespace corvid::sqlite {

TTable::TTable(TConnection& Connection, TObjectDataset& Dataset, bool Exclusive)
    : TCursor(Connection),
      schema_(TDatasetSchema::FromMapping(Dataset.GetDatasetName(), Dataset.GetFields(),
                                          Dataset.GetIndices())),
      quoted_(TConnection::QuoteName(Dataset.GetDatasetName())),
      exclusive_(Exclusive) {
  if (!Connection.TableExists(schema_.Table)) RaiseOdb<EOdbObjectFileDoesNotExist>(schema_.Table);
  values_.resize(schema_.Columns.size());
  FindRowIdAlias();
  BuildOrders();
  PrepareStatements();
}

TTable::~TTable() {
  StopCursor();
}

void TTable::FindRowIdAlias() {
  TStmt s = Db().Prepare("pragma table_info(" + quoted_ + ")");
  int pkCount = 0;
  std::string pkName, pkType;
  while (sqlite3_step(s.get()) == SQLITE_ROW) {
    if (sqlite3_column_int(s.get(), 5) > 0) {
      ++pkCount;
      pkName = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 1));
      pkType = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 2));
    }
  }
  if (pkCount == 1 && SameName(pkType, "integer")) aliasColumn_ = schema_.FindColumn(pkName);
}

void TTable::BuildOrders() {
  orders_.emplace_back();
  for (const TSchemaIndex& index : schema_.Indices) {
    TOrder order;
    order.Name = index.Name;
    order.Descending = index.Descending;
    order.Unique = index.Unique;
    order.Cols = index.Columns;
    for (int col : index.Columns) {
      const TSchemaColumn& c = schema_.Columns[static_cast<std::size_t>(col)];
      std::string term = TConnection::QuoteName(c.Name);
      if (index.CaseInsensitive && c.Type == oftString) term += " collate nocase";
      order.Term.push_back(term);
    }
    orders_.push_back(std::move(order));
  }
  keyColumn_.assign(schema_.Columns.size(), false);
  for (std::size_t c = 0; c < schema_.Columns.size(); ++c) {
    keyColumn_[c] = schema_.IsKeyColumn(static_cast<int>(c));
    if (keyColumn_[c] && static_cast<int>(c) != aliasColumn_) {
      all_.Cols.push_back(static_cast<int>(c));
    }
  }
  all_.AllKeys = true;
  // A walk reads the keys of its own order only: moving on needs no more.
  for (TOrder& o : orders_) {
    for (int c : o.Cols) {
      if (c != aliasColumn_ &&
          std::find(o.Walk.Cols.begin(), o.Walk.Cols.end(), c) == o.Walk.Cols.end()) {
        o.Walk.Cols.push_back(c);
      }
    }
    o.Walk.AllKeys = o.Walk.Cols.size() == all_.Cols.size();
  }
}

void TTable::PrepareStatements() {
  std::string cols, params, sets;
  const std::size_t n = schema_.Columns.size();
  for (std::size_t c = 0; c < n; ++c) {
    const std::string q = TConnection::QuoteName(schema_.Columns[c].Name);
    cols += q + ", ";
    params += Param(c + 1) + ", ";
    sets += q + " = " + Param(c + 1) + ", ";
  }
  TConnection& d = Db();
  insert_ = d.Prepare("insert into " + quoted_ + " (" + cols + "\"Object\") values (" + params +
                      Param(n + 1) + ")");
  update_ = d.Prepare("update " + quoted_ + " set " + sets + "\"Object\" = " + Param(n + 1) +
                      " where rowid = " + Param(n + 2));
  delete_ = d.Prepare("delete from " + quoted_ + " where rowid = ?1");
  count_ = d.Prepare("select count(*) from " + quoted_);
  any_ = d.Prepare("select 1 from " + quoted_ + " limit 1");
  byRowId_ = d.Prepare("select " + SelectList(all_) + " from " + quoted_ + " where rowid = ?1");
  for (TOrder& order : orders_) Prepare(order);
}

void TTable::Disconnect() {
  StopCursor();
  for (TOrder& o : orders_) {
    for (TStmt* s : {&o.First, &o.Last, &o.Next, &o.Prior, &o.Exact, &o.Nearest, &o.NextNull,
                     &o.PriorNull, &o.NullBelow}) {
      s->reset();
    }
  }
  for (TStmt* s : {&insert_, &update_, &delete_, &count_, &any_, &byRowId_}) s->reset();
}

std::string TTable::SelectList(const TSelect& S) const {
  std::string s = "rowid";
  for (int c : S.Cols) {
    s += ", " + TConnection::QuoteName(schema_.Columns[static_cast<std::size_t>(c)].Name);
  }
  return s + ", \"Object\"";
}

std::string TTable::OrderBy(const TOrder& O, int Dir) {
  const bool keyAsc = (Dir > 0) != O.Descending;
  std::string s = " order by ";
  for (const std::string& t : O.Term) s += t + (keyAsc ? " asc, " : " desc, ");
  return s + (Dir > 0 ? "rowid asc" : "rowid desc");
}

std::string TTable::Beyond(const TOrder& O, int Dir, bool NullSafe) {
  const std::size_t n = O.Term.size();
  // In the forward direction a key term moves "greater" on an ascending
  // order, "smaller" on a descending one; the row id always ascends.
  const bool keyGreater = (Dir > 0) != O.Descending;
  auto moves = [&](const std::string& T, const std::string& P) {
    if (!NullSafe) return T + (keyGreater ? " > " : " < ") + P;
    // A null is below every value; "> null" and "< null" hold for nothing.
    return keyGreater ? "(" + T + " > " + P + " or (" + T + " is not null and " + P + " is null))"
                      : "(" + T + " < " + P + " or (" + T + " is null and " + P + " is not null))";
  };
  std::string w;
  if (n > 0 && !NullSafe) w = O.Term[0] + (keyGreater ? " >= " : " <= ") + "?1 and ";
  w += "(";
  std::string eq;
  for (std::size_t i = 0; i < n; ++i) {
    w += "(" + eq + moves(O.Term[i], Param(i + 1)) + ") or ";
    eq += O.Term[i] + (NullSafe ? " is " : " = ") + Param(i + 1) + " and ";
  }
  return w + "(" + eq + "rowid" + (Dir > 0 ? " > " : " < ") + Param(n + 1) + "))";
}

std::string TTable::NotBelow(const TOrder& O) {
  // The lexicographic (key) >= (given) for ascending, <= descending.
  const std::size_t n = O.Term.size();
  const char* kop = O.Descending ? " < " : " > ";
  std::string eq;
  std::string w = "(";
  for (std::size_t i = 0; i < n; ++i) {
    w += "(" + eq + O.Term[i] + kop + Param(i + 1) + ") or ";
    eq += O.Term[i] + " = " + Param(i + 1) + " and ";
  }
  w += "(" + eq.substr(0, eq.size() - 5) + "))";
  return O.Term[0] + (O.Descending ? " <= " : " >= ") + "?1 and " + w;
}

void TTable::Prepare(TOrder& O) {
  const std::size_t n = O.Term.size();
  const std::string fwd = OrderBy(O, +1), bwd = OrderBy(O, -1);
  TConnection& d = Db();
  const std::string head = "select " + SelectList(O.Walk) + " from " + quoted_;
  O.First = d.Prepare(head + fwd);
  O.Last = d.Prepare(head + bwd);
  O.Next = d.Prepare(head + " where " + Beyond(O, +1, false) + fwd);
  O.Prior = d.Prepare(head + " where " + Beyond(O, -1, false) + bwd);
  if (n == 0) return;
  std::string exact;
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) exact += " and ";
    exact += O.Term[i] + " = " + Param(i + 1);
  }
  // A record found carries the keys of its own order, as from a walk: a
  // step along another order reads the others first (see Step). A unique
  // key names at most one record: nothing to order or cut.
  O.Exact = d.Prepare(head + " where " + exact + (O.Unique ? "" : fwd + " limit 1"));
  // Nearest: the first record whose key is not below the given one.
  O.Nearest = d.Prepare(head + " where " + NotBelow(O) + fwd + " limit 1");
}

void TTable::StopCursor() {
  if (live_ != nullptr) {
    if (imageInLive_) TakeImage(live_, orders_[liveOrder_].Walk.Image());
    sqlite3_reset(live_);
    sqlite3_clear_bindings(live_);
    live_ = nullptr;
  }
  liveDir_ = 0;
}

void TTable::ReadRow(sqlite3_stmt* Stmt, const TSelect& S, int Order) {
  rowId_ = sqlite3_value_int64(sqlite3_column_value(Stmt, 0));
  for (std::size_t i = 0; i < S.Cols.size(); ++i) {
    ReadValue(Stmt, static_cast<int>(i) + 1, values_[static_cast<std::size_t>(S.Cols[i])]);
  }
  if (aliasColumn_ >= 0) values_[static_cast<std::size_t>(aliasColumn_)] = rowId_;
  keysOf_ = S.AllKeys ? -1 : Order;
  positioned_ = true;
  imageGone_ = false;
  // The image is needed only when the object is read: the live walk keeps
  // it in its statement until it moves on, so a walk copies it once.
  imageInLive_ = Stmt == live_;
  if (!imageInLive_) TakeImage(Stmt, S.Image());
}

void TTable::ReadValue(sqlite3_stmt* Stmt, int Col, TValue& V) {
  // Through the column's value: each sqlite3_column_ call looks the column
  // up again and checks the connection's error state.
  sqlite3_value* value = sqlite3_column_value(Stmt, Col);
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
      V = static_cast<std::int64_t>(sqlite3_value_int64(value));
      break;
    case SQLITE_FLOAT:
      V = sqlite3_value_double(value);
      break;
    case SQLITE_TEXT: {
      // The bytes as stored (UTF-8 in these files): sqlite3_value_text
      // would first copy them to add a terminating zero.
      const auto* t = static_cast<const char*>(sqlite3_value_blob(value));
      const auto n = static_cast<std::size_t>(sqlite3_value_bytes(value));
      // Reuses the string's memory from record to record.
      if (auto* s = std::get_if<std::string>(&V)) {
        s->assign(t != nullptr ? t : "", n);
      } else {
        V = std::string(t != nullptr ? t : "", n);
      }
      break;
    }
    case SQLITE_BLOB: {
      const void* b = sqlite3_value_blob(value);
      const auto n = static_cast<std::size_t>(sqlite3_value_bytes(value));
      V = TBlob{std::string(b != nullptr ? static_cast<const char*>(b) : "", n)};
      break;
    }
    default:
      V = std::monostate();
      break;
  }
}

void TTable::TakeImage(sqlite3_stmt* Stmt, int Col) {
  imageInLive_ = false;
  sqlite3_value* value = sqlite3_column_value(Stmt, Col);
  const void* blob = sqlite3_value_blob(value);
  image_.assign(blob != nullptr ? static_cast<const char*>(blob) : "",
                static_cast<std::size_t>(sqlite3_value_bytes(value)));
}

bool TTable::ReadByRowId() {
  sqlite3_stmt* s = byRowId_.get();
  TStmtReset reset(s);
  sqlite3_bind_int64(s, 1, rowId_);
  const int rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) {
    ReadRow(s, all_, -1);
    return true;
  }
  if (rc != SQLITE_DONE) Db().RaiseEngineError(rc, "reading " + schema_.Table);
  return false;
}

void TTable::ImageAfterWalk() {
  // Stepping past the last row took the current record's image from the
  // statement: the record is read again by row id. The walk's own keys
  // stay those it read. Should another connection have deleted the record
  // since the walk began, GetCurrent says so.
  imageInLive_ = false;
  image_.clear();
  const std::vector<int>& own = orders_[liveOrder_].Walk.Cols;
  std::vector<TValue> kept;
  kept.reserve(own.size());
  for (int c : own) kept.push_back(values_[static_cast<std::size_t>(c)]);
  if (!ReadByRowId()) {
    imageGone_ = true;
    return;
  }
  for (std::size_t i = 0; i < own.size(); ++i) {
    values_[static_cast<std::size_t>(own[i])] = std::move(kept[i]);
  }
}

bool TTable::KeysFor(int O) const {
  return keysOf_ < 0 || keysOf_ == O || orders_[O].Walk.Cols.empty();
}

void TTable::RefreshKeys() {
  if (ReadByRowId()) return;
  StopCursor();
  positioned_ = false;
}

bool TTable::Start(int O, int Dir) {
  StopCursor();
  Db().EndReads();
  sqlite3_stmt* s = Dir > 0 ? orders_[O].First.get() : orders_[O].Last.get();
  if (BeginWalk(s, Dir, O)) return true;
  // An empty table: nothing is current any more.
  positioned_ = false;
  return false;
}

bool TTable::BeginWalk(sqlite3_stmt* Stmt, int Dir, int Order) {
  const int rc = sqlite3_step(Stmt);
  if (rc == SQLITE_ROW) {
    live_ = Stmt;
    liveOrder_ = Order;
    liveDir_ = Dir;
    liveGeneration_ = Db().WriteGeneration();
    ReadRow(Stmt, orders_[Order].Walk, Order);
    return true;
  }
  sqlite3_reset(Stmt);
  sqlite3_clear_bindings(Stmt);
  if (rc != SQLITE_DONE) Db().RaiseEngineError(rc, "reading " + schema_.Table);
  return false;
}

sqlite3_stmt* TTable::StepStatement(TOrder& O, int Dir) {
  // Only files written by others hold nulls in key columns; the statements
  // that seek the index pass them over, so the walk compares nulls itself
  // when it stands on one or when one lies ahead (nulls are the smallest
  // values: ahead only when the walk moves towards smaller keys).
  bool nullSafe = false;
  for (int c : O.Cols) nullSafe = nullSafe || std::holds_alternative<std::monostate>(values_[c]);
  if (!nullSafe && (Dir > 0) == O.Descending) nullSafe = NullBelow(O);
  if (!nullSafe) return Dir > 0 ? O.Next.get() : O.Prior.get();
  TStmt& n = Dir > 0 ? O.NextNull : O.PriorNull;
  if (!n) {
    n = Db().Prepare("select " + SelectList(O.Walk) + " from " + quoted_ + " where " +
                     Beyond(O, Dir, true) + OrderBy(O, Dir));
  }
  return n.get();
}

bool TTable::Step(int Dir) {
  if (!positioned_) return Start(current_, Dir);
  if (live_ != nullptr && liveDir_ == Dir && liveGeneration_ == Db().WriteGeneration()) {
    const bool imageLost = imageInLive_;
    const int rc = sqlite3_step(live_);
    if (rc == SQLITE_ROW) {
      ReadRow(live_, orders_[liveOrder_].Walk, liveOrder_);
      return true;
    }
    imageInLive_ = false;
    StopCursor();
    if (rc != SQLITE_DONE) Db().RaiseEngineError(rc, "reading " + schema_.Table);
    if (imageLost) ImageAfterWalk();
    return false;
  }
  // The keys of another order than the walk's are read now (from the data
  // the walk sees, while it is live).
  if (!KeysFor(current_)) {
    RefreshKeys();
    if (!positioned_) return Start(current_, Dir);
  }
  StopCursor();
  Db().EndReads();
  TOrder& o = orders_[current_];
  sqlite3_stmt* s = StepStatement(o, Dir);
  for (std::size_t i = 0; i < o.Cols.size(); ++i) {
    BindValue(s, static_cast<int>(i) + 1, values_[o.Cols[i]]);
  }
  const std::int64_t from = rowId_;
  sqlite3_bind_int64(s, static_cast<int>(o.Cols.size()) + 1, from);
  if (!BeginWalk(s, Dir, current_)) return false;
  // The key values are SQLite's own, so the walk always moves on; should it
  // not, raise rather than return the same record forever.
  if (rowId_ == from) {
    StopCursor();
    RaiseOdb<EOdbError>("the walk over " + schema_.Table +
                        " cannot move on from its current record");
  }
  return true;
}

bool TTable::NullBelow(TOrder& O) {
  const std::size_t n = O.Cols.size();
  if (n == 0) return false;
  if (!O.NullBelow) {
    std::string sql = "select ", eq;
    for (std::size_t i = 0; i < n; ++i) {
      if (i > 0) sql += " or ";
      sql += "exists (select 1 from " + quoted_ + " where " + eq + O.Term[i] + " is null)";
      eq += O.Term[i] + " = " + Param(i + 1) + " and ";
    }
    O.NullBelow = Db().Prepare(sql);
  }
  sqlite3_stmt* s = O.NullBelow.get();
  TStmtReset reset(s);
  for (std::size_t i = 0; i + 1 < n; ++i) BindValue(s, static_cast<int>(i) + 1, values_[O.Cols[i]]);
  const int rc = sqlite3_step(s);
  if (rc != SQLITE_ROW) Db().RaiseEngineError(rc, "reading " + schema_.Table);
  return sqlite3_column_int(s, 0) != 0;
}

void TTable::GetCurrent(TMemoryStream& Stream) {
  if (!positioned_) RaiseOdb<EOdbObjectNotFound>("no current object in " + schema_.Table);
  if (imageGone_) {
    RaiseOdb<EOdbObjectNotFound>("the current object of " + schema_.Table + " no longer exists");
  }
  if (imageInLive_) {
    // Straight from the engine's row: the walk copies each image once.
    sqlite3_value* value = sqlite3_column_value(live_, orders_[liveOrder_].Walk.Image());
    Stream.Assign(sqlite3_value_blob(value), sqlite3_value_bytes(value));
    return;
  }
  Stream.Assign(image_.data(), static_cast<std::int64_t>(image_.size()));
}

std::int32_t TTable::Count() {
  Db().EndReads();
  TStmtReset reset(count_.get());
  const int rc = sqlite3_step(count_.get());
  if (rc != SQLITE_ROW) Db().RaiseEngineError(rc, "counting " + schema_.Table);
  const std::int64_t n = sqlite3_column_int64(count_.get(), 0);
  return static_cast<std::int32_t>(std::min<std::int64_t>(n, INT32_MAX));
}

bool TTable::IsEmpty() {
  Db().EndReads();
  TStmtReset reset(any_.get());
  const int rc = sqlite3_step(any_.get());
  if (rc == SQLITE_ROW) return false;
  if (rc != SQLITE_DONE) Db().RaiseEngineError(rc, "reading " + schema_.Table);
  return true;
}

int TTable::OrderOf(const TOdbIndex& Index) const {
  const int i = schema_.FindIndex(Index.GetName());
  if (i < 0) RaiseOdb<EOdbIndexDoesNotExist>(Index.GetName());
  return i + 1;
}

void TTable::SetIndexName(const std::string& Name) {
  const int o = Name.empty() ? 0 : schema_.FindIndex(Name) + 1;
  if (o == 0 && !Name.empty()) RaiseOdb<EOdbIndexDoesNotExist>(Name);
  if (o != current_) {
    // Moving on along the new order needs its keys: read them while the
    // walk is live, from the data it sees.
    if (positioned_ && live_ != nullptr && !KeysFor(o)) RefreshKeys();
    StopCursor();
    current_ = o;
  }
}

bool TTable::Seek(sqlite3_stmt* Stmt, const char* What, const TSelect& S, int Order) {
  const int rc = sqlite3_step(Stmt);
  if (rc == SQLITE_ROW) {
    StopCursor();
    ReadRow(Stmt, S, Order);
    return true;
  }
  if (rc != SQLITE_DONE) Db().RaiseEngineError(rc, What + (" " + schema_.Table));
  return false;
}

bool TTable::FindExact(TUnorderedList& Fields, const TOdbIndex& Index) {
  const int n = OrderOf(Index);
  TOrder& o = orders_[n];
  if (!o.Exact) return Start(n, +1);
  Db().EndReads();
  sqlite3_stmt* s = o.Exact.get();
  TStmtReset reset(s);
  BindKeyFromFields(s, o, Fields);
  return Seek(s, "searching", o.Walk, n);
}

void TTable::FindNearest(TUnorderedList& Fields, const TOdbIndex& Index) {
  const int n = OrderOf(Index);
  TOrder& o = orders_[n];
  if (o.Nearest) {
    Db().EndReads();
    sqlite3_stmt* s = o.Nearest.get();
    TStmtReset reset(s);
    BindKeyFromFields(s, o, Fields);
    if (Seek(s, "searching", o.Walk, n)) return;
  }
  // Every key lies below the given one: the last record of that index.
  Start(n, -1);
  StopCursor();
}

TOdbBookmarkData TTable::GetBookmark() {
  return bookmarks_.Add({positioned_, rowId_});
}

void TTable::GotoBookmark(TOdbBookmarkData Bookmark) {
  const TTableBookmark& b = bookmarks_.Get(Bookmark, schema_.Table);
  if (!b.Positioned) {
    StopCursor();
    positioned_ = false;
    return;
  }
  Db().EndReads();
  sqlite3_stmt* s = byRowId_.get();
  TStmtReset reset(s);
  sqlite3_bind_int64(s, 1, b.RowId);
  if (Seek(s, "reading", all_, -1)) return;
  RaiseOdb<EOdbObjectNotFound>("the bookmarked object of " + schema_.Table + " no longer exists");
}

void TTable::FreeBookmark(TOdbBookmarkData Bookmark) {
  bookmarks_.Free(Bookmark, schema_.Table);
}

}  // namespace corvid::sqlite
