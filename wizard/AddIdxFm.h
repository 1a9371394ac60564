// The index dialog: an index's name, its four attributes and its fields,
// moved one by one from the available field names into the key.
#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QToolButton>
#include <string>
#include <vector>

#include "corvid/wizard/WizDialog.h"

namespace corvid {

class TAddIndexForm : public TWizardDialog {
  Q_OBJECT
 public:
  TAddIndexForm(const TClassModel& Rules, QWidget* Parent = nullptr);

  // Puts the starting values into the controls: name and attributes from
  // Input, and the two lists (Input.Fields is not looked at).
  void SetInput(const TIndexInput& Input, const std::vector<std::string>& Available,
                const std::vector<std::string>& IndexFields);
  // What the controls hold: name, attributes, the Index Fields in order.
  TIndexInput Input() const;

 protected:
  bool FormCloseQuery() override;

 private slots:
  void AddFieldBtnClick();
  void RemoveFieldBtnClick();

 private:
  QLineEdit* IndexNameEdit;
  QGroupBox* AttributesGB;
  QCheckBox* PrimaryCB;
  QCheckBox* UniqueCB;
  QCheckBox* DescendingCB;
  QCheckBox* CaseInsensitiveCB;
  QListWidget* FieldsLB;
  QListWidget* IndexFieldsLB;
  QToolButton* AddFieldBtn;
  QToolButton* RemoveFieldBtn;
};

}  // namespace corvid
