// Strings, words, the command line, flags, debug output and the message pump.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "corvid/util/OdbMisc.h"

namespace corvid {
namespace {

// Captured before any test replaces the arguments.
const std::vector<std::string> kArgsAtStart = ProgramArguments();

TEST(OdbMiscStrings, CreateStrRepeatsOrGivesEmpty) {
  EXPECT_EQ(CreateStr('x', 3), "xxx");
  EXPECT_EQ(CreateStr('x', 0), "");
  EXPECT_EQ(CreateStr('x', -5), "");
}

TEST(OdbMiscStrings, PadsAlsoCut) {
  const std::string s25 = "abcdefghijklmnopqrstuvwxy";
  ASSERT_EQ(s25.size(), 25u);
  EXPECT_EQ(RightPad(s25, ' ', 20), "abcdefghijklmnopqrst");
  EXPECT_EQ(LeftPad(s25, ' ', 20), "fghijklmnopqrstuvwxy");
  EXPECT_EQ(RightPad("ab", '.', 5), "ab...");
  EXPECT_EQ(LeftPad("ab", '.', 5), "...ab");
  EXPECT_EQ(LeftPad("abc", ' ', 3), "abc");
  EXPECT_EQ(LeftPad("abc", ' ', 0), "");
  EXPECT_EQ(RightPad("abc", ' ', -1), "");
}

TEST(OdbMiscStrings, TruncateStr) {
  EXPECT_EQ(TruncateStr("abcdef", 3), "abc");
  EXPECT_EQ(TruncateStr("abcdef", 0), "");
  EXPECT_EQ(TruncateStr("abcdef", 6), "abcdef");
  EXPECT_EQ(TruncateStr("abcdef", 99), "abcdef");
  EXPECT_EQ(TruncateStr("abcdef", -1), "abcdef");
}

TEST(OdbMiscWords, CountPositionAndExtract) {
  const TOdbCharSet delims(" ,");
  const std::string s = "  alpha, beta  gamma,";
  EXPECT_EQ(WordCount(s, delims), 3);
  EXPECT_EQ(WordPosition(1, s, delims), 3);
  EXPECT_EQ(WordPosition(2, s, delims), 10);
  EXPECT_EQ(WordPosition(3, s, delims), 16);
  EXPECT_EQ(WordPosition(4, s, delims), 0);
  EXPECT_EQ(WordPosition(0, s, delims), 0);
  EXPECT_EQ(ExtractWord(1, s, delims), "alpha");
  EXPECT_EQ(ExtractWord(3, s, delims), "gamma");
  EXPECT_EQ(ExtractWord(4, s, delims), "");
}

TEST(OdbMiscWords, EmptyAndDelimiterOnlyTexts) {
  const TOdbCharSet delims(" ;");
  EXPECT_EQ(WordCount("", delims), 0);
  EXPECT_EQ(WordCount(" ;; ", delims), 0);
  EXPECT_EQ(ExtractWord(1, " ;; ", delims), "");
  EXPECT_EQ(ExtractWord(3, "one two", delims), "");
  // No delimiters at all: the whole text is one word.
  EXPECT_EQ(WordCount("one two", TOdbCharSet()), 1);
}

TEST(OdbMiscWords, MemberLineSplitAtTheColon) {
  const std::string line = "Count" + std::string(16, ' ') + ": Integer";
  const TOdbCharSet colon(":");
  EXPECT_EQ(WordCount(line, colon), 2);
  EXPECT_EQ(ExtractWord(1, line, colon), "Count" + std::string(16, ' '));
  EXPECT_EQ(ExtractWord(2, line, colon), " Integer");
}

TEST(OdbMiscWords, CharSetCoversAll256Characters) {
  TOdbCharSet set;
  set.Include('\xFF').Include('\0');
  EXPECT_TRUE(set.Contains('\xFF'));
  EXPECT_TRUE(set.Contains('\0'));
  EXPECT_FALSE(set.Contains('\x7F'));
  const std::string s(
      "a\xFF"
      "b",
      3);
  EXPECT_EQ(WordCount(s, set), 2);
  EXPECT_EQ(ExtractWord(2, s, set), "b");
}

class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = ProgramArguments(); }
  void TearDown() override { SetProgramArguments(saved_); }
  std::vector<std::string> saved_;
};

TEST_F(CommandLine, ArgumentsAreReadFromTheProcess) {
  // Argument 0 names this program's executable.
  char exe[4096];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  ASSERT_GT(n, 0);
  const std::string path(exe, static_cast<std::size_t>(n));
  const std::string base = path.substr(path.rfind('/') + 1);
  ASSERT_FALSE(kArgsAtStart.empty());
  EXPECT_GE(kArgsAtStart[0].size(), base.size());
  EXPECT_EQ(kArgsAtStart[0].substr(kArgsAtStart[0].size() - base.size()), base);
}

TEST_F(CommandLine, KeyMatchesAnywhereWithoutCase) {
  SetProgramArguments({"/usr/bin/prog", "-v", "-x/db=abc", "/DB=second"});
  std::string value = "stale";
  EXPECT_TRUE(ExtractCommandLineValue("/DB=", value));
  EXPECT_EQ(value, "abc");
  SetProgramArguments({"prog", "/db=C:\\Data"});
  EXPECT_TRUE(ExtractCommandLineValue("/DB=", value));
  EXPECT_EQ(value, "C:\\Data");
}

TEST_F(CommandLine, ProgramPathIsNotLookedAtAndMissingKeyEmptiesValue) {
  SetProgramArguments({"/DB=prog", "-q"});
  std::string value = "stale";
  EXPECT_FALSE(ExtractCommandLineValue("/DB=", value));
  EXPECT_EQ(value, "");
  SetProgramArguments({"prog", "/user="});
  EXPECT_TRUE(ExtractCommandLineValue("/USER=", value));
  EXPECT_EQ(value, "");
}

TEST(OdbMiscFlags, LongAndWordFlags) {
  EXPECT_TRUE(AreFlagsSet(5, 4));
  EXPECT_FALSE(AreFlagsSet(5, 6));
  EXPECT_TRUE(AreFlagsSet(0, 0));
  EXPECT_TRUE(AreFlagsSet(-1, static_cast<std::int32_t>(0x80000000u)));
  std::int32_t f = 1;
  SetLongFlags(f, 6);
  EXPECT_EQ(f, 7);
  ClearLongFlags(f, 3);
  EXPECT_EQ(f, 4);
  std::uint16_t w = 0xFFFF;
  ClearWordFlags(w, 0x00F0);
  EXPECT_EQ(w, 0xFF0F);
  SetWordFlags(w, 0x00F0);
  EXPECT_EQ(w, 0xFFFF);
}

std::vector<std::string>* capturedLines = nullptr;
void CaptureLine(const std::string& S) {
  capturedLines->push_back(S);
}

TEST(OdbMiscDebug, DebugOutputStringsPassesEveryLineInOrder) {
  std::vector<std::string> lines;
  capturedLines = &lines;
  const TDebugOutputStrProc saved = DebugOutputStr;
  DebugOutputStrings({"x"});  // the default does nothing
  DebugOutputStr = &CaptureLine;
  DebugOutputStrings({"first", "", "third"});
  DebugOutputStr = saved;
  capturedLines = nullptr;
  EXPECT_EQ(lines, (std::vector<std::string>{"first", "", "third"}));
}

// A pretend message queue: QueueLength messages, then a quit request that
// stays in the queue once seen (as a re-posted quit message does).
struct FakeQueue {
  int pending = 0;
  bool quitPosted = false;
  int handled = 0;
  int quitSeen = 0;
};

class MessagePump : public ::testing::Test {
 protected:
  void TearDown() override { SetOdbMessagePump(nullptr); }
  void Install() {
    SetOdbMessagePump([this](bool& Quit) {
      if (queue.pending > 0) {
        --queue.pending;
        ++queue.handled;
        return true;
      }
      if (queue.quitPosted) {
        ++queue.quitSeen;
        Quit = true;  // re-posted: still there for the main loop
        return true;
      }
      return false;
    });
  }
  FakeQueue queue;
};

TEST_F(MessagePump, WithoutPumpProcessMessageReturnsAtOnce) {
  bool quit = true;
  ProcessMessage(quit);
  EXPECT_FALSE(quit);
}

TEST_F(MessagePump, ProcessMessageHandlesAtMostOne) {
  Install();
  queue.pending = 3;
  bool quit = true;
  ProcessMessage(quit);
  EXPECT_FALSE(quit);
  EXPECT_EQ(queue.handled, 1);
  EXPECT_EQ(queue.pending, 2);
}

TEST_F(MessagePump, DelayZeroHandlesAtMostOneMessage) {
  Install();
  queue.pending = 5;
  Delay(0);
  EXPECT_EQ(queue.handled, 1);
}

TEST_F(MessagePump, QuitEndsDelayEarlyAndStaysQueued) {
  Install();
  queue.pending = 50;
  queue.quitPosted = true;
  Delay(60 * 60 * 1000);  // would be an hour without the quit request
  EXPECT_EQ(queue.handled, 50);
  EXPECT_EQ(queue.quitSeen, 1);
  // The main loop still sees the request.
  bool quit = false;
  ProcessMessage(quit);
  EXPECT_TRUE(quit);
}

TEST_F(MessagePump, DelayWithoutQuitPollsUntilItsTimeIsUp) {
  Install();
  queue.pending = 1;
  Delay(2);
  EXPECT_EQ(queue.handled, 1);
  EXPECT_EQ(queue.quitSeen, 0);
}

}  // namespace
}  // namespace corvid
