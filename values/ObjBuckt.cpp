#include "corvid/values/ObjBuckt.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <typeinfo>

#include "corvid/containers/ObjHash.h"

namespace corvid {

static_assert(std::numeric_limits<double>::is_iec559, "binary64 doubles are required");
static_assert(std::numeric_limits<float>::is_iec559, "binary32 floats are required");

namespace {

// The little-endian bytes of the low N bytes of Value.
template <std::size_t N>
std::array<std::uint8_t, N> ToLE(std::uint64_t Value) {
  std::array<std::uint8_t, N> bytes{};
  for (std::size_t i = 0; i < N; ++i) bytes[i] = static_cast<std::uint8_t>(Value >> (8 * i));
  return bytes;
}

std::uint64_t FromLE(const std::uint8_t* Bytes, std::size_t N) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < N; ++i) v |= static_cast<std::uint64_t>(Bytes[i]) << (8 * i);
  return v;
}

// The little-endian value of a typed bucket's first Width bytes; a shorter
// block (only from a foreign stream) reads as if zero-padded.
std::uint64_t LoadLE(const TBucket& Bucket, std::size_t Width) {
  return FromLE(Bucket.Data(), Width < Bucket.GetSize() ? Width : Bucket.GetSize());
}

// The checked cast of the compare and hash functions: the runtime's
// invalid-cast error for null or for an object of another class.
template <class T>
const T& Cast(const TObject* Obj) {
  if (Obj == nullptr) throw std::bad_cast();
  return dynamic_cast<const T&>(*Obj);
}

template <class T>
TComparison Order(T Left, T Right) {
  if (Left < Right) return cmpLess;
  if (Right < Left) return cmpGreater;
  return cmpEqual;
}

constexpr int kExtendedBias = 16383;
constexpr std::uint64_t kIntegerBit = 0x8000000000000000ULL;

}  // namespace

// ---------------------------------------------------------------------------
// x87 80-bit extended format

void LongDoubleToExtended80(long double Value, std::uint8_t (&Bytes)[10]) {
  const bool negative = std::signbit(Value);
  std::uint16_t exponent = 0;
  std::uint64_t mantissa = 0;
  if (std::isnan(Value)) {
    exponent = 0x7FFF;
    mantissa = 0xC000000000000000ULL;  // quiet NaN
  } else if (std::isinf(Value)) {
    exponent = 0x7FFF;
    mantissa = kIntegerBit;
  } else if (Value != 0.0L) {
    int e = 0;
    // |Value| = m * 2^e with m in [0.5, 1); the x87 significand holds m * 2^64
    // (integer bit set) and the unbiased exponent is e - 1.
    const long double m = std::frexp(std::fabs(Value), &e);
    int biased = e - 1 + kExtendedBias;
    if (biased >= 0x7FFF) {
      exponent = 0x7FFF;  // beyond the format's range: infinity
      mantissa = kIntegerBit;
    } else if (biased >= 1) {
      long double scaled = std::rint(std::ldexp(m, 64));
      if (scaled >= 18446744073709551616.0L) {  // rounding carried into 2^64
        scaled /= 2;
        ++biased;
      }
      if (biased >= 0x7FFF) {
        exponent = 0x7FFF;
        mantissa = kIntegerBit;
      } else {
        exponent = static_cast<std::uint16_t>(biased);
        mantissa = static_cast<std::uint64_t>(scaled);
      }
    } else {
      // Denormal: value = mantissa * 2^(1 - 16383 - 63), exponent field 0.
      // Rounding may carry into the integer bit, which then reads as the
      // smallest normal number, as it should.
      const long double scaled = std::rint(std::ldexp(std::fabs(Value), kExtendedBias - 1 + 63));
      mantissa = static_cast<std::uint64_t>(scaled);
      if (mantissa & kIntegerBit) exponent = 1;
    }
  }
  if (negative) exponent |= 0x8000;
  const auto lo = ToLE<8>(mantissa);
  std::memcpy(Bytes, lo.data(), 8);
  Bytes[8] = static_cast<std::uint8_t>(exponent);
  Bytes[9] = static_cast<std::uint8_t>(exponent >> 8);
}

long double Extended80ToLongDouble(const std::uint8_t (&Bytes)[10]) {
  const std::uint64_t mantissa = FromLE(Bytes, 8);
  const std::uint16_t signExp = static_cast<std::uint16_t>(Bytes[8] | (Bytes[9] << 8));
  const bool negative = (signExp & 0x8000) != 0;
  const int exponent = signExp & 0x7FFF;
  long double v;
  if (exponent == 0x7FFF) {
    v = (mantissa << 1) == 0 ? std::numeric_limits<long double>::infinity()
                             : std::numeric_limits<long double>::quiet_NaN();
  } else if (exponent == 0) {
    // Denormals (and pseudo-denormals with the integer bit set).
    v = std::ldexp(static_cast<long double>(mantissa), 1 - kExtendedBias - 63);
  } else if ((mantissa & kIntegerBit) == 0) {
    v = std::numeric_limits<long double>::quiet_NaN();  // unnormal
  } else {
    v = std::ldexp(static_cast<long double>(mantissa), exponent - kExtendedBias - 63);
  }
  return negative ? -v : v;
}

TCurrency TCurrency::FromDouble(double Amount) {
  return TCurrency{static_cast<std::int64_t>(std::llround(Amount * 10000.0))};
}

// ---------------------------------------------------------------------------
// TBucket

TBucket::TBucket(std::uint16_t Size) {
  Allocate(Size);
}

TBucket::TBucket(std::uint16_t Size, const void* Source) {
  Allocate(Size);
  if (Size > 0) std::memcpy(data_.get(), Source, Size);
}

void TBucket::Allocate(std::uint16_t Size) {
  data_ = Size > 0 ? std::make_unique<std::uint8_t[]>(Size) : nullptr;  // zero-filled
  size_ = Size;
}

void TBucket::SetData(const void* Source) {
  if (size_ > 0) std::memcpy(data_.get(), Source, size_);
}

void TBucket::GetData(void* Dest) const {
  if (size_ > 0) std::memcpy(Dest, data_.get(), size_);
}

void TBucket::ReadValue(void* Dest, std::size_t Width) const {
  const std::size_t n = Width < size_ ? Width : size_;
  if (n > 0) std::memcpy(Dest, data_.get(), n);
  if (n < Width) std::memset(static_cast<std::uint8_t*>(Dest) + n, 0, Width - n);
}

// ---------------------------------------------------------------------------
// Typed buckets: each stores its value little-endian in its own width.

TShortIntBucket::TShortIntBucket(std::int8_t Value)
    : TBucket(1, ToLE<1>(static_cast<std::uint8_t>(Value)).data()) {}
std::int8_t TShortIntBucket::GetShortInt() const {
  return static_cast<std::int8_t>(LoadLE(*this, 1));
}

TIntegerBucket::TIntegerBucket(std::int32_t Value)
    : TBucket(4, ToLE<4>(static_cast<std::uint32_t>(Value)).data()) {}
std::int32_t TIntegerBucket::GetInteger() const {
  return static_cast<std::int32_t>(LoadLE(*this, 4));
}

TLongIntBucket::TLongIntBucket(std::int32_t Value)
    : TBucket(4, ToLE<4>(static_cast<std::uint32_t>(Value)).data()) {}
std::int32_t TLongIntBucket::GetLongInt() const {
  return static_cast<std::int32_t>(LoadLE(*this, 4));
}

TByteBucket::TByteBucket(std::uint8_t Value) : TBucket(1, ToLE<1>(Value).data()) {}
std::uint8_t TByteBucket::GetByte() const {
  return static_cast<std::uint8_t>(LoadLE(*this, 1));
}

TWordBucket::TWordBucket(std::uint16_t Value) : TBucket(2, ToLE<2>(Value).data()) {}
std::uint16_t TWordBucket::GetWord() const {
  return static_cast<std::uint16_t>(LoadLE(*this, 2));
}

TCharBucket::TCharBucket(char Value)
    : TBucket(1, ToLE<1>(static_cast<unsigned char>(Value)).data()) {}
char TCharBucket::GetChar() const {
  return static_cast<char>(LoadLE(*this, 1));
}

TBooleanBucket::TBooleanBucket(bool Value) : TBucket(1, ToLE<1>(Value ? 1 : 0).data()) {}
bool TBooleanBucket::GetBoolean() const {
  return LoadLE(*this, 1) != 0;
}

TWordBoolBucket::TWordBoolBucket(bool Value) : TBucket(2, ToLE<2>(Value ? 0xFFFF : 0).data()) {}
bool TWordBoolBucket::GetWordBool() const {
  return LoadLE(*this, 2) != 0;
}

TLongBoolBucket::TLongBoolBucket(bool Value)
    : TBucket(4, ToLE<4>(Value ? 0xFFFFFFFFu : 0).data()) {}
bool TLongBoolBucket::GetLongBool() const {
  return LoadLE(*this, 4) != 0;
}

TRealBucket::TRealBucket(double Value)
    : TBucket(8, ToLE<8>(std::bit_cast<std::uint64_t>(Value)).data()) {}
double TRealBucket::GetReal() const {
  return std::bit_cast<double>(LoadLE(*this, 8));
}

TSingleBucket::TSingleBucket(float Value)
    : TBucket(4, ToLE<4>(std::bit_cast<std::uint32_t>(Value)).data()) {}
float TSingleBucket::GetSingle() const {
  return std::bit_cast<float>(static_cast<std::uint32_t>(LoadLE(*this, 4)));
}

TDoubleBucket::TDoubleBucket(double Value)
    : TBucket(8, ToLE<8>(std::bit_cast<std::uint64_t>(Value)).data()) {}
double TDoubleBucket::GetDouble() const {
  return std::bit_cast<double>(LoadLE(*this, 8));
}

TExtendedBucket::TExtendedBucket(long double Value) : TBucket(10) {
  std::uint8_t bytes[10];
  LongDoubleToExtended80(Value, bytes);
  SetData(bytes);
}
long double TExtendedBucket::GetExtended() const {
  std::uint8_t bytes[10];
  ReadValue(bytes, 10);
  return Extended80ToLongDouble(bytes);
}

TCompBucket::TCompBucket(std::int64_t Value)
    : TBucket(8, ToLE<8>(static_cast<std::uint64_t>(Value)).data()) {}
std::int64_t TCompBucket::GetComp() const {
  return static_cast<std::int64_t>(LoadLE(*this, 8));
}

TCurrencyBucket::TCurrencyBucket(TCurrency Value)
    : TBucket(8, ToLE<8>(static_cast<std::uint64_t>(Value.Scaled)).data()) {}
TCurrency TCurrencyBucket::GetCurrency() const {
  return TCurrency::FromScaled(static_cast<std::int64_t>(LoadLE(*this, 8)));
}

TDateTimeBucket::TDateTimeBucket(TDateTime Value)
    : TBucket(8, ToLE<8>(std::bit_cast<std::uint64_t>(Value)).data()) {}
TDateTime TDateTimeBucket::GetDateTime() const {
  return std::bit_cast<double>(LoadLE(*this, 8));
}

// ---------------------------------------------------------------------------
// Compare functions

TComparison CompareShortIntBucket(const TObject* Left, const TObject* Right) {
  return Order(Cast<TShortIntBucket>(Left).GetShortInt(),
               Cast<TShortIntBucket>(Right).GetShortInt());
}

TComparison CompareIntegerBucket(const TObject* Left, const TObject* Right) {
  return Order(Cast<TIntegerBucket>(Left).GetInteger(), Cast<TIntegerBucket>(Right).GetInteger());
}

TComparison CompareLongIntBucket(const TObject* Left, const TObject* Right) {
  return Order(Cast<TLongIntBucket>(Left).GetLongInt(), Cast<TLongIntBucket>(Right).GetLongInt());
}

TComparison CompareByteBucket(const TObject* Left, const TObject* Right) {
  return Order(Cast<TByteBucket>(Left).GetByte(), Cast<TByteBucket>(Right).GetByte());
}

TComparison CompareWordBucket(const TObject* Left, const TObject* Right) {
  return Order(Cast<TWordBucket>(Left).GetWord(), Cast<TWordBucket>(Right).GetWord());
}

TComparison CompareCharBucket(const TObject* Left, const TObject* Right) {
  return Order(static_cast<unsigned char>(Cast<TCharBucket>(Left).GetChar()),
               static_cast<unsigned char>(Cast<TCharBucket>(Right).GetChar()));
}

TComparison CompareBooleanBucket(const TObject* Left, const TObject* Right) {
  // By the stored byte, so a foreign true of 255 orders after a true of 1.
  const auto& l = Cast<TBooleanBucket>(Left);
  const auto& r = Cast<TBooleanBucket>(Right);
  const std::uint8_t lb = l.GetSize() > 0 ? l.Data()[0] : 0;
  const std::uint8_t rb = r.GetSize() > 0 ? r.Data()[0] : 0;
  return Order(lb, rb);
}

TComparison CompareWordBoolBucket(const TObject* Left, const TObject* Right) {
  return Order(Cast<TWordBoolBucket>(Left).GetWordBool(),
               Cast<TWordBoolBucket>(Right).GetWordBool());
}

TComparison CompareLongBoolBucket(const TObject* Left, const TObject* Right) {
  return Order(Cast<TLongBoolBucket>(Left).GetLongBool(),
               Cast<TLongBoolBucket>(Right).GetLongBool());
}

TComparison CompareRealBucket(const TObject* Left, const TObject* Right) {
  return CompareReal(Cast<TRealBucket>(Left).GetReal(), Cast<TRealBucket>(Right).GetReal());
}

TComparison CompareSingleBucket(const TObject* Left, const TObject* Right) {
  return CompareReal(Cast<TSingleBucket>(Left).GetSingle(), Cast<TSingleBucket>(Right).GetSingle());
}

TComparison CompareDoubleBucket(const TObject* Left, const TObject* Right) {
  return CompareReal(Cast<TDoubleBucket>(Left).GetDouble(), Cast<TDoubleBucket>(Right).GetDouble());
}

TComparison CompareExtendedBucket(const TObject* Left, const TObject* Right) {
  return CompareReal(Cast<TExtendedBucket>(Left).GetExtended(),
                     Cast<TExtendedBucket>(Right).GetExtended());
}

TComparison CompareCompBucket(const TObject* Left, const TObject* Right) {
  return Order(Cast<TCompBucket>(Left).GetComp(), Cast<TCompBucket>(Right).GetComp());
}

TComparison CompareCurrencyBucket(const TObject* Left, const TObject* Right) {
  return Order(Cast<TCurrencyBucket>(Left).GetCurrency().Scaled,
               Cast<TCurrencyBucket>(Right).GetCurrency().Scaled);
}

TComparison CompareDateTimeBucket(const TObject* Left, const TObject* Right) {
  return CompareDateTime(Cast<TDateTimeBucket>(Left).GetDateTime(),
                         Cast<TDateTimeBucket>(Right).GetDateTime());
}

// ---------------------------------------------------------------------------
// Hash functions

std::int32_t HashShortIntBucket(const TObject* Obj, std::int32_t TableSize) {
  return IntegerHash(Cast<TShortIntBucket>(Obj).GetShortInt(), TableSize);
}

std::int32_t HashIntegerBucket(const TObject* Obj, std::int32_t TableSize) {
  return IntegerHash(Cast<TIntegerBucket>(Obj).GetInteger(), TableSize);
}

std::int32_t HashLongIntBucket(const TObject* Obj, std::int32_t TableSize) {
  return IntegerHash(Cast<TLongIntBucket>(Obj).GetLongInt(), TableSize);
}

std::int32_t HashByteBucket(const TObject* Obj, std::int32_t TableSize) {
  return IntegerHash(Cast<TByteBucket>(Obj).GetByte(), TableSize);
}

std::int32_t HashWordBucket(const TObject* Obj, std::int32_t TableSize) {
  return IntegerHash(Cast<TWordBucket>(Obj).GetWord(), TableSize);
}

std::int32_t HashCharBucket(const TObject* Obj, std::int32_t TableSize) {
  return IntegerHash(static_cast<unsigned char>(Cast<TCharBucket>(Obj).GetChar()), TableSize);
}

std::int32_t HashRealBucket(const TObject* Obj, std::int32_t TableSize) {
  return FloatHash(Cast<TRealBucket>(Obj).GetReal(), TableSize);
}

std::int32_t HashSingleBucket(const TObject* Obj, std::int32_t TableSize) {
  return FloatHash(Cast<TSingleBucket>(Obj).GetSingle(), TableSize);
}

std::int32_t HashDoubleBucket(const TObject* Obj, std::int32_t TableSize) {
  return FloatHash(Cast<TDoubleBucket>(Obj).GetDouble(), TableSize);
}

std::int32_t HashExtendedBucket(const TObject* Obj, std::int32_t TableSize) {
  return FloatHash(Cast<TExtendedBucket>(Obj).GetExtended(), TableSize);
}

std::int32_t HashCompBucket(const TObject* Obj, std::int32_t TableSize) {
  return FloatHash(static_cast<long double>(Cast<TCompBucket>(Obj).GetComp()), TableSize);
}

std::int32_t HashCurrencyBucket(const TObject* Obj, std::int32_t TableSize) {
  const std::int64_t scaled = Cast<TCurrencyBucket>(Obj).GetCurrency().Scaled;
  return FloatHash(static_cast<long double>(scaled) / 10000.0L, TableSize);
}

std::int32_t HashDateTimeBucket(const TObject* Obj, std::int32_t TableSize) {
  return FloatHash(Cast<TDateTimeBucket>(Obj).GetDateTime(), TableSize);
}

// ---------------------------------------------------------------------------
// String combos

TStringCombo::~TStringCombo() {
  if (OwnsObj) delete Obj;
}

TComparison CompareStringCombo(const TObject* Left, const TObject* Right) {
  return CompareString(Cast<TStringCombo>(Left).Str, Cast<TStringCombo>(Right).Str);
}

TComparison CompareStringComboNoCase(const TObject* Left, const TObject* Right) {
  return CompareStringNoCase(Cast<TStringCombo>(Left).Str, Cast<TStringCombo>(Right).Str);
}

std::int32_t HashStringCombo(const TObject* Obj, std::int32_t TableSize) {
  return StringHash(Cast<TStringCombo>(Obj).Str, TableSize);
}

std::int32_t HashStringCombo2(const TObject* Obj, std::int32_t TableSize) {
  return StringHash2(Cast<TStringCombo>(Obj).Str, TableSize);
}

}  // namespace corvid
