#include "corvid/containers/ObjType.h"

#include <array>
#include <utility>

namespace corvid {
namespace {

enum Slot {
  kInvalidObjectType,
  kContainerIsEmpty,
  kContainerIsFull,
  kInvalidIndex,
  kMarkerNotSet,
  kNewArraySizeTooSmall,
  kArrayNotSorted,
  kInvalidOccurrenceSought,
  kInvalidArrayCapacity,
  kClassNotRegistered,
  kCompareFuncNotRegistered,
  kHashFuncNotRegistered,
  kClassVersionNotRegistered,
  kDuplicateCompareFunc,
  kDuplicateHashFunc,
  kDuplicateRegisteredClass,
  kSlotCount
};

using MessageSet = std::array<std::string, kSlotCount>;

// Built on first use so that raises from other modules' static initialisers
// already see the defaults.
MessageSet& Messages() {
  static MessageSet messages{
      "Invalid object type in TContainer",
      "TContainer is empty",
      "TContainer is full",
      "Invalid index in TContainer",
      "TContainer marker is not set",
      "TArray new size is too small",
      "TArray is not sorted",
      "Invalid occurrence sought in TContainer",
      "Invalid array capacity in TArray",
      "Class not registered",
      "Compare function not registered",
      "Hash function not registered",
      "Class version not registered",
      "Duplicate compare function",
      "Duplicate hash function",
      "Duplicate registered class",
  };
  return messages;
}

std::string Named(Slot slot, const std::string& name) {
  return Messages()[slot] + " : " + name;
}

}  // namespace

void RaiseInvalidObjectType() {
  throw EInvalidObjectType(Messages()[kInvalidObjectType]);
}
void RaiseInvalidObjectType(TClass Expected, TClass Got) {
  std::string detail = "expected ";
  detail += Expected.IsNull() ? std::string_view("none") : Expected.Name();
  detail += ", got ";
  detail += Got.IsNull() ? std::string_view("none") : Got.Name();
  throw EInvalidObjectType(Messages()[kInvalidObjectType], std::move(detail));
}
void RaiseInvalidObjectType(TClass Expected, const TObject* Got) {
  RaiseInvalidObjectType(Expected, Got != nullptr ? Got->ClassType() : TClass());
}
void RaiseContainerIsEmpty() {
  throw EContainerIsEmpty(Messages()[kContainerIsEmpty]);
}
void RaiseContainerIsFull() {
  throw EContainerIsFull(Messages()[kContainerIsFull]);
}
void RaiseInvalidIndex() {
  throw EInvalidIndex(Messages()[kInvalidIndex]);
}
void RaiseMarkerNotSet() {
  throw EMarkerNotSet(Messages()[kMarkerNotSet]);
}
void RaiseNewArraySizeTooSmall() {
  throw ENewArraySizeTooSmall(Messages()[kNewArraySizeTooSmall]);
}
void RaiseArrayNotSorted() {
  throw EArrayNotSorted(Messages()[kArrayNotSorted]);
}
void RaiseInvalidOccurrenceSought() {
  throw EInvalidOccurrenceSought(Messages()[kInvalidOccurrenceSought]);
}
void RaiseInvalidArrayCapacity() {
  throw EInvalidArrayCapacity(Messages()[kInvalidArrayCapacity]);
}
void RaiseCompareFuncNotRegistered() {
  throw ECompareFuncNotRegistered(Messages()[kCompareFuncNotRegistered]);
}
void RaiseHashFuncNotRegistered() {
  throw EHashFuncNotRegistered(Messages()[kHashFuncNotRegistered]);
}
void RaiseClassVersionNotRegistered() {
  throw EClassVersionNotRegistered(Messages()[kClassVersionNotRegistered]);
}
void RaiseClassNotRegistered(const std::string& Name) {
  throw EClassNotRegistered(Named(kClassNotRegistered, Name), Name);
}
void RaiseDuplicateCompareFunc(const std::string& Name) {
  throw EDuplicateCompareFunc(Named(kDuplicateCompareFunc, Name), Name);
}
void RaiseDuplicateHashFunc(const std::string& Name) {
  throw EDuplicateHashFunc(Named(kDuplicateHashFunc, Name), Name);
}
void RaiseDuplicateRegisteredClass(const std::string& Name) {
  throw EDuplicateRegisteredClass(Named(kDuplicateRegisteredClass, Name), Name);
}

void SetCorvidMessages(std::string InvalidObjectType, std::string ContainerIsEmpty,
                       std::string ContainerIsFull, std::string InvalidIndex,
                       std::string MarkerNotSet, std::string NewArraySizeTooSmall,
                       std::string ArrayNotSorted, std::string InvalidOccurrenceSought,
                       std::string InvalidArrayCapacity, std::string ClassNotRegistered,
                       std::string CompareFuncNotRegistered, std::string HashFuncNotRegistered,
                       std::string ClassVersionNotRegistered, std::string DuplicateCompareFunc,
                       std::string DuplicateHashFunc, std::string DuplicateRegisteredClass) {
  Messages() = MessageSet{std::move(InvalidObjectType),
                          std::move(ContainerIsEmpty),
                          std::move(ContainerIsFull),
                          std::move(InvalidIndex),
                          std::move(MarkerNotSet),
                          std::move(NewArraySizeTooSmall),
                          std::move(ArrayNotSorted),
                          std::move(InvalidOccurrenceSought),
                          std::move(InvalidArrayCapacity),
                          std::move(ClassNotRegistered),
                          std::move(CompareFuncNotRegistered),
                          std::move(HashFuncNotRegistered),
                          std::move(ClassVersionNotRegistered),
                          std::move(DuplicateCompareFunc),
                          std::move(DuplicateHashFunc),
                          std::move(DuplicateRegisteredClass)};
}

}  // namespace corvid
