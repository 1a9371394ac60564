// A test class that counts its live instances, to prove ownership rules:
// with ownership off nothing is destroyed, with it on each object exactly
// once.
#pragma once

#include <cstdint>

#include "corvid/containers/ObjRoot.h"

namespace corvid::test {

class TCounted : public TObject {
  CORVID_CLASS(TCounted, ::corvid::TObject)
 public:
  TCounted() : value(0) { ++live; }
  explicit TCounted(std::int32_t v) : value(v) { ++live; }
  ~TCounted() override { --live; }

  std::int32_t value;
  static inline int live = 0;
};

// A descendant, to check that containers accept subclasses of their class.
class TCountedChild : public TCounted {
  CORVID_CLASS(TCountedChild, ::corvid::test::TCounted)
 public:
  using TCounted::TCounted;
};

// An unrelated class, refused by containers declared for TCounted.
class TUnrelated : public TObject {
  CORVID_CLASS(TUnrelated, ::corvid::TObject)
};

}  // namespace corvid::test
