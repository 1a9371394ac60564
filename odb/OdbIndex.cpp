// Index definitions, their compare function and xBase key expressions.
#include "corvid/odb/OdbIndex.h"

#include <typeinfo>

#include "corvid/odb/OdbField.h"
#include "corvid/persist/ObjPerst.h"
#include "corvid/util/OdbMisc.h"
#include "corvid/values/ObjBuckt.h"

namespace corvid {

namespace {

const TOdbIndex& AsIndex(const TObject* Obj) {
  if (Obj == nullptr) throw std::bad_cast();
  return dynamic_cast<const TOdbIndex&>(*Obj);
}

}  // namespace

TOdbIndex::TOdbIndex(std::string Name, TOdbIndexAttributes Attributes)
    : fieldNames_(
          std::make_unique<TUnorderedList>(TStringCombo::StaticClass(), &CompareStringComboNoCase)),
      attributes_(Attributes),
      name_(std::move(Name)) {}

TOdbIndex::~TOdbIndex() = default;

void TOdbIndex::AddFieldName(std::string FieldName) {
  auto combo = std::make_unique<TStringCombo>(std::move(FieldName));
  fieldNames_->InsertAtTail(combo.get());
  combo.release();
}

std::string TOdbIndex::FieldNamesAsString(char Separator) const {
  std::string text;
  bool first = true;
  for (const TObject* obj : *fieldNames_) {
    if (!first) text += Separator;
    text += static_cast<const TStringCombo*>(obj)->Str;
    first = false;
  }
  return text;
}

bool TOdbIndex::HasField(std::string_view FieldName) const {
  const TStringCombo key{std::string(FieldName)};
  return fieldNames_->Search(&key, 1);
}

TComparison CompareOdbIndex(const TObject* Left, const TObject* Right) {
  return CompareStringNoCase(AsIndex(Left).GetName(), AsIndex(Right).GetName());
}

std::string IndexToXBaseIndexExp(const TOdbIndex& Index, TUnorderedList& Fields,
                                 std::int32_t IntegerWidth, std::int32_t FloatWidth,
                                 std::int32_t FloatDecimals) {
  std::string expression;
  bool first = true;
  for (const TObject* obj : Index.FieldNames()) {
    const std::string& name = static_cast<const TStringCombo*>(obj)->Str;
    const TOdbField* field = GetFieldInList(name, Fields);
    std::string term;
    switch (field->GetFieldType()) {
      case oftString:
        term = field->GetName();
        break;
      case oftInteger:
      case oftAutoInc:
        term = "STR(" + field->GetName() + "," + std::to_string(IntegerWidth) + ",0)";
        break;
      case oftFloat:
        term = "STR(" + field->GetName() + "," + std::to_string(FloatWidth) + "," +
               std::to_string(FloatDecimals) + ")";
        break;
      default:
        RaiseOdb<EOdbFieldTypeNotSupported>();
    }
    if (!first) expression += '+';
    expression += term;
    first = false;
  }
  return expression;
}

namespace {

const bool registered = [] {
  RegisterCompareFunction("CompareOdbIndex", &CompareOdbIndex);
  return true;
}();

}  // namespace

}  // namespace corvid
