#include "corvid/odb/OdbErrors.h"

namespace corvid {

TClass OdbErrorClass(int Index) {
  static const TClass kClasses[OdbErrorClassCount] = {
      EOdbError::StaticClass(),
      EOdbTransactionNotSupported::StaticClass(),
      EOdbFileLockingNotSupported::StaticClass(),
      EOdbObjectLockingNotSupported::StaticClass(),
      EOdbFieldTypeNotSupported::StaticClass(),
      EOdbInvalidFieldType::StaticClass(),
      EOdbInvalidObjectFileHandle::StaticClass(),
      EOdbDatabaseNotOpened::StaticClass(),
      EOdbObjectFileNotPositioned::StaticClass(),
      EOdbFieldsNotComparable::StaticClass(),
      EOdbFieldDoesNotExist::StaticClass(),
      EOdbIndexDoesNotExist::StaticClass(),
      EOdbDatabaseDoesNotExist::StaticClass(),
      EOdbObjectFileDoesNotExist::StaticClass(),
      EOdbKeyViolation::StaticClass(),
      EOdbDriverAlreadyRegistered::StaticClass(),
      EOdbDriverNotRegistered::StaticClass(),
      EOdbUnsupportedAccessMethod::StaticClass(),
      EOdbTableMustHavePrimaryIndex::StaticClass(),
      EOdbObjectNotFound::StaticClass(),
      EOdbSelectStatementNotSpecified::StaticClass(),
  };
  if (Index < 0 || Index >= OdbErrorClassCount) return TClass();
  return kClasses[Index];
}

}  // namespace corvid
