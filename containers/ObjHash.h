/// @file
/// The hash-function signature, the hash primitives the registered hash
/// functions are built from, and THashTable, a fixed-size hash table of
/// objects with separate chaining.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string_view>
#include <vector>

#include "corvid/containers/ObjBase.h"
#include "corvid/containers/ObjList.h"

namespace corvid {

/// Maps Obj to its 1-based bucket index, which must lie in 1..TableSize.
/// Equal objects (by the table's compare function) must hash alike.
using THashFunc = std::int32_t (*)(const TObject* Obj, std::int32_t TableSize);

/// Hash primitives. Each returns a bucket index in 1..TableSize. A TableSize
/// below 1 raises EInvalidArrayCapacity (there is no such table).
///
/// IntegerHash: (Value mod TableSize) + 1 for Value >= 0. A negative Value is
/// reduced to the non-negative residue first (floored modulo), so -1 maps to
/// TableSize, -TableSize to 1: each residue class keeps one bucket.
std::int32_t IntegerHash(std::int32_t Value, std::int32_t TableSize);
/// Mixes the first five characters (unsigned codes): h = h * 23 + c.
std::int32_t StringHash(std::string_view S, std::int32_t TableSize);
/// Mixes up to seven characters spread evenly over S, the seventh always the
/// last one: h = h * 13 + c. The empty string hashes to 1.
std::int32_t StringHash2(std::string_view S, std::int32_t TableSize);
/// r = Value - Int(Value / TableSize) * TableSize in extended precision, then
/// Round(r) + 1 (half to even). A rounded remainder that is negative or
/// reaches +-TableSize is wrapped into 0..TableSize-1 the same way as in
/// IntegerHash (so -0.4 -> 1, -1.0 -> TableSize, 6.7 with 7 buckets -> 1).
/// Non-finite values (NaN, infinities) all map to 1.
std::int32_t FloatHash(long double Value, std::int32_t TableSize);

class THashTable;

/// Forward iterator over the objects of a hash table: bucket 1 to TableSize,
/// each bucket from first to last (the order of ForEachCallProc). Does not
/// move any cursor. Do not insert or remove while iterating.
class THashIterator {
 public:
  using iterator_category = std::forward_iterator_tag;
  using value_type = TObject*;
  using difference_type = std::ptrdiff_t;
  using pointer = TObject* const*;
  using reference = TObject*;

  THashIterator() = default;

  TObject* operator*() const { return *node_; }
  THashIterator& operator++();
  THashIterator operator++(int) {
    THashIterator old = *this;
    ++*this;
    return old;
  }
  friend bool operator==(const THashIterator& a, const THashIterator& b) {
    return a.node_ == b.node_;
  }

 private:
  friend class THashTable;
  THashIterator(const THashTable* Table, std::int32_t Bucket);
  /// Moves to the first node of the next non-empty bucket from bucket_ on.
  void SkipEmptyBuckets();

  const THashTable* table_ = nullptr;
  std::int32_t bucket_ = 0;
  TListIterator node_;
};

/// The buckets are unordered lists, each made when it is first needed (an
/// insert, or a look at it through Bucket), so a table costs memory for the
/// buckets in use rather than for its size: a few bytes per 1024 buckets for
/// the directory of pages, a page of 1024 slots once one of its buckets is
/// made. A table of any size up to MaxArrayIndex is cheap to create or read.
class THashTable : public TContainer {
  CORVID_CLASS(THashTable, ::corvid::TContainer)
 public:
  /// TableSize buckets (1..MaxArrayIndex, else EInvalidArrayCapacity), each
  /// an unordered list of AClass ordered by CompareFunc.
  THashTable(TClass AClass, TCompareFunc CompareFunc, THashFunc HashFunc, std::int32_t TableSize);
  ~THashTable() override;

  /// Sets the table's flag and that of every bucket.
  void SetOwnership(bool Value) override;
  /// Bucket 1 to TableSize, each from first to last.
  void ForEachCallProc(TIteratorProc Proc, std::intptr_t CallBackData) override;
  void ForEachCallMethod(const TMethodIterator& Method, std::intptr_t CallBackData) override;
  /// Releases every object (per ownership); the buckets stay.
  void Clear() override;

  /// Appends Obj at the tail of its bucket. EInvalidObjectType for a null or
  /// wrong-class object (checked before hashing); EInvalidIndex when the
  /// hash function answers outside 1..TableSize.
  virtual void Insert(TObject* Obj);
  /// Releases the Occurrence-th object equal to Obj in its bucket; false
  /// when there is none.
  virtual bool Delete(const TObject* Obj, std::int32_t Occurrence = 1);
  /// Removes and returns the Occurrence-th object equal to Obj (never
  /// destroyed); null when there is none.
  TObject* Detach(const TObject* Obj, std::int32_t Occurrence = 1);
  /// The Occurrence-th object equal to Obj in its bucket, in insertion
  /// order; null when there is none. EInvalidOccurrenceSought below 1.
  TObject* Search(const TObject* Obj, std::int32_t Occurrence = 1);

  THashFunc HashFunc() const { return hashFunc_; }
  std::int32_t TableSize() const { return tableSize_; }
  /// The list of bucket Index (1..TableSize, else EInvalidIndex), read-only:
  /// changing a bucket behind the table's back would break its count.
  const TUnorderedList* Bucket(std::int32_t Index) const { return BucketList(Index, true); }

  THashIterator begin() const { return THashIterator(this, 1); }
  THashIterator end() const { return THashIterator(); }

 protected:
  /// A blank table has no buckets; the stream reader creates them.
  explicit THashTable(TBlank b);

  /// Sets up TableSize buckets (1..MaxArrayIndex, else EInvalidArrayCapacity)
  /// for lists of objClass_ and compareFunc_, owning per ownership_, and
  /// stores TableSize. Replaces (and destroys) any existing buckets.
  void CreateBuckets(std::int32_t TableSize);
  /// The list of bucket Index (1..TableSize, else EInvalidIndex). A bucket
  /// not made yet is made when Make is set, else the answer is null.
  TUnorderedList* BucketList(std::int32_t Index, bool Make) const;
  /// The bucket of Obj after CheckType; EInvalidIndex for a bad hash result.
  TUnorderedList* BucketOf(const TObject* Obj, bool Make) const;
  /// The first bucket from Index on that has been made, or TableSize + 1.
  std::int32_t NextMadeBucket(std::int32_t Index) const;

  static constexpr std::int32_t BucketPageSize = 1024;
  using TBucketPage = std::array<std::unique_ptr<TUnorderedList>, BucketPageSize>;
  /// Bucket i (1-based) is pages_[(i - 1) / BucketPageSize][(i - 1) %
  /// BucketPageSize]; pages and lists are made on first need, also through
  /// the const look-ups (the table's content does not change by it).
  mutable std::vector<std::unique_ptr<TBucketPage>> pages_;
  THashFunc hashFunc_ = nullptr;
  std::int32_t tableSize_ = 0;

  friend class THashIterator;
  friend void ReadHashTable(TObject* Obj, TObjectReader& Reader);
  friend void WriteHashTable(TObject* Obj, TObjectWriter& Writer);
};

/// Stream payload of THashTable (defined with the stream payloads).
void ReadHashTable(TObject* Obj, TObjectReader& Reader);
void WriteHashTable(TObject* Obj, TObjectWriter& Writer);

}  // namespace corvid
