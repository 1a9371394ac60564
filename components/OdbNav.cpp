#include "corvid/components/OdbNav.h"

#include <QEvent>
#include <QLayout>
#include <QToolButton>

#include "corvid/components/OdbNavButton.h"
#include "corvid/components/OdbNavGlyphs.h"
#include "corvid/odb/OdbDataset.h"
#include "corvid/persist/ObjPerst.h"

namespace corvid {

namespace {

struct TButtonLayout {
  int left;
  bool repeats;
  const char* glyph;
  const char* hint;
  const char* objectName;
};

// Indexed by TNavigateBtn.
constexpr TButtonLayout ButtonLayout[NavigateBtnCount] = {
    {6, false, "FIRSTBMP", "First", "FirstBtn"},      {32, true, "PRIORBMP", "Prior", "PriorBtn"},
    {58, true, "NEXTBMP", "Next", "NextBtn"},         {84, false, "LASTBMP", "Last", "LastBtn"},
    {118, false, "UPDATEBMP", "Update", "UpdateBtn"}, {152, false, "ADDBMP", "Insert", "InsertBtn"},
    {186, false, "DELETEBMP", "Delete", "DeleteBtn"},
};

constexpr int BarWidth = 632;
constexpr int BarHeight = 41;
constexpr int ButtonPanelWidth = 218;

}  // namespace

TObjectDatasetNavigator::TObjectDatasetNavigator(QWidget* Parent)
    : QFrame(Parent), messageFunction_(StandardMessageDlg) {
  RegisterNavigatorGlyphs();
  setFrameStyle(QFrame::NoFrame);
  setGeometry(0, 0, BarWidth, BarHeight);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(15);
  font.setWeight(QFont::Normal);
  font.setStyle(QFont::StyleNormal);
  setFont(font);
  QPalette palette = this->palette();
  palette.setColor(QPalette::WindowText, Qt::black);
  palette.setColor(QPalette::ButtonText, Qt::black);
  setPalette(palette);

  buttonPanel_ = new QFrame(this);
  buttonPanel_->setObjectName(QStringLiteral("ButtonPanel"));
  buttonPanel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  buttonPanel_->setGeometry(0, 0, ButtonPanelWidth, BarHeight);

  for (int i = 0; i < NavigateBtnCount; ++i) {
    const TButtonLayout& l = ButtonLayout[i];
    QToolButton* b =
        l.repeats ? new TRepeatSpeedButton(buttonPanel_) : new QToolButton(buttonPanel_);
    b->setObjectName(QString::fromLatin1(l.objectName));
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setGeometry(l.left, 8, 27, 25);
    b->setToolTip(QString::fromLatin1(l.hint));
    AssignGlyph(*b, l.glyph);
    buttons_[i] = b;
  }
  // Insert, Update and Delete reach whatever the object's class implements
  // in the virtual slots at the time of the click.
  connect(buttons_[nbFirst], &QToolButton::clicked, this,
          [this] { RunClick([this] { FirstClick(); }); });
  connect(buttons_[nbPrior], &QToolButton::clicked, this,
          [this] { RunClick([this] { PriorClick(); }); });
  connect(buttons_[nbNext], &QToolButton::clicked, this,
          [this] { RunClick([this] { NextClick(); }); });
  connect(buttons_[nbLast], &QToolButton::clicked, this,
          [this] { RunClick([this] { LastClick(); }); });
  connect(buttons_[nbUpdate], &QToolButton::clicked, this,
          [this] { RunClick([this] { UpdateClick(); }); });
  connect(buttons_[nbInsert], &QToolButton::clicked, this,
          [this] { RunClick([this] { InsertClick(); }); });
  connect(buttons_[nbDelete], &QToolButton::clicked, this,
          [this] { RunClick([this] { DeleteClick(); }); });

  WatchParent(Parent);
}

TObjectDatasetNavigator::~TObjectDatasetNavigator() {
  if (watchedParent_ != nullptr) watchedParent_->removeEventFilter(this);
  dataset_ = nullptr;
}

void TObjectDatasetNavigator::SetMessageFunction(TMessageFunction Function) {
  messageFunction_ = Function ? std::move(Function) : TMessageFunction(StandardMessageDlg);
}

TModalResult TObjectDatasetNavigator::ShowMessage(const std::string& Text, TMsgDlgType Kind,
                                                  TMsgDlgButtons Buttons) {
  return messageFunction_(Text, Kind, Buttons, 0);
}

void TObjectDatasetNavigator::RunClick(const std::function<void()>& Operation) {
  try {
    Operation();
  } catch (const std::exception& e) {
    try {
      ShowMessage(e.what(), mtError, mbOK);
    } catch (...) {
      qWarning("Navigator: the message function failed while reporting: %s", e.what());
    }
  } catch (...) {
    try {
      ShowMessage("Unknown error", mtError, mbOK);
    } catch (...) {
      qWarning("Navigator: the message function failed while reporting an unknown error");
    }
  }
}

void TObjectDatasetNavigator::DetachDataset() noexcept {
  RunClick([this] { SetDataset(nullptr); });
  dataset_ = nullptr;
}

void TObjectDatasetNavigator::CheckAssignments() const {
  if (dataset_ == nullptr) throw EOdbNavigatorEventNotAssigned("Dataset not assigned");
  if (!OnNewObject) throw EOdbNavigatorEventNotAssigned("OnNewObject not assigned");
  if (!OnObjectToForm) throw EOdbNavigatorEventNotAssigned("OnObjectToForm not assigned");
  if (!OnFormToObject) throw EOdbNavigatorEventNotAssigned("OnFormToObject not assigned");
}

void TObjectDatasetNavigator::CheckDirty() {
  if (dataset_->IsEmpty()) return;
  // The copy is freed on every way out, exceptions included.
  const std::unique_ptr<TObject> copy = CloneObj(dataset_->GetCurrentObj());
  OnFormToObject(*copy);
  if (ObjectsEqual(copy.get(), dataset_->GetCurrentObj())) return;
  if (autoPost_ || ShowMessage(objectChangedMsg_, mtConfirmation, mbYesNo) == mrYes) UpdateClick();
}

void TObjectDatasetNavigator::RefreshCurrent() {
  CheckAssignments();
  if (dataset_->IsEmpty()) {
    ShowMessage(fileIsEmptyMsg_, mtInformation, mbOK);
    return;
  }
  dataset_->ReloadCurrent();
  OnObjectToForm(*dataset_->GetCurrentObj());
}

void TObjectDatasetNavigator::Move(bool (TObjectDataset::*Find)(), const std::string& EndMessage) {
  CheckAssignments();
  CheckDirty();
  if ((dataset_->*Find)())
    OnObjectToForm(*dataset_->GetCurrentObj());
  else
    ShowMessage(EndMessage, mtInformation, mbOK);
}

void TObjectDatasetNavigator::FirstClick() {
  Move(&TObjectDataset::FindFirst, fileIsEmptyMsg_);
}
void TObjectDatasetNavigator::PriorClick() {
  Move(&TObjectDataset::FindPrior, beginningOfFileMsg_);
}
void TObjectDatasetNavigator::NextClick() {
  Move(&TObjectDataset::FindNext, endOfFileMsg_);
}
void TObjectDatasetNavigator::LastClick() {
  Move(&TObjectDataset::FindLast, fileIsEmptyMsg_);
}

void TObjectDatasetNavigator::SetDataset(TObjectDataset* Dataset) {
  // A closed dataset has no form values to lose that could still be saved.
  if (dataset_ != nullptr && OnFormToObject && dataset_->GetOpened()) CheckDirty();
  dataset_ = Dataset;
  if (dataset_ == nullptr) return;
  if (!dataset_->GetOpened()) dataset_->Open();
  if (dataset_->FindFirst() && OnObjectToForm) OnObjectToForm(*dataset_->GetCurrentObj());
}

void TObjectDatasetNavigator::AlignControls() {
  buttonPanel_->setGeometry(0, 0, ButtonPanelWidth, height());
}

void TObjectDatasetNavigator::resizeEvent(QResizeEvent* Event) {
  QFrame::resizeEvent(Event);
  AlignControls();
  if (OnResize) OnResize();
}

bool TObjectDatasetNavigator::event(QEvent* Event) {
  if (Event->type() == QEvent::ParentChange) WatchParent(parentWidget());
  return QFrame::event(Event);
}

void TObjectDatasetNavigator::WatchParent(QWidget* Parent) {
  if (watchedParent_ == Parent) return;
  if (watchedParent_ != nullptr) watchedParent_->removeEventFilter(this);
  watchedParent_ = Parent;
  if (watchedParent_ != nullptr) watchedParent_->installEventFilter(this);
}

bool TObjectDatasetNavigator::eventFilter(QObject* Watched, QEvent* Event) {
  // Within a layout the layout places the bar; otherwise it spans the top
  // of its parent, keeping its own height.
  if (Watched == watchedParent_ && Event->type() == QEvent::Resize &&
      watchedParent_->layout() == nullptr)
    setGeometry(0, 0, watchedParent_->width(), height());
  return QFrame::eventFilter(Watched, Event);
}

}  // namespace corvid
