#include "corvid/containers/ObjBase.h"

namespace corvid {

void TContainer::CheckType(const TObject* Obj) const {
  if (Obj == nullptr || !Obj->InheritsFrom(objClass_)) RaiseInvalidObjectType(objClass_, Obj);
}

void TContainer::ReleaseObj(TObject* Obj) {
  if (GetOwnership()) delete Obj;
}

TObject* TNodeContainer::GetCurrentObj() const {
  if (current_ == nullptr) RaiseContainerIsEmpty();
  return current_->Obj;
}

void TNodeContainer::SetCurrentObj(TObject* Obj) {
  if (current_ == nullptr) RaiseContainerIsEmpty();
  TObject* old = current_->Obj;
  current_->Obj = Obj;
  ++changes_;
  if (old != Obj) ReleaseObj(old);
}

void TNodeContainer::DeleteCurrent() {
  ReleaseObj(DetachCurrent());
}

void TNodeContainer::GotoMarker() {
  if (marker_ == nullptr) RaiseMarkerNotSet();
  current_ = marker_;
}

}  // namespace corvid
