// The data member dialog.
#include "corvid/wizard/AddMemFm.h"

#include <QFormLayout>
#include <QLabel>

namespace corvid {

namespace {

QLabel* BuddyLabel(const char* Text, QWidget* Buddy) {
  auto* l = new QLabel(Text);
  l->setBuddy(Buddy);
  return l;
}

}  // namespace

TAddDataMemberForm::TAddDataMemberForm(const TClassModel& Rules, QWidget* Parent)
    : TWizardDialog(Rules, "Add Data Member", QSize(361, 184), Parent) {
  MemberNameEdit = new QLineEdit(this);
  MemberNameEdit->setObjectName("MemberNameEdit");
  MemberTypeCB = new QComboBox(this);
  MemberTypeCB->setObjectName("MemberTypeCB");
  MemberTypeCB->setEditable(false);
  MemberClassNameEdit = new QLineEdit(this);
  MemberClassNameEdit->setObjectName("MemberClassNameEdit");
  MemberClassNameEdit->setToolTip("For object data members only");

  auto* form = new QFormLayout;
  form->setLabelAlignment(Qt::AlignLeft);
  form->addRow(BuddyLabel("&Name", MemberNameEdit), MemberNameEdit);
  form->addRow(BuddyLabel("&Type", MemberTypeCB), MemberTypeCB);
  form->addRow(BuddyLabel("&Class Name", MemberClassNameEdit), MemberClassNameEdit);
  Body()->addLayout(form);
  Body()->addStretch(1);

  FormCreate();
  MemberNameEdit->setFocus();
}

void TAddDataMemberForm::FormCreate() {
  for (std::int32_t i = 0; i < MemberTypeCount; ++i) {
    std::string name;
    MemberTypeName(i, name);
    MemberTypeCB->addItem(QString::fromStdString(name));
  }
  MemberTypeCB->setCurrentIndex(MemberTypeString);
}

void TAddDataMemberForm::SetInput(const TMemberInput& Input) {
  MemberNameEdit->setText(QString::fromStdString(Input.Name));
  MemberTypeCB->setCurrentIndex(Input.TypeIndex);
  MemberClassNameEdit->setText(QString::fromStdString(Input.ClassName));
}

TMemberInput TAddDataMemberForm::Input() const {
  TMemberInput in;
  in.Name = MemberNameEdit->text().toStdString();
  in.TypeIndex = MemberTypeCB->currentIndex();
  in.ClassName = MemberClassNameEdit->text().toStdString();
  return in;
}

bool TAddDataMemberForm::FormCloseQuery() {
  return Rules().CheckMemberInput(Input());
}

}  // namespace corvid
