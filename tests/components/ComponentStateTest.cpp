#include <gtest/gtest.h>

#include <stdexcept>

#include "corvid/components/Component.h"

namespace corvid {
namespace {

class TCountingComponent : public TComponentState {
 public:
  int calls = 0;
  bool fail = false;

 protected:
  void Loaded() override {
    ++calls;
    if (fail) throw std::runtime_error("load failed");
  }
};

TEST(ComponentState, LoadedRunsOnceAndAgainAfterAFailure) {
  TCountingComponent c;
  EXPECT_FALSE(c.DesignMode());
  c.fail = true;
  EXPECT_THROW(c.EnsureLoaded(), std::runtime_error);
  EXPECT_FALSE(c.IsLoaded());
  c.fail = false;
  c.EnsureLoaded();
  c.EnsureLoaded();
  EXPECT_TRUE(c.IsLoaded());
  EXPECT_EQ(c.calls, 2);
}

}  // namespace
}  // namespace corvid
