#include "corvid/odb/OdbSchema.h"

#include <algorithm>

#include "corvid/containers/ObjList.h"
#include "corvid/odb/OdbErrors.h"
#include "corvid/odb/OdbIndex.h"
#include "corvid/odb/OdbSql.h"
#include "corvid/util/OdbMisc.h"
#include "corvid/values/ObjBuckt.h"

namespace corvid {

namespace {

// Names fold ASCII letters only.
char LowerAscii(char C) {
  return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C;
}

}  // namespace

std::string LowerName(std::string_view Name) {
  std::string out(Name);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

bool SameName(std::string_view A, std::string_view B) {
  // Drivers compare index and column names for every find: no lower-case
  // copies, and names spelt alike match on their bytes at once.
  if (A.size() != B.size()) return false;
  if (SameShortBytes(A.data(), B.data(), A.size())) return true;
  for (std::size_t i = 0; i < A.size(); ++i) {
    if (LowerAscii(A[i]) != LowerAscii(B[i])) return false;
  }
  return true;
}

namespace {

TSchemaIndex IndexFrom(const TOdbIndex& Index, const TDatasetSchema& Schema) {
  TSchemaIndex idx;
  idx.Name = Index.GetName();
  const TOdbIndexAttributes attrs = Index.GetAttributes();
  idx.Primary = attrs.Contains(iaPrimary);
  idx.Unique = idx.Primary || attrs.Contains(iaUnique);
  idx.CaseInsensitive = attrs.Contains(iaCaseInsensitive);
  idx.Descending = attrs.Contains(iaDescending);
  for (TObject* nameObj : Index.FieldNames()) {
    const std::string& name = static_cast<const TStringCombo*>(nameObj)->Str;
    const int column = Schema.FindColumn(name);
    if (column < 0) RaiseOdb<EOdbFieldDoesNotExist>(name);
    idx.Columns.push_back(column);
    idx.Names.push_back(name);
  }
  return idx;
}

}  // namespace

TDatasetSchema TDatasetSchema::FromMapping(const std::string& Table, TUnorderedList& Fields,
                                           TUnorderedList& Indices) {
  TDatasetSchema schema;
  schema.Table = Table;
  for (TObject* obj : Fields) {
    const auto* field = static_cast<const TOdbField*>(obj);
    schema.Columns.push_back({field->GetName(), field->GetFieldType(), field->GetSize()});
  }
  for (TObject* obj : Indices) {
    schema.Indices.push_back(IndexFrom(*static_cast<const TOdbIndex*>(obj), schema));
    const TSchemaIndex& idx = schema.Indices.back();
    if (idx.Primary && !idx.Columns.empty() && schema.Primary < 0) {
      schema.Primary = static_cast<int>(schema.Indices.size()) - 1;
    }
  }
  return schema;
}

int TDatasetSchema::FindColumn(std::string_view Name) const {
  for (std::size_t c = 0; c < Columns.size(); ++c) {
    if (SameName(Columns[c].Name, Name)) return static_cast<int>(c);
  }
  return -1;
}

int TDatasetSchema::FindIndex(std::string_view Name) const {
  for (std::size_t i = 0; i < Indices.size(); ++i) {
    if (SameName(Indices[i].Name, Name)) return static_cast<int>(i);
  }
  return -1;
}

bool TDatasetSchema::InPrimaryKey(int Column) const {
  const TSchemaIndex* pk = PrimaryIndex();
  return pk != nullptr &&
         std::find(pk->Columns.begin(), pk->Columns.end(), Column) != pk->Columns.end();
}

bool TDatasetSchema::IsKeyColumn(int Column) const {
  for (const TSchemaIndex& idx : Indices) {
    if (std::find(idx.Columns.begin(), idx.Columns.end(), Column) != idx.Columns.end()) return true;
  }
  return false;
}

bool TDatasetSchema::HasAutoInc() const {
  return std::any_of(Columns.begin(), Columns.end(),
                     [](const TSchemaColumn& C) { return C.Type == oftAutoInc; });
}

std::string TTableDialect::KeyTerm(const TDatasetSchema&, const TSchemaIndex& Index,
                                   std::size_t Position) const {
  return Index.Names[Position];
}

TStringList BuildCreateTable(const TDatasetSchema& Schema, const TTableDialect& Dialect) {
  TStringList lines;
  lines.Add("create table " + Dialect.Name(Schema.Table));
  lines.Add("(");
  for (std::size_t c = 0; c < Schema.Columns.size(); ++c) {
    const TSchemaColumn& column = Schema.Columns[c];
    const bool inKey = Schema.InPrimaryKey(static_cast<int>(c));
    lines.Add(Dialect.Name(column.Name) + " " + Dialect.ColumnType(column) +
              (inKey ? " not null" : " "));
    lines.Add(",");
  }
  const TSchemaIndex* pk = Schema.PrimaryIndex();
  const std::string object = Dialect.Name("Object") + " " + Dialect.ObjectType();
  if (pk == nullptr) {
    lines.Add(object);
  } else {
    lines.Add(object + ",");
    std::string terms;
    for (std::size_t k = 0; k < pk->Columns.size(); ++k) {
      if (k > 0) terms += ",";
      terms += Dialect.KeyTerm(Schema, *pk, k);
    }
    lines.Add("primary key (" + terms + ")");
  }
  lines.Add(")");
  return lines;
}

}  // namespace corvid
