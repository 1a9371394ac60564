#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Counted.h"
#include "ObjListTestSupport.h"
#include "corvid/containers/ObjHash.h"

namespace corvid::test {
namespace {

using Values = std::vector<std::int32_t>;
static_assert(std::forward_iterator<THashIterator>);
constexpr std::int32_t kMaxSize = std::numeric_limits<std::int32_t>::max();

// ---------------------------------------------------------------------------
// Hash primitives

TEST(HashPrimitives, IntegerHash) {
  EXPECT_EQ(IntegerHash(10, 7), 4);
  EXPECT_EQ(IntegerHash(0, 7), 1);
  EXPECT_EQ(IntegerHash(6, 7), 7);
  EXPECT_EQ(IntegerHash(5, 1), 1);
  EXPECT_EQ(IntegerHash(kMaxSize, 7), 2);  // 2^31 - 1 = 7 * 306783378 + 1
  // Negative values land on the bucket of their non-negative residue.
  EXPECT_EQ(IntegerHash(-1, 7), 7);
  EXPECT_EQ(IntegerHash(-7, 7), 1);
  EXPECT_EQ(IntegerHash(-3, 7), IntegerHash(4, 7));
  EXPECT_EQ(IntegerHash(std::numeric_limits<std::int32_t>::min(), 7), 6);
  EXPECT_EQ(IntegerHash(-5, kMaxSize), kMaxSize - 4);
  for (std::int32_t size : {1, 2, 7, 101, kMaxSize}) {
    for (std::int32_t v : {-1000001, -101, -2, -1, 0, 1, 2, 101, 1000001}) {
      const std::int32_t h = IntegerHash(v, size);
      EXPECT_GE(h, 1);
      EXPECT_LE(h, size);
    }
  }
}

TEST(HashPrimitives, StringHashUsesFirstFiveCharacters) {
  EXPECT_EQ(StringHash("abc", 101), 36);  // h = 53666
  EXPECT_EQ(StringHash("abc", kMaxSize), 53667);
  EXPECT_EQ(StringHash("", 101), 1);
  EXPECT_EQ(StringHash("abcdeXYZ", 101), StringHash("abcdeQ", 101));
  EXPECT_EQ(StringHash("abcde", kMaxSize), StringHash("abcdef", kMaxSize));
  EXPECT_NE(StringHash("abcdX", kMaxSize), StringHash("abcdY", kMaxSize));
  // Characters count as unsigned codes; the largest h fits 32 bits.
  EXPECT_EQ(StringHash("\xff", kMaxSize), 256);
  EXPECT_EQ(StringHash(std::string(9, '\xff'), kMaxSize), 74603055 + 1);
}

// h over the given 1-based positions, the way StringHash2 mixes them.
std::int32_t MixPositions(const std::string& S, const std::vector<std::size_t>& Positions) {
  std::int64_t h = 0;
  for (std::size_t p : Positions) h = h * 13 + static_cast<unsigned char>(S[p - 1]);
  return static_cast<std::int32_t>(h % kMaxSize) + 1;
}

TEST(HashPrimitives, StringHash2SamplesSpreadCharacters) {
  EXPECT_EQ(StringHash2("abc", 101), 92);  // h = 17766
  EXPECT_EQ(StringHash2("abc", kMaxSize), 17767);
  EXPECT_EQ(StringHash2("", 101), 1);
  EXPECT_EQ(StringHash2("", 1), 1);

  const std::string s14 = "ABCDEFGHIJKLMN";
  EXPECT_EQ(StringHash2(s14, kMaxSize), MixPositions(s14, {1, 3, 5, 7, 9, 11, 14}));
  std::string changed = s14;
  changed[12] = 'z';  // position 13 is not sampled
  EXPECT_EQ(StringHash2(changed, kMaxSize), StringHash2(s14, kMaxSize));
  changed[13] = 'z';  // the last character always is
  EXPECT_NE(StringHash2(changed, kMaxSize), StringHash2(s14, kMaxSize));

  std::string s100;
  for (int i = 0; i < 100; ++i) s100 += static_cast<char>('!' + i % 90);
  EXPECT_EQ(StringHash2(s100, kMaxSize), MixPositions(s100, {1, 15, 29, 43, 57, 71, 100}));
  const std::string s6 = "qwerty";  // shorter than seven: every character once
  EXPECT_EQ(StringHash2(s6, kMaxSize), MixPositions(s6, {1, 2, 3, 4, 5, 6}));
  const std::string s7 = "qwertyu";
  EXPECT_EQ(StringHash2(s7, kMaxSize), MixPositions(s7, {1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(StringHash2(std::string(50, '\xff'), kMaxSize), 1333405965 + 1);
}

TEST(HashPrimitives, FloatHash) {
  EXPECT_EQ(FloatHash(10.0L, 7), 4);
  EXPECT_EQ(FloatHash(0.0L, 7), 1);
  EXPECT_EQ(FloatHash(2.5L, 7), 3);  // 2.5 rounds to the even 2
  EXPECT_EQ(FloatHash(3.5L, 7), 5);  // 3.5 rounds to the even 4
  EXPECT_EQ(FloatHash(2.6L, 7), 4);
  EXPECT_EQ(FloatHash(16.25L, 7), 3);  // remainder 2.25
  // A remainder that rounds up to the table size wraps to the first bucket.
  EXPECT_EQ(FloatHash(6.7L, 7), 1);
  EXPECT_EQ(FloatHash(13.6L, 7), 1);
  // Negative values wrap like IntegerHash.
  EXPECT_EQ(FloatHash(-0.4L, 7), 1);
  EXPECT_EQ(FloatHash(-1.0L, 7), 7);
  EXPECT_EQ(FloatHash(-3.0L, 7), FloatHash(4.0L, 7));
  EXPECT_EQ(FloatHash(-2.5L, 7), 6);  // -2.5 rounds to -2
  // Not-a-number and infinities get a bucket rather than an undefined one.
  EXPECT_EQ(FloatHash(std::numeric_limits<long double>::quiet_NaN(), 7), 1);
  EXPECT_EQ(FloatHash(std::numeric_limits<long double>::infinity(), 7), 1);
  EXPECT_EQ(FloatHash(-std::numeric_limits<long double>::infinity(), 7), 1);
  for (long double v : {1e30L, -1e30L, 1e4000L, 123456789012345.678L, -0.5L, 0.5L}) {
    const std::int32_t h = FloatHash(v, 7);
    EXPECT_GE(h, 1);
    EXPECT_LE(h, 7);
    EXPECT_EQ(FloatHash(v, 7), h);
  }
  // Extended precision: 2^63 + 7 is exact in a long double, not in a double.
  EXPECT_EQ(FloatHash(std::ldexp(1.0L, 63) + 7, 1000000),
            FloatHash(std::ldexp(1.0L, 63), 1000000) + 7);
}

TEST(HashPrimitives, TableSizeBelowOneIsRefused) {
  for (std::int32_t size : {0, -1, std::numeric_limits<std::int32_t>::min()}) {
    EXPECT_THROW(IntegerHash(5, size), EInvalidArrayCapacity);
    EXPECT_THROW(StringHash("abc", size), EInvalidArrayCapacity);
    EXPECT_THROW(StringHash2("abc", size), EInvalidArrayCapacity);
    EXPECT_THROW(FloatHash(5.0L, size), EInvalidArrayCapacity);
  }
}

// ---------------------------------------------------------------------------
// Hash table

std::int32_t HashCounted(const TObject* Obj, std::int32_t TableSize) {
  return IntegerHash(static_cast<const TCounted*>(Obj)->value, TableSize);
}

// Uses the value itself as the bucket index, to provoke bad results.
std::int32_t HashIdentity(const TObject* Obj, std::int32_t) {
  return static_cast<const TCounted*>(Obj)->value;
}

void CollectValue(TObject* Obj, std::intptr_t CallBackData) {
  reinterpret_cast<Values*>(CallBackData)->push_back(ValueOf(Obj));
}

Values VisitOrder(THashTable& Table) {
  Values seen;
  Table.ForEachCallProc(CollectValue, reinterpret_cast<std::intptr_t>(&seen));
  return seen;
}

class HashTableTest : public CountedTest {};

TEST_F(HashTableTest, CreateRefusesNoBuckets) {
  EXPECT_THROW(THashTable(TCounted::StaticClass(), CompareCounted, HashCounted, 0),
               EInvalidArrayCapacity);
  EXPECT_THROW(THashTable(TCounted::StaticClass(), CompareCounted, HashCounted, -3),
               EInvalidArrayCapacity);
  THashTable table(TCounted::StaticClass(), CompareCounted, HashCounted, 5);
  EXPECT_EQ(table.TableSize(), 5);
  EXPECT_EQ(table.HashFunc(), &HashCounted);
  EXPECT_EQ(table.CompareFunc(), &CompareCounted);
  for (std::int32_t i = 1; i <= 5; ++i) {
    EXPECT_TRUE(table.Bucket(i)->QueryEmpty());
    EXPECT_EQ(table.Bucket(i)->ObjClass(), TCounted::StaticClass());
  }
  EXPECT_THROW(table.Bucket(0), EInvalidIndex);
  EXPECT_THROW(table.Bucket(6), EInvalidIndex);
}

TEST_F(HashTableTest, OneBucketKeepsInsertionOrder) {
  THashTable table(TCounted::StaticClass(), CompareCounted, HashCounted, 1);
  for (std::int32_t v : {5, 3, 9, 1}) table.Insert(new TCounted(v));
  EXPECT_EQ(table.Bucket(1)->GetSize(), 4);
  EXPECT_EQ(VisitOrder(table), (Values{5, 3, 9, 1}));
}

TEST_F(HashTableTest, VisitsBucketByBucket) {
  THashTable table(TCounted::StaticClass(), CompareCounted, HashCounted, 3);
  for (std::int32_t v : {5, 3, 1, 4, 2, 6}) table.Insert(new TCounted(v));
  EXPECT_EQ(table.GetSize(), 6);
  EXPECT_EQ(Forward(*table.Bucket(1)), (Values{3, 6}));
  EXPECT_EQ(Forward(*table.Bucket(2)), (Values{1, 4}));
  EXPECT_EQ(Forward(*table.Bucket(3)), (Values{5, 2}));
  EXPECT_EQ(VisitOrder(table), (Values{3, 6, 1, 4, 5, 2}));
  Values seen;
  table.ForEachCallMethod([&](TObject* Obj, std::intptr_t) { seen.push_back(ValueOf(Obj)); }, 0);
  EXPECT_EQ(seen, (Values{3, 6, 1, 4, 5, 2}));
  seen.clear();
  for (TObject* obj : table) seen.push_back(ValueOf(obj));
  EXPECT_EQ(seen, (Values{3, 6, 1, 4, 5, 2}));
}

TEST_F(HashTableTest, RangeForSkipsEmptyBuckets) {
  THashTable table(TCounted::StaticClass(), CompareCounted, HashCounted, 10);
  EXPECT_TRUE(table.begin() == table.end());
  table.Insert(new TCounted(9));   // bucket 10, the last one
  table.Insert(new TCounted(13));  // bucket 4
  table.Insert(new TCounted(3));   // bucket 4
  Values seen;
  for (TObject* obj : table) seen.push_back(ValueOf(obj));
  EXPECT_EQ(seen, (Values{13, 3, 9}));
}

TEST_F(HashTableTest, SearchDetachAndDeleteByOccurrence) {
  THashTable table(TCounted::StaticClass(), CompareCounted, HashCounted, 7);
  auto* a = new TCounted(4);
  auto* b = new TCounted(4);
  table.Insert(new TCounted(11));  // same bucket as 4, not equal
  table.Insert(a);
  table.Insert(b);
  TCounted x(4);
  EXPECT_EQ(table.Search(&x, 1), a);
  EXPECT_EQ(table.Search(&x, 2), b);
  EXPECT_EQ(table.Search(&x, 3), nullptr);
  TCounted absent(18);  // bucket of 4, no equal object
  EXPECT_EQ(table.Search(&absent), nullptr);

  std::unique_ptr<TObject> detached(table.Detach(&x, 1));
  EXPECT_EQ(detached.get(), a);
  EXPECT_EQ(table.GetSize(), 2);
  EXPECT_EQ(Live(), 5);  // 11, a, b, x, absent: nothing destroyed
  EXPECT_EQ(table.Search(&x, 1), b);
  EXPECT_EQ(table.Detach(&x, 2), nullptr);
  EXPECT_EQ(table.GetSize(), 2);

  EXPECT_FALSE(table.Delete(&absent));
  EXPECT_EQ(table.GetSize(), 2);
  EXPECT_TRUE(table.Delete(&x));
  EXPECT_EQ(table.GetSize(), 1);
  EXPECT_EQ(Live(), 4);  // b released
  EXPECT_EQ(table.Search(&x), nullptr);

  EXPECT_THROW(table.Search(&x, 0), EInvalidOccurrenceSought);
  EXPECT_THROW(table.Detach(&x, 0), EInvalidOccurrenceSought);
  EXPECT_THROW(table.Delete(&x, -1), EInvalidOccurrenceSought);
}

TEST_F(HashTableTest, BadObjectsAndHashResultsAreRefused) {
  THashTable table(TCounted::StaticClass(), CompareCounted, HashIdentity, 3);
  TUnrelated unrelated;
  // Checked before hashing: the hash function never sees these.
  EXPECT_THROW(table.Insert(nullptr), EInvalidObjectType);
  EXPECT_THROW(table.Insert(&unrelated), EInvalidObjectType);
  EXPECT_THROW(table.Search(nullptr), EInvalidObjectType);
  EXPECT_THROW(table.Delete(&unrelated), EInvalidObjectType);
  EXPECT_THROW(table.Detach(nullptr), EInvalidObjectType);

  TCounted zero(0), four(4), negative(-1);
  EXPECT_THROW(table.Insert(&zero), EInvalidIndex);
  EXPECT_THROW(table.Insert(&four), EInvalidIndex);
  EXPECT_THROW(table.Insert(&negative), EInvalidIndex);
  EXPECT_THROW(table.Search(&four), EInvalidIndex);
  EXPECT_THROW(table.Delete(&zero), EInvalidIndex);
  EXPECT_EQ(table.GetSize(), 0);
  table.Insert(new TCounted(3));
  table.Insert(new TCountedChild(1));
  EXPECT_EQ(table.GetSize(), 2);
  EXPECT_EQ(VisitOrder(table), (Values{1, 3}));
}

TEST_F(HashTableTest, OwnershipOnReleasesEachObjectOnce) {
  {
    THashTable table(TCounted::StaticClass(), CompareCounted, HashCounted, 4);
    for (std::int32_t v = 1; v <= 8; ++v) table.Insert(new TCounted(v));
    TCounted probe(5);
    EXPECT_TRUE(table.Delete(&probe));
    EXPECT_EQ(Live(), 8);
    TCounted six(6);
    std::unique_ptr<TObject> detached(table.Detach(&six));
    EXPECT_EQ(ValueOf(detached.get()), 6);
    EXPECT_EQ(Live(), 9);  // 6 stored, the detached one and two probes
    table.Clear();
    EXPECT_EQ(table.GetSize(), 0);
    EXPECT_EQ(Live(), 3);
    table.Insert(new TCounted(1));
    table.Insert(new TCounted(2));
  }
  EXPECT_EQ(Live(), 0);
}

TEST_F(HashTableTest, OwnershipOffReachesEveryBucket) {
  std::vector<std::unique_ptr<TCounted>> keep;
  for (std::int32_t v = 1; v <= 6; ++v) keep.push_back(std::make_unique<TCounted>(v));
  {
    THashTable table(TCounted::StaticClass(), CompareCounted, HashCounted, 4);
    table.SetOwnership(false);
    for (std::int32_t i = 1; i <= 4; ++i) EXPECT_FALSE(table.Bucket(i)->GetOwnership());
    for (auto& obj : keep) table.Insert(obj.get());
    TCounted probe(2);
    EXPECT_TRUE(table.Delete(&probe));
    table.Clear();
    EXPECT_EQ(Live(), 7);
    table.Insert(keep[0].get());
  }
  EXPECT_EQ(Live(), 6);
}

TEST_F(HashTableTest, BlankTableIsEmptyAndDestructible) {
  std::unique_ptr<TObject> obj = THashTable::StaticClass().CreateBlank();
  ASSERT_NE(obj, nullptr);
  auto* table = static_cast<THashTable*>(obj.get());
  EXPECT_EQ(table->GetSize(), 0);
  EXPECT_EQ(table->TableSize(), 0);
  EXPECT_TRUE(table->begin() == table->end());
  EXPECT_TRUE(VisitOrder(*table).empty());
  EXPECT_THROW(table->Bucket(1), EInvalidIndex);
  table->SetOwnership(false);
  table->Clear();
}

}  // namespace
}  // namespace corvid::test
