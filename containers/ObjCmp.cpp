#include "corvid/containers/ObjCmp.h"

#include <cmath>

namespace corvid {
namespace {

// Upper-case folding of an 8-bit character: ASCII letters, and the letters
// of the Latin-1 range (shared by Windows-1252), except the multiplication
// and division signs and the two letters without an upper-case form there.
unsigned char FoldUpper(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 32);
  return c;
}

}  // namespace

TComparison CompareEqual(const TObject*, const TObject*) {
  return cmpEqual;
}
TComparison CompareLess(const TObject*, const TObject*) {
  return cmpLess;
}
TComparison CompareGreater(const TObject*, const TObject*) {
  return cmpGreater;
}

TComparison CompareInteger(std::int32_t Left, std::int32_t Right) {
  if (Left < Right) return cmpLess;
  if (Left > Right) return cmpGreater;
  return cmpEqual;
}

TComparison CompareReal(long double Left, long double Right) {
  if (std::isnan(Left) || std::isnan(Right)) return cmpGreater;
  if (Left < Right) return cmpLess;
  if (Left > Right) return cmpGreater;
  return cmpEqual;
}

TComparison CompareDateTime(double Left, double Right) {
  return CompareReal(static_cast<long double>(Left), static_cast<long double>(Right));
}

TComparison CompareString(std::string_view Left, std::string_view Right) {
  int c = Left.compare(Right);
  return c < 0 ? cmpLess : (c > 0 ? cmpGreater : cmpEqual);
}

TComparison CompareStringNoCase(std::string_view Left, std::string_view Right) {
  const std::size_t n = Left.size() < Right.size() ? Left.size() : Right.size();
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char a = FoldUpper(static_cast<unsigned char>(Left[i]));
    unsigned char b = FoldUpper(static_cast<unsigned char>(Right[i]));
    if (a != b) return a < b ? cmpLess : cmpGreater;
  }
  if (Left.size() == Right.size()) return cmpEqual;
  return Left.size() < Right.size() ? cmpLess : cmpGreater;
}

TComparison NegateComparison(TComparison C) {
  if (C == cmpLess) return cmpGreater;
  if (C == cmpGreater) return cmpLess;
  return cmpEqual;
}

}  // namespace corvid
