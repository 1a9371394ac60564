// Internal to the SQLite driver: the cursors of SQL access, a query's
// result and an update object.
#pragma once

#include <memory>

#include "corvid/drivers/sqlite/SQLiteConnection.h"

namespace corvid {
class TObjectDataset;
}

namespace corvid::sqlite {

// The cursor of a query's select statement (any dataset that is not an
// object file); EOdbSelectStatementNotSpecified when it is blank.
// Spare, when it holds a cursor that CloseQuery kept, becomes the new one.
std::unique_ptr<TDriverCursor> OpenQuery(TConnection& Connection, TObjectDataset& Dataset,
                                         std::unique_ptr<TDriverCursor>& Spare);
// Ends the result of Query, a query cursor whose handle is gone, and keeps
// the cursor in Spare when that is empty (else it is freed).
void CloseQuery(std::unique_ptr<TDriverCursor> Query, std::unique_ptr<TDriverCursor>& Spare);
// Whether Cursor is that of a query (told by its exact type, at once).
bool IsQuery(const TDriverCursor& Cursor);
// The cursor of an update object: the single-object statements it runs.
std::unique_ptr<TCursor> OpenUpdate(TConnection& Connection);
// Whether Cursor is that of an update object.
bool IsUpdate(const TCursor& Cursor);

}  // namespace corvid::sqlite
