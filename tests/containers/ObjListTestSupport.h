// Helpers shared by the list, stack and hash table tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "Counted.h"
#include "corvid/containers/ObjList.h"

namespace corvid::test {

// Orders TCounted objects by value; the probe is the left operand.
inline TComparison CompareCounted(const TObject* Left, const TObject* Right) {
  return CompareInteger(static_cast<const TCounted*>(Left)->value,
                        static_cast<const TCounted*>(Right)->value);
}

inline std::int32_t ValueOf(const TObject* Obj) {
  return static_cast<const TCounted*>(Obj)->value;
}

// The values from first to last, through the links toward the last node.
inline std::vector<std::int32_t> Forward(const TOrderedList& List) {
  std::vector<std::int32_t> out;
  for (TObject* obj : List) out.push_back(ValueOf(obj));
  return out;
}

// The values from last to first, through the links toward the first node
// (moves the cursor).
inline std::vector<std::int32_t> Backward(TOrderedList& List) {
  std::vector<std::int32_t> out;
  if (!List.GotoLast()) return out;
  do {
    out.push_back(ValueOf(List.GetCurrentObj()));
  } while (List.GotoPrev());
  return out;
}

// Checks that the live count of TCounted returns to where it started, so a
// leak or a double destruction in a test shows up as a failure of its own.
class CountedTest : public ::testing::Test {
 protected:
  void SetUp() override { startLive_ = TCounted::live; }
  void TearDown() override { EXPECT_EQ(TCounted::live, startLive_); }
  int Live() const { return TCounted::live - startLive_; }

 private:
  int startLive_ = 0;
};

}  // namespace corvid::test
