// The class generator's model and the unit it generates.
//
// TClassModel holds what the user describes in the wizard: three general
// values (file name, class name, ancestor class), the data members, the
// mapping's fields and its indices. It also carries the commands that change
// the lists (Add, Edit, Delete) and every rule that keeps the model
// consistent, so that a window only shows the lists and forwards the user's
// input; and it writes the Object Pascal unit for the model.
//
// The model knows no user-interface toolkit. Everything it has to tell the
// user (a broken rule, a question, the success of a run) goes through one
// replaceable message function that returns the button pressed; a window
// shows a real message box, the batch mode prints, tests answer.
//
// Positions of members, fields and indices count from 1.
//
// Data members. The display text of a member is the model: the name padded
// (or cut) to 20 characters, " : " and the type text. Name and class name
// are read back from that text, so a name longer than 20 characters is kept
// as its first 20, and a name or class name is cut at a colon.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "corvid/containers/ObjList.h"
#include "corvid/containers/ObjRoot.h"
#include "corvid/odb/OdbField.h"
#include "corvid/odb/OdbIndex.h"

namespace corvid {

// ---------------------------------------------------------------------------
// Messages

enum TWizardMessageKind : std::uint8_t { wmError, wmInformation, wmConfirmation };
// Error and information boxes have an OK button, confirmations Yes and No.
enum TWizardButton : std::uint8_t { wbOK, wbYes, wbNo };

using TWizardMessageFunc =
    std::function<TWizardButton(const std::string& Text, TWizardMessageKind Kind)>;

// The message function a model starts with: writes the text to standard
// error and answers OK to boxes and No to questions (so nothing is
// overwritten or deleted without an answer from someone).
TWizardButton StdErrWizardMessage(const std::string& Text, TWizardMessageKind Kind);

// The texts of the rules and questions.
inline constexpr const char* SValueRequired = "Value is required.";
inline constexpr const char* SMemberListEmpty = "The data member list is empty.";
inline constexpr const char* SClassNameRequired =
    "A class name must be specified for an\robject data member.";
inline constexpr const char* SFieldNameRequired = "The field must have a name.";
inline constexpr const char* SStringSizeRequired = "A size must be specified for a string field.";
inline constexpr const char* SStringSizeInvalid =
    "String size not valid (2-256). Remember, the string\rsize includes the length byte.";
inline constexpr const char* SOnlyOneAutoInc = "Only one autoincrement field may be defined.";
inline constexpr const char* SIndexNameRequired = "The index must have a name.";
inline constexpr const char* SIndexFieldListEmpty = "The index field list is empty.";
inline constexpr const char* SDeleteMembersQuery = "Delete selected data members ?";
inline constexpr const char* SDeleteFieldsQuery = "Delete selected fields ?";
inline constexpr const char* SDeleteIndicesQuery = "Delete selected indices ?";
// "Unable to delete field <name>.\rField is used by an index."
std::string FieldInUseMessage(const std::string& FieldName);

// ---------------------------------------------------------------------------
// Errors of the model's programming interface (never caused by user input
// that went through the rules).

// A member, field or index position outside 1..Count.
CORVID_EXCEPTION(EModelPositionOutOfRange)
// A member type index outside 0..12.
CORVID_EXCEPTION(EInvalidMemberType)
// A field type row outside 0..3.
CORVID_EXCEPTION(EInvalidFieldTypeRow)
// WriteCppHeader on a model that breaks a rule of CppModelErrors; the
// message is the first broken rule.
CORVID_EXCEPTION(ECppModelError)
// The unit file could not be created or written. The message names the
// file and the system's reason.
CORVID_EXCEPTION(EUnitFileError)

// ---------------------------------------------------------------------------
// Member types

inline constexpr std::int32_t MemberTypeCount = 13;
inline constexpr std::uint16_t MemberTypeString = 10;
inline constexpr std::uint16_t MemberTypeObject = 12;

// The name of member type Index (0..12) in Dest; Dest is left unchanged for
// any other index.
void MemberTypeName(std::int32_t Index, std::string& Dest);
// The member type index of a type name (exact spelling), or -1.
std::int32_t MemberTypeFromName(const std::string& Name);
// The stream kind of member type Index (the suffix of the reader and writer
// calls): Boolean, Integer, Char, Float, String or ChildObject.
const char* MemberStreamKind(std::int32_t Index);

// The field type captions in TOdbFieldType order: "String", "Float",
// "Integer", "Autoincrement".
inline constexpr std::int32_t FieldTypeRowCount = 4;
const char* FieldTypeCaption(TOdbFieldType FieldType);
// The identifier both generated languages name a field type by: "oftString".
const char* FieldTypeIdent(TOdbFieldType FieldType);
// The identifiers of an index's attributes, in the order both generated
// languages write them: primary, case-insensitive, descending, unique.
std::vector<std::string> IndexAttributeIdents(const TOdbIndex& Index);

// ---------------------------------------------------------------------------
// What the dialogs hand to the commands.

struct TMemberInput {
  std::string Name;
  std::int32_t TypeIndex = MemberTypeString;  // 0..12
  std::string ClassName;                      // used for type Object only
};

struct TFieldInput {
  std::string Name;
  std::int32_t TypeRow = 0;     // 0..3: oftString, oftFloat, oftInteger, oftAutoInc
  std::string SizeText = "21";  // decimal; looked at for strings only
};

struct TIndexInput {
  std::string Name;
  bool Primary = false;
  bool Unique = false;
  bool Descending = false;
  bool CaseInsensitive = false;
  std::vector<std::string> Fields;  // in key order
};

// The first rule of the member, field or index dialog that the input breaks,
// as its message; empty when the input is acceptable.
std::string MemberInputError(const TMemberInput& Input);
std::string FieldInputError(const TFieldInput& Input);
std::string IndexInputError(const TIndexInput& Input);

// ---------------------------------------------------------------------------
// Names

// The file name without directory (either separator, and a drive prefix
// such as C:) and without its last extension: C:\Src\SampObj.Pas and
// /src/SampObj.Pas both give SampObj.
std::string UnitNameFromFile(const std::string& FileName);

// A member's display text: RightPad(Name, ' ', 20) + " : " + TypeText.
std::string MemberDisplayText(const std::string& Name, const std::string& TypeText);
// A field's display text: padded name, " : ", the type caption and, for a
// string field only, the capacity in brackets (Size - 1).
std::string FieldDisplayText(const TOdbField& Field);

// ---------------------------------------------------------------------------
// Output languages

// The same model is written as an Object Pascal unit or as a C++ header.
enum TUnitLanguage : std::uint8_t { ulPascal, ulCpp };

// The language a unit file name selects: C++ for a name ending in ".h" or
// ".hpp" (letter case ignored), Object Pascal for any other.
TUnitLanguage LanguageFromFileName(const std::string& FileName);

// The file the C++ header of a model includes for a class it names (an
// Object member's class or the ancestor): the class name without its first
// character, followed by ".h" (TChild gives Child.h), the name a model of
// that class would be generated under. Empty for TObject, which the library
// declares.
std::string CppClassHeader(const std::string& ClassName);

// ---------------------------------------------------------------------------

class TClassModel {
 public:
  TClassModel();
  ~TClassModel();
  TClassModel(const TClassModel&) = delete;
  TClassModel& operator=(const TClassModel&) = delete;

  // --- messages -----------------------------------------------------------
  // Replaces the message function; an empty function restores the default.
  void SetMessageFunc(TWizardMessageFunc Func);
  TWizardButton ShowMessage(const std::string& Text, TWizardMessageKind Kind) const;

  // --- general values (taken as typed, never trimmed) ---------------------
  const std::string& GetFileName() const { return fileName_; }
  void SetFileName(std::string Value) { fileName_ = std::move(Value); }
  const std::string& GetClassName() const { return className_; }
  void SetClassName(std::string Value) { className_ = std::move(Value); }
  const std::string& GetAncestorClass() const { return ancestorClass_; }
  void SetAncestorClass(std::string Value) { ancestorClass_ = std::move(Value); }

  // The class name without its first character (empty for a name of one
  // character or none).
  std::string ObjectVarName() const;
  // The class name followed by "ORMapping".
  std::string MappingClassName() const;

  // --- data members -------------------------------------------------------
  std::int32_t MemberCount() const { return static_cast<std::int32_t>(members_.size()); }
  const std::string& MemberText(std::int32_t i) const;
  // The first colon-delimited word of the display text, trimmed.
  std::string MemberName(std::int32_t i) const;
  std::uint16_t MemberTypeIndex(std::int32_t i) const;
  // The class name read back from the display text for an Object member,
  // the type's name otherwise.
  std::string MemberTypeText(std::int32_t i) const;

  // --- fields (owned TOdbFields) -----------------------------------------
  std::int32_t FieldCount() const { return fields_.GetSize(); }
  TOdbField* FieldAt(std::int32_t i) const;
  std::string FieldText(std::int32_t i) const;
  // The first autoincrement field in list order, or null.
  TOdbField* AutoIncField() const;
  // True when some index lists FieldName (letter case ignored).
  bool FieldUsedByIndex(const std::string& FieldName) const;
  // Clears Strings, then adds every field's name in list order.
  void FillFieldNames(std::vector<std::string>& Strings) const;
  // The field list itself (ordered by CompareOdbField).
  const TUnorderedList& FieldList() const { return fields_; }

  // --- indices (owned TOdbIndexes) ---------------------------------------
  std::int32_t IndexCount() const { return indices_.GetSize(); }
  TOdbIndex* IndexAt(std::int32_t i) const;
  // The display text of an index: its name.
  std::string IndexText(std::int32_t i) const;
  const TUnorderedList& IndexList() const { return indices_; }

  // --- page rules ---------------------------------------------------------
  // Whether the wizard may move from page FromPage to ToPage (0 General,
  // 1 Data Members, 2 Fields and Indices); a broken rule is reported.
  bool CanMovePage(std::int32_t FromPage, std::int32_t ToPage) const;

  // --- dialog rules: report the first broken rule; false when one broke ---
  bool CheckMemberInput(const TMemberInput& Input) const;
  bool CheckFieldInput(const TFieldInput& Input) const;
  bool CheckIndexInput(const TIndexInput& Input) const;

  // --- commands -----------------------------------------------------------
  // Every Add and Edit checks its input by the dialog's rules first (as the
  // dialog has already done when the window calls it) and then by the
  // model's own rules; on a broken rule the message is shown, the model is
  // left as it was and the result is false.

  bool AddDataMember(const TMemberInput& Input);
  bool EditDataMember(std::int32_t i, const TMemberInput& Input);
  // The input an Edit dialog starts with: the name read back, the type
  // index and an empty class name.
  TMemberInput MemberInputAt(std::int32_t i) const;
  // Asks "Delete selected data members ?"; on Yes removes the entries at
  // the given positions. Returns how many were removed.
  std::int32_t DeleteDataMembers(const std::vector<std::int32_t>& Selected);

  bool AddField(const TFieldInput& Input);
  bool EditField(std::int32_t i, const TFieldInput& Input);
  // Name, type row and the size in decimal (the type's fixed size for a
  // non-string field).
  TFieldInput FieldInputAt(std::int32_t i) const;
  // Asks "Delete selected fields ?"; on Yes walks the list from the top and
  // frees every selected field that no index uses; each used one stays and
  // is reported. Returns how many were removed.
  std::int32_t DeleteFields(const std::vector<std::int32_t>& Selected);

  // The input an Add dialog starts with: no name, no fields, Primary
  // checked while the index list is still empty.
  TIndexInput NewIndexInput() const;
  bool AddIndex(const TIndexInput& Input);
  bool EditIndex(std::int32_t i, const TIndexInput& Input);
  // Name, attributes and field names of index i.
  TIndexInput IndexInputAt(std::int32_t i) const;
  // The two lists an index dialog starts with: Available holds the field
  // names not yet in the index (each index field removes its first equal
  // name), IndexFields the index's field names in key order. With i = 0,
  // the lists for a new index.
  void FillIndexDialogLists(std::int32_t i, std::vector<std::string>& Available,
                            std::vector<std::string>& IndexFields) const;
  // Asks "Delete selected indices ?"; on Yes frees the selected indices.
  std::int32_t DeleteIndices(const std::vector<std::int32_t>& Selected);

  // --- generation ---------------------------------------------------------
  // The date written into the unit's header: a fixed day for reproducible
  // output, or (when cleared) the current day.
  void SetUnitDate(std::int32_t Year, std::int32_t Month, std::int32_t Day);
  void ClearUnitDate() { unitDate_.reset(); }
  // The «Date» text: the date formatted with "mmm dd, yyyy".
  std::string UnitDateText() const;

  // The text up to and including the interface section, and the rest.
  // Every line ends with CR LF.
  void WriteInterfaceSection(std::ostream& Out) const;
  void WriteImplementationSection(std::ostream& Out) const;
  // The whole unit.
  std::string UnitText() const;

  // The C++ header for the model (see wizard/CodeGenCpp.cpp): the class,
  // its stream procedures, its mapping class and its registration. Every
  // line ends with LF. A model with CppModelErrors raises ECppModelError.
  void WriteCppHeader(std::ostream& Out) const;
  std::string CppHeaderText() const;
  // What keeps the model from being written as C++, one sentence per broken
  // rule naming the class, member, field or index: names that are not C++
  // identifiers or are keywords, duplicate names, fields that match no data
  // member or cannot hold its type, index fields that are not fields, an
  // Object member of the class's own class. Empty when the header can be
  // written. The Pascal unit does not depend on these rules.
  std::vector<std::string> CppModelErrors() const;
  // Shows the CppModelErrors in one error box; false when there were some.
  bool CheckCppModel() const;

  // The generation run on the file name, in the language the name selects
  // (LanguageFromFileName): asks before replacing an existing file, writes
  // the unit, reports success. False when the user declined or, for C++,
  // when CheckCppModel failed (nothing is written then). A file that cannot
  // be created or written raises EUnitFileError.
  bool GenerateUnit() const;
  // The same run on another path in the language given (the unit's name
  // still comes from the file name).
  bool GenerateUnitAs(const std::string& Path, TUnitLanguage Language = ulPascal) const;

 private:
  struct TMemberEntry {
    std::string Text;
    std::uint16_t TypeIndex;
  };

  void CheckMemberPosition(std::int32_t i) const;
  static std::string MemberTextFor(const TMemberInput& Input);
  static TOdbIndexAttributes AttributesOf(const TIndexInput& Input);
  static void FillIndexFields(TOdbIndex& Index, const std::vector<std::string>& Fields);

  std::string fileName_ = "SampObj.Pas";
  std::string className_ = "TSampleObject";
  std::string ancestorClass_ = "TObject";
  std::vector<TMemberEntry> members_;
  mutable TUnorderedList fields_;
  mutable TUnorderedList indices_;
  TWizardMessageFunc message_;
  struct TDay {
    std::int32_t Year, Month, Day;
  };
  std::optional<TDay> unitDate_;
};

}  // namespace corvid
