#include "FakeDriver.h"

#include "corvid/containers/ObjList.h"
#include "corvid/persist/ObjPerst.h"
#include "corvid/persist/Streams.h"
#include "corvid/util/OdbMisc.h"
#include "corvid/values/ObjBuckt.h"

namespace corvid::test {

namespace {

void WriteFwItem(TObject* Obj, TObjectWriter& Writer) {
  auto* i = static_cast<TFwItem*>(Obj);
  Writer.WriteString(i->Name);
  Writer.WriteInteger(i->Code);
  Writer.WriteInteger(i->Id);
}

void ReadFwItem(TObject* Obj, TObjectReader& Reader) {
  auto* i = static_cast<TFwItem*>(Obj);
  i->Name = Reader.ReadString();
  i->Code = Reader.ReadInteger();
  i->Id = Reader.ReadInteger();
}

void WriteFwOther(TObject*, TObjectWriter&) {}
void ReadFwOther(TObject*, TObjectReader&) {}

const bool registered = [] {
  RegisterStreamable(TFwItem::StaticClass(), {ReadFwItem}, {WriteFwItem});
  RegisterStreamable(TFwOther::StaticClass(), {ReadFwOther}, {WriteFwOther});
  return true;
}();

}  // namespace

std::vector<std::string>& Log() {
  static std::vector<std::string> log;
  return log;
}

std::vector<std::string> LogOf(const std::vector<std::string>& Names) {
  std::vector<std::string> r;
  for (const std::string& e : Log()) {
    for (const std::string& n : Names) {
      if (e.compare(0, n.size(), n) == 0) {
        r.push_back(e);
        break;
      }
    }
  }
  return r;
}

// --- the fake driver --------------------------------------------------------

TOdbFieldTypes TFakeDriver::NextSupportedTypes{oftString, oftFloat, oftInteger, oftAutoInc};
TDataAccessMethodSet TFakeDriver::NextAccessMethods{damISAM};

void TFakeDriver::AfterConstruction() {
  methods_ = NextAccessMethods;
  TOdbDriver::AfterConstruction();
}

void TFakeDriver::Note(const std::string& Entry) {
  Log().push_back(Entry);
  const std::string op = Entry.substr(0, Entry.find('('));
  if (!FailOn.empty() && op == FailOn) RaiseOdb<EOdbError>("injected");
}

void TFakeDriver::InternalOpenDatabase(const std::string&, const std::string&, const std::string&) {
  Note("OpenDatabase");
}

void TFakeDriver::InternalCloseDatabase() {
  Log().push_back("CloseDatabase");
}

std::int32_t TFakeDriver::InternalOpenDataset(TObjectDataset& Dataset) {
  Note("OpenDataset(" + Dataset.GetDatasetName() + ")");
  Pos = Records.empty() ? -1 : 0;
  return NewHandle(nullptr);
}

void TFakeDriver::InternalCloseDataset(std::int32_t Handle) {
  Note("CloseDataset");
  ReleaseHandle(Handle);
}

void TFakeDriver::InternalDeleteDataset(TObjectDataset&) {
  Note("DeleteDataset");
  Records.clear();
}

void TFakeDriver::InternalCreateDataset(TObjectDataset&) {
  Note("CreateDataset");
}

void TFakeDriver::InternalInsert(std::int32_t Handle, TUnorderedList& Fields,
                                 TMemoryStream& Stream) {
  GetHandleDataObj(Handle);
  Note("Insert(" + std::to_string(Stream.GetSize()) + ")");
  for (TObject* o : Fields) {
    auto* f = static_cast<TOdbField*>(o);
    if (f->GetFieldType() == oftAutoInc)
      f->SetAsInteger(static_cast<std::int32_t>(Records.size()) + 100);
  }
  Records.push_back({CloneObjAs<TUnorderedList>(&Fields), std::string(Stream.View())});
  Pos = static_cast<int>(Records.size()) - 1;
}

void TFakeDriver::InternalUpdate(std::int32_t Handle, TUnorderedList& Fields,
                                 TMemoryStream& Stream) {
  GetHandleDataObj(Handle);
  Note("Update(" + std::to_string(Stream.GetSize()) + ")");
  TRecord& r = Records.at(static_cast<std::size_t>(Pos));
  r.Fields = CloneObjAs<TUnorderedList>(&Fields);
  r.Image = std::string(Stream.View());
}

void TFakeDriver::InternalDelete(std::int32_t Handle) {
  GetHandleDataObj(Handle);
  Note("Delete");
  if (Pos < 0) RaiseOdb<EOdbObjectNotFound>("nothing current");
  Records.erase(Records.begin() + Pos);
  if (Pos >= static_cast<int>(Records.size())) Pos = static_cast<int>(Records.size()) - 1;
}

std::string TFakeDriver::InternalGetIndexName(std::int32_t Handle) {
  GetHandleDataObj(Handle);
  return indexName_;
}

void TFakeDriver::InternalSetIndexName(std::int32_t Handle, const std::string& Name) {
  GetHandleDataObj(Handle);
  Note("SetIndexName(" + Name + ")");
  indexName_ = Name;
}

void TFakeDriver::InternalGetCurrent(std::int32_t Handle, TMemoryStream& Stream) {
  GetHandleDataObj(Handle);
  Note("GetCurrent");
  const std::string& image = Records.at(static_cast<std::size_t>(Pos)).Image;
  Stream.WriteBuffer(image.data(), static_cast<std::int64_t>(image.size()));
}

bool TFakeDriver::InternalFindNext(std::int32_t Handle) {
  GetHandleDataObj(Handle);
  Note("FindNext");
  if (Pos + 1 >= static_cast<int>(Records.size())) return false;
  ++Pos;
  return true;
}

bool TFakeDriver::InternalFindPrior(std::int32_t Handle) {
  GetHandleDataObj(Handle);
  Note("FindPrior");
  if (Pos <= 0) return false;
  --Pos;
  return true;
}

bool TFakeDriver::InternalFindFirst(std::int32_t Handle) {
  GetHandleDataObj(Handle);
  Note("FindFirst");
  if (Records.empty()) return false;
  Pos = 0;
  return true;
}

bool TFakeDriver::InternalFindLast(std::int32_t Handle) {
  GetHandleDataObj(Handle);
  Note("FindLast");
  if (Records.empty()) return false;
  Pos = static_cast<int>(Records.size()) - 1;
  return true;
}

bool TFakeDriver::InternalFindExact(std::int32_t Handle, TUnorderedList& Fields,
                                    const TOdbIndex& Index) {
  GetHandleDataObj(Handle);
  Note("FindExact(" + Index.GetName() + ")");
  for (std::size_t r = 0; r < Records.size(); ++r) {
    bool equal = true;
    for (TObject* n : Index.FieldNames()) {
      const std::string& name = static_cast<TStringCombo*>(n)->Str;
      if (!KeyEqual(*GetFieldInList(name, *Records[r].Fields), *GetFieldInList(name, Fields),
                    Index)) {
        equal = false;
        break;
      }
    }
    if (equal) {
      Pos = static_cast<int>(r);
      return true;
    }
  }
  return false;
}

bool TFakeDriver::KeyEqual(const TOdbField& Stored, const TOdbField& Probe,
                           const TOdbIndex& Index) const {
  if (Stored.GetFieldType() != oftString) return FieldsEqual(Stored, Probe);
  std::string a = Stored.GetAsString();
  std::string b = Probe.GetAsString();
  if (PadKeys) {
    a.erase(a.find_last_not_of(' ') + 1);
    b.erase(b.find_last_not_of(' ') + 1);
  }
  if (Index.GetAttributes().Contains(iaCaseInsensitive)) {
    return CompareStringNoCase(a, b) == cmpEqual;
  }
  return a == b;
}

void TFakeDriver::InternalFindNearest(std::int32_t Handle, TUnorderedList&, const TOdbIndex&) {
  GetHandleDataObj(Handle);
  Note("FindNearest");
  Pos = Records.empty() ? -1 : 0;
}

std::int32_t TFakeDriver::InternalGetObjectCount(std::int32_t Handle) {
  GetHandleDataObj(Handle);
  ++ObjectCountCalls;
  return static_cast<std::int32_t>(Records.size());
}

TOdbBookmarkData TFakeDriver::InternalGetBookmark(std::int32_t Handle) {
  GetHandleDataObj(Handle);
  Note("GetBookmark");
  ++OpenBookmarks;
  bookmarks_.push_back(std::make_unique<int>(Pos));
  return bookmarks_.back().get();
}

void TFakeDriver::InternalGotoBookmark(std::int32_t Handle, TOdbBookmarkData Bookmark) {
  GetHandleDataObj(Handle);
  Note("GotoBookmark(" + std::to_string(*static_cast<int*>(Bookmark)) + ")");
  Pos = *static_cast<int*>(Bookmark);
}

void TFakeDriver::InternalFreeBookmark(std::int32_t Handle, TOdbBookmarkData Bookmark) {
  GetHandleDataObj(Handle);
  --OpenBookmarks;
  std::erase_if(bookmarks_, [&](const std::unique_ptr<int>& b) { return b.get() == Bookmark; });
}

// --- mappings ---------------------------------------------------------------

std::string TFwItemMapping::FailingHook;

void TFwItemMapping::DefineFields() {
  AddField("Name", oftString, 21);
  AddField("Code", oftInteger);
}

void TFwItemMapping::DefineIndices() {
  AddIndex("ByName", {iaUnique}, {"Name"});
  AddIndex("ByCode", {iaPrimary}, {"Code"});
  AddIndex("Plain", {}, {"Name", "Code"});
}

void TFwItemMapping::UpdateFieldsFromObj(const TObject* Obj) {
  Log().push_back("UpdateFieldsFromObj");
  auto* i = static_cast<const TFwItem*>(Obj);
  FieldByName("Name")->SetAsString(i->Name);
  FieldByName("Code")->SetAsInteger(i->Code);
}

void TFwItemMapping::UpdateObjFromFields(TObject*) {
  Log().push_back("UpdateObjFromFields");
}

void TFwItemMapping::BeforeObjectPost(TMemoryStream& Stream) {
  Log().push_back("BeforeObjectPost(" + std::to_string(Stream.GetPosition()) + ")");
  if (FailingHook == "BeforeObjectPost") RaiseOdb<EOdbError>("hook");
  Stream.SetPosition(Stream.GetSize());  // the caller rewinds afterwards
}

void TFwItemMapping::AfterObjectRead(TMemoryStream& Stream) {
  Log().push_back("AfterObjectRead(" + std::to_string(Stream.GetPosition()) + ")");
  if (FailingHook == "AfterObjectRead") RaiseOdb<EOdbError>("hook");
  Stream.SetPosition(Stream.GetSize());
}

void TFwAutoItemMapping::DefineFields() {
  TFwItemMapping::DefineFields();
  AddField("Id", oftAutoInc);
}

void TFwAutoItemMapping::UpdateFieldsFromObj(const TObject* Obj) {
  TFwItemMapping::UpdateFieldsFromObj(Obj);
  FieldByName("Id")->SetAsInteger(static_cast<const TFwItem*>(Obj)->Id);
}

void TFwAutoItemMapping::UpdateObjFromFields(TObject* Obj) {
  TFwItemMapping::UpdateObjFromFields(Obj);
  static_cast<TFwItem*>(Obj)->Id = FieldByName("Id")->GetAsInteger();
}

}  // namespace corvid::test
