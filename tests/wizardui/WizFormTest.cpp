// The wizard's window: the page flow, the list commands and Finish, driven
// through the real widgets and dialogs.
#include <gtest/gtest.h>

#include <QMenu>
#include <sstream>

#include "WizardUiTestUtil.h"
#include "corvid/wizard/AddFldFm.h"
#include "corvid/wizard/AddIdxFm.h"
#include "corvid/wizard/AddMemFm.h"
#include "corvid/wizard/CodeGenBatch.h"

namespace corvid::test {
namespace {

using TShown = std::vector<std::pair<std::string, TWizardMessageKind>>;

// Rows of the member type list beside those of WizardTestUtil.h.
constexpr int kDouble = 4, kExtended = 5, kWord = 11;

// Scripts for the three dialogs: fill in the boxes by keyboard, then close
// with Enter (the default button) or a click on OK.
auto MemberScript(QString Name, int Type, QString ClassName = "") {
  return [=](TAddDataMemberForm& D) {
    TypeInto(Child<QLineEdit>(D, "MemberNameEdit"), Name);
    ChooseRow(Child<QComboBox>(D, "MemberTypeCB"), Type);
    if (!ClassName.isEmpty()) TypeInto(Child<QLineEdit>(D, "MemberClassNameEdit"), ClassName);
    QTest::keyClick(Child<QLineEdit>(D, "MemberNameEdit"), Qt::Key_Return);
  };
}

auto FieldScript(QString Name, int Row, QString Size = "") {
  return [=](TAddFieldForm& D) {
    TypeInto(Child<QLineEdit>(D, "FieldNameEdit"), Name);
    ChooseRow(Child<QComboBox>(D, "FieldTypeCB"), Row);
    if (!Size.isEmpty()) TypeInto(Child<QLineEdit>(D, "StringSizeEdit"), Size);
    Click(Child<QPushButton>(D, "OKBtn"));
  };
}

void Cancel(QDialog& D) {
  Click(Child<QPushButton>(D, "CancelBtn"));
}

class WizardWindow : public TWizardFixture {
 protected:
  void AddMember(QString Name, int Type, QString ClassName = "") {
    WithDialog<TAddDataMemberForm>("AddDataMemberBtn", MemberScript(Name, Type, ClassName));
  }
  void AddField(QString Name, int Row, QString Size = "") {
    WithDialog<TAddFieldForm>("AddFieldBtn", FieldScript(Name, Row, Size));
  }
  // Goes to the last page with one member.
  void ToFieldPage() {
    Next();
    AddMember("ID", kInteger);
    Next();
    ASSERT_EQ(Form.CurrentPage(), 2);
    Log.Clear();
  }
};

TEST_F(WizardWindow, PagesShowTheirButtonsAndCheckTheWayForward) {
  EXPECT_EQ(Form.windowTitle(), "Class Generator Wizard");
  EXPECT_EQ(Form.size(), QSize(612, 415));
  EXPECT_FALSE(Form.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_TRUE(QFontInfo(List("DataMemberLB")->font()).fixedPitch());
  EXPECT_EQ(Edit("FileNameEdit")->text(), "SampObj.Pas");
  EXPECT_EQ(Edit("ClassNameEdit")->text(), "TSampleObject");
  EXPECT_EQ(Edit("AncestorClassEdit")->text(), "TObject");
  const auto visible = [&] {
    return std::vector<bool>{Button("BackBtn")->isVisible(), Button("NextBtn")->isVisible(),
                             Button("FinishBtn")->isVisible(), Button("CancelBtn")->isVisible()};
  };
  // Page 0: only Next (and Cancel). An empty class name keeps the page.
  EXPECT_EQ(visible(), (std::vector<bool>{false, true, false, true}));
  TypeInto(Edit("ClassNameEdit"), "");
  Next();
  EXPECT_EQ(Log.Shown, (TShown{{"Value is required.", wmError}}));
  EXPECT_EQ(Form.CurrentPage(), 0);

  // An empty ancestor is allowed; the mnemonic Alt+N presses Next.
  TypeInto(Edit("ClassNameEdit"), "TCustomer");
  TypeInto(Edit("AncestorClassEdit"), "");
  Log.Clear();
  Form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_N, Qt::AltModifier);
  // A mnemonic animates the button: the click comes a moment later.
  EXPECT_TRUE(QTest::qWaitFor([&] { return Form.CurrentPage() == 1; }, 2000));
  EXPECT_EQ(Log.Shown, TShown{});
  EXPECT_EQ(Form.Model().GetClassName(), "TCustomer");
  EXPECT_EQ(Form.Model().GetAncestorClass(), "");
  EXPECT_EQ(visible(), (std::vector<bool>{true, true, false, true}));

  // Page 1: no members, no way on; back is always allowed.
  Next();
  EXPECT_EQ(Log.Shown, (TShown{{"The data member list is empty.", wmError}}));
  EXPECT_EQ(Form.CurrentPage(), 1);
  AddMember("ID", kInteger);
  Next();
  EXPECT_EQ(Form.CurrentPage(), 2);
  EXPECT_EQ(visible(), (std::vector<bool>{true, false, true, true}));

  // Emptying the list after going back blocks Next again.
  Click(Button("BackBtn"));
  ClickRow(List("DataMemberLB"), 0);
  Click(Button("DeleteDataMemberBtn"));
  EXPECT_EQ(List("DataMemberLB")->count(), 0);
  Log.Clear();
  Next();
  EXPECT_EQ(Log.Shown, (TShown{{"The data member list is empty.", wmError}}));
  Click(Button("BackBtn"));
  EXPECT_EQ(Form.CurrentPage(), 0);
  EXPECT_EQ(visible(), (std::vector<bool>{false, true, false, true}));
}

TEST_F(WizardWindow, MemberCommands) {
  Next();
  QListWidget* lb = List("DataMemberLB");
  AddMember("Child", kObject, "TChild");
  AddMember("  Count", kString);
  EXPECT_EQ(Entries(lb), (std::vector<std::string>{"Child                : TChild",
                                                   "  Count              : String"}));
  // Edit needs a current entry: none yet, so no dialog.
  {
    auto hook = TDialogHook::On<TAddDataMemberForm>(Cancel);
    Click(Button("EditDataMemberBtn"));
    EXPECT_FALSE(hook->Ran());
  }
  // A double click edits: the name read back without its blanks, the type
  // kept, and the class name asked for again.
  auto hook = TDialogHook::On<TAddDataMemberForm>([](TAddDataMemberForm& D) {
    EXPECT_EQ(D.windowTitle(), "Edit Data Member");
    EXPECT_EQ(Child<QLineEdit>(D, "MemberNameEdit")->text(), "Child");
    EXPECT_EQ(Child<QComboBox>(D, "MemberTypeCB")->currentText(), "Object");
    EXPECT_EQ(Child<QLineEdit>(D, "MemberClassNameEdit")->text(), "");
    TypeInto(Child<QLineEdit>(D, "MemberNameEdit"), "Kid");
    ChooseRow(Child<QComboBox>(D, "MemberTypeCB"), kWord);
    Click(Child<QPushButton>(D, "OKBtn"));
  });
  DoubleClickRow(lb, 0);
  EXPECT_TRUE(hook->Ran());
  EXPECT_EQ(Entries(lb)[0], "Kid                  : Word");
  EXPECT_EQ(Form.Model().MemberTypeIndex(1), 11);

  // Delete asks even with nothing selected, and then removes nothing.
  lb->clearSelection();
  Log.Answer = wbYes;
  Click(Button("DeleteDataMemberBtn"));
  EXPECT_EQ(Log.Shown, (TShown{{"Delete selected data members ?", wmConfirmation}}));
  EXPECT_EQ(lb->count(), 2);
  // The context menu runs the same commands.
  QMenu* popup = Form.findChild<QMenu*>("DataMemberPopup");
  ASSERT_NE(popup, nullptr);
  ASSERT_EQ(popup->actions().size(), 3);
  EXPECT_EQ(popup->actions()[0]->text(), "&Add");
  EXPECT_EQ(popup->actions()[1]->text(), "&Edit");
  EXPECT_EQ(popup->actions()[2]->text(), "&Delete");
  ClickRow(lb, 1);
  Log.Clear();
  popup->actions()[2]->trigger();
  EXPECT_EQ(Entries(lb), (std::vector<std::string>{"Kid                  : Word"}));
}

TEST_F(WizardWindow, FieldAndIndexCommands) {
  ToFieldPage();
  QListWidget* fields = List("FieldLB");
  AddField("ID", kRowAutoInc);
  AddField("Key", kRowInteger);
  AddField("Name", kRowString, "41");
  // A second autoincrement field is refused and nothing is added.
  AddField("Other", kRowAutoInc);
  EXPECT_EQ(Log.Shown, (TShown{{"Only one autoincrement field may be defined.", wmError}}));
  EXPECT_EQ(Entries(fields), (std::vector<std::string>{"ID                   : Autoincrement",
                                                       "Key                  : Integer",
                                                       "Name                 : String[40]"}));
  {
    auto hook = TDialogHook::On<TAddFieldForm>(Cancel);
    Click(Button("EditFieldBtn"));
    EXPECT_FALSE(hook->Ran());
  }
  // Edit through the context menu: the type's fixed size is shown; a new
  // string size gives new brackets.
  ClickRow(fields, 1);
  auto edit = TDialogHook::On<TAddFieldForm>([](TAddFieldForm& D) {
    EXPECT_EQ(D.windowTitle(), "Edit Field");
    EXPECT_EQ(Child<QLineEdit>(D, "FieldNameEdit")->text(), "Key");
    EXPECT_EQ(Child<QComboBox>(D, "FieldTypeCB")->currentText(), "Integer");
    EXPECT_EQ(Child<QLineEdit>(D, "StringSizeEdit")->text(), "4");
    ChooseRow(Child<QComboBox>(D, "FieldTypeCB"), kRowString);
    TypeInto(Child<QLineEdit>(D, "StringSizeEdit"), "9");
    Click(Child<QPushButton>(D, "OKBtn"));
  });
  Form.findChild<QMenu*>("FieldPopup")->actions()[1]->trigger();
  EXPECT_TRUE(edit->Ran());
  EXPECT_EQ(Entries(fields)[1], "Key                  : String[8]");

  // The first index is offered as primary, later ones are not.
  WithDialog<TAddIndexForm>("AddIndexBtn", [](TAddIndexForm& D) {
    EXPECT_EQ(D.windowTitle(), "Add Index");
    EXPECT_TRUE(Child<QCheckBox>(D, "PrimaryCB")->isChecked());
    TypeInto(Child<QLineEdit>(D, "IndexNameEdit"), "ByKey");
    QListWidget* available = Child<QListWidget>(D, "FieldsLB");
    EXPECT_EQ(Entries(available), (std::vector<std::string>{"ID", "Key", "Name"}));
    DoubleClickRow(available, 1);
    Click(Child<QPushButton>(D, "OKBtn"));
  });
  WithDialog<TAddIndexForm>("AddIndexBtn", [](TAddIndexForm& D) {
    EXPECT_FALSE(Child<QCheckBox>(D, "PrimaryCB")->isChecked());
    Cancel(D);
  });
  ASSERT_EQ(Entries(List("IndexLB")), std::vector<std::string>{"ByKey"});

  // Deleting all fields keeps the one the index uses, with one message.
  ClickRow(fields, 0);
  ClickRow(fields, 1, Qt::ControlModifier);
  ClickRow(fields, 2, Qt::ControlModifier);
  Log.Clear();
  Click(Button("DeleteFieldBtn"));
  EXPECT_EQ(Log.Shown,
            (TShown{{"Delete selected fields ?", wmConfirmation},
                    {"Unable to delete field Key.\rField is used by an index.", wmInformation}}));
  EXPECT_EQ(Entries(fields), (std::vector<std::string>{"Key                  : String[8]"}));

  // Renaming the field leaves the index as it was: Edit Index offers the
  // new name and still shows the old one in the key.
  auto rename = TDialogHook::On<TAddFieldForm>(FieldScript("Code", kRowString, "9"));
  DoubleClickRow(fields, 0);
  EXPECT_TRUE(rename->Ran());
  ClickRow(List("IndexLB"), 0);
  WithDialog<TAddIndexForm>("EditIndexBtn", [](TAddIndexForm& D) {
    EXPECT_EQ(D.windowTitle(), "Edit Index");
    EXPECT_EQ(Child<QLineEdit>(D, "IndexNameEdit")->text(), "ByKey");
    EXPECT_TRUE(Child<QCheckBox>(D, "PrimaryCB")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(D, "DescendingCB")->isChecked());
    EXPECT_EQ(Entries(Child<QListWidget>(D, "FieldsLB")), std::vector<std::string>{"Code"});
    EXPECT_EQ(Entries(Child<QListWidget>(D, "IndexFieldsLB")), std::vector<std::string>{"Key"});
    TypeInto(Child<QLineEdit>(D, "IndexNameEdit"), "ByKeyDesc");
    Toggle(Child<QCheckBox>(D, "DescendingCB"));
    Click(Child<QPushButton>(D, "OKBtn"));
  });
  EXPECT_EQ(Entries(List("IndexLB")), std::vector<std::string>{"ByKeyDesc"});
  EXPECT_TRUE(Form.Model().IndexAt(1)->GetAttributes().Contains(iaDescending));

  // Delete with no selection asks and keeps the index; with one deletes it.
  List("IndexLB")->clearSelection();
  Log.Clear();
  Click(Button("DeleteIndexBtn"));
  EXPECT_EQ(Log.Shown, (TShown{{"Delete selected indices ?", wmConfirmation}}));
  EXPECT_EQ(List("IndexLB")->count(), 1);
  ClickRow(List("IndexLB"), 0);
  Click(Button("DeleteIndexBtn"));
  EXPECT_EQ(List("IndexLB")->count(), 0);
  EXPECT_EQ(Form.Model().IndexCount(), 0);
}

TEST_F(WizardWindow, CancelAnsweredNoKeepsTheWindowAndAFailedFinishToo) {
  TTempDir dir;
  TypeInto(Edit("FileNameEdit"), QString::fromStdString(dir.File("no/such/dir/Unit.pas")));
  Log.Answer = wbNo;
  Click(Button("CancelBtn"));
  EXPECT_EQ(Log.Shown, (TShown{{"Are you sure you wish to cancel ?", wmConfirmation}}));
  EXPECT_TRUE(Form.isVisible());
  // Closing by the window manager asks the same question.
  Log.Clear();
  EXPECT_FALSE(Form.close());
  EXPECT_EQ(Log.Shown, (TShown{{"Are you sure you wish to cancel ?", wmConfirmation}}));
  EXPECT_TRUE(Form.isVisible());

  // A unit that cannot be written is reported; the wizard stays.
  ToFieldPage();
  Click(Button("FinishBtn"));
  ASSERT_EQ(Log.Shown.size(), 1u);
  EXPECT_EQ(Log.Shown[0].second, wmError);
  EXPECT_TRUE(Log.Shown[0].first.starts_with("Cannot create file " + dir.File("no/such")))
      << Log.Shown[0].first;
  EXPECT_TRUE(Form.isVisible());
  EXPECT_EQ(Form.CurrentPage(), 2);

  Log.Answer = wbYes;
  Click(Button("CancelBtn"));
  EXPECT_FALSE(Form.isVisible());
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

// The whole model typed into the window gives the unit that the batch
// mode writes for the same model and date.
TEST_F(WizardWindow, FinishWritesTheUnitTheBatchModeWrites) {
  TEnglishMonths months;
  TTempDir dir;
  const std::string unit = dir.File("Customer.Pas");
  Form.Model().SetUnitDate(2004, 3, 5);
  TypeInto(Edit("FileNameEdit"), QString::fromStdString(unit));
  TypeInto(Edit("ClassNameEdit"), "TCustomer");
  TypeInto(Edit("AncestorClassEdit"), "TPersistent");
  Next();
  AddMember("ID", kInteger);
  AddMember("Name", kString);
  AddMember("Balance", kDouble);
  AddMember("Addr", kObject, "TAddress");
  AddMember("Temp", kWord);
  ClickRow(List("DataMemberLB"), 4);
  Click(Button("DeleteDataMemberBtn"));
  auto edit = TDialogHook::On<TAddDataMemberForm>(MemberScript("Balance", kExtended));
  DoubleClickRow(List("DataMemberLB"), 2);
  EXPECT_TRUE(edit->Ran());
  Next();

  AddField("ID", kRowAutoInc);
  AddField("Name", kRowString, "41");
  AddField("Balance", kRowFloat);
  ClickRow(List("FieldLB"), 1);
  WithDialog<TAddFieldForm>("EditFieldBtn", FieldScript("Name", kRowString, "31"));
  WithDialog<TAddIndexForm>("AddIndexBtn", [](TAddIndexForm& D) {
    TypeInto(Child<QLineEdit>(D, "IndexNameEdit"), "ByID");
    Toggle(Child<QCheckBox>(D, "UniqueCB"));
    ClickRow(Child<QListWidget>(D, "FieldsLB"), 0);
    Click(Child<QToolButton>(D, "AddFieldBtn"));
    QTest::keyClick(Child<QLineEdit>(D, "IndexNameEdit"), Qt::Key_Return);
  });
  WithDialog<TAddIndexForm>("AddIndexBtn", [](TAddIndexForm& D) {
    TypeInto(Child<QLineEdit>(D, "IndexNameEdit"), "ByName");
    Toggle(Child<QCheckBox>(D, "CaseInsensitiveCB"));
    Toggle(Child<QCheckBox>(D, "DescendingCB"));
    QListWidget* available = Child<QListWidget>(D, "FieldsLB");
    DoubleClickRow(available, 2);  // Balance
    DoubleClickRow(available, 1);  // Name
    // Balance back and in again, so the key is Name, Balance.
    ClickRow(Child<QListWidget>(D, "IndexFieldsLB"), 0);
    Click(Child<QToolButton>(D, "RemoveFieldBtn"));
    EXPECT_EQ(Entries(available), (std::vector<std::string>{"ID", "Balance"}));
    DoubleClickRow(available, 1);
    Click(Child<QPushButton>(D, "OKBtn"));
  });
  Log.Clear();
  Click(Button("FinishBtn"));
  EXPECT_EQ(Log.Shown, (TShown{{"Unit " + unit + " created successfully.", wmInformation}}));
  EXPECT_FALSE(Form.isVisible());

  const std::string model = R"({"fileName": ")" + unit + R"(", "className": "TCustomer",
    "ancestorClass": "TPersistent",
    "members": [{"name": "ID", "type": "Integer"}, {"name": "Name", "type": "String"},
                {"name": "Balance", "type": "Extended"},
                {"name": "Addr", "type": "Object", "className": "TAddress"}],
    "fields": [{"name": "ID", "type": "Autoincrement"},
               {"name": "Name", "type": "String", "size": 31},
               {"name": "Balance", "type": "Float"}],
    "indices": [{"name": "ByID", "attributes": ["Primary", "Unique"], "fields": ["ID"]},
                {"name": "ByName", "attributes": ["Case Insensitive", "Descending"],
                 "fields": ["Name", "Balance"]}]})";
  WriteBytes(dir.File("model.json"), model);
  std::ostringstream out, err;
  ASSERT_EQ(RunUnitwright({"--model", dir.File("model.json"), "--output", dir.File("batch.pas"),
                           "--date", "2004-03-05"},
                          out, err),
            kExitOk)
      << err.str();
  const std::string written = ReadBytes(unit);
  EXPECT_EQ(written, ReadBytes(dir.File("batch.pas")));
  EXPECT_NE(written.find("TCustomer = class(TPersistent)"), std::string::npos);
}

}  // namespace
}  // namespace corvid::test
