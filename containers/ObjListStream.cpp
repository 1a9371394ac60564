// Stream payload of TOrderedList, TUnorderedList and TCircularList: the
// node-container payload (element class, compare function, count, every
// object from first to last).
#include "containers/ObjList.h"
#include "persist/ObjPerst.h"
#include "persist/ObjPerstInternal.h"

namespace corvid {

void WriteList(TObject* Obj, TObjectWriter& Writer) {
  PayloadCast<TOrderedList>(Obj);
  WriteNodeContainer(Obj, Writer);
}

void ReadList(TObject* Obj, TObjectReader& Reader) {
  TOrderedList& list = PayloadCast<TOrderedList>(Obj);
  list.first_ = nullptr;
  list.last_ = nullptr;
  // Objects go in through the virtual Insert: an ordered list re-sorts them
  // with the compare function just read, the others append in stream order.
  ReadNodeContainer(Obj, Reader);
}

}  // namespace corvid
