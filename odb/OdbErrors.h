/// @file
/// The exceptions of the database layer, one class per condition.
///
/// The twenty-one classes are siblings directly below Exception: EOdbError is
/// one of them, not their base, so a handler for EOdbError catches only what
/// is raised as EOdbError itself. Catch Exception to handle them all.
///
/// The library never throws them directly: every raise goes through
/// RaiseOdbException (util/OdbMisc.h) with the class and a detail text, so an
/// application's hook decides the final message. With the default hook the
/// detail is also the raised exception's Detail(), and FormatException
/// prints "EOdbKeyViolation: ByName". The detail texts passed by the library:
///   EOdbError                       "Internal error, TOdbField.GetAsString"
///   EOdbFieldDoesNotExist           the field name
///   EOdbIndexDoesNotExist           the index name
///   EOdbKeyViolation                the name of the violated index
///   EOdbDriverAlreadyRegistered     the driver name
///   EOdbDriverNotRegistered         the driver name
///   EOdbUnsupportedAccessMethod     the access method's ordinal ("0", "1")
///   EOdbTableMustHavePrimaryIndex   the table name
///   EOdbDatabaseDoesNotExist, EOdbObjectFileDoesNotExist, EOdbObjectNotFound,
///   EOdbSelectStatementNotSpecified chosen by the driver that raises them
///   all others                      none (empty)
#pragma once

#include "corvid/containers/ObjRoot.h"

namespace corvid {

CORVID_EXCEPTION(EOdbError)
CORVID_EXCEPTION(EOdbTransactionNotSupported)
CORVID_EXCEPTION(EOdbFileLockingNotSupported)
CORVID_EXCEPTION(EOdbObjectLockingNotSupported)
CORVID_EXCEPTION(EOdbFieldTypeNotSupported)
CORVID_EXCEPTION(EOdbInvalidFieldType)
CORVID_EXCEPTION(EOdbInvalidObjectFileHandle)
CORVID_EXCEPTION(EOdbDatabaseNotOpened)
CORVID_EXCEPTION(EOdbObjectFileNotPositioned)
CORVID_EXCEPTION(EOdbFieldsNotComparable)
CORVID_EXCEPTION(EOdbFieldDoesNotExist)
CORVID_EXCEPTION(EOdbIndexDoesNotExist)
CORVID_EXCEPTION(EOdbDatabaseDoesNotExist)
CORVID_EXCEPTION(EOdbObjectFileDoesNotExist)
CORVID_EXCEPTION(EOdbKeyViolation)
CORVID_EXCEPTION(EOdbDriverAlreadyRegistered)
CORVID_EXCEPTION(EOdbDriverNotRegistered)
CORVID_EXCEPTION(EOdbUnsupportedAccessMethod)
CORVID_EXCEPTION(EOdbTableMustHavePrimaryIndex)
CORVID_EXCEPTION(EOdbObjectNotFound)
CORVID_EXCEPTION(EOdbSelectStatementNotSpecified)

/// The twenty-one classes in declaration order (for hooks that translate
/// messages by class, and for tests).
inline constexpr int OdbErrorClassCount = 21;
TClass OdbErrorClass(int Index);  // Index 0..20; null outside

}  // namespace corvid
