// TRepeatSpeedButton: a flat tool button that repeats its click while it is
// held down, first after 500 ms and then every 10 ms.
//
// The repeat is the button's own rather than QAbstractButton's auto-repeat,
// for two reasons. A click may open a message box whose event loop delivers
// further timer events: one process-wide flag, shared by all repeat
// buttons, keeps such a timer event from starting a second click while the
// first is still running. And a modal box takes the mouse away from the
// button: the release then never reaches it, so the button counts as
// holding the mouse only from its own press until its release, or until its
// window is blocked by a modal window, deactivated, or the button is hidden
// or disabled; after that it stops repeating until it is pressed again.
#pragma once

#include <QPointer>
#include <QToolButton>

class QTimer;

namespace corvid {

class TRepeatSpeedButton : public QToolButton {
  Q_OBJECT
 public:
  explicit TRepeatSpeedButton(QWidget* Parent = nullptr);
  ~TRepeatSpeedButton() override;

  // The repeat timer: owned by the button while it is held, null otherwise.
  QTimer* GetRepeatTimer() const { return repeatTimer_; }
  // Whether the button holds the mouse since its press (see above).
  bool HoldsMouseCapture() const { return captured_; }
  // True while the timer handler of any repeat button runs.
  static bool InTimerHandler();

  // The repeat step, run by the timer: when no handler is running and the
  // button is shown pressed and holds the mouse, emits clicked() and then
  // shortens the interval to 10 ms; when the button was released while the
  // click ran (the timer is gone), repaints it.
  void TimerExpired();

  static constexpr int FirstDelay = 500;     // ms from the press to the first repeat
  static constexpr int RepeatInterval = 10;  // ms between repeats

 protected:
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
  void hideEvent(QHideEvent* Event) override;
  void changeEvent(QEvent* Event) override;
  // Watches the button's window while held, for a modal window blocking it
  // or the window losing activation.
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  // Stops and drops the timer. Its deletion is deferred: the timer may be
  // the sender of the timer event being handled right now.
  void FreeRepeatTimer();
  // The press is over without a release reaching the button.
  void LoseCapture();

  QTimer* repeatTimer_ = nullptr;
  bool captured_ = false;
  QPointer<QWidget> watchedWindow_;
};

}  // namespace corvid
