// Writing the model as one C++ header: the class, its stream procedures,
// its mapping class and its registration for the object stream.
//
// One header and no source file: the output is one file, as the Pascal unit
// is, a build only has to put its folder on the include path, and nothing
// of it can be left out by a linker that drops unreferenced archive
// members. Everything is inline; the registration is an inline variable,
// initialised once per program however many of its files include the
// header.
//
// The images are those of the Pascal unit: the write procedure writes the
// data members in model order with the same stream kinds (Byte, ShortInt,
// Word, Integer and LongInt as Integer; Comp, Single, Double and Extended
// as Float; Object as a child record), so an object written by either gives
// the same bytes.
//
// The text is laid out as clang-format lays out the project's code (Google
// style, 100 columns): short functions on one line, long calls and
// declarations broken where clang-format breaks them.
#include <algorithm>
#include <cctype>
#include <ostream>
#include <set>
#include <sstream>

#include "corvid/util/OdbMisc.h"
#include "corvid/values/ObjBuckt.h"
#include "corvid/wizard/CodeGen.h"

namespace corvid {

namespace {

constexpr std::size_t kColumnLimit = 100;

const std::string kRule = "// " + std::string(75, '-');

// The C++ types of the member type table, by type index (Object apart).
const char* const kCppTypes[MemberTypeObject] = {
    "bool",         "std::uint8_t", "char",        "std::int64_t", "double",      "long double",
    "std::int32_t", "std::int32_t", "std::int8_t", "float",        "std::string", "std::uint16_t"};

enum : std::uint16_t {
  kBoolean = 0,
  kByte = 1,
  kChar = 2,
  kComp = 3,
  kDouble = 4,
  kExtended = 5,
  kInteger = 6,
  kLongInt = 7,
  kShortInt = 8,
  kSingle = 9,
  kWord = 11
};

bool IsIntegerType(std::uint16_t T) {
  return T == kByte || T == kInteger || T == kLongInt || T == kShortInt || T == kWord;
}

bool IsNumericType(std::uint16_t T) {
  return IsIntegerType(T) || T == kComp || T == kDouble || T == kExtended || T == kSingle;
}

// The keywords and alternative tokens of C++20.
const std::set<std::string>& Keywords() {
  static const std::set<std::string> k = [] {
    std::istringstream words(
        "alignas alignof and and_eq asm auto bitand bitor bool break case catch char char8_t "
        "char16_t char32_t class compl concept const consteval constexpr constinit const_cast "
        "continue co_await co_return co_yield decltype default delete do double dynamic_cast "
        "else enum explicit export extern false float for friend goto if inline int long "
        "mutable namespace new noexcept not not_eq nullptr operator or or_eq private protected "
        "public register reinterpret_cast requires return short signed sizeof static "
        "static_assert static_cast struct switch template this thread_local throw true try "
        "typedef typeid typename union unsigned using virtual void volatile wchar_t while xor "
        "xor_eq");
    std::set<std::string> set;
    for (std::string w; words >> w;) set.insert(w);
    return set;
  }();
  return k;
}

// Names the generated code itself uses where a class name stands: a class
// of one of these names would be hidden by them.
bool IsGeneratedCodeName(const std::string& Name) {
  static const std::set<std::string> names = {"Obj", "Reader", "Writer", "corvid", "self", "std"};
  return names.count(Name) != 0;
}

// Why Name cannot name something in C++ (a sentence ending after "is"), or
// empty when it can.
std::string CppNameProblem(const std::string& Name) {
  const auto isStart = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
  };
  const auto isPart = [&](char c) { return isStart(c) || (c >= '0' && c <= '9'); };
  if (Name.empty() || !isStart(Name[0]) || !std::all_of(Name.begin(), Name.end(), isPart)) {
    return "not a valid C++ identifier";
  }
  if (Keywords().count(Name) != 0) return "a C++ keyword";
  if (Name.find("__") != std::string::npos ||
      (Name[0] == '_' && Name.size() > 1 && Name[1] >= 'A' && Name[1] <= 'Z')) {
    return "reserved in C++ (two underscores, or an underscore and a capital letter)";
  }
  return {};
}

bool SameNoCase(const std::string& A, const std::string& B) {
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) ==
                  std::tolower(static_cast<unsigned char>(b));
         });
}

std::string Quoted(const std::string& S) {
  return "\"" + S + "\"";
}

// A class the header names: TObject is the library's.
std::string CppClassName(const std::string& Name) {
  return Name == "TObject" ? "corvid::TObject" : Name;
}

const char* FieldAccessor(TOdbFieldType T) {
  return T == oftString ? "String" : T == oftFloat ? "Float" : "Integer";
}

// Lines of the header, each ended with LF.
class TCppWriter {
 public:
  explicit TCppWriter(std::ostream& Out) : out_(Out) {}
  TCppWriter& operator()(const std::string& Text = std::string()) {
    out_ << Text << '\n';
    return *this;
  }

  // A function defined in a class: on one line when it has one statement
  // and fits, otherwise as a block. Indent is the indentation of Head.
  void Function(std::size_t Indent, const std::string& Head, const std::vector<std::string>& Body) {
    const std::string in(Indent, ' ');
    if (Body.empty()) {
      (*this)(in + Head + " {}");
      return;
    }
    if (Body.size() == 1) {
      const std::string line = in + Head + " { " + Body[0] + " }";
      if (line.size() <= kColumnLimit) {
        (*this)(line);
        return;
      }
    }
    Declaration(Indent, Head, " {");
    for (const std::string& s : Body) (*this)(in + "  " + s);
    (*this)(in + "}");
  }

  // A declaration or function head "Name(Params)Suffix": on one line when
  // it fits, else the parameters on the next line, four blanks further in.
  void Declaration(std::size_t Indent, const std::string& Head, const std::string& Suffix) {
    const std::string in(Indent, ' ');
    const std::size_t open = Head.find('(');
    if (in.size() + Head.size() + Suffix.size() <= kColumnLimit || open == std::string::npos ||
        Head[open + 1] == ')') {
      (*this)(in + Head + Suffix);
      return;
    }
    (*this)(in + Head.substr(0, open + 1));
    (*this)(in + "    " + Head.substr(open + 1) + Suffix);
  }

  // A call statement Prefix(Args)Suffix with its arguments packed as
  // clang-format packs them: as many on a line as fit, the next lines
  // aligned after the opening parenthesis; a braced list that does not fit
  // on the rest of a line starts a new one and packs its own items after
  // its brace. When not even the first argument fits after the
  // parenthesis, the arguments start on the next line, four blanks in.
  struct TArg {
    // A plain argument.
    TArg(std::string AText) : Text(std::move(AText)) {}  // NOLINT: implicit on purpose
    // A braced list.
    static TArg List(std::vector<std::string> AItems) {
      TArg a("");
      a.Items = std::move(AItems);
      a.Braced = true;
      return a;
    }
    std::string Text;
    std::vector<std::string> Items;
    bool Braced = false;
  };
  void Call(std::size_t Indent, const std::string& Prefix, const std::vector<TArg>& Args,
            const std::string& Suffix) {
    std::vector<std::string> flat;
    for (const TArg& a : Args) flat.push_back(a.Braced ? Braced(a.Items) : a.Text);
    const std::string in(Indent, ' ');
    std::string one = in + Prefix;
    for (std::size_t i = 0; i < flat.size(); ++i) one += (i ? ", " : "") + flat[i];
    one += Suffix;
    if (one.size() <= kColumnLimit) {
      (*this)(one);
      return;
    }
    std::vector<std::string> lines{in + Prefix};
    std::size_t align = lines.back().size();
    if (align + flat[0].size() + 1 > kColumnLimit) {
      align = Indent + 4;
      lines.push_back(std::string(align, ' '));
    }
    for (std::size_t i = 0; i < Args.size(); ++i) {
      const std::string tail = i + 1 == Args.size() ? Suffix : ",";
      std::string& cur = lines.back();
      const bool fresh = cur.size() == align;
      const std::string piece = (fresh ? "" : " ") + flat[i] + tail;
      if (cur.size() + piece.size() <= kColumnLimit) {
        cur += piece;
        continue;
      }
      if (!fresh) lines.push_back(std::string(align, ' '));
      if (!Args[i].Braced || align + flat[i].size() + tail.size() <= kColumnLimit) {
        lines.back() += flat[i] + tail;
        continue;
      }
      // The braced list packs its items after its brace.
      const std::size_t inner = align + 1;
      lines.back() += "{";
      const std::vector<std::string>& items = Args[i].Items;
      for (std::size_t k = 0; k < items.size(); ++k) {
        const std::string end = k + 1 == items.size() ? "}" + tail : ",";
        std::string& line = lines.back();
        const bool first = line.size() == inner;
        if (line.size() + (first ? 0 : 1) + items[k].size() + end.size() <= kColumnLimit) {
          line += (first ? "" : " ") + items[k] + end;
        } else {
          lines.push_back(std::string(inner, ' ') + items[k] + end);
        }
      }
    }
    for (const std::string& l : lines) (*this)(l);
  }

  // A comment of words, wrapped within the column limit.
  void Comment(std::size_t Indent, const std::string& Text) {
    const std::string lead = std::string(Indent, ' ') + "//";
    std::string line = lead;
    std::istringstream words(Text);
    for (std::string word; words >> word;) {
      if (line.size() > lead.size() && line.size() + 1 + word.size() > kColumnLimit) {
        (*this)(line);
        line = lead;
      }
      line += " " + word;
    }
    (*this)(line);
  }

  // "class Name : public Base {", the base on the next line when too long.
  void ClassHead(const std::string& Name, const std::string& Base) {
    const std::string one = "class " + Name + " : public " + Base + " {";
    if (one.size() <= kColumnLimit) {
      (*this)(one);
    } else {
      (*this)("class " + Name)("    : public " + Base + " {");
    }
  }

  // "Left = Right;", broken after the "=" when too long.
  void Assign(std::size_t Indent, const std::string& Left, const std::string& Right) {
    const std::string in(Indent, ' ');
    const std::string one = in + Left + " = " + Right + ";";
    if (one.size() <= kColumnLimit) {
      (*this)(one);
    } else {
      (*this)(in + Left + " =")(in + "    " + Right + ";");
    }
  }

  // "Object->Call;", broken before the "->" when too long.
  void Chain(std::size_t Indent, const std::string& Object, const std::string& Call) {
    const std::string in(Indent, ' ');
    const std::string one = in + Object + "->" + Call + ";";
    if (one.size() <= kColumnLimit) {
      (*this)(one);
    } else {
      (*this)(in + Object)(in + "    ->" + Call + ";");
    }
  }

  static std::string Braced(const std::vector<std::string>& Items) {
    std::string s = "{";
    for (std::size_t i = 0; i < Items.size(); ++i) s += (i ? ", " : "") + Items[i];
    return s + "}";
  }

 private:
  std::ostream& out_;
};

}  // namespace

TUnitLanguage LanguageFromFileName(const std::string& FileName) {
  std::string lower = FileName;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const auto endsWith = [&](const std::string& Ext) {
    return lower.size() > Ext.size() &&
           lower.compare(lower.size() - Ext.size(), Ext.size(), Ext) == 0;
  };
  return endsWith(".h") || endsWith(".hpp") ? ulCpp : ulPascal;
}

std::string CppClassHeader(const std::string& ClassName) {
  if (ClassName == "TObject") return {};
  return (ClassName.size() > 1 ? ClassName.substr(1) : ClassName) + ".h";
}

std::vector<std::string> TClassModel::CppModelErrors() const {
  std::vector<std::string> errors;
  const auto name = [&](const std::string& What, const std::string& Name) {
    const std::string p = CppNameProblem(Name);
    if (!p.empty()) errors.push_back(What + " " + Quoted(Name) + " is " + p + ".");
    return p.empty();
  };

  // Class names: also none that the generated code uses for other things.
  const auto classProblem = [](const std::string& Name) {
    const std::string p = CppNameProblem(Name);
    return p.empty() && IsGeneratedCodeName(Name) ? "a name the generated code uses itself" : p;
  };
  const auto checkClass = [&](const std::string& What, const std::string& Name) {
    const std::string p = classProblem(Name);
    if (!p.empty()) errors.push_back(What + " " + Quoted(Name) + " is " + p + ".");
  };
  checkClass("Class name", className_);
  checkClass("Ancestor class", ancestorClass_);

  const std::int32_t n = MemberCount();
  std::set<std::string> seen, reported;
  for (std::int32_t i = 1; i <= n; ++i) {
    const std::string m = MemberName(i);
    if (!name("Data member", m)) continue;
    if (!seen.insert(m).second && reported.insert(m).second) {
      errors.push_back("Data member " + Quoted(m) + " is defined twice.");
    }
    if (MemberTypeIndex(i) != MemberTypeObject) continue;
    const std::string cls = MemberTypeText(i);
    if (const std::string p = classProblem(cls); !p.empty()) {
      errors.push_back("Class " + Quoted(cls) + " of data member " + Quoted(m) + " is " + p + ".");
    } else if (cls == className_) {
      errors.push_back("Data member " + Quoted(m) + " is of the class " + cls +
                       " itself: every object would create another without end.");
    }
  }

  // Fields: each copies a data member of a type it can hold; the field
  // name finds the member as the mapping finds fields, letter case aside.
  std::vector<std::string> fieldNames;
  for (std::int32_t f = 1; f <= FieldCount(); ++f) {
    const TOdbField& field = *FieldAt(f);
    const std::string& fn = field.GetName();
    if (!name("Field", fn)) continue;
    const bool twice = std::any_of(fieldNames.begin(), fieldNames.end(),
                                   [&](const std::string& s) { return SameNoCase(s, fn); });
    fieldNames.push_back(fn);
    if (twice) {
      errors.push_back("Field " + Quoted(fn) + " is defined twice (letter case aside).");
      continue;
    }
    std::int32_t member = 0;
    for (std::int32_t i = 1; i <= n && member == 0; ++i) {
      if (MemberName(i) == fn) member = i;
    }
    for (std::int32_t i = 1; i <= n && member == 0; ++i) {
      if (SameNoCase(MemberName(i), fn)) member = i;
    }
    if (member == 0) {
      errors.push_back("Field " + Quoted(fn) + " matches no data member.");
      continue;
    }
    const std::uint16_t t = MemberTypeIndex(member);
    bool fits = false;
    switch (field.GetFieldType()) {
      case oftString:
        fits = t == MemberTypeString;
        break;
      case oftFloat:
        fits = IsNumericType(t);
        break;
      case oftInteger:
        fits = IsIntegerType(t);
        break;
      case oftAutoInc:
        fits = t == kInteger || t == kLongInt;
        break;
    }
    if (!fits) {
      errors.push_back("Field " + Quoted(fn) + " of type " +
                       FieldTypeCaption(field.GetFieldType()) + " cannot hold data member " +
                       Quoted(MemberName(member)) + " of type " + MemberTypeText(member) + ".");
    }
  }

  std::vector<std::string> indexNames;
  for (std::int32_t x = 1; x <= IndexCount(); ++x) {
    const TOdbIndex& index = *IndexAt(x);
    const std::string& xn = index.GetName();
    if (!name("Index", xn)) continue;
    if (std::any_of(indexNames.begin(), indexNames.end(),
                    [&](const std::string& s) { return SameNoCase(s, xn); })) {
      errors.push_back("Index " + Quoted(xn) + " is defined twice (letter case aside).");
    }
    indexNames.push_back(xn);
    for (TObject* o : index.FieldNames()) {
      const std::string& f = static_cast<TStringCombo*>(o)->Str;
      bool found = false;
      for (std::int32_t k = 1; k <= FieldCount() && !found; ++k) {
        found = SameNoCase(FieldAt(k)->GetName(), f);
      }
      if (!found) {
        errors.push_back("Index " + Quoted(xn) + " names " + Quoted(f) + ", which is not a field.");
      }
    }
  }
  return errors;
}

bool TClassModel::CheckCppModel() const {
  const std::vector<std::string> errors = CppModelErrors();
  if (errors.empty()) return true;
  std::string text = "The class cannot be written as C++:";
  for (const std::string& e : errors) text += "\r" + e;
  ShowMessage(text, wmError);
  return false;
}

void TClassModel::WriteCppHeader(std::ostream& Out) const {
  if (const std::vector<std::string> errors = CppModelErrors(); !errors.empty()) {
    throw ECppModelError(errors.front());
  }
  TCppWriter w(Out);
  const std::string& cls = className_;
  const std::string ancestor = CppClassName(ancestorClass_);
  const std::string var = ObjectVarName();
  const std::string mapping = MappingClassName();
  const std::int32_t n = MemberCount();

  struct TMember {
    std::string Name, Type, ClassName;
    std::uint16_t TypeIndex;
    bool IsObject() const { return TypeIndex == MemberTypeObject; }
  };
  std::vector<TMember> members;
  std::set<std::string> includes;
  for (std::int32_t i = 1; i <= n; ++i) {
    TMember m{MemberName(i), "", "", MemberTypeIndex(i)};
    if (m.IsObject()) {
      m.ClassName = CppClassName(MemberTypeText(i));
      m.Type = "std::unique_ptr<" + m.ClassName + ">";
      includes.insert(CppClassHeader(MemberTypeText(i)));
    } else {
      m.Type = kCppTypes[m.TypeIndex];
    }
    members.push_back(std::move(m));
  }
  includes.insert(CppClassHeader(ancestorClass_));
  includes.erase(std::string());
  const bool hasObjects =
      std::any_of(members.begin(), members.end(), [](const TMember& m) { return m.IsObject(); });

  // Heading and includes.
  w.Comment(0, cls + " class and object-relational definition.");
  w("//");
  w("// Written by the Unitwright wizard from the class model. Change the model and");
  w("// generate again rather than editing this file.")("#pragma once")();
  w("#include <cstdint>")("#include <memory>")("#include <string>")();
  w("#include \"corvid/odb/Odb.h\"")("#include \"corvid/persist/ObjPerst.h\"");
  if (!includes.empty()) {
    w();
    for (const std::string& h : includes) w("#include \"" + h + "\"");
  }

  // The class.
  w()(kRule)();
  w.ClassHead(cls, ancestor);
  w.Call(2, "CORVID_CLASS(", {cls, ancestor}, ")");
  w(" public:");
  if (hasObjects) {
    std::vector<std::string> body;
    for (const TMember& m : members) {
      if (m.IsObject())
        body.push_back("F" + m.Name + " = std::make_unique<" + m.ClassName + ">();");
    }
    w("  // Creates the object members.");
    w.Function(2, cls + "()", body);
    w();
  }
  for (const TMember& m : members) {
    const std::string f = "F" + m.Name;
    const std::string in = "In" + m.Name;
    if (m.IsObject()) {
      w("  // The owned child (null only when a null child was read or set); the setter");
      w("  // keeps a deep copy made through the object stream.");
      w.Function(2, m.ClassName + "* Get" + m.Name + "()", {"return " + f + ".get();"});
      w.Function(2, "const " + m.ClassName + "* Get" + m.Name + "() const",
                 {"return " + f + ".get();"});
      w.Function(2, "void Set" + m.Name + "(const " + m.ClassName + "* " + in + ")",
                 {f + " = corvid::CloneObjAs(" + in + ");"});
    } else if (m.TypeIndex == MemberTypeString) {
      w.Function(2, "const std::string& Get" + m.Name + "() const", {"return " + f + ";"});
      w.Function(2, "void Set" + m.Name + "(const std::string& " + in + ")",
                 {f + " = " + in + ";"});
    } else {
      w.Function(2, m.Type + " Get" + m.Name + "() const", {"return " + f + ";"});
      w.Function(2, "void Set" + m.Name + "(" + m.Type + " " + in + ")", {f + " = " + in + ";"});
    }
  }
  w()(" protected:");
  for (const TMember& m : members) {
    std::string init;
    if (m.TypeIndex == kBoolean) {
      init = " = false";
    } else if (!m.IsObject() && m.TypeIndex != MemberTypeString) {
      init = " = 0";
    }
    w("  " + m.Type + " F" + m.Name + init + ";");
  }
  w()(" private:");
  if (hasObjects) {
    w("  // The object stream reads into a blank instance, which has no children yet.");
    w("  explicit " + cls + "(corvid::TBlank) {}")();
  }
  const std::string writeHead =
      "void Write" + var + "(corvid::TObject* Obj, corvid::TObjectWriter& Writer)";
  const std::string readHead =
      "void Read" + var + "(corvid::TObject* Obj, corvid::TObjectReader& Reader)";
  w.Declaration(2, "friend " + writeHead, ";");
  w.Declaration(2, "friend " + readHead, ";");
  w("};");

  // The stream procedures.
  const std::string cast = "static_cast<" + cls + "*>(Obj)";
  w()(kRule)();
  if (n == 0) {
    w("inline void Write" + var + "(corvid::TObject*, corvid::TObjectWriter&) {}")();
    w("inline void Read" + var + "(corvid::TObject*, corvid::TObjectReader&) {}");
  } else {
    w.Declaration(0, "inline " + writeHead, " {");
    w.Assign(2, "auto* self", cast);
    for (const TMember& m : members) {
      const std::string f = "self->F" + m.Name;
      const std::string kind = MemberStreamKind(m.TypeIndex);
      if (m.IsObject()) {
        w("  Writer.WriteChildObject(" + f + ".get());");
      } else if (m.TypeIndex == kComp) {
        w("  Writer.WriteFloat(static_cast<long double>(" + f + "));");
      } else {
        w("  Writer.Write" + kind + "(" + f + ");");
      }
    }
    w("}")();
    w.Declaration(0, "inline " + readHead, " {");
    w.Assign(2, "auto* self", cast);
    for (const TMember& m : members) {
      const std::string f = "self->F" + m.Name;
      switch (m.TypeIndex) {
        case MemberTypeObject:
          w.Assign(2, f, "Reader.ReadChildObjectAs<" + m.ClassName + ">()");
          break;
        case kComp:
          w.Assign(2, f, "corvid::FloatToComp(Reader.ReadFloat())");
          break;
        case kByte:
        case kShortInt:
        case kWord:
        case kSingle:
        case kDouble:
          w.Assign(
              2, f,
              "static_cast<" + m.Type + ">(Reader.Read" + MemberStreamKind(m.TypeIndex) + "())");
          break;
        default:
          w.Assign(2, f, std::string("Reader.Read") + MemberStreamKind(m.TypeIndex) + "()");
      }
    }
    w("}");
  }

  // The mapping class.
  w()(kRule)();
  w.ClassHead(mapping, "corvid::TORMapping");
  w.Call(2, "CORVID_CLASS(", {mapping, std::string("corvid::TORMapping")}, ")");
  w(" public:");
  w.Function(2, "corvid::TClass GetObjectType() const override",
             {"return " + cls + "::StaticClass();"});

  std::vector<const TOdbField*> fields;
  for (TObject* o : fields_) fields.push_back(static_cast<const TOdbField*>(o));
  if (fields.empty()) {
    w("  void DefineFields() override {}");
  } else {
    w("  void DefineFields() override {")("    using enum corvid::TOdbFieldType;");
    for (const TOdbField* f : fields) {
      std::vector<TCppWriter::TArg> args{{Quoted(f->GetName())},
                                         {FieldTypeIdent(f->GetFieldType())}};
      if (f->GetFieldType() == oftString) args.emplace_back(std::to_string(f->GetSize()));
      w.Call(4, "AddField(", args, ");");
    }
    w("  }");
  }
  if (IndexCount() == 0) {
    w("  void DefineIndices() override {}");
  } else {
    w("  void DefineIndices() override {")("    using enum corvid::TOdbIndexAttribute;");
    for (TObject* o : indices_) {
      const auto* x = static_cast<const TOdbIndex*>(o);
      TCppWriter::TArg attributes = TCppWriter::TArg::List(IndexAttributeIdents(*x));
      TCppWriter::TArg names = TCppWriter::TArg::List({});
      for (TObject* c : x->FieldNames())
        names.Items.push_back(Quoted(static_cast<TStringCombo*>(c)->Str));
      w.Call(4, "AddIndex(", {Quoted(x->GetName()), attributes, names}, ");");
    }
    w("  }");
  }

  // The member a field copies: the exact name first, else one that differs
  // in letter case only (CppModelErrors makes sure there is one).
  const auto memberOf = [&](const std::string& Field) -> const TMember& {
    for (const TMember& m : members) {
      if (m.Name == Field) return m;
    }
    for (const TMember& m : members) {
      if (SameNoCase(m.Name, Field)) return m;
    }
    throw ECppModelError("Field " + Quoted(Field) + " matches no data member.");
  };
  if (fields.empty()) {
    w("  void UpdateFieldsFromObj(const corvid::TObject*) override {}");
  } else {
    w("  void UpdateFieldsFromObj(const corvid::TObject* Obj) override {");
    w.Assign(4, "const auto* self", "static_cast<const " + cls + "*>(Obj)");
    for (const TOdbField* f : fields) {
      const TMember& m = memberOf(f->GetName());
      std::string value = "self->Get" + m.Name + "()";
      if (f->GetFieldType() == oftFloat && m.TypeIndex != kDouble) {
        value = "static_cast<double>(" + value + ")";
      }
      w.Chain(4, "FieldByName(" + Quoted(f->GetName()) + ")",
              std::string("SetAs") + FieldAccessor(f->GetFieldType()) + "(" + value + ")");
    }
    w("  }");
  }
  // The value the driver gave the autoincrement field goes back into the
  // object.
  if (const TOdbField* a = AutoIncField()) {
    w("  void UpdateObjFromFields(corvid::TObject* Obj) override {");
    w.Assign(4, "auto* self", cast);
    w.Call(4, "self->Set" + memberOf(a->GetName()).Name + "(",
           {"FieldByName(" + Quoted(a->GetName()) + ")->GetAsInteger()"}, ");");
    w("  }");
  }
  w("};");

  // The registration.
  w()(kRule)();
  w("// Registers the class for the object stream once per program, however many of");
  w("// its files include this header.");
  w("inline const bool k" + cls + "Registered = [] {");
  w.Call(2, "corvid::RegisterStreamable(",
         {cls + "::StaticClass()", "{Read" + var + "}", "{Write" + var + "}"}, ");");
  w("  return true;")("}();");
}

std::string TClassModel::CppHeaderText() const {
  std::ostringstream out;
  WriteCppHeader(out);
  return out.str();
}

}  // namespace corvid
