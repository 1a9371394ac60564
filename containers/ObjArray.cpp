#include "corvid/containers/ObjArray.h"

#include <algorithm>
#include <cstring>

#include "corvid/containers/ObjStack.h"
#include "corvid/values/ObjBuckt.h"

namespace corvid {

namespace {

// A pending quicksort range: two 32-bit bounds in an 8-byte bucket.
struct TSortRange {
  std::int32_t Lo;
  std::int32_t Hi;
};

std::unique_ptr<TBucket> NewRange(std::int32_t Lo, std::int32_t Hi) {
  const TSortRange r{Lo, Hi};
  return std::make_unique<TBucket>(static_cast<std::uint16_t>(sizeof r), &r);
}

TSortRange GetRange(const TBucket* Entry) {
  TSortRange r;
  Entry->GetData(&r);
  return r;
}

void SetRange(TBucket* Entry, std::int32_t Lo, std::int32_t Hi) {
  const TSortRange r{Lo, Hi};
  Entry->SetData(&r);
}

void PushRange(TStack& Stack, std::int32_t Lo, std::int32_t Hi) {
  std::unique_ptr<TBucket> entry = NewRange(Lo, Hi);
  Stack.Push(entry.get());
  entry.release();  // now owned by the stack
}

}  // namespace

TArray::TArray(TClass AClass, TCompareFunc CompareFunc, TArrayIndex Capacity, TArrayIndex Delta)
    : TContainer(AClass) {
  if (Capacity <= 0 || Capacity > MaxArrayIndex) RaiseInvalidArrayCapacity();
  compareFunc_ = CompareFunc;
  capacity_ = Capacity;
  delta_ = Delta;
  sorted_ = true;
  Reallocate(std::min(Capacity, PreallocatedSlots));
}

TArray::~TArray() {
  Clear();
}

TObject* TArray::GetObj(TArrayIndex Index) const {
  CheckIndex(Index);
  return items_[Index - 1];
}

void TArray::SetObj(TArrayIndex Index, TObject* Obj) {
  CheckType(Obj);
  CheckIndex(Index);
  TObject* old = items_[Index - 1];
  items_[Index - 1] = Obj;
  try {
    CheckSortedState(Index);
  } catch (...) {
    // The compare function refused the new element: put the old one back.
    items_[Index - 1] = old;
    throw;
  }
  // Storing the element that is already there must not destroy it.
  if (old != Obj) ReleaseObj(old);
}

void TArray::CheckIndex(TArrayIndex Index) const {
  if (Index < 1 || Index > count_) RaiseInvalidIndex();
}

void TArray::SetCapacity(TArrayIndex NewCapacity) {
  if (NewCapacity == 0 || NewCapacity > MaxArrayIndex) RaiseInvalidArrayCapacity();
  if (NewCapacity == capacity_) return;
  if (NewCapacity < count_ || NewCapacity < 0) RaiseNewArraySizeTooSmall();
  // The block keeps room for the elements there are and the slots given in
  // advance, and shrinks with a smaller capacity.
  const TArrayIndex slots = std::max(count_, std::min(NewCapacity, PreallocatedSlots));
  if (slots != allocated_) Reallocate(slots);
  capacity_ = NewCapacity;
}

void TArray::Reallocate(TArrayIndex Slots) {
  auto block = std::make_unique<TObject*[]>(static_cast<std::size_t>(Slots));
  if (count_ > 0) std::copy_n(items_.get(), count_, block.get());
  items_ = std::move(block);
  allocated_ = Slots;
}

void TArray::Insert(TObject* Obj) {
  CheckType(Obj);
  if (count_ >= MaxArrayIndex) RaiseContainerIsFull();
  if (count_ >= capacity_) {
    // A growth step of 0 (or a negative one) means the array never grows.
    if (delta_ <= 0) RaiseContainerIsFull();
    const std::int64_t grown = static_cast<std::int64_t>(capacity_) + delta_;
    SetCapacity(static_cast<TArrayIndex>(std::min<std::int64_t>(grown, MaxArrayIndex)));
  }
  if (count_ >= allocated_) {
    const std::int64_t doubled =
        std::max<std::int64_t>(2 * static_cast<std::int64_t>(allocated_), 16);
    Reallocate(static_cast<TArrayIndex>(std::min<std::int64_t>(doubled, capacity_)));
  }
  ++count_;
  items_[count_ - 1] = Obj;
  try {
    CheckSortedState(count_);
  } catch (...) {
    // The compare function refused the pair: the array stays as it was and
    // the caller keeps the object.
    items_[count_ - 1] = nullptr;
    --count_;
    throw;
  }
}

void TArray::Delete(TArrayIndex Index) {
  ReleaseObj(Detach(Index));
}

TObject* TArray::Detach(TArrayIndex Index) {
  CheckIndex(Index);
  TObject* old = items_[Index - 1];
  // The last element fills the hole (a no-op when it is the last one).
  items_[Index - 1] = items_[count_ - 1];
  items_[count_ - 1] = nullptr;
  --count_;
  try {
    if (Index <= count_) CheckSortedState(Index);
  } catch (...) {
    ReleaseObj(old);
    throw;
  }
  if (count_ < 2) sorted_ = true;
  return old;
}

void TArray::Clear() {
  // A blank instance being destroyed has no slots.
  if (items_) {
    for (TArrayIndex i = 0; i < count_; ++i) {
      TObject* obj = items_[i];
      items_[i] = nullptr;
      ReleaseObj(obj);
    }
  }
  sorted_ = true;
  count_ = 0;
}

void TArray::SetCompareFunc(TCompareFunc Func) {
  compareFunc_ = Func;
  sorted_ = false;
}

void TArray::Swap(TArrayIndex I, TArrayIndex J) {
  CheckIndex(I);
  CheckIndex(J);
  LocalSwap(I, J);
  if (sorted_ && compareFunc_(items_[I - 1], items_[J - 1]) != cmpEqual) sorted_ = false;
}

void TArray::CheckSortedState(TArrayIndex Index) {
  if (count_ < 2 || !sorted_) return;
  const auto notGreater = [this](TArrayIndex a, TArrayIndex b) {
    return compareFunc_(items_[a - 1], items_[b - 1]) != cmpGreater;
  };
  if (Index == count_) {
    sorted_ = notGreater(Index - 1, Index);
  } else if (Index == 1) {
    sorted_ = notGreater(1, 2);
  } else {
    sorted_ = notGreater(Index - 1, Index) && notGreater(Index, Index + 1);
  }
}

TArrayIndex TArray::BinarySearch(const TObject* Obj) const {
  CheckType(Obj);
  if (!sorted_ && count_ > 0) RaiseArrayNotSorted();
  TArrayIndex lo = 1;
  TArrayIndex hi = count_;
  TArrayIndex mid = 0;
  bool found = false;
  while (hi >= lo && !found) {
    mid = (lo + hi) / 2;
    const TComparison r = compareFunc_(Obj, items_[mid - 1]);
    if (mid == MaxArrayIndex) {
      found = r == cmpEqual;
      break;
    }
    if (r == cmpLess) {
      hi = mid - 1;
    } else if (r == cmpGreater) {
      lo = mid + 1;
    } else {
      found = true;
    }
  }
  return found ? mid : 0;
}

TArrayIndex TArray::LinearSearch(const TObject* Obj) const {
  CheckType(Obj);
  for (TArrayIndex i = 1; i <= count_; ++i) {
    if (compareFunc_(items_[i - 1], Obj) == cmpEqual) return i;
  }
  return 0;
}

void TArray::QuickSort() {
  const TCompareFunc c = compareFunc_;
  auto item = [this](TArrayIndex i) { return items_[i - 1]; };
  {
    // The stack owns its entries, so an exception from the compare function
    // frees every pending range with the stack.
    TStack stack(TBucket::StaticClass());
    PushRange(stack, 1, count_);
    while (!stack.QueryEmpty()) {
      auto* top = static_cast<TBucket*>(stack.PeekTop());
      const TSortRange range = GetRange(top);
      const TArrayIndex lo = range.Lo;
      const TArrayIndex hi = range.Hi;
      if (static_cast<std::uint32_t>(lo) >= static_cast<std::uint32_t>(hi)) {
        delete stack.Pop();
        continue;
      }
      TArrayIndex i = lo;
      TArrayIndex j = hi;
      const TArrayIndex mid = (lo + hi) / 2;
      if (j - i > 5) {
        // Median of three: bring the median of Items[I], Items[Mid] and
        // Items[Hi] into the pivot slot Hi.
        TObject* a = item(i);
        TObject* m = item(mid);
        TObject* p = item(hi);
        const TComparison mp = c(m, p);
        const TComparison ma = c(m, a);
        if ((mp == cmpLess && ma == cmpGreater) || (mp == cmpGreater && ma == cmpLess)) {
          LocalSwap(mid, j);
        } else {
          const TComparison am = c(a, m);
          const TComparison ap = c(a, p);
          if ((am == cmpLess && ap == cmpGreater) || (am == cmpGreater && ap == cmpLess)) {
            LocalSwap(i, j);
          }
        }
      }
      TObject* pivot = item(hi);
      if (i < j) {
        do {
          // Bounded by Hi: a compare function that calls the pivot less than
          // itself (CompareLess) must not run the scan past the range.
          while (i < hi && c(item(i), pivot) == cmpLess) ++i;
          --j;
          while (i < j && c(pivot, item(j)) == cmpLess) --j;
          if (i < j) LocalSwap(i, j);
        } while (i < j);
      }
      LocalSwap(i, hi);
      if (i - lo < hi - i) {
        SetRange(top, lo, i - 1);
        PushRange(stack, i + 1, hi);
      } else {
        SetRange(top, i + 1, hi);
        PushRange(stack, lo, i - 1);
      }
    }
  }
  sorted_ = true;
}

void TArray::ShellSort() {
  const TCompareFunc c = compareFunc_;
  TArrayIndex gap = count_;
  while (gap > 1) {
    gap /= 2;
    // With a consistent order a chain of elements gap apart is sorted after
    // at most its length in passes, so this bound never cuts a real sort
    // short; it only stops compare functions that exchange forever
    // (CompareGreater).
    const std::int64_t maxPasses = static_cast<std::int64_t>(count_) / gap + 2;
    bool exchanged = true;
    for (std::int64_t pass = 0; exchanged && pass < maxPasses; ++pass) {
      exchanged = false;
      for (TArrayIndex i = 1; i <= count_ - gap; ++i) {
        if (c(items_[i - 1], items_[i + gap - 1]) == cmpGreater) {
          LocalSwap(i, i + gap);
          exchanged = true;
        }
      }
    }
  }
  sorted_ = true;
}

void TArray::ForEachCallProc(TIteratorProc Proc, std::intptr_t CallBackData) {
  const TArrayIndex n = count_;
  for (TArrayIndex i = 1; i <= n && i <= count_; ++i) Proc(items_[i - 1], CallBackData);
}

void TArray::ForEachCallMethod(const TMethodIterator& Method, std::intptr_t CallBackData) {
  const TArrayIndex n = count_;
  for (TArrayIndex i = 1; i <= n && i <= count_; ++i) Method(items_[i - 1], CallBackData);
}

}  // namespace corvid
