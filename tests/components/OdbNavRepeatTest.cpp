// Holding the Next button: one move when released early, repeated moves
// while held, and no second click while a message box is open.
#include <QDialog>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <stdexcept>

#include "OdbNavFixture.h"
#include "corvid/components/OdbNavButton.h"

namespace corvid::navtest {
namespace {

TRepeatSpeedButton* NextButton(TObjectFileNavigator& Nav) {
  return qobject_cast<TRepeatSpeedButton*>(Nav.GetButton(nbNext));
}

// Runs an event loop for Ms milliseconds.
void Spin(int Ms) {
  QEventLoop loop;
  QTimer::singleShot(Ms, &loop, &QEventLoop::quit);
  loop.exec();
}

std::vector<std::int32_t> Codes(int From, int To) {
  std::vector<std::int32_t> codes;
  for (int c = From; c <= To; ++c) codes.push_back(c);
  return codes;
}

TEST_F(NavigatorTest, NextReleasedBeforeTheFirstRepeatMovesOnce) {
  Fill(100);
  Attach();
  TRepeatSpeedButton* next = NextButton(*nav_);
  ASSERT_NE(next, nullptr);
  QTest::mousePress(next, Qt::LeftButton);
  ASSERT_NE(next->GetRepeatTimer(), nullptr);
  QTest::qWait(100);
  QTest::mouseRelease(next, Qt::LeftButton);
  EXPECT_EQ(next->GetRepeatTimer(), nullptr);
  QTest::qWait(50);
  EXPECT_EQ(shown_, Codes(1, 2));
  EXPECT_TRUE(messages_.empty());
}

TEST_F(NavigatorTest, NextHeldRepeatsToTheEndAndStartsNoClickWhileTheMessageIsOpen) {
  Fill(100);
  Attach();
  TRepeatSpeedButton* next = NextButton(*nav_);
  int readsWhileOpen = -1;
  bool guardedWhileOpen = false;
  answer_ = [&](const TShownMessage&) {
    if (readsWhileOpen >= 0) return mrOk;
    // The box's own event loop: timer events keep arriving meanwhile. A
    // repeat step reaching the button now (as a timer event would) must
    // not start a second click.
    const int before = formReads_;
    guardedWhileOpen = TRepeatSpeedButton::InTimerHandler();
    Spin(100);
    next->TimerExpired();
    readsWhileOpen = formReads_ - before;
    return mrOk;
  };
  QTest::mousePress(next, Qt::LeftButton);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !messages_.empty(); }, 60000));
  QTest::mouseRelease(next, Qt::LeftButton);
  EXPECT_EQ(next->GetRepeatTimer(), nullptr);
  EXPECT_FALSE(TRepeatSpeedButton::InTimerHandler());

  EXPECT_EQ(shown_, Codes(1, 100));  // one object per step, none skipped
  ASSERT_FALSE(messages_.empty());
  for (const TShownMessage& m : messages_) {
    EXPECT_EQ(m.Text, "End of file is reached.");
    EXPECT_EQ(m.Kind, mtInformation);
    EXPECT_EQ(m.Buttons, mbOK);
  }
  EXPECT_TRUE(guardedWhileOpen);
  EXPECT_EQ(readsWhileOpen, 0);
  EXPECT_EQ(form_.Code, 100);
}

TEST_F(NavigatorTest, AModalBoxEndsTheHoldSoTheButtonStopsRepeating) {
  Fill(3);
  Attach();
  TRepeatSpeedButton* next = NextButton(*nav_);
  // A real modal window: the mouse release that closes it never reaches
  // the button, which must not go on repeating once the box is gone.
  answer_ = [&](const TShownMessage&) {
    QDialog box(nav_.get());
    box.setModal(true);
    QTimer::singleShot(50, &box, &QDialog::accept);
    box.exec();
    return mrOk;
  };
  QTest::mousePress(next, Qt::LeftButton);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !messages_.empty(); }, 30000));
  QTest::qWait(200);  // still held as far as the button was told
  EXPECT_EQ(messages_.size(), 1u);
  EXPECT_FALSE(next->isDown());
  EXPECT_EQ(next->GetRepeatTimer(), nullptr);
  QTest::mouseRelease(next, Qt::LeftButton);
  QTest::qWait(50);
  EXPECT_EQ(messages_.size(), 1u);
  EXPECT_EQ(shown_, Codes(1, 3));
}

TEST(RepeatSpeedButton, GuardIsClearedWhenTheClickThrows) {
  TRepeatSpeedButton button;
  button.resize(27, 25);
  button.show();
  int clicks = 0;
  QObject::connect(&button, &TRepeatSpeedButton::clicked, [&] {
    ++clicks;
    throw std::runtime_error("click failed");
  });
  QTest::mousePress(&button, Qt::LeftButton);
  EXPECT_THROW(button.TimerExpired(), std::runtime_error);
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(TRepeatSpeedButton::InTimerHandler());
  // Not pressed: the step does nothing.
  button.setDown(false);
  button.TimerExpired();
  EXPECT_EQ(clicks, 1);
}

}  // namespace
}  // namespace corvid::navtest
