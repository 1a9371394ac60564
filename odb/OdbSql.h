/// @file
/// SQL statement builders: the text of create-table, create-index, select,
/// delete and insert statements for a mapping and its current field values.
///
/// The text is read by SQL engines, so every keyword, blank, comma and line
/// break is part of the output format. Each builder but BuildSelectWhereClause
/// writes into a TStringList: it first clears the list and then appends the
/// lines in order; a statement is its lines joined with line breaks
/// (TStringList::Text). Table and column names are written as they are.
///
/// Values are written from the fields' AsString text and enclosed in single
/// quotes (every value of a where clause, the string values of an insert); a
/// single quote inside a value is doubled, so no value can end its literal
/// early. Floats are the exception to AsString: their text always has '.'
/// as decimal separator (AsString takes the user's), and it reads back as
/// the stored double: the 15-decimal text where that does
/// ("61.500000000000000"), otherwise the shortest text that does
/// ("0.3333333333333333" for 1/3), so a where clause on a float key matches
/// exactly. Drivers that run statements against an engine should still bind
/// values as parameters where they can; the doubling makes the built text
/// itself safe to hand to an engine.
///
/// The builders that need the primary index look it up first, so a mapping
/// without one raises EOdbTableMustHavePrimaryIndex (detail: the table name)
/// before the output is touched.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvid {

class TORMapping;
class TObjectDataset;
class TUnorderedList;

/// An ordered list of text lines: the statement text of the builders and the
/// select statement of a query.
class TStringList {
 public:
  TStringList() = default;
  TStringList(std::initializer_list<std::string> Lines) : lines_(Lines), version_(NextVersion()) {}
  TStringList(const TStringList&) = default;
  TStringList& operator=(const TStringList&) = default;
  // The list moved from is left empty, and so with a version of its own.
  TStringList(TStringList&& Other) noexcept
      : lines_(std::move(Other.lines_)), version_(Other.version_) {
    Other.lines_.clear();
    Other.Changed();
  }
  TStringList& operator=(TStringList&& Other) noexcept {
    if (this != &Other) {
      lines_ = std::move(Other.lines_);
      version_ = Other.version_;
      Other.lines_.clear();
      Other.Changed();
    }
    return *this;
  }

  void Clear() {
    lines_.clear();
    Changed();
  }
  void Add(std::string Line) {
    lines_.push_back(std::move(Line));
    Changed();
  }
  std::int32_t Count() const { return static_cast<std::int32_t>(lines_.size()); }
  bool IsEmpty() const { return lines_.empty(); }
  /// The N-th line (1-based); raises EInvalidIndex outside 1..Count().
  const std::string& Get(std::int32_t N) const;
  /// The lines joined with "\n" between them (no trailing line break).
  std::string Text() const;
  /// Replaces the content by the lines of Value, split at "\n" ("\r\n"
  /// works too); a line break at the very end adds no empty line.
  void SetText(std::string_view Value);
  /// Replaces the content by two lines: First, and the line that
  /// WriteSecond writes into the string it is given (which holds an old
  /// line or nothing: WriteSecond replaces its content). The storage of the
  /// lines held is reused.
  template <class F>
  void AssignTwo(std::string_view First, F&& WriteSecond) {
    lines_.resize(2);
    lines_[0].assign(First);
    Changed();
    WriteSecond(lines_[1]);
  }

  /// A number that changes whenever the lines do; a copy takes the
  /// original's. Two lists of the same version hold the same lines, so a
  /// caller can tell cheaply that a list is still as it left it.
  std::uint64_t Version() const { return version_; }

  const std::vector<std::string>& Lines() const { return lines_; }
  auto begin() const { return lines_.begin(); }
  auto end() const { return lines_.end(); }

  friend bool operator==(const TStringList& A, const TStringList& B) {
    return A.lines_ == B.lines_;
  }

 private:
  static std::uint64_t NextVersion();
  void Changed() { version_ = NextVersion(); }

  std::vector<std::string> lines_;
  std::uint64_t version_ = 0;  // 0: never changed, so empty
};

/// Encloses Value in single quotes, doubling every single quote inside it.
std::string QuoteSqlValue(std::string_view Value);

/// A statement with its values kept apart from the text around them, so
/// that a driver can bind them as parameters: the statement is Texts[0],
/// Values[0], Texts[1], ..., Values[n-1], Texts[n]. Both forms are written
/// from the same pieces, so they cannot say different things.
struct TSqlValues {
  std::vector<std::string> Texts;   // one more than Values
  std::vector<std::string> Values;  // each value's text, unquoted

  /// The statement with every value as QuoteSqlValue writes it (written
  /// into Text, replacing its content).
  std::string Literal() const;
  void WriteLiteral(std::string& Text) const;
  /// WriteLiteral without the first From characters of Texts[0].
  void WriteLiteralFrom(std::size_t From, std::string& Text) const;
  /// The statement with the i-th value (from 1) written as Mark followed by
  /// i: "?1" for Mark '?', "$1" for '$'. WriteParameterised writes it into
  /// Text, replacing its content.
  std::string Parameterised(char Mark) const;
  void WriteParameterised(char Mark, std::string& Text) const;
};

void BuildCreateTableStatement(TStringList& Strings, TORMapping& Mapping,
                               const std::string& TableName, const std::string& StringType,
                               const std::string& IntegerType, const std::string& FloatType,
                               const std::string& ObjectColumnType);
/// One "create ... index" line per index of the dataset's mapping, primary
/// indices skipped; the dataset's name is the table name.
void BuildCreateIndexStatements(TStringList& Strings, TObjectDataset& Dataset);
/// Clause := "where " + "name = 'value'" terms on the primary key joined by
/// " and ".
void BuildSelectWhereClause(std::string& Clause, TORMapping& Mapping, const std::string& TableName);
void BuildSelectObjectQuery(TStringList& Strings, TORMapping& Mapping,
                            const std::string& TableName);
/// BuildSelectObjectQuery, and the same statement with its values apart
/// (Statement). Both are written over whatever they held, for a caller that
/// builds many statements; their content is unspecified when the builder
/// raises.
void BuildSelectObjectQuery(TStringList& Strings, TSqlValues& Statement, TORMapping& Mapping,
                            const std::string& TableName);
void BuildDeleteStatement(TStringList& Strings, TORMapping& Mapping, const std::string& TableName);
/// Fields is a list of TOdbField, normally the mapping's fields.
void BuildInsertStatement(TStringList& Strings, TUnorderedList& Fields,
                          const std::string& TableName);

}  // namespace corvid
