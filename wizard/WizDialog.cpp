// The dialog frame shared by the member, field and index dialogs.
#include "corvid/wizard/WizDialog.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>

#include "corvid/wizard/WizGlyphs.h"

namespace corvid {

TWizardDialog::TWizardDialog(const TClassModel& Rules, const char* Caption, QSize ClientSize,
                             QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      rules_(Rules) {
  setWindowTitle(Caption);
  setFixedSize(ClientSize);
  setModal(true);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(12, 12, 12, 10);
  body_ = new QVBoxLayout;
  body_->setSpacing(4);
  outer->addLayout(body_, 1);

  okBtn_ = new QPushButton(WizardGlyph(TWizardGlyph::Finish), "OK", this);
  okBtn_->setObjectName("OKBtn");
  okBtn_->setDefault(true);
  cancelBtn_ = new QPushButton(WizardGlyph(TWizardGlyph::Cancel), "Cancel", this);
  cancelBtn_->setObjectName("CancelBtn");
  for (QPushButton* b : {okBtn_, cancelBtn_}) b->setMinimumWidth(84);
  connect(okBtn_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancelBtn_, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(okBtn_);
  buttons->addWidget(cancelBtn_);
  outer->addLayout(buttons);
}

void TWizardDialog::done(int Result) {
  if (Result == QDialog::Accepted && !FormCloseQuery()) return;
  QDialog::done(Result);
}

void TWizardDialog::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  // Centred on the screen rather than on the main window.
  if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) {
    const QRect frame = frameGeometry();
    move(s->availableGeometry().center() - frame.center() + frame.topLeft());
  }
}

}  // namespace corvid
