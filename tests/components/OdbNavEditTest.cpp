// The navigator's editing buttons, the unsaved-edit question and the
// search area, driven through the real buttons.
#include <QComboBox>
#include <QTest>
#include <QToolButton>

#include "OdbNavFixture.h"

namespace corvid::navtest {
namespace {

TEST_F(NavigatorTest, UnsavedEditsAreOfferedOnMoveAndWrittenOnlyWhenAnsweredYesOrAutoPost) {
  Fill(3);
  Attach();
  ASSERT_EQ(form_.Code, 1);

  // Answered No: the move goes on, the stored object stays.
  form_.Name = "Edited 1";
  Click(nav_->GetButton(nbNext));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].Text, "Current object has changed. Update ?");
  EXPECT_EQ(messages_[0].Kind, mtConfirmation);
  EXPECT_EQ(messages_[0].Buttons, mbYesNo);
  EXPECT_EQ(form_.Code, 2);
  EXPECT_EQ(StoredName(1), "Person 1");

  // Answered Yes: written before moving.
  answer_ = [](const TShownMessage&) { return mrYes; };
  form_.Name = "Edited 2";
  Click(nav_->GetButton(nbNext));
  EXPECT_EQ(messages_.size(), 2u);
  EXPECT_EQ(StoredName(2), "Edited 2");
  EXPECT_EQ(form_.Code, 3);

  // An unchanged form asks nothing.
  Click(nav_->GetButton(nbFirst));
  EXPECT_EQ(messages_.size(), 2u);

  // AutoPost: written without a question.
  nav_->SetAutoPost(true);
  form_.Name = "Edited 1";
  Click(nav_->GetButton(nbLast));
  EXPECT_EQ(messages_.size(), 2u);
  EXPECT_EQ(StoredName(1), "Edited 1");
  EXPECT_EQ(form_.Code, 3);
}

TEST_F(NavigatorTest, DeleteAsksFirstAndAnsweredNoKeepsTheObject) {
  Fill(2);
  Attach();
  Click(nav_->GetButton(nbDelete));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].Text, "Delete the current object ?");
  EXPECT_EQ(StoredName(1), "Person 1");

  int afterDelete = 0;
  nav_->AfterDelete = [&](TObjectDatasetNavigator&) { ++afterDelete; };
  answer_ = [](const TShownMessage&) { return mrYes; };
  Click(nav_->GetButton(nbDelete));
  EXPECT_EQ(StoredName(1), "<none>");
  EXPECT_EQ(afterDelete, 1);
  EXPECT_EQ(form_.Code, 2);  // the object now current is shown
}

TEST_F(NavigatorTest, InsertWithoutANewObjectRaisesAndStoresNothing) {
  Fill(1);
  Attach();
  newObject_ = [](std::unique_ptr<TObject>&) {};
  EXPECT_THROW(nav_->InsertClick(), EOdbNavigatorEventNotAssigned);
  EXPECT_EQ(file_->GetObjectCount(), 1);
  EXPECT_EQ(Current().Code, 1);

  // A before-event that throws aborts the insert and reaches the caller.
  newObject_ = [](std::unique_ptr<TObject>& Obj) { Obj = std::make_unique<TNavPerson>(7, "New"); };
  nav_->BeforeInsert = [](TObjectDatasetNavigator&) { throw EOdbNavigatorEventNotAssigned("x"); };
  EXPECT_THROW(nav_->InsertClick(), EOdbNavigatorEventNotAssigned);
  EXPECT_EQ(file_->GetObjectCount(), 1);

  nav_->BeforeInsert = nullptr;
  Click(nav_->GetButton(nbInsert));
  EXPECT_EQ(file_->GetObjectCount(), 2);
  EXPECT_EQ(form_.Code, 7);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(NavigatorTest, SearchIndicesGiveTheCaptionsAndSelectTheIndex) {
  Fill(3);
  nav_->SetSearchIndicesList({"Name;By name", "Code"});
  Attach();
  QComboBox* combo = nav_->GetIndexCombo();
  ASSERT_EQ(combo->count(), 2);
  EXPECT_EQ(combo->itemText(0), "By name");
  EXPECT_EQ(combo->itemText(1), "Code");
  EXPECT_EQ(file_->GetIndexName(), "Name");

  combo->setCurrentIndex(1);
  emit combo->activated(1);
  EXPECT_EQ(file_->GetIndexName(), "Code");

  // Find by the form's key on the selected index; Shift asks for an exact
  // match and reports a miss.
  form_ = TNavPerson(2, "");
  Click(nav_->GetFindBtn());
  EXPECT_EQ(Current().Code, 2);
  form_ = TNavPerson(9, "");
  Click(nav_->GetFindBtn(), Qt::ShiftModifier);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].Text, "Object NOT found.");
}

TEST_F(NavigatorTest, WithoutSearchIndicesEveryIndexIsOfferedAndTheComboKeepsItsFloor) {
  Attach();
  QComboBox* combo = nav_->GetIndexCombo();
  ASSERT_EQ(combo->count(), 2);
  EXPECT_EQ(combo->itemText(0), "Code");
  EXPECT_EQ(combo->itemText(1), "Name");

  nav_->resize(632, 41);
  const int wide = combo->width();
  EXPECT_GT(wide, 100);
  nav_->resize(250, 41);
  EXPECT_EQ(combo->width(), 100);
  nav_->resize(800, 41);
  EXPECT_EQ(combo->width(), wide + 168);
}

}  // namespace
}  // namespace corvid::navtest
