// The object file navigator: a bar that a form places above its controls to
// browse and edit the objects of one object file.
//
//   TObjectDatasetNavigator  the bar: seven buttons (First, Prior, Next,
//                            Last, Update, Insert, Delete), the movements,
//                            the check for unsaved edits, the callbacks, the
//                            notification events and the message texts.
//                            Insert, Update and Delete are left abstract.
//   TObjectFileNavigator     the navigator for a TObjectFile: adds a search
//                            area (a Find button and a search-index list)
//                            and implements insert, update, delete and find.
//   TRepeatSpeedButton       (components/OdbNavButton.h) the Prior and Next
//                            buttons, which repeat while held.
//
// The navigator never touches the form's controls. It moves values between
// the file's current object and the form only through three callbacks the
// application supplies, and it detects unsaved edits by filling a copy of
// the current object from the form and comparing it with the object as
// stored (so the stored class must be registered as streamable):
//
//   nav->OnNewObject = [](std::unique_ptr<corvid::TObject>& Obj) {
//     Obj = std::make_unique<TPerson>(); };
//   nav->OnObjectToForm = [&](const corvid::TObject& Obj) {
//     name->setText(...static_cast<const TPerson&>(Obj).Name...); };
//   nav->OnFormToObject = [&](corvid::TObject& Obj) {
//     static_cast<TPerson&>(Obj).Name = name->text().toStdString(); };
//   nav->SetDataset(&file);  // opens the file and shows its first object
//
// The operations behind the buttons are public and raise: the database
// layer's errors, EOdbNavigatorEventNotAssigned for a missing dataset or
// callback, and whatever a callback or event throws (an exception from a
// before-event aborts the operation). Exceptions cannot travel through Qt's
// event dispatch, so a button click catches what its operation raised and
// shows the message as an error through the message function.
//
// Every message goes through one replaceable message function (the
// standard modal box by default).
//
// Lifetime: the navigator neither opens nor frees anything but what it
// shows; the dataset must stay alive while attached. The destructor
// detaches the dataset, which offers unsaved edits for update and so calls
// the callbacks: destroy the navigator (or detach with SetDataset(nullptr))
// before the controls the callbacks read. Among a form's children, creating
// the navigator before those controls has Qt destroy it first.
#pragma once

#include <QFrame>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "corvid/components/Component.h"
#include "corvid/components/MessageDlg.h"
#include "corvid/containers/ObjRoot.h"

class QComboBox;
class QToolButton;

namespace corvid {

class TObjectDataset;
class TObjectFile;

CORVID_EXCEPTION(EOdbNavigatorEventNotAssigned)

class TObjectDatasetNavigator;

// Creates a new, empty object of the file's class and stores it in Obj
// (which starts out null); the navigator takes it over.
using TNewObjectEvent = std::function<void(std::unique_ptr<TObject>& Obj)>;
// Shows the values of Obj in the form's controls.
using TObjectToFormEvent = std::function<void(const TObject& Obj)>;
// Copies the values of the form's controls into Obj.
using TFormToObjectEvent = std::function<void(TObject& Obj)>;
// Called around the editing operations, with the navigator as sender.
using TNavigatorNotifyEvent = std::function<void(TObjectDatasetNavigator& Sender)>;

// The bar's buttons, in their order from the left.
enum TNavigateBtn { nbFirst, nbPrior, nbNext, nbLast, nbUpdate, nbInsert, nbDelete };
inline constexpr int NavigateBtnCount = 7;

// A component like the others: a form designer marks the bars it places as
// being in design mode (nothing in the bar behaves differently there).
class TObjectDatasetNavigator : public QFrame, public TComponentState {
  Q_OBJECT
  Q_PROPERTY(bool AutoPost READ GetAutoPost WRITE SetAutoPost)
 public:
  // Builds the bar: 632 x 41 at the top of Parent, the button panel on the
  // left with the seven buttons. No dataset, AutoPost false, the standard
  // message dialog, empty message texts.
  explicit TObjectDatasetNavigator(QWidget* Parent = nullptr);
  // Only forgets the dataset: the descendant's destructor detaches it
  // properly while its overrides still exist (see DetachDataset).
  ~TObjectDatasetNavigator() override;

  // When true, unsaved edits are written without asking.
  bool GetAutoPost() const { return autoPost_; }
  void SetAutoPost(bool Value) { autoPost_ = Value; }

  TNewObjectEvent OnNewObject;
  TObjectToFormEvent OnObjectToForm;
  TFormToObjectEvent OnFormToObject;
  TNavigatorNotifyEvent BeforeUpdate, AfterUpdate;
  TNavigatorNotifyEvent BeforeInsert, AfterInsert;
  TNavigatorNotifyEvent BeforeDelete, AfterDelete;

  TObjectDataset* GetDataset() const { return dataset_; }
  // Attaches Dataset (not owned), or detaches with null. Unsaved edits of
  // the dataset attached so far are offered for update first (only when
  // OnFormToObject is set: without it there is no form to compare). The
  // new dataset is opened when closed, moved to its first object, and that
  // object is shown (when OnObjectToForm is set).
  virtual void SetDataset(TObjectDataset* Dataset);

  // Every message is shown through this function. Setting an empty one
  // restores the standard dialog.
  const TMessageFunction& GetMessageFunction() const { return messageFunction_; }
  void SetMessageFunction(TMessageFunction Function);

  // Raises EOdbNavigatorEventNotAssigned unless the dataset and the three
  // callbacks are set, checking them in that order.
  void CheckAssignments() const;
  // Offers unsaved form edits for update: fills a copy of the current
  // object from the form and, when it differs from the stored object,
  // updates (at once with AutoPost, otherwise when the user answers Yes).
  // Nothing on an empty dataset.
  void CheckDirty();
  // Re-reads the current object from the file and shows it.
  void RefreshCurrent();

  // The movement buttons: check, offer unsaved edits, move, show the object
  // reached; at either end a message, and the form keeps what it showed.
  void FirstClick();
  void PriorClick();
  void NextClick();
  void LastClick();
  virtual void InsertClick() = 0;
  virtual void UpdateClick() = 0;
  virtual void DeleteClick() = 0;

  QFrame* GetButtonPanel() const { return buttonPanel_; }
  QToolButton* GetButton(TNavigateBtn Button) const { return buttons_[Button]; }

  QSize sizeHint() const override { return {632, 41}; }

 protected:
  // Shows Text through the message function with help context 0.
  TModalResult ShowMessage(const std::string& Text, TMsgDlgType Kind, TMsgDlgButtons Buttons);
  // Runs the operation behind a click of a control. An exception it raises
  // is shown as an error and goes no further (it must not cross Qt).
  void RunClick(const std::function<void()>& Operation);
  // For the destructor of the most derived navigator: SetDataset(null)
  // while its overrides still exist. Errors are shown, not raised.
  void DetachDataset() noexcept;

  // Places the child panels after a resize: the button panel along the
  // left edge. Descendants add their own panels.
  virtual void AlignControls();
  // The bar's resize handler, run after the panels have been placed.
  std::function<void()> OnResize;

  void resizeEvent(QResizeEvent* Event) override;
  bool event(QEvent* Event) override;
  // Keeps the bar along the top of a parent that has no layout.
  bool eventFilter(QObject* Watched, QEvent* Event) override;

  // The message texts (set by the descendant through SetMessages).
  std::string endOfFileMsg_, beginningOfFileMsg_, fileIsEmptyMsg_;
  std::string deleteConfirmMsg_, objectChangedMsg_, objectNotFoundMsg_;

 private:
  void Move(bool (TObjectDataset::*Find)(), const std::string& EndMessage);
  void WatchParent(QWidget* Parent);

  bool autoPost_ = false;
  TObjectDataset* dataset_ = nullptr;
  TMessageFunction messageFunction_;
  QFrame* buttonPanel_ = nullptr;
  QToolButton* buttons_[NavigateBtnCount] = {};
  QWidget* watchedParent_ = nullptr;
};

class TObjectFileNavigator : public TObjectDatasetNavigator {
  Q_OBJECT
  Q_PROPERTY(QStringList SearchIndices READ GetSearchIndicesList WRITE SetSearchIndicesList)
 public:
  // The bar with the search area filling the rest of it, the default
  // messages and hints, and the combo resized with the bar.
  explicit TObjectFileNavigator(QWidget* Parent = nullptr);
  // Detaches the dataset (offering unsaved edits), then the base.
  ~TObjectFileNavigator() override;

  // The six message texts and the nine hints (First, Next, Last, Prior,
  // Find, Insert, Update and Delete buttons, then the search-index list),
  // in this order, so that one call translates the navigator.
  void SetMessages(const std::string& EndOfFileMsg, const std::string& BeginningOfFileMsg,
                   const std::string& FileIsEmptyMsg, const std::string& DeleteConfirmMsg,
                   const std::string& ObjectChangedMsg, const std::string& ObjectNotFoundMsg,
                   const std::string& FirstHint, const std::string& NextHint,
                   const std::string& LastHint, const std::string& PriorHint,
                   const std::string& FindHint, const std::string& InsertHint,
                   const std::string& UpdateHint, const std::string& DeleteHint,
                   const std::string& SearchIndexHint);

  // The search indices offered, one per line: an index name, or an index
  // name, ";" and the caption to show. Read when a dataset is set; empty
  // means all the mapping's indices (filled in then).
  const std::vector<std::string>& GetSearchIndices() const { return searchIndices_; }
  void SetSearchIndices(std::vector<std::string> Lines) { searchIndices_ = std::move(Lines); }
  QStringList GetSearchIndicesList() const;
  void SetSearchIndicesList(const QStringList& Lines);

  // Whether the next Find looks for an exact match; set at every mouse
  // press on the Find button (Shift held: exact).
  bool GetExactFind() const { return exactFind_; }
  void SetExactFind(bool Value) { exactFind_ = Value; }

  // The base's, then, for a dataset, the search indices and the index of
  // the first of them.
  void SetDataset(TObjectDataset* Dataset) override;
  // Fills the search-index list from SearchIndices (from the mapping's
  // indices when empty) and selects its first entry.
  void UpdateSearchIndices();
  // Makes the index of the selected search-index entry current. Raises
  // std::out_of_range when no line of SearchIndices stands behind it.
  void IndexChange();
  void FormResize() { ResizeIndexComboBox(); }
  // The list fills the search area, but keeps at least 100 pixels.
  void ResizeIndexComboBox();

  void InsertClick() override;
  void UpdateClick() override;
  void DeleteClick() override;
  // Uses the form's values as the key on the current index: the nearest
  // object, or with ExactFind an exact match (a message when none).
  void FindClick();
  void FindBtnMouseDown(Qt::KeyboardModifiers Modifiers);

  QFrame* GetSearchPanel() const { return searchPanel_; }
  QToolButton* GetFindBtn() const { return findBtn_; }
  QComboBox* GetIndexCombo() const { return indexCombo_; }

 protected:
  void AlignControls() override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  // The dataset as an object file; EInvalidObjectType when it is another
  // kind of dataset.
  TObjectFile& File() const;

  std::vector<std::string> searchIndices_;
  bool exactFind_ = false;
  QFrame* searchPanel_ = nullptr;
  QToolButton* findBtn_ = nullptr;
  QComboBox* indexCombo_ = nullptr;
};

}  // namespace corvid
