/// @file
/// Three-valued comparison, the compare-function signature every container is
/// configured with, constant compare functions and scalar primitives.
#pragma once

#include <cstdint>
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

/// cmpLess <-> cmpGreater; anything else gives cmpEqual.
TComparison NegateComparison(TComparison C);

}  // namespace corvid
