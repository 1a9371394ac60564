// The member, field and index dialogs on their own: what they start with,
// the checks on OK in their order (a failed check keeps the dialog open),
// Cancel, and the moves between the index dialog's lists.
#include <gtest/gtest.h>

#include "WizardUiTestUtil.h"
#include "corvid/wizard/AddFldFm.h"
#include "corvid/wizard/AddIdxFm.h"
#include "corvid/wizard/AddMemFm.h"

namespace corvid::test {
namespace {

using TShown = std::vector<std::pair<std::string, TWizardMessageKind>>;

// A dialog shown without a modal loop, its rules from a model whose
// messages go to a log.
template <class D>
struct TDialogFixture : ::testing::Test {
  TClassModel Model;
  TMessageLog Log;
  std::unique_ptr<D> Dlg;

  void SetUp() override {
    Log.Attach(Model);
    Dlg = std::make_unique<D>(Model);
    Dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Dlg.get()));
  }
  QLineEdit* Edit(const char* Name) { return Child<QLineEdit>(*Dlg, Name); }
  QComboBox* Combo(const char* Name) { return Child<QComboBox>(*Dlg, Name); }
  QCheckBox* Check(const char* Name) { return Child<QCheckBox>(*Dlg, Name); }
  QListWidget* List(const char* Name) { return Child<QListWidget>(*Dlg, Name); }

  // Presses OK; true when the dialog closed with the result OK. The
  // message of a refused OK is expected in the log, alone.
  bool PressOk(const std::string& Refusal = "") {
    Log.Clear();
    Click(Child<QPushButton>(*Dlg, "OKBtn"));
    if (!Refusal.empty()) {
      EXPECT_EQ(Log.Shown, (TShown{{Refusal, wmError}}));
    }
    return !Dlg->isVisible() && Dlg->result() == QDialog::Accepted;
  }
  void Reopen() {
    Dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Dlg.get()));
  }
};

using MemberDialog = TDialogFixture<TAddDataMemberForm>;
using FieldDialog = TDialogFixture<TAddFieldForm>;
using IndexDialog = TDialogFixture<TAddIndexForm>;

TEST_F(MemberDialog, StartsWithStringAndChecksNameThenClassName) {
  EXPECT_EQ(Dlg->windowTitle(), "Add Data Member");
  EXPECT_EQ(Dlg->size(), QSize(361, 184));
  EXPECT_EQ(Dlg->focusWidget(), Edit("MemberNameEdit"));
  ASSERT_EQ(Combo("MemberTypeCB")->count(), 13);
  EXPECT_EQ(Combo("MemberTypeCB")->itemText(0), "Boolean");
  EXPECT_EQ(Combo("MemberTypeCB")->itemText(12), "Object");
  EXPECT_EQ(Combo("MemberTypeCB")->currentText(), "String");
  EXPECT_EQ(Edit("MemberClassNameEdit")->toolTip(), "For object data members only");

  // Type Object with no name and no class name: the name is reported first.
  ChooseRow(Combo("MemberTypeCB"), kObject);
  EXPECT_FALSE(PressOk("Value is required."));
  EXPECT_TRUE(Dlg->isVisible());
  TypeInto(Edit("MemberNameEdit"), "Child");
  EXPECT_FALSE(PressOk("A class name must be specified for an\robject data member."));
  // Another type ignores the class name box.
  ChooseRow(Combo("MemberTypeCB"), kInteger);
  EXPECT_TRUE(PressOk());
  EXPECT_EQ(Dlg->Input().TypeIndex, 6);

  Reopen();
  TypeInto(Edit("MemberNameEdit"), "");
  Log.Clear();
  QTest::keyClick(Edit("MemberNameEdit"), Qt::Key_Escape);
  EXPECT_FALSE(Dlg->isVisible());
  EXPECT_EQ(Dlg->result(), QDialog::Rejected);
  EXPECT_EQ(Log.Shown, TShown{});
}

TEST_F(FieldDialog, SizeBoxTakesThreeDigitsAndIsCheckedForStringsOnly) {
  EXPECT_EQ(Dlg->windowTitle(), "Add Field");
  EXPECT_EQ(Dlg->size(), QSize(364, 172));
  EXPECT_EQ(Dlg->focusWidget(), Edit("FieldNameEdit"));
  EXPECT_EQ(Combo("FieldTypeCB")->currentText(), "String");
  EXPECT_EQ(Combo("FieldTypeCB")->count(), 4);
  QLineEdit* size = Edit("StringSizeEdit");
  EXPECT_EQ(size->text(), "21");
  EXPECT_EQ(size->toolTip(), "For string fields only (length byte must be included)");
  TypeInto(size, "x12345");
  EXPECT_EQ(size->text(), "123");

  EXPECT_FALSE(PressOk("The field must have a name."));
  TypeInto(Edit("FieldNameEdit"), "Name");
  TypeInto(size, "");
  EXPECT_FALSE(PressOk("A size must be specified for a string field."));
  const std::string invalid =
      "String size not valid (2-256). Remember, the string\rsize includes the length byte.";
  TypeInto(size, "1");
  EXPECT_FALSE(PressOk(invalid));
  TypeInto(size, "257");
  EXPECT_FALSE(PressOk(invalid));
  TypeInto(size, "256");
  EXPECT_TRUE(PressOk());

  Reopen();
  TypeInto(size, "2");
  EXPECT_TRUE(PressOk());
  EXPECT_EQ(Dlg->Input().SizeText, "2");

  // A float field with an empty size box is accepted.
  Reopen();
  ChooseRow(Combo("FieldTypeCB"), kRowFloat);
  TypeInto(size, "");
  EXPECT_TRUE(PressOk());
  EXPECT_EQ(Dlg->Input().TypeRow, 1);
}

TEST_F(IndexDialog, MovesNamesBetweenTheListsAndChecksNameThenFields) {
  EXPECT_EQ(Dlg->windowTitle(), "Add Index");
  EXPECT_EQ(Dlg->size(), QSize(409, 322));
  EXPECT_EQ(Dlg->focusWidget(), Edit("IndexNameEdit"));
  Dlg->SetInput(TIndexInput{}, {"A", "B", "C"}, {});
  QListWidget* available = List("FieldsLB");
  QListWidget* key = List("IndexFieldsLB");
  auto* add = Child<QToolButton>(*Dlg, "AddFieldBtn");
  auto* remove = Child<QToolButton>(*Dlg, "RemoveFieldBtn");

  // Without a current entry the arrows do nothing.
  Click(add);
  EXPECT_EQ(key->count(), 0);
  ClickRow(available, 1);
  Click(add);
  DoubleClickRow(available, 0);
  EXPECT_EQ(Entries(available), std::vector<std::string>{"C"});
  EXPECT_EQ(Entries(key), (std::vector<std::string>{"B", "A"}));
  // A name moved back goes to the end of the available list.
  ClickRow(key, 0);
  Click(remove);
  EXPECT_EQ(Entries(available), (std::vector<std::string>{"C", "B"}));

  EXPECT_FALSE(PressOk("The index must have a name."));
  TypeInto(Edit("IndexNameEdit"), "ByA");
  DoubleClickRow(key, 0);
  EXPECT_EQ(key->count(), 0);
  EXPECT_FALSE(PressOk("The index field list is empty."));
  ClickRow(available, 2);
  Click(add);
  for (const char* box : {"UniqueCB", "CaseInsensitiveCB"}) {
    Toggle(Check(box));
  }
  EXPECT_TRUE(PressOk());
  const TIndexInput in = Dlg->Input();
  EXPECT_EQ(in.Name, "ByA");
  EXPECT_EQ(in.Fields, std::vector<std::string>{"A"});
  EXPECT_FALSE(in.Primary);
  EXPECT_TRUE(in.Unique);
  EXPECT_FALSE(in.Descending);
  EXPECT_TRUE(in.CaseInsensitive);

  // Cancel closes whatever the dialog holds.
  Reopen();
  TypeInto(Edit("IndexNameEdit"), "");
  Log.Clear();
  Click(Child<QPushButton>(*Dlg, "CancelBtn"));
  EXPECT_FALSE(Dlg->isVisible());
  EXPECT_EQ(Log.Shown, TShown{});
}

}  // namespace
}  // namespace corvid::test
