#include "PgTestSupport.h"

#include "corvid/containers/ObjRoot.h"
#include "corvid/odb/OdbDriver.h"
#include "corvid/odb/OdbField.h"
#include "corvid/odb/OdbIndex.h"
#include "corvid/persist/ObjPerst.h"

namespace pgtest {

using namespace corvid;

namespace {

std::string ReadItemName(TReader& R) {
  return R.ReadString();
}

void WriteItem(TObject* Obj, TObjectWriter& Writer) {
  const auto& i = static_cast<const TItem&>(*Obj);
  Writer.WriteString(i.Name);
  Writer.WriteInteger(i.Code);
  Writer.WriteFloat(i.Weight);
  Writer.WriteInteger(i.Id);
}

void ReadItem(TObject* Obj, TObjectReader& Reader) {
  auto& i = static_cast<TItem&>(*Obj);
  i.Name = ReadItemName(Reader);
  i.Code = Reader.ReadInteger();
  i.Weight = static_cast<double>(Reader.ReadFloat());
  i.Id = Reader.ReadInteger();
}

const bool registered = [] {
  RegisterStreamable(TItem::StaticClass(), {ReadItem}, {WriteItem});
  return true;
}();

}  // namespace

void TItemMapping::DefineFields() {
  AddField("Name", oftString, 31);
  AddField("Code", oftInteger);
  AddField("Weight", oftFloat);
  AddField("Id", oftAutoInc);
}

void TItemMapping::DefineIndices() {
  AddIndex("ById", {iaPrimary}, {"Id"});
  AddIndex("ByName", {iaCaseInsensitive}, {"Name"});
  AddIndex("ByCode", {iaUnique, iaDescending}, {"Code"});
  AddIndex("ByWeightName", {}, {"Weight", "Name"});
}

void TItemMapping::UpdateFieldsFromObj(const TObject* Obj) {
  const auto& i = static_cast<const TItem&>(*Obj);
  FieldByName("Name")->SetAsString(i.Name);
  FieldByName("Code")->SetAsInteger(i.Code);
  FieldByName("Weight")->SetAsFloat(i.Weight);
  FieldByName("Id")->SetAsInteger(i.Id);
}

void TItemMapping::UpdateObjFromFields(TObject* Obj) {
  static_cast<TItem&>(*Obj).Id = FieldByName("Id")->GetAsInteger();
}

void TCodedItemMapping::DefineFields() {
  AddField("Code", oftInteger);
  AddField("Name", oftString, 31);
  AddField("Weight", oftFloat);
}

void TCodedItemMapping::DefineIndices() {
  AddIndex("ByCode", {iaPrimary}, {"Code"});
  AddIndex("ByName", {iaUnique}, {"Name"});
}

void TCodedItemMapping::UpdateFieldsFromObj(const TObject* Obj) {
  const auto& i = static_cast<const TItem&>(*Obj);
  FieldByName("Code")->SetAsInteger(i.Code);
  FieldByName("Name")->SetAsString(i.Name);
  FieldByName("Weight")->SetAsFloat(i.Weight);
}

void TCodedItemMapping::UpdateObjFromFields(TObject* Obj) {
  static_cast<TItem&>(*Obj).Code = FieldByName("Code")->GetAsInteger();
}

}  // namespace pgtest
