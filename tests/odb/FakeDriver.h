// An in-memory driver for the framework tests: it keeps records in insertion
// order, logs every operation the framework calls (with the mapping hooks of
// TFwItemMapping in the same log), can be told to fail in a named operation,
// and counts the bookmarks it hands out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvid/odb/Odb.h"

namespace corvid::test {

// The stored test class.
class TFwItem : public TObject {
  CORVID_CLASS(TFwItem, ::corvid::TObject)
 public:
  TFwItem() = default;
  TFwItem(std::string AName, std::int32_t ACode) : Name(std::move(AName)), Code(ACode) {}
  std::string Name;
  std::int32_t Code = 0;
  std::int32_t Id = 0;
};

// A class that is not a TFwItem.
class TFwOther : public TObject {
  CORVID_CLASS(TFwOther, ::corvid::TObject)
 public:
  TFwOther() = default;
};

// The shared log of driver operations and mapping hooks.
std::vector<std::string>& Log();
// The log entries that name one of Names, in order.
std::vector<std::string> LogOf(const std::vector<std::string>& Names);

class TFakeDriver : public TOdbDriver {
  CORVID_CLASS(TFakeDriver, ::corvid::TOdbDriver)
 public:
  TFakeDriver() = default;
  ~TFakeDriver() override { CloseDatabaseQuietly(); }

  // Read by the constructor (through AfterConstruction).
  static TOdbFieldTypes NextSupportedTypes;
  static TDataAccessMethodSet NextAccessMethods;

  bool CheckDuplicateInsert() const override { return DupInsert; }
  bool CheckDuplicateUpdate() const override { return DupUpdate; }
  TDataAccessMethodSet GetDataAccessMethods() const override { return methods_; }

  bool DupInsert = false;
  bool DupUpdate = false;
  // FindExact ignores trailing blanks in string keys, as engines with
  // blank-padded key columns do. Letter case is ignored on indices with
  // iaCaseInsensitive in any case.
  bool PadKeys = false;
  std::string FailOn;  // the operation that raises EOdbError("injected")
  std::int32_t OpenBookmarks = 0;
  std::int32_t ObjectCountCalls = 0;

  struct TRecord {
    std::unique_ptr<TUnorderedList> Fields;
    std::string Image;
  };
  std::vector<TRecord> Records;
  int Pos = -1;

 protected:
  TOdbFieldTypes GetSupportedFieldTypes() const override { return NextSupportedTypes; }
  void InternalOpenDatabase(const std::string&, const std::string&, const std::string&) override;
  void InternalCloseDatabase() override;
  std::int32_t InternalOpenDataset(TObjectDataset& Dataset) override;
  void InternalCloseDataset(std::int32_t Handle) override;
  void InternalDeleteDataset(TObjectDataset& Dataset) override;
  void InternalCreateDataset(TObjectDataset& Dataset) override;
  void InternalInsert(std::int32_t Handle, TUnorderedList& Fields, TMemoryStream& Stream) override;
  void InternalUpdate(std::int32_t Handle, TUnorderedList& Fields, TMemoryStream& Stream) override;
  void InternalDelete(std::int32_t Handle) override;
  std::string InternalGetIndexName(std::int32_t Handle) override;
  void InternalSetIndexName(std::int32_t Handle, const std::string& Name) override;
  void InternalGetCurrent(std::int32_t Handle, TMemoryStream& Stream) override;
  bool InternalFindNext(std::int32_t Handle) override;
  bool InternalFindPrior(std::int32_t Handle) override;
  bool InternalFindFirst(std::int32_t Handle) override;
  bool InternalFindLast(std::int32_t Handle) override;
  bool InternalFindExact(std::int32_t Handle, TUnorderedList& Fields,
                         const TOdbIndex& Index) override;
  void InternalFindNearest(std::int32_t Handle, TUnorderedList& Fields,
                           const TOdbIndex& Index) override;
  std::int32_t InternalGetObjectCount(std::int32_t Handle) override;
  TOdbBookmarkData InternalGetBookmark(std::int32_t Handle) override;
  void InternalGotoBookmark(std::int32_t Handle, TOdbBookmarkData Bookmark) override;
  void InternalFreeBookmark(std::int32_t Handle, TOdbBookmarkData Bookmark) override;

 private:
  void Note(const std::string& Entry);
  void AfterConstruction() override;
  bool KeyEqual(const TOdbField& Stored, const TOdbField& Probe, const TOdbIndex& Index) const;

  TDataAccessMethodSet methods_;
  std::string indexName_;
  // The bookmarks handed out and not freed yet; the rest go with the driver.
  std::vector<std::unique_ptr<int>> bookmarks_;
};

// Name string(21), Code integer; ByName (unique: Name), ByCode (primary:
// Code), Plain (Name, Code). Every hook and copy writes to the log.
class TFwItemMapping : public TORMapping {
  CORVID_CLASS(TFwItemMapping, ::corvid::TORMapping)
 public:
  TClass GetObjectType() const override { return TFwItem::StaticClass(); }
  void DefineFields() override;
  void DefineIndices() override;
  void UpdateFieldsFromObj(const TObject* Obj) override;
  void UpdateObjFromFields(TObject* Obj) override;
  void BeforeInsert() override { Log().push_back("BeforeInsert"); }
  void AfterInsert() override { Log().push_back("AfterInsert"); }
  void BeforeUpdate() override { Log().push_back("BeforeUpdate"); }
  void AfterUpdate() override { Log().push_back("AfterUpdate"); }
  void BeforeDelete() override { Log().push_back("BeforeDelete"); }
  void AfterDelete() override { Log().push_back("AfterDelete"); }
  void BeforeObjectPost(TMemoryStream& Stream) override;
  void AfterObjectRead(TMemoryStream& Stream) override;

  // The hook that raises EOdbError("hook"), if any.
  static std::string FailingHook;
};

// TFwItemMapping plus an auto-increment column Id.
class TFwAutoItemMapping : public TFwItemMapping {
  CORVID_CLASS(TFwAutoItemMapping, ::corvid::test::TFwItemMapping)
 public:
  void DefineFields() override;
  void UpdateFieldsFromObj(const TObject* Obj) override;
  void UpdateObjFromFields(TObject* Obj) override;
};

}  // namespace corvid::test
