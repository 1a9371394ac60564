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
std::unique_ptr<TCursor> OpenQuery(TConnection& Connection, TObjectDataset& Dataset);
// Whether Cursor is that of a query (told by its exact type, at once).
bool IsQuery(const TDriverCursor& Cursor);
// The cursor of an update object: the single-object statements it runs.
std::unique_ptr<TCursor> OpenUpdate(TConnection& Connection);
// Whether Cursor is that of an update object.
bool IsUpdate(const TCursor& Cursor);

}  // namespace corvid::sqlite
