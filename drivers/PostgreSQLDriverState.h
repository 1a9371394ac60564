// Internal to the PostgreSQL driver: the description of a mapped table and
// the per-handle state objects kept in the driver's handle table.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "containers/ObjRoot.h"
#include "drivers/PostgreSQLDriverPq.h"
#include "odb/OdbField.h"
#include "odb/OdbIndex.h"

namespace corvid {
class TUnorderedList;
}

namespace corvid::pgsql {

// The column that identifies a row for positions, bookmarks and locks.
inline constexpr const char* kRowIdColumn = "odb_rowid";
// The second key of a record's advisory lock (the first is the table's
// oid): 1 to 2^31 - 1, so it never meets the table's own key 0. RowKeySql is
// the same computed by the server from the column.
inline std::int32_t RowLockKey(std::int64_t RowId) {
  return static_cast<std::int32_t>((RowId - 1) % 2147483647 + 1);
}
inline constexpr const char* kRowLockKeySql = "((odb_rowid - 1) % 2147483647 + 1)::int4";
// The most rows one step of a walk reads ahead.
inline constexpr int kMaxReadAhead = 64;
// The column that holds the object image.
inline constexpr const char* kObjectColumn = "object";

struct TColumnDef {
  std::string Name;
  TOdbFieldType Type = oftString;
  std::uint16_t Size = 0;
};

struct TIndexDef {
  std::string Name;
  std::vector<int> Columns;  // positions in TTableDef::Columns, key order
  bool Primary = false;
  bool Unique = false;  // Primary or iaUnique
  bool CaseInsensitive = false;
  bool Descending = false;
};

// A mapped table as the driver sees it: name, columns and indices, copied
// from the mapping when a dataset is opened or created.
struct TTableDef {
  std::string Table;
  std::vector<TColumnDef> Columns;
  std::vector<TIndexDef> Indices;
  int Primary = -1;  // position in Indices of the first primary index

  // Raises EOdbFieldDoesNotExist for an index naming a missing field.
  static TTableDef FromMapping(const std::string& Table, TUnorderedList& Fields,
                               TUnorderedList& Indices);
  // The index of that name (letter case ignored); -1 when there is none.
  int FindIndex(std::string_view Name) const;
  // The mapping's index name for a violated constraint's name: the index
  // whose server-side name it is, the primary index for "<table>_pkey", else
  // the constraint name itself.
  std::string IndexForConstraint(const std::string& Constraint) const;
  // The server-side name of an index.
  std::string ServerIndexName(const TIndexDef& Index) const;
  std::string QuotedTable() const { return QuoteIdent(Table); }
};

// The SQL expression of a key column of Index (collation "C" for strings,
// lower() for case-insensitive strings).
std::string KeyExpr(const TTableDef& Def, const TIndexDef& Index, int Column);
// The expression that compares with KeyExpr for the parameter $N.
std::string KeyParamExpr(const TTableDef& Def, const TIndexDef& Index, int Column, int N);
// Binds the value of Field in the type of its column.
void AddFieldParam(TPgParams& Params, const TOdbField& Field);

// State of an open object file.
class TTableState : public TObject {
  CORVID_CLASS(TTableState, ::corvid::TObject)
 public:
  TTableState() = default;

  TTableDef Def;
  std::uint32_t TableOid = 0;
  bool Exclusive = false;
  int CurrentIndex = -1;  // position in Def.Indices; -1: order of odb_rowid
  // The current record: 0 when there is none.
  std::int64_t RowId = 0;
  // Its key on the current index, as the server returned it (binary), and
  // the type of each value; for a non-unique index odb_rowid ends the key.
  std::vector<::Oid> KeyTypes;
  std::vector<std::string> KeyValues;
  // Its image, when the last positioning read it.
  std::string Image;
  bool ImageValid = false;
  // The field values this handle last wrote to the row WrittenRowId (0:
  // none), while it has stayed on that row.
  std::int64_t WrittenRowId = 0;
  std::string WrittenFields;
  // Records this handle has locked.
  std::set<std::int64_t> Locks;
  // Rows read ahead by the last step of a walk (Ahead.Rows() from
  // AheadNext on are still to come), valid while the walk goes on in the
  // same direction on the same index and the driver's write stamp is
  // AheadStamp; AheadStreak counts the steps of the walk.
  TPgResult Ahead;
  int AheadNext = 0;
  bool AheadForward = true;
  int AheadIndex = -1;
  std::uint64_t AheadStamp = 0;
  int AheadStreak = 0;

  void DropAhead() {
    Ahead = TPgResult();
    AheadNext = 0;
    AheadStreak = 0;
  }

  // The key expressions of the current order, odb_rowid ending every key
  // that is not unique by itself.
  std::vector<std::string> OrderExprs(int IndexNo) const;
  bool IndexDescending(int IndexNo) const {
    return IndexNo >= 0 && Def.Indices[static_cast<std::size_t>(IndexNo)].Descending;
  }
  // "odb_rowid, object, <key expressions of the current index>".
  std::string PositionColumns() const;
  void ClearPosition() {
    RowId = 0;
    WrittenRowId = 0;
    KeyTypes.clear();
    KeyValues.clear();
    Image.clear();
    ImageValid = false;
    DropAhead();
  }
};

// State of an open query: its whole result, and the current row.
class TQueryState : public TObject {
  CORVID_CLASS(TQueryState, ::corvid::TObject)
 public:
  TQueryState() = default;

  TPgResult Result;
  // The oid of the table whose shared key the query holds, 0 for none.
  std::uint32_t LockOid = 0;
  int ObjectColumn = -1;
  int Row = -1;  // -1: no current row
};

// State of an update object's handle.
class TUpdateState : public TObject {
  CORVID_CLASS(TUpdateState, ::corvid::TObject)
 public:
  TUpdateState() = default;
};

// A bookmark: the row identity of an object file, the row number of a query.
struct TBookmark {
  std::int64_t RowId = 0;
  int Row = -1;
};

}  // namespace corvid::pgsql
