// The exception hook: default message layout, exact classes, replacement.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>

#include "ExpectRaises.h"
#include "corvid/containers/ObjType.h"
#include "corvid/odb/OdbErrors.h"
#include "corvid/util/OdbMisc.h"

using corvid::test::ExpectRaises;

namespace corvid {
namespace {

class ExceptionHook : public ::testing::Test {
 protected:
  void TearDown() override { SetOdbExceptionProc(nullptr); }
};

TEST_F(ExceptionHook, EmptyDetailGivesTheClassNameAlone) {
  ExpectRaises<EOdbObjectFileNotPositioned>(
      [&] { RaiseOdbException(EOdbObjectFileNotPositioned::StaticClass(), ""); },
      [&](const EOdbObjectFileNotPositioned& e) {
        EXPECT_EQ(e.Message(), "EOdbObjectFileNotPositioned");
        EXPECT_EQ(e.ClassType(), EOdbObjectFileNotPositioned::StaticClass());
      });
}

TEST_F(ExceptionHook, DetailFollowsPeriodAndCarriageReturn) {
  ExpectRaises<EOdbDriverNotRegistered>(
      [&] { RaiseOdbException(EOdbDriverNotRegistered::StaticClass(), "Dummy"); },
      [&](const EOdbDriverNotRegistered& e) {
        EXPECT_EQ(e.Message(), "EOdbDriverNotRegistered.\rDummy");
        EXPECT_STREQ(e.what(), "EOdbDriverNotRegistered.\rDummy");
      });
}

TEST_F(ExceptionHook, EveryDatabaseErrorIsRaisedAsItself) {
  for (int i = 0; i < OdbErrorClassCount; ++i) {
    const TClass c = OdbErrorClass(i);
    ASSERT_FALSE(c.IsNull()) << i;
    EXPECT_EQ(c.Parent(), Exception::StaticClass()) << c.Name();
    ExpectRaises<Exception>([&] { RaiseOdbException(c, "x"); },
                            [&](const Exception& e) {
                              EXPECT_EQ(e.ClassType(), c);
                              EXPECT_EQ(e.Message(), std::string(c.Name()) + ".\rx");
                            });
  }
  EXPECT_TRUE(OdbErrorClass(OdbErrorClassCount).IsNull());
  EXPECT_TRUE(OdbErrorClass(-1).IsNull());
}

TEST_F(ExceptionHook, DatabaseErrorsAreSiblings) {
  // A handler for EOdbError does not catch EOdbKeyViolation.
  bool caughtAsOdbError = false;
  bool caughtAsBase = false;
  try {
    try {
      RaiseOdb<EOdbKeyViolation>("ByName");
    } catch (const EOdbError&) {
      caughtAsOdbError = true;
    }
  } catch (const Exception& e) {
    caughtAsBase = true;
    EXPECT_TRUE(e.Is<EOdbKeyViolation>());
    EXPECT_FALSE(e.Is<EOdbError>());
  }
  EXPECT_FALSE(caughtAsOdbError);
  EXPECT_TRUE(caughtAsBase);
  EXPECT_THROW(RaiseOdb<EOdbError>(), EOdbError);
}

std::string lastClass;
std::string lastMsg;

[[noreturn]] void TranslatingHook(TClass ExceptClass, const std::string& Msg) {
  lastClass = std::string(ExceptClass.Name());
  lastMsg = Msg;
  throw EOdbError("translated: " + Msg);
}

void ReturningHook(TClass ExceptClass, const std::string& Msg) {
  lastClass = std::string(ExceptClass.Name());
  lastMsg = Msg;
}

TEST_F(ExceptionHook, InstalledHookGetsClassAndDetailUnchanged) {
  SetOdbExceptionProc(&TranslatingHook);
  EXPECT_EQ(GetOdbExceptionProc(), &TranslatingHook);
  ExpectRaises<EOdbError>([&] { RaiseOdbException(EOdbFieldDoesNotExist::StaticClass(), "Name"); },
                          ::testing::Eq("translated: Name"));
  EXPECT_EQ(lastClass, "EOdbFieldDoesNotExist");
  EXPECT_EQ(lastMsg, "Name");
}

TEST_F(ExceptionHook, HookThatReturnsIsFollowedByTheDefaultRaise) {
  SetOdbExceptionProc(&ReturningHook);
  lastClass.clear();
  ExpectRaises<EOdbKeyViolation>(
      [&] { RaiseOdbException(EOdbKeyViolation::StaticClass(), "Primary"); },
      ::testing::Eq("EOdbKeyViolation.\rPrimary"));
  EXPECT_EQ(lastClass, "EOdbKeyViolation");
}

TEST_F(ExceptionHook, NullHookReinstallsTheDefault) {
  SetOdbExceptionProc(&ReturningHook);
  SetOdbExceptionProc(nullptr);
  EXPECT_EQ(GetOdbExceptionProc(), &DefaultOdbExceptionProc);
}

TEST_F(ExceptionHook, NonExceptionClassRaisesTheBaseException) {
  ExpectRaises<Exception>([&] { DefaultOdbExceptionProc(TObject::StaticClass(), "m"); },
                          [&](const Exception& e) {
                            EXPECT_EQ(e.ClassType(), Exception::StaticClass());
                            EXPECT_EQ(e.Message(), "TObject.\rm");
                          });
}

// What an exception raised by Raise shows: its detail and its readable line.
template <class Raise>
std::pair<std::string, std::string> DetailAndLine(Raise raise) {
  try {
    raise();
  } catch (const Exception& e) {
    return {e.Detail(), FormatException(e)};
  }
  return {"no error", ""};
}

TEST_F(ExceptionHook, DetailAndReadableLineOfEachKindOfRaise) {
  using Result = std::pair<std::string, std::string>;
  EXPECT_EQ(DetailAndLine([] { RaiseOdb<EOdbKeyViolation>("ByName"); }),
            Result("ByName", "EOdbKeyViolation: ByName"));
  EXPECT_EQ(DetailAndLine([] { RaiseOdb<EOdbDatabaseNotOpened>(); }),
            Result("", "EOdbDatabaseNotOpened"));
  EXPECT_EQ(DetailAndLine([] { RaiseClassNotRegistered("TShape"); }),
            Result("TShape", "EClassNotRegistered: Class not registered : TShape"));
  EXPECT_EQ(DetailAndLine([] { RaiseContainerIsEmpty(); }),
            Result("", "EContainerIsEmpty: TContainer is empty"));
  // The object-type check names both classes beside the fixed message.
  TObject plain;
  EXPECT_EQ(DetailAndLine([&] { RaiseInvalidObjectType(Exception::StaticClass(), &plain); }),
            Result("expected Exception, got TObject",
                   "EInvalidObjectType: Invalid object type in TContainer (expected Exception, "
                   "got TObject)"));
  // A hook's own text is shown as it is, its line breaks as spaces; a hook
  // that gives no detail still leaves the detail text in Detail().
  SetOdbExceptionProc([](TClass c, const std::string& msg) {
    RaiseExceptionOfClass(c, "Schlüssel doppelt:\r" + msg);
  });
  EXPECT_EQ(DetailAndLine([] { RaiseOdb<EOdbKeyViolation>("ByName"); }),
            Result("ByName", "EOdbKeyViolation: Schlüssel doppelt: ByName"));
  SetOdbExceptionProc([](TClass c, const std::string&) { RaiseExceptionOfClass(c, "Refused"); });
  EXPECT_EQ(DetailAndLine([] { RaiseOdb<EOdbKeyViolation>("ByName"); }),
            Result("ByName", "EOdbKeyViolation: Refused (ByName)"));
  EXPECT_EQ(FormatException(std::runtime_error("plain")), "plain");
}

}  // namespace
}  // namespace corvid
