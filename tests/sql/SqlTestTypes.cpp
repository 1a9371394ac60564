#include "SqlTestTypes.h"

#include <langinfo.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>

#include "corvid/odb/OdbErrors.h"
#include "corvid/persist/ObjPerst.h"
#include "corvid/persist/Streams.h"
#include "corvid/util/OdbMisc.h"

namespace sqltest {

using namespace corvid;

void TPersonMapping::DefineFields() {
  AddField("Name", oftString, 31);
  AddField("Age", oftInteger);
  AddField("Weight", oftFloat);
  AddField("Id", oftAutoInc);
}

void TPersonMapping::DefineIndices() {
  AddIndex("ById", {iaPrimary}, {"Id"});
  AddIndex("ByName", {iaUnique, iaDescending}, {"Name", "Age"});
}

void TPersonMapping::UpdateFieldsFromObj(const TObject* Obj) {
  const auto& p = static_cast<const TPerson&>(*Obj);
  FieldByName("Name")->SetAsString(p.Name);
  FieldByName("Age")->SetAsInteger(p.Age);
  FieldByName("Weight")->SetAsFloat(p.Weight);
  FieldByName("Id")->SetAsInteger(p.Id);
}

void TPersonMapping::UpdateObjFromFields(TObject* Obj) {
  static_cast<TPerson&>(*Obj).Id = FieldByName("Id")->GetAsInteger();
}

void TPlainPersonMapping::DefineFields() {
  AddField("Name", oftString, 31);
  AddField("Age", oftInteger);
  AddField("Weight", oftFloat);
  AddField("Id", oftInteger);
}

void TPlainPersonMapping::DefineIndices() {
  AddIndex("ById", {iaPrimary}, {"Id"});
  AddIndex("ByAge", {}, {"Age"});
}

void TNamedMapping::DefineFields() {
  AddField("Key", oftString, 256);
  AddField("Note", oftString, 256);
  AddField("Value", oftInteger);
}

void TNamedMapping::DefineIndices() {
  AddIndex("ByKey", {iaPrimary}, {"Key"});
}

void TNamedMapping::UpdateFieldsFromObj(const TObject* Obj) {
  const auto& n = static_cast<const TNamed&>(*Obj);
  FieldByName("Key")->SetAsString(n.Key);
  FieldByName("Note")->SetAsString(n.Note);
  FieldByName("Value")->SetAsInteger(n.Value);
}

std::vector<std::string> TTracingMapping::Trace;
bool TTracingMapping::FailInPost = false;

void TTracingMapping::UpdateFieldsFromObj(const TObject* Obj) {
  Trace.push_back("UpdateFieldsFromObj");
  TPlainPersonMapping::UpdateFieldsFromObj(Obj);
}

void TTracingMapping::BeforeObjectPost(TMemoryStream& Stream) {
  Trace.push_back("BeforeObjectPost:" + std::to_string(Stream.GetPosition()) + ":" +
                  std::to_string(Stream.GetSize() > 0));
  if (FailInPost) RaiseOdb<EOdbError>("post refused");
  // Move the position to show that the caller rewinds afterwards.
  Stream.Seek(0, soEnd);
}

namespace {

void WritePerson(TObject* Obj, TObjectWriter& Writer) {
  auto& p = static_cast<TPerson&>(*Obj);
  Writer.WriteString(p.Name);
  Writer.WriteInteger(p.Age);
  Writer.WriteFloat(p.Weight);
  Writer.WriteInteger(p.Id);
}

void ReadPerson(TObject* Obj, TObjectReader& Reader) {
  auto& p = static_cast<TPerson&>(*Obj);
  p.Name = Reader.ReadString();
  p.Age = Reader.ReadInteger();
  p.Weight = static_cast<double>(Reader.ReadFloat());
  p.Id = Reader.ReadInteger();
}

void WriteNamed(TObject* Obj, TObjectWriter& Writer) {
  auto& n = static_cast<TNamed&>(*Obj);
  Writer.WriteString(n.Key);
  Writer.WriteString(n.Note);
  Writer.WriteInteger(n.Value);
}

void ReadNamed(TObject* Obj, TObjectReader& Reader) {
  auto& n = static_cast<TNamed&>(*Obj);
  n.Key = Reader.ReadString();
  n.Note = Reader.ReadString();
  n.Value = Reader.ReadInteger();
}

const bool registered = [] {
  RegisterStreamable(TPerson::StaticClass(), {ReadPerson}, {WritePerson});
  RegisterStreamable(TNamed::StaticClass(), {ReadNamed}, {WriteNamed});
  return true;
}();

}  // namespace

TCommaLocale::TCommaLocale() : oldSeparator_(OdbFormatSettings().DecimalSeparator) {
  static int made = 0;
  folder_ = (std::filesystem::temp_directory_path() /
             ("corvid-locale-" + std::to_string(getpid()) + "-" + std::to_string(++made)))
                .string();
  oldLocale_ = std::setlocale(LC_ALL, nullptr);
  const std::string compile =
      "localedef -i de_DE -f UTF-8 '" + folder_ + "/de_DE.UTF-8' >/dev/null 2>&1";
  std::filesystem::create_directories(folder_);
  // localedef may warn (exit status 1) and still write a usable locale;
  // setlocale tells whether it did.
  (void)std::system(compile.c_str());
  if (const char* old = std::getenv("LOCPATH")) oldLocPath_ = old;
  setenv("LOCPATH", folder_.c_str(), 1);
  char separator = ',';
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr) separator = *nl_langinfo(RADIXCHAR);
  OdbFormatSettings().DecimalSeparator = separator;
}

TCommaLocale::~TCommaLocale() {
  std::setlocale(LC_ALL, oldLocale_.c_str());
  if (oldLocPath_.has_value()) {
    setenv("LOCPATH", oldLocPath_->c_str(), 1);
  } else {
    unsetenv("LOCPATH");
  }
  OdbFormatSettings().DecimalSeparator = oldSeparator_;
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

}  // namespace sqltest
