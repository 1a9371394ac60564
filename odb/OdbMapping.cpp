#include "corvid/odb/OdbMapping.h"

#include "corvid/containers/ObjList.h"
#include "corvid/containers/ObjType.h"
#include "corvid/odb/OdbDatabase.h"
#include "corvid/odb/OdbDriver.h"
#include "corvid/util/OdbMisc.h"

namespace corvid {

TORMapping::TORMapping()
    : fields_(std::make_unique<TUnorderedList>(TOdbField::StaticClass(), &CompareOdbField)),
      indices_(std::make_unique<TUnorderedList>(TOdbIndex::StaticClass(), &CompareOdbIndex)) {}

TORMapping::~TORMapping() {
  indices_.reset();
  fields_.reset();
}

void TORMapping::AfterConstruction() {
  DefineFields();
  DefineIndices();
}

std::unique_ptr<TORMapping> CreateMapping(TClass MappingClass, TObjectDatabase* Database) {
  if (!MappingClass.InheritsFrom(TORMapping::StaticClass()) || !MappingClass.CanCreate()) {
    RaiseInvalidObjectType();
  }
  std::unique_ptr<TORMapping> mapping(static_cast<TORMapping*>(MappingClass.Info()->create()));
  mapping->database_ = Database;
  mapping->AfterConstruction();
  return mapping;
}

void TORMapping::UpdateObjFromFields(TObject*) {}
void TORMapping::BeforeObjectPost(TMemoryStream&) {}
void TORMapping::AfterObjectRead(TMemoryStream&) {}

TOdbField* TORMapping::AddField(std::string Name, TOdbFieldType FieldType, std::uint16_t Size) {
  if (database_ != nullptr && database_->GetDriver() != nullptr &&
      !database_->GetDriver()->GetSupportedFieldTypesSet().Contains(FieldType)) {
    RaiseOdb<EOdbFieldTypeNotSupported>();
  }
  auto field = std::make_unique<TOdbField>(std::move(Name), FieldType, Size);
  fields_->InsertAtTail(field.get());
  return field.release();
}

TOdbIndex* TORMapping::AddIndex(std::string Name, TOdbIndexAttributes Attributes,
                                const std::vector<std::string>& FieldNames) {
  auto index = std::make_unique<TOdbIndex>(std::move(Name), Attributes);
  for (const std::string& fieldName : FieldNames) index->AddFieldName(fieldName);
  indices_->InsertAtTail(index.get());
  return index.release();
}

TOdbField* TORMapping::FieldByName(std::string_view Name) {
  // The hit costs a few loads and compares and calls nothing (names of up
  // to 16 bytes); everything else is FieldByNameSlow's.
  TFieldMemo& slot = FieldMemoSlot(Name.data());
  if (slot.Name == Name.data() && slot.Field != nullptr &&
      memoListChanges_ == fields_->GetChangeCount() && memoRenames_ == OdbFieldRenameCount()) {
    const std::string& name = slot.Field->GetName();
    if (name.size() == Name.size() && Name.size() <= 16 &&
        SameBytesUpTo16(name.data(), Name.data(), Name.size())) {
      return slot.Field;
    }
  }
  return FieldByNameSlow(Name, slot);
}

TOdbField* TORMapping::FieldByNameSlow(std::string_view Name, TFieldMemo& Slot) {
  const std::uint64_t changes = fields_->GetChangeCount(), renames = OdbFieldRenameCount();
  if (memoListChanges_ != changes || memoRenames_ != renames) {
    fieldMemo_.fill(TFieldMemo{});
    memoListChanges_ = changes;
    memoRenames_ = renames;
  } else if (Slot.Name == Name.data() && Slot.Field != nullptr &&
             SameBytes(Slot.Field->GetName(), Name)) {
    return Slot.Field;  // a name longer than the fast path compares
  }
  // The first field of that name, found without building a search key;
  // GetFieldInList reports a miss.
  for (TObject* o : *fields_) {
    auto* field = static_cast<TOdbField*>(o);
    if (SameOdbFieldName(field->GetName(), Name)) {
      Slot = TFieldMemo{Name.data(), field};
      return field;
    }
  }
  return GetFieldInList(Name, *fields_);
}

TOdbIndex* TORMapping::GetPrimaryIndex(std::string_view TableName) {
  for (TObject* o : *indices_) {
    auto* index = static_cast<TOdbIndex*>(o);
    if (index->GetAttributes().Contains(iaPrimary)) return index;
  }
  RaiseOdb<EOdbTableMustHavePrimaryIndex>(std::string(TableName));
}

}  // namespace corvid
