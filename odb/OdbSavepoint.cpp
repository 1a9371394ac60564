#include "corvid/odb/OdbSavepoint.h"

#include <utility>

namespace corvid {

TSavepoint::TSavepoint(TSavepointOwner& Owner, std::string Name)
    : owner_(Owner), name_(std::move(Name)), outermost_(!Owner.InTransaction()) {
  owner_.BeginSavepoint(name_, outermost_);
  open_ = true;
}

TSavepoint::~TSavepoint() {
  if (open_) owner_.UndoSavepoint(name_, outermost_);
}

void TSavepoint::Release() {
  if (!open_) return;
  owner_.ReleaseSavepoint(name_, outermost_);
  open_ = false;
}

bool TSavepoint::Undo() noexcept {
  if (!open_) return true;
  open_ = false;
  return owner_.UndoSavepoint(name_, outermost_);
}

}  // namespace corvid
