// The login dialog of the open-database component, built in code.
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include "corvid/components/OdbDialg.h"
#include "corvid/components/OdbDialgText.h"
#include "corvid/containers/ObjCmp.h"
#include "corvid/containers/ObjList.h"
#include "corvid/odb/OdbDriver.h"
#include "corvid/values/ObjBuckt.h"

namespace corvid {

namespace {

constexpr int FormWidth = 380;
constexpr int LabelLeft = 8;
constexpr int ControlLeft = 120;
constexpr int ControlWidth = 244;
constexpr int RowStep = 40;
constexpr int OKLeft = 120;
constexpr int CancelLeft = 248;
constexpr int ButtonWidth = 115;

// A drop-down box in which the user may also type. Typed text is never
// added to the list by Qt: the histories decide what is listed.
QComboBox* NewCombo(QWidget* Parent, const QString& Name, const QString& Text) {
  auto* combo = new QComboBox(Parent);
  combo->setObjectName(Name);
  combo->setEditable(true);
  combo->setInsertPolicy(QComboBox::NoInsert);
  combo->setValidator(new TSystemTextValidator(combo));
  combo->setEditText(Text);
  combo->setVisible(false);
  return combo;
}

// Adds the entries of History, most recent first. The box then shows
// Default, or the most recent entry when Default is empty.
void FillFromHistory(QComboBox& Combo, const TUnorderedList* History, const QString& Default) {
  if (History != nullptr) {
    for (const TObject* entry : *History) {
      Combo.addItem(SystemToQString(static_cast<const TStringCombo*>(entry)->Str));
    }
  }
  // Adding the first item makes it current; the preset text comes first.
  if (Default.isEmpty() && Combo.count() > 0) {
    Combo.setCurrentIndex(0);
  } else {
    Combo.setCurrentIndex(-1);
    Combo.setEditText(Default);
  }
}

void FillDrivers(QComboBox& Combo, const TOpenDatabaseDialog& Dialog) {
  for (const QString& name : Dialog.GetDriverList()) {
    GetOdbDriverClass(QStringToSystem(name));
    Combo.addItem(name);
  }
  if (!Dialog.GetDefaultDriver().isEmpty() || Combo.count() == 0) {
    Combo.setCurrentIndex(-1);
    Combo.setEditText(Dialog.GetDefaultDriver());
    return;
  }
  int selected = 0;
  for (int i = 0; i < Combo.count(); ++i) {
    if (CompareStringNoCase(QStringToSystem(Combo.itemText(i)), Dialog.GetLastDriver()) ==
        cmpEqual) {
      selected = i;
      break;
    }
  }
  Combo.setCurrentIndex(selected);
}

}  // namespace

TLoginDialog::TLoginDialog(const TOpenDatabaseDialog& ADialog, QWidget* Parent)
    : QDialog(Parent), Dialog(ADialog) {
  setWindowTitle(QStringLiteral("Open Database"));
  setFont(QFont(QStringLiteral("Arial"), 10));

  DriverCombo = NewCombo(this, QStringLiteral("DriverCombo"), Dialog.GetDefaultDriver());
  DatabaseCombo = NewCombo(this, QStringLiteral("DatabaseCombo"), Dialog.GetDefaultDatabase());
  ServerCombo = NewCombo(this, QStringLiteral("ServerCombo"), Dialog.GetDefaultServer());
  UserCombo = NewCombo(this, QStringLiteral("UserCombo"), Dialog.GetDefaultUser());
  PasswordEdit = new QLineEdit(this);
  PasswordEdit->setObjectName(QStringLiteral("PasswordEdit"));
  PasswordEdit->setEchoMode(QLineEdit::Password);
  // Every character shows as "*", not as the style's own mask character.
  PasswordEdit->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
  PasswordEdit->setValidator(new TSystemTextValidator(PasswordEdit));
  PasswordEdit->setVisible(false);

  // The driver list is filled whether or not its row shows, so that an
  // unknown driver is refused before the form is ever shown.
  FillDrivers(*DriverCombo, Dialog);
  FillFromHistory(*DatabaseCombo, Dialog.GetDatabaseHistory(), Dialog.GetDefaultDatabase());
  FillFromHistory(*ServerCombo, Dialog.GetServerHistory(), Dialog.GetDefaultServer());
  FillFromHistory(*UserCombo, Dialog.GetUserHistory(), Dialog.GetDefaultUser());

  const TOpenDatabaseOptions options = Dialog.GetOptions();
  int y = 8;
  if (options.Contains(ShowDriver)) {
    PlaceRow(DriverCombo, QStringLiteral("Driver :"), y);
    y += RowStep;
  }
  if (options.Contains(ShowDatabase)) {
    PlaceRow(DatabaseCombo, QStringLiteral("Database :"), y);
    y += RowStep;
  }
  if (options.Contains(ShowServer)) {
    PlaceRow(ServerCombo, QStringLiteral("Server :"), y);
    y += RowStep;
  }
  if (options.Contains(ShowUser)) {
    PlaceRow(UserCombo, QStringLiteral("User :"), y);
    y += RowStep;
    PlaceRow(PasswordEdit, QStringLiteral("Password :"), y);
    y += RowStep;
  }

  y += 6;
  OKButton =
      new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setDefault(true);
  OKButton->setGeometry(OKLeft, y, ButtonWidth, OKButton->sizeHint().height());
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
  CancelButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                                 QStringLiteral("Cancel"), this);
  CancelButton->setObjectName(QStringLiteral("CancelButton"));
  CancelButton->setGeometry(CancelLeft, y, ButtonWidth, CancelButton->sizeHint().height());
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

  // A dialog border: the size is fixed.
  setFixedSize(FormWidth, y + 70);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

void TLoginDialog::PlaceRow(QWidget* Control, const QString& Caption, int Y) {
  const int height = Control->sizeHint().height();
  Control->setGeometry(ControlLeft, Y, ControlWidth, height);
  Control->setVisible(true);
  auto* label = new QLabel(Caption, this);
  label->setBuddy(Control);
  label->adjustSize();
  label->move(LabelLeft, Y + height - label->height());
}

TLoginEntries TLoginDialog::Entries() const {
  TLoginEntries e;
  e.Driver = QStringToSystem(DriverCombo->currentText());
  e.Database = QStringToSystem(DatabaseCombo->currentText());
  e.Server = QStringToSystem(ServerCombo->currentText());
  e.User = QStringToSystem(UserCombo->currentText());
  e.Password = QStringToSystem(PasswordEdit->text());
  return e;
}

}  // namespace corvid
