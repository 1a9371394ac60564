// The SQL-access cursors of the PostgreSQL driver: a query's result (read
// whole when it opens) and the single-object statements of update objects.
//
// A query whose dataset name is a table takes the table's key shared while
// it is open; the statements of update objects take it shared for the
// statement (to the end of an open transaction). Both are refused with
// EOdbError while another connection has the table opened exclusively.
// Updates and deletes of a record another connection has locked raise
// "Record locked by another user: ...". SQL inserts leave an
// auto-increment column that is 0 to the server's identity; an explicit
// non-zero value is stored as given.
#include <algorithm>

#include "corvid/containers/ObjList.h"
#include "corvid/drivers/postgresql/PgTable.h"
#include "corvid/odb/OdbDataset.h"
#include "corvid/odb/OdbErrors.h"
#include "corvid/odb/OdbMapping.h"
#include "corvid/odb/OdbQuery.h"
#include "corvid/odb/OdbSql.h"
#include "corvid/persist/Streams.h"
#include "corvid/util/OdbMisc.h"

namespace corvid::pgsql {

namespace {

class TQueryCursor : public TPgCursor {
  CORVID_CLASS(TQueryCursor, ::corvid::pgsql::TPgCursor)
 public:
  TQueryCursor(TSession& Session, TObjectDataset& Dataset, const std::string& Sql);
  ~TQueryCursor() override { Close(); }
  void Close() override {
    if (lockOid_ != 0) Session().AdvisoryUnlock(lockOid_, 0, true);
    lockOid_ = 0;
  }

  bool First() override { return MoveTo(0); }
  bool Last() override { return MoveTo(result_.Rows() - 1); }
  bool Next() override { return row_ >= 0 && MoveTo(row_ + 1); }
  bool Prior() override { return row_ > 0 && MoveTo(row_ - 1); }
  void GetCurrent(TMemoryStream& Stream) override;
  std::int32_t Count() override { return result_.Rows(); }
  std::string GetIndexName() override { return std::string(); }
  TOdbBookmarkData GetBookmark() override { return bookmarks_.Add({0, row_}); }
  void GotoBookmark(TOdbBookmarkData Bookmark) override {
    if (Bookmark == nullptr) return;
    const int row = bookmarks_.Get(Bookmark, "the query").Row;
    row_ = row < result_.Rows() ? row : -1;
  }
  void FreeBookmark(TOdbBookmarkData Bookmark) override { bookmarks_.Free(Bookmark, "the query"); }

 private:
  bool MoveTo(int Row) {
    if (Row < 0 || Row >= result_.Rows()) return false;
    row_ = Row;
    return true;
  }

  TPgResult result_;
  // The oid of the table whose shared key the query holds, 0 for none.
  std::uint32_t lockOid_ = 0;
  int objectColumn_ = -1;
  int row_ = -1;  // -1: no current row
  TBookmarkStore<TBookmark> bookmarks_;
};

TQueryCursor::TQueryCursor(TSession& Session, TObjectDataset& Dataset, const std::string& Sql)
    : TPgCursor(Session) {
  // A query on a table takes the table's shared key like an open object
  // file, so it is refused while another connection has the table opened
  // exclusively.
  const std::uint32_t oid = Session.FindOid(Dataset.GetDatasetName());
  if (oid != 0 && !Session.TryAdvisoryLock(oid, 0, true)) {
    RaiseOdb<EOdbError>("Table " + Dataset.GetDatasetName() +
                        " is opened exclusively by another connection");
  }
  lockOid_ = oid;
  try {
    // Under a savepoint inside a transaction (like a write): a failing
    // statement of the application must not abort the transaction.
    result_ = Session.RunOnce(Sql);
    objectColumn_ = result_.ColumnIndex(kObjectColumn);
    if (objectColumn_ < 0) RaiseOdb<EOdbFieldDoesNotExist>("Object");
  } catch (...) {
    Close();
    throw;
  }
}

void TQueryCursor::GetCurrent(TMemoryStream& Stream) {
  if (row_ < 0) RaiseOdb<EOdbObjectNotFound>("no current row");
  const std::string_view image = result_.Bytes(row_, objectColumn_);
  if (!image.empty()) Stream.WriteBuffer(image.data(), static_cast<std::int64_t>(image.size()));
}

class TUpdateCursor : public TPgCursor {
  CORVID_CLASS(TUpdateCursor, ::corvid::pgsql::TPgCursor)
 public:
  explicit TUpdateCursor(TSession& Session) : TPgCursor(Session) {}

  void InsertSQL(TMemoryStream& Stream, TORMapping& Mapping, const std::string& Table) override;
  void UpdateSQL(TMemoryStream& Stream, TORMapping& Mapping, const std::string& Table) override;
  void DeleteSQL(TORMapping& Mapping, const std::string& Table) override;
  void LockCurrent() override { RefuseRecordAccess(); }
  void UnLockCurrent() override { RefuseRecordAccess(); }

 private:
  // Runs the update or delete Sql (its key condition Where over
  // WhereParams); EOdbError or EOdbObjectNotFound when it touched no row.
  void RunKeyed(const std::string& Sql, const TPgParams& Params, const TTableDef& Def,
                std::uint32_t Oid, const std::string& Where, const TPgParams& WhereParams);
};

void TUpdateCursor::InsertSQL(TMemoryStream& Stream, TORMapping& Mapping,
                              const std::string& Table) {
  const TTableDef def = TTableDef::FromMapping(Table, Mapping.GetFields(), Mapping.GetIndices());
  TPgParams params;
  std::string cols, values;
  for (TObject* obj : Mapping.GetFields()) {
    const auto* field = static_cast<const TOdbField*>(obj);
    // An auto-increment column left at 0 takes the server's next number.
    if (field->GetFieldType() == oftAutoInc && field->GetAsInteger() == 0) continue;
    cols += QuoteIdent(field->GetName()) + ", ";
    values += "$" + std::to_string(params.Next()) + ", ";
    AddFieldParam(params, *field);
  }
  cols += kObjectColumn;
  values += "$" + std::to_string(params.Next());
  params.AddBytea(Stream.View());
  const std::uint32_t oid = Session().TableOid(Table);
  TPgResult r = Session().Run("insert into " + def.QuotedTable() + " (" + cols + ") select " +
                                  values + " where " + TSession::TableGuard(oid),
                              params, &def, true);
  if (r.AffectedRows() == 0) {
    RaiseOdb<EOdbError>("Table " + Table + " is opened exclusively by another connection");
  }
}

void TUpdateCursor::RunKeyed(const std::string& Sql, const TPgParams& Params, const TTableDef& Def,
                             std::uint32_t Oid, const std::string& Where,
                             const TPgParams& WhereParams) {
  TPgResult r = Session().Run(
      Sql + " and " + TSession::TableGuard(Oid) + " and " + TSession::RecordGuard(Oid), Params,
      &Def, true);
  if (r.AffectedRows() == 0) Session().RaiseLockedOrMissing(Def.Table, Oid, Where, WhereParams);
}

void TUpdateCursor::UpdateSQL(TMemoryStream& Stream, TORMapping& Mapping,
                              const std::string& Table) {
  const TTableDef def = TTableDef::FromMapping(Table, Mapping.GetFields(), Mapping.GetIndices());
  const std::uint32_t oid = Session().TableOid(Table);
  TPgParams whereParams;
  const std::string where = PrimaryWhere(def, Mapping.GetFields(), whereParams);
  TPgParams params;
  std::string sets;
  for (std::size_t c = 0; c < def.Columns.size(); ++c) {
    if (def.InPrimaryKey(static_cast<int>(c))) continue;
    sets += QuoteIdent(def.Columns[c].Name) + " = $" + std::to_string(params.Next()) + ", ";
    AddFieldParam(params, *GetFieldInList(def.Columns[c].Name, Mapping.GetFields()));
  }
  sets += std::string(kObjectColumn) + " = $" + std::to_string(params.Next());
  params.AddBytea(Stream.View());
  // The key's parameters follow the new values.
  const std::string keyWhere = PrimaryWhere(def, Mapping.GetFields(), params);
  RunKeyed("update " + def.QuotedTable() + " set " + sets + " where " + keyWhere, params, def, oid,
           where, whereParams);
}

void TUpdateCursor::DeleteSQL(TORMapping& Mapping, const std::string& Table) {
  const TTableDef def = TTableDef::FromMapping(Table, Mapping.GetFields(), Mapping.GetIndices());
  const std::uint32_t oid = Session().TableOid(Table);
  TPgParams params;
  const std::string where = PrimaryWhere(def, Mapping.GetFields(), params);
  RunKeyed("delete from " + def.QuotedTable() + " where " + where, params, def, oid, where, params);
}

}  // namespace

std::unique_ptr<TPgCursor> OpenQuery(TSession& Session, TObjectDataset& Dataset) {
  return std::make_unique<TQueryCursor>(Session, Dataset, QuerySelectText(Dataset));
}

std::unique_ptr<TPgCursor> OpenUpdate(TSession& Session) {
  return std::make_unique<TUpdateCursor>(Session);
}

}  // namespace corvid::pgsql
