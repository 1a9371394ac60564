// One way to expect an exception and check what it says, instead of a
// try block with FAIL() in every test.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <exception>
#include <source_location>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <utility>

namespace corvid::test {

// The readable name of a type, for failure messages.
std::string TypeName(const std::type_info& Type);

// Runs Action, which must raise E (or a class derived from it), and checks
// the exception with Check:
//   - a string: the message (what()) contains it;
//   - a callable taking const E&: runs the caller's own expectations on it;
//   - otherwise a gmock matcher on the message (Eq, StartsWith, EndsWith...).
// No exception, or one of another class, is a failure reported at the
// caller's line; the test goes on either way.
template <class E, class Action, class Check>
void ExpectRaises(Action&& Run, Check&& Expect,
                  std::source_location Where = std::source_location::current()) {
  const char* file = Where.file_name();
  const int line = static_cast<int>(Where.line());
  try {
    std::forward<Action>(Run)();
  } catch (const E& e) {
    ::testing::ScopedTrace trace(file, line, "ExpectRaises");
    if constexpr (std::is_convertible_v<Check, std::string_view>) {
      EXPECT_THAT(std::string(e.what()),
                  ::testing::HasSubstr(std::string(std::string_view(Expect))));
    } else if constexpr (std::is_invocable_v<Check, const E&>) {
      std::forward<Check>(Expect)(e);
    } else {
      EXPECT_THAT(std::string(e.what()), Expect);
    }
    return;
  } catch (const std::exception& other) {
    ADD_FAILURE_AT(file, line) << "expected " << TypeName(typeid(E)) << ", raised "
                               << TypeName(typeid(other)) << ": " << other.what();
    return;
  } catch (...) {
    ADD_FAILURE_AT(file, line) << "expected " << TypeName(typeid(E)) << ", raised something else";
    return;
  }
  ADD_FAILURE_AT(file, line) << "expected " << TypeName(typeid(E)) << ", nothing was raised";
}

}  // namespace corvid::test
