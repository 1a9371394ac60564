/// @file
/// TORMapping: how the objects of one application class are stored.
///
/// An application writes one descendant per persistent class. It provides
///   GetObjectType()           the stored class;
///   DefineFields()            one AddField per column;
///   DefineIndices()           one AddIndex per index;
///   UpdateFieldsFromObj(Obj)  copies the object's data into the fields;
///   UpdateObjFromFields(Obj)  the reverse (matters for auto-increment
///                             columns, whose values the driver assigns);
/// and may override the hooks that run around inserts, updates and deletes
/// and see the object's stream image on its way to and from the driver.
///
///   class TPersonMapping : public corvid::TORMapping {
///     CORVID_CLASS(TPersonMapping, ::corvid::TORMapping)
///    public:
///     corvid::TClass GetObjectType() const override { return TPerson::StaticClass(); }
///     void DefineFields() override {
///       AddField("Name", corvid::oftString, 31);
///       AddField("Age", corvid::oftInteger);
///     }
///     void DefineIndices() override {
///       AddIndex("ByName", {corvid::iaPrimary}, {"Name"});
///     }
///     void UpdateFieldsFromObj(const corvid::TObject* Obj) override { ... }
///   };
///
/// Mapping classes are handed around as class references (TClass). The
/// datasets create the instance with CreateMapping(MappingClass, Database):
/// the class's default constructor runs, the database is stored, then the
/// second construction step (AfterConstruction) calls DefineFields() and
/// DefineIndices() of the most derived class. A descendant that overrides
/// AfterConstruction calls this class's version.
///
/// The mapping owns its field list and its index list; both keep definition
/// order and match names without regard to letter case.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "corvid/containers/ObjRoot.h"
#include "corvid/odb/OdbField.h"
#include "corvid/odb/OdbIndex.h"

namespace corvid {

class TMemoryStream;
class TObjectDatabase;
class TUnorderedList;

/// How the objects of one application class are stored (see the file comment).
class TORMapping : public TObject {
  CORVID_CLASS(TORMapping, ::corvid::TObject)
 public:
  ~TORMapping() override;
  TORMapping(const TORMapping&) = delete;
  TORMapping& operator=(const TORMapping&) = delete;

  /// Second construction step: DefineFields(), then DefineIndices().
  void AfterConstruction() override;

  /// The class whose objects this mapping stores; membership tests include
  /// descendants.
  virtual TClass GetObjectType() const = 0;
  virtual void DefineFields() = 0;
  virtual void DefineIndices() = 0;
  /// Copies the data of Obj into the field values. Obj stays the caller's.
  virtual void UpdateFieldsFromObj(const TObject* Obj) = 0;
  /// Copies the field values into Obj. Does nothing by default.
  virtual void UpdateObjFromFields(TObject* Obj);

  /// Hooks; all do nothing by default. BeforeObjectPost sees the stream image
  /// before the driver receives it, AfterObjectRead the image the driver
  /// returned before the object is read from it; each may replace the
  /// stream's content (the caller rewinds the stream before and after).
  virtual void BeforeInsert() {}
  virtual void AfterInsert() {}
  virtual void BeforeUpdate() {}
  virtual void AfterUpdate() {}
  virtual void BeforeDelete() {}
  virtual void AfterDelete() {}
  virtual void BeforeObjectPost(TMemoryStream& Stream);
  virtual void AfterObjectRead(TMemoryStream& Stream);

  /// Creates a TOdbField(Name, FieldType, Size) and appends it to the
  /// fields; Size matters for strings only (1..256: capacity Size - 1
  /// characters, at most 255). Raises EOdbFieldTypeNotSupported (adding
  /// nothing) when the database's driver does not support FieldType.
  TOdbField* AddField(std::string Name, TOdbFieldType FieldType, std::uint16_t Size = 41);
  /// Creates a TOdbIndex(Name, Attributes) with FieldNames in key order and
  /// appends it to the indices. Nothing is checked.
  TOdbIndex* AddIndex(std::string Name, TOdbIndexAttributes Attributes,
                      const std::vector<std::string>& FieldNames);
  /// The field called Name (letter case ignored; the first of equal names);
  /// EOdbFieldDoesNotExist. Unlike GetFieldInList it leaves the field
  /// list's cursor alone when it finds the field.
  TOdbField* FieldByName(std::string_view Name);
  /// The first index carrying iaPrimary; EOdbTableMustHavePrimaryIndex with
  /// TableName as detail when there is none.
  TOdbIndex* GetPrimaryIndex(std::string_view TableName);

  TUnorderedList& GetFields() const { return *fields_; }
  TUnorderedList& GetIndices() const { return *indices_; }
  TObjectDatabase* GetDatabase() const { return database_; }
  /// Forgets the database; called when the database is destroyed before the
  /// dataset or update object that owns this mapping.
  void DetachDatabase() { database_ = nullptr; }

 protected:
  /// Creates the empty field and index lists. Descendants are constructed
  /// through CreateMapping.
  TORMapping();

 private:
  // FieldByName's memo. Mappings look the same fields up by the same names
  // (usually literals, hence at the same addresses) for every record: a
  // slot chosen by the name's address remembers the field it found. The
  // memo is forgotten when the field list changes or any field is renamed;
  // a hit still compares the name's bytes, as a caller's buffer may hold
  // another name by now (a name spelt in another case than the field's
  // takes the walk every time).
  struct TFieldMemo {
    const char* Name = nullptr;
    TOdbField* Field = nullptr;
  };
  static constexpr std::size_t kFieldMemoSize = 16;
  TFieldMemo& FieldMemoSlot(const char* Name) {
    static_assert(kFieldMemoSize == 16, "the slot is the product's top four bits");
    return fieldMemo_[(reinterpret_cast<std::uintptr_t>(Name) * 0x9E3779B97F4A7C15u) >> 60];
  }
  TOdbField* FieldByNameSlow(std::string_view Name, TFieldMemo& Slot);

  std::unique_ptr<TUnorderedList> fields_;
  std::unique_ptr<TUnorderedList> indices_;
  TObjectDatabase* database_ = nullptr;
  std::array<TFieldMemo, kFieldMemoSize> fieldMemo_{};
  std::uint64_t memoListChanges_ = 0;
  std::uint64_t memoRenames_ = 0;

  friend std::unique_ptr<TORMapping> CreateMapping(TClass MappingClass, TObjectDatabase* Database);
};

/// Creates an instance of MappingClass (a TORMapping descendant with an
/// accessible default constructor) working in Database, with its fields and
/// indices defined. Raises EInvalidObjectType when MappingClass is not a
/// creatable mapping class. Database may be null (then AddField accepts
/// every field type).
std::unique_ptr<TORMapping> CreateMapping(TClass MappingClass, TObjectDatabase* Database);

}  // namespace corvid
