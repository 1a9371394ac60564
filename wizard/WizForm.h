// The wizard's main window: three pages (general values, data members,
// fields and indices), the dialogs that add and edit single items, and
// Finish, which writes the unit.
//
// The window holds the class model and shows its lists; every command
// forwards to the model, which applies the rules and reports through its
// message function. The window's default message function shows modal
// message boxes; replacing the model's function (tests do) answers them.
#pragma once

#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QWidget>
#include <vector>

#include "corvid/wizard/CodeGen.h"
#include "corvid/wizard/WizGlyphs.h"

class QFileDialog;
class QLabel;
class QLineEdit;

namespace corvid {

// The window's caption and the program's title.
inline constexpr const char* SWizardCaption = "Class Generator Wizard";
inline constexpr const char* SWizardAppTitle = "Unitwright Wizard";
inline constexpr const char* SCancelQuery = "Are you sure you wish to cancel ?";
inline constexpr const char* SWelcomeText =
    "Welcome to the Corvid Object Database class generator wizard. This wizard will create a "
    "unit containing a persistent object and the related TORMapping descendant class.";

// Shows Text in a modal message box over Parent: an error or information
// box with OK, a confirmation with Yes and No. A carriage return in the
// text starts a new line.
TWizardButton QtWizardMessage(QWidget* Parent, const std::string& Text, TWizardMessageKind Kind);

class TWizardForm : public QWidget {
  Q_OBJECT
 public:
  explicit TWizardForm(QWidget* Parent = nullptr);
  ~TWizardForm() override;

  TClassModel& Model() { return model_; }
  const TClassModel& Model() const { return model_; }
  int CurrentPage() const { return Notebook->currentIndex(); }

 protected:
  void showEvent(QShowEvent* Event) override;
  // Closing by other means than Cancel or Finish (the window manager, a
  // key) asks the Cancel question.
  void closeEvent(QCloseEvent* Event) override;

 private slots:
  void MoveBtnClick();
  void CancelBtnClick();
  void FinishBtnClick();
  void FileNameBrowseBtnClick();
  void AddDataMemberBtnClick();
  void EditDataMemberBtnClick();
  void DeleteDataMemberBtnClick();
  void AddFieldBtnClick();
  void EditFieldBtnClick();
  void DeleteFieldBtnClick();
  void AddIndexBtnClick();
  void EditIndexBtnClick();
  void DeleteIndexBtnClick();

 private:
  void FormCreate();
  void FormShow();
  void UpdateButtons();
  bool CanMovePage(int FromPage, int ToPage);
  // Closes the window for good (Cancel confirmed, Finish succeeded).
  void CloseForm();

  QWidget* BuildGeneralPage();
  QWidget* BuildDataMemberPage();
  QWidget* BuildFieldPage();
  // A list in the fixed-pitch font with multiple selection, its context
  // menu with Add, Edit and Delete, and Edit on double click.
  QListWidget* MakeList(const char* Name, const char* PopupName, QMenu*& Popup,
                        void (TWizardForm::*Add)(), void (TWizardForm::*Edit)(),
                        void (TWizardForm::*Delete)());
  // The 1-based positions of the selected entries of List.
  static std::vector<std::int32_t> SelectedPositions(const QListWidget* List);
  // Appends or replaces an entry, keeping the list's 500-pixel extent.
  static void AddEntry(QListWidget* List, const std::string& Text);
  static void SetEntry(QListWidget* List, int Row, const std::string& Text);
  void ReloadMembers();
  void ReloadFields();
  void ReloadIndices();

  TClassModel model_;
  bool closing_ = false;

  TWizardPicture* Picture;
  QStackedWidget* Notebook;
  QLabel* IntroLabel;
  QLineEdit* FileNameEdit;
  QPushButton* FileNameBrowseBtn;
  QLineEdit* ClassNameEdit;
  QLineEdit* AncestorClassEdit;
  QListWidget* DataMemberLB;
  QListWidget* FieldLB;
  QListWidget* IndexLB;
  QMenu* DataMemberPopup;
  QMenu* FieldPopup;
  QMenu* IndexPopup;
  QFileDialog* OpenDialog;
  QPushButton* BackBtn;
  QPushButton* NextBtn;
  QPushButton* FinishBtn;
  QPushButton* CancelBtn;
};

}  // namespace corvid
