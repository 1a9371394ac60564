// The open-database dialog against real SQLite databases in a temporary
// folder. The modal login dialog is answered by a replacement runner that
// fills in the boxes, except in the first history test, which goes through
// the real modal loop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "ExpectRaises.h"
#include "FaultStream.h"
#include "TempDir.h"
#include "corvid/components/OdbDialg.h"
#include "corvid/components/OdbDialgHistory.h"
#include "corvid/containers/ObjList.h"
#include "corvid/odb/OdbDatabase.h"
#include "corvid/odb/OdbErrors.h"
#include "corvid/persist/ObjPerst.h"
#include "corvid/persist/Streams.h"
#include "corvid/values/ObjBuckt.h"

namespace corvid {
namespace {

using Names = std::vector<std::string>;

Names NamesOf(const TUnorderedList* History) {
  Names names;
  if (History == nullptr) return names;
  for (const TObject* entry : *History)
    names.push_back(static_cast<const TStringCombo*>(entry)->Str);
  return names;
}

Names ItemsOf(const QComboBox* Combo) {
  Names items;
  for (int i = 0; i < Combo->count(); ++i) items.push_back(Combo->itemText(i).toStdString());
  return items;
}

QByteArray FileBytes(const QString& Path) {
  QFile f(Path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteBytes(const QString& Path, const QByteArray& Bytes) {
  QFile f(Path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(Bytes);
}

const TOpenDatabaseOptions AllOptions{ShowDriver, ShowDatabase, ShowServer, ShowUser};

class OpenDatabaseDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    previous = SetLoginDialogRunner([this](TLoginDialog& d) {
      ++shown;
      return answer ? answer(d) : false;
    });
  }
  void TearDown() override { SetLoginDialogRunner(previous); }

  QString Path(const char* Name) const { return dir.filePath(QString::fromLatin1(Name)); }
  std::string Db(const char* Name) const { return Path(Name).toStdString(); }

  // The next login types these texts into the boxes and presses OK.
  void Answer(const std::string& Driver, const std::string& Database,
              const std::string& Server = "create", const std::string& User = "",
              const std::string& Password = "") {
    answer = [=](TLoginDialog& d) {
      d.DriverCombo->setEditText(QString::fromStdString(Driver));
      d.DatabaseCombo->setEditText(QString::fromStdString(Database));
      d.ServerCombo->setEditText(QString::fromStdString(Server));
      d.UserCombo->setEditText(QString::fromStdString(User));
      d.PasswordEdit->setText(QString::fromStdString(Password));
      return true;
    };
  }

  QTemporaryDir dir;
  TLoginDialogRunner previous;
  std::function<bool(TLoginDialog&)> answer;
  int shown = 0;
};

TEST_F(OpenDatabaseDialog, HistoryWrittenByOneComponentIsReadByTheNext) {
  const QString history = Path("login.history");
  {
    TOpenDatabaseDialog dlg;
    dlg.SetHistoryFile(history);
    dlg.SetHistorySize(3);
    dlg.SetOptions(AllOptions);
    dlg.SetDriverList({"SQLite"});

    // The first login through the real modal loop: typed and OK clicked
    // while exec() runs.
    const TLoginDialogRunner mine = SetLoginDialogRunner({});
    QTimer::singleShot(0, [&] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* d = qobject_cast<TLoginDialog*>(w);
        if (d == nullptr || !d->isVisible()) continue;
        d->DatabaseCombo->setEditText(Path("a.db"));
        d->ServerCombo->setEditText("create");
        d->UserCombo->setEditText("alice");
        QTest::keyClicks(d->PasswordEdit, "s3cret");
        QTest::mouseClick(d->OKButton, Qt::LeftButton);
      }
    });
    std::unique_ptr<TObjectDatabase> db = dlg.Execute();
    SetLoginDialogRunner(mine);
    ASSERT_NE(db, nullptr);
    EXPECT_TRUE(db->GetDatabaseOpened());
    EXPECT_EQ(db->GetDatabaseName(), Db("a.db"));

    for (const char* name : {"b.db", "c.db", "d.db"}) {
      Answer("SQLite", Db(name), "create", "alice", "s3cret");
      ASSERT_NE(dlg.Execute(), nullptr);
    }
    // a.db was pushed out by the fourth name; another spelling of b.db
    // moves the stored entry to the top.
    Answer("sqlite", dir.path().toStdString() + "/B.DB", "create", "ALICE", "s3cret");
    ASSERT_NE(dlg.Execute(), nullptr);
    EXPECT_EQ(NamesOf(dlg.GetDatabaseHistory()), (Names{Db("b.db"), Db("d.db"), Db("c.db")}));
    EXPECT_EQ(NamesOf(dlg.GetUserHistory()), Names{"alice"});
    EXPECT_EQ(dlg.GetLastDriver(), "sqlite");
  }

  // The file: four objects, the lists searched without case, no password.
  const QByteArray bytes = FileBytes(history);
  EXPECT_FALSE(bytes.contains("s3cret"));
  {
    TObjectStream stream(history.toStdString(), fmOpenRead);
    const std::unique_ptr<TObject> driver = stream.ReadObject();
    ASSERT_TRUE(driver != nullptr && driver->Is<TStringCombo>());
    EXPECT_EQ(static_cast<TStringCombo&>(*driver).Str, "sqlite");
    for (const Names& expected :
         {Names{Db("b.db"), Db("d.db"), Db("c.db")}, Names{"create"}, Names{"alice"}}) {
      const std::unique_ptr<TObject> list = stream.ReadObject();
      ASSERT_TRUE(list != nullptr && list->ClassType() == TUnorderedList::StaticClass());
      auto& history_list = static_cast<TUnorderedList&>(*list);
      EXPECT_EQ(history_list.CompareFunc(), CompareStringComboNoCase);
      EXPECT_EQ(NamesOf(&history_list), expected);
    }
    EXPECT_TRUE(stream.GetEndOfStream());
  }

  // The next component offers the names, most recent first, and preselects
  // the driver used last (in the list's spelling) and the newest names.
  TOpenDatabaseDialog next;
  next.SetHistoryFile(history);
  next.SetOptions(AllOptions);
  next.SetDriverList({"PostgreSQL", "SQLite"});
  const Names offered{Db("b.db"), Db("d.db"), Db("c.db")};
  answer = [&](TLoginDialog& d) {
    EXPECT_EQ(d.DriverCombo->currentText(), "SQLite");
    EXPECT_EQ(ItemsOf(d.DatabaseCombo), offered);
    EXPECT_EQ(d.DatabaseCombo->currentText().toStdString(), offered[0]);
    EXPECT_EQ(d.ServerCombo->currentText(), "create");
    EXPECT_EQ(d.UserCombo->currentText(), "alice");
    EXPECT_TRUE(d.PasswordEdit->text().isEmpty());
    return false;
  };
  EXPECT_EQ(next.Execute(), nullptr);
  EXPECT_EQ(NamesOf(next.GetDatabaseHistory()), offered);
  EXPECT_EQ(next.GetHistoryPath(), history.toStdString());
}

// The label whose caption is Caption; null when there is none.
const QLabel* LabelOf(const TLoginDialog& D, const char* Caption) {
  for (const QLabel* l : D.findChildren<QLabel*>()) {
    if (l->text() == QLatin1String(Caption)) return l;
  }
  return nullptr;
}

// Each shown row: its box at (120, Y), 244 wide, its label at left 8 with
// the same bottom.
void ExpectRow(const TLoginDialog& D, const QWidget* Control, const char* Caption, int Y) {
  SCOPED_TRACE(Caption);
  EXPECT_FALSE(Control->isHidden());
  EXPECT_EQ(Control->x(), 120);
  EXPECT_EQ(Control->y(), Y);
  EXPECT_EQ(Control->width(), 244);
  const QLabel* label = LabelOf(D, Caption);
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->x(), 8);
  EXPECT_EQ(label->geometry().bottom(), Control->geometry().bottom());
}

void ExpectButtons(const TLoginDialog& D, int Y) {
  EXPECT_EQ(D.OKButton->geometry().topLeft(), QPoint(120, Y));
  EXPECT_EQ(D.OKButton->width(), 115);
  EXPECT_TRUE(D.OKButton->isDefault());
  EXPECT_EQ(D.CancelButton->geometry().topLeft(), QPoint(248, Y));
  EXPECT_EQ(D.CancelButton->width(), 115);
  EXPECT_EQ(D.size(), QSize(380, Y + 70));
  EXPECT_EQ(D.minimumSize(), D.maximumSize());
}

TEST_F(OpenDatabaseDialog, LoginDialogGeometry) {
  TOpenDatabaseDialog dlg;
  dlg.SetDriverList({"SQLite"});
  dlg.SetDefaultServer("srv");
  dlg.EnsureLoaded();
  {
    // Default options: driver and database rows; the others stay hidden
    // with their preset text.
    TLoginDialog d(dlg);
    EXPECT_EQ(d.windowTitle(), "Open Database");
    EXPECT_EQ(d.font().family(), "Arial");
    EXPECT_EQ(d.font().pointSize(), 10);
    ExpectRow(d, d.DriverCombo, "Driver :", 8);
    ExpectRow(d, d.DatabaseCombo, "Database :", 48);
    EXPECT_TRUE(d.ServerCombo->isHidden());
    EXPECT_TRUE(d.UserCombo->isHidden());
    EXPECT_TRUE(d.PasswordEdit->isHidden());
    EXPECT_EQ(LabelOf(d, "Server :"), nullptr);
    EXPECT_EQ(d.ServerCombo->currentText(), "srv");
    EXPECT_EQ(d.DriverCombo->currentText(), "SQLite");
    ExpectButtons(d, 94);
  }
  dlg.SetOptions(AllOptions);
  {
    TLoginDialog d(dlg);
    ExpectRow(d, d.DriverCombo, "Driver :", 8);
    ExpectRow(d, d.DatabaseCombo, "Database :", 48);
    ExpectRow(d, d.ServerCombo, "Server :", 88);
    ExpectRow(d, d.UserCombo, "User :", 128);
    ExpectRow(d, d.PasswordEdit, "Password :", 168);
    ExpectButtons(d, 214);
    d.PasswordEdit->setText("abc");
    EXPECT_EQ(d.PasswordEdit->displayText(), "***");
  }
}

TEST_F(OpenDatabaseDialog, FailuresLeaveTheHistoriesUnchanged) {
  TOpenDatabaseDialog dlg;
  dlg.SetDriverList({"SQLite"});
  Answer("SQLite", Db("one.db"));
  ASSERT_NE(dlg.Execute(), nullptr);
  const Names databases{Db("one.db")};
  auto unchanged = [&] {
    EXPECT_EQ(dlg.GetLastDriver(), "SQLite");
    EXPECT_EQ(NamesOf(dlg.GetDatabaseHistory()), databases);
    EXPECT_EQ(NamesOf(dlg.GetServerHistory()), Names{"create"});
    EXPECT_EQ(NamesOf(dlg.GetUserHistory()), Names{""});
  };

  // A missing file without "create": the open error reaches the caller.
  Answer("SQLite", Db("missing.db"), "");
  EXPECT_THROW(dlg.Execute(), EOdbDatabaseDoesNotExist);
  unchanged();
  // An unknown driver typed into the box, refused when OK is pressed.
  Answer("NoSuchDriver", Db("two.db"));
  EXPECT_THROW(dlg.Execute(), EOdbDriverNotRegistered);
  unchanged();
  // Cancel.
  answer = nullptr;
  EXPECT_EQ(dlg.Execute(), nullptr);
  unchanged();
  EXPECT_EQ(shown, 4);

  // An unknown name in the driver list is refused before the dialog shows.
  dlg.SetDriverList({"SQLite", "NoSuchDriver"});
  EXPECT_THROW(dlg.Execute(), EOdbDriverNotRegistered);
  EXPECT_EQ(shown, 4);
  unchanged();
}

TEST_F(OpenDatabaseDialog, UnreadableHistoryFileFailsLoadingAndIsKept) {
  // Damaged: not an object stream. Wrong shape: a combo where the database
  // history belongs. Too short: one object only.
  QByteArray wrongShape, tooShort;
  {
    TMemoryStream m;
    {
      TObjectStream s(&m, false);
      const TStringCombo combo("SQLite");
      s.WriteObject(&combo);
      tooShort = QByteArray(reinterpret_cast<const char*>(m.Memory()), m.GetSize());
      s.WriteObject(&combo);
      const std::unique_ptr<TUnorderedList> list = NewOpenDatabaseHistory();
      s.WriteObject(list.get());
      s.WriteObject(list.get());
    }
    wrongShape = QByteArray(reinterpret_cast<const char*>(m.Memory()), m.GetSize());
  }
  const QString file = Path("history");
  struct Case {
    QByteArray bytes;
    std::function<void(TOpenDatabaseDialog&)> load;
  };
  const std::vector<Case> cases{
      {"not a history", [](TOpenDatabaseDialog& d) { EXPECT_THROW(d.EnsureLoaded(), EReadError); }},
      {wrongShape, [](TOpenDatabaseDialog& d) { EXPECT_THROW(d.EnsureLoaded(), EInvalidCast); }},
      {tooShort, [](TOpenDatabaseDialog& d) { EXPECT_THROW(d.Execute(), EReadError); }},
  };
  for (const Case& c : cases) {
    WriteBytes(file, c.bytes);
    {
      TOpenDatabaseDialog dlg;
      dlg.SetHistoryFile(file);
      dlg.SetDriverList({"SQLite"});
      c.load(dlg);
      EXPECT_FALSE(dlg.IsLoaded());
      EXPECT_EQ(dlg.GetDatabaseHistory(), nullptr);
    }
    EXPECT_EQ(FileBytes(file), c.bytes);
  }
  EXPECT_EQ(shown, 0);
}

// A history file whose writing fails at any byte, by an error (a full
// disk) or a short write, keeps its previous content and gets nothing
// beside it; SaveHistory raises the stream's error.
TEST_F(OpenDatabaseDialog, AFailedHistoryWriteKeepsThePreviousFile) {
  const QString history = Path("login.history");
  TOpenDatabaseDialog dlg;
  dlg.SetHistoryFile(history);
  dlg.SetDriverList({"SQLite"});
  Answer("SQLite", Db("a.db"), "create", "alice");
  ASSERT_NE(dlg.Execute(), nullptr);
  dlg.SaveHistory();
  const QByteArray before = FileBytes(history);
  ASSERT_FALSE(before.isEmpty());
  Answer("SQLite", Db("b.db"), "create", "bob");
  ASSERT_NE(dlg.Execute(), nullptr);
  const std::vector<std::string> files = test::FilesIn(dir.path().toStdString());
  const std::int64_t size = before.size();
  for (const test::TFault fault : {test::TFault::Raise, test::TFault::ShortWrite}) {
    for (const std::int64_t at : {std::int64_t{0}, size / 2, size}) {
      SCOPED_TRACE(::testing::Message() << "fault " << static_cast<int>(fault) << " at " << at);
      test::TFaultyFiles faulty(at, fault);
      test::ExpectRaises<EWriteError>([&] { dlg.SaveHistory(); },
                                      fault == test::TFault::Raise
                                          ? test::TFaultStream::ErrorText(at)
                                          : std::string("Stream write error"));
      EXPECT_EQ(faulty.Failures(), 1);
      EXPECT_EQ(FileBytes(history), before);
      EXPECT_EQ(test::FilesIn(dir.path().toStdString()), files);
    }
  }
  dlg.SaveHistory();  // with room for it the longer history is written
  EXPECT_GT(FileBytes(history).size(), before.size());
}

TEST_F(OpenDatabaseDialog, DesignModeShowsAStandInAndWritesNoHistory) {
  const QString file = Path("history");
  {
    TOpenDatabaseDialog dlg;
    // Published properties reach the component by name, as a form loader
    // sets them.
    EXPECT_EQ(dlg.property("HistorySize").toUInt(), 8u);
    EXPECT_EQ(dlg.property("Options").value<TOpenDatabaseDialog::TOpenDatabaseOptionFlags>(),
              TOpenDatabaseDialog::ShowDriverFlag | TOpenDatabaseDialog::ShowDatabaseFlag);
    ASSERT_TRUE(dlg.setProperty("HistoryFile", file));
    ASSERT_TRUE(dlg.setProperty("Options",
                                QVariant::fromValue(TOpenDatabaseDialog::TOpenDatabaseOptionFlags(
                                    TOpenDatabaseDialog::ShowUserFlag))));
    EXPECT_TRUE(dlg.GetOptions() == TOpenDatabaseOptions{ShowUser});
    EXPECT_TRUE(dlg.isHidden());
    EXPECT_EQ(dlg.size(), QSize(0, 0));
    dlg.SetDesignMode(true);
    EXPECT_FALSE(dlg.isHidden());
    EXPECT_EQ(dlg.size(), QSize(28, 28));
    dlg.EnsureLoaded();
  }
  EXPECT_FALSE(QFile::exists(file));
  {
    TOpenDatabaseDialog dlg;
    dlg.SetHistoryFile(file);
    dlg.EnsureLoaded();
  }
  EXPECT_TRUE(QFile::exists(file));
}

}  // namespace
}  // namespace corvid
