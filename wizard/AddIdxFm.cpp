// The index dialog.
#include "corvid/wizard/AddIdxFm.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>

#include "corvid/wizard/WizGlyphs.h"

namespace corvid {

namespace {

// Moves the current entry of From to the end of To. The entry that takes
// its place becomes current, so that repeated presses move the names one
// after the other.
void MoveCurrent(QListWidget* From, QListWidget* To) {
  const int row = From->currentRow();
  if (row < 0) return;
  QListWidgetItem* item = From->takeItem(row);
  To->addItem(item);
  if (From->count() == 0) {
    From->setCurrentRow(-1);
  } else {
    From->setCurrentRow(row < From->count() ? row : From->count() - 1);
  }
}

QStringList ToStringList(const std::vector<std::string>& Names) {
  QStringList l;
  for (const std::string& n : Names) l << QString::fromStdString(n);
  return l;
}

}  // namespace

TAddIndexForm::TAddIndexForm(const TClassModel& Rules, QWidget* Parent)
    : TWizardDialog(Rules, "Add Index", QSize(409, 322), Parent) {
  IndexNameEdit = new QLineEdit(this);
  IndexNameEdit->setObjectName("IndexNameEdit");
  auto* nameLabel = new QLabel("Index &Name", this);
  nameLabel->setBuddy(IndexNameEdit);
  auto* nameRow = new QHBoxLayout;
  nameRow->addWidget(nameLabel);
  nameRow->addWidget(IndexNameEdit, 1);
  Body()->addLayout(nameRow);
  Body()->addSpacing(4);

  AttributesGB = new QGroupBox("&Attributes", this);
  AttributesGB->setObjectName("AttributesGB");
  PrimaryCB = new QCheckBox("Primary", AttributesGB);
  PrimaryCB->setObjectName("PrimaryCB");
  UniqueCB = new QCheckBox("Unique", AttributesGB);
  UniqueCB->setObjectName("UniqueCB");
  DescendingCB = new QCheckBox("Descending", AttributesGB);
  DescendingCB->setObjectName("DescendingCB");
  CaseInsensitiveCB = new QCheckBox("Case Insensitive", AttributesGB);
  CaseInsensitiveCB->setObjectName("CaseInsensitiveCB");
  auto* attrs = new QGridLayout(AttributesGB);
  attrs->addWidget(PrimaryCB, 0, 0);
  attrs->addWidget(UniqueCB, 0, 1);
  attrs->addWidget(DescendingCB, 1, 0);
  attrs->addWidget(CaseInsensitiveCB, 1, 1);
  Body()->addWidget(AttributesGB);
  Body()->addSpacing(4);

  FieldsLB = new QListWidget(this);
  FieldsLB->setObjectName("FieldsLB");
  IndexFieldsLB = new QListWidget(this);
  IndexFieldsLB->setObjectName("IndexFieldsLB");
  for (QListWidget* lb : {FieldsLB, IndexFieldsLB}) {
    lb->setSelectionMode(QAbstractItemView::SingleSelection);
  }
  AddFieldBtn = new QToolButton(this);
  AddFieldBtn->setObjectName("AddFieldBtn");
  AddFieldBtn->setIcon(WizardGlyph(TWizardGlyph::MoveRight));
  AddFieldBtn->setToolTip("Add the field to the index");
  RemoveFieldBtn = new QToolButton(this);
  RemoveFieldBtn->setObjectName("RemoveFieldBtn");
  RemoveFieldBtn->setIcon(WizardGlyph(TWizardGlyph::MoveLeft));
  RemoveFieldBtn->setToolTip("Remove the field from the index");
  for (QToolButton* b : {AddFieldBtn, RemoveFieldBtn}) {
    b->setAutoRaise(true);
    b->setIconSize(QSize(16, 16));
    b->setFixedSize(30, 26);
  }

  auto* available = new QLabel("Available &Fields", this);
  available->setBuddy(FieldsLB);
  auto* inIndex = new QLabel("&Index Fields", this);
  inIndex->setBuddy(IndexFieldsLB);
  auto* lists = new QGridLayout;
  lists->addWidget(available, 0, 0);
  lists->addWidget(inIndex, 0, 2);
  lists->addWidget(FieldsLB, 1, 0);
  auto* moves = new QVBoxLayout;
  moves->addStretch(1);
  moves->addWidget(AddFieldBtn);
  moves->addWidget(RemoveFieldBtn);
  moves->addStretch(1);
  lists->addLayout(moves, 1, 1);
  lists->addWidget(IndexFieldsLB, 1, 2);
  lists->setColumnStretch(0, 1);
  lists->setColumnStretch(2, 1);
  Body()->addLayout(lists, 1);

  connect(AddFieldBtn, &QToolButton::clicked, this, &TAddIndexForm::AddFieldBtnClick);
  connect(RemoveFieldBtn, &QToolButton::clicked, this, &TAddIndexForm::RemoveFieldBtnClick);
  connect(FieldsLB, &QListWidget::itemDoubleClicked, this, &TAddIndexForm::AddFieldBtnClick);
  connect(IndexFieldsLB, &QListWidget::itemDoubleClicked, this,
          &TAddIndexForm::RemoveFieldBtnClick);

  IndexNameEdit->setFocus();
}

void TAddIndexForm::SetInput(const TIndexInput& Input, const std::vector<std::string>& Available,
                             const std::vector<std::string>& IndexFields) {
  IndexNameEdit->setText(QString::fromStdString(Input.Name));
  PrimaryCB->setChecked(Input.Primary);
  UniqueCB->setChecked(Input.Unique);
  DescendingCB->setChecked(Input.Descending);
  CaseInsensitiveCB->setChecked(Input.CaseInsensitive);
  FieldsLB->clear();
  FieldsLB->addItems(ToStringList(Available));
  IndexFieldsLB->clear();
  IndexFieldsLB->addItems(ToStringList(IndexFields));
}

TIndexInput TAddIndexForm::Input() const {
  TIndexInput in;
  in.Name = IndexNameEdit->text().toStdString();
  in.Primary = PrimaryCB->isChecked();
  in.Unique = UniqueCB->isChecked();
  in.Descending = DescendingCB->isChecked();
  in.CaseInsensitive = CaseInsensitiveCB->isChecked();
  for (int i = 0; i < IndexFieldsLB->count(); ++i) {
    in.Fields.push_back(IndexFieldsLB->item(i)->text().toStdString());
  }
  return in;
}

bool TAddIndexForm::FormCloseQuery() {
  return Rules().CheckIndexInput(Input());
}

void TAddIndexForm::AddFieldBtnClick() {
  MoveCurrent(FieldsLB, IndexFieldsLB);
}

void TAddIndexForm::RemoveFieldBtnClick() {
  MoveCurrent(IndexFieldsLB, FieldsLB);
}

}  // namespace corvid
