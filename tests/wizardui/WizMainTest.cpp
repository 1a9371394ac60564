// Starting the window: without a display the program explains and exits
// with status 2 instead of ending inside Qt's platform start-up.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdlib>
#include <optional>

#include "WizardTestUtil.h"
#include "corvid/wizard/WizMain.h"

namespace corvid::test {
namespace {

// Sets or clears environment variables for the length of a test.
class TEnvironment {
 public:
  ~TEnvironment() {
    for (auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }
  void Set(const std::string& Name, const char* Value) {
    if (!saved_.contains(Name)) {
      const char* old = std::getenv(Name.c_str());
      saved_[Name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (Value) {
      ::setenv(Name.c_str(), Value, 1);
    } else {
      ::unsetenv(Name.c_str());
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

TEST(WizardStartUp, NeedsAPlatformThatCanShowTheWindow) {
  TEnvironment env;
  env.Set("DISPLAY", nullptr);
  env.Set("WAYLAND_DISPLAY", nullptr);
  env.Set("QT_QPA_PLATFORM", nullptr);
  std::string why;
  EXPECT_FALSE(WizardDisplayAvailable(why));
  EXPECT_EQ(why, "DISPLAY and WAYLAND_DISPLAY are not set");

  // A display nobody serves is no display.
  env.Set("DISPLAY", ":9731");
  EXPECT_FALSE(WizardDisplayAvailable(why));
  EXPECT_EQ(why, "the display :9731 does not answer");
  env.Set("QT_QPA_PLATFORM", "xcb");
  EXPECT_FALSE(WizardDisplayAvailable(why));

  // Platforms without a display server, also as a fallback.
  env.Set("QT_QPA_PLATFORM", "xcb;offscreen");
  EXPECT_TRUE(WizardDisplayAvailable(why));
  env.Set("QT_QPA_PLATFORM", "minimal:enable_fonts");
  EXPECT_TRUE(WizardDisplayAvailable(why));
}

TEST(WizardStartUp, ProgramWithoutDisplayPrintsUsageAndExitsWithTwo) {
  TTempDir dir;
  const std::string err = dir.File("err");
  const std::string cmd =
      "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" UNITWRIGHT_PROGRAM
      "' >/dev/null 2>'" +
      err + "'";
  const int raw = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 2);
  const std::string text = ReadBytes(err);
  EXPECT_TRUE(
      text.starts_with("unitwright: cannot open the wizard's window: DISPLAY and "
                       "WAYLAND_DISPLAY are not set.\n"))
      << text;
  EXPECT_NE(text.find("Usage: unitwright --model MODEL.json"), std::string::npos) << text;
}

}  // namespace
}  // namespace corvid::test
