#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <typeinfo>
#include <vector>

#include "corvid/containers/ObjHash.h"
#include "corvid/values/ObjBuckt.h"

namespace corvid {
namespace {

std::vector<std::uint8_t> Bytes(const TBucket& b) {
  std::vector<std::uint8_t> v(b.GetSize());
  b.GetData(v.data());
  return v;
}

using B = std::vector<std::uint8_t>;

TEST(Bucket, UntypedBlockIsZeroFilledOrCopied) {
  TBucket zero(3);
  EXPECT_EQ(zero.GetSize(), 3);
  EXPECT_EQ(Bytes(zero), (B{0, 0, 0}));

  const std::uint8_t src[4] = {1, 2, 3, 4};
  TBucket copy(4, src);
  EXPECT_EQ(Bytes(copy), (B{1, 2, 3, 4}));
  const std::uint8_t other[4] = {9, 8, 7, 6};
  copy.SetData(other);
  EXPECT_EQ(Bytes(copy), (B{9, 8, 7, 6}));
  EXPECT_EQ(copy.GetSize(), 4);

  TBucket empty(0);
  EXPECT_EQ(empty.GetSize(), 0);
  EXPECT_EQ(empty.Data(), nullptr);
  empty.SetData(nullptr);  // nothing to copy
  empty.GetData(nullptr);

  TBucket largest(65535);
  EXPECT_EQ(largest.GetSize(), 65535);
  EXPECT_EQ(largest.Data()[65534], 0);
}

TEST(Bucket, TypedBucketsStoreLittleEndianInTheirOwnWidth) {
  EXPECT_EQ(Bytes(TShortIntBucket(-56)), (B{0xC8}));
  EXPECT_EQ(Bytes(TIntegerBucket(1000)), (B{0xE8, 0x03, 0x00, 0x00}));
  EXPECT_EQ(Bytes(TLongIntBucket(-2)), (B{0xFE, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Bytes(TByteBucket(200)), (B{200}));
  EXPECT_EQ(Bytes(TWordBucket(0x1234)), (B{0x34, 0x12}));
  EXPECT_EQ(Bytes(TCharBucket('A')), (B{0x41}));
  EXPECT_EQ(Bytes(TBooleanBucket(true)), (B{1}));
  EXPECT_EQ(Bytes(TBooleanBucket(false)), (B{0}));
  EXPECT_EQ(Bytes(TWordBoolBucket(true)), (B{0xFF, 0xFF}));
  EXPECT_EQ(Bytes(TLongBoolBucket(true)), (B{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Bytes(TLongBoolBucket(false)), (B{0, 0, 0, 0}));
  EXPECT_EQ(Bytes(TRealBucket(1.0)), (B{0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
  EXPECT_EQ(Bytes(TDoubleBucket(-2.5)), (B{0, 0, 0, 0, 0, 0, 0x04, 0xC0}));
  EXPECT_EQ(Bytes(TSingleBucket(1.0f)), (B{0, 0, 0x80, 0x3F}));
  EXPECT_EQ(Bytes(TExtendedBucket(1.0L)), (B{0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}));
  EXPECT_EQ(Bytes(TCompBucket(-2)), (B{0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Bytes(TCurrencyBucket(TCurrency::FromDouble(2.5))),
            (B{0xA8, 0x61, 0, 0, 0, 0, 0, 0}));  // 25,000 ten-thousandths
  EXPECT_EQ(Bytes(TDateTimeBucket(2.0)), (B{0, 0, 0, 0, 0, 0, 0, 0x40}));
}

TEST(Bucket, GettersReturnTheStoredValues) {
  EXPECT_EQ(TShortIntBucket(-128).GetShortInt(), -128);
  EXPECT_EQ(TIntegerBucket(std::numeric_limits<std::int32_t>::min()).GetInteger(),
            std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(TLongIntBucket(123456789).GetLongInt(), 123456789);
  EXPECT_EQ(TByteBucket(255).GetByte(), 255);
  EXPECT_EQ(TWordBucket(65535).GetWord(), 65535);
  EXPECT_EQ(TCharBucket('\xE9').GetChar(), '\xE9');
  EXPECT_TRUE(TBooleanBucket(true).GetBoolean());
  EXPECT_FALSE(TWordBoolBucket(false).GetWordBool());
  EXPECT_TRUE(TLongBoolBucket(true).GetLongBool());
  EXPECT_EQ(TRealBucket(0.1).GetReal(), 0.1);
  EXPECT_EQ(TSingleBucket(0.1f).GetSingle(), 0.1f);
  EXPECT_EQ(TDoubleBucket(-1e300).GetDouble(), -1e300);
  EXPECT_EQ(TExtendedBucket(0.1L).GetExtended(), 0.1L);
  EXPECT_EQ(TCompBucket(std::numeric_limits<std::int64_t>::min()).GetComp(),
            std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(TCurrencyBucket(TCurrency::FromScaled(-922337203685477580)).GetCurrency().Scaled,
            -922337203685477580);
  EXPECT_EQ(TDateTimeBucket(45000.75).GetDateTime(), 45000.75);
  EXPECT_DOUBLE_EQ(TCurrency::FromDouble(-1.23456).ToDouble(), -1.2346);
}

TEST(Bucket, SetDataReplacesATypedValue) {
  TIntegerBucket b(1);
  const std::int32_t v = -77;
  b.SetData(&v);
  EXPECT_EQ(b.GetInteger(), -77);
  TWordBoolBucket w(false);
  const std::uint16_t raw = 1;
  w.SetData(&raw);
  EXPECT_TRUE(w.GetWordBool());
}

TEST(Bucket, BlankInstancesHoldNoBlockAndReadAsZero) {
  // A bucket read from a foreign stream may be shorter than its type; the
  // getters must not read past the block.
  auto blank = TExtendedBucket::StaticClass().CreateBlank();
  ASSERT_TRUE(blank);
  const auto* e = static_cast<const TExtendedBucket*>(blank.get());
  EXPECT_EQ(e->GetSize(), 0);
  EXPECT_EQ(e->Data(), nullptr);
  EXPECT_EQ(e->GetExtended(), 0.0L);
  auto blankInt = TIntegerBucket::StaticClass().CreateBlank();
  EXPECT_EQ(static_cast<const TIntegerBucket*>(blankInt.get())->GetInteger(), 0);
  auto blankCombo = TStringCombo::StaticClass().CreateBlank();
  ASSERT_TRUE(blankCombo);
  const auto* c = static_cast<const TStringCombo*>(blankCombo.get());
  EXPECT_TRUE(c->Str.empty());
  EXPECT_EQ(c->Obj, nullptr);
  EXPECT_FALSE(c->OwnsObj);
}

TEST(Bucket, ClassesDeriveDirectlyFromTBucket) {
  EXPECT_EQ(TIntegerBucket::StaticClass().Parent(), TBucket::StaticClass());
  EXPECT_EQ(TCurrencyBucket::StaticClass().Parent(), TBucket::StaticClass());
  EXPECT_EQ(TBucket::StaticClass().Parent(), TObject::StaticClass());
  EXPECT_EQ(TStringCombo::StaticClass().Parent(), TObject::StaticClass());
  EXPECT_EQ(TLongIntBucket(1).ClassName(), "TLongIntBucket");
}

// --- compare functions -----------------------------------------------------

template <class T, class V>
TComparison Cmp(TCompareFunc f, V l, V r) {
  T a(l), b(r);
  return f(&a, &b);
}

TEST(BucketCompare, IntegersOrderSignedOrUnsignedByType) {
  EXPECT_EQ(Cmp<TShortIntBucket>(CompareShortIntBucket, std::int8_t{-56}, std::int8_t{100}),
            cmpLess);
  EXPECT_EQ(Cmp<TByteBucket>(CompareByteBucket, std::uint8_t{200}, std::uint8_t{100}), cmpGreater);
  EXPECT_EQ(Cmp<TIntegerBucket>(CompareIntegerBucket, -5, -5), cmpEqual);
  EXPECT_EQ(Cmp<TIntegerBucket>(CompareIntegerBucket, std::numeric_limits<std::int32_t>::min(),
                                std::numeric_limits<std::int32_t>::max()),
            cmpLess);
  EXPECT_EQ(Cmp<TLongIntBucket>(CompareLongIntBucket, 7, -7), cmpGreater);
  EXPECT_EQ(Cmp<TWordBucket>(CompareWordBucket, std::uint16_t{65535}, std::uint16_t{1}),
            cmpGreater);
  EXPECT_EQ(Cmp<TCharBucket>(CompareCharBucket, '\xC8', 'd'), cmpGreater);  // 200 after 100
  EXPECT_EQ(Cmp<TCharBucket>(CompareCharBucket, 'a', 'b'), cmpLess);
  EXPECT_EQ(Cmp<TCompBucket>(CompareCompBucket, std::int64_t{-1}, std::int64_t{1} << 62), cmpLess);
  // 2^53 + 1 and 2^53 differ as integers though not as doubles.
  EXPECT_EQ(Cmp<TCompBucket>(CompareCompBucket, (std::int64_t{1} << 53) + 1, std::int64_t{1} << 53),
            cmpGreater);
  EXPECT_EQ(Cmp<TCurrencyBucket>(CompareCurrencyBucket, TCurrency::FromScaled(-1),
                                 TCurrency::FromScaled(0)),
            cmpLess);
}

TEST(BucketCompare, BooleansOrderFalseBeforeTrue) {
  EXPECT_EQ(Cmp<TBooleanBucket>(CompareBooleanBucket, false, true), cmpLess);
  EXPECT_EQ(Cmp<TBooleanBucket>(CompareBooleanBucket, true, false), cmpGreater);
  EXPECT_EQ(Cmp<TBooleanBucket>(CompareBooleanBucket, true, true), cmpEqual);

  // Word and long booleans reduce any non-zero value to true.
  TWordBoolBucket one(false), max(false), zero(false);
  const std::uint16_t v1 = 1, vMax = 65535;
  one.SetData(&v1);
  max.SetData(&vMax);
  EXPECT_EQ(CompareWordBoolBucket(&one, &max), cmpEqual);
  EXPECT_EQ(CompareWordBoolBucket(&zero, &one), cmpLess);
  EXPECT_EQ(CompareWordBoolBucket(&zero, &max), cmpLess);
  EXPECT_EQ(CompareWordBoolBucket(&max, &zero), cmpGreater);

  TLongBoolBucket l1(true), l2(false);
  const std::uint32_t v2 = 2;
  l2.SetData(&v2);
  EXPECT_EQ(CompareLongBoolBucket(&l1, &l2), cmpEqual);
  EXPECT_EQ(Cmp<TLongBoolBucket>(CompareLongBoolBucket, false, true), cmpLess);

  // A plain boolean compares by its stored byte.
  TBooleanBucket b1(true), b2(true);
  const std::uint8_t b255 = 255;
  b2.SetData(&b255);
  EXPECT_EQ(CompareBooleanBucket(&b1, &b2), cmpLess);
}

TEST(BucketCompare, FloatingTypesOrderNumerically) {
  EXPECT_EQ(Cmp<TRealBucket>(CompareRealBucket, 1.5, 2.5), cmpLess);
  EXPECT_EQ(Cmp<TSingleBucket>(CompareSingleBucket, 2.5f, -2.5f), cmpGreater);
  EXPECT_EQ(Cmp<TDoubleBucket>(CompareDoubleBucket, 0.0, -0.0), cmpEqual);
  EXPECT_EQ(Cmp<TDateTimeBucket>(CompareDateTimeBucket, 45000.5, 45000.25), cmpGreater);
  EXPECT_EQ(Cmp<TExtendedBucket>(CompareExtendedBucket, 1.0L, 1.0L + 0x1p-63L),
            std::numeric_limits<long double>::digits >= 64 ? cmpLess : cmpEqual);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(Cmp<TDoubleBucket>(CompareDoubleBucket, nan, 1.0), cmpGreater);
  EXPECT_EQ(Cmp<TDoubleBucket>(CompareDoubleBucket, 1.0, nan), cmpGreater);
}

TEST(BucketCompare, OtherClassesFailTheCheckedCast) {
  TIntegerBucket i(1);
  TLongIntBucket l(1);
  TBucket raw(4);
  EXPECT_THROW(CompareIntegerBucket(&i, &l), std::bad_cast);
  EXPECT_THROW(CompareIntegerBucket(&l, &i), std::bad_cast);
  EXPECT_THROW(CompareIntegerBucket(&raw, &i), std::bad_cast);
  EXPECT_THROW(CompareIntegerBucket(&i, nullptr), std::bad_cast);
  EXPECT_THROW(CompareRealBucket(&i, &i), std::bad_cast);
  EXPECT_THROW(HashIntegerBucket(&l, 7), std::bad_cast);
  EXPECT_THROW(HashDoubleBucket(nullptr, 7), std::bad_cast);
  EXPECT_EQ(i.GetInteger(), 1);
}

// --- hash functions --------------------------------------------------------

TEST(BucketHash, IntegerKindsGoThroughIntegerHash) {
  EXPECT_EQ(HashIntegerBucket(std::make_unique<TIntegerBucket>(10).get(), 7), 4);
  EXPECT_EQ(HashIntegerBucket(std::make_unique<TIntegerBucket>(0).get(), 7), 1);
  EXPECT_EQ(HashLongIntBucket(std::make_unique<TLongIntBucket>(1000).get(), 101), 92);
  EXPECT_EQ(HashWordBucket(std::make_unique<TWordBucket>(65535).get(), 1000), 536);
  // Bytes and chars are zero-extended; short integers sign-extended.
  EXPECT_EQ(HashByteBucket(std::make_unique<TByteBucket>(200).get(), 101), 100);
  EXPECT_EQ(HashCharBucket(std::make_unique<TCharBucket>('\xC8').get(), 101), 100);
  EXPECT_EQ(HashShortIntBucket(std::make_unique<TShortIntBucket>(-56).get(), 101),
            IntegerHash(-56, 101));
  EXPECT_EQ(HashShortIntBucket(std::make_unique<TShortIntBucket>(100).get(), 101), 101);
}

TEST(BucketHash, FloatingKindsGoThroughFloatHash) {
  EXPECT_EQ(HashDoubleBucket(std::make_unique<TDoubleBucket>(10.0).get(), 7), 4);
  EXPECT_EQ(HashRealBucket(std::make_unique<TRealBucket>(0.0).get(), 7), 1);
  EXPECT_EQ(HashSingleBucket(std::make_unique<TSingleBucket>(2.5f).get(), 7), 3);
  EXPECT_EQ(HashExtendedBucket(std::make_unique<TExtendedBucket>(2.5L).get(), 7), 3);
  EXPECT_EQ(HashDateTimeBucket(std::make_unique<TDateTimeBucket>(45000.0).get(), 101),
            FloatHash(45000.0L, 101));
  EXPECT_EQ(HashCompBucket(std::make_unique<TCompBucket>(10).get(), 7), 4);
  // The currency amount, not the stored count of ten-thousandths.
  const auto amount = std::make_unique<TCurrencyBucket>(TCurrency::FromScaled(25000));
  EXPECT_EQ(HashCurrencyBucket(amount.get(), 7), FloatHash(2.5L, 7));
  EXPECT_EQ(HashCurrencyBucket(amount.get(), 7), 3);
  EXPECT_EQ(HashCompBucket(std::make_unique<TCompBucket>(25000).get(), 7), 4);
}

}  // namespace
}  // namespace corvid
