// Payloads of the containers, buckets and string combos: exact bytes where
// the format fixes them, round trips, and damaged payloads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ExpectRaises.h"
#include "PersistTestSupport.h"
#include "corvid/containers/ObjArray.h"
#include "corvid/containers/ObjHash.h"
#include "corvid/containers/ObjList.h"
#include "corvid/containers/ObjStack.h"
#include "corvid/values/ObjBuckt.h"

using corvid::test::ExpectRaises;

namespace corvid {
namespace {

using test::Bytes;
using test::Hex;
using test::ReadRecord;
using test::Record;
using test::TCounted;

class Payload : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTestClasses();
    live_ = TCounted::live;
  }
  void TearDown() override { EXPECT_EQ(TCounted::live, live_) << "objects leaked or lost"; }
  int live_ = 0;
};

TComparison CompareCounted(const TObject* Left, const TObject* Right) {
  return CompareInteger(static_cast<const TCounted*>(Left)->value,
                        static_cast<const TCounted*>(Right)->value);
}
std::int32_t HashCounted(const TObject* Obj, std::int32_t TableSize) {
  return IntegerHash(static_cast<const TCounted*>(Obj)->value, TableSize);
}

void RegisterCountedFunctions() {
  static const bool once = [] {
    RegisterCompareFunction("CompareCounted", CompareCounted);
    RegisterHashFunction("HashCounted", HashCounted);
    return true;
  }();
  (void)once;
}

template <class Container>
std::vector<int> Values(const Container& c) {
  std::vector<int> out;
  for (TObject* o : c) out.push_back(static_cast<TCounted*>(o)->value);
  return out;
}

template <class T>
std::unique_ptr<T> RoundTrip(T* Obj) {
  auto back = ReadRecord(Record(Obj));
  EXPECT_NE(back, nullptr);
  EXPECT_EQ(back->ClassType(), Obj->ClassType());
  return std::unique_ptr<T>(static_cast<T*>(back.release()));
}

TEST_F(Payload, ListsRoundTripInOrder) {
  RegisterCountedFunctions();
  TUnorderedList u(TCounted::StaticClass(), CompareCounted);
  TCircularList c(TCounted::StaticClass(), CompareCounted);
  for (int v : {5, 1, 4}) {
    u.Insert(new TCounted(v));
    c.Insert(new TCounted(v));
  }
  EXPECT_EQ(Values(*RoundTrip(&u)), (std::vector<int>{5, 1, 4}));
  auto c2 = RoundTrip(&c);
  EXPECT_EQ(Values(*c2), (std::vector<int>{5, 1, 4}));
  // Exactly Count child objects although the cursor wraps.
  EXPECT_EQ(Record(&c).size(),
            Record(&u).size() - std::strlen("TUnorderedList") + std::strlen("TCircularList"));
  EXPECT_TRUE(c2->GotoLast());
  EXPECT_TRUE(c2->GotoNext());
  EXPECT_EQ(static_cast<TCounted*>(c2->GetCurrentObj())->value, 5);
}

TEST_F(Payload, OrderedListResortsAndLaterEqualsComeFirst) {
  RegisterCountedFunctions();
  // A stream in an order the list would not keep.
  const std::string data = Bytes()
                               .Head("TOrderedList")
                               .Container("TCounted", "CompareCounted")
                               .Int(3)
                               .Head("TCounted")
                               .Int(3)
                               .Head("TCounted")
                               .Int(1)
                               .Head("TCounted")
                               .Int(2);
  auto back = ReadRecord(data);
  EXPECT_EQ(Values(*static_cast<TOrderedList*>(back.get())), (std::vector<int>{1, 2, 3}));

  // "A" and "a" are equal without regard to case: the one read later
  // comes first.
  const std::string combos = Bytes()
                                 .Head("TOrderedList")
                                 .Container("TStringCombo", "CompareStringComboNoCase")
                                 .Int(3)
                                 .Head("TStringCombo")
                                 .Str("A")
                                 .Bool(false)
                                 .Head("TStringCombo")
                                 .Str("b")
                                 .Bool(false)
                                 .Head("TStringCombo")
                                 .Str("a")
                                 .Bool(false);
  auto sorted = ReadRecord(combos);
  std::vector<std::string> strs;
  for (TObject* o : *static_cast<TOrderedList*>(sorted.get()))
    strs.push_back(static_cast<TStringCombo*>(o)->Str);
  EXPECT_EQ(strs, (std::vector<std::string>{"a", "A", "b"}));
}

// The strings of an ordered list read from an image holding Strs in that
// order, against the same strings passed one by one to Insert: the read
// must give the same order (equal strings included) and the same cursor.
void ExpectReadOrderIsInsertOrder(const std::vector<std::string>& Strs) {
  Bytes image;
  image.Head("TOrderedList")
      .Container("TStringCombo", "CompareStringComboNoCase")
      .Int(static_cast<std::int32_t>(Strs.size()));
  TOrderedList inserted(TStringCombo::StaticClass(), CompareStringComboNoCase);
  for (const std::string& s : Strs) {
    image.Head("TStringCombo").Str(s).Bool(false);
    inserted.Insert(new TStringCombo(s));
  }
  auto back = ReadRecord(image);
  auto* read = static_cast<TOrderedList*>(back.get());
  const auto strs = [](const TOrderedList& l) {
    std::vector<std::string> out;
    for (TObject* o : l) out.push_back(static_cast<TStringCombo*>(o)->Str);
    return out;
  };
  EXPECT_EQ(strs(*read), strs(inserted));
  ASSERT_EQ(read->GetSize(), inserted.GetSize());
  if (!Strs.empty()) {
    EXPECT_EQ(static_cast<TStringCombo*>(read->GetCurrentObj())->Str,
              static_cast<TStringCombo*>(inserted.GetCurrentObj())->Str);
  }
}

TEST_F(Payload, OrderedListReadPlacesEveryObjectAsInsertDoes) {
  // Sorted with runs of equals (letter case tells them apart): each later
  // equal goes before the earlier ones.
  ExpectReadOrderIsInsertOrder({"aa", "aA", "Aa", "b", "cc", "cC", "Cc", "CC"});
  // Unsorted: objects before the tail, one landing just before the trailing
  // run of equals, then more equals of that run.
  ExpectReadOrderIsInsertOrder({"b", "B", "a", "b", "c", "A", "C", "a", "c", "d", "B", "e"});
  ExpectReadOrderIsInsertOrder({"x", "X", "x"});
  ExpectReadOrderIsInsertOrder({"d", "c", "b", "a", "D", "C", "B", "A"});
  ExpectReadOrderIsInsertOrder({});
  // Many mixed sequences over a small alphabet, so ties are frequent; some
  // mostly ascending, as a written list arrives.
  std::mt19937 gen(18);
  for (int round = 0; round < 40; ++round) {
    std::vector<std::string> strs;
    for (int i = 0; i < 60; ++i) {
      // One of six keys, spelt in one of eight letter cases, so that equal
      // objects can be told apart.
      const int key = round % 2 == 0 ? int(gen() % 6) : std::min(5, i / 10 + int(gen() % 2));
      std::string s(3, static_cast<char>('a' + key));
      for (int b = 0; b < 3; ++b) {
        if ((i >> b) & 1) s[b] = static_cast<char>('A' + key);
      }
      strs.push_back(s);
    }
    ExpectReadOrderIsInsertOrder(strs);
  }
}

TEST_F(Payload, ReadListOwnsItsObjectsAndStartsWithoutCursorOrMarker) {
  TUnorderedList borrowed(TCounted::StaticClass(), CompareEqual);
  borrowed.SetOwnership(false);
  TCounted a(1);
  borrowed.Insert(&a);
  borrowed.SetMarker();
  auto back = RoundTrip(&borrowed);
  EXPECT_TRUE(back->GetOwnership());
  EXPECT_EQ(back->GetSize(), 1);
  EXPECT_NE(back->GetCurrentObj(), &a);  // a copy, freed by the list

  TUnorderedList empty(TCounted::StaticClass(), CompareEqual);
  empty.SetOwnership(false);
  auto e = RoundTrip(&empty);
  EXPECT_TRUE(e->GetOwnership());
  EXPECT_THROW(e->GetCurrentObj(), EContainerIsEmpty);
  EXPECT_THROW(e->GotoMarker(), EMarkerNotSet);
}

TEST_F(Payload, EmptyStackRecordAndPopOrder) {
  TStack empty(TIntegerBucket::StaticClass());
  const std::string expected = Bytes()
                                   .Sig()
                                   .Byte(0x06)
                                   .Byte(0x06)
                                   .Raw("TStack")
                                   .Word(1)
                                   .Byte(0x06)
                                   .Byte(0x0E)
                                   .Raw("TIntegerBucket")
                                   .Byte(0x06)
                                   .Byte(0x0C)
                                   .Raw("CompareEqual")
                                   .Sig()
                                   .Byte(0x06)
                                   .Byte(0x0E)
                                   .Raw("TUnorderedList")
                                   .Word(1)
                                   .Byte(0x06)
                                   .Byte(0x0E)
                                   .Raw("TIntegerBucket")
                                   .Byte(0x06)
                                   .Byte(0x0C)
                                   .Raw("CompareEqual")
                                   .Byte(0x02)
                                   .Byte(0x00);
  EXPECT_EQ(Hex(Record(&empty)), Hex(expected));
  auto e = ReadRecord(expected);
  EXPECT_TRUE(static_cast<TStack*>(e.get())->QueryEmpty());

  TStack s(TCounted::StaticClass());
  for (int v : {1, 2, 3}) s.Push(new TCounted(v));
  auto back = RoundTrip(&s);
  for (int v : {3, 2, 1}) {
    std::unique_ptr<TObject> top(back->Pop());
    EXPECT_EQ(static_cast<TCounted*>(top.get())->value, v);
  }
  EXPECT_TRUE(back->QueryEmpty());
}

TEST_F(Payload, StackRefusesAListOfAnotherKind) {
  const auto stackHead = [] {
    return Bytes().Head("TStack").Container("TCounted", "CompareEqual");
  };
  // Not a list at all.
  EXPECT_THROW(ReadRecord(stackHead().Head("TCounted").Int(1)), EInvalidObjectType);
  // A null list.
  EXPECT_THROW(ReadRecord(stackHead().Nil()), EInvalidObjectType);
  // A list of another element class.
  EXPECT_THROW(ReadRecord(stackHead()
                              .Head("TUnorderedList")
                              .Container("TIntegerBucket", "CompareEqual")
                              .Int(1)
                              .Head("TIntegerBucket")
                              .Int(4)
                              .U32(7)),
               EInvalidObjectType);
}

TEST_F(Payload, ArrayKeepsCountCapacityDeltaOrderAndSorted) {
  RegisterCountedFunctions();
  TArray a(TCounted::StaticClass(), CompareCounted, 10, 3);
  for (int v : {1, 2, 3}) a.Insert(new TCounted(v));
  EXPECT_EQ(Hex(Record(&a)), Hex(Bytes()
                                     .Head("TArray")
                                     .Container("TCounted", "CompareCounted")
                                     .Int(3)
                                     .Int(10)
                                     .Int(3)
                                     .Bool(true)
                                     .Head("TCounted")
                                     .Int(1)
                                     .Head("TCounted")
                                     .Int(2)
                                     .Head("TCounted")
                                     .Int(3)));
  auto back = RoundTrip(&a);
  EXPECT_EQ(back->GetSize(), 3);
  EXPECT_EQ(back->GetCapacity(), 10);
  EXPECT_EQ(back->GetDelta(), 3);
  EXPECT_TRUE(back->GetSorted());
  EXPECT_TRUE(back->GetOwnership());
  EXPECT_EQ(Values(*back), (std::vector<int>{1, 2, 3}));

  a.Insert(new TCounted(0));
  auto unsorted = RoundTrip(&a);
  EXPECT_FALSE(unsorted->GetSorted());
  EXPECT_EQ(Values(*unsorted), (std::vector<int>{1, 2, 3, 0}));
}

TEST_F(Payload, ArrayReadChecksCapacityAndSorted) {
  RegisterCountedFunctions();
  const auto head = [](std::int32_t n, std::int32_t cap, std::int32_t delta, bool sorted) {
    return Bytes()
        .Head("TArray")
        .Container("TCounted", "CompareCounted")
        .Int(n)
        .Int(cap)
        .Int(delta)
        .Bool(sorted);
  };
  EXPECT_THROW(ReadRecord(head(0, 0, 1, true)), EInvalidArrayCapacity);
  EXPECT_THROW(ReadRecord(head(0, -5, 1, true)), EInvalidArrayCapacity);
  EXPECT_THROW(ReadRecord(head(0, MaxArrayIndex + 1, 1, true)), EInvalidArrayCapacity);
  // A stream claiming "sorted" for elements out of order: re-checked.
  auto back = ReadRecord(head(2, 2, 0, true).Head("TCounted").Int(2).Head("TCounted").Int(1));
  EXPECT_FALSE(static_cast<TArray*>(back.get())->GetSorted());
  // More elements than the capacity with no growth step.
  EXPECT_THROW(ReadRecord(head(2, 1, 0, true).Head("TCounted").Int(2).Head("TCounted").Int(1)),
               EContainerIsFull);
}

TEST_F(Payload, HashTableRoundTripFindsEveryObject) {
  RegisterCountedFunctions();
  THashTable t(TCounted::StaticClass(), CompareCounted, HashCounted, 7);
  for (int v : {3, 10, 17, 4}) t.Insert(new TCounted(v));
  const std::string rec = Record(&t);
  // Buckets in order: 3, 10, 17 share bucket 4; 4 is in bucket 5.
  EXPECT_EQ(Hex(rec), Hex(Bytes()
                              .Head("THashTable")
                              .Container("TCounted", "CompareCounted")
                              .Int(4)
                              .Str("HashCounted")
                              .Int(7)
                              .Head("TCounted")
                              .Int(3)
                              .Head("TCounted")
                              .Int(10)
                              .Head("TCounted")
                              .Int(17)
                              .Head("TCounted")
                              .Int(4)));
  auto back = RoundTrip(&t);
  EXPECT_EQ(back->GetSize(), 4);
  EXPECT_EQ(back->TableSize(), 7);
  EXPECT_EQ(back->HashFunc(), HashCounted);
  for (int v : {3, 10, 17, 4}) {
    TCounted probe(v);
    TObject* found = back->Search(&probe);
    ASSERT_NE(found, nullptr) << v;
    EXPECT_NE(found, &probe);
  }
  TCounted absent(5);
  EXPECT_EQ(back->Search(&absent), nullptr);
}

TEST_F(Payload, HashTableReadChecksSizeAndFunctions) {
  RegisterCountedFunctions();
  const auto head = [](std::int32_t n, std::string_view hash, std::int32_t size) {
    return Bytes()
        .Head("THashTable")
        .Container("TCounted", "CompareCounted")
        .Int(n)
        .Str(hash)
        .Int(size);
  };
  EXPECT_THROW(ReadRecord(head(0, "HashCounted", 0)), EInvalidArrayCapacity);
  EXPECT_THROW(ReadRecord(head(0, "HashCounted", MaxArrayIndex + 1)), EInvalidArrayCapacity);
  EXPECT_THROW(ReadRecord(head(0, "NoSuchHash", 3)), EHashFuncNotRegistered);
  auto ok = ReadRecord(head(0, "HashCounted", 65536));
  EXPECT_EQ(static_cast<THashTable*>(ok.get())->TableSize(), 65536);
  // Writing a table whose functions have no name fails in the payload.
  THashTable t(
      TCounted::StaticClass(), CompareCounted, [](const TObject*, std::int32_t) { return 1; }, 3);
  EXPECT_THROW(Record(&t), EHashFuncNotRegistered);
  TUnorderedList l(TCounted::StaticClass(),
                   [](const TObject*, const TObject*) { return cmpEqual; });
  EXPECT_THROW(Record(&l), ECompareFuncNotRegistered);
}

// Every capacity and table size the containers accept is read back, and
// reading one costs memory for the elements that arrive, not for the size
// the stream declares.
TEST_F(Payload, LargeCapacitiesAndTableSizesRoundTripCheaply) {
  RegisterCountedFunctions();
  for (TArrayIndex size : {65537, 1000000, MaxArrayIndex}) {
    TArray a(TCounted::StaticClass(), CompareCounted, size, 0);
    THashTable t(TCounted::StaticClass(), CompareCounted, HashCounted, size);
    for (int v : {5, size - 1, 70000}) {
      a.Insert(new TCounted(v));
      t.Insert(new TCounted(v));
    }
    const std::size_t before = test::AllocatedBytes();
    auto array = RoundTrip(&a);
    auto table = RoundTrip(&t);
    EXPECT_LT(test::AllocatedBytes() - before, 16u << 20) << size;
    EXPECT_EQ(array->GetCapacity(), size);
    EXPECT_EQ(Values(*array), (std::vector<int>{5, size - 1, 70000}));
    EXPECT_EQ(table->TableSize(), size);
    for (int v : {5, size - 1, 70000}) {
      TCounted probe(v);
      EXPECT_NE(table->Search(&probe), nullptr) << size << " " << v;
    }
  }
  // A growth step as large as the capacity allows does not allocate it.
  const std::size_t before = test::AllocatedBytes();
  auto grown = ReadRecord(Bytes()
                              .Head("TArray")
                              .Container("TCounted", "CompareCounted")
                              .Int(2)
                              .Int(1)
                              .Int(MaxArrayIndex)
                              .Bool(true)
                              .Head("TCounted")
                              .Int(1)
                              .Head("TCounted")
                              .Int(2));
  EXPECT_LT(test::AllocatedBytes() - before, 16u << 20);
  EXPECT_EQ(static_cast<TArray*>(grown.get())->GetCapacity(), MaxArrayIndex);
  EXPECT_EQ(Values(*static_cast<TArray*>(grown.get())), (std::vector<int>{1, 2}));
}

TEST_F(Payload, ContainerOfAnUnregisteredClassCanBeWrittenButNotRead) {
  TUnorderedList l(TObject::StaticClass(), CompareEqual);
  const std::string rec = Record(&l);
  ExpectRaises<EClassNotRegistered>([&] { ReadRecord(rec); },
                                    ::testing::Eq("Class not registered : TObject"));
  EXPECT_THROW(ReadRecord(Bytes().Head("TUnorderedList").Container("TCounted", "NoSuchCompare")),
               ECompareFuncNotRegistered);
}

TEST_F(Payload, NullChildrenAreRefusedByTheContainer) {
  EXPECT_THROW(ReadRecord(Bytes()
                              .Head("TUnorderedList")
                              .Container("TCounted", "CompareEqual")
                              .Int(2)
                              .Head("TCounted")
                              .Int(1)
                              .Nil()),
               EInvalidObjectType);
  // And so are objects of another class.
  EXPECT_THROW(ReadRecord(Bytes()
                              .Head("TUnorderedList")
                              .Container("TCounted", "CompareEqual")
                              .Int(1)
                              .Head("TIntegerBucket")
                              .Int(4)
                              .U32(1)),
               EInvalidObjectType);
}

TEST_F(Payload, BucketPayloads) {
  TIntegerBucket i(1000);
  EXPECT_EQ(
      Hex(Record(&i)),
      Hex(Bytes().Head("TIntegerBucket").Raw("\x02\x04\xE8\x03").Raw(std::string("\x00\x00", 2))));
  TExtendedBucket x(-1.0L / 3.0L);
  const std::string xr = Record(&x);
  EXPECT_EQ(Hex(xr.substr(xr.size() - 12, 2)), "02 0A");
  auto xb = RoundTrip(&x);
  EXPECT_EQ(xb->GetSize(), 10);
  EXPECT_EQ(std::memcmp(xb->Data(), x.Data(), 10), 0);
  EXPECT_EQ(xb->GetExtended(), x.GetExtended());

  TBucket zero(std::uint16_t{0});
  EXPECT_EQ(Hex(Record(&zero)), Hex(Bytes().Head("TBucket").Int(0)));
  EXPECT_EQ(RoundTrip(&zero)->GetSize(), 0);

  // A 300-byte untyped bucket: its size takes the 2-byte integer form.
  std::string raw(300, '\x5A');
  TBucket big(300, raw.data());
  EXPECT_EQ(Hex(Record(&big).substr(15, 3)), "03 2C 01");
  EXPECT_EQ(std::memcmp(RoundTrip(&big)->Data(), raw.data(), 300), 0);

  // The low 16 bits of the stored size count.
  auto wrapped = ReadRecord(Bytes().Head("TByteBucket").Byte(0x04).U32(0x10001).Raw("\x07"));
  EXPECT_EQ(static_cast<TByteBucket*>(wrapped.get())->GetByte(), 7);
  // A truncated block.
  EXPECT_THROW(ReadRecord(Bytes().Head("TIntegerBucket").Int(4).Raw("\x01\x02")), EReadError);

  // Every typed bucket round-trips through its own class.
  std::vector<std::unique_ptr<TBucket>> all;
  all.emplace_back(new TShortIntBucket(-5));
  all.emplace_back(new TLongIntBucket(-70000));
  all.emplace_back(new TByteBucket(200));
  all.emplace_back(new TWordBucket(60000));
  all.emplace_back(new TCharBucket('\xE9'));
  all.emplace_back(new TBooleanBucket(true));
  all.emplace_back(new TWordBoolBucket(true));
  all.emplace_back(new TLongBoolBucket(true));
  all.emplace_back(new TRealBucket(2.5));
  all.emplace_back(new TDateTimeBucket(45000.25));
  all.emplace_back(new TSingleBucket(1.5f));
  all.emplace_back(new TDoubleBucket(-0.125));
  all.emplace_back(new TCompBucket(-(std::int64_t{1} << 40)));
  for (const auto& b : all) {
    auto back = RoundTrip(b.get());
    ASSERT_EQ(back->GetSize(), b->GetSize()) << b->ClassName();
    EXPECT_EQ(std::memcmp(back->Data(), b->Data(), b->GetSize()), 0) << b->ClassName();
  }
  // The currency bucket is not streamable.
  TCurrencyBucket cur(TCurrency::FromScaled(25000));
  EXPECT_THROW(Record(&cur), EClassNotRegistered);
}

TEST_F(Payload, StringCombos) {
  TStringCombo bare("key");
  EXPECT_EQ(Hex(Record(&bare)), Hex(Bytes().Head("TStringCombo").Str("key").Bool(false)));
  auto b = RoundTrip(&bare);
  EXPECT_EQ(b->Str, "key");
  EXPECT_EQ(b->Obj, nullptr);
  EXPECT_TRUE(b->OwnsObj);

  TCounted shared(9);
  TStringCombo borrowing("with", &shared);
  borrowing.OwnsObj = false;
  EXPECT_EQ(Hex(Record(&borrowing)),
            Hex(Bytes().Head("TStringCombo").Str("with").Bool(true).Head("TCounted").Int(9)));
  auto w = RoundTrip(&borrowing);
  EXPECT_TRUE(w->OwnsObj);  // owns its copy, freed with it
  ASSERT_NE(w->Obj, nullptr);
  EXPECT_NE(w->Obj, &shared);
  EXPECT_EQ(static_cast<TCounted*>(w->Obj)->value, 9);

  // Any byte but 09 means "no object": nothing more is read.
  auto f = ReadRecord(Bytes().Head("TStringCombo").Str("x").Byte(0x01));
  EXPECT_EQ(static_cast<TStringCombo*>(f.get())->Obj, nullptr);

  // A child that cannot be read: the half-built combo is freed.
  EXPECT_THROW(ReadRecord(Bytes().Head("TStringCombo").Str("x").Bool(true).Head("TNope")),
               EClassNotRegistered);
  EXPECT_THROW(ReadRecord(Bytes().Head("TStringCombo").Str("x").Bool(true).Head("TCounted")),
               EReadError);

  // An unregistered child: the string and the flag are written first.
  test::TCountedChild child(1);
  TStringCombo bad("s", &child);
  bad.OwnsObj = false;
  TMemoryStream m;
  TObjectStream s(&m, false);
  EXPECT_THROW(s.WriteObject(&bad), EClassNotRegistered);
  EXPECT_EQ(Hex(test::Content(m)), Hex(Bytes().Head("TStringCombo").Str("s").Bool(true)));
}

TEST_F(Payload, NestedContainersRoundTrip) {
  RegisterCountedFunctions();
  // A hash table of combos holding stacks, arrays and lists.
  THashTable t(TStringCombo::StaticClass(), CompareStringCombo, HashStringCombo, 5);
  auto* stack = new TStack(TCounted::StaticClass());
  stack->Push(new TCounted(1));
  auto* array = new TArray(TStringCombo::StaticClass(), CompareStringCombo, 2, 2);
  array->Insert(new TStringCombo("inner", new TIntegerBucket(-1)));
  auto* list = new TOrderedList(TCounted::StaticClass(), CompareCounted);
  for (int v : {9, 8}) list->Insert(new TCounted(v));
  t.Insert(new TStringCombo("stack", stack));
  t.Insert(new TStringCombo("array", array));
  t.Insert(new TStringCombo("list", list));
  t.Insert(new TStringCombo("none"));
  auto back = RoundTrip(&t);
  EXPECT_TRUE(ObjectsEqual(back.get(), &t));
  TStringCombo probe("array");
  auto* found = static_cast<TStringCombo*>(back->Search(&probe));
  ASSERT_NE(found, nullptr);
  auto* a2 = static_cast<TArray*>(found->Obj);
  EXPECT_EQ(static_cast<TStringCombo*>(a2->GetObj(1))->Str, "inner");
}

}  // namespace
}  // namespace corvid
