// Paints the wizard's three pages and its index dialog into PNG files, with
// the worked example's model typed in, for the documentation:
//
//   wizard_screenshots OUTPUT_DIR
//
// It drives the real window with the same helpers as the tests, so the
// pictures show what a user sees. Run it under an X server
// (xvfb-run build/tests/wizardui/wizard_screenshots docs) so that fonts and styles are the
// desktop's.
#include <QApplication>
#include <QDir>
#include <iostream>

#include "../wizardui/WizardUiTestUtil.h"
#include "corvid/wizard/AddFldFm.h"
#include "corvid/wizard/AddIdxFm.h"
#include "corvid/wizard/AddMemFm.h"

using namespace corvid;
using namespace corvid::test;

namespace {

bool Save(QWidget& W, const QString& Path) {
  QApplication::processEvents();
  const bool ok = W.grab().save(Path);
  std::cout << (ok ? "wrote " : "cannot write ") << Path.toStdString() << '\n';
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::cerr << "usage: wizard_screenshots OUTPUT_DIR\n";
    return 2;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(dir);
  bool ok = true;

  TWizardForm form;
  form.Model().SetMessageFunc([](const std::string&, TWizardMessageKind) { return wbYes; });
  form.show();
  if (!QTest::qWaitForWindowExposed(&form)) std::cerr << "the window did not appear\n";
  QTest::qWait(200);
  ok &= Save(form, dir + "/wizard-page1.png");

  const auto click = [&](const char* Name) {
    QTest::mouseClick(form.findChild<QPushButton*>(Name), Qt::LeftButton);
  };
  const auto member = [&](QString Name, int Type, QString ClassName) {
    auto hook = TDialogHook::On<TAddDataMemberForm>([=](TAddDataMemberForm& D) {
      TypeInto(D.findChild<QLineEdit*>("MemberNameEdit"), Name);
      ChooseRow(D.findChild<QComboBox*>("MemberTypeCB"), Type);
      if (!ClassName.isEmpty()) TypeInto(D.findChild<QLineEdit*>("MemberClassNameEdit"), ClassName);
      QTest::mouseClick(D.findChild<QPushButton*>("OKBtn"), Qt::LeftButton);
    });
    click("AddDataMemberBtn");
  };
  const auto field = [&](QString Name, int Type, QString Size) {
    auto hook = TDialogHook::On<TAddFieldForm>([=](TAddFieldForm& D) {
      TypeInto(D.findChild<QLineEdit*>("FieldNameEdit"), Name);
      ChooseRow(D.findChild<QComboBox*>("FieldTypeCB"), Type);
      if (!Size.isEmpty()) TypeInto(D.findChild<QLineEdit*>("StringSizeEdit"), Size);
      QTest::mouseClick(D.findChild<QPushButton*>("OKBtn"), Qt::LeftButton);
    });
    click("AddFieldBtn");
  };

  click("NextBtn");
  member("ID", kInteger, "");
  member("Name", kString, "");
  member("Balance", 4, "");
  member("Child", kObject, "TChild");
  ClickRow(form.findChild<QListWidget*>("DataMemberLB"), 1);
  ok &= Save(form, dir + "/wizard-page2.png");

  click("NextBtn");
  field("ID", kRowAutoInc, "");
  field("Name", kRowString, "31");
  field("Balance", kRowFloat, "");
  auto first = TDialogHook::On<TAddIndexForm>([](TAddIndexForm& D) {
    TypeInto(D.findChild<QLineEdit*>("IndexNameEdit"), "ByID");
    Toggle(D.findChild<QCheckBox*>("UniqueCB"));
    DoubleClickRow(D.findChild<QListWidget*>("FieldsLB"), 0);
    QTest::mouseClick(D.findChild<QPushButton*>("OKBtn"), Qt::LeftButton);
  });
  click("AddIndexBtn");
  ok &= Save(form, dir + "/wizard-page3.png");

  // The index dialog half filled in, as the user sees it before OK.
  auto second = TDialogHook::On<TAddIndexForm>([&](TAddIndexForm& D) {
    TypeInto(D.findChild<QLineEdit*>("IndexNameEdit"), "ByName");
    Toggle(D.findChild<QCheckBox*>("CaseInsensitiveCB"));
    QListWidget* available = D.findChild<QListWidget*>("FieldsLB");
    DoubleClickRow(available, 1);
    ClickRow(available, 1);
    QTest::qWait(100);
    ok &= Save(D, dir + "/wizard-index-dialog.png");
    QTest::mouseClick(D.findChild<QPushButton*>("CancelBtn"), Qt::LeftButton);
  });
  click("AddIndexBtn");
  return ok ? 0 : 1;
}
