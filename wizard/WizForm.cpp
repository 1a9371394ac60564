// The wizard's main window.
#include "corvid/wizard/WizForm.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFontInfo>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QVBoxLayout>

#include "corvid/wizard/AddFldFm.h"
#include "corvid/wizard/AddIdxFm.h"
#include "corvid/wizard/AddMemFm.h"

namespace corvid {

namespace {

constexpr int kPageGeneral = 0, kPageMembers = 1, kPageFields = 2, kLastPage = kPageFields;
constexpr int kListExtent = 500;  // pixels the lists can be scrolled across
const char* const kPageCaptions[] = {"General", "Data Members", "Field and Indices"};

QString Q(const std::string& S) {
  return QString::fromStdString(S);
}

QLabel* Heading(const char* Text, QWidget* Parent) {
  auto* l = new QLabel(Text, Parent);
  QFont f = l->font();
  f.setBold(true);
  f.setUnderline(true);
  l->setFont(f);
  return l;
}

QLabel* BuddyLabel(const char* Text, QWidget* Buddy, QWidget* Parent) {
  auto* l = new QLabel(Text, Parent);
  l->setBuddy(Buddy);
  return l;
}

// A column of command buttons beside a list.
QVBoxLayout* ButtonColumn(std::initializer_list<QPushButton*> Buttons) {
  auto* col = new QVBoxLayout;
  for (QPushButton* b : Buttons) {
    b->setFixedWidth(76);
    col->addWidget(b);
  }
  col->addStretch(1);
  return col;
}

}  // namespace

TWizardButton QtWizardMessage(QWidget* Parent, const std::string& Text, TWizardMessageKind Kind) {
  QString text = Q(Text);
  text.replace('\r', '\n');
  switch (Kind) {
    case wmError:
      QMessageBox::critical(Parent, "Error", text, QMessageBox::Ok);
      return wbOK;
    case wmInformation:
      QMessageBox::information(Parent, "Information", text, QMessageBox::Ok);
      return wbOK;
    case wmConfirmation:
      return QMessageBox::question(Parent, "Confirm", text, QMessageBox::Yes | QMessageBox::No,
                                   QMessageBox::No) == QMessageBox::Yes
                 ? wbYes
                 : wbNo;
  }
  return wbOK;
}

// ---------------------------------------------------------------------------

TWizardForm::TWizardForm(QWidget* Parent)
    : QWidget(Parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
  model_.SetMessageFunc([this](const std::string& Text, TWizardMessageKind Kind) {
    return QtWizardMessage(this, Text, Kind);
  });
  setObjectName("WizardForm");
  setWindowTitle(SWizardCaption);
  setFixedSize(612, 415);

  // The picture on the left, in a sunken frame.
  auto* pictureFrame = new QFrame(this);
  pictureFrame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  pictureFrame->setLineWidth(1);
  pictureFrame->setGeometry(8, 8, 152, 352);
  Picture =
      new TWizardPicture({kPageCaptions[0], kPageCaptions[1], kPageCaptions[2]}, pictureFrame);
  Picture->setObjectName("Picture");
  Picture->setGeometry(pictureFrame->contentsRect());

  Notebook = new QStackedWidget(this);
  Notebook->setObjectName("Notebook");
  Notebook->setGeometry(170, 8, 434, 352);
  Notebook->addWidget(BuildGeneralPage());
  Notebook->addWidget(BuildDataMemberPage());
  Notebook->addWidget(BuildFieldPage());

  // The buttons, under a horizontal rule. Next and Finish share a place.
  auto* rule = new QFrame(this);
  rule->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  rule->setGeometry(8, 366, 596, 2);
  BackBtn = new QPushButton(WizardGlyph(TWizardGlyph::Back), "&Back", this);
  BackBtn->setObjectName("BackBtn");
  NextBtn = new QPushButton(WizardGlyph(TWizardGlyph::Next), "&Next", this);
  NextBtn->setObjectName("NextBtn");
  NextBtn->setLayoutDirection(Qt::RightToLeft);  // the arrow after the word
  FinishBtn = new QPushButton(WizardGlyph(TWizardGlyph::Finish), "&Finish", this);
  FinishBtn->setObjectName("FinishBtn");
  CancelBtn = new QPushButton(WizardGlyph(TWizardGlyph::Cancel), "&Cancel", this);
  CancelBtn->setObjectName("CancelBtn");
  BackBtn->setGeometry(332, 378, 86, 28);
  NextBtn->setGeometry(420, 378, 86, 28);
  FinishBtn->setGeometry(420, 378, 86, 28);
  CancelBtn->setGeometry(518, 378, 86, 28);
  connect(BackBtn, &QPushButton::clicked, this, &TWizardForm::MoveBtnClick);
  connect(NextBtn, &QPushButton::clicked, this, &TWizardForm::MoveBtnClick);
  connect(FinishBtn, &QPushButton::clicked, this, &TWizardForm::FinishBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &TWizardForm::CancelBtnClick);

  OpenDialog = new QFileDialog(this);
  OpenDialog->setObjectName("OpenDialog");
  OpenDialog->setFileMode(QFileDialog::AnyFile);
  OpenDialog->setAcceptMode(QFileDialog::AcceptOpen);

  FormCreate();
  UpdateButtons();
}

TWizardForm::~TWizardForm() = default;  // the model frees its fields and indices

QWidget* TWizardForm::BuildGeneralPage() {
  auto* page = new QWidget;
  page->setObjectName("GeneralPage");
  page->setWindowTitle(kPageCaptions[kPageGeneral]);
  IntroLabel = new QLabel(page);
  IntroLabel->setObjectName("IntroLabel");
  IntroLabel->setWordWrap(true);

  FileNameEdit = new QLineEdit(Q(model_.GetFileName()), page);
  FileNameEdit->setObjectName("FileNameEdit");
  FileNameBrowseBtn = new QPushButton("B&rowse...", page);
  FileNameBrowseBtn->setObjectName("FileNameBrowseBtn");
  ClassNameEdit = new QLineEdit(Q(model_.GetClassName()), page);
  ClassNameEdit->setObjectName("ClassNameEdit");
  AncestorClassEdit = new QLineEdit(Q(model_.GetAncestorClass()), page);
  AncestorClassEdit->setObjectName("AncestorClassEdit");
  // The model follows the boxes as they are typed in, so it always holds
  // what the page shows.
  connect(FileNameEdit, &QLineEdit::textChanged, this,
          [this](const QString& T) { model_.SetFileName(T.toStdString()); });
  connect(ClassNameEdit, &QLineEdit::textChanged, this,
          [this](const QString& T) { model_.SetClassName(T.toStdString()); });
  connect(AncestorClassEdit, &QLineEdit::textChanged, this,
          [this](const QString& T) { model_.SetAncestorClass(T.toStdString()); });
  connect(FileNameBrowseBtn, &QPushButton::clicked, this, &TWizardForm::FileNameBrowseBtnClick);

  auto* v = new QVBoxLayout(page);
  v->setContentsMargins(4, 4, 4, 4);
  v->addWidget(IntroLabel);
  v->addSpacing(14);
  v->addWidget(Heading("General Information", page));
  v->addSpacing(6);
  v->addWidget(BuddyLabel("F&ile Name", FileNameEdit, page));
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(FileNameEdit, 1);
  fileRow->addWidget(FileNameBrowseBtn);
  v->addLayout(fileRow);
  v->addSpacing(6);
  v->addWidget(BuddyLabel("C&lass Name", ClassNameEdit, page));
  v->addWidget(ClassNameEdit);
  v->addSpacing(6);
  v->addWidget(BuddyLabel("&Ancestor Class", AncestorClassEdit, page));
  v->addWidget(AncestorClassEdit);
  v->addStretch(1);
  return page;
}

QWidget* TWizardForm::BuildDataMemberPage() {
  auto* page = new QWidget;
  page->setObjectName("DataMemberPage");
  page->setWindowTitle(kPageCaptions[kPageMembers]);
  DataMemberLB = MakeList("DataMemberLB", "DataMemberPopup", DataMemberPopup,
                          &TWizardForm::AddDataMemberBtnClick, &TWizardForm::EditDataMemberBtnClick,
                          &TWizardForm::DeleteDataMemberBtnClick);
  auto* add = new QPushButton("&Add", page);
  add->setObjectName("AddDataMemberBtn");
  auto* edit = new QPushButton("&Edit", page);
  edit->setObjectName("EditDataMemberBtn");
  auto* del = new QPushButton("&Delete", page);
  del->setObjectName("DeleteDataMemberBtn");
  connect(add, &QPushButton::clicked, this, &TWizardForm::AddDataMemberBtnClick);
  connect(edit, &QPushButton::clicked, this, &TWizardForm::EditDataMemberBtnClick);
  connect(del, &QPushButton::clicked, this, &TWizardForm::DeleteDataMemberBtnClick);

  auto* v = new QVBoxLayout(page);
  v->setContentsMargins(4, 4, 4, 4);
  v->addWidget(Heading("Class Data Members", page));
  v->addSpacing(6);
  auto* h = new QHBoxLayout;
  h->addWidget(DataMemberLB, 1);
  h->addLayout(ButtonColumn({add, edit, del}));
  v->addLayout(h, 1);
  return page;
}

QWidget* TWizardForm::BuildFieldPage() {
  auto* page = new QWidget;
  page->setObjectName("FieldPage");
  page->setWindowTitle(kPageCaptions[kPageFields]);

  auto* fields = new QGroupBox("Fields", page);
  fields->setObjectName("FieldsGB");
  FieldLB = MakeList("FieldLB", "FieldPopup", FieldPopup, &TWizardForm::AddFieldBtnClick,
                     &TWizardForm::EditFieldBtnClick, &TWizardForm::DeleteFieldBtnClick);
  auto* addF = new QPushButton("&Add", fields);
  addF->setObjectName("AddFieldBtn");
  auto* editF = new QPushButton("&Edit", fields);
  editF->setObjectName("EditFieldBtn");
  auto* delF = new QPushButton("De&lete", fields);
  delF->setObjectName("DeleteFieldBtn");
  connect(addF, &QPushButton::clicked, this, &TWizardForm::AddFieldBtnClick);
  connect(editF, &QPushButton::clicked, this, &TWizardForm::EditFieldBtnClick);
  connect(delF, &QPushButton::clicked, this, &TWizardForm::DeleteFieldBtnClick);
  auto* fh = new QHBoxLayout(fields);
  fh->addWidget(FieldLB, 1);
  fh->addLayout(ButtonColumn({addF, editF, delF}));

  auto* indices = new QGroupBox("Indices", page);
  indices->setObjectName("IndicesGB");
  IndexLB = MakeList("IndexLB", "IndexPopup", IndexPopup, &TWizardForm::AddIndexBtnClick,
                     &TWizardForm::EditIndexBtnClick, &TWizardForm::DeleteIndexBtnClick);
  auto* addI = new QPushButton("A&dd", indices);
  addI->setObjectName("AddIndexBtn");
  auto* editI = new QPushButton("Ed&it", indices);
  editI->setObjectName("EditIndexBtn");
  auto* delI = new QPushButton("Dele&te", indices);
  delI->setObjectName("DeleteIndexBtn");
  connect(addI, &QPushButton::clicked, this, &TWizardForm::AddIndexBtnClick);
  connect(editI, &QPushButton::clicked, this, &TWizardForm::EditIndexBtnClick);
  connect(delI, &QPushButton::clicked, this, &TWizardForm::DeleteIndexBtnClick);
  auto* ih = new QHBoxLayout(indices);
  ih->addWidget(IndexLB, 1);
  ih->addLayout(ButtonColumn({addI, editI, delI}));

  auto* v = new QVBoxLayout(page);
  v->setContentsMargins(4, 4, 4, 4);
  v->addWidget(Heading("Object-relational mapping fields and indices", page));
  v->addSpacing(4);
  v->addWidget(fields, 1);
  v->addWidget(indices, 1);
  return page;
}

QListWidget* TWizardForm::MakeList(const char* Name, const char* PopupName, QMenu*& Popup,
                                   void (TWizardForm::*Add)(), void (TWizardForm::*Edit)(),
                                   void (TWizardForm::*Delete)()) {
  auto* lb = new QListWidget;
  lb->setObjectName(Name);
  // Fixed pitch, so that the padded names line up the colons; Courier New
  // where it is installed, the system's typewriter face otherwise.
  QFont mono("Courier New");
  mono.setStyleHint(QFont::TypeWriter);
  mono.setFixedPitch(true);
  if (!QFontInfo(mono).fixedPitch()) mono.setFamily("monospace");
  lb->setFont(mono);
  lb->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lb->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  lb->setContextMenuPolicy(Qt::CustomContextMenu);

  Popup = new QMenu(this);
  Popup->setObjectName(PopupName);
  connect(Popup->addAction("&Add"), &QAction::triggered, this, Add);
  connect(Popup->addAction("&Edit"), &QAction::triggered, this, Edit);
  connect(Popup->addAction("&Delete"), &QAction::triggered, this, Delete);
  QMenu* popup = Popup;
  connect(lb, &QWidget::customContextMenuRequested, this,
          [lb, popup](const QPoint& At) { popup->popup(lb->viewport()->mapToGlobal(At)); });
  connect(lb, &QListWidget::itemDoubleClicked, this, Edit);
  return lb;
}

// --- form life ---------------------------------------------------------------

void TWizardForm::FormCreate() {
  IntroLabel->setText(SWelcomeText);
}

void TWizardForm::showEvent(QShowEvent* Event) {
  QWidget::showEvent(Event);
  if (Event->spontaneous()) return;  // a restore from the task bar, not a new show
  if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) {
    const QRect frame = frameGeometry();
    move(s->availableGeometry().center() - frame.center() + frame.topLeft());
  }
  FormShow();
}

void TWizardForm::FormShow() {
  Notebook->setCurrentIndex(kPageGeneral);
  UpdateButtons();
}

void TWizardForm::closeEvent(QCloseEvent* Event) {
  if (closing_ || model_.ShowMessage(SCancelQuery, wmConfirmation) == wbYes) {
    closing_ = true;
    Event->accept();
  } else {
    Event->ignore();
  }
}

void TWizardForm::CloseForm() {
  closing_ = true;
  close();
}

// --- page flow -----------------------------------------------------------------

void TWizardForm::UpdateButtons() {
  const int page = Notebook->currentIndex();
  BackBtn->setVisible(page > kPageGeneral);
  NextBtn->setVisible(page < kLastPage);
  FinishBtn->setVisible(page == kLastPage);
  Picture->SetCurrentStep(page);
}

bool TWizardForm::CanMovePage(int FromPage, int ToPage) {
  return model_.CanMovePage(FromPage, ToPage);
}

void TWizardForm::MoveBtnClick() {
  const int page = Notebook->currentIndex();
  const int to = sender() == NextBtn ? page + 1 : page - 1;
  if (to >= kPageGeneral && to <= kLastPage && CanMovePage(page, to)) {
    Notebook->setCurrentIndex(to);
  }
  UpdateButtons();
}

void TWizardForm::CancelBtnClick() {
  if (model_.ShowMessage(SCancelQuery, wmConfirmation) == wbYes) CloseForm();
}

void TWizardForm::FinishBtnClick() {
  // A unit that cannot be written is reported and leaves the wizard open
  // with the model as it was, so the user can change the file name.
  bool written = false;
  try {
    written = model_.GenerateUnit();
  } catch (const Exception& e) {
    model_.ShowMessage(e.Message(), wmError);
  }
  if (written) CloseForm();
}

void TWizardForm::FileNameBrowseBtnClick() {
  OpenDialog->selectFile(FileNameEdit->text());
  if (OpenDialog->exec() == QDialog::Accepted && !OpenDialog->selectedFiles().isEmpty()) {
    FileNameEdit->setText(OpenDialog->selectedFiles().first());
  }
}

// --- lists ---------------------------------------------------------------------

std::vector<std::int32_t> TWizardForm::SelectedPositions(const QListWidget* List) {
  std::vector<std::int32_t> pos;
  for (int i = 0; i < List->count(); ++i) {
    if (List->item(i)->isSelected()) pos.push_back(i + 1);
  }
  return pos;
}

void TWizardForm::AddEntry(QListWidget* List, const std::string& Text) {
  List->addItem(Q(Text));
  SetEntry(List, List->count() - 1, Text);
}

void TWizardForm::SetEntry(QListWidget* List, int Row, const std::string& Text) {
  QListWidgetItem* item = List->item(Row);
  item->setText(Q(Text));
  // Every entry is at least as wide as the list's scroll extent.
  const QFontMetrics fm(List->font());
  item->setSizeHint(
      QSize(std::max(kListExtent, fm.horizontalAdvance(item->text()) + 8), fm.height() + 2));
}

void TWizardForm::ReloadMembers() {
  DataMemberLB->clear();
  for (std::int32_t i = 1; i <= model_.MemberCount(); ++i) {
    AddEntry(DataMemberLB, model_.MemberText(i));
  }
}

void TWizardForm::ReloadFields() {
  FieldLB->clear();
  for (std::int32_t i = 1; i <= model_.FieldCount(); ++i) AddEntry(FieldLB, model_.FieldText(i));
}

void TWizardForm::ReloadIndices() {
  IndexLB->clear();
  for (std::int32_t i = 1; i <= model_.IndexCount(); ++i) AddEntry(IndexLB, model_.IndexText(i));
}

// --- data members ----------------------------------------------------------------

void TWizardForm::AddDataMemberBtnClick() {
  TAddDataMemberForm dlg(model_, this);
  dlg.setWindowTitle("Add Data Member");
  if (dlg.exec() == QDialog::Accepted && model_.AddDataMember(dlg.Input())) {
    AddEntry(DataMemberLB, model_.MemberText(model_.MemberCount()));
  }
}

void TWizardForm::EditDataMemberBtnClick() {
  const int row = DataMemberLB->currentRow();
  if (row < 0) return;
  TAddDataMemberForm dlg(model_, this);
  dlg.setWindowTitle("Edit Data Member");
  dlg.SetInput(model_.MemberInputAt(row + 1));
  if (dlg.exec() == QDialog::Accepted && model_.EditDataMember(row + 1, dlg.Input())) {
    SetEntry(DataMemberLB, row, model_.MemberText(row + 1));
  }
}

void TWizardForm::DeleteDataMemberBtnClick() {
  if (model_.DeleteDataMembers(SelectedPositions(DataMemberLB)) > 0) ReloadMembers();
}

// --- fields ------------------------------------------------------------------------

void TWizardForm::AddFieldBtnClick() {
  TAddFieldForm dlg(model_, this);
  dlg.setWindowTitle("Add Field");
  if (dlg.exec() == QDialog::Accepted && model_.AddField(dlg.Input())) {
    AddEntry(FieldLB, model_.FieldText(model_.FieldCount()));
  }
}

void TWizardForm::EditFieldBtnClick() {
  const int row = FieldLB->currentRow();
  if (row < 0) return;
  TAddFieldForm dlg(model_, this);
  dlg.setWindowTitle("Edit Field");
  dlg.SetInput(model_.FieldInputAt(row + 1));
  if (dlg.exec() == QDialog::Accepted && model_.EditField(row + 1, dlg.Input())) {
    SetEntry(FieldLB, row, model_.FieldText(row + 1));
  }
}

void TWizardForm::DeleteFieldBtnClick() {
  if (model_.DeleteFields(SelectedPositions(FieldLB)) > 0) ReloadFields();
}

// --- indices -----------------------------------------------------------------------

void TWizardForm::AddIndexBtnClick() {
  TAddIndexForm dlg(model_, this);
  dlg.setWindowTitle("Add Index");
  std::vector<std::string> available, inIndex;
  model_.FillIndexDialogLists(0, available, inIndex);
  dlg.SetInput(model_.NewIndexInput(), available, inIndex);
  if (dlg.exec() == QDialog::Accepted && model_.AddIndex(dlg.Input())) {
    AddEntry(IndexLB, model_.IndexText(model_.IndexCount()));
  }
}

void TWizardForm::EditIndexBtnClick() {
  const int row = IndexLB->currentRow();
  if (row < 0) return;
  TAddIndexForm dlg(model_, this);
  dlg.setWindowTitle("Edit Index");
  std::vector<std::string> available, inIndex;
  model_.FillIndexDialogLists(row + 1, available, inIndex);
  dlg.SetInput(model_.IndexInputAt(row + 1), available, inIndex);
  if (dlg.exec() == QDialog::Accepted && model_.EditIndex(row + 1, dlg.Input())) {
    SetEntry(IndexLB, row, model_.IndexText(row + 1));
  }
}

void TWizardForm::DeleteIndexBtnClick() {
  if (model_.DeleteIndices(SelectedPositions(IndexLB)) > 0) ReloadIndices();
}

}  // namespace corvid
