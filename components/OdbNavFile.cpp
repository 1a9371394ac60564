#include <QComboBox>
#include <QEvent>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <stdexcept>

#include "corvid/components/OdbNav.h"
#include "corvid/components/OdbNavGlyphs.h"
#include "corvid/containers/ObjList.h"
#include "corvid/containers/ObjType.h"
#include "corvid/odb/OdbFile.h"
#include "corvid/odb/OdbIndex.h"
#include "corvid/util/OdbMisc.h"

namespace corvid {

namespace {

constexpr int SearchPanelLeft = 218;  // right of the button panel
constexpr int ComboLeft = 37;
constexpr int ComboMargin = 8;  // between the combo and the panel's right edge
constexpr int ComboMinWidth = 100;
constexpr int ComboItemHeight = 17;

const TOdbCharSet SearchLineDelims(";");

// Draws the entries of the search-index list at the bar's item height.
class TFixedHeightDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const override {
    return {QStyledItemDelegate::sizeHint(Option, Index).width(), ComboItemHeight};
  }
};

}  // namespace

TObjectFileNavigator::TObjectFileNavigator(QWidget* Parent) : TObjectDatasetNavigator(Parent) {
  searchPanel_ = new QFrame(this);
  searchPanel_->setObjectName(QStringLiteral("SearchPanel"));
  searchPanel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);

  findBtn_ = new QToolButton(searchPanel_);
  findBtn_->setObjectName(QStringLiteral("FindBtn"));
  findBtn_->setAutoRaise(true);
  findBtn_->setFocusPolicy(Qt::NoFocus);
  findBtn_->setGeometry(5, 8, 27, 25);
  AssignGlyph(*findBtn_, "FINDBMP");
  // The press, which carries the Shift state, comes before the click.
  findBtn_->installEventFilter(this);
  connect(findBtn_, &QToolButton::clicked, this, [this] { RunClick([this] { FindClick(); }); });

  indexCombo_ = new QComboBox(searchPanel_);
  indexCombo_->setObjectName(QStringLiteral("IndexCombo"));
  indexCombo_->setEditable(false);
  indexCombo_->setGeometry(ComboLeft, 8, 300, 25);
  QFont comboFont = indexCombo_->font();
  comboFont.setPointSize(9);
  indexCombo_->setFont(comboFont);
  indexCombo_->setItemDelegate(new TFixedHeightDelegate(indexCombo_));
  // activated: the user's choices only, not the list being refilled.
  connect(indexCombo_, &QComboBox::activated, this,
          [this] { RunClick([this] { IndexChange(); }); });

  SetMessages("End of file is reached.", "Beginning of file is reached.", "File is empty.",
              "Delete the current object ?", "Current object has changed. Update ?",
              "Object NOT found.", "First", "Next", "Last", "Prior", "Find", "Insert", "Update",
              "Delete", "Search index");
  OnResize = [this] { FormResize(); };
  AlignControls();
  FormResize();
}

TObjectFileNavigator::~TObjectFileNavigator() {
  DetachDataset();
}

void TObjectFileNavigator::SetMessages(
    const std::string& EndOfFileMsg, const std::string& BeginningOfFileMsg,
    const std::string& FileIsEmptyMsg, const std::string& DeleteConfirmMsg,
    const std::string& ObjectChangedMsg, const std::string& ObjectNotFoundMsg,
    const std::string& FirstHint, const std::string& NextHint, const std::string& LastHint,
    const std::string& PriorHint, const std::string& FindHint, const std::string& InsertHint,
    const std::string& UpdateHint, const std::string& DeleteHint,
    const std::string& SearchIndexHint) {
  endOfFileMsg_ = EndOfFileMsg;
  beginningOfFileMsg_ = BeginningOfFileMsg;
  fileIsEmptyMsg_ = FileIsEmptyMsg;
  deleteConfirmMsg_ = DeleteConfirmMsg;
  objectChangedMsg_ = ObjectChangedMsg;
  objectNotFoundMsg_ = ObjectNotFoundMsg;
  GetButton(nbFirst)->setToolTip(QString::fromStdString(FirstHint));
  GetButton(nbNext)->setToolTip(QString::fromStdString(NextHint));
  GetButton(nbLast)->setToolTip(QString::fromStdString(LastHint));
  GetButton(nbPrior)->setToolTip(QString::fromStdString(PriorHint));
  findBtn_->setToolTip(QString::fromStdString(FindHint));
  GetButton(nbInsert)->setToolTip(QString::fromStdString(InsertHint));
  GetButton(nbUpdate)->setToolTip(QString::fromStdString(UpdateHint));
  GetButton(nbDelete)->setToolTip(QString::fromStdString(DeleteHint));
  indexCombo_->setToolTip(QString::fromStdString(SearchIndexHint));
}

QStringList TObjectFileNavigator::GetSearchIndicesList() const {
  QStringList lines;
  for (const std::string& l : searchIndices_) lines.append(QString::fromStdString(l));
  return lines;
}

void TObjectFileNavigator::SetSearchIndicesList(const QStringList& Lines) {
  searchIndices_.clear();
  for (const QString& l : Lines) searchIndices_.push_back(l.toStdString());
}

TObjectFile& TObjectFileNavigator::File() const {
  auto* file = dynamic_cast<TObjectFile*>(GetDataset());
  if (file == nullptr) throw EInvalidObjectType("The navigator's dataset is not a TObjectFile");
  return *file;
}

void TObjectFileNavigator::SetDataset(TObjectDataset* Dataset) {
  TObjectDatasetNavigator::SetDataset(Dataset);
  if (Dataset == nullptr) return;
  UpdateSearchIndices();
  IndexChange();
}

void TObjectFileNavigator::UpdateSearchIndices() {
  CheckAssignments();
  if (searchIndices_.empty())
    for (TObject* index : GetDataset()->GetIndices())
      searchIndices_.push_back(static_cast<TOdbIndex*>(index)->GetName());
  indexCombo_->clear();
  for (const std::string& line : searchIndices_) {
    const int word = WordCount(line, SearchLineDelims) == 2 ? 2 : 1;
    indexCombo_->addItem(QString::fromStdString(ExtractWord(word, line, SearchLineDelims)));
  }
  indexCombo_->setCurrentIndex(0);
}

void TObjectFileNavigator::IndexChange() {
  const int position = indexCombo_->currentIndex();
  if (position < 0 || static_cast<std::size_t>(position) >= searchIndices_.size())
    throw std::out_of_range("Search index position " + std::to_string(position) + " out of range");
  File().SetIndexName(ExtractWord(1, searchIndices_[position], SearchLineDelims));
}

void TObjectFileNavigator::ResizeIndexComboBox() {
  const int width = std::max(searchPanel_->width() - indexCombo_->x() - ComboMargin, ComboMinWidth);
  indexCombo_->resize(width, indexCombo_->height());
}

void TObjectFileNavigator::AlignControls() {
  TObjectDatasetNavigator::AlignControls();
  // The search area fills what the button panel leaves.
  searchPanel_->setGeometry(SearchPanelLeft, 0, std::max(width() - SearchPanelLeft, 0), height());
}

bool TObjectFileNavigator::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == findBtn_ && Event->type() == QEvent::MouseButtonPress)
    FindBtnMouseDown(static_cast<QMouseEvent*>(Event)->modifiers());
  return TObjectDatasetNavigator::eventFilter(Watched, Event);
}

void TObjectFileNavigator::FindBtnMouseDown(Qt::KeyboardModifiers Modifiers) {
  exactFind_ = Modifiers.testFlag(Qt::ShiftModifier);
}

void TObjectFileNavigator::InsertClick() {
  CheckAssignments();
  CheckDirty();
  if (BeforeInsert) BeforeInsert(*this);
  std::unique_ptr<TObject> obj;
  OnNewObject(obj);
  if (obj == nullptr) throw EOdbNavigatorEventNotAssigned("OnNewObject did not create an object");
  TObjectFile& file = File();
  // The file keeps a copy; the new object is freed on every way out.
  file.SetCurrentObj(obj.get());
  obj.reset();
  try {
    file.Insert();
  } catch (...) {
    // The current object is the new one now, while the file stays on the
    // record shown before. Re-read that record, so that a later Update
    // cannot write the new object's unshown values over it.
    try {
      if (!file.IsEmpty()) file.ReloadCurrent();
    } catch (...) {
    }
    throw;
  }
  OnObjectToForm(*file.GetCurrentObj());
  if (AfterInsert) AfterInsert(*this);
}

void TObjectFileNavigator::UpdateClick() {
  CheckAssignments();
  TObjectFile& file = File();
  if (file.IsEmpty()) {
    ShowMessage(fileIsEmptyMsg_, mtInformation, mbOK);
    return;
  }
  if (BeforeUpdate) BeforeUpdate(*this);
  OnFormToObject(*file.GetCurrentObj());
  file.Update();
  if (AfterUpdate) AfterUpdate(*this);
}

void TObjectFileNavigator::DeleteClick() {
  CheckAssignments();
  TObjectFile& file = File();
  if (file.IsEmpty()) {
    ShowMessage(fileIsEmptyMsg_, mtInformation, mbOK);
    return;
  }
  if (ShowMessage(deleteConfirmMsg_, mtConfirmation, mbYesNo) != mrYes) return;
  if (BeforeDelete) BeforeDelete(*this);
  file.Delete();
  if (!file.IsEmpty()) OnObjectToForm(*file.GetCurrentObj());
  if (AfterDelete) AfterDelete(*this);
}

void TObjectFileNavigator::FindClick() {
  CheckAssignments();
  TObjectFile& file = File();
  if (file.IsEmpty()) {
    ShowMessage(fileIsEmptyMsg_, mtInformation, mbOK);
    return;
  }
  OnFormToObject(*file.GetCurrentObj());
  if (!exactFind_)
    file.FindNearest();
  else if (!file.FindExact())
    ShowMessage(objectNotFoundMsg_, mtInformation, mbOK);
  OnObjectToForm(*file.GetCurrentObj());
}

}  // namespace corvid
