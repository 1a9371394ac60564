// Internal to the SQLite driver: the cursor of a handle on a table (record
// access). It holds the table's schema, one navigation order per index
// with its prepared statements, the current record (row id, key values and
// image), the live walk statement and the bookmarks.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "corvid/drivers/sqlite/SQLiteConnection.h"
#include "corvid/odb/OdbSchema.h"

namespace corvid {
class TObjectDataset;
}

namespace corvid::sqlite {

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

// A table's bookmark: the row id of the record (or no position).
struct TTableBookmark {
  bool Positioned = false;
  std::int64_t RowId = 0;
};

class TTable : public TCursor {
  CORVID_CLASS(TTable, ::corvid::sqlite::TCursor)
 public:
  // The key columns a statement selects, in this order after the row id;
  // the image follows them. Other columns are never read back (the image
  // holds the object), nor the column that is the row id (read as such).
  struct TSelect {
    std::vector<int> Cols;
    bool AllKeys = false;  // every key column of the table
    int Image() const { return static_cast<int>(Cols.size()) + 1; }
  };
  // One navigation order: a mapping index, or the row order (Name empty).
  struct TOrder {
    std::string Name;
    bool Descending = false;
    bool Unique = false;
    std::vector<int> Cols;          // column numbers, key order
    std::vector<std::string> Term;  // "col" or "col" COLLATE NOCASE
    TSelect Walk;                   // what First..PriorNull select: its own keys
    TStmt First, Last, Next, Prior, Exact, Nearest;
    // Prepared when first needed: Next and Prior comparing nulls as SQLite
    // orders them, and whether nulls lie towards smaller keys (see Step).
    TStmt NextNull, PriorNull, NullBelow;
  };

  TTable(TConnection& Connection, TObjectDataset& Dataset, bool Exclusive);
  ~TTable() override;

  bool First() override { return Start(current_, +1); }
  bool Last() override { return Start(current_, -1); }
  bool Next() override { return Step(+1); }
  bool Prior() override { return Step(-1); }
  void GetCurrent(TMemoryStream& Stream) override;
  std::int32_t Count() override;
  bool IsEmpty() override;
  void Quiesce() override { StopCursor(); }
  void Disconnect() override;

  void Insert(TUnorderedList& Fields, TMemoryStream& Stream) override;
  void Update(TUnorderedList& Fields, TMemoryStream& Stream) override;
  void Delete() override;
  std::string GetIndexName() override { return orders_[current_].Name; }
  void SetIndexName(const std::string& Name) override;
  bool FindExact(TUnorderedList& Fields, const TOdbIndex& Index) override;
  void FindNearest(TUnorderedList& Fields, const TOdbIndex& Index) override;
  TOdbBookmarkData GetBookmark() override;
  void GotoBookmark(TOdbBookmarkData Bookmark) override;
  void FreeBookmark(TOdbBookmarkData Bookmark) override;

  const std::string& TableName() const { return schema_.Table; }
  bool Exclusive() const { return exclusive_; }

 private:
  // Finds the column that is the row id (a single integer primary key).
  void FindRowIdAlias();
  void BuildOrders();
  void PrepareStatements();
  int OrderOf(const TOdbIndex& Index) const;
  void Prepare(TOrder& O);
  // The order by clause of O for Dir (+1 forward, -1 backward).
  static std::string OrderBy(const TOrder& O, int Dir);
  // The condition "beyond the current record in direction Dir" of O over
  // parameters ?1..?n (the key) and ?n+1 (the row id). NullSafe: nulls in
  // the key are compared as SQLite orders them (before every other value),
  // at the price of the leading range that lets SQLite seek.
  static std::string Beyond(const TOrder& O, int Dir, bool NullSafe);
  // "key >= given" in index order (<= for a descending index) over ?1..?n.
  static std::string NotBelow(const TOrder& O);
  // Whether a record of O whose key holds a null lies below the current
  // key (so that the comparisons of Beyond without NullSafe, for which a
  // null is never smaller, would pass it over): for each term, a record
  // with the current record's values in the terms before it and a null in
  // it. Each test is a seek into the index.
  bool NullBelow(TOrder& O);
  // The statement that steps from the current record in direction Dir.
  sqlite3_stmt* StepStatement(TOrder& O, int Dir);
  std::string SelectList(const TSelect& S) const;
  // Runs the first-record statement of order O in direction Dir.
  bool Start(int O, int Dir);
  bool Step(int Dir);
  // Steps a freshly bound walk statement; on a row, reads it and keeps the
  // statement as the live cursor. Resets the statement when there is none.
  bool BeginWalk(sqlite3_stmt* Stmt, int Dir, int Order);
  // Runs a bound single-row lookup selecting S (of order Order, or -1); on
  // a row, makes it current.
  bool Seek(sqlite3_stmt* Stmt, const char* What, const TSelect& S, int Order);
  // Binds every column from the fields, then the image, as parameters
  // 1..N+1 of an insert or update statement.
  void BindRow(sqlite3_stmt* Stmt, TUnorderedList& Fields, TMemoryStream& Stream);
  void StopCursor();
  // Makes the row Stmt (selecting S; a walk of order Order, or -1) stands
  // on the current record: its row id and the key values S holds. While
  // Stmt is the live walk the image stays in the statement (a walk copies
  // each image once, into the stream that reads it); TakeImage copies it
  // out before the statement moves on or is reset.
  void ReadRow(sqlite3_stmt* Stmt, const TSelect& S, int Order);
  static void ReadValue(sqlite3_stmt* Stmt, int Col, TValue& V);
  void TakeImage(sqlite3_stmt* Stmt, int Col);
  // The live walk stepped past its last row, taking the current record's
  // image with it: reads the record again by row id.
  void ImageAfterWalk();
  // Reads the current record again by its row id (every key, the image);
  // false when it no longer exists.
  bool ReadByRowId();
  // Whether the key values of order O are those of the current record.
  bool KeysFor(int O) const;
  // Reads every key value (and the image) of the current record again by
  // row id; while a walk is live this reads the data the walk sees. A
  // record another connection deleted leaves nothing current.
  void RefreshKeys();
  // After BindRow and the write: takes the key values of the fields it
  // bound and the image of Stream as the current record's.
  void KeepWritten(TMemoryStream& Stream);
  void BindValue(sqlite3_stmt* Stmt, int Param, const TValue& V) const;
  void BindField(sqlite3_stmt* Stmt, int Param, const TOdbField& F) const;
  TValue FieldValue(const TOdbField& F) const;
  // The field of Fields for column C.
  TOdbField& FieldFor(TUnorderedList& Fields, int C) const;
  // fieldOf_[c] := the field of Fields for column c, for every column.
  void MatchFields(TUnorderedList& Fields);
  // Binds the key of order O from Fields (parameters 1..n).
  void BindKeyFromFields(sqlite3_stmt* Stmt, const TOrder& O, TUnorderedList& Fields) const;
  // The row id of the first record with the key of order O in Fields,
  // other than Except; 0 when there is none.
  std::int64_t KeyOwner(TOrder& O, TUnorderedList& Fields, std::int64_t Except);
  // Raises EOdbKeyViolation naming the first-defined unique index whose key
  // (from Fields) another record holds; falls back to the engine's error.
  [[noreturn]] void RaiseWriteError(int Rc, TUnorderedList& Fields, std::int64_t Self);
  void NextAutoInc(TUnorderedList& Fields);
  // Runs the bound write Stmt; false when it touched no row.
  bool RunWrite(sqlite3_stmt* Stmt, TUnorderedList* Fields, std::int64_t Self);

  TDatasetSchema schema_;
  std::string quoted_;
  std::vector<TOrder> orders_;  // orders_[0] is the row order
  int current_ = 0;
  int aliasColumn_ = -1;         // the column that is the row id, if any
  std::vector<bool> keyColumn_;  // per column: part of some order
  TSelect all_;                  // every key column: what finds and reads by row id select
  bool exclusive_ = false;

  bool positioned_ = false;
  std::int64_t rowId_ = 0;
  std::vector<TValue> values_;  // per column; only key columns are kept
  int keysOf_ = -1;             // values_ hold every key (-1) or order keysOf_'s
  std::string image_;
  bool imageInLive_ = false;  // the current image is still the live statement's
  bool imageGone_ = false;    // the current record was deleted by another connection

  sqlite3_stmt* live_ = nullptr;  // the statement walking from the current record
  int liveOrder_ = 0;
  int liveDir_ = 0;
  std::uint64_t liveGeneration_ = 0;

  std::vector<TOdbField*> fieldOf_;  // MatchFields
  std::vector<std::string> texts_;   // the texts bound to an insert or update
  TStmt insert_, update_, delete_, count_, any_, byRowId_;
  TBookmarkStore<TTableBookmark> bookmarks_;
};

}  // namespace corvid::sqlite
