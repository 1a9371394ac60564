// Writing the unit: the interface section, the implementation section and
// the generation run that puts both into a file.
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <ostream>
#include <sstream>

#include "corvid/persist/Streams.h"
#include "corvid/util/OdbMisc.h"
#include "corvid/values/ObjBuckt.h"
#include "corvid/wizard/CodeGen.h"

namespace corvid {

namespace {

// The comment separator between the blocks of the unit: a brace, 74 hyphens
// and a brace.
const std::string kSeparator = "{" + std::string(74, '-') + "}";

// Every line of the unit ends with CR LF, the last one included.
class TUnitWriter {
 public:
  explicit TUnitWriter(std::ostream& Out) : out_(Out) {}
  TUnitWriter& operator()(const std::string& Text = std::string()) {
    out_ << Text << "\r\n";
    return *this;
  }

 private:
  std::ostream& out_;
};

const char* FieldAccessor(TOdbFieldType T) {
  return T == oftString ? "AsString" : T == oftFloat ? "AsFloat" : "AsInteger";
}

// "iaPrimary, iaCaseInsensitive, iaDescending, iaUnique": always in this
// order, whatever the declaration order of the attributes.
std::string AttributeListText(const TOdbIndex& Index) {
  std::string s;
  for (const std::string& name : IndexAttributeIdents(Index)) s += (s.empty() ? "" : ", ") + name;
  return s;
}

// 'A', 'B': the names as they are, without escaping.
std::string IndexFieldListText(const TOdbIndex& Index) {
  std::string s;
  for (TObject* o : Index.FieldNames()) {
    s += "'" + static_cast<TStringCombo*>(o)->Str + "', ";
  }
  if (!s.empty()) s.resize(s.size() - 2);
  return s;
}

}  // namespace

const char* FieldTypeIdent(TOdbFieldType T) {
  switch (T) {
    case oftString:
      return "oftString";
    case oftFloat:
      return "oftFloat";
    case oftInteger:
      return "oftInteger";
    case oftAutoInc:
      return "oftAutoInc";
  }
  return "oftString";
}

std::vector<std::string> IndexAttributeIdents(const TOdbIndex& Index) {
  std::vector<std::string> names;
  const TOdbIndexAttributes a = Index.GetAttributes();
  if (a.Contains(iaPrimary)) names.emplace_back("iaPrimary");
  if (a.Contains(iaCaseInsensitive)) names.emplace_back("iaCaseInsensitive");
  if (a.Contains(iaDescending)) names.emplace_back("iaDescending");
  if (a.Contains(iaUnique)) names.emplace_back("iaUnique");
  return names;
}

void TClassModel::WriteInterfaceSection(std::ostream& Out) const {
  TUnitWriter w(Out);
  const std::string unit = UnitNameFromFile(fileName_);
  const std::string& cls = className_;
  const std::string var = ObjectVarName();
  const std::int32_t n = MemberCount();

  // The header comment (module, description, date), the unit heading, the
  // interface uses clause and the heading of the class.
  w("{" + std::string(75, '-'))("|")("|  Module: " + unit)("|");
  w("|  Description: " + cls + " class and object-relational definition.")("|");
  w("|  History: " + UnitDateText() + ". Created by Unitwright wizard.")("|");
  w("|" + std::string(75, '-') + "}");
  w("unit " + unit + ";")()("interface")()("uses");
  w("    ObjPerst, { for TObjectReader, TObjectWriter, CloneObj }");
  w("    Odb;      { for TORMapping }")()(kSeparator)()("type")();
  w(cls + " = class(" + ancestorClass_ + ")")("protected");

  // The class's data fields, colons lined up by the padded names.
  for (std::int32_t i = 1; i <= n; ++i) {
    w("    F" + RightPad(MemberName(i), ' ', 20) + " : " + MemberTypeText(i) + ";");
  }
  // A blank line closes the fields.
  w();
  // One setter declaration per member.
  for (std::int32_t i = 1; i <= n; ++i) {
    const std::string m = MemberName(i);
    w("    procedure Set" + m + "(const In" + m + " : " + MemberTypeText(i) + ");");
  }
  // The public part: constructor and destructor.
  w()("public")("    constructor Create;")("    destructor Destroy; override;")();
  // One property per member, read from its field, written by its setter.
  for (std::int32_t i = 1; i <= n; ++i) {
    const std::string m = MemberName(i);
    w("    property " + m + " : " + MemberTypeText(i));
    w("         read  F" + m)("         write Set" + m + ";")();
  }
  // The end of the class, then the mapping class and its overrides.
  w("end;")()(kSeparator)()("type")();
  w(MappingClassName() + " = class(TORMapping)");
  w("    function GetObjectType : TClass; override;");
  w("    procedure DefineFields; override;");
  w("    procedure DefineIndices; override;");
  w("    procedure UpdateFieldsFromObj(const Obj : TObject); override;");
  // With an autoincrement field, the override that copies its value back
  // into the object.
  if (AutoIncField() != nullptr) {
    w("    procedure UpdateObjFromFields(const Obj : TObject); override;");
  }
  // The end of the mapping class and the declarations of the write and
  // read procedures of the stream format.
  w("end;")()(kSeparator)();
  w("procedure Write" + var + "(")("        const Obj     : TObject;");
  w("        const Writer  : TObjectWriter );")()(kSeparator)();
  w("procedure Read" + var + "(")("        const Obj     : TObject;");
  w("        const Reader  : TObjectReader );");
}

void TClassModel::WriteImplementationSection(std::ostream& Out) const {
  TUnitWriter w(Out);
  const std::string& cls = className_;
  const std::string var = ObjectVarName();
  const std::string mapping = MappingClassName();
  const std::int32_t n = MemberCount();
  const std::string cast = "    " + var + " := Obj as " + cls + ";";

  // The implementation uses clause and the write procedure up to its cast.
  w()(kSeparator)()("implementation")()("uses");
  w("    OdbIndex, { for iaXXXX }")("    OdbField; { for oftString }")()(kSeparator)();
  w("procedure Write" + var + "(")("        const Obj     : TObject;");
  w("        const Writer  : TObjectWriter );");
  w("var")("    " + var + " : " + cls + ";")("begin")(cast)();
  // The write procedure writes each member with its stream kind.
  for (std::int32_t i = 1; i <= n; ++i) {
    w("    Writer.Write" + std::string(MemberStreamKind(MemberTypeIndex(i))) + "(" + var + ".F" +
      MemberName(i) + ");");
  }
  // The end of the write procedure and the read procedure up to its cast.
  w("end;")()(kSeparator)();
  w("procedure Read" + var + "(")("        const Obj     : TObject;");
  w("        const Reader  : TObjectReader );");
  w("var")("    " + var + " : " + cls + ";")("begin")(cast)();
  // The read procedure reads each member back in the same order.
  for (std::int32_t i = 1; i <= n; ++i) {
    w("    " + var + ".F" + MemberName(i) + " := Reader.Read" +
      MemberStreamKind(MemberTypeIndex(i)) + ";");
  }
  // The constructor creates the Object members in list order...
  w("end;")()(kSeparator)();
  w("constructor " + cls + ".Create;")("begin")("    inherited Create;");
  for (std::int32_t i = 1; i <= n; ++i) {
    if (MemberTypeIndex(i) == MemberTypeObject) {
      w("    F" + MemberName(i) + " := " + MemberTypeText(i) + ".Create;");
    }
  }
  // ...and the destructor frees them in reverse order.
  w("end;")()(kSeparator)();
  w("destructor " + cls + ".Destroy;")("begin");
  for (std::int32_t i = n; i >= 1; --i) {
    if (MemberTypeIndex(i) == MemberTypeObject) w("    F" + MemberName(i) + ".Free;");
  }
  // The destructor ends with the inherited one.
  w("    inherited Destroy;")("end;")()(kSeparator)();
  // The setters; an Object member keeps a clone of its argument.
  for (std::int32_t i = 1; i <= n; ++i) {
    const std::string m = MemberName(i);
    w("procedure " + cls + ".Set" + m + "(const In" + m + " : " + MemberTypeText(i) + ");");
    w("begin");
    if (MemberTypeIndex(i) == MemberTypeObject) {
      w("    F" + m + ".Free;")("    F" + m + " := CloneObj(In" + m + ");");
    } else {
      w("    F" + m + " := In" + m + ";");
    }
    w("end;")();
  }
  // The mapping's GetObjectType, and UpdateFieldsFromObj up to its cast.
  w()(kSeparator)();
  w("function " + mapping + ".GetObjectType : TClass;")("begin");
  w("    Result := " + cls + ";")("end;")()(kSeparator)();
  w("procedure " + mapping + ".UpdateFieldsFromObj( const Obj    : TObject );");
  w("var")("    " + var + " : " + cls + ";")("begin")(cast)();
  // UpdateFieldsFromObj sets each field from the member of its name.
  for (TObject* o : fields_) {
    const auto* f = static_cast<const TOdbField*>(o);
    w("    FieldByName('" + f->GetName() + "')." + FieldAccessor(f->GetFieldType()) + " := " + var +
      "." + f->GetName() + ";");
  }
  // The end of UpdateFieldsFromObj.
  w("end;");
  // With an autoincrement field, UpdateObjFromFields copies its value back.
  if (const TOdbField* a = AutoIncField()) {
    w()(kSeparator)();
    w("procedure " + mapping + ".UpdateObjFromFields( const Obj    : TObject );");
    w("var")("    " + var + " : " + cls + ";")("begin")(cast)();
    w("    " + var + "." + a->GetName() + " := FieldByName('" + a->GetName() + "').AsInteger;");
    w("end;");
  }
  // The heading of DefineFields.
  w()(kSeparator)()("procedure " + mapping + ".DefineFields;")("begin");
  // DefineFields adds each field with its type and size (0 unless a string).
  for (TObject* o : fields_) {
    const auto* f = static_cast<const TOdbField*>(o);
    const std::string size =
        f->GetFieldType() == oftString ? std::to_string(f->GetSize()) : std::string("0");
    w("    AddField('" + f->GetName() + "', " + FieldTypeIdent(f->GetFieldType()) + ", " + size +
      ");");
  }
  // The end of DefineFields and the heading of DefineIndices.
  w("end;")()(kSeparator)()("procedure " + mapping + ".DefineIndices;")("begin");
  // DefineIndices adds each index with its attributes and fields.
  for (TObject* o : indices_) {
    const auto* x = static_cast<const TOdbIndex*>(o);
    w("    AddIndex('" + x->GetName() + "', [" + AttributeListText(*x) + "], [" +
      IndexFieldListText(*x) + "]);");
  }
  // The end of DefineIndices and the initialization section, which
  // registers the class with its read and write procedures for streaming.
  w("end;")()(kSeparator)()("initialization")()("RegisterStreamable(");
  w("        " + cls + ",")("        [Read" + var + "],")("        [Write" + var + "]");
  w("        );")()("end.");
}

std::string TClassModel::UnitDateText() const {
  TDateTime date;
  if (unitDate_) {
    date = EncodeDate(unitDate_->Year, unitDate_->Month, unitDate_->Day);
  } else {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    date = EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  }
  return DateToDateStr(date, "mmm dd, yyyy");
}

std::string TClassModel::UnitText() const {
  std::ostringstream out;
  WriteInterfaceSection(out);
  WriteImplementationSection(out);
  return out.str();
}

bool TClassModel::GenerateUnit() const {
  return GenerateUnitAs(fileName_, LanguageFromFileName(fileName_));
}

bool TClassModel::GenerateUnitAs(const std::string& Path, TUnitLanguage Language) const {
  // A model that C++ cannot express is refused before anything is asked or
  // written.
  if (Language == ulCpp && !CheckCppModel()) return false;
  std::error_code ec;
  if (std::filesystem::exists(Path, ec)) {
    if (ShowMessage("File " + Path + " exists\rOverwrite ?", wmConfirmation) != wbYes) {
      return false;
    }
  }
  // The text is built first, so a failure while writing cannot leave the
  // model half-rendered; the file is replaced only by the complete unit, so
  // a full disk leaves the previous unit as it was.
  const std::string text = Language == ulCpp ? CppHeaderText() : UnitText();
  try {
    ReplaceFile(Path, [&text](TStream& File) {
      // errno says why the system refused bytes; cleared here so that a
      // short write it did not explain is not blamed on an earlier call.
      errno = 0;
      File.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
    });
  } catch (const EFCreateError&) {
    throw EUnitFileError("Cannot create file " + Path + ": " + std::strerror(errno));
  } catch (const EWriteError& e) {
    const int err = errno;
    throw EUnitFileError("Cannot write file " + Path + ": " +
                         (err != 0 ? std::string(std::strerror(err)) : e.Message()));
  }
  ShowMessage("Unit " + Path + " created successfully.", wmInformation);
  return true;
}

}  // namespace corvid
