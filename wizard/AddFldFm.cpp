// The field dialog.
#include "corvid/wizard/AddFldFm.h"

#include <QFormLayout>
#include <QLabel>

namespace corvid {

TAddFieldForm::TAddFieldForm(const TClassModel& Rules, QWidget* Parent)
    : TWizardDialog(Rules, "Add Field", QSize(364, 172), Parent) {
  FieldNameEdit = new QLineEdit(this);
  FieldNameEdit->setObjectName("FieldNameEdit");
  FieldTypeCB = new QComboBox(this);
  FieldTypeCB->setObjectName("FieldTypeCB");
  FieldTypeCB->setEditable(false);
  for (std::int32_t r = 0; r < FieldTypeRowCount; ++r) {
    FieldTypeCB->addItem(FieldTypeCaption(static_cast<TOdbFieldType>(r)));
  }
  StringSizeEdit = new QLineEdit(this);
  StringSizeEdit->setObjectName("StringSizeEdit");
  // Up to three digits, none required; empty places show as blanks and
  // text() gives the digits alone.
  StringSizeEdit->setInputMask("000; ");
  StringSizeEdit->setMaxLength(3);
  StringSizeEdit->setText("21");
  StringSizeEdit->setToolTip("For string fields only (length byte must be included)");
  StringSizeEdit->setMaximumWidth(StringSizeEdit->fontMetrics().horizontalAdvance("0000") + 16);

  auto* form = new QFormLayout;
  form->setLabelAlignment(Qt::AlignLeft);
  const auto row = [&](const char* Text, QWidget* W) {
    auto* l = new QLabel(Text, this);
    l->setBuddy(W);
    form->addRow(l, W);
  };
  row("Field &Name", FieldNameEdit);
  row("Field &Type", FieldTypeCB);
  row("String &Size", StringSizeEdit);
  Body()->addLayout(form);
  Body()->addStretch(1);

  FormCreate();
  FieldNameEdit->setFocus();
}

void TAddFieldForm::FormCreate() {
  FieldTypeCB->setCurrentIndex(0);
}

void TAddFieldForm::SetInput(const TFieldInput& Input) {
  FieldNameEdit->setText(QString::fromStdString(Input.Name));
  FieldTypeCB->setCurrentIndex(Input.TypeRow);
  StringSizeEdit->setText(QString::fromStdString(Input.SizeText));
}

TFieldInput TAddFieldForm::Input() const {
  TFieldInput in;
  in.Name = FieldNameEdit->text().toStdString();
  in.TypeRow = FieldTypeCB->currentIndex();
  in.SizeText = StringSizeEdit->text().toStdString();
  return in;
}

bool TAddFieldForm::FormCloseQuery() {
  return Rules().CheckFieldInput(Input());
}

}  // namespace corvid
