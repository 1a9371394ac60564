/// @file
/// Exceptions of the container, registry and streaming layer, their raise
/// routines and the replaceable set of sixteen message texts.
#pragma once

#include <string>

#include "corvid/containers/ObjRoot.h"

namespace corvid {

CORVID_EXCEPTION(EInvalidObjectType)
CORVID_EXCEPTION(EContainerIsEmpty)
CORVID_EXCEPTION(EContainerIsFull)
CORVID_EXCEPTION(EInvalidIndex)
CORVID_EXCEPTION(EMarkerNotSet)
CORVID_EXCEPTION(ENewArraySizeTooSmall)
CORVID_EXCEPTION(EArrayNotSorted)
CORVID_EXCEPTION(EInvalidOccurrenceSought)
CORVID_EXCEPTION(EInvalidArrayCapacity)
CORVID_EXCEPTION(EClassNotRegistered)
CORVID_EXCEPTION(ECompareFuncNotRegistered)
CORVID_EXCEPTION(EHashFuncNotRegistered)
CORVID_EXCEPTION(EClassVersionNotRegistered)
CORVID_EXCEPTION(EDuplicateCompareFunc)
CORVID_EXCEPTION(EDuplicateHashFunc)
CORVID_EXCEPTION(EDuplicateRegisteredClass)
/// Declared for applications; the library never raises it.
CORVID_EXCEPTION(ENodeNotFound)

/// Each raise routine throws its exception with the current text of its slot.
[[noreturn]] void RaiseInvalidObjectType();
[[noreturn]] void RaiseContainerIsEmpty();
[[noreturn]] void RaiseContainerIsFull();
[[noreturn]] void RaiseInvalidIndex();
[[noreturn]] void RaiseMarkerNotSet();
[[noreturn]] void RaiseNewArraySizeTooSmall();
[[noreturn]] void RaiseArrayNotSorted();
[[noreturn]] void RaiseInvalidOccurrenceSought();
[[noreturn]] void RaiseInvalidArrayCapacity();
[[noreturn]] void RaiseCompareFuncNotRegistered();
[[noreturn]] void RaiseHashFuncNotRegistered();
[[noreturn]] void RaiseClassVersionNotRegistered();
/// The slot-1 text as the message, and as the detail the class expected and
/// the class Got ("expected TContact, got TShape"; "none" for a null class).
[[noreturn]] void RaiseInvalidObjectType(TClass Expected, TClass Got);
/// The same for an object handed over (null allowed).
[[noreturn]] void RaiseInvalidObjectType(TClass Expected, const TObject* Got);
/// These four append " : " and the name to the slot text; the name is also
/// the exception's detail.
[[noreturn]] void RaiseClassNotRegistered(const std::string& Name);
[[noreturn]] void RaiseDuplicateCompareFunc(const std::string& Name);
[[noreturn]] void RaiseDuplicateHashFunc(const std::string& Name);
[[noreturn]] void RaiseDuplicateRegisteredClass(const std::string& Name);

/// Replaces all sixteen message texts, in slot order. Process-wide and
/// unsynchronised: call it at start-up, before other threads raise.
void SetCorvidMessages(std::string InvalidObjectType, std::string ContainerIsEmpty,
                       std::string ContainerIsFull, std::string InvalidIndex,
                       std::string MarkerNotSet, std::string NewArraySizeTooSmall,
                       std::string ArrayNotSorted, std::string InvalidOccurrenceSought,
                       std::string InvalidArrayCapacity, std::string ClassNotRegistered,
                       std::string CompareFuncNotRegistered, std::string HashFuncNotRegistered,
                       std::string ClassVersionNotRegistered, std::string DuplicateCompareFunc,
                       std::string DuplicateHashFunc, std::string DuplicateRegisteredClass);

}  // namespace corvid
