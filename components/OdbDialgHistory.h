// The remembered names of the open-database dialog: three histories of
// database, server and user names, most recent first, and the driver used
// last; and the history file that keeps them between runs.
//
// History file: an object-stream file of exactly four objects, in order: a
// TStringCombo whose Str is the last driver (no object), then the database,
// server and user histories. Each history is a TUnorderedList of
// TStringCombo (no objects) compared by CompareStringComboNoCase, so
// searches ignore letter case.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "corvid/containers/ObjList.h"
#include "corvid/containers/ObjRoot.h"

namespace corvid {

// An object of an unexpected class where a history file must hold a
// particular one (the message names what was found).
CORVID_EXCEPTION(EInvalidCast)

// A new, empty, owning history.
std::unique_ptr<TUnorderedList> NewOpenDatabaseHistory();

// Makes Text the most recent entry of History: an entry equal to it without
// regard to letter case moves to the head and keeps its stored spelling;
// otherwise a new entry with Text goes to the head. Then entries are deleted
// from the tail until at most HistorySize remain.
void AddToOpenDatabaseHistory(TUnorderedList& History, const std::string& Text,
                              std::uint16_t HistorySize);
// Deletes entries from the tail until at most HistorySize remain.
void TrimOpenDatabaseHistory(TUnorderedList& History, std::uint16_t HistorySize);

struct TOpenDatabaseHistories {
  std::string LastDriver;
  std::unique_ptr<TUnorderedList> DatabaseHistory;
  std::unique_ptr<TUnorderedList> ServerHistory;
  std::unique_ptr<TUnorderedList> UserHistory;
};

// Reads the four objects of the history file FileName. A file that cannot
// be opened raises EFOpenError; a damaged one the object stream's error
// (EReadError and kin); an object of another class than the format's, or a
// history of another element class or compare function, EInvalidCast.
// Nothing is returned unless all four were read.
TOpenDatabaseHistories ReadOpenDatabaseHistories(const std::string& FileName);

// Writes the four objects of the history format to FileName, replacing any
// file of that name. The whole file is built in memory first, so a failure
// while writing the objects leaves an existing file as it was.
void WriteOpenDatabaseHistories(const std::string& FileName, const std::string& LastDriver,
                                const TUnorderedList& DatabaseHistory,
                                const TUnorderedList& ServerHistory,
                                const TUnorderedList& UserHistory);

}  // namespace corvid
