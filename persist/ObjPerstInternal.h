// Internals shared by the files of the persistence module.
#pragma once

#include <cstdint>

#include "corvid/containers/ObjRoot.h"
#include "corvid/containers/ObjType.h"

namespace corvid {

// Destroys the hash, compare and class registries, in that order, with
// their entries. Run once at shut-down.
void DestroyRegistries();

// The object a payload procedure works on, as its class. Payload procedures
// are only called by the object stream with an instance of the class they
// are registered for; any other object is the caller's type error and
// raises EInvalidObjectType.
template <class T>
T& PayloadCast(TObject* Obj) {
  if (Obj == nullptr) RaiseInvalidObjectType();
  // The exact class first: the common case, and cheaper than the walk up
  // the class chain.
  const TClass cls = Obj->ClassType();
  if (cls != T::StaticClass() && !cls.InheritsFrom(T::StaticClass())) RaiseInvalidObjectType();
  return static_cast<T&>(*Obj);
}

}  // namespace corvid
