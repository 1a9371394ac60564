/// @file
/// Fields: named, typed columns of a mapping holding one value each, and the
/// free functions over field lists.
///
/// A field owns a buffer of Size bytes holding its value in the layout of its
/// type:
///   oftString   byte 0 the number of characters n, bytes 1..n the characters,
///               no terminator; capacity Size - 1 characters, at most 255.
///               Size runs from 1 to 256 (default 41).
///   oftFloat    IEEE 754 double, 8 bytes, little-endian.
///   oftInteger  signed 32-bit integer, 4 bytes, little-endian.
///   oftAutoInc  as oftInteger; the driver assigns the value on insert.
/// Values are read and written through AsString, AsFloat and AsInteger
/// (Get/Set). AsString reads every type but writes only strings; AsInteger
/// serves oftInteger and oftAutoInc alike.
///
/// Damaged fields (from a foreign or corrupt stream) never make an accessor
/// touch memory outside the buffer: a string's length byte is clamped to the
/// capacity when read, and a numeric field whose Size is smaller than its
/// value raises EOdbInvalidFieldType on every access.
///
/// A field list is a TUnorderedList of TOdbField with CompareOdbField, which
/// matches fields by name without regard to letter case.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "corvid/containers/ObjCmp.h"
#include "corvid/containers/ObjRoot.h"
#include "corvid/odb/OdbErrors.h"
#include "corvid/util/OdbMiscSet.h"

namespace corvid {

class TObjectReader;
class TObjectWriter;
class TUnorderedList;

/// Stored in 8 bits; the ordinals are stored in streams.
enum TOdbFieldType : std::uint8_t { oftString = 0, oftFloat = 1, oftInteger = 2, oftAutoInc = 3 };
/// One byte, bit n standing for the value n.
using TOdbFieldTypes = TEnumSet<TOdbFieldType>;

/// The default Size of each type (41, 8, 4, 4); 0 for a value outside them.
std::uint16_t DefaultOdbFieldSize(TOdbFieldType FieldType);

/// A named, typed column of a mapping holding one value.
class TOdbField : public TObject {
  CORVID_CLASS(TOdbField, ::corvid::TObject)
 public:
  /// Sets Name, then SetFieldType(FieldType), then SetSize(Size) (which
  /// changes only string fields).
  TOdbField(std::string Name, TOdbFieldType FieldType, std::uint16_t Size);
  ~TOdbField() override;
  TOdbField(const TOdbField&) = delete;
  TOdbField& operator=(const TOdbField&) = delete;

  /// Size := the type's default (unchanged for a value outside the four),
  /// stores FieldType and allocates a fresh buffer of Size bytes (zeroed).
  void SetFieldType(TOdbFieldType FieldType);
  /// Only for oftString (otherwise nothing happens): a fresh buffer of Size
  /// bytes replaces the old one; the value held before is lost.
  void SetSize(std::uint16_t Size);

  const std::string& GetName() const { return name_; }
  /// Renaming a field also changes OdbFieldRenameCount().
  void SetName(std::string Name);
  TOdbFieldType GetFieldType() const { return fieldType_; }
  std::uint16_t GetSize() const { return size_; }
  /// The raw value buffer (GetSize() bytes) in the layout of the type.
  std::uint8_t* GetBuffer() { return buffer_.get(); }
  const std::uint8_t* GetBuffer() const { return buffer_.get(); }

  /// Raises EOdbInvalidFieldType (no detail) unless a value of FieldType may
  /// be read from or written to this field: a string only from a string
  /// field, a float only from a float field, an integer from an integer or
  /// auto-increment field.
  void CheckType(TOdbFieldType FieldType) const {
    // Inline for the usual case, a value of the field's own type: every
    // record a mapping copies asks.
    if (FieldType != fieldType_) CheckOtherType(FieldType);
  }
  /// A string field's first character (byte 1 of the buffer), for drivers
  /// that copy characters straight in or out; capacity GetSize() - 1.
  /// Raises EOdbInvalidFieldType for another type or a string field of Size 0.
  char* GetStrAddress();
  const char* GetStrAddress() const;

  /// oftString: the stored characters; oftFloat: fixed-point text (15
  /// decimals, at most 18 significant digits, the locale's decimal
  /// separator, scientific notation from 1E18 on); integers: decimal.
  /// Another type raises EOdbError "Internal error, TOdbField.GetAsString".
  virtual std::string GetAsString() const;
  /// String fields only; Value is cut to the field's capacity.
  virtual void SetAsString(std::string_view Value);
  virtual double GetAsFloat() const;
  virtual void SetAsFloat(double Value);
  virtual std::int32_t GetAsInteger() const;
  virtual void SetAsInteger(std::int32_t Value);

 private:
  /// Blank instance for the object stream: no name, oftString, Size 0, no
  /// buffer; the read procedure sets everything.
  explicit TOdbField(TBlank) {}

  /// Checks that the buffer holds the Width bytes of a numeric value.
  void CheckNumericSize(std::uint16_t Width) const {
    // Only a field read from a damaged stream can be this short.
    if (size_ < Width || !buffer_) RaiseInvalidFieldType();
  }
  /// CheckType for a type other than the field's own.
  void CheckOtherType(TOdbFieldType FieldType) const;
  /// EOdbInvalidFieldType without a detail.
  [[noreturn]] static void RaiseInvalidFieldType();
  /// The number of characters a string field can give back without leaving
  /// its buffer.
  std::uint8_t StoredLength() const;

  std::string name_;
  TOdbFieldType fieldType_ = oftString;
  std::uint16_t size_ = 0;
  std::unique_ptr<std::uint8_t[]> buffer_;

  friend void ReadOdbField(TObject* Obj, TObjectReader& Reader);
  friend void WriteOdbField(TObject* Obj, TObjectWriter& Writer);
};

/// Fixed-point text of a float as GetAsString writes it, with Separator as
/// the decimal separator. Examples with ".": 2.5 -> "2.500000000000000",
/// 1234.5 -> "1234.500000000000000", 1E18 -> "1E18".
std::string OdbFloatToStr(double Value, char Separator);

namespace detail {
extern std::atomic<std::uint64_t> odbFieldRenames;
}  // namespace detail
/// A number that changes whenever any field is renamed (SetName), in any
/// thread: look-ups that remember which field a name found check it.
inline std::uint64_t OdbFieldRenameCount() {
  return detail::odbFieldRenames.load(std::memory_order_relaxed);
}

/// The field of List whose name equals Name regardless of letter case; the
/// list's cursor is left on it. Raises EOdbFieldDoesNotExist with Name as
/// detail when there is none.
TOdbField* GetFieldInList(std::string_view Name, TUnorderedList& List);
/// True when a field of List is of type oftAutoInc (walks with the list's
/// cursor).
bool FieldListHasAutoInc(TUnorderedList& List);
/// Whether A and B hold the same value: strings byte by byte (letter case
/// counts), floats by ==, integers and auto-increments by value. Incompatible
/// types raise EOdbFieldsNotComparable; a type outside the four raises
/// EOdbFieldTypeNotSupported.
bool FieldsEqual(const TOdbField& A, const TOdbField& B);
/// Whether two field (or index) names are equal regardless of letter case,
/// as CompareStringNoCase decides. Inline: mappings and drivers ask for every
/// record. Names spelt as defined match on their bytes; names of the same
/// length whose first differing characters are ASCII and differ other than
/// in case are told apart without folding.
inline bool SameOdbFieldName(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  if (SameShortBytes(A.data(), B.data(), A.size())) return true;
  std::size_t i = 0;
  while (i < A.size() && A[i] == B[i]) ++i;
  if (i == A.size()) return true;
  const auto a = static_cast<unsigned char>(A[i]), b = static_cast<unsigned char>(B[i]);
  if (a < 0x80 && b < 0x80 && (a | 0x20) != (b | 0x20)) return false;
  return CompareStringNoCase(A, B) == cmpEqual;
}
/// The compare function of field lists: CompareStringNoCase of the names.
/// Both objects must be fields (std::bad_cast otherwise).
TComparison CompareOdbField(const TObject* Left, const TObject* Right);

/// Stream payload: Name (string), FieldType (integer), Size (integer), then
/// the Size bytes of the buffer raw.
void ReadOdbField(TObject* Obj, TObjectReader& Reader);
void WriteOdbField(TObject* Obj, TObjectWriter& Writer);

}  // namespace corvid
