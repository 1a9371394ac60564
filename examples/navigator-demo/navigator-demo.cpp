// The visual components on one form: the open-database dialog picks the
// database (SQLite by default), and the navigator bar browses, edits,
// inserts, deletes and finds the contacts stored there.
//
//   navigator-demo            asks for the database in the login dialog
//   navigator-demo FILE.db    opens (or creates) that SQLite file directly
#include <QApplication>
#include <QDir>
#include <QDoubleValidator>
#include <QFormLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>
#include <QWidget>
#include <exception>
#include <memory>

#include "components/OdbDialg.h"
#include "components/OdbNav.h"
#include "odb/Odb.h"
#include "persist/ObjPerst.h"

using namespace corvid;

namespace {

class TContact : public TObject {
  CORVID_CLASS(TContact, ::corvid::TObject)
 public:
  TContact() = default;
  TContact(std::string AName, std::int32_t AAge, double AHeight)
      : Name(std::move(AName)), Age(AAge), Height(AHeight) {}

  std::string Name;
  std::int32_t Age = 0;
  double Height = 0;
  std::int32_t Id = 0;  // numbered by the database
};

void WriteContact(TObject* Obj, TObjectWriter& Writer) {
  auto* c = static_cast<TContact*>(Obj);
  Writer.WriteString(c->Name);
  Writer.WriteInteger(c->Age);
  Writer.WriteFloat(c->Height);
  Writer.WriteInteger(c->Id);
}

void ReadContact(TObject* Obj, TObjectReader& Reader) {
  auto* c = static_cast<TContact*>(Obj);
  c->Name = Reader.ReadString();
  c->Age = Reader.ReadInteger();
  c->Height = static_cast<double>(Reader.ReadFloat());
  c->Id = Reader.ReadInteger();
}

const bool contactRegistered = [] {
  RegisterStreamable(TContact::StaticClass(), {ReadContact}, {WriteContact});
  return true;
}();

class TContactMapping : public TORMapping {
  CORVID_CLASS(TContactMapping, ::corvid::TORMapping)
 public:
  TClass GetObjectType() const override { return TContact::StaticClass(); }
  void DefineFields() override {
    AddField("Name", oftString, 31);
    AddField("Age", oftInteger);
    AddField("Height", oftFloat);
    AddField("Id", oftAutoInc);
  }
  void DefineIndices() override {
    AddIndex("ById", {iaPrimary}, {"Id"});
    AddIndex("ByName", {iaUnique, iaCaseInsensitive}, {"Name"});
    AddIndex("ByAge", {}, {"Age"});
  }
  void UpdateFieldsFromObj(const TObject* Obj) override {
    auto* c = static_cast<const TContact*>(Obj);
    FieldByName("Name")->SetAsString(c->Name);
    FieldByName("Age")->SetAsInteger(c->Age);
    FieldByName("Height")->SetAsFloat(c->Height);
    FieldByName("Id")->SetAsInteger(c->Id);
  }
  void UpdateObjFromFields(TObject* Obj) override {
    static_cast<TContact*>(Obj)->Id = FieldByName("Id")->GetAsInteger();
  }
};

// Opens the contacts file, creating and filling it on first use.
std::unique_ptr<TObjectFile> OpenContacts(TObjectDatabase& Db) {
  auto file = std::make_unique<TObjectFile>(Db, "Contacts", TContactMapping::StaticClass());
  try {
    file->Open();
    return file;
  } catch (const EOdbObjectFileDoesNotExist&) {
  }
  file->CreateFile();
  file->Open();
  for (const TContact& c : {TContact("Grace", 45, 1.68), TContact("alan", 41, 1.80),
                            TContact("Ada", 36, 1.65), TContact("linus", 28, 1.77)}) {
    file->SetCurrentObj(&c);
    file->Insert();
  }
  return file;
}

// The form: the navigator along the top, the contact's fields below. The
// navigator is created first, so that Qt destroys it before the edits its
// callbacks read.
class TContactForm : public QWidget {
 public:
  TContactForm() {
    setWindowTitle("Corvid contacts");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 8);
    navigator = new TObjectFileNavigator(this);
    navigator->SetSearchIndices({"ByName;By name", "ByAge;By age", "ById;By number"});
    layout->addWidget(navigator);

    auto* fields = new QFormLayout;
    fields->setContentsMargins(12, 8, 12, 0);
    id_ = new QLabel(this);
    name_ = new QLineEdit(this);
    name_->setMaxLength(30);
    age_ = new QLineEdit(this);
    age_->setValidator(new QIntValidator(0, 150, age_));
    height_ = new QLineEdit(this);
    height_->setValidator(new QDoubleValidator(0, 3, 2, height_));
    fields->addRow("Number:", id_);
    fields->addRow("&Name:", name_);
    fields->addRow("&Age:", age_);
    fields->addRow("&Height (m):", height_);
    layout->addLayout(fields);
    layout->addStretch();
    resize(640, 220);

    navigator->OnNewObject = [](std::unique_ptr<TObject>& Obj) {
      Obj = std::make_unique<TContact>("New contact", 0, 0);
    };
    navigator->OnObjectToForm = [this](const TObject& Obj) {
      const auto& c = static_cast<const TContact&>(Obj);
      id_->setText(c.Id == 0 ? QString() : QString::number(c.Id));
      name_->setText(QString::fromStdString(c.Name));
      age_->setText(QString::number(c.Age));
      height_->setText(QString::number(c.Height, 'f', 2));
    };
    navigator->OnFormToObject = [this](TObject& Obj) {
      auto& c = static_cast<TContact&>(Obj);
      c.Name = name_->text().toStdString();
      c.Age = age_->text().toInt();
      c.Height = height_->text().toDouble();
    };
  }

  TObjectFileNavigator* navigator = nullptr;

 private:
  QLabel* id_ = nullptr;
  QLineEdit *name_ = nullptr, *age_ = nullptr, *height_ = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  try {
    std::unique_ptr<TObjectDatabase> db;
    TOpenDatabaseDialog dialog;
    if (argc > 1) {
      db = std::make_unique<TObjectDatabase>(GetOdbDriverClass("SQLite"), argv[1]);
      db->Open("create", "", "");
    } else {
      // The dialog remembers what was entered in a history file of its own.
      dialog.SetDriverList({"SQLite", "PostgreSQL"});
      dialog.SetHistoryFile(QDir::home().filePath(".corvid-navigator-demo.hist"));
      dialog.SetOptionFlags(TOpenDatabaseDialog::ShowDriverFlag |
                            TOpenDatabaseDialog::ShowDatabaseFlag |
                            TOpenDatabaseDialog::ShowServerFlag);
      dialog.SetDefaultDriver("SQLite");
      dialog.SetDefaultDatabase(QDir::home().filePath("corvid-contacts.db"));
      dialog.SetDefaultServer("create");
      db = dialog.Execute();
      if (db == nullptr) return 0;  // cancelled
    }
    std::unique_ptr<TObjectFile> contacts = OpenContacts(*db);
    auto form = std::make_unique<TContactForm>();
    form->navigator->SetDataset(contacts.get());
    form->show();
    const int status = app.exec();
    form.reset();  // the navigator detaches while the file is still there
    return status;
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, "Corvid contacts", QString::fromUtf8(e.what()));
    return 1;
  }
}
