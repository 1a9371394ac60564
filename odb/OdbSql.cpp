// SQL statement builders. See OdbSql.h for the output format.
#include "corvid/odb/OdbSql.h"

#include <atomic>
#include <charconv>
#include <cmath>
#include <system_error>

#include "corvid/containers/ObjList.h"
#include "corvid/containers/ObjType.h"
#include "corvid/odb/OdbDataset.h"
#include "corvid/odb/OdbField.h"
#include "corvid/odb/OdbIndex.h"
#include "corvid/odb/OdbMapping.h"
#include "corvid/odb/OdbSchema.h"
#include "corvid/util/OdbMisc.h"
#include "corvid/values/ObjBuckt.h"

namespace corvid {

std::uint64_t TStringList::NextVersion() {
  static std::atomic<std::uint64_t> last{0};
  return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

const std::string& TStringList::Get(std::int32_t N) const {
  if (N < 1 || N > Count()) RaiseInvalidIndex();
  return lines_[static_cast<std::size_t>(N - 1)];
}

std::string TStringList::Text() const {
  std::string text;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (i > 0) text += '\n';
    text += lines_[i];
  }
  return text;
}

void TStringList::SetText(std::string_view Value) {
  lines_.clear();
  Changed();
  if (Value.empty()) return;
  std::size_t start = 0;
  while (true) {
    const std::size_t eol = Value.find('\n', start);
    std::string_view line = Value.substr(start, eol == std::string_view::npos ? eol : eol - start);
    if (eol != std::string_view::npos && !line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    lines_.emplace_back(line);
    if (eol == std::string_view::npos) break;
    start = eol + 1;
    // A line break at the very end closes the last line; it opens none.
    if (start == Value.size()) break;
  }
}

namespace {

// Appends Value enclosed in single quotes, each single quote inside doubled.
void AppendQuoted(std::string& Text, std::string_view Value) {
  Text += '\'';
  // The text up to and with each quote, then the quote once more.
  for (std::size_t q = Value.find('\''); q != std::string_view::npos; q = Value.find('\'')) {
    Text.append(Value.substr(0, q + 1));
    Text += '\'';
    Value.remove_prefix(q + 1);
  }
  Text.append(Value);
  Text += '\'';
}

}  // namespace

std::string QuoteSqlValue(std::string_view Value) {
  std::string quoted;
  quoted.reserve(Value.size() + 2);
  AppendQuoted(quoted, Value);
  return quoted;
}

namespace {

const TOdbField& AsField(const TObject* Obj) {
  return *static_cast<const TOdbField*>(Obj);
}

// The text of a float in a statement. SQL numbers take '.' whatever the
// user's locale, and a key compared with a stored double must be that very
// double: the 15-decimal text of the field where it reads back exactly, the
// shortest text that does where it would not (1/3, tiny values).
std::string SqlFloatText(double Value) {
  std::string text = OdbFloatToStr(Value, '.');
  if (!std::isfinite(Value)) return text;
  double back = 0;
  const char* end = text.data() + text.size();
  const auto parsed = std::from_chars(text.data(), end, back);
  if (parsed.ec == std::errc() && parsed.ptr == end && back == Value) return text;
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, Value);
  return std::string(buf, r.ptr);
}

// A field's value as a statement shows it (before any quoting).
std::string SqlValueText(const TOdbField& Field) {
  if (Field.GetFieldType() == oftFloat) return SqlFloatText(Field.GetAsFloat());
  return Field.GetAsString();
}

}  // namespace

namespace {

// The builder's own column rules: the type words given, a string column
// as long as the field's text (its Size less the terminator).
class TBuilderDialect : public TTableDialect {
 public:
  TBuilderDialect(const std::string& StringType, const std::string& IntegerType,
                  const std::string& FloatType, const std::string& ObjectType)
      : string_(StringType), integer_(IntegerType), float_(FloatType), object_(ObjectType) {}

  std::string ColumnType(const TSchemaColumn& Column) const override {
    switch (Column.Type) {
      case oftString:
        return string_ + "(" + std::to_string(static_cast<int>(Column.Size) - 1) + ")";
      case oftInteger:
      case oftAutoInc:
        return integer_;
      case oftFloat:
        return float_;
    }
    // A field of a type outside the four (from a damaged stream) has no
    // column type.
    RaiseOdb<EOdbFieldTypeNotSupported>();
  }
  std::string ObjectType() const override { return object_; }

 private:
  const std::string& string_;
  const std::string& integer_;
  const std::string& float_;
  const std::string& object_;
};

}  // namespace

void BuildCreateTableStatement(TStringList& Strings, TORMapping& Mapping,
                               const std::string& TableName, const std::string& StringType,
                               const std::string& IntegerType, const std::string& FloatType,
                               const std::string& ObjectColumnType) {
  Mapping.GetPrimaryIndex(TableName);  // raises before anything is written
  const TDatasetSchema schema =
      TDatasetSchema::FromMapping(TableName, Mapping.GetFields(), Mapping.GetIndices());
  // Built apart so that a failure leaves Strings as it was.
  Strings = BuildCreateTable(schema,
                             TBuilderDialect(StringType, IntegerType, FloatType, ObjectColumnType));
}

void BuildCreateIndexStatements(TStringList& Strings, TObjectDataset& Dataset) {
  Strings.Clear();
  for (const TObject* obj : Dataset.GetIndices()) {
    const TOdbIndex& index = *static_cast<const TOdbIndex*>(obj);
    const TOdbIndexAttributes attrs = index.GetAttributes();
    if (attrs.Contains(iaPrimary)) continue;
    std::string line = "create ";
    if (attrs.Contains(iaUnique)) line += "unique ";
    if (attrs.Contains(iaDescending)) line += "descending ";
    line += "index " + index.GetName() + " on " + Dataset.GetDatasetName() + " (" +
            index.FieldNamesAsString(',') + ")";
    Strings.Add(std::move(line));
  }
}

std::string TSqlValues::Literal() const {
  std::string text;
  WriteLiteral(text);
  return text;
}

void TSqlValues::WriteLiteral(std::string& Text) const {
  WriteLiteralFrom(0, Text);
}

void TSqlValues::WriteLiteralFrom(std::size_t From, std::string& Text) const {
  Text.assign(Texts.front(), From);
  for (std::size_t i = 0; i < Values.size(); ++i) {
    AppendQuoted(Text, Values[i]);
    Text += Texts[i + 1];
  }
}

std::string TSqlValues::Parameterised(char Mark) const {
  std::string text;
  WriteParameterised(Mark, text);
  return text;
}

void TSqlValues::WriteParameterised(char Mark, std::string& Text) const {
  Text.assign(Texts.front());
  for (std::size_t i = 0; i < Values.size(); ++i) {
    char number[24];
    number[0] = Mark;
    const auto r = std::to_chars(number + 1, number + sizeof number, i + 1);
    Text.append(number, r.ptr);
    Text += Texts[i + 1];
  }
}

namespace {

// The where clause on the primary key into Clause, after the pieces of
// Head: "where " and "name = value" terms joined by " and ". Clause's
// strings are written over, so that a caller building many clauses keeps
// their storage.
void WriteKeyClause(TSqlValues& Clause, std::initializer_list<std::string_view> Head,
                    TORMapping& Mapping, const std::string& TableName) {
  const auto writeHead = [&Head](std::string& Text) {
    Text.clear();
    for (std::string_view piece : Head) Text += piece;
    Text += "where ";
  };
  const TOdbIndex& primary = *Mapping.GetPrimaryIndex(TableName);
  std::size_t n = 0;
  for (const TObject* obj : primary.FieldNames()) {
    const std::string& name = static_cast<const TStringCombo*>(obj)->Str;
    const TOdbField& field = *GetFieldInList(name, Mapping.GetFields());
    if (Clause.Texts.size() < n + 2) Clause.Texts.resize(n + 2);
    if (Clause.Values.size() < n + 1) Clause.Values.resize(n + 1);
    std::string& text = Clause.Texts[n];
    if (n == 0) {
      writeHead(text);
    } else {
      text.assign(" and ");
    }
    text += name;
    text += " = ";
    Clause.Values[n] = SqlValueText(field);
    ++n;
  }
  Clause.Texts.resize(n + 1);
  Clause.Values.resize(n);
  if (n == 0) {
    writeHead(Clause.Texts[0]);
  } else {
    Clause.Texts[n].clear();
  }
}

}  // namespace

void BuildSelectWhereClause(std::string& Clause, TORMapping& Mapping,
                            const std::string& TableName) {
  TSqlValues clause;
  WriteKeyClause(clause, {}, Mapping, TableName);
  Clause = clause.Literal();
}

void BuildSelectObjectQuery(TStringList& Strings, TSqlValues& Statement, TORMapping& Mapping,
                            const std::string& TableName) {
  // The statement's first text holds the head line and its line break; the
  // lines are cut there, so that they are the statement's text joined
  // whatever the table name or the values hold.
  constexpr std::string_view kSelect = "select * from ";
  WriteKeyClause(Statement, {kSelect, TableName, "\n"}, Mapping, TableName);
  const std::size_t headSize = kSelect.size() + TableName.size();
  Strings.AssignTwo(std::string_view(Statement.Texts.front()).substr(0, headSize),
                    [&](std::string& Line) { Statement.WriteLiteralFrom(headSize + 1, Line); });
}

void BuildSelectObjectQuery(TStringList& Strings, TORMapping& Mapping,
                            const std::string& TableName) {
  TSqlValues statement;
  BuildSelectObjectQuery(Strings, statement, Mapping, TableName);
}

void BuildDeleteStatement(TStringList& Strings, TORMapping& Mapping, const std::string& TableName) {
  std::string clause;
  BuildSelectWhereClause(clause, Mapping, TableName);
  Strings.Clear();
  Strings.Add("delete from " + TableName);
  Strings.Add(std::move(clause));
}

void BuildInsertStatement(TStringList& Strings, TUnorderedList& Fields,
                          const std::string& TableName) {
  std::string columns;
  std::string values;
  for (const TObject* obj : Fields) {
    const TOdbField& field = AsField(obj);
    if (!columns.empty()) columns += ", ";
    columns += field.GetName();
    if (!values.empty()) values += ", ";
    values += field.GetFieldType() == oftString ? QuoteSqlValue(field.GetAsString())
                                                : SqlValueText(field);
  }
  Strings.Clear();
  Strings.Add("insert into " + TableName);
  Strings.Add("( " + columns + ")");
  Strings.Add("values (" + values + ")");
}

}  // namespace corvid
