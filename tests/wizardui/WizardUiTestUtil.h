// Driving the wizard's widgets in tests: answering the modal dialogs that a
// command opens, typing into boxes, clicking list entries, and the
// controls of the window found by name.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "WizardTestUtil.h"
#include "corvid/wizard/WizForm.h"

namespace corvid::test {

// Runs a script on the next modal dialog of class D that opens, once. A
// command's dialog runs its own event loop; the script is started from a
// timer inside that loop. The script must close the dialog (OK accepted,
// or Cancel); a dialog it leaves open is a failure and is cancelled, so a
// broken test fails instead of hanging. Destroying the hook disarms it:
// a command that opens no dialog leaves nothing behind.
class TDialogHook {
 public:
  template <class D>
  static std::unique_ptr<TDialogHook> On(std::function<void(D&)> Script) {
    auto hook = std::unique_ptr<TDialogHook>(new TDialogHook);
    Poll<D>(hook->state_, std::move(Script), 400);
    return hook;
  }
  ~TDialogHook() { state_->Armed = false; }
  TDialogHook(const TDialogHook&) = delete;
  TDialogHook& operator=(const TDialogHook&) = delete;

  bool Ran() const { return state_->Ran; }

 private:
  struct TState {
    bool Armed = true;
    bool Ran = false;
  };
  TDialogHook() : state_(std::make_shared<TState>()) {}

  template <class D>
  static void Poll(std::shared_ptr<TState> S, std::function<void(D&)> Script, int Left) {
    QTimer::singleShot(Left == 400 ? 0 : 5, [S, Script, Left] {
      if (!S->Armed) return;
      QPointer<D> d = qobject_cast<D*>(QApplication::activeModalWidget());
      if (d.isNull()) {
        if (Left > 0) Poll<D>(S, Script, Left - 1);
        return;
      }
      S->Armed = false;
      S->Ran = true;
      Script(*d);
      if (!d.isNull() && d->isVisible()) {
        ADD_FAILURE() << "the script left the dialog " << d->windowTitle().toStdString() << " open";
        d->reject();
      }
    });
  }

  std::shared_ptr<TState> state_;
};

template <class W>
W* Child(const QWidget& Parent, const char* Name) {
  W* w = Parent.findChild<W*>(Name);
  EXPECT_NE(w, nullptr) << Name;
  return w;
}

inline void Click(QAbstractButton* B) {
  ASSERT_NE(B, nullptr);
  ASSERT_TRUE(B->isVisible()) << B->objectName().toStdString();
  QTest::mouseClick(B, Qt::LeftButton);
}

// Replaces the text of a box by typing: select all, then the keys.
inline void TypeInto(QLineEdit* E, const QString& Text) {
  ASSERT_NE(E, nullptr);
  E->setFocus();
  QTest::keyClick(E, Qt::Key_A, Qt::ControlModifier);
  if (Text.isEmpty()) {
    QTest::keyClick(E, Qt::Key_Delete);
  } else {
    QTest::keyClicks(E, Text);
  }
}

// Chooses a row of a drop-down list with the keyboard: Home, then Down.
inline void ChooseRow(QComboBox* C, int Row) {
  ASSERT_NE(C, nullptr);
  C->setFocus();
  QTest::keyClick(C, Qt::Key_Home);
  for (int i = 0; i < Row; ++i) QTest::keyClick(C, Qt::Key_Down);
  ASSERT_EQ(C->currentIndex(), Row);
}

// Ticks or clears a check box with a click on its box.
inline void Toggle(QCheckBox* B) {
  ASSERT_NE(B, nullptr);
  QStyleOptionButton opt;
  opt.initFrom(B);
  const QRect box = B->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, B);
  QTest::mouseClick(B, Qt::LeftButton, {}, box.center());
}

// Clicks entry Row of a list, with Modifiers (Ctrl adds to the selection).
inline void ClickRow(QListWidget* L, int Row, Qt::KeyboardModifiers Modifiers = {}) {
  ASSERT_NE(L, nullptr);
  ASSERT_LT(Row, L->count());
  QTest::mouseClick(L->viewport(), Qt::LeftButton, Modifiers,
                    L->visualItemRect(L->item(Row)).center());
}

inline void DoubleClickRow(QListWidget* L, int Row) {
  ASSERT_NE(L, nullptr);
  ASSERT_LT(Row, L->count());
  const QPoint at = L->visualItemRect(L->item(Row)).center();
  QTest::mouseClick(L->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(L->viewport(), Qt::LeftButton, {}, at);
}

inline std::vector<std::string> Entries(const QListWidget* L) {
  std::vector<std::string> e;
  for (int i = 0; i < L->count(); ++i) e.push_back(L->item(i)->text().toStdString());
  return e;
}

// A shown wizard whose message boxes are answered by a log.
struct TWizardFixture : ::testing::Test {
  TWizardForm Form;
  TMessageLog Log;

  void SetUp() override {
    Log.Attach(Form.Model());
    Form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form));
  }

  QPushButton* Button(const char* Name) { return Child<QPushButton>(Form, Name); }
  QLineEdit* Edit(const char* Name) { return Child<QLineEdit>(Form, Name); }
  QListWidget* List(const char* Name) { return Child<QListWidget>(Form, Name); }

  // Runs Script on the dialog that pressing Button opens; fails when none
  // opens.
  template <class D>
  void WithDialog(const char* ButtonName, std::function<void(D&)> Script) {
    auto hook = TDialogHook::On<D>(std::move(Script));
    Click(Button(ButtonName));
    EXPECT_TRUE(hook->Ran()) << "no dialog opened for " << ButtonName;
  }

  // Moves to the next page with the Next button.
  void Next() { Click(Button("NextBtn")); }
};

}  // namespace corvid::test
