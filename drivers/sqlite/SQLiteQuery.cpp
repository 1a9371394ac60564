// The query cursor of the SQLite driver: the result of a select
// statement, navigable like a table.
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
// Prepared statements are kept by the connection once a query is done with
// them and serve the next query of the same text; the key search of Search
// runs as one statement with the key bound as parameters, so every key
// finds it prepared. As only the images are read, the key search selects
// the column Object alone where the engine takes that statement: the rows
// are the same, and the engine need not read every other column of each.
#include "corvid/drivers/sqlite/SQLiteQuery.h"

#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

#include "corvid/drivers/sqlite/SQLiteConnection.h"
#include "corvid/odb/OdbQuery.h"
#include "corvid/odb/OdbSchema.h"
#include "corvid/persist/Streams.h"

namespace corvid::sqlite {

namespace {

// The images a query has read, in result order. The strings stay after
// Clear for the next result to be read into, the first few and only while
// they are small, so that a query opened again and again reads its rows
// into storage it holds.
class TImages {
 public:
  bool empty() const { return count_ == 0; }
  std::size_t size() const { return count_; }
  const std::string& operator[](std::size_t I) const { return items_[I]; }
  // Adds the image of the current row of Stmt, from its column Column.
  void Add(sqlite3_stmt* Stmt, int Column) {
    const void* blob = sqlite3_column_blob(Stmt, Column);
    const auto size = static_cast<std::size_t>(sqlite3_column_bytes(Stmt, Column));
    const char* data = blob != nullptr ? static_cast<const char*>(blob) : "";
    if (count_ < items_.size()) {
      items_[count_].assign(data, size);
    } else {
      items_.emplace_back(data, size);
    }
    ++count_;
  }
  void Clear() {
    count_ = 0;
    if (items_.size() > kKept) items_.resize(kKept);
    for (std::string& image : items_) {
      if (image.capacity() > kKeptBytes) std::string().swap(image);
    }
    if (items_.capacity() > 2 * kKept) items_.shrink_to_fit();
  }

 private:
  static constexpr std::size_t kKept = 4;
  static constexpr std::size_t kKeptBytes = 4096;
  std::vector<std::string> items_;
  std::size_t count_ = 0;
};

// The state of an open query: the statement while rows remain to be read,
// the images read so far and the position among them. A closed query can
// open again, for another dataset.
class TQuery final : public TCursor {
  CORVID_CLASS(TQuery, ::corvid::sqlite::TCursor)
 public:
  TQuery(TConnection& Connection, TObjectDataset& Dataset) : TCursor(Connection) { Open(Dataset); }
  ~TQuery() override { Db().KeepQueryStmt(stmt_); }

  // Opens the result of Dataset's select statement; on failure the query
  // holds no statement.
  void Open(TObjectDataset& Dataset);
  // Ends the result: the statement is kept by the connection, the images
  // go.
  void Close() noexcept;

  bool First() override;
  bool Last() override;
  bool Next() override;
  bool Prior() override;
  void GetCurrent(TMemoryStream& Stream) override;
  std::int32_t Count() override;
  bool IsEmpty() override { return images_.empty() && !Fetch(); }
  void Quiesce() override { FetchAll(); }
  void Disconnect() override { stmt_.clear(); }

 private:
  // The statement while rows remain to be read, null after.
  sqlite3_stmt* Stmt() const { return stmt_.empty() ? nullptr : stmt_.front().Stmt.get(); }
  // Takes the kept statement for Sql and reads the first row; false (and
  // nothing taken) when none is kept, or when the engine had to prepare it
  // again or could not run it: the schema changed since, and the checks of
  // Prepare must be made again.
  bool Reuse(const std::string& Sql);
  // Open's work: the key search's statement with its parameters where the
  // dataset offers one, else the select statement as written.
  void Start(TObjectDataset& Dataset);
  // Prepares Sql and checks that it is one statement that only reads and
  // has a column Object; the errors of a select statement otherwise.
  void Prepare(const std::string& Sql);
  // Sql, a key search that Prepare took, selects every column: the same
  // statement with Object alone in their place takes its place when the
  // engine prepares it with the same parameters. It is kept under Sql.
  void Narrow(const std::string& Sql);
  void Bind();
  // Reads the next row into images_; false (statement finished) at the end.
  bool Fetch();
  void FetchAll() {
    while (Fetch()) {
    }
  }

  std::string name_;
  TQueryStmts stmt_;  // at most one
  std::vector<std::string> params_;
  int objectColumn_ = -1;
  TImages images_;
  std::ptrdiff_t pos_ = -1;  // index into images_, -1 when nothing is current
};

void TQuery::Open(TObjectDataset& Dataset) {
  name_ = Dataset.GetDatasetName();
  try {
    Start(Dataset);
  } catch (...) {
    stmt_.clear();
    params_.clear();
    throw;
  }
}

void TQuery::Close() noexcept {
  Db().KeepQueryStmt(stmt_);  // its parameters are cleared before they go
  params_.clear();
  images_.Clear();
  objectColumn_ = -1;
  pos_ = -1;
}

void TQuery::Start(TObjectDataset& Dataset) {
  // A key search comes with its values apart: one statement serves every
  // key. Should the engine read fewer parameters in it than there are
  // values (the table name ended it early), the text as written runs.
  std::string& search = Db().SearchText();
  if (const std::vector<std::string>* values = QueryParameters(Dataset, '?', search)) {
    params_ = *values;
    if (Reuse(search)) return;
    Prepare(search);
    if (sqlite3_bind_parameter_count(Stmt()) == static_cast<int>(params_.size())) {
      Narrow(search);
      Bind();
      return;
    }
    stmt_.clear();
    params_.clear();
  }
  const std::string sql = QuerySelectText(Dataset);
  if (!Reuse(sql)) Prepare(sql);
}

bool TQuery::Reuse(const std::string& Sql) {
  if (!Db().TakeQueryStmt(Sql, stmt_)) return false;
  sqlite3_stmt* s = Stmt();
  if (!params_.empty() && sqlite3_bind_parameter_count(s) != static_cast<int>(params_.size())) {
    Db().KeepQueryStmt(stmt_);
    return false;
  }
  Bind();
  // The first row is read at once, as the dataset's Open would read it
  // next: that is where the engine finds out that the schema changed.
  const int reprepared = sqlite3_stmt_status(s, SQLITE_STMTSTATUS_REPREPARE, 0);
  const int rc = sqlite3_step(s);
  if ((rc == SQLITE_ROW || rc == SQLITE_DONE) &&
      sqlite3_stmt_status(s, SQLITE_STMTSTATUS_REPREPARE, 0) == reprepared) {
    objectColumn_ = stmt_.front().ObjectColumn;
    if (rc == SQLITE_DONE) {
      Db().KeepQueryStmt(stmt_);
    } else {
      images_.Add(s, objectColumn_);
    }
    return true;
  }
  stmt_.clear();
  return false;
}

void TQuery::Prepare(const std::string& Sql) {
  TConnection& connection = Db();
  sqlite3* db = connection.Handle();
  const char* tail = nullptr;
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v3(db, Sql.c_str(), static_cast<int>(Sql.size()),
                              SQLITE_PREPARE_PERSISTENT, &raw, &tail);
  TStmt stmt(raw);
  if (rc != SQLITE_OK) connection.RaiseEngineError(rc, "the select statement of " + name_);
  if (!stmt) RaiseOdb<EOdbSelectStatementNotSpecified>(name_);
  // Whatever follows the statement may only be blanks, semicolons and
  // comments: a second statement would never run, or run unnoticed.
  const char* end = Sql.c_str() + Sql.size();
  while (tail != nullptr && tail < end) {
    sqlite3_stmt* next = nullptr;
    const char* after = nullptr;
    rc = sqlite3_prepare_v2(db, tail, static_cast<int>(end - tail), &next, &after);
    TStmt extra(next);
    if (rc != SQLITE_OK) connection.RaiseEngineError(rc, "the select statement of " + name_);
    if (extra) {
      RaiseOdb<EOdbError>("the select statement of " + name_ + " holds more than one statement");
    }
    if (after == tail) break;
    tail = after;
  }
  if (sqlite3_stmt_readonly(stmt.get()) == 0) {
    RaiseOdb<EOdbError>("the select statement of " + name_ + " does not only read");
  }
  int object = -1;
  const int columns = sqlite3_column_count(stmt.get());
  for (int c = 0; c < columns && object < 0; ++c) {
    const char* col = sqlite3_column_name(stmt.get(), c);
    if (col != nullptr && SameName(col, "Object")) object = c;
  }
  if (object < 0) {
    RaiseOdb<EOdbError>("the result of the select statement of " + name_ + " has no column Object");
  }
  stmt_.clear();
  stmt_.push_back(TQueryStmt{Sql, std::move(stmt), object});
  objectColumn_ = object;
}

void TQuery::Narrow(const std::string& Sql) {
  constexpr std::string_view kEvery = "select * from ";
  if (Sql.compare(0, kEvery.size(), kEvery) != 0) return;
  std::string narrow = "select Object from ";
  narrow.append(Sql, kEvery.size());
  sqlite3_stmt* raw = nullptr;
  const int rc = sqlite3_prepare_v3(Db().Handle(), narrow.c_str(), static_cast<int>(narrow.size()),
                                    SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
  TStmt stmt(raw);
  // Anything amiss (a table name that makes the column ambiguous, say):
  // the statement as written serves, as it passed every check.
  if (rc != SQLITE_OK || !stmt || sqlite3_column_count(stmt.get()) != 1 ||
      sqlite3_bind_parameter_count(stmt.get()) != sqlite3_bind_parameter_count(Stmt())) {
    return;
  }
  const char* col = sqlite3_column_name(stmt.get(), 0);
  if (col == nullptr || !SameName(col, "Object")) return;
  stmt_.front().Stmt = std::move(stmt);
  stmt_.front().ObjectColumn = 0;
  objectColumn_ = 0;
}

void TQuery::Bind() {
  // The values as text, the way the quoted values of the text read: the
  // engine gives both the column's affinity.
  sqlite3_stmt* s = Stmt();
  for (std::size_t i = 0; i < params_.size(); ++i) {
    const std::string& v = params_[i];
    const int rc = sqlite3_bind_text(s, static_cast<int>(i + 1), v.data(),
                                     static_cast<int>(v.size()), SQLITE_STATIC);
    if (rc != SQLITE_OK) Db().RaiseEngineError(rc, "the select statement of " + name_);
  }
}

bool TQuery::Fetch() {
  sqlite3_stmt* s = Stmt();
  if (s == nullptr) return false;
  const int rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) {
    images_.Add(s, objectColumn_);
    return true;
  }
  // Done or failed: the statement ends here either way, so that no read
  // stays open on the connection. A finished statement is kept for the
  // next query of the same text; a failed one goes.
  if (rc == SQLITE_DONE) {
    Db().KeepQueryStmt(stmt_);
    return false;
  }
  TQueryStmts failed = std::move(stmt_);
  stmt_.clear();
  Db().RaiseEngineError(rc, "reading the result of " + name_);
}

bool TQuery::First() {
  if (images_.empty() && !Fetch()) return false;
  pos_ = 0;
  return true;
}

bool TQuery::Last() {
  FetchAll();
  if (images_.empty()) return false;
  pos_ = static_cast<std::ptrdiff_t>(images_.size()) - 1;
  return true;
}

bool TQuery::Next() {
  if (pos_ < 0) return First();
  if (pos_ + 1 < static_cast<std::ptrdiff_t>(images_.size()) || Fetch()) {
    ++pos_;
    return true;
  }
  return false;
}

bool TQuery::Prior() {
  if (pos_ < 0) return Last();
  if (pos_ == 0) return false;
  --pos_;
  return true;
}

void TQuery::GetCurrent(TMemoryStream& Stream) {
  if (pos_ < 0) RaiseOdb<EOdbObjectNotFound>("no current object in the result of " + name_);
  const std::string& image = images_[static_cast<std::size_t>(pos_)];
  Stream.Assign(image.data(), static_cast<std::int64_t>(image.size()));
}

std::int32_t TQuery::Count() {
  FetchAll();
  return static_cast<std::int32_t>(images_.size());
}

}  // namespace

std::unique_ptr<TDriverCursor> OpenQuery(TConnection& Connection, TObjectDataset& Dataset,
                                         std::unique_ptr<TDriverCursor>& Spare) {
  if (Spare == nullptr) return std::make_unique<TQuery>(Connection, Dataset);
  std::unique_ptr<TDriverCursor> query = std::move(Spare);
  static_cast<TQuery&>(*query).Open(Dataset);
  return query;
}

void CloseQuery(std::unique_ptr<TDriverCursor> Query, std::unique_ptr<TDriverCursor>& Spare) {
  static_cast<TQuery&>(*Query).Close();
  if (Spare == nullptr) Spare = std::move(Query);
}

bool IsQuery(const TDriverCursor& Cursor) {
  // TQuery is final.
  return typeid(Cursor) == typeid(TQuery);
}

}  // namespace corvid::sqlite
