#include "corvid/containers/ObjStack.h"

namespace corvid {

TStack::TStack(TClass AClass)
    : TContainer(AClass), list_(std::make_unique<TUnorderedList>(AClass, CompareEqual)) {
  compareFunc_ = CompareEqual;
}

TStack::~TStack() {
  TStack::Clear();
}

std::int32_t TStack::GetSize() const {
  return list_ ? list_->GetSize() : 0;
}

bool TStack::QueryEmpty() const {
  return GetSize() == 0;
}

void TStack::SetOwnership(bool Value) {
  TContainer::SetOwnership(Value);
  if (list_) list_->SetOwnership(Value);
}

void TStack::ForEachCallProc(TIteratorProc Proc, std::intptr_t CallBackData) {
  if (list_) list_->ForEachCallProc(Proc, CallBackData);
}

void TStack::ForEachCallMethod(const TMethodIterator& Method, std::intptr_t CallBackData) {
  if (list_) list_->ForEachCallMethod(Method, CallBackData);
}

void TStack::Clear() {
  if (list_) list_->Clear();
}

void TStack::Push(TObject* Obj) {
  // A blank stack that never received its list cannot hold objects; the
  // type check still comes first so a bad object is refused as such.
  CheckType(Obj);
  if (!list_) {
    list_ = std::make_unique<TUnorderedList>(objClass_, CompareEqual);
    list_->SetOwnership(ownership_);
  }
  list_->InsertAtHead(Obj);
}

TObject* TStack::Pop() {
  if (QueryEmpty()) RaiseContainerIsEmpty();
  list_->GotoFirst();
  return list_->DetachCurrent();
}

TObject* TStack::PeekTop() {
  if (QueryEmpty()) RaiseContainerIsEmpty();
  list_->GotoFirst();
  return list_->GetCurrentObj();
}

}  // namespace corvid
