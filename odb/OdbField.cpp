// Fields: value layouts, accessors and the free functions over field lists.
#include "corvid/odb/OdbField.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <typeinfo>

#include "corvid/containers/ObjList.h"
#include "corvid/util/OdbMisc.h"

namespace corvid {

namespace {

constexpr std::uint16_t kFloatWidth = 8;
constexpr std::uint16_t kIntegerWidth = 4;

// Values are stored little-endian whatever the host's byte order; on a
// little-endian host that is a plain copy.
std::uint64_t LoadLE(const std::uint8_t* p, int n) {
  std::uint64_t v = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&v, p, static_cast<std::size_t>(n));
  } else {
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
  }
  return v;
}

void StoreLE(std::uint8_t* p, std::uint64_t v, int n) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &v, static_cast<std::size_t>(n));
  } else {
    for (int i = 0; i < n; ++i) {
      p[i] = static_cast<std::uint8_t>(v & 0xFF);
      v >>= 8;
    }
  }
}

bool IsIntegerType(TOdbFieldType t) {
  return t == oftInteger || t == oftAutoInc;
}

const TOdbField& AsField(const TObject* Obj) {
  if (Obj == nullptr) throw std::bad_cast();
  // Field lists hold plain fields: skip the cast's hierarchy walk for them.
  if (Obj->ClassType() == TOdbField::StaticClass()) return static_cast<const TOdbField&>(*Obj);
  return dynamic_cast<const TOdbField&>(*Obj);
}

}  // namespace

std::uint16_t DefaultOdbFieldSize(TOdbFieldType FieldType) {
  switch (FieldType) {
    case oftString:
      return 41;
    case oftFloat:
      return kFloatWidth;
    case oftInteger:
    case oftAutoInc:
      return kIntegerWidth;
  }
  return 0;
}

TOdbField::TOdbField(std::string Name, TOdbFieldType FieldType, std::uint16_t Size)
    : name_(std::move(Name)) {
  SetFieldType(FieldType);
  SetSize(Size);
}

TOdbField::~TOdbField() = default;

namespace detail {
std::atomic<std::uint64_t> odbFieldRenames{0};
}  // namespace detail

void TOdbField::SetName(std::string Name) {
  name_ = std::move(Name);
  detail::odbFieldRenames.fetch_add(1, std::memory_order_relaxed);
}

void TOdbField::SetFieldType(TOdbFieldType FieldType) {
  const std::uint16_t size = DefaultOdbFieldSize(FieldType);
  if (size != 0) size_ = size;
  fieldType_ = FieldType;
  buffer_ = std::make_unique<std::uint8_t[]>(size_);
}

void TOdbField::SetSize(std::uint16_t Size) {
  if (fieldType_ != oftString) return;
  buffer_.reset();
  size_ = Size;
  buffer_ = std::make_unique<std::uint8_t[]>(size_);
}

void TOdbField::RaiseInvalidFieldType() {
  RaiseOdb<EOdbInvalidFieldType>();
}

void TOdbField::CheckOtherType(TOdbFieldType FieldType) const {
  bool ok = false;
  switch (fieldType_) {
    case oftString:
    case oftFloat:
      ok = FieldType == fieldType_;
      break;
    case oftInteger:
    case oftAutoInc:
      ok = IsIntegerType(FieldType);
      break;
  }
  if (!ok) RaiseOdb<EOdbInvalidFieldType>();
}

std::uint8_t TOdbField::StoredLength() const {
  if (size_ == 0 || !buffer_) return 0;
  const std::size_t capacity = std::min<std::size_t>(size_ - 1u, 255u);
  return static_cast<std::uint8_t>(std::min<std::size_t>(buffer_[0], capacity));
}

char* TOdbField::GetStrAddress() {
  CheckType(oftString);
  if (size_ == 0 || !buffer_) RaiseOdb<EOdbInvalidFieldType>();
  return reinterpret_cast<char*>(buffer_.get() + 1);
}

const char* TOdbField::GetStrAddress() const {
  return const_cast<TOdbField*>(this)->GetStrAddress();
}

std::string TOdbField::GetAsString() const {
  switch (fieldType_) {
    case oftString:
      return std::string(reinterpret_cast<const char*>(buffer_.get() + (size_ > 0 ? 1 : 0)),
                         StoredLength());
    case oftFloat:
      CheckNumericSize(kFloatWidth);
      return OdbFloatToStr(GetAsFloat(), OdbFormatSettings().DecimalSeparator);
    case oftInteger:
    case oftAutoInc:
      CheckNumericSize(kIntegerWidth);
      return std::to_string(GetAsInteger());
  }
  RaiseOdb<EOdbError>("Internal error, TOdbField.GetAsString");
}

void TOdbField::SetAsString(std::string_view Value) {
  CheckType(oftString);
  if (size_ == 0 || !buffer_) return;  // no room even for the length byte
  // Cut to the capacity (Size - 1, at most 255) without a temporary copy.
  const std::size_t n = std::min<std::size_t>({Value.size(), size_ - 1u, 255u});
  buffer_[0] = static_cast<std::uint8_t>(n);
  if (n > 0) std::memcpy(buffer_.get() + 1, Value.data(), n);
}

double TOdbField::GetAsFloat() const {
  CheckType(oftFloat);
  CheckNumericSize(kFloatWidth);
  const std::uint64_t bits = LoadLE(buffer_.get(), kFloatWidth);
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

void TOdbField::SetAsFloat(double Value) {
  CheckType(oftFloat);
  CheckNumericSize(kFloatWidth);
  std::uint64_t bits;
  std::memcpy(&bits, &Value, sizeof bits);
  StoreLE(buffer_.get(), bits, kFloatWidth);
}

std::int32_t TOdbField::GetAsInteger() const {
  CheckType(oftInteger);
  CheckNumericSize(kIntegerWidth);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(LoadLE(buffer_.get(), 4)));
}

void TOdbField::SetAsInteger(std::int32_t Value) {
  CheckType(oftInteger);
  CheckNumericSize(kIntegerWidth);
  StoreLE(buffer_.get(), static_cast<std::uint32_t>(Value), kIntegerWidth);
}

std::string OdbFloatToStr(double Value, char Separator) {
  if (std::isnan(Value)) return "NAN";
  if (std::isinf(Value)) return Value < 0 ? "-INF" : "INF";
  const bool negative = std::signbit(Value);
  const double magnitude = std::fabs(Value);
  char buf[400];

  // The decimal exponent after rounding to 18 significant digits.
  auto r = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific, 17);
  std::string sci(buf, r.ptr);
  const std::size_t e = sci.find('e');
  const int exponent = std::atoi(sci.c_str() + e + 1);

  std::string text;
  if (exponent >= 18) {
    // Scientific notation: the shortest digits that read back as the same
    // double (never more than 17), "E" and the exponent.
    r = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific);
    const std::string shortest(buf, r.ptr);
    const std::size_t se = shortest.find('e');
    std::string mantissa = shortest.substr(0, se);
    std::replace(mantissa.begin(), mantissa.end(), '.', Separator);
    text = mantissa + "E" + std::to_string(std::atoi(shortest.c_str() + se + 1));
  } else {
    // 15 decimals, or fewer where 18 significant digits end earlier; the
    // positions after the digits kept are written as 0.
    const int decimals = std::min(15, 17 - exponent);
    r = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::fixed, decimals);
    text.assign(buf, r.ptr);
    if (decimals == 0) text += '.';
    text.append(static_cast<std::size_t>(15 - decimals), '0');
    std::replace(text.begin(), text.end(), '.', Separator);
  }
  // A value that rounds to zero has no sign.
  const bool allZero = text.find_first_of("123456789") == std::string::npos;
  if (negative && !allZero) text.insert(0, 1, '-');
  return text;
}

TOdbField* GetFieldInList(std::string_view Name, TUnorderedList& List) {
  // Drivers and mappings look fields up by name for every record. A list of
  // fields compared by name is searched without building a key field: the
  // same walk and compare as Search, then the cursor put on the hit.
  if (List.CompareFunc() == &CompareOdbField &&
      TOdbField::StaticClass().InheritsFrom(List.ObjClass())) {
    std::int32_t position = 0;
    for (TObject* o : List) {
      ++position;
      const TOdbField& field = AsField(o);
      if (SameOdbFieldName(field.GetName(), Name)) {
        List.GotoNth(position);
        return const_cast<TOdbField*>(&field);
      }
    }
    RaiseOdb<EOdbFieldDoesNotExist>(std::string(Name));
  }
  const TOdbField key{std::string(Name), oftInteger, 0};
  if (!List.Search(&key, 1)) RaiseOdb<EOdbFieldDoesNotExist>(std::string(Name));
  return dynamic_cast<TOdbField*>(List.GetCurrentObj());
}

bool FieldListHasAutoInc(TUnorderedList& List) {
  if (!List.GotoFirst()) return false;
  do {
    const auto* field = dynamic_cast<const TOdbField*>(List.GetCurrentObj());
    if (field != nullptr && field->GetFieldType() == oftAutoInc) return true;
  } while (List.GotoNext());
  return false;
}

bool FieldsEqual(const TOdbField& A, const TOdbField& B) {
  const TOdbFieldType a = A.GetFieldType(), b = B.GetFieldType();
  if (a != b && !(IsIntegerType(a) && IsIntegerType(b))) RaiseOdb<EOdbFieldsNotComparable>();
  switch (a) {
    case oftString:
      return A.GetAsString() == B.GetAsString();
    case oftFloat:
      return A.GetAsFloat() == B.GetAsFloat();
    case oftInteger:
    case oftAutoInc:
      return A.GetAsInteger() == B.GetAsInteger();
  }
  RaiseOdb<EOdbFieldTypeNotSupported>();
}

TComparison CompareOdbField(const TObject* Left, const TObject* Right) {
  return CompareStringNoCase(AsField(Left).GetName(), AsField(Right).GetName());
}

}  // namespace corvid
