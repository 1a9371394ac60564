// The data member dialog: a member's name, its type from the member type
// table and, for an Object member, its class name.
#pragma once

#include <QComboBox>
#include <QLineEdit>

#include "corvid/wizard/WizDialog.h"

namespace corvid {

class TAddDataMemberForm : public TWizardDialog {
  Q_OBJECT
 public:
  TAddDataMemberForm(const TClassModel& Rules, QWidget* Parent = nullptr);

  // Puts an Edit command's starting values into the controls.
  void SetInput(const TMemberInput& Input);
  // What the controls hold: name, type row (0..12), class name.
  TMemberInput Input() const;

 protected:
  bool FormCloseQuery() override;

 private:
  void FormCreate();

  QLineEdit* MemberNameEdit;
  QComboBox* MemberTypeCB;
  QLineEdit* MemberClassNameEdit;
};

}  // namespace corvid
