#include "corvid/containers/ObjHash.h"

#include <algorithm>
#include <cmath>

namespace corvid {

// ---------------------------------------------------------------------------
// Hash primitives

namespace {

void CheckTableSize(std::int32_t TableSize) {
  if (TableSize < 1) RaiseInvalidArrayCapacity();
}

// The residue of Value in 0..TableSize-1 (floored modulo), as a bucket
// index 1..TableSize.
std::int32_t ResidueIndex(std::int64_t Value, std::int32_t TableSize) {
  std::int64_t r = Value % TableSize;
  if (r < 0) r += TableSize;
  return static_cast<std::int32_t>(r) + 1;
}

// Round to the nearest integer, a half to the even neighbour, whatever the
// current floating-point rounding mode.
long double RoundHalfEven(long double X) {
  const long double lower = std::floor(X);
  const long double diff = X - lower;
  if (diff < 0.5L) return lower;
  if (diff > 0.5L) return lower + 1;
  return std::fmod(lower, 2.0L) == 0 ? lower : lower + 1;
}

}  // namespace

std::int32_t IntegerHash(std::int32_t Value, std::int32_t TableSize) {
  CheckTableSize(TableSize);
  return ResidueIndex(Value, TableSize);
}

std::int32_t StringHash(std::string_view S, std::int32_t TableSize) {
  CheckTableSize(TableSize);
  std::int64_t h = 0;
  const std::size_t n = std::min<std::size_t>(S.size(), 5);
  for (std::size_t i = 0; i < n; ++i) h = h * 23 + static_cast<unsigned char>(S[i]);
  return ResidueIndex(h, TableSize);
}

std::int32_t StringHash2(std::string_view S, std::int32_t TableSize) {
  CheckTableSize(TableSize);
  const std::size_t len = S.size();
  std::size_t step = len / 7;
  if (step == 0) step = 1;
  std::size_t pos = 1;
  std::int64_t h = 0;
  for (int k = 1; k <= 7 && pos <= len; ++k) {
    if (k == 7) pos = len;  // the seventh sample is always the last character
    h = h * 13 + static_cast<unsigned char>(S[pos - 1]);
    pos += step;
  }
  return ResidueIndex(h, TableSize);
}

std::int32_t FloatHash(long double Value, std::int32_t TableSize) {
  CheckTableSize(TableSize);
  if (!std::isfinite(Value)) return 1;
  const long double size = TableSize;
  const long double quotient = std::trunc(Value / size);
  const long double product = quotient * size;
  const long double remainder = Value - product;
  // For ordinary values the rounded remainder lies in -TableSize..TableSize;
  // for huge ones the extended-precision product is inexact and it may lie
  // further out. Either way it is reduced to 0..TableSize-1.
  long double k = std::fmod(RoundHalfEven(remainder), size);
  if (k < 0) k += size;
  if (!(k >= 0 && k < size)) k = 0;
  return static_cast<std::int32_t>(k) + 1;
}

}  // namespace corvid
