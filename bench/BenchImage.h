// The baselines' image codec: what a programmer without the object stream
// would write to store one class in the same bytes TObjectStream writes (a
// fixed header with the class name and the stream version (1, the
// default of a class registered without versions), then each value
// with its type tag). Covers the values the benchmarks store: integers,
// short ASCII strings, floats as x87 80-bit extended.
#pragma once

#include <cfloat>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace benchimage {

static_assert(LDBL_MANT_DIG == 64, "the image holds x87 80-bit floats");

constexpr std::uint8_t kInt8 = 0x02, kInt16 = 0x03, kInt32 = 0x04, kExtended = 0x05, kString = 0x06;

[[noreturn]] inline void BadImage() {
  std::fprintf(stderr, "image not in the expected layout\n");
  std::abort();
}

inline std::string Header(std::string_view ClassName) {
  std::string h = "TPF0";
  h += static_cast<char>(kString);
  h += static_cast<char>(ClassName.size());
  h.append(ClassName);
  h += '\1';
  h += '\0';
  return h;
}

// The header of the images of class T (a Corvid class), made once.
template <class T>
const std::string& HeaderOf() {
  static const std::string header = Header(T::StaticClass().Name());
  return header;
}

inline void PutInt(std::string& Out, std::int32_t V) {
  char b[5];
  if (V >= -128 && V <= 127) {
    b[0] = static_cast<char>(kInt8);
    b[1] = static_cast<char>(V);
    Out.append(b, 2);
  } else if (V >= -32768 && V <= 32767) {
    b[0] = static_cast<char>(kInt16);
    const auto v = static_cast<std::int16_t>(V);
    std::memcpy(b + 1, &v, 2);
    Out.append(b, 3);
  } else {
    b[0] = static_cast<char>(kInt32);
    std::memcpy(b + 1, &V, 4);
    Out.append(b, 5);
  }
}

inline void PutString(std::string& Out, std::string_view S) {
  Out += static_cast<char>(kString);
  Out += static_cast<char>(S.size());
  Out.append(S);
}

inline void PutFloat(std::string& Out, double V) {
  char b[11];
  b[0] = static_cast<char>(kExtended);
  const long double x = V;
  std::memcpy(b + 1, &x, 10);
  Out.append(b, 11);
}

// Reads one image in place; any deviation from the layout aborts.
class TReader {
 public:
  TReader(const void* Data, int Size, const std::string& Header)
      : p_(static_cast<const std::uint8_t*>(Data)), end_(p_ + Size) {
    if (Size < static_cast<int>(Header.size()) || std::memcmp(p_, Header.data(), Header.size())) {
      BadImage();
    }
    p_ += Header.size();
  }
  std::int32_t Int() {
    Need(1);
    switch (*p_++) {
      case kInt8:
        Need(1);
        return static_cast<std::int8_t>(*p_++);
      case kInt16: {
        Need(2);
        std::int16_t v;
        std::memcpy(&v, p_, 2);
        p_ += 2;
        return v;
      }
      case kInt32: {
        Need(4);
        std::int32_t v;
        std::memcpy(&v, p_, 4);
        p_ += 4;
        return v;
      }
    }
    BadImage();
  }
  void String(std::string& S) {
    Need(2);
    if (*p_++ != kString) BadImage();
    const std::size_t n = *p_++;
    Need(n);
    S.assign(reinterpret_cast<const char*>(p_), n);
    p_ += n;
  }
  double Float() {
    Need(11);
    if (*p_++ != kExtended) BadImage();
    long double v = 0;
    std::memcpy(&v, p_, 10);
    p_ += 10;
    return static_cast<double>(v);
  }

 private:
  void Need(std::size_t N) const {
    if (static_cast<std::size_t>(end_ - p_) < N) BadImage();
  }
  const std::uint8_t* p_;
  const std::uint8_t* end_;
};

}  // namespace benchimage
