/// @file
/// The abstract container root, the node base and the abstract container of
/// linked nodes with a cursor and a marker.
///
/// Ownership: an object leaves a container either released (destroyed when
/// the container owns its objects) or detached (handed back to the caller,
/// never destroyed). Nodes are always destroyed by the container that made
/// them.
#pragma once

#include <cstdint>
#include <functional>

#include "corvid/containers/ObjCmp.h"
#include "corvid/containers/ObjRoot.h"
#include "corvid/containers/ObjType.h"

namespace corvid {

class TObjectReader;
class TObjectWriter;

/// Iteration callbacks. CallBackData is passed unchanged to every call and is
/// wide enough to carry a pointer (the stream payloads pass a writer in it).
using TIteratorProc = void (*)(TObject* Obj, std::intptr_t CallBackData);
using TMethodIterator = std::function<void(TObject* Obj, std::intptr_t CallBackData)>;

/// The abstract root of the containers: element class, compare function, ownership flag and count.
class TContainer : public TObject {
  CORVID_CLASS(TContainer, ::corvid::TObject)
 public:
  explicit TContainer(TClass AClass) : objClass_(AClass) {}
  /// Destructors of containers call Clear() themselves: a virtual call from
  /// this destructor would no longer reach the descendant.
  ~TContainer() override = default;
  TContainer(const TContainer&) = delete;
  TContainer& operator=(const TContainer&) = delete;

  TClass ObjClass() const { return objClass_; }
  TCompareFunc CompareFunc() const { return compareFunc_; }

  virtual std::int32_t GetSize() const { return count_; }
  virtual bool QueryEmpty() const { return count_ == 0; }
  virtual bool GetOwnership() const { return ownership_; }
  virtual void SetOwnership(bool Value) { ownership_ = Value; }
  virtual void ForEachCallProc(TIteratorProc Proc, std::intptr_t CallBackData) = 0;
  virtual void ForEachCallMethod(const TMethodIterator& Method, std::intptr_t CallBackData) = 0;
  virtual void Clear() = 0;

  /// Raises EInvalidObjectType unless Obj is non-null and of ObjClass.
  void CheckType(const TObject* Obj) const;
  /// Destroys Obj when GetOwnership() is true.
  void ReleaseObj(TObject* Obj);

 protected:
  explicit TContainer(TBlank) {}

  TClass objClass_;
  TCompareFunc compareFunc_ = nullptr;
  std::int32_t count_ = 0;
  bool ownership_ = true;

  friend void ReadContainer(TObject* Obj, TObjectReader& Reader);
  friend void WriteContainer(TObject* Obj, TObjectWriter& Writer);
};

/// A node holds one object reference. Destroying a node destroys the object
/// Obj still refers to, so containers null Obj before destroying a node whose
/// object they have already released or detached.
class TNode : public TObject {
  CORVID_CLASS(TNode, ::corvid::TObject)
 public:
  TNode() = default;
  ~TNode() override { delete Obj; }
  TNode(const TNode&) = delete;
  TNode& operator=(const TNode&) = delete;

  TObject* Obj = nullptr;
};

/// The abstract container of linked nodes, with a cursor and a marker.
class TNodeContainer : public TContainer {
  CORVID_CLASS(TNodeContainer, ::corvid::TContainer)
 public:
  TNodeContainer(TClass AClass, TCompareFunc ACompareFunc) : TContainer(AClass) {
    compareFunc_ = ACompareFunc;
  }

  virtual TObject* GetCurrentObj() const;
  /// Releases the current object and stores Obj in its place, without a type
  /// check and without reordering.
  virtual void SetCurrentObj(TObject* Obj);
  /// Moves the cursor to the N-th object (1-based) and returns it.
  virtual TObject* GetNthObj(std::int32_t N) = 0;
  virtual void Insert(TObject* Obj) = 0;
  virtual bool Delete(const TObject* Obj, std::int32_t Occurrence = 1) = 0;
  virtual TObject* DetachCurrent() = 0;
  virtual void DeleteCurrent();
  virtual bool Search(const TObject* Obj, std::int32_t Occurrence = 1) = 0;
  virtual bool GotoFirst() = 0;
  virtual bool GotoLast() = 0;
  virtual bool GotoNext() = 0;
  virtual bool GotoPrev() = 0;

  void SetMarker() { marker_ = current_; }
  void GotoMarker();
  bool IsOnMarker() const { return marker_ == current_; }
  void GotoNth(std::int32_t N) { GetNthObj(N); }

  /// A number that changes whenever an object enters or leaves the
  /// container or is replaced in it (cursor moves leave it alone): while it
  /// stays the same, pointers to the objects found in the container are
  /// still the container's, in the same order.
  std::uint64_t GetChangeCount() const { return changes_; }

 protected:
  explicit TNodeContainer(TBlank b) : TContainer(b) {}

  TNode* marker_ = nullptr;
  TNode* current_ = nullptr;
  std::uint64_t changes_ = 0;

  friend std::int32_t ReadNodeContainerStart(TObject* Obj, TObjectReader& Reader);
  friend void WriteNodeContainer(TObject* Obj, TObjectWriter& Writer);
};

/// Stream payload pieces shared by the containers (defined with the stream
/// payloads).
void ReadContainer(TObject* Obj, TObjectReader& Reader);
void WriteContainer(TObject* Obj, TObjectWriter& Writer);
void ReadNodeContainer(TObject* Obj, TObjectReader& Reader);
/// The part of ReadNodeContainer before the objects: the container part and
/// the count (returned); cursor and marker reset. For a reader that inserts
/// the objects itself.
std::int32_t ReadNodeContainerStart(TObject* Obj, TObjectReader& Reader);
void WriteNodeContainer(TObject* Obj, TObjectWriter& Writer);

}  // namespace corvid
