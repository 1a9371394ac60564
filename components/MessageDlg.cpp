#include "corvid/components/MessageDlg.h"

#include <QApplication>
#include <QMessageBox>

namespace corvid {

TModalResult StandardMessageDlg(const std::string& Text, TMsgDlgType Kind, TMsgDlgButtons Buttons,
                                int HelpContext) {
  (void)HelpContext;
  QMessageBox box(QApplication::activeWindow());
  box.setText(QString::fromStdString(Text));
  switch (Kind) {
    case mtInformation:
      box.setIcon(QMessageBox::Information);
      break;
    case mtConfirmation:
      box.setIcon(QMessageBox::Question);
      break;
    case mtError:
      box.setIcon(QMessageBox::Critical);
      break;
  }
  QMessageBox::StandardButtons buttons;
  if ((Buttons & mbYes) != 0) buttons |= QMessageBox::Yes;
  if ((Buttons & mbNo) != 0) buttons |= QMessageBox::No;
  if ((Buttons & mbOK) != 0 || buttons == QMessageBox::NoButton) buttons |= QMessageBox::Ok;
  box.setStandardButtons(buttons);
  switch (box.exec()) {
    case QMessageBox::Ok:
      return mrOk;
    case QMessageBox::Yes:
      return mrYes;
    case QMessageBox::No:
      return mrNo;
    default:
      return mrNone;
  }
}

}  // namespace corvid
