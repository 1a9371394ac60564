#include "corvid/components/OdbNavButton.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTimer>

namespace corvid {

namespace {

bool inTimerHandler = false;

// Sets the process-wide flag for the length of one handler run and clears
// it on every way out, exceptions included.
class TTimerHandlerGuard {
 public:
  TTimerHandlerGuard() { inTimerHandler = true; }
  ~TTimerHandlerGuard() { inTimerHandler = false; }
  TTimerHandlerGuard(const TTimerHandlerGuard&) = delete;
  TTimerHandlerGuard& operator=(const TTimerHandlerGuard&) = delete;
};

}  // namespace

TRepeatSpeedButton::TRepeatSpeedButton(QWidget* Parent) : QToolButton(Parent) {
  setAutoRaise(true);
  setFocusPolicy(Qt::NoFocus);
}

TRepeatSpeedButton::~TRepeatSpeedButton() {
  if (watchedWindow_ != nullptr) watchedWindow_->removeEventFilter(this);
  delete repeatTimer_;
}

bool TRepeatSpeedButton::InTimerHandler() {
  return inTimerHandler;
}

void TRepeatSpeedButton::mousePressEvent(QMouseEvent* Event) {
  QToolButton::mousePressEvent(Event);
  if (Event->button() != Qt::LeftButton || !isDown()) return;
  captured_ = true;
  if (watchedWindow_ == nullptr) {
    watchedWindow_ = window();
    watchedWindow_->installEventFilter(this);
  }
  if (repeatTimer_ == nullptr) {
    repeatTimer_ = new QTimer(this);
    connect(repeatTimer_, &QTimer::timeout, this, &TRepeatSpeedButton::TimerExpired);
    repeatTimer_->setInterval(FirstDelay);
    repeatTimer_->start();
  }
}

void TRepeatSpeedButton::mouseReleaseEvent(QMouseEvent* Event) {
  // The inherited handling clicks when released over the button; the
  // button may be destroyed by that click.
  QPointer<TRepeatSpeedButton> self(this);
  QToolButton::mouseReleaseEvent(Event);
  if (self.isNull() || Event->button() != Qt::LeftButton) return;
  captured_ = false;
  FreeRepeatTimer();
}

void TRepeatSpeedButton::hideEvent(QHideEvent* Event) {
  QToolButton::hideEvent(Event);
  LoseCapture();
}

void TRepeatSpeedButton::changeEvent(QEvent* Event) {
  QToolButton::changeEvent(Event);
  if (Event->type() == QEvent::EnabledChange && !isEnabled()) LoseCapture();
}

bool TRepeatSpeedButton::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == watchedWindow_ &&
      (Event->type() == QEvent::WindowBlocked || Event->type() == QEvent::WindowDeactivate))
    LoseCapture();
  return QToolButton::eventFilter(Watched, Event);
}

void TRepeatSpeedButton::FreeRepeatTimer() {
  if (watchedWindow_ != nullptr) {
    watchedWindow_->removeEventFilter(this);
    watchedWindow_ = nullptr;
  }
  if (repeatTimer_ == nullptr) return;
  repeatTimer_->stop();
  repeatTimer_->disconnect(this);
  repeatTimer_->deleteLater();
  repeatTimer_ = nullptr;
}

void TRepeatSpeedButton::LoseCapture() {
  if (!captured_) return;
  captured_ = false;
  setDown(false);
  FreeRepeatTimer();
}

void TRepeatSpeedButton::TimerExpired() {
  if (inTimerHandler) return;
  const TTimerHandlerGuard guard;
  // A modal window opened by someone else while the button was held takes
  // the mouse as well, even when the window-blocked event has not arrived.
  QWidget* modal = QApplication::activeModalWidget();
  if (modal != nullptr && modal != window()) LoseCapture();
  if (!isDown() || !captured_) return;
  QPointer<TRepeatSpeedButton> self(this);
  emit clicked(false);
  if (self.isNull()) return;
  if (repeatTimer_ != nullptr)
    repeatTimer_->setInterval(RepeatInterval);
  else
    update();
}

}  // namespace corvid
