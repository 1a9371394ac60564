/// @file
/// TArray: a growable array of object references with 1-based indices, a
/// fixed growth step and a flag that tracks whether the elements are known to
/// be in compare-function order.
///
/// - Insert appends; Delete fills the hole with the last element (constant
///   time, order not kept).
/// - The Sorted flag is maintained incrementally from the neighbours of each
///   changed slot; it is only ever set again by a sort, by Clear, or when the
///   array drops below two elements.
/// - QuickSort (iterative, median of three, pending ranges on a TStack of
///   8-byte TBuckets) and ShellSort sort in place; both terminate even with
///   the constant compare functions.
/// - BinarySearch needs a sorted array (EArrayNotSorted otherwise) and passes
///   the probe as the left operand; LinearSearch passes the stored element as
///   the left operand and returns the lowest matching index.
/// - Range-for visits the elements 1..Count in index order.
/// - Slots for up to PreallocatedSlots elements are allocated as soon as the
///   capacity is set; beyond that the block of slots grows with the elements
///   (doubling, never past the capacity). The capacity itself is the limit
///   Insert enforces, so a large capacity costs memory only once elements
///   fill it (a stream that declares one cannot make the reader allocate it).
#pragma once

#include <cstdint>
#include <memory>

#include "corvid/containers/ObjBase.h"

namespace corvid {

/// Element index; valid indices are 1..Count, 0 means "not found".
using TArrayIndex = std::int32_t;
/// Largest number of elements and of slots (2^29 - 1).
inline constexpr TArrayIndex MaxArrayIndex = 536870911;
/// Slots allocated in advance of the elements, at most.
inline constexpr TArrayIndex PreallocatedSlots = 65536;

/// A growable array of object references with 1-based indices (see the file comment).
class TArray : public TContainer {
  CORVID_CLASS(TArray, ::corvid::TContainer)
 public:
  /// Capacity must lie in 1..MaxArrayIndex (EInvalidArrayCapacity otherwise).
  /// Delta is the growth step; 0 (or less) means the array never grows.
  TArray(TClass AClass, TCompareFunc CompareFunc, TArrayIndex Capacity, TArrayIndex Delta);
  /// Releases the elements according to ownership, then frees the slots.
  ~TArray() override;

  /// The element at Index (EInvalidIndex outside 1..Count).
  TObject* GetObj(TArrayIndex Index) const;
  /// Replaces the element at Index: CheckType, CheckIndex, release the old
  /// element (unless it is Obj itself), store Obj, re-check Sorted.
  virtual void SetObj(TArrayIndex Index, TObject* Obj);
  /// EInvalidIndex unless 1 <= Index <= Count.
  void CheckIndex(TArrayIndex Index) const;

  TArrayIndex GetCapacity() const { return capacity_; }
  /// 0 (or above MaxArrayIndex): EInvalidArrayCapacity; below Count:
  /// ENewArraySizeTooSmall; equal to the capacity: nothing happens. The
  /// elements move to a block sized for the new capacity (see above).
  void SetCapacity(TArrayIndex NewCapacity);
  TArrayIndex GetDelta() const { return delta_; }
  void SetDelta(TArrayIndex Delta) { delta_ = Delta; }
  TArrayIndex GetFreeSpace() const { return capacity_ - count_; }
  bool GetSorted() const { return sorted_; }

  /// Appends Obj (EInvalidObjectType, EContainerIsFull).
  void Insert(TObject* Obj);
  /// Releases the element at Index and moves the last element into its slot.
  void Delete(TArrayIndex Index);
  /// Delete without the release: the element at Index is the caller's.
  /// Should the compare function raise over the new order, the element is
  /// released as Delete would have released it.
  [[nodiscard]] TObject* Detach(TArrayIndex Index);
  /// Releases every element from index 1 upward; the capacity is kept.
  void Clear() override;

  /// Stores Func and clears Sorted.
  void SetCompareFunc(TCompareFunc Func);
  /// Exchanges two elements (both checked); clears Sorted when they differ.
  void Swap(TArrayIndex I, TArrayIndex J);
  /// Exchanges two elements with no check and no change of Sorted.
  void LocalSwap(TArrayIndex I, TArrayIndex J) {
    TObject* t = items_[I - 1];
    items_[I - 1] = items_[J - 1];
    items_[J - 1] = t;
  }
  /// Updates Sorted after a change at Index; only ever clears it.
  void CheckSortedState(TArrayIndex Index);

  /// Index of an element equal to Obj, or 0. EArrayNotSorted when the array
  /// is not empty and not known to be sorted.
  TArrayIndex BinarySearch(const TObject* Obj) const;
  /// Lowest index of an element equal to Obj, or 0.
  TArrayIndex LinearSearch(const TObject* Obj) const;
  void QuickSort();
  void ShellSort();

  /// Visit the elements 1..Count in index order (Count taken at the start;
  /// elements removed by the callback are not visited).
  void ForEachCallProc(TIteratorProc Proc, std::intptr_t CallBackData) override;
  void ForEachCallMethod(const TMethodIterator& Method, std::intptr_t CallBackData) override;

  /// Range-for over the elements 1..Count. Do not change the array while
  /// iterating.
  TObject* const* begin() const { return items_.get(); }
  TObject* const* end() const { return items_.get() + count_; }

 protected:
  /// Blank instance for the object stream: no slots, count 0.
  explicit TArray(TBlank b) : TContainer(b) {}

  /// Moves the elements to a block of Slots slots (Count <= Slots).
  void Reallocate(TArrayIndex Slots);

  TArrayIndex capacity_ = 0;
  /// Slots in items_: Count <= allocated_ <= Capacity.
  TArrayIndex allocated_ = 0;
  TArrayIndex delta_ = 0;
  bool sorted_ = false;
  /// Slot i (1-based) is items_[i - 1]; slots at and above count_ are unused.
  std::unique_ptr<TObject*[]> items_;

  friend void ReadArray(TObject* Obj, TObjectReader& Reader);
  friend void WriteArray(TObject* Obj, TObjectWriter& Writer);
};

/// Stream payload of TArray (written with the stream payloads). A reader may
/// use SetCapacity on the blank instance to set the capacity.
void ReadArray(TObject* Obj, TObjectReader& Reader);
void WriteArray(TObject* Obj, TObjectWriter& Writer);

}  // namespace corvid
