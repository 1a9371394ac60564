#include "drivers/SQLiteDriver.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <variant>

#include "containers/ObjList.h"
#include "odb/OdbDataset.h"
#include "odb/OdbFile.h"
#include "odb/OdbMapping.h"
#include "persist/Streams.h"
#include "util/OdbMisc.h"
#include "values/ObjBuckt.h"

namespace corvid {

namespace {

std::string Lower(std::string_view S) {
  std::string r(S);
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

bool SameText(std::string_view A, std::string_view B) {
  return Lower(A) == Lower(B);
}

std::string Trim(std::string_view S) {
  std::size_t b = 0, e = S.size();
  while (b < e && std::isspace(static_cast<unsigned char>(S[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(S[e - 1]))) --e;
  return std::string(S.substr(b, e - b));
}

// The bytes of a blob value.
struct TBlob {
  std::string Bytes;
};

// The value of one column of the current record as SQLite holds it, which
// is of the mapping's type in the files this driver writes; another type (a
// null, a blob, text in a number column) comes only from files written by
// others, and is kept as it is so that re-positioning from it finds the
// record where SQLite orders it.
using TValue = std::variant<std::monostate, std::int64_t, double, std::string, TBlob>;

// One column of a table: a mapping field.
struct TColumn {
  std::string Name;
  TOdbFieldType Type;
};

// A table's bookmark: the row id of the record (or no position).
struct TSQLiteBookmark {
  bool Positioned = false;
  std::int64_t RowId = 0;
};

}  // namespace

// --- statements and handle states -----------------------------------------

void TSQLiteStmtDeleter::operator()(sqlite3_stmt* Stmt) const {
  sqlite3_finalize(Stmt);
}

TSQLiteHandle::TSQLiteHandle(TSQLiteDriver& Driver) : driver_(&Driver) {
  driver_->AttachHandle(this);
}

TSQLiteHandle::~TSQLiteHandle() {
  driver_->DetachHandle(this);
}

namespace {

// Resets a statement on scope exit, so that no single-row statement keeps a
// read transaction open.
class TStmtReset {
 public:
  explicit TStmtReset(sqlite3_stmt* S) : s_(S) {}
  ~TStmtReset() {
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
  }
  TStmtReset(const TStmtReset&) = delete;
  TStmtReset& operator=(const TStmtReset&) = delete;

 private:
  sqlite3_stmt* s_;
};

// The state of a handle on a table (record access): the table's columns and
// indices, the current index, the current record (row id, column values and
// image), the statements of each index, the live cursor and the bookmarks.
class TSQLiteTable : public TSQLiteHandle {
  CORVID_CLASS(TSQLiteTable, ::corvid::TSQLiteHandle)
 public:
  // One navigation order: a mapping index, or the row order (Name empty).
  struct TOrder {
    std::string Name;
    bool Descending = false;
    bool Unique = false;
    std::vector<int> Cols;          // column numbers, key order
    std::vector<std::string> Term;  // "col" or "col" COLLATE NOCASE
    TSQLiteStmt First, Last, Next, Prior, Exact, Nearest;
    // Prepared when first needed: Next and Prior comparing nulls as SQLite
    // orders them, and whether nulls lie towards smaller keys (see Step).
    TSQLiteStmt NextNull, PriorNull, NullBelow;
  };

  TSQLiteTable(TSQLiteDriver& Driver, TObjectDataset& Dataset, bool Exclusive);
  ~TSQLiteTable() override;

  bool First() override { return Start(current_, +1); }
  bool Last() override { return Start(current_, -1); }
  bool Next() override { return Step(+1); }
  bool Prior() override { return Step(-1); }
  void GetCurrent(TMemoryStream& Stream) override;
  std::int32_t Count() override;
  bool IsEmpty() override;
  void Quiesce() override { StopCursor(); }
  void Disconnect() override;

  void Insert(TUnorderedList& Fields, TMemoryStream& Stream);
  void Update(TUnorderedList& Fields, TMemoryStream& Stream);
  void Delete();
  std::string GetIndexName() const { return orders_[current_].Name; }
  void SetIndexName(const std::string& Name);
  bool FindExact(TUnorderedList& Fields, const TOdbIndex& Index);
  void FindNearest(TUnorderedList& Fields, const TOdbIndex& Index);
  TOdbBookmarkData GetBookmark();
  void GotoBookmark(TOdbBookmarkData Bookmark);
  void FreeBookmark(TOdbBookmarkData Bookmark);

  const std::string& TableName() const { return table_; }
  bool Exclusive() const { return exclusive_; }

 private:
  int OrderOf(const TOdbIndex& Index) const;
  void Prepare(TOrder& O);
  // The order by clause of O for Dir (+1 forward, -1 backward).
  static std::string OrderBy(const TOrder& O, int Dir);
  // The condition "beyond the current record in direction Dir" of O over
  // parameters ?1..?n (the key) and ?n+1 (the row id). NullSafe: nulls in
  // the key are compared as SQLite orders them (before every other value),
  // at the price of the leading range that lets SQLite seek.
  static std::string Beyond(const TOrder& O, int Dir, bool NullSafe);
  // Whether a record of O whose key holds a null lies below the current
  // key (so that the comparisons of Beyond without NullSafe, for which a
  // null is never smaller, would pass it over): for each term, a record
  // with the current record's values in the terms before it and a null in
  // it. Each test is a seek into the index.
  bool NullBelow(TOrder& O);
  std::string SelectList() const;
  // Runs the first-record statement of order O in direction Dir.
  bool Start(int O, int Dir);
  bool Step(int Dir);
  // Steps a freshly bound walk statement; on a row, reads it and keeps the
  // statement as the live cursor. Resets the statement when there is none.
  bool BeginWalk(sqlite3_stmt* Stmt, int Dir);
  // Binds every column from the fields, then the image, as parameters
  // 1..N+1 of an insert or update statement.
  void BindRow(sqlite3_stmt* Stmt, TUnorderedList& Fields, TMemoryStream& Stream);
  void StopCursor();
  // Reads the row Stmt stands on into the current record.
  void ReadRow(sqlite3_stmt* Stmt);
  void BindValue(sqlite3_stmt* Stmt, int Param, const TValue& V) const;
  void BindField(sqlite3_stmt* Stmt, int Param, const TOdbField& F) const;
  TValue FieldValue(const TOdbField& F) const;
  // The field of Fields for column C.
  TOdbField& FieldFor(TUnorderedList& Fields, int C) const;
  // Binds the key of order O from Fields (parameters 1..n).
  void BindKeyFromFields(sqlite3_stmt* Stmt, const TOrder& O, TUnorderedList& Fields) const;
  // The row id of the first record with the key of order O in Fields,
  // other than Except; 0 when there is none.
  std::int64_t KeyOwner(TOrder& O, TUnorderedList& Fields, std::int64_t Except);
  // Raises EOdbKeyViolation naming the first-defined unique index whose key
  // (from Fields) another record holds; falls back to the engine's error.
  [[noreturn]] void RaiseWriteError(int Rc, TUnorderedList& Fields, std::int64_t Self);
  void NextAutoInc(TUnorderedList& Fields);

  std::string table_;
  std::string quoted_;
  std::vector<TColumn> columns_;
  std::vector<TOrder> orders_;  // orders_[0] is the row order
  int current_ = 0;
  int aliasColumn_ = -1;         // the column that is the row id, if any
  std::vector<bool> keyColumn_;  // per column: part of some order
  bool exclusive_ = false;

  bool positioned_ = false;
  std::int64_t rowId_ = 0;
  std::vector<TValue> values_;
  std::string image_;

  sqlite3_stmt* live_ = nullptr;  // the statement walking from the current record
  int liveDir_ = 0;
  std::uint64_t liveGeneration_ = 0;

  TSQLiteStmt insert_, update_, delete_, count_, any_, byRowId_;
  std::vector<std::unique_ptr<TSQLiteBookmark>> bookmarks_;
};

TSQLiteTable& TableOf(TSQLiteHandle& H) {
  auto* t = dynamic_cast<TSQLiteTable*>(&H);
  if (t == nullptr) RaiseOdb<EOdbInvalidObjectFileHandle>();
  return *t;
}

TSQLiteTable::TSQLiteTable(TSQLiteDriver& Driver, TObjectDataset& Dataset, bool Exclusive)
    : TSQLiteHandle(Driver), table_(Dataset.GetDatasetName()), exclusive_(Exclusive) {
  quoted_ = TSQLiteDriver::QuoteName(table_);
  sqlite3* db = Driver.Connection();
  {
    TSQLiteStmt s = Driver.Prepare(
        "select name from sqlite_master where type = 'table' and name = ?1 collate nocase");
    sqlite3_bind_text(s.get(), 1, table_.data(), static_cast<int>(table_.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(s.get()) != SQLITE_ROW) RaiseOdb<EOdbObjectFileDoesNotExist>(table_);
  }
  for (TObject* o : Dataset.GetFields()) {
    auto* f = static_cast<TOdbField*>(o);
    columns_.push_back({f->GetName(), f->GetFieldType()});
  }
  values_.resize(columns_.size());
  // The row id may be one of the columns (a single integer primary key).
  {
    TSQLiteStmt s = Driver.Prepare("pragma table_info(" + quoted_ + ")");
    int pkCount = 0;
    std::string pkName, pkType;
    while (sqlite3_step(s.get()) == SQLITE_ROW) {
      if (sqlite3_column_int(s.get(), 5) > 0) {
        ++pkCount;
        pkName = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 1));
        pkType = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 2));
      }
    }
    if (pkCount == 1 && SameText(pkType, "integer")) {
      for (std::size_t c = 0; c < columns_.size(); ++c) {
        if (SameText(columns_[c].Name, pkName)) aliasColumn_ = static_cast<int>(c);
      }
    }
  }
  orders_.emplace_back();
  for (TObject* o : Dataset.GetIndices()) {
    auto* index = static_cast<TOdbIndex*>(o);
    TOrder order;
    order.Name = index->GetName();
    const TOdbIndexAttributes a = index->GetAttributes();
    order.Descending = a.Contains(iaDescending);
    order.Unique = a.Contains(iaUnique) || a.Contains(iaPrimary);
    for (TObject* n : index->FieldNames()) {
      const std::string& name = static_cast<TStringCombo*>(n)->Str;
      int col = -1;
      for (std::size_t c = 0; c < columns_.size(); ++c) {
        if (SameText(columns_[c].Name, name)) {
          col = static_cast<int>(c);
          break;
        }
      }
      if (col < 0) RaiseOdb<EOdbFieldDoesNotExist>(name);
      order.Cols.push_back(col);
      std::string term = TSQLiteDriver::QuoteName(columns_[col].Name);
      if (a.Contains(iaCaseInsensitive) && columns_[col].Type == oftString) {
        term += " collate nocase";
      }
      order.Term.push_back(term);
    }
    orders_.push_back(std::move(order));
  }
  keyColumn_.assign(columns_.size(), false);
  for (const TOrder& o : orders_) {
    for (int c : o.Cols) keyColumn_[c] = true;
  }

  std::string cols, params, sets;
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    const std::string q = TSQLiteDriver::QuoteName(columns_[c].Name);
    const std::string p = "?" + std::to_string(c + 1);
    cols += q + ", ";
    params += p + ", ";
    sets += q + " = " + p + ", ";
  }
  const std::string img = "?" + std::to_string(columns_.size() + 1);
  const std::string rid = "?" + std::to_string(columns_.size() + 2);
  insert_ = Driver.Prepare("insert into " + quoted_ + " (" + cols + "\"Object\") values (" +
                           params + img + ")");
  update_ = Driver.Prepare("update " + quoted_ + " set " + sets + "\"Object\" = " + img +
                           " where rowid = " + rid);
  delete_ = Driver.Prepare("delete from " + quoted_ + " where rowid = ?1");
  count_ = Driver.Prepare("select count(*) from " + quoted_);
  any_ = Driver.Prepare("select 1 from " + quoted_ + " limit 1");
  byRowId_ = Driver.Prepare("select " + SelectList() + " from " + quoted_ + " where rowid = ?1");
  for (TOrder& order : orders_) Prepare(order);
  (void)db;
}

TSQLiteTable::~TSQLiteTable() {
  StopCursor();
}

void TSQLiteTable::Disconnect() {
  StopCursor();
  for (TOrder& o : orders_) {
    o.First.reset();
    o.Last.reset();
    o.Next.reset();
    o.Prior.reset();
    o.Exact.reset();
    o.Nearest.reset();
    o.NextNull.reset();
    o.PriorNull.reset();
    o.NullBelow.reset();
  }
  insert_.reset();
  update_.reset();
  delete_.reset();
  count_.reset();
  any_.reset();
  byRowId_.reset();
}

std::string TSQLiteTable::SelectList() const {
  std::string s = "rowid";
  for (const TColumn& c : columns_) s += ", " + TSQLiteDriver::QuoteName(c.Name);
  return s + ", \"Object\"";
}

std::string TSQLiteTable::OrderBy(const TOrder& O, int Dir) {
  const bool keyAsc = (Dir > 0) != O.Descending;
  std::string s = " order by ";
  for (const std::string& t : O.Term) s += t + (keyAsc ? " asc, " : " desc, ");
  return s + (Dir > 0 ? "rowid asc" : "rowid desc");
}

std::string TSQLiteTable::Beyond(const TOrder& O, int Dir, bool NullSafe) {
  const std::size_t n = O.Term.size();
  // In the forward direction a key term moves "greater" on an ascending
  // order, "smaller" on a descending one; the row id always ascends.
  const bool keyGreater = (Dir > 0) != O.Descending;
  auto param = [](std::size_t i) { return "?" + std::to_string(i + 1); };
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
    w += "(" + eq + moves(O.Term[i], param(i)) + ") or ";
    eq += O.Term[i] + (NullSafe ? " is " : " = ") + param(i) + " and ";
  }
  return w + "(" + eq + "rowid" + (Dir > 0 ? " > " : " < ") + param(n) + "))";
}

// Builds the statements of one order. Records are ordered by the key terms
// (descending for a descending index) and then by row id ascending, which is
// the order in which SQLite keeps the index itself. "After the current
// record" is the lexicographic comparison of (key, row id), spelt out term
// by term, with a leading range on the first term so that SQLite seeks into
// the index instead of scanning it.
void TSQLiteTable::Prepare(TOrder& O) {
  const std::size_t n = O.Term.size();
  const std::string fwd = OrderBy(O, +1), bwd = OrderBy(O, -1);
  std::string exact, nearest;
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) exact += " and ";
    exact += O.Term[i] + " = ?" + std::to_string(i + 1);
  }
  // Nearest: the first record whose key is not below the given one in index
  // order: the lexicographic (key) >= (given) for ascending, <= descending.
  {
    const char* kop = O.Descending ? " < " : " > ";
    std::string eq;
    nearest = n > 0 ? "(" : "";
    for (std::size_t i = 0; i < n; ++i) {
      nearest += "(" + eq + O.Term[i] + kop + "?" + std::to_string(i + 1) + ") or ";
      eq += O.Term[i] + " = ?" + std::to_string(i + 1) + " and ";
    }
    if (n > 0) {
      nearest += "(" + eq.substr(0, eq.size() - 5) + "))";
      nearest = O.Term[0] + (O.Descending ? " <= " : " >= ") + "?1 and " + nearest;
    }
  }
  TSQLiteDriver& d = Driver();
  const std::string head = "select " + SelectList() + " from " + quoted_;
  O.First = d.Prepare(head + fwd);
  O.Last = d.Prepare(head + bwd);
  O.Next = d.Prepare(head + " where " + Beyond(O, +1, false) + fwd);
  O.Prior = d.Prepare(head + " where " + Beyond(O, -1, false) + bwd);
  if (n > 0) {
    O.Exact = d.Prepare(head + " where " + exact + fwd + " limit 1");
    O.Nearest = d.Prepare(head + " where " + nearest + fwd + " limit 1");
  }
}

void TSQLiteTable::StopCursor() {
  if (live_ != nullptr) {
    sqlite3_reset(live_);
    sqlite3_clear_bindings(live_);
    live_ = nullptr;
  }
  liveDir_ = 0;
}

void TSQLiteTable::ReadRow(sqlite3_stmt* Stmt) {
  rowId_ = sqlite3_column_int64(Stmt, 0);
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    const int col = static_cast<int>(c) + 1;
    switch (sqlite3_column_type(Stmt, col)) {
      case SQLITE_INTEGER:
        values_[c] = static_cast<std::int64_t>(sqlite3_column_int64(Stmt, col));
        break;
      case SQLITE_FLOAT:
        values_[c] = sqlite3_column_double(Stmt, col);
        break;
      case SQLITE_TEXT: {
        const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(Stmt, col));
        const auto n = static_cast<std::size_t>(sqlite3_column_bytes(Stmt, col));
        // Reuses the string's memory from record to record.
        if (auto* s = std::get_if<std::string>(&values_[c])) {
          s->assign(t != nullptr ? t : "", n);
        } else {
          values_[c] = std::string(t != nullptr ? t : "", n);
        }
        break;
      }
      case SQLITE_BLOB: {
        const void* b = sqlite3_column_blob(Stmt, col);
        const auto n = static_cast<std::size_t>(sqlite3_column_bytes(Stmt, col));
        values_[c] = TBlob{std::string(b != nullptr ? static_cast<const char*>(b) : "", n)};
        break;
      }
      default:
        values_[c] = std::monostate();
        break;
    }
  }
  const int img = static_cast<int>(columns_.size()) + 1;
  const void* blob = sqlite3_column_blob(Stmt, img);
  image_.assign(blob != nullptr ? static_cast<const char*>(blob) : "",
                static_cast<std::size_t>(sqlite3_column_bytes(Stmt, img)));
  positioned_ = true;
}

void TSQLiteTable::BindValue(sqlite3_stmt* Stmt, int Param, const TValue& V) const {
  if (const auto* i = std::get_if<std::int64_t>(&V)) {
    sqlite3_bind_int64(Stmt, Param, *i);
  } else if (const auto* d = std::get_if<double>(&V)) {
    sqlite3_bind_double(Stmt, Param, *d);
  } else if (const auto* s = std::get_if<std::string>(&V)) {
    sqlite3_bind_text(Stmt, Param, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
  } else if (const auto* b = std::get_if<TBlob>(&V)) {
    sqlite3_bind_blob(Stmt, Param, b->Bytes.data(), static_cast<int>(b->Bytes.size()),
                      SQLITE_TRANSIENT);
  } else {
    sqlite3_bind_null(Stmt, Param);
  }
}

TValue TSQLiteTable::FieldValue(const TOdbField& F) const {
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

void TSQLiteTable::BindField(sqlite3_stmt* Stmt, int Param, const TOdbField& F) const {
  BindValue(Stmt, Param, FieldValue(F));
}

TOdbField& TSQLiteTable::FieldFor(TUnorderedList& Fields, int C) const {
  return *GetFieldInList(columns_[C].Name, Fields);
}

void TSQLiteTable::BindKeyFromFields(sqlite3_stmt* Stmt, const TOrder& O,
                                     TUnorderedList& Fields) const {
  for (std::size_t i = 0; i < O.Cols.size(); ++i) {
    BindField(Stmt, static_cast<int>(i) + 1, FieldFor(Fields, O.Cols[i]));
  }
}

bool TSQLiteTable::Start(int O, int Dir) {
  StopCursor();
  Driver().EndReads();
  sqlite3_stmt* s = Dir > 0 ? orders_[O].First.get() : orders_[O].Last.get();
  if (BeginWalk(s, Dir)) return true;
  // An empty table: nothing is current any more.
  positioned_ = false;
  return false;
}

void TSQLiteTable::BindRow(sqlite3_stmt* Stmt, TUnorderedList& Fields, TMemoryStream& Stream) {
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    const TOdbField& f = FieldFor(Fields, static_cast<int>(c));
    if (keyColumn_[c]) TSQLiteDriver::CheckKeyValue(f, table_);
    BindField(Stmt, static_cast<int>(c) + 1, f);
  }
  const auto size = static_cast<int>(Stream.GetSize());
  sqlite3_bind_blob(Stmt, static_cast<int>(columns_.size()) + 1,
                    size > 0 ? Stream.Memory() : static_cast<const void*>(""), size,
                    SQLITE_TRANSIENT);
}

bool TSQLiteTable::BeginWalk(sqlite3_stmt* Stmt, int Dir) {
  const int rc = sqlite3_step(Stmt);
  if (rc == SQLITE_ROW) {
    ReadRow(Stmt);
    live_ = Stmt;
    liveDir_ = Dir;
    liveGeneration_ = Driver().WriteGeneration();
    return true;
  }
  sqlite3_reset(Stmt);
  sqlite3_clear_bindings(Stmt);
  if (rc != SQLITE_DONE) Driver().RaiseEngineError(rc, "reading " + table_);
  return false;
}

bool TSQLiteTable::Step(int Dir) {
  if (!positioned_) return Start(current_, Dir);
  if (live_ != nullptr && liveDir_ == Dir && liveGeneration_ == Driver().WriteGeneration()) {
    const int rc = sqlite3_step(live_);
    if (rc == SQLITE_ROW) {
      ReadRow(live_);
      return true;
    }
    StopCursor();
    if (rc != SQLITE_DONE) Driver().RaiseEngineError(rc, "reading " + table_);
    return false;
  }
  StopCursor();
  Driver().EndReads();
  TOrder& o = orders_[current_];
  // Only files written by others hold nulls in key columns; the statements
  // that seek the index pass them over, so the walk compares nulls itself
  // when it stands on one or when one lies ahead (nulls are the smallest
  // values: ahead only when the walk moves towards smaller keys).
  bool nullSafe = false;
  for (int c : o.Cols) nullSafe = nullSafe || std::holds_alternative<std::monostate>(values_[c]);
  if (!nullSafe && (Dir > 0) == o.Descending) nullSafe = NullBelow(o);
  sqlite3_stmt* s = nullptr;
  if (!nullSafe) {
    s = Dir > 0 ? o.Next.get() : o.Prior.get();
  } else {
    TSQLiteStmt& n = Dir > 0 ? o.NextNull : o.PriorNull;
    if (!n) {
      n = Driver().Prepare("select " + SelectList() + " from " + quoted_ + " where " +
                           Beyond(o, Dir, true) + OrderBy(o, Dir));
    }
    s = n.get();
  }
  for (std::size_t i = 0; i < o.Cols.size(); ++i) {
    BindValue(s, static_cast<int>(i) + 1, values_[o.Cols[i]]);
  }
  const std::int64_t from = rowId_;
  sqlite3_bind_int64(s, static_cast<int>(o.Cols.size()) + 1, from);
  if (!BeginWalk(s, Dir)) return false;
  // The key values are SQLite's own, so the walk always moves on; should it
  // not, raise rather than return the same record forever.
  if (rowId_ == from) {
    StopCursor();
    RaiseOdb<EOdbError>("the walk over " + table_ + " cannot move on from its current record");
  }
  return true;
}

bool TSQLiteTable::NullBelow(TOrder& O) {
  const std::size_t n = O.Cols.size();
  if (n == 0) return false;
  if (!O.NullBelow) {
    std::string sql = "select ", eq;
    for (std::size_t i = 0; i < n; ++i) {
      if (i > 0) sql += " or ";
      sql += "exists (select 1 from " + quoted_ + " where " + eq + O.Term[i] + " is null)";
      eq += O.Term[i] + " = ?" + std::to_string(i + 1) + " and ";
    }
    O.NullBelow = Driver().Prepare(sql);
  }
  sqlite3_stmt* s = O.NullBelow.get();
  TStmtReset reset(s);
  for (std::size_t i = 0; i + 1 < n; ++i) BindValue(s, static_cast<int>(i) + 1, values_[O.Cols[i]]);
  const int rc = sqlite3_step(s);
  if (rc != SQLITE_ROW) Driver().RaiseEngineError(rc, "reading " + table_);
  return sqlite3_column_int(s, 0) != 0;
}

void TSQLiteTable::GetCurrent(TMemoryStream& Stream) {
  if (!positioned_) RaiseOdb<EOdbObjectNotFound>("no current object in " + table_);
  Stream.SetSize(0);
  Stream.SetPosition(0);
  Stream.WriteBuffer(image_.data(), static_cast<std::int64_t>(image_.size()));
}

std::int32_t TSQLiteTable::Count() {
  Driver().EndReads();
  TStmtReset reset(count_.get());
  const int rc = sqlite3_step(count_.get());
  if (rc != SQLITE_ROW) Driver().RaiseEngineError(rc, "counting " + table_);
  const std::int64_t n = sqlite3_column_int64(count_.get(), 0);
  return static_cast<std::int32_t>(std::min<std::int64_t>(n, INT32_MAX));
}

bool TSQLiteTable::IsEmpty() {
  Driver().EndReads();
  TStmtReset reset(any_.get());
  const int rc = sqlite3_step(any_.get());
  if (rc == SQLITE_ROW) return false;
  if (rc != SQLITE_DONE) Driver().RaiseEngineError(rc, "reading " + table_);
  return true;
}

int TSQLiteTable::OrderOf(const TOdbIndex& Index) const {
  for (std::size_t o = 1; o < orders_.size(); ++o) {
    if (SameText(orders_[o].Name, Index.GetName())) return static_cast<int>(o);
  }
  RaiseOdb<EOdbIndexDoesNotExist>(Index.GetName());
}

void TSQLiteTable::SetIndexName(const std::string& Name) {
  for (std::size_t o = 0; o < orders_.size(); ++o) {
    if (SameText(orders_[o].Name, Name)) {
      if (static_cast<int>(o) != current_) {
        StopCursor();
        current_ = static_cast<int>(o);
      }
      return;
    }
  }
  RaiseOdb<EOdbIndexDoesNotExist>(Name);
}

std::int64_t TSQLiteTable::KeyOwner(TOrder& O, TUnorderedList& Fields, std::int64_t Except) {
  // Walks the records with the key (in a unique index there is at most one
  // other than Except).
  const std::string sql = "select rowid from " + quoted_ + " where " +
                          [&] {
                            std::string w;
                            for (std::size_t i = 0; i < O.Term.size(); ++i) {
                              if (i > 0) w += " and ";
                              w += O.Term[i] + " = ?" + std::to_string(i + 1);
                            }
                            return w;
                          }() +
                          " and rowid <> ?" + std::to_string(O.Term.size() + 1) + " limit 1";
  TSQLiteStmt s = Driver().Prepare(sql);
  BindKeyFromFields(s.get(), O, Fields);
  sqlite3_bind_int64(s.get(), static_cast<int>(O.Term.size()) + 1, Except);
  if (sqlite3_step(s.get()) == SQLITE_ROW) return sqlite3_column_int64(s.get(), 0);
  return 0;
}

void TSQLiteTable::RaiseWriteError(int Rc, TUnorderedList& Fields, std::int64_t Self) {
  const int primary = Rc & 0xff;
  if (primary == SQLITE_CONSTRAINT) {
    for (std::size_t o = 1; o < orders_.size(); ++o) {
      TOrder& order = orders_[o];
      if (!order.Unique || order.Cols.empty()) continue;
      if (KeyOwner(order, Fields, Self) != 0) RaiseOdb<EOdbKeyViolation>(order.Name);
    }
  }
  Driver().RaiseEngineError(Rc, "writing " + table_);
}

void TSQLiteTable::NextAutoInc(TUnorderedList& Fields) {
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    if (columns_[c].Type != oftAutoInc) continue;
    // The first value of a table's counter lies above what the table holds
    // already (rows stored with explicit values); after that it only grows.
    const std::string col = TSQLiteDriver::QuoteName(columns_[c].Name);
    TSQLiteStmt s = Driver().Prepare(
        "insert into corvid_sequence (name, value) values (?1, (select coalesce(max(" + col +
        "), 0) + 1 from " + quoted_ +
        ")) on conflict (name) do update set value = value + 1 returning value");
    const std::string key = Lower(table_) + "." + Lower(columns_[c].Name);
    sqlite3_bind_text(s.get(), 1, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
    const int rc = sqlite3_step(s.get());
    if (rc != SQLITE_ROW) Driver().RaiseEngineError(rc, "numbering " + table_);
    const std::int64_t v = sqlite3_column_int64(s.get(), 0);
    sqlite3_step(s.get());
    if (v > std::numeric_limits<std::int32_t>::max()) {
      RaiseOdb<EOdbError>("auto-increment values of " + table_ + " are exhausted");
    }
    FieldFor(Fields, static_cast<int>(c)).SetAsInteger(static_cast<std::int32_t>(v));
  }
}

void TSQLiteTable::Insert(TUnorderedList& Fields, TMemoryStream& Stream) {
  TSQLiteDriver& d = Driver();
  d.BeginWrite();
  bool autoInc = false;
  for (const TColumn& c : columns_) autoInc = autoInc || c.Type == oftAutoInc;
  // With auto-increment columns the counter and the record change together;
  // and when the image is still to come (an empty stream, completed by the
  // next Update), the record is not committed before its image is there, so
  // that no record without an image survives a crash.
  const bool savepoint = autoInc;
  const bool outermost = !d.InTransaction();
  const bool pending = savepoint && Stream.GetSize() == 0;
  if (savepoint) d.Exec("savepoint corvid_insert");
  try {
    if (autoInc) NextAutoInc(Fields);
    sqlite3_stmt* s = insert_.get();
    TStmtReset reset(s);
    BindRow(s, Fields, Stream);
    const int rc = sqlite3_step(s);
    if (rc != SQLITE_DONE) RaiseWriteError(rc, Fields, 0);
    if (savepoint && !pending) d.Exec("release corvid_insert");
  } catch (...) {
    if (savepoint) d.UndoSavepoint("corvid_insert", outermost);
    throw;
  }
  StopCursor();
  rowId_ = sqlite3_last_insert_rowid(d.Connection());
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    values_[c] = FieldValue(FieldFor(Fields, static_cast<int>(c)));
  }
  image_.assign(reinterpret_cast<const char*>(Stream.Memory()),
                static_cast<std::size_t>(Stream.GetSize()));
  positioned_ = true;
  if (pending) d.SetPendingInsert(this, outermost);
}

void TSQLiteTable::Update(TUnorderedList& Fields, TMemoryStream& Stream) {
  TSQLiteDriver& d = Driver();
  bool outermost = false;
  const bool completing = d.TakePendingInsert(this, outermost);
  d.BeginWrite();
  try {
    if (!positioned_) RaiseOdb<EOdbObjectNotFound>("no current object in " + table_);
    sqlite3_stmt* s = update_.get();
    TStmtReset reset(s);
    BindRow(s, Fields, Stream);
    sqlite3_bind_int64(s, static_cast<int>(columns_.size()) + 2, rowId_);
    const int rc = sqlite3_step(s);
    if (rc != SQLITE_DONE) RaiseWriteError(rc, Fields, rowId_);
    if (sqlite3_changes(d.Connection()) == 0) {
      RaiseOdb<EOdbObjectNotFound>("the current object of " + table_ + " no longer exists");
    }
    // Outside a transaction this commits the insert with its image.
    if (completing) d.Exec("release corvid_insert");
  } catch (...) {
    if (completing) {
      // The insert is undone whole: record, image and counter.
      d.UndoSavepoint("corvid_insert", outermost);
      StopCursor();
      positioned_ = false;
    }
    throw;
  }
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    values_[c] = FieldValue(FieldFor(Fields, static_cast<int>(c)));
  }
  if (aliasColumn_ >= 0) rowId_ = std::get<std::int64_t>(values_[aliasColumn_]);
  image_.assign(reinterpret_cast<const char*>(Stream.Memory()),
                static_cast<std::size_t>(Stream.GetSize()));
}

void TSQLiteTable::Delete() {
  TSQLiteDriver& d = Driver();
  bool outermost = false;
  if (d.TakePendingInsert(this, outermost)) {
    // The record this handle inserted and has not completed: taking it back
    // undoes the insert's savepoint, so that the record without its image
    // is never committed (not even for the moment before its deletion).
    d.BeginWrite();
    if (!d.UndoSavepoint("corvid_insert", outermost)) {
      RaiseOdb<EOdbError>("the insert into " + table_ + " could not be undone");
    }
  } else {
    d.BeginWrite();
    if (!positioned_) RaiseOdb<EOdbObjectNotFound>("no current object in " + table_);
    sqlite3_stmt* s = delete_.get();
    TStmtReset reset(s);
    sqlite3_bind_int64(s, 1, rowId_);
    const int rc = sqlite3_step(s);
    if (rc != SQLITE_DONE) d.RaiseEngineError(rc, "deleting from " + table_);
    if (sqlite3_changes(d.Connection()) == 0) {
      RaiseOdb<EOdbObjectNotFound>("the current object of " + table_ + " no longer exists");
    }
  }
  // The record after the deleted one becomes current, or the new last one.
  if (!Step(+1)) Start(current_, -1);
}

bool TSQLiteTable::FindExact(TUnorderedList& Fields, const TOdbIndex& Index) {
  TOrder& o = orders_[OrderOf(Index)];
  if (!o.Exact) return Start(OrderOf(Index), +1);
  Driver().EndReads();
  sqlite3_stmt* s = o.Exact.get();
  TStmtReset reset(s);
  BindKeyFromFields(s, o, Fields);
  const int rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) {
    StopCursor();
    ReadRow(s);
    return true;
  }
  if (rc != SQLITE_DONE) Driver().RaiseEngineError(rc, "searching " + table_);
  return false;
}

void TSQLiteTable::FindNearest(TUnorderedList& Fields, const TOdbIndex& Index) {
  const int n = OrderOf(Index);
  TOrder& o = orders_[n];
  if (o.Nearest) {
    Driver().EndReads();
    sqlite3_stmt* s = o.Nearest.get();
    TStmtReset reset(s);
    BindKeyFromFields(s, o, Fields);
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) {
      StopCursor();
      ReadRow(s);
      return;
    }
    if (rc != SQLITE_DONE) Driver().RaiseEngineError(rc, "searching " + table_);
  }
  // Every key lies below the given one: the last record of that index.
  Start(n, -1);
  StopCursor();
}

TOdbBookmarkData TSQLiteTable::GetBookmark() {
  auto b = std::make_unique<TSQLiteBookmark>();
  b->Positioned = positioned_;
  b->RowId = rowId_;
  bookmarks_.push_back(std::move(b));
  return bookmarks_.back().get();
}

void TSQLiteTable::GotoBookmark(TOdbBookmarkData Bookmark) {
  auto it = std::find_if(bookmarks_.begin(), bookmarks_.end(),
                         [&](const auto& b) { return b.get() == Bookmark; });
  if (it == bookmarks_.end()) RaiseOdb<EOdbObjectNotFound>("invalid bookmark on " + table_);
  const TSQLiteBookmark& b = **it;
  if (!b.Positioned) {
    StopCursor();
    positioned_ = false;
    return;
  }
  Driver().EndReads();
  sqlite3_stmt* s = byRowId_.get();
  TStmtReset reset(s);
  sqlite3_bind_int64(s, 1, b.RowId);
  const int rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) {
    StopCursor();
    ReadRow(s);
    return;
  }
  if (rc != SQLITE_DONE) Driver().RaiseEngineError(rc, "reading " + table_);
  RaiseOdb<EOdbObjectNotFound>("the bookmarked object of " + table_ + " no longer exists");
}

void TSQLiteTable::FreeBookmark(TOdbBookmarkData Bookmark) {
  auto it = std::find_if(bookmarks_.begin(), bookmarks_.end(),
                         [&](const auto& b) { return b.get() == Bookmark; });
  if (it == bookmarks_.end()) RaiseOdb<EOdbObjectNotFound>("invalid bookmark on " + table_);
  bookmarks_.erase(it);
}

// --- options of Open --------------------------------------------------------

struct TOpenOptions {
  bool Create = false;
  bool SyncNormal = false;
  int TimeoutMs = 5000;
};

TOpenOptions ParseOptions(const std::string& Server) {
  TOpenOptions o;
  std::size_t start = 0;
  while (start <= Server.size()) {
    std::size_t end = Server.find(';', start);
    if (end == std::string::npos) end = Server.size();
    const std::string item = Lower(Trim(std::string_view(Server).substr(start, end - start)));
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

// 64-bit FNV-1a: the lock byte of a table in the lock file.
off_t LockOffset(const std::string& Table) {
  std::uint64_t h = 1469598103934665603ull;
  for (char c : Lower(Table)) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  return static_cast<off_t>(h >> 2);  // positive, below 2^62
}

bool SetLock(int Fd, off_t Offset, short Type) {
  struct flock l;
  std::memset(&l, 0, sizeof l);
  l.l_type = Type;
  l.l_whence = SEEK_SET;
  l.l_start = Offset;
  l.l_len = 1;
  return fcntl(Fd, F_OFD_SETLK, &l) == 0;
}

}  // namespace

// --- the driver -------------------------------------------------------------

// Per table: how many handles of this driver hold it shared and exclusive.
struct TSQLiteDriver::TTableLock {
  int Shared = 0;
  int Exclusive = 0;
};

TSQLiteDriver::TSQLiteDriver() = default;

TSQLiteDriver::~TSQLiteDriver() {
  CloseDatabaseQuietly();
  // The handle states detach themselves from this driver when they go.
  ReleaseAllHandles();
}

TOdbFieldTypes TSQLiteDriver::GetSupportedFieldTypes() const {
  return {oftString, oftFloat, oftInteger, oftAutoInc};
}

sqlite3* TSQLiteDriver::Connection() const {
  if (db_ == nullptr) RaiseOdb<EOdbDatabaseNotOpened>();
  return db_;
}

TSQLiteStmt TSQLiteDriver::Prepare(const std::string& Sql) const {
  sqlite3_stmt* s = nullptr;
  const int rc = sqlite3_prepare_v3(Connection(), Sql.c_str(), static_cast<int>(Sql.size()),
                                    SQLITE_PREPARE_PERSISTENT, &s, nullptr);
  TSQLiteStmt stmt(s);
  if (rc != SQLITE_OK) RaiseEngineError(rc, Sql);
  return stmt;
}

void TSQLiteDriver::Exec(const std::string& Sql) const {
  char* msg = nullptr;
  const int rc = sqlite3_exec(Connection(), Sql.c_str(), nullptr, nullptr, &msg);
  sqlite3_free(msg);
  if (rc != SQLITE_OK) RaiseEngineError(rc, Sql);
}

void TSQLiteDriver::RaiseEngineError(int Rc, const std::string& Context) const {
  std::string msg = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(Rc);
  if ((Rc & 0xff) == SQLITE_NOTADB) {
    RaiseOdb<EOdbDatabaseDoesNotExist>(GetDatabaseName() + ": " + msg);
  }
  RaiseOdb<EOdbError>(msg + " (" + Context + ")");
}

void TSQLiteDriver::EndReads() {
  if (InTransaction()) return;  // the snapshot holds everything there is
  for (TSQLiteHandle* h : handles_) h->Quiesce();
}

bool TSQLiteDriver::InTransaction() const {
  return db_ != nullptr && sqlite3_get_autocommit(db_) == 0;
}

void TSQLiteDriver::BeginWrite() {
  // Reads end first: a pending insert whose commit fails is rolled back,
  // which would abort every read still open.
  for (TSQLiteHandle* h : handles_) h->Quiesce();
  ClosePendingInsert();
  ++writeGeneration_;
}

bool TSQLiteDriver::TakePendingInsert(TSQLiteHandle* Handle, bool& Outermost) {
  if (pendingInsert_ == nullptr || pendingInsert_ != Handle) return false;
  pendingInsert_ = nullptr;
  Outermost = pendingOutermost_;
  return true;
}

void TSQLiteDriver::ClosePendingInsert() {
  if (pendingInsert_ == nullptr) return;
  // Anything but the completing Update: keep the record as inserted.
  pendingInsert_ = nullptr;
  try {
    Exec("release corvid_insert");
  } catch (...) {
    UndoSavepoint("corvid_insert", pendingOutermost_);
    throw;
  }
}

bool TSQLiteDriver::UndoSavepoint(const char* Name, bool Outermost) noexcept {
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
  const std::string name = Name;
  return sqlite3_exec(db_, ("rollback to " + name + "; release " + name).c_str(), nullptr, nullptr,
                      nullptr) == SQLITE_OK;
}

void TSQLiteDriver::AttachHandle(TSQLiteHandle* Handle) {
  handles_.push_back(Handle);
}

void TSQLiteDriver::DetachHandle(TSQLiteHandle* Handle) {
  if (lastState_ == Handle) {
    lastState_ = nullptr;
    lastHandle_ = 0;
  }
  if (pendingInsert_ == Handle) {
    try {
      ClosePendingInsert();
    } catch (...) {
      pendingInsert_ = nullptr;
    }
  }
  handles_.erase(std::remove(handles_.begin(), handles_.end(), Handle), handles_.end());
}

TSQLiteHandle& TSQLiteDriver::HandleState(std::int32_t Handle) const {
  if (Handle == lastHandle_ && lastState_ != nullptr) return *lastState_;
  auto* h = dynamic_cast<TSQLiteHandle*>(GetHandleDataObj(Handle));
  if (h == nullptr) RaiseOdb<EOdbInvalidObjectFileHandle>();
  lastHandle_ = Handle;
  lastState_ = h;
  return *h;
}

void TSQLiteDriver::CheckKeyValue(const TOdbField& F, const std::string& Table) {
  if (F.GetFieldType() == oftFloat && std::isnan(F.GetAsFloat())) {
    RaiseOdb<EOdbInvalidFieldType>("NaN in the key field " + F.GetName() + " of " + Table);
  }
}

std::string TSQLiteDriver::QuoteName(const std::string& Name) {
  std::string q = "\"";
  for (char c : Name) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

// --- database ---------------------------------------------------------------

void TSQLiteDriver::InternalOpenDatabase(const std::string& Server, const std::string&,
                                         const std::string&) {
  if (db_ != nullptr) RaiseOdb<EOdbError>("the database " + GetDatabaseName() + " is open");
  const TOpenOptions options = ParseOptions(Server);
  const std::string& name = GetDatabaseName();
  memory_ = name == ":memory:";
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
  if (options.Create || memory_) flags |= SQLITE_OPEN_CREATE;
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(name.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    const std::string msg = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close_v2(db);
    RaiseOdb<EOdbDatabaseDoesNotExist>(name + ": " + msg);
  }
  db_ = db;
  try {
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, options.TimeoutMs);
    // A new, empty file: pages of deleted records can be given back later
    // (Pack) without renumbering rows, which would break bookmarks.
    {
      TSQLiteStmt s = Prepare("pragma page_count");
      const int r = sqlite3_step(s.get());
      if (r != SQLITE_ROW) RaiseEngineError(r, "pragma page_count");
      if (sqlite3_column_int64(s.get(), 0) == 0) Exec("pragma auto_vacuum = incremental");
    }
    Exec("pragma journal_mode = wal");
    Exec(options.SyncNormal ? "pragma synchronous = normal" : "pragma synchronous = full");
    Exec("create table if not exists corvid_sequence (name text primary key, value integer)");
  } catch (...) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
    throw;
  }
  lockFileName_ = memory_ ? std::string() : name + "-corvid.lck";
}

void TSQLiteDriver::InternalCloseDatabase() {
  if (db_ == nullptr) return;
  try {
    ClosePendingInsert();
  } catch (...) {
    pendingInsert_ = nullptr;
  }
  // Handles still open lose their statements; their states go with the
  // handle table.
  for (TSQLiteHandle* h : handles_) h->Quiesce();
  std::vector<TSQLiteHandle*> open = handles_;
  for (TSQLiteHandle* h : open) h->Disconnect();
  sqlite3_close_v2(db_);
  db_ = nullptr;
  if (lockFd_ >= 0) {
    ::close(lockFd_);
    lockFd_ = -1;
  }
  locks_.clear();
}

void TSQLiteDriver::InternalStartTransaction() {
  BeginWrite();
  Exec("begin immediate");
}

void TSQLiteDriver::InternalCommit() {
  ClosePendingInsert();
  Exec("commit");
  ++writeGeneration_;
}

void TSQLiteDriver::InternalRollback() {
  BeginWrite();
  Exec("rollback");
  ++writeGeneration_;
}

// --- datasets ---------------------------------------------------------------

void TSQLiteDriver::LockTable(const std::string& Table, bool Exclusive) {
  if (memory_) return;  // a private database: nobody else can reach it
  if (lockFd_ < 0) {
    lockFd_ = ::open(lockFileName_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd_ < 0) {
      // Without a lock file (a read-only folder) nothing can be excluded:
      // an exclusive open is refused, a shared one goes ahead unguarded.
      if (Exclusive) {
        RaiseOdb<EOdbFileLockingNotSupported>("cannot create the lock file " + lockFileName_);
      }
      return;
    }
  }
  TTableLock& l = locks_[Lower(Table)];
  TTableLock want = l;
  (Exclusive ? want.Exclusive : want.Shared) += 1;
  const short type = want.Exclusive > 0 ? F_WRLCK : F_RDLCK;
  const short had = l.Exclusive > 0 ? F_WRLCK : (l.Shared > 0 ? F_RDLCK : F_UNLCK);
  if (type != had && !SetLock(lockFd_, LockOffset(Table), type)) {
    if (l.Shared == 0 && l.Exclusive == 0) locks_.erase(Lower(Table));
    RaiseOdb<EOdbError>(Exclusive ? "the table " + Table + " is in use by another connection"
                                  : "the table " + Table +
                                        " is opened exclusively by another connection");
  }
  l = want;
}

void TSQLiteDriver::UnlockTable(const std::string& Table, bool Exclusive) {
  if (memory_ || lockFd_ < 0) return;
  auto it = locks_.find(Lower(Table));
  if (it == locks_.end()) return;
  TTableLock& l = it->second;
  (Exclusive ? l.Exclusive : l.Shared) -= 1;
  const short type = l.Exclusive > 0 ? F_WRLCK : (l.Shared > 0 ? F_RDLCK : F_UNLCK);
  SetLock(lockFd_, LockOffset(Table), type);
  if (type == F_UNLCK) locks_.erase(it);
}

std::int32_t TSQLiteDriver::OpenTable(TObjectDataset& Dataset, bool Exclusive) {
  BeginWrite();
  LockTable(Dataset.GetDatasetName(), Exclusive);
  try {
    return NewHandle(std::make_unique<TSQLiteTable>(*this, Dataset, Exclusive));
  } catch (...) {
    UnlockTable(Dataset.GetDatasetName(), Exclusive);
    throw;
  }
}

std::int32_t TSQLiteDriver::InternalOpenDataset(TObjectDataset& Dataset) {
  if (dynamic_cast<TObjectFile*>(&Dataset) == nullptr) return OpenQuery(Dataset);
  return OpenTable(Dataset, false);
}

std::int32_t TSQLiteDriver::InternalOpenExclusive(TObjectFile& ObjectFile) {
  return OpenTable(ObjectFile, true);
}

void TSQLiteDriver::InternalCloseDataset(std::int32_t Handle) {
  TSQLiteHandle& h = HandleState(Handle);
  std::string table;
  bool exclusive = false;
  if (auto* t = dynamic_cast<TSQLiteTable*>(&h)) {
    table = t->TableName();
    exclusive = t->Exclusive();
  }
  ReleaseHandle(Handle);
  if (!table.empty()) UnlockTable(table, exclusive);
}

namespace {

std::string ColumnDefinition(const TOdbField& F, bool InPrimaryKey) {
  std::string s = TSQLiteDriver::QuoteName(F.GetName()) + " ";
  switch (F.GetFieldType()) {
    case oftString:
      s += "varchar(" + std::to_string(F.GetSize() > 0 ? F.GetSize() - 1 : 0) + ")";
      break;
    case oftFloat:
      s += "float";
      break;
    default:
      s += "integer";
      break;
  }
  if (InPrimaryKey) s += " not null";
  return s;
}

std::string KeyList(const TOdbIndex& Index, TUnorderedList& Fields) {
  const TOdbIndexAttributes a = Index.GetAttributes();
  std::string s;
  for (TObject* n : Index.FieldNames()) {
    const std::string& name = static_cast<TStringCombo*>(n)->Str;
    TOdbField* f = GetFieldInList(name, Fields);
    if (!s.empty()) s += ", ";
    s += TSQLiteDriver::QuoteName(f->GetName());
    if (a.Contains(iaCaseInsensitive) && f->GetFieldType() == oftString) s += " collate nocase";
    if (a.Contains(iaDescending)) s += " desc";
  }
  return s;
}

}  // namespace

void TSQLiteDriver::InternalCreateDataset(TObjectDataset& Dataset) {
  const std::string& table = Dataset.GetDatasetName();
  const std::string quoted = QuoteName(table);
  TUnorderedList& fields = Dataset.GetFields();
  const TOdbIndex* primary = nullptr;
  for (TObject* o : Dataset.GetIndices()) {
    auto* index = static_cast<TOdbIndex*>(o);
    if (index->GetAttributes().Contains(iaPrimary) && index->FieldNames().GetSize() > 0) {
      primary = index;
      break;
    }
  }
  std::string sql = "create table " + quoted + " (";
  for (TObject* o : fields) {
    auto* f = static_cast<TOdbField*>(o);
    sql += ColumnDefinition(*f, primary != nullptr && primary->HasField(f->GetName())) + ", ";
  }
  sql += "\"Object\" blob";
  if (primary != nullptr) sql += ", primary key (" + KeyList(*primary, fields) + ")";
  sql += ");\n";
  for (TObject* o : Dataset.GetIndices()) {
    auto* index = static_cast<TOdbIndex*>(o);
    if (index == primary || index->FieldNames().GetSize() == 0) continue;
    const TOdbIndexAttributes a = index->GetAttributes();
    const bool unique = a.Contains(iaUnique) || a.Contains(iaPrimary);
    sql += std::string("create ") + (unique ? "unique " : "") + "index " +
           QuoteName(table + "_" + index->GetName()) + " on " + quoted + " (" +
           KeyList(*index, fields) + ");\n";
  }
  BeginWrite();
  const bool outermost = !InTransaction();
  Exec("savepoint corvid_create");
  try {
    Exec(sql);
    Exec("release corvid_create");
  } catch (...) {
    UndoSavepoint("corvid_create", outermost);
    throw;
  }
}

void TSQLiteDriver::InternalDeleteDataset(TObjectDataset& Dataset) {
  const std::string& table = Dataset.GetDatasetName();
  BeginWrite();
  {
    TSQLiteStmt s =
        Prepare("select name from sqlite_master where type = 'table' and name = ?1 collate nocase");
    sqlite3_bind_text(s.get(), 1, table.data(), static_cast<int>(table.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(s.get()) != SQLITE_ROW) RaiseOdb<EOdbObjectFileDoesNotExist>(table);
  }
  for (TSQLiteHandle* h : handles_) {
    auto* t = dynamic_cast<TSQLiteTable*>(h);
    if (t != nullptr && SameText(t->TableName(), table)) {
      RaiseOdb<EOdbError>("the table " + table + " is open");
    }
  }
  LockTable(table, true);
  try {
    const bool outermost = !InTransaction();
    Exec("savepoint corvid_drop");
    try {
      Exec("drop table " + QuoteName(table));
      TSQLiteStmt s = Prepare("delete from corvid_sequence where name like ?1 escape '\\'");
      std::string pattern;
      for (char c : Lower(table)) {
        if (c == '%' || c == '_' || c == '\\') pattern += '\\';
        pattern += c;
      }
      pattern += ".%";
      sqlite3_bind_text(s.get(), 1, pattern.data(), static_cast<int>(pattern.size()),
                        SQLITE_TRANSIENT);
      const int rc = sqlite3_step(s.get());
      if (rc != SQLITE_DONE) RaiseEngineError(rc, "forgetting the counters of " + table);
      Exec("release corvid_drop");
    } catch (...) {
      UndoSavepoint("corvid_drop", outermost);
      throw;
    }
  } catch (...) {
    UnlockTable(table, true);
    throw;
  }
  UnlockTable(table, true);
}

// --- records ----------------------------------------------------------------

void TSQLiteDriver::InternalInsert(std::int32_t Handle, TUnorderedList& Fields,
                                   TMemoryStream& Stream) {
  TableOf(HandleState(Handle)).Insert(Fields, Stream);
}

void TSQLiteDriver::InternalUpdate(std::int32_t Handle, TUnorderedList& Fields,
                                   TMemoryStream& Stream) {
  TableOf(HandleState(Handle)).Update(Fields, Stream);
}

void TSQLiteDriver::InternalDelete(std::int32_t Handle) {
  TableOf(HandleState(Handle)).Delete();
}

std::string TSQLiteDriver::InternalGetIndexName(std::int32_t Handle) {
  return TableOf(HandleState(Handle)).GetIndexName();
}

void TSQLiteDriver::InternalSetIndexName(std::int32_t Handle, const std::string& Name) {
  TableOf(HandleState(Handle)).SetIndexName(Name);
}

void TSQLiteDriver::InternalGetCurrent(std::int32_t Handle, TMemoryStream& Stream) {
  HandleState(Handle).GetCurrent(Stream);
}

bool TSQLiteDriver::InternalFindNext(std::int32_t Handle) {
  return HandleState(Handle).Next();
}
bool TSQLiteDriver::InternalFindPrior(std::int32_t Handle) {
  return HandleState(Handle).Prior();
}
bool TSQLiteDriver::InternalFindFirst(std::int32_t Handle) {
  return HandleState(Handle).First();
}
bool TSQLiteDriver::InternalFindLast(std::int32_t Handle) {
  return HandleState(Handle).Last();
}

bool TSQLiteDriver::InternalFindExact(std::int32_t Handle, TUnorderedList& Fields,
                                      const TOdbIndex& Index) {
  return TableOf(HandleState(Handle)).FindExact(Fields, Index);
}

void TSQLiteDriver::InternalFindNearest(std::int32_t Handle, TUnorderedList& Fields,
                                        const TOdbIndex& Index) {
  TableOf(HandleState(Handle)).FindNearest(Fields, Index);
}

std::int32_t TSQLiteDriver::InternalGetObjectCount(std::int32_t Handle) {
  return HandleState(Handle).Count();
}

bool TSQLiteDriver::InternalIsEmpty(std::int32_t Handle) {
  return HandleState(Handle).IsEmpty();
}

TOdbBookmarkData TSQLiteDriver::InternalGetBookmark(std::int32_t Handle) {
  return TableOf(HandleState(Handle)).GetBookmark();
}

void TSQLiteDriver::InternalGotoBookmark(std::int32_t Handle, TOdbBookmarkData Bookmark) {
  TableOf(HandleState(Handle)).GotoBookmark(Bookmark);
}

void TSQLiteDriver::InternalFreeBookmark(std::int32_t Handle, TOdbBookmarkData Bookmark) {
  TableOf(HandleState(Handle)).FreeBookmark(Bookmark);
}

void TSQLiteDriver::InternalPack(std::int32_t Handle) {
  HandleState(Handle);  // checks the handle
  BeginWrite();
  if (InTransaction()) return;  // pages are given back after the transaction
  Exec("pragma incremental_vacuum");
  Exec("pragma wal_checkpoint(truncate)");
}

namespace {

// Registers the driver when the library is loaded.
const bool registered = [] {
  RegisterOdbDriver(TSQLiteDriver::StaticClass(), "SQLite");
  return true;
}();

}  // namespace

}  // namespace corvid
