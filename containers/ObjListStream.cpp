// Stream payload of TOrderedList, TUnorderedList and TCircularList: the
// node-container payload (element class, compare function, count, every
// object from first to last).
#include <typeinfo>

#include "corvid/containers/ObjList.h"
#include "corvid/persist/ObjPerst.h"
#include "corvid/persist/ObjPerstInternal.h"

namespace corvid {

void WriteList(TObject* Obj, TObjectWriter& Writer) {
  PayloadCast<TOrderedList>(Obj);
  WriteNodeContainer(Obj, Writer);
}

void ReadList(TObject* Obj, TObjectReader& Reader) {
  TOrderedList& list = PayloadCast<TOrderedList>(Obj);
  list.first_ = nullptr;
  list.last_ = nullptr;
  if (typeid(list) != typeid(TOrderedList)) {
    // Objects go in through the virtual Insert: the unordered lists append
    // them in stream order, and a class derived from the ordered list keeps
    // whatever its own Insert does.
    ReadNodeContainer(Obj, Reader);
    return;
  }
  // The ordered list re-sorts the objects with the compare function just
  // read. They were written first to last, so they usually arrive sorted:
  // looking at the tail first makes that case linear, with the positions
  // (ties included) that Insert gives.
  const std::int32_t n = ReadNodeContainerStart(Obj, Reader);
  TListNode* runStart = nullptr;
  for (std::int32_t i = 0; i < n; ++i) {
    std::unique_ptr<TObject> child = Reader.ReadChildObject();
    list.InsertFromTail(child.get(), runStart);
    child.release();
  }
}

}  // namespace corvid
