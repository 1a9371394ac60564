// The table cursor of the PostgreSQL driver: inserting, updating and
// deleting the current record.
//
// An insert with auto-increment fields and an empty image (the first of the
// two steps in which an object file inserts such a record: the server
// assigns the numbers, then the image that holds them follows) is not
// committed on its own: the session keeps it pending until the Update of the
// same handle commits it together with the image. Deleting the record
// instead, or a failing Update, takes the insert back. An update whose field
// values equal those this handle has just written to the row (that second
// step) sets only the object column. Updates and deletes of a record that
// another connection has locked are refused.
#include <utility>

#include "corvid/containers/ObjList.h"
#include "corvid/drivers/postgresql/PgTable.h"
#include "corvid/odb/OdbErrors.h"
#include "corvid/persist/Streams.h"
#include "corvid/util/OdbMisc.h"

namespace corvid::pgsql {

namespace {

std::string Join(const std::vector<std::string>& Parts) {
  std::string out;
  for (const std::string& p : Parts) out += (out.empty() ? "" : ", ") + p;
  return out;
}

std::string Param(int N) {
  return "$" + std::to_string(N);
}

// The field values as bound (names and binary values), to tell whether a
// later update changes any of them.
std::string FieldImage(TUnorderedList& Fields) {
  TPgParams bound;
  for (TObject* obj : Fields) AddFieldParam(bound, *static_cast<const TOdbField*>(obj));
  std::string out;
  std::size_t i = 0;
  for (TObject* obj : Fields) {
    const std::string& value = bound.Values()[i++];
    out += static_cast<const TOdbField*>(obj)->GetName();
    out += '\0';
    out += std::to_string(value.size());
    out += ':';
    out += value;
  }
  return out;
}

// The names and types of Fields, which the texts of inserts and updates
// are made from.
std::string FieldSignature(TUnorderedList& Fields) {
  std::string out;
  for (TObject* obj : Fields) {
    const auto* field = static_cast<const TOdbField*>(obj);
    out += field->GetName();
    out += '\0';
    out += static_cast<char>('0' + static_cast<int>(field->GetFieldType()));
  }
  return out;
}

}  // namespace

std::string TTableCursor::RowGuard(int N) const {
  return " where " + std::string(kRowIdColumn) + " = " + Param(N) + " and " +
         TSession::RecordGuard(oid_);
}

void TTableCursor::Insert(TUnorderedList& Fields, TMemoryStream& Stream) {
  TPgParams params;
  std::vector<TOdbField*> autoIncs;
  for (TObject* obj : Fields) {
    auto* field = static_cast<TOdbField*>(obj);
    if (field->GetFieldType() == oftAutoInc) {
      // The server assigns the number.
      autoIncs.push_back(field);
      continue;
    }
    AddFieldParam(params, *field);
  }
  const std::string_view image = Stream.View();
  params.AddBytea(image);
  const std::string signature = FieldSignature(Fields);
  const std::string& sql = Sql(
      TSqlKind::Insert, 0, 0,
      [&] {
        std::vector<std::string> cols, values;
        std::string returning;
        int n = 1;
        for (TObject* obj : Fields) {
          const auto* field = static_cast<const TOdbField*>(obj);
          if (field->GetFieldType() == oftAutoInc) {
            returning += ", " + QuoteIdent(field->GetName());
            continue;
          }
          cols.push_back(QuoteIdent(field->GetName()));
          values.push_back(Param(n++));
        }
        cols.push_back(kObjectColumn);
        values.push_back(Param(n));
        // The new row becomes current: return what a position needs.
        std::string text = "insert into " + def_.QuotedTable() + " (" + Join(cols) + ") values (" +
                           Join(values) + ") returning " + kRowIdColumn;
        for (const std::string& e : OrderExprs(currentIndex_)) text += ", " + e;
        return text + returning;
      },
      signature);
  // Numbers first, image after: the row waits uncommitted for the Update
  // that brings its image.
  const TPgResult r = !autoIncs.empty() && image.empty()
                          ? Session().RunPendingInsert(*this, sql, params, &def_)
                          : Session().Run(sql, params, &def_, true);
  const int keyEnd = r.Columns() - static_cast<int>(autoIncs.size());
  rowId_ = r.Int8(0, 0);
  SetImage(image);
  TakeKey(r, 0, 1, keyEnd);
  for (std::size_t i = 0; i < autoIncs.size(); ++i) {
    autoIncs[i]->SetAsInteger(
        static_cast<std::int32_t>(r.Integer(0, keyEnd + static_cast<int>(i))));
  }
  DropAhead();
  writtenRowId_ = rowId_;
  writtenFields_ = FieldImage(Fields);
}

void TTableCursor::Update(TUnorderedList& Fields, TMemoryStream& Stream) {
  if (!Session().IsPending(*this)) {
    UpdateCurrent(Fields, Stream);
    return;
  }
  // The second step of an insert: the record and its image are committed
  // together, or not at all (the position goes with the record then).
  try {
    UpdateCurrent(Fields, Stream);
    Session().EndPendingInsert(*this, true);
  } catch (...) {
    Session().EndPendingInsert(*this, false);
    ClearPosition();
    throw;
  }
}

bool TTableCursor::UpdateImage(TUnorderedList& Fields, std::string_view Image) {
  // Only the image changes (the usual second step of an insert with an
  // auto-increment field): writing just the object column touches no
  // index. The fields are compared with what the row holds, so a change
  // made meanwhile by someone else still gets the full update.
  TPgParams params;
  params.AddBytea(Image);
  params.AddInt8(rowId_);
  for (TObject* obj : Fields) AddFieldParam(params, *static_cast<const TOdbField*>(obj));
  const std::string& sql = Sql(
      TSqlKind::SetImage, 0, 0,
      [&] {
        std::vector<std::string> cols, values;
        int n = 3;
        for (TObject* obj : Fields) {
          cols.push_back(QuoteIdent(static_cast<const TOdbField*>(obj)->GetName()));
          values.push_back(Param(n++));
        }
        std::string text =
            "update " + def_.QuotedTable() + " set " + kObjectColumn + " = $1" + RowGuard(2);
        if (!cols.empty()) {
          text += " and (" + Join(cols) + ", 0) is not distinct from (" + Join(values) + ", 0)";
        }
        return text;
      },
      FieldSignature(Fields));
  if (Session().Run(sql, params, &def_, true).AffectedRows() != 1) return false;
  SetImage(Image);
  return true;
}

void TTableCursor::UpdateCurrent(TUnorderedList& Fields, TMemoryStream& Stream) {
  if (rowId_ == 0) RaiseOdb<EOdbObjectNotFound>(def_.Table);
  const std::string_view image = Stream.View();
  std::string fieldImage = FieldImage(Fields);
  if (writtenRowId_ == rowId_ && writtenFields_ == fieldImage && UpdateImage(Fields, image)) {
    return;
  }
  TPgParams params;
  for (TObject* obj : Fields) AddFieldParam(params, *static_cast<const TOdbField*>(obj));
  params.AddBytea(image);
  params.AddInt8(rowId_);
  // A record that another connection has locked is refused: the statement
  // takes the record's lock key for its own duration (or, inside a
  // transaction, until the transaction ends).
  const std::string& sql = Sql(
      TSqlKind::Update, 0, 0,
      [&] {
        std::vector<std::string> sets;
        int n = 1;
        for (TObject* obj : Fields) {
          sets.push_back(QuoteIdent(static_cast<const TOdbField*>(obj)->GetName()) + " = " +
                         Param(n++));
        }
        sets.push_back(std::string(kObjectColumn) + " = " + Param(n++));
        std::string text = "update " + def_.QuotedTable() + " set " + Join(sets) + RowGuard(n) +
                           " returning " + kRowIdColumn;
        for (const std::string& e : OrderExprs(currentIndex_)) text += ", " + e;
        return text;
      },
      FieldSignature(Fields));
  TPgResult r = Session().Run(sql, params, &def_, true);
  if (r.Rows() == 0) {
    TPgParams p;
    p.AddInt8(rowId_);
    Session().RaiseLockedOrMissing(def_.Table, oid_, std::string(kRowIdColumn) + " = $1", p);
  }
  SetImage(image);
  TakeKey(r, 0, 1, r.Columns());
  DropAhead();
  writtenRowId_ = rowId_;
  writtenFields_ = std::move(fieldImage);
}

void TTableCursor::Delete() {
  if (rowId_ == 0) RaiseOdb<EOdbObjectNotFound>(def_.Table);
  if (Session().IsPending(*this)) {
    // The record of an insert still waiting for its image (the clean-up
    // after a failed second step): taking the insert back deletes it.
    Session().EndPendingInsert(*this, false);
  } else {
    TPgParams params;
    params.AddInt8(rowId_);
    TPgResult r =
        Session().Run(Sql(TSqlKind::Delete, 0, 0,
                          [&] { return "delete from " + def_.QuotedTable() + RowGuard(1); }),
                      params, &def_, true);
    if (r.AffectedRows() == 0) {
      Session().RaiseLockedOrMissing(def_.Table, oid_, std::string(kRowIdColumn) + " = $1", params);
    }
  }
  const std::int64_t deleted = rowId_;
  if (locks_.erase(deleted) > 0) Session().AdvisoryUnlock(oid_, deleted, false);
  // The record after the deleted one becomes current, or the one before it
  // when it was the last. The deleted key still marks the place.
  imageValid_ = false;
  if (!MoveStep(true) && !MoveStep(false)) ClearPosition();
}

}  // namespace corvid::pgsql
