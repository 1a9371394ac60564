// Internal to the PostgreSQL driver: the cursors of its handles, an open
// object file (record access), a query's result and an update object.
//
// A table cursor's position is the current row's odb_rowid plus its key on
// the current index, as the server returned it. Moving runs one keyset
// query ("the first row whose key is beyond this one, in index order"), so
// positions survive inserts and deletes by other connections and every step
// is an index scan.
#pragma once

#include <compare>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "corvid/drivers/postgresql/PgSession.h"

namespace corvid {
class TObjectDataset;
}

namespace corvid::pgsql {

// The most rows one step of a walk reads ahead.
inline constexpr int kMaxReadAhead = 64;

// A bookmark: the row identity of an object file, the row number of a query.
struct TBookmark {
  std::int64_t RowId = 0;
  int Row = -1;
};

class TTableCursor : public TPgCursor {
  CORVID_CLASS(TTableCursor, ::corvid::pgsql::TPgCursor)
 public:
  // Takes the table's key (shared, or exclusively); EOdbError when another
  // connection holds the other kind, EOdbObjectFileDoesNotExist without
  // the table.
  TTableCursor(TSession& Session, TObjectDataset& Dataset, bool Exclusive);
  ~TTableCursor() override;
  void Close() override;

  bool First() override { return MoveEnd(true, currentIndex_); }
  bool Last() override { return MoveEnd(false, currentIndex_); }
  bool Next() override { return MoveStep(true); }
  bool Prior() override { return MoveStep(false); }
  void GetCurrent(TMemoryStream& Stream) override;
  std::int32_t Count() override;
  bool IsEmpty() override;
  void Insert(TUnorderedList& Fields, TMemoryStream& Stream) override;
  void Update(TUnorderedList& Fields, TMemoryStream& Stream) override;
  void Delete() override;
  std::string GetIndexName() override;
  void SetIndexName(const std::string& Name) override;
  bool FindExact(TUnorderedList& Fields, const TOdbIndex& Index) override;
  void FindNearest(TUnorderedList& Fields, const TOdbIndex& Index) override;
  TOdbBookmarkData GetBookmark() override { return bookmarks_.Add({rowId_, -1}); }
  void GotoBookmark(TOdbBookmarkData Bookmark) override;
  void FreeBookmark(TOdbBookmarkData Bookmark) override { bookmarks_.Free(Bookmark, def_.Table); }
  void LockCurrent() override;
  void UnLockCurrent() override;
  void Pack() override;

 private:
  // The key expressions of the order IndexNo, odb_rowid ending every key
  // that is not unique by itself.
  std::vector<std::string> OrderExprs(int IndexNo) const;
  bool IndexDescending(int IndexNo) const {
    return IndexNo >= 0 && def_.Indices[static_cast<std::size_t>(IndexNo)].Descending;
  }
  // "odb_rowid, object, <key expressions of the current index>".
  std::string PositionColumns() const;
  // "select <position columns> from <table>".
  std::string SelectPosition() const;
  // SelectPosition() for the row whose odb_rowid is $1.
  const std::string& RowSql();
  void ClearPosition();
  // Drops the rows read ahead, after copying what the current record still
  // reads from them.
  void DropAhead();
  // Makes row Row of ahead_ (odb_rowid, object, key...) the current
  // record; its image and key are left there until they are needed
  // elsewhere (a walk copies nothing per step).
  void TakeAheadRow(int Row);
  // Sets the current record's image.
  void SetImage(std::string_view Image);
  std::string_view Image() const {
    return lazyImage_ ? ahead_.Bytes(aheadRow_, 1) : std::string_view(image_);
  }
  // Takes the key in columns Begin to End (exclusive) of row Row of R as
  // the current record's.
  void TakeKey(const TPgResult& R, int Row, int Begin, int End);
  // Runs Sql (which selects the positioning columns) and makes its first
  // row current; false when it has none.
  bool Position(const std::string& Sql, const TPgParams& Params);
  bool MoveStep(bool Forward);
  bool MoveEnd(bool First, int IndexNo);
  void ReloadKey();
  // def_.FindIndex, remembering the last name asked for.
  int FindIndex(const std::string& Name);
  std::string foundIndexName_;
  int foundIndex_ = -1;
  bool foundIndexKnown_ = false;
  // The first record whose key on Index compares by Op with Fields.
  bool PositionOnKey(TUnorderedList& Fields, const TOdbIndex& Index, const char* Op, int& IndexNo);
  // The update of the current record, without the bookkeeping of a pending
  // insert; UpdateImage when only the image changes.
  void UpdateCurrent(TUnorderedList& Fields, TMemoryStream& Stream);
  bool UpdateImage(TUnorderedList& Fields, std::string_view Image);
  // " where odb_rowid = $N and <the record's lock is free>".
  std::string RowGuard(int N) const;

  // The statement texts this cursor builds, kept: positioning and writing
  // build the same few texts over and over, only the values bound differ.
  // A text is known by its kind, the current index, two arguments of its
  // kind and, for texts made from a field list, the list's names and types
  // (Signature).
  enum class TSqlKind {
    End,
    Step,
    Key,
    Row,
    Image,
    Count,
    Empty,
    Insert,
    Update,
    SetImage,
    Delete
  };
  struct TSqlKey {
    TSqlKind Kind;
    int Index, A, B;
    auto operator<=>(const TSqlKey&) const = default;
  };
  struct TSqlText {
    std::string Signature;
    std::string Text;
  };
  template <class F>
  const std::string& Sql(TSqlKind Kind, int A, int B, F&& Build, std::string_view Signature = {}) {
    TSqlText& t = sql_[TSqlKey{Kind, currentIndex_, A, B}];
    if (t.Text.empty() || t.Signature != Signature) {
      t.Text = Build();
      t.Signature = Signature;
    }
    return t.Text;
  }
  std::map<TSqlKey, TSqlText> sql_;

  TTableDef def_;
  std::uint32_t oid_ = 0;
  bool exclusive_ = false;
  bool closed_ = false;
  int currentIndex_ = -1;  // position in def_.Indices; -1: order of odb_rowid
  // The current record: 0 when there is none.
  std::int64_t rowId_ = 0;
  // Its key on the current index, as the server returned it (binary), and
  // the type of each value; for a non-unique index odb_rowid ends the key.
  std::vector<::Oid> keyTypes_;
  std::vector<std::string> keyValues_;
  // Its image, when the last positioning read it.
  std::string image_;
  bool imageValid_ = false;
  // Whether its image (column 1) and key (columns 2 on) are still those of
  // row aheadRow_ of ahead_ rather than in image_ and keyValues_.
  bool lazyImage_ = false;
  bool lazyKey_ = false;
  int aheadRow_ = 0;
  // The field values this handle last wrote to the row writtenRowId_ (0:
  // none), while it has stayed on that row.
  std::int64_t writtenRowId_ = 0;
  std::string writtenFields_;
  // Records this handle has locked.
  std::set<std::int64_t> locks_;
  // Rows read ahead by the last step of a walk (ahead_.Rows() from
  // aheadNext_ on are still to come), valid while the walk goes on in the
  // same direction on the same index and the session's write stamp is
  // aheadStamp_; aheadStreak_ counts the steps of the walk.
  TPgResult ahead_;
  int aheadNext_ = 0;
  bool aheadForward_ = true;
  int aheadIndex_ = -1;
  std::uint64_t aheadStamp_ = 0;
  int aheadStreak_ = 0;
  TBookmarkStore<TBookmark> bookmarks_;
};

// The cursor of a query's select statement (any dataset that is not an
// object file); EOdbSelectStatementNotSpecified when it is blank.
std::unique_ptr<TPgCursor> OpenQuery(TSession& Session, TObjectDataset& Dataset);
// The cursor of an update object.
std::unique_ptr<TPgCursor> OpenUpdate(TSession& Session);

}  // namespace corvid::pgsql
