// The batch mode: reading a model file and generating its unit without the
// window.
#include "corvid/wizard/CodeGenBatch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iostream>
#include <nlohmann/json.hpp>

#include "corvid/util/OdbMisc.h"

namespace corvid {

namespace {

using json = nlohmann::json;

// Everything a model file says, checked for shape but not yet for the
// model's rules.
struct TModelFile {
  std::string FileName;
  std::string ClassName;
  std::string AncestorClass = "TObject";
  std::vector<TMemberInput> Members;
  std::vector<TFieldInput> Fields;
  std::vector<TIndexInput> Indices;
};

class TModelReader {
 public:
  explicit TModelReader(std::string Where) : where_(std::move(Where)) {}

  TModelFile Read(const std::string& Text) {
    json root;
    try {
      root = json::parse(Text);
    } catch (const json::parse_error& e) {
      Fail("", "invalid JSON: " + WithoutPrefix(e.what()));
    }
    TModelFile m;
    ExpectObject(root, "",
                 {"fileName", "className", "ancestorClass", "members", "fields", "indices"});
    m.FileName = RequiredString(root, "", "fileName");
    m.ClassName = RequiredString(root, "", "className");
    if (root.contains("ancestorClass"))
      m.AncestorClass = String(root["ancestorClass"], "ancestorClass");

    for (std::size_t i = 0; const json& e : List(root, "members")) {
      const std::string at = Item("members", i++);
      ExpectObject(e, at, {"name", "type", "className"});
      TMemberInput in;
      in.Name = RequiredString(e, at, "name");
      const std::string type = RequiredString(e, at, "type");
      in.TypeIndex = MemberTypeFromName(type);
      if (in.TypeIndex < 0) Fail(at + ".type", "unknown member type \"" + type + "\"");
      if (e.contains("className")) {
        const std::string cn = String(e["className"], at + ".className");
        if (in.TypeIndex == MemberTypeObject) in.ClassName = cn;
      }
      m.Members.push_back(std::move(in));
    }

    for (std::size_t i = 0; const json& e : List(root, "fields")) {
      const std::string at = Item("fields", i++);
      ExpectObject(e, at, {"name", "type", "size"});
      TFieldInput in;
      in.Name = RequiredString(e, at, "name");
      const std::string type = RequiredString(e, at, "type");
      in.TypeRow = -1;
      for (std::int32_t r = 0; r < FieldTypeRowCount; ++r) {
        if (type == FieldTypeCaption(static_cast<TOdbFieldType>(r))) in.TypeRow = r;
      }
      if (in.TypeRow < 0) Fail(at + ".type", "unknown field type \"" + type + "\"");
      // The size box: empty unless a size is given; the rules judge it.
      in.SizeText.clear();
      if (e.contains("size")) {
        const json& s = e["size"];
        if (!s.is_number_integer()) Fail(at + ".size", "an integer is expected");
        in.SizeText = s.dump();
      }
      m.Fields.push_back(std::move(in));
    }

    // The index dialog offers each field of the model once; a name taken
    // into the index leaves the offer.
    std::vector<std::string> fieldNames;
    for (const TFieldInput& f : m.Fields) fieldNames.push_back(f.Name);

    for (std::size_t i = 0; const json& e : List(root, "indices")) {
      const std::string at = Item("indices", i++);
      ExpectObject(e, at, {"name", "attributes", "fields"});
      TIndexInput in;
      in.Name = RequiredString(e, at, "name");
      for (std::size_t k = 0; const json& a : List(e, "attributes", at)) {
        const std::string aat = Item(at + ".attributes", k++);
        const std::string attr = String(a, aat);
        if (attr == "Primary") {
          in.Primary = true;
        } else if (attr == "Unique") {
          in.Unique = true;
        } else if (attr == "Descending") {
          in.Descending = true;
        } else if (attr == "Case Insensitive") {
          in.CaseInsensitive = true;
        } else {
          Fail(aat, "unknown index attribute \"" + attr + "\"");
        }
      }
      std::vector<std::string> available = fieldNames;
      for (std::size_t k = 0; const json& f : List(e, "fields", at)) {
        const std::string fat = Item(at + ".fields", k++);
        const std::string name = String(f, fat);
        auto it = std::find(available.begin(), available.end(), name);
        if (it == available.end()) {
          const bool listed =
              std::find(in.Fields.begin(), in.Fields.end(), name) != in.Fields.end();
          Fail(fat, listed ? "field \"" + name + "\" is already in the index"
                           : "\"" + name + "\" is not a field of the model");
        }
        available.erase(it);
        in.Fields.push_back(name);
      }
      m.Indices.push_back(std::move(in));
    }
    return m;
  }

 private:
  [[noreturn]] void Fail(const std::string& At, const std::string& What) const {
    throw EModelFileError(where_ + (At.empty() ? "" : ": " + At) + ": " + What);
  }

  static std::string WithoutPrefix(const std::string& What) {
    // "[json.exception.parse_error.101] parse error at line 1, column 2: ..."
    const std::size_t p = What.find("] ");
    return What.rfind("[json.exception", 0) == 0 && p != std::string::npos ? What.substr(p + 2)
                                                                           : What;
  }

  static std::string Item(const std::string& List, std::size_t i) {
    return List + "[" + std::to_string(i) + "]";
  }

  static std::string Key(const std::string& At, const std::string& Name) {
    return At.empty() ? Name : At + "." + Name;
  }

  void ExpectObject(const json& J, const std::string& At,
                    std::initializer_list<const char*> Keys) const {
    if (!J.is_object()) Fail(At.empty() ? "top level" : At, "an object is expected");
    for (const auto& item : J.items()) {
      const std::string& k = item.key();
      if (std::none_of(Keys.begin(), Keys.end(), [&](const char* key) { return k == key; })) {
        Fail(Key(At, k), "unknown key");
      }
    }
  }

  std::string String(const json& J, const std::string& At) const {
    if (!J.is_string()) Fail(At, "a string is expected");
    return J.get<std::string>();
  }

  std::string RequiredString(const json& J, const std::string& At, const char* Name) const {
    if (!J.contains(Name))
      Fail(At.empty() ? "top level" : At, std::string("missing \"") + Name + "\"");
    return String(J[Name], Key(At, Name));
  }

  // The array under Name, or an empty one when the key is absent.
  const json& List(const json& J, const char* Name, const std::string& At = "") const {
    static const json empty = json::array();
    if (!J.contains(Name)) return empty;
    const json& a = J[Name];
    if (!a.is_array()) Fail(Key(At, Name), "an array is expected");
    return a;
  }

  std::string where_;
};

// Builds the model as the window would: the general page, the members, the
// fields, the indices, each through its command and rules.
bool BuildModel(const TModelFile& File, TClassModel& Model) {
  Model.SetFileName(File.FileName);
  Model.SetClassName(File.ClassName);
  Model.SetAncestorClass(File.AncestorClass);
  if (!Model.CanMovePage(0, 1)) return false;
  for (const TMemberInput& m : File.Members) {
    if (!Model.AddDataMember(m)) return false;
  }
  if (!Model.CanMovePage(1, 2)) return false;
  for (const TFieldInput& f : File.Fields) {
    if (!Model.AddField(f)) return false;
  }
  for (const TIndexInput& x : File.Indices) {
    if (!Model.AddIndex(x)) return false;
  }
  return true;
}

const char kUsage[] =
    "Usage: unitwright --model MODEL.json [--output FILE] [--date YYYY-MM-DD]\n"
    "                  [--language pascal|cpp]\n"
    "       unitwright\n"
    "\n"
    "Writes the unit for the class model in MODEL.json to FILE (default: the\n"
    "model's file name), replacing an existing file. The unit's date is taken\n"
    "from --date when given, from the clock otherwise. --language cpp writes a\n"
    "C++ header instead of the Object Pascal unit; without --language, a FILE\n"
    "ending in .h or .hpp selects C++ and any other Pascal.\n"
    "\n"
    "Without arguments, opens the wizard's window (needs a display).\n"
    "\n"
    "Exit status: 0 written; 1 a rule of the model failed; 2 malformed model\n"
    "file or command line; 3 the unit could not be written; 4 unexpected\n"
    "failure.\n";

// YYYY-MM-DD, a real calendar day.
bool ParseDate(const std::string& S, std::int32_t& Y, std::int32_t& M, std::int32_t& D) {
  if (S.size() != 10 || S[4] != '-' || S[7] != '-') return false;
  for (std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u}) {
    if (S[i] < '0' || S[i] > '9') return false;
  }
  Y = std::stoi(S.substr(0, 4));
  M = std::stoi(S.substr(5, 2));
  D = std::stoi(S.substr(8, 2));
  try {
    EncodeDate(Y, M, D);
  } catch (const EConvertError&) {
    return false;
  }
  return true;
}

}  // namespace

const char* UnitwrightUsage() {
  return kUsage;
}

bool LoadModelJson(const std::string& Text, const std::string& Where, TClassModel& Model) {
  const TModelFile file = TModelReader(Where).Read(Text);
  return BuildModel(file, Model);
}

bool LoadModelFile(const std::string& Path, TClassModel& Model) {
  // Without blocking: opening a pipe for reading would wait for a writer.
  const int fd = ::open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw EModelFileError(Path + ": cannot be read");
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  // Only a regular file has an end to read to (a device such as /dev/zero
  // has none), and only a bounded one is read into memory.
  struct stat st;
  if (::fstat(fd, &st) != 0) throw EModelFileError(Path + ": cannot be read");
  if (!S_ISREG(st.st_mode)) throw EModelFileError(Path + ": not a regular file");
  const auto tooLarge = [&] { return EModelFileError(Path + ": larger than 16 MB"); };
  if (st.st_size > kMaxModelFileSize) throw tooLarge();
  // The file may grow while it is read: never more than the limit.
  std::string text(static_cast<std::size_t>(st.st_size) + 1, '\0');
  std::size_t done = 0;
  for (;;) {
    if (done == text.size()) {
      if (text.size() > static_cast<std::size_t>(kMaxModelFileSize)) throw tooLarge();
      text.resize(std::min<std::size_t>(text.size() * 2, kMaxModelFileSize + 1));
    }
    const ssize_t n = ::read(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw EModelFileError(Path + ": cannot be read");
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  text.resize(done);
  return LoadModelJson(text, Path, Model);
}

int RunUnitwright(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err) {
  std::string model, output, date, language;
  bool haveModel = false, haveOutput = false, haveDate = false, haveLanguage = false;
  for (std::size_t i = 0; i < Args.size(); ++i) {
    std::string arg = Args[i];
    if (arg == "--help" || arg == "-h") {
      Out << kUsage;
      return kExitOk;
    }
    std::string value;
    bool hasValue = false;
    if (const std::size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg.erase(eq);
      hasValue = true;
    }
    std::string* dest = nullptr;
    bool* seen = nullptr;
    if (arg == "--model") {
      dest = &model, seen = &haveModel;
    } else if (arg == "--output") {
      dest = &output, seen = &haveOutput;
    } else if (arg == "--date") {
      dest = &date, seen = &haveDate;
    } else if (arg == "--language") {
      dest = &language, seen = &haveLanguage;
    } else {
      Err << "unitwright: unknown argument \"" << Args[i] << "\"\n" << kUsage;
      return kExitBadInput;
    }
    if (!hasValue) {
      if (i + 1 >= Args.size()) {
        Err << "unitwright: " << arg << " needs a value\n" << kUsage;
        return kExitBadInput;
      }
      value = Args[++i];
    }
    if (*seen) {
      Err << "unitwright: " << arg << " given twice\n";
      return kExitBadInput;
    }
    *dest = value;
    *seen = true;
  }
  if (!haveModel) {
    // The program opens the window when it has no arguments at all; here
    // options came without a model.
    Out << kUsage;
    return haveOutput || haveDate || haveLanguage ? kExitBadInput : kExitOk;
  }
  if (haveLanguage && language != "pascal" && language != "cpp") {
    Err << "unitwright: --language \"" << language << "\" is neither pascal nor cpp\n";
    return kExitBadInput;
  }

  TClassModel m;
  // Errors go to the error stream; questions (replacing the unit) are
  // answered Yes; the success message goes to the output.
  m.SetMessageFunc([&](const std::string& Text, TWizardMessageKind Kind) {
    std::string t = Text;
    std::replace(t.begin(), t.end(), '\r', '\n');
    if (Kind == wmConfirmation) return wbYes;
    (Kind == wmError ? Err : Out) << t << '\n';
    return wbOK;
  });
  if (haveDate) {
    std::int32_t y = 0, mo = 0, d = 0;
    if (!ParseDate(date, y, mo, d)) {
      Err << "unitwright: --date \"" << date << "\" is not a date of the form YYYY-MM-DD\n";
      return kExitBadInput;
    }
    m.SetUnitDate(y, mo, d);
  }
  try {
    if (!LoadModelFile(model, m)) return kExitRuleFailed;
  } catch (const EModelFileError& e) {
    Err << "unitwright: " << e.Message() << '\n';
    return kExitBadInput;
  }
  const std::string path = haveOutput ? output : m.GetFileName();
  const TUnitLanguage lang = !haveLanguage       ? LanguageFromFileName(path)
                             : language == "cpp" ? ulCpp
                                                 : ulPascal;
  if (lang == ulCpp && !m.CheckCppModel()) return kExitRuleFailed;
  try {
    if (!m.GenerateUnitAs(path, lang)) return kExitWriteFailed;
  } catch (const EUnitFileError& e) {
    Err << "unitwright: " << e.Message() << '\n';
    return kExitWriteFailed;
  }
  return kExitOk;
}

}  // namespace corvid
