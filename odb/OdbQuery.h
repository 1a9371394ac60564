/// @file
/// SQL access to stored objects (access method damSQL):
///
///   TObjectQuery   an object dataset whose content is the result of the
///                  select statement it holds; Search finds the stored object
///                  with the primary key of a given object.
///   TObjectUpdate  inserts, updates and deletes single objects through
///                  statements that the driver runs.
///
/// Both work on one mapping class and one table. They do not own their
/// database, which must outlive them.
///
///   corvid::TObjectQuery query(db, "Persons", TPersonMapping::StaticClass());
///   if (auto* found = query.Search(&probe)) { ...found belongs to query... }
///   query.SelectStatement().SetText("select * from Persons where Age > 20");
///   query.Open();  // then FindFirst/FindNext/GetCurrentObj like any dataset
///
///   corvid::TObjectUpdate update(db, "Persons", TPersonMapping::StaticClass());
///   update.Insert(&person); update.Update(&person); update.Delete(&person);
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "corvid/containers/ObjRoot.h"
#include "corvid/odb/OdbDataset.h"
#include "corvid/odb/OdbSql.h"

namespace corvid {

class TObjectDatabase;
class TMemoryStream;
class TObjectStream;
class TORMapping;

/// An object dataset holding the result of its select statement.
class TObjectQuery : public TObjectDataset {
  CORVID_CLASS(TObjectQuery, ::corvid::TObjectDataset)
 public:
  /// Raises EOdbUnsupportedAccessMethod ("1") when the database's driver
  /// offers no SQL access; nothing is created then. Otherwise the dataset is
  /// made (mapping from MappingClass, registered with Database) with an empty
  /// select statement. DatasetName is the table that Search selects from.
  TObjectQuery(TObjectDatabase& Database, std::string DatasetName, TClass MappingClass);
  /// Frees the select statement and closes the query when it is open.
  ~TObjectQuery() override;

  /// The statement the driver runs when the query is opened. Change it while
  /// the query is closed; it takes effect at the next Open.
  TStringList& SelectStatement() { return selectStatement_; }
  const TStringList& SelectStatement() const { return selectStatement_; }

  /// Finds the stored object whose primary key equals that of Obj (an
  /// instance of the mapped class, which stays the caller's): closes the
  /// query if open, fills the fields from Obj, replaces the select statement
  /// by "select * from <DatasetName>" and the where clause on the primary
  /// key, opens, takes the first row, and closes again (also on failure).
  /// Returns the query's own copy of the stored object (valid until the
  /// query positions again or is destroyed), or null when no row matches.
  /// EInvalidObjectType for null or an object of another class;
  /// EOdbTableMustHavePrimaryIndex when the mapping has no primary index.
  TObject* Search(const TObject* Obj);

  /// For drivers: while Search opens the query and the select statement is
  /// still the one Search wrote, that statement (its lines joined by line
  /// breaks) with its values apart, so that the driver can bind them as
  /// parameters; null at any other time.
  const TSqlValues* SearchStatement() const;

 private:
  TStringList selectStatement_;
  // The statement Search wrote with its values apart, the version of the
  // select statement it wrote, and whether Search is opening the query.
  TSqlValues search_;
  std::uint64_t searchVersion_ = 0;
  bool searching_ = false;
};

/// Inserts, updates and deletes single objects through statements the driver runs.
class TObjectUpdate : public TObject {
  CORVID_CLASS(TObjectUpdate, ::corvid::TObject)
 public:
  /// Creates the mapping from MappingClass and opens the driver's update
  /// handle (directly, so the database need not be open yet). No access
  /// method check is made: a driver without SQL access refuses the handle.
  TObjectUpdate(TObjectDatabase& Database, std::string TableName, TClass MappingClass);
  /// Gives the update handle back (errors swallowed; nothing to give back
  /// when the database was destroyed first), then frees the mapping.
  ~TObjectUpdate() override;
  TObjectUpdate(const TObjectUpdate&) = delete;
  TObjectUpdate& operator=(const TObjectUpdate&) = delete;

  /// Insert and Update: the mapping's Before hook, the fields filled from
  /// Obj, Obj's stream image built and shown to BeforeObjectPost, the
  /// driver's InsertSQL/UpdateSQL, the After hook. Delete: BeforeDelete, the
  /// fields filled from Obj, the driver's DeleteSQL, AfterDelete; no stream
  /// image is built. Obj stays the caller's. An exception from a hook or the
  /// driver propagates and the After hook does not run. No duplicate-key
  /// check is made and auto-increment values are not copied back into Obj.
  /// EInvalidObjectType for null or an object of another class.
  void Insert(const TObject* Obj);
  void Update(const TObject* Obj);
  void Delete(const TObject* Obj);

  std::int32_t GetHandle() const { return handle_; }
  /// Raises EOdbDatabaseNotOpened once the update object is detached.
  TObjectDatabase& GetDatabase() const;
  TORMapping& GetMapping() const { return *mapping_; }
  const std::string& GetTableName() const { return tableName_; }

  /// Called by the database's destructor: forgets the database; the update
  /// handle goes with the driver.
  void DetachDatabase();

 private:
  void CheckObjectType(const TObject* Obj) const;
  /// Fills the fields from Obj, writes Obj's image into Stream (emptied
  /// first) through Objects, an object stream over Stream, and lets the
  /// mapping see it (position 0 before and after).
  void PrepareImage(const TObject* Obj, TMemoryStream& Stream, TObjectStream& Objects);

  /// Insert and Update with the image written into Stream through Objects.
  void InsertWith(const TObject* Obj, TMemoryStream& Stream, TObjectStream& Objects);
  void UpdateWith(const TObject* Obj, TMemoryStream& Stream, TObjectStream& Objects);

  std::int32_t handle_ = 0;
  TObjectDatabase* database_;
  std::unique_ptr<TORMapping> mapping_;
  std::string tableName_;
  // The image streams kept between calls (see TImageStreams).
  std::unique_ptr<TMemoryStream> imageBuffer_;
  std::unique_ptr<TObjectStream> imageObjects_;
  bool imageBusy_ = false;
};

}  // namespace corvid
