// The field dialog: a mapping field's name, its type and, for a string
// field, its size including the length byte.
#pragma once

#include <QComboBox>
#include <QLineEdit>

#include "corvid/wizard/WizDialog.h"

namespace corvid {

class TAddFieldForm : public TWizardDialog {
  Q_OBJECT
 public:
  TAddFieldForm(const TClassModel& Rules, QWidget* Parent = nullptr);

  // Puts an Edit command's starting values into the controls.
  void SetInput(const TFieldInput& Input);
  // What the controls hold: name, type row (0..3), the size box's digits.
  TFieldInput Input() const;

 protected:
  bool FormCloseQuery() override;

 private:
  void FormCreate();

  QLineEdit* FieldNameEdit;
  QComboBox* FieldTypeCB;
  QLineEdit* StringSizeEdit;
};

}  // namespace corvid
