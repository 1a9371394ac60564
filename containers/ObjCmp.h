/// @file
/// Three-valued comparison, the compare-function signature every container is
/// configured with, constant compare functions and scalar primitives.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#include "corvid/containers/ObjRoot.h"

namespace corvid {

/// The ordinals are stored and relied on: searches treat the two lowest
/// (equal, less) together as "not greater".
enum TComparison : std::uint8_t { cmpEqual = 0, cmpLess = 1, cmpGreater = 2 };

/// Compares Left with Right. Each container states which operand is its probe.
using TCompareFunc = TComparison (*)(const TObject* Left, const TObject* Right);

/// Constant compare functions for containers that never order or search.
TComparison CompareEqual(const TObject* Left, const TObject* Right);
TComparison CompareLess(const TObject* Left, const TObject* Right);
TComparison CompareGreater(const TObject* Left, const TObject* Right);

TComparison CompareInteger(std::int32_t Left, std::int32_t Right);
/// Extended-precision compare; a NaN on either side gives cmpGreater.
TComparison CompareReal(long double Left, long double Right);
/// Date-time values are day counts; compared as CompareReal.
TComparison CompareDateTime(double Left, double Right);
/// String collation. Strings are 8-bit text in the system code page, so the
/// collation is byte order (unsigned), which is the same for every locale and
/// consistent between the two functions: CompareStringNoCase folds ASCII
/// letters and the letters of the 8-bit code page before comparing.
TComparison CompareString(std::string_view Left, std::string_view Right);
TComparison CompareStringNoCase(std::string_view Left, std::string_view Right);

/// Whether the N bytes at A and at B are the same, for N up to 16: two
/// overlapping words are compared instead of a loop byte by byte, so that
/// names of different lengths cost the same (the loop's exit was a branch
/// mispredicted on most look-ups of field and class names), and nothing is
/// called.
inline bool SameBytesUpTo16(const char* A, const char* B, std::size_t N) {
  const auto differ8 = [](const char* X, const char* Y) {
    std::uint64_t x, y;
    std::memcpy(&x, X, 8);
    std::memcpy(&y, Y, 8);
    return x ^ y;
  };
  const auto differ4 = [](const char* X, const char* Y) {
    std::uint32_t x, y;
    std::memcpy(&x, X, 4);
    std::memcpy(&y, Y, 4);
    return x ^ y;
  };
  if (N >= 8) return (differ8(A, B) | differ8(A + N - 8, B + N - 8)) == 0;
  if (N >= 4) return (differ4(A, B) | differ4(A + N - 4, B + N - 4)) == 0;
  if (N == 0) return true;
  return A[0] == B[0] && A[N / 2] == B[N / 2] && A[N - 1] == B[N - 1];
}
/// Whether the N bytes at A and at B are the same (SameBytesUpTo16 for
/// short runs, memcmp for longer ones).
inline bool SameShortBytes(const char* A, const char* B, std::size_t N) {
  return N > 16 ? std::memcmp(A, B, N) == 0 : SameBytesUpTo16(A, B, N);
}

/// Whether A and B hold the same bytes (SameShortBytes after the sizes).
inline bool SameBytes(std::string_view A, std::string_view B) {
  return A.size() == B.size() && SameShortBytes(A.data(), B.data(), A.size());
}

/// cmpLess <-> cmpGreater; anything else gives cmpEqual.
TComparison NegateComparison(TComparison C);

}  // namespace corvid
