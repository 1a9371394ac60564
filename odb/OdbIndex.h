/// @file
/// Index definitions: the ordered field names of a key and how the database
/// keeps it (primary, unique, case-insensitive, descending).
///
/// An index list is a TUnorderedList of TOdbIndex with CompareOdbIndex, which
/// matches indices by name without regard to letter case. TOdbIndex is not
/// streamable.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "corvid/containers/ObjCmp.h"
#include "corvid/containers/ObjList.h"
#include "corvid/containers/ObjRoot.h"
#include "corvid/odb/OdbErrors.h"
#include "corvid/util/OdbMiscSet.h"

namespace corvid {

enum TOdbIndexAttribute : std::uint8_t {
  iaPrimary = 0,          // the primary key; counts as unique
  iaUnique = 1,           // no two stored objects with the same key
  iaCaseInsensitive = 2,  // honoured by drivers
  iaDescending = 3,       // the index runs in descending order
};
/// One byte, bit n standing for the value n.
using TOdbIndexAttributes = TEnumSet<TOdbIndexAttribute>;

/// The definition of one index: its name, attributes and ordered field names.
class TOdbIndex : public TObject {
  CORVID_CLASS(TOdbIndex, ::corvid::TObject)
 public:
  /// Stores both and creates an empty field-name list that owns its combos.
  TOdbIndex(std::string Name, TOdbIndexAttributes Attributes);
  ~TOdbIndex() override;
  TOdbIndex(const TOdbIndex&) = delete;
  TOdbIndex& operator=(const TOdbIndex&) = delete;

  /// The names of the key's fields in key order (most significant first): a
  /// TUnorderedList of TStringCombo (name in Str, no object) compared by
  /// CompareStringComboNoCase, owned by the index.
  TUnorderedList& FieldNames() const { return *fieldNames_; }
  /// Appends FieldName after the last field name.
  void AddFieldName(std::string FieldName);

  TOdbIndexAttributes GetAttributes() const { return attributes_; }
  void SetAttributes(TOdbIndexAttributes Attributes) { attributes_ = Attributes; }
  const std::string& GetName() const { return name_; }
  void SetName(std::string Name) { name_ = std::move(Name); }

  /// The field names in key order joined by Separator; "" without fields.
  std::string FieldNamesAsString(char Separator) const;
  /// Whether FieldName is one of the key's fields (letter case ignored); the
  /// field-name list's cursor is left on the match.
  bool HasField(std::string_view FieldName) const;

 private:
  std::unique_ptr<TUnorderedList> fieldNames_;
  TOdbIndexAttributes attributes_;
  std::string name_;
};

/// The compare function of index lists: CompareStringNoCase of the names.
/// Both objects must be indices (std::bad_cast otherwise).
TComparison CompareOdbIndex(const TObject* Left, const TObject* Right);

/// The key expression of an xBase index file: for each field name of Index,
/// in order, the field looked up in Fields (GetFieldInList: raises
/// EOdbFieldDoesNotExist) gives a term, joined by "+" without blanks:
///   oftString               Name
///   oftInteger, oftAutoInc  STR(Name,IntegerWidth,0)
///   oftFloat                STR(Name,FloatWidth,FloatDecimals)
/// Example: "Name+STR(Age,10,0)+STR(Weight,12,2)". "" for an index without
/// fields. A field of a type outside the four raises EOdbFieldTypeNotSupported.
std::string IndexToXBaseIndexExp(const TOdbIndex& Index, TUnorderedList& Fields,
                                 std::int32_t IntegerWidth, std::int32_t FloatWidth,
                                 std::int32_t FloatDecimals);

}  // namespace corvid
