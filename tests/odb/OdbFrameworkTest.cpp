// The object database framework on an in-memory fake driver: the driver's
// wrappers, handle table and registry, the database, mappings, datasets and
// object files, with the order of hooks and driver calls and the failure
// paths.
#include <gtest/gtest.h>

#include <utility>

#include "Counted.h"
#include "ExpectRaises.h"
#include "FakeDriver.h"
#include "corvid/containers/ObjList.h"
#include "corvid/containers/ObjType.h"
#include "corvid/persist/ObjPerst.h"
#include "corvid/persist/Streams.h"

using corvid::test::ExpectRaises;

namespace corvid::test {
namespace {

using Entries = std::vector<std::string>;

// A driver whose mapping refuses floats.
class TNoFloatMapping : public TFwItemMapping {
  CORVID_CLASS(TNoFloatMapping, ::corvid::test::TFwItemMapping)
 public:
  void DefineFields() override {
    TFwItemMapping::DefineFields();
    AddField("Weight", oftFloat);
  }
};

// Name is a unique key without regard to letter case.
class TNoCaseNameMapping : public TFwItemMapping {
  CORVID_CLASS(TNoCaseNameMapping, ::corvid::test::TFwItemMapping)
 public:
  void DefineIndices() override {
    AddIndex("ByName", {iaUnique, iaCaseInsensitive}, {"Name"});
    AddIndex("ByCode", {iaPrimary}, {"Code"});
  }
};

// Inserts another object into Target from the hook that sees the image of
// the object being inserted (once).
class TNestedInsertMapping : public TFwItemMapping {
  CORVID_CLASS(TNestedInsertMapping, ::corvid::test::TFwItemMapping)
 public:
  void BeforeObjectPost(TMemoryStream& Stream) override {
    TFwItemMapping::BeforeObjectPost(Stream);
    if (TObjectFile* f = std::exchange(Target, nullptr)) {
      TFwItem inner("inner", 9);
      f->SetCurrentObj(&inner);
      f->Insert();
    }
  }
  static inline TObjectFile* Target = nullptr;
};

std::string ImageOf(const TObject& Obj) {
  TMemoryStream m;
  TObjectStream s(&m, false);
  s.WriteObject(&Obj);
  return std::string(m.View());
}

class OdbFramework : public ::testing::Test {
 protected:
  void SetUp() override {
    Log().clear();
    TFwItemMapping::FailingHook.clear();
    db_ = std::make_unique<TObjectDatabase>(TFakeDriver::StaticClass(), "fake.db");
    db_->Open("server", "user", "secret");
  }
  void TearDown() override {
    TFakeDriver::NextSupportedTypes = {oftString, oftFloat, oftInteger, oftAutoInc};
    TFakeDriver::NextAccessMethods = {damISAM};
  }

  TFakeDriver& Driver() { return *static_cast<TFakeDriver*>(db_->GetDriver()); }
  std::unique_ptr<TObjectFile> OpenFile(TClass Mapping = TFwItemMapping::StaticClass()) {
    auto f = std::make_unique<TObjectFile>(*db_, "Items", Mapping);
    f->Open();
    return f;
  }
  static void Put(TObjectFile& F, const std::string& Name, std::int32_t Code) {
    TFwItem item(Name, Code);
    F.SetCurrentObj(&item);
    F.Insert();
  }
  static TFwItem& Cur(TObjectFile& F) { return *static_cast<TFwItem*>(F.GetCurrentObj()); }

  std::unique_ptr<TObjectDatabase> db_;
};

// --- registry and handle table ---------------------------------------------

TEST(OdbDriverRegistry, NamesIgnoreLetterCaseAndStayUnique) {
  RegisterOdbDriver(TFakeDriver::StaticClass(), "FlatFileTest");
  ExpectRaises<EOdbDriverAlreadyRegistered>(
      [&] { RegisterOdbDriver(TOdbDriver::StaticClass(), "FLATFILETEST"); }, "FLATFILETEST");
  EXPECT_EQ(GetOdbDriverClass("flatfiletest"), TFakeDriver::StaticClass());
  ExpectRaises<EOdbDriverNotRegistered>(
      [&] { GetOdbDriverClass("Dummy"); },
      ::testing::AllOf(::testing::StartsWith("EOdbDriverNotRegistered"),
                       ::testing::EndsWith("Dummy")));
  const auto names = GetOdbDriverNames();
  EXPECT_NE(std::find(names.begin(), names.end(), "FlatFileTest"), names.end());
}

TEST(OdbDriverHandles, LowestFreeNumberIsReusedAndStatesAreFreed) {
  const int before = TCounted::live;
  auto driver = CreateOdbDriver(TFakeDriver::StaticClass(), "x");
  EXPECT_EQ(driver->NewHandle(std::make_unique<TCounted>()), 1);
  EXPECT_EQ(driver->NewHandle(std::make_unique<TCounted>()), 2);
  EXPECT_EQ(driver->NewHandle(nullptr), 3);
  EXPECT_EQ(TCounted::live - before, 2);
  driver->ReleaseHandle(2);
  EXPECT_EQ(TCounted::live - before, 1);
  EXPECT_EQ(driver->NewHandle(nullptr), 2);
  EXPECT_NE(driver->GetHandleDataObj(1), nullptr);
  EXPECT_THROW(driver->GetHandleDataObj(7), EOdbInvalidObjectFileHandle);
  EXPECT_THROW(driver->ReleaseHandle(7), EOdbInvalidObjectFileHandle);
  for (int i = 0; i < 300; ++i) driver->NewHandle(nullptr);  // beyond the first 200 slots
  EXPECT_EQ(driver->GetHandleCount(), 303);
  driver.reset();
  EXPECT_EQ(TCounted::live - before, 0);  // the table frees what it still holds
}

TEST(OdbDriverCreation, RefusesClassesThatAreNoDrivers) {
  EXPECT_THROW(CreateOdbDriver(TFwItem::StaticClass(), "x"), EOdbDriverNotRegistered);
  EXPECT_THROW(CreateOdbDriver(TOdbDriver::StaticClass(), "x"), EOdbDriverNotRegistered);
  EXPECT_THROW(CreateOdbDriver(TClass(), "x"), EOdbDriverNotRegistered);
}

// --- the driver's wrappers --------------------------------------------------

TEST(OdbDriverWrappers, CheckTheStateAndKeepTheDefaults) {
  auto driver = CreateOdbDriver(TFakeDriver::StaticClass(), "x");
  EXPECT_EQ(driver->GetDatabaseName(), "x");
  EXPECT_THROW(driver->FindFirst(1), EOdbDatabaseNotOpened);
  EXPECT_THROW(driver->StartTransaction(), EOdbDatabaseNotOpened);
  Log().clear();
  driver->CloseDatabase();  // no state check
  EXPECT_EQ(Log(), Entries{"CloseDatabase"});
  driver->OpenDatabase("", "", "");
  EXPECT_TRUE(driver->GetDatabaseOpened());
  EXPECT_THROW(driver->StartTransaction(), EOdbTransactionNotSupported);
  EXPECT_THROW(driver->Commit(), EOdbTransactionNotSupported);
  EXPECT_THROW(driver->Rollback(), EOdbTransactionNotSupported);
  const std::int32_t h = driver->NewHandle(nullptr);
  EXPECT_THROW(driver->LockCurrent(h), EOdbObjectLockingNotSupported);
  EXPECT_THROW(driver->UnLockCurrent(h), EOdbObjectLockingNotSupported);
  auto& fake = static_cast<TFakeDriver&>(*driver);
  EXPECT_TRUE(driver->IsEmpty(h));  // the default asks the record count
  EXPECT_EQ(fake.ObjectCountCalls, 1);
  driver->Pack(h);  // the default does nothing
  ExpectRaises<EOdbUnsupportedAccessMethod>([&] { driver->CheckAccessMethod(damSQL); },
                                            ::testing::EndsWith("1"));
  driver->CheckAccessMethod(damISAM);
}

TEST(OdbDriverWrappers, OpenFailureLeavesTheDatabaseClosed) {
  auto driver = CreateOdbDriver(TFakeDriver::StaticClass(), "x");
  static_cast<TFakeDriver&>(*driver).FailOn = "OpenDatabase";
  EXPECT_THROW(driver->OpenDatabase("", "", ""), EOdbError);
  EXPECT_FALSE(driver->GetDatabaseOpened());
}

// --- database ---------------------------------------------------------------

TEST_F(OdbFramework, DatabaseNameStateAndTransactions) {
  EXPECT_EQ(db_->GetDatabaseName(), "fake.db");
  EXPECT_TRUE(db_->GetDatabaseOpened());
  EXPECT_THROW(db_->StartTransaction(), EOdbTransactionNotSupported);
  db_->Close();
  EXPECT_FALSE(db_->GetDatabaseOpened());
  EXPECT_EQ(db_->GetDatabaseName(), "fake.db");
  EXPECT_THROW(db_->StartTransaction(), EOdbDatabaseNotOpened);
}

TEST_F(OdbFramework, CloseClosesOpenDatasetsAndKeepsThemRegistered) {
  auto a = OpenFile();
  auto b = std::make_unique<TObjectFile>(*db_, "Closed", TFwItemMapping::StaticClass());
  auto c = OpenFile();
  Log().clear();
  db_->Close();
  EXPECT_EQ(LogOf({"CloseDataset", "CloseDatabase"}),
            (Entries{"CloseDataset", "CloseDataset", "CloseDatabase"}));
  EXPECT_FALSE(a->GetOpened());
  EXPECT_FALSE(c->GetOpened());
  EXPECT_EQ(db_->GetDatasets().GetSize(), 3);
  const TObject* gone = b.get();
  b.reset();
  EXPECT_EQ(db_->GetDatasets().GetSize(), 2);
  for (TObject* o : db_->GetDatasets()) EXPECT_NE(o, gone);
  db_->Open("", "", "");
  a->Open();  // can be opened again
  EXPECT_TRUE(a->GetOpened());
}

// Members of an application class die in declaration order, so the database
// may go first: its files are detached, and neither their operations nor
// their destructors reach the freed database.
TEST_F(OdbFramework, FilesOutlivingTheirDatabaseAreDetached) {
  auto open = OpenFile();
  Put(*open, "a", 1);
  auto bookmark = open->GetBookmark();
  auto closed = std::make_unique<TObjectFile>(*db_, "Closed", TFwItemMapping::StaticClass());
  db_.reset();
  EXPECT_FALSE(open->GetOpened());
  EXPECT_EQ(Cur(*open).Name, "a");
  EXPECT_THROW(open->Open(), EOdbDatabaseNotOpened);
  EXPECT_THROW(open->FindFirst(), EOdbDatabaseNotOpened);
  EXPECT_THROW(open->Insert(), EOdbDatabaseNotOpened);
  EXPECT_THROW(closed->GetDatabase(), EOdbDatabaseNotOpened);
  bookmark.reset();
  closed.reset();
  open.reset();
}

// --- mapping ----------------------------------------------------------------

TEST_F(OdbFramework, MappingDefinesInOrderThroughTheMostDerivedClass) {
  auto m = CreateMapping(TFwAutoItemMapping::StaticClass(), db_.get());
  Entries fields, indices;
  for (TObject* o : m->GetFields()) fields.push_back(static_cast<TOdbField*>(o)->GetName());
  for (TObject* o : m->GetIndices()) indices.push_back(static_cast<TOdbIndex*>(o)->GetName());
  EXPECT_EQ(fields, (Entries{"Name", "Code", "Id"}));
  EXPECT_EQ(indices, (Entries{"ByName", "ByCode", "Plain"}));
  EXPECT_EQ(m->FieldByName("CODE")->GetName(), "Code");
  EXPECT_THROW(m->FieldByName("Nope"), EOdbFieldDoesNotExist);
  EXPECT_EQ(m->GetPrimaryIndex("Items")->GetName(), "ByCode");
  m->AddIndex("SecondPrimary", {iaPrimary}, {});
  EXPECT_EQ(m->GetPrimaryIndex("Items")->GetName(), "ByCode");
  EXPECT_EQ(m->AddIndex("Empty", {}, {})->FieldNamesAsString(','), "");
  EXPECT_THROW(CreateMapping(TFwItem::StaticClass(), db_.get()), EInvalidObjectType);
  EXPECT_THROW(CreateMapping(TORMapping::StaticClass(), db_.get()), EInvalidObjectType);
}

TEST_F(OdbFramework, FieldByNameFollowsChangesToTheFieldsAndTheCallersBuffer) {
  // FieldByName remembers fields by the address of the name it was given:
  // what it returns must still be the first field of that name.
  auto m = CreateMapping(TFwAutoItemMapping::StaticClass(), db_.get());
  TUnorderedList& fields = m->GetFields();
  std::string name = "Code";
  TOdbField* code = m->FieldByName(name);
  ASSERT_EQ(code->GetName(), "Code");
  name = "Name";  // same buffer, another name
  EXPECT_EQ(m->FieldByName(name)->GetName(), "Name");
  name = "Code";
  ASSERT_EQ(m->FieldByName(name), code);

  // An earlier field renamed to the same name comes first.
  TOdbField* first = m->FieldByName("Name");
  first->SetName("Code");
  EXPECT_EQ(m->FieldByName(name), first);
  first->SetName("Name");
  EXPECT_EQ(m->FieldByName(name), code);

  // The field removed, another of that name added: never the freed one.
  const std::uint64_t before = fields.GetChangeCount();
  ASSERT_TRUE(fields.Search(code));
  fields.DeleteCurrent();
  EXPECT_NE(fields.GetChangeCount(), before);
  EXPECT_THROW(m->FieldByName(name), EOdbFieldDoesNotExist);
  TOdbField* again = m->AddField("Code", oftInteger);
  EXPECT_EQ(m->FieldByName(name), again);
}

TEST_F(OdbFramework, MappingWithoutPrimaryIndexNamesTheTable) {
  auto m = CreateMapping(TFwItemMapping::StaticClass(), db_.get());
  m->GetIndices().Clear();
  ExpectRaises<EOdbTableMustHavePrimaryIndex>([&] { m->GetPrimaryIndex("Persons"); },
                                              ::testing::EndsWith("Persons"));
}

TEST_F(OdbFramework, UnsupportedFieldTypeFailsTheConstructorCleanly) {
  TFakeDriver::NextSupportedTypes = {oftString, oftInteger, oftAutoInc};
  TObjectDatabase db(TFakeDriver::StaticClass(), "nofloat");
  db.Open("", "", "");
  EXPECT_THROW(TObjectFile(db, "Items", TNoFloatMapping::StaticClass()), EOdbFieldTypeNotSupported);
  EXPECT_EQ(db.GetDatasets().GetSize(), 0);
  TObjectFile ok(db, "Items", TFwItemMapping::StaticClass());  // no float: fine
  EXPECT_EQ(ok.GetFields().GetSize(), 2);
}

TEST_F(OdbFramework, ObjectFileNeedsRecordAccess) {
  TFakeDriver::NextAccessMethods = {damSQL};
  TObjectDatabase db(TFakeDriver::StaticClass(), "sqlonly");
  ExpectRaises<EOdbUnsupportedAccessMethod>(
      [&] { TObjectFile f(db, "Items", TFwItemMapping::StaticClass()); }, ::testing::EndsWith("0"));
  EXPECT_EQ(db.GetDatasets().GetSize(), 0);
}

// --- dataset ----------------------------------------------------------------

TEST_F(OdbFramework, OpenAndCloseCallTheDriverOnce) {
  TObjectFile f(*db_, "Items", TFwItemMapping::StaticClass());
  Log().clear();
  f.Open();
  f.Open();
  EXPECT_EQ(LogOf({"OpenDataset", "SetIndexName", "FindFirst"}),
            (Entries{"OpenDataset(Items)", "SetIndexName(ByName)", "FindFirst"}));
  EXPECT_THROW(f.GetCurrentObj(), EOdbObjectFileNotPositioned);  // empty file
  f.Close();
  f.Close();
  EXPECT_EQ(LogOf({"CloseDataset"}).size(), 1u);
}

TEST_F(OdbFramework, NavigationKeepsTheObjectAtTheEndsAndAfterClose) {
  auto f = OpenFile();
  Put(*f, "a", 1);
  Put(*f, "b", 2);
  ASSERT_TRUE(f->FindFirst());
  ASSERT_TRUE(f->FindNext());
  EXPECT_FALSE(f->FindNext());
  EXPECT_EQ(Cur(*f).Name, "b");
  f->Close();
  EXPECT_EQ(Cur(*f).Name, "b");
  EXPECT_THROW(f->FindFirst(), EOdbInvalidObjectFileHandle);  // handle 0 reaches the driver
}

TEST_F(OdbFramework, ReadingRunsAfterObjectReadOnARewoundStream) {
  auto f = OpenFile();
  Put(*f, "a", 1);
  Log().clear();
  ASSERT_TRUE(f->FindFirst());
  EXPECT_EQ(LogOf({"GetCurrent", "AfterObjectRead", "UpdateFieldsFromObj"}),
            (Entries{"GetCurrent", "AfterObjectRead(0)", "UpdateFieldsFromObj"}));
}

TEST_F(OdbFramework, UniqueIndexListsFollowDefinitionOrder) {
  auto f = OpenFile();
  TUnorderedList list(TOdbIndex::StaticClass(), &CompareOdbIndex);
  f->GetAllUniqueIndices(list);
  Entries names;
  for (TObject* o : list) names.push_back(static_cast<TOdbIndex*>(o)->GetName());
  EXPECT_EQ(names, (Entries{"ByName", "ByCode"}));
  EXPECT_FALSE(list.GetOwnership());

  auto old = CreateMapping(TFwItemMapping::StaticClass(), db_.get());
  auto now = CreateMapping(TFwItemMapping::StaticClass(), db_.get());
  TFwItem a("same", 1), b("same", 1);
  old->UpdateFieldsFromObj(&a);
  now->UpdateFieldsFromObj(&b);
  f->GetModifiedUniqueIndices(list, old->GetFields(), now->GetFields());
  EXPECT_TRUE(list.QueryEmpty());
  b.Code = 2;
  now->UpdateFieldsFromObj(&b);
  f->GetModifiedUniqueIndices(list, old->GetFields(), now->GetFields());
  ASSERT_EQ(list.GetSize(), 1);
  EXPECT_EQ(static_cast<TOdbIndex*>(*list.begin())->GetName(), "ByCode");
}

TEST_F(OdbFramework, DeleteDatasetClosesFirst) {
  auto f = OpenFile();
  Log().clear();
  f->DeleteFile();
  EXPECT_EQ(LogOf({"CloseDataset", "DeleteDataset"}), (Entries{"CloseDataset", "DeleteDataset"}));
  EXPECT_FALSE(f->GetOpened());
}

// --- object file: current object --------------------------------------------

TEST_F(OdbFramework, SetCurrentObjTakesACopyOfTheRightClass) {
  auto f = OpenFile();
  TFwItem item("mine", 5);
  f->SetCurrentObj(&item);
  item.Name = "changed";
  EXPECT_EQ(Cur(*f).Name, "mine");
  TFwOther other;
  EXPECT_THROW(f->SetCurrentObj(&other), EInvalidObjectType);
  EXPECT_EQ(Cur(*f).Name, "mine");
  f->SetCurrentObj(nullptr);
  EXPECT_THROW(f->GetCurrentObj(), EOdbObjectFileNotPositioned);

  // With a copy procedure the copy is made by it, and is still a copy.
  static int copies = 0;
  SetCopyProc(TFwItem::StaticClass(), [](const TObject* Source, TObject* Dest) {
    ++copies;
    *static_cast<TFwItem*>(Dest) = *static_cast<const TFwItem*>(Source);
  });
  f->SetCurrentObj(&item);
  SetCopyProc(TFwItem::StaticClass(), nullptr);
  EXPECT_EQ(copies, 1);
  item.Name = "again";
  EXPECT_EQ(Cur(*f).Name, "changed");
}

// --- object file: insert, update, delete ------------------------------------

TEST_F(OdbFramework, InsertRunsHooksAndDriverInOrder) {
  auto f = OpenFile();
  Put(*f, "a", 1);  // first insert: the file is empty, so no check at all
  Driver().DupInsert = true;
  Log().clear();
  Put(*f, "b", 2);
  EXPECT_EQ(LogOf({"Before", "After", "UpdateFieldsFromObj", "Insert(", "Update(", "FindExact",
                   "GetBookmark", "GotoBookmark"}),
            (Entries{"BeforeInsert", "UpdateFieldsFromObj", "GetBookmark", "FindExact(ByName)",
                     "FindExact(ByCode)", "GotoBookmark(0)", "BeforeObjectPost(0)",
                     "Insert(" + std::to_string(Driver().Records.back().Image.size()) + ")",
                     "AfterInsert"}));
  EXPECT_EQ(Driver().OpenBookmarks, 0);
  EXPECT_EQ(Cur(*f).Name, "b");  // not reloaded: the object just inserted
}

TEST_F(OdbFramework, InsertFromAnInsertHookKeepsBothImages) {
  auto f = OpenFile(TNestedInsertMapping::StaticClass());
  TNestedInsertMapping::Target = f.get();
  TFwItem outer("outer", 1);
  f->SetCurrentObj(&outer);
  f->Insert();
  ASSERT_EQ(Driver().Records.size(), 2u);
  EXPECT_EQ(Driver().Records[0].Image, ImageOf(TFwItem("inner", 9)));
  EXPECT_EQ(Driver().Records[1].Image, ImageOf(outer));
  // The file's kept streams still serve the next insert.
  Put(*f, "next", 2);
  EXPECT_EQ(Driver().Records.back().Image, ImageOf(TFwItem("next", 2)));
}

TEST_F(OdbFramework, InsertWithoutTheDriversCheckReachesTheDriverDirectly) {
  auto f = OpenFile();
  Put(*f, "a", 1);
  Log().clear();
  Put(*f, "a", 1);  // a duplicate, but the driver does not ask for the check
  EXPECT_TRUE(LogOf({"FindExact", "GetBookmark"}).empty());
  EXPECT_EQ(Driver().Records.size(), 2u);
}

TEST_F(OdbFramework, DuplicateKeyIsRefusedAndIndexAndPositionRestored) {
  auto f = OpenFile();
  Put(*f, "a", 1);
  Put(*f, "b", 2);
  Put(*f, "c", 3);
  Driver().DupInsert = true;
  f->SetIndexName("Plain");
  ASSERT_TRUE(f->FindFirst());
  ASSERT_TRUE(f->FindNext());  // on b
  Log().clear();
  TFwItem dup("x", 3);  // collides on ByCode only
  f->SetCurrentObj(&dup);
  ExpectRaises<EOdbKeyViolation>([&] { f->Insert(); }, ::testing::EndsWith("ByCode"));
  EXPECT_EQ(Driver().Records.size(), 3u);
  EXPECT_EQ(f->GetIndexName(), "Plain");
  EXPECT_EQ(Driver().Pos, 1);
  EXPECT_EQ(Driver().OpenBookmarks, 0);
  EXPECT_TRUE(LogOf({"AfterInsert", "BeforeObjectPost", "Insert"}).empty());
  EXPECT_EQ(Cur(*f).Name, "x");  // the current object is untouched
}

TEST_F(OdbFramework, FailingSearchInTheCheckStillRestoresAndFreesTheBookmark) {
  auto f = OpenFile();
  Put(*f, "a", 1);
  Put(*f, "b", 2);
  Driver().DupInsert = true;
  f->SetIndexName("Plain");
  ASSERT_TRUE(f->FindFirst());
  Driver().FailOn = "FindExact";
  TFwItem item("c", 3);
  f->SetCurrentObj(&item);
  EXPECT_THROW(f->Insert(), EOdbError);
  EXPECT_EQ(Driver().OpenBookmarks, 0);
  EXPECT_EQ(f->GetIndexName(), "Plain");
  EXPECT_EQ(Driver().Pos, 0);
  EXPECT_EQ(Driver().Records.size(), 2u);
}

TEST_F(OdbFramework, InsertWithoutCurrentObjectFailsAfterBeforeInsert) {
  auto f = OpenFile();
  Log().clear();
  EXPECT_THROW(f->Insert(), EOdbObjectFileNotPositioned);
  EXPECT_EQ(Log(), Entries{"BeforeInsert"});
}

TEST_F(OdbFramework, AutoIncrementInsertsEmptyThenCompletesTheImage) {
  auto f = OpenFile(TFwAutoItemMapping::StaticClass());
  Log().clear();
  Put(*f, "a", 1);
  const std::string imageSize = std::to_string(Driver().Records.back().Image.size());
  EXPECT_EQ(LogOf({"Insert(", "UpdateObjFromFields", "BeforeObjectPost", "Update(", "AfterInsert"}),
            (Entries{"Insert(0)", "UpdateObjFromFields", "BeforeObjectPost(0)",
                     "Update(" + imageSize + ")", "AfterInsert"}));
  EXPECT_EQ(Cur(*f).Id, 100);
  // The stored image carries the assigned number.
  ASSERT_TRUE(f->FindFirst());
  EXPECT_EQ(Cur(*f).Id, 100);
}

TEST_F(OdbFramework, AutoIncrementFailureRemovesTheHalfRecord) {
  auto f = OpenFile(TFwAutoItemMapping::StaticClass());
  Driver().FailOn = "Update";
  TFwItem item("a", 1);
  f->SetCurrentObj(&item);
  EXPECT_THROW(f->Insert(), EOdbError);
  EXPECT_TRUE(Driver().Records.empty());
  EXPECT_TRUE(LogOf({"AfterInsert"}).empty());
}

TEST_F(OdbFramework, FailingDriverOrHookEndsTheOperationWithoutItsAfterHook) {
  auto f = OpenFile();
  Put(*f, "a", 1);
  Driver().FailOn = "Insert";
  TFwItem item("b", 2);
  f->SetCurrentObj(&item);
  EXPECT_THROW(f->Insert(), EOdbError);
  Driver().FailOn.clear();
  TFwItemMapping::FailingHook = "BeforeObjectPost";
  Log().clear();
  EXPECT_THROW(f->Update(), EOdbError);
  EXPECT_EQ(LogOf({"Update(", "AfterUpdate"}), Entries{});
  EXPECT_EQ(Driver().Records.size(), 1u);
}

TEST_F(OdbFramework, UpdateChecksOnlyChangedKeys) {
  auto f = OpenFile();
  Put(*f, "a", 1);
  Put(*f, "b", 2);
  Driver().DupUpdate = true;
  ASSERT_TRUE(f->FindFirst());
  Log().clear();
  f->Update();  // nothing changed: no search at all
  EXPECT_TRUE(LogOf({"FindExact"}).empty());
  Cur(*f).Code = 2;  // now the primary key collides with b
  Log().clear();
  EXPECT_THROW(f->Update(), EOdbKeyViolation);
  EXPECT_EQ(LogOf({"FindExact"}), Entries{"FindExact(ByCode)"});
  EXPECT_EQ(LogOf({"Update("}).size(), 0u);
  EXPECT_EQ(Driver().OpenBookmarks, 0);
}

// A key changed only in letter case on a case-insensitive index is the same
// key, so no search is made; a change the engine does not tell apart
// (blank-padded keys) finds the record itself, which is no collision. A
// real collision in another letter case is still refused.
TEST_F(OdbFramework, UpdateNeverCollidesWithItsOwnRecord) {
  auto f = OpenFile(TNoCaseNameMapping::StaticClass());
  Put(*f, "grace", 1);
  Put(*f, "ada", 2);
  Driver().DupUpdate = true;
  Driver().PadKeys = true;
  ASSERT_TRUE(f->FindFirst());
  Cur(*f).Name = "Grace";
  Log().clear();
  f->Update();
  EXPECT_TRUE(LogOf({"FindExact"}).empty());
  Cur(*f).Name = "Grace  ";
  Log().clear();
  f->Update();
  EXPECT_EQ(LogOf({"FindExact"}), Entries{"FindExact(ByName)"});
  EXPECT_EQ(GetFieldInList("Name", *Driver().Records[0].Fields)->GetAsString(), "Grace  ");
  ASSERT_TRUE(f->FindNext());
  Cur(*f).Name = "GRACE";
  EXPECT_THROW(f->Update(), EOdbKeyViolation);
  EXPECT_EQ(Driver().Pos, 1);
  EXPECT_EQ(Driver().OpenBookmarks, 0);
}

TEST_F(OdbFramework, UpdateAndDeleteNeedACurrentObjectBeforeAnyHook) {
  auto f = OpenFile();
  Log().clear();
  EXPECT_THROW(f->Update(), EOdbObjectFileNotPositioned);
  EXPECT_THROW(f->Delete(), EOdbObjectFileNotPositioned);
  EXPECT_TRUE(Log().empty());
}

TEST_F(OdbFramework, DeleteReloadsWhatTheDriverMovesTo) {
  auto f = OpenFile();
  Put(*f, "a", 1);
  Put(*f, "b", 2);
  ASSERT_TRUE(f->FindFirst());
  Log().clear();
  f->Delete();
  EXPECT_EQ(LogOf({"BeforeDelete", "Delete", "AfterDelete", "GetCurrent"}),
            (Entries{"BeforeDelete", "Delete", "AfterDelete", "GetCurrent"}));
  EXPECT_EQ(Cur(*f).Name, "b");
  f->Delete();
  EXPECT_THROW(f->GetCurrentObj(), EOdbObjectFileNotPositioned);
}

TEST_F(OdbFramework, ReloadFailureKeepsOrClearsTheCurrentObject) {
  auto f = OpenFile();
  Put(*f, "a", 1);
  Driver().FailOn = "GetCurrent";
  EXPECT_THROW(f->FindFirst(), EOdbError);
  EXPECT_EQ(Cur(*f).Name, "a");  // the driver failed: unchanged
  Driver().FailOn.clear();
  Driver().Records[0].Image = "garbage";
  EXPECT_THROW(f->ReloadCurrent(), Exception);
  EXPECT_THROW(f->GetCurrentObj(), EOdbObjectFileNotPositioned);  // unreadable: none
}

TEST_F(OdbFramework, ForeignImageIsRefusedBeforeTheMappingSeesIt) {
  auto f = OpenFile();
  Put(*f, "a", 1);
  TMemoryStream image;
  {
    TObjectStream os(&image, false);
    TFwOther other;
    os.WriteObject(&other);
  }
  Driver().Records[0].Image = std::string(image.View());
  EXPECT_THROW(f->FindFirst(), EInvalidObjectType);
}

// --- object file: finding and bookmarks -------------------------------------

TEST_F(OdbFramework, FindExactUsesTheCurrentObjectAsKey) {
  auto f = OpenFile();
  Log().clear();
  EXPECT_FALSE(f->FindExact());  // no current object: no driver call
  EXPECT_TRUE(LogOf({"FindExact"}).empty());
  Put(*f, "a", 1);
  Put(*f, "b", 2);
  f->SetIndexName("ByCode");
  TFwItem key("", 1);
  f->SetCurrentObj(&key);
  ASSERT_TRUE(f->FindExact());
  EXPECT_EQ(Cur(*f).Name, "a");
  Driver().SetIndexName(f->GetHandle(), "Gone");
  EXPECT_THROW(f->FindExact(), EOdbIndexDoesNotExist);
}

TEST_F(OdbFramework, SetIndexNameCallsTheDriverOnlyForAChange) {
  auto f = OpenFile();
  Log().clear();
  f->SetIndexName("ByName");
  EXPECT_TRUE(LogOf({"SetIndexName"}).empty());
  f->SetIndexName("BYNAME");  // letter case counts here
  EXPECT_EQ(LogOf({"SetIndexName"}), Entries{"SetIndexName(BYNAME)"});
  EXPECT_EQ(f->GetCurrentIndex()->GetName(), "ByName");
}

TEST_F(OdbFramework, BookmarksAreFreedExactlyOnce) {
  auto f = OpenFile();
  Put(*f, "a", 1);
  Put(*f, "b", 2);
  ASSERT_TRUE(f->FindFirst());
  auto mark = f->GetBookmark();
  EXPECT_EQ(Driver().OpenBookmarks, 1);
  f->SetIndexName("ByCode");
  ASSERT_TRUE(f->FindLast());
  f->GotoBookmark(*mark);
  EXPECT_EQ(Cur(*f).Name, "a");
  EXPECT_EQ(f->GetIndexName(), "ByName");
  EXPECT_EQ(Driver().OpenBookmarks, 1);
  f->GotoBookmark(std::move(mark));
  EXPECT_EQ(Driver().OpenBookmarks, 0);
  // A failing return still frees the bookmark.
  auto again = f->GetBookmark();
  Driver().FailOn = "GotoBookmark";
  EXPECT_THROW(f->GotoBookmark(std::move(again)), EOdbError);
  EXPECT_EQ(Driver().OpenBookmarks, 0);
}

// --- version-1 form ---------------------------------------------------------

class TPlainV1File : public TObjectFile {
 public:
  TPlainV1File(TObjectDatabase& Db, std::string Name)
      : TObjectFile(Db, std::move(Name), TFwItem::StaticClass(), version1Form) {}
  void DefineFields() override {
    AddField("Name", oftString, 21);
    AddField("Code", oftInteger);
  }
  void DefineIndices() override { AddIndex("ByCode", {iaPrimary}, {"Code"}); }
  void UpdateFieldsFromObj(const TObject* Obj) override {
    FieldByName("Name")->SetAsString(static_cast<const TFwItem*>(Obj)->Name);
    FieldByName("Code")->SetAsInteger(static_cast<const TFwItem*>(Obj)->Code);
  }
};

class THookedV1File : public TPlainV1File {
 public:
  using TPlainV1File::TPlainV1File;
  void BeforeInsert() override { Log().push_back("file.BeforeInsert"); }
  void AfterDelete() override { Log().push_back("file.AfterDelete"); }
};

TEST_F(OdbFramework, Version1FileDefinesItselfAndRunsNoHookItDidNotOverride) {
  TPlainV1File f(*db_, "V1");
  f.Open();  // defines the fields on first use
  EXPECT_EQ(f.GetFields().GetSize(), 2);
  EXPECT_EQ(f.GetIndexName(), "ByCode");
  EXPECT_EQ(f.GetObjectType(), TFwItem::StaticClass());
  Log().clear();
  TFwItem item("v", 1);
  f.SetCurrentObj(&item);
  f.Insert();
  f.Update();
  f.Delete();
  EXPECT_EQ(LogOf({"Before", "After"}), Entries{});  // no mapping hook, no loop
  EXPECT_EQ(Driver().Records.size(), 0u);
}

TEST_F(OdbFramework, Version1FileHooksRunWhenOverridden) {
  THookedV1File f(*db_, "V1");
  f.AfterConstruction();
  f.AfterConstruction();  // once only
  EXPECT_EQ(f.GetFields().GetSize(), 2);
  f.Open();
  Log().clear();
  TFwItem item("v", 1);
  f.SetCurrentObj(&item);
  f.Insert();
  f.Delete();
  EXPECT_EQ(LogOf({"file."}), (Entries{"file.BeforeInsert", "file.AfterDelete"}));
}

}  // namespace
}  // namespace corvid::test
