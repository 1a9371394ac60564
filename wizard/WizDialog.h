// What the member, field and index dialogs share: a fixed-size frame
// centred on the screen without title-bar buttons, an "OK" button that is
// the default and a Cancel button, and the check on OK.
//
// The dialogs only read and check their own input. The rules and the
// message function belong to the class model; a dialog is given the model
// read-only for them and never changes it.
#pragma once

#include <QDialog>
#include <QPushButton>
#include <QSize>
#include <QVBoxLayout>

#include "corvid/wizard/CodeGen.h"

namespace corvid {

class TWizardDialog : public QDialog {
  Q_OBJECT
 public:
  // Closing with the result OK runs FormCloseQuery(); a refusal keeps the
  // dialog open. Cancel (the button, Escape, the window manager) always
  // closes.
  void done(int Result) override;

 protected:
  TWizardDialog(const TClassModel& Rules, const char* Caption, QSize ClientSize, QWidget* Parent);

  // Whether the dialog may close with OK; reports the first broken rule.
  virtual bool FormCloseQuery() = 0;

  void showEvent(QShowEvent* Event) override;

  const TClassModel& Rules() const { return rules_; }
  // The controls go here, above the buttons.
  QVBoxLayout* Body() const { return body_; }

 private:
  const TClassModel& rules_;
  QVBoxLayout* body_;
  QPushButton* okBtn_;
  QPushButton* cancelBtn_;
};

}  // namespace corvid
