#include "DriverContract.h"

#include "corvid/containers/ObjList.h"
#include "corvid/persist/ObjPerst.h"

namespace corvid::contract {

namespace {

void WritePerson(TObject* Obj, TObjectWriter& Writer) {
  auto* p = static_cast<TContractPerson*>(Obj);
  Writer.WriteString(p->Name);
  Writer.WriteInteger(p->Age);
  Writer.WriteFloat(p->Weight);
  Writer.WriteInteger(p->Code);
  Writer.WriteInteger(p->Id);
}

void ReadPerson(TObject* Obj, TObjectReader& Reader) {
  auto* p = static_cast<TContractPerson*>(Obj);
  p->Name = Reader.ReadString();
  p->Age = Reader.ReadInteger();
  p->Weight = static_cast<double>(Reader.ReadFloat());
  p->Code = Reader.ReadInteger();
  p->Id = Reader.ReadInteger();
}

const bool registered = [] {
  RegisterStreamable(TContractPerson::StaticClass(), {ReadPerson}, {WritePerson});
  return true;
}();

}  // namespace

void TPersonMapping::DefineFields() {
  AddField("Name", oftString, 31);
  AddField("Age", oftInteger);
  AddField("Weight", oftFloat);
  AddField("Id", oftAutoInc);
}

void TPersonMapping::DefineIndices() {
  AddIndex("ById", {iaPrimary}, {"Id"});
  AddIndex("ByName", {iaUnique, iaCaseInsensitive}, {"Name"});
  AddIndex("ByAge", {}, {"Age"});
  AddIndex("ByAgeDesc", {iaDescending}, {"Age", "Name"});
}

void TPersonMapping::UpdateFieldsFromObj(const TObject* Obj) {
  auto* p = static_cast<const TContractPerson*>(Obj);
  FieldByName("Name")->SetAsString(p->Name);
  FieldByName("Age")->SetAsInteger(p->Age);
  FieldByName("Weight")->SetAsFloat(p->Weight);
  FieldByName("Id")->SetAsInteger(p->Id);
}

void TPersonMapping::UpdateObjFromFields(TObject* Obj) {
  static_cast<TContractPerson*>(Obj)->Id = FieldByName("Id")->GetAsInteger();
}

void TCodeMapping::DefineFields() {
  AddField("Code", oftInteger);
  AddField("Name", oftString, 31);
  AddField("Age", oftInteger);
}

void TCodeMapping::DefineIndices() {
  AddIndex("ByCode", {iaPrimary}, {"Code"});
  AddIndex("ByNameU", {iaUnique}, {"Name"});
}

void TCodeMapping::UpdateFieldsFromObj(const TObject* Obj) {
  auto* p = static_cast<const TContractPerson*>(Obj);
  FieldByName("Code")->SetAsInteger(p->Code);
  FieldByName("Name")->SetAsString(p->Name);
  FieldByName("Age")->SetAsInteger(p->Age);
}

void TLongMapping::DefineFields() {
  AddField("Name", oftString, 256);
  AddField("Age", oftInteger);
}

void TLongMapping::DefineIndices() {
  AddIndex("ByName", {iaPrimary}, {"Name"});
}

void TLongMapping::UpdateFieldsFromObj(const TObject* Obj) {
  auto* p = static_cast<const TContractPerson*>(Obj);
  FieldByName("Name")->SetAsString(p->Name);
  FieldByName("Age")->SetAsInteger(p->Age);
}

void TTinyMapping::DefineFields() {
  AddField("Flag", oftString, 1);
  AddField("Code", oftInteger);
}

void TTinyMapping::DefineIndices() {
  AddIndex("ByCode", {iaPrimary}, {"Code"});
}

void TTinyMapping::UpdateFieldsFromObj(const TObject* Obj) {
  auto* p = static_cast<const TContractPerson*>(Obj);
  FieldByName("Flag")->SetAsString(p->Name);
  FieldByName("Code")->SetAsInteger(p->Code);
}

void TLooseTinyMapping::DefineIndices() {
  AddIndex("ByFlag", {}, {"Flag"});
}

std::string ContractConfigName(const ::testing::TestParamInfo<TDriverConfig>& Info) {
  return Info.param.Label;
}

void DriverContract::SetUp() {
  const TDriverConfig& c = GetParam();
  if (c.SkipReason) {
    const std::string why = c.SkipReason();
    if (!why.empty()) GTEST_SKIP() << why;
  }
  databaseName_ = c.MakeDatabase(server_, user_, password_);
  db_ = Connect();
}

void DriverContract::TearDown() {
  db_.reset();
  if (!databaseName_.empty() && GetParam().DropDatabase) GetParam().DropDatabase(databaseName_);
}

std::unique_ptr<TObjectDatabase> DriverContract::Connect() {
  auto db =
      std::make_unique<TObjectDatabase>(GetOdbDriverClass(GetParam().DriverName), databaseName_);
  db->Open(server_, user_, password_);
  return db;
}

std::unique_ptr<TObjectFile> DriverContract::MakeFile(const std::string& Name, TClass MappingClass,
                                                      TObjectDatabase* On) {
  auto file = std::make_unique<TObjectFile>(On != nullptr ? *On : Db(), Name, MappingClass);
  file->CreateFile();
  file->Open();
  return file;
}

void DriverContract::Put(TObjectFile& File, const std::string& Name, std::int32_t Age,
                         double Weight, std::int32_t Code) {
  TContractPerson p(Name, Age, Weight, Code);
  File.SetCurrentObj(&p);
  File.Insert();
}

std::vector<std::string> DriverContract::Walk(TObjectFile& File, bool Backward) {
  std::vector<std::string> names;
  bool more = Backward ? File.FindLast() : File.FindFirst();
  while (more) {
    names.push_back(Current(File).Name);
    more = Backward ? File.FindPrior() : File.FindNext();
  }
  return names;
}

TContractPerson& DriverContract::Current(TObjectFile& File) {
  return *static_cast<TContractPerson*>(File.GetCurrentObj());
}

}  // namespace corvid::contract
