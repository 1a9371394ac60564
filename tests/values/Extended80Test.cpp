#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "corvid/values/ObjBuckt.h"

namespace corvid {
namespace {

using B = std::vector<std::uint8_t>;

B Encode(long double v) {
  std::uint8_t b[10];
  LongDoubleToExtended80(v, b);
  return B(b, b + 10);
}

long double Decode(const B& bytes) {
  std::uint8_t b[10];
  std::memcpy(b, bytes.data(), 10);
  return Extended80ToLongDouble(b);
}

TEST(Extended80, KnownBytePatterns) {
  EXPECT_EQ(Encode(1.0L), (B{0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}));
  EXPECT_EQ(Encode(-2.0L), (B{0, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0xC0}));
  EXPECT_EQ(Encode(3.0L), (B{0, 0, 0, 0, 0, 0, 0, 0xC0, 0x00, 0x40}));
  EXPECT_EQ(Encode(0.5L), (B{0, 0, 0, 0, 0, 0, 0, 0x80, 0xFE, 0x3F}));
  EXPECT_EQ(Encode(1000.0L), (B{0, 0, 0, 0, 0, 0, 0, 0xFA, 0x08, 0x40}));
  EXPECT_EQ(Encode(0.0L), (B{0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Encode(-0.0L), (B{0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80}));
  EXPECT_EQ(Encode(std::numeric_limits<long double>::infinity()),
            (B{0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F}));
  EXPECT_EQ(Encode(-std::numeric_limits<long double>::infinity()),
            (B{0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xFF}));
  const B nan = Encode(std::numeric_limits<long double>::quiet_NaN());
  EXPECT_EQ(nan[9] & 0x7F, 0x7F);
  EXPECT_EQ(nan[8], 0xFF);
  EXPECT_EQ(nan[7], 0xC0);
  // 0.1 as a double widens exactly: significand 0xCCCCCCCCCCCCD000, exponent -4.
  EXPECT_EQ(Encode(0.1), (B{0x00, 0xD0, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xFB, 0x3F}));
}

TEST(Extended80, DecodesKnownBytePatterns) {
  EXPECT_EQ(Decode(B{0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}), 1.0L);
  EXPECT_EQ(Decode(B{0, 0, 0, 0, 0, 0, 0, 0xFA, 0x08, 0xC0}), -1000.0L);
  EXPECT_EQ(Decode(B{0x00, 0xD0, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xFB, 0x3F}),
            static_cast<long double>(0.1));
  EXPECT_TRUE(std::isinf(Decode(B{0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F})));
  EXPECT_TRUE(std::isnan(Decode(B{1, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F})));
  // An unnormal (integer bit clear, exponent non-zero) loads as NaN.
  EXPECT_TRUE(std::isnan(Decode(B{0, 0, 0, 0, 0, 0, 0, 0x40, 0xFF, 0x3F})));
  EXPECT_TRUE(std::signbit(Decode(B{0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80})));
  EXPECT_EQ(Decode(B{0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80}), 0.0L);
}

TEST(Extended80, DoublesRoundTripExactly) {
  std::mt19937_64 rng(7);
  std::vector<double> samples = {std::numeric_limits<double>::max(),
                                 std::numeric_limits<double>::min(),
                                 std::numeric_limits<double>::denorm_min(),
                                 -std::numeric_limits<double>::denorm_min(),
                                 1e-310,
                                 -123.456,
                                 45000.75};
  for (int i = 0; i < 2000; ++i) {
    const double d = std::bit_cast<double>(rng());
    if (std::isfinite(d)) samples.push_back(d);
  }
  for (double d : samples) {
    const long double back = Decode(Encode(d));
    EXPECT_EQ(static_cast<double>(back), d) << d;
    EXPECT_EQ(TExtendedBucket(d).GetExtended(), static_cast<long double>(d)) << d;
  }
}

// Where long double is itself the x87 format the encoder must agree with the
// hardware layout bit for bit, including denormals and the extremes.
TEST(Extended80, MatchesTheNativeLayoutWhereLongDoubleIsX87) {
  if (LDBL_MANT_DIG != 64 || LDBL_MAX_EXP != 16384) GTEST_SKIP() << "long double is not x87";
  std::mt19937_64 rng(11);
  std::vector<long double> samples = {std::numeric_limits<long double>::max(),
                                      std::numeric_limits<long double>::min(),
                                      std::numeric_limits<long double>::denorm_min(),
                                      std::numeric_limits<long double>::min() / 3,
                                      -std::numeric_limits<long double>::lowest(),
                                      1.0L + 0x1p-63L,
                                      0.1L,
                                      -1e4000L};
  for (int i = 0; i < 2000; ++i) {
    std::uint8_t raw[16] = {};
    const std::uint64_t m = rng() | 0x8000000000000000ULL;
    const std::uint64_t se = rng();
    std::memcpy(raw, &m, 8);
    std::memcpy(raw + 8, &se, 2);
    if ((se & 0x7FFF) == 0x7FFF || (se & 0x7FFF) == 0) continue;
    long double v;
    std::memcpy(&v, raw, sizeof v < 16 ? sizeof v : 16);
    samples.push_back(v);
  }
  for (long double v : samples) {
    std::uint8_t native[sizeof(long double)] = {};
    std::memcpy(native, &v, sizeof v);
    EXPECT_EQ(Encode(v), B(native, native + 10)) << static_cast<double>(v);
    EXPECT_EQ(Decode(Encode(v)), v);
  }
}

}  // namespace
}  // namespace corvid
