/// @file
/// A last-in-first-out container of objects over one unordered list whose
/// first node is the top of the stack.
///
/// Ownership: Pop hands the object back and never destroys it; Clear and the
/// destructor release the stacked objects when the stack owns them.
/// SetOwnership also sets the list's flag.
///
/// Range-for visits the objects from the top of the stack to the bottom.
#pragma once

#include <cstdint>
#include <memory>

#include "corvid/containers/ObjBase.h"
#include "corvid/containers/ObjList.h"

namespace corvid {

/// A last-in-first-out container over one unordered list (see the file comment).
class TStack : public TContainer {
  CORVID_CLASS(TStack, ::corvid::TContainer)
 public:
  explicit TStack(TClass AClass);
  ~TStack() override;

  /// The size is the list's (0 for a blank stack without a list).
  std::int32_t GetSize() const override;
  bool QueryEmpty() const override;
  void SetOwnership(bool Value) override;
  /// From the top of the stack to the bottom.
  void ForEachCallProc(TIteratorProc Proc, std::intptr_t CallBackData) override;
  void ForEachCallMethod(const TMethodIterator& Method, std::intptr_t CallBackData) override;
  void Clear() override;

  /// EInvalidObjectType for a null object or one of the wrong class.
  void Push(TObject* Obj);
  /// Removes and returns the top object; EContainerIsEmpty when empty.
  TObject* Pop();
  /// The top object, left on the stack; EContainerIsEmpty when empty.
  TObject* PeekTop();

  TListIterator begin() const { return list_ ? list_->begin() : TListIterator(); }
  TListIterator end() const { return TListIterator(); }

 protected:
  /// A blank stack has no list; the stream reader supplies it.
  explicit TStack(TBlank b) : TContainer(b) {}

  std::unique_ptr<TUnorderedList> list_;

  friend void ReadStack(TObject* Obj, TObjectReader& Reader);
  friend void WriteStack(TObject* Obj, TObjectWriter& Writer);
};

/// Stream payload of TStack (defined with the stream payloads).
void ReadStack(TObject* Obj, TObjectReader& Reader);
void WriteStack(TObject* Obj, TObjectWriter& Writer);

}  // namespace corvid
