// The class model: member types, display texts, read-back rules, the rules
// of the pages and dialogs, and the Add, Edit and Delete commands.
#include <algorithm>
#include <cctype>
#include <ctime>
#include <iostream>
#include <memory>

#include "corvid/util/OdbMisc.h"
#include "corvid/values/ObjBuckt.h"
#include "corvid/wizard/CodeGen.h"

namespace corvid {

namespace {

struct TMemberType {
  const char* Name;
  const char* StreamKind;
};

// In the order of the member dialog's type list; the position is the type
// index stored with each member.
const TMemberType kMemberTypes[MemberTypeCount] = {
    {"Boolean", "Boolean"},   {"Byte", "Integer"},   {"Char", "Char"},       {"Comp", "Float"},
    {"Double", "Float"},      {"Extended", "Float"}, {"Integer", "Integer"}, {"LongInt", "Integer"},
    {"ShortInt", "Integer"},  {"Single", "Float"},   {"String", "String"},   {"Word", "Integer"},
    {"Object", "ChildObject"}};

const char* const kFieldCaptions[FieldTypeRowCount] = {"String", "Float", "Integer",
                                                       "Autoincrement"};
const TOdbFieldType kFieldRowTypes[FieldTypeRowCount] = {oftString, oftFloat, oftInteger,
                                                         oftAutoInc};

// Removes leading and trailing blanks and control characters.
std::string Trim(const std::string& S) {
  std::size_t b = 0;
  std::size_t e = S.size();
  while (b < e && static_cast<unsigned char>(S[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(S[e - 1]) <= ' ') --e;
  return S.substr(b, e - b);
}

const TOdbCharSet& ColonOnly() {
  static const TOdbCharSet colon(":");
  return colon;
}

// The size box read as a decimal number (blanks around the digits allowed);
// nothing for an empty box; -1 for a text that is not a number.
std::optional<std::int32_t> SizeFromText(const std::string& Text) {
  const std::string t = Trim(Text);
  if (t.empty()) return std::nullopt;
  std::int32_t v = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
    if (v > 100000) return -1;
  }
  return v;
}

void CheckFieldRow(std::int32_t Row) {
  if (Row < 0 || Row >= FieldTypeRowCount) {
    throw EInvalidFieldTypeRow("Field type row " + std::to_string(Row) + " is not one of 0 to 3");
  }
}

void CheckPosition(std::int32_t i, std::int32_t Count, const char* What) {
  if (i < 1 || i > Count) {
    throw EModelPositionOutOfRange(std::string(What) + " position " + std::to_string(i) +
                                   " is outside 1 to " + std::to_string(Count));
  }
}

// The positions of Selected that lie in 1..Count, each once, in ascending
// order.
std::vector<std::int32_t> SortedSelection(const std::vector<std::int32_t>& Selected,
                                          std::int32_t Count, const char* What) {
  std::vector<std::int32_t> s = Selected;
  for (std::int32_t i : s) CheckPosition(i, Count, What);
  std::sort(s.begin(), s.end());
  s.erase(std::unique(s.begin(), s.end()), s.end());
  return s;
}

}  // namespace

// ---------------------------------------------------------------------------

TWizardButton StdErrWizardMessage(const std::string& Text, TWizardMessageKind Kind) {
  std::string t = Text;
  std::replace(t.begin(), t.end(), '\r', '\n');
  std::cerr << t << '\n';
  return Kind == wmConfirmation ? wbNo : wbOK;
}

std::string FieldInUseMessage(const std::string& FieldName) {
  return "Unable to delete field " + FieldName + ".\rField is used by an index.";
}

void MemberTypeName(std::int32_t Index, std::string& Dest) {
  if (Index >= 0 && Index < MemberTypeCount) Dest = kMemberTypes[Index].Name;
}

std::int32_t MemberTypeFromName(const std::string& Name) {
  for (std::int32_t i = 0; i < MemberTypeCount; ++i) {
    if (Name == kMemberTypes[i].Name) return i;
  }
  return -1;
}

const char* MemberStreamKind(std::int32_t Index) {
  if (Index < 0 || Index >= MemberTypeCount) {
    throw EInvalidMemberType("Member type " + std::to_string(Index) + " is not one of 0 to 12");
  }
  return kMemberTypes[Index].StreamKind;
}

const char* FieldTypeCaption(TOdbFieldType FieldType) {
  const auto i = static_cast<std::int32_t>(FieldType);
  return i >= 0 && i < FieldTypeRowCount ? kFieldCaptions[i] : "";
}

std::string MemberInputError(const TMemberInput& Input) {
  if (Input.Name.empty()) return SValueRequired;
  if (Input.TypeIndex == MemberTypeObject && Input.ClassName.empty()) return SClassNameRequired;
  return std::string();
}

std::string FieldInputError(const TFieldInput& Input) {
  if (Input.Name.empty()) return SFieldNameRequired;
  if (Input.TypeRow == 0) {
    const std::optional<std::int32_t> size = SizeFromText(Input.SizeText);
    if (!size) return SStringSizeRequired;
    if (*size < 2 || *size > 256) return SStringSizeInvalid;
  }
  return std::string();
}

std::string IndexInputError(const TIndexInput& Input) {
  if (Input.Name.empty()) return SIndexNameRequired;
  if (Input.Fields.empty()) return SIndexFieldListEmpty;
  return std::string();
}

std::string UnitNameFromFile(const std::string& FileName) {
  // Both kinds of directory separator count, and a drive prefix such as
  // "C:" is dropped, so names typed in either convention give the same unit.
  std::size_t start = 0;
  if (const std::size_t dir = FileName.find_last_of("/\\"); dir != std::string::npos) {
    start = dir + 1;
  } else if (FileName.size() >= 2 && FileName[1] == ':' &&
             std::isalpha(static_cast<unsigned char>(FileName[0]))) {
    start = 2;
  }
  std::string name = FileName.substr(start);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

std::string MemberDisplayText(const std::string& Name, const std::string& TypeText) {
  return RightPad(Name, ' ', 20) + " : " + TypeText;
}

std::string FieldDisplayText(const TOdbField& Field) {
  std::string s =
      RightPad(Field.GetName(), ' ', 20) + " : " + FieldTypeCaption(Field.GetFieldType());
  if (Field.GetFieldType() == oftString) {
    s += "[" + std::to_string(static_cast<std::int32_t>(Field.GetSize()) - 1) + "]";
  }
  return s;
}

// ---------------------------------------------------------------------------

TClassModel::TClassModel()
    : fields_(TOdbField::StaticClass(), &CompareOdbField),
      indices_(TOdbIndex::StaticClass(), &CompareOdbIndex) {}

TClassModel::~TClassModel() = default;  // the owning lists free the objects

void TClassModel::SetMessageFunc(TWizardMessageFunc Func) {
  message_ = std::move(Func);
}

TWizardButton TClassModel::ShowMessage(const std::string& Text, TWizardMessageKind Kind) const {
  return message_ ? message_(Text, Kind) : StdErrWizardMessage(Text, Kind);
}

std::string TClassModel::ObjectVarName() const {
  return className_.empty() ? std::string() : className_.substr(1);
}

std::string TClassModel::MappingClassName() const {
  return className_ + "ORMapping";
}

// --- data members ----------------------------------------------------------

void TClassModel::CheckMemberPosition(std::int32_t i) const {
  CheckPosition(i, MemberCount(), "Data member");
}

const std::string& TClassModel::MemberText(std::int32_t i) const {
  CheckMemberPosition(i);
  return members_[static_cast<std::size_t>(i - 1)].Text;
}

std::string TClassModel::MemberName(std::int32_t i) const {
  return Trim(ExtractWord(1, MemberText(i), ColonOnly()));
}

std::uint16_t TClassModel::MemberTypeIndex(std::int32_t i) const {
  CheckMemberPosition(i);
  return members_[static_cast<std::size_t>(i - 1)].TypeIndex;
}

std::string TClassModel::MemberTypeText(std::int32_t i) const {
  const std::uint16_t t = MemberTypeIndex(i);
  if (t == MemberTypeObject) return Trim(ExtractWord(2, MemberText(i), ColonOnly()));
  std::string s;
  MemberTypeName(t, s);
  return s;
}

std::string TClassModel::MemberTextFor(const TMemberInput& Input) {
  std::string typeText;
  if (Input.TypeIndex == MemberTypeObject) {
    typeText = Input.ClassName;
  } else {
    MemberTypeName(Input.TypeIndex, typeText);
  }
  return MemberDisplayText(Input.Name, typeText);
}

bool TClassModel::AddDataMember(const TMemberInput& Input) {
  MemberStreamKind(Input.TypeIndex);  // refuses a type index outside 0..12
  if (!CheckMemberInput(Input)) return false;
  members_.push_back({MemberTextFor(Input), static_cast<std::uint16_t>(Input.TypeIndex)});
  return true;
}

bool TClassModel::EditDataMember(std::int32_t i, const TMemberInput& Input) {
  CheckMemberPosition(i);
  MemberStreamKind(Input.TypeIndex);
  if (!CheckMemberInput(Input)) return false;
  members_[static_cast<std::size_t>(i - 1)] = {MemberTextFor(Input),
                                               static_cast<std::uint16_t>(Input.TypeIndex)};
  return true;
}

TMemberInput TClassModel::MemberInputAt(std::int32_t i) const {
  TMemberInput in;
  in.Name = MemberName(i);
  in.TypeIndex = MemberTypeIndex(i);
  return in;  // the class name box starts empty, also for an Object member
}

std::int32_t TClassModel::DeleteDataMembers(const std::vector<std::int32_t>& Selected) {
  const std::vector<std::int32_t> sel = SortedSelection(Selected, MemberCount(), "Data member");
  if (ShowMessage(SDeleteMembersQuery, wmConfirmation) != wbYes) return 0;
  // From the bottom, so that the positions still to remove stay valid.
  for (auto it = sel.rbegin(); it != sel.rend(); ++it) {
    members_.erase(members_.begin() + (*it - 1));
  }
  return static_cast<std::int32_t>(sel.size());
}

// --- fields ----------------------------------------------------------------

TOdbField* TClassModel::FieldAt(std::int32_t i) const {
  CheckPosition(i, FieldCount(), "Field");
  return static_cast<TOdbField*>(fields_.GetNthObj(i));
}

std::string TClassModel::FieldText(std::int32_t i) const {
  return FieldDisplayText(*FieldAt(i));
}

TOdbField* TClassModel::AutoIncField() const {
  for (TObject* o : fields_) {
    auto* f = static_cast<TOdbField*>(o);
    if (f->GetFieldType() == oftAutoInc) return f;
  }
  return nullptr;
}

bool TClassModel::FieldUsedByIndex(const std::string& FieldName) const {
  for (TObject* o : indices_) {
    if (static_cast<TOdbIndex*>(o)->HasField(FieldName)) return true;
  }
  return false;
}

void TClassModel::FillFieldNames(std::vector<std::string>& Strings) const {
  Strings.clear();
  for (TObject* o : fields_) Strings.push_back(static_cast<TOdbField*>(o)->GetName());
}

bool TClassModel::AddField(const TFieldInput& Input) {
  CheckFieldRow(Input.TypeRow);
  if (!CheckFieldInput(Input)) return false;
  const TOdbFieldType type = kFieldRowTypes[Input.TypeRow];
  if (type == oftAutoInc && AutoIncField() != nullptr) {
    ShowMessage(SOnlyOneAutoInc, wmError);
    return false;
  }
  const std::uint16_t size =
      type == oftString ? static_cast<std::uint16_t>(*SizeFromText(Input.SizeText)) : 0;
  fields_.InsertAtTail(new TOdbField(Input.Name, type, size));
  return true;
}

bool TClassModel::EditField(std::int32_t i, const TFieldInput& Input) {
  TOdbField* f = FieldAt(i);
  CheckFieldRow(Input.TypeRow);
  if (!CheckFieldInput(Input)) return false;
  const TOdbFieldType type = kFieldRowTypes[Input.TypeRow];
  if (f->GetFieldType() != oftAutoInc && AutoIncField() != nullptr && type == oftAutoInc) {
    ShowMessage(SOnlyOneAutoInc, wmError);
    return false;
  }
  // Setting the type gives the field the type's default size; a string
  // field then gets the size from the dialog. Index field lists keep the
  // old name.
  f->SetFieldType(type);
  f->SetName(Input.Name);
  if (type == oftString) f->SetSize(static_cast<std::uint16_t>(*SizeFromText(Input.SizeText)));
  return true;
}

TFieldInput TClassModel::FieldInputAt(std::int32_t i) const {
  const TOdbField* f = FieldAt(i);
  TFieldInput in;
  in.Name = f->GetName();
  in.TypeRow = static_cast<std::int32_t>(f->GetFieldType());
  in.SizeText = std::to_string(f->GetSize());
  return in;
}

std::int32_t TClassModel::DeleteFields(const std::vector<std::int32_t>& Selected) {
  const std::vector<std::int32_t> sel = SortedSelection(Selected, FieldCount(), "Field");
  if (ShowMessage(SDeleteFieldsQuery, wmConfirmation) != wbYes) return 0;
  std::int32_t removed = 0;
  for (std::int32_t pos : sel) {
    // Earlier removals moved this entry up.
    auto* f = static_cast<TOdbField*>(fields_.GetNthObj(pos - removed));
    if (FieldUsedByIndex(f->GetName())) {
      ShowMessage(FieldInUseMessage(f->GetName()), wmInformation);
      continue;
    }
    fields_.DeleteCurrent();
    ++removed;
  }
  return removed;
}

// --- indices ---------------------------------------------------------------

TOdbIndex* TClassModel::IndexAt(std::int32_t i) const {
  CheckPosition(i, IndexCount(), "Index");
  return static_cast<TOdbIndex*>(indices_.GetNthObj(i));
}

std::string TClassModel::IndexText(std::int32_t i) const {
  return IndexAt(i)->GetName();
}

TOdbIndexAttributes TClassModel::AttributesOf(const TIndexInput& Input) {
  TOdbIndexAttributes a;
  if (Input.Primary) a.Include(iaPrimary);
  if (Input.Unique) a.Include(iaUnique);
  if (Input.Descending) a.Include(iaDescending);
  if (Input.CaseInsensitive) a.Include(iaCaseInsensitive);
  return a;
}

void TClassModel::FillIndexFields(TOdbIndex& Index, const std::vector<std::string>& Fields) {
  Index.FieldNames().Clear();
  for (const std::string& n : Fields) Index.AddFieldName(n);
}

TIndexInput TClassModel::NewIndexInput() const {
  TIndexInput in;
  in.Primary = IndexCount() == 0;
  return in;
}

bool TClassModel::AddIndex(const TIndexInput& Input) {
  if (!CheckIndexInput(Input)) return false;
  auto index = std::make_unique<TOdbIndex>(Input.Name, AttributesOf(Input));
  FillIndexFields(*index, Input.Fields);
  indices_.InsertAtTail(index.release());
  return true;
}

bool TClassModel::EditIndex(std::int32_t i, const TIndexInput& Input) {
  TOdbIndex* x = IndexAt(i);
  if (!CheckIndexInput(Input)) return false;
  x->SetName(Input.Name);
  x->SetAttributes(AttributesOf(Input));
  FillIndexFields(*x, Input.Fields);
  return true;
}

TIndexInput TClassModel::IndexInputAt(std::int32_t i) const {
  const TOdbIndex* x = IndexAt(i);
  TIndexInput in;
  in.Name = x->GetName();
  const TOdbIndexAttributes a = x->GetAttributes();
  in.Primary = a.Contains(iaPrimary);
  in.Unique = a.Contains(iaUnique);
  in.Descending = a.Contains(iaDescending);
  in.CaseInsensitive = a.Contains(iaCaseInsensitive);
  for (TObject* o : x->FieldNames()) in.Fields.push_back(static_cast<TStringCombo*>(o)->Str);
  return in;
}

void TClassModel::FillIndexDialogLists(std::int32_t i, std::vector<std::string>& Available,
                                       std::vector<std::string>& IndexFields) const {
  FillFieldNames(Available);
  IndexFields.clear();
  if (i == 0) return;
  for (const std::string& n : IndexInputAt(i).Fields) {
    IndexFields.push_back(n);
    auto it = std::find(Available.begin(), Available.end(), n);
    if (it != Available.end()) Available.erase(it);
  }
}

std::int32_t TClassModel::DeleteIndices(const std::vector<std::int32_t>& Selected) {
  const std::vector<std::int32_t> sel = SortedSelection(Selected, IndexCount(), "Index");
  if (ShowMessage(SDeleteIndicesQuery, wmConfirmation) != wbYes) return 0;
  for (auto it = sel.rbegin(); it != sel.rend(); ++it) {
    indices_.GetNthObj(*it);
    indices_.DeleteCurrent();
  }
  return static_cast<std::int32_t>(sel.size());
}

// --- rules -----------------------------------------------------------------

bool TClassModel::CanMovePage(std::int32_t FromPage, std::int32_t ToPage) const {
  if (FromPage == 0 && (fileName_.empty() || className_.empty())) {
    ShowMessage(SValueRequired, wmError);
    return false;
  }
  if (FromPage == 1 && ToPage == 2 && members_.empty()) {
    ShowMessage(SMemberListEmpty, wmError);
    return false;
  }
  return true;
}

bool TClassModel::CheckMemberInput(const TMemberInput& Input) const {
  const std::string e = MemberInputError(Input);
  if (!e.empty()) ShowMessage(e, wmError);
  return e.empty();
}

bool TClassModel::CheckFieldInput(const TFieldInput& Input) const {
  const std::string e = FieldInputError(Input);
  if (!e.empty()) ShowMessage(e, wmError);
  return e.empty();
}

bool TClassModel::CheckIndexInput(const TIndexInput& Input) const {
  const std::string e = IndexInputError(Input);
  if (!e.empty()) ShowMessage(e, wmError);
  return e.empty();
}

// --- date ------------------------------------------------------------------

void TClassModel::SetUnitDate(std::int32_t Year, std::int32_t Month, std::int32_t Day) {
  EncodeDate(Year, Month, Day);  // raises EConvertError for an impossible date
  unitDate_ = TDay{Year, Month, Day};
}

}  // namespace corvid
