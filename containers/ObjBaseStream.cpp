// Stream payload pieces shared by the containers: the container part (the
// element class and the compare function, by name) and the node-container
// part (the count and every object as a nested record).
#include "corvid/containers/ObjBase.h"
#include "corvid/persist/ObjPerst.h"
#include "corvid/persist/ObjPerstInternal.h"

namespace corvid {

void WriteContainer(TObject* Obj, TObjectWriter& Writer) {
  TContainer& c = PayloadCast<TContainer>(Obj);
  Writer.WriteString(c.objClass_.Name());
  Writer.WriteString(GetCompareFuncName(c.compareFunc_));
}

void ReadContainer(TObject* Obj, TObjectReader& Reader) {
  TContainer& c = PayloadCast<TContainer>(Obj);
  const std::string className = Reader.ReadString();
  const std::string funcName = Reader.ReadString();
  c.objClass_ = GetRegisteredClass(className);
  c.compareFunc_ = GetCompareFunc(funcName);
  // Ownership is not stored: a container read from a stream owns its
  // objects.
  c.ownership_ = true;
  c.count_ = 0;
}

void WriteNodeContainer(TObject* Obj, TObjectWriter& Writer) {
  TNodeContainer& c = PayloadCast<TNodeContainer>(Obj);
  WriteContainer(Obj, Writer);
  const std::int32_t n = c.GetSize();
  Writer.WriteInteger(n);
  // Exactly n objects in cursor order (a circular list would wrap); the
  // cursor stays on the last one.
  for (std::int32_t i = 0; i < n; ++i) {
    if (i == 0) {
      c.GotoFirst();
    } else {
      c.GotoNext();
    }
    Writer.WriteChildObject(c.current_->Obj);
  }
}

std::int32_t ReadNodeContainerStart(TObject* Obj, TObjectReader& Reader) {
  TNodeContainer& c = PayloadCast<TNodeContainer>(Obj);
  ReadContainer(Obj, Reader);
  const std::int32_t n = Reader.ReadInteger();
  c.current_ = nullptr;
  c.marker_ = nullptr;
  ++c.changes_;
  return n;
}

void ReadNodeContainer(TObject* Obj, TObjectReader& Reader) {
  TNodeContainer& c = PayloadCast<TNodeContainer>(Obj);
  const std::int32_t n = ReadNodeContainerStart(Obj, Reader);
  for (std::int32_t i = 0; i < n; ++i) {
    std::unique_ptr<TObject> child = Reader.ReadChildObject();
    c.Insert(child.get());
    child.release();
  }
}

}  // namespace corvid
