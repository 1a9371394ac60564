// Stream payload of TArray: the container part, Count, Capacity, Delta,
// Sorted, then the elements 1..Count as nested records.
#include "corvid/containers/ObjArray.h"
#include "corvid/persist/ObjPerst.h"
#include "corvid/persist/ObjPerstInternal.h"

namespace corvid {

void WriteArray(TObject* Obj, TObjectWriter& Writer) {
  TArray& array = PayloadCast<TArray>(Obj);
  WriteContainer(Obj, Writer);
  const TArrayIndex n = array.count_;
  Writer.WriteInteger(n);
  Writer.WriteInteger(array.capacity_);
  Writer.WriteInteger(array.delta_);
  Writer.WriteBoolean(array.sorted_);
  for (TArrayIndex i = 0; i < n; ++i) Writer.WriteChildObject(array.items_[i]);
}

void ReadArray(TObject* Obj, TObjectReader& Reader) {
  TArray& array = PayloadCast<TArray>(Obj);
  ReadContainer(Obj, Reader);
  const TArrayIndex n = Reader.ReadInteger();
  const TArrayIndex capacity = Reader.ReadInteger();
  const TArrayIndex delta = Reader.ReadInteger();
  const bool sorted = Reader.ReadBoolean();
  if (capacity < 1 || capacity > MaxArrayIndex) RaiseInvalidArrayCapacity();
  // Any capacity is taken as it is: the array allocates slots in advance
  // only up to a fixed number and beyond that as the elements arrive, so a
  // damaged stream costs memory only for elements it really holds.
  array.delta_ = delta;
  array.SetCapacity(capacity);
  array.sorted_ = sorted;
  // Insert re-checks Sorted against the compare function as each arrives.
  for (TArrayIndex i = 0; i < n; ++i) {
    std::unique_ptr<TObject> child = Reader.ReadChildObject();
    array.Insert(child.get());
    child.release();
  }
}

}  // namespace corvid
