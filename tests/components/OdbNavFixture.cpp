#include "OdbNavFixture.h"

#include <QTest>

#include "corvid/persist/ObjPerst.h"

namespace corvid::navtest {

namespace {

void WriteNavPerson(TObject* Obj, TObjectWriter& Writer) {
  auto* p = static_cast<TNavPerson*>(Obj);
  Writer.WriteInteger(p->Code);
  Writer.WriteString(p->Name);
}

void ReadNavPerson(TObject* Obj, TObjectReader& Reader) {
  auto* p = static_cast<TNavPerson*>(Obj);
  p->Code = Reader.ReadInteger();
  p->Name = Reader.ReadString();
}

const bool registered = [] {
  RegisterStreamable(TNavPerson::StaticClass(), {ReadNavPerson}, {WriteNavPerson});
  return true;
}();

}  // namespace

void TNavPersonMapping::DefineFields() {
  AddField("Code", oftInteger);
  AddField("Name", oftString, 31);
}

void TNavPersonMapping::DefineIndices() {
  AddIndex("Code", {iaPrimary}, {"Code"});
  AddIndex("Name", {}, {"Name"});
}

void TNavPersonMapping::UpdateFieldsFromObj(const TObject* Obj) {
  auto* p = static_cast<const TNavPerson*>(Obj);
  FieldByName("Code")->SetAsInteger(p->Code);
  FieldByName("Name")->SetAsString(p->Name);
}

void NavigatorTest::SetUp() {
  db_ = std::make_unique<TObjectDatabase>(GetOdbDriverClass("SQLite"), ":memory:");
  db_->Open("", "", "");
  file_ = std::make_unique<TObjectFile>(*db_, "people", TNavPersonMapping::StaticClass());
  file_->CreateFile();
  file_->Open();
  nav_ = std::make_unique<TObjectFileNavigator>();
  nav_->show();
  answer_ = [](const TShownMessage& M) { return M.Buttons == mbOK ? mrOk : mrNo; };
  newObject_ = [](std::unique_ptr<TObject>& Obj) { Obj = std::make_unique<TNavPerson>(); };
}

void NavigatorTest::TearDown() {
  // The navigator detaches first: it may still ask about the form.
  nav_.reset();
  file_.reset();
  db_.reset();
}

void NavigatorTest::Fill(int Count) {
  for (int code = 1; code <= Count; ++code) {
    TNavPerson p(code, "Person " + std::to_string(code));
    file_->SetCurrentObj(&p);
    file_->Insert();
  }
}

void NavigatorTest::Attach() {
  nav_->OnNewObject = [this](std::unique_ptr<TObject>& Obj) { newObject_(Obj); };
  nav_->OnObjectToForm = [this](const TObject& Obj) {
    form_ = static_cast<const TNavPerson&>(Obj);
    shown_.push_back(form_.Code);
  };
  nav_->OnFormToObject = [this](TObject& Obj) {
    ++formReads_;
    static_cast<TNavPerson&>(Obj) = form_;
  };
  nav_->SetMessageFunction(
      [this](const std::string& Text, TMsgDlgType Kind, TMsgDlgButtons Buttons, int HelpContext) {
        EXPECT_EQ(HelpContext, 0);
        messages_.push_back({Text, Kind, Buttons});
        return answer_(messages_.back());
      });
  nav_->SetDataset(file_.get());
}

std::string NavigatorTest::StoredName(std::int32_t Code) {
  TObjectFile other(*db_, "people", TNavPersonMapping::StaticClass());
  other.Open();
  other.SetIndexName("Code");
  TNavPerson key(Code, "");
  other.SetCurrentObj(&key);
  if (!other.FindExact()) return "<none>";
  return static_cast<const TNavPerson&>(*other.GetCurrentObj()).Name;
}

void NavigatorTest::Click(QWidget* Button, Qt::KeyboardModifiers Modifiers) {
  QTest::mouseClick(Button, Qt::LeftButton, Modifiers);
}

}  // namespace corvid::navtest
