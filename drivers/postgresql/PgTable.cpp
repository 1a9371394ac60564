// The table cursor of the PostgreSQL driver: positioning along an index,
// reading the current record, bookmarks, counts and record locks.
//
// A walk reads ahead: consecutive steps in one direction fetch 2, 4, ... up
// to 64 rows per query and serve the following steps from them. Rows read
// ahead are dropped as soon as anything is written through this connection,
// the index changes or the file is positioned otherwise.
#include <algorithm>
#include <utility>

#include "corvid/containers/ObjList.h"
#include "corvid/drivers/postgresql/PgTable.h"
#include "corvid/odb/OdbDataset.h"
#include "corvid/odb/OdbErrors.h"
#include "corvid/odb/OdbIndex.h"
#include "corvid/persist/Streams.h"
#include "corvid/util/OdbMisc.h"

namespace corvid::pgsql {

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

// Binds the values of Fields for the key of Index, in its order.
void BindKey(const TTableDef& Def, const TSchemaIndex& Index, TUnorderedList& Fields,
             TPgParams& Params) {
  for (int c : Index.Columns) {
    AddFieldParam(Params, *GetFieldInList(Def.Columns[static_cast<std::size_t>(c)].Name, Fields));
  }
}

// The where condition "key of Index = / >= / <= the values bound by
// BindKey from $1 on".
std::string KeyCondition(const TTableDef& Def, const TSchemaIndex& Index, const char* Op) {
  std::vector<std::string> lhs, rhs;
  int n = 1;
  for (int c : Index.Columns) {
    lhs.push_back(KeyExpr(Def, Index, c));
    rhs.push_back(KeyParamExpr(Def, Index, c, n++));
  }
  if (lhs.empty()) return "true";
  return "(" + Join(lhs, ", ") + ") " + Op + " (" + Join(rhs, ", ") + ")";
}

}  // namespace

TTableCursor::TTableCursor(TSession& Session, TObjectDataset& Dataset, bool Exclusive)
    : TPgCursor(Session),
      def_(TTableDef::FromMapping(Dataset.GetDatasetName(), Dataset.GetFields(),
                                  Dataset.GetIndices())),
      exclusive_(Exclusive) {
  // Looked up afresh: the table may have been dropped or made again by
  // another connection since.
  oid_ = Session.TableOid(def_.Table, true);
  if (!Session.TryAdvisoryLock(oid_, 0, !Exclusive)) {
    RaiseOdb<EOdbError>(Exclusive ? "Table " + def_.Table + " is open on another connection"
                                  : "Table " + def_.Table +
                                        " is opened exclusively by another connection");
  }
}

TTableCursor::~TTableCursor() {
  Close();
}

void TTableCursor::Close() {
  if (closed_) return;
  closed_ = true;
  for (std::int64_t row : locks_) Session().AdvisoryUnlock(oid_, row, false);
  locks_.clear();
  Session().AdvisoryUnlock(oid_, 0, !exclusive_);
}

std::vector<std::string> TTableCursor::OrderExprs(int IndexNo) const {
  std::vector<std::string> exprs;
  if (IndexNo < 0) {
    exprs.push_back(kRowIdColumn);
    return exprs;
  }
  const TSchemaIndex& idx = def_.Indices[static_cast<std::size_t>(IndexNo)];
  for (int c : idx.Columns) exprs.push_back(KeyExpr(def_, idx, c));
  if (!idx.Unique || idx.Columns.empty()) exprs.push_back(kRowIdColumn);
  return exprs;
}

std::string TTableCursor::PositionColumns() const {
  std::string cols = std::string(kRowIdColumn) + ", " + kObjectColumn;
  for (const std::string& e : OrderExprs(currentIndex_)) cols += ", " + e;
  return cols;
}

std::string TTableCursor::SelectPosition() const {
  return "select " + PositionColumns() + " from " + def_.QuotedTable();
}

const std::string& TTableCursor::RowSql() {
  return Sql(TSqlKind::Row, 0, 0,
             [&] { return SelectPosition() + " where " + kRowIdColumn + " = $1"; });
}

void TTableCursor::DropAhead() {
  if (lazyImage_) {
    image_.assign(ahead_.Bytes(aheadRow_, 1));
    lazyImage_ = false;
  }
  if (lazyKey_) TakeKey(ahead_, aheadRow_, 2, ahead_.Columns());
  ahead_ = TPgResult();
  aheadNext_ = 0;
  aheadStreak_ = 0;
}

void TTableCursor::ClearPosition() {
  lazyImage_ = false;
  lazyKey_ = false;
  rowId_ = 0;
  writtenRowId_ = 0;
  keyTypes_.clear();
  keyValues_.clear();
  image_.clear();
  imageValid_ = false;
  DropAhead();
}

void TTableCursor::TakeKey(const TPgResult& R, int Row, int Begin, int End) {
  lazyKey_ = false;
  // The key's strings keep their buffers from record to record.
  const auto n = static_cast<std::size_t>(std::max(End - Begin, 0));
  keyTypes_.resize(n);
  keyValues_.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const int c = Begin + static_cast<int>(i);
    keyTypes_[i] = R.ColumnType(c);
    keyValues_[i].assign(R.Bytes(Row, c));
  }
}

void TTableCursor::TakeAheadRow(int Row) {
  writtenRowId_ = 0;
  rowId_ = ahead_.Int8(Row, 0);
  imageValid_ = true;
  aheadRow_ = Row;
  lazyImage_ = true;
  lazyKey_ = true;
}

void TTableCursor::SetImage(std::string_view Image) {
  lazyImage_ = false;
  image_.assign(Image);
  imageValid_ = true;
}

bool TTableCursor::Position(const std::string& Sql, const TPgParams& Params) {
  TPgResult r = Session().Run(Sql, Params, &def_);
  if (r.Rows() == 0) return false;
  // The new row replaces all of the current one. It stays in its result,
  // kept as rows read ahead that are all taken.
  lazyImage_ = false;
  lazyKey_ = false;
  DropAhead();
  ahead_ = std::move(r);
  TakeAheadRow(0);
  aheadNext_ = ahead_.Rows();
  return true;
}

bool TTableCursor::MoveEnd(bool First, int IndexNo) {
  const bool desc = IndexDescending(IndexNo);
  return Position(Sql(TSqlKind::End, IndexNo, First,
                      [&] {
                        return SelectPosition() + " order by " +
                               OrderBy(OrderExprs(IndexNo), First ? desc : !desc) + " limit 1";
                      }),
                  TPgParams());
}

bool TTableCursor::MoveStep(bool Forward) {
  if (rowId_ == 0) return false;
  // Rows read ahead by the previous step serve while nothing was written
  // through this connection since and the walk goes on the same way.
  const bool sameWalk = aheadForward_ == Forward && aheadIndex_ == currentIndex_ &&
                        aheadStamp_ == Session().WriteStamp();
  if (sameWalk && aheadNext_ < ahead_.Rows()) {
    TakeAheadRow(aheadNext_++);
    return true;
  }
  const int streak = sameWalk ? aheadStreak_ + 1 : 0;
  // Moving forward on an ascending index means a greater key.
  const bool greater = Forward != IndexDescending(currentIndex_);
  TPgParams params;
  if (lazyKey_) {
    for (int c = 2; c < ahead_.Columns(); ++c) {
      params.AddRaw(ahead_.ColumnType(c), ahead_.Bytes(aheadRow_, c));
    }
  } else {
    for (std::size_t i = 0; i < keyValues_.size(); ++i) params.AddRaw(keyTypes_[i], keyValues_[i]);
  }
  // A single step reads one row; a walk reads ahead, more the longer it
  // goes on (up to kMaxReadAhead rows a query).
  const int limit = std::min(kMaxReadAhead, 1 << std::min(streak, 6));
  const std::string& sql = Sql(TSqlKind::Step, greater, limit, [&] {
    const std::vector<std::string> exprs = OrderExprs(currentIndex_);
    return SelectPosition() + " where (" + Join(exprs, ", ") + ") " + (greater ? ">" : "<") + " (" +
           ParamList(1, exprs.size()) + ") order by " + OrderBy(exprs, !greater) + " limit " +
           std::to_string(limit);
  });
  TPgResult r = Session().Run(sql, params, &def_);
  // At either end the position stays where it is.
  if (r.Rows() == 0) return false;
  ahead_ = std::move(r);
  TakeAheadRow(0);
  aheadNext_ = 1;
  aheadForward_ = Forward;
  aheadIndex_ = currentIndex_;
  aheadStamp_ = Session().WriteStamp();
  aheadStreak_ = streak;
  return true;
}

void TTableCursor::ReloadKey() {
  if (rowId_ == 0) return;
  TPgParams params;
  params.AddInt8(rowId_);
  if (!Position(RowSql(), params)) ClearPosition();
}

bool TTableCursor::PositionOnKey(TUnorderedList& Fields, const TOdbIndex& Index, const char* Op,
                                 int& IndexNo) {
  IndexNo = FindIndex(Index.GetName());
  if (IndexNo < 0) RaiseOdb<EOdbIndexDoesNotExist>(Index.GetName());
  const TSchemaIndex& idx = def_.Indices[static_cast<std::size_t>(IndexNo)];
  TPgParams params;
  BindKey(def_, idx, Fields, params);
  return Position(Sql(TSqlKind::Key, IndexNo, Op[0] + (Op[1] << 8),
                      [&] {
                        return SelectPosition() + " where " + KeyCondition(def_, idx, Op) +
                               " order by " + OrderBy(OrderExprs(IndexNo), idx.Descending) +
                               " limit 1";
                      }),
                  params);
}

bool TTableCursor::FindExact(TUnorderedList& Fields, const TOdbIndex& Index) {
  int indexNo = -1;
  return PositionOnKey(Fields, Index, "=", indexNo);
}

void TTableCursor::FindNearest(TUnorderedList& Fields, const TOdbIndex& Index) {
  // The first record whose key is not before the given one in index order;
  // past every key, the last record.
  const int found = FindIndex(Index.GetName());
  const bool desc = found >= 0 && def_.Indices[static_cast<std::size_t>(found)].Descending;
  int indexNo = -1;
  if (PositionOnKey(Fields, Index, desc ? "<=" : ">=", indexNo)) return;
  if (!MoveEnd(false, indexNo)) ClearPosition();
}

int TTableCursor::FindIndex(const std::string& Name) {
  // Finds look up the same index over and over.
  if (!foundIndexKnown_ || Name != foundIndexName_) {
    foundIndex_ = def_.FindIndex(Name);
    foundIndexName_ = Name;
    foundIndexKnown_ = true;
  }
  return foundIndex_;
}

std::string TTableCursor::GetIndexName() {
  if (currentIndex_ < 0) return std::string();
  return def_.Indices[static_cast<std::size_t>(currentIndex_)].Name;
}

void TTableCursor::SetIndexName(const std::string& Name) {
  const int indexNo = def_.FindIndex(Name);
  if (indexNo < 0) RaiseOdb<EOdbIndexDoesNotExist>(Name);
  if (indexNo == currentIndex_) return;
  currentIndex_ = indexNo;
  // The position stays on the same record; its key is now that of the new
  // index.
  ReloadKey();
}

void TTableCursor::GetCurrent(TMemoryStream& Stream) {
  if (rowId_ == 0) RaiseOdb<EOdbObjectNotFound>(def_.Table);
  if (!imageValid_) {
    TPgParams params;
    params.AddInt8(rowId_);
    TPgResult r = Session().Run(Sql(TSqlKind::Image, 0, 0,
                                    [&] {
                                      return std::string("select ") + kObjectColumn + " from " +
                                             def_.QuotedTable() + " where " + kRowIdColumn +
                                             " = $1";
                                    }),
                                params, &def_);
    if (r.Rows() == 0) RaiseOdb<EOdbObjectNotFound>(def_.Table);
    SetImage(r.Bytes(0, 0));
  }
  const std::string_view image = Image();
  if (!image.empty()) Stream.WriteBuffer(image.data(), static_cast<std::int64_t>(image.size()));
}

std::int32_t TTableCursor::Count() {
  TPgResult r = Session().Run(
      Sql(TSqlKind::Count, 0, 0, [&] { return "select count(*) from " + def_.QuotedTable(); }),
      TPgParams(), &def_);
  return static_cast<std::int32_t>(r.Int8(0, 0));
}

bool TTableCursor::IsEmpty() {
  TPgResult r =
      Session().Run(Sql(TSqlKind::Empty, 0, 0,
                        [&] { return "select exists (select 1 from " + def_.QuotedTable() + ")"; }),
                    TPgParams(), &def_);
  return r.Bytes(0, 0) != std::string_view("\x01", 1);
}

void TTableCursor::GotoBookmark(TOdbBookmarkData Bookmark) {
  if (Bookmark == nullptr) return;
  const std::int64_t rowId = bookmarks_.Get(Bookmark, def_.Table).RowId;
  if (rowId == 0) {
    ClearPosition();
    return;
  }
  TPgParams params;
  params.AddInt8(rowId);
  if (!Position(RowSql(), params)) {
    RaiseOdb<EOdbObjectNotFound>(def_.Table);
  }
}

void TTableCursor::LockCurrent() {
  if (rowId_ == 0) RaiseOdb<EOdbObjectFileNotPositioned>();
  if (locks_.count(rowId_) > 0) return;
  if (!Session().TryAdvisoryLock(oid_, rowId_, false)) {
    RaiseOdb<EOdbError>("Record locked by another user: " + def_.Table);
  }
  locks_.insert(rowId_);
}

void TTableCursor::UnLockCurrent() {
  if (rowId_ == 0) return;
  if (locks_.erase(rowId_) > 0) Session().AdvisoryUnlock(oid_, rowId_, false);
}

void TTableCursor::Pack() {
  // VACUUM cannot run inside a transaction block; then there is nothing
  // to do now.
  if (Session().InTransaction()) return;
  Session().RunText("vacuum " + def_.QuotedTable(), &def_);
}

}  // namespace corvid::pgsql
