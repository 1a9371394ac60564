#include "corvid/containers/ObjRoot.h"

namespace corvid {

TClass TObject::StaticClass() {
  static const ClassInfo info{"TObject", nullptr, &ClassFactory::New<TObject>,
                              &ClassFactory::New<TObject>};
  return TClass(&info);
}

bool TClass::InheritsFromAncestor(TClass other) const {
  if (other.IsNull()) return false;
  for (TClass c = *this; !c.IsNull(); c = c.Parent()) {
    if (c == other) return true;
  }
  return false;
}

std::unique_ptr<TObject> TClass::Create() const {
  if (!CanCreate()) return nullptr;
  std::unique_ptr<TObject> obj(info_->create());
  obj->AfterConstruction();
  return obj;
}

std::unique_ptr<TObject> TClass::CreateBlank() const {
  if (!CanCreateBlank()) return nullptr;
  return std::unique_ptr<TObject>(info_->createBlank());
}

void RaiseExceptionOfClass(TClass c, std::string message) {
  RaiseExceptionOfClass(c, std::move(message), std::string());
}

void RaiseExceptionOfClass(TClass c, std::string message, std::string detail) {
  std::unique_ptr<TObject> obj;
  if (c.InheritsFrom(Exception::StaticClass())) obj = c.Create();
  auto* e = dynamic_cast<Exception*>(obj.get());
  if (e == nullptr) throw Exception(std::move(message), std::move(detail));
  e->SetMessage(std::move(message));
  e->SetDetail(std::move(detail));
  e->Raise();                     // throws a copy; `obj` is freed while unwinding
  throw Exception(e->Message());  // not reached: Raise() never returns
}

}  // namespace corvid
