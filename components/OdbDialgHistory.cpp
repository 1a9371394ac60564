#include "corvid/components/OdbDialgHistory.h"

#include "corvid/persist/ObjPerst.h"
#include "corvid/persist/Streams.h"
#include "corvid/values/ObjBuckt.h"

namespace corvid {

std::unique_ptr<TUnorderedList> NewOpenDatabaseHistory() {
  return std::make_unique<TUnorderedList>(TStringCombo::StaticClass(), CompareStringComboNoCase);
}

void AddToOpenDatabaseHistory(TUnorderedList& History, const std::string& Text,
                              std::uint16_t HistorySize) {
  const TStringCombo probe(Text);
  if (History.Search(&probe)) {
    // Detached and put back at the head: the stored combo, with its spelling.
    TObject* found = History.DetachCurrent();
    History.InsertAtHead(found);
  } else {
    auto entry = std::make_unique<TStringCombo>(Text);
    History.InsertAtHead(entry.get());
    entry.release();
  }
  TrimOpenDatabaseHistory(History, HistorySize);
}

void TrimOpenDatabaseHistory(TUnorderedList& History, std::uint16_t HistorySize) {
  while (History.GetSize() > HistorySize) {
    History.GotoLast();
    History.DeleteCurrent();
  }
}

namespace {

std::string FoundName(const TObject* Obj) {
  return Obj == nullptr ? std::string(NilObjectName) : std::string(Obj->ClassName());
}

std::string ReadLastDriver(TObjectStream& Stream) {
  const std::unique_ptr<TObject> obj = Stream.ReadObject();
  if (obj == nullptr || !obj->Is<TStringCombo>()) {
    throw EInvalidCast("Invalid class typecast : " + FoundName(obj.get()));
  }
  return static_cast<const TStringCombo&>(*obj).Str;
}

std::unique_ptr<TUnorderedList> ReadHistory(TObjectStream& Stream) {
  std::unique_ptr<TObject> obj = Stream.ReadObject();
  if (obj == nullptr || !obj->Is<TUnorderedList>()) {
    throw EInvalidCast("Invalid class typecast : " + FoundName(obj.get()));
  }
  std::unique_ptr<TUnorderedList> list(static_cast<TUnorderedList*>(obj.release()));
  // The list has checked every entry against its element class, so these
  // two checks make every entry a combo that is searched without case.
  if (!list->ObjClass().InheritsFrom(TStringCombo::StaticClass())) {
    throw EInvalidCast("Invalid class typecast : a history of " +
                       std::string(list->ObjClass().Name()));
  }
  if (list->CompareFunc() != CompareStringComboNoCase) {
    throw EInvalidCast("Invalid class typecast : a history compared by " +
                       GetCompareFuncName(list->CompareFunc()));
  }
  return list;
}

}  // namespace

TOpenDatabaseHistories ReadOpenDatabaseHistories(const std::string& FileName) {
  TObjectStream stream(FileName, fmOpenRead);
  TOpenDatabaseHistories result;
  result.LastDriver = ReadLastDriver(stream);
  result.DatabaseHistory = ReadHistory(stream);
  result.ServerHistory = ReadHistory(stream);
  result.UserHistory = ReadHistory(stream);
  return result;
}

void WriteOpenDatabaseHistories(const std::string& FileName, const std::string& LastDriver,
                                const TUnorderedList& DatabaseHistory,
                                const TUnorderedList& ServerHistory,
                                const TUnorderedList& UserHistory) {
  TMemoryStream memory;
  {
    TObjectStream stream(&memory, false);
    const TStringCombo lastDriver(LastDriver);
    stream.WriteObject(&lastDriver);
    stream.WriteObject(&DatabaseHistory);
    stream.WriteObject(&ServerHistory);
    stream.WriteObject(&UserHistory);
  }
  memory.SaveToFile(FileName);
}

}  // namespace corvid
