// Stream payload of THashTable: the container part, Count, the hash
// function's registered name, TableSize, then every object as a nested
// record, bucket by bucket.
#include "containers/ObjHash.h"
#include "persist/ObjPerst.h"
#include "persist/ObjPerstInternal.h"

namespace corvid {

namespace {

void WriteOne(TObject* Obj, std::intptr_t CallBackData) {
  reinterpret_cast<TObjectWriter*>(CallBackData)->WriteChildObject(Obj);
}

}  // namespace

void WriteHashTable(TObject* Obj, TObjectWriter& Writer) {
  THashTable& table = PayloadCast<THashTable>(Obj);
  WriteContainer(Obj, Writer);
  Writer.WriteInteger(table.count_);
  Writer.WriteString(GetHashFuncName(table.hashFunc_));
  Writer.WriteInteger(table.tableSize_);
  table.ForEachCallProc(WriteOne, reinterpret_cast<std::intptr_t>(&Writer));
}

void ReadHashTable(TObject* Obj, TObjectReader& Reader) {
  THashTable& table = PayloadCast<THashTable>(Obj);
  ReadContainer(Obj, Reader);
  const std::int32_t n = Reader.ReadInteger();
  table.hashFunc_ = GetHashFunc(Reader.ReadString());
  const std::int32_t size = Reader.ReadInteger();
  if (size < 1) RaiseInvalidArrayCapacity();
  // Every bucket is a list made before any object is read: refuse a table
  // size that the rest of the stream cannot justify.
  if (size > FreeAllocationCount && size > Reader.Remaining()) RaiseReadError();
  table.CreateBuckets(size);
  // Every object is re-hashed with the function just read.
  for (std::int32_t i = 0; i < n; ++i) {
    std::unique_ptr<TObject> child = Reader.ReadChildObject();
    table.Insert(child.get());
    child.release();
  }
}

}  // namespace corvid
