// Stream payload of TStack: the container part, then the stack's list as
// one nested TUnorderedList record (top of the stack first).
#include "corvid/containers/ObjStack.h"
#include "corvid/persist/ObjPerst.h"
#include "corvid/persist/ObjPerstInternal.h"

namespace corvid {

void WriteStack(TObject* Obj, TObjectWriter& Writer) {
  TStack& stack = PayloadCast<TStack>(Obj);
  WriteContainer(Obj, Writer);
  Writer.WriteChildObject(stack.list_.get());
}

void ReadStack(TObject* Obj, TObjectReader& Reader) {
  TStack& stack = PayloadCast<TStack>(Obj);
  ReadContainer(Obj, Reader);
  std::unique_ptr<TObject> child = Reader.ReadChildObject();
  // The list must be an unordered list of the stack's own element class;
  // anything else would break the stack's type guarantee.
  if (!child || !child->Is<TUnorderedList>() ||
      static_cast<TUnorderedList*>(child.get())->ObjClass() != stack.ObjClass()) {
    RaiseInvalidObjectType();
  }
  stack.list_.reset(static_cast<TUnorderedList*>(child.release()));
}

}  // namespace corvid
