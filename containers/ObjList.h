/// @file
/// Doubly linked lists of objects.
///
///   TOrderedList    kept in non-descending CompareFunc order; ordered search.
///   TUnorderedList  positions chosen by the caller (after the cursor, at the
///                   head or at the tail); linear search. The workhorse of the
///                   library: stacks, hash buckets and registries use it.
///   TCircularList   an unordered list whose cursor wraps around at both ends.
///
/// Compare functions are always called as CompareFunc(Probe, Stored): the
/// object sought is the left operand.
///
/// Cursor and marker. Insertions leave the cursor on the new node, searches
/// on what they found (or where it was when nothing was found), removals on a
/// neighbour. Whenever the node under the marker is removed (DetachCurrent,
/// DeleteCurrent, Delete, Clear) the marker is reset, so GotoMarker raises
/// EMarkerNotSet instead of following a dangling node.
///
/// Range-for. `for (TObject* o : list)` visits the objects from first to
/// last without touching the cursor or the marker (a circular list too is
/// visited once). Do not remove nodes from the list while iterating it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "corvid/containers/ObjBase.h"

namespace corvid {

/// A node of a doubly linked list. Prev links toward the first node, Next
/// toward the last one.
class TListNode : public TNode {
  CORVID_CLASS(TListNode, ::corvid::TNode)
 public:
  TListNode() = default;

  TListNode* Prev = nullptr;
  TListNode* Next = nullptr;
};

/// Forward iterator over the objects of a list, by node. Does not move the
/// list's cursor.
class TListIterator {
 public:
  using iterator_category = std::forward_iterator_tag;
  using value_type = TObject*;
  using difference_type = std::ptrdiff_t;
  using pointer = TObject* const*;
  using reference = TObject*;

  TListIterator() = default;
  explicit TListIterator(const TListNode* Node) : node_(Node) {}

  TObject* operator*() const { return node_->Obj; }
  TListIterator& operator++() {
    node_ = node_->Next;
    return *this;
  }
  TListIterator operator++(int) {
    TListIterator old = *this;
    node_ = node_->Next;
    return old;
  }
  friend bool operator==(const TListIterator& a, const TListIterator& b) {
    return a.node_ == b.node_;
  }
  const TListNode* Node() const { return node_; }

 private:
  const TListNode* node_ = nullptr;
};

/// A doubly linked list kept in non-descending compare-function order.
class TOrderedList : public TNodeContainer {
  CORVID_CLASS(TOrderedList, ::corvid::TNodeContainer)
 public:
  TOrderedList(TClass AClass, TCompareFunc ACompareFunc) : TNodeContainer(AClass, ACompareFunc) {}
  ~TOrderedList() override;

  /// Call Proc/Method for every object from first to last. The cursor walks
  /// along and stays on the last object. A callback may remove the object it
  /// was handed (DeleteCurrent, Delete), but no other.
  void ForEachCallProc(TIteratorProc Proc, std::intptr_t CallBackData) override;
  void ForEachCallMethod(const TMethodIterator& Method, std::intptr_t CallBackData) override;
  /// Releases every object (per ownership) and destroys every node; resets
  /// the cursor and the marker.
  void Clear() override;

  /// Moves the cursor to the N-th object (1..GetSize(), else EInvalidIndex),
  /// walking from whichever end is nearer, and returns it.
  TObject* GetNthObj(std::int32_t N) override;
  /// Inserts before the first object that is not less than Obj, so among
  /// equal objects the most recently inserted comes first.
  void Insert(TObject* Obj) override;
  /// Searches the Occurrence-th equal object and releases it; false when
  /// there is none (cursor unchanged).
  bool Delete(const TObject* Obj, std::int32_t Occurrence = 1) override;
  /// Unlinks the current node and hands its object back (never released).
  /// The cursor moves to the following node, or to the new last node.
  TObject* DetachCurrent() override;
  /// Ordered search for the Occurrence-th object equal to Obj. On failure
  /// the cursor is restored.
  bool Search(const TObject* Obj, std::int32_t Occurrence = 1) override;
  bool GotoFirst() override;
  bool GotoLast() override;
  /// False (cursor unchanged) at the last/first node or without a cursor.
  bool GotoNext() override;
  bool GotoPrev() override;

  /// Puts the cursor on the N-th node whose object is not less than Obj
  /// (null when the walk runs off the end). True when that node's object
  /// equals Obj. This is also the insertion-point search of Insert.
  bool SearchAndPosition(const TObject* Obj, std::int32_t N);

  TListIterator begin() const { return TListIterator(first_); }
  TListIterator end() const { return TListIterator(); }

 protected:
  explicit TOrderedList(TBlank b) : TNodeContainer(b) {}

  /// Creates a node for Obj and links it before/after Pos (null Pos: at the
  /// tail/head respectively); Count + 1; cursor on the new node.
  void LinkBefore(TListNode* Pos, TObject* Obj);
  void LinkAfter(TListNode* Pos, TObject* Obj);
  /// Raises EInvalidOccurrenceSought for N < 1.
  static void CheckOccurrence(std::int32_t N);
  /// Puts Obj where Insert would, for a list built by these calls alone
  /// from empty, but looks at the tail first, so objects arriving in
  /// non-descending order cost a constant number of compares each (ties
  /// included) instead of a walk from the head. RunStart is the caller's:
  /// null before the first call, then the first node of the trailing run
  /// of objects equal to the last one. Objects that go before the last
  /// one take Insert's walk.
  void InsertFromTail(TObject* Obj, TListNode*& RunStart);

  TListNode* last_ = nullptr;
  TListNode* first_ = nullptr;

  friend void ReadList(TObject* Obj, TObjectReader& Reader);
  friend void WriteList(TObject* Obj, TObjectWriter& Writer);
};

/// A doubly linked list whose positions the caller chooses; linear search.
class TUnorderedList : public TOrderedList {
  CORVID_CLASS(TUnorderedList, ::corvid::TOrderedList)
 public:
  TUnorderedList(TClass AClass, TCompareFunc ACompareFunc) : TOrderedList(AClass, ACompareFunc) {}

  /// Inserts immediately after the cursor; on an empty list, or when there is
  /// no cursor, appends at the tail.
  void Insert(TObject* Obj) override;
  /// Linear search for the Occurrence-th object equal to Obj in list order.
  bool Search(const TObject* Obj, std::int32_t Occurrence = 1) override;
  void InsertAtHead(TObject* Obj);
  void InsertAtTail(TObject* Obj);

 protected:
  explicit TUnorderedList(TBlank b) : TOrderedList(b) {}
};

/// An unordered list whose cursor wraps around at both ends.
class TCircularList : public TUnorderedList {
  CORVID_CLASS(TCircularList, ::corvid::TUnorderedList)
 public:
  TCircularList(TClass AClass, TCompareFunc ACompareFunc) : TUnorderedList(AClass, ACompareFunc) {}

  /// Step like the other lists but wrap from the last node to the first (and
  /// back). False on an empty list or without a cursor.
  bool GotoNext() override;
  bool GotoPrev() override;

 protected:
  explicit TCircularList(TBlank b) : TUnorderedList(b) {}
};

/// Stream payload of the three list classes (defined with the stream
/// payloads).
void ReadList(TObject* Obj, TObjectReader& Reader);
void WriteList(TObject* Obj, TObjectWriter& Writer);

}  // namespace corvid
