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
#include "corvid/drivers/sqlite/SQLiteQuery.h"

#include <string>
#include <vector>

#include "corvid/drivers/sqlite/SQLiteConnection.h"
#include "corvid/odb/OdbQuery.h"
#include "corvid/odb/OdbSchema.h"
#include "corvid/persist/Streams.h"

namespace corvid::sqlite {

namespace {

// The state of an open query: the statement while rows remain to be read,
// the images read so far and the position among them.
class TQuery : public TCursor {
  CORVID_CLASS(TQuery, ::corvid::sqlite::TCursor)
 public:
  TQuery(TConnection& Connection, const std::string& Name, const std::string& Sql);
  ~TQuery() override = default;

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
  TStmt stmt_;
  int objectColumn_ = -1;
  std::vector<std::string> images_;
  std::ptrdiff_t pos_ = -1;  // index into images_, -1 when nothing is current
};

TQuery::TQuery(TConnection& Connection, const std::string& Name, const std::string& Sql)
    : TCursor(Connection), name_(Name) {
  sqlite3* db = Connection.Handle();
  const char* tail = nullptr;
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(db, Sql.c_str(), static_cast<int>(Sql.size()), &raw, &tail);
  stmt_.reset(raw);
  if (rc != SQLITE_OK) Connection.RaiseEngineError(rc, "the select statement of " + name_);
  if (!stmt_) RaiseOdb<EOdbSelectStatementNotSpecified>(name_);
  // Whatever follows the statement may only be blanks, semicolons and
  // comments: a second statement would never run, or run unnoticed.
  const char* end = Sql.c_str() + Sql.size();
  while (tail != nullptr && tail < end) {
    sqlite3_stmt* next = nullptr;
    const char* after = nullptr;
    rc = sqlite3_prepare_v2(db, tail, static_cast<int>(end - tail), &next, &after);
    TStmt extra(next);
    if (rc != SQLITE_OK) Connection.RaiseEngineError(rc, "the select statement of " + name_);
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
    if (col != nullptr && LowerName(col) == "object") objectColumn_ = c;
  }
  if (objectColumn_ < 0) {
    RaiseOdb<EOdbError>("the result of the select statement of " + name_ + " has no column Object");
  }
}

bool TQuery::Fetch() {
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
  TStmt finished = std::move(stmt_);
  if (rc != SQLITE_DONE) Db().RaiseEngineError(rc, "reading the result of " + name_);
  return false;
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
  Stream.SetSize(0);
  Stream.SetPosition(0);
  if (!image.empty()) Stream.WriteBuffer(image.data(), static_cast<std::int64_t>(image.size()));
  Stream.SetPosition(0);
}

std::int32_t TQuery::Count() {
  FetchAll();
  return static_cast<std::int32_t>(images_.size());
}

}  // namespace

std::unique_ptr<TCursor> OpenQuery(TConnection& Connection, TObjectDataset& Dataset) {
  return std::make_unique<TQuery>(Connection, Dataset.GetDatasetName(), QuerySelectText(Dataset));
}

}  // namespace corvid::sqlite
