/// @file
/// Value buckets and string combos: plain values and strings wrapped as
/// objects so that they can live in containers, be ordered by a compare
/// function, be placed by a hash function and travel through object streams.
///
/// TBucket owns a block of up to 65,535 bytes. The sixteen typed buckets fix
/// the block's width to one primitive type and store the value in
/// little-endian byte order in the type's own layout, the same on every
/// platform:
///   TShortIntBucket 1, TIntegerBucket 4, TLongIntBucket 4, TByteBucket 1,
///   TWordBucket 2, TCharBucket 1, TBooleanBucket 1, TWordBoolBucket 2,
///   TLongBoolBucket 4, TRealBucket 8 (binary64), TSingleBucket 4 (binary32),
///   TDoubleBucket 8 (binary64), TExtendedBucket 10 (x87 80-bit extended:
///   64-bit significand with explicit integer bit, then sign and 15-bit
///   exponent biased by 16383), TCompBucket 8 (signed 64-bit integer),
///   TCurrencyBucket 8 (signed 64-bit count of ten-thousandths),
///   TDateTimeBucket 8 (binary64 day count).
/// A typed getter never reads beyond the block: a block shorter than the
/// width (only possible from a foreign stream) reads as if zero-padded.
///
/// Compare and hash functions take any TObject and cast it to their bucket
/// class; an object of another class (or null) throws std::bad_cast, the
/// runtime's invalid-cast error, and changes nothing.
///
/// TStringCombo pairs a string with an optional object, freed by the combo
/// when OwnsObj is true.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "corvid/containers/ObjCmp.h"
#include "corvid/containers/ObjRoot.h"

namespace corvid {

class TObjectReader;
class TObjectWriter;

/// A date-time value: days since 1899-12-30, the fraction being the time.
using TDateTime = double;

/// A fixed-point currency amount kept as a count of ten-thousandths.
struct TCurrency {
  std::int64_t Scaled = 0;  // the amount times 10,000

  static constexpr TCurrency FromScaled(std::int64_t Scaled) { return TCurrency{Scaled}; }
  /// Rounds to the nearest ten-thousandth (half away from zero).
  static TCurrency FromDouble(double Amount);
  double ToDouble() const { return static_cast<double>(Scaled) / 10000.0; }
  friend bool operator==(TCurrency a, TCurrency b) { return a.Scaled == b.Scaled; }
};

/// Conversion between the platform's widest floating type and the 10 bytes
/// of the x87 80-bit extended format (little-endian: bytes 0-7 significand,
/// bytes 8-9 sign and exponent). Exact where long double has at least 64
/// significand bits; otherwise rounded to nearest. Infinities and NaNs are
/// kept; unnormal encodings (integer bit clear with a non-zero exponent)
/// load as NaN, as the x87 loads them.
void LongDoubleToExtended80(long double Value, std::uint8_t (&Bytes)[10]);
long double Extended80ToLongDouble(const std::uint8_t (&Bytes)[10]);

/// An owned block of Size bytes (0 to 65,535). A bucket of size 0 holds no
/// block. The size never changes after construction.
class TBucket : public TObject {
  CORVID_CLASS(TBucket, ::corvid::TObject)
 public:
  /// A block of Size zero bytes.
  explicit TBucket(std::uint16_t Size);
  /// A block of Size bytes copied from Source (which may be null only when
  /// Size is 0).
  TBucket(std::uint16_t Size, const void* Source);
  ~TBucket() override = default;
  TBucket(const TBucket&) = delete;
  TBucket& operator=(const TBucket&) = delete;

  /// Copies Size bytes from Source into the block.
  void SetData(const void* Source);
  /// Copies Size bytes from the block into Dest.
  void GetData(void* Dest) const;
  std::uint16_t GetSize() const { return size_; }
  /// The block itself (null when Size is 0).
  const std::uint8_t* Data() const { return data_.get(); }

 protected:
  /// Blank instance for the object stream: size 0, no block.
  explicit TBucket(TBlank) {}
  /// Replaces the block by a new one of Size zero bytes. Used by the stream
  /// reader on a blank instance before it reads the bytes into Block().
  void Allocate(std::uint16_t Size);
  std::uint8_t* Block() { return data_.get(); }
  /// Copies min(Size, Width) bytes into Dest and zero-fills the rest.
  void ReadValue(void* Dest, std::size_t Width) const;

  std::unique_ptr<std::uint8_t[]> data_;
  std::uint16_t size_ = 0;

  friend void ReadBucket(TObject* Obj, TObjectReader& Reader);
  friend void WriteBucket(TObject* Obj, TObjectWriter& Writer);
};

/// Declares the blank constructor of a typed bucket (private; the class
/// factory is a friend).
#define CORVID_BUCKET_BLANK(Name) \
 private:                         \
  explicit Name(::corvid::TBlank b) : TBucket(b) {}

/// A signed 8-bit integer, 1 byte.
class TShortIntBucket : public TBucket {
  CORVID_CLASS(TShortIntBucket, ::corvid::TBucket)
 public:
  explicit TShortIntBucket(std::int8_t Value);
  std::int8_t GetShortInt() const;
  CORVID_BUCKET_BLANK(TShortIntBucket)
};

/// A signed 32-bit integer, 4 bytes.
class TIntegerBucket : public TBucket {
  CORVID_CLASS(TIntegerBucket, ::corvid::TBucket)
 public:
  explicit TIntegerBucket(std::int32_t Value);
  std::int32_t GetInteger() const;
  CORVID_BUCKET_BLANK(TIntegerBucket)
};

/// A signed 32-bit integer, 4 bytes (distinct from TIntegerBucket as a class).
class TLongIntBucket : public TBucket {
  CORVID_CLASS(TLongIntBucket, ::corvid::TBucket)
 public:
  explicit TLongIntBucket(std::int32_t Value);
  std::int32_t GetLongInt() const;
  CORVID_BUCKET_BLANK(TLongIntBucket)
};

/// An unsigned 8-bit integer, 1 byte.
class TByteBucket : public TBucket {
  CORVID_CLASS(TByteBucket, ::corvid::TBucket)
 public:
  explicit TByteBucket(std::uint8_t Value);
  std::uint8_t GetByte() const;
  CORVID_BUCKET_BLANK(TByteBucket)
};

/// An unsigned 16-bit integer, 2 bytes.
class TWordBucket : public TBucket {
  CORVID_CLASS(TWordBucket, ::corvid::TBucket)
 public:
  explicit TWordBucket(std::uint16_t Value);
  std::uint16_t GetWord() const;
  CORVID_BUCKET_BLANK(TWordBucket)
};

/// One 8-bit character, 1 byte.
class TCharBucket : public TBucket {
  CORVID_CLASS(TCharBucket, ::corvid::TBucket)
 public:
  explicit TCharBucket(char Value);
  char GetChar() const;
  CORVID_BUCKET_BLANK(TCharBucket)
};

/// Stores 1 for true, 0 for false. Any non-zero stored byte reads as true.
class TBooleanBucket : public TBucket {
  CORVID_CLASS(TBooleanBucket, ::corvid::TBucket)
 public:
  explicit TBooleanBucket(bool Value);
  bool GetBoolean() const;
  CORVID_BUCKET_BLANK(TBooleanBucket)
};

/// 16-bit boolean: stores 0xFFFF for true; any non-zero value reads as true.
class TWordBoolBucket : public TBucket {
  CORVID_CLASS(TWordBoolBucket, ::corvid::TBucket)
 public:
  explicit TWordBoolBucket(bool Value);
  bool GetWordBool() const;
  CORVID_BUCKET_BLANK(TWordBoolBucket)
};

/// 32-bit boolean: stores 0xFFFFFFFF for true; any non-zero value is true.
class TLongBoolBucket : public TBucket {
  CORVID_CLASS(TLongBoolBucket, ::corvid::TBucket)
 public:
  explicit TLongBoolBucket(bool Value);
  bool GetLongBool() const;
  CORVID_BUCKET_BLANK(TLongBoolBucket)
};

/// IEEE 754 binary64, 8 bytes (distinct from TDoubleBucket as a class).
class TRealBucket : public TBucket {
  CORVID_CLASS(TRealBucket, ::corvid::TBucket)
 public:
  explicit TRealBucket(double Value);
  double GetReal() const;
  CORVID_BUCKET_BLANK(TRealBucket)
};

/// IEEE 754 binary32, 4 bytes.
class TSingleBucket : public TBucket {
  CORVID_CLASS(TSingleBucket, ::corvid::TBucket)
 public:
  explicit TSingleBucket(float Value);
  float GetSingle() const;
  CORVID_BUCKET_BLANK(TSingleBucket)
};

/// IEEE 754 binary64, 8 bytes.
class TDoubleBucket : public TBucket {
  CORVID_CLASS(TDoubleBucket, ::corvid::TBucket)
 public:
  explicit TDoubleBucket(double Value);
  double GetDouble() const;
  CORVID_BUCKET_BLANK(TDoubleBucket)
};

/// 10 bytes in the x87 80-bit extended format on every platform.
class TExtendedBucket : public TBucket {
  CORVID_CLASS(TExtendedBucket, ::corvid::TBucket)
 public:
  explicit TExtendedBucket(long double Value);
  long double GetExtended() const;
  CORVID_BUCKET_BLANK(TExtendedBucket)
};

/// A signed 64-bit integer handled as a floating type (hashed as a real).
class TCompBucket : public TBucket {
  CORVID_CLASS(TCompBucket, ::corvid::TBucket)
 public:
  explicit TCompBucket(std::int64_t Value);
  std::int64_t GetComp() const;
  CORVID_BUCKET_BLANK(TCompBucket)
};

/// Not streamable: the class and its functions are not registered.
class TCurrencyBucket : public TBucket {
  CORVID_CLASS(TCurrencyBucket, ::corvid::TBucket)
 public:
  explicit TCurrencyBucket(TCurrency Value);
  TCurrency GetCurrency() const;
  CORVID_BUCKET_BLANK(TCurrencyBucket)
};

/// A date and time as a binary64 day count, 8 bytes.
class TDateTimeBucket : public TBucket {
  CORVID_CLASS(TDateTimeBucket, ::corvid::TBucket)
 public:
  explicit TDateTimeBucket(TDateTime Value);
  TDateTime GetDateTime() const;
  CORVID_BUCKET_BLANK(TDateTimeBucket)
};

#undef CORVID_BUCKET_BLANK

/// Compare functions (TCompareFunc). Integers compare signed or unsigned as
/// their type; chars by code 0..255; booleans false before true (word and
/// long booleans reduced to false/true first); floating types numerically
/// (a NaN on either side gives cmpGreater); comp and currency by the stored
/// 64-bit integer.
TComparison CompareShortIntBucket(const TObject* Left, const TObject* Right);
TComparison CompareIntegerBucket(const TObject* Left, const TObject* Right);
TComparison CompareLongIntBucket(const TObject* Left, const TObject* Right);
TComparison CompareByteBucket(const TObject* Left, const TObject* Right);
TComparison CompareWordBucket(const TObject* Left, const TObject* Right);
TComparison CompareCharBucket(const TObject* Left, const TObject* Right);
TComparison CompareBooleanBucket(const TObject* Left, const TObject* Right);
TComparison CompareWordBoolBucket(const TObject* Left, const TObject* Right);
TComparison CompareLongBoolBucket(const TObject* Left, const TObject* Right);
TComparison CompareRealBucket(const TObject* Left, const TObject* Right);
TComparison CompareSingleBucket(const TObject* Left, const TObject* Right);
TComparison CompareDoubleBucket(const TObject* Left, const TObject* Right);
TComparison CompareExtendedBucket(const TObject* Left, const TObject* Right);
TComparison CompareCompBucket(const TObject* Left, const TObject* Right);
TComparison CompareCurrencyBucket(const TObject* Left, const TObject* Right);
TComparison CompareDateTimeBucket(const TObject* Left, const TObject* Right);

/// Hash functions (THashFunc): the value through IntegerHash (integers,
/// bytes, chars, words) or FloatHash (floating types, comp, currency
/// amount). None for the boolean buckets and the untyped TBucket.
std::int32_t HashShortIntBucket(const TObject* Obj, std::int32_t TableSize);
std::int32_t HashIntegerBucket(const TObject* Obj, std::int32_t TableSize);
std::int32_t HashLongIntBucket(const TObject* Obj, std::int32_t TableSize);
std::int32_t HashByteBucket(const TObject* Obj, std::int32_t TableSize);
std::int32_t HashWordBucket(const TObject* Obj, std::int32_t TableSize);
std::int32_t HashCharBucket(const TObject* Obj, std::int32_t TableSize);
std::int32_t HashRealBucket(const TObject* Obj, std::int32_t TableSize);
std::int32_t HashSingleBucket(const TObject* Obj, std::int32_t TableSize);
std::int32_t HashDoubleBucket(const TObject* Obj, std::int32_t TableSize);
std::int32_t HashExtendedBucket(const TObject* Obj, std::int32_t TableSize);
std::int32_t HashCompBucket(const TObject* Obj, std::int32_t TableSize);
std::int32_t HashCurrencyBucket(const TObject* Obj, std::int32_t TableSize);
std::int32_t HashDateTimeBucket(const TObject* Obj, std::int32_t TableSize);

/// A string with an optional object. Fields are public.
class TStringCombo : public TObject {
  CORVID_CLASS(TStringCombo, ::corvid::TObject)
 public:
  /// Str := S, Obj := AObj (null allowed), OwnsObj := true.
  explicit TStringCombo(std::string S, TObject* AObj = nullptr)
      : OwnsObj(true), Str(std::move(S)), Obj(AObj) {}
  /// Frees Obj when OwnsObj is true.
  ~TStringCombo() override;
  TStringCombo(const TStringCombo&) = delete;
  TStringCombo& operator=(const TStringCombo&) = delete;

  TObject* GetObj() const { return Obj; }

  bool OwnsObj = false;
  std::string Str;
  TObject* Obj = nullptr;

 private:
  /// Blank instance for the object stream: empty string, null, not owning.
  explicit TStringCombo(TBlank) {}

  friend void ReadStringCombo(TObject* Obj, TObjectReader& Reader);
  friend void WriteStringCombo(TObject* Obj, TObjectWriter& Writer);
};

/// Order by Str alone: with letter case (CompareString) or without
/// (CompareStringNoCase). The objects take no part.
TComparison CompareStringCombo(const TObject* Left, const TObject* Right);
TComparison CompareStringComboNoCase(const TObject* Left, const TObject* Right);
/// StringHash / StringHash2 of Str.
std::int32_t HashStringCombo(const TObject* Obj, std::int32_t TableSize);
std::int32_t HashStringCombo2(const TObject* Obj, std::int32_t TableSize);

/// Stream payloads (written with the stream payloads). ReadBucket serves
/// TBucket and every typed bucket: it calls Allocate(Size) on the blank
/// instance and reads the bytes into Block().
void ReadBucket(TObject* Obj, TObjectReader& Reader);
void WriteBucket(TObject* Obj, TObjectWriter& Writer);
void ReadStringCombo(TObject* Obj, TObjectReader& Reader);
void WriteStringCombo(TObject* Obj, TObjectWriter& Writer);

}  // namespace corvid
