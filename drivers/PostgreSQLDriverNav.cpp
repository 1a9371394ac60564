// Record access of the PostgreSQL driver: positioning along an index,
// reading, writing and locking the current record, bookmarks and counts; and
// the same navigation over the rows of an open query.
//
// A position is the current row's odb_rowid plus its key on the current
// index, as the server returned it. Moving runs one keyset query ("the first
// row whose key is beyond this one, in index order"), so positions survive
// inserts and deletes by other connections and every step is an index scan.
#include <algorithm>
#include <memory>
#include <utility>

#include "containers/ObjList.h"
#include "drivers/PostgreSQLDriver.h"
#include "drivers/PostgreSQLDriverState.h"
#include "odb/OdbErrors.h"
#include "persist/Streams.h"
#include "util/OdbMisc.h"

namespace corvid {

using pgsql::TBookmark;
using pgsql::TIndexDef;
using pgsql::TPgParams;
using pgsql::TPgResult;
using pgsql::TQueryState;
using pgsql::TTableDef;
using pgsql::TTableState;

namespace {

std::string Join(const std::vector<std::string>& Parts, const std::string& Sep) {
  std::string out;
  for (const std::string& p : Parts) {
    if (!out.empty()) out += Sep;
    out += p;
  }
  return out;
}

// "e1 desc, e2 desc" or "e1, e2".
std::string OrderBy(const std::vector<std::string>& Exprs, bool Descending) {
  std::vector<std::string> parts;
  for (const std::string& e : Exprs) parts.push_back(Descending ? e + " desc" : e);
  return Join(parts, ", ");
}

// "$1, $2, ..." for N parameters starting at First.
std::string ParamList(int First, std::size_t N) {
  std::vector<std::string> parts;
  for (std::size_t i = 0; i < N; ++i)
    parts.push_back("$" + std::to_string(First + static_cast<int>(i)));
  return Join(parts, ", ");
}

TQueryState* AsQuery(TObject* Obj) {
  return dynamic_cast<TQueryState*>(Obj);
}

}  // namespace

TTableState& TPostgreSQLDriver::TableState(std::int32_t Handle, const char* Operation) {
  TObject* obj = GetHandleDataObj(Handle);
  auto* state = dynamic_cast<TTableState*>(obj);
  if (state == nullptr) {
    // A query result or an update handle: record access is not offered
    // there.
    (void)Operation;
    RaiseOdb<EOdbUnsupportedAccessMethod>("0");
  }
  return *state;
}

// ---------------------------------------------------------------------------
// Positioning

namespace {

// Makes row Row of R (odb_rowid, object, key...) the current record.
void TakeRow(TTableState& State, const TPgResult& R, int Row) {
  State.WrittenRowId = 0;
  State.RowId = R.Int8(Row, 0);
  State.Image.assign(R.Bytes(Row, 1));
  State.ImageValid = true;
  State.KeyTypes.clear();
  State.KeyValues.clear();
  for (int c = 2; c < R.Columns(); ++c) {
    State.KeyTypes.push_back(R.ColumnType(c));
    State.KeyValues.emplace_back(R.Bytes(Row, c));
  }
}

}  // namespace

bool TPostgreSQLDriver::Position(TTableState& State, const std::string& Sql,
                                 const TPgParams& Params) {
  TPgResult r = Run(Sql, Params, &State.Def);
  if (r.Rows() == 0) return false;
  State.DropAhead();
  TakeRow(State, r, 0);
  return true;
}

bool TPostgreSQLDriver::MoveEnd(TTableState& State, bool First, int IndexNo) {
  const bool desc = State.IndexDescending(IndexNo);
  const std::string sql = "select " + State.PositionColumns() + " from " + State.Def.QuotedTable() +
                          " order by " + OrderBy(State.OrderExprs(IndexNo), First ? desc : !desc) +
                          " limit 1";
  return Position(State, sql, TPgParams());
}

bool TPostgreSQLDriver::MoveStep(TTableState& State, bool Forward) {
  if (State.RowId == 0) return false;
  // Rows read ahead by the previous step serve while nothing was written
  // through this connection since and the walk goes on the same way.
  const bool sameWalk = State.AheadForward == Forward && State.AheadIndex == State.CurrentIndex &&
                        State.AheadStamp == writeStamp_;
  if (sameWalk && State.AheadNext < State.Ahead.Rows()) {
    TakeRow(State, State.Ahead, State.AheadNext++);
    return true;
  }
  const int streak = sameWalk ? State.AheadStreak + 1 : 0;
  const std::vector<std::string> exprs = State.OrderExprs(State.CurrentIndex);
  const bool desc = State.IndexDescending(State.CurrentIndex);
  // Moving forward on an ascending index means a greater key.
  const bool greater = Forward != desc;
  TPgParams params;
  for (std::size_t i = 0; i < State.KeyValues.size(); ++i) {
    params.AddRaw(State.KeyTypes[i], State.KeyValues[i]);
  }
  // A single step reads one row; a walk reads ahead, more the longer it
  // goes on (up to kMaxReadAhead rows a query).
  const int limit = std::min(pgsql::kMaxReadAhead, 1 << std::min(streak, 6));
  const std::string sql = "select " + State.PositionColumns() + " from " + State.Def.QuotedTable() +
                          " where (" + Join(exprs, ", ") + ") " + (greater ? ">" : "<") + " (" +
                          ParamList(1, exprs.size()) + ") order by " + OrderBy(exprs, !greater) +
                          " limit " + std::to_string(limit);
  TPgResult r = Run(sql, params, &State.Def);
  // At either end the position stays where it is.
  if (r.Rows() == 0) return false;
  TakeRow(State, r, 0);
  State.Ahead = std::move(r);
  State.AheadNext = 1;
  State.AheadForward = Forward;
  State.AheadIndex = State.CurrentIndex;
  State.AheadStamp = writeStamp_;
  State.AheadStreak = streak;
  return true;
}

void TPostgreSQLDriver::ReloadKey(TTableState& State) {
  if (State.RowId == 0) return;
  TPgParams params;
  params.AddInt8(State.RowId);
  if (!Position(State,
                "select " + State.PositionColumns() + " from " + State.Def.QuotedTable() +
                    " where " + pgsql::kRowIdColumn + " = $1",
                params)) {
    State.ClearPosition();
  }
}

bool TPostgreSQLDriver::InternalFindFirst(std::int32_t Handle) {
  TObject* obj = GetHandleDataObj(Handle);
  if (TQueryState* q = AsQuery(obj)) {
    if (q->Result.Rows() == 0) return false;
    q->Row = 0;
    return true;
  }
  TTableState& state = TableState(Handle, "FindFirst");
  return MoveEnd(state, true, state.CurrentIndex);
}

bool TPostgreSQLDriver::InternalFindLast(std::int32_t Handle) {
  TObject* obj = GetHandleDataObj(Handle);
  if (TQueryState* q = AsQuery(obj)) {
    if (q->Result.Rows() == 0) return false;
    q->Row = q->Result.Rows() - 1;
    return true;
  }
  TTableState& state = TableState(Handle, "FindLast");
  return MoveEnd(state, false, state.CurrentIndex);
}

bool TPostgreSQLDriver::InternalFindNext(std::int32_t Handle) {
  TObject* obj = GetHandleDataObj(Handle);
  if (TQueryState* q = AsQuery(obj)) {
    if (q->Row < 0 || q->Row + 1 >= q->Result.Rows()) return false;
    ++q->Row;
    return true;
  }
  return MoveStep(TableState(Handle, "FindNext"), true);
}

bool TPostgreSQLDriver::InternalFindPrior(std::int32_t Handle) {
  TObject* obj = GetHandleDataObj(Handle);
  if (TQueryState* q = AsQuery(obj)) {
    if (q->Row <= 0) return false;
    --q->Row;
    return true;
  }
  return MoveStep(TableState(Handle, "FindPrior"), false);
}

namespace {

// The where condition "key of Index = / >= / <= the values of Fields" with
// the values bound in Params.
std::string KeyCondition(const TTableDef& Def, const TIndexDef& Index, TUnorderedList& Fields,
                         TPgParams& Params, const char* Op) {
  std::vector<std::string> lhs, rhs;
  for (int c : Index.Columns) {
    const int n = Params.Next();
    pgsql::AddFieldParam(Params,
                         *GetFieldInList(Def.Columns[static_cast<std::size_t>(c)].Name, Fields));
    lhs.push_back(pgsql::KeyExpr(Def, Index, c));
    rhs.push_back(pgsql::KeyParamExpr(Def, Index, c, n));
  }
  if (lhs.empty()) return "true";
  return "(" + Join(lhs, ", ") + ") " + Op + " (" + Join(rhs, ", ") + ")";
}

}  // namespace

bool TPostgreSQLDriver::InternalFindExact(std::int32_t Handle, TUnorderedList& Fields,
                                          const TOdbIndex& Index) {
  TTableState& state = TableState(Handle, "FindExact");
  const int indexNo = state.Def.FindIndex(Index.GetName());
  if (indexNo < 0) RaiseOdb<EOdbIndexDoesNotExist>(Index.GetName());
  const TIndexDef& idx = state.Def.Indices[static_cast<std::size_t>(indexNo)];
  TPgParams params;
  const std::string where = KeyCondition(state.Def, idx, Fields, params, "=");
  return Position(state,
                  "select " + state.PositionColumns() + " from " + state.Def.QuotedTable() +
                      " where " + where + " order by " +
                      OrderBy(state.OrderExprs(indexNo), idx.Descending) + " limit 1",
                  params);
}

void TPostgreSQLDriver::InternalFindNearest(std::int32_t Handle, TUnorderedList& Fields,
                                            const TOdbIndex& Index) {
  TTableState& state = TableState(Handle, "FindNearest");
  const int indexNo = state.Def.FindIndex(Index.GetName());
  if (indexNo < 0) RaiseOdb<EOdbIndexDoesNotExist>(Index.GetName());
  const TIndexDef& idx = state.Def.Indices[static_cast<std::size_t>(indexNo)];
  // The first record whose key is not before the given one in index order;
  // past every key, the last record.
  TPgParams params;
  const std::string where =
      KeyCondition(state.Def, idx, Fields, params, idx.Descending ? "<=" : ">=");
  if (Position(state,
               "select " + state.PositionColumns() + " from " + state.Def.QuotedTable() +
                   " where " + where + " order by " +
                   OrderBy(state.OrderExprs(indexNo), idx.Descending) + " limit 1",
               params)) {
    return;
  }
  if (!MoveEnd(state, false, indexNo)) state.ClearPosition();
}

std::string TPostgreSQLDriver::InternalGetIndexName(std::int32_t Handle) {
  TObject* obj = GetHandleDataObj(Handle);
  if (AsQuery(obj) != nullptr) return std::string();
  TTableState& state = TableState(Handle, "GetIndexName");
  if (state.CurrentIndex < 0) return std::string();
  return state.Def.Indices[static_cast<std::size_t>(state.CurrentIndex)].Name;
}

void TPostgreSQLDriver::InternalSetIndexName(std::int32_t Handle, const std::string& Name) {
  TTableState& state = TableState(Handle, "SetIndexName");
  const int indexNo = state.Def.FindIndex(Name);
  if (indexNo < 0) RaiseOdb<EOdbIndexDoesNotExist>(Name);
  if (indexNo == state.CurrentIndex) return;
  state.CurrentIndex = indexNo;
  // The position stays on the same record; its key is now that of the new
  // index.
  ReloadKey(state);
}

// ---------------------------------------------------------------------------
// The current record

void TPostgreSQLDriver::InternalGetCurrent(std::int32_t Handle, TMemoryStream& Stream) {
  TObject* obj = GetHandleDataObj(Handle);
  if (TQueryState* q = AsQuery(obj)) {
    if (q->Row < 0) RaiseOdb<EOdbObjectNotFound>("no current row");
    const std::string_view image = q->Result.Bytes(q->Row, q->ObjectColumn);
    if (!image.empty()) Stream.WriteBuffer(image.data(), static_cast<std::int64_t>(image.size()));
    return;
  }
  TTableState& state = TableState(Handle, "GetCurrent");
  if (state.RowId == 0) RaiseOdb<EOdbObjectNotFound>(state.Def.Table);
  if (!state.ImageValid) {
    TPgParams params;
    params.AddInt8(state.RowId);
    TPgResult r = Run(std::string("select ") + pgsql::kObjectColumn + " from " +
                          state.Def.QuotedTable() + " where " + pgsql::kRowIdColumn + " = $1",
                      params, &state.Def);
    if (r.Rows() == 0) RaiseOdb<EOdbObjectNotFound>(state.Def.Table);
    state.Image.assign(r.Bytes(0, 0));
    state.ImageValid = true;
  }
  if (!state.Image.empty()) {
    Stream.WriteBuffer(state.Image.data(), static_cast<std::int64_t>(state.Image.size()));
  }
}

namespace {

// The field values as bound (names and binary values), to tell whether a
// later update changes any of them.
std::string FieldImage(TUnorderedList& Fields) {
  std::string out;
  for (TObject* obj : Fields) {
    const auto* field = static_cast<const TOdbField*>(obj);
    TPgParams one;
    pgsql::AddFieldParam(one, *field);
    out += field->GetName();
    out += '\0';
    out += std::to_string(one.Values()[0].size());
    out += ':';
    out += one.Values()[0];
  }
  return out;
}

}  // namespace

void TPostgreSQLDriver::InternalInsert(std::int32_t Handle, TUnorderedList& Fields,
                                       TMemoryStream& Stream) {
  TTableState& state = TableState(Handle, "Insert");
  TPgParams params;
  std::vector<std::string> cols, values, returning;
  std::vector<TOdbField*> autoIncs;
  for (TObject* obj : Fields) {
    auto* field = static_cast<TOdbField*>(obj);
    if (field->GetFieldType() == oftAutoInc) {
      // The server assigns the number.
      autoIncs.push_back(field);
      returning.push_back(pgsql::QuoteIdent(field->GetName()));
      continue;
    }
    cols.push_back(pgsql::QuoteIdent(field->GetName()));
    values.push_back("$" + std::to_string(params.Next()));
    pgsql::AddFieldParam(params, *field);
  }
  cols.push_back(pgsql::kObjectColumn);
  values.push_back("$" + std::to_string(params.Next()));
  const std::string_view image = Stream.View();
  params.AddBytea(image);

  // The new row becomes current: return what a position needs.
  std::string sql = "insert into " + state.Def.QuotedTable() + " (" + Join(cols, ", ") +
                    ") values (" + Join(values, ", ") + ") returning " + pgsql::kRowIdColumn;
  for (const std::string& e : state.OrderExprs(state.CurrentIndex)) sql += ", " + e;
  for (const std::string& r : returning) sql += ", " + r;
  // Numbers first, image after: the row waits uncommitted for the Update
  // that brings its image.
  const TPendingInsert pending{Handle, !inTransaction_};
  const bool imageToCome = !autoIncs.empty() && image.empty();
  TPgResult r;
  if (imageToCome) {
    try {
      r = RunAfter(pending.OwnTransaction ? "begin" : "savepoint corvid_insert", sql, params,
                   &state.Def);
    } catch (...) {
      EndPendingInsert(pending, false);
      throw;
    }
    pendingInsert_ = pending;
  } else {
    r = Run(sql, params, &state.Def, true);
  }

  const int keyEnd = r.Columns() - static_cast<int>(autoIncs.size());
  state.RowId = r.Int8(0, 0);
  state.Image.assign(image);
  state.ImageValid = true;
  state.KeyTypes.clear();
  state.KeyValues.clear();
  for (int c = 1; c < keyEnd; ++c) {
    state.KeyTypes.push_back(r.ColumnType(c));
    state.KeyValues.emplace_back(r.Bytes(0, c));
  }
  for (std::size_t i = 0; i < autoIncs.size(); ++i) {
    autoIncs[i]->SetAsInteger(
        static_cast<std::int32_t>(r.Integer(0, keyEnd + static_cast<int>(i))));
  }
  state.DropAhead();
  state.WrittenRowId = state.RowId;
  state.WrittenFields = FieldImage(Fields);
}

void TPostgreSQLDriver::InternalUpdate(std::int32_t Handle, TUnorderedList& Fields,
                                       TMemoryStream& Stream) {
  TTableState& state = TableState(Handle, "Update");
  if (pendingInsert_.Handle != Handle) {
    UpdateCurrent(state, Fields, Stream);
    return;
  }
  // The second step of an insert: the record and its image are committed
  // together, or not at all (the position goes with the record then).
  const TPendingInsert pending = std::exchange(pendingInsert_, TPendingInsert());
  try {
    UpdateCurrent(state, Fields, Stream);
  } catch (...) {
    EndPendingInsert(pending, false);
    state.ClearPosition();
    throw;
  }
  try {
    EndPendingInsert(pending, true);
  } catch (...) {
    state.ClearPosition();
    throw;
  }
}

void TPostgreSQLDriver::UpdateCurrent(TTableState& State, TUnorderedList& Fields,
                                      TMemoryStream& Stream) {
  if (State.RowId == 0) RaiseOdb<EOdbObjectNotFound>(State.Def.Table);
  const std::string_view image = Stream.View();
  std::string fieldImage = FieldImage(Fields);
  if (State.WrittenRowId == State.RowId && State.WrittenFields == fieldImage) {
    // Only the image changes (the usual second step of an insert with an
    // auto-increment field): writing just the object column touches no
    // index. The fields are compared with what the row holds, so a change
    // made meanwhile by someone else still gets the full update below.
    TPgParams params;
    params.AddBytea(image);
    params.AddInt8(State.RowId);
    std::vector<std::string> cols, values;
    for (TObject* obj : Fields) {
      const auto* field = static_cast<const TOdbField*>(obj);
      cols.push_back(pgsql::QuoteIdent(field->GetName()));
      values.push_back("$" + std::to_string(params.Next()));
      pgsql::AddFieldParam(params, *field);
    }
    std::string sql = "update " + State.Def.QuotedTable() + " set " + pgsql::kObjectColumn +
                      " = $1 where " + pgsql::kRowIdColumn +
                      " = $2 and pg_try_advisory_xact_lock(" +
                      std::to_string(static_cast<std::int32_t>(State.TableOid)) + ", " +
                      pgsql::kRowLockKeySql + ")";
    if (!cols.empty()) {
      sql +=
          " and (" + Join(cols, ", ") + ", 0) is not distinct from (" + Join(values, ", ") + ", 0)";
    }
    if (Run(sql, params, &State.Def, true).AffectedRows() == 1) {
      State.Image.assign(image);
      State.ImageValid = true;
      return;
    }
  }
  TPgParams params;
  std::vector<std::string> sets;
  for (TObject* obj : Fields) {
    const auto* field = static_cast<const TOdbField*>(obj);
    sets.push_back(pgsql::QuoteIdent(field->GetName()) + " = $" + std::to_string(params.Next()));
    pgsql::AddFieldParam(params, *field);
  }
  sets.push_back(std::string(pgsql::kObjectColumn) + " = $" + std::to_string(params.Next()));
  params.AddBytea(image);
  const int rowParam = params.Next();
  params.AddInt8(State.RowId);
  // A record that another connection has locked is refused: the statement
  // takes the record's lock key for its own duration (or, inside a
  // transaction, until the transaction ends).
  std::string sql = "update " + State.Def.QuotedTable() + " set " + Join(sets, ", ") + " where " +
                    pgsql::kRowIdColumn + " = $" + std::to_string(rowParam) +
                    " and pg_try_advisory_xact_lock(" +
                    std::to_string(static_cast<std::int32_t>(State.TableOid)) + ", " +
                    pgsql::kRowLockKeySql + ") returning " + pgsql::kRowIdColumn;
  for (const std::string& e : State.OrderExprs(State.CurrentIndex)) sql += ", " + e;
  TPgResult r = Run(sql, params, &State.Def, true);
  if (r.Rows() == 0) {
    TPgParams p;
    p.AddInt8(State.RowId);
    RaiseLockedOrMissing(State.Def.Table, State.TableOid,
                         std::string(pgsql::kRowIdColumn) + " = $1", p);
  }
  State.Image.assign(image);
  State.ImageValid = true;
  State.KeyTypes.clear();
  State.KeyValues.clear();
  for (int c = 1; c < r.Columns(); ++c) {
    State.KeyTypes.push_back(r.ColumnType(c));
    State.KeyValues.emplace_back(r.Bytes(0, c));
  }
  State.DropAhead();
  State.WrittenRowId = State.RowId;
  State.WrittenFields = std::move(fieldImage);
}

void TPostgreSQLDriver::InternalDelete(std::int32_t Handle) {
  TTableState& state = TableState(Handle, "Delete");
  if (state.RowId == 0) RaiseOdb<EOdbObjectNotFound>(state.Def.Table);
  if (pendingInsert_.Handle == Handle) {
    // The record of an insert still waiting for its image (the clean-up
    // after a failed second step): taking the insert back deletes it.
    EndPendingInsert(std::exchange(pendingInsert_, TPendingInsert()), false);
  } else {
    TPgParams params;
    params.AddInt8(state.RowId);
    TPgResult r = Run("delete from " + state.Def.QuotedTable() + " where " + pgsql::kRowIdColumn +
                          " = $1 and pg_try_advisory_xact_lock(" +
                          std::to_string(static_cast<std::int32_t>(state.TableOid)) + ", " +
                          pgsql::kRowLockKeySql + ")",
                      params, &state.Def, true);
    if (r.AffectedRows() == 0) {
      RaiseLockedOrMissing(state.Def.Table, state.TableOid,
                           std::string(pgsql::kRowIdColumn) + " = $1", params);
    }
  }
  const std::int64_t deleted = state.RowId;
  if (state.Locks.erase(deleted) > 0) AdvisoryUnlock(state.TableOid, deleted, false);
  // The record after the deleted one becomes current, or the one before it
  // when it was the last. The deleted key still marks the place.
  state.ImageValid = false;
  if (!MoveStep(state, true) && !MoveStep(state, false)) state.ClearPosition();
}

// ---------------------------------------------------------------------------
// Record locks

void TPostgreSQLDriver::InternalLockCurrent(std::int32_t Handle) {
  TObject* obj = GetHandleDataObj(Handle);
  if (AsQuery(obj) != nullptr) RaiseOdb<EOdbObjectLockingNotSupported>();
  TTableState& state = TableState(Handle, "LockCurrent");
  if (state.RowId == 0) RaiseOdb<EOdbObjectFileNotPositioned>();
  if (state.Locks.count(state.RowId) > 0) return;
  if (!TryAdvisoryLock(state.TableOid, state.RowId, false)) {
    RaiseOdb<EOdbError>("Record locked by another user: " + state.Def.Table);
  }
  state.Locks.insert(state.RowId);
}

void TPostgreSQLDriver::InternalUnLockCurrent(std::int32_t Handle) {
  TObject* obj = GetHandleDataObj(Handle);
  if (AsQuery(obj) != nullptr) RaiseOdb<EOdbObjectLockingNotSupported>();
  TTableState& state = TableState(Handle, "UnLockCurrent");
  if (state.RowId == 0) return;
  if (state.Locks.erase(state.RowId) > 0) AdvisoryUnlock(state.TableOid, state.RowId, false);
}

// ---------------------------------------------------------------------------
// Counts and bookmarks

std::int32_t TPostgreSQLDriver::InternalGetObjectCount(std::int32_t Handle) {
  TObject* obj = GetHandleDataObj(Handle);
  if (TQueryState* q = AsQuery(obj)) return q->Result.Rows();
  TTableState& state = TableState(Handle, "GetObjectCount");
  TPgResult r = Run("select count(*) from " + state.Def.QuotedTable(), TPgParams(), &state.Def);
  return static_cast<std::int32_t>(r.Int8(0, 0));
}

bool TPostgreSQLDriver::InternalIsEmpty(std::int32_t Handle) {
  TObject* obj = GetHandleDataObj(Handle);
  if (TQueryState* q = AsQuery(obj)) return q->Result.Rows() == 0;
  TTableState& state = TableState(Handle, "IsEmpty");
  TPgResult r =
      Run("select exists (select 1 from " + state.Def.QuotedTable() + ")", TPgParams(), &state.Def);
  return r.Bytes(0, 0) != std::string_view("\x01", 1);
}

TOdbBookmarkData TPostgreSQLDriver::InternalGetBookmark(std::int32_t Handle) {
  TObject* obj = GetHandleDataObj(Handle);
  auto bookmark = std::make_unique<TBookmark>();
  if (TQueryState* q = AsQuery(obj)) {
    bookmark->Row = q->Row;
  } else {
    bookmark->RowId = TableState(Handle, "GetBookmark").RowId;
  }
  return bookmark.release();
}

void TPostgreSQLDriver::InternalGotoBookmark(std::int32_t Handle, TOdbBookmarkData Bookmark) {
  const auto* bookmark = static_cast<const TBookmark*>(Bookmark);
  if (bookmark == nullptr) return;
  TObject* obj = GetHandleDataObj(Handle);
  if (TQueryState* q = AsQuery(obj)) {
    q->Row = bookmark->Row < q->Result.Rows() ? bookmark->Row : -1;
    return;
  }
  TTableState& state = TableState(Handle, "GotoBookmark");
  if (bookmark->RowId == 0) {
    state.ClearPosition();
    return;
  }
  TPgParams params;
  params.AddInt8(bookmark->RowId);
  if (!Position(state,
                "select " + state.PositionColumns() + " from " + state.Def.QuotedTable() +
                    " where " + pgsql::kRowIdColumn + " = $1",
                params)) {
    RaiseOdb<EOdbObjectNotFound>(state.Def.Table);
  }
}

void TPostgreSQLDriver::InternalFreeBookmark(std::int32_t Handle, TOdbBookmarkData Bookmark) {
  (void)Handle;
  delete static_cast<TBookmark*>(Bookmark);
}

}  // namespace corvid
