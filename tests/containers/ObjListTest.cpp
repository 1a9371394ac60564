#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "Counted.h"
#include "ObjListTestSupport.h"
#include "corvid/containers/ObjList.h"

namespace corvid::test {
namespace {

using Values = std::vector<std::int32_t>;

static_assert(std::forward_iterator<TListIterator>);

// Forward and backward walks agree: the Prev links, First and Last are
// consistent with the Next links.
void ExpectLinks(TOrderedList& List, const Values& Expected) {
  EXPECT_EQ(Forward(List), Expected);
  Values back = Backward(List);
  std::reverse(back.begin(), back.end());
  EXPECT_EQ(back, Expected);
  EXPECT_EQ(List.GetSize(), static_cast<std::int32_t>(Expected.size()));
}

TCounted* Add(TNodeContainer& List, std::int32_t Value) {
  auto* obj = new TCounted(Value);
  List.Insert(obj);
  return obj;
}

// An unordered list that counts the cursor steps GetNthObj makes.
class TStepCountingList : public TUnorderedList {
  CORVID_CLASS(TStepCountingList, ::corvid::TUnorderedList)
 public:
  TStepCountingList() : TUnorderedList(TCounted::StaticClass(), CompareCounted) {}
  bool GotoFirst() override {
    ++firsts;
    return TUnorderedList::GotoFirst();
  }
  bool GotoLast() override {
    ++lasts;
    return TUnorderedList::GotoLast();
  }
  bool GotoNext() override {
    ++nexts;
    return TUnorderedList::GotoNext();
  }
  bool GotoPrev() override {
    ++prevs;
    return TUnorderedList::GotoPrev();
  }
  void ResetCounts() { firsts = lasts = nexts = prevs = 0; }
  int firsts = 0, lasts = 0, nexts = 0, prevs = 0;
};

TComparison CompareThrowing(const TObject*, const TObject*) {
  throw std::runtime_error("compare failed");
}

// ---------------------------------------------------------------------------
// Ordered list

class OrderedListTest : public CountedTest {};

TEST_F(OrderedListTest, InsertKeepsOrderAndPlacesNewEqualFirst) {
  TOrderedList list(TCounted::StaticClass(), CompareCounted);
  Add(list, 3);
  Add(list, 1);
  TCounted* firstTwo = Add(list, 2);
  ExpectLinks(list, {1, 2, 3});

  TCounted* secondTwo = Add(list, 2);
  EXPECT_EQ(list.GetCurrentObj(), secondTwo);  // cursor on the new node
  ExpectLinks(list, {1, 2, 2, 3});
  EXPECT_EQ(list.GetNthObj(2), secondTwo);
  EXPECT_EQ(list.GetNthObj(3), firstTwo);

  // Extremes: a new smallest becomes First, a new largest Last.
  Add(list, 0);
  Add(list, 9);
  ExpectLinks(list, {0, 1, 2, 2, 3, 9});
}

TEST_F(OrderedListTest, ConstantCompareFunctionsInsertAtHeadOrTail) {
  TOrderedList less(TCounted::StaticClass(), CompareLess);
  TOrderedList greater(TCounted::StaticClass(), CompareGreater);
  for (std::int32_t v : {1, 2, 3}) {
    Add(less, v);
    Add(greater, v);
  }
  ExpectLinks(less, {3, 2, 1});
  ExpectLinks(greater, {1, 2, 3});
}

TEST_F(OrderedListTest, SearchFindsNthEqualOrRestoresCursor) {
  TOrderedList list(TCounted::StaticClass(), CompareCounted);
  Add(list, 1);
  TCounted* a = Add(list, 5);
  TCounted* b = Add(list, 5);  // before a
  TCounted* seven = Add(list, 7);
  TCounted probe(5);

  EXPECT_TRUE(list.Search(&probe, 1));
  EXPECT_EQ(list.GetCurrentObj(), b);
  EXPECT_TRUE(list.Search(&probe, 2));
  EXPECT_EQ(list.GetCurrentObj(), a);

  list.GotoLast();
  EXPECT_FALSE(list.Search(&probe, 3));  // third "not less" node is 7, not equal
  EXPECT_EQ(list.GetCurrentObj(), seven);

  TCounted one(1);
  list.GotoFirst();
  list.GotoNext();
  EXPECT_FALSE(list.Search(&one, 2));
  EXPECT_EQ(list.GetCurrentObj(), b);
  TCounted absent(6);
  EXPECT_FALSE(list.Search(&absent));
  EXPECT_EQ(list.GetCurrentObj(), b);
}

TEST_F(OrderedListTest, SearchAndPositionStopsOnFirstNotLessNode) {
  TOrderedList list(TCounted::StaticClass(), CompareCounted);
  TCounted probe(4);
  EXPECT_FALSE(list.SearchAndPosition(&probe, 1));  // empty: null cursor
  EXPECT_THROW(list.GetCurrentObj(), EContainerIsEmpty);

  Add(list, 1);
  TCounted* five = Add(list, 5);
  Add(list, 3);
  EXPECT_FALSE(list.SearchAndPosition(&probe, 1));
  EXPECT_EQ(list.GetCurrentObj(), five);

  TCounted big(10);
  EXPECT_FALSE(list.SearchAndPosition(&big, 1));  // ran off the end
  EXPECT_THROW(list.GetCurrentObj(), EContainerIsEmpty);
  // Without a cursor there is no step to make.
  EXPECT_FALSE(list.GotoNext());
  EXPECT_FALSE(list.GotoPrev());
  EXPECT_THROW(list.GetCurrentObj(), EContainerIsEmpty);
}

TEST_F(OrderedListTest, DeleteRemovesNthOccurrence) {
  TOrderedList list(TCounted::StaticClass(), CompareCounted);
  Add(list, 2);
  TCounted* older = Add(list, 4);
  Add(list, 4);
  Add(list, 6);
  TCounted probe(4);
  EXPECT_TRUE(list.Delete(&probe, 1));  // the newer 4 comes first
  ExpectLinks(list, {2, 4, 6});
  EXPECT_TRUE(list.Search(&probe));
  EXPECT_EQ(list.GetCurrentObj(), older);
  TCounted absent(5);
  list.GotoFirst();
  EXPECT_FALSE(list.Delete(&absent));
  EXPECT_EQ(ValueOf(list.GetCurrentObj()), 2);
  EXPECT_EQ(list.GetSize(), 3);
}

TEST_F(OrderedListTest, RaisingCompareFunctionLeavesListUnchanged) {
  TOrderedList list(TCounted::StaticClass(), CompareThrowing);
  auto* first = new TCounted(1);
  list.Insert(first);  // an empty list compares nothing
  TCounted extra(2);
  EXPECT_THROW(list.Insert(&extra), std::runtime_error);
  EXPECT_EQ(list.GetSize(), 1);
  EXPECT_EQ(list.GetCurrentObj(), first);
  EXPECT_THROW(list.Search(&extra), std::runtime_error);
  EXPECT_EQ(list.GetCurrentObj(), first);
}

// ---------------------------------------------------------------------------
// Unordered list

class UnorderedListTest : public CountedTest {};

TEST_F(UnorderedListTest, InsertGoesAfterCursor) {
  TUnorderedList list(TCounted::StaticClass(), CompareCounted);
  auto* a = new TCounted(1);
  auto* b = new TCounted(2);
  auto* c = new TCounted(3);
  list.InsertAtHead(a);
  list.InsertAtTail(b);
  list.GotoFirst();
  list.Insert(c);
  ExpectLinks(list, {1, 3, 2});
  list.GotoFirst();
  list.GotoNext();
  EXPECT_EQ(list.GetCurrentObj(), c);

  // Without moving the cursor, inserts append in call order.
  list.GotoLast();
  Add(list, 4);
  Add(list, 5);
  EXPECT_EQ(ValueOf(list.GetCurrentObj()), 5);
  ExpectLinks(list, {1, 3, 2, 4, 5});
  list.InsertAtHead(new TCounted(0));
  EXPECT_EQ(ValueOf(list.GetCurrentObj()), 0);
  ExpectLinks(list, {0, 1, 3, 2, 4, 5});
}

TEST_F(UnorderedListTest, InsertWithoutCursorAppends) {
  TUnorderedList list(TCounted::StaticClass(), CompareCounted);
  Add(list, 1);
  Add(list, 2);
  list.GotoFirst();
  TCounted greater(9);
  list.SearchAndPosition(&greater, 1);  // runs off the end: no cursor
  Add(list, 3);
  ExpectLinks(list, {1, 2, 3});
}

TEST_F(UnorderedListTest, SearchIsLinearInListOrder) {
  TUnorderedList list(TCounted::StaticClass(), CompareCounted);
  TCounted* a = Add(list, 7);
  Add(list, 1);
  TCounted* b = Add(list, 7);
  TCounted probe(7);
  EXPECT_TRUE(list.Search(&probe, 1));
  EXPECT_EQ(list.GetCurrentObj(), a);
  EXPECT_TRUE(list.Search(&probe, 2));
  EXPECT_EQ(list.GetCurrentObj(), b);
  list.GotoFirst();
  list.GotoNext();
  EXPECT_FALSE(list.Search(&probe, 3));
  EXPECT_EQ(ValueOf(list.GetCurrentObj()), 1);
  EXPECT_THROW(list.Search(&probe, 0), EInvalidOccurrenceSought);
  EXPECT_THROW(list.Search(&probe, -1), EInvalidOccurrenceSought);
  EXPECT_THROW(list.Delete(&probe, 0), EInvalidOccurrenceSought);
  EXPECT_EQ(list.GetSize(), 3);
}

TEST_F(UnorderedListTest, DetachCurrentMovesCursorToNeighbour) {
  TUnorderedList list(TCounted::StaticClass(), CompareCounted);
  EXPECT_THROW(list.DetachCurrent(), EContainerIsEmpty);
  TCounted* a = Add(list, 1);
  TCounted* b = Add(list, 2);
  TCounted* c = Add(list, 3);

  list.GotoFirst();
  std::unique_ptr<TObject> gotA(list.DetachCurrent());
  EXPECT_EQ(gotA.get(), a);
  EXPECT_EQ(list.GetCurrentObj(), b);  // the following node
  ExpectLinks(list, {2, 3});

  list.GotoLast();
  std::unique_ptr<TObject> gotC(list.DetachCurrent());
  EXPECT_EQ(gotC.get(), c);
  EXPECT_EQ(list.GetCurrentObj(), b);  // the new last node
  ExpectLinks(list, {2});

  std::unique_ptr<TObject> gotB(list.DetachCurrent());
  EXPECT_EQ(gotB.get(), b);
  EXPECT_TRUE(list.QueryEmpty());
  EXPECT_FALSE(list.GotoFirst());
  EXPECT_FALSE(list.GotoLast());
  EXPECT_THROW(list.GetCurrentObj(), EContainerIsEmpty);
  EXPECT_EQ(Live(), 3);  // detaching never destroys

  // The emptied list is usable again.
  Add(list, 4);
  ExpectLinks(list, {4});
}

TEST_F(UnorderedListTest, GetNthObjWalksFromNearerEnd) {
  TStepCountingList list;
  EXPECT_THROW(list.GetNthObj(1), EInvalidIndex);
  for (std::int32_t v = 1; v <= 10; ++v) Add(list, v);
  EXPECT_THROW(list.GetNthObj(0), EInvalidIndex);
  EXPECT_THROW(list.GetNthObj(11), EInvalidIndex);
  EXPECT_EQ(ValueOf(list.GetCurrentObj()), 10);  // failures leave the cursor

  list.ResetCounts();
  EXPECT_EQ(ValueOf(list.GetNthObj(4)), 4);
  EXPECT_EQ(list.firsts, 1);
  EXPECT_EQ(list.nexts, 3);
  EXPECT_EQ(list.lasts + list.prevs, 0);

  list.ResetCounts();
  EXPECT_EQ(ValueOf(list.GetNthObj(5)), 5);
  EXPECT_EQ(list.lasts, 1);
  EXPECT_EQ(list.prevs, 5);
  EXPECT_EQ(list.firsts + list.nexts, 0);

  for (std::int32_t n = 1; n <= 10; ++n) {
    EXPECT_EQ(ValueOf(list.GetNthObj(n)), n);
    EXPECT_EQ(ValueOf(list.GetCurrentObj()), n);
  }
  list.GotoNth(7);
  EXPECT_EQ(ValueOf(list.GetCurrentObj()), 7);
}

TEST_F(UnorderedListTest, GotoNextAndPrevStopAtEnds) {
  TUnorderedList list(TCounted::StaticClass(), CompareCounted);
  EXPECT_FALSE(list.GotoNext());
  EXPECT_FALSE(list.GotoPrev());
  Add(list, 1);
  Add(list, 2);
  EXPECT_FALSE(list.GotoNext());
  EXPECT_EQ(ValueOf(list.GetCurrentObj()), 2);
  EXPECT_TRUE(list.GotoPrev());
  EXPECT_FALSE(list.GotoPrev());
  EXPECT_EQ(ValueOf(list.GetCurrentObj()), 1);
}

// ---------------------------------------------------------------------------
// Circular list

class CircularListTest : public CountedTest {};

TEST_F(CircularListTest, CursorWrapsAround) {
  TCircularList list(TCounted::StaticClass(), CompareCounted);
  EXPECT_FALSE(list.GotoNext());
  EXPECT_FALSE(list.GotoPrev());
  Add(list, 1);
  EXPECT_TRUE(list.GotoNext());  // a single node wraps onto itself
  EXPECT_EQ(ValueOf(list.GetCurrentObj()), 1);
  Add(list, 2);
  Add(list, 3);

  list.GotoLast();
  EXPECT_TRUE(list.GotoNext());
  EXPECT_EQ(ValueOf(list.GetCurrentObj()), 1);
  EXPECT_TRUE(list.GotoPrev());
  EXPECT_EQ(ValueOf(list.GetCurrentObj()), 3);
  EXPECT_TRUE(list.GotoPrev());
  EXPECT_EQ(ValueOf(list.GetCurrentObj()), 2);

  // No cursor: no step, no wrap.
  TCounted big(9);
  list.SearchAndPosition(&big, 1);
  EXPECT_FALSE(list.GotoNext());
  EXPECT_FALSE(list.GotoPrev());
}

void CollectValue(TObject* Obj, std::intptr_t CallBackData) {
  reinterpret_cast<Values*>(CallBackData)->push_back(ValueOf(Obj));
}

TEST_F(CircularListTest, IterationVisitsEachObjectOnce) {
  TCircularList list(TCounted::StaticClass(), CompareCounted);
  for (std::int32_t v : {1, 2, 3}) Add(list, v);
  list.GotoFirst();
  Values seen;
  list.ForEachCallProc(CollectValue, reinterpret_cast<std::intptr_t>(&seen));
  EXPECT_EQ(seen, (Values{1, 2, 3}));
  EXPECT_EQ(ValueOf(list.GetCurrentObj()), 3);  // left on the last object
  seen.clear();
  list.ForEachCallMethod(
      [&](TObject* Obj, std::intptr_t Data) {
        EXPECT_EQ(Data, 42);
        seen.push_back(ValueOf(Obj));
      },
      42);
  EXPECT_EQ(seen, (Values{1, 2, 3}));
  EXPECT_EQ(Forward(list), (Values{1, 2, 3}));
  // GetNthObj works through the wrapping steps too.
  EXPECT_EQ(ValueOf(list.GetNthObj(1)), 1);
  EXPECT_EQ(ValueOf(list.GetNthObj(3)), 3);
}

// ---------------------------------------------------------------------------
// Behaviour shared by every list

class ListCommonTest : public CountedTest {};

TEST_F(ListCommonTest, RangeForLeavesCursorAlone) {
  TOrderedList list(TCounted::StaticClass(), CompareCounted);
  EXPECT_TRUE(list.begin() == list.end());
  for (std::int32_t v : {3, 1, 2}) Add(list, v);
  list.GotoFirst();
  list.SetMarker();
  list.GotoNext();
  Values seen;
  for (TObject* obj : list) seen.push_back(ValueOf(obj));
  EXPECT_EQ(seen, (Values{1, 2, 3}));
  EXPECT_EQ(ValueOf(list.GetCurrentObj()), 2);
  EXPECT_FALSE(list.IsOnMarker());
  EXPECT_EQ(std::count_if(list.begin(), list.end(), [](TObject* o) { return ValueOf(o) > 1; }), 2);
}

TEST_F(ListCommonTest, CallbackMayRemoveTheObjectItIsHanded) {
  TUnorderedList list(TCounted::StaticClass(), CompareCounted);
  for (std::int32_t v = 1; v <= 6; ++v) Add(list, v);
  Values seen;
  list.ForEachCallMethod(
      [&](TObject* Obj, std::intptr_t) {
        seen.push_back(ValueOf(Obj));
        if (ValueOf(Obj) % 2 == 0) list.DeleteCurrent();
      },
      0);
  EXPECT_EQ(seen, (Values{1, 2, 3, 4, 5, 6}));
  ExpectLinks(list, {1, 3, 5});
  EXPECT_EQ(Live(), 3);
}

TEST_F(ListCommonTest, TypeChecksRefuseBeforeChanging) {
  TUnorderedList list(TCounted::StaticClass(), CompareCounted);
  Add(list, 1);
  TUnrelated unrelated;
  EXPECT_THROW(list.Insert(nullptr), EInvalidObjectType);
  EXPECT_THROW(list.InsertAtHead(nullptr), EInvalidObjectType);
  EXPECT_THROW(list.InsertAtTail(&unrelated), EInvalidObjectType);
  EXPECT_THROW(list.Search(&unrelated), EInvalidObjectType);
  EXPECT_THROW(list.Delete(nullptr), EInvalidObjectType);
  EXPECT_THROW(list.SearchAndPosition(nullptr, 1), EInvalidObjectType);
  TOrderedList ordered(TCounted::StaticClass(), CompareCounted);
  EXPECT_THROW(ordered.Insert(&unrelated), EInvalidObjectType);
  EXPECT_THROW(ordered.Search(&unrelated), EInvalidObjectType);
  EXPECT_TRUE(ordered.QueryEmpty());

  // A descendant of the element class is accepted.
  list.Insert(new TCountedChild(2));
  ExpectLinks(list, {1, 2});
}

TEST_F(ListCommonTest, MarkerIsResetWhenItsNodeGoes) {
  TUnorderedList list(TCounted::StaticClass(), CompareCounted);
  EXPECT_TRUE(list.IsOnMarker());
  EXPECT_THROW(list.GotoMarker(), EMarkerNotSet);
  Add(list, 1);
  Add(list, 2);
  Add(list, 3);
  list.GotoNth(2);
  list.SetMarker();
  list.GotoFirst();
  EXPECT_FALSE(list.IsOnMarker());
  list.GotoMarker();
  EXPECT_EQ(ValueOf(list.GetCurrentObj()), 2);

  // Removing another node keeps the marker.
  list.GotoLast();
  list.DeleteCurrent();
  list.GotoMarker();
  EXPECT_EQ(ValueOf(list.GetCurrentObj()), 2);

  list.DeleteCurrent();  // the marked node
  EXPECT_THROW(list.GotoMarker(), EMarkerNotSet);

  list.GotoFirst();
  list.SetMarker();
  list.Clear();
  EXPECT_THROW(list.GotoMarker(), EMarkerNotSet);
  EXPECT_TRUE(list.IsOnMarker());

  TCounted probe(5);
  Add(list, 5);
  list.SetMarker();
  EXPECT_TRUE(list.Delete(&probe));
  EXPECT_THROW(list.GotoMarker(), EMarkerNotSet);
}

TEST_F(ListCommonTest, OwnershipOnReleasesEachObjectOnce) {
  {
    TOrderedList list(TCounted::StaticClass(), CompareCounted);
    for (std::int32_t v = 1; v <= 6; ++v) Add(list, v);
    EXPECT_EQ(Live(), 6);

    TCounted probe(3);
    EXPECT_TRUE(list.Delete(&probe));
    EXPECT_EQ(Live(), 6);  // 5 stored + probe
    list.GotoFirst();
    list.DeleteCurrent();
    EXPECT_EQ(Live(), 5);

    std::unique_ptr<TObject> detached(list.DetachCurrent());
    EXPECT_EQ(Live(), 5);

    list.GotoFirst();
    list.SetCurrentObj(new TCounted(20));  // replaces and releases the old one
    EXPECT_EQ(Live(), 5);
    list.SetCurrentObj(list.GetCurrentObj());  // the same object is kept
    EXPECT_EQ(ValueOf(list.GetCurrentObj()), 20);

    list.Clear();
    EXPECT_EQ(Live(), 2);  // probe and the detached object
    Add(list, 7);
    Add(list, 8);
    EXPECT_EQ(Live(), 4);
  }  // destruction releases the last two
  EXPECT_EQ(Live(), 0);
}

TEST_F(ListCommonTest, OwnershipOffDestroysNothing) {
  std::vector<std::unique_ptr<TCounted>> keep;
  for (std::int32_t v = 1; v <= 6; ++v) keep.push_back(std::make_unique<TCounted>(v));
  {
    TCircularList list(TCounted::StaticClass(), CompareCounted);
    list.SetOwnership(false);
    EXPECT_FALSE(list.GetOwnership());
    for (auto& obj : keep) list.Insert(obj.get());

    TCounted probe(2);
    EXPECT_TRUE(list.Delete(&probe));
    list.GotoFirst();
    list.DeleteCurrent();
    list.GotoFirst();
    list.SetCurrentObj(keep[0].get());
    list.DetachCurrent();
    EXPECT_EQ(Live(), 7);
    list.Clear();
    EXPECT_EQ(Live(), 7);
    list.Insert(keep[5].get());
  }
  EXPECT_EQ(Live(), 6);
}

TEST_F(ListCommonTest, BlankInstanceIsEmptyAndDestructible) {
  for (TClass c :
       {TOrderedList::StaticClass(), TUnorderedList::StaticClass(), TCircularList::StaticClass()}) {
    std::unique_ptr<TObject> obj = c.CreateBlank();
    ASSERT_NE(obj, nullptr);
    auto* list = static_cast<TOrderedList*>(obj.get());
    EXPECT_TRUE(list->QueryEmpty());
    EXPECT_FALSE(list->GotoFirst());
    EXPECT_TRUE(list->begin() == list->end());
    list->Clear();
  }
}

}  // namespace
}  // namespace corvid::test
