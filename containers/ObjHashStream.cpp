// Stream payload of THashTable: the container part, Count, the hash
// function's registered name, TableSize, then every object as a nested
// record, bucket by bucket.
#include "corvid/containers/ObjHash.h"
#include "corvid/persist/ObjPerst.h"
#include "corvid/persist/ObjPerstInternal.h"

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
  // Any size is taken as it is: a bucket's list is made only when an object
  // arrives for it, so a damaged stream costs memory only for the objects it
  // really holds (and a directory entry per 1024 buckets).
  table.CreateBuckets(size);
  // Every object is re-hashed with the function just read.
  for (std::int32_t i = 0; i < n; ++i) {
    std::unique_ptr<TObject> child = Reader.ReadChildObject();
    table.Insert(child.get());
    child.release();
  }
}

}  // namespace corvid
