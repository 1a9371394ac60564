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

#include "Contact.h"  // generated from examples/Contact.json
#include "corvid/components/OdbDialg.h"
#include "corvid/components/OdbNav.h"
#include "corvid/odb/Odb.h"
#include "corvid/persist/ObjPerst.h"

using namespace corvid;

namespace {

TContact MakeContact(const std::string& Name, std::int32_t Age, double Height) {
  TContact c;
  c.SetName(Name);
  c.SetAge(Age);
  c.SetHeight(Height);
  return c;
}

// Opens the contacts file, creating and filling it on first use.
std::unique_ptr<TObjectFile> OpenContacts(TObjectDatabase& Db) {
  auto file = std::make_unique<TObjectFile>(Db, "Contacts", TContactORMapping::StaticClass());
  try {
    file->Open();
    return file;
  } catch (const EOdbObjectFileDoesNotExist&) {
  }
  file->CreateFile();
  file->Open();
  for (const TContact& c : {MakeContact("Grace", 45, 1.68), MakeContact("alan", 41, 1.80),
                            MakeContact("Ada", 36, 1.65), MakeContact("linus", 28, 1.77)}) {
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
      Obj = std::make_unique<TContact>(MakeContact("New contact", 0, 0));
    };
    navigator->OnObjectToForm = [this](const TObject& Obj) {
      const auto& c = static_cast<const TContact&>(Obj);
      id_->setText(c.GetId() == 0 ? QString() : QString::number(c.GetId()));
      name_->setText(QString::fromStdString(c.GetName()));
      age_->setText(QString::number(c.GetAge()));
      height_->setText(QString::number(c.GetHeight(), 'f', 2));
    };
    navigator->OnFormToObject = [this](TObject& Obj) {
      auto& c = static_cast<TContact&>(Obj);
      c.SetName(name_->text().toStdString());
      c.SetAge(age_->text().toInt());
      c.SetHeight(height_->text().toDouble());
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
    // Browse in the order the navigator's search list offers first.
    contacts->SetIndexName("ByName");
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
