// Helpers of the persistence tests: a builder for hand-made byte images,
// conversion of memory streams to byte strings, and a streamable test class.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Counted.h"
#include "corvid/persist/ObjPerst.h"

namespace corvid::test {

// Builds byte images in the stream encoding, for exact comparisons and for
// damaged input.
class Bytes {
 public:
  Bytes& Raw(std::string_view s) {
    data_.append(s);
    return *this;
  }
  Bytes& Byte(std::uint8_t b) {
    data_.push_back(static_cast<char>(b));
    return *this;
  }
  Bytes& Sig() { return Raw("TPF0"); }
  // A short string value: 06, length, characters.
  Bytes& Str(std::string_view s) {
    Byte(0x06).Byte(static_cast<std::uint8_t>(s.size()));
    return Raw(s);
  }
  Bytes& Word(std::uint16_t w) { return Byte(w & 0xFF).Byte(w >> 8); }
  Bytes& U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) Byte(static_cast<std::uint8_t>(v >> (8 * i)));
    return *this;
  }
  // An integer value in its shortest form.
  Bytes& Int(std::int32_t v) {
    if (v >= -128 && v <= 127) return Byte(0x02).Byte(static_cast<std::uint8_t>(v));
    if (v >= -32768 && v <= 32767) return Byte(0x03).Word(static_cast<std::uint16_t>(v));
    return Byte(0x04).U32(static_cast<std::uint32_t>(v));
  }
  Bytes& Bool(bool b) { return Byte(b ? 0x09 : 0x08); }
  // A record header: signature, class name, version.
  Bytes& Head(std::string_view cls, std::uint16_t version = 1) {
    return Sig().Str(cls).Word(version);
  }
  Bytes& Nil() { return Sig().Str("*NilObject*"); }
  // The container part.
  Bytes& Container(std::string_view cls, std::string_view compare) { return Str(cls).Str(compare); }

  const std::string& str() const { return data_; }
  operator std::string() const { return data_; }
  operator std::string_view() const { return data_; }

 private:
  std::string data_;
};

// The content of a memory stream.
inline std::string Content(const TMemoryStream& m) {
  return std::string(m.View());
}

// A memory stream holding Data at position 0.
inline void Fill(TMemoryStream& m, std::string_view Data) {
  m.Clear();
  m.Write(Data.data(), static_cast<std::int64_t>(Data.size()));
  m.SetPosition(0);
}

// Bytes as spaced upper-case hex, for readable failure messages.
std::string Hex(std::string_view s);

// Bytes of heap memory in use by the process now (the sanitizer's count
// under AddressSanitizer, the C library's otherwise).
std::size_t AllocatedBytes();

// One object record written through a fresh object stream.
std::string Record(const TObject* Obj);
// Reads one record from Data through a fresh object stream.
std::unique_ptr<TObject> ReadRecord(std::string_view Data);

// TCounted made streamable for the tests: payload is its value as an
// integer. Registered once by RegisterTestClasses().
void ReadCounted(TObject* Obj, TObjectReader& Reader);
void WriteCounted(TObject* Obj, TObjectWriter& Writer);
void RegisterTestClasses();

}  // namespace corvid::test
