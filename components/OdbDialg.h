// The open-database dialog: a non-visual component that an application puts
// on a form. Execute asks the user for the driver, the database, the server,
// the user and the password in a modal login dialog, opens a TObjectDatabase
// with them and hands it to the caller. The component remembers the driver
// used last and the recent database, server and user names in a history
// file (see OdbDialgHistory.h) and offers them the next time; the password
// is never stored.
//
// Life of the histories. They are read (or created empty) by the loading
// hook, which runs on first need (Execute runs it when nobody has); they
// change in memory with every successful Execute and are written when the
// component is destroyed, unless it lives in a form designer or its
// history could not be read (a damaged file is never overwritten).
//
// Modality. Execute runs the login dialog through the process-wide login
// dialog runner (SetLoginDialogRunner); its default is QDialog::exec().
// Tests install a runner that fills in the dialog and accepts it.
#pragma once

#include <QDialog>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "corvid/components/Component.h"
#include "corvid/util/OdbMiscSet.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace corvid {

class TObjectDatabase;
class TUnorderedList;

// Which rows the login dialog shows (the user row brings the password row).
enum TOpenDatabaseOption : std::uint8_t { ShowDriver, ShowDatabase, ShowServer, ShowUser };
using TOpenDatabaseOptions = TEnumSet<TOpenDatabaseOption>;

class TLoginDialog;

// Shows the built login dialog modally; true when the user closed it with
// OK. An empty runner stands for the default, QDialog::exec().
using TLoginDialogRunner = std::function<bool(TLoginDialog& Dialog)>;
// Installs Runner (empty: the default) and returns the one it replaces.
TLoginDialogRunner SetLoginDialogRunner(TLoginDialogRunner Runner);

// The texts of the login dialog's five boxes, in the library's strings.
struct TLoginEntries {
  std::string Driver;
  std::string Database;
  std::string Server;
  std::string User;
  std::string Password;
};

class TOpenDatabaseDialog : public QWidget, public TComponentState {
  Q_OBJECT
  Q_PROPERTY(QStringList DriverList READ GetDriverList WRITE SetDriverList)
  Q_PROPERTY(QString HistoryFile READ GetHistoryFile WRITE SetHistoryFile)
  Q_PROPERTY(ushort HistorySize READ GetHistorySize WRITE SetHistorySize)
  Q_PROPERTY(TOpenDatabaseOptionFlags Options READ GetOptionFlags WRITE SetOptionFlags)
  Q_PROPERTY(QString DefaultDriver READ GetDefaultDriver WRITE SetDefaultDriver)
  Q_PROPERTY(QString DefaultDatabase READ GetDefaultDatabase WRITE SetDefaultDatabase)
  Q_PROPERTY(QString DefaultServer READ GetDefaultServer WRITE SetDefaultServer)
  Q_PROPERTY(QString DefaultUser READ GetDefaultUser WRITE SetDefaultUser)

 public:
  // Options as Qt flags for the property system (a form designer edits them
  // as check boxes); the bit of each flag is the bit of its option in
  // TOpenDatabaseOptions.
  enum TOpenDatabaseOptionFlag {
    ShowDriverFlag = 1 << ShowDriver,
    ShowDatabaseFlag = 1 << ShowDatabase,
    ShowServerFlag = 1 << ShowServer,
    ShowUserFlag = 1 << ShowUser,
  };
  Q_DECLARE_FLAGS(TOpenDatabaseOptionFlags, TOpenDatabaseOptionFlag)
  Q_FLAG(TOpenDatabaseOptionFlags)

  // Options: driver and database rows; no drivers; HistorySize 8. The
  // histories do not exist until the loading hook has run.
  explicit TOpenDatabaseDialog(QWidget* Parent = nullptr);
  // Writes the history file (see the file comment); an error while writing
  // cannot leave a destructor, so it goes to DebugOutputStr. Call
  // SaveHistory first to see it.
  ~TOpenDatabaseDialog() override;

  // Runs the loading hook if it has not run, builds the login dialog and
  // shows it. Null when the user cancels; otherwise the opened database,
  // and LastDriver and the histories record what was entered. An unknown
  // driver (in DriverList, or typed) raises EOdbDriverNotRegistered and an
  // error while opening propagates; both leave the histories unchanged.
  std::unique_ptr<TObjectDatabase> Execute();

  // Writes the history file now: the four objects, each history cut to
  // HistorySize entries. Does nothing while the histories do not exist or
  // HistoryPath is empty. Errors are the file system's (EFCreateError).
  void SaveHistory();

  // Published properties.
  const QStringList& GetDriverList() const { return driverList_; }
  void SetDriverList(const QStringList& Lines) { driverList_ = Lines; }
  const QString& GetHistoryFile() const { return historyFile_; }
  void SetHistoryFile(const QString& Value) { historyFile_ = Value; }
  std::uint16_t GetHistorySize() const { return historySize_; }
  void SetHistorySize(std::uint16_t Value) { historySize_ = Value; }
  TOpenDatabaseOptions GetOptions() const { return options_; }
  void SetOptions(TOpenDatabaseOptions Value) { options_ = Value; }
  TOpenDatabaseOptionFlags GetOptionFlags() const;
  void SetOptionFlags(TOpenDatabaseOptionFlags Value);
  const QString& GetDefaultDriver() const { return defaultDriver_; }
  void SetDefaultDriver(const QString& Value) { defaultDriver_ = Value; }
  const QString& GetDefaultDatabase() const { return defaultDatabase_; }
  void SetDefaultDatabase(const QString& Value) { defaultDatabase_ = Value; }
  const QString& GetDefaultServer() const { return defaultServer_; }
  void SetDefaultServer(const QString& Value) { defaultServer_ = Value; }
  const QString& GetDefaultUser() const { return defaultUser_; }
  void SetDefaultUser(const QString& Value) { defaultUser_ = Value; }

  // Internal state, for the login dialog and for inspection. The history
  // path is where the history is written: the full path of HistoryFile if
  // that file existed when the component was loaded, else HistoryFile as
  // given. The histories are null until the loading hook has run.
  const std::string& GetHistoryPath() const { return historyPath_; }
  const std::string& GetLastDriver() const { return lastDriver_; }
  TUnorderedList* GetDatabaseHistory() const { return databaseHistory_.get(); }
  TUnorderedList* GetServerHistory() const { return serverHistory_.get(); }
  TUnorderedList* GetUserHistory() const { return userHistory_.get(); }

  // Nothing at run time; an icon-sized stand-in on a designer's form.
  QSize sizeHint() const override;

 protected:
  // Reads the history file when it exists, else starts empty histories. A
  // file that cannot be read as the four objects raises the stream's error
  // or EInvalidCast and leaves the component without histories.
  void Loaded() override;
  void DesignModeChanged() override;
  void paintEvent(QPaintEvent* Event) override;

 private:
  // Records a successful login in LastDriver and the histories.
  void Remember(const TLoginEntries& Entries);

  QStringList driverList_;
  QString historyFile_;
  std::uint16_t historySize_ = 8;
  TOpenDatabaseOptions options_{ShowDriver, ShowDatabase};
  QString defaultDriver_;
  QString defaultDatabase_;
  QString defaultServer_;
  QString defaultUser_;

  std::string historyPath_;
  std::string lastDriver_;
  std::unique_ptr<TUnorderedList> databaseHistory_;
  std::unique_ptr<TUnorderedList> serverHistory_;
  std::unique_ptr<TUnorderedList> userHistory_;
};

// The modal form that Execute builds in code each time it runs: one row per
// option set (driver, database, server, user and then password), each a
// label on the left and its box at left 120, 244 wide, rows 40 pixels apart
// from y = 8; the OK and Cancel buttons 6 pixels below the last row; the
// form 380 wide and 70 pixels taller than the buttons' top. The boxes of
// rows not shown stay hidden with their preset text, which Execute uses.
class TLoginDialog : public QDialog {
  Q_OBJECT
 public:
  // Builds the form from Dialog's properties and histories. Every name of
  // Dialog's DriverList is looked up first: an unknown one raises
  // EOdbDriverNotRegistered, so the form is never shown.
  explicit TLoginDialog(const TOpenDatabaseDialog& Dialog, QWidget* Parent = nullptr);

  // The five boxes' texts; EConvertError for text the system code page
  // cannot hold.
  TLoginEntries Entries() const;

  const TOpenDatabaseDialog& Dialog;
  QComboBox* DriverCombo = nullptr;
  QComboBox* DatabaseCombo = nullptr;
  QComboBox* ServerCombo = nullptr;
  QComboBox* UserCombo = nullptr;
  QLineEdit* PasswordEdit = nullptr;
  QPushButton* OKButton = nullptr;
  QPushButton* CancelButton = nullptr;

 private:
  // Places Control at left 120, top Y, width 244, shows it and puts a label
  // with Caption at left 8 whose bottom lines up with the control's.
  void PlaceRow(QWidget* Control, const QString& Caption, int Y);
};

}  // namespace corvid

Q_DECLARE_OPERATORS_FOR_FLAGS(corvid::TOpenDatabaseDialog::TOpenDatabaseOptionFlags)
